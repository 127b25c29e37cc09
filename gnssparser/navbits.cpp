// Broadcast navigation messages bit by bit: GPS/QZSS LNAV, GLONASS strings,
// Galileo I/NAV, BDS D1. Field positions follow the ICDs' own numbering so
// that each line can be read against the ICD tables.
#include "navbits.h"

#include <string.h>

#include <initializer_list>

#include "util.h"

namespace {

int32_t sign_extend(uint32_t v, int bits)
{
    if (bits <= 0)
        return 0;
    const uint64_t field = (bits >= 32) ? (uint64_t)v : ((uint64_t)v & ((1ull << bits) - 1));
    const int64_t value = (field >> (bits - 1)) & 1 ? (int64_t)field - ((int64_t)1 << bits) : (int64_t)field;
    return (int32_t)value;
}

// ---- GPS LNAV ----------------------------------------------------------------------------

uint32_t words_signed(const uint32_t w[10], int first, int count)
{
    return (uint32_t)sign_extend(navbits_words_get(w, first, count), count);
}

// Two fields of a subframe joined: the high part then the low part.
uint32_t words_join(const uint32_t w[10], int hi_first, int hi_count, int lo_first, int lo_count)
{
    return (navbits_words_get(w, hi_first, hi_count) << lo_count) | navbits_words_get(w, lo_first, lo_count);
}

// Parity bit D25..D30 of IS-GPS-200 table 20-XIV: the data bits d1..d24 that
// enter each (bit 23 - (i - 1) of the 24-bit data for d_i) and whether D29*
// (1) or D30* (0) starts the sum.
struct ParityRow {
    uint32_t mask;
    int from_d29;
};

constexpr uint32_t bits_of(std::initializer_list<int> list)
{
    uint32_t mask = 0;
    for (int d : list)
        mask |= 1u << (24 - d);
    return mask;
}

const ParityRow kGpsParity[6] = {
    {bits_of({1, 2, 3, 5, 6, 10, 11, 12, 13, 14, 17, 18, 20, 23}), 1},
    {bits_of({2, 3, 4, 6, 7, 11, 12, 13, 14, 15, 18, 19, 21, 24}), 0},
    {bits_of({1, 3, 4, 5, 7, 8, 12, 13, 14, 15, 16, 19, 20, 22}), 1},
    {bits_of({2, 4, 5, 6, 8, 9, 13, 14, 15, 16, 17, 20, 21, 23}), 0},
    {bits_of({1, 3, 5, 6, 7, 9, 10, 14, 15, 16, 17, 18, 21, 22, 24}), 0},
    {bits_of({3, 5, 6, 8, 9, 10, 11, 13, 15, 19, 22, 23, 24}), 1},
};

int parity32(uint32_t v)
{
    v ^= v >> 16;
    v ^= v >> 8;
    v ^= v >> 4;
    v ^= v >> 2;
    v ^= v >> 1;
    return (int)(v & 1);
}

// ---- GLONASS ------------------------------------------------------------------------------

// String bits n (85..1) of a string.
uint32_t glo_bits(const uint8_t *s, int high, int count)
{
    return navbits_get(s, 85 - high, count);
}

int glo_bit(const uint8_t *s, int n)
{
    return (int)navbits_get(s, 85 - n, 1);
}

// Hamming position (3, 5, 6, 7, 9, ...: the numbers that are no power of
// two) of string bit b (9..85): the ICD's check sums C1..C7 each cover the
// data bits whose position has the corresponding binary digit set.
int glo_hamming_position(int b)
{
    int position = 2;
    for (int i = 9; i <= b; ++i) {
        ++position;
        while ((position & (position - 1)) == 0)
            ++position;
    }
    return position;
}

// ---- Galileo -------------------------------------------------------------------------------

uint32_t gal_signed(const uint8_t *w, int first, int count)
{
    return (uint32_t)navbits_get_signed(w, first, count);
}

// ---- BDS ------------------------------------------------------------------------------------

// Remainder of a 15-bit BCH(15,11) code word by g(x) = x^4 + x + 1.
uint32_t bch15_syndrome(uint32_t codeword)
{
    uint32_t r = codeword & 0x7FFF;
    for (int bit = 14; bit >= 4; --bit)
        if (r & (1u << bit))
            r ^= 0x13u << (bit - 4);
    return r & 0xF;
}

// Mends a code word with one wrong bit: 1 when a bit was changed, 0 when the
// word was sound. The code is perfect, so every word decodes to some code
// word (two wrong bits are mended into a third).
int bch15_fix(uint32_t *codeword)
{
    const uint32_t s = bch15_syndrome(*codeword);
    if (s == 0)
        return 0;
    for (int bit = 0; bit < 15; ++bit) {
        if (bch15_syndrome(1u << bit) == s) {
            *codeword ^= 1u << bit;
            break;
        }
    }
    return 1;
}

} // namespace

