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
    // D25..D30: D29* or D30* of the word before, plus these data bits.
    static const std::vector<int> sums[6] = {
        {1, 2, 3, 5, 6, 10, 11, 12, 13, 14, 17, 18, 20, 23},  {2, 3, 4, 6, 7, 11, 12, 13, 14, 15, 18, 19, 21, 24},
        {1, 3, 4, 5, 7, 8, 12, 13, 14, 15, 16, 19, 20, 22},   {2, 4, 5, 6, 8, 9, 13, 14, 15, 16, 17, 20, 21, 23},
        {1, 3, 5, 6, 7, 9, 10, 14, 15, 16, 17, 18, 21, 22, 24}, {3, 5, 6, 8, 9, 10, 11, 13, 15, 19, 22, 23, 24}};
    std::array<uint32_t, 10> out{};
    int p29 = 0, p30 = 0, d[25], D[6];
    for (int w = 0; w < 10; ++w) {
        for (int i = 1; i <= 24; ++i) d[i] = b.bit[30 * w + i];
        // In word 10, bits 23 and 24 solved so that D29 and D30 come out 0.
        for (int t = 0; t < 4; ++t) {
            if (w == 9) d[23] = t >> 1, d[24] = t & 1;
            for (int k = 0; k < 6; ++k) {
                D[k] = k == 0 || k == 2 || k == 5 ? p29 : p30;
                for (int i : sums[k]) D[k] ^= d[i];
            }
            if (w < 9 || (!D[4] && !D[5])) break;
        }
        uint32_t word = 0;
        for (int i = 1; i <= 24; ++i) word = (word << 1) | (uint32_t)(d[i] ^ p30);
        for (int k = 0; k < 6; ++k) word = (word << 1) | (uint32_t)D[k];
        out[w] = word;
        p29 = D[4], p30 = D[5];
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
// number. Computes the check bits 1..8 of the ICD: its sums are those of a
// Hamming code in which data bit k (9..85) stands at the (k - 8)-th position
// that is no power of two (3, 5, 6, 7, 9, ...), and check bit n sums the
// data bits whose position has bit n - 1 set.
inline void glonass_hamming(Bits &s)
{
    int c[7] = {0};
    for (int k = 9, position = 3; k <= 85; ++k, ++position) {
        if ((position & (position - 1)) == 0) ++position;
        for (int n = 0; n < 7; ++n) c[n] ^= (position >> n & 1) & s.bit[k];
    }
    s.bit[8] = 0;
    for (int i = 1; i <= 7; ++i) s.bit[i] = (uint8_t)c[i - 1];
    for (int i = 1; i <= 85; ++i) s.bit[8] ^= i == 8 ? 0 : s.bit[i]; // the total sum over bits 1..85 is even
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
    // Even/odd bit, then page type 0 (nominal).
    even = Bits(120);
    odd = Bits(120);
    for (int i = 1; i <= 112; ++i) even.bit[2 + i] = word.bit[i];
    odd.bit[1] = 1;
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

// ---- one issue of each system, at the ICD positions -------------------------------------------
// GPS subframes 1-3 of IODE `iode`, TOW counts 1000-1002.
struct GpsIssue {
    Bits sf[3] = {Bits(300), Bits(300), Bits(300)};
    explicit GpsIssue(int iode)
    {
        for (int i = 0; i < 3; ++i) gps_header(sf[i], i + 1, 1000 + i);
        Bits &a = sf[0], &b = sf[1], &c = sf[2];
        a.set(61, 10, 250);      // week mod 1024
        a.set(73, 4, 2);         // URA
        a.set(83, 2, 1);         // IODC high
        a.set(211, 8, iode);     // IODC low
        a.set(197, 8, -7);       // TGD
        a.set(219, 16, 450);     // toc / 16
        a.set(241, 8, -3);       // af2
        a.set(249, 16, -1234);   // af1
        a.set(271, 22, -123456); // af0
        b.set(61, 8, iode);
        b.set(69, 16, -500);     // Crs
        b.set(91, 16, 12000);    // delta n
        b.set(107, 8, (-1000000000LL >> 24) & 0xFF); // M0 high
        b.set(121, 24, -1000000000LL & 0xFFFFFF);
        b.set(181, 24, 8000000); // e low
        b.set(227, 8, 0xA1);     // sqrt(A) = 0xA10DFA00 * 2^-19 = 5153.74...
        b.set(241, 24, 0x0DFA00);
        b.set(271, 16, 450);     // toe / 16
        c.set(61, 16, 77);       // Cic
        c.set(77, 8, 0x12);      // OMEGA0 high
        c.set(91, 24, 0x345678);
        c.set(137, 8, 0x29);     // i0
        c.set(151, 24, 0x000001);
        c.set(241, 24, -20000);  // OMEGA dot
        c.set(271, 8, iode);
        c.set(279, 14, -100);    // IDOT
    }
};

// GLONASS strings 1-5 with their check bits.
struct GlonassStrings {
    Bits s[5] = {Bits(85), Bits(85), Bits(85), Bits(85), Bits(85)};
    GlonassStrings()
    {
        for (int m = 1; m <= 5; ++m) glonass_set(s[m - 1], 84, 4, m);
        glonass_set(s[0], 76, 12, (23 << 7) | (45 << 1) | 1); // tk 23:45:30
        glonass_set(s[0], 64, 24, glonass_sm(-1234567, 24)); // vx
        glonass_set(s[0], 35, 27, glonass_sm(-20000000, 27)); // x
        glonass_set(s[1], 76, 7, 95);                         // tb
        glonass_set(s[1], 35, 27, glonass_sm(30000000, 27));  // y
        glonass_set(s[2], 79, 11, glonass_sm(-5, 11));        // gamma
        glonass_set(s[2], 35, 27, glonass_sm(-1, 27));        // z
        glonass_set(s[3], 80, 22, glonass_sm(-1000, 22));     // tau
        glonass_set(s[3], 26, 11, 1000);                      // NT
        glonass_set(s[3], 15, 5, 9);                          // slot
        glonass_set(s[4], 36, 5, 8);                          // N4
        for (Bits &string : s) glonass_hamming(string);
    }
};

// Galileo I/NAV words 1-5 of IODnav 77, SVID 19.
struct GalileoWords {
    Bits w[5] = {Bits(128), Bits(128), Bits(128), Bits(128), Bits(128)};
    GalileoWords()
    {
        for (int t = 1; t <= 5; ++t) w[t - 1].set(1, 6, t);
        for (int t = 1; t <= 4; ++t) w[t - 1].set(7, 10, 77); // IODnav
        w[0].set(17, 14, 600);        // toe / 60
        w[0].set(63, 32, 3000000);    // e
        w[0].set(95, 32, 0xAA0A0000); // sqrt(A) = 5440.31...
        w[1].set(49, 32, 0x29000000); // i0
        w[1].set(113, 14, -50);       // IDOT
        w[2].set(17, 24, -30000);     // OMEGA dot
        w[2].set(121, 8, 107);        // SISA
        w[3].set(17, 6, 19);          // SVID
        w[3].set(55, 14, 600);        // toc / 60
        w[3].set(69, 31, -987654321); // af0
        w[3].set(121, 6, -2);         // af2
        w[4].set(48, 10, -17);        // BGD E1/E5a
        w[4].set(58, 10, 25);         // BGD E1/E5b
        w[4].set(74, 12, 1300);       // WN
        w[4].set(86, 20, 36005);      // TOW
    }
};

// BDS D1 subframes 1-3, SOW 100000-100012.
struct BdsIssue {
    Bits sf[3] = {Bits(300), Bits(300), Bits(300)};
    BdsIssue()
    {
        for (int i = 0; i < 3; ++i) {
            sf[i].set(1, 11, 0x712); // preamble
            sf[i].set(16, 3, i + 1); // FraID
            const int sow = 100000 + 6 * i;
            sf[i].set(19, 8, sow >> 12);
            sf[i].set(31, 12, sow & 0xFFF);
        }
        sf[0].set(44, 5, 9);                         // AODC
        sf[0].set(61, 13, 900);                      // WN
        sf[0].set(74, 9, 12345 >> 8);                // toc / 8
        sf[0].set(91, 8, 12345 & 0xFF);
        sf[0].set(99, 10, -33);                      // TGD1
        sf[0].set(109, 4, (57 >> 6) & 0xF);          // TGD2
        sf[0].set(121, 6, 57 & 0x3F);
        sf[0].set(127, 8, -4);                       // alpha0
        sf[0].set(215, 11, -5);                      // a2
        sf[0].set(226, 7, (-4000000 >> 17) & 0x7F);  // a0
        sf[0].set(241, 17, -4000000 & 0x1FFFF);
        sf[0].set(288, 5, 11);                       // AODE
        sf[1].set(251, 12, 0xA51);                   // sqrt(A) = 0xA5134400 * 2^-19 = 5282.6...
        sf[1].set(271, 20, 0x34400);
        sf[1].set(151, 22, 1500000);                 // e low
        sf[1].set(291, 2, 12345 >> 15);              // toe / 8
        sf[2].set(43, 10, (12345 >> 5) & 0x3FF);
        sf[2].set(61, 5, 12345 & 0x1F);
        sf[2].set(66, 17, 0x28F5C28F >> 15);         // i0
        sf[2].set(91, 15, 0x28F5C28F & 0x7FFF);
        sf[2].set(190, 13, (-77 >> 1) & 0x1FFF);     // IDOT
        sf[2].set(211, 1, -77 & 1);
    }
};

} // namespace navenc

#endif
