// Hemisphere binary decoders: frames built from chosen values by the test
// encoder decode back to those values in engineering units; edge cases of
// the observation message; real GPS ephemerides of a Crescent log.
#include <gtest/gtest.h>

#include <math.h>
#include <string.h>

#include <sstream>
#include <string>
#include <vector>

#include "gnssparser.h"
#include "hemisphere.h"
#include "hemisphere_encoder.h"
#include "log_frames.h"
#include "testdata.h"
#include "util.h"

namespace {

const double C_LIGHT = 299792458.0;

double p2(int e)
{
    return ldexp(1.0, e);
}

// Each decoded value against its hand-computed value, in one check each.
void expect_values(std::initializer_list<std::pair<double, double>> values)
{
    int k = 0;
    for (const auto &v : values) EXPECT_DOUBLE_EQ(v.first, v.second) << "value " << k++;
}

std::string letter_code(const hemisphere_bin16_obs_obs_t &o)
{
    return o.signal ? std::string(1, GNSS_SYSTEM[o.signal->system].letter) + o.signal->code : "";
}

// Channel i of the message 16 built from m; fails the test unless it decodes.
hemisphere_bin16_obs_obs_t obs16(const hemienc::Bin16 &m, int i, const glonass_channel_t *table = nullptr)
{
    const std::vector<uint8_t> frame = m.build();
    hemisphere_bin16_obs_t msg;
    hemisphere_bin16_obs_obs_t o;
    EXPECT_EQ(hemisphere_parser_bin16_obs(frame.data(), (uint32_t)frame.size(), &msg), 0);
    EXPECT_EQ(hemisphere_bin16_obs_get_obs(&msg, i, &o, table), 0) << "channel " << i;
    return o;
}

} // namespace

// ---- message 16 ------------------------------------------------------------------------------

TEST(HemisphereBin16, SignalTableAndSatelliteNumbers)
{
    // Per system and satellite number, the signal of k = 0, 1, ... ("-": none).
    const struct {
        uint32_t system, satellite;
        bool p_code;
        const char *signals;
        int prn;
    } cases[] = {{0, 5, false, "G1C G2W G2S G5I G1L -", 5}, {0, 100, false, "G1C", 100}, {0, 120, false, "S1C -", 20},
                 {1, 3, false, "R1C R2C -", 3}, {1, 3, true, "R1P R2P", 3}, {1, 5, false, "R1C R2C", 5},
                 {2, 11, false, "E1X E5X E7X E6X E8X -", 11}, {3, 30, false, "C2I C7I C6I C1X C5X C7Z - C8X", 30},
                 {4, 193, false, "J1C - J2X J5I J1L -", 1}, {5, 194, false, "I5A -", 2}, {6, 5, false, "-", 5},
                 {15, 5, false, "-", 5}};
    // Only GLONASS slot 3 has a known channel, and only with the table.
    glonass_channel_t table;
    glonass_channel_init(&table);
    glonass_channel_set(&table, 3, 1);
    for (const glonass_channel_t *tab : {(const glonass_channel_t *)&table, (const glonass_channel_t *)nullptr}) {
        for (const auto &t : cases) {
            std::istringstream signals(t.signals);
            std::string signal;
            for (uint32_t k = 0; signals >> signal; ++k) {
                if (signal == "-") signal.clear();
                hemienc::Bin16 m;
                hemienc::Channel &c = m.channel[0];
                c.satellite = t.satellite, c.system = t.system, c.k = k, c.p_code = t.p_code, c.phase_valid = true;
                c.range_count = (uint64_t)22000000 * 256, c.carrier = 12345;
                const hemisphere_bin16_obs_obs_t o = obs16(m, 0, tab);
                // No signal or no carrier frequency: no phase, and the
                // receiver's valid flag is cleared; the pseudorange stays.
                const bool channel = t.system == 1 && tab && t.satellite == 3;
                const bool phase = !signal.empty() && (t.system != 1 || channel);
                EXPECT_EQ(logs::fields(letter_code(o), (int)o.prn, o.system, o.signal_index, o.adr != 0.0,
                                       (bool)o.phase_valid, (int)o.glofreq, o.pseudorange),
                          logs::fields(signal, t.prn, t.system, k, phase, phase, channel ? 1 : 99, 22000000.0))
                    << "system " << t.system << " k " << k << " sat " << t.satellite << " table " << (tab != nullptr);
            }
        }
    }
}