// ---- bit access ------------------------------------------------------------------------------

uint32_t navbits_get(const uint8_t *buffer, int first, int count)
{
    uint32_t value = 0;
    for (int i = first; i < first + count; ++i)
        value = (value << 1) | ((buffer[i >> 3] >> (7 - (i & 7))) & 1u);
    return value;
}

int32_t navbits_get_signed(const uint8_t *buffer, int first, int count)
{
    return sign_extend(navbits_get(buffer, first, count), count);
}

void navbits_set(uint8_t *buffer, int first, int count, uint32_t value)
{
    for (int i = 0; i < count; ++i) {
        const int bit = first + i;
        const uint8_t mask = (uint8_t)(0x80u >> (bit & 7));
        if ((value >> (count - 1 - i)) & 1u)
            buffer[bit >> 3] |= mask;
        else
            buffer[bit >> 3] &= (uint8_t)~mask;
    }
}

uint32_t navbits_words_get(const uint32_t words[10], int first, int count)
{
    uint32_t value = 0;
    for (int i = 0; i < count; ++i) {
        const int bit = first - 1 + i; // 0..299
        value = (value << 1) | ((words[bit / 30] >> (29 - bit % 30)) & 1u);
    }
    return value;
}

// ---- GPS and QZSS LNAV -------------------------------------------------------------------------

int navbits_gps_parity_ok(uint32_t word, uint32_t previous)
{
    const int d29 = (int)((previous >> 1) & 1);
    const int d30 = (int)(previous & 1);
    // D1..D24 as sent are d1..d24 inverted when D30* is 1.
    uint32_t data = (word >> 6) & 0xFFFFFF;
    if (d30)
        data ^= 0xFFFFFF;
    uint32_t parity = 0;
    for (int i = 0; i < 6; ++i)
        parity = (parity << 1) | (uint32_t)((kGpsParity[i].from_d29 ? d29 : d30) ^ parity32(data & kGpsParity[i].mask));
    return parity == (word & 0x3F);
}

int navbits_gps_subframe_check(const uint32_t sent[10], uint32_t previous, uint32_t upright[10])
{
    for (int i = 0; i < 10; ++i) {
        const uint32_t word = sent[i] & 0x3FFFFFFF;
        if (!navbits_gps_parity_ok(word, previous))
            return -1;
        upright[i] = (previous & 1) ? word ^ (0xFFFFFFu << 6) : word;
        previous = word;
    }
    return 0;
}

int navbits_gps_subframe_id(const uint32_t upright[10])
{
    if (navbits_words_get(upright, 1, 8) != 0x8B)
        return 0;
    const int id = (int)navbits_words_get(upright, 50, 3);
    return id >= 1 && id <= 5 ? id : 0;
}

int32_t navbits_gps_subframe_tow(const uint32_t upright[10])
{
    const int32_t tow = (int32_t)navbits_words_get(upright, 31, 17) * 6 - 6;
    return tow < 0 ? tow + 604800 : tow;
}

