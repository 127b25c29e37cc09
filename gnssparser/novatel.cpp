// NovAtel OEM binary logs: header, range logs, ephemerides and the few other
// logs the RINEX writers use. Field layouts follow the receiver maker's
// published log reference; all fields are little-endian.
#include "novatel.h"

#include <math.h>
#include <string.h>

#include "util.h"

static const double kSpeedOfLight = 299792458.0;

// ---- header ----------------------------------------------------------------------

int novatel_parser_header(const uint8_t *frame, uint32_t length, novatel_header_t *header)
{
    memset(header, 0, sizeof(*header));
    if (length < NOVATEL_HEADER_LENGTH || frame[0] != 0xAA || frame[1] != 0x44 || frame[2] != 0x12) return -1;
    header->header_length = frame[3];
    header->id = util_bytes_to_u16(frame + 4);
    header->type = frame[6];
    header->port = frame[7];
    header->length = util_bytes_to_u16(frame + 8);
    header->sequence = util_bytes_to_u16(frame + 10);
    header->idle = frame[12];
    header->time_status = frame[13];
    header->week = util_bytes_to_u16(frame + 14);
    header->ms = util_bytes_to_u32(frame + 16);
    header->receiver_status = util_bytes_to_u32(frame + 20);
    header->reserved = util_bytes_to_u16(frame + 24);
    header->version = util_bytes_to_u16(frame + 26);
    if (header->header_length < NOVATEL_HEADER_LENGTH) return -2;
    if ((uint32_t)header->header_length + header->length + 4u != length) return -2;
    return 0;
}

// ---- tables ------------------------------------------------------------------------

#define N NOVATEL_SIGNAL_NONE
// range 0, range 2, range 3, rangecmp2 0, rangecmp2 2, rangecmp2 3, band
#define T(r0, r2, r3, c0, c2, band) {r0, r2, r3, c0, c2, N, band}

const novatel_signal_t NOVATEL_SIGNAL_GPS[9] = {
    {T(0, 0, 0, 1, 1, 0), &GNSS_SIGNAL_GPS[0]},    // 1C
    {T(5, N, 5, N, N, 1), &GNSS_SIGNAL_GPS[1]},    // 2P
    {T(9, 9, 9, 4, 4, 1), &GNSS_SIGNAL_GPS[2]},    // 2W
    {T(N, 6, 2, N, N, 2), &GNSS_SIGNAL_GPS[3]},    // 5I
    {T(14, 14, 14, 7, 7, 2), &GNSS_SIGNAL_GPS[4]}, // 5Q
    {T(16, 3, N, 15, 15, 0), &GNSS_SIGNAL_GPS[6]}, // 1L
    {T(17, N, 17, 5, N, 1), &GNSS_SIGNAL_GPS[7]},  // 2S
    {T(N, 11, N, N, N, 0), &GNSS_SIGNAL_GPS[5]},   // 1S
    {T(N, 17, N, N, N, 1), &GNSS_SIGNAL_GPS[9]},   // 2L
};

const novatel_signal_t NOVATEL_SIGNAL_GLONASS[4] = {
    {T(0, 0, 0, 1, 1, 0), &GNSS_SIGNAL_GLONASS[0]}, // 1C
    {T(1, 5, 1, 3, 3, 1), &GNSS_SIGNAL_GLONASS[1]}, // 2C
    {T(5, N, 5, 4, N, 1), &GNSS_SIGNAL_GLONASS[2]}, // 2P
    {T(6, 7, N, 6, N, 2), &GNSS_SIGNAL_GLONASS[3]}, // 3Q
};

const novatel_signal_t NOVATEL_SIGNAL_SBAS[2] = {
    {T(0, 0, 0, 1, 1, N), &GNSS_SIGNAL_SBAS[0]}, // 1C
    {T(6, 6, 6, 2, 2, N), &GNSS_SIGNAL_SBAS[1]}, // 5I
};

const novatel_signal_t NOVATEL_SIGNAL_GALILEO[7] = {
    {T(1, 1, 1, N, N, 0), &GNSS_SIGNAL_GALILEO[0]},     // 1B
    {T(2, 2, 2, 1, 1, 0), &GNSS_SIGNAL_GALILEO[1]},     // 1C
    {T(6, 18, N, 12, N, 4), &GNSS_SIGNAL_GALILEO[12]},  // 6B
    {T(7, 22, 7, 5, N, 4), &GNSS_SIGNAL_GALILEO[13]},   // 6C
    {T(12, 12, 12, 2, 2, 1), &GNSS_SIGNAL_GALILEO[4]},  // 5Q
    {T(17, 17, 17, 3, 3, 2), &GNSS_SIGNAL_GALILEO[7]},  // 7Q
    {T(20, N, 20, 4, N, 3), &GNSS_SIGNAL_GALILEO[10]},  // 8Q
};

const novatel_signal_t NOVATEL_SIGNAL_BDS[14] = {
    {T(0, 0, 0, 1, 1, 0), &GNSS_SIGNAL_BDS[0]},       // 2I
    {T(4, N, N, 2, 2, 0), &GNSS_SIGNAL_BDS[0]},       // 2I
    {T(N, 4, N, N, N, 2), &GNSS_SIGNAL_BDS[1]},       // 2Q
    {T(1, 17, 17, 3, 3, 1), &GNSS_SIGNAL_BDS[2]},     // 7I
    {T(5, N, N, 4, 4, 1), &GNSS_SIGNAL_BDS[2]},       // 7I
    {T(N, 5, N, N, N, 1), &GNSS_SIGNAL_BDS[3]},       // 7Q
    {T(2, 21, 2, 13, 13, 2), &GNSS_SIGNAL_BDS[4]},    // 6I
    {T(6, N, N, 14, 14, 2), &GNSS_SIGNAL_BDS[4]},     // 6I
    {T(N, 6, N, N, N, 2), &GNSS_SIGNAL_BDS[5]},       // 6Q
    {T(7, 8, 8, 19, 19, 3), &GNSS_SIGNAL_BDS[7]},     // 1P
    {T(N, 23, N, N, N, N), &GNSS_SIGNAL_BDS[6]},      // 1D
    {T(9, 12, 12, 20, 20, 4), &GNSS_SIGNAL_BDS[13]},  // 5P
    // B2b is broadcast as its I (data) component only: "B2b I", RINEX 7D.
    {T(11, 13, 19, 21, N, N), &GNSS_SIGNAL_BDS[15]},  // 7D
    {T(N, 28, N, N, N, N), &GNSS_SIGNAL_BDS[12]},     // 5D
};

