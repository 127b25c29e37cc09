// Hemisphere binary ("$BIN") message decoders: observations (16), GPS (95),
// GLONASS (65), Galileo (45) and BDS (35) ephemerides, ionosphere and UTC (94).
#include "hemisphere.h"

#include <math.h>
#include <stddef.h>
#include <string.h>

#include "navbits.h"
#include "util.h"

namespace {

const double SPEED_OF_LIGHT = 299792458.0;

// Frame offsets of the three parts of a message 16 channel, relative to the
// first channel block (frame offset 32).
const uint32_t BIN16_BLOCK_SIZE = 12;    // 64-bit word W, 32-bit word V
const uint32_t BIN16_CHANNEL_WORDS = 192; // 32-bit word C per channel (frame offset 224)
const uint32_t BIN16_SIGNAL_WORDS = 256;  // 16-bit word S per channel (frame offset 288)

// Two's complement value of the low `bits` bits of v (1..32).
int32_t sign_extend(uint32_t v, int bits)
{
    const uint64_t field = (bits >= 32) ? (uint64_t)v : ((uint64_t)v & ((1ull << bits) - 1));
    const int64_t value = (field >> (bits - 1)) & 1 ? (int64_t)field - ((int64_t)1 << bits) : (int64_t)field;
    return (int32_t)value;
}

int32_t read_i32(const uint8_t *p)
{
    return sign_extend(util_bytes_to_u32(p), 32);
}

int16_t read_i16(const uint8_t *p)
{
    return (int16_t)sign_extend(util_bytes_to_u16(p), 16);
}

// ---- observation signals ------------------------------------------------------------

// Signal table entry of a receiver system and signal index; null when the
// pair has none. `satellite` is the channel's satellite number as received.
const gnss_signal_t *bin16_signal(uint32_t system, uint32_t k, uint32_t satellite, bool p_code)
{
    switch (system) {
    case 0:
        if (satellite > 100)
            return k == 0 ? &GNSS_SIGNAL_SBAS[0] : nullptr; // 1C
        switch (k) {
        case 0: return &GNSS_SIGNAL_GPS[0];  // 1C
        case 1: return &GNSS_SIGNAL_GPS[2];  // 2W
        case 2: return &GNSS_SIGNAL_GPS[7];  // 2S
        case 3: return &GNSS_SIGNAL_GPS[3];  // 5I
        case 4: return &GNSS_SIGNAL_GPS[6];  // 1L
        default: return nullptr;
        }
    case 1:
        switch (k) {
        case 0: return p_code ? &GNSS_SIGNAL_GLONASS[4] : &GNSS_SIGNAL_GLONASS[0]; // 1P / 1C
        case 1: return p_code ? &GNSS_SIGNAL_GLONASS[2] : &GNSS_SIGNAL_GLONASS[1]; // 2P / 2C
        default: return nullptr;
        }
    case 2:
        switch (k) {
        case 0: return &GNSS_SIGNAL_GALILEO[2];  // 1X
        case 1: return &GNSS_SIGNAL_GALILEO[5];  // 5X
        case 2: return &GNSS_SIGNAL_GALILEO[8];  // 7X
        case 3: return &GNSS_SIGNAL_GALILEO[14]; // 6X
        case 4: return &GNSS_SIGNAL_GALILEO[11]; // 8X
        default: return nullptr;
        }
    case 3:
        switch (k) {
        case 0: return &GNSS_SIGNAL_BDS[0];  // 2I
        case 1: return &GNSS_SIGNAL_BDS[2];  // 7I
        case 2: return &GNSS_SIGNAL_BDS[4];  // 6I
        case 3: return &GNSS_SIGNAL_BDS[8];  // 1X
        case 4: return &GNSS_SIGNAL_BDS[14]; // 5X
        case 5: return &GNSS_SIGNAL_BDS[17]; // 7X
        case 7: return &GNSS_SIGNAL_BDS[20]; // 8X
        default: return nullptr;
        }
    case 4:
        switch (k) {
        case 0: return &GNSS_SIGNAL_QZSS[0]; // 1C
        case 2: return &GNSS_SIGNAL_QZSS[9]; // 2X
        case 3: return &GNSS_SIGNAL_QZSS[4]; // 5I
        case 4: return &GNSS_SIGNAL_QZSS[2]; // 1L
        default: return nullptr;
        }
    case 5:
        return k == 0 ? &GNSS_SIGNAL_IRNSS[0] : nullptr; // 5A
    default:
        return nullptr;
    }
}

// ---- navigation words -----------------------------------------------------------------

// A GPS subframe of the message: ten little-endian 32-bit words, each
// holding navigation word bits D1..D30 in bits 29..0.
void gps_subframe_words(const uint8_t *subframe, uint32_t words[10])
{
    for (int i = 0; i < 10; ++i)
        words[i] = util_bytes_to_u32(subframe + 4 * i) & 0x3FFFFFFF;
}

// GLONASS strings 1..5 of the message: each three 32-bit little-endian
// words forming one 96-bit value (first word most significant), in which
// string bit n is bit n + 10.
void glonass_strings(const uint8_t *strings, uint8_t out[5][NAVBITS_GLONASS_STRING_BYTES])
{
    memset(out, 0, 5 * NAVBITS_GLONASS_STRING_BYTES);
    for (int k = 0; k < 5; ++k) {
        const uint8_t *p = strings + 12 * k;
        const uint32_t words[3] = {util_bytes_to_u32(p), util_bytes_to_u32(p + 4), util_bytes_to_u32(p + 8)};
        for (int n = 85; n >= 1; --n) {
            const int position = n + 10;
            navbits_set(out[k], 85 - n, 1, (words[2 - position / 32] >> (position % 32)) & 1u);
        }
    }
}

} // namespace