void navbits_gps_decode(gps_nav_t *nav, const uint32_t sf1[10], const uint32_t sf2[10], const uint32_t sf3[10],
                        int prn)
{
    gps_nav_raw_t raw;
    memset(&raw, 0, sizeof raw);

    // Subframe 1: clock and satellite data.
    raw.week = (uint16_t)navbits_words_get(sf1, 61, 10);
    raw.code_l2 = (uint8_t)navbits_words_get(sf1, 71, 2);
    raw.ura = (uint8_t)navbits_words_get(sf1, 73, 4);
    raw.health = (uint8_t)navbits_words_get(sf1, 77, 6);
    raw.iodc = (uint16_t)words_join(sf1, 83, 2, 211, 8);
    raw.l2p_flag = (uint8_t)navbits_words_get(sf1, 91, 1);
    raw.tgd = (int8_t)words_signed(sf1, 197, 8);
    raw.toc = (uint16_t)navbits_words_get(sf1, 219, 16);
    raw.af2 = (int8_t)words_signed(sf1, 241, 8);
    raw.af1 = (int16_t)words_signed(sf1, 249, 16);
    raw.af0 = (int32_t)words_signed(sf1, 271, 22);

    // Subframe 2: ephemeris, first part.
    raw.iode = (uint8_t)navbits_words_get(sf2, 61, 8);
    raw.crs = (int16_t)words_signed(sf2, 69, 16);
    raw.delta_n = (int16_t)words_signed(sf2, 91, 16);
    raw.m0 = (int32_t)words_join(sf2, 107, 8, 121, 24);
    raw.cuc = (int16_t)words_signed(sf2, 151, 16);
    raw.e = words_join(sf2, 167, 8, 181, 24);
    raw.cus = (int16_t)words_signed(sf2, 211, 16);
    raw.sqrt_a = words_join(sf2, 227, 8, 241, 24);
    raw.toe = (uint16_t)navbits_words_get(sf2, 271, 16);
    raw.fit = (uint8_t)navbits_words_get(sf2, 287, 1);
    raw.aodo = (uint8_t)navbits_words_get(sf2, 288, 5);

    // Subframe 3: ephemeris, second part.
    raw.cic = (int16_t)words_signed(sf3, 61, 16);
    raw.omega0 = (int32_t)words_join(sf3, 77, 8, 91, 24);
    raw.cis = (int16_t)words_signed(sf3, 121, 16);
    raw.i0 = (int32_t)words_join(sf3, 137, 8, 151, 24);
    raw.crc = (int16_t)words_signed(sf3, 181, 16);
    raw.omega = (int32_t)words_join(sf3, 197, 8, 211, 24);
    raw.omega_dot = sign_extend(navbits_words_get(sf3, 241, 24), 24);
    raw.iode3 = (uint8_t)navbits_words_get(sf3, 271, 8);
    raw.idot = (int16_t)words_signed(sf3, 279, 14);

    gps_nav_from_raw(nav, &raw);
    nav->prn = (uint8_t)prn;
    nav->tow = navbits_gps_subframe_tow(sf1);
}

void navbits_gps_init(navbits_gps_t *state)
{
    memset(state, 0, sizeof *state);
}

int navbits_gps_add(navbits_gps_t *state, const uint32_t upright[10], int prn, gps_nav_t *nav)
{
    const int id = navbits_gps_subframe_id(upright);
    if (id == 0)
        return -1;
    if (id > 3)
        return 0;
    memcpy(state->subframe[id - 1], upright, sizeof state->subframe[0]);
    state->have |= (uint8_t)(1u << (id - 1));
    if (state->have != 7)
        return 0;
    // Subframes of one issue: IODE of subframes 2 and 3 and the low eight bits
    // of the IODC agree. Older subframes that disagree wait for the new ones.
    const uint32_t iodc = navbits_words_get(state->subframe[0], 211, 8);
    const uint32_t iode2 = navbits_words_get(state->subframe[1], 61, 8);
    const uint32_t iode3 = navbits_words_get(state->subframe[2], 271, 8);
    if (iodc != iode2 || iode2 != iode3) {
        state->have = (uint8_t)(1u << (id - 1));
        return 0;
    }
    state->have = 0;
    navbits_gps_decode(nav, state->subframe[0], state->subframe[1], state->subframe[2], prn);
    return 1;
}

// ---- GLONASS ----------------------------------------------------------------------------------

