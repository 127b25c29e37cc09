// Writer core: configuration, signal acceptance, observation records and
// loss-of-lock detection, GPS week tracking, the epoch gate and the framer
// hookup. Output files and naming are in rinexxxx_file.cpp, number formatting
// in rinexxxx_format.cpp.
#include <QDateTime>

#include "rinexxxx.h"

#include <algorithm>

#include <limits.h>
#include <math.h>
#include <stdlib.h>
#include <string.h>

#include "hemisphere.h"
#include "lock_time.h"
#include "novatel.h"
#include "util.h"

#include <QDateTime>

const QList<QByteArray> Rinexxxx::MARKER_TYPE = {
    "GEODETIC",   "NON_GEODETIC", "NON_PHYSICAL", "SPACEBORNE",    "GROUND_CRAFT", "WATER_CRAFT", "AIRBORNE",
    "FIXED_BUOY", "FLOATING_BUOY", "FLOATING_ICE", "GLACIER",      "BALLISTIC",    "ANIMAL",      "HUMAN"};
const char *const Rinexxxx::LIB_VERSION = "1.73.2312.99";
constexpr double Rinexxxx::SPARE;

Rinexxxx::Rinexxxx(QObject *parent) : QObject(parent)
{
    range.owner = this;
    glonass_channel_init(&glonassChannels);
    clearStatus();
}

Rinexxxx::~Rinexxxx()
{
    // Concrete writers close themselves in their own destructors, where their
    // header rewrites still exist; this only catches a writer that did not.
    close();
    qDeleteAll(files);
    files.clear();
}

bool Rinexxxx::setVersion(const QString &)
{
    return false;
}

bool Rinexxxx::setVersion(int)
{
    return false;
}

qint64 Rinexxxx::open(qint64)
{
    return 0;
}

qint64 Rinexxxx::inputLine(const uint8_t *, int)
{
    return 0;
}

qint64 Rinexxxx::inputRtcm3(const uint8_t *, int)
{
    return 0;
}

qint64 Rinexxxx::inputNovatel(const uint8_t *, int)
{
    return 0;
}

qint64 Rinexxxx::inputHemisphere(const uint8_t *, int)
{
    return 0;
}

qint64 Rinexxxx::writeRange()
{
    return 0;
}

qint64 Rinexxxx::writeNGps(const gps_nav_t &)
{
    return 0;
}

qint64 Rinexxxx::writeNQzs(const gps_nav_t &)
{
    return 0;
}

qint64 Rinexxxx::writeNBds(const bd2_nav_t &)
{
    return 0;
}

qint64 Rinexxxx::writeNGalInav(const galileo_inav_t &)
{
    return 0;
}

qint64 Rinexxxx::writeNGalFnav(const galileo_fnav_t &)
{
    return 0;
}

qint64 Rinexxxx::writeNGlo(const glonass_nav_t &)
{
    return 0;
}

qint64 Rinexxxx::writeNTss(const uint8_t *, int)
{
    return 0;
}

namespace {
// Slots of the flat epoch store: satellites 0..127 and signal indices 0..31
// of each system; anything outside is found by a search instead.
constexpr int kSlotSatellites = 128;
constexpr int kSlotSignals = 32;

int flatSlotIndex(const Rinexxxx::Obs &o)
{
    if (o.prn < 0 || o.prn >= kSlotSatellites || o.signal->index >= kSlotSignals ||
        o.signal->system >= GNSS_SYSTEM_AMOUNT)
        return -1;
    return ((int)o.signal->system * kSlotSatellites + o.prn) * kSlotSignals + o.signal->index;
}
} // namespace

void Rinexxxx::Range::clear()
{
    epochMs = 0;
    week = 0;
    ms = 0;
    // Only the slots in use are reset, and the vectors keep their capacity.
    for (std::vector<Obs> &v : flatObs) {
        if (!flatSlot.empty())
            for (const Obs &o : v) {
                int k = flatSlotIndex(o);
                if (k >= 0) flatSlot[(size_t)k] = 0;
            }
        v.clear();
    }
}

void Rinexxxx::Range::appendObs(const Obs &o)
{
    if (!o.isValid()) return;
    // The key (system letter, satellite, code) names one signal of one
    // table entry: a system's codes are distinct, so the signal's system and
    // index stand for its letter and code.
    std::vector<Obs> &v = flatObs[o.signal->system % GNSS_SYSTEM_AMOUNT];
    const int k = flatSlotIndex(o);
    if (k >= 0) {
        if (flatSlot.empty()) flatSlot.assign((size_t)GNSS_SYSTEM_AMOUNT * kSlotSatellites * kSlotSignals, 0);
        int16_t &slot = flatSlot[(size_t)k];
        if (slot > 0) {
            v[(size_t)slot - 1] = o;
        } else {
            v.push_back(o);
            slot = (int16_t)v.size();
        }
        return;
    }
    for (Obs &e : v)
        if (e.prn == o.prn && strcmp(e.signal->code, o.signal->code) == 0) {
            e = o;
            return;
        }
    v.push_back(o);
}

// Observations arrive nearly in RINEX order (MSM sends satellites
// ascending), so an insertion sort of their positions costs next to nothing.
void Rinexxxx::Range::sortPositions(const std::vector<Obs> &v, std::vector<int> &order)
{
    auto before = [](const Obs &a, const Obs &b) {
        if (a.prn != b.prn) return a.prn < b.prn;
        return strcmp(a.signal->code, b.signal->code) < 0;
    };
    order.resize(v.size());
    for (size_t i = 0; i < v.size(); i++) {
        const int x = (int)i;
        size_t j = i;
        while (j > 0 && before(v[(size_t)x], v[(size_t)order[j - 1]])) {
            order[j] = order[j - 1];
            j--;
        }
        order[j] = x;
    }
}

void Rinexxxx::Range::collect(std::vector<Obs> &out) const
{
    for (const std::vector<Obs> &v : flatObs) out.insert(out.end(), v.begin(), v.end());
}

