// u-blox UBX decoders: RXM-RAWX, RXM-RAW, RXM-SFRBX, RXM-SFRB, MON-VER.
#include "ublox.h"

#include <math.h>
#include <string.h>

#include "util.h"

namespace {

const uint32_t HEADER = 6;  // B5 62 class id length
const uint32_t TRAILER = 2; // CK_A CK_B
const uint32_t RAWX_HEAD = 16;
const uint32_t RAWX_MEAS = 32;
const uint32_t RAW_HEAD = 8;
const uint32_t RAW_MEAS = 24;

// The payload of a frame of message `id`, with its length; null when the
// frame is not that message or its length disagrees with the payload length.
const uint8_t *payload(const uint8_t *frame, uint32_t length, uint32_t id, uint32_t *size)
{
    if (!frame || length < HEADER + TRAILER || ublox_message(frame, length) != id)
        return nullptr;
    const uint32_t n = util_bytes_to_u16(frame + 4);
    if (n + HEADER + TRAILER != length)
        return nullptr;
    *size = n;
    return frame + HEADER;
}

// The payload of a frame of message `id`, with the caller's record `out`
// (`bytes` long) cleared first; null when there is no record or the frame is
// not whole and of that message.
const uint8_t *cleared_payload(const uint8_t *frame, uint32_t length, uint32_t id, void *out, size_t bytes,
                               uint32_t *size)
{
    if (!out)
        return nullptr;
    memset(out, 0, bytes);
    return payload(frame, length, id, size);
}

float read_float(const uint8_t *p)
{
    const uint32_t bits = util_bytes_to_u32(p);
    float f;
    memcpy(&f, &bits, sizeof f);
    return f;
}

// System of a UBX gnssId (the same numbering in RAWX and SFRBX).
uint8_t system_of(uint8_t gnss_id)
{
    switch (gnss_id) {
    case 0: return GNSS_SYSTEM_GPS;
    case 1: return GNSS_SYSTEM_SBAS;
    case 2: return GNSS_SYSTEM_GALILEO;
    case 3: return GNSS_SYSTEM_BDS;
    case 5: return GNSS_SYSTEM_QZSS;
    case 6: return GNSS_SYSTEM_GLONASS;
    case 7: return GNSS_SYSTEM_IRNSS;
    default: return 0xFF;
    }
}

// Satellite number within its system of a UBX svId; 0 when it names none.
uint8_t prn_of(uint8_t system, uint8_t sv_id)
{
    switch (system) {
    case GNSS_SYSTEM_SBAS:
        return sv_id >= 120 && sv_id <= 158 ? (uint8_t)(sv_id - 100) : 0;
    case GNSS_SYSTEM_QZSS:
        // Older firmware numbers QZSS satellites from 193.
        if (sv_id >= 193 && sv_id <= 202)
            return (uint8_t)(sv_id - 192);
        return sv_id >= 1 && sv_id <= 10 ? sv_id : 0;
    case GNSS_SYSTEM_GLONASS:
        return sv_id >= 1 && sv_id <= 32 ? sv_id : 0; // 255: slot not yet known
    case GNSS_SYSTEM_GPS:
        return sv_id >= 1 && sv_id <= 32 ? sv_id : 0;
    case GNSS_SYSTEM_GALILEO:
        return sv_id >= 1 && sv_id <= 36 ? sv_id : 0;
    case GNSS_SYSTEM_BDS:
        return sv_id >= 1 && sv_id <= 63 ? sv_id : 0;
    case GNSS_SYSTEM_IRNSS:
        return sv_id >= 1 && sv_id <= 14 ? sv_id : 0;
    default:
        return 0;
    }
}

// Signal table entry of a RAWX system and sigId (the F9/X20 interface
// descriptions; M8 receivers send sigId 0 for their one signal per system).
const gnss_signal_t *signal_of(uint8_t system, uint8_t sig_id)
{
    switch (system) {
    case GNSS_SYSTEM_GPS:
        switch (sig_id) {
        case 0: return &GNSS_SIGNAL_GPS[0]; // L1 C/A: 1C
        case 3: return &GNSS_SIGNAL_GPS[9]; // L2 CL: 2L
        case 4: return &GNSS_SIGNAL_GPS[7]; // L2 CM: 2S
        case 6: return &GNSS_SIGNAL_GPS[3]; // L5 I: 5I
        case 7: return &GNSS_SIGNAL_GPS[4]; // L5 Q: 5Q
        default: return nullptr;
        }
    case GNSS_SYSTEM_SBAS:
        return sig_id == 0 ? &GNSS_SIGNAL_SBAS[0] : nullptr;
    case GNSS_SYSTEM_GALILEO:
        switch (sig_id) {
        case 0: return &GNSS_SIGNAL_GALILEO[1];  // E1 C: 1C
        case 1: return &GNSS_SIGNAL_GALILEO[0];  // E1 B: 1B
        case 3: return &GNSS_SIGNAL_GALILEO[3];  // E5a I: 5I
        case 4: return &GNSS_SIGNAL_GALILEO[4];  // E5a Q: 5Q
        case 5: return &GNSS_SIGNAL_GALILEO[6];  // E5b I: 7I
        case 6: return &GNSS_SIGNAL_GALILEO[7];  // E5b Q: 7Q
        case 8: return &GNSS_SIGNAL_GALILEO[12]; // E6 B: 6B
        case 9: return &GNSS_SIGNAL_GALILEO[13]; // E6 C: 6C
        default: return nullptr;
        }
    case GNSS_SYSTEM_BDS:
        switch (sig_id) {
        case 0:
        case 1: return &GNSS_SIGNAL_BDS[0];  // B1I D1/D2: 2I
        case 2:
        case 3: return &GNSS_SIGNAL_BDS[2];  // B2I D1/D2: 7I
        case 4:
        case 10: return &GNSS_SIGNAL_BDS[4]; // B3I D1/D2: 6I
        case 5: return &GNSS_SIGNAL_BDS[7];  // B1C pilot: 1P
        case 6: return &GNSS_SIGNAL_BDS[6];  // B1C data: 1D
        case 7: return &GNSS_SIGNAL_BDS[13]; // B2a pilot: 5P
        case 8: return &GNSS_SIGNAL_BDS[12]; // B2a data: 5D
        default: return nullptr;
        }
    case GNSS_SYSTEM_QZSS:
        switch (sig_id) {
        case 0: return &GNSS_SIGNAL_QZSS[0]; // L1 C/A: 1C
        case 1: return &GNSS_SIGNAL_QZSS[8]; // L1 S: 1Z
        case 4: return &GNSS_SIGNAL_QZSS[3]; // L2 CM: 2S
        case 5: return &GNSS_SIGNAL_QZSS[7]; // L2 CL: 2L
        case 8: return &GNSS_SIGNAL_QZSS[4]; // L5 I: 5I
        case 9: return &GNSS_SIGNAL_QZSS[5]; // L5 Q: 5Q
        default: return nullptr;
        }
    case GNSS_SYSTEM_GLONASS:
        switch (sig_id) {
        case 0: return &GNSS_SIGNAL_GLONASS[0]; // L1 OF: 1C
        case 2: return &GNSS_SIGNAL_GLONASS[1]; // L2 OF: 2C
        default: return nullptr;
        }
    case GNSS_SYSTEM_IRNSS:
        return sig_id == 0 ? &GNSS_SIGNAL_IRNSS[0] : nullptr; // L5 A: 5A
    default:
        return nullptr;
    }
}

// A fixed-width text field of MON-VER, cut at its first NUL.
void copy_text(char *out, uint32_t size, const uint8_t *p, uint32_t width)
{
    uint32_t n = 0;
    while (n < width && n + 1 < size && p[n] != 0) {
        out[n] = (char)p[n];
        ++n;
    }
    out[n] = 0;
}

} // namespace

