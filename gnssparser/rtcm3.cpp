// RTCM 3 decoders. Every decoder establishes, before reading a field, that
// the field lies inside [frame, frame + length): fixed-length messages by an
// exact length test, MSM by checking the bit budget implied by the masks
// before each part that depends on them, and the variable-length text
// messages by checking each length byte against what is left of the body.
#include "rtcm3.h"

#include <string.h>

namespace {

const uint32_t kHeaderBytes = 3;   // preamble + 16-bit length
const uint32_t kOverheadBytes = 6; // header + CRC-24Q

// Sequential field reader over a body whose size the caller has checked.
struct field_reader_t {
    const uint8_t *body;
    uint32_t pos;
};

inline uint64_t read_u(field_reader_t *r, uint32_t bits)
{
    uint64_t v = rtcm3_get_uint(r->body, r->pos, bits);
    r->pos += bits;
    return v;
}

inline int64_t read_s(field_reader_t *r, uint32_t bits)
{
    int64_t v = rtcm3_get_int(r->body, r->pos, bits);
    r->pos += bits;
    return v;
}

inline uint32_t popcount64(uint64_t v)
{
    return (uint32_t)__builtin_popcountll(v);
}

// Body bits available in a frame of `length` bytes.
inline uint64_t body_bits(uint32_t length)
{
    return length >= kOverheadBytes ? 8ull * (length - kOverheadBytes) : 0;
}

const int8_t kSatelliteBits[8] = {0, 10, 10, 10, 18, 36, 18, 36};
const int8_t kSignalBits[8] = {0, 15, 27, 42, 48, 63, 65, 80};

// Start of the satellite and signal data: everything up to the cell mask.
const uint32_t kMsmMaskEnd = 169;

int system_from_base(uint32_t base)
{
    switch (base) {
    case 1070: return GNSS_SYSTEM_GPS;
    case 1080: return GNSS_SYSTEM_GLONASS;
    case 1090: return GNSS_SYSTEM_GALILEO;
    case 1100: return GNSS_SYSTEM_SBAS;
    case 1110: return GNSS_SYSTEM_QZSS;
    case 1120: return GNSS_SYSTEM_BDS;
    default: return -1;
    }
}

// Fixed-length message: the frame is exactly `frame_length` bytes and holds
// message `number`.
bool fixed_frame_ok(const uint8_t *frame, uint32_t length, uint32_t frame_length, uint32_t number)
{
    if (frame == nullptr || length != frame_length) return false;
    return rtcm3_get_uint(frame + kHeaderBytes, 0, 12) == number;
}

struct message_name_t {
    uint16_t number;
    const char *name;
};

const message_name_t kMessageNames[] = {
    {0, "UNKNOW"},        {36, "METEO"},        {1001, "GPS_OBS1"},   {1002, "GPS_OBS2"},
    {1003, "GPS_OBS3"},   {1004, "GPS_OBS4"},   {1005, "REF_PHASE"},  {1006, "REF_PH_HT"},
    {1007, "ANTENNA"},    {1008, "ANTENNA_SN"}, {1009, "GLO_OBS1"},   {1010, "GLO_OBS2"},
    {1011, "GLO_OBS3"},   {1012, "GLO_OBS4"},   {1019, "GPS_EPH"},    {1020, "GLO_EPH"},
    {1029, "TEXT"},       {1032, "REF_ARP"},    {1033, "RECV_ANT"},   {1042, "BDS_EPH"},
    {1044, "QZS_EPH"},    {1045, "GAL_FNAV"},   {1046, "GAL_INAV"},   {1071, "GPS_MSM1"},
    {1072, "GPS_MSM2"},   {1073, "GPS_MSM3"},   {1074, "GPS_MSM4"},   {1075, "GPS_MSM5"},
    {1076, "GPS_MSM6"},   {1077, "GPS_MSM7"},   {1081, "GLO_MSM1"},   {1082, "GLO_MSM2"},
    {1083, "GLO_MSM3"},   {1084, "GLO_MSM4"},   {1085, "GLO_MSM5"},   {1086, "GLO_MSM6"},
    {1087, "GLO_MSM7"},   {1091, "GAL_MSM1"},   {1092, "GAL_MSM2"},   {1093, "GAL_MSM3"},
    {1094, "GAL_MSM4"},   {1095, "GAL_MSM5"},   {1096, "GAL_MSM6"},   {1097, "GAL_MSM7"},
    {1101, "SBA_MSM1"},   {1102, "SBA_MSM2"},   {1103, "SBA_MSM3"},   {1104, "SBA_MSM4"},
    {1105, "SBA_MSM5"},   {1106, "SBA_MSM6"},   {1107, "SBA_MSM7"},   {1111, "QZS_MSM1"},
    {1112, "QZS_MSM2"},   {1113, "QZS_MSM3"},   {1114, "QZS_MSM4"},   {1115, "QZS_MSM5"},
    {1116, "QZS_MSM6"},   {1117, "QZS_MSM7"},   {1121, "BDS_MSM1"},   {1122, "BDS_MSM2"},
    {1123, "BDS_MSM3"},   {1124, "BDS_MSM4"},   {1125, "BDS_MSM5"},   {1126, "BDS_MSM6"},
    {1127, "BDS_MSM7"},   {1230, "GLO_BIAS"},
};
const int kMessageNameAmount = (int)(sizeof(kMessageNames) / sizeof(kMessageNames[0]));

} // namespace

// ---- bit readers ------------------------------------------------------------------------

namespace {

// The bit readers, inlined into the decoders: with the field width known at
// each call the compiler folds the masks, and the MSM cell loop (six fields
// per cell) is the decoder's hot spot. Fields of up to 57 bits span at most
// 8 bytes: exactly those bytes are gathered and the field is cut out.
inline uint64_t get_u(const uint8_t *data, uint32_t pos, uint32_t bits)
{
    if (bits >= 1 && bits <= 57) {
        const uint32_t first = pos >> 3, last = (pos + bits - 1) >> 3;
        uint64_t w = 0;
        for (uint32_t i = first; i <= last; i++) w = w << 8 | data[i];
        return (w >> (7 - ((pos + bits - 1) & 7))) & ((1ull << bits) - 1);
    }
    return rtcm3_get_uint(data, pos, bits);
}

} // namespace

uint64_t rtcm3_get_uint(const uint8_t *data, uint32_t pos, uint32_t bits)
{
    if (bits < 1 || bits > 64) return 0;
    // Fields of up to 57 bits span at most 8 bytes: gather exactly those
    // bytes and cut the field out. Every MSM cell goes through here, so it is
    // the decoder's hot spot.
    if (bits <= 57) {
        const uint32_t first = pos >> 3, last = (pos + bits - 1) >> 3;
        uint64_t w = 0;
        for (uint32_t i = first; i <= last; i++) w = w << 8 | data[i];
        return (w >> (7 - ((pos + bits - 1) & 7))) & ((1ull << bits) - 1);
    }
    uint64_t v = 0;
    uint32_t done = 0;
    while (done < bits) {
        uint32_t p = pos + done;
        uint32_t offset = p & 7u;
        uint32_t take = 8u - offset;
        if (take > bits - done) take = bits - done;
        uint32_t chunk = ((uint32_t)data[p >> 3] >> (8u - offset - take)) & ((1u << take) - 1u);
        v = (v << take) | chunk;
        done += take;
    }
    return v;
}

