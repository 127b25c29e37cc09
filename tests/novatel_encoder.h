// Test-side builder of NovAtel OEM binary frames (long header, AA 44 12), from
// the published log layouts: fields are written little-endian at the offsets
// of the log reference, bit fields of the compressed range logs are placed
// least significant bit first. Independent of the decoders under test; only
// the CRC comes from the library.
#ifndef QUORVANE_TESTS_NOVATEL_ENCODER_H
#define QUORVANE_TESTS_NOVATEL_ENCODER_H

#include <stdint.h>
#include <string.h>

#include <algorithm>
#include <initializer_list>
#include <utility>
#include <vector>

#include "util.h"

namespace novenc {

// A bit field: position from bit 0 of the block, width, value (only its low
// `width` bits are kept, so negative values come out in two's complement).
struct Bits {
    unsigned position, width;
    uint64_t value;
};

// A body under construction: fields are written at explicit offsets, so the
// tests read like the log reference tables.
struct Body {
    std::vector<uint8_t> b;
    explicit Body(size_t size = 0) : b(size, 0) {}
    void grow(size_t end) { b.resize(std::max(b.size(), end), 0); }
    // Little-endian integer of n bytes.
    void le(size_t at, uint64_t v, int n)
    {
        grow(at + n);
        for (int i = 0; i < n; ++i) b[at + i] = (uint8_t)(v >> (8 * i));
    }
    void u8(size_t at, uint8_t v) { le(at, v, 1); }
    void u16(size_t at, uint16_t v) { le(at, v, 2); }
    void u32(size_t at, uint32_t v) { le(at, v, 4); }
    // IEEE 754 single and double precision.
    template <typename U, typename F> void ieee(size_t at, F v)
    {
        U u;
        memcpy(&u, &v, sizeof u);
        le(at, u, sizeof u);
    }
    void f32(size_t at, float v) { ieee<uint32_t>(at, v); }
    void f64(size_t at, double v) { ieee<uint64_t>(at, v); }
    // Consecutive bytes from `at`; several fields of one type as (offset,
    // value) pairs.
    void u8s(size_t at, std::initializer_list<uint8_t> v) { for (uint8_t x : v) u8(at++, x); }
    void u32s(std::initializer_list<std::pair<size_t, uint32_t>> v) { for (const auto &p : v) u32(p.first, p.second); }
    void f64s(std::initializer_list<std::pair<size_t, double>> v) { for (const auto &p : v) f64(p.first, p.second); }
    // Bit field, least significant bit first from bit 0 of byte `at`.
    void bits(size_t at, unsigned position, unsigned width, uint64_t value)
    {
        grow(at + (position + width + 7) / 8);
        for (unsigned i = 0; i < width; ++i) {
            unsigned bit = position + i;
            uint8_t mask = (uint8_t)(1u << (bit % 8));
            if ((value >> i) & 1) b[at + bit / 8] |= mask;
            else b[at + bit / 8] &= (uint8_t)~mask;
        }
    }
    void bits(size_t at, std::initializer_list<Bits> list)
    {
        for (const Bits &f : list) bits(at, f.position, f.width, f.value);
    }
};

struct Header {
    uint16_t id = 0;
    uint8_t type = 0;
    uint8_t port = 0x20;
    uint16_t sequence = 0;
    uint8_t idle = 100;
    uint8_t time_status = 180; // fine steering
    uint16_t week = 1761;
    uint32_t ms = 317088000;
    uint32_t receiver_status = 0;
    uint16_t version = 9570;
    uint8_t header_length = 28;
};

// Whole frame: header, body and the CRC (little-endian). A body length may be
// forced to a value that differs from the bytes given.
inline std::vector<uint8_t> frame(const Header &h, const std::vector<uint8_t> &body, int forced_length = -1)
{
    const uint16_t length = forced_length >= 0 ? (uint16_t)forced_length : (uint16_t)body.size();
    // Offset, bytes, value; AA 44 12 is the sync.
    const uint64_t fields[][3] = {{0, 3, 0x1244AA},       {3, 1, h.header_length}, {4, 2, h.id},
                                  {6, 1, h.type},         {7, 1, h.port},          {8, 2, length},
                                  {10, 2, h.sequence},    {12, 1, h.idle},         {13, 1, h.time_status},
                                  {14, 2, h.week},        {16, 4, h.ms},           {20, 4, h.receiver_status},
                                  {26, 2, h.version}};
    Body f(h.header_length);
    for (const auto &x : fields) f.le(x[0], x[2], (int)x[1]);
    f.b.resize(h.header_length); // a header length below 28 cuts the fields
    f.b.insert(f.b.end(), body.begin(), body.end());
    f.u32(f.b.size(), util_crc32_novatel(0, f.b.data(), (uint32_t)f.b.size()));
    return f.b;
}

// Channel tracking status word of RANGE and RANGECMP: phase lock loop
// tracking state (4), parity known, and the given fields.
inline uint32_t status(uint32_t system, uint32_t signal_type, uint32_t channel, bool phase_lock, bool code_lock,
                       bool bit26 = false)
{
    return 4 | (channel & 0x1F) << 5 | (uint32_t)phase_lock << 10 | 1u << 11 | (uint32_t)code_lock << 12 |
           (system & 7) << 16 | (signal_type & 0x1F) << 21 | (uint32_t)bit26 << 26;
}

// One RANGE record (44 bytes) at `at`.
struct RangeRecord {
    uint16_t prn = 0, glofreq = 0;
    double psr = 0;
    float psr_std = 0;
    double adr = 0;
    float adr_std = 0, doppler = 0, cno = 0, locktime = 0;
    uint32_t status = 0;
};

inline void put_range(Body &body, size_t at, const RangeRecord &r)
{
    body.u16(at + 0, r.prn);
    body.u16(at + 2, r.glofreq);
    body.f64(at + 4, r.psr);
    body.f32(at + 12, r.psr_std);
    body.f64(at + 16, r.adr);
    body.f32(at + 24, r.adr_std);
    body.f32(at + 28, r.doppler);
    body.f32(at + 32, r.cno);
    body.f32(at + 36, r.locktime);
    body.u32(at + 40, r.status);
}

// One RANGECMP record (24 bytes) at `at`, from values already in the units of
// the fields: doppler in 1/256 Hz, psr in 1/128 m, adr in 1/256 cycles (the
// low 32 bits are kept, as the receiver does), lock time in 1/32 s.
struct RangecmpRecord {
    uint32_t status;
    int32_t doppler_256;   // 28 bits signed
    uint64_t psr_128;      // 36 bits
    int64_t adr_256;       // written modulo 2^32
    uint8_t psr_std_index; // 4 bits
    uint8_t adr_std_code;  // 4 bits, std = (code + 1) / 512
    uint8_t prn;
    uint32_t lock_32;      // 21 bits
    uint8_t cno_code;      // 5 bits, C/N0 - 20
    uint8_t freq;          // 6 bits, GLONASS channel + 7
};

inline void put_rangecmp(Body &body, size_t at, const RangecmpRecord &r)
{
    body.bits(at, {{0, 32, r.status}, {32, 28, (uint64_t)r.doppler_256}, {60, 36, r.psr_128},
                   {96, 32, (uint64_t)r.adr_256}, {128, 4, r.psr_std_index}, {132, 4, r.adr_std_code},
                   {136, 8, r.prn}, {144, 21, r.lock_32}, {165, 5, r.cno_code}, {170, 6, r.freq}, {176, 16, 0}});
}

// RANGECMP2 satellite block (10 bytes): channel, PRN, 4-bit GLONASS frequency,
// 5-bit system, 29-bit pseudorange base (m), 21-bit signed Doppler base (Hz),
// 4-bit signal count.
struct SatBlock {
    uint8_t sv_channel, prn, freq, system;
    uint32_t psr_base;
    int32_t doppler_base;
    uint8_t signals;
};

inline void put_sat_block(Body &body, size_t at, const SatBlock &s)
{
    body.bits(at, {{0, 8, s.sv_channel}, {8, 8, s.prn}, {16, 4, s.freq}, {20, 5, s.system}, {25, 1, 0},
                   {26, 29, s.psr_base}, {55, 21, (uint64_t)s.doppler_base}, {76, 4, s.signals}});
}

// RANGECMP2 signal block (12 bytes): 5-bit type, phase lock, parity, code
// lock, 17-bit lock time (ms), 5-bit C/N0 - 20, 4-bit std indices, and the
// differences to the satellite block: 14-bit psr in 1/128 m, 20-bit phase in
// 1/2048 m, 17-bit signed Doppler in 1/256 Hz.
struct SignalBlock {
    uint8_t type;
    bool phase_lock, parity, code_lock;
    uint32_t lock_ms;
    uint8_t cno_code, psr_std, adr_std;
    uint32_t psr_diff_128, phase_diff_2048;
    int32_t doppler_diff_256;
};

inline void put_signal_block(Body &body, size_t at, const SignalBlock &s)
{
    body.bits(at, {{0, 5, s.type}, {5, 1, s.phase_lock}, {6, 1, s.parity}, {7, 1, s.code_lock},
                   {8, 17, s.lock_ms}, {25, 7, 0}, {32, 5, s.cno_code}, {37, 4, s.psr_std}, {41, 4, s.adr_std},
                   {45, 14, s.psr_diff_128}, {59, 20, s.phase_diff_2048}, {79, 17, (uint64_t)s.doppler_diff_256}});
}

// A whole RANGE log of the given records at GPS week and ms of week.
inline std::vector<uint8_t> range_log(uint16_t week, uint32_t ms, const std::vector<RangeRecord> &records)
{
    Header h;
    h.id = 43;
    h.week = week;
    h.ms = ms;
    Body body(4 + 44 * records.size());
    body.u32(0, (uint32_t)records.size());
    for (size_t i = 0; i < records.size(); ++i) put_range(body, 4 + 44 * i, records[i]);
    return frame(h, body.b);
}

// A tracked GPS L1 C/A record of satellite `prn` at `range` metres.
inline RangeRecord gps_l1(uint16_t prn, double range)
{
    RangeRecord r;
    r.prn = prn;
    r.psr = range;
    r.adr = -range / 0.190293672798; // cycles of L1, with the log's sign
    r.cno = 45;
    r.locktime = 100;
    r.status = status(0, 0, prn, true, true);
    return r;
}

} // namespace novenc

#endif