uint32_t ublox_message(const uint8_t *frame, uint32_t length)
{
    if (!frame || length < 4 || frame[0] != 0xB5 || frame[1] != 0x62)
        return 0;
    return ((uint32_t)frame[2] << 8) | frame[3];
}

// ---- RXM-RAWX ---------------------------------------------------------------------------

int ublox_parser_rawx(const uint8_t *frame, uint32_t length, ublox_rawx_t *out)
{
    uint32_t size = 0;
    const uint8_t *p = cleared_payload(frame, length, UBLOX_RXM_RAWX, out, sizeof *out, &size);
    if (!p || size < RAWX_HEAD)
        return -1;
    const uint32_t count = p[11];
    if (size != RAWX_HEAD + RAWX_MEAS * count)
        return -1;
    const double tow = util_bytes_to_double(p);
    // A time that is no number or lies outside the week dates nothing.
    if (!(tow >= 0.0 && tow < 604800.0))
        return -1;
    out->rcv_tow = tow;
    out->week = util_bytes_to_u16(p + 8);
    out->leap_s = (int8_t)p[10];
    out->num_meas = (uint8_t)count;
    out->rec_stat = p[12];
    out->version = p[13];
    out->meas = p + RAWX_HEAD;
    return 0;
}

int ublox_rawx_get_meas(const ublox_rawx_t *rawx, int index, ublox_rawx_meas_t *out)
{
    if (!out)
        return -1;
    memset(out, 0, sizeof *out);
    if (!rawx || !rawx->meas || index < 0 || index >= rawx->num_meas)
        return -1;
    const uint8_t *m = rawx->meas + RAWX_MEAS * (uint32_t)index;
    out->pseudorange = util_bytes_to_double(m);
    out->phase = util_bytes_to_double(m + 8);
    out->doppler = read_float(m + 16);
    out->gnss_id = m[20];
    out->sv_id = m[21];
    out->sig_id = m[22];
    out->freq_id = m[23];
    out->locktime = util_bytes_to_u16(m + 24);
    out->cno = m[26];
    out->pr_stdev = m[27] & 0x0F;
    out->cp_stdev = m[28] & 0x0F;
    out->do_stdev = m[29] & 0x0F;
    out->trk_stat = m[30];
    out->system = system_of(out->gnss_id);
    out->prn = prn_of(out->system, out->sv_id);
    if (out->system == GNSS_SYSTEM_GLONASS)
        out->glonass_channel = (int8_t)((int)out->freq_id - 7);
    out->signal = out->prn ? signal_of(out->system, out->sig_id) : nullptr;
    // Values that are no numbers are no measurements.
    if (!isfinite(out->pseudorange))
        out->trk_stat &= (uint8_t)~UBLOX_TRK_PR_VALID;
    if (!isfinite(out->phase))
        out->trk_stat &= (uint8_t)~UBLOX_TRK_CP_VALID;
    if (!isfinite(out->doppler))
        out->doppler = 0;
    return 0;
}

