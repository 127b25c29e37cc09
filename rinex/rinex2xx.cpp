// RINEX 2 observation side: version setters, the signal-to-type map, the type
// list, the file set, the epoch record with its claim table, and the
// observation header written at close. The input paths are the shared ones
// of the writer core.
#include "rinex2xx.h"

#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <vector>

#include <QDateTime>

#include "rinexxxx_field.h"
#include "util.h"

Rinex2xx::Rinex2xx(QObject *parent) : Rinexxxx(parent)
{
    version = 211;
    versionMinor = 11;
}

Rinex2xx::~Rinex2xx()
{
    // Here, not in the base destructor, so that a cancelled conversion still
    // gets its real headers.
    close();
}

bool Rinex2xx::setVersion(int v)
{
    if (opened || (v != 210 && v != 211)) return false;
    version = v;
    versionMinor = v % 100;
    return true;
}

bool Rinex2xx::setVersion(const QString &s)
{
    if (s.size() != 4 || !s.startsWith("2.")) return false;
    const QString minor = s.mid(2, 2);
    if (minor != "10" && minor != "11") return false;
    return setVersion(200 + minor.toInt());
}

bool Rinex2xx::addSignal(const QByteArray &code, const gnss_signal_t *signal, int kind)
{
    if (opened || code.size() != 2 || !signal || kind < 0 || kind > 3) return false;
    if (defaultCodes) {
        // The first code of the user's own replaces the defaults.
        signalCodes.clear();
        defaultCodes = false;
    }
    signalCodes[signal].code[kind] = code;
    return true;
}

bool Rinex2xx::clearSignal()
{
    if (opened) return false;
    signalCodes.clear();
    obsTypes.clear();
    defaultCodes = true;
    return true;
}

void Rinex2xx::buildDefaultSignalCodes()
{
    signalCodes.clear();
    auto put = [this](const gnss_signal_t *s, const char *c, const char *l, const char *d, const char *n) {
        if (maskSystem.contains(GNSS_SYSTEM[s->system].letter)) return;
        SignalCode &sc = signalCodes[s];
        sc.code[0] = c;
        sc.code[1] = l;
        sc.code[2] = d;
        sc.code[3] = n;
    };
    auto find = [](int system, const char *code) -> const gnss_signal_t * {
        const gnss_system_t &sys = GNSS_SYSTEM[system];
        for (uint32_t i = 0; i < sys.signal_amount; i++)
            if (strcmp(sys.signal[i].code, code) == 0) return &sys.signal[i];
        return nullptr;
    };
    // RINEX 2 types are per band: every tracking mode of a band shares its
    // band's types, and the claim rule keeps one signal per satellite and type.
    struct Row {
        int version, system;
        const char *codes[6];
        const char *types[4];
    };
    static const Row rows[] = {
        {210, GNSS_SYSTEM_GPS, {"1C"}, {"C1", "L1", "D1", "S1"}},
        {210, GNSS_SYSTEM_GPS, {"2P", "2W"}, {"P2", "L2", "D2", "S2"}},
        {210, GNSS_SYSTEM_GPS, {"2S", "2L", "2X"}, {"C2", "L2", "D2", "S2"}},
        {210, GNSS_SYSTEM_GLONASS, {"1C"}, {"C1", "L1", "D1", "S1"}},
        {210, GNSS_SYSTEM_GLONASS, {"1P"}, {"P1", "L1", "D1", "S1"}},
        {210, GNSS_SYSTEM_GLONASS, {"2C"}, {"C2", "L2", "D2", "S2"}},
        {210, GNSS_SYSTEM_GLONASS, {"2P"}, {"P2", "L2", "D2", "S2"}},
        {211, GNSS_SYSTEM_GPS, {"5I", "5Q", "5X"}, {"C5", "L5", "D5", "S5"}},
        {211, GNSS_SYSTEM_GALILEO, {"1B", "1C", "1X"}, {"C1", "L1", "D1", "S1"}},
        {211, GNSS_SYSTEM_GALILEO, {"5I", "5Q", "5X"}, {"C5", "L5", "D5", "S5"}},
        {211, GNSS_SYSTEM_GALILEO, {"7I", "7Q", "7X"}, {"C7", "L7", "D7", "S7"}},
        {211, GNSS_SYSTEM_GALILEO, {"8I", "8Q", "8X"}, {"C8", "L8", "D8", "S8"}},
        {211, GNSS_SYSTEM_GALILEO, {"6B", "6C", "6X"}, {"C6", "L6", "D6", "S6"}},
        {211, GNSS_SYSTEM_BDS, {"2I", "2Q", "2X"}, {"C1", "L1", "D1", "S1"}},
        {211, GNSS_SYSTEM_BDS, {"7I", "7Q", "7D", "7P", "7X", "7Z"}, {"C7", "L7", "D7", "S7"}},
        {211, GNSS_SYSTEM_BDS, {"6I", "6Q", "6X"}, {"C6", "L6", "D6", "S6"}},
        // 2.10 already has the L1 of geostationary GPS signal payloads.
        {210, GNSS_SYSTEM_SBAS, {"1C"}, {"C1", "L1", "D1", "S1"}},
        {211, GNSS_SYSTEM_SBAS, {"5I", "5Q", "5X"}, {"C5", "L5", "D5", "S5"}},
    };
    for (const Row &r : rows) {
        if (r.version > version) continue;
        for (const char *code : r.codes) {
            if (!code) continue;
            const gnss_signal_t *s = find(r.system, code);
            if (s) put(s, r.types[0], r.types[1], r.types[2], r.types[3]);
        }
    }
}

