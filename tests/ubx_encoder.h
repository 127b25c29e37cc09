// Test encoder of u-blox UBX payloads, written from the u-blox interface
// descriptions (RXM-RAWX, RXM-SFRBX, RXM-RAW, RXM-SFRB and MON-VER layouts),
// independent of the decoders; frames come from fb::ublox, the navigation
// words inside SFRBX from navmsg_encoder.h.
#ifndef TESTS_UBX_ENCODER_H
#define TESTS_UBX_ENCODER_H

#include <stdint.h>

#include <array>
#include <string>
#include <vector>

#include "frame_builders.h"
#include "le_writer.h"
#include "navmsg_encoder.h"

namespace ubxenc {

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
    le::Writer p; // version 1, then reserved
    p.f8(rcv_tow).n2(week).n1((uint8_t)leap_s).n1((uint8_t)meas.size()).n1(rec_stat).n1(1).n2(0);
    for (const Meas &m : meas) {
        p.f8(m.pr).f8(m.cp).f4(m.doppler).n1(m.gnss).n1(m.sv).n1(m.sig).n1(m.freq).n2(m.lock);
        p.n1(m.cno).n1(m.pr_std).n1(m.cp_std).n1(m.do_std).n1(m.trk).n1(0);
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
    le::Writer p;
    p.n4((uint32_t)itow_ms).n2((uint16_t)week).n1((uint8_t)meas.size()).n1(0);
    for (const RawMeas &m : meas)
        p.f8(m.cp).f8(m.pr).f4(m.doppler).n1(m.sv).n1((uint8_t)m.mes_qi).n1((uint8_t)m.cno).n1(m.lli);
    return fb::ublox(0x02, 0x10, p.b);
}

// ---- RXM-SFRBX (0x02 0x13) -----------------------------------------------------------------
inline std::vector<uint8_t> sfrbx(uint8_t gnss, uint8_t sv, uint8_t sig, uint8_t freq,
                                  const std::vector<uint32_t> &words)
{
    le::Writer p; // then channel, version 2, reserved
    p.n1(gnss).n1(sv).n1(sig).n1(freq).n1((uint8_t)words.size()).n1(0).n1(2).n1(0);
    for (uint32_t w : words) p.n4(w);
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
    le::Writer p;
    p.n1(0).n1(sv);
    for (int w = 0; w < 10; ++w) p.n4(subframe.get(30 * w + 1, 24));
    return fb::ublox(0x02, 0x11, p.b);
}

// ---- MON-VER (0x0A 0x04) --------------------------------------------------------------------
inline std::vector<uint8_t> mon_ver(const std::string &sw, const std::string &hw, const std::vector<std::string> &ext)
{
    le::Writer p;
    p.text(sw, 30).text(hw, 10);
    for (const std::string &e : ext) p.text(e, 30);
    return fb::ublox(0x0A, 0x04, p.b);
}

} // namespace ubxenc

#endif