int navbits_glonass_string_check(uint8_t string[NAVBITS_GLONASS_STRING_BYTES])
{
    int c[8] = {0};
    int total = 0;
    for (int q = 1; q <= 8; ++q) {
        const int beta = glo_bit(string, q);
        if (q <= 7)
            c[q] = beta;
        total ^= beta;
    }
    for (int b = 9; b <= 85; ++b) {
        const int bit = glo_bit(string, b);
        if (!bit)
            continue;
        total ^= 1;
        const int position = glo_hamming_position(b);
        for (int k = 1; k <= 7; ++k)
            if (position & (1 << (k - 1)))
                c[k] ^= 1;
    }
    int syndrome = 0;
    int ones = 0;
    for (int k = 1; k <= 7; ++k) {
        syndrome |= c[k] << (k - 1);
        ones += c[k];
    }
    if (ones == 0 && total == 0)
        return 0;
    // A single error among the check bits themselves: the data are sound.
    if (ones == 1 && total == 1)
        return 0;
    if (ones >= 2 && total == 1) {
        // A single data bit in error: its Hamming position is the syndrome.
        for (int b = 9; b <= 85; ++b) {
            if (glo_hamming_position(b) == syndrome) {
                navbits_set(string, 85 - b, 1, (uint32_t)!glo_bit(string, b));
                return 1;
            }
        }
    }
    return -1;
}

int navbits_glonass_string_number(const uint8_t string[NAVBITS_GLONASS_STRING_BYTES])
{
    return (int)glo_bits(string, 84, 4);
}

int navbits_glonass_decode(glonass_nav_t *nav, const uint8_t strings[5][NAVBITS_GLONASS_STRING_BYTES],
                           int frequency_channel)
{
    const uint8_t *s1 = strings[0], *s2 = strings[1], *s3 = strings[2], *s4 = strings[3], *s5 = strings[4];
    glonass_nav_raw_t raw;
    memset(&raw, 0, sizeof raw);

    // String 1.
    raw.p1 = (uint8_t)glo_bits(s1, 78, 2);
    raw.tk = (uint16_t)glo_bits(s1, 76, 12);
    raw.vx = (int32_t)glo_bits(s1, 64, 24);
    raw.ax = (int32_t)glo_bits(s1, 40, 5);
    raw.x = (int32_t)glo_bits(s1, 35, 27);
    // String 2.
    raw.bn = (uint8_t)glo_bits(s2, 80, 3);
    raw.p2 = (uint8_t)glo_bits(s2, 77, 1);
    raw.tb = (uint8_t)glo_bits(s2, 76, 7);
    raw.vy = (int32_t)glo_bits(s2, 64, 24);
    raw.ay = (int32_t)glo_bits(s2, 40, 5);
    raw.y = (int32_t)glo_bits(s2, 35, 27);
    // String 3.
    raw.p3 = (uint8_t)glo_bits(s3, 80, 1);
    raw.gamma = (int32_t)glo_bits(s3, 79, 11);
    raw.p = (uint8_t)glo_bits(s3, 67, 2);
    raw.ln3 = (uint8_t)glo_bits(s3, 65, 1);
    raw.vz = (int32_t)glo_bits(s3, 64, 24);
    raw.az = (int32_t)glo_bits(s3, 40, 5);
    raw.z = (int32_t)glo_bits(s3, 35, 27);
    // String 4.
    raw.tau = (int32_t)glo_bits(s4, 80, 22);
    raw.delta_tau = (int32_t)glo_bits(s4, 58, 5);
    raw.en = (uint8_t)glo_bits(s4, 53, 5);
    raw.p4 = (uint8_t)glo_bits(s4, 34, 1);
    raw.ft = (uint8_t)glo_bits(s4, 33, 4);
    raw.nt = (uint16_t)glo_bits(s4, 26, 11);
    raw.slot = (uint8_t)glo_bits(s4, 15, 5);
    raw.m = (uint8_t)glo_bits(s4, 10, 2);
    // String 5.
    raw.na = (uint16_t)glo_bits(s5, 80, 11);
    raw.tau_c = sign_extend(glo_bits(s5, 69, 32), 32);
    raw.four_year = (uint8_t)glo_bits(s5, 36, 5);
    raw.tau_gps = (int32_t)glo_bits(s5, 31, 22);
    raw.ln5 = (uint8_t)glo_bits(s5, 9, 1);

    raw.frequency_channel = (int8_t)frequency_channel;
    glonass_nav_update_int(&raw);
    const int rc = glonass_nav_from_raw(nav, &raw);
    nav->frequency_channel = raw.frequency_channel;
    return rc;
}

void navbits_glonass_init(navbits_glonass_t *state)
{
    memset(state, 0, sizeof *state);
}