QList<const gnss_signal_t *> Rinex2xx::signalsInTableOrder() const
{
    static const int order[] = {GNSS_SYSTEM_TSS,  GNSS_SYSTEM_SBAS, GNSS_SYSTEM_GLONASS, GNSS_SYSTEM_QZSS,
                                GNSS_SYSTEM_IRNSS, GNSS_SYSTEM_GPS, GNSS_SYSTEM_GALILEO, GNSS_SYSTEM_BDS};
    QList<const gnss_signal_t *> out;
    for (int system : order) {
        const gnss_system_t &sys = GNSS_SYSTEM[system];
        for (uint32_t i = 0; i < sys.signal_amount; i++)
            if (signalCodes.contains(&sys.signal[i])) out.append(&sys.signal[i]);
    }
    // Entries that are not in the tables (none expected) come last.
    for (auto it = signalCodes.cbegin(); it != signalCodes.cend(); ++it)
        if (!out.contains(it.key())) out.append(it.key());
    return out;
}

qint64 Rinex2xx::open(qint64 startMs)
{
    if (fileName.isEmpty() || opened) return 0;
    if (defaultCodes) buildDefaultSignalCodes();
    // The type list lives for one run.
    obsTypes.clear();
    for (const gnss_signal_t *s : signalsInTableOrder()) {
        SignalCode &sc = signalCodes[s];
        const char letter = GNSS_SYSTEM[s->system].letter;
        for (int kind = 0; kind < 4; kind++) {
            sc.index[kind] = -1;
            const QByteArray &code = sc.code[kind];
            if (code.isEmpty() || maskSignal.contains(letter + code)) continue;
            int at = obsTypes.indexOf(code);
            if (at < 0) {
                // A longer list would push the header over its reserved
                // lines and onto the first epoch.
                if (obsTypes.size() >= MAX_TYPES) continue;
                at = obsTypes.size();
                obsTypes.append(code);
            }
            sc.index[kind] = at;
        }
    }
    clearStatus();
    claims.clear();
    toldTypes = false;

    QList<QPair<char, QByteArray>> set;
    set.append({'O', "OBSERVATION DATA"});
    if (!maskSystem.contains('G')) set.append({'N', "N: GPS NAV DATA"});
    if (!maskSystem.contains('R')) set.append({'G', "G: GLONASS NAV DATA"});
    if (version >= 211) {
        if (!maskSystem.contains('E')) set.append({'L', "E: GALILEO NAV DATA"});
        if (!maskSystem.contains('C')) set.append({'C', "C: BDS NAV DATA"});
    }
    // Observation, BDS, Galileo, GPS, QZSS (none in RINEX 2), GLONASS, raw (none).
    const char letters[7] = {'O', 'C', 'L', 'N', 0, 'G', 0};
    return openFileSet(startMs, letters, set, 32, 16);
}

