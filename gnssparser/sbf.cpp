// Septentrio SBF decoding: field layouts and scale factors after the
// receivers' published SBF reference guide.
#include "sbf.h"

#include <math.h>
#include <string.h>

#include "util.h"

namespace {

const double kLight = 299792458.0;
const uint32_t kHeader = 14;

// The system of each signal number 0-39 (-1 none) and its RINEX code.
struct SignalEntry {
    int8_t system;
    const char *code;
};
const SignalEntry kSignals[40] = {
    {GNSS_SYSTEM_GPS, "1C"},     // 0 L1 C/A
    {GNSS_SYSTEM_GPS, "1W"},     // 1 L1 P(Y)
    {GNSS_SYSTEM_GPS, "2W"},     // 2 L2 P(Y)
    {GNSS_SYSTEM_GPS, "2L"},     // 3 L2C
    {GNSS_SYSTEM_GPS, "5Q"},     // 4 L5
    {GNSS_SYSTEM_GPS, "1L"},     // 5 L1C
    {GNSS_SYSTEM_QZSS, "1C"},    // 6 L1 C/A
    {GNSS_SYSTEM_QZSS, "2L"},    // 7 L2C
    {GNSS_SYSTEM_GLONASS, "1C"}, // 8 L1 C/A
    {GNSS_SYSTEM_GLONASS, "1P"}, // 9 L1 P
    {GNSS_SYSTEM_GLONASS, "2P"}, // 10 L2 P
    {GNSS_SYSTEM_GLONASS, "2C"}, // 11 L2 C/A
    {GNSS_SYSTEM_GLONASS, "3Q"}, // 12 L3
    {GNSS_SYSTEM_BDS, "1P"},     // 13 B1C
    {GNSS_SYSTEM_BDS, "5P"},     // 14 B2a
    {GNSS_SYSTEM_IRNSS, "5A"},   // 15 L5
    {-1, nullptr},               // 16
    {GNSS_SYSTEM_GALILEO, "1C"}, // 17 E1 (L1BC)
    {-1, nullptr},               // 18
    {GNSS_SYSTEM_GALILEO, "6C"}, // 19 E6 (E6BC); 6B when E6B is used
    {GNSS_SYSTEM_GALILEO, "5Q"}, // 20 E5a
    {GNSS_SYSTEM_GALILEO, "7Q"}, // 21 E5b
    {GNSS_SYSTEM_GALILEO, "8Q"}, // 22 E5 AltBOC
    {-1, nullptr},               // 23 L-band beams
    {GNSS_SYSTEM_SBAS, "1C"},    // 24 L1
    {GNSS_SYSTEM_SBAS, "5I"},    // 25 L5
    {GNSS_SYSTEM_QZSS, "5Q"},    // 26 L5
    {GNSS_SYSTEM_QZSS, "6L"},    // 27 L6
    {GNSS_SYSTEM_BDS, "2I"},     // 28 B1I
    {GNSS_SYSTEM_BDS, "7I"},     // 29 B2I
    {GNSS_SYSTEM_BDS, "6I"},     // 30 B3I
    {-1, nullptr},               // 31
    {GNSS_SYSTEM_QZSS, "1L"},    // 32 L1C
    {GNSS_SYSTEM_QZSS, "1Z"},    // 33 L1S
    {GNSS_SYSTEM_BDS, "7D"},     // 34 B2b
    {-1, nullptr},               // 35
    {-1, nullptr},               // 36
    {-1, nullptr},               // 37
    {-1, nullptr},               // 38
    {-1, nullptr},               // 39
};

const gnss_signal_t *signalByCode(int system, const char *code)
{
    const gnss_system_t &s = GNSS_SYSTEM[system];
    for (uint32_t i = 0; i < s.signal_amount; i++)
        // The QZSS table also holds an SBAS signal: match the system too.
        if (s.signal[i].system == system && strcmp(s.signal[i].code, code) == 0) return &s.signal[i];
    return nullptr;
}

// Carrier frequency of a signal; GLONASS FDMA signals on their channel
// (0 when the channel is unknown).
double carrierFrequency(const gnss_signal_t *signal, int channel)
{
    if (!signal) return 0;
    if (signal->system == GNSS_SYSTEM_GLONASS && (signal->code[0] == '1' || signal->code[0] == '2')) {
        if (channel < -7 || channel > 13) return 0;
        return signal->code[0] == '1' ? 1602e6 + channel * 562500.0 : 1246e6 + channel * 437500.0;
    }
    return signal->frequency;
}

// The C/N0 field counts 0.25 dB-Hz, from 10 dB-Hz up for every signal but
// the GPS P(Y) ones, whose field starts at 0.
float cn0Value(uint8_t raw, int signal_number)
{
    return raw * 0.25f + (signal_number == 1 || signal_number == 2 ? 0.0f : 10.0f);
}

void copyText(char *dst, size_t size, const uint8_t *src, size_t field)
{
    size_t n = field < size - 1 ? field : size - 1;
    size_t i = 0;
    for (; i < n && src[i] != 0; i++) dst[i] = (char)src[i];
    dst[i] = 0;
    // Fields are padded with NULs or blanks: trailing blanks are padding.
    while (i > 0 && dst[i - 1] == ' ') dst[--i] = 0;
}

float rf(const uint8_t *b, uint32_t at)
{
    return util_bytes_to_float(b + at);
}

double rd(const uint8_t *b, uint32_t at)
{
    return util_bytes_to_double(b + at);
}

// A block of `number` at least `need` bytes long, within the frame.
int header_of(const uint8_t *frame, uint32_t length, uint16_t number, uint32_t need, sbf_header_t *h)
{
    if (sbf_parser_header(frame, length, h) != 0) return -1;
    if (h->number != number) return -1;
    if (h->length < need) return -2;
    return 0;
}

// A week sent modulo 1024 (or any full count below the receiver's) lifted to
// the full week nearest the block's own week.
int nearestWeek(int sent, int full, int period)
{
    if (full <= 0 || full == (int)SBF_WNC_UNKNOWN) return sent;
    int d = ((sent - full) % period + period) % period;
    if (d >= period / 2) d -= period;
    return full + d;
}

} // namespace