int64_t rtcm3_get_int(const uint8_t *data, uint32_t pos, uint32_t bits)
{
    uint64_t v = rtcm3_get_uint(data, pos, bits);
    if (bits >= 1 && bits < 64 && (v >> (bits - 1)) & 1u) v |= ~0ull << bits;
    return (int64_t)v;
}

uint64_t rtcm3_get_uint_inv(const uint8_t *data, uint32_t pos, uint32_t bits)
{
    if (bits < 1 || bits > 64) return 0;
    if (bits > 32) {
        // Two halves: the first 32 bits read land in the low half.
        uint64_t low = rtcm3_get_uint_inv(data, pos, 32);
        return low | (rtcm3_get_uint_inv(data, pos + 32, bits - 32) << 32);
    }
    // The field as read most significant bit first, with its bit order
    // reversed: the first bit read ends in bit 0.
    uint32_t v = (uint32_t)get_u(data, pos, bits) << (32 - bits);
    v = ((v >> 1) & 0x55555555u) | ((v & 0x55555555u) << 1);
    v = ((v >> 2) & 0x33333333u) | ((v & 0x33333333u) << 2);
    v = ((v >> 4) & 0x0F0F0F0Fu) | ((v & 0x0F0F0F0Fu) << 4);
    return __builtin_bswap32(v);
}

// ---- message identity ---------------------------------------------------------------------

uint16_t rtcm3_get_message_number(const uint8_t *frame, uint32_t length)
{
    if (frame == nullptr || length < kOverheadBytes || frame[0] != 0xD3) return 0;
    uint32_t body = ((uint32_t)(frame[1] & 3u) << 8) | frame[2];
    if (body != length - kOverheadBytes) return 0;
    // A body of one byte holds only part of the number; the rest would be CRC.
    if (body < 2) return 0;
    return (uint16_t)get_u(frame + kHeaderBytes, 0, 12);
}

int rtcm3_is_msm(uint32_t message)
{
    return message >= 1071 && message <= 1128;
}

const char *rtcm3_id_to_str(uint32_t message)
{
    int lo = 0;
    int hi = kMessageNameAmount - 1;
    while (lo <= hi) {
        int mid = (lo + hi) / 2;
        if (kMessageNames[mid].number == message) return kMessageNames[mid].name;
        if (kMessageNames[mid].number < message)
            lo = mid + 1;
        else
            hi = mid - 1;
    }
    return kMessageNames[0].name;
}

// ---- MSM ------------------------------------------------------------------------------------

namespace {

// The GPS-scale time of week (ms) of an MSM epoch field.
int32_t msm_tow(int system, uint32_t epoch)
{
    if (system == GNSS_SYSTEM_GLONASS) {
        uint32_t day = epoch >> 27;
        int64_t tow = (day == 7 ? 0 : (int64_t)day * 86400000) + (epoch & 0x7FFFFFFu) - 10800000;
        if (tow < 0) tow += 604800000;
        return (int32_t)tow;
    }
    if (system == GNSS_SYSTEM_BDS) {
        // BDS time runs 14 s behind GPS time. In the first 14 s of a GPS
        // week some receivers send the BDS time of week as a negative 30-bit
        // number instead of the end of the previous BDS week; no valid time
        // of week reaches 604800000, so read such a field as signed.
        int64_t field = (int64_t)epoch;
        if (field >= 604800000) field -= (int64_t)1 << 30;
        int64_t tow = field + 14000;
        if (tow >= 604800000) tow -= 604800000;
        if (tow < 0) tow += 604800000;
        return (int32_t)tow;
    }
    return (int32_t)epoch;
}

} // namespace

int rtcm3_parser_msm_header(const uint8_t *frame, uint32_t length, rtcm3_msm_header_t *header)
{
    memset(header, 0, sizeof(*header));
    if (frame == nullptr || length < 22) return -1;
    const uint8_t *body = frame + kHeaderBytes;
    const uint64_t available = body_bits(length);

    field_reader_t r = {body, 0};
    header->message = (uint16_t)read_u(&r, 12);
    header->station = (uint16_t)read_u(&r, 12);
    header->epoch = (uint32_t)read_u(&r, 30);
    header->multiple = (uint8_t)read_u(&r, 1);
    header->iods = (uint8_t)read_u(&r, 3);
    header->reserved = (uint8_t)read_u(&r, 7);
    header->clock_steering = (uint8_t)read_u(&r, 2);
    header->external_clock = (uint8_t)read_u(&r, 2);
    header->smoothing = (uint8_t)read_u(&r, 1);
    header->smoothing_interval = (uint8_t)read_u(&r, 3);

    uint32_t type = header->message % 10u;
    if (type < 1 || type > 7) {
        memset(header, 0, sizeof(*header));
        return -2;
    }
    int system = system_from_base(header->message - type);
    if (system < 0) {
        memset(header, 0, sizeof(*header));
        return -3;
    }
    header->msm_type = (uint8_t)type;
    header->satellite_bits = kSatelliteBits[type];
    header->signal_bits = kSignalBits[type];
    header->system = &GNSS_SYSTEM[system];

    header->tow = msm_tow(system, header->epoch);

    // The masks end at bit 169; a frame shorter than that cannot hold them.
    if (available < kMsmMaskEnd) {
        memset(header, 0, sizeof(*header));
        return -5;
    }
    header->satellite_mask = rtcm3_get_uint_inv(body, 73, 64);
    header->signal_mask = (uint32_t)rtcm3_get_uint_inv(body, 137, 32);
    header->satellite_amount = popcount64(header->satellite_mask);
    header->signal_amount = popcount64(header->signal_mask);
    header->cell_amount = header->satellite_amount * header->signal_amount;
    if (header->cell_amount > RTCM3_MSM_MAX_CELLS) {
        memset(header, 0, sizeof(*header));
        return -4;
    }
    if (available < kMsmMaskEnd + header->cell_amount) {
        memset(header, 0, sizeof(*header));
        return -5;
    }
    if (header->cell_amount > 0) header->cell_mask = rtcm3_get_uint_inv(body, kMsmMaskEnd, header->cell_amount);
    header->cell_used = popcount64(header->cell_mask);

    uint64_t needed = (uint64_t)kMsmMaskEnd + header->cell_amount +
                      (uint64_t)header->satellite_bits * header->satellite_amount +
                      (uint64_t)header->signal_bits * header->cell_used;
    if (available < needed) {
        memset(header, 0, sizeof(*header));
        return -5;
    }
    header->frame = frame;
    header->frame_length = length;
    return 0;
}