// The carrier phase is sent as its low 23 bits in 1/1024 cycles; the rest
// comes from the pseudorange. Every realistic value exceeds 32 bits.
TEST(HemisphereBin16, CarrierPhaseReconstruction)
{
    glonass_channel_t table;
    glonass_channel_init(&table);
    glonass_channel_set(&table, 9, -7);
    const struct {
        uint32_t system, k;
        double f; // carrier of the chosen signal
    } sigs[] = {{0, 0, 1575420000.0}, {0, 1, 1227600000.0}, {2, 1, 1176450000.0}, {3, 0, 1561098000.0},
                // G1 1602 + k 0.5625 MHz, G2 1246 + k 0.4375 MHz, channel -7.
                {1, 0, 1598062500.0}, {1, 1, 1242937500.0}};
    // Within half a period of the pseudorange's phase the received bits are
    // taken as they are; more than half a period away (the last), the
    // nearer candidate wins.
    const int64_t deltas[] = {0, 1, -1, 1000000, -1000000, 4194303, -4194303, 3000000, -3000000, 4194305};
    int wrapped = 0;
    for (const auto &s : sigs) {
        for (int r = 0; r < 40; ++r) {
            const uint64_t range_count = (uint64_t)(20000000.0 * 256) + (uint64_t)r * 3160493 * 256 / 100;
            const int64_t expected = (int64_t)(s.f * (range_count / 256.0) * 1024.0 / C_LIGHT);
            ASSERT_GT(expected, (int64_t)1 << 36);
            for (int64_t delta : deltas) {
                const int64_t sent = expected + delta;
                const int64_t phase = delta > 4194304 ? sent - 8388608 : sent;
                wrapped += (phase >> 23) != (expected >> 23);
                hemienc::Bin16 m;
                hemienc::Channel &c = m.channel[3];
                c.satellite = 9, c.system = s.system, c.k = s.k, c.phase_valid = delta != 4194305;
                c.range_count = range_count, c.carrier = (uint32_t)(sent & 0x7FFFFF);
                const hemisphere_bin16_obs_obs_t o = obs16(m, 3, &table);
                // The receiver's valid flag is passed on as received.
                ASSERT_EQ(logs::fields(o.adr, o.phase_valid), logs::fields(-(double)phase / 1024.0, (int)c.phase_valid))
                    << "system " << s.system << " k " << s.k << " delta " << delta;
            }
        }
    }
    EXPECT_GT(wrapped, 20); // both directions of the 23-bit wrap
}

// ---- message 65 ------------------------------------------------------------------------------

