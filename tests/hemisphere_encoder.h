// Test-side encoder of Hemisphere "$BIN" frames. Builds message bytes from
// chosen values: the frame envelope, the observation channel words, GPS
// subframes 1-3 (IS-GPS-200 bit numbering, with IS-GPS-200 parity) and
// GLONASS strings 1-5 (interface control document bit numbering). It shares
// no code with the decoders.
#ifndef QUORVANE_TESTS_HEMISPHERE_ENCODER_H
#define QUORVANE_TESTS_HEMISPHERE_ENCODER_H

#include <stdint.h>
#include <string.h>

#include <vector>

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
    std::vector<uint8_t> f = {'$', 'B', 'I', 'N'};
    const size_t length = data.bytes.size();
    f.push_back((uint8_t)(id & 0xFF));
    f.push_back((uint8_t)(id >> 8));
    f.push_back((uint8_t)(length & 0xFF));
    f.push_back((uint8_t)(length >> 8));
    uint32_t sum = 0;
    for (uint8_t b : data.bytes) {
        f.push_back(b);
        sum += b;
    }
    f.push_back((uint8_t)(sum & 0xFF));
    f.push_back((uint8_t)((sum >> 8) & 0xFF));
    f.push_back('\r');
    f.push_back('\n');
    return f;
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
            uint64_t w = 0;
            w |= (uint64_t)(c.snr_count & 0xFFF);
            w |= (uint64_t)(c.track & 7) << 12;
            w |= (uint64_t)(c.lock_long ? 1 : 0) << 15;
            w |= (uint64_t)(c.lock_count & 0xFF) << 16;
            w |= (uint64_t)(c.status & 0xFF) << 24;
            w |= (uint64_t)(c.phase_valid ? 1 : 0) << 32;
            w |= (uint64_t)(c.doppler_count & 0x7FFFFF) << 33;
            w |= (uint64_t)(c.doppler_positive ? 1 : 0) << 56;
            w |= (uint64_t)((c.carrier >> 16) & 0x7F) << 57;
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

// ---- GPS subframes 1-3 -----------------------------------------------------------------------

// Three subframes of 300 bits each, bit 1 first as in IS-GPS-200.
struct GpsSubframes {
    uint8_t bit[3][301] = {};

    // Writes the low `count` bits of value (two's complement for negatives)
    // into subframe sf (1..3) at bits first..first+count-1, most significant first.
    void set(int sf, int first, int count, int64_t value)
    {
        for (int i = 0; i < count; ++i)
            bit[sf - 1][first + i] = (uint8_t)(((uint64_t)value >> (count - 1 - i)) & 1);
    }

    // The 30 words as the message carries them: D1..D24 in bits 29..6, the
    // IS-GPS-200 parity D25..D30 in bits 5..0. `junk` sets the two unused top
    // bits, which a decoder must ignore.
    std::vector<uint32_t> words(bool junk = false) const
    {
        std::vector<uint32_t> out;
        for (int sf = 0; sf < 3; ++sf) {
            int d29p = 0, d30p = 0;
            for (int w = 0; w < 10; ++w) {
                int d[25];
                for (int k = 1; k <= 24; ++k)
                    d[k] = bit[sf][30 * w + k];
                auto x = [&](std::initializer_list<int> idx) {
                    int r = 0;
                    for (int i : idx)
                        r ^= d[i];
                    return r;
                };
                const int p25 = d29p ^ x({1, 2, 3, 5, 6, 10, 11, 12, 13, 14, 17, 18, 20, 23});
                const int p26 = d30p ^ x({2, 3, 4, 6, 7, 11, 12, 13, 14, 15, 18, 19, 21, 24});
                const int p27 = d29p ^ x({1, 3, 4, 5, 7, 8, 12, 13, 14, 15, 16, 19, 20, 22});
                const int p28 = d30p ^ x({2, 4, 5, 6, 8, 9, 13, 14, 15, 16, 17, 20, 21, 23});
                const int p29 = d30p ^ x({1, 3, 5, 6, 7, 9, 10, 14, 15, 16, 17, 18, 21, 22, 24});
                const int p30 = d29p ^ x({3, 5, 6, 8, 9, 10, 11, 13, 15, 19, 22, 23, 24});
                uint32_t word = junk ? 0xC0000000u : 0;
                for (int k = 1; k <= 24; ++k)
                    word |= (uint32_t)d[k] << (30 - k);
                word |= (uint32_t)(p25 << 5 | p26 << 4 | p27 << 3 | p28 << 2 | p29 << 1 | p30);
                out.push_back(word);
                d29p = p29;
                d30p = p30;
            }
        }
        return out;
    }
};

// ---- GLONASS strings 1-5 ---------------------------------------------------------------------

// Sign-and-magnitude form of v in `bits` bits, as GLONASS sends it.
inline uint32_t sign_magnitude(int64_t v, int bits)
{
    const uint64_t magnitude = (uint64_t)(v < 0 ? -v : v);
    return (uint32_t)((v < 0 ? (1ull << (bits - 1)) : 0) | magnitude);
}

// Five strings, bits numbered 85 (first sent) to 1 as in the ICD.
struct GlonassStrings {
    uint8_t bit[5][86] = {};

    GlonassStrings()
    {
        for (int s = 1; s <= 5; ++s) {
            set(s, 85, 1, 0); // idle chip
            set(s, 84, 4, s); // string number m
            set(s, 8, 8, 0xA5); // check bits KX: not read
        }
    }
    // Writes the low `count` bits of value into string s from bit `high` down.
    void set(int s, int high, int count, uint64_t value)
    {
        for (int i = 0; i < count; ++i)
            bit[s - 1][high - i] = (uint8_t)((value >> (count - 1 - i)) & 1);
    }

    // Three 32-bit words per string: the 85 string bits followed by 11 filler
    // bits form a 96-bit sequence, cut into words in sending order.
    std::vector<uint32_t> words(uint32_t filler = 0x7FF) const
    {
        std::vector<uint32_t> out;
        for (int s = 0; s < 5; ++s) {
            std::vector<uint8_t> sequence;
            for (int n = 85; n >= 1; --n)
                sequence.push_back(bit[s][n]);
            for (int i = 10; i >= 0; --i)
                sequence.push_back((uint8_t)((filler >> i) & 1));
            for (int w = 0; w < 3; ++w) {
                uint32_t word = 0;
                for (int i = 0; i < 32; ++i)
                    word = word << 1 | sequence[32 * w + i];
                out.push_back(word);
            }
        }
        return out;
    }
};

} // namespace hemienc

#endif