// ---- message 16 -------------------------------------------------------------------------

int hemisphere_parser_bin16_obs(const uint8_t *frame, uint32_t length, hemisphere_bin16_obs_t *obs)
{
    if (!obs)
        return -1;
    memset(obs, 0, sizeof *obs);
    if (!frame || length != HEMISPHERE_BIN16_LENGTH)
        return -1;
    // A time that is no number or does not fit the millisecond count cannot
    // date an epoch (and its conversion would be undefined).
    const double ms = util_bytes_to_double(frame + 8) * 1000.0 + 0.5;
    if (!(ms >= 0.0 && ms < 4294967296.0))
        return -1;
    obs->ms = (uint32_t)ms;
    obs->week = util_bytes_to_u16(frame + 16);
    const uint32_t pages = util_bytes_to_u32(frame + 20);
    obs->pages = (uint8_t)((pages >> 16) & 0x3F);
    obs->page = (uint8_t)((pages >> 22) & 0x3F);
    obs->mask = util_bytes_to_u64(frame + 24);
    obs->blocks = frame + 32;
    obs->amount = HEMISPHERE_BIN16_CHANNELS;
    return 0;
}

int hemisphere_bin16_obs_get_obs(const hemisphere_bin16_obs_t *obs, int index,
                                 hemisphere_bin16_obs_obs_t *out, const glonass_channel_t *channels)
{
    if (!out)
        return -1;
    memset(out, 0, sizeof *out);
    // The channel blocks always hold 16 channels, whatever `amount` says.
    if (!obs || !obs->blocks || index < 0 || index >= HEMISPHERE_BIN16_CHANNELS || index >= obs->amount)
        return -1;

    const uint8_t *blocks = obs->blocks;
    const uint64_t w = util_bytes_to_u64(blocks + BIN16_BLOCK_SIZE * index);
    const uint32_t v = util_bytes_to_u32(blocks + BIN16_BLOCK_SIZE * index + 8);
    const uint32_t c = util_bytes_to_u32(blocks + BIN16_CHANNEL_WORDS + 4 * index);
    const uint32_t s = util_bytes_to_u16(blocks + BIN16_SIGNAL_WORDS + 2 * index);

    const uint32_t satellite = c & 0xFF;
    if (satellite == 0)
        return 1;

    out->channel_bits = (uint8_t)((c >> 8) & 0x1F);
    out->system = (uint8_t)(s & 0x0F);
    out->signal_index = (uint8_t)((s >> 4) & 0x0F);
    out->signal_bits = (uint8_t)((s >> 8) & 0x1F);
    out->track_bits = (uint8_t)((w >> 12) & 0x07);
    out->status_bits = (uint8_t)((w >> 24) & 0xFF);
    out->phase_valid = (uint8_t)((w >> 32) & 1);

    const uint32_t snr = (uint32_t)(w & 0xFFF);
    out->snr = snr ? (float)(10.0 * log10(snr * 102.4)) : 0.0f;
    out->lock = ((w >> 15) & 1) ? 25.6f : (float)(((w >> 16) & 0xFF) * 0.1);
    const double doppler = (double)((w >> 33) & 0x7FFFFF) / 512.0;
    out->doppler = (float)(((w >> 56) & 1) ? doppler : -doppler);
    out->pseudorange = ((double)((c >> 13) & 0x7FFFF) * 65536.0 + (double)(v & 0xFFFF)) / 256.0;

    out->signal = bin16_signal(out->system, out->signal_index, satellite, ((s >> 13) & 1) != 0);

    out->prn = (uint8_t)satellite;
    out->glofreq = GLONASS_CHANNEL_UNKNOWN;
    if (out->system == 0 && satellite > 100)
        out->prn = (uint8_t)(satellite - 100);
    else if ((out->system == 4 || out->system == 5) && satellite > 192)
        out->prn = (uint8_t)(satellite - 192);
    else if (out->system == 1 && channels)
        out->glofreq = (int8_t)glonass_channel_get(channels, (int)satellite);

    uint32_t frequency = 0;
    if (out->signal) {
        if (out->system == 1)
            frequency = channels ? glonass_channel_frequency(channels, (int)satellite, out->signal) : 0;
        else
            frequency = out->signal->frequency;
    }
    if (frequency < 1) {
        out->phase_valid = 0;
        return 0;
    }

    // The receiver sends only the low 23 bits of the phase in 1/1024 cycles;
    // the rest comes from the pseudorange, picking the candidate nearest it.
    // At over 10^11 units the expected value needs 64 bits.
    const int64_t expected = (int64_t)((double)frequency * out->pseudorange * 1024.0 / SPEED_OF_LIGHT);
    const int64_t received = (int64_t)((((w >> 57) & 0x7F) << 16) | (v >> 16));
    int64_t phase = (expected & ~(int64_t)0x7FFFFF) | received;
    if (phase - expected > 4194304)
        phase -= 8388608;
    else if (expected - phase > 4194304)
        phase += 8388608;
    out->adr = (double)phase * (-1.0 / 1024.0);
    return 0;
}