int rtcm3_msm_tow(const uint8_t *frame, uint32_t length, int32_t *tow)
{
    *tow = 0;
    if (frame == nullptr || length < 22) return -1;
    const uint8_t *body = frame + kHeaderBytes;
    const uint64_t available = body_bits(length);
    const uint32_t message = (uint32_t)get_u(body, 0, 12);
    const uint32_t type = message % 10u;
    if (type < 1 || type > 7) return -2;
    const int system = system_from_base(message - type);
    if (system < 0) return -3;
    if (available < kMsmMaskEnd) return -5;
    // The same checks as the header decoder's, on counts alone: the order in
    // which a mask's bits are taken does not change how many are set.
    const uint32_t sat_amount = popcount64(get_u(body, 73, 32) << 32 | get_u(body, 105, 32));
    const uint32_t cell_amount = sat_amount * popcount64(get_u(body, 137, 32));
    if (cell_amount > RTCM3_MSM_MAX_CELLS) return -4;
    if (available < kMsmMaskEnd + cell_amount) return -5;
    uint32_t cell_used = 0;
    for (uint32_t done = 0; done < cell_amount; done += 32) {
        const uint32_t take = cell_amount - done < 32 ? cell_amount - done : 32;
        cell_used += popcount64(get_u(body, kMsmMaskEnd + done, take));
    }
    const uint64_t needed = (uint64_t)kMsmMaskEnd + cell_amount + (uint64_t)kSatelliteBits[type] * sat_amount +
                            (uint64_t)kSignalBits[type] * cell_used;
    if (available < needed) return -5;
    *tow = msm_tow(system, (uint32_t)get_u(body, 24, 30));
    return 0;
}

int rtcm3_parser_msm(const rtcm3_msm_header_t *header, rtcm3_msm_cell_t *cells, uint32_t capacity)
{
    if (cells != nullptr && capacity > 0) memset(cells, 0, sizeof(*cells) * capacity);
    if (header == nullptr || cells == nullptr || capacity == 0 || header->frame == nullptr) return 0;

    // Recompute everything that decides where fields lie from the masks
    // themselves, so a header record changed after decoding cannot steer the
    // reads outside the frame.
    uint32_t type = header->msm_type;
    if (type < 1 || type > 7 || header->system == nullptr) return 0;
    uint32_t sat_amount = popcount64(header->satellite_mask);
    uint32_t sig_amount = popcount64(header->signal_mask);
    uint32_t cell_amount = sat_amount * sig_amount;
    if (cell_amount > RTCM3_MSM_MAX_CELLS) return 0;
    uint64_t cell_mask = header->cell_mask;
    if (cell_amount < 64) cell_mask &= (1ull << cell_amount) - 1u;
    uint32_t cell_used = popcount64(cell_mask);
    const uint32_t sat_bits = (uint32_t)kSatelliteBits[type];
    const uint32_t sig_bits = (uint32_t)kSignalBits[type];
    uint64_t needed = (uint64_t)kMsmMaskEnd + cell_amount + (uint64_t)sat_bits * sat_amount + (uint64_t)sig_bits * cell_used;
    if (body_bits(header->frame_length) < needed) return 0;

    const uint8_t *body = header->frame + kHeaderBytes;
    // The cell loop reads six fields a cell: each is cut from one 8-byte
    // big-endian load where those 8 bytes lie inside the frame (its CRC
    // included), which all but the last few fields do.
    const uint32_t frame_bytes = header->frame_length - kHeaderBytes;
    auto get_u = [body, frame_bytes](uint32_t pos, uint32_t bits) -> uint64_t {
        const uint32_t first = pos >> 3;
        if (first + 8 <= frame_bytes) {
            uint64_t w;
            memcpy(&w, body + first, 8);
            w = __builtin_bswap64(w);
            return (w << (pos & 7)) >> (64 - bits);
        }
        return ::get_u(body, pos, bits);
    };
    auto get_s = [&get_u](uint32_t pos, uint32_t bits) -> int64_t {
        const uint64_t v = get_u(pos, bits);
        return (int64_t)(v << (64 - bits)) >> (64 - bits);
    };
    const gnss_system_t *system = header->system;
    const bool glonass = system == &GNSS_SYSTEM[GNSS_SYSTEM_GLONASS];
    const uint32_t sbas_offset = system == &GNSS_SYSTEM[GNSS_SYSTEM_SBAS] ? 19 : 0;

    uint8_t signal_ids[32];
    uint32_t n = 0;
    for (uint32_t k = 0; k < 32 && n < sig_amount; k++)
        if ((header->signal_mask >> k) & 1u) signal_ids[n++] = (uint8_t)k;

    // Satellite data: field by field, one value per satellite.
    const uint32_t sat_start = kMsmMaskEnd + cell_amount;
    const bool has_int_ms = type >= 4;
    const bool has_ext = type == 5 || type == 7;
    const uint32_t int_ms_start = sat_start;
    const uint32_t ext_start = int_ms_start + (has_int_ms ? 8u * sat_amount : 0u);
    const uint32_t mod_start = ext_start + (has_ext ? 4u * sat_amount : 0u);
    const uint32_t rate_start = mod_start + 10u * sat_amount;

    // Signal data: field by field, one value per used cell.
    const uint32_t sig_start = sat_start + sat_bits * sat_amount;
    const uint32_t c = cell_used;
    uint32_t pr_bits = 0, ph_bits = 0, lock_bits = 0, cnr_bits = 0;
    uint32_t pr_start = 0, ph_start = 0, lock_start = 0, half_start = 0, cnr_start = 0, rate_fine_start = 0;
    uint32_t p = sig_start;
    switch (type) {
    case 1: pr_bits = 15; break;
    case 2: ph_bits = 22; lock_bits = 4; break;
    case 3: case 4: case 5: pr_bits = 15; ph_bits = 22; lock_bits = 4; break;
    default: pr_bits = 20; ph_bits = 24; lock_bits = 10; break;
    }
    if (type == 4 || type == 5) cnr_bits = 6;
    if (type == 6 || type == 7) cnr_bits = 10;
    if (pr_bits) { pr_start = p; p += pr_bits * c; }
    if (ph_bits) { ph_start = p; p += ph_bits * c; }
    if (lock_bits) { lock_start = p; p += lock_bits * c; half_start = p; p += c; }
    if (cnr_bits) { cnr_start = p; p += cnr_bits * c; }
    if (has_ext) { rate_fine_start = p; p += 15 * c; }

    const double pr_scale = pr_bits == 15 ? 1.0 / 16777216.0 : 1.0 / 536870912.0;  // 2^-24, 2^-29 ms
    const double ph_scale = ph_bits == 22 ? 1.0 / 536870912.0 : 1.0 / 2147483648.0; // 2^-29, 2^-31 ms
    const int64_t pr_invalid = pr_bits == 15 ? -16384 : -524288;
    const int64_t ph_invalid = ph_bits == 22 ? -2097152 : -8388608;

    uint32_t written = 0;
    uint32_t sat_index = 0; // position among the satellites of the mask
    uint32_t cell_index = 0; // position among the used cells
    for (uint32_t s = 0; s < 64 && written < capacity; s++) {
        if (!((header->satellite_mask >> s) & 1u)) continue;
        const uint32_t i = sat_index++;
        uint32_t int_ms = has_int_ms ? (uint32_t)get_u(int_ms_start + 8 * i, 8) : 0;
        uint32_t ext = has_ext ? (uint32_t)get_u(ext_start + 4 * i, 4) : 0;
        uint32_t mod_ms = (uint32_t)get_u(mod_start + 10 * i, 10);
        int64_t rough_rate = has_ext ? get_s(rate_start + 14 * i, 14) : 0;
        double rough = int_ms + mod_ms / 1024.0; // ms
        const bool skip = has_int_ms && int_ms == 255;

        for (uint32_t j = 0; j < sig_amount && written < capacity; j++) {
            if (!((cell_mask >> (i * sig_amount + j)) & 1u)) continue;
            const uint32_t k = cell_index++;
            if (skip) continue;
            rtcm3_msm_cell_t *cell = &cells[written++];
            if (pr_bits) {
                int64_t fine = get_s(pr_start + pr_bits * k, pr_bits);
                if (fine != pr_invalid) {
                    cell->pseudorange = (fine * pr_scale + rough) * 0.001;
                    cell->pseudorange_valid = 1;
                }
            }
            if (ph_bits) {
                int64_t fine = get_s(ph_start + ph_bits * k, ph_bits);
                if (fine != ph_invalid) {
                    cell->phase = (fine * ph_scale + rough) * 0.001;
                    cell->phase_valid = 1;
                }
                cell->lock = (uint16_t)get_u(lock_start + lock_bits * k, lock_bits);
                cell->half_cycle = (uint8_t)get_u(half_start + k, 1);
            }
            if (cnr_bits) {
                uint32_t v = (uint32_t)get_u(cnr_start + cnr_bits * k, cnr_bits);
                // The extended field has a resolution of 1/16 dB-Hz.
                cell->cnr = cnr_bits == 10 ? (float)v * 0.0625f : (float)v;
                // 0 is "not computed" in both widths.
                cell->cnr_valid = v != 0;
            }
            if (has_ext) {
                int64_t fine = get_s(rate_fine_start + 15 * k, 15);
                // Either part at its invalid value leaves the rate unknown.
                if (rough_rate != -8192 && fine != -16384) {
                    cell->phase_rate = (double)rough_rate + fine * 0.0001;
                    cell->phase_rate_valid = 1;
                }
                cell->extended_info = (uint8_t)ext;
                cell->extended_info_valid = 1;
                if (glonass) cell->frequency_channel = (int8_t)(ext <= 13 ? (int)ext - 7 : GLONASS_CHANNEL_UNKNOWN);
            }
            // SBAS satellite id 1 is PRN 120; the RINEX number is PRN - 100.
            cell->satellite = (uint8_t)(s + 1 + sbas_offset);
            cell->signal_index = signal_ids[j];
            cell->signal = nullptr;
            if (system->rtcm_signal != nullptr) {
                int idx = system->rtcm_signal[signal_ids[j]];
                if (idx >= 0 && (uint32_t)idx < system->signal_amount) cell->signal = &system->signal[idx];
            }
        }
    }
    return (int)written;
}