int sbf_parser_header(const uint8_t *frame, uint32_t length, sbf_header_t *out)
{
    memset(out, 0, sizeof(*out));
    if (!frame || length < kHeader) return -1;
    if (frame[0] != '$' || frame[1] != '@') return -2;
    out->crc = util_bytes_to_u16(frame + 2);
    out->id = util_bytes_to_u16(frame + 4);
    out->number = out->id & 0x1FFF;
    out->revision = (uint8_t)(out->id >> 13);
    out->length = util_bytes_to_u16(frame + 6);
    if (out->length < kHeader || out->length > length) return -1;
    out->tow = util_bytes_to_u32(frame + 8);
    out->wnc = util_bytes_to_u16(frame + 12);
    return 0;
}

int sbf_svid_to_prn(int svid, int *system, int *prn)
{
    int s = -1, p = 0;
    if (svid >= 1 && svid <= 37) {
        s = GNSS_SYSTEM_GPS, p = svid;
    } else if (svid >= 38 && svid <= 61) {
        s = GNSS_SYSTEM_GLONASS, p = svid - 37;
    } else if (svid >= 63 && svid <= 68) {
        s = GNSS_SYSTEM_GLONASS, p = svid - 38;
    } else if (svid >= 71 && svid <= 106) {
        s = GNSS_SYSTEM_GALILEO, p = svid - 70;
    } else if (svid >= 120 && svid <= 140) {
        s = GNSS_SYSTEM_SBAS, p = svid - 100;
    } else if (svid >= 141 && svid <= 180) {
        s = GNSS_SYSTEM_BDS, p = svid - 140;
    } else if (svid >= 181 && svid <= 190) {
        s = GNSS_SYSTEM_QZSS, p = svid - 180;
    } else if (svid >= 191 && svid <= 197) {
        s = GNSS_SYSTEM_IRNSS, p = svid - 190;
    } else if (svid >= 198 && svid <= 215) {
        s = GNSS_SYSTEM_SBAS, p = svid - 157;
    } else if (svid >= 216 && svid <= 222) {
        s = GNSS_SYSTEM_IRNSS, p = svid - 208;
    } else if (svid >= 223 && svid <= 245) {
        s = GNSS_SYSTEM_BDS, p = svid - 182;
    }
    if (system) *system = s;
    if (prn) *prn = p;
    return s < 0 ? -1 : 0;
}

const gnss_signal_t *sbf_signal(int signal_number, int system, int e6b)
{
    if (signal_number < 0 || signal_number >= 40) return nullptr;
    const SignalEntry &e = kSignals[signal_number];
    if (e.system < 0 || e.system != system) return nullptr;
    if (signal_number == 19 && e6b) return signalByCode(system, "6B");
    return signalByCode(system, e.code);
}

// ---- MeasEpoch ---------------------------------------------------------------