const Rinexxxx::Obs *Rinexxxx::Range::find(const Obs &o) const
{
    if (!o.isValid()) return nullptr;
    const std::vector<Obs> &v = flatObs[o.signal->system % GNSS_SYSTEM_AMOUNT];
    const int k = flatSlotIndex(o);
    if (k >= 0) {
        if (flatSlot.empty() || flatSlot[(size_t)k] <= 0) return nullptr;
        return &v[(size_t)flatSlot[(size_t)k] - 1];
    }
    for (const Obs &e : v)
        if (e.prn == o.prn && strcmp(e.signal->code, o.signal->code) == 0) return &e;
    return nullptr;
}

bool Rinexxxx::Range::isEmpty() const
{
    for (const std::vector<Obs> &v : flatObs)
        if (!v.empty()) return false;
    return true;
}

bool Rinexxxx::updateOHeader(QFile &)
{
    return false;
}

bool Rinexxxx::updateNHeader(QFile &, const QByteArray &)
{
    return false;
}

// ---- setters -------------------------------------------------------------------------

// Header fields are fixed columns of ASCII text. A line break in a value
// would split its line, a multi-byte character would move the label out of
// columns 61-80 for any reader that counts characters, and a cut through a
// character would leave half of it. Accented letters keep their base letter,
// anything else that is not printable ASCII becomes "?"; then the cut.
QByteArray Rinexxxx::headerText(const QByteArray &value, int width)
{
    QByteArray out;
    out.reserve(value.size());
    const QString text = QString::fromUtf8(value).normalized(QString::NormalizationForm_KD);
    for (const QChar c : text) {
        // One "?" for a character beyond the first plane too.
        if (c.category() == QChar::Mark_NonSpacing || c.isLowSurrogate()) continue;
        const ushort u = c.unicode();
        out.append(u >= 0x20 && u < 0x7f ? (char)u : '?');
    }
    return out.left(width);
}

bool Rinexxxx::setProgramRunby(const QByteArray &program, const QByteArray &by)
{
    if (opened) return false;
    programName = headerText(program, 20);
    runBy = headerText(by, 20);
    return true;
}

bool Rinexxxx::setObserverAgency(const QByteArray &obs, const QByteArray &ag)
{
    if (opened) return false;
    observer = headerText(obs, 20);
    agency = headerText(ag, 40);
    return true;
}

bool Rinexxxx::setReceiver(const QByteArray &number, const QByteArray &type, const QByteArray &ver)
{
    if (opened) return false;
    receiverNumber = headerText(number, 20);
    receiverType = headerText(type, 20);
    receiverVersion = headerText(ver, 20);
    return true;
}

bool Rinexxxx::setAntenna(const QByteArray &number, const QByteArray &type)
{
    if (opened) return false;
    antennaNumber = headerText(number, 20);
    antennaType = headerText(type, 20);
    return true;
}

bool Rinexxxx::setMarker(const QByteArray &name, const QByteArray &number, const QByteArray &type)
{
    if (opened || !MARKER_TYPE.contains(type)) return false;
    markerName = headerText(name, 60);
    markerNumber = headerText(number, 20);
    markerType = type;
    return true;
}

bool Rinexxxx::setAntennaHEN(double h, double e, double n)
{
    // Written so that NaN is refused too.
    auto inside = [](double v) { return -1000.0 < v && v < 1000.0; };
    if (opened || !inside(h) || !inside(e) || !inside(n)) return false;
    antennaHen[0] = h + 0.0;
    antennaHen[1] = e + 0.0;
    antennaHen[2] = n + 0.0;
    return true;
}

bool Rinexxxx::setAntennaCenter(double l1, double l2)
{
    if (opened) return false;
    antennaCenter[0] = l1 + 0.0;
    antennaCenter[1] = l2 + 0.0;
    return true;
}

bool Rinexxxx::setPhaseCenter(double latitude, double longitude, double height)
{
    if (opened || !(-90.0 <= latitude && latitude <= 90.0) || !(-180.0 <= longitude && longitude <= 360.0) ||
        !(-1000.0 <= height && height <= 1000000.0))
        return false;
    // A typed "-0" is 0: the header would show a Z of -0.0000.
    phaseCenterBlh[0] = latitude + 0.0;
    phaseCenterBlh[1] = longitude + 0.0;
    phaseCenterBlh[2] = height + 0.0;
    // Latitude and longitude both 0 is what receivers' log headers hold for
    // a position they do not know (no station stands there): the position
    // found in the log serves instead. A latitude of 0 alone is the equator.
    phaseCenterGiven = latitude != 0 || longitude != 0;
    return true;
}

bool Rinexxxx::setBoard(int b)
{
    if (opened) return false;
    board = b;
    return true;
}

bool Rinexxxx::setMode(int m)
{
    if (opened || m < 1 || m > 3) return false;
    mode = m;
    return true;
}

bool Rinexxxx::setFileName(const QString &path, int namingMode)
{
    if (opened || namingMode < 1 || namingMode > 3) return false;
    fileName = path;
    fileNameMode = namingMode;
    return true;
}

bool Rinexxxx::setObsIntervalMin(int ms)
{
    if (opened || ms < 0) return false;
    obsIntervalMin = ms;
    return true;
}

bool Rinexxxx::setCompression(int how)
{
    if (opened || how < 0 || how > (COMPRESS_GZIP | COMPRESS_HATANAKA)) return false;
    compression = how;
    return true;
}

bool Rinexxxx::setMaskSystem(const QSet<char> &mask)
{
    if (opened) return false;
    maskSystem = mask;
    return true;
}

bool Rinexxxx::setMaskPrn(const QSet<QByteArray> &mask)
{
    if (opened) return false;
    maskPrn = mask;
    return true;
}

bool Rinexxxx::setMaskSignal(const QSet<QByteArray> &mask)
{
    if (opened) return false;
    maskSignal = mask;
    return true;
}