const novatel_signal_t NOVATEL_SIGNAL_QZSS[10] = {
    {T(0, 0, 0, 1, 1, 0), &GNSS_SIGNAL_QZSS[0]},    // 1C
    {T(N, 6, N, N, N, 2), &GNSS_SIGNAL_QZSS[4]},    // 5I
    {T(14, 14, 14, 4, 4, 2), &GNSS_SIGNAL_QZSS[5]}, // 5Q
    {T(N, N, N, N, 8, 0), &GNSS_SIGNAL_QZSS[1]},    // 1S
    {T(16, 3, N, 8, N, 0), &GNSS_SIGNAL_QZSS[2]},   // 1L
    {T(17, N, 17, 3, N, 1), &GNSS_SIGNAL_QZSS[3]},  // 2S
    {T(N, 17, N, N, N, 1), &GNSS_SIGNAL_QZSS[7]},   // 2L
    {T(N, 9, N, N, 4, 1), &GNSS_SIGNAL_QZSS[10]},   // 2W
    {T(27, N, N, 11, N, 4), &GNSS_SIGNAL_QZSS[6]},  // 6L
    {T(N, N, 16, N, N, N), &GNSS_SIGNAL_QZSS[11]},  // 1B, an SBAS-system signal
};

const novatel_signal_t NOVATEL_SIGNAL_IRNSS[3] = {
    {T(0, N, N, 1, 1, 2), &GNSS_SIGNAL_IRNSS[0]},  // 5A
    {T(N, 6, N, N, N, 2), &GNSS_SIGNAL_IRNSS[1]},  // 5B
    {T(N, 14, N, N, N, 2), &GNSS_SIGNAL_IRNSS[2]}, // 5C
};

const novatel_signal_t NOVATEL_SIGNAL_TSS[2] = {
    {T(29, N, N, N, N, N), &GNSS_SIGNAL_TSS[0]}, // 1I
    {T(30, N, N, N, N, N), &GNSS_SIGNAL_TSS[1]}, // 2I
};

#undef T
#undef N

// SBAS satellites are numbered PRN - 100 in RINEX (S20 for PRN 120), hence
// the offset 101 with the rule n + 1 - offset.
const novatel_system_t NOVATEL_SYSTEM[NOVATEL_SYSTEM_AMOUNT] = {
    {1561098000.0, 161, 141, 0, NOVATEL_SIGNAL_BDS, 14, &GNSS_SYSTEM[GNSS_SYSTEM_BDS]},
    {1575420000.0, 1, 1, 0, NOVATEL_SIGNAL_GALILEO, 7, &GNSS_SYSTEM[GNSS_SYSTEM_GALILEO]},
    {1575420000.0, 1, 1, 0, NOVATEL_SIGNAL_GPS, 9, &GNSS_SYSTEM[GNSS_SYSTEM_GPS]},
    {1176450000.0, 1, 1, 0, NOVATEL_SIGNAL_IRNSS, 3, &GNSS_SYSTEM[GNSS_SYSTEM_IRNSS]},
    {1575420000.0, 193, 131, 0, NOVATEL_SIGNAL_QZSS, 10, &GNSS_SYSTEM[GNSS_SYSTEM_QZSS]},
    {1602000000.0, 38, 38, -7, NOVATEL_SIGNAL_GLONASS, 4, &GNSS_SYSTEM[GNSS_SYSTEM_GLONASS]},
    {1575420000.0, 101, 101, 0, NOVATEL_SIGNAL_SBAS, 2, &GNSS_SYSTEM[GNSS_SYSTEM_SBAS]},
    {1606110000.0, 1, 1, 0, NOVATEL_SIGNAL_TSS, 2, &GNSS_SYSTEM[GNSS_SYSTEM_TSS]},
};

const novatel_system_t *novatel_range_system(uint32_t number)
{
    // 0 GPS, 1 GLONASS, 2 SBAS, 3 GALILEO, 4 BDS, 5 QZSS, 6 IRNSS, 7 TSS
    static const uint8_t map[8] = {GNSS_SYSTEM_GPS, GNSS_SYSTEM_GLONASS, GNSS_SYSTEM_SBAS, GNSS_SYSTEM_GALILEO,
                                   GNSS_SYSTEM_BDS, GNSS_SYSTEM_QZSS,    GNSS_SYSTEM_IRNSS, GNSS_SYSTEM_TSS};
    if (number >= 8) return nullptr;
    return &NOVATEL_SYSTEM[map[number]];
}

const novatel_system_t *novatel_rangecmp2_system(uint32_t number)
{
    switch (number) {
    case 0: return &NOVATEL_SYSTEM[GNSS_SYSTEM_GPS];
    case 1: return &NOVATEL_SYSTEM[GNSS_SYSTEM_GLONASS];
    case 2: return &NOVATEL_SYSTEM[GNSS_SYSTEM_SBAS];
    case 5: return &NOVATEL_SYSTEM[GNSS_SYSTEM_GALILEO];
    case 6: return &NOVATEL_SYSTEM[GNSS_SYSTEM_BDS];
    case 7: return &NOVATEL_SYSTEM[GNSS_SYSTEM_QZSS];
    case 9: return &NOVATEL_SYSTEM[GNSS_SYSTEM_IRNSS];
    case 12: return &NOVATEL_SYSTEM[GNSS_SYSTEM_TSS];
    default: return nullptr;
    }
}

const novatel_signal_t *novatel_find_signal(const novatel_system_t *system, int column, uint32_t type)
{
    if (!system || column < 0 || column >= NOVATEL_COLUMN_AMOUNT || type == NOVATEL_SIGNAL_NONE) return nullptr;
    for (uint32_t i = 0; i < system->signal_amount; ++i)
        if (system->signal[i].type[column] == type) return &system->signal[i];
    return nullptr;
}

uint32_t novatel_prn(uint32_t n, uint32_t offset)
{
    return n >= offset ? n + 1 - offset : n;
}

// ---- helpers ------------------------------------------------------------------------

static int numbering_configured(int configured)
{
    if (configured == 2 || configured == 3) return configured;
    return 0;
}