int sbf_parser_meas_epoch(const uint8_t *frame, uint32_t length, sbf_meas_epoch_t *epoch)
{
    memset(epoch, 0, sizeof(*epoch));
    if (header_of(frame, length, SBF_ID_MEAS_EPOCH, 20, &epoch->header) != 0) return -1;
    const uint8_t *b = frame;
    epoch->n1 = b[14];
    epoch->sb1_length = b[15];
    epoch->sb2_length = b[16];
    epoch->common_flags = b[17];
    epoch->cum_clk_jumps = b[18];
    // Later revisions may lengthen the sub-blocks; never shorten them.
    if ((epoch->n1 > 0 && epoch->sb1_length < 20) || epoch->sb2_length < 12) {
        // A block without sub-blocks of either kind needs no lengths.
        if (epoch->n1 > 0) return -2;
    }
    epoch->frame = frame;
    epoch->length = epoch->header.length;
    epoch->offset = 20;
    epoch->type1_left = epoch->n1;
    return 0;
}

int sbf_meas_epoch_next(sbf_meas_epoch_t *e, sbf_meas_obs_t *obs)
{
    memset(obs, 0, sizeof(*obs));
    obs->glonass_channel = GLONASS_CHANNEL_UNKNOWN;
    const int e6b = (e->common_flags >> 6) & 1;
    if (e->type2_left > 0) {
        if (e->offset + e->sb2_length > e->length) {
            e->type2_left = e->type1_left = 0;
            return -1;
        }
        const uint8_t *p = e->frame + e->offset;
        e->offset += e->sb2_length;
        e->type2_left--;
        const uint8_t type = p[0];
        const uint8_t info = p[5];
        obs->type2 = 1;
        obs->svid = e->t1_svid;
        obs->signal_number = (type & 0x1F) == 31 ? (uint8_t)(32 + (info >> 3)) : (uint8_t)(type & 0x1F);
        obs->antenna = type >> 5;
        int system = -1, prn = 0;
        if (sbf_svid_to_prn(obs->svid, &system, &prn) == 0) {
            obs->system = (uint8_t)system;
            obs->prn = (uint8_t)prn;
            obs->signal = sbf_signal(obs->signal_number, system, e6b);
        }
        // Receivers leave the frequency number out of a Type2's ObsInfo
        // (0): the satellite's is the Type1's.
        if (obs->system == GNSS_SYSTEM_GLONASS)
            obs->glonass_channel = (type & 0x1F) != 31 && (info >> 3) >= 1 && (info >> 3) <= 21
                                       ? (int8_t)((info >> 3) - 8)
                                       : e->t1_glonass_channel;
        obs->frequency = carrierFrequency(obs->signal, obs->glonass_channel);
        obs->lock_time = p[1];
        obs->lock_valid = p[1] != 255;
        obs->cn0_valid = p[2] != 255;
        if (obs->cn0_valid) obs->cn0 = cn0Value(p[2], obs->signal_number);
        obs->half_cycle = (info >> 2) & 1;
        obs->smoothed = info & 1;
        // The 3-bit code offset and 5-bit Doppler offset tops, both signed.
        int code_msb = p[3] & 7;
        if (code_msb >= 4) code_msb -= 8;
        int doppler_msb = p[3] >> 3;
        if (doppler_msb >= 16) doppler_msb -= 32;
        const int8_t carrier_msb = (int8_t)p[4];
        const uint16_t code_lsb = util_bytes_to_u16(p + 6);
        const uint16_t carrier_lsb = util_bytes_to_u16(p + 8);
        const uint16_t doppler_lsb = util_bytes_to_u16(p + 10);
        if (e->t1_pseudorange_valid && !(code_msb == -4 && code_lsb == 0)) {
            obs->pseudorange = e->t1_pseudorange + (code_msb * 65536.0 + code_lsb) * 0.001;
            obs->pseudorange_valid = 1;
        }
        if (obs->pseudorange_valid && obs->frequency > 0 && !(carrier_msb == -128 && carrier_lsb == 0)) {
            obs->phase = obs->pseudorange * obs->frequency / kLight + (carrier_msb * 65536.0 + carrier_lsb) * 0.001;
            obs->phase_valid = 1;
        }
        if (e->t1_doppler_valid && e->t1_frequency > 0 && obs->frequency > 0 &&
            !(doppler_msb == -16 && doppler_lsb == 0)) {
            obs->doppler =
                e->t1_doppler * obs->frequency / e->t1_frequency + (doppler_msb * 65536.0 + doppler_lsb) * 1e-4;
            obs->doppler_valid = 1;
        }
        return 0;
    }
    if (e->type1_left == 0) return 1;
    if (e->offset + e->sb1_length > e->length) {
        e->type1_left = 0;
        return -1;
    }
    const uint8_t *p = e->frame + e->offset;
    e->offset += e->sb1_length;
    e->type1_left--;
    e->type2_left = p[19];
    const uint8_t type = p[1];
    const uint8_t info = p[18];
    obs->svid = p[2];
    obs->signal_number = (type & 0x1F) == 31 ? (uint8_t)(32 + (info >> 3)) : (uint8_t)(type & 0x1F);
    obs->antenna = type >> 5;
    int system = -1, prn = 0;
    if (sbf_svid_to_prn(obs->svid, &system, &prn) == 0) {
        obs->system = (uint8_t)system;
        obs->prn = (uint8_t)prn;
        obs->signal = sbf_signal(obs->signal_number, system, e6b);
    }
    // For GLONASS signals the top five bits of ObsInfo hold the frequency
    // number plus 8.
    if (obs->system == GNSS_SYSTEM_GLONASS && (type & 0x1F) != 31 && (info >> 3) >= 1 && (info >> 3) <= 21)
        obs->glonass_channel = (int8_t)((info >> 3) - 8);
    obs->frequency = carrierFrequency(obs->signal, obs->glonass_channel);

    const uint8_t code_msb = p[3] & 0x0F;
    const uint32_t code_lsb = util_bytes_to_u32(p + 4);
    const int32_t doppler = (int32_t)util_bytes_to_u32(p + 8);
    const uint16_t carrier_lsb = util_bytes_to_u16(p + 12);
    const int8_t carrier_msb = (int8_t)p[14];
    if (!(code_msb == 0 && code_lsb == 0)) {
        obs->pseudorange = (code_msb * 4294967296.0 + code_lsb) * 0.001;
        obs->pseudorange_valid = 1;
    }
    if (obs->pseudorange_valid && obs->frequency > 0 && !(carrier_msb == -128 && carrier_lsb == 0)) {
        obs->phase = obs->pseudorange * obs->frequency / kLight + (carrier_msb * 65536.0 + carrier_lsb) * 0.001;
        obs->phase_valid = 1;
    }
    if (doppler != INT32_MIN) {
        obs->doppler = doppler * 1e-4;
        obs->doppler_valid = 1;
    }
    obs->cn0_valid = p[15] != 255;
    if (obs->cn0_valid) obs->cn0 = cn0Value(p[15], obs->signal_number);
    obs->lock_time = util_bytes_to_u16(p + 16);
    obs->lock_valid = obs->lock_time != 65535;
    obs->half_cycle = (info >> 2) & 1;
    obs->smoothed = info & 1;

    e->t1_svid = obs->svid;
    e->t1_pseudorange_valid = obs->pseudorange_valid;
    e->t1_pseudorange = obs->pseudorange;
    e->t1_doppler_valid = obs->doppler_valid;
    e->t1_doppler = obs->doppler;
    e->t1_frequency = obs->frequency;
    e->t1_glonass_channel = obs->glonass_channel;
    return 0;
}