int rtcm3_ephemeris_week_toc(const uint8_t *frame, uint32_t length, int *week, uint32_t *toc)
{
    *week = 0;
    *toc = 0;
    const uint16_t message = rtcm3_get_message_number(frame, length);
    // Frame length, first bit and width of the week, first bit, width and
    // unit (s) of toc.
    uint32_t frame_length, week_pos, week_bits, toc_pos, toc_bits, toc_unit;
    switch (message) {
    case 1019: frame_length = 67; week_pos = 18; week_bits = 10; toc_pos = 56; toc_bits = 16; toc_unit = 16; break;
    case 1044: frame_length = 67; week_pos = 446; week_bits = 10; toc_pos = 16; toc_bits = 16; toc_unit = 16; break;
    case 1042: frame_length = 70; week_pos = 18; week_bits = 13; toc_pos = 54; toc_bits = 17; toc_unit = 8; break;
    case 1045: frame_length = 68; week_pos = 18; week_bits = 12; toc_pos = 62; toc_bits = 14; toc_unit = 60; break;
    case 1046: frame_length = 69; week_pos = 18; week_bits = 12; toc_pos = 62; toc_bits = 14; toc_unit = 60; break;
    default: return -1;
    }
    if (!fixed_frame_ok(frame, length, frame_length, message)) return -1;
    const uint8_t *body = frame + kHeaderBytes;
    uint32_t w = (uint32_t)get_u(body, week_pos, week_bits);
    // GPS and QZSS send the week modulo 1024; the decoders place it from 2048 on.
    if (week_bits == 10 && w < 2048) w += 2048;
    *week = (int)w;
    *toc = (uint32_t)get_u(body, toc_pos, toc_bits) * toc_unit;
    return 0;
}

// ---- reference station ---------------------------------------------------------------------

namespace {

int parse_station(const uint8_t *frame, uint32_t length, rtcm3_station_t *st, uint32_t number, uint32_t frame_length)
{
    memset(st, 0, sizeof(*st));
    if (!fixed_frame_ok(frame, length, frame_length, number)) return -1;
    field_reader_t r = {frame + kHeaderBytes, 12};
    st->station = (uint16_t)read_u(&r, 12);
    st->itrf_year = (uint8_t)read_u(&r, 6);
    st->gps = (uint8_t)read_u(&r, 1);
    st->glonass = (uint8_t)read_u(&r, 1);
    st->galileo = (uint8_t)read_u(&r, 1);
    st->reference_station = (uint8_t)read_u(&r, 1);
    st->x = read_s(&r, 38) * 0.0001;
    st->oscillator = (uint8_t)read_u(&r, 1);
    read_u(&r, 1);
    st->y = read_s(&r, 38) * 0.0001;
    st->quarter_cycle = (uint8_t)read_u(&r, 2);
    st->z = read_s(&r, 38) * 0.0001;
    if (number == 1006) st->height = (float)(read_u(&r, 16) * 0.0001);
    return 0;
}

} // namespace

int rtcm3_parser_1005(const uint8_t *frame, uint32_t length, rtcm3_station_t *station)
{
    return parse_station(frame, length, station, 1005, 25);
}

int rtcm3_parser_1006(const uint8_t *frame, uint32_t length, rtcm3_station_t *station)
{
    return parse_station(frame, length, station, 1006, 27);
}

// ---- ephemerides -----------------------------------------------------------------------------