bool Rinexxxx::setCommentList(const QList<QByteArray> &comments)
{
    if (opened) return false;
    commentLines.clear();
    for (const QByteArray &text : comments) {
        QByteArray line = headerText(text, 60).leftJustified(60, ' ');
        line += "COMMENT             \r\n";
        commentLines.append(line);
    }
    return true;
}

bool Rinexxxx::setGlonassChannel(const glonass_channel_t &table)
{
    glonassChannels = table;
    return true;
}

bool Rinexxxx::setRtcm3Epoch(qint64 msSince1970)
{
    int32_t week = 0, ms = 0;
    util_epoch_to_gps_time(msSince1970, &week, &ms);
    rtcm3Week = week;
    rtcm3Ms = ms;
    rtcm3WeekFromGps = false;
    rtcm3FromTimeStart = week > 0;
    timeStartGiven = week > 0;
    if (week > 0) fullWeek = week;
    return week > 0;
}

bool Rinexxxx::setRtcm3Epoch(int week, int ms)
{
    rtcm3Week = week;
    rtcm3Ms = ms;
    return week > 0;
}

bool Rinexxxx::updateRtcm3Epoch(int week, int ms)
{
    if (rtcm3Week > 0) return true;
    return setRtcm3Epoch(week, ms);
}

void Rinexxxx::setPrescan(bool on)
{
    if (!opened) return;
    // The conversion pass reads the input from its start again: the last
    // epoch time of the prescan is not the time around its first ephemeris.
    if (prescan && !on) lastMsmTow = -1;
    prescan = on;
}

void Rinexxxx::flush()
{
    drainRecords();
    for (File *f : qAsConst(files))
        if (f->isOpen()) {
            const QString why = f->settle();
            if (!why.isEmpty()) noteError(QString("cannot write %1: %2").arg(f->path(), why));
        }
}

void Rinexxxx::clearStatus()
{
    recordBehind.reset();
    qDeleteAll(files);
    files.clear();
    firstEpochMs = lastEpochMs = 0;
    firstNavigationMs = firstGlonassNavigationMs = 0;
    lastWeek = lastMs = 0;
    intervalMs = 0;
    leapSeconds = 99;
    ppkInSite = false;
    ppkSiteId[0] = ppkSiteId[1] = 0;
    ppkSampleCount = 0;
    lastIntervalBucket = 0;
    lastGateEpochMs = gateSpacingMs = 0;
    approxBlh[0] = approxBlh[1] = approxBlh[2] = 0;
    resetPositionSolver();
    lockTimes.clear();
    msmCells.clear();
    msmEpochMs = msmGlonassEpochMs = -1;
    legacyPending.clear();
    rtcm3QuarterCycle.clear();
    legacyAligned.clear();
    rtcm3EpochDone = false;
    ppkPending = PpkSample();
    packetCount = 0;
    for (auto &m : lastNavTime) m.clear();
    errors.clear();
    finalPaths.clear();
    skippedEpochs = 0;
    skippedGlonassEpochs = 0;
    droppedEpochs = 0;
    ppkHeldEpochs = 0;
    typelessSignals.clear();
    unknownSignals.clear();
    maskedObservations = 0;
    hemisphereEpochOpen = false;
    incompleteEpochs = 0;
    timeStartWeeksOff = 0;
    ephemerisWeeksOff = 0;
    ephemerisWeekBeforeEpochs = 0;
    lastRecordStart = -1;
    lastRecordEnd = 0;
    lastWriteIsRecord = false;
    replacingRecord = false;
    lastRecordObs.clear();
    rangeSource = lastRecordSource = EpochSource();
    writtenSources.clear();
    sourceChanges = 0;
    otherReceiverEpochs = 0;
    otherReceiverKept = otherReceiverLeft = EpochSource();
    stationPositions.clear();
    writtenStations.clear();
    epochWeek = epochMsOfWeek = 0;
    lastMsmTow = -1;
    epochStations.clear();
    lastEpochStations.clear();
    sameTimeStations.clear();
    lastStationsEpochMs = 0;
    rtcm3ObsStations.clear();
    rtcm3StationChanges = 0;
    rtcm3MsFromEphemeris = false;
    msmGlonassSeen = false;
    msmGlonassEpochField = 0;
    bdsMsmOnGpsTime = false;
    glonassNavRefMs = 0;
    glonassNavRefVotes = 0;
    range.clear();
    memset(&gpsIonUtc, 0, sizeof gpsIonUtc);
    memset(&bdsIonUtc, 0, sizeof bdsIonUtc);
    memset(&bdsIono, 0, sizeof bdsIono);
    memset(&hemisphereIonUtc, 0, sizeof hemisphereIonUtc);
    ubloxNav.reset();
    sbfRawNav.reset();
    sbfDecodedNav = 0;
    ubloxHalfCycle.clear();
    // A "Time Start" given before open is a full week.
    fullWeek = rtcm3Week > 0 && !rtcm3WeekFromGps ? rtcm3Week : 0;
}

void Rinexxxx::noteError(const QString &text)
{
    if (RecordBehind::onThread()) {
        // A failure of the record thread: the writer's thread takes it.
        std::lock_guard<std::mutex> lock(recordErrorsMutex);
        if (!recordErrors.contains(text)) recordErrors.append(text);
        return;
    }
    if (!errors.contains(text)) errors.append(text);
}

// ---- framer hookup ---------------------------------------------------------------------

// gnssscan's "conversion" format set names these same formats.
void Rinexxxx::gnssparserInit(gnssparser_s *parser, uint8_t *buffer, int size)
{
    gnssparser_init(parser, buffer, size > 0 ? (uint32_t)size : 0, this);
    gnssparser_callback_line(parser, parserLine);
    gnssparser_callback_rtcm3(parser, parserRtcm3);
    gnssparser_callback_novatel(parser, parserNovatel);
    gnssparser_callback_hemisphere(parser, parserHemisphere);
    gnssparser_callback_septentrio(parser, parserSeptentrio);
    gnssparser_callback_ublox(parser, parserUblox);
}