// ---- navigation ------------------------------------------------------------------

namespace {
// The orbit of GPSNav, QZSNav and BDSNav, laid out alike from byte 48 on.
template <class N> void kepler_from_nav_block(const uint8_t *b, N *nav)
{
    nav->crs = rf(b, 48);
    nav->delta_n = rf(b, 52) * NAV_PI;
    nav->m0 = rd(b, 56) * NAV_PI;
    nav->cuc = rf(b, 64);
    nav->e = rd(b, 68);
    nav->cus = rf(b, 76);
    nav->sqrt_a = rd(b, 80);
    nav->toe = util_bytes_to_u32(b + 88);
    nav->cic = rf(b, 92);
    nav->omega0 = rd(b, 96) * NAV_PI;
    nav->cis = rf(b, 104);
    nav->i0 = rd(b, 108) * NAV_PI;
    nav->crc = rf(b, 116);
    nav->omega = rd(b, 120) * NAV_PI;
    nav->omega_dot = rf(b, 128) * NAV_PI;
    nav->idot = rf(b, 132) * NAV_PI;
}
} // namespace

int sbf_parser_gps_nav(const uint8_t *frame, uint32_t length, gps_nav_t *nav)
{
    memset(nav, 0, sizeof(*nav));
    nav->tow = -1;
    sbf_header_t h;
    if (sbf_parser_header(frame, length, &h) != 0) return -1;
    if (h.number != SBF_ID_GPS_NAV && h.number != SBF_ID_QZS_NAV) return -1;
    if (h.length < 140) return -2;
    const uint8_t *b = frame;
    const int svid = b[14];
    int system = -1, prn = 0;
    if (sbf_svid_to_prn(svid, &system, &prn) != 0) return -3;
    if (system != (h.number == SBF_ID_GPS_NAV ? GNSS_SYSTEM_GPS : GNSS_SYSTEM_QZSS)) return -3;
    nav->prn = (uint8_t)prn;
    nav->code_l2 = b[18];
    nav->ura = b[19];
    nav->health = b[20];
    nav->l2p_flag = b[21];
    nav->iodc = util_bytes_to_u16(b + 22);
    nav->iode = b[24];
    nav->iode3 = b[25];
    nav->fit = b[26];
    nav->tgd = rf(b, 28);
    nav->toc = util_bytes_to_u32(b + 32);
    nav->af2 = rf(b, 36);
    nav->af1 = rf(b, 40);
    nav->af0 = rf(b, 44);
    kepler_from_nav_block(b, nav);
    // The week of toe (WNt_oe; WNt_oc before it is toc's), modulo 1024,
    // lifted with the block's full week.
    nav->week = (uint16_t)nearestWeek(util_bytes_to_u16(b + 138) % 1024, h.wnc, 1024);
    nav->week_of_toe = 1;
    return 0;
}

