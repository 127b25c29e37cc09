// RINEX 3 observation side: version setters, epoch collection from the three
// binary formats, the epoch record and the "$PPK" marker lines.
#include "rinex3xx.h"

#include <math.h>
#include <stdio.h>
#include <string.h>

#include "hemisphere.h"
#include "novatel.h"
#include "util.h"

Rinex3xx::Rinex3xx(QObject *parent) : Rinexxxx(parent)
{
    version = 304;
    versionMinor = 4;
}

Rinex3xx::~Rinex3xx()
{
    // Closing here, not in the base destructor, lets a cancelled conversion
    // still get its real headers.
    close();
}

bool Rinex3xx::setVersion(int v)
{
    if (opened || v < 302 || v > 305) return false;
    version = v;
    versionMinor = v % 100;
    return true;
}

bool Rinex3xx::setVersion(const QString &s)
{
    if (s.size() != 4 || !s.startsWith("3.")) return false;
    bool ok = false;
    int minor = s.mid(2, 2).toInt(&ok);
    return setVersion(300 + (ok ? minor : 0));
}

bool Rinex3xx::setPhaseShiftEnable(bool on)
{
    if (opened) return false;
    phaseShiftEnable = on;
    return true;
}

bool Rinex3xx::setSystemSignalInit(char letter, const QList<QByteArray> &codes)
{
    if (opened || codes.isEmpty()) return false;
    System &sys = systemsInit[letter];
    sys.types.clear();
    for (int i = 0; i < codes.size(); i++) {
        sys.types.append(codes[i]);
        sys.index[codes[i]] = i;
    }
    return true;
}

bool Rinex3xx::setGlonassCodePhaseBias(const QMap<QByteArray, double> &bias)
{
    if (opened || bias.size() > 4) return false;
    glonassCodePhaseBias = bias;
    return true;
}

qint64 Rinex3xx::open(qint64 startMs)
{
    if (fileName.isEmpty() || opened) return 0;
    clearStatus();
    systems = systemsInit;
    QList<QPair<char, QByteArray>> set;
    set.append({'O', "OBSERVATION DATA"});
    if (fileNameMode == 1) {
        const char letters[] = "CLNQGT";
        const char system[] = "CEGJRT";
        const char *texts[] = {"C: BDS", "E: GALILEO", "G: GPS", "J: QZSS", "R: GLONASS", ""};
        for (int i = 0; i < 6; i++)
            if (!maskSystem.contains(system[i])) set.append({letters[i], texts[i]});
        return openFileSet(startMs, "OCLNQGT", set, 64, 16);
    }
    set.append({'N', "M: MIXED"});
    set.append({'T', ""});
    return openFileSet(startMs, "ONNNNNT", set, 64, 16);
}

// ---- the epoch -----------------------------------------------------------------------------

namespace {

const char kBlank16[] = "                ";

// Appends a value field; values of a billion or more do not fit F14.3 and are
// folded, which the LLI marks.
void appendFolded(QByteArray &line, double v, char lli, char ssi)
{
    char field[20];
    Rinexxxx::sprintObs(field, v, lli, ssi);
    line.append(field, 16);
}

} // namespace

