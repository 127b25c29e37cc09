// Test-side builder of NovAtel OEM binary frames (long header, AA 44 12), from
// the published log layouts: fields are written little-endian at the offsets
// of the log reference, bit fields of the compressed range logs are placed
// least significant bit first. Independent of the decoders under test; only
// the CRC comes from the library.
#ifndef QUORVANE_TESTS_NOVATEL_ENCODER_H
#define QUORVANE_TESTS_NOVATEL_ENCODER_H

#include <stdint.h>

#include <type_traits>
#include <vector>

#include "le_writer.h"
#include "util.h"

namespace novenc {

// A body under construction: fields are written at explicit offsets, so the
// tests read like the log reference tables.
using Body = le::Writer;

// Header fields; time status 180 is fine steering.
struct Header {
    uint16_t id = 0, sequence = 0, week = 1761, version = 9570;
    uint8_t type = 0, port = 0x20, idle = 100, time_status = 180, header_length = 28;
    uint32_t ms = 317088000, receiver_status = 0;
};

// Whole frame: header, body and the CRC (little-endian). A body length may be
// forced to a value that differs from the bytes given.
inline std::vector<uint8_t> frame(const Header &h, const std::vector<uint8_t> &body, int forced_length = -1)
{
    const uint16_t length = forced_length >= 0 ? (uint16_t)forced_length : (uint16_t)body.size();
    // AA 44 12 is the sync; byte 24 is reserved.
    Body f(h.header_length);
    f.n1(0xAA).n1(0x44).n1(0x12).n1(h.header_length).n2(h.id).n1(h.type).n1(h.port).n2(length).n2(h.sequence);
    f.n1(h.idle).n1(h.time_status).n2(h.week).n4(h.ms).n4(h.receiver_status).n2(0).n2(h.version);
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
    body.from(at).n2(r.prn).n2(r.glofreq).f8(r.psr).f4(r.psr_std).f8(r.adr).f4(r.adr_std).f4(r.doppler).f4(r.cno);
    body.f4(r.locktime).n4(r.status);
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

// A RANGE (id 43, 44-byte records) or RANGECMP (140, 24 bytes) log; `count`
// overrides the record count at the start of the body, `cut` drops bytes at
// its end.
template <typename R>
std::vector<uint8_t> list_frame(const std::vector<R> &records, Header h = Header(), int count = -1, size_t cut = 0)
{
    constexpr bool range = std::is_same<R, RangeRecord>::value;
    h.id = range ? 43 : 140;
    Body body;
    body.u32(0, count >= 0 ? (uint32_t)count : (uint32_t)records.size());
    for (size_t i = 0; i < records.size(); ++i) {
        if constexpr (range) put_range(body, 4 + 44 * i, records[i]);
        else put_rangecmp(body, 4 + 24 * i, records[i]);
    }
    body.b.resize(body.b.size() - cut);
    return frame(h, body.b);
}

// A whole RANGE log of the given records at GPS week and ms of week.
inline std::vector<uint8_t> range_log(uint16_t week, uint32_t ms, const std::vector<RangeRecord> &records)
{
    Header h;
    h.week = week, h.ms = ms;
    return list_frame(records, h);
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