// ---- message 95 -------------------------------------------------------------------------

int hemisphere_parser_bin95_gpsnav(const uint8_t *frame, uint32_t length, hemisphere_bin95_gpsnav_t *out)
{
    if (!out)
        return -1;
    memset(out, 0, sizeof *out);
    if (!frame || length != HEMISPHERE_BIN95_LENGTH)
        return -1;
    const uint32_t prn = util_bytes_to_u16(frame + 8);
    // A satellite number that the record cannot hold would name another satellite.
    if (prn > 255)
        return -1;

    uint32_t sf1[10], sf2[10], sf3[10];
    gps_subframe_words(frame + 16, sf1);
    gps_subframe_words(frame + 56, sf2);
    gps_subframe_words(frame + 96, sf3);
    out->week = util_bytes_to_u16(frame + 10);
    navbits_gps_decode(&out->nav, sf1, sf2, sf3, (int)prn);
    // The count is the HOW's TOW count of subframe 1, which names the start
    // of the next subframe (IS-GPS-200): the message went out 6 s earlier,
    // as the other receivers' subframes date it. A count past the week is
    // no time at all.
    const uint32_t count = util_bytes_to_u32(frame + 12);
    out->nav.tow = count == 0 ? 604794 : count < 100800 ? (int32_t)(6u * count) - 6 : -1;
    return 0;
}