// ---- RXM-RAW ----------------------------------------------------------------------------------

int ublox_parser_raw(const uint8_t *frame, uint32_t length, ublox_raw_t *out)
{
    uint32_t size = 0;
    const uint8_t *p = cleared_payload(frame, length, UBLOX_RXM_RAW, out, sizeof *out, &size);
    if (!p || size < RAW_HEAD)
        return -1;
    const uint32_t count = p[6];
    if (size != RAW_HEAD + RAW_MEAS * count)
        return -1;
    const int32_t itow = (int32_t)util_bytes_to_u32(p);
    if (itow < 0 || itow >= 604800000)
        return -1;
    out->itow = itow;
    out->week = (int16_t)util_bytes_to_u16(p + 4);
    out->num_sv = (uint8_t)count;
    out->meas = p + RAW_HEAD;
    return 0;
}

int ublox_raw_get_meas(const ublox_raw_t *raw, int index, ublox_raw_meas_t *out)
{
    if (!out)
        return -1;
    memset(out, 0, sizeof *out);
    if (!raw || !raw->meas || index < 0 || index >= raw->num_sv)
        return -1;
    const uint8_t *m = raw->meas + RAW_MEAS * (uint32_t)index;
    out->phase = util_bytes_to_double(m);
    out->pseudorange = util_bytes_to_double(m + 8);
    out->doppler = read_float(m + 16);
    out->sv = m[20];
    out->mes_qi = (int8_t)m[21];
    out->cno = (int8_t)m[22];
    out->lli = m[23];
    if (!isfinite(out->phase))
        out->phase = 0;
    if (!isfinite(out->pseudorange))
        out->pseudorange = 0;
    if (!isfinite(out->doppler))
        out->doppler = 0;
    out->system = 0xFF;
    if (out->sv >= 1 && out->sv <= 32) {
        out->system = GNSS_SYSTEM_GPS;
        out->prn = out->sv;
        out->signal = &GNSS_SIGNAL_GPS[0];
    } else if (out->sv >= 120 && out->sv <= 158) {
        out->system = GNSS_SYSTEM_SBAS;
        out->prn = (uint8_t)(out->sv - 100);
        out->signal = &GNSS_SIGNAL_SBAS[0];
    }
    return 0;
}

// ---- navigation words ----------------------------------------------------------------------------