void Rinexxxx::parserLine(const uint8_t *data, uint32_t length, void *user)
{
    static_cast<Rinexxxx *>(user)->inputLine(data, (int)length);
}

void Rinexxxx::parserRtcm3(const uint8_t *data, uint32_t length, void *user)
{
    static_cast<Rinexxxx *>(user)->inputRtcm3(data, (int)length);
}

void Rinexxxx::parserNovatel(const uint8_t *data, uint32_t length, void *user)
{
    static_cast<Rinexxxx *>(user)->inputNovatel(data, (int)length);
}

void Rinexxxx::parserHemisphere(const uint8_t *data, uint32_t length, void *user)
{
    static_cast<Rinexxxx *>(user)->inputHemisphere(data, (int)length);
}

// ---- signal acceptance and observations ---------------------------------------------------

bool Rinexxxx::checkRange(const gnss_signal_t *signal, int prn) const
{
    if (!signal) return false;
    // "%c%02d" of a number above 99 would shift every column after it.
    if (prn < 1 || prn > 99) return false;
    const bool typeless = version > 301 && signal->phase_shift[versionMinor % 6] == GNSS_PHASE_SHIFT_NONE;
    const char letter = GNSS_SYSTEM[signal->system].letter;
    bool masked = maskSystem.contains(letter);
    if (!masked && !maskPrn.isEmpty()) {
        char key[8];
        snprintf(key, sizeof key, "%c%02d", letter, prn);
        masked = maskPrn.contains(QByteArray(key));
    }
    if (!masked && !maskSignal.isEmpty()) {
        QByteArray key(1, letter);
        key += signal->code;
        masked = maskSignal.contains(key);
    }
    if (masked) {
        maskedObservations++;
        return false;
    }
    // Masked observations were left out on purpose; these were not.
    if (typeless) {
        noteTypeless(signal);
        return false;
    }
    return true;
}

namespace {

// Resolution of a NovAtel lock time, by log: RANGECMP counts 1/32 s in 21
// bits and RANGECMP2 milliseconds in 17 bits, each stopping at its top
// value; RANGE sends a float, allowed one RANGECMP step for its rounding.
float novatelLockResolution(int id, float locktime)
{
    switch (id) {
    case 140:
    case 2111:
        return locktime >= 2097151 / 32.0f ? -1.0f : 1 / 32.0f;
    case 1273:
    case 2112:
        return locktime >= 131071 * 0.001f ? -1.0f : 0.001f;
    default:
        return 1 / 32.0f;
    }
}

} // namespace

int Rinexxxx::Obs::lockKey() const
{
    return signal ? (int)signal->system * 65536 + prn * 256 + (int)signal->index : 0;
}

Rinexxxx::LockState &Rinexxxx::LockTable::insert(int key, const LockState &state)
{
    const int i = slotOf(key);
    if (i < 0) return others.insert(key, state).value();
    if (slots.empty()) slots.assign((size_t)8 * 128 * 32, 0);
    uint16_t &at = slots[(size_t)i];
    if (at == 0) {
        states.emplace_back();
        at = (uint16_t)states.size();
    }
    Entry &e = states[at - 1u];
    e.key = key;
    e.present = true;
    e.state = state;
    return e.state;
}

void Rinexxxx::LockTable::remove(int key)
{
    const int i = slotOf(key);
    if (i < 0) {
        others.remove(key);
        return;
    }
    const uint16_t at = slots.empty() ? 0 : slots[(size_t)i];
    if (at != 0) states[at - 1u].present = false;
}

void Rinexxxx::LockTable::clear()
{
    slots.clear();
    states.clear();
    others.clear();
}

void Rinexxxx::Obs::updateLocktime(Rinexxxx *writer, int msOfWeek, int periodMs, int week)
{
    const bool dated = week > 0 && periodMs == 604800000;
    const qint64 time = dated ? (qint64)week * periodMs + msOfWeek : msOfWeek;
    const int key = lockKey();
    if (!(phaseValid && lockOk)) {
        // Forgotten, so that the next valid phase of the signal is flagged.
        writer->lockTimes.remove(key);
        return;
    }
    LockState *found = writer->lockTimes.find(key);
    if (!found) {
        // The first phase of a signal is flagged.
        LockState st;
        st.time = time;
        st.dated = dated;
        st.lockTime = lockTime;
        st.resolution = lockResolution;
        st.kind = lockKind;
        st.slip = st.pending = true;
        writer->lockTimes.insert(key, st);
        lockOk = false;
        lockPending = true;
        return;
    }
    LockState &st = *found;
    // Times on a wrapping scale are compared within half a period.
    qint64 d = time - st.time;
    if (!(dated && st.dated)) {
        // Epochs lie within a period of one another but for a wrap: the
        // two 64-bit divisions of the general case, for every observation,
        // cost more than all the rest of this check.
        if (d < 0 && d >= -(qint64)periodMs)
            d += periodMs;
        else if (d < 0 || d >= periodMs)
            d = ((d % periodMs) + periodMs) % periodMs;
        if (d > periodMs / 2) d -= periodMs;
    }
    if (d == 0) {
        // The signal again within its epoch (another MSM type of the same
        // system, a repeated log, a second channel on the same signal): the
        // epoch's decision stands, unless this report, whose values replace
        // the first's, holds a lock younger than the gap since the last
        // epoch: its phase cannot join the one written there.
        const double gap = st.gapMs * 0.001;
        const bool young = lockResolution >= 0 ? lockTime + lockResolution < gap : lockTime > 0 && lockTime < gap;
        if (young && !st.slip) st.slip = st.pending = true;
        if (st.slip) lockOk = false;
    } else {
        // A lock time at its top vouches for no longer than its least value:
        // over a longer interval the lock may have restarted and grown past
        // it. (A least value of 0 says nothing.) Where the top is short
        // (Hemisphere's 25.6 s) a log with epochs further apart has every
        // phase flagged: nothing in it tells a continuous lock.
        const bool beyondTop = lockResolution < 0 && lockTime > 0 && lockTime < d * 0.001;
        st.slip = lockKind != st.kind || beyondTop ||
                  util_lock_slipped(st.lockTime, st.resolution, lockTime, lockResolution, d * 0.001) != 0;
        st.time = time;
        st.dated = dated;
        st.gapMs = d;
        st.lockTime = lockTime;
        st.resolution = lockResolution;
        st.kind = lockKind;
        if (st.slip) {
            lockOk = false;
            st.pending = true;
        }
    }
    lockPending = st.pending;
}