qint64 Rinex2xx::inputLine(const uint8_t *data, int length)
{
    return readLine(data, length);
}

qint64 Rinex2xx::inputRtcm3(const uint8_t *data, int length)
{
    return readRtcm3(data, length);
}

qint64 Rinex2xx::inputNovatel(const uint8_t *data, int length)
{
    return readNovatel(data, length);
}

qint64 Rinex2xx::inputHemisphere(const uint8_t *data, int length)
{
    return readHemisphere(data, length);
}

// ---- the epoch ---------------------------------------------------------------------------

namespace {

// Values of a billion or more do not fit F14.3: folded, with LLI 1.
bool fold(double &v)
{
    if (v >= 1e9) {
        v -= 1e9;
        return true;
    }
    if (v <= -1e9) {
        v += 1e9;
        return true;
    }
    return false;
}

} // namespace

qint64 Rinex2xx::writeRange()
{
    const Range &rg = range;
    File *file = files.value(fileLetters[0]);
    if (!file || !file->isOpen()) return 0;
    const qint64 t = util_gps_time_to_epoch(rg.week, rg.ms);
    if (t < lastEpochMs) return 0;
    struct tm *cal = getTimeFromGpsWeekMs(rg.week, rg.ms);
    if (!cal) return 0;

    RecordCommand &command = newRecord(*cal, rg.ms, true);
    EpochRecord &record = command.epoch;

    const int types = obsTypes.size();
    // Which of a satellite's fields are filled, and what the observer is
    // told of each: the value as printed.
    static thread_local std::vector<char> filled;
    static thread_local std::vector<RinexObserver::Value> printed;
    filled.resize((size_t)types);
    printed.resize((size_t)types);
    static thread_local std::vector<int> order;
    // The epoch as it is written, for the observer: one list of types for
    // every system, fixed when the file was opened.
    RinexObserver *const watch = recordObserver;
    if (watch) {
        if (!toldTypes) {
            std::vector<std::string> list;
            for (const QByteArray &type : obsTypes) list.push_back(type.toStdString());
            watch->observationTypes(RinexObserver::kEverySystem, list);
            toldTypes = true;
        }
        seen.satellites.clear();
        seen.values.clear();
    }
    // Systems in the order of their letters (the system table's order),
    // satellites ascending, each satellite's signals in code order.
    for (int s = 0; s < GNSS_SYSTEM_AMOUNT; s++) {
        const std::vector<Obs> &v = rg.flatObs[s];
        if (v.empty()) continue;
        const char letter = GNSS_SYSTEM[s].letter;
        Range::sortPositions(v, order);
        for (size_t a = 0; a < order.size();) {
            // One satellite: positions first .. last-1.
            const int prn = v[(size_t)order[a]].prn;
            const size_t first = a;
            while (a < order.size() && v[(size_t)order[a]].prn == prn) a++;
            const size_t last = a;
            EpochRecord::Satellite sat(letter, prn);
            sat.width = (uint32_t)types * 16;
            sat.first = (uint32_t)record.fields.size();
            memset(filled.data(), 0, filled.size());
            for (size_t k = first; k < last; k++) {
                const Obs &o = v[(size_t)order[k]];
                auto sc = signalCodes.constFind(o.signal);
                if (sc == signalCodes.cend()) {
                    noteTypeless(o.signal);
                    continue;
                }
                // RINEX 2 has no slot-to-channel header line: the observer
                // learns the channels from the observations.
                if (watch && o.signal->system == GNSS_SYSTEM_GLONASS && o.glonassChannel != GLONASS_CHANNEL_UNKNOWN)
                    watch->glonassChannel(o.prn, o.glonassChannel);
                for (int kind = 0; kind < 4; kind++) {
                    const int index = sc.value().index[kind];
                    if (index < 0 || index >= types) continue;
                    double v = 0;
                    char lli = ' ';
                    if (kind == 0) {
                        if (!o.pseudorangeValid) continue;
                        v = o.pseudorange;
                        if (fold(v)) lli = '1';
                    } else if (kind == 1) {
                        // No phase in the epoch where a signal's lock began
                        // or was lost, nor a phase that was never measured;
                        // the first phase written after it carries the loss
                        // of lock (LLI bit 0).
                        if (!o.lockOk || !o.phaseValid) continue;
                        v = o.phase;
                        if (fold(v) || !o.halfCycleOk || o.lockPending) lli = '1';
                    } else if (kind == 2) {
                        // An invalid Doppler is unknown, not zero.
                        if (!o.dopplerValid) continue;
                        v = o.doppler;
                    } else {
                        // A C/N0 of 0 was not measured: blank, as in RINEX 3.
                        if (o.cnr <= 0) continue;
                        v = o.cnr;
                    }
                    // The first signal seen for a satellite and type keeps
                    // the type for the whole file.
                    const quint32 key = (quint32)(uchar)sat.name[0] << 24 | (quint32)(uchar)sat.name[1] << 16 |
                                        (quint32)(uchar)sat.name[2] << 8 | (quint32)index;
                    auto claim = claims.constFind(key);
                    if (claim != claims.cend() && claim.value() != o.signal) continue;
                    if (claim == claims.cend()) claims.insert(key, o.signal);
                    record.fields.emplace_back(v, (uint32_t)index * 16, lli, ' ');
                    if (watch) printed[(size_t)index] = {obsfield::printedValue(v), (uint8_t)(lli == '1'), 0};
                    filled[(size_t)index] = 1;
                    if (kind == 1) phaseWritten(o);
                }
            }
            sat.end = (uint32_t)record.fields.size();
            if (sat.end == sat.first) continue;
            if (watch) {
                seen.satellites.push_back({letter, prn, seen.values.size(), (size_t)types});
                for (int i = 0; i < types; i++)
                    seen.values.push_back(filled[(size_t)i] ? printed[(size_t)i] : RinexObserver::Value{NAN, 0, 0});
            }
            record.satellites.push_back(sat);
        }
    }
    if (record.satellites.empty()) return 0;

    noteEpochWritten(t, rg.week, rg.ms);
    return submitRecord(command);
}