static int numbering_from_header(const novatel_header_t *header)
{
    if (header->type != 0) return 3;
    return header->version > 99 ? 0 : 2;
}

// Carrier frequency of a signal for the ADR conversions: GLONASS G1 and G2
// are shifted by the frequency channel.
static double carrier_frequency(const gnss_signal_t *signal, int channel)
{
    if (signal->frequency == 1602000000u) return 1602000000.0 + channel * 562500.0;
    if (signal->frequency == 1246000000u) return 1246000000.0 + channel * 437500.0;
    return (double)signal->frequency;
}

static int32_t sign_extend(uint32_t value, unsigned bits)
{
    uint32_t m = 1u << (bits - 1);
    value &= (bits == 32) ? 0xFFFFFFFFu : ((1u << bits) - 1u);
    return (int32_t)((value ^ m) - m);
}

// Little-endian bit field of up to 32 bits within a block; only the bytes the
// field covers are read.
static uint32_t bits_le(const uint8_t *p, unsigned position, unsigned width)
{
    unsigned first = position / 8, last = (position + width - 1) / 8;
    uint64_t v = 0;
    for (unsigned i = last + 1; i-- > first;) v = (v << 8) | p[i];
    v >>= position % 8;
    return (uint32_t)(v & ((width == 32) ? 0xFFFFFFFFull : ((1ull << width) - 1)));
}

static void status_fields(novatel_range_obs_t *obs, uint32_t status, uint32_t channel_mask)
{
    obs->status = status;
    obs->tracking_state = status & 0x1F;
    obs->channel = (uint8_t)((status >> 5) & channel_mask);
    obs->phase_lock = (status >> 10) & 1;
    obs->parity_known = (status >> 11) & 1;
    obs->code_lock = (status >> 12) & 1;
    obs->system = (status >> 16) & 7;
    obs->grouped = (status >> 20) & 1;
    obs->signal_type = (status >> 21) & 0x1F;
}

// Signal of a RANGE or RANGECMP observation; under numbering 2 a GPS or QZSS
// type 9 with status bit 26 set is the L2 CL signal.
static const novatel_signal_t *range_signal(const novatel_system_t *system, int numbering, uint32_t type,
                                            uint32_t status)
{
    if (!system) return nullptr;
    if (numbering == 2 && type == 9 && ((status >> 26) & 1) &&
        (system == &NOVATEL_SYSTEM[GNSS_SYSTEM_GPS] || system == &NOVATEL_SYSTEM[GNSS_SYSTEM_QZSS])) {
        for (uint32_t i = 0; i < system->signal_amount; ++i)
            if (strcmp(system->signal[i].signal->code, "2L") == 0) return &system->signal[i];
        return nullptr;
    }
    int column = numbering == 3 ? NOVATEL_COLUMN_RANGE_3 : numbering == 2 ? NOVATEL_COLUMN_RANGE_2
                                                                          : NOVATEL_COLUMN_RANGE_0;
    return novatel_find_signal(system, column, type);
}

// Whole seconds of a time carried as a double: the value + 0.5 truncated, or
// -1 when it is not a usable time of week.
static int32_t round_tow(double v)
{
    if (!(v >= 0.0 && v < 2147483647.0)) return -1;
    return (int32_t)(v + 0.5);
}

// Truncation of a double to an unsigned 32-bit value; 0 for values that have
// no such representation (negative, too large or not a number).
static uint32_t trunc_u32(double v)
{
    if (!(v >= 0.0 && v < 4294967296.0)) return 0;
    return (uint32_t)v;
}

static double rd(const uint8_t *p, uint32_t offset) { return util_bytes_to_double(p + offset); }
static uint32_t ru(const uint8_t *p, uint32_t offset) { return util_bytes_to_u32(p + offset); }

// ---- RANGE ---------------------------------------------------------------------------

static int parse_list(const uint8_t *frame, const novatel_header_t *header, novatel_range_t *range,
                      uint32_t record_size)
{
    if (header->length < 4 || (header->length - 4u) % record_size != 0) return -1;
    const uint8_t *body = frame + header->header_length;
    uint32_t amount = (header->length - 4u) / record_size;
    if (util_bytes_to_u32(body) != amount) return -2;
    range->header = *header;
    range->amount = amount;
    range->record = body + 4;
    return 0;
}

int novatel_parser_range(const uint8_t *frame, const novatel_header_t *header, novatel_range_t *range,
                         int numbering)
{
    memset(range, 0, sizeof(*range));
    if (header->id != 43 && header->id != 6005) return -1;
    int r = parse_list(frame, header, range, 44);
    if (r != 0) {
        memset(range, 0, sizeof(*range));
        return r;
    }
    if (numbering != NOVATEL_NUMBERING_AUTO) {
        range->numbering = numbering_configured(numbering);
        return 0;
    }
    // A BDS satellite numbered 141 to 160 only occurs under numbering 3.
    for (uint32_t i = 0; i < range->amount; ++i) {
        const uint8_t *rec = range->record + i * 44u;
        uint32_t status = util_bytes_to_u32(rec + 40);
        uint32_t prn = util_bytes_to_u16(rec);
        if (((status >> 16) & 7) == 4 && prn >= 141 && prn <= 160) {
            range->numbering = 3;
            return 0;
        }
    }
    range->numbering = numbering_from_header(header);
    return 0;
}

int novatel_range_get_obs(const novatel_range_t *range, uint32_t index, novatel_range_obs_t *obs)
{
    memset(obs, 0, sizeof(*obs));
    if (index >= range->amount || !range->record) return -1;
    const uint8_t *rec = range->record + index * 44u;
    uint32_t status = util_bytes_to_u32(rec + 40);
    status_fields(obs, status, 0x1F);
    const novatel_system_t *system = novatel_range_system(obs->system);
    obs->nov_system = system;
    uint32_t n = util_bytes_to_u16(rec);
    uint32_t freq = util_bytes_to_u16(rec + 2);
    if (system) {
        obs->prn = (uint16_t)novatel_prn(n, range->numbering == 3 ? system->prn_offset_3 : system->prn_offset);
        obs->glofreq = (int16_t)((int32_t)freq + system->channel_offset);
    } else {
        obs->prn = (uint16_t)n;
        obs->glofreq = (int16_t)freq;
    }
    obs->psr = util_bytes_to_double(rec + 4);
    obs->psr_std = util_bytes_to_float(rec + 12);
    obs->adr = util_bytes_to_double(rec + 16);
    obs->adr_std = util_bytes_to_float(rec + 24);
    obs->doppler = util_bytes_to_float(rec + 28);
    obs->cno = util_bytes_to_float(rec + 32);
    obs->locktime = util_bytes_to_float(rec + 36);
    obs->nov_signal = range_signal(system, range->numbering, obs->signal_type, status);
    return 0;
}