// ---- message 65 -------------------------------------------------------------------------

int hemisphere_parser_bin65_glonav(const uint8_t *frame, uint32_t length, hemisphere_bin65_glonav_t *out)
{
    if (!out)
        return -1;
    memset(out, 0, sizeof *out);
    if (!frame || length != HEMISPHERE_BIN65_LENGTH)
        return -1;

    // The channel byte is the frequency channel + 8. A value naming no
    // channel (-7..+13) would teach the channel table a carrier frequency
    // that no satellite uses, spoiling every phase of the slot.
    const int channel = (int)frame[9] - 8;
    if (channel < -7 || channel > 13)
        return -1;

    uint8_t strings[5][NAVBITS_GLONASS_STRING_BYTES];
    glonass_strings(frame + 16, strings);

    out->word = util_bytes_to_u16(frame + 10);
    out->time = util_bytes_to_u32(frame + 12);
    // A record whose N4 or NT name no day stays undated (tk_time = tb_time =
    // 0); the writers date it from the conversion's own time.
    (void)navbits_glonass_decode(&out->nav, strings, channel);

    if (out->nav.slot != frame[8] || out->nav.tk != out->time)
        return -2;
    return 0;
}

// ---- message 45 -------------------------------------------------------------------------

int hemisphere_parser_bin45_galnav(const uint8_t *frame, uint32_t length, hemisphere_bin45_galnav_t *out)
{
    if (!out)
        return -1;
    memset(out, 0, sizeof *out);
    if (!frame || length != HEMISPHERE_BIN45_LENGTH)
        return -1;
    const uint32_t prn = util_bytes_to_u16(frame + 8);
    if (prn > 255)
        return -1;

    out->prn = (uint16_t)prn;
    out->time = util_bytes_to_u32(frame + 12);
    const uint32_t transmission = util_bytes_to_u32(frame + 16);
    const uint32_t source = (transmission >> 20) & 3;
    const uint32_t bgd = util_bytes_to_u32(frame + 116);
    const uint32_t inav_word = util_bytes_to_u32(frame + 120);
    const uint32_t fnav_word = util_bytes_to_u32(frame + 124);
    const uint32_t fnav_af12 = util_bytes_to_u32(frame + 132);

    // One set of orbit parameters serves both records.
    galileo_fnav_raw_t f;
    memset(&f, 0, sizeof f);
    f.tow = (int32_t)(transmission & 0xFFFFF);
    f.prn = (uint8_t)prn;
    f.toe = util_bytes_to_u16(frame + 36);
    f.sqrt_a = util_bytes_to_u32(frame + 40);
    f.e = util_bytes_to_u32(frame + 44);
    f.omega = read_i32(frame + 48);
    f.delta_n = read_i16(frame + 52);
    f.m0 = read_i32(frame + 56);
    f.omega0 = read_i32(frame + 60);
    f.omega_dot = read_i32(frame + 64);
    f.i0 = read_i32(frame + 68);
    f.idot = read_i16(frame + 72);
    f.cuc = read_i16(frame + 76);
    f.cus = read_i16(frame + 80);
    f.crc = read_i16(frame + 84);
    f.crs = read_i16(frame + 88);
    f.cic = read_i16(frame + 92);
    f.cis = read_i16(frame + 96);
    f.week = util_bytes_to_u16(frame + 100);
    f.iodnav = util_bytes_to_u16(frame + 104);
    f.bgd_e5a = (int16_t)sign_extend((bgd >> 10) & 0x3FF, 10);

    if (source == 1 || source == 2) {
        galileo_inav_raw_t i;
        memset(&i, 0, sizeof i);
        i.tow = f.tow;
        i.prn = f.prn;
        i.source = (uint8_t)source;
        i.week = f.week;
        i.iodnav = f.iodnav;
        i.sisa = (uint8_t)(inav_word & 0xFF);
        i.e5b_hs = (uint8_t)((inav_word >> 8) & 3);
        i.e1b_hs = (uint8_t)((inav_word >> 10) & 3);
        i.e5b_dvs = (uint8_t)((inav_word >> 12) & 1);
        i.e1b_dvs = (uint8_t)((inav_word >> 13) & 1);
        i.bgd_e5a = f.bgd_e5a;
        i.bgd_e5b = (int16_t)sign_extend(bgd & 0x3FF, 10);
        i.toc = (uint16_t)util_bytes_to_u32(frame + 20);
        i.af0 = read_i32(frame + 24);
        i.af1 = read_i32(frame + 28);
        i.af2 = 0; // the word at frame offset 32 is not read
        i.toe = f.toe;
        i.sqrt_a = f.sqrt_a;
        i.e = f.e;
        i.omega = f.omega;
        i.delta_n = f.delta_n;
        i.m0 = f.m0;
        i.omega0 = f.omega0;
        i.omega_dot = f.omega_dot;
        i.i0 = f.i0;
        i.idot = f.idot;
        i.cuc = f.cuc;
        i.cus = f.cus;
        i.crc = f.crc;
        i.crs = f.crs;
        i.cic = f.cic;
        i.cis = f.cis;
        galileo_inav_from_raw(&out->inav, &i);
        out->inav_present = 1;
        out->toe = out->inav.toe;
    }
    if (fnav_word & 1) {
        f.toc = (uint16_t)((fnav_word >> 1) & 0x3FFF);
        f.sisa = (uint8_t)((fnav_word >> 15) & 0xFF);
        f.e5a_hs = (uint8_t)((fnav_word >> 23) & 3);
        f.e5a_dvs = (uint8_t)((fnav_word >> 25) & 1);
        f.af0 = read_i32(frame + 128);
        f.af1 = sign_extend(fnav_af12 & 0x1FFFFF, 21);
        f.af2 = (int8_t)sign_extend((fnav_af12 >> 21) & 0x3F, 6);
        galileo_fnav_from_raw(&out->fnav, &f);
        out->fnav_present = 1;
        out->toe = out->fnav.toe;
    }
    return 0;
}