void Rinex2xx::tellRecord(const EpochRecord &record)
{
    tellEpoch(recordObserver, seen, record.year, record.month, record.day, record.hour, record.minute,
              record.second * 1000 + record.millisecond);
}

// ---- observation header ---------------------------------------------------------------------

QByteArray Rinex2xx::observationHeaderLines(bool *ok) const
{
    *ok = false;
    QByteArray text;
    char line[256];
    const QDateTime now = QDateTime::currentDateTimeUtc();
    if (!now.isValid()) return text;

    snprintf(line, sizeof line, "     2.%02d%11s%-20s%-20s%-20s", versionMinor, "", "OBSERVATION DATA", "M",
             "RINEX VERSION / TYPE");
    appendHeaderLine(text, line);
    const QDate d = now.date();
    const QTime t = now.time();
    snprintf(line, sizeof line, "%-20s%-20s%04d%02d%02d %02d%02d%02d UTC %-20s", programName.constData(),
             runBy.constData(), d.year(), d.month(), d.day(), t.hour(), t.minute(), t.second(), "PGM / RUN BY / DATE");
    appendHeaderLine(text, line);
    snprintf(line, sizeof line, "%-60s%-20s", markerName.constData(), "MARKER NAME");
    appendHeaderLine(text, line);
    snprintf(line, sizeof line, "%-20s%40s%-20s", markerNumber.constData(), "", "MARKER NUMBER");
    appendHeaderLine(text, line);
    snprintf(line, sizeof line, "%-20s%-40s%-20s", observer.constData(), agency.constData(), "OBSERVER / AGENCY");
    appendHeaderLine(text, line);
    snprintf(line, sizeof line, "%-20s%-20s%-20s%-20s", receiverNumber.constData(), receiverType.constData(),
             receiverVersion.constData(), "REC # / TYPE / VERS");
    appendHeaderLine(text, line);
    snprintf(line, sizeof line, "%-20s%-20s%20s%-20s", antennaNumber.constData(), antennaType.constData(), "",
             "ANT # / TYPE");
    appendHeaderLine(text, line);
    double xyz[3];
    bool computed = approxPositionXyz(xyz);
    if (computed && (obsTypes.size() + 8) / 9 >= (MAX_TYPES + 8) / 9) {
        // The longest type list leaves no line of the reserved header for
        // the comment that must go with a computed position.
        computed = false;
        xyz[0] = xyz[1] = xyz[2] = 0;
    }
    snprintf(line, sizeof line, "%14.4f%14.4f%14.4f%18s%-20s", xyz[0], xyz[1], xyz[2], "", "APPROX POSITION XYZ");
    appendHeaderLine(text, line);
    if (computed) {
        snprintf(line, sizeof line, "%-60s%-20s", "APPROX POSITION XYZ computed from the broadcast orbits", "COMMENT");
        appendHeaderLine(text, line);
    }
    snprintf(line, sizeof line, "%14.4f%14.4f%14.4f%18s%-20s", antennaHen[0], antennaHen[1], antennaHen[2], "",
             "ANTENNA: DELTA H/E/N");
    appendHeaderLine(text, line);
    snprintf(line, sizeof line, "%6d%6d%48s%-20s", 1, 1, "", "WAVELENGTH FACT L1/2");
    appendHeaderLine(text, line);

    // Nine types per line; continuation lines start with six blanks.
    const int n = obsTypes.size();
    int i = 0;
    do {
        QByteArray l;
        if (i == 0) {
            snprintf(line, sizeof line, "%6d", n);
            l = line;
        } else {
            l = QByteArray(6, ' ');
        }
        for (int k = 0; k < 9; k++, i++) {
            snprintf(line, sizeof line, "%6s", i < n ? obsTypes[i].constData() : "");
            l += line;
        }
        l += "# / TYPES OF OBSERV ";
        appendHeaderLine(text, l.constData());
    } while (i < n);

    appendIntervalLine(text);
    const char *labels[2] = {"TIME OF FIRST OBS", "TIME OF LAST OBS"};
    const qint64 times[2] = {firstEpochMs, lastEpochMs};
    for (int k = 0; k < 2; k++) {
        const time_t s = (time_t)(times[k] / 1000);
        struct tm cal;
        if (!gmtime_r(&s, &cal)) return text;
        snprintf(line, sizeof line, "%6d%6d%6d%6d%6d%13.7f     GPS%9s%-20s", cal.tm_year + 1900, cal.tm_mon + 1,
                 cal.tm_mday, cal.tm_hour, cal.tm_min, (times[k] % 60000) * 0.001, "", labels[k]);
        appendHeaderLine(text, line);
    }
    if (leapSeconds != 99) {
        snprintf(line, sizeof line, "%6d%18sGPS%33s%-20s", leapSeconds, "", "", "LEAP SECONDS");
        appendHeaderLine(text, line);
    }
    snprintf(line, sizeof line, "PARSER    = %-48s%-20s", gnssparser_version() + 11, "COMMENT");
    appendHeaderLine(text, line);
    snprintf(line, sizeof line, "CONVERTER = %-48s%-20s", LIB_VERSION, "COMMENT");
    appendHeaderLine(text, line);
    *ok = true;
    return text;
}

