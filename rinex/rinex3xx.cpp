// RINEX 3 observation side: version setters, epoch collection from the three
// binary formats, the epoch record and the "$PPK" marker lines.
#include "rinex3xx.h"

#include <limits.h>
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "hemisphere.h"
#include "novatel.h"
#include "rinexxxx_field.h"
#include "util.h"

using obsfield::printedValue;

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

int Rinex3xx::phaseShiftOf(const gnss_signal_t *signal) const
{
    return phaseShiftEnable ? phaseAlignmentOf(signal) : 0;
}

int Rinex3xx::phaseAlignmentOf(const gnss_signal_t *signal) const
{
    if (!signal) return 0;
    const int shift = signal->phase_shift[versionMinor % 6];
    return shift == GNSS_PHASE_SHIFT_NONE ? 0 : shift;
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

// The observation code of a signal as a map key, made once per entry of
// the signal tables rather than once per epoch and signal (each would cost
// an allocation).
const QByteArray &codeKey(const gnss_signal_t *sig)
{
    static const std::vector<QByteArray> keys = [] {
        std::vector<QByteArray> k;
        for (int s = 0; s < GNSS_SYSTEM_AMOUNT; s++)
            for (uint32_t i = 0; i < GNSS_SYSTEM[s].signal_amount; i++) k.emplace_back(GNSS_SYSTEM[s].signal[i].code);
        return k;
    }();
    size_t base = 0;
    for (int s = 0; s < GNSS_SYSTEM_AMOUNT; s++) {
        const gnss_system_t &sys = GNSS_SYSTEM[s];
        if (sig >= sys.signal && sig < sys.signal + sys.signal_amount) return keys[base + (size_t)(sig - sys.signal)];
        base += sys.signal_amount;
    }
    // A signal record from elsewhere (tests build their own).
    static thread_local QByteArray other;
    other = QByteArray(sig->code);
    return other;
}

// The phase shift a column's code has in phaseShift: none yet.
constexpr int kNoShiftHeld = INT_MIN;

} // namespace

