// The Septentrio SBF input path of both writers: one MeasEpoch block is one
// epoch, dated by its own TOW and full week (WNc); the decoded navigation
// blocks become navigation records; GPSUtc and ReceiverTime give the leap
// seconds and ReceiverSetup the header fields that the user left empty.
#include <math.h>

#include "rinexxxx.h"
#include "sbf.h"
#include "util.h"

qint64 Rinexxxx::inputSeptentrio(const uint8_t *data, int length)
{
    return readSeptentrio(data, length);
}

void Rinexxxx::parserSeptentrio(const uint8_t *data, uint32_t length, void *user)
{
    static_cast<Rinexxxx *>(user)->inputSeptentrio(data, (int)length);
}

Rinexxxx::Obs::Obs(Rinexxxx *writer, const sbf_meas_obs_t &entry, const sbf_meas_epoch_t &epoch)
{
    // Auxiliary antennas of an attitude receiver are other stations.
    if (entry.antenna != 0) return;
    // A satellite the receiver has not numbered yet (a GLONASS slot still
    // unknown) has no signal either, though its signal type is known: only
    // a numbered satellite's missing signal is one the converter lacks.
    if (!entry.signal && entry.prn != 0) writer->noteUnknown(QString("SBF signal type %1").arg(entry.signal_number));
    if (!writer->checkRange(entry.signal, entry.prn)) return;
    if (!entry.pseudorange_valid && !entry.phase_valid && !entry.doppler_valid) return;
    signal = entry.signal;
    prn = entry.prn;
    if (signal->system == GNSS_SYSTEM_GLONASS) {
        if (entry.glonass_channel != GLONASS_CHANNEL_UNKNOWN)
            glonass_channel_update(&writer->glonassChannels, entry.prn, entry.glonass_channel);
        glonassChannel = glonass_channel_get(&writer->glonassChannels, entry.prn);
    }
    pseudorange = entry.pseudorange;
    pseudorangeValid = entry.pseudorange_valid;
    phase = entry.phase;
    phaseValid = entry.phase_valid;
    doppler = (float)entry.doppler;
    dopplerValid = entry.doppler_valid;
    cnr = entry.cn0_valid ? entry.cn0 : 0;
    // Whole seconds of continuous tracking, stopping at the field's top.
    lockTime = entry.lock_time;
    const int top = entry.type2 ? SBF_LOCK_TOP_TYPE2 : SBF_LOCK_TOP_TYPE1;
    lockResolution = entry.lock_time >= top ? -1.0f : 1.0f;
    lockKind = LOCK_KIND_SBF;
    lockOk = entry.phase_valid && entry.lock_valid;
    halfCycleOk = !entry.half_cycle;
    // The receiver aligns the phases of one band to one another.
    phaseAligned = true;
    updateLocktime(writer, (int)epoch.header.tow, 604800000, epoch.header.wnc);
}

qint64 Rinexxxx::sbfMeasEpoch(const uint8_t *data, int length)
{
    sbf_meas_epoch_t epoch;
    if (sbf_parser_meas_epoch(data, (uint32_t)length, &epoch) != 0) return 0;
    const sbf_header_t &h = epoch.header;
    // An RTCM 3 epoch being collected ends before another format's epoch
    // (as for NovAtel, Hemisphere and u-blox): its later messages must not
    // join this one.
    const qint64 before = endRtcm3Epoch();
    // A receiver without time yet sends the "do not use" values.
    if (h.tow == SBF_TOW_UNKNOWN || h.tow >= 604800000u || h.wnc == SBF_WNC_UNKNOWN || h.wnc == 0) {
        skippedEpochs++;
        return before;
    }
    range.clear();
    sbf_meas_obs_t o;
    // A block cut short inside its sub-blocks keeps what it holds whole.
    while (sbf_meas_epoch_next(&epoch, &o) == 0) range.appendObs(Obs(this, o, epoch));
    rtcm3Week = h.wnc;
    rtcm3Ms = (int)h.tow;
    rtcm3FromTimeStart = false;
    range.week = h.wnc;
    range.ms = (int)h.tow;
    range.epochMs = util_gps_time_to_epoch(h.wnc, h.tow);
    fullWeek = h.wnc;
    epochWeek = h.wnc;
    epochMsOfWeek = (int)h.tow;
    rangeSource = EpochSource{SOURCE_SBF, 0};
    return before + gatedWrite();
}