int rtcm3_parser_1019(const uint8_t *frame, uint32_t length, gps_nav_t *nav)
{
    memset(nav, 0, sizeof(*nav));
    if (!fixed_frame_ok(frame, length, 67, 1019)) return -1;
    gps_nav_raw_t raw;
    memset(&raw, 0, sizeof(raw));
    field_reader_t r = {frame + kHeaderBytes, 12};
    uint8_t prn = (uint8_t)read_u(&r, 6);
    raw.week = (uint16_t)read_u(&r, 10);
    raw.ura = (uint8_t)read_u(&r, 4);
    raw.code_l2 = (uint8_t)read_u(&r, 2);
    raw.idot = (int16_t)read_s(&r, 14);
    raw.iode = (uint8_t)read_u(&r, 8);
    raw.toc = (uint16_t)read_u(&r, 16);
    raw.af2 = (int8_t)read_s(&r, 8);
    raw.af1 = (int16_t)read_s(&r, 16);
    raw.af0 = (int32_t)read_s(&r, 22);
    raw.iodc = (uint16_t)read_u(&r, 10);
    raw.crs = (int16_t)read_s(&r, 16);
    raw.delta_n = (int16_t)read_s(&r, 16);
    raw.m0 = (int32_t)read_s(&r, 32);
    raw.cuc = (int16_t)read_s(&r, 16);
    raw.e = (uint32_t)read_u(&r, 32);
    raw.cus = (int16_t)read_s(&r, 16);
    raw.sqrt_a = (uint32_t)read_u(&r, 32);
    raw.toe = (uint16_t)read_u(&r, 16);
    raw.cic = (int16_t)read_s(&r, 16);
    raw.omega0 = (int32_t)read_s(&r, 32);
    raw.cis = (int16_t)read_s(&r, 16);
    raw.i0 = (int32_t)read_s(&r, 32);
    raw.crc = (int16_t)read_s(&r, 16);
    raw.omega = (int32_t)read_s(&r, 32);
    raw.omega_dot = (int32_t)read_s(&r, 24);
    raw.tgd = (int8_t)read_s(&r, 8);
    raw.health = (uint8_t)read_u(&r, 6);
    raw.l2p_flag = (uint8_t)read_u(&r, 1);
    raw.fit = (uint8_t)read_u(&r, 1);
    raw.iode3 = raw.iode;
    gps_nav_from_raw(nav, &raw);
    nav->prn = prn;
    nav->tow = -1;
    return 0;
}

int rtcm3_parser_1044(const uint8_t *frame, uint32_t length, gps_nav_t *nav)
{
    memset(nav, 0, sizeof(*nav));
    if (!fixed_frame_ok(frame, length, 67, 1044)) return -1;
    gps_nav_raw_t raw;
    memset(&raw, 0, sizeof(raw));
    field_reader_t r = {frame + kHeaderBytes, 12};
    uint8_t prn = (uint8_t)read_u(&r, 4);
    raw.toc = (uint16_t)read_u(&r, 16);
    raw.af2 = (int8_t)read_s(&r, 8);
    raw.af1 = (int16_t)read_s(&r, 16);
    raw.af0 = (int32_t)read_s(&r, 22);
    raw.iode = (uint8_t)read_u(&r, 8);
    raw.crs = (int16_t)read_s(&r, 16);
    raw.delta_n = (int16_t)read_s(&r, 16);
    raw.m0 = (int32_t)read_s(&r, 32);
    raw.cuc = (int16_t)read_s(&r, 16);
    raw.e = (uint32_t)read_u(&r, 32);
    raw.cus = (int16_t)read_s(&r, 16);
    raw.sqrt_a = (uint32_t)read_u(&r, 32);
    raw.toe = (uint16_t)read_u(&r, 16);
    raw.cic = (int16_t)read_s(&r, 16);
    raw.omega0 = (int32_t)read_s(&r, 32);
    raw.cis = (int16_t)read_s(&r, 16);
    raw.i0 = (int32_t)read_s(&r, 32);
    raw.crc = (int16_t)read_s(&r, 16);
    raw.omega = (int32_t)read_s(&r, 32);
    raw.omega_dot = (int32_t)read_s(&r, 24);
    raw.idot = (int16_t)read_s(&r, 14);
    raw.code_l2 = (uint8_t)read_u(&r, 2);
    raw.week = (uint16_t)read_u(&r, 10);
    raw.ura = (uint8_t)read_u(&r, 4);
    raw.health = (uint8_t)read_u(&r, 6);
    raw.tgd = (int8_t)read_s(&r, 8);
    raw.iodc = (uint16_t)read_u(&r, 10);
    raw.fit = (uint8_t)read_u(&r, 1);
    raw.l2p_flag = 1;
    raw.iode3 = raw.iode;
    qzss_nav_from_raw(nav, &raw);
    nav->prn = prn;
    nav->tow = -1;
    return 0;
}

int rtcm3_parser_1042(const uint8_t *frame, uint32_t length, bd2_nav_t *nav)
{
    memset(nav, 0, sizeof(*nav));
    if (!fixed_frame_ok(frame, length, 70, 1042)) return -1;
    bd2_nav_raw_t raw;
    memset(&raw, 0, sizeof(raw));
    field_reader_t r = {frame + kHeaderBytes, 12};
    uint8_t prn = (uint8_t)read_u(&r, 6);
    raw.week = (uint16_t)read_u(&r, 13);
    raw.ura = (uint8_t)read_u(&r, 4);
    raw.idot = (int16_t)read_s(&r, 14);
    raw.aode = (uint8_t)read_u(&r, 5);
    raw.toc = (uint32_t)read_u(&r, 17);
    raw.a2 = (int16_t)read_s(&r, 11);
    raw.a1 = (int32_t)read_s(&r, 22);
    raw.a0 = (int32_t)read_s(&r, 24);
    raw.aodc = (uint8_t)read_u(&r, 5);
    raw.crs = (int32_t)read_s(&r, 18);
    raw.delta_n = (int16_t)read_s(&r, 16);
    raw.m0 = (int32_t)read_s(&r, 32);
    raw.cuc = (int32_t)read_s(&r, 18);
    raw.e = (uint32_t)read_u(&r, 32);
    raw.cus = (int32_t)read_s(&r, 18);
    raw.sqrt_a = (uint32_t)read_u(&r, 32);
    raw.toe = (uint32_t)read_u(&r, 17);
    raw.cic = (int32_t)read_s(&r, 18);
    raw.omega0 = (int32_t)read_s(&r, 32);
    raw.cis = (int32_t)read_s(&r, 18);
    raw.i0 = (int32_t)read_s(&r, 32);
    raw.crc = (int32_t)read_s(&r, 18);
    raw.omega = (int32_t)read_s(&r, 32);
    raw.omega_dot = (int32_t)read_s(&r, 24);
    raw.tgd1 = (int16_t)read_s(&r, 10);
    raw.tgd2 = (int16_t)read_s(&r, 10);
    raw.health = (uint8_t)read_u(&r, 1);
    raw.tow = -1;
    raw.prn = prn;
    bd2_nav_from_raw(nav, &raw);
    nav->prn = prn;
    nav->tow = -1;
    return 0;
}