int navbits_glonass_add(navbits_glonass_t *state, const uint8_t string[NAVBITS_GLONASS_STRING_BYTES],
                        int frequency_channel, glonass_nav_t *nav)
{
    const int m = navbits_glonass_string_number(string);
    if (m == 0)
        return -1;
    if (m > 5)
        return 0;
    if (m == 1)
        state->have = 0;
    memcpy(state->string[m - 1], string, NAVBITS_GLONASS_STRING_BYTES);
    state->have |= (uint8_t)(1u << (m - 1));
    if (m != 5 || state->have != 0x1F)
        return 0;
    state->have = 0;
    (void)navbits_glonass_decode(nav, state->string, frequency_channel);
    return 1;
}

// ---- Galileo I/NAV ---------------------------------------------------------------------------------

int navbits_galileo_inav_page(const uint8_t even[NAVBITS_GALILEO_PART_BYTES],
                              const uint8_t odd[NAVBITS_GALILEO_PART_BYTES],
                              uint8_t word[NAVBITS_GALILEO_WORD_BYTES])
{
    // Even part first (flag 0), odd part second (flag 1); page type 1 is an
    // alert page, which carries no word.
    if (navbits_get(even, 0, 1) != 0 || navbits_get(odd, 0, 1) != 1)
        return -1;
    if (navbits_get(even, 1, 1) != 0 || navbits_get(odd, 1, 1) != 0)
        return -1;
    // CRC-24Q over the even part's first 114 bits and the odd part's first
    // 82; four leading zero bits bring the 196 bits to whole bytes without
    // changing the CRC.
    uint8_t crc_bits[25];
    memset(crc_bits, 0, sizeof crc_bits);
    for (int i = 0; i < 114; ++i)
        navbits_set(crc_bits, 4 + i, 1, navbits_get(even, i, 1));
    for (int i = 0; i < 82; ++i)
        navbits_set(crc_bits, 118 + i, 1, navbits_get(odd, i, 1));
    if (util_crc24_rtcm3(0, crc_bits, sizeof crc_bits) != navbits_get(odd, 82, 24))
        return -1;
    memset(word, 0, NAVBITS_GALILEO_WORD_BYTES);
    for (int i = 0; i < 112; ++i)
        navbits_set(word, i, 1, navbits_get(even, 2 + i, 1));
    navbits_set(word, 112, 16, navbits_get(odd, 2, 16));
    return (int)navbits_get(word, 0, 6);
}

void navbits_galileo_init(navbits_galileo_t *state)
{
    memset(state, 0, sizeof *state);
}