// ---- RANGECMP ------------------------------------------------------------------------

static const float kRangecmpPsrStd[16] = {0.05f, 0.075f, 0.113f, 0.169f, 0.253f, 0.38f,  0.57f, 0.854f,
                                          1.281f, 2.375f, 4.75f,  9.5f,   19.0f,  38.0f,  76.0f, 152.0f};

int novatel_parser_rangecmp(const uint8_t *frame, const novatel_header_t *header, novatel_range_t *range,
                            int numbering)
{
    memset(range, 0, sizeof(*range));
    if (header->id != 140 && header->id != 2111) return -1;
    int r = parse_list(frame, header, range, 24);
    if (r != 0) {
        memset(range, 0, sizeof(*range));
        return r;
    }
    range->numbering = numbering != NOVATEL_NUMBERING_AUTO ? numbering_configured(numbering)
                                                           : numbering_from_header(header);
    return 0;
}

int novatel_rangecmp_get_obs(const novatel_range_t *range, uint32_t index, novatel_range_obs_t *obs)
{
    memset(obs, 0, sizeof(*obs));
    if (index >= range->amount || !range->record) return -1;
    const uint8_t *rec = range->record + index * 24u;
    uint32_t status = util_bytes_to_u32(rec);
    status_fields(obs, status, 0x0F);
    const novatel_system_t *system = novatel_range_system(obs->system);
    obs->nov_system = system;
    obs->nov_signal = range_signal(system, range->numbering, obs->signal_type, status);
    if (!obs->nov_signal) return -1;

    obs->doppler = (float)(sign_extend(util_bytes_to_u32(rec + 4), 28) / 256.0);
    uint64_t psr = ((uint64_t)util_bytes_to_u32(rec + 8) << 4) | (rec[7] >> 4);
    obs->psr = (double)psr / 128.0;
    double adr = (int32_t)util_bytes_to_u32(rec + 12) / 256.0;
    obs->psr_std = kRangecmpPsrStd[rec[16] & 0x0F];
    obs->adr_std = (float)(((rec[16] >> 4) + 1) / 512.0);
    obs->prn = (uint16_t)novatel_prn(rec[17], system->prn_offset);
    uint32_t w = util_bytes_to_u32(rec + 18);
    obs->locktime = (float)((w & 0x1FFFFF) / 32.0);
    obs->cno = (float)(((w >> 21) & 0x1F) + 20);
    obs->glofreq = (int16_t)((int32_t)((w >> 26) & 0x3F) + system->channel_offset);

    // The ADR field holds 32 bits of 1/256 cycle, so it rolls over every
    // 2^23 cycles; the pseudorange tells which roll-over it is in.
    double f = carrier_frequency(obs->nov_signal->signal, obs->glofreq);
    double rolls = (f * obs->psr / kSpeedOfLight + adr) / 8388608.0;
    adr -= 8388608.0 * round(rolls);
    obs->adr = adr;
    return 0;
}

// ---- RANGECMP2 -------------------------------------------------------------------------

static const float kRangecmp2PsrStd[16] = {0.020f, 0.030f, 0.045f, 0.066f, 0.099f, 0.148f, 0.220f, 0.329f,
                                           0.491f, 0.732f, 1.092f, 1.629f, 2.430f, 3.625f, 5.409f, 9.999f};
static const float kRangecmp2AdrStd[16] = {0.00391f, 0.00521f, 0.00696f, 0.00929f, 0.01239f, 0.01654f,
                                           0.02208f, 0.02947f, 0.03933f, 0.05249f, 0.07006f, 0.09350f,
                                           0.12480f, 0.16656f, 0.22230f, 9.99999f};

int novatel_parser_rangecmp2(const uint8_t *frame, const novatel_header_t *header, novatel_rangecmp2_t *cursor,
                             int numbering)
{
    memset(cursor, 0, sizeof(*cursor));
    if (header->id != 1273 && header->id != 2112) return -1;
    if (header->length < 4) return -1;
    const uint8_t *body = frame + header->header_length;
    uint32_t count = util_bytes_to_u32(body);
    if (count < 11) return -2;
    // The byte count is the receiver's word; the frame decides how far we go.
    uint32_t available = header->length - 4u;
    cursor->header = *header;
    cursor->position = body + 4;
    cursor->end = cursor->position + (count < available ? count : available);
    cursor->numbering = numbering != NOVATEL_NUMBERING_AUTO ? numbering_configured(numbering)
                                                            : numbering_from_header(header);
    return 0;
}