namespace {

// Fields 1045 and 1046 share up to the rate of right ascension.
template <typename Raw>
void read_galileo_common(field_reader_t *r, Raw *raw)
{
    raw->prn = (uint8_t)read_u(r, 6);
    raw->week = (uint16_t)read_u(r, 12);
    raw->iodnav = (uint16_t)read_u(r, 10);
    raw->sisa = (uint8_t)read_u(r, 8);
    raw->idot = (int16_t)read_s(r, 14);
    raw->toc = (uint16_t)read_u(r, 14);
    raw->af2 = (int8_t)read_s(r, 6);
    raw->af1 = (int32_t)read_s(r, 21);
    raw->af0 = (int32_t)read_s(r, 31);
    raw->crs = (int16_t)read_s(r, 16);
    raw->delta_n = (int16_t)read_s(r, 16);
    raw->m0 = (int32_t)read_s(r, 32);
    raw->cuc = (int16_t)read_s(r, 16);
    raw->e = (uint32_t)read_u(r, 32);
    raw->cus = (int16_t)read_s(r, 16);
    raw->sqrt_a = (uint32_t)read_u(r, 32);
    raw->toe = (uint16_t)read_u(r, 14);
    raw->cic = (int16_t)read_s(r, 16);
    raw->omega0 = (int32_t)read_s(r, 32);
    raw->cis = (int16_t)read_s(r, 16);
    raw->i0 = (int32_t)read_s(r, 32);
    raw->crc = (int16_t)read_s(r, 16);
    raw->omega = (int32_t)read_s(r, 32);
    raw->omega_dot = (int32_t)read_s(r, 24);
}

} // namespace

int rtcm3_parser_1045(const uint8_t *frame, uint32_t length, galileo_fnav_t *nav)
{
    memset(nav, 0, sizeof(*nav));
    if (!fixed_frame_ok(frame, length, 68, 1045)) return -1;
    galileo_fnav_raw_t raw;
    memset(&raw, 0, sizeof(raw));
    field_reader_t r = {frame + kHeaderBytes, 12};
    read_galileo_common(&r, &raw);
    raw.bgd_e5a = (int16_t)read_s(&r, 10);
    raw.e5a_hs = (uint8_t)read_u(&r, 2);
    raw.e5a_dvs = (uint8_t)read_u(&r, 1);
    raw.tow = -1;
    galileo_fnav_from_raw(nav, &raw);
    return 0;
}

int rtcm3_parser_1046(const uint8_t *frame, uint32_t length, galileo_inav_t *nav)
{
    memset(nav, 0, sizeof(*nav));
    if (!fixed_frame_ok(frame, length, 69, 1046)) return -1;
    galileo_inav_raw_t raw;
    memset(&raw, 0, sizeof(raw));
    field_reader_t r = {frame + kHeaderBytes, 12};
    read_galileo_common(&r, &raw);
    raw.bgd_e5a = (int16_t)read_s(&r, 10);
    raw.bgd_e5b = (int16_t)read_s(&r, 10);
    raw.e5b_hs = (uint8_t)read_u(&r, 2);
    raw.e5b_dvs = (uint8_t)read_u(&r, 1);
    raw.e1b_hs = (uint8_t)read_u(&r, 2);
    raw.e1b_dvs = (uint8_t)read_u(&r, 1);
    raw.tow = -1;
    raw.source = 0;
    galileo_inav_from_raw(nav, &raw);
    return 0;
}

int rtcm3_parser_1020(const uint8_t *frame, uint32_t length, glonass_nav_t *nav)
{
    memset(nav, 0, sizeof(*nav));
    if (!fixed_frame_ok(frame, length, 51, 1020)) return -1;
    glonass_nav_raw_t raw;
    memset(&raw, 0, sizeof(raw));
    field_reader_t r = {frame + kHeaderBytes, 12};
    raw.slot = (uint8_t)read_u(&r, 6);
    uint32_t channel = (uint32_t)read_u(&r, 5);
    read_u(&r, 2); // almanac health and its availability
    raw.p1 = (uint8_t)read_u(&r, 2);
    raw.tk = (uint16_t)read_u(&r, 12);
    raw.bn = (uint8_t)(read_u(&r, 1) * 4);
    raw.p2 = (uint8_t)read_u(&r, 1);
    raw.tb = (uint8_t)read_u(&r, 7);
    raw.vx = (int32_t)read_u(&r, 24);
    raw.x = (int32_t)read_u(&r, 27);
    raw.ax = (int32_t)read_u(&r, 5);
    raw.vy = (int32_t)read_u(&r, 24);
    raw.y = (int32_t)read_u(&r, 27);
    raw.ay = (int32_t)read_u(&r, 5);
    raw.vz = (int32_t)read_u(&r, 24);
    raw.z = (int32_t)read_u(&r, 27);
    raw.az = (int32_t)read_u(&r, 5);
    raw.p3 = (uint8_t)read_u(&r, 1);
    raw.gamma = (int32_t)read_u(&r, 11);
    raw.p = (uint8_t)read_u(&r, 2);
    raw.ln3 = (uint8_t)read_u(&r, 1);
    raw.tau = (int32_t)read_u(&r, 22);
    raw.delta_tau = (int32_t)read_u(&r, 5);
    raw.en = (uint8_t)read_u(&r, 5);
    raw.p4 = (uint8_t)read_u(&r, 1);
    raw.ft = (uint8_t)read_u(&r, 4);
    raw.nt = (uint16_t)read_u(&r, 11);
    raw.m = (uint8_t)read_u(&r, 2);
    read_u(&r, 1); // availability of additional data
    raw.na = (uint16_t)read_u(&r, 11);
    raw.tau_c = (int32_t)(uint32_t)read_u(&r, 32);
    raw.four_year = (uint8_t)read_u(&r, 5);
    raw.tau_gps = (int32_t)read_u(&r, 22);
    raw.ln5 = (uint8_t)read_u(&r, 1);
    raw.frequency_channel = (int8_t)((int)channel - 7);
    glonass_nav_update_int(&raw);
    glonass_nav_from_raw(nav, &raw);
    nav->frequency_channel = (int8_t)((int)channel - 7);
    return 0;
}

// ---- messages used only by text dumps ------------------------------------------------------

int rtcm3_parser_36(const uint8_t *frame, uint32_t length, rtcm3_meteo_t *meteo)
{
    memset(meteo, 0, sizeof(*meteo));
    if (!fixed_frame_ok(frame, length, 14, 36)) return -1;
    // The 12-bit number and four spare bits, then three 16-bit values.
    const uint8_t *body = frame + kHeaderBytes;
    for (int i = 0; i < 3; i++) meteo->value[i] = (uint16_t)get_u(body, 16 + 16 * (uint32_t)i, 16);
    return 0;
}