namespace {

struct GloValues {
    int64_t p1 = 2, hours = 13, minutes = 45, half = 1, bn = 5, p2 = 1, tb = 55, p3 = 1, p = 3, ln3 = 1, gamma = -5;
    int64_t vx = 2621440, ax = -3, x = 20480000;  // 2.5 km/s, 10000 km
    int64_t vy = -1310720, ay = 7, y = -30720000; // -1.25 km/s, -15000 km
    int64_t vz = 786432, az = -15, z = 36864000;  // 0.75 km/s, 18000 km
    int64_t tau = -123456, delta_tau = -4, en = 11, p4 = 1, ft = 9, nt = 1000, slot = 17, m = 1;
    int64_t na = 999, n4 = 7, ln5 = 0, tau_c = 1000, tau_gps = 2047, channel = -4;
};

std::vector<uint8_t> build_bin65(const GloValues &v, uint32_t slot_byte, uint32_t time_word)
{
    using navenc::glonass_sm;
    // {string, highest bit, width, value}; 0x3FFF, 7 and 1 fill reserved bits.
    const struct {
        int a, b, width;
        int64_t value;
    } fields[] = {
        {1, 78, 2, v.p1}, {1, 76, 5, v.hours}, {1, 71, 6, v.minutes}, {1, 65, 1, v.half},
        {1, 64, 24, glonass_sm(v.vx, 24)}, {1, 40, 5, glonass_sm(v.ax, 5)}, {1, 35, 27, glonass_sm(v.x, 27)},
        {2, 80, 3, v.bn}, {2, 77, 1, v.p2}, {2, 76, 7, v.tb}, {2, 64, 24, glonass_sm(v.vy, 24)},
        {2, 40, 5, glonass_sm(v.ay, 5)}, {2, 35, 27, glonass_sm(v.y, 27)}, {3, 80, 1, v.p3},
        {3, 79, 11, glonass_sm(v.gamma, 11)}, {3, 67, 2, v.p}, {3, 65, 1, v.ln3}, {3, 64, 24, glonass_sm(v.vz, 24)},
        {3, 40, 5, glonass_sm(v.az, 5)}, {3, 35, 27, glonass_sm(v.z, 27)}, {4, 80, 22, glonass_sm(v.tau, 22)},
        {4, 58, 5, glonass_sm(v.delta_tau, 5)}, {4, 53, 5, v.en}, {4, 48, 14, 0x3FFF}, {4, 34, 1, v.p4},
        {4, 33, 4, v.ft}, {4, 29, 3, 7}, {4, 26, 11, v.nt}, {4, 15, 5, v.slot}, {4, 10, 2, v.m}, {5, 80, 11, v.na},
        {5, 69, 32, glonass_sm(v.tau_c, 32)}, {5, 37, 1, 1}, {5, 36, 5, v.n4}, {5, 31, 22, glonass_sm(v.tau_gps, 22)},
        {5, 9, 1, v.ln5}
    };
    navenc::Bits s[5] = {navenc::Bits(85), navenc::Bits(85), navenc::Bits(85), navenc::Bits(85), navenc::Bits(85)};
    for (int k = 1; k <= 5; ++k) {
        navenc::glonass_set(s[k - 1], 84, 4, k); // string number m
        navenc::glonass_set(s[k - 1], 8, 8, 0xA5); // check bits: not read
    }
    for (const auto &f : fields) navenc::glonass_set(s[f.a - 1], f.b, f.width, f.value);

    hemienc::Data d(68);
    d.u8(8, slot_byte);
    d.u8(9, (uint32_t)(v.channel + 8));
    d.u16(10, 0x1234);
    d.u32(12, time_word);
    const std::vector<uint32_t> words = hemienc::glonass_words(s);
    for (size_t i = 0; i < words.size(); ++i)
        d.u32(16 + 4 * i, words[i]);
    return hemienc::frame(65, d);
}

} // namespace