void Rinexxxx::learnReceiverSetup(const sbf_receiver_setup_t &s)
{
    // What the receiver calls "Unknown" is no value.
    auto take = [](QByteArray &field, const char *value) {
        const QByteArray v(value);
        if (field.isEmpty() && !v.isEmpty() && v != "Unknown") field = v;
    };
    take(markerName, s.marker_name);
    take(markerNumber, s.marker_number);
    take(observer, s.observer);
    take(agency, s.agency);
    take(receiverNumber, s.rx_serial);
    // The product name is the receiver type (RxName is the user's name for
    // the receiver); RxVersion its firmware.
    take(receiverType, s.product_name);
    take(receiverVersion, s.rx_version);
    take(antennaNumber, s.ant_serial);
    take(antennaType, s.ant_type);
    // The height may already have come from the file's own description
    // (which has no east and north).
    if ((antennaHen[0] == 0 || fabs(antennaHen[0] - s.delta_h) < 0.0005) && antennaHen[1] == 0 && antennaHen[2] == 0 &&
        fabsf(s.delta_h) < 1000 && fabsf(s.delta_e) < 1000 && fabsf(s.delta_n) < 1000) {
        antennaHen[0] = s.delta_h;
        antennaHen[1] = s.delta_e;
        antennaHen[2] = s.delta_n;
    }
}

qint64 Rinexxxx::readSeptentrio(const uint8_t *data, int length)
{
    if (!opened || length < 14) return 0;
    sbf_header_t h;
    if (sbf_parser_header(data, (uint32_t)length, &h) != 0) return 0;
    if (prescan) {
        if (h.number == SBF_ID_GLO_NAV) {
            glonass_nav_t nav;
            if (sbf_parser_glo_nav(data, (uint32_t)length, &nav) == 0)
                glonass_channel_update(&glonassChannels, nav.slot, nav.frequency_channel);
        }
        return 0;
    }
    switch (h.number) {
    case SBF_ID_MEAS_EPOCH:
        return sbfMeasEpoch(data, length);
    case SBF_ID_GPS_NAV:
    case SBF_ID_QZS_NAV: {
        gps_nav_t nav;
        if (sbf_parser_gps_nav(data, (uint32_t)length, &nav) != 0) return 0;
        if (h.number == SBF_ID_QZS_NAV) return writeNQzs(nav);
        sbfDecodedNav |= 1u << GNSS_SYSTEM_GPS;
        return writeNGps(nav);
    }
    case SBF_ID_GAL_NAV: {
        galileo_inav_t inav;
        galileo_fnav_t fnav;
        int isFnav = 0;
        if (sbf_parser_gal_nav(data, (uint32_t)length, &inav, &fnav, &isFnav) != 0) return 0;
        if (isFnav) return writeNGalFnav(fnav);
        sbfDecodedNav |= 1u << GNSS_SYSTEM_GALILEO;
        return writeNGalInav(inav);
    }
    case SBF_ID_BDS_NAV: {
        bd2_nav_t nav;
        if (sbf_parser_bds_nav(data, (uint32_t)length, &nav) != 0) return 0;
        sbfDecodedNav |= 1u << GNSS_SYSTEM_BDS;
        return writeNBds(nav);
    }
    case SBF_ID_GLO_NAV: {
        glonass_nav_t nav;
        if (sbf_parser_glo_nav(data, (uint32_t)length, &nav) != 0) return 0;
        sbfDecodedNav |= 1u << GNSS_SYSTEM_GLONASS;
        noteGlonassEphemeris(nav);
        return writeNGlo(nav);
    }
    case SBF_ID_GPS_RAW_CA:
    case SBF_ID_GLO_RAW_CA:
    case SBF_ID_GAL_RAW_INAV:
    case SBF_ID_BDS_RAW: {
        // Receivers that log no decoded navigation blocks (or not yet) still
        // pass the pages through; once a system's decoded blocks are seen,
        // its pages add nothing.
        if (!sbfRawNav) {
            sbfRawNav.reset(new sbf_raw_nav_t);
            sbf_raw_nav_init(sbfRawNav.get());
        }
        sbf_raw_nav_record_t r;
        if (sbf_raw_nav_input(sbfRawNav.get(), data, (uint32_t)length, &r) != 1) return 0;
        if (sbfDecodedNav & (1u << r.system)) return 0;
        switch (r.system) {
        case GNSS_SYSTEM_GPS: return writeNGps(r.gps);
        case GNSS_SYSTEM_GALILEO: return writeNGalInav(r.galileo);
        case GNSS_SYSTEM_BDS: return writeNBds(r.bds);
        case GNSS_SYSTEM_GLONASS: noteGlonassEphemeris(r.glonass); return writeNGlo(r.glonass);
        default: return 0;
        }
    }
    case SBF_ID_GPS_UTC:
    case SBF_ID_RECEIVER_TIME: {
        int leap = 0;
        if (leapSeconds == 99 && sbf_parser_leap_seconds(data, (uint32_t)length, &leap) == 0) leapSeconds = leap;
        return 0;
    }
    case SBF_ID_RECEIVER_SETUP: {
        sbf_receiver_setup_t setup;
        if (sbf_parser_receiver_setup(data, (uint32_t)length, &setup) == 0) learnReceiverSetup(setup);
        return 0;
    }
    default:
        return 0;
    }
}