qint64 Rinex3xx::writeRange()
{
    const Range &rg = range;
    File *file = files.value(fileLetters[0]);
    if (!file || !file->isOpen()) return 0;
    const qint64 t = util_gps_time_to_epoch(rg.week, rg.ms);
    if (t < lastEpochMs) return 0;
    if (t > lastEpochMs) {
        if (firstEpochMs == 0) firstEpochMs = t;
        if (lastEpochMs > 0) {
            int d = (int)(t - lastEpochMs);
            if (intervalMs == 0 || d < intervalMs) intervalMs = d;
        }
        lastEpochMs = t;
        lastWeek = rg.week;
        lastMs = rg.ms;
    }
    struct tm *cal = getTimeFromGpsWeekMs(rg.week, rg.ms);
    if (!cal) return 0;
    const int year = cal->tm_year + 1900, month = cal->tm_mon + 1, day = cal->tm_mday, hour = cal->tm_hour,
              minute = cal->tm_min, second = cal->tm_sec;

    QByteArray lines;
    int satellites = 0;
    const int minor = versionMinor % 6;
    for (auto sit = rg.obs.cbegin(); sit != rg.obs.cend(); ++sit) {
        const char letter = sit.key();
        System &sys = systems[letter];
        for (auto pit = sit.value().cbegin(); pit != sit.value().cend(); ++pit) {
            const QMap<QByteArray, Obs> &codes = pit.value();
            for (auto cit = codes.cbegin(); cit != codes.cend(); ++cit)
                if (!sys.index.contains(cit.key())) {
                    sys.index.insert(cit.key(), sys.types.size());
                    sys.types.append(cit.key());
                }
            // A line grows with its columns: no fixed buffer to overrun.
            QByteArray line;
            line.reserve(3 + sys.types.size() * 64 + 2);
            char name[8];
            snprintf(name, sizeof name, "%c%02d", letter, pit.key());
            line.append(name, 3);
            for (const QByteArray &code : qAsConst(sys.types)) {
                auto oit = codes.constFind(code);
                if (oit == codes.cend()) {
                    line.append(kBlank16, 16).append(kBlank16, 16).append(kBlank16, 16).append(kBlank16, 16);
                    continue;
                }
                const Obs &o = oit.value();
                // C
                if (!o.pseudorangeValid) {
                    line.append(kBlank16, 16);
                } else {
                    double v = o.pseudorange;
                    char lli = ' ';
                    if (v >= 1e9) {
                        v -= 1e9;
                        lli = '1';
                    } else if (v <= -1e9) {
                        v += 1e9;
                        lli = '1';
                    }
                    appendFolded(line, v, lli, ' ');
                }
                // L
                if (!o.phaseValid) {
                    line.append("              1 ", 16);
                } else {
                    double v = o.phase;
                    int lli = 0;
                    if (v >= 1e9) {
                        v -= 1e9;
                        lli |= 1;
                    } else if (v <= -1e9) {
                        v += 1e9;
                        lli |= 1;
                    }
                    if (!o.lockOk) lli |= 1;
                    if (!o.halfCycleOk) lli |= 2;
                    int ssi = (int)(o.cnr / 6.0f);
                    if (ssi < 1) ssi = 1;
                    if (ssi > 9) ssi = 9;
                    int shift = phaseShiftEnable ? o.signal->phase_shift[minor] : 0;
                    if (shift == GNSS_PHASE_SHIFT_NONE) shift = 0;
                    sys.phaseShift[code] = shift;
                    if (shift != 0) v += shift * 0.25;
                    if (o.signal->system == GNSS_SYSTEM_GLONASS) {
                        if (o.glonassChannel == GLONASS_CHANNEL_UNKNOWN) {
                            v = 0;
                        } else {
                            glonass_channel_update(&glonassChannels, o.prn, o.glonassChannel);
                            double bias = glonassCodePhaseBias.value(code, 0.0);
                            uint32_t f = glonass_channel_frequency(&glonassChannels, o.prn, o.signal);
                            if (bias != 0.0 && f != 0) v += f * bias * 3.3356409519815204e-9;
                        }
                    }
                    appendFolded(line, v, lli ? (char)('0' + lli) : ' ', (char)('0' + ssi));
                }
                // D
                if (!o.dopplerValid)
                    line.append(kBlank16, 16);
                else
                    appendFolded(line, o.doppler, ' ', ' ');
                // S
                appendFolded(line, o.cnr, ' ', ' ');
            }
            int end = line.size();
            while (end > 0 && line[end - 1] == ' ') end--;
            if (end <= 3) continue;
            line.truncate(end);
            line.append("\r\n");
            lines += line;
            satellites++;
        }
    }
    char head[128];
    snprintf(head, sizeof head, "> %04d %02d %02d %02d %02d %2d.%03d0000  0%3d       0.000000000000\r\n", year, month,
             day, hour, minute, second, rg.ms % 1000, satellites);
    qint64 n = writeTo(file, QByteArray(head));
    n += writeTo(file, lines);
    return n;
}



qint64 Rinex3xx::inputLine(const uint8_t *data, int length)
{
    return readLine(data, length);
}

qint64 Rinex3xx::inputRtcm3(const uint8_t *data, int length)
{
    return readRtcm3(data, length);
}

qint64 Rinex3xx::inputNovatel(const uint8_t *data, int length)
{
    return readNovatel(data, length);
}

qint64 Rinex3xx::inputHemisphere(const uint8_t *data, int length)
{
    return readHemisphere(data, length);
}