void ublox_nav_state_init(ublox_nav_state_t *state)
{
    memset(state, 0, sizeof *state);
}

namespace {

// A GPS/QZSS LNAV subframe of SFRBX: ten words with D1..D30 in bits 29..0
// and, in bits 31..30, the D29* and D30* that the parity of the word
// starts from. The receiver has already turned each word upright (it
// reports D30* as 0), so each word is checked on its own.
int gps_words(const uint8_t *words, uint32_t upright[10])
{
    for (int i = 0; i < 10; ++i) {
        const uint32_t w = util_bytes_to_u32(words + 4 * i);
        if (!navbits_gps_parity_ok(w & 0x3FFFFFFF, w >> 30))
            return -1;
        upright[i] = (w >> 30) & 1 ? (w & 0x3FFFFFFF) ^ (0xFFFFFFu << 6) : (w & 0x3FFFFFFF);
    }
    return 0;
}

int nav_sfrbx(ublox_nav_state_t *state, const uint8_t *p, uint32_t size, ublox_nav_record_t *out)
{
    if (size < 8)
        return -1;
    const uint8_t gnss_id = p[0], sv_id = p[1], sig_id = p[2], freq_id = p[3];
    const uint32_t count = p[4];
    if (size != 8 + 4 * count)
        return -1;
    const uint8_t *words = p + 8;
    const uint8_t system = system_of(gnss_id);
    const uint8_t prn = prn_of(system, sv_id);
    if (!prn)
        return UBLOX_NAV_NONE;
    switch (system) {
    case GNSS_SYSTEM_GPS:
    case GNSS_SYSTEM_QZSS: {
        // LNAV on L1 C/A only (sigId 0; L2C and L5 carry CNAV).
        if (sig_id != 0 || count != 10)
            return UBLOX_NAV_NONE;
        uint32_t upright[10];
        if (gps_words(words, upright) != 0)
            return -1;
        const bool qzss = system == GNSS_SYSTEM_QZSS;
        navbits_gps_t *st = qzss ? &state->qzss[prn - 1] : &state->gps[prn - 1];
        const int r = navbits_gps_add(st, upright, prn, &out->gps);
        if (r < 0)
            return -1;
        return r == 1 ? (qzss ? UBLOX_NAV_QZSS : UBLOX_NAV_GPS) : UBLOX_NAV_NONE;
    }
    case GNSS_SYSTEM_GALILEO: {
        // I/NAV on E1 B (sigId 1) and E5b I (sigId 5): eight words, the
        // even page part in the first four, the odd in the last four (a
        // ninth word of some firmware carries nothing of the page).
        if ((sig_id != 1 && sig_id != 5) || count < 8)
            return UBLOX_NAV_NONE;
        uint8_t even[NAVBITS_GALILEO_PART_BYTES], odd[NAVBITS_GALILEO_PART_BYTES];
        for (int i = 0; i < 120; ++i) {
            const uint32_t e = util_bytes_to_u32(words + 4 * (i / 32));
            const uint32_t o = util_bytes_to_u32(words + 16 + 4 * (i / 32));
            navbits_set(even, i, 1, (e >> (31 - i % 32)) & 1u);
            navbits_set(odd, i, 1, (o >> (31 - i % 32)) & 1u);
        }
        uint8_t word[NAVBITS_GALILEO_WORD_BYTES];
        if (navbits_galileo_inav_page(even, odd, word) < 0)
            return -1;
        const int source = sig_id == 1 ? 1 : 2;
        return navbits_galileo_add(&state->galileo[prn - 1], word, prn, source, &out->galileo) == 1
                   ? UBLOX_NAV_GALILEO
                   : UBLOX_NAV_NONE;
    }
    case GNSS_SYSTEM_BDS: {
        // D1/D2 on B1I, B2I and B3I; the B-CNAV messages are longer or shorter.
        if (count != 10 || (sig_id > 4 && sig_id != 10))
            return UBLOX_NAV_NONE;
        uint32_t w[10];
        for (int i = 0; i < 10; ++i)
            w[i] = util_bytes_to_u32(words + 4 * i) & 0x3FFFFFFF;
        navbits_bds_subframe_check(w);
        const int r = navbits_bds_add(&state->bds[prn - 1], w, prn, &out->bds);
        if (r < 0)
            return -1;
        return r == 1 ? UBLOX_NAV_BDS : UBLOX_NAV_NONE;
    }
    case GNSS_SYSTEM_GLONASS: {
        // L1 OF and L2 OF: the 85-bit string from the first bit of word 0.
        if ((sig_id != 0 && sig_id != 2) || count < 3)
            return UBLOX_NAV_NONE;
        uint8_t string[NAVBITS_GLONASS_STRING_BYTES];
        memset(string, 0, sizeof string);
        for (int i = 0; i < 85; ++i)
            navbits_set(string, i, 1, (util_bytes_to_u32(words + 4 * (i / 32)) >> (31 - i % 32)) & 1u);
        if (navbits_glonass_string_check(string) < 0)
            return -1;
        const int channel = (int)freq_id - 7;
        if (channel < -7 || channel > 6)
            return UBLOX_NAV_NONE;
        const int r = navbits_glonass_add(&state->glonass[prn - 1], string, channel, &out->glonass);
        if (r < 0)
            return -1;
        // The string 4 slot must be the satellite's own.
        if (r == 1 && out->glonass.slot != prn)
            return -1;
        return r == 1 ? UBLOX_NAV_GLONASS : UBLOX_NAV_NONE;
    }
    default:
        return UBLOX_NAV_NONE;
    }
}

// RXM-SFRB of LEA-4T/5T/6T: channel, satellite, ten words with the 24 data
// bits of each navigation word (parity removed) in bits 23..0.
int nav_sfrb(ublox_nav_state_t *state, const uint8_t *p, uint32_t size, ublox_nav_record_t *out)
{
    if (size != 42)
        return -1;
    const uint8_t sv = p[1];
    if (sv < 1 || sv > 32)
        return UBLOX_NAV_NONE; // SBAS messages
    uint32_t upright[10];
    for (int i = 0; i < 10; ++i)
        upright[i] = (util_bytes_to_u32(p + 2 + 4 * i) & 0xFFFFFF) << 6;
    const int r = navbits_gps_add(&state->gps[sv - 1], upright, sv, &out->gps);
    if (r < 0)
        return -1;
    return r == 1 ? UBLOX_NAV_GPS : UBLOX_NAV_NONE;
}

} // namespace