int novatel_rangecmp2_next(novatel_rangecmp2_t *cursor, novatel_range_obs_t *obs)
{
    memset(obs, 0, sizeof(*obs));
    if (!cursor->position) return -1;
    if (cursor->signal_left == 0) {
        if (cursor->position == cursor->end) return 1;
        if (cursor->end - cursor->position < 10) return -1;
        const uint8_t *b = cursor->position;
        cursor->sv_channel = (uint8_t)bits_le(b, 0, 8);
        uint32_t n = bits_le(b, 8, 8);
        uint32_t freq = bits_le(b, 16, 4);
        cursor->system = (uint8_t)bits_le(b, 20, 5);
        cursor->psr_base = bits_le(b, 26, 29);
        cursor->doppler_base = sign_extend(bits_le(b, 55, 21), 21);
        uint32_t signals = bits_le(b, 76, 4);
        cursor->position += 10;
        if (signals == 0) return -2;
        cursor->nov_system = novatel_rangecmp2_system(cursor->system);
        if (!cursor->nov_system) {
            if ((uint32_t)(cursor->end - cursor->position) < signals * 12u) return -1;
            cursor->position += signals * 12u;
            return 2;
        }
        cursor->prn = (uint16_t)novatel_prn(n, cursor->nov_system->prn_offset);
        cursor->glofreq = (int16_t)((int32_t)freq + cursor->nov_system->channel_offset);
        cursor->signal_left = signals;
    }
    if (cursor->end - cursor->position < 12) return -1;
    const uint8_t *b = cursor->position;
    cursor->position += 12;
    cursor->signal_left--;

    const novatel_system_t *system = cursor->nov_system;
    obs->system = cursor->system;
    obs->nov_system = system;
    obs->signal_type = (uint8_t)bits_le(b, 0, 5);
    obs->prn = cursor->prn;
    obs->glofreq = cursor->glofreq;
    obs->channel = cursor->sv_channel;
    int column = cursor->numbering == 3 ? NOVATEL_COLUMN_RANGECMP2_3
                 : cursor->numbering == 2 ? NOVATEL_COLUMN_RANGECMP2_2
                                          : NOVATEL_COLUMN_RANGECMP2_0;
    obs->nov_signal = novatel_find_signal(system, column, obs->signal_type);
    if (!obs->nov_signal) return 3;

    obs->phase_lock = (uint8_t)bits_le(b, 5, 1);
    obs->parity_known = (uint8_t)bits_le(b, 6, 1);
    obs->code_lock = (uint8_t)bits_le(b, 7, 1);
    obs->locktime = (float)(bits_le(b, 8, 17) * 0.001);
    obs->cno = (float)(bits_le(b, 32, 5) + 20);
    obs->psr_std = kRangecmp2PsrStd[bits_le(b, 37, 4)];
    obs->adr_std = kRangecmp2AdrStd[bits_le(b, 41, 4)];
    double psr_diff = bits_le(b, 45, 14) / 128.0;
    double phase_diff = bits_le(b, 59, 20) / 2048.0;
    double doppler_diff = sign_extend(bits_le(b, 79, 17), 17) / 256.0;

    const gnss_signal_t *signal = obs->nov_signal->signal;
    obs->psr = cursor->psr_base + psr_diff;
    obs->adr = -(phase_diff + cursor->psr_base) * carrier_frequency(signal, obs->glofreq) / kSpeedOfLight;
    obs->doppler = (float)((doppler_diff + cursor->doppler_base) * (signal->frequency / system->frequency));
    return 0;
}

// ---- accuracy ---------------------------------------------------------------------------

uint8_t novatel_bds_gps_ura2_to_index(double variance)
{
    static const double threshold[16] = {4,      8,      16,      32,      64,      128,      256,      1024,
                                         4096,   16384,  65536,   262144,  1048576, 4194304,  16777216, 67108864};
    double v = trunc(variance - 0.5);
    for (uint8_t n = 0; n < 16; ++n)
        if (threshold[n] > v) return n;
    return 15;
}

double novatel_bds_gps_index_to_ura(uint32_t index)
{
    static const double ura[16] = {2.0,   2.8,   4.0,    5.7,    8.0,    11.3,   16.0,   32.0,
                                   64.0,  128.0, 256.0,  512.0,  1024.0, 2048.0, 4096.0, 8192.0};
    return ura[index > 15 ? 15 : index];
}

// ---- ephemerides --------------------------------------------------------------------------

static const uint8_t *body_of(const uint8_t *frame, const novatel_header_t *header, uint16_t id,
                              uint32_t minimum)
{
    if (header->id != id || header->length < minimum) return nullptr;
    return frame + header->header_length;
}

// GPSEPHEM and QZSSEPHEMERIS share their first 224 bytes.
static void gps_like(const uint8_t *b, gps_nav_t *nav)
{
    nav->prn = (uint8_t)ru(b, 0);
    nav->tow = round_tow(rd(b, 4));
    nav->health = (uint8_t)ru(b, 12);
    nav->iode = (uint8_t)ru(b, 16);
    nav->iode3 = (uint8_t)ru(b, 20);
    // The log's week is that of toe (the subframe week, "z week", at 28 is
    // not carried): toc and toe need no moving to another week.
    nav->week = (uint16_t)ru(b, 24);
    nav->week_of_toe = 1;
    nav->toe = trunc_u32(rd(b, 32));
    nav->sqrt_a = sqrt(rd(b, 40));
    nav->delta_n = rd(b, 48);
    nav->m0 = rd(b, 56);
    nav->e = rd(b, 64);
    nav->omega = rd(b, 72);
    nav->cuc = rd(b, 80);
    nav->cus = rd(b, 88);
    nav->crc = rd(b, 96);
    nav->crs = rd(b, 104);
    nav->cic = rd(b, 112);
    nav->cis = rd(b, 120);
    nav->i0 = rd(b, 128);
    nav->idot = rd(b, 136);
    nav->omega0 = rd(b, 144);
    nav->omega_dot = rd(b, 152);
    nav->iodc = (uint16_t)ru(b, 160);
    nav->toc = trunc_u32(rd(b, 164));
    nav->tgd = rd(b, 172);
    nav->af0 = rd(b, 180);
    nav->af1 = rd(b, 188);
    nav->af2 = rd(b, 196);
    // 204 anti-spoofing flag, 208 corrected mean motion: not carried
    nav->ura = novatel_bds_gps_ura2_to_index(rd(b, 216));
}

int novatel_parser_gpsephem(const uint8_t *frame, const novatel_header_t *header, novatel_gps_ephemeris_t *out)
{
    memset(out, 0, sizeof(*out));
    const uint8_t *b = body_of(frame, header, 7, 224);
    if (!b) return -1;
    out->header = *header;
    gps_like(b, &out->nav);
    return 0;
}

int novatel_parser_qzssephemeris(const uint8_t *frame, const novatel_header_t *header,
                                 novatel_gps_ephemeris_t *out)
{
    memset(out, 0, sizeof(*out));
    const uint8_t *b = body_of(frame, header, 1336, 225);
    if (!b) return -1;
    out->header = *header;
    gps_like(b, &out->nav);
    // The log gives the QZSS PRN (193 to 202); RINEX numbers it PRN - 192.
    out->nav.prn = (uint8_t)novatel_prn(out->nav.prn, 193);
    out->nav.fit = b[224];
    return 0;
}

// BDS ephemeris logs give the satellite id (1 to 63); some receivers give
// the PRN as their range logs number it, 161 and up for C01.
static uint8_t bds_prn(uint32_t n)
{
    return (uint8_t)novatel_prn(n, 161);
}

