// Test-side builder of NovAtel OEM binary frames (long header, AA 44 12), from
// the published log layouts: fields are written little-endian at the offsets
// of the log reference, bit fields of the compressed range logs are placed
// least significant bit first. Independent of the decoders under test; only
// the CRC comes from the library.
#ifndef QUORVANE_TESTS_NOVATEL_ENCODER_H
#define QUORVANE_TESTS_NOVATEL_ENCODER_H

#include <stdint.h>
#include <string.h>

#include <vector>

#include "util.h"

namespace novenc {

// A body under construction: fields are written at explicit offsets, so the
// tests read like the log reference tables.
struct Body {
    std::vector<uint8_t> b;
    explicit Body(size_t size = 0) : b(size, 0) {}
    void grow(size_t end)
    {
        if (b.size() < end) b.resize(end, 0);
    }
    // Little-endian integer of n bytes.
    void le(size_t at, uint64_t v, int n)
    {
        grow(at + n);
        for (int i = 0; i < n; ++i) b[at + i] = (uint8_t)(v >> (8 * i));
    }
    void u8(size_t at, uint8_t v) { le(at, v, 1); }
    void u16(size_t at, uint16_t v) { le(at, v, 2); }
    void u32(size_t at, uint32_t v) { le(at, v, 4); }
    void f32(size_t at, float v)
    {
        uint32_t u;
        memcpy(&u, &v, 4);
        le(at, u, 4);
    }
    void f64(size_t at, double v)
    {
        uint64_t u;
        memcpy(&u, &v, 8);
        le(at, u, 8);
    }
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
    Body f(h.header_length);
    f.le(0, 0x1244AA, 3); // AA 44 12
    f.u8(3, h.header_length);
    f.u16(4, h.id);
    f.u8(6, h.type);
    f.u8(7, h.port);
    f.u16(8, forced_length >= 0 ? (uint16_t)forced_length : (uint16_t)body.size());
    f.u16(10, h.sequence);
    f.u8(12, h.idle);
    f.u8(13, h.time_status);
    f.u16(14, h.week);
    f.u32(16, h.ms);
    f.u32(20, h.receiver_status);
    f.u16(26, h.version);
    f.b.resize(h.header_length); // a header length below 28 cuts the fields
    f.b.insert(f.b.end(), body.begin(), body.end());
    f.u32(f.b.size(), util_crc32_novatel(0, f.b.data(), (uint32_t)f.b.size()));
    return f.b;
}

// Channel tracking status word of RANGE and RANGECMP.
inline uint32_t status(uint32_t system, uint32_t signal_type, uint32_t channel, bool phase_lock, bool code_lock,
                       bool bit26 = false)
{
    uint32_t s = 4; // phase lock loop tracking state
    s |= (channel & 0x1F) << 5;
    if (phase_lock) s |= 1u << 10;
    s |= 1u << 11; // parity known
    if (code_lock) s |= 1u << 12;
    s |= (system & 7) << 16;
    s |= (signal_type & 0x1F) << 21;
    if (bit26) s |= 1u << 26;
    return s;
}

// One RANGE record (44 bytes) at `at`.
struct RangeRecord {
    uint16_t prn = 0;
    uint16_t glofreq = 0;
    double psr = 0;
    float psr_std = 0;
    double adr = 0;
    float adr_std = 0;
    float doppler = 0;
    float cno = 0;
    float locktime = 0;
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
    uint32_t status = 0;
    int32_t doppler_256 = 0;   // 28 bits signed
    uint64_t psr_128 = 0;      // 36 bits
    int64_t adr_256 = 0;       // written modulo 2^32
    uint8_t psr_std_index = 0; // 4 bits
    uint8_t adr_std_code = 0;  // 4 bits, std = (code + 1) / 512
    uint8_t prn = 0;
    uint32_t lock_32 = 0;      // 21 bits
    uint8_t cno_code = 0;      // 5 bits, C/N0 - 20
    uint8_t freq = 0;          // 6 bits, GLONASS channel + 7
};

inline void put_rangecmp(Body &body, size_t at, const RangecmpRecord &r)
{
    body.bits(at, 0, 32, r.status);
    body.bits(at, 32, 28, (uint32_t)r.doppler_256 & 0x0FFFFFFFu);
    body.bits(at, 60, 36, r.psr_128);
    body.bits(at, 96, 32, (uint64_t)r.adr_256 & 0xFFFFFFFFull);
    body.bits(at, 128, 4, r.psr_std_index);
    body.bits(at, 132, 4, r.adr_std_code);
    body.bits(at, 136, 8, r.prn);
    body.bits(at, 144, 21, r.lock_32);
    body.bits(at, 165, 5, r.cno_code);
    body.bits(at, 170, 6, r.freq);
    body.bits(at, 176, 16, 0);
}

// RANGECMP2 satellite block (10 bytes) and signal block (12 bytes).
struct SatBlock {
    uint8_t sv_channel = 0;
    uint8_t prn = 0;
    uint8_t freq = 0;        // 4 bits
    uint8_t system = 0;      // 5 bits
    uint32_t psr_base = 0;   // 29 bits, m
    int32_t doppler_base = 0; // 21 bits signed, Hz
    uint8_t signals = 0;     // 4 bits
};

inline void put_sat_block(Body &body, size_t at, const SatBlock &s)
{
    body.bits(at, 0, 8, s.sv_channel);
    body.bits(at, 8, 8, s.prn);
    body.bits(at, 16, 4, s.freq);
    body.bits(at, 20, 5, s.system);
    body.bits(at, 25, 1, 0);
    body.bits(at, 26, 29, s.psr_base);
    body.bits(at, 55, 21, (uint32_t)s.doppler_base & 0x1FFFFFu);
    body.bits(at, 76, 4, s.signals);
}

struct SignalBlock {
    uint8_t type = 0;          // 5 bits
    bool phase_lock = false;
    bool parity = false;
    bool code_lock = false;
    uint32_t lock_ms = 0;      // 17 bits
    uint8_t cno_code = 0;      // 5 bits, C/N0 - 20
    uint8_t psr_std = 0;       // 4 bits
    uint8_t adr_std = 0;       // 4 bits
    uint32_t psr_diff_128 = 0; // 14 bits
    uint32_t phase_diff_2048 = 0; // 20 bits
    int32_t doppler_diff_256 = 0; // 17 bits signed
};

inline void put_signal_block(Body &body, size_t at, const SignalBlock &s)
{
    body.bits(at, 0, 5, s.type);
    body.bits(at, 5, 1, s.phase_lock);
    body.bits(at, 6, 1, s.parity);
    body.bits(at, 7, 1, s.code_lock);
    body.bits(at, 8, 17, s.lock_ms);
    body.bits(at, 25, 7, 0);
    body.bits(at, 32, 5, s.cno_code);
    body.bits(at, 37, 4, s.psr_std);
    body.bits(at, 41, 4, s.adr_std);
    body.bits(at, 45, 14, s.psr_diff_128);
    body.bits(at, 59, 20, s.phase_diff_2048);
    body.bits(at, 79, 17, (uint32_t)s.doppler_diff_256 & 0x1FFFFu);
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
