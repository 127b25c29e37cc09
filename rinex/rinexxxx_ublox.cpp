// The u-blox input path shared by both writers: RXM-RAWX and RXM-RAW become
// epochs (dated by the full GPS week and time of week they carry), RXM-SFRBX
// and RXM-SFRB navigation words become navigation records, MON-VER names the
// receiver and NAV-TIMEGPS gives the week to epochs of other formats.
#include <math.h>
#include <string.h>

#include "rinexxxx.h"
#include "ublox.h"
#include "util.h"

void Rinexxxx::parserUblox(const uint8_t *data, uint32_t length, void *user)
{
    static_cast<Rinexxxx *>(user)->inputUblox(data, (int)length);
}

Rinexxxx::Obs::Obs(Rinexxxx *writer, const ublox_rawx_meas_t &meas, int week, int msOfWeek)
{
    if (!meas.signal) writer->noteUnknown(QString("UBX gnssId %1 sigId %2").arg(meas.gnss_id).arg(meas.sig_id));
    if (!writer->checkRange(meas.signal, meas.prn)) return;
    const bool prValid = (meas.trk_stat & UBLOX_TRK_PR_VALID) != 0;
    const bool cpValid = (meas.trk_stat & UBLOX_TRK_CP_VALID) != 0;
    if (!prValid && !cpValid) return;
    signal = meas.signal;
    prn = meas.prn;
    if (meas.system == GNSS_SYSTEM_GLONASS) {
        // The receiver tells each satellite's frequency channel with its
        // measurements: the header's slot table needs no ephemeris.
        if (meas.glonass_channel >= -7 && meas.glonass_channel <= 6)
            glonass_channel_update(&writer->glonassChannels, meas.prn, meas.glonass_channel);
        glonassChannel = glonass_channel_get(&writer->glonassChannels, meas.prn);
    }
    pseudorange = meas.pseudorange;
    pseudorangeValid = prValid;
    phase = meas.phase;
    phaseValid = cpValid;
    doppler = meas.doppler;
    dopplerValid = prValid || cpValid;
    cnr = meas.cno;
    // The half cycle of the phase is resolved only while halfCyc is set.
    halfCycleOk = (meas.trk_stat & UBLOX_TRK_HALF_CYC) != 0;
    lockOk = cpValid;
    // Milliseconds, stopping at 64500.
    lockTime = meas.locktime * 0.001f;
    lockResolution = meas.locktime >= 64500 ? -1.0f : 0.001f;
    lockKind = LOCK_KIND_UBLOX_RAWX;
    updateLocktime(writer, msOfWeek, 604800000, week);
    if (cpValid) {
        // Half a cycle subtracted or given back between two epochs moves the
        // phase by half a cycle: a slip for whoever reads the file.
        const bool subtracted = (meas.trk_stat & UBLOX_TRK_SUB_HALF_CYC) != 0;
        auto it = writer->ubloxHalfCycle.find(lockKey());
        const bool changed = it != writer->ubloxHalfCycle.end() && it.value() != subtracted;
        writer->ubloxHalfCycle.insert(lockKey(), subtracted);
        if (changed) markSlip(writer);
    } else {
        writer->ubloxHalfCycle.remove(lockKey());
    }
}

void Rinexxxx::Obs::markSlip(Rinexxxx *writer)
{
    // The lock-time table keeps following the signal (its next report is
    // judged as usual); this epoch's phase carries the slip.
    lockOk = false;
    if (LockState *st = writer->lockTimes.find(lockKey())) st->slip = st->pending = true;
    lockPending = true;
}

Rinexxxx::Obs::Obs(Rinexxxx *writer, const ublox_raw_meas_t &meas, int week, int msOfWeek)
{
    if (!writer->checkRange(meas.signal, meas.prn)) return;
    // Quality 4 and above: code and Doppler; 5 and above: the phase too.
    if (meas.mes_qi < 4) return;
    signal = meas.signal;
    prn = meas.prn;
    pseudorange = meas.pseudorange;
    pseudorangeValid = meas.pseudorange != 0;
    phase = meas.phase;
    phaseValid = meas.mes_qi >= 5 && meas.phase != 0;
    doppler = meas.doppler;
    dopplerValid = true;
    cnr = meas.cno > 0 ? meas.cno : 0;
    // The receiver's indicator is RINEX's: bit 1 says the half cycle of the
    // phase is not resolved yet.
    halfCycleOk = (meas.lli & 2) == 0;
    // No lock time: the receiver's own loss of lock indicator, and a
    // quality below 6, which it documents as a likely loss of lock since
    // the last epoch.
    lockOk = phaseValid;
    lockTime = 0;
    lockResolution = -1;
    lockKind = LOCK_KIND_UBLOX_RAW;
    updateLocktime(writer, msOfWeek, 604800000, week);
    if (phaseValid && ((meas.lli & 1) || meas.mes_qi < 6)) markSlip(writer);
}