int novatel_parser_bdsephemeris(const uint8_t *frame, const novatel_header_t *header,
                                novatel_bds_ephemeris_t *out)
{
    memset(out, 0, sizeof(*out));
    const uint8_t *b = body_of(frame, header, 1696, 196);
    if (!b) return -1;
    out->header = *header;
    bd2_nav_t *nav = &out->nav;
    nav->tow = -1; // the log carries no transmission time
    nav->prn = bds_prn(ru(b, 0));
    // Without a transmission time the writers place toc against the epochs,
    // which is right whichever week the log means here.
    nav->week = (uint16_t)ru(b, 4);
    double ura = rd(b, 8); // metres
    nav->ura = novatel_bds_gps_ura2_to_index(ura * ura);
    nav->health = (uint8_t)ru(b, 16);
    nav->tgd1 = rd(b, 20);
    nav->tgd2 = rd(b, 28);
    nav->aodc = (uint8_t)ru(b, 36);
    nav->toc = ru(b, 40);
    nav->a0 = rd(b, 44);
    nav->a1 = rd(b, 52);
    nav->a2 = rd(b, 60);
    nav->aode = (uint8_t)ru(b, 68);
    nav->toe = ru(b, 72);
    nav->sqrt_a = rd(b, 76); // this log carries the root itself
    nav->e = rd(b, 84);
    nav->omega = rd(b, 92);
    nav->delta_n = rd(b, 100);
    nav->m0 = rd(b, 108);
    nav->omega0 = rd(b, 116);
    nav->omega_dot = rd(b, 124);
    nav->i0 = rd(b, 132);
    nav->idot = rd(b, 140);
    nav->cuc = rd(b, 148);
    nav->cus = rd(b, 156);
    nav->crc = rd(b, 164);
    nav->crs = rd(b, 172);
    nav->cic = rd(b, 180);
    nav->cis = rd(b, 188);
    return 0;
}

int novatel_parser_bd2ephem(const uint8_t *frame, const novatel_header_t *header, novatel_bds_ephemeris_t *out)
{
    memset(out, 0, sizeof(*out));
    const uint8_t *b = body_of(frame, header, 1047, 232);
    if (!b) return -1;
    out->header = *header;
    bd2_nav_t *nav = &out->nav;
    nav->prn = bds_prn(ru(b, 0));
    nav->tow = round_tow(rd(b, 4));
    nav->health = (uint8_t)ru(b, 12);
    nav->aode = (uint8_t)ru(b, 16);
    // GPS-based week of toe, at the place GPSEPHEM keeps its toe week.
    uint32_t week = ru(b, 24);
    nav->week = week >= 1356 ? (uint16_t)(week - 1356) : 0;
    nav->week_of_toe = 1;
    nav->toe = trunc_u32(rd(b, 32));
    nav->sqrt_a = sqrt(rd(b, 40));
    nav->delta_n = rd(b, 48);
    nav->m0 = rd(b, 56);
    nav->e = rd(b, 64);
    nav->omega = rd(b, 72);
    nav->cuc = rd(b, 80);
    nav->cus = rd(b, 88);
    nav->crc = rd(b, 96);
    nav->crs = rd(b, 104);
    nav->cic = rd(b, 112);
    nav->cis = rd(b, 120);
    nav->i0 = rd(b, 128);
    nav->idot = rd(b, 136);
    nav->omega0 = rd(b, 144);
    nav->omega_dot = rd(b, 152);
    nav->aodc = (uint8_t)ru(b, 160);
    nav->toc = trunc_u32(rd(b, 164));
    nav->tgd1 = rd(b, 172);
    nav->tgd2 = rd(b, 180);
    nav->a0 = rd(b, 188);
    nav->a1 = rd(b, 196);
    nav->a2 = rd(b, 204);
    nav->ura = novatel_bds_gps_ura2_to_index(rd(b, 224));
    return 0;
}

int novatel_parser_gpsephem_s(const uint8_t *frame, const novatel_header_t *header, novatel_gpsephem_s_t *out)
{
    memset(out, 0, sizeof(*out));
    const uint8_t *b = body_of(frame, header, 71, 200);
    if (!b) return -1;
    if (util_bytes_to_u16(b) != header->length) return -2;
    out->header = *header;
    return -3;
}

// Galileo week of toe from the header's GPS week: the week that puts toe
// within half a week of the time of the log, so that an ephemeris of the last
// day of the previous week read on the first day of this one, or one of the
// next week read late on Saturday, lands in its own week.
static uint16_t galileo_week(const novatel_header_t *header, uint32_t toe)
{
    const int64_t d = (int64_t)toe - (int64_t)(header->ms / 1000u);
    int64_t week = (int64_t)header->week - 1024;
    if (d > 302400) week--;
    if (d < -302400) week++;
    return week >= 0 ? (uint16_t)week : 0;
}

int novatel_parser_galephemeris(const uint8_t *frame, const novatel_header_t *header,
                                novatel_galephemeris_t *out)
{
    memset(out, 0, sizeof(*out));
    const uint8_t *b = body_of(frame, header, 1122, 220);
    if (!b) return -1;
    out->header = *header;
    out->fnav_received = ru(b, 4) != 0;
    out->inav_received = ru(b, 8) != 0;
    galileo_fnav_t *f = &out->fnav;
    galileo_inav_t *i = &out->inav;
    f->prn = i->prn = (uint8_t)ru(b, 0);
    f->tow = i->tow = -1;
    i->e1b_hs = b[12];
    f->e5a_hs = b[13];
    i->e5b_hs = b[14];
    i->e1b_dvs = b[15];
    f->e5a_dvs = b[16];
    i->e5b_dvs = b[17];
    f->sisa = i->sisa = b[18];
    f->iodnav = i->iodnav = (uint16_t)ru(b, 20);
    f->toe = i->toe = ru(b, 24);
    f->week = i->week = galileo_week(header, f->toe);
    f->week_of_toe = i->week_of_toe = 1;
    f->sqrt_a = i->sqrt_a = rd(b, 28);
    f->delta_n = i->delta_n = rd(b, 36);
    f->m0 = i->m0 = rd(b, 44);
    f->e = i->e = rd(b, 52);
    f->omega = i->omega = rd(b, 60);
    f->cuc = i->cuc = rd(b, 68);
    f->cus = i->cus = rd(b, 76);
    f->crc = i->crc = rd(b, 84);
    f->crs = i->crs = rd(b, 92);
    f->cic = i->cic = rd(b, 100);
    f->cis = i->cis = rd(b, 108);
    f->i0 = i->i0 = rd(b, 116);
    f->idot = i->idot = rd(b, 124);
    f->omega0 = i->omega0 = rd(b, 132);
    f->omega_dot = i->omega_dot = rd(b, 140);
    f->toc = ru(b, 148);
    f->af0 = rd(b, 152);
    f->af1 = rd(b, 160);
    f->af2 = rd(b, 168);
    i->toc = ru(b, 176);
    i->af0 = rd(b, 180);
    i->af1 = rd(b, 188);
    i->af2 = rd(b, 196);
    f->bgd_e5a = i->bgd_e5a = rd(b, 204);
    i->bgd_e5b = rd(b, 212);
    return 0;
}