// ---- message 35 -------------------------------------------------------------------------

int hemisphere_parser_bin35_bd2nav(const uint8_t *frame, uint32_t length, hemisphere_bin35_bd2nav_t *out)
{
    if (!out)
        return -1;
    memset(out, 0, sizeof *out);
    if (!frame || length != HEMISPHERE_BIN35_LENGTH)
        return -1;
    const uint32_t prn = util_bytes_to_u16(frame + 8);
    if (prn > 255)
        return -1;

    bd2_nav_raw_t raw;
    memset(&raw, 0, sizeof raw);
    raw.prn = (uint8_t)prn;
    raw.tow = read_i32(frame + 16);
    raw.toc = util_bytes_to_u32(frame + 20);
    raw.a0 = read_i32(frame + 24);
    raw.a1 = read_i32(frame + 28);
    raw.a2 = read_i16(frame + 32);
    raw.toe = util_bytes_to_u32(frame + 36);
    raw.sqrt_a = util_bytes_to_u32(frame + 40);
    raw.e = util_bytes_to_u32(frame + 44);
    raw.omega = read_i32(frame + 48);
    raw.delta_n = read_i16(frame + 52);
    raw.m0 = read_i32(frame + 56);
    raw.omega0 = read_i32(frame + 60);
    raw.omega_dot = read_i32(frame + 64);
    raw.i0 = read_i32(frame + 68);
    raw.idot = read_i16(frame + 72);
    raw.cuc = read_i32(frame + 76);
    raw.cus = read_i32(frame + 80);
    raw.crc = read_i32(frame + 84);
    raw.crs = read_i32(frame + 88);
    raw.cic = read_i32(frame + 92);
    raw.cis = read_i32(frame + 96);
    const uint32_t tgd = util_bytes_to_u32(frame + 100);
    raw.tgd1 = (int16_t)sign_extend(tgd & 0x3FF, 10);
    raw.tgd2 = (int16_t)sign_extend((tgd >> 10) & 0x3FF, 10);
    raw.week = util_bytes_to_u16(frame + 104);
    // The Klobuchar words come byte-swapped: coefficient 0 in the last byte.
    for (int k = 0; k < 4; ++k) {
        raw.alpha[k] = (int8_t)sign_extend(frame[111 - k], 8);
        raw.beta[k] = (int8_t)sign_extend(frame[115 - k], 8);
    }
    const uint32_t ages = util_bytes_to_u32(frame + 116);
    raw.aode = (uint8_t)(ages & 0x1F);
    raw.ura = (uint8_t)((ages >> 5) & 0x0F);
    raw.aodc = (uint8_t)((ages >> 9) & 0x1F);
    raw.health = (uint8_t)((ages >> 14) & 1);

    out->word = util_bytes_to_u16(frame + 10);
    out->time = util_bytes_to_u32(frame + 12);
    memcpy(out->data120, frame + 120, sizeof out->data120);
    memcpy(out->data128, frame + 128, sizeof out->data128);
    bd2_nav_from_raw(&out->nav, &raw);
    out->nav.prn = (uint8_t)prn;
    return 0;
}