qint64 Rinexxxx::ubloxEpoch(const uint8_t *data, int length, uint32_t message)
{
    int week = 0;
    int ms = 0;
    ublox_rawx_t rawx;
    ublox_raw_t raw;
    const bool isRawx = message == UBLOX_RXM_RAWX;
    if (isRawx ? ublox_parser_rawx(data, (uint32_t)length, &rawx) != 0
               : ublox_parser_raw(data, (uint32_t)length, &raw) != 0)
        return 0;
    // An RTCM 3 epoch being collected (a base's corrections the log holds
    // beside the receiver's own measurements) ends here, as it does before a
    // NovAtel or Hemisphere epoch: the rest of its messages must not join
    // this epoch, which would then be written again at the RTCM 3 time.
    const qint64 before = endRtcm3Epoch();
    range.clear();
    if (isRawx) {
        week = rawx.week;
        // The receiver's clock may stand a few microseconds off the whole
        // millisecond (or steer in whole milliseconds): the epoch is the
        // nearest millisecond.
        const double t = floor(rawx.rcv_tow * 1000.0 + 0.5);
        ms = (int)t;
        if (ms >= 604800000) {
            ms -= 604800000;
            week++;
        }
        if (week > 0 && (rawx.rec_stat & 1) && leapSeconds == 99 && rawx.leap_s > 0 && rawx.leap_s < 100)
            leapSeconds = rawx.leap_s;
        for (int i = 0; i < rawx.num_meas; i++) {
            ublox_rawx_meas_t m;
            if (ublox_rawx_get_meas(&rawx, i, &m) == 0) range.appendObs(Obs(this, m, week, ms));
        }
    } else {
        week = raw.week > 0 ? raw.week : 0;
        ms = raw.itow;
        for (int i = 0; i < raw.num_sv; i++) {
            ublox_raw_meas_t m;
            if (ublox_raw_get_meas(&raw, i, &m) == 0) range.appendObs(Obs(this, m, week, ms));
        }
    }
    range.week = week;
    range.ms = ms;
    range.epochMs = util_gps_time_to_epoch(week, ms);
    if (week == 0) {
        // The receiver did not know the time yet.
        if (!range.isEmpty()) skippedEpochs++;
        return before;
    }
    rtcm3Week = week;
    rtcm3Ms = ms;
    rtcm3FromTimeStart = false;
    fullWeek = week;
    epochWeek = week;
    epochMsOfWeek = ms;
    rangeSource = EpochSource{SOURCE_UBLOX, 0};
    return before + gatedWrite();
}

qint64 Rinexxxx::readUblox(const uint8_t *data, int length)
{
    if (!opened || length < 8) return 0;
    const uint32_t message = ublox_message(data, (uint32_t)length);
    if (message == UBLOX_NAV_TIMEGPS) {
        // The receiver's own GPS week dates what else the stream holds (RTCM
        // 3 MSM epochs of a base carry only their time of week), in the
        // prescan pass too, as an ephemeris would.
        ublox_nav_timegps_t t;
        const uint8_t both = UBLOX_TIMEGPS_TOW_VALID | UBLOX_TIMEGPS_WEEK_VALID;
        if (ublox_parser_nav_timegps(data, (uint32_t)length, &t) == 0 && (t.valid & both) == both && t.week > 0 &&
            t.itow < 604800000u)
            // Unlike an ephemeris' toc, its time of week is the time its week
            // goes with, not that of the last MSM epoch, which can lie across
            // a week's end from it.
            learnRtcm3Week(t.week, (int)t.itow, true, 0, false, true);
        return 0;
    }
    if (prescan) return 0;
    switch (message) {
    case UBLOX_RXM_RAWX:
    case UBLOX_RXM_RAW:
        return ubloxEpoch(data, length, message);
    case UBLOX_RXM_SFRBX:
    case UBLOX_RXM_SFRB: {
        if (!ubloxNav) {
            ubloxNav.reset(new ublox_nav_state_t);
            ublox_nav_state_init(ubloxNav.get());
        }
        ublox_nav_record_t record;
        switch (ublox_nav_input(ubloxNav.get(), data, (uint32_t)length, &record)) {
        case UBLOX_NAV_GPS: return writeNGps(record.gps);
        case UBLOX_NAV_QZSS: return writeNQzs(record.gps);
        case UBLOX_NAV_GALILEO: return writeNGalInav(record.galileo);
        case UBLOX_NAV_BDS: return writeNBds(record.bds);
        case UBLOX_NAV_GLONASS: return writeNGlo(record.glonass);
        default: return 0;
        }
    }
    case UBLOX_MON_VER: {
        ublox_mon_ver_t v;
        if (ublox_parser_mon_ver(data, (uint32_t)length, &v) != 0) return 0;
        // What the task gives (the file's information, the user's entry)
        // stands; the receiver's own words fill what it leaves empty.
        if (receiverType.isEmpty())
            receiverType = (QByteArray("u-blox ") + QByteArray(v.model)).trimmed().left(20);
        if (receiverVersion.isEmpty()) receiverVersion = QByteArray(v.firmware).trimmed().left(20);
        return 0;
    }
    default:
        return 0;
    }
}