int ublox_nav_input(ublox_nav_state_t *state, const uint8_t *frame, uint32_t length, ublox_nav_record_t *out)
{
    if (!state || !out)
        return -1;
    uint32_t size = 0;
    const uint8_t *p = payload(frame, length, UBLOX_RXM_SFRBX, &size);
    if (p)
        return nav_sfrbx(state, p, size, out);
    p = payload(frame, length, UBLOX_RXM_SFRB, &size);
    if (p)
        return nav_sfrb(state, p, size, out);
    return -1;
}

// ---- NAV-TIMEGPS ---------------------------------------------------------------------------

int ublox_parser_nav_timegps(const uint8_t *frame, uint32_t length, ublox_nav_timegps_t *out)
{
    uint32_t size = 0;
    const uint8_t *p = cleared_payload(frame, length, UBLOX_NAV_TIMEGPS, out, sizeof *out, &size);
    if (!p || size != 16)
        return -1;
    out->itow = util_bytes_to_u32(p);
    out->week = (int16_t)util_bytes_to_u16(p + 8);
    out->leap_s = (int8_t)p[10];
    out->valid = p[11];
    return 0;
}

// ---- MON-VER --------------------------------------------------------------------------------

int ublox_parser_mon_ver(const uint8_t *frame, uint32_t length, ublox_mon_ver_t *out)
{
    uint32_t size = 0;
    const uint8_t *p = cleared_payload(frame, length, UBLOX_MON_VER, out, sizeof *out, &size);
    if (!p || size < 40 || (size - 40) % 30 != 0)
        return -1;
    copy_text(out->sw_version, sizeof out->sw_version, p, 30);
    copy_text(out->hw_version, sizeof out->hw_version, p + 30, 10);
    memcpy(out->firmware, out->sw_version, sizeof out->firmware);
    for (uint32_t k = 40; k + 30 <= size; k += 30) {
        char ext[31];
        copy_text(ext, sizeof ext, p + k, 30);
        if (strncmp(ext, "FWVER=", 6) == 0)
            memcpy(out->firmware, ext + 6, sizeof ext - 6);
        else if (strncmp(ext, "MOD=", 4) == 0)
            memcpy(out->model, ext + 4, sizeof ext - 4);
    }
    return 0;
}