int navbits_galileo_add(navbits_galileo_t *state, const uint8_t word[NAVBITS_GALILEO_WORD_BYTES], int prn,
                        int source, galileo_inav_t *nav)
{
    const int type = (int)navbits_get(word, 0, 6);
    if (type < 1 || type > 5)
        return 0;
    memcpy(state->word[type - 1], word, NAVBITS_GALILEO_WORD_BYTES);
    state->have |= (uint8_t)(1u << (type - 1));
    if (state->have != 0x1F)
        return 0;
    // Words 1 to 4 of one issue of data; a word of another issue waits for
    // the rest of its own.
    const uint32_t iod = navbits_get(state->word[0], 6, 10);
    for (int i = 1; i < 4; ++i) {
        if (navbits_get(state->word[i], 6, 10) != iod) {
            state->have = (uint8_t)((1u << (type - 1)) | 0x10u);
            return 0;
        }
    }
    const uint8_t *w1 = state->word[0], *w2 = state->word[1], *w3 = state->word[2], *w4 = state->word[3],
                  *w5 = state->word[4];
    galileo_inav_raw_t raw;
    memset(&raw, 0, sizeof raw);
    // Word 1: toe, M0, e, sqrt(A).
    raw.iodnav = (uint16_t)iod;
    raw.toe = (uint16_t)navbits_get(w1, 16, 14);
    raw.m0 = (int32_t)gal_signed(w1, 30, 32);
    raw.e = navbits_get(w1, 62, 32);
    raw.sqrt_a = navbits_get(w1, 94, 32);
    // Word 2: OMEGA0, i0, omega, IDOT.
    raw.omega0 = (int32_t)gal_signed(w2, 16, 32);
    raw.i0 = (int32_t)gal_signed(w2, 48, 32);
    raw.omega = (int32_t)gal_signed(w2, 80, 32);
    raw.idot = (int16_t)gal_signed(w2, 112, 14);
    // Word 3: OMEGA dot, delta n, harmonic corrections, SISA.
    raw.omega_dot = (int32_t)gal_signed(w3, 16, 24);
    raw.delta_n = (int16_t)gal_signed(w3, 40, 16);
    raw.cuc = (int16_t)gal_signed(w3, 56, 16);
    raw.cus = (int16_t)gal_signed(w3, 72, 16);
    raw.crc = (int16_t)gal_signed(w3, 88, 16);
    raw.crs = (int16_t)gal_signed(w3, 104, 16);
    raw.sisa = (uint8_t)navbits_get(w3, 120, 8);
    // Word 4: SVID, Cic, Cis, clock.
    raw.prn = (uint8_t)navbits_get(w4, 16, 6);
    raw.cic = (int16_t)gal_signed(w4, 22, 16);
    raw.cis = (int16_t)gal_signed(w4, 38, 16);
    raw.toc = (uint16_t)navbits_get(w4, 54, 14);
    raw.af0 = (int32_t)gal_signed(w4, 68, 31);
    raw.af1 = (int32_t)gal_signed(w4, 99, 21);
    raw.af2 = (int8_t)gal_signed(w4, 120, 6);
    // Word 5: ionosphere (not kept here), group delays, health, time.
    raw.bgd_e5a = (int16_t)gal_signed(w5, 47, 10);
    raw.bgd_e5b = (int16_t)gal_signed(w5, 57, 10);
    raw.e5b_hs = (uint8_t)navbits_get(w5, 67, 2);
    raw.e1b_hs = (uint8_t)navbits_get(w5, 69, 2);
    raw.e5b_dvs = (uint8_t)navbits_get(w5, 71, 1);
    raw.e1b_dvs = (uint8_t)navbits_get(w5, 72, 1);
    raw.week = (uint16_t)navbits_get(w5, 73, 12);
    raw.tow = (int32_t)navbits_get(w5, 85, 20);
    raw.source = (uint8_t)source;
    state->have = 0;
    // The satellite's own SVID wins over the caller's only when the caller
    // has none.
    if (prn > 0)
        raw.prn = (uint8_t)prn;
    galileo_inav_from_raw(nav, &raw);
    return 1;
}

// ---- BDS D1 ------------------------------------------------------------------------------------------

int navbits_bds_is_d2(int prn)
{
    return (prn >= 1 && prn <= 5) || (prn >= 59 && prn <= 63);
}

int navbits_bds_subframe_check(uint32_t words[10])
{
    int mended = 0;
    for (int i = 0; i < 10; ++i) {
        uint32_t w = words[i] & 0x3FFFFFFF;
        if (i == 0) {
            // The first 15 bits (preamble and reserved) are sent unprotected.
            uint32_t code = w & 0x7FFF;
            mended += bch15_fix(&code);
            w = (w & ~0x7FFFu) | code;
        } else {
            uint32_t code1 = ((w >> 19) & 0x7FF) << 4 | ((w >> 4) & 0xF);
            uint32_t code2 = ((w >> 8) & 0x7FF) << 4 | (w & 0xF);
            mended += bch15_fix(&code1) + bch15_fix(&code2);
            w = ((code1 >> 4) << 19) | ((code2 >> 4) << 8) | ((code1 & 0xF) << 4) | (code2 & 0xF);
        }
        words[i] = w;
    }
    return mended;
}

int navbits_bds_subframe_id(const uint32_t words[10])
{
    if (navbits_words_get(words, 1, 11) != 0x712)
        return 0;
    const int id = (int)navbits_words_get(words, 16, 3);
    return id >= 1 && id <= 5 ? id : 0;
}

int32_t navbits_bds_subframe_sow(const uint32_t words[10])
{
    return (int32_t)words_join(words, 19, 8, 31, 12);
}

int navbits_bds_d2_page(const uint32_t words[10])
{
    return (int)navbits_words_get(words, 43, 4);
}

void navbits_bds_init(navbits_bds_t *state)
{
    memset(state, 0, sizeof *state);
}