namespace {
// The orbit and clock of GALNav, laid out alike for I/NAV and F/NAV.
template <class N> void gal_nav_common(const uint8_t *b, N *n)
{
    n->sqrt_a = rd(b, 16);
    n->m0 = rd(b, 24) * NAV_PI;
    n->e = rd(b, 32);
    n->i0 = rd(b, 40) * NAV_PI;
    n->omega = rd(b, 48) * NAV_PI;
    n->omega0 = rd(b, 56) * NAV_PI;
    n->omega_dot = rf(b, 64) * NAV_PI;
    n->idot = rf(b, 68) * NAV_PI;
    n->delta_n = rf(b, 72) * NAV_PI;
    n->cuc = rf(b, 76);
    n->cus = rf(b, 80);
    n->crc = rf(b, 84);
    n->crs = rf(b, 88);
    n->cic = rf(b, 92);
    n->cis = rf(b, 96);
    n->toe = util_bytes_to_u32(b + 100);
    n->toc = util_bytes_to_u32(b + 104);
    n->af2 = rf(b, 108);
    n->af1 = rf(b, 112);
    n->af0 = rd(b, 116);
    n->iodnav = util_bytes_to_u16(b + 128);
}
} // namespace

int sbf_parser_gal_nav(const uint8_t *frame, uint32_t length, galileo_inav_t *inav, galileo_fnav_t *fnav,
                       int *is_fnav)
{
    memset(inav, 0, sizeof(*inav));
    memset(fnav, 0, sizeof(*fnav));
    inav->tow = fnav->tow = -1;
    *is_fnav = 0;
    sbf_header_t h;
    int r = header_of(frame, length, SBF_ID_GAL_NAV, 149, &h);
    if (r != 0) return r;
    const uint8_t *b = frame;
    int system = -1, prn = 0;
    if (sbf_svid_to_prn(b[14], &system, &prn) != 0 || system != GNSS_SYSTEM_GALILEO) return -3;
    const uint8_t source = b[15];
    if (source != 2 && source != 16) return -3;
    // The block gives its weeks on the GPS count; the records keep
    // Galileo's own.
    const int week = nearestWeek(util_bytes_to_u16(b + 126), h.wnc, 4096) - 1024;
    if (week < 0) return -3;
    const uint16_t health = util_bytes_to_u16(b + 130);
    if (source == 16) {
        *is_fnav = 1;
        galileo_fnav_t *n = fnav;
        n->prn = (uint8_t)prn;
        n->week = (uint16_t)week;
        gal_nav_common(b, n);
        // Health bits 8-11: E5a valid, its HS (2), its DVS.
        n->e5a_hs = (health >> 9) & 3;
        n->e5a_dvs = (health >> 11) & 1;
        n->sisa = b[133];
        n->bgd_e5a = rf(b, 136);
        n->week_of_toe = 1;
        return 0;
    }
    galileo_inav_t *n = inav;
    n->prn = (uint8_t)prn;
    // The block's source says I/NAV only; the health bits say which signals
    // it was read from: E1-B (bit 0 valid) and E5b (bit 4 valid), the
    // records' source bits 0 and 1. Neither told: both, as the receiver
    // merges them.
    n->source = (uint8_t)(((health & 1) ? 1 : 0) | ((health & 0x10) ? 2 : 0));
    if (n->source == 0) n->source = 3;
    n->week = (uint16_t)week;
    gal_nav_common(b, n);
    // Health bits 0-3: E1-B valid, HS (2), DVS; bits 4-7 the same for E5b.
    n->e1b_hs = (health >> 1) & 3;
    n->e1b_dvs = (health >> 3) & 1;
    n->e5b_hs = (health >> 5) & 3;
    n->e5b_dvs = (health >> 7) & 1;
    n->sisa = b[134];
    n->bgd_e5a = rf(b, 136);
    n->bgd_e5b = rf(b, 140);
    n->week_of_toe = 1;
    return 0;
}