namespace {

bool valid_utf8(const uint8_t *s, uint32_t n)
{
    uint32_t i = 0;
    while (i < n) {
        uint8_t b = s[i];
        uint32_t extra;
        uint32_t min;
        uint32_t cp;
        if (b < 0x80) { i++; continue; }
        if ((b & 0xE0) == 0xC0) { extra = 1; min = 0x80; cp = b & 0x1F; }
        else if ((b & 0xF0) == 0xE0) { extra = 2; min = 0x800; cp = b & 0x0F; }
        else if ((b & 0xF8) == 0xF0) { extra = 3; min = 0x10000; cp = b & 0x07; }
        else return false;
        if (n - i <= extra) return false;
        for (uint32_t k = 1; k <= extra; k++) {
            if ((s[i + k] & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (s[i + k] & 0x3F);
        }
        if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
        i += extra + 1;
    }
    return true;
}

// Reads a length byte and that many characters into `out` (32 bytes); false
// when the length is 32 or more or the string runs past `end` bits.
bool read_string(field_reader_t *r, uint64_t end, char *out)
{
    if (r->pos + 8 > end) return false;
    uint32_t n = (uint32_t)read_u(r, 8);
    if (n >= 32 || r->pos + 8ull * n > end) return false;
    for (uint32_t i = 0; i < n; i++) out[i] = (char)read_u(r, 8);
    out[n] = 0;
    return true;
}

} // namespace

int rtcm3_parser_1029(const uint8_t *frame, uint32_t length, rtcm3_text_t *text)
{
    memset(text, 0, sizeof(*text));
    // Fixed part: number 12, station 12, day 16, seconds 17, characters 7,
    // code units 8 = 72 bits.
    if (frame == nullptr || length < kOverheadBytes + 9) return -1;
    if (get_u(frame + kHeaderBytes, 0, 12) != 1029) return -1;
    field_reader_t r = {frame + kHeaderBytes, 12};
    text->station = (uint16_t)read_u(&r, 12);
    text->mjd = (uint16_t)read_u(&r, 16);
    text->seconds = (uint32_t)read_u(&r, 17);
    text->characters = (uint8_t)read_u(&r, 7);
    text->length = (uint8_t)read_u(&r, 8);
    if ((uint64_t)9 + text->length > length - kOverheadBytes) {
        memset(text, 0, sizeof(*text));
        return -1;
    }
    const uint8_t *chars = frame + kHeaderBytes + 9;
    if (!valid_utf8(chars, text->length)) {
        memset(text, 0, sizeof(*text));
        return -2;
    }
    memcpy(text->text, chars, text->length);
    text->text[text->length] = 0;
    // MJD 40587 is 1970-01-01.
    text->time = ((int64_t)text->mjd - 40587) * 86400000 + (int64_t)text->seconds * 1000;
    return 0;
}

int rtcm3_parser_1033(const uint8_t *frame, uint32_t length, rtcm3_descriptor_t *d)
{
    memset(d, 0, sizeof(*d));
    if (frame == nullptr || length < kOverheadBytes + 3) return -1;
    if (get_u(frame + kHeaderBytes, 0, 12) != 1033) return -1;
    const uint64_t end = body_bits(length);
    field_reader_t r = {frame + kHeaderBytes, 12};
    d->station = (uint16_t)read_u(&r, 12);
    bool ok = read_string(&r, end, d->antenna);
    if (ok && r.pos + 8 <= end)
        d->setup_id = (uint8_t)read_u(&r, 8);
    else
        ok = false;
    ok = ok && read_string(&r, end, d->antenna_serial);
    ok = ok && read_string(&r, end, d->receiver);
    ok = ok && read_string(&r, end, d->firmware);
    ok = ok && read_string(&r, end, d->receiver_serial);
    if (!ok) {
        memset(d, 0, sizeof(*d));
        return -1;
    }
    return 0;
}

// ---- legacy observations ---------------------------------------------------------------------

namespace {

// Header bits: number, station, epoch (30 GPS, 27 GLONASS), synchronous flag,
// satellite count, smoothing indicator and interval.
const uint32_t kLegacyGpsHeaderBits = 64;
const uint32_t kLegacyGlonassHeaderBits = 61;
// Bits per satellite, indexed by message number - 1001 (GPS) or - 1009 (GLONASS).
const uint32_t kLegacyGpsSatelliteBits[4] = {58, 74, 101, 125};
const uint32_t kLegacyGlonassSatelliteBits[4] = {64, 79, 107, 130};

// The light-millisecond (GPS) and two light-milliseconds (GLONASS) that the
// ambiguity fields count.
const double kGpsAmbiguityUnit = 299792.458;
const double kGlonassAmbiguityUnit = 599584.916;

const int64_t kInvalidPhaseDiff = -524288; // 80000h in the 20-bit fields
const int64_t kInvalidL2CodeDiff = -8192;  // 2000h in the 14-bit field

// The RINEX signal of a GPS-message code: L1 0 C/A, 1 P(Y) direct; L2 0 C/A
// or L2C, 1 P(Y) direct, 2 P(Y) cross-correlated, 3 correlated P/Y. The L2C
// component is not told, so it is the combined one; the cross-correlated and
// codeless modes are the semi-codeless tracking of the encrypted code.
const gnss_signal_t *legacy_gps_signal(bool l2, uint8_t code)
{
    if (!l2) return code == 0 ? &GNSS_SIGNAL_GPS[0] /* 1C */ : &GNSS_SIGNAL_GPS[8] /* 1W */;
    switch (code) {
    case 0: return &GNSS_SIGNAL_GPS[10]; // 2X
    case 1: return &GNSS_SIGNAL_GPS[1];  // 2P
    default: return &GNSS_SIGNAL_GPS[2]; // 2W
    }
}

// GLONASS: 0 C/A, 1 P on either band; L2 codes 2 and 3 are reserved.
const gnss_signal_t *legacy_glonass_signal(bool l2, uint8_t code)
{
    if (!l2) return code == 0 ? &GNSS_SIGNAL_GLONASS[0] /* 1C */ : &GNSS_SIGNAL_GLONASS[4] /* 1P */;
    if (code == 0) return &GNSS_SIGNAL_GLONASS[1]; // 2C
    if (code == 1) return &GNSS_SIGNAL_GLONASS[2]; // 2P
    return nullptr;
}

} // namespace

int rtcm3_is_legacy_observation(uint32_t message)
{
    return (message >= 1001 && message <= 1004) || (message >= 1009 && message <= 1012);
}

int rtcm3_parser_legacy_header(const uint8_t *frame, uint32_t length, rtcm3_legacy_header_t *header)
{
    memset(header, 0, sizeof(*header));
    if (frame == nullptr || body_bits(length) < kLegacyGpsHeaderBits) return -1;
    const uint8_t *body = frame + kHeaderBytes;
    field_reader_t r = {body, 0};
    const uint32_t message = (uint32_t)read_u(&r, 12);
    if (!rtcm3_is_legacy_observation(message)) return -2;
    const bool glonass = message >= 1009;
    header->message = (uint16_t)message;
    header->station = (uint16_t)read_u(&r, 12);
    header->epoch = (uint32_t)read_u(&r, glonass ? 27 : 30);
    header->synchronous = (uint8_t)read_u(&r, 1);
    header->satellite_amount = (uint8_t)read_u(&r, 5);
    header->smoothing = (uint8_t)read_u(&r, 1);
    header->smoothing_interval = (uint8_t)read_u(&r, 3);
    const uint32_t kind = message - (glonass ? 1009 : 1001);
    header->glonass = glonass;
    header->l2 = kind >= 2;
    header->extended = kind == 1 || kind == 3;
    const uint64_t needed = (glonass ? kLegacyGlonassHeaderBits : kLegacyGpsHeaderBits) +
                            (uint64_t)header->satellite_amount *
                                (glonass ? kLegacyGlonassSatelliteBits : kLegacyGpsSatelliteBits)[kind];
    if (body_bits(length) < needed) {
        memset(header, 0, sizeof(*header));
        return -5;
    }
    header->frame = frame;
    header->frame_length = length;
    return 0;
}

int rtcm3_parser_legacy(const rtcm3_legacy_header_t *header, rtcm3_legacy_obs_t *obs, uint32_t capacity)
{
    if (obs != nullptr && capacity > 0) memset(obs, 0, sizeof(*obs) * capacity);
    if (header == nullptr || obs == nullptr || capacity == 0 || header->frame == nullptr) return 0;
    // Recheck the layout from the message number itself, so that a header
    // record changed after decoding cannot steer the reads outside the frame.
    const uint32_t message = rtcm3_get_uint(header->frame + kHeaderBytes, 0, 12);
    if (!rtcm3_is_legacy_observation(message) || body_bits(header->frame_length) < kLegacyGpsHeaderBits) return 0;
    const bool glonass = message >= 1009;
    const uint32_t kind = message - (glonass ? 1009 : 1001);
    const bool l2 = kind >= 2, extended = kind == 1 || kind == 3;
    const uint32_t header_bits = glonass ? kLegacyGlonassHeaderBits : kLegacyGpsHeaderBits;
    const uint32_t sat_bits = (glonass ? kLegacyGlonassSatelliteBits : kLegacyGpsSatelliteBits)[kind];
    const uint8_t *body = header->frame + kHeaderBytes;
    const uint32_t amount = (uint32_t)rtcm3_get_uint(body, header_bits - 9, 5);
    if (body_bits(header->frame_length) < header_bits + (uint64_t)amount * sat_bits) return 0;

    const double unit = glonass ? kGlonassAmbiguityUnit : kGpsAmbiguityUnit;
    uint32_t n = 0;
    for (uint32_t i = 0; i < amount && n < capacity; i++) {
        field_reader_t r = {body, header_bits + i * sat_bits};
        rtcm3_legacy_obs_t *o = &obs[n];
        o->satellite = (uint8_t)read_u(&r, 6);
        o->l1.code = (uint8_t)read_u(&r, 1);
        int channel = glonass ? (int)read_u(&r, 5) - 7 : 0;
        double pr = (double)read_u(&r, glonass ? 25 : 24) * 0.02;
        int64_t phase_diff = read_s(&r, 20);
        o->l1.lock = (uint8_t)read_u(&r, 7);
        if (extended) {
            pr += (double)read_u(&r, glonass ? 7 : 8) * unit;
            uint32_t cnr = (uint32_t)read_u(&r, 8);
            o->l1.cnr = (float)(cnr * 0.25);
            o->l1.cnr_valid = cnr != 0;
        }
        o->full_range = extended;
        o->l1.pseudorange = pr;
        o->l1.pseudorange_valid = 1;
        if (phase_diff != kInvalidPhaseDiff) {
            o->l1.phase_range = pr + (double)phase_diff * 0.0005;
            o->l1.phase_valid = 1;
        }
        if (l2) {
            o->l2.code = (uint8_t)read_u(&r, 2);
            int64_t code_diff = read_s(&r, 14);
            int64_t phase2_diff = read_s(&r, 20);
            o->l2.lock = (uint8_t)read_u(&r, 7);
            if (extended) {
                uint32_t cnr = (uint32_t)read_u(&r, 8);
                o->l2.cnr = (float)(cnr * 0.25);
                o->l2.cnr_valid = cnr != 0;
            }
            // Some receivers leave the L2 block of a satellite they track on
            // L1 only filled with zeros instead of the invalid markers: an L2
            // code and carrier both exactly the L1 pseudorange, never locked,
            // no C/N0. A real L2 track cannot give that (the ionosphere alone
            // parts the two codes), and taking it would write an L2 range and
            // carrier copied from L1.
            const bool l2Empty = code_diff == 0 && phase2_diff == 0 && o->l2.lock == 0 && !o->l2.cnr_valid;
            if (code_diff != kInvalidL2CodeDiff && !l2Empty) {
                o->l2.pseudorange = pr + (double)code_diff * 0.02;
                o->l2.pseudorange_valid = 1;
            }
            if (phase2_diff != kInvalidPhaseDiff && !l2Empty) {
                o->l2.phase_range = pr + (double)phase2_diff * 0.0005;
                o->l2.phase_valid = 1;
            }
        }
        // Satellite numbers: GPS PRN 1 to 32 and SBAS 40 to 58 (PRN 120 to
        // 138, id + 80) in the GPS messages, GLONASS slots in the others
        // (0: slot unknown, which names no satellite).
        const uint8_t id = o->satellite;
        if (glonass) {
            o->frequency_channel = (int8_t)channel;
            if (id >= 1 && id <= 32) {
                o->prn = id;
                o->l1.signal = legacy_glonass_signal(false, o->l1.code);
                if (l2) o->l2.signal = legacy_glonass_signal(true, o->l2.code);
            }
        } else if (id >= 1 && id <= 32) {
            o->prn = id;
            o->l1.signal = legacy_gps_signal(false, o->l1.code);
            if (l2) o->l2.signal = legacy_gps_signal(true, o->l2.code);
        } else if (id >= 40 && id <= 58 && o->l1.code == 0) {
            o->prn = (uint8_t)(id + 80 - 100);
            o->l1.signal = &GNSS_SIGNAL_SBAS[0]; // L1 C/A; SBAS sends nothing on L2
        }
        n++;
    }
    return (int)n;
}

uint32_t rtcm3_legacy_lock_seconds(uint8_t indicator)
{
    // Lock time indicator table of the legacy observation messages: the
    // resolution coarsens from 1 s to 32 s as the lock grows.
    const uint32_t i = indicator;
    if (i < 24) return i;
    if (i < 48) return 2 * i - 24;
    if (i < 72) return 4 * i - 120;
    if (i < 96) return 8 * i - 408;
    if (i < 120) return 16 * i - 1176;
    if (i < 127) return 32 * i - 3096;
    return 937;
}
