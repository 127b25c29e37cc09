// Test encoder of broadcast navigation messages, written from the ICDs
// (IS-GPS-200 subframes and parity, GLONASS ICD strings and Hamming code,
// Galileo OS SIS ICD I/NAV pages and CRC-24Q, BDS B1I ICD D1 subframes and
// BCH(15,11)), independent of the decoders: fields are placed at the bit
// numbers the ICD tables give, and the check bits are computed here.
#ifndef TESTS_NAVMSG_ENCODER_H
#define TESTS_NAVMSG_ENCODER_H

#include <stdint.h>

#include <array>
#include <vector>

namespace navenc {

// A message as a row of bits numbered from 1 as the ICDs number them.
struct Bits {
    std::vector<uint8_t> bit;
    explicit Bits(int n) : bit(n + 1, 0) {}
    // `count` bits of value (two's complement for negatives) from bit `first`.
    void set(int first, int count, int64_t value)
    {
        for (int i = 0; i < count; ++i) bit[first + i] = (uint8_t)((value >> (count - 1 - i)) & 1);
    }
    uint32_t get(int first, int count) const
    {
        uint32_t v = 0;
        for (int i = 0; i < count; ++i) v = (v << 1) | bit[first + i];
        return v;
    }
};

// ---- GPS LNAV ----------------------------------------------------------------------------
// Subframe with data bits set at their IS-GPS-200 positions (parity bits 25..30
// of each word are computed). Returns the ten words as sent, D1..D30 in bits
// 29..0, with D1..D24 inverted after a word whose D30 is 1, as the satellite
// sends them; word 10 ends with D29 = D30 = 0 (the "t" bits are chosen so).
inline std::array<uint32_t, 10> gps_sent(const Bits &b)
{
    std::array<uint32_t, 10> out{};
    int p29 = 0, p30 = 0;
    for (int w = 0; w < 10; ++w) {
        int d[25];
        for (int i = 1; i <= 24; ++i) d[i] = b.bit[30 * w + i];
        if (w == 9) {
            // Solve bits 23 and 24 so that D29 and D30 come out 0.
            for (int t = 0; t < 4; ++t) {
                d[23] = t >> 1;
                d[24] = t & 1;
                const int D29 = p30 ^ d[1] ^ d[3] ^ d[5] ^ d[6] ^ d[7] ^ d[9] ^ d[10] ^ d[14] ^ d[15] ^ d[16] ^ d[17] ^ d[18] ^ d[21] ^ d[22] ^ d[24];
                const int D30 = p29 ^ d[3] ^ d[5] ^ d[6] ^ d[8] ^ d[9] ^ d[10] ^ d[11] ^ d[13] ^ d[15] ^ d[19] ^ d[22] ^ d[23] ^ d[24];
                if (!D29 && !D30) break;
            }
        }
        int D[31];
        D[25] = p29 ^ d[1] ^ d[2] ^ d[3] ^ d[5] ^ d[6] ^ d[10] ^ d[11] ^ d[12] ^ d[13] ^ d[14] ^ d[17] ^ d[18] ^ d[20] ^ d[23];
        D[26] = p30 ^ d[2] ^ d[3] ^ d[4] ^ d[6] ^ d[7] ^ d[11] ^ d[12] ^ d[13] ^ d[14] ^ d[15] ^ d[18] ^ d[19] ^ d[21] ^ d[24];
        D[27] = p29 ^ d[1] ^ d[3] ^ d[4] ^ d[5] ^ d[7] ^ d[8] ^ d[12] ^ d[13] ^ d[14] ^ d[15] ^ d[16] ^ d[19] ^ d[20] ^ d[22];
        D[28] = p30 ^ d[2] ^ d[4] ^ d[5] ^ d[6] ^ d[8] ^ d[9] ^ d[13] ^ d[14] ^ d[15] ^ d[16] ^ d[17] ^ d[20] ^ d[21] ^ d[23];
        D[29] = p30 ^ d[1] ^ d[3] ^ d[5] ^ d[6] ^ d[7] ^ d[9] ^ d[10] ^ d[14] ^ d[15] ^ d[16] ^ d[17] ^ d[18] ^ d[21] ^ d[22] ^ d[24];
        D[30] = p29 ^ d[3] ^ d[5] ^ d[6] ^ d[8] ^ d[9] ^ d[10] ^ d[11] ^ d[13] ^ d[15] ^ d[19] ^ d[22] ^ d[23] ^ d[24];
        uint32_t word = 0;
        for (int i = 1; i <= 24; ++i) word = (word << 1) | (uint32_t)(d[i] ^ p30);
        for (int i = 25; i <= 30; ++i) word = (word << 1) | (uint32_t)D[i];
        out[w] = word;
        p29 = D[29];
        p30 = D[30];
    }
    return out;
}

// TLM and HOW of subframe `id` whose HOW TOW count is `tow_count`.
inline void gps_header(Bits &b, int id, int tow_count)
{
    b.set(1, 8, 0x8B);
    b.set(31, 17, tow_count);
    b.set(50, 3, id);
}

// ---- GLONASS --------------------------------------------------------------------------------
// String of 85 bits numbered 85 (sent first) .. 1; Bits index = string bit
// number. Computes the check bits 1..8 of the ICD.
inline void glonass_hamming(Bits &s)
{
    auto sum = [&](std::initializer_list<std::pair<int, int>> ranges) {
        int v = 0;
        for (auto r : ranges)
            for (int i = r.first; i <= r.second; ++i) v ^= s.bit[i];
        return v;
    };
    const int c1 = sum({{9, 10}, {12, 13}, {15, 15}, {17, 17}, {19, 20}, {22, 22}, {24, 24}, {26, 26}, {28, 28},
                        {30, 30}, {32, 32}, {34, 35}, {37, 37}, {39, 39}, {41, 41}, {43, 43}, {45, 45}, {47, 47},
                        {49, 49}, {51, 51}, {53, 53}, {55, 55}, {57, 57}, {59, 59}, {61, 61}, {63, 63}, {65, 66},
                        {68, 68}, {70, 70}, {72, 72}, {74, 74}, {76, 76}, {78, 78}, {80, 80}, {82, 82}, {84, 84}});
    const int c2 = sum({{9, 9}, {11, 12}, {14, 15}, {18, 19}, {21, 22}, {25, 26}, {29, 30}, {33, 34}, {36, 37},
                        {40, 41}, {44, 45}, {48, 49}, {52, 53}, {56, 57}, {60, 61}, {64, 65}, {67, 68}, {71, 72},
                        {75, 76}, {79, 80}, {83, 84}});
    const int c3 = sum({{10, 12}, {16, 19}, {23, 26}, {31, 34}, {38, 41}, {46, 49}, {54, 57}, {62, 65}, {69, 72},
                        {77, 80}, {85, 85}});
    const int c4 = sum({{13, 19}, {27, 34}, {42, 49}, {58, 65}, {73, 80}});
    const int c5 = sum({{20, 34}, {50, 65}, {81, 85}});
    const int c6 = sum({{35, 65}});
    const int c7 = sum({{66, 85}});
    s.bit[1] = (uint8_t)c1;
    s.bit[2] = (uint8_t)c2;
    s.bit[3] = (uint8_t)c3;
    s.bit[4] = (uint8_t)c4;
    s.bit[5] = (uint8_t)c5;
    s.bit[6] = (uint8_t)c6;
    s.bit[7] = (uint8_t)c7;
    int all = 0;
    for (int i = 1; i <= 85; ++i)
        if (i != 8) all ^= s.bit[i];
    s.bit[8] = (uint8_t)all; // the total sum over bits 1..85 is even
}

// Field of a GLONASS string from its high bit number down.
inline void glonass_set(Bits &s, int high, int count, int64_t value)
{
    for (int i = 0; i < count; ++i) s.bit[high - i] = (uint8_t)((value >> (count - 1 - i)) & 1);
}

// Sign and magnitude, as GLONASS sends signed values.
inline int64_t glonass_sm(int64_t value, int bits)
{
    return value < 0 ? ((int64_t)1 << (bits - 1)) | -value : value;
}

// The string as the 11 bytes of the navigation layer (bit 85 first).
inline std::array<uint8_t, 11> glonass_bytes(const Bits &s)
{
    std::array<uint8_t, 11> out{};
    for (int n = 85; n >= 1; --n)
        if (s.bit[n]) out[(85 - n) / 8] |= (uint8_t)(0x80 >> ((85 - n) % 8));
    return out;
}

// ---- Galileo I/NAV ----------------------------------------------------------------------------
inline uint32_t crc24q_bits(const std::vector<uint8_t> &bits)
{
    uint32_t crc = 0;
    for (uint8_t b : bits) {
        const uint32_t top = ((crc >> 23) & 1) ^ b;
        crc = (crc << 1) & 0xFFFFFF;
        if (top) crc ^= 0x864CFB;
    }
    return crc;
}

// Even and odd page parts (120 bits each, bit 1 first) of a 128-bit word
// (Bits numbered 1..128), nominal page, CRC over the 196 bits it covers.
inline void galileo_page(const Bits &word, Bits &even, Bits &odd)
{
    even = Bits(120);
    odd = Bits(120);
    even.set(1, 1, 0);
    even.set(2, 1, 0);
    for (int i = 1; i <= 112; ++i) even.bit[2 + i] = word.bit[i];
    odd.set(1, 1, 1);
    odd.set(2, 1, 0);
    for (int i = 1; i <= 16; ++i) odd.bit[2 + i] = word.bit[112 + i];
    std::vector<uint8_t> covered;
    for (int i = 1; i <= 114; ++i) covered.push_back(even.bit[i]);
    for (int i = 1; i <= 82; ++i) covered.push_back(odd.bit[i]);
    odd.set(83, 24, crc24q_bits(covered));
}

// ---- BDS D1 --------------------------------------------------------------------------------------
// BCH(15,11) parity of 11 information bits: the remainder of x^4 i(x) by
// x^4 + x + 1, by the shift register of the ICD.
inline uint32_t bch15_parity(uint32_t info)
{
    uint32_t reg = 0;
    for (int i = 10; i >= 0; --i) {
        const uint32_t feedback = ((info >> i) & 1) ^ ((reg >> 3) & 1);
        reg = ((reg << 1) & 0xF) ^ (feedback ? 0x3 : 0);
    }
    return reg;
}

// Ten words (information bits first, then parity; bits 29..0) of a subframe
// whose information bits are set at the ICD positions of Bits(300) (parity
// positions left 0 and filled here).
inline std::array<uint32_t, 10> bds_words(const Bits &b)
{
    std::array<uint32_t, 10> out{};
    for (int w = 0; w < 10; ++w) {
        const int base = 30 * w;
        if (w == 0) {
            const uint32_t head = b.get(1, 15);
            const uint32_t info = b.get(16, 11);
            out[w] = (head << 15) | (info << 4) | bch15_parity(info);
        } else {
            const uint32_t i1 = b.get(base + 1, 11);
            const uint32_t i2 = b.get(base + 12, 11);
            out[w] = (i1 << 19) | (i2 << 8) | (bch15_parity(i1) << 4) | bch15_parity(i2);
        }
    }
    return out;
}

} // namespace navenc

#endif