int sbf_parser_bds_nav(const uint8_t *frame, uint32_t length, bd2_nav_t *nav)
{
    memset(nav, 0, sizeof(*nav));
    nav->tow = -1;
    sbf_header_t h;
    int r = header_of(frame, length, SBF_ID_BDS_NAV, 140, &h);
    if (r != 0) return r;
    const uint8_t *b = frame;
    int system = -1, prn = 0;
    if (sbf_svid_to_prn(b[14], &system, &prn) != 0 || system != GNSS_SYSTEM_BDS) return -3;
    nav->prn = (uint8_t)prn;
    nav->ura = b[18];
    nav->health = b[19];
    nav->aodc = b[20];
    nav->aode = b[21];
    nav->tgd1 = rf(b, 24);
    nav->tgd2 = rf(b, 28);
    nav->toc = util_bytes_to_u32(b + 32);
    nav->a2 = rf(b, 36);
    nav->a1 = rf(b, 40);
    nav->a0 = rf(b, 44);
    kepler_from_nav_block(b, nav);
    // BDS weeks, the block's WNc less the 1356 weeks between the origins.
    const int full = h.wnc != SBF_WNC_UNKNOWN && h.wnc >= 1356 ? h.wnc - 1356 : 0;
    nav->week = (uint16_t)nearestWeek(util_bytes_to_u16(b + 138) % 8192, full, 8192); // WNt_oe
    nav->week_of_toe = 1;
    return 0;
}

int sbf_parser_glo_nav(const uint8_t *frame, uint32_t length, glonass_nav_t *nav)
{
    memset(nav, 0, sizeof(*nav));
    sbf_header_t h;
    int r = header_of(frame, length, SBF_ID_GLO_NAV, 96, &h);
    if (r != 0) return r;
    const uint8_t *b = frame;
    int system = -1, prn = 0;
    if (sbf_svid_to_prn(b[14], &system, &prn) != 0 || system != GNSS_SYSTEM_GLONASS) return -3;
    if (h.wnc == SBF_WNC_UNKNOWN || h.tow == SBF_TOW_UNKNOWN) return -3;
    nav->slot = (uint8_t)prn;
    // The frequency number plus 8.
    const int channel = b[15] - 8;
    if (channel < -7 || channel > 13) return -3;
    nav->frequency_channel = (int8_t)channel;
    nav->x = rd(b, 16);
    nav->y = rd(b, 24);
    nav->z = rd(b, 32);
    nav->vx = rf(b, 40);
    nav->vy = rf(b, 44);
    nav->vz = rf(b, 48);
    nav->ax = rf(b, 52);
    nav->ay = rf(b, 56);
    nav->az = rf(b, 60);
    nav->gamma = rf(b, 64);
    nav->tau = rf(b, 68);
    nav->delta_tau = rf(b, 72);
    const uint32_t toe = util_bytes_to_u32(b + 76);
    const int toe_week = nearestWeek(util_bytes_to_u16(b + 80) % 1024, h.wnc, 1024);
    // P1 comes as the minutes between adjacent tb (0, 30, 45 or 60): back
    // to the broadcast two-bit code (GLONASS ICD); any other value is no
    // interval the ICD knows, so nothing is claimed.
    const uint8_t p1_minutes = b[82];
    nav->p1 = p1_minutes == 30 ? 1 : p1_minutes == 45 ? 2 : p1_minutes == 60 ? 3 : 0;
    nav->p2 = b[83];
    nav->en = b[84];
    nav->bn = b[85];
    nav->tb = (uint32_t)util_bytes_to_u16(b + 86) * 60u;
    nav->m = b[88];
    nav->p = b[89];
    nav->ln3 = nav->ln5 = b[90];
    nav->p4 = b[91];
    nav->nt = util_bytes_to_u16(b + 92);
    nav->na = nav->nt;
    // F_T comes as the accuracy it stands for, in centimetres: back to the
    // broadcast index (GLONASS ICD), 15 (not used) for any other value.
    static const uint16_t kAccuracy[15] = {100, 200, 250, 400, 500, 700, 1000, 1200, 1400, 1600,
                                           3200, 6400, 12800, 25600, 51200};
    const uint16_t accuracy = util_bytes_to_u16(b + 94);
    nav->ft = 15;
    for (uint8_t i = 0; i < 15; i++)
        if (kAccuracy[i] == accuracy) nav->ft = i;
    if (toe >= 604800 || nav->tb >= 86400) return -3;
    // tk from the block's time: the frame was received at most a few
    // seconds before the block was sent.
    const int64_t moscow = (util_gps_time_to_epoch(h.wnc, h.tow) / 1000 + 10800) % 86400;
    nav->tk = (uint32_t)(moscow - moscow % 30);
    // t_oe is tb on the GPS scale: it names the day.
    return glonass_nav_update_utc_near(nav, util_gps_time_to_epoch(toe_week, (int64_t)toe * 1000));
}