// ---- message 94 -------------------------------------------------------------------------

static_assert(offsetof(hemisphere_bin94_inoutc_t, crlf) + 2 == HEMISPHERE_BIN94_LENGTH, "message 94 is copied whole");
static_assert(offsetof(hemisphere_bin94_inoutc_t, alpha) == 8, "alpha at frame offset 8");
static_assert(offsetof(hemisphere_bin94_inoutc_t, beta) == 40, "beta at frame offset 40");
static_assert(offsetof(hemisphere_bin94_inoutc_t, a0) == 72, "A0 at frame offset 72");
static_assert(offsetof(hemisphere_bin94_inoutc_t, tot) == 88, "tot at frame offset 88");
static_assert(offsetof(hemisphere_bin94_inoutc_t, dtls) == 98, "dtls at frame offset 98");
static_assert(offsetof(hemisphere_bin94_inoutc_t, checksum) == 104, "checksum at frame offset 104");

int hemisphere_parser_bin94_inoutc(const uint8_t *frame, uint32_t length, hemisphere_bin94_inoutc_t *out)
{
    if (!out)
        return -1;
    memset(out, 0, sizeof *out);
    if (!frame || length != HEMISPHERE_BIN94_LENGTH)
        return -1;
    // The fields are little-endian and stand at their frame offsets.
    memcpy(out, frame, HEMISPHERE_BIN94_LENGTH);
    return 0;
}

// ---- helpers ----------------------------------------------------------------------------

float hemisphere_int_to_snr(int32_t n)
{
    if (n < 1)
        return 0.0f;
    return (float)(10.0 * log10((double)n * 819.2));
}

const char *hemisphere_id_to_str(uint32_t id)
{
    static const struct {
        uint32_t id;
        const char *name;
    } names[] = {
        {0, ""},        {1, "PV"},       {2, "DOP"},     {3, "PVC"},     {5, "BASE"},
        {16, "OBS"},    {25, "QZSNAV"},  {35, "BD2NAV"}, {45, "GALNAV"}, {65, "GLONAV"},
        {94, "INOUTC"}, {95, "GPSNAV"},  {209, "SAT"},   {309, "SAT2"},
    };
    size_t low = 0;
    size_t high = sizeof names / sizeof names[0];
    while (low < high) {
        const size_t middle = low + (high - low) / 2;
        if (names[middle].id == id)
            return names[middle].name;
        if (names[middle].id < id)
            low = middle + 1;
        else
            high = middle;
    }
    return "";
}
