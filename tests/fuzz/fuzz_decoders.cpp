// Frames that pass the framer's checks but carry arbitrary content, handed to
// every decoder. The first input byte picks the format and the message
// number; the rest becomes the frame's body, wrapped with a correct length
// and checksum, in a buffer of exactly the frame's size so that any read
// past the frame shows up under AddressSanitizer.
#include <stdint.h>

#include <vector>

#include "../frame_builders.h"
#include "hemisphere.h"
#include "navigation.h"
#include "novatel.h"
#include "rtcm3.h"
#include "ublox.h"
#include "sbf.h"
#include "util.h"

namespace {

// A copy of exactly the frame's size (a built frame may hold spare capacity
// beyond its end, where a read would go unnoticed).
fb::Bytes exact(const fb::Bytes &f)
{
    return fb::Bytes(f.begin(), f.end());
}

const uint16_t kRtcm[] = {1005, 1006, 1019, 1020, 1042, 1044, 1045, 1046, 1029, 1033, 36,   1074, 1075,
                          1076, 1077, 1084, 1085, 1086, 1087, 1094, 1095, 1096, 1097, 1114, 1115, 1116,
                          1117, 1124, 1125, 1126, 1127, 1071, 1073, 1081, 1104, 1107, 1001, 1002,
                          1003, 1004, 1009, 1010, 1011, 1012};
const uint16_t kNovatel[] = {43, 140, 1273, 7, 71, 723, 1047, 1696, 1122, 1309, 1310, 1336, 6, 8, 2010, 1590, 101, 42, 47};
const uint16_t kHemisphere[] = {16, 35, 45, 65, 94, 95};
const uint16_t kUblox[] = {UBLOX_RXM_RAWX, UBLOX_RXM_RAW, UBLOX_RXM_SFRBX, UBLOX_RXM_SFRB, UBLOX_MON_VER};
const uint16_t kSbf[] = {SBF_ID_MEAS_EPOCH, SBF_ID_GPS_NAV,        SBF_ID_QZS_NAV,     SBF_ID_GAL_NAV,
                         SBF_ID_BDS_NAV,    SBF_ID_GLO_NAV,        SBF_ID_RECEIVER_SETUP, SBF_ID_GPS_UTC,
                         SBF_ID_RECEIVER_TIME, SBF_ID_GPS_RAW_CA, SBF_ID_GLO_RAW_CA, SBF_ID_GAL_RAW_INAV,
                         SBF_ID_BDS_RAW};

void rtcm3(uint16_t number, const uint8_t *data, size_t size)
{
    if (size > 1021) size = 1021;
    // The message number, then the input from its first byte's low nibble on.
    fb::Bytes payload = {(uint8_t)(number >> 4), (uint8_t)((number & 0x0F) << 4 | (size ? data[0] & 0x0F : 0))};
    if (size > 1) payload.insert(payload.end(), data + 1, data + size);
    const fb::Bytes f = exact(fb::rtcm3(payload));
    const uint8_t *p = f.data();
    uint32_t n = (uint32_t)f.size();
    volatile int sink = rtcm3_get_message_number(p, n) + rtcm3_is_msm(number);
    (void)rtcm3_id_to_str(number);
    rtcm3_msm_header_t header;
    if (rtcm3_parser_msm_header(p, n, &header) == 0) {
        static rtcm3_msm_cell_t cells[128];
        int c = rtcm3_parser_msm(&header, cells, 128);
        for (int i = 0; i < c; i++) sink = sink + (int)cells[i].satellite;
    }
    rtcm3_legacy_header_t legacy;
    if (rtcm3_parser_legacy_header(p, n, &legacy) == 0) {
        static rtcm3_legacy_obs_t sats[RTCM3_LEGACY_MAX_SATELLITES];
        int c = rtcm3_parser_legacy(&legacy, sats, RTCM3_LEGACY_MAX_SATELLITES);
        for (int i = 0; i < c; i++) sink = sink + (int)sats[i].satellite + (int)rtcm3_legacy_lock_seconds(sats[i].l1.lock);
    }
    rtcm3_station_t st;
    rtcm3_parser_1005(p, n, &st);
    rtcm3_parser_1006(p, n, &st);
    gps_nav_t g;
    rtcm3_parser_1019(p, n, &g);
    rtcm3_parser_1044(p, n, &g);
    glonass_nav_t r;
    if (rtcm3_parser_1020(p, n, &r) == 0 && !glonass_nav_date_known(&r)) glonass_nav_update_utc_near(&r, 1700000000000LL);
    bd2_nav_t b;
    rtcm3_parser_1042(p, n, &b);
    galileo_fnav_t fn;
    rtcm3_parser_1045(p, n, &fn);
    galileo_inav_t in;
    rtcm3_parser_1046(p, n, &in);
    rtcm3_text_t t;
    rtcm3_parser_1029(p, n, &t);
    rtcm3_descriptor_t d;
    rtcm3_parser_1033(p, n, &d);
    rtcm3_meteo_t m;
    rtcm3_parser_36(p, n, &m);
}

void novatel(uint16_t id, uint8_t numbering, const uint8_t *data, size_t size)
{
    if (size > 16000) size = 16000;
    fb::Bytes f = exact(fb::novatel(id, fb::Bytes(data, data + size)));
    // A week of this era, so that the decoders' dating is reached.
    util_bytes_from_u16(&f[14], 2290);
    util_bytes_from_u32(&f[28 + size], util_crc32_novatel(0, f.data(), (uint32_t)(28 + size)));
    const uint8_t *p = f.data();
    novatel_header_t h;
    if (novatel_parser_header(p, (uint32_t)f.size(), &h) != 0) return;
    int num = numbering % 4;
    novatel_range_t range;
    novatel_range_obs_t obs;
    if (novatel_parser_range(p, &h, &range, num) == 0)
        for (uint32_t i = 0; i < range.amount + 2; i++) novatel_range_get_obs(&range, i, &obs);
    if (novatel_parser_rangecmp(p, &h, &range, num) == 0)
        for (uint32_t i = 0; i < range.amount + 2; i++) novatel_rangecmp_get_obs(&range, i, &obs);
    novatel_rangecmp2_t cursor;
    if (novatel_parser_rangecmp2(p, &h, &cursor, num) == 0)
        for (int i = 0; i < 2000 && novatel_rangecmp2_next(&cursor, &obs) >= 0; i++) {
        }
    novatel_gps_ephemeris_t ge;
    novatel_parser_gpsephem(p, &h, &ge);
    novatel_parser_qzssephemeris(p, &h, &ge);
    novatel_bds_ephemeris_t be;
    novatel_parser_bdsephemeris(p, &h, &be);
    novatel_parser_bd2ephem(p, &h, &be);
    novatel_gpsephem_s_t gs;
    novatel_parser_gpsephem_s(p, &h, &gs);
    novatel_galephemeris_t gal;
    novatel_parser_galephemeris(p, &h, &gal);
    novatel_galinav_t gi;
    novatel_parser_galinavephemeris(p, &h, &gi);
    novatel_galfnav_t gf;
    novatel_parser_galfnavephemeris(p, &h, &gf);
    novatel_gloephemeris_t glo;
    novatel_parser_gloephemeris(p, &h, &glo);
    novatel_ionutc_t iu;
    novatel_parser_ionutc(p, &h, &iu);
    novatel_iono_t io;
    novatel_parser_iono(p, &h, &io);
    novatel_time_t tm;
    novatel_parser_time(p, &h, &tm);
    novatel_position_t pos;
    novatel_parser_bestpos(p, &h, &pos);
    novatel_parser_psrpos(p, &h, &pos);
    (void)novatel_id_to_str(id);
}

void hemisphere(uint16_t id, const uint8_t *data, size_t size)
{
    if (size > 2000) size = 2000;
    const fb::Bytes f = exact(fb::hemisphere(id, fb::Bytes(data, data + size)));
    const uint8_t *p = f.data();
    uint32_t n = (uint32_t)f.size();
    glonass_channel_t channels;
    glonass_channel_init(&channels);
    hemisphere_bin16_obs_t o;
    if (hemisphere_parser_bin16_obs(p, n, &o) == 0) {
        hemisphere_bin16_obs_obs_t e;
        for (int i = -1; i < 20; i++) hemisphere_bin16_obs_get_obs(&o, i, &e, (i & 1) ? &channels : nullptr);
    }
    hemisphere_bin95_gpsnav_t g;
    hemisphere_parser_bin95_gpsnav(p, n, &g);
    hemisphere_bin65_glonav_t r;
    hemisphere_parser_bin65_glonav(p, n, &r);
    hemisphere_bin45_galnav_t e;
    hemisphere_parser_bin45_galnav(p, n, &e);
    hemisphere_bin35_bd2nav_t b;
    hemisphere_parser_bin35_bd2nav(p, n, &b);
    hemisphere_bin94_inoutc_t u;
    hemisphere_parser_bin94_inoutc(p, n, &u);
    (void)hemisphere_id_to_str(id);
}

// `fit` sets the count fields to what the payload holds, so that the
// measurement and word decoders are reached more often than by chance.
void ublox(uint16_t id, bool fit, const uint8_t *data, size_t size)
{
    if (size > 8000) size = 8000;
    fb::Bytes payload(data, data + size);
    if (fit && id == UBLOX_RXM_RAWX && size >= 16) payload[11] = (uint8_t)((size - 16) / 32);
    if (fit && id == UBLOX_RXM_RAW && size >= 8) payload[6] = (uint8_t)((size - 8) / 24);
    if (fit && id == UBLOX_RXM_SFRBX && size >= 8) payload[4] = (uint8_t)((size - 8) / 4);
    const fb::Bytes f = exact(fb::ublox((uint8_t)(id >> 8), (uint8_t)id, payload));
    const uint8_t *p = f.data();
    const uint32_t n = (uint32_t)f.size();
    volatile double sink = 0;
    ublox_rawx_t x;
    if (ublox_parser_rawx(p, n, &x) == 0) {
        ublox_rawx_meas_t m;
        for (int i = -1; i <= x.num_meas; i++)
            if (ublox_rawx_get_meas(&x, i, &m) == 0) sink = sink + m.pseudorange + m.phase;
    }
    ublox_raw_t r;
    if (ublox_parser_raw(p, n, &r) == 0) {
        ublox_raw_meas_t m;
        for (int i = -1; i <= r.num_sv; i++)
            if (ublox_raw_get_meas(&r, i, &m) == 0) sink = sink + m.pseudorange;
    }
    // The assemblers keep words across frames, as in a conversion.
    static ublox_nav_state_t state;
    ublox_nav_record_t rec;
    if (ublox_nav_input(&state, p, n, &rec) == UBLOX_NAV_GLONASS && !glonass_nav_date_known(&rec.glonass))
        glonass_nav_update_utc_near(&rec.glonass, 1700000000000LL);
    ublox_mon_ver_t v;
    ublox_parser_mon_ver(p, n, &v);
}

void sbf(uint16_t number, uint8_t revision, const uint8_t *data, size_t size)
{
    // The framer passes lengths that are multiples of 4 up to 65532.
    if (size > 65520) size = 65520;
    const size_t total = (14 + size + 3) / 4 * 4;
    fb::Bytes body(data, data + size);
    body.resize(total - 8);
    const fb::Bytes f = exact(fb::sbf((uint16_t)(number | (revision & 7) << 13), body));
    const uint8_t *p = f.data();
    const uint32_t n = (uint32_t)total;
    volatile double sink = 0;
    sbf_meas_epoch_t e;
    if (sbf_parser_meas_epoch(p, n, &e) == 0) {
        sbf_meas_obs_t o;
        while (sbf_meas_epoch_next(&e, &o) == 0) sink = sink + o.pseudorange + o.phase + o.doppler;
    }
    gps_nav_t g;
    sbf_parser_gps_nav(p, n, &g);
    galileo_inav_t gi;
    galileo_fnav_t gf;
    int is_fnav;
    sbf_parser_gal_nav(p, n, &gi, &gf, &is_fnav);
    bd2_nav_t b;
    sbf_parser_bds_nav(p, n, &b);
    glonass_nav_t r;
    sbf_parser_glo_nav(p, n, &r);
    sbf_receiver_setup_t rs;
    sbf_parser_receiver_setup(p, n, &rs);
    int leap;
    sbf_parser_leap_seconds(p, n, &leap);
    // Raw pages, fed twice over a state kept between inputs so that pages
    // of several inputs meet in the assemblers.
    static sbf_raw_nav_t raw;
    static bool raw_ready = false;
    if (!raw_ready) {
        sbf_raw_nav_init(&raw);
        raw_ready = true;
    }
    sbf_raw_nav_record_t record;
    sbf_raw_nav_input(&raw, p, n, &record);
    sbf_raw_nav_input(&raw, p, n, &record);
    int system, prn;
    sbf_svid_to_prn(size ? data[0] : 0, &system, &prn);
    (void)sbf_signal(size > 1 ? data[1] : 0, size > 2 ? data[2] % 8 : 0, size > 3 ? data[3] & 1 : 0);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2) return 0;
    const uint8_t pick = data[0], which = data[1];
    data += 2;
    size -= 2;
    switch (pick % 5) {
    case 0: rtcm3(kRtcm[which % (sizeof kRtcm / sizeof kRtcm[0])], data, size); break;
    case 1: novatel(kNovatel[which % (sizeof kNovatel / sizeof kNovatel[0])], pick >> 2, data, size); break;
    case 2: hemisphere(kHemisphere[which % (sizeof kHemisphere / sizeof kHemisphere[0])], data, size); break;
    case 3: ublox(kUblox[which % (sizeof kUblox / sizeof kUblox[0])], (pick >> 2) & 1, data, size); break;
    default: sbf(kSbf[which % (sizeof kSbf / sizeof kSbf[0])], pick >> 3, data, size); break;
    }
    return 0;
}