TEST(HemisphereBin65, StringParametersSignMagnitudeAndChecks)
{
    GloValues v;
    const uint32_t tk = 13 * 3600 + 45 * 60 + 30; // 49530
    std::vector<uint8_t> f = build_bin65(v, 17, tk);
    ASSERT_EQ(f.size(), 80u);
    hemisphere_bin65_glonav_t out;
    ASSERT_EQ(hemisphere_parser_bin65_glonav(f.data(), 80, &out), 0);
    const glonass_nav_t &n = out.nav;
    EXPECT_EQ(logs::fields(out.word, out.time, n.tk, n.tb, n.p1, n.bn, n.p2, n.p3, n.p, n.ln3, n.en, n.p4, n.ft),
              logs::fields(0x1234, tk, tk, 55u * 900, 2, 5, 1, 1, 3, 1, 11, 1, 9));
    EXPECT_EQ(logs::fields(n.nt, n.slot, n.m, n.na, n.four_year, n.ln5, n.frequency_channel),
              logs::fields(1000, 17, 1, 999, 7, 0, -4));
    expect_values({{n.x, 10000.0}, {n.y, -15000.0}, {n.z, 18000.0}, {n.vx, 2.5}, {n.vy, -1.25}, {n.vz, 0.75},
                   {n.ax, -3 * p2(-30)}, {n.ay, 7 * p2(-30)}, {n.az, -15 * p2(-30)}, {n.gamma, -5 * p2(-40)},
                   {n.tau, -123456 * p2(-30)}, {n.delta_tau, -4 * p2(-30)}, {n.tau_c, 1000 * p2(-31)},
                   {n.tau_gps, 2047 * p2(-30)}});
    // Day 1000 of the interval starting 2020 is 2022-09-26 (Moscow);
    // 2022-09-26 00:00 Moscow is 1664139600 s after 1970 UTC.
    EXPECT_EQ(logs::fields(n.tk_time, n.tb_time),
              logs::fields((1664139600LL + tk) * 1000, (1664139600LL + 55 * 900) * 1000));

    // The slot byte and the time word must agree with the strings; only
    // the slot byte is compared.
    const struct {
        uint32_t slot_byte, time;
        int rc;
    } checks[] = {{18, tk, -2}, {17, tk + 30, -2}, {17 + 256, tk, 0}};
    for (const auto &c : checks) {
        f = build_bin65(v, c.slot_byte, c.time);
        EXPECT_EQ(hemisphere_parser_bin65_glonav(f.data(), 80, &out), c.rc) << c.slot_byte << " " << c.time;
    }

    // Field edges: tk 23:59:30, the largest magnitudes, negative zero.
    v.hours = 23, v.minutes = 59, v.half = 1, v.slot = 24;
    v.x = -((1 << 26) - 1), v.vy = (1 << 23) - 1, v.az = 0;
    v.n4 = 0, v.nt = 0; // no additional data: the record stays undated
    // A channel byte naming no frequency channel is refused rather than
    // teaching the channel table a carrier that no satellite uses.
    for (int channel : {6, -7, 13, -8, 14, -8 + 255}) {
        v.channel = channel;
        f = build_bin65(v, 24, 86370);
        const int rc = hemisphere_parser_bin65_glonav(f.data(), 80, &out);
        if (channel < -7 || channel > 13) {
            EXPECT_EQ(rc, -1) << channel;
            continue;
        }
        ASSERT_EQ(rc, 0) << channel;
        EXPECT_EQ(logs::fields(out.nav.tk, out.nav.az, out.nav.frequency_channel, out.nav.tk_time,
                               glonass_nav_date_known(&out.nav)),
                  logs::fields(86370u, 0.0, channel, (int64_t)0, 0));
        expect_values({{out.nav.x, -(double)((1 << 26) - 1) * p2(-11)},
                       {out.nav.vy, (double)((1 << 23) - 1) * p2(-20)}});
        EXPECT_EQ(hemisphere_parser_bin65_glonav(f.data(), 79, &out), -1);
        EXPECT_EQ(hemisphere_parser_bin65_glonav(f.data(), 0, &out), -1);
    }
}

// ---- real data -------------------------------------------------------------------------------