int novatel_parser_galinavephemeris(const uint8_t *frame, const novatel_header_t *header,
                                    novatel_galinav_t *out)
{
    memset(out, 0, sizeof(*out));
    const uint8_t *b = body_of(frame, header, 1309, 184);
    if (!b) return -1;
    out->header = *header;
    galileo_inav_t *i = &out->nav;
    i->prn = (uint8_t)ru(b, 0);
    i->tow = -1;
    i->e5b_hs = b[4];
    i->e5b_dvs = b[5];
    i->e1b_hs = b[8];
    i->e1b_dvs = b[9];
    i->iodnav = util_bytes_to_u16(b + 12);
    i->sisa = b[14];
    i->source = b[15];
    i->toe = ru(b, 16);
    i->toc = ru(b, 20);
    i->week = galileo_week(header, i->toe);
    i->week_of_toe = 1;
    i->m0 = rd(b, 24);
    i->delta_n = rd(b, 32);
    i->e = rd(b, 40);
    i->sqrt_a = rd(b, 48);
    i->i0 = rd(b, 56);
    i->idot = rd(b, 64);
    i->omega0 = rd(b, 72);
    i->omega = rd(b, 80);
    i->omega_dot = rd(b, 88);
    i->cuc = rd(b, 96);
    i->cus = rd(b, 104);
    i->crc = rd(b, 112);
    i->crs = rd(b, 120);
    i->cic = rd(b, 128);
    i->cis = rd(b, 136);
    i->af0 = rd(b, 144);
    i->af1 = rd(b, 152);
    i->af2 = rd(b, 160);
    i->bgd_e5a = rd(b, 168);
    i->bgd_e5b = rd(b, 176);
    return 0;
}

int novatel_parser_galfnavephemeris(const uint8_t *frame, const novatel_header_t *header,
                                    novatel_galfnav_t *out)
{
    memset(out, 0, sizeof(*out));
    const uint8_t *b = body_of(frame, header, 1310, 172);
    if (!b) return -1;
    out->header = *header;
    galileo_fnav_t *f = &out->nav;
    f->prn = (uint8_t)ru(b, 0);
    f->tow = -1;
    f->e5a_hs = b[4];
    f->e5a_dvs = b[5];
    f->iodnav = util_bytes_to_u16(b + 8);
    f->sisa = b[10];
    f->toe = ru(b, 12);
    f->toc = ru(b, 16);
    f->week = galileo_week(header, f->toe);
    f->week_of_toe = 1;
    f->m0 = rd(b, 20);
    f->delta_n = rd(b, 28);
    f->e = rd(b, 36);
    f->sqrt_a = rd(b, 44);
    f->i0 = rd(b, 52);
    f->idot = rd(b, 60);
    f->omega0 = rd(b, 68);
    f->omega = rd(b, 76);
    f->omega_dot = rd(b, 84);
    f->cuc = rd(b, 92);
    f->cus = rd(b, 100);
    f->crc = rd(b, 108);
    f->crs = rd(b, 116);
    f->cic = rd(b, 124);
    f->cis = rd(b, 132);
    f->af0 = rd(b, 140);
    f->af1 = rd(b, 148);
    f->af2 = rd(b, 156);
    f->bgd_e5a = rd(b, 164);
    return 0;
}

int novatel_parser_gloephemeris(const uint8_t *frame, const novatel_header_t *header,
                                novatel_gloephemeris_t *out)
{
    memset(out, 0, sizeof(*out));
    const uint8_t *b = body_of(frame, header, 723, 144);
    if (!b) return -1;
    out->header = *header;
    glonass_nav_t *nav = &out->nav;
    uint32_t slot = util_bytes_to_u16(b);
    nav->slot = (uint8_t)(slot > 37 ? slot - 37 : slot);
    nav->frequency_channel = (int8_t)((int32_t)util_bytes_to_u16(b + 2) - 7);
    nav->m = b[4];
    out->week = util_bytes_to_u16(b + 6);
    out->ms = ru(b, 8);
    out->time_offset = (int32_t)ru(b, 12);
    nav->nt = util_bytes_to_u16(b + 16);
    nav->na = nav->nt;
    uint32_t issue = ru(b, 20);
    nav->tb = issue * 900u;
    uint32_t health = ru(b, 24);
    nav->bn = health & 7;
    nav->ln3 = nav->ln5 = (health >> 3) & 1;
    nav->x = rd(b, 28) * 0.001;
    nav->y = rd(b, 36) * 0.001;
    nav->z = rd(b, 44) * 0.001;
    nav->vx = rd(b, 52) * 0.001;
    nav->vy = rd(b, 60) * 0.001;
    nav->vz = rd(b, 68) * 0.001;
    nav->ax = rd(b, 76) * 0.001;
    nav->ay = rd(b, 84) * 0.001;
    nav->az = rd(b, 92) * 0.001;
    nav->tau = rd(b, 100);
    nav->delta_tau = rd(b, 108);
    nav->gamma = rd(b, 116);
    nav->tk = ru(b, 124);
    nav->p = (uint8_t)ru(b, 128);
    nav->ft = (uint8_t)ru(b, 132);
    nav->en = (uint8_t)ru(b, 136);
    uint32_t flags = ru(b, 140);
    nav->p1 = flags & 3;
    nav->p2 = (flags >> 2) & 1;
    nav->p3 = (flags >> 3) & 1;

    // The four-year interval from the reference time of the log: its Moscow
    // day, less tb, counted from 1996-01-01, less the day within the interval.
    int64_t t = util_gps_time_to_epoch(out->week, out->ms) / 1000 + out->time_offset - 10800 - (int64_t)nav->tb -
                820443600LL;
    int64_t d = t >= 0 ? t / 86400 : -((-t + 86399) / 86400);
    int64_t k = d - ((int64_t)nav->nt - 1);
    int64_t four = (k >= 0 ? k / 1461 : -((-k + 1460) / 1461)) + 1;
    nav->four_year = (four >= 0 && four <= 255) ? (uint8_t)four : 0;
    glonass_nav_update_utc(nav);
    return 0;
}