int navbits_bds_add(navbits_bds_t *state, const uint32_t words[10], int prn, bd2_nav_t *nav)
{
    const int id = navbits_bds_subframe_id(words);
    if (id == 0)
        return -1;
    if (navbits_bds_is_d2(prn) || id > 3)
        return 0; // the D2 pages are not assembled
    memcpy(state->subframe[id - 1], words, sizeof state->subframe[0]);
    state->have |= (uint16_t)(1u << (id - 1));
    if (state->have != 7)
        return 0;
    // One issue: the SOW of the three subframes lie 6 s apart within one
    // 30 s frame.
    const int32_t sow1 = navbits_bds_subframe_sow(state->subframe[0]);
    if (navbits_bds_subframe_sow(state->subframe[1]) != sow1 + 6 ||
        navbits_bds_subframe_sow(state->subframe[2]) != sow1 + 12) {
        state->have = (uint16_t)(1u << (id - 1));
        return 0;
    }
    state->have = 0;
    const uint32_t *s1 = state->subframe[0], *s2 = state->subframe[1], *s3 = state->subframe[2];
    bd2_nav_raw_t raw;
    memset(&raw, 0, sizeof raw);
    raw.prn = (uint8_t)prn;
    raw.tow = sow1;
    // Subframe 1: clock, group delays, ionosphere.
    raw.health = (uint8_t)navbits_words_get(s1, 43, 1);
    raw.aodc = (uint8_t)navbits_words_get(s1, 44, 5);
    raw.ura = (uint8_t)navbits_words_get(s1, 49, 4);
    raw.week = (uint16_t)navbits_words_get(s1, 61, 13);
    raw.toc = words_join(s1, 74, 9, 91, 8);
    raw.tgd1 = (int16_t)words_signed(s1, 99, 10);
    raw.tgd2 = (int16_t)sign_extend(words_join(s1, 109, 4, 121, 6), 10);
    raw.alpha[0] = (int8_t)words_signed(s1, 127, 8);
    raw.alpha[1] = (int8_t)words_signed(s1, 135, 8);
    raw.alpha[2] = (int8_t)words_signed(s1, 151, 8);
    raw.alpha[3] = (int8_t)words_signed(s1, 159, 8);
    raw.beta[0] = (int8_t)sign_extend(words_join(s1, 167, 6, 181, 2), 8);
    raw.beta[1] = (int8_t)words_signed(s1, 183, 8);
    raw.beta[2] = (int8_t)words_signed(s1, 191, 8);
    raw.beta[3] = (int8_t)sign_extend(words_join(s1, 199, 4, 211, 4), 8);
    raw.a2 = (int16_t)words_signed(s1, 215, 11);
    raw.a0 = sign_extend(words_join(s1, 226, 7, 241, 17), 24);
    raw.a1 = sign_extend(words_join(s1, 258, 5, 271, 17), 22);
    raw.aode = (uint8_t)navbits_words_get(s1, 288, 5);
    // Subframe 2: first part of the ephemeris.
    raw.delta_n = (int16_t)sign_extend(words_join(s2, 43, 10, 61, 6), 16);
    raw.cuc = sign_extend(words_join(s2, 67, 16, 91, 2), 18);
    raw.m0 = (int32_t)words_join(s2, 93, 20, 121, 12);
    raw.e = words_join(s2, 133, 10, 151, 22);
    raw.cus = sign_extend(navbits_words_get(s2, 181, 18), 18);
    raw.crc = sign_extend(words_join(s2, 199, 4, 211, 14), 18);
    raw.crs = sign_extend(words_join(s2, 225, 8, 241, 10), 18);
    raw.sqrt_a = words_join(s2, 251, 12, 271, 20);
    const uint32_t toe_high = navbits_words_get(s2, 291, 2);
    // Subframe 3: second part.
    raw.toe = (toe_high << 15) | (navbits_words_get(s3, 43, 10) << 5) | navbits_words_get(s3, 61, 5);
    raw.i0 = (int32_t)words_join(s3, 66, 17, 91, 15);
    raw.cic = sign_extend(words_join(s3, 106, 7, 121, 11), 18);
    raw.omega_dot = sign_extend(words_join(s3, 132, 11, 151, 13), 24);
    raw.cis = sign_extend(words_join(s3, 164, 9, 181, 9), 18);
    raw.idot = (int16_t)sign_extend(words_join(s3, 190, 13, 211, 1), 14);
    raw.omega0 = (int32_t)words_join(s3, 212, 21, 241, 11);
    raw.omega = (int32_t)words_join(s3, 252, 11, 271, 21);
    bd2_nav_from_raw(nav, &raw);
    return 1;
}