// ---- raw navigation pages --------------------------------------------------------------

namespace {

// Bit `first` (0 = most significant bit of NAVBits[0]) onwards of the
// little-endian 32-bit words of a raw page, `count` <= 32 bits.
uint32_t rawBits(const uint8_t *words, int first, int count)
{
    uint32_t v = 0;
    for (int i = 0; i < count; i++) {
        const int bit = first + i;
        const uint32_t word = util_bytes_to_u32(words + 4 * (bit / 32));
        v = (v << 1) | ((word >> (31 - bit % 32)) & 1u);
    }
    return v;
}

} // namespace

void sbf_raw_nav_init(sbf_raw_nav_t *state)
{
    for (auto &g : state->gps) navbits_gps_init(&g);
    for (auto &r : state->glonass) navbits_glonass_init(&r);
    for (auto &e : state->galileo) navbits_galileo_init(&e);
    for (auto &c : state->bds) navbits_bds_init(&c);
}

int sbf_raw_nav_input(sbf_raw_nav_t *state, const uint8_t *frame, uint32_t length, sbf_raw_nav_record_t *out)
{
    memset(out, 0, sizeof(*out));
    out->system = -1;
    sbf_header_t h;
    if (sbf_parser_header(frame, length, &h) != 0) return -1;
    const uint32_t need = h.number == SBF_ID_GLO_RAW_CA     ? 32
                          : h.number == SBF_ID_GAL_RAW_INAV ? 52
                          : h.number == SBF_ID_GPS_RAW_CA || h.number == SBF_ID_BDS_RAW ? 60
                                                                                        : 0;
    if (need == 0 || h.length < need) return -1;
    const uint8_t *b = frame;
    const uint8_t *bits = b + 20;
    int system = -1, prn = 0;
    // CRCPassed 0: the receiver's own check of the page failed.
    if (sbf_svid_to_prn(b[14], &system, &prn) != 0 || b[15] == 0) return 0;
    switch (h.number) {
    case SBF_ID_GPS_RAW_CA: {
        if (system != GNSS_SYSTEM_GPS) return 0;
        // Each word D1..D30 in its low 30 bits, its data bits already
        // upright: its parity holds with D30* taken as 0 and D29* as the
        // sum of the last two bits of the word before it as given.
        uint32_t upright[10];
        for (int i = 0; i < 10; i++) {
            upright[i] = util_bytes_to_u32(bits + 4 * i) & 0x3FFFFFFFu;
            const uint32_t before = i > 0 ? upright[i - 1] : 0;
            if (!navbits_gps_parity_ok(upright[i], (((before >> 1) ^ before) & 1u) << 1)) return 0;
        }
        if (navbits_gps_add(&state->gps[prn - 1], upright, prn, &out->gps) != 1) return 0;
        out->system = GNSS_SYSTEM_GPS;
        return 1;
    }
    case SBF_ID_GLO_RAW_CA: {
        if (system != GNSS_SYSTEM_GLONASS) return 0;
        uint8_t string[NAVBITS_GLONASS_STRING_BYTES];
        for (int i = 0; i < NAVBITS_GLONASS_STRING_BYTES; i++) string[i] = (uint8_t)rawBits(bits, 8 * i, 8);
        string[NAVBITS_GLONASS_STRING_BYTES - 1] &= 0xF8; // bits past the 85th
        if (navbits_glonass_string_check(string) < 0) return 0;
        const int channel = b[18] - 8; // FreqNr + 8
        if (navbits_glonass_add(&state->glonass[prn - 1], string, channel, &out->glonass) != 1) return 0;
        out->system = GNSS_SYSTEM_GLONASS;
        return 1;
    }
    case SBF_ID_GAL_RAW_INAV: {
        if (system != GNSS_SYSTEM_GALILEO) return 0;
        // 114 bits of each part, the six tail bits (zeros) left out.
        uint8_t even[NAVBITS_GALILEO_PART_BYTES] = {0}, odd[NAVBITS_GALILEO_PART_BYTES] = {0};
        for (int i = 0; i < 114; i++) {
            if (rawBits(bits, i, 1)) even[i / 8] |= (uint8_t)(0x80 >> (i % 8));
            if (rawBits(bits, 114 + i, 1)) odd[i / 8] |= (uint8_t)(0x80 >> (i % 8));
        }
        uint8_t word[NAVBITS_GALILEO_WORD_BYTES];
        if (navbits_galileo_inav_page(even, odd, word) < 0) return 0;
        // Source bits 0-4: the signal, E1-B (17) or E5b-I (21).
        const int signal = b[17] & 0x1F;
        const int source = signal == 17 ? 1 : signal == 21 ? 2 : 0;
        if (navbits_galileo_add(&state->galileo[prn - 1], word, prn, source, &out->galileo) != 1) return 0;
        out->system = GNSS_SYSTEM_GALILEO;
        return 1;
    }
    default: { // BDSRaw: 300 bits in a row
        if (system != GNSS_SYSTEM_BDS) return 0;
        uint32_t words[10];
        for (int i = 0; i < 10; i++) words[i] = rawBits(bits, 30 * i, 30);
        navbits_bds_subframe_check(words);
        if (navbits_bds_add(&state->bds[prn - 1], words, prn, &out->bds) != 1) return 0;
        out->system = GNSS_SYSTEM_BDS;
        return 1;
    }
    }
}