// ---- ionosphere, UTC, time, position ----------------------------------------------------------

int novatel_parser_ionutc(const uint8_t *frame, const novatel_header_t *header, novatel_ionutc_t *out)
{
    memset(out, 0, sizeof(*out));
    uint16_t id = header->id;
    if ((id != 6 && id != 8 && id != 1347 && id != 2010) || header->length < 108) return -1;
    const uint8_t *b = frame + header->header_length;
    out->header = *header;
    for (int i = 0; i < 4; ++i) {
        out->alpha[i] = rd(b, 8u * i);
        out->beta[i] = rd(b, 32u + 8u * i);
    }
    out->utc_week = ru(b, 64);
    out->tot = ru(b, 68);
    out->a0 = rd(b, 72);
    out->a1 = rd(b, 80);
    out->week_lsf = ru(b, 88);
    out->day = ru(b, 92);
    out->dt_ls = (int32_t)ru(b, 96);
    out->dt_lsf = (int32_t)ru(b, 100);
    return 0;
}

int novatel_parser_iono(const uint8_t *frame, const novatel_header_t *header, novatel_iono_t *out)
{
    memset(out, 0, sizeof(*out));
    if ((header->id != 1590 && header->id != 2124) || header->length < 68) return -1;
    const uint8_t *b = frame + header->header_length;
    out->header = *header;
    out->id = ru(b, 0);
    for (int i = 0; i < 4; ++i) {
        out->alpha[i] = rd(b, 4u + 8u * i);
        out->beta[i] = rd(b, 36u + 8u * i);
    }
    return 0;
}

int novatel_parser_time(const uint8_t *frame, const novatel_header_t *header, novatel_time_t *out)
{
    memset(out, 0, sizeof(*out));
    const uint8_t *b = body_of(frame, header, 101, 44);
    if (!b) return -1;
    out->header = *header;
    out->clock_status = ru(b, 0);
    out->offset = rd(b, 4);
    out->offset_std = rd(b, 12);
    out->utc_offset = rd(b, 20);
    out->utc_year = ru(b, 28);
    out->utc_month = b[32];
    out->utc_day = b[33];
    out->utc_hour = b[34];
    out->utc_minute = b[35];
    out->utc_ms = ru(b, 36);
    out->utc_status = ru(b, 40);
    return 0;
}

static int position(const uint8_t *frame, const novatel_header_t *header, uint16_t id, novatel_position_t *out)
{
    memset(out, 0, sizeof(*out));
    const uint8_t *b = body_of(frame, header, id, 72);
    if (!b) return -1;
    out->header = *header;
    out->solution_status = ru(b, 0);
    out->position_type = ru(b, 4);
    out->latitude = rd(b, 8);
    out->longitude = rd(b, 16);
    out->height = rd(b, 24);
    out->undulation = util_bytes_to_float(b + 32);
    out->datum = ru(b, 36);
    out->latitude_std = util_bytes_to_float(b + 40);
    out->longitude_std = util_bytes_to_float(b + 44);
    out->height_std = util_bytes_to_float(b + 48);
    memcpy(out->station, b + 52, 4);
    out->station[4] = 0;
    out->differential_age = util_bytes_to_float(b + 56);
    out->solution_age = util_bytes_to_float(b + 60);
    out->satellites = b[64];
    out->solution_satellites = b[65];
    out->solution_l1 = b[66];
    out->solution_multi = b[67];
    out->extended_status = b[69];
    out->galileo_bds_mask = b[70];
    out->gps_glonass_mask = b[71];
    return 0;
}

int novatel_parser_psrpos(const uint8_t *frame, const novatel_header_t *header, novatel_position_t *out)
{
    return position(frame, header, 47, out);
}

int novatel_parser_bestpos(const uint8_t *frame, const novatel_header_t *header, novatel_position_t *out)
{
    return position(frame, header, 42, out);
}

// ---- names ---------------------------------------------------------------------------------

typedef struct {
    uint16_t id;
    const char *name;
} novatel_name_t;

static const novatel_name_t kNames[41] = {
    {6, "IONUTC_U"},          {7, "GPSEPHEM"},          {8, "IONUTC"},         {37, "VERSION"},
    {42, "BESTPOS"},          {43, "RANGE"},            {47, "PSRPOS"},        {48, "SATVIS"},
    {71, "GPSEPHEM_S"},       {99, "BESTVEL"},          {101, "TIME"},         {140, "RANGECMP"},
    {174, "PSRDOP"},          {175, "REFSTATION"},      {215, "RTKDATA"},      {723, "GLOEPHEMERIS"},
    {911, "SATMSG_S"},        {971, "HEADING"},         {1043, "SATVIS2"},     {1047, "BD2EPHEM"},
    {1122, "GALEPHEMERIS"},   {1194, "BESTSATS"},       {1273, "RANGECMP2"},   {1309, "GALINAVEPHEMERIS"},
    {1310, "GALFNAVEPHEMERIS"}, {1335, "HEADING2"},     {1336, "QZSSEPHEMERIS"}, {1347, "QZSSIONUTC"},
    {1465, "INSPVAX"},        {1590, "BDSIONO"},        {1696, "BDSEPHEMERIS"}, {1961, "INSCALSTATUS"},
    {2010, "BD2IONUTC"},      {2111, "RANGECMPH"},      {2112, "RANGECMP2H"},  {2123, "NAVICEPHEMERIS"},
    {2124, "NAVICIONO"},      {3000, "BD3EPHEM"},       {3100, "TS1RAWEPHEM"}, {3101, "TS2RAWEPHEM"},
    {6005, "RANGEH"},
};

const char *novatel_id_to_str(uint32_t id)
{
    uint32_t lo = 0, hi = sizeof(kNames) / sizeof(kNames[0]);
    while (lo < hi) {
        uint32_t mid = (lo + hi) / 2;
        if (kNames[mid].id == id) return kNames[mid].name;
        if (kNames[mid].id < id) lo = mid + 1;
        else hi = mid;
    }
    return "";
}