void Rinexxxx::phaseWritten(const Obs &o)
{
    if (LockState *st = lockTimes.find(o.lockKey())) st->pending = false;
}

Rinexxxx::Obs::Obs(Rinexxxx *writer, const rtcm3_msm_cell_t &cell, const rtcm3_msm_header_t &header)
{
    if (!cell.signal)
        writer->noteUnknown(QString("RTCM 3 %1 signal id %2").arg(header.message).arg(cell.signal_index + 1));
    if (!writer->checkRange(cell.signal, cell.satellite)) return;
    const gnss_signal_t *sig = cell.signal;
    uint32_t f = sig->frequency;
    if (sig->system == GNSS_SYSTEM_GLONASS) {
        // MSM5 and MSM7 carry the frequency channel: streams without GLONASS
        // ephemerides would otherwise never get phase or Doppler.
        if (cell.extended_info_valid)
            glonass_channel_update_extended(&writer->glonassChannels, cell.satellite, cell.extended_info);
        f = glonass_channel_frequency(&writer->glonassChannels, cell.satellite, sig);
    }
    signal = sig;
    prn = cell.satellite;
    glonassChannel = glonass_channel_get(&writer->glonassChannels, cell.satellite);
    pseudorange = cell.pseudorange * 299792458.0;
    pseudorangeValid = cell.pseudorange_valid;
    if (f > 0) {
        phase = cell.phase * f;
        phaseValid = cell.phase_valid;
        dopplerValid = cell.phase_rate_valid;
        doppler = (float)(f * cell.phase_rate * -3.3356409519815204e-9);
    }
    lockOk = cell.phase_valid;
    halfCycleOk = cell.half_cycle == 0;
    // MSM phase ranges of one band are sent aligned to one another.
    phaseAligned = true;
    cnr = cell.cnr_valid ? cell.cnr : 0;
    // MSM6 and MSM7 send the extended 10-bit indicator, the others 4 bits.
    double least = 0, resolution = -1;
    rtcm3_msm_lock_time(cell.lock, header.msm_type >= 6, &least, &resolution);
    lockTime = (float)least;
    lockResolution = (float)resolution;
    lockKind = header.msm_type >= 6 ? LOCK_KIND_MSM_EXTENDED : LOCK_KIND_MSM;
    // A GLONASS time without its day of week (7) runs from Moscow midnight
    // to Moscow midnight: a day, not a week, separates its wraps. Times with
    // a day of week are counted the same way, so that a stream whose day
    // field turns from unknown to known (as some do at the GPS week's
    // start) keeps its locks: times of two kinds cannot be compared.
    if (sig->system == GNSS_SYSTEM_GLONASS)
        updateLocktime(writer, header.tow % 86400000, 86400000);
    else
        updateLocktime(writer, header.tow);
    // Receivers send cells for signals they track nothing of: every field at
    // its "invalid" value and C/N0 "not computed". Such a cell is no
    // observation; written, it would list the satellite with only a
    // loss-of-lock flag and a signal strength of 0.
    if (!cell.pseudorange_valid && !cell.phase_valid && !cell.phase_rate_valid && !cell.cnr_valid) signal = nullptr;
}

Rinexxxx::Obs::Obs(Rinexxxx *writer, const rtcm3_legacy_obs_t &satellite, const rtcm3_legacy_signal_t &sig,
                   int msOfWeek, bool aligned)
{
    // 1001, 1003, 1009 and 1011 leave the whole light-milliseconds out of
    // the pseudorange (a rover resolves them from its own position): such a
    // range is no RINEX observation, nor is the phase built on it.
    if (!satellite.full_range || !writer->checkRange(sig.signal, satellite.prn)) return;
    const gnss_signal_t *s = sig.signal;
    uint32_t f = s->frequency;
    if (s->system == GNSS_SYSTEM_GLONASS) {
        // The channel from the message is known by now (rtcm3Legacy).
        f = glonass_channel_frequency(&writer->glonassChannels, satellite.prn, s);
    }
    signal = s;
    prn = satellite.prn;
    glonassChannel = glonass_channel_get(&writer->glonassChannels, satellite.prn);
    pseudorange = sig.pseudorange;
    pseudorangeValid = sig.pseudorange_valid;
    if (f > 0 && sig.phase_valid) {
        phase = sig.phase_range * f / 299792458.0;
        phaseValid = true;
    }
    lockOk = sig.phase_valid;
    // The messages have no half-cycle indicator.
    halfCycleOk = true;
    cnr = sig.cnr_valid ? sig.cnr : 0;
    // The indicator stands for lock times up to the next one's least value;
    // the top indicator (127) for that or more.
    const uint8_t lock = sig.lock & 0x7F;
    lockTime = (float)rtcm3_legacy_lock_seconds(lock);
    lockResolution = lock < 127 ? (float)(rtcm3_legacy_lock_seconds(lock + 1) - rtcm3_legacy_lock_seconds(lock)) : -1.0f;
    lockKind = LOCK_KIND_RTCM3_LEGACY;
    phaseAligned = aligned;
    // Legacy GLONASS messages carry only the time of the Moscow day.
    if (s->system == GNSS_SYSTEM_GLONASS)
        updateLocktime(writer, msOfWeek % 86400000, 86400000);
    else
        updateLocktime(writer, msOfWeek);
    if (phaseValid) {
        // A station's indicator first seen after its first epochs (without
        // the prescan pass) moves the phases of a shifted signal by a
        // quarter cycle from then on, with the shift on or off: a slip for
        // whoever reads the file.
        auto it = writer->legacyAligned.find(lockKey());
        if (it != writer->legacyAligned.end() && it.value() != aligned && writer->phaseAlignmentOf(s) != 0)
            markSlip(writer);
        writer->legacyAligned.insert(lockKey(), aligned);
    }
}

