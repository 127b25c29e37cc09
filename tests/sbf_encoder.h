// Test-side builder of Septentrio SBF blocks from the published SBF reference
// guide: "$@", CRC-16-CCITT (frame_builders.h) over everything from the ID
// on, ID with revision in bits 13-15, a length that covers the whole block
// and is a multiple of 4, then TOW (ms) and WNc. MeasEpoch
// sub-blocks are built from engineering values the way the guide tells a
// reader to rebuild them. Independent of the decoder under test.
#ifndef QUORVANE_TESTS_SBF_ENCODER_H
#define QUORVANE_TESTS_SBF_ENCODER_H

#include <math.h>
#include <stdint.h>

#include <vector>

#include "frame_builders.h"
#include "le_writer.h"

namespace sbfenc {

const double C = 299792458.0;

using Body = le::Writer;

// A whole block: the body's bytes from offset 14 on are the block's own
// fields (offsets as in the guide's tables, counted from the sync bytes).
inline std::vector<uint8_t> block(uint16_t number, uint8_t revision, uint32_t tow, uint16_t wnc, Body body)
{
    body.grow(14);
    body.grow((body.b.size() + 3) / 4 * 4);
    body.b[0] = '$';
    body.b[1] = '@';
    body.u16(4, (uint16_t)(number | (revision << 13)));
    body.u16(6, (uint16_t)body.b.size());
    body.u32(8, tow);
    body.u16(12, wnc);
    body.u16(2, fb::crc16_ccitt(body.b.data() + 4, body.b.size() - 4));
    return body.b;
}

// ---- MeasEpoch -----------------------------------------------------------------

// A signal's values as the receiver measured them; "dnu" fields go out as
// the do-not-use patterns.
struct Signal {
    int signal, lock;               // 0..63, 32 and above through ObsInfo; s
    int antenna = 0, cn0_raw = 160; // 0.25 dB-Hz steps; 255 do-not-use
    double frequency;
    bool code_dnu = false, phase_dnu = false, doppler_dnu = false;
    double pseudorange = 0, phase = 0, doppler = 0; // m, cycles, Hz
    int info = 0, glonass_frequency = 0;            // ObsInfo bits 0-2; -7..+6 for GLONASS signals
};

// A Type2 sub-block: another signal of the Type1's satellite (lock time
// 255: do-not-use).
struct Type2 : Signal {
    Type2() { signal = 2, lock = 10, frequency = 1227.6e6; }
};

struct Type1 : Signal {
    int channel = 1, svid = 1;
    std::vector<Type2> type2;
    Type1() { signal = 0, lock = 100, frequency = 1575.42e6; } // lock time 65535: do-not-use
};

// Type field and ObsInfo top bits: signal numbers from 32 on are sent as 31
// with the number less 32 in ObsInfo bits 3-7; GLONASS FDMA signals (8 to
// 11) carry their frequency number + 8 there.
inline void signal_fields(const Signal &s, uint8_t *type, uint8_t *obs_info)
{
    const int top = s.signal >= 32 ? s.signal - 32 : s.signal >= 8 && s.signal <= 11 ? s.glonass_frequency + 8 : 0;
    *type = (uint8_t)((s.signal >= 32 ? 31 : s.signal) | (s.antenna << 5));
    *obs_info = (uint8_t)((s.info & 7) | (top << 3));
}

inline long long mm(double metres)
{
    return llround(metres * 1000.0);
}

// The signed part of v above its low 16 bits.
inline long long top16(long long v)
{
    return (long long)floor(v / 65536.0);
}

// Carrier field in 0.001 cycles: the phase less the pseudorange (as sent,
// to the millimetre) in cycles; split into a signed top byte and 16 bits.
inline void carrier_fields(double phase, long long pr_mm, double frequency, int8_t *msb, uint16_t *lsb)
{
    const long long v = llround((phase - pr_mm * 0.001 * frequency / C) * 1000.0);
    *msb = (int8_t)top16(v);
    *lsb = (uint16_t)(v - top16(v) * 65536);
}

inline std::vector<uint8_t> meas_epoch(uint32_t tow, uint16_t wnc, const std::vector<Type1> &list,
                                       int common_flags = 0, int sb1_length = 20, int sb2_length = 12)
{
    Body b;
    b.from(14).n1((uint8_t)list.size()).n1((uint8_t)sb1_length).n1((uint8_t)sb2_length).n1((uint8_t)common_flags);
    size_t at = 20;
    for (const Type1 &t : list) {
        uint8_t type, info;
        signal_fields(t, &type, &info);
        const long long pr = t.code_dnu ? 0 : mm(t.pseudorange);
        int8_t cmsb = -128;
        uint16_t clsb = 0;
        if (!t.phase_dnu) carrier_fields(t.phase, pr, t.frequency, &cmsb, &clsb);
        // Channel, Type, SVID, code (top byte, 32 bits), Doppler, carrier
        // (16 bits, top byte), C/N0, lock time, ObsInfo, Type2 count.
        b.from(at).n1((uint8_t)t.channel).n1(type).n1((uint8_t)t.svid).n1((uint8_t)(pr >> 32)).n4((uint32_t)pr);
        b.n4(t.doppler_dnu ? 0x80000000u : (uint32_t)(int32_t)llround(t.doppler * 1e4)).n2(clsb).n1((uint8_t)cmsb);
        b.n1((uint8_t)t.cn0_raw).n2((uint16_t)t.lock).n1(info).n1((uint8_t)t.type2.size());
        at += sb1_length;
        for (const Type2 &s : t.type2) {
            signal_fields(s, &type, &info);
            // Code offset from the Type1 pseudorange: 3-bit signed top,
            // -4 with 0 below it is do-not-use.
            const long long pr2 = s.code_dnu ? pr : mm(s.pseudorange);
            const long long code = s.code_dnu ? -4 * 65536 : pr2 - pr;
            // Doppler offset from the Type1 Doppler scaled to this carrier:
            // 5-bit signed top, -16 with 0 below it is do-not-use.
            const long long dop = s.doppler_dnu ? -16 * 65536
                                                : llround((s.doppler - t.doppler * s.frequency / t.frequency) * 1e4);
            int8_t cmsb2 = -128;
            uint16_t clsb2 = 0;
            if (!s.phase_dnu) carrier_fields(s.phase, pr2, s.frequency, &cmsb2, &clsb2);
            // Type, lock time, C/N0, offset top bits, carrier top byte,
            // ObsInfo, then the low 16 bits of code, carrier and Doppler.
            b.from(at).n1(type).n1((uint8_t)s.lock).n1((uint8_t)s.cn0_raw);
            b.n1((uint8_t)((top16(code) & 7) | ((top16(dop) & 0x1F) << 3))).n1((uint8_t)cmsb2).n1(info);
            b.n2((uint16_t)code).n2(clsb2).n2((uint16_t)dop);
            at += sb2_length;
        }
    }
    b.grow(at);
    return block(4027, 1, tow, wnc, b);
}

// ---- decoded navigation ---------------------------------------------------------
// Keplerian sets in the guide's units: angles in semicircles, rates in
// semicircles per second.
struct Kepler {
    double sqrt_a = 5153.6, e = 0.01, m0 = 0.25, omega0 = -0.5, i0 = 0.3, omega = 0.75;
    float delta_n = 1.5e-9f, omega_dot = -2.5e-9f, idot = 1e-10f;
    float cuc = 1e-6f, cus = 2e-6f, crc = 200.5f, crs = -30.25f, cic = 3e-8f, cis = -4e-8f;
    uint32_t toe = 216000, toc = 216000;
    float af2 = 0, af1 = 1e-12f;
    double af0 = 1e-4;
};

// GPSNav (5891) or QZSNav (4095): week fields modulo 1024.
inline std::vector<uint8_t> gps_nav(uint16_t number, uint32_t tow, uint16_t wnc, int svid, const Kepler &k,
                                    int wn_toc, int wn_toe)
{
    Body b;
    // SVID to WNt_oc and WNt_oe at 136 and 138: C/A on L2, URA index 2,
    // healthy, IODC = IODE2 = IODE3 = 77, T_gd.
    b.from(14).n1((uint8_t)svid).n1(0).n2((uint16_t)wn_toc).n1(1).n1(2).n1(0).n1(0).n2(77).n1(77).n1(77).n2(0);
    b.f4(-1.1e-8f).n4(k.toc).f4(k.af2).f4(k.af1).f4((float)k.af0).f4(k.crs).f4(k.delta_n).f8(k.m0);
    b.f4(k.cuc).f8(k.e).f4(k.cus).f8(k.sqrt_a).n4(k.toe).f4(k.cic).f8(k.omega0).f4(k.cis).f8(k.i0).f4(k.crc);
    b.f8(k.omega).f4(k.omega_dot).f4(k.idot).n2((uint16_t)wn_toc).n2((uint16_t)wn_toe);
    return block(number, 0, tow, wnc, b);
}

// GALNav (4002): weeks on the GPS count; source 2 I/NAV, 16 F/NAV.
inline std::vector<uint8_t> gal_nav(uint32_t tow, uint16_t wnc, int svid, int source, const Kepler &k, int wn,
                                    int health)
{
    Body b;
    // SVID to the BGDs at 136 and 140: sqrt(A) to af0, WNt_oe and WNt_oc,
    // IODnav, health, the SISAs for L1,E5a and L1,E5b.
    b.from(14).n1((uint8_t)svid).n1((uint8_t)source).f8(k.sqrt_a).f8(k.m0).f8(k.e).f8(k.i0).f8(k.omega).f8(k.omega0);
    b.f4(k.omega_dot).f4(k.idot).f4(k.delta_n).f4(k.cuc).f4(k.cus).f4(k.crc).f4(k.crs).f4(k.cic).f4(k.cis);
    b.n4(k.toe).n4(k.toc).f4(k.af2).f4(k.af1).f8(k.af0).n2((uint16_t)wn).n2((uint16_t)wn).n2(55).n2((uint16_t)health);
    b.n1(0).n1(107).n1(108).n1(0).f4(2e-9f).f4(3e-9f);
    b.grow(152);
    return block(4002, 0, tow, wnc, b);
}

// BDSNav (4081): BDS weeks; the GPSNav layout from t_oc on.
inline std::vector<uint8_t> bds_nav(uint32_t tow, uint16_t wnc, int svid, const Kepler &k, int wn)
{
    Body b;
    b.b = gps_nav(4081, tow, wnc, svid, k, wn, wn);
    // URA 1, SatH1 0, AODC 3, AODE 4, T_GD1, T_GD2.
    b.from(18).n1(1).n1(0).n1(3).n1(4).n2(0).f4(5e-9f).f4(-6e-9f);
    return block(4081, 0, tow, wnc, b);
}

// GLONav (4004) revision 1; km, km/s, km/s^2; FreqNr sent + 8; tb in minutes.
inline std::vector<uint8_t> glo_nav(uint32_t tow, uint16_t wnc, int svid, int frequency, uint32_t toe, int wn_toe,
                                    int tb_minutes, int nt)
{
    Body b;
    b.from(14).n1((uint8_t)svid).n1((uint8_t)(frequency + 8));
    b.f8(-7532.15283203125).f8(-20038.35400390625).f8(13892.84912109375); // x, y, z
    b.f4(-0.25f).f4(-1.875f).f4(-2.875f).f4(-1.862645149230957e-09f).f4(0).f4(-2.7939677238464355e-09f); // v, a
    b.f4(9.094947017729282e-13f).f4(-1.2e-4f).f4(9.3e-9f); // gamma, tau, delta tau
    // t_oe, WN_toe, P1 30, P2 1, E 0, B 0, tb, M 1, P 3, l 0, P4 0, N_T,
    // F_T 7 m (in centimetres), C 1.
    b.n4(toe).n2((uint16_t)wn_toe).n1(30).n1(1).n1(0).n1(0).n2((uint16_t)tb_minutes).n1(1).n1(3).n1(0).n1(0);
    b.n2((uint16_t)nt).n2(700).n1(1);
    return block(4004, 1, tow, wnc, b);
}

} // namespace sbfenc

#endif
