// Test-side encoder of Hemisphere "$BIN" frames. Builds message bytes from
// chosen values: the frame envelope, the observation channel words, and the
// words carrying GPS subframes 1-3 and GLONASS strings 1-5 (built at their
// ICD bit numbers by the navigation message encoder). It shares no code with
// the decoders.
#ifndef QUORVANE_TESTS_HEMISPHERE_ENCODER_H
#define QUORVANE_TESTS_HEMISPHERE_ENCODER_H

#include <stdint.h>
#include <string.h>

#include <vector>

#include "frame_builders.h"
#include "navmsg_encoder.h"

namespace hemienc {

// ---- frame envelope ------------------------------------------------------------------

// Message data (everything between the 8-byte header and the checksum),
// written little-endian at data offsets (frame offset - 8).
struct Data {
    std::vector<uint8_t> bytes;
    explicit Data(size_t size) : bytes(size, 0) {}

    void put(size_t frame_offset, uint64_t value, int width)
    {
        for (int i = 0; i < width; ++i)
            bytes.at(frame_offset - 8 + i) = (uint8_t)(value >> (8 * i));
    }
    void u8(size_t frame_offset, uint32_t v) { put(frame_offset, v, 1); }
    void u16(size_t frame_offset, uint32_t v) { put(frame_offset, v, 2); }
    void u32(size_t frame_offset, uint32_t v) { put(frame_offset, v, 4); }
    void u64(size_t frame_offset, uint64_t v) { put(frame_offset, v, 8); }
    void f64(size_t frame_offset, double v)
    {
        uint64_t bits;
        memcpy(&bits, &v, 8);
        put(frame_offset, bits, 8);
    }
};

// "$BIN", id, data length, data, 16-bit sum of the data bytes, CR LF.
inline std::vector<uint8_t> frame(uint16_t id, const Data &data)
{
    return fb::hemisphere(id, data.bytes);
}

// ---- message 16: one channel ---------------------------------------------------------------

struct Channel {
    uint32_t satellite = 0;     // C bits 0-7
    uint32_t channel_bits = 0;  // C bits 8-12
    uint32_t system = 0;        // S bits 0-3
    uint32_t k = 0;             // S bits 4-7
    uint32_t signal_bits = 0;   // S bits 8-12
    bool p_code = false;        // S bit 13
    uint32_t snr_count = 0;     // W bits 0-11
    uint32_t track = 0;         // W bits 12-14
    bool lock_long = false;     // W bit 15
    uint32_t lock_count = 0;    // W bits 16-23, 0.1 s
    uint32_t status = 0;        // W bits 24-31
    bool phase_valid = false;   // W bit 32
    uint32_t doppler_count = 0; // W bits 33-55, 1/512 Hz
    bool doppler_positive = false; // W bit 56
    uint64_t range_count = 0;   // pseudorange in 1/256 m: 35 bits (C bits 13-31 high, V bits 0-15 low)
    uint32_t carrier = 0;       // phase in 1/1024 cycles, low 23 bits (W 57-63 high 7, V 16-31 low 16)
};

struct Bin16 {
    double tow = 0;
    uint32_t week = 0;
    uint32_t page = 0, pages = 1;
    uint64_t mask = 0;
    Channel channel[16];

    std::vector<uint8_t> build() const
    {
        Data d(312);
        d.f64(8, tow);
        d.u16(16, week);
        d.u16(18, 0xBEEF); // the rest of the week's 32-bit slot is not read
        d.u32(20, (pages & 0x3F) << 16 | (page & 0x3F) << 22 | 0xF000F00Fu);
        d.u64(24, mask);
        for (int i = 0; i < 16; ++i) {
            const Channel &c = channel[i];
            const uint64_t w = (uint64_t)(c.snr_count & 0xFFF) | (uint64_t)(c.track & 7) << 12 |
                               (uint64_t)c.lock_long << 15 | (uint64_t)(c.lock_count & 0xFF) << 16 |
                               (uint64_t)(c.status & 0xFF) << 24 | (uint64_t)c.phase_valid << 32 |
                               (uint64_t)(c.doppler_count & 0x7FFFFF) << 33 | (uint64_t)c.doppler_positive << 56 |
                               (uint64_t)((c.carrier >> 16) & 0x7F) << 57;
            const uint32_t v = (uint32_t)(c.range_count & 0xFFFF) | (c.carrier & 0xFFFF) << 16;
            const uint32_t cw = (c.satellite & 0xFF) | (c.channel_bits & 0x1F) << 8 |
                                (uint32_t)((c.range_count >> 16) & 0x7FFFF) << 13;
            const uint32_t s = (c.system & 0xF) | (c.k & 0xF) << 4 | (c.signal_bits & 0x1F) << 8 |
                               (c.p_code ? 1u : 0u) << 13;
            d.u64(32 + 12 * i, w);
            d.u32(32 + 12 * i + 8, v);
            d.u32(224 + 4 * i, cw);
            d.u16(288 + 2 * i, s);
        }
        return frame(16, d);
    }
};

// ---- navigation words of message 65 -------------------------------------------------

// GLONASS strings 1-5 (navenc bits numbered 85, sent first, down to 1) as
// message 65 carries them: per string, the 85 bits and 11 filler ones form a
// 96-bit sequence cut into three 32-bit words in sending order.
inline std::vector<uint32_t> glonass_words(const navenc::Bits (&string)[5])
{
    std::vector<uint32_t> out;
    for (const navenc::Bits &s : string) {
        uint32_t word = 0;
        for (int i = 0; i < 96; ++i) {
            word = word << 1 | (i < 85 ? s.bit[85 - i] : 1u);
            if (i % 32 == 31) out.push_back(word);
        }
    }
    return out;
}

} // namespace hemienc

#endif