Rinexxxx::Obs::Obs(Rinexxxx *writer, const novatel_range_obs_t &entry, const novatel_header_t &header)
{
    const gnss_signal_t *sig = entry.nov_signal ? entry.nov_signal->signal : nullptr;
    if (!sig)
        writer->noteUnknown(QString("NovAtel system %1 signal type %2").arg(entry.system).arg(entry.signal_type));
    if (!writer->checkRange(sig, entry.prn)) return;
    if (!((entry.phase_lock && entry.parity_known) || entry.code_lock)) return;
    signal = sig;
    prn = entry.prn;
    glonassChannel = entry.glofreq;
    pseudorange = entry.psr;
    phase = -entry.adr;
    phaseValid = entry.adr != 0;
    doppler = entry.doppler;
    cnr = entry.cno;
    lockTime = entry.locktime;
    lockResolution = novatelLockResolution(header.id, entry.locktime);
    lockKind = header.id == 140 || header.id == 2111    ? LOCK_KIND_RANGECMP
               : header.id == 1273 || header.id == 2112 ? LOCK_KIND_RANGECMP2
                                                        : LOCK_KIND_RANGE;
    lockOk = entry.phase_lock;
    halfCycleOk = entry.parity_known;
    pseudorangeValid = entry.code_lock;
    dopplerValid = true;
    updateLocktime(writer, (int)header.ms, 604800000, header.week);
}

Rinexxxx::Obs::Obs(Rinexxxx *writer, const hemisphere_bin16_obs_obs_t &entry, const hemisphere_bin16_obs_t &packet)
{
    if (!entry.signal)
        writer->noteUnknown(QString("Hemisphere system %1 signal %2").arg(entry.system).arg(entry.signal_index));
    if (!writer->checkRange(entry.signal, entry.prn)) return;
    signal = entry.signal;
    prn = entry.prn;
    glonassChannel = entry.glofreq;
    pseudorange = entry.pseudorange;
    phase = -entry.adr;
    phaseValid = entry.adr != 0;
    cnr = entry.snr;
    // Tenths of a second up to 25.5 s; 25.6 stands for that or more.
    lockTime = entry.lock;
    lockResolution = entry.lock >= 25.55f ? -1.0f : 0.1f;
    lockKind = LOCK_KIND_HEMISPHERE;
    doppler = entry.doppler;
    lockOk = halfCycleOk = entry.phase_valid;
    pseudorangeValid = dopplerValid = true;
    updateLocktime(writer, (int)packet.ms, 604800000, packet.week);
}

// ---- time ------------------------------------------------------------------------------------

bool Rinexxxx::trackRtcm3Week(int tow)
{
    const int halfWeek = 302400000;
    int d = tow - rtcm3Ms;
    int week = rtcm3Week;
    if (d < -halfWeek)
        week++;
    else if (d > halfWeek)
        week--;
    rtcm3Week = week;
    rtcm3Ms = tow;
    rtcm3FromTimeStart = false;
    if (week > 0) {
        epochWeek = week;
        epochMsOfWeek = tow;
    }
    return rtcm3Week > 0;
}

bool Rinexxxx::epochGate(qint64 msSince1970)
{
    if (lastGateEpochMs > 0 && msSince1970 > lastGateEpochMs) {
        const qint64 d = msSince1970 - lastGateEpochMs;
        if (gateSpacingMs == 0 || d < gateSpacingMs) gateSpacingMs = d;
    }
    lastGateEpochMs = msSince1970;
    if (!(mode == 1 || (mode == 3 && !ppkInSite))) {
        ppkHeldEpochs++;
        return false;
    }
    if (obsIntervalMin > 0) {
        // Receivers whose clock is not steered date their epochs a few
        // milliseconds before the whole second (x.992 s, x.999 s). Counted
        // from its own time, such an epoch would fall into the interval
        // before the grid point it stands for, and the grid point would get
        // the epoch a whole data interval after it instead. An epoch up to
        // `kEarlyEpochMaxMs` early, and less than half the data's spacing
        // and half the rate limit early, therefore counts to the next grid
        // point: each grid point keeps the epoch nearest to it.
        qint64 early = kEarlyEpochMaxMs;
        if (gateSpacingMs > 0) early = std::min(early, (gateSpacingMs - 1) / 2);
        early = std::min(early, (qint64)(obsIntervalMin - 1) / 2);
        const qint64 bucket = (msSince1970 + early) / obsIntervalMin;
        if (bucket == lastIntervalBucket) return false;
        // A later epoch whose allowance shrank (the data's spacing learnt
        // after the first epoch) belongs to the grid point already served.
        // An older epoch goes on, to be dropped and counted as such.
        if (bucket < lastIntervalBucket && lastEpochMs > 0 && msSince1970 >= lastEpochMs) return false;
        lastIntervalBucket = bucket;
    }
    return true;
}

void Rinexxxx::noteEpochWritten(qint64 t, int week, int ms)
{
    if (t <= lastEpochMs) return;
    if (firstEpochMs == 0) firstEpochMs = t;
    // A gap of more than 24 days (logs of different weeks joined) is no
    // interval, and would not fit the count of milliseconds.
    const qint64 d = t - lastEpochMs;
    if (lastEpochMs > 0 && d <= INT_MAX && (intervalMs == 0 || d < intervalMs)) intervalMs = (int)d;
    lastEpochMs = t;
    lastWeek = week;
    lastMs = ms;
}

int Rinexxxx::timeStartDisagreement() const
{
    if (timeStartWeeksOff != 0 || ephemerisWeekBeforeEpochs <= 0 || firstEpochMs <= 0) return timeStartWeeksOff;
    int32_t week = 0, ms = 0;
    util_epoch_to_gps_time(firstEpochMs, &week, &ms);
    return abs(ephemerisWeekBeforeEpochs - week) >= 2 ? ephemerisWeekBeforeEpochs - week : 0;
}

