// Test encoder of u-blox UBX payloads, written from the u-blox interface
// descriptions (RXM-RAWX, RXM-SFRBX, RXM-RAW, RXM-SFRB and MON-VER layouts),
// independent of the decoders; frames come from fb::ublox, the navigation
// words inside SFRBX from navmsg_encoder.h.
#ifndef TESTS_UBX_ENCODER_H
#define TESTS_UBX_ENCODER_H

#include <stdint.h>
#include <string.h>

#include <array>
#include <string>
#include <vector>

#include "frame_builders.h"
#include "navmsg_encoder.h"

namespace ubxenc {

struct Payload {
    std::vector<uint8_t> b;
    void u1(uint32_t v) { b.push_back((uint8_t)v); }
    void u2(uint32_t v) { u1(v & 0xFF), u1(v >> 8); }
    void u4(uint32_t v) { u2(v & 0xFFFF), u2(v >> 16); }
    void r4(float f)
    {
        uint32_t v;
        memcpy(&v, &f, 4);
        u4(v);
    }
    void r8(double d)
    {
        uint64_t v;
        memcpy(&v, &d, 8);
        u4((uint32_t)v), u4((uint32_t)(v >> 32));
    }
    void text(const std::string &s, size_t width)
    {
        for (size_t i = 0; i < width; ++i) u1(i < s.size() ? (uint8_t)s[i] : 0);
    }
};

// ---- RXM-RAWX (0x02 0x15) --------------------------------------------------------------
struct Meas {
    double pr = 0, cp = 0;
    float doppler = 0;
    uint8_t gnss = 0, sv = 0, sig = 0, freq = 0;
    uint16_t lock = 0;
    uint8_t cno = 0, pr_std = 0, cp_std = 0, do_std = 0;
    uint8_t trk = 0; // bit 0 prValid, 1 cpValid, 2 halfCyc, 3 subHalfCyc
};

inline std::vector<uint8_t> rawx(double rcv_tow, uint16_t week, int8_t leap_s, uint8_t rec_stat,
                                 const std::vector<Meas> &meas)
{
    Payload p;
    p.r8(rcv_tow), p.u2(week), p.u1((uint8_t)leap_s), p.u1((uint32_t)meas.size()), p.u1(rec_stat);
    p.u1(1), p.u2(0); // version, reserved
    for (const Meas &m : meas) {
        p.r8(m.pr), p.r8(m.cp), p.r4(m.doppler), p.u1(m.gnss), p.u1(m.sv), p.u1(m.sig), p.u1(m.freq), p.u2(m.lock);
        p.u1(m.cno), p.u1(m.pr_std), p.u1(m.cp_std), p.u1(m.do_std), p.u1(m.trk), p.u1(0);
    }
    return fb::ublox(0x02, 0x15, p.b);
}

// ---- RXM-RAW (0x02 0x10), LEA-4T/5T/6T ------------------------------------------------------
struct RawMeas {
    double cp = 0, pr = 0;
    float doppler = 0;
    uint8_t sv = 0;
    int8_t mes_qi = 7, cno = 40;
    uint8_t lli = 0;
};

inline std::vector<uint8_t> raw(int32_t itow_ms, int16_t week, const std::vector<RawMeas> &meas)
{
    Payload p;
    p.u4((uint32_t)itow_ms), p.u2((uint16_t)week), p.u1((uint32_t)meas.size()), p.u1(0);
    for (const RawMeas &m : meas)
        p.r8(m.cp), p.r8(m.pr), p.r4(m.doppler), p.u1(m.sv), p.u1((uint8_t)m.mes_qi), p.u1((uint8_t)m.cno), p.u1(m.lli);
    return fb::ublox(0x02, 0x10, p.b);
}

// ---- RXM-SFRBX (0x02 0x13) -----------------------------------------------------------------
inline std::vector<uint8_t> sfrbx(uint8_t gnss, uint8_t sv, uint8_t sig, uint8_t freq,
                                  const std::vector<uint32_t> &words)
{
    Payload p;
    p.u1(gnss), p.u1(sv), p.u1(sig), p.u1(freq), p.u1((uint32_t)words.size());
    p.u1(0), p.u1(2), p.u1(0); // channel, version, reserved
    for (uint32_t w : words) p.u4(w);
    return fb::ublox(0x02, 0x13, p.b);
}

// A GPS/QZSS subframe as SFRBX words: each word as sent in bits 29..0,
// the D29* and D30* it starts from in bits 31..30.
inline std::vector<uint32_t> gps_words(const std::array<uint32_t, 10> &sent, uint32_t previous = 0)
{
    std::vector<uint32_t> out;
    for (uint32_t w : sent) {
        out.push_back(w | ((previous & 3u) << 30));
        previous = w;
    }
    return out;
}

// Galileo I/NAV page: even part in words 0..3, odd part in words 4..7,
// each from the most significant bit of its first word.
inline std::vector<uint32_t> galileo_words(const navenc::Bits &word)
{
    navenc::Bits part[2] = {navenc::Bits(120), navenc::Bits(120)};
    navenc::galileo_page(word, part[0], part[1]);
    std::vector<uint32_t> out(8, 0);
    for (int i = 0; i < 240; ++i)
        if (part[i / 120].bit[1 + i % 120]) out[i / 120 * 4 + i % 120 / 32] |= 0x80000000u >> (i % 120 % 32);
    return out;
}

// GLONASS string: bit 85 first, from the top of word 0; a fourth word of
// frame numbers (not used by the navigation data).
inline std::vector<uint32_t> glonass_words(const navenc::Bits &string)
{
    std::vector<uint32_t> out(4, 0);
    for (int n = 85; n >= 1; --n)
        if (string.bit[n]) out[(85 - n) / 32] |= 0x80000000u >> ((85 - n) % 32);
    return out;
}

// ---- RXM-SFRB (0x02 0x11): 24 data bits per word, parity removed -------------------------------
inline std::vector<uint8_t> sfrb(uint8_t sv, const navenc::Bits &subframe)
{
    Payload p;
    p.u1(0), p.u1(sv);
    for (int w = 0; w < 10; ++w) p.u4(subframe.get(30 * w + 1, 24));
    return fb::ublox(0x02, 0x11, p.b);
}

// ---- MON-VER (0x0A 0x04) --------------------------------------------------------------------
inline std::vector<uint8_t> mon_ver(const std::string &sw, const std::string &hw, const std::vector<std::string> &ext)
{
    Payload p;
    p.text(sw, 30), p.text(hw, 10);
    for (const std::string &e : ext) p.text(e, 30);
    return fb::ublox(0x0A, 0x04, p.b);
}

} // namespace ubxenc

#endif