// A Crescent log of 2008-05-26 (GPS week 1481, Monday ~06:00, tow ~108000 s).
TEST(HemisphereRealData, CrescentGpsEphemerides)
{
    REQUIRE_TESTDATA();
    const std::vector<uint8_t> log = testdata::read("rtklib/cres_20080526.bin");
    ASSERT_EQ(log.size(), 262144u);

    // Message 95 frames: "$BIN", id 95, 128 data bytes.
    std::vector<std::vector<uint8_t>> frames;
    for (size_t i = 0; i + 140 <= log.size(); ++i)
        if (!memcmp(&log[i], "$BIN\x5F\x00\x80\x00", 8)) frames.emplace_back(&log[i], &log[i] + 140);
    EXPECT_EQ(frames.size(), 9u);

    for (const std::vector<uint8_t> &f : frames) {
        hemisphere_bin95_gpsnav_t out;
        ASSERT_EQ(hemisphere_parser_bin95_gpsnav(f.data(), (uint32_t)f.size(), &out), 0);
        const gps_nav_t &n = out.nav;
        SCOPED_TRACE(testing::Message() << "PRN " << (int)n.prn);
        // The physics of a GPS orbit and clock.
        EXPECT_TRUE(n.prn >= 1 && n.prn <= 32 && n.e >= 0.0 && n.e < 0.03 && fabs(n.omega_dot) < 1e-8 &&
                    fabs(n.delta_n) < 1e-8 && fabs(n.af0) < 1e-3 && fabs(n.sqrt_a - 5153.6) < 5.0 &&
                    fabs(n.i0 * 180 / M_PI - 55.0) < 5.0)
            << n.sqrt_a << " " << n.i0;
        // IODC's low 8 bits equal both IODEs of a consistent set. The 10-bit
        // week is 1481 modulo 1024 (the rule makes it 2505); the writers lift
        // it with the log's own time to 2008.
        EXPECT_EQ(logs::fields(n.iode3, n.iodc & 0xFF, (int)n.week, util_round_week(n.week % 1024, 1481, 1024), n.toc),
                  logs::fields(n.iode, (int)n.iode, 1481 - 1024 + 2048, 1481, n.toe));
        // Transmitted on Monday morning, from the start of subframe 1: 6 s
        // before the time its HOW names (word 2, bits 1-17, of the frame's
        // first subframe); the ephemeris is referred to within a few hours.
        EXPECT_EQ(n.tow, 6 * (int32_t)((util_bytes_to_u32(f.data() + 20) >> 13) & 0x1FFFF) - 6);
        EXPECT_NEAR(n.tow, 108000, 600);
        EXPECT_LT(fabs((double)n.toe - n.tow), 4 * 3600.0);
        EXPECT_EQ(n.toe % 16, 0u);
    }
}

TEST(HemisphereBin94, FieldsAtTheirFrameOffsets)
{
    hemienc::Data d(96);
    const double values[10] = {1.1e-8, 2.2e-8, -5.96e-8, -1.19e-7, 90112, 0, -196608, 65536, // alpha, beta
                               -9.3132257e-10, -1.7763568e-15};                             // A0, A1
    for (int k = 0; k < 10; ++k) d.f64(8 + 8 * k, values[k]);
    d.u32(88, 405504);
    const uint16_t shorts[5] = {1477, 1390, 7, 14, (uint16_t)-3}; // WNt, WNlsf, DN, dtls, dtlsf
    for (int k = 0; k < 5; ++k) d.u16(92 + 2 * k, shorts[k]);
    std::vector<uint8_t> f = hemienc::frame(94, d);
    ASSERT_EQ(f.size(), 108u);
    hemisphere_bin94_inoutc_t out;
    ASSERT_EQ(hemisphere_parser_bin94_inoutc(f.data(), 108, &out), 0);
    for (int k = 0; k < 4; ++k)
        EXPECT_EQ(logs::fields(out.alpha[k], out.beta[k]), logs::fields(values[k], values[4 + k])) << k;
    EXPECT_EQ(logs::fields(out.a0, out.a1, out.tot, out.wnt, out.wnlsf, out.dn, out.dtls, out.dtlsf, out.crlf[0],
                           out.crlf[1], out.checksum, std::string((const char *)out.header, 4)),
              logs::fields(values[8], values[9], 405504u, 1477, 1390, 7, 14, -3, '\r', '\n', f[104] | f[105] << 8,
                           std::string("$BIN")));
    EXPECT_EQ(hemisphere_parser_bin94_inoutc(f.data(), 107, &out), -1);
    EXPECT_EQ(out.dtls, 0);
}