int Rinexxxx::weekOfReception(int week, int tocMs, int tow, int scaleBehindMs, bool sentBeforeToc)
{
    // The week an ephemeris carries is the week of its transmission on its
    // own scale, and receivers resend one for a while: in the first moments
    // of a GPS week the epochs can already lie in the week after it.
    // On a scale behind GPS time the week ends that much later.
    if (tow < scaleBehindMs) return week + 1;
    // A GPS data set is broadcast before its toc: early in a week, a toc
    // that no broadcast in this week could precede (toc 0 of the next week,
    // or one of the second half of a week) is from the week before. (Long
    // fit intervals put toc hours after the broadcast, never days.)
    const int hours4 = 14400000;
    if (sentBeforeToc && tow < hours4 && (tocMs == 0 || tocMs >= 302400000)) return week + 1;
    return week;
}

void Rinexxxx::learnRtcm3Week(int week, int ms, bool full, int scaleBehindMs, bool sentBeforeToc, bool msIsClock)
{
    if (week <= 0) return;
    // An ephemeris is sent within hours of its time, so its week is that of
    // the epochs around it or, across a week's end, the one before or after.
    // Two weeks or more from the epochs that "Time Start" dated, one of the
    // two is wrong: the epochs stay dated from "Time Start", and the task
    // says so. (The prescan dates no epoch, and "Time Start" is only the
    // start of a log that may span weeks.)
    // One sent before the first epoch is compared with that epoch when the
    // input ends.
    // Without "Time Start" the same disagreement means the epochs took their
    // week from elsewhere in the input (logs of different weeks joined: the
    // week learnt by the prescan pass is one of them), and are misdated.
    if (!prescan) {
        int &weeksOff = timeStartGiven ? timeStartWeeksOff : ephemerisWeeksOff;
        if (timeStartGiven && lastWeek <= 0 && ephemerisWeekBeforeEpochs == 0)
            ephemerisWeekBeforeEpochs = week;
        else if (lastWeek > 0 && weeksOff == 0 && abs(week - lastWeek) >= 2)
            weeksOff = week - lastWeek;
    }
    // An ephemeris carries the week of its transmission, which is the week
    // of the epochs around it, while its toc may already lie in the next
    // week: pair the week with the time of those epochs, not with toc.
    auto pair = [&]() {
        rtcm3Week = week;
        rtcm3FromTimeStart = false;
        const int tow = msIsClock ? ms : lastMsmTow;
        if (tow >= 0) {
            rtcm3Week = weekOfReception(week, ms, tow, scaleBehindMs, sentBeforeToc);
            rtcm3Ms = tow;
            rtcm3MsFromEphemeris = false;
        } else {
            rtcm3Ms = ms;
            rtcm3MsFromEphemeris = true;
            rtcm3EphemerisTocMs = ms;
            rtcm3EphemerisScaleBehindMs = scaleBehindMs;
            rtcm3EphemerisSentBeforeToc = sentBeforeToc;
        }
    };
    if (full) {
        fullWeek = week;
        // A full week replaces one guessed from a GPS ephemeris, as long as
        // no epoch has been dated with the guess.
        if (rtcm3Week <= 0 || (rtcm3WeekFromGps && lastEpochMs == 0)) {
            pair();
            rtcm3WeekFromGps = false;
        }
    } else if (rtcm3Week <= 0) {
        pair();
        rtcm3WeekFromGps = fullWeek == 0;
    }
}

void Rinexxxx::noteMsmTow(int tow)
{
    lastMsmTow = tow;
    if (rtcm3MsFromEphemeris) {
        // The ephemeris came first: its week is that of this epoch.
        rtcm3Week = weekOfReception(rtcm3Week, rtcm3EphemerisTocMs, tow, rtcm3EphemerisScaleBehindMs,
                                    rtcm3EphemerisSentBeforeToc);
        rtcm3Ms = tow;
        rtcm3MsFromEphemeris = false;
    }
}

int Rinexxxx::leapSecondsAt(qint64 gpsMs)
{
    // UTC dates (s since 1970) from which GPS - UTC took each value.
    static const struct {
        qint64 from;
        int seconds;
    } steps[] = {{1483228800, 18}, {1435708800, 17}, {1341100800, 16}, {1230768000, 15},
                 {1136073600, 14}, {915148800, 13},  {867715200, 12}};
    for (const auto &s : steps)
        if (gpsMs / 1000 >= s.from) return s.seconds;
    return 11;
}

bool Rinexxxx::glonassEpochToGps(int msOfMoscowDay, int dayOfWeek, int *week, int *msOfWeek) const
{
    if (msOfMoscowDay < 0 || msOfMoscowDay >= 86401000) return false;
    qint64 reference;
    if (rtcm3Week > 0)
        reference = util_gps_time_to_epoch(rtcm3Week, rtcm3Ms);
    else if (glonassNavRefMs > 0)
        reference = glonassNavRefMs;
    else
        return false;
    const qint64 dayMs = 86400000, weekMs = 7 * dayMs;
    const qint64 gpsStart = util_gps_time_to_epoch(0, 0);
    const qint64 leapMs = 1000LL * (leapSeconds != 99 ? leapSeconds : leapSecondsAt(reference));
    // Moscow time runs 3 h ahead of UTC, GPS time the leap seconds ahead.
    const bool dayKnown = dayOfWeek >= 0 && dayOfWeek <= 6;
    const qint64 period = dayKnown ? weekMs : dayMs;
    const qint64 offset = (dayKnown ? dayOfWeek * dayMs : 0) + msOfMoscowDay - 10800000 + leapMs;
    // The time of that phase nearest the reference; a "Time Start" given as
    // a date alone still dates a log of that day: the first time from it on.
    const bool fromStart = rtcm3Week > 0 && rtcm3FromTimeStart && !dayKnown;
    const qint64 r = reference - gpsStart - offset + (fromStart ? period - 1 : period / 2);
    const qint64 k = r >= 0 ? r / period : -((-r + period - 1) / period);
    const qint64 t = offset + k * period;
    if (t < 0) return false;
    *week = (int)(t / weekMs);
    *msOfWeek = (int)(t % weekMs);
    return *week > 0;
}

