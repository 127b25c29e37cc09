// A small RTCM 3 encoder for tests: builds frames bit by bit from chosen
// values, following the field definitions of RTCM 10403.3 (data fields DF...).
// It has its own bit writer and CRC so that it shares nothing with the
// decoders it checks.
#ifndef QUORVANE_TESTS_RTCM3_ENCODER_H
#define QUORVANE_TESTS_RTCM3_ENCODER_H

#include <math.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

#include <vector>

namespace rtcm3enc {

// Most significant bit first, as RTCM 3 sends.
struct BitWriter {
    std::vector<uint8_t> bytes;
    uint32_t bits = 0;

    void put(uint64_t value, int n)
    {
        if (n < 64 && value >> n) {
            fprintf(stderr, "rtcm3enc: %llu does not fit %d bits\n", (unsigned long long)value, n);
            abort();
        }
        for (int i = n - 1; i >= 0; i--) {
            if (bits % 8 == 0) bytes.push_back(0);
            if ((value >> i) & 1u) bytes.back() |= (uint8_t)(0x80u >> (bits % 8));
            bits++;
        }
    }
    // Two's complement of width n; a value that does not fit is a fault of
    // the test that chose it.
    void puts(int64_t value, int n)
    {
        if (n < 64 && (value < -(1ll << (n - 1)) || value >= (1ll << (n - 1)))) {
            fprintf(stderr, "rtcm3enc: %lld does not fit %d bits\n", (long long)value, n);
            abort();
        }
        put((uint64_t)value & (n == 64 ? ~0ull : ((1ull << n) - 1)), n);
    }
    // GLONASS sign and magnitude of width n.
    void putsm(int64_t value, int n)
    {
        uint64_t mag = (uint64_t)(value < 0 ? -value : value);
        if (mag >> (n - 1)) {
            fprintf(stderr, "rtcm3enc: magnitude %llu does not fit %d bits\n", (unsigned long long)mag, n);
            abort();
        }
        put(((value < 0 ? 1ull : 0ull) << (n - 1)) | mag, n);
    }
};

// CRC-24Q, polynomial 0x1864CFB, computed bit by bit.
inline uint32_t crc24q(const uint8_t *p, size_t n)
{
    uint32_t crc = 0;
    for (size_t i = 0; i < n; i++) {
        crc ^= (uint32_t)p[i] << 16;
        for (int b = 0; b < 8; b++) {
            crc <<= 1;
            if (crc & 0x1000000u) crc ^= 0x1864CFBu;
        }
    }
    return crc & 0xFFFFFFu;
}

// Preamble, 6 zero bits, 10-bit length, body (padded to whole bytes), CRC.
inline std::vector<uint8_t> frame(const BitWriter &w)
{
    std::vector<uint8_t> f;
    size_t n = w.bytes.size();
    f.push_back(0xD3);
    f.push_back((uint8_t)((n >> 8) & 3u));
    f.push_back((uint8_t)(n & 0xFFu));
    f.insert(f.end(), w.bytes.begin(), w.bytes.end());
    uint32_t crc = crc24q(f.data(), f.size());
    f.push_back((uint8_t)(crc >> 16));
    f.push_back((uint8_t)(crc >> 8));
    f.push_back((uint8_t)crc);
    return f;
}

// ---- MSM ---------------------------------------------------------------------------------

struct MsmCell {
    bool present = true;
    double pr_ms = 0;        // pseudorange, ms of light travel
    double ph_ms = 0;        // phase range, ms of light travel
    double rate = 0;         // phase range rate, m/s
    bool pr_valid = true;
    bool ph_valid = true;
    bool rate_fine_valid = true;
    unsigned lock = 0;
    unsigned half = 0;
    double cnr = 0;          // dB-Hz
};

struct MsmSat {
    int id = 1;              // 1..64
    double rough_ms = 70;    // rough range, ms (quantised to 2^-10 ms)
    bool rough_valid = true; // false: integer ms sent as 255
    double rough_rate = 0;   // m/s, whole
    bool rough_rate_valid = true;
    unsigned ext = 0;        // extended satellite information
    std::vector<MsmCell> cells; // one per signal id of the message
};

struct Msm {
    int number = 1077;
    int station = 0;
    uint32_t epoch = 0;
    int multiple = 0;
    int iods = 0;
    int clock_steering = 0;
    int external_clock = 0;
    int smoothing = 0;
    int smoothing_interval = 0;
    std::vector<int> signal_ids; // ascending, 1..32
    std::vector<MsmSat> sats;    // ascending id
};

// Rough range as sent: integer ms (DF397) and 1/1024 ms (DF398).
inline void rough_parts(double rough_ms, unsigned *int_ms, unsigned *mod)
{
    long q = lround(rough_ms * 1024.0);
    *int_ms = (unsigned)(q / 1024);
    *mod = (unsigned)(q % 1024);
}

inline std::vector<uint8_t> encode_msm(const Msm &m)
{
    const int type = m.number % 10;
    BitWriter w;
    w.put(m.number, 12);
    w.put(m.station, 12);
    w.put(m.epoch, 30);
    w.put(m.multiple, 1);
    w.put(m.iods, 3);
    w.put(0, 7);
    w.put(m.clock_steering, 2);
    w.put(m.external_clock, 2);
    w.put(m.smoothing, 1);
    w.put(m.smoothing_interval, 3);
    // Satellite mask DF394: first bit is satellite 1.
    for (int s = 1; s <= 64; s++) {
        bool on = false;
        for (const MsmSat &sat : m.sats) on = on || sat.id == s;
        w.put(on ? 1 : 0, 1);
    }
    // Signal mask DF395: first bit is signal id 1.
    for (int g = 1; g <= 32; g++) {
        bool on = false;
        for (int id : m.signal_ids) on = on || id == g;
        w.put(on ? 1 : 0, 1);
    }
    // Cell mask DF396: satellite-major.
    std::vector<const MsmCell *> used;
    std::vector<const MsmSat *> owner;
    for (const MsmSat &sat : m.sats)
        for (size_t j = 0; j < m.signal_ids.size(); j++) {
            bool on = j < sat.cells.size() && sat.cells[j].present;
            w.put(on ? 1 : 0, 1);
            if (on) {
                used.push_back(&sat.cells[j]);
                owner.push_back(&sat);
            }
        }

    const bool int_ms = type >= 4;
    const bool ext = type == 5 || type == 7;
    // Satellite data.
    if (int_ms)
        for (const MsmSat &sat : m.sats) {
            unsigned i, r;
            rough_parts(sat.rough_ms, &i, &r);
            w.put(sat.rough_valid ? i : 255, 8);
        }
    if (ext)
        for (const MsmSat &sat : m.sats) w.put(sat.ext, 4);
    for (const MsmSat &sat : m.sats) {
        unsigned i, r;
        rough_parts(sat.rough_ms, &i, &r);
        w.put(r, 10);
    }
    if (ext)
        for (const MsmSat &sat : m.sats) w.puts(sat.rough_rate_valid ? (int64_t)lround(sat.rough_rate) : -8192, 14);

    // Fine values relative to the whole rough range (types 1 to 3 send only
    // its part below 1 ms, so their ranges come back modulo 1 ms).
    auto rough_of = [&](const MsmSat *sat) {
        unsigned i, r;
        rough_parts(sat->rough_ms, &i, &r);
        return (double)i + r / 1024.0;
    };
    const bool has_pr = type != 2;
    const bool has_ph = type >= 2;
    const bool big = type >= 6;
    if (has_pr)
        for (size_t k = 0; k < used.size(); k++) {
            int bits = big ? 20 : 15;
            double scale = big ? ldexp(1, -29) : ldexp(1, -24);
            int64_t fine = used[k]->pr_valid ? (int64_t)llround((used[k]->pr_ms - rough_of(owner[k])) / scale)
                                             : -(1ll << (bits - 1));
            w.puts(fine, bits);
        }
    if (has_ph)
        for (size_t k = 0; k < used.size(); k++) {
            int bits = big ? 24 : 22;
            double scale = big ? ldexp(1, -31) : ldexp(1, -29);
            int64_t fine = used[k]->ph_valid ? (int64_t)llround((used[k]->ph_ms - rough_of(owner[k])) / scale)
                                             : -(1ll << (bits - 1));
            w.puts(fine, bits);
        }
    if (has_ph) {
        for (size_t k = 0; k < used.size(); k++) w.put(used[k]->lock, big ? 10 : 4);
        for (size_t k = 0; k < used.size(); k++) w.put(used[k]->half, 1);
    }
    if (type >= 4)
        for (size_t k = 0; k < used.size(); k++) {
            if (big)
                w.put((uint64_t)lround(used[k]->cnr * 16.0), 10);
            else
                w.put((uint64_t)lround(used[k]->cnr), 6);
        }
    if (ext)
        for (size_t k = 0; k < used.size(); k++) {
            int64_t fine = used[k]->rate_fine_valid
                               ? (int64_t)llround((used[k]->rate - lround(owner[k]->rough_rate)) / 0.0001)
                               : -16384;
            w.puts(fine, 15);
        }
    return frame(w);
}

// ---- station ---------------------------------------------------------------------------------

struct Station {
    int number = 1005;
    int station = 0;
    int itrf = 0;
    int gps = 1, glonass = 1, galileo = 0, reference = 0;
    int64_t x = 0, y = 0, z = 0; // 0.0001 m
    int oscillator = 0;
    int quarter_cycle = 0;
    unsigned height = 0;         // 0.0001 m
};

inline std::vector<uint8_t> encode_station(const Station &s)
{
    BitWriter w;
    w.put(s.number, 12);   // DF002
    w.put(s.station, 12);  // DF003
    w.put(s.itrf, 6);      // DF021
    w.put(s.gps, 1);       // DF022
    w.put(s.glonass, 1);   // DF023
    w.put(s.galileo, 1);   // DF024
    w.put(s.reference, 1); // DF141
    w.puts(s.x, 38);       // DF025
    w.put(s.oscillator, 1); // DF142
    w.put(0, 1);           // DF001 reserved
    w.puts(s.y, 38);       // DF026
    w.put(s.quarter_cycle, 2); // DF364
    w.puts(s.z, 38);       // DF027
    if (s.number == 1006) w.put(s.height, 16); // DF028
    return frame(w);
}

// ---- ephemerides (values are the broadcast integers) ----------------------------------------

struct Gps1019 {
    int64_t sat, week, ura, code_l2, idot, iode, toc, af2, af1, af0, iodc, crs, dn, m0, cuc, e, cus, sqrt_a, toe,
        cic, omega0, cis, i0, crc, omega, omega_dot, tgd, health, l2p, fit;
};

inline std::vector<uint8_t> encode_1019(const Gps1019 &v)
{
    BitWriter w;
    w.put(1019, 12);
    w.put(v.sat, 6);       // DF009
    w.put(v.week, 10);     // DF076
    w.put(v.ura, 4);       // DF077
    w.put(v.code_l2, 2);   // DF078
    w.puts(v.idot, 14);    // DF079
    w.put(v.iode, 8);      // DF071
    w.put(v.toc, 16);      // DF081
    w.puts(v.af2, 8);      // DF082
    w.puts(v.af1, 16);     // DF083
    w.puts(v.af0, 22);     // DF084
    w.put(v.iodc, 10);     // DF085
    w.puts(v.crs, 16);     // DF086
    w.puts(v.dn, 16);      // DF087
    w.puts(v.m0, 32);      // DF088
    w.puts(v.cuc, 16);     // DF089
    w.put(v.e, 32);        // DF090
    w.puts(v.cus, 16);     // DF091
    w.put(v.sqrt_a, 32);   // DF092
    w.put(v.toe, 16);      // DF093
    w.puts(v.cic, 16);     // DF094
    w.puts(v.omega0, 32);  // DF095
    w.puts(v.cis, 16);     // DF096
    w.puts(v.i0, 32);      // DF097
    w.puts(v.crc, 16);     // DF098
    w.puts(v.omega, 32);   // DF099
    w.puts(v.omega_dot, 24); // DF100
    w.puts(v.tgd, 8);      // DF101
    w.put(v.health, 6);    // DF102
    w.put(v.l2p, 1);       // DF103
    w.put(v.fit, 1);       // DF137
    return frame(w);
}

struct Qzss1044 {
    int64_t sat, toc, af2, af1, af0, iode, crs, dn, m0, cuc, e, cus, sqrt_a, toe, cic, omega0, cis, i0, crc, omega,
        omega_dot, idot, code_l2, week, ura, health, tgd, iodc, fit;
};

inline std::vector<uint8_t> encode_1044(const Qzss1044 &v)
{
    BitWriter w;
    w.put(1044, 12);
    w.put(v.sat, 4);       // DF429
    w.put(v.toc, 16);      // DF430
    w.puts(v.af2, 8);      // DF431
    w.puts(v.af1, 16);     // DF432
    w.puts(v.af0, 22);     // DF433
    w.put(v.iode, 8);      // DF434
    w.puts(v.crs, 16);     // DF435
    w.puts(v.dn, 16);      // DF436
    w.puts(v.m0, 32);      // DF437
    w.puts(v.cuc, 16);     // DF438
    w.put(v.e, 32);        // DF439
    w.puts(v.cus, 16);     // DF440
    w.put(v.sqrt_a, 32);   // DF441
    w.put(v.toe, 16);      // DF442
    w.puts(v.cic, 16);     // DF443
    w.puts(v.omega0, 32);  // DF444
    w.puts(v.cis, 16);     // DF445
    w.puts(v.i0, 32);      // DF446
    w.puts(v.crc, 16);     // DF447
    w.puts(v.omega, 32);   // DF448
    w.puts(v.omega_dot, 24); // DF449
    w.puts(v.idot, 14);    // DF450
    w.put(v.code_l2, 2);   // DF451
    w.put(v.week, 10);     // DF452
    w.put(v.ura, 4);       // DF453
    w.put(v.health, 6);    // DF454
    w.puts(v.tgd, 8);      // DF455
    w.put(v.iodc, 10);     // DF456
    w.put(v.fit, 1);       // DF457
    return frame(w);
}

struct Bds1042 {
    int64_t sat, week, ura, idot, aode, toc, a2, a1, a0, aodc, crs, dn, m0, cuc, e, cus, sqrt_a, toe, cic, omega0,
        cis, i0, crc, omega, omega_dot, tgd1, tgd2, health;
};

inline std::vector<uint8_t> encode_1042(const Bds1042 &v)
{
    BitWriter w;
    w.put(1042, 12);
    w.put(v.sat, 6);       // DF488
    w.put(v.week, 13);     // DF489
    w.put(v.ura, 4);       // DF490
    w.puts(v.idot, 14);    // DF491
    w.put(v.aode, 5);      // DF492
    w.put(v.toc, 17);      // DF493
    w.puts(v.a2, 11);      // DF494
    w.puts(v.a1, 22);      // DF495
    w.puts(v.a0, 24);      // DF496
    w.put(v.aodc, 5);      // DF497
    w.puts(v.crs, 18);     // DF498
    w.puts(v.dn, 16);      // DF499
    w.puts(v.m0, 32);      // DF500
    w.puts(v.cuc, 18);     // DF501
    w.put(v.e, 32);        // DF502
    w.puts(v.cus, 18);     // DF503
    w.put(v.sqrt_a, 32);   // DF504
    w.put(v.toe, 17);      // DF505
    w.puts(v.cic, 18);     // DF506
    w.puts(v.omega0, 32);  // DF507
    w.puts(v.cis, 18);     // DF508
    w.puts(v.i0, 32);      // DF509
    w.puts(v.crc, 18);     // DF510
    w.puts(v.omega, 32);   // DF511
    w.puts(v.omega_dot, 24); // DF512
    w.puts(v.tgd1, 10);    // DF513
    w.puts(v.tgd2, 10);    // DF514
    w.put(v.health, 1);    // DF515
    return frame(w);
}

struct Galileo {
    int64_t sat, week, iodnav, sisa, idot, toc, af2, af1, af0, crs, dn, m0, cuc, e, cus, sqrt_a, toe, cic, omega0, cis,
        i0, crc, omega, omega_dot;
    // F/NAV tail
    int64_t bgd_e5a, e5a_hs, e5a_dvs;
    // I/NAV tail
    int64_t bgd_e5b, e5b_hs, e5b_dvs, e1b_hs, e1b_dvs;
};

inline void galileo_common(BitWriter &w, const Galileo &v)
{
    w.put(v.sat, 6);       // DF252
    w.put(v.week, 12);     // DF289
    w.put(v.iodnav, 10);   // DF290
    w.put(v.sisa, 8);      // DF286
    w.puts(v.idot, 14);    // DF292
    w.put(v.toc, 14);      // DF293
    w.puts(v.af2, 6);      // DF294
    w.puts(v.af1, 21);     // DF295
    w.puts(v.af0, 31);     // DF296
    w.puts(v.crs, 16);     // DF297
    w.puts(v.dn, 16);      // DF298
    w.puts(v.m0, 32);      // DF299
    w.puts(v.cuc, 16);     // DF300
    w.put(v.e, 32);        // DF301
    w.puts(v.cus, 16);     // DF302
    w.put(v.sqrt_a, 32);   // DF303
    w.put(v.toe, 14);      // DF304
    w.puts(v.cic, 16);     // DF305
    w.puts(v.omega0, 32);  // DF306
    w.puts(v.cis, 16);     // DF307
    w.puts(v.i0, 32);      // DF308
    w.puts(v.crc, 16);     // DF309
    w.puts(v.omega, 32);   // DF310
    w.puts(v.omega_dot, 24); // DF311
}

inline std::vector<uint8_t> encode_1045(const Galileo &v)
{
    BitWriter w;
    w.put(1045, 12);
    galileo_common(w, v);
    w.puts(v.bgd_e5a, 10); // DF312
    w.put(v.e5a_hs, 2);    // DF314
    w.put(v.e5a_dvs, 1);   // DF315
    w.put(0, 7);           // DF001
    return frame(w);
}

inline std::vector<uint8_t> encode_1046(const Galileo &v)
{
    BitWriter w;
    w.put(1046, 12);
    galileo_common(w, v);
    w.puts(v.bgd_e5a, 10); // DF312
    w.puts(v.bgd_e5b, 10); // DF313
    w.put(v.e5b_hs, 2);    // DF316
    w.put(v.e5b_dvs, 1);   // DF317
    w.put(v.e1b_hs, 2);    // DF287
    w.put(v.e1b_dvs, 1);   // DF288
    w.put(0, 2);           // DF001
    return frame(w);
}

// GLONASS values are signed numbers; the encoder sends them as sign and
// magnitude where the ICD does.
struct Glonass1020 {
    int64_t slot, channel /* as sent, 0..13 */, alm_health, alm_health_avail, p1, tk, bn_msb, p2, tb;
    int64_t vx, x, ax, vy, y, ay, vz, z, az;
    int64_t p3, gamma, p, ln3, tau, delta_tau, en, p4, ft, nt, m, additional, na, tau_c, n4, tau_gps, ln5;
};

inline std::vector<uint8_t> encode_1020(const Glonass1020 &v)
{
    BitWriter w;
    w.put(1020, 12);
    w.put(v.slot, 6);      // DF038
    w.put(v.channel, 5);   // DF040
    w.put(v.alm_health, 1); // DF104
    w.put(v.alm_health_avail, 1); // DF105
    w.put(v.p1, 2);        // DF106
    w.put(v.tk, 12);       // DF107
    w.put(v.bn_msb, 1);    // DF108
    w.put(v.p2, 1);        // DF109
    w.put(v.tb, 7);        // DF110
    w.putsm(v.vx, 24);     // DF111
    w.putsm(v.x, 27);      // DF112
    w.putsm(v.ax, 5);      // DF113
    w.putsm(v.vy, 24);     // DF114
    w.putsm(v.y, 27);      // DF115
    w.putsm(v.ay, 5);      // DF116
    w.putsm(v.vz, 24);     // DF117
    w.putsm(v.z, 27);      // DF118
    w.putsm(v.az, 5);      // DF119
    w.put(v.p3, 1);        // DF120
    w.putsm(v.gamma, 11);  // DF121
    w.put(v.p, 2);         // DF122
    w.put(v.ln3, 1);       // DF123
    w.putsm(v.tau, 22);    // DF124
    w.putsm(v.delta_tau, 5); // DF125
    w.put(v.en, 5);        // DF126
    w.put(v.p4, 1);        // DF127
    w.put(v.ft, 4);        // DF128
    w.put(v.nt, 11);       // DF129
    w.put(v.m, 2);         // DF130
    w.put(v.additional, 1); // DF131
    w.put(v.na, 11);       // DF132
    w.putsm(v.tau_c, 32);  // DF133
    w.put(v.n4, 5);        // DF134
    w.putsm(v.tau_gps, 22); // DF135
    w.put(v.ln5, 1);       // DF136
    w.put(0, 7);           // DF001
    return frame(w);
}

// ---- legacy observations 1001 to 1004 (GPS) and 1009 to 1012 (GLONASS) ----------------

// One satellite as the messages carry it, in engineering units; the encoder
// quantises with the standard's resolutions.
struct LegacySat {
    int id = 1;              // DF009 / DF038
    int l1_code = 0;         // DF010 / DF039
    int channel = 0;         // GLONASS frequency channel -7..13 (DF040 = channel + 7)
    double pr1 = 22000000.0; // full L1 pseudorange, m
    double ph1 = 22000000.0; // full L1 phase range, m
    bool ph1_valid = true;
    int lock1 = 0;           // DF013 / DF043 indicator
    double cnr1 = 0;         // dB-Hz, 0 = not computed
    int l2_code = 0;         // DF016 / DF046
    double pr2 = 22000000.0; // full L2 pseudorange, m
    bool pr2_valid = true;
    double ph2 = 22000000.0; // full L2 phase range, m
    bool ph2_valid = true;
    int lock2 = 0;
    double cnr2 = 0;
};

struct Legacy {
    int number = 1004;
    int station = 0;
    uint32_t epoch = 0;      // GPS: ms of week (DF004); GLONASS: ms of the GLONASS day (DF034)
    int synchronous = 0;     // DF005
    int smoothing = 0;
    int smoothing_interval = 0;
    std::vector<LegacySat> sats;
};

inline std::vector<uint8_t> encode_legacy(const Legacy &m)
{
    const bool glo = m.number >= 1009;
    const int kind = m.number - (glo ? 1009 : 1001);
    const bool l2 = kind >= 2, ext = kind == 1 || kind == 3;
    // DF014 counts light-milliseconds of 299,792.458 m, DF044 units of 599,584.916 m.
    const double unit = glo ? 599584.916 : 299792.458;
    BitWriter w;
    w.put(m.number, 12);
    w.put(m.station, 12);
    w.put(m.epoch, glo ? 27 : 30);
    w.put(m.synchronous, 1);
    w.put(m.sats.size(), 5);
    w.put(m.smoothing, 1);
    w.put(m.smoothing_interval, 3);
    for (const LegacySat &s : m.sats) {
        w.put(s.id, 6);
        w.put(s.l1_code, 1);
        if (glo) w.put(s.channel + 7, 5);
        long amb = (long)floor(s.pr1 / unit);
        long pr = lround((s.pr1 - amb * unit) / 0.02);
        w.put(pr, glo ? 25 : 24);
        // Phase and L2 differences are taken against the L1 pseudorange as sent.
        double pr_sent = pr * 0.02 + amb * unit;
        w.puts(s.ph1_valid ? lround((s.ph1 - pr_sent) / 0.0005) : -524288, 20);
        w.put(s.lock1, 7);
        if (ext) {
            w.put(amb, glo ? 7 : 8);
            w.put(lround(s.cnr1 * 4), 8);
        }
        if (l2) {
            w.put(s.l2_code, 2);
            w.puts(s.pr2_valid ? lround((s.pr2 - pr_sent) / 0.02) : -8192, 14);
            w.puts(s.ph2_valid ? lround((s.ph2 - pr_sent) / 0.0005) : -524288, 20);
            w.put(s.lock2, 7);
            if (ext) w.put(lround(s.cnr2 * 4), 8);
        }
    }
    return frame(w);
}

} // namespace rtcm3enc

#endif