qint64 Rinex3xx::writeRange()
{
    Range &rg = range;
    File *file = files.value(fileLetters[0]);
    if (!file || !file->isOpen()) return 0;
    const qint64 t = util_gps_time_to_epoch(rg.week, rg.ms);
    if (t < lastEpochMs) return 0;
    noteEpochWritten(t, rg.week, rg.ms);
    struct tm *cal = getTimeFromGpsWeekMs(rg.week, rg.ms);
    if (!cal) return 0;

    RecordCommand &command = newRecord(*cal, rg.ms, false);
    EpochRecord &record = command.epoch;

    static thread_local std::vector<int> order;
    if (++recordNumber == 0) recordNumber = 1;
    // The epoch as it is written, for the observer: each satellite's values
    // from `told` on (`seen.values` only grows).
    RinexObserver *const watch = recordObserver;
    size_t toldValues = 0;
    // Systems in the order of their letters: the system table's order (C,
    // E, G, I, J, R, S, T) is alphabetical.
    for (int s = 0; s < GNSS_SYSTEM_AMOUNT; s++) {
        const std::vector<Obs> &v = rg.flatObs[s];
        if (v.empty()) continue;
        const char letter = GNSS_SYSTEM[s].letter;
        System &sys = systems[letter];
        Range::sortPositions(v, order);

        // Columns of the signals, found once; a code not yet listed is
        // appended when its first satellite is written, as below.
        using SignalInfo = System::Signal;
        auto infoOf = [&](const gnss_signal_t *sig) -> SignalInfo & {
            SignalInfo &i = sys.known[sig->index < 32 ? sig->index : 32];
            if (i.signal != sig) {
                i = SignalInfo();
                i.signal = sig;
                i.column = sys.index.value(codeKey(sig), -1);
            }
            return i;
        };

        for (size_t a = 0; a < order.size();) {
            // One satellite: positions a .. b-1, codes ascending.
            const int prn = v[(size_t)order[a]].prn;
            size_t b = a;
            while (b < order.size() && v[(size_t)order[b]].prn == prn) b++;
            for (size_t k = a; k < b; k++) {
                SignalInfo &i = infoOf(v[(size_t)order[k]].signal);
                if (i.column < 0) {
                    const QByteArray code = codeKey(i.signal);
                    i.column = sys.index.value(code, -1);
                    if (i.column < 0) {
                        i.column = sys.types.size();
                        sys.index.insert(code, i.column);
                        sys.types.append(code);
                    }
                }
            }
            // The observer learns of the types before the first line that
            // uses them (those set before open, too).
            if (watch && sys.toldTypes != sys.types.size()) {
                watch->observationTypes(letter, headerTypes(letter));
                sys.toldTypes = sys.types.size();
            }
            const int columns = sys.types.size();
            // Built in place, like the fields: a satellite assembled here
            // and copied in stalled on its own last store.
            record.satellites.emplace_back(letter, prn);
            EpochRecord::Satellite &sat = record.satellites.back();
            sat.width = (uint32_t)columns * 64;
            sat.first = (uint32_t)record.fields.size();
            sat.told = toldValues;
            if (watch) {
                toldValues += (size_t)columns * 4;
                if (seen.values.size() < toldValues) seen.values.resize(toldValues * 2);
                std::fill_n(seen.values.begin() + (ptrdiff_t)sat.told, (size_t)columns * 4, RinexObserver::Value{NAN, 0, 0});
            }
            for (size_t k = a; k < b; k++) {
                const Obs &o = v[(size_t)order[k]];
                SignalInfo &i = infoOf(o.signal);
                const uint32_t at = (uint32_t)i.column * 64;
                RinexObserver::Value *told = watch ? &seen.values[sat.told + (size_t)i.column * 4] : nullptr;
                // C
                if (o.pseudorangeValid) {
                    double x = o.pseudorange;
                    char lli = ' ';
                    if (x >= 1e9) {
                        x -= 1e9;
                        lli = '1';
                    } else if (x <= -1e9) {
                        x += 1e9;
                        lli = '1';
                    }
                    record.fields.emplace_back(x, at, lli, ' ');
                    if (told) told[0] = {printedValue(x), (uint8_t)(lli == '1'), 0};
                }
                // L
                if (!o.phaseValid) {
                    record.fields.emplace_back(0.0, at + 16, '1', ' ', true);
                    if (told) told[1].lli = 1;
                } else {
                    double x = o.phase;
                    int lli = 0;
                    if (x >= 1e9) {
                        x -= 1e9;
                        lli |= 1;
                    } else if (x <= -1e9) {
                        x += 1e9;
                        lli |= 1;
                    }
                    if (o.lockLost()) lli |= 1;
                    if (!o.halfCycleOk) lli |= 2;
                    // A C/N0 of 0 was not measured (its S field is blank):
                    // its strength is unknown, not the weakest there is.
                    int ssi = 0;
                    if (o.cnr > 0) {
                        ssi = (int)(o.cnr / 6.0f);
                        if (ssi < 1) ssi = 1;
                        if (ssi > 9) ssi = 9;
                    }
                    const int shift = Rinex3xx::phaseShiftOf(o.signal);
                    if (i.phaseRecord != recordNumber) {
                        // The phase shift last applied per code, for the
                        // header: it depends only on the signal and the
                        // settings, so once per epoch will do, and only
                        // when it changes what is held.
                        if ((size_t)i.column >= sys.shiftHeld.size())
                            sys.shiftHeld.resize((size_t)i.column + 1, kNoShiftHeld);
                        if (sys.shiftHeld[(size_t)i.column] != shift) {
                            sys.phaseShift[codeKey(o.signal)] = shift;
                            sys.shiftHeld[(size_t)i.column] = shift;
                        }
                        i.phaseRecord = recordNumber;
                    }
                    // Every phase of a code goes out as the header states it:
                    // shifted to its band's reference signal with the shift
                    // on, as tracked with it off. A source that sends its
                    // phases aligned has shifted them itself; with the shift
                    // off that comes off again, or the header's 0 would
                    // hide a quarter cycle in them.
                    if (!o.phaseAligned) {
                        if (shift != 0) x += shift * 0.25;
                    } else if (!phaseShiftEnable) {
                        x -= phaseAlignmentOf(o.signal) * 0.25;
                    }
                    // A phase printed as 0 tells nothing: a loss of lock
                    // is still to be carried by the first real one.
                    bool real = true;
                    if (o.signal->system == GNSS_SYSTEM_GLONASS) {
                        if (o.glonassChannel == GLONASS_CHANNEL_UNKNOWN) {
                            x = 0;
                            real = false;
                        } else {
                            glonass_channel_update(&glonassChannels, o.prn, o.glonassChannel);
                            if (watch) watch->glonassChannel(o.prn, o.glonassChannel);
                            if (!i.biasKnown) {
                                i.bias = glonassCodePhaseBias.value(codeKey(o.signal), 0.0);
                                i.biasKnown = true;
                            }
                            if (i.bias != 0.0) {
                                uint32_t fr = glonass_channel_frequency(&glonassChannels, o.prn, o.signal);
                                if (fr != 0) x += fr * i.bias * 3.3356409519815204e-9;
                            }
                        }
                    }
                    record.fields.emplace_back(x, at + 16, lli ? (char)('0' + lli) : ' ', ssi ? (char)('0' + ssi) : ' ');
                    if (told) told[1] = {printedValue(x), (uint8_t)lli, (uint8_t)ssi};
                    if (real) phaseWritten(o);
                }
                // D
                if (o.dopplerValid) {
                    record.fields.emplace_back(o.doppler, at + 32, ' ', ' ');
                    if (told) told[2].value = printedValue(o.doppler);
                }
                // S: 0 dB-Hz is no signal strength but a C/N0 not
                // measured (RTCM 3 "not computed"), left blank.
                if (o.cnr > 0) {
                    record.fields.emplace_back(o.cnr, at + 48, ' ', ' ');
                    if (told) told[3].value = printedValue(o.cnr);
                }
            }
            sat.end = (uint32_t)record.fields.size();
            a = b;
        }
    }
    return submitRecord(command);
}

void Rinex3xx::tellRecord(const EpochRecord &record)
{
    // Only the satellites whose line was printed: a line of blank fields
    // is left out of the file.
    seen.satellites.clear();
    for (const EpochRecord::Satellite &sat : record.satellites)
        if (sat.printed) seen.satellites.push_back({sat.system, sat.prn, sat.told, (size_t)(sat.width / 64) * 4});
    tellEpoch(recordObserver, seen, record.year, record.month, record.day, record.hour, record.minute,
              record.second * 1000 + record.millisecond);
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