QMap<char, int> Rinex2xx::observationTypeCounts() const
{
    // One list for every system.
    QMap<char, int> counts;
    if (!obsTypes.isEmpty()) counts.insert('G', obsTypes.size());
    return counts;
}

bool Rinex2xx::updateOHeader(QFile &file)
{
    // 32 lines were reserved: the header, comments up to the 30th line, one
    // blank comment and "END OF HEADER".
    const int reservedLines = 32;
    if (!file.isOpen() || file.size() < reservedLines * 82) return false;
    bool complete = false;
    QByteArray text = observationHeaderLines(&complete);
    if (text.isEmpty()) return false;
    const int lines = text.size() / 82;
    if (lines > reservedLines - 1) {
        // Cannot happen with the type list capped at open; never write over
        // the first epoch.
        noteError(QString("cannot write the header of %1").arg(file.fileName()));
        return false;
    }
    for (int k = 0; k < commentLines.size() && lines + k < 30; k++) text += commentLines[k];
    if (!file.seek(0) || file.write(text) != text.size()) {
        noteError(QString("cannot write %1: %2").arg(file.fileName(), file.errorString()));
        return false;
    }
    if (recordObserver) recordObserver->headerFinished(letterOf(file), true, text.constData(), (size_t)text.size());
    file.seek(file.size());
    return complete;
}