int Rinexxxx::currentGpsWeek() const
{
    const qint64 now = clockMs != 0 ? clockMs : QDateTime::currentMSecsSinceEpoch();
    int32_t week = 0, ms = 0;
    // UTC for GPS time: seconds apart, never a week.
    util_epoch_to_gps_time(now, &week, &ms);
    return week;
}

int Rinexxxx::resolveGpsWeek(int week) const
{
    if (week < 0) return week;
    const int base = week % 1024;
    int reference = lastWeek > 0 ? lastWeek : fullWeek;
    if (reference <= 0) {
        // Nothing in the input tells the 1024-week era: the latest week of
        // this number that is not in the future. Logs of the last 19 years
        // come out right; older ones need "Time Start".
        const int now = currentGpsWeek();
        if (now < base) return week;
        return base + 1024 * ((now - base) / 1024);
    }
    int k = (reference - base + 512) / 1024;
    if (reference - base + 512 < 0) k = 0;
    return base + 1024 * k;
}

int Rinexxxx::alignNavWeek(int week, uint32_t toc, int32_t tow, bool weekOfToe) const
{
    if (weekOfToe) return week;
    double reference;
    if (tow >= 0)
        reference = week * 604800.0 + tow;
    else if (epochWeek > 0)
        reference = epochWeek * 604800.0 + epochMsOfWeek / 1000;
    else if (lastWeek > 0)
        reference = lastWeek * 604800.0 + lastMs / 1000;
    else
        return week; // a start time alone may be days away
    double d = week * 604800.0 + toc - reference;
    if (d < -302400.0) return week + 1;
    if (d > 302400.0) return week - 1;
    return week;
}

int Rinexxxx::navTocWeek(int alignedWeek, uint32_t toc, uint32_t toe, bool weekOfToe, int *toeWeek)
{
    // The week of toe counted from toc's: toe is within half a week of toc.
    const long d = (long)toe - (long)toc;
    const int shift = d > 302400 ? -1 : d < -302400 ? 1 : 0;
    *toeWeek = weekOfToe ? alignedWeek : alignedWeek + shift;
    return weekOfToe ? alignedWeek - shift : alignedWeek;
}

double Rinexxxx::gpsFitIntervalHours(int fitFlag, int iodc)
{
    if (fitFlag == 0) return 4.0;
    // Longer curve fits are told by IODC ranges (IS-GPS-200, table 20-XII);
    // any other IODC with the flag set means 6 hours.
    static const struct {
        int low, high;
        double hours;
    } ranges[] = {{240, 247, 8},    {248, 255, 14},   {496, 496, 14},   {497, 503, 26},  {1021, 1023, 26},
                  {504, 510, 50},   {511, 511, 74},   {752, 756, 74},   {757, 763, 98},  {764, 767, 122},
                  {1008, 1010, 122}, {1011, 1020, 146}};
    for (const auto &r : ranges)
        if (iodc >= r.low && iodc <= r.high) return r.hours;
    return 6.0;
}

bool Rinexxxx::navSatelliteAccepted(char letter, int satellite, char *name) const
{
    // Two digits in the satellite name, or the columns shift.
    if (satellite < 1 || satellite > 99) return false;
    snprintf(name, 8, "%c%02d", letter, satellite);
    return !maskPrn.contains(QByteArray(name, 3));
}

bool Rinexxxx::navRecordWanted(char letter, int satellite, int kind, qint64 time, char *name) const
{
    if (!navSatelliteAccepted(letter, satellite, name)) return false;
    auto it = lastNavTime[kind].constFind(satellite);
    return it == lastNavTime[kind].cend() || it.value() != time; // else a repeated broadcast
}

bool Rinexxxx::dateGlonassRecord(glonass_nav_t *nav) const
{
    // Without an epoch or a week (a log of GLONASS ephemerides alone) the
    // log's time is the day most GLONASS records agree on.
    const qint64 now = lastEpochMs > 0   ? lastEpochMs
                       : rtcm3Week > 0   ? util_gps_time_to_epoch(rtcm3Week, rtcm3Ms)
                                         : glonassNavRefMs;
    const int leap = leapSeconds != 99 ? leapSeconds : 18;
    // N4 and NT come from the satellite, and one satellite has been seen
    // sending a four-year number 16 years off all the others. A broadcast
    // record is current when it is received, so a day far from the log's own
    // time is the record's fault: it is dated from tb near that time instead.
    if (glonass_nav_date_known(nav) &&
        (now <= 0 || std::llabs(nav->tb_time + leap * 1000LL - now) <= kGlonassDateToleranceMs))
        return true;
    if (now <= 0) return false;
    glonass_nav_update_utc_near(nav, now - leap * 1000LL);
    return true;
}

int Rinexxxx::reportedIntervalMs() const
{
    if (obsIntervalMin > 0 && intervalMs < obsIntervalMin) return obsIntervalMin;
    return intervalMs;
}

void Rinexxxx::appendIntervalLine(QByteArray &text) const
{
    const int ms = reportedIntervalMs();
    if (ms > 999999999) return;
    char line[96];
    snprintf(line, sizeof line, "%10.3f%50s%-20s", ms * 0.001, "", "INTERVAL");
    appendHeaderLine(text, line);
}

void Rinexxxx::tellEpoch(RinexObserver *watch, RinexObserver::Epoch &seen, int year, int month, int day, int hour,
                         int minute, int millisecond)
{
    seen.year = year;
    seen.month = month;
    seen.day = day;
    seen.hour = hour;
    seen.minute = minute;
    seen.millisecond = millisecond;
    seen.flag = 0;
    watch->observationEpoch(seen);
}