// ---- receiver set-up and time ------------------------------------------------------

int sbf_parser_receiver_setup(const uint8_t *frame, uint32_t length, sbf_receiver_setup_t *out)
{
    memset(out, 0, sizeof(*out));
    sbf_header_t h;
    int r = header_of(frame, length, SBF_ID_RECEIVER_SETUP, 268, &h);
    if (r != 0) return r;
    const uint8_t *b = frame;
    copyText(out->marker_name, sizeof out->marker_name, b + 16, 60);
    copyText(out->marker_number, sizeof out->marker_number, b + 76, 20);
    copyText(out->observer, sizeof out->observer, b + 96, 20);
    copyText(out->agency, sizeof out->agency, b + 116, 40);
    copyText(out->rx_serial, sizeof out->rx_serial, b + 156, 20);
    copyText(out->rx_name, sizeof out->rx_name, b + 176, 20);
    copyText(out->rx_version, sizeof out->rx_version, b + 196, 20);
    copyText(out->ant_serial, sizeof out->ant_serial, b + 216, 20);
    copyText(out->ant_type, sizeof out->ant_type, b + 236, 20);
    out->delta_h = rf(b, 256);
    out->delta_e = rf(b, 260);
    out->delta_n = rf(b, 264);
    if (h.revision >= 1 && h.length >= 288) copyText(out->marker_type, sizeof out->marker_type, b + 268, 20);
    if (h.revision >= 2 && h.length >= 328)
        copyText(out->gnss_fw_version, sizeof out->gnss_fw_version, b + 288, 40);
    if (h.revision >= 3 && h.length >= 368) copyText(out->product_name, sizeof out->product_name, b + 328, 40);
    return 0;
}

int sbf_parser_leap_seconds(const uint8_t *frame, uint32_t length, int *leap)
{
    sbf_header_t h;
    if (sbf_parser_header(frame, length, &h) != 0) return -1;
    int value = -128;
    if (h.number == SBF_ID_GPS_UTC && h.length >= 37) {
        value = (int8_t)frame[33];
    } else if (h.number == SBF_ID_RECEIVER_TIME && h.length >= 22) {
        value = (int8_t)frame[20]; // -128 while not known
    } else {
        return -1;
    }
    // Never negative since 1980, and well below 100 for ages to come.
    if (value <= 0 || value >= 100) return -1;
    *leap = value;
    return 0;
}
