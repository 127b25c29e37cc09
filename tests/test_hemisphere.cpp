// Hemisphere binary decoders: frames built from chosen values by the test
// encoder decode back to those values in engineering units; edge cases of
// the observation message; real GPS ephemerides of a Crescent log.
#include <gtest/gtest.h>

#include <cmath>
#include <math.h>
#include <string.h>

#include <random>
#include <string>
#include <vector>

#include "gnssparser.h"
#include "hemisphere.h"
#include "hemisphere_encoder.h"
#include "testdata.h"
#include "util.h"

namespace {

const double PI_NAV = 3.1415926535898; // the semicircle constant of the navigation messages
const double C_LIGHT = 299792458.0;

double p2(int e)
{
    return ldexp(1.0, e);
}

// Observation of channel i of a built message 16.
struct Decoded {
    std::vector<uint8_t> frame;
    hemisphere_bin16_obs_t msg;
    int rc;
};

Decoded decode16(const hemienc::Bin16 &m)
{
    Decoded d;
    d.frame = m.build();
    d.rc = hemisphere_parser_bin16_obs(d.frame.data(), (uint32_t)d.frame.size(), &d.msg);
    return d;
}

} // namespace

// ---- message 16 ------------------------------------------------------------------------------

TEST(HemisphereBin16, HeaderAndChannelFields)
{
    hemienc::Bin16 m;
    m.tow = 12.3456; // 12345.6 ms rounds to 12346
    m.week = 2301;
    m.page = 37; // both 6-bit fields at their widest
    m.pages = 42;
    m.mask = 0x8000000000000001ull;
    hemienc::Channel &c = m.channel[5];
    c.satellite = 7;
    c.channel_bits = 0x15;
    c.system = 0;
    c.k = 0;
    c.signal_bits = 0x0A;
    c.snr_count = 3000;        // 10 log10(3000 * 102.4) = 54.8742 dB-Hz
    c.track = 5;
    c.lock_count = 123;        // 12.3 s
    c.status = 0xA7;
    c.phase_valid = true;
    c.doppler_count = 1234567; // 2411.263671875 Hz
    c.doppler_positive = true;
    c.range_count = (uint64_t)(21234567.5 * 256); // 35 bits
    m.channel[6] = c;
    m.channel[6].lock_long = true;
    m.channel[6].doppler_positive = false;
    m.channel[6].snr_count = 0;
    m.channel[7].satellite = 255;
    m.channel[7].system = 3;
    m.channel[7].range_count = (1ull << 35) - 1; // every bit of both parts

    Decoded d = decode16(m);
    ASSERT_EQ(d.frame.size(), 324u);
    ASSERT_EQ(d.rc, 0);
    EXPECT_EQ(d.msg.week, 2301);
    EXPECT_EQ(d.msg.ms, 12346u);
    EXPECT_EQ(d.msg.page, 37);
    EXPECT_EQ(d.msg.pages, 42);
    EXPECT_EQ(d.msg.mask, 0x8000000000000001ull);
    EXPECT_EQ(d.msg.amount, 16);
    EXPECT_EQ(d.msg.blocks, d.frame.data() + 32);

    hemisphere_bin16_obs_obs_t o;
    ASSERT_EQ(hemisphere_bin16_obs_get_obs(&d.msg, 5, &o, nullptr), 0);
    EXPECT_EQ(o.prn, 7);
    EXPECT_EQ(o.channel_bits, 0x15);
    EXPECT_EQ(o.system, 0);
    EXPECT_EQ(o.signal_index, 0);
    EXPECT_EQ(o.signal_bits, 0x0A);
    EXPECT_EQ(o.track_bits, 5);
    EXPECT_EQ(o.status_bits, 0xA7);
    EXPECT_EQ(o.phase_valid, 1);
    EXPECT_NEAR(o.snr, 54.8742, 1e-3);
    EXPECT_NEAR(o.lock, 12.3, 1e-5);
    EXPECT_NEAR(o.doppler, 2411.263671875, 1e-3);
    EXPECT_DOUBLE_EQ(o.pseudorange, 21234567.5);
    EXPECT_EQ(o.glofreq, 99);
    ASSERT_NE(o.signal, nullptr);
    EXPECT_EQ(GNSS_SYSTEM[o.signal->system].letter, 'G');
    EXPECT_STREQ(o.signal->code, "1C");

    ASSERT_EQ(hemisphere_bin16_obs_get_obs(&d.msg, 6, &o, nullptr), 0);
    EXPECT_FLOAT_EQ(o.lock, 25.6f);
    EXPECT_NEAR(o.doppler, -2411.263671875, 1e-3);
    EXPECT_EQ(o.snr, 0.0f);
    ASSERT_EQ(hemisphere_bin16_obs_get_obs(&d.msg, 7, &o, nullptr), 0);
    EXPECT_EQ(o.prn, 255);
    EXPECT_DOUBLE_EQ(o.pseudorange, 134217727.99609375);

    // Every other channel is empty; indices outside 0..15 are refused.
    for (int i = 0; i < 16; ++i) {
        if (i < 5 || i > 7) {
            EXPECT_EQ(hemisphere_bin16_obs_get_obs(&d.msg, i, &o, nullptr), 1) << i;
        }
    }
    EXPECT_EQ(hemisphere_bin16_obs_get_obs(&d.msg, -1, &o, nullptr), -1);
    EXPECT_EQ(hemisphere_bin16_obs_get_obs(&d.msg, 16, &o, nullptr), -1);
    // A record whose message did not decode yields nothing.
    hemisphere_bin16_obs_t empty;
    EXPECT_EQ(hemisphere_parser_bin16_obs(d.frame.data(), 323, &empty), -1);
    EXPECT_EQ(hemisphere_bin16_obs_get_obs(&empty, 0, &o, nullptr), -1);
}

TEST(HemisphereBin16, LengthAndTimeChecks)
{
    hemienc::Bin16 m;
    m.tow = 345600.0;
    std::vector<uint8_t> f = m.build();
    hemisphere_bin16_obs_t r;
    for (uint32_t length : {0u, 12u, 323u, 325u}) {
        std::vector<uint8_t> g(f.begin(), f.begin() + std::min<size_t>(length, f.size()));
        g.resize(length, 0);
        EXPECT_EQ(hemisphere_parser_bin16_obs(g.data(), length, &r), -1) << length;
    }
    ASSERT_EQ(hemisphere_parser_bin16_obs(f.data(), 324, &r), 0);
    EXPECT_EQ(r.ms, 345600000u);
    EXPECT_EQ(hemisphere_parser_bin16_obs(nullptr, 324, &r), -1);

    // A time of week that is no number, negative or beyond the millisecond
    // count is refused rather than turned into an arbitrary count.
    for (double tow : {(double)NAN, -1.0, 5e9, (double)INFINITY}) {
        m.tow = tow;
        f = m.build();
        EXPECT_EQ(hemisphere_parser_bin16_obs(f.data(), 324, &r), -1) << tow;
    }
}

TEST(HemisphereBin16, SignalTableAndSatelliteNumbers)
{
    struct Case {
        uint32_t system, k, satellite;
        bool p_code;
        char letter;     // 0: no signal
        const char *code;
        int prn;
    };
    const Case cases[] = {
        {0, 0, 5, false, 'G', "1C", 5},   {0, 1, 5, false, 'G', "2W", 5},
        {0, 2, 5, false, 'G', "2S", 5},   {0, 3, 5, false, 'G', "5I", 5},
        {0, 4, 5, false, 'G', "1L", 5},   {0, 5, 5, false, 0, nullptr, 5},
        {0, 0, 100, false, 'G', "1C", 100},
        {0, 0, 120, false, 'S', "1C", 20}, {0, 1, 120, false, 0, nullptr, 20},
        {1, 0, 3, false, 'R', "1C", 3},   {1, 0, 3, true, 'R', "1P", 3},
        {1, 1, 3, false, 'R', "2C", 3},   {1, 1, 3, true, 'R', "2P", 3},
        {1, 2, 3, false, 0, nullptr, 3},
        {2, 0, 11, false, 'E', "1X", 11}, {2, 1, 11, false, 'E', "5X", 11},
        {2, 2, 11, false, 'E', "7X", 11}, {2, 3, 11, false, 'E', "6X", 11},
        {2, 4, 11, false, 'E', "8X", 11}, {2, 5, 11, false, 0, nullptr, 11},
        {3, 0, 30, false, 'C', "2I", 30}, {3, 1, 30, false, 'C', "7I", 30},
        {3, 2, 30, false, 'C', "6I", 30}, {3, 3, 30, false, 'C', "1X", 30},
        {3, 4, 30, false, 'C', "5X", 30}, {3, 5, 30, false, 'C', "7X", 30},
        {3, 6, 30, false, 0, nullptr, 30}, {3, 7, 30, false, 'C', "8X", 30},
        {4, 0, 193, false, 'J', "1C", 1}, {4, 1, 193, false, 0, nullptr, 1},
        {4, 2, 193, false, 'J', "2X", 1}, {4, 3, 193, false, 'J', "5I", 1},
        {4, 4, 199, false, 'J', "1L", 7},
        {5, 0, 194, false, 'I', "5A", 2}, {5, 1, 194, false, 0, nullptr, 2},
        {6, 0, 5, false, 0, nullptr, 5},  {15, 0, 5, false, 0, nullptr, 5},
    };
    for (const Case &t : cases) {
        hemienc::Bin16 m;
        m.channel[0].satellite = t.satellite;
        m.channel[0].system = t.system;
        m.channel[0].k = t.k;
        m.channel[0].p_code = t.p_code;
        m.channel[0].range_count = (uint64_t)22000000 * 256;
        m.channel[0].carrier = 12345;
        Decoded d = decode16(m);
        ASSERT_EQ(d.rc, 0);
        glonass_channel_t table;
        glonass_channel_init(&table);
        glonass_channel_set(&table, 3, 1);
        hemisphere_bin16_obs_obs_t o;
        ASSERT_EQ(hemisphere_bin16_obs_get_obs(&d.msg, 0, &o, &table), 0);
        SCOPED_TRACE(testing::Message() << "system " << t.system << " k " << t.k << " sat " << t.satellite);
        EXPECT_EQ(o.prn, t.prn);
        EXPECT_EQ(o.system, t.system);
        EXPECT_EQ(o.signal_index, t.k);
        if (!t.letter) {
            EXPECT_EQ(o.signal, nullptr);
            // No signal, no carrier frequency: no phase.
            EXPECT_EQ(o.adr, 0.0);
            EXPECT_EQ(o.phase_valid, 0);
            continue;
        }
        ASSERT_NE(o.signal, nullptr);
        EXPECT_EQ(GNSS_SYSTEM[o.signal->system].letter, t.letter);
        EXPECT_STREQ(o.signal->code, t.code);
        EXPECT_NE(o.adr, 0.0);
    }
}

// The carrier phase is sent as its low 23 bits in 1/1024 cycles; the rest
// comes from the pseudorange. Every realistic value exceeds 32 bits.
TEST(HemisphereBin16, CarrierPhaseReconstruction)
{
    struct Sig {
        uint32_t system, k;
        double f; // carrier of the chosen signal
    };
    const Sig sigs[] = {{0, 0, 1575420000.0}, {0, 1, 1227600000.0}, {2, 1, 1176450000.0}, {3, 0, 1561098000.0}};
    const int64_t deltas[] = {0, 1, -1, 1000000, -1000000, 4194303, -4194303, 3000000, -3000000};
    int wrapped = 0;
    for (const Sig &s : sigs) {
        for (int r = 0; r < 40; ++r) {
            const uint64_t range_count = (uint64_t)(20000000.0 * 256) + (uint64_t)r * 3160493 * 256 / 100;
            const double pr = range_count / 256.0;
            const int64_t expected = (int64_t)(s.f * pr * 1024.0 / C_LIGHT);
            ASSERT_GT(expected, (int64_t)1 << 36);
            for (int64_t delta : deltas) {
                const int64_t phase = expected + delta;
                if ((phase >> 23) != (expected >> 23))
                    ++wrapped;
                hemienc::Bin16 m;
                m.channel[3].satellite = 9;
                m.channel[3].system = s.system;
                m.channel[3].k = s.k;
                m.channel[3].phase_valid = true;
                m.channel[3].range_count = range_count;
                m.channel[3].carrier = (uint32_t)(phase & 0x7FFFFF);
                Decoded d = decode16(m);
                hemisphere_bin16_obs_obs_t o;
                ASSERT_EQ(hemisphere_bin16_obs_get_obs(&d.msg, 3, &o, nullptr), 0);
                ASSERT_EQ(o.adr, -(double)phase / 1024.0) << "system " << s.system << " delta " << delta;
                EXPECT_EQ(o.phase_valid, 1);
            }
            // More than half a period away, the nearer candidate wins.
            const int64_t far = expected + 4194305;
            hemienc::Bin16 m;
            m.channel[0].satellite = 9;
            m.channel[0].system = s.system;
            m.channel[0].k = s.k;
            m.channel[0].range_count = range_count;
            m.channel[0].carrier = (uint32_t)(far & 0x7FFFFF);
            Decoded d = decode16(m);
            hemisphere_bin16_obs_obs_t o;
            ASSERT_EQ(hemisphere_bin16_obs_get_obs(&d.msg, 0, &o, nullptr), 0);
            EXPECT_EQ(o.adr, -(double)(far - 8388608) / 1024.0);
        }
    }
    // Both directions of the 23-bit wrap were exercised.
    EXPECT_GT(wrapped, 20);

    // The phase agrees with the pseudorange to the chosen offset: phase
    // times wavelength minus the range is delta / 1024 wavelengths.
    hemienc::Bin16 m;
    m.channel[0].satellite = 9;
    m.channel[0].range_count = (uint64_t)(23456789.25 * 256);
    const double pr = 23456789.25;
    const int64_t e = (int64_t)(1575420000.0 * pr * 1024.0 / C_LIGHT);
    m.channel[0].carrier = (uint32_t)((e + 2048) & 0x7FFFFF); // two cycles ahead
    Decoded d = decode16(m);
    hemisphere_bin16_obs_obs_t o;
    ASSERT_EQ(hemisphere_bin16_obs_get_obs(&d.msg, 0, &o, nullptr), 0);
    const double wavelength = C_LIGHT / 1575420000.0;
    EXPECT_NEAR(-o.adr * wavelength - pr, 2 * wavelength, 0.01);
    // The receiver's valid flag is passed on as received.
    EXPECT_EQ(o.phase_valid, 0);
}

TEST(HemisphereBin16, GlonassCarrierNeedsTheChannel)
{
    glonass_channel_t table;
    glonass_channel_init(&table);
    glonass_channel_set(&table, 4, -7);
    const double pr = 19876543.0;
    for (int k = 0; k < 2; ++k) {
        const double f = k == 0 ? 1602000000.0 - 7 * 562500.0 : 1246000000.0 - 7 * 437500.0;
        ASSERT_EQ(k == 0 ? 1598062500.0 : 1242937500.0, f);
        const int64_t e = (int64_t)(f * pr * 1024.0 / C_LIGHT);
        for (uint32_t slot : {4u, 5u}) {
            hemienc::Bin16 m;
            m.channel[1].satellite = slot;
            m.channel[1].system = 1;
            m.channel[1].k = (uint32_t)k;
            m.channel[1].phase_valid = true;
            m.channel[1].range_count = (uint64_t)(pr * 256);
            m.channel[1].carrier = (uint32_t)((e - 5000) & 0x7FFFFF);
            Decoded d = decode16(m);
            hemisphere_bin16_obs_obs_t o;
            ASSERT_EQ(hemisphere_bin16_obs_get_obs(&d.msg, 1, &o, &table), 0);
            EXPECT_DOUBLE_EQ(o.pseudorange, pr);
            EXPECT_EQ(o.prn, slot);
            if (slot == 4) {
                EXPECT_EQ(o.glofreq, -7);
                EXPECT_EQ(o.phase_valid, 1);
                EXPECT_EQ(o.adr, -(double)(e - 5000) / 1024.0);
            } else {
                // Slot 5's channel is unknown: the pseudorange stays, the phase goes.
                EXPECT_EQ(o.glofreq, 99);
                EXPECT_EQ(o.phase_valid, 0);
                EXPECT_EQ(o.adr, 0.0);
            }
            // Without a table every slot is unknown.
            ASSERT_EQ(hemisphere_bin16_obs_get_obs(&d.msg, 1, &o, nullptr), 0);
            EXPECT_EQ(o.glofreq, 99);
            EXPECT_EQ(o.adr, 0.0);
            EXPECT_DOUBLE_EQ(o.pseudorange, pr);
        }
    }
}

// ---- message 95 ------------------------------------------------------------------------------

namespace {

struct GpsValues {
    int week10 = 453, code_l2 = 1, ura = 3, health = 0x2A, iodc = 0x2B7, l2p = 1;
    int tgd = -11, toc = 6975, af2 = -3, af1 = -1234, af0 = -1000000;
    int iode = 0xB7, crs = -1234, delta_n = 12345;
    int64_t m0 = -1500000000;
    int cuc = -2000;
    int64_t e = 105656195; // 0.0123 * 2^33
    int cus = 3000;
    int64_t sqrt_a = 2701970637; // 5153.6 * 2^19, above 2^31
    int toe = 6975, fit = 1, aodo = 27, cic = -77;
    int64_t omega0 = 2000000000;
    int cis = 88;
    int64_t i0 = 644245094; // 0.3 semicircles
    int crc = 4321;
    int64_t omega = -1000000000;
    int omega_dot = -20000, iode3 = 0xB7, idot = -3000;
};

std::vector<uint8_t> build_bin95(const GpsValues &v, int prn, uint32_t week, uint32_t count, bool junk)
{
    hemienc::GpsSubframes s;
    s.set(1, 1, 8, 0x8B); // TLM preamble
    s.set(1, 61, 10, v.week10);
    s.set(1, 71, 2, v.code_l2);
    s.set(1, 73, 4, v.ura);
    s.set(1, 77, 6, v.health);
    s.set(1, 83, 2, v.iodc >> 8);
    s.set(1, 91, 1, v.l2p);
    s.set(1, 197, 8, v.tgd);
    s.set(1, 211, 8, v.iodc & 0xFF);
    s.set(1, 219, 16, v.toc);
    s.set(1, 241, 8, v.af2);
    s.set(1, 249, 16, v.af1);
    s.set(1, 271, 22, v.af0);

    s.set(2, 61, 8, v.iode);
    s.set(2, 69, 16, v.crs);
    s.set(2, 91, 16, v.delta_n);
    s.set(2, 107, 8, v.m0 >> 24);
    s.set(2, 121, 24, v.m0);
    s.set(2, 151, 16, v.cuc);
    s.set(2, 167, 8, v.e >> 24);
    s.set(2, 181, 24, v.e);
    s.set(2, 211, 16, v.cus);
    s.set(2, 227, 8, v.sqrt_a >> 24);
    s.set(2, 241, 24, v.sqrt_a);
    s.set(2, 271, 16, v.toe);
    s.set(2, 287, 1, v.fit);
    s.set(2, 288, 5, v.aodo);

    s.set(3, 61, 16, v.cic);
    s.set(3, 77, 8, v.omega0 >> 24);
    s.set(3, 91, 24, v.omega0);
    s.set(3, 121, 16, v.cis);
    s.set(3, 137, 8, v.i0 >> 24);
    s.set(3, 151, 24, v.i0);
    s.set(3, 181, 16, v.crc);
    s.set(3, 197, 8, v.omega >> 24);
    s.set(3, 211, 24, v.omega);
    s.set(3, 241, 24, v.omega_dot);
    s.set(3, 271, 8, v.iode3);
    s.set(3, 279, 14, v.idot);

    hemienc::Data d(128);
    d.u16(8, (uint32_t)prn);
    d.u16(10, week);
    d.u32(12, count);
    const std::vector<uint32_t> words = s.words(junk);
    for (size_t i = 0; i < words.size(); ++i)
        d.u32(16 + 4 * i, words[i]);
    return hemienc::frame(95, d);
}

} // namespace

TEST(HemisphereBin95, SubframeParametersScaledAndSigned)
{
    const GpsValues v;
    for (bool junk : {false, true}) {
        std::vector<uint8_t> f = build_bin95(v, 17, 1477, 18001, junk);
        ASSERT_EQ(f.size(), 140u);
        hemisphere_bin95_gpsnav_t out;
        ASSERT_EQ(hemisphere_parser_bin95_gpsnav(f.data(), (uint32_t)f.size(), &out), 0);
        const gps_nav_t &n = out.nav;
        EXPECT_EQ(out.week, 1477);
        EXPECT_EQ(n.prn, 17);
        EXPECT_EQ(n.tow, 108006);
        // The decoder knows no time: a 10-bit week takes the +2048 rule; the
        // writers lift it to the conversion's week.
        EXPECT_EQ(n.week, 453 + 2048);
        EXPECT_EQ(n.code_l2, 1);
        EXPECT_EQ(n.ura, 3);
        EXPECT_EQ(n.health, 0x2A);
        EXPECT_EQ(n.iodc, 0x2B7);
        EXPECT_EQ(n.l2p_flag, 1);
        EXPECT_DOUBLE_EQ(n.tgd, -11 * p2(-31));
        EXPECT_EQ(n.toc, 6975u * 16);
        EXPECT_DOUBLE_EQ(n.af2, -3 * p2(-55));
        EXPECT_DOUBLE_EQ(n.af1, -1234 * p2(-43));
        EXPECT_DOUBLE_EQ(n.af0, -1000000 * p2(-31));
        EXPECT_EQ(n.iode, 0xB7);
        EXPECT_DOUBLE_EQ(n.crs, -1234 * p2(-5));
        EXPECT_DOUBLE_EQ(n.delta_n, 12345 * p2(-43) * PI_NAV);
        EXPECT_DOUBLE_EQ(n.m0, -1500000000.0 * p2(-31) * PI_NAV);
        EXPECT_DOUBLE_EQ(n.cuc, -2000 * p2(-29));
        EXPECT_DOUBLE_EQ(n.e, 105656195.0 * p2(-33));
        EXPECT_NEAR(n.e, 0.0123, 1e-9);
        EXPECT_DOUBLE_EQ(n.cus, 3000 * p2(-29));
        EXPECT_DOUBLE_EQ(n.sqrt_a, 2701970637.0 * p2(-19));
        EXPECT_NEAR(n.sqrt_a, 5153.6, 1e-5);
        EXPECT_EQ(n.toe, 6975u * 16);
        EXPECT_EQ(n.fit, 1);
        EXPECT_EQ(n.aodo, 27);
        EXPECT_DOUBLE_EQ(n.cic, -77 * p2(-29));
        EXPECT_DOUBLE_EQ(n.omega0, 2000000000.0 * p2(-31) * PI_NAV);
        EXPECT_DOUBLE_EQ(n.cis, 88 * p2(-29));
        EXPECT_DOUBLE_EQ(n.i0, 644245094.0 * p2(-31) * PI_NAV);
        EXPECT_DOUBLE_EQ(n.crc, 4321 * p2(-5));
        EXPECT_DOUBLE_EQ(n.omega, -1000000000.0 * p2(-31) * PI_NAV);
        EXPECT_DOUBLE_EQ(n.omega_dot, -20000 * p2(-43) * PI_NAV);
        EXPECT_EQ(n.iode3, 0xB7);
        EXPECT_DOUBLE_EQ(n.idot, -3000 * p2(-43) * PI_NAV);
    }
}

TEST(HemisphereBin95, ExtremeFieldValuesAndChecks)
{
    // Field edges: the most negative and most positive values of each width.
    GpsValues v;
    v.week10 = 1023;
    v.af0 = -(1 << 21);
    v.af1 = 32767;
    v.af2 = -128;
    v.tgd = 127;
    v.m0 = INT32_MIN;
    v.omega = INT32_MAX;
    v.omega_dot = -(1 << 23);
    v.idot = (1 << 13) - 1;
    v.e = 0xFFFFFFFFll;
    v.iodc = 0x3FF;
    std::vector<uint8_t> f = build_bin95(v, 32, 0, 0, true);
    hemisphere_bin95_gpsnav_t out;
    ASSERT_EQ(hemisphere_parser_bin95_gpsnav(f.data(), 140, &out), 0);
    EXPECT_EQ(out.nav.week, 1023 + 2048);
    EXPECT_DOUBLE_EQ(out.nav.af0, -(double)(1 << 21) * p2(-31));
    EXPECT_DOUBLE_EQ(out.nav.af1, 32767 * p2(-43));
    EXPECT_DOUBLE_EQ(out.nav.af2, -128 * p2(-55));
    EXPECT_DOUBLE_EQ(out.nav.tgd, 127 * p2(-31));
    EXPECT_DOUBLE_EQ(out.nav.m0, -PI_NAV);
    EXPECT_DOUBLE_EQ(out.nav.omega, INT32_MAX * p2(-31) * PI_NAV);
    EXPECT_DOUBLE_EQ(out.nav.omega_dot, -(double)(1 << 23) * p2(-43) * PI_NAV);
    EXPECT_DOUBLE_EQ(out.nav.idot, 8191 * p2(-43) * PI_NAV);
    EXPECT_DOUBLE_EQ(out.nav.e, 4294967295.0 * p2(-33));
    EXPECT_EQ(out.nav.iodc, 0x3FF);
    EXPECT_EQ(out.nav.tow, 0);

    EXPECT_EQ(hemisphere_parser_bin95_gpsnav(f.data(), 139, &out), -1);
    std::vector<uint8_t> longer = f;
    longer.push_back(0);
    EXPECT_EQ(hemisphere_parser_bin95_gpsnav(longer.data(), 141, &out), -1);
    // A satellite number the record cannot hold would name another satellite.
    f = build_bin95(v, 256 + 5, 0, 0, false);
    EXPECT_EQ(hemisphere_parser_bin95_gpsnav(f.data(), 140, &out), -1);
    EXPECT_EQ(out.nav.prn, 0);
}

// ---- message 65 ------------------------------------------------------------------------------

namespace {

struct GloValues {
    int p1 = 2, hours = 13, minutes = 45, half = 1;
    int64_t vx = 2621440, ax = -3, x = 20480000;   // 2.5 km/s, 10000 km
    int bn = 5, p2 = 1, tb = 55;
    int64_t vy = -1310720, ay = 7, y = -30720000;  // -1.25 km/s, -15000 km
    int p3 = 1, p = 3, ln3 = 1;
    int64_t gamma = -5, vz = 786432, az = -15, z = 36864000; // 0.75 km/s, 18000 km
    int64_t tau = -123456, delta_tau = -4;
    int en = 11, p4 = 1, ft = 9, nt = 1000, slot = 17, m = 1;
    int na = 999, n4 = 7, ln5 = 0;
    int64_t tau_c = 1000, tau_gps = 2047;
    int channel = -4;
};

std::vector<uint8_t> build_bin65(const GloValues &v, uint32_t slot_byte, uint32_t time_word)
{
    using hemienc::sign_magnitude;
    hemienc::GlonassStrings s;
    s.set(1, 78, 2, v.p1);
    s.set(1, 76, 5, v.hours);
    s.set(1, 71, 6, v.minutes);
    s.set(1, 65, 1, v.half);
    s.set(1, 64, 24, sign_magnitude(v.vx, 24));
    s.set(1, 40, 5, sign_magnitude(v.ax, 5));
    s.set(1, 35, 27, sign_magnitude(v.x, 27));
    s.set(2, 80, 3, v.bn);
    s.set(2, 77, 1, v.p2);
    s.set(2, 76, 7, v.tb);
    s.set(2, 64, 24, sign_magnitude(v.vy, 24));
    s.set(2, 40, 5, sign_magnitude(v.ay, 5));
    s.set(2, 35, 27, sign_magnitude(v.y, 27));
    s.set(3, 80, 1, v.p3);
    s.set(3, 79, 11, sign_magnitude(v.gamma, 11));
    s.set(3, 67, 2, v.p);
    s.set(3, 65, 1, v.ln3);
    s.set(3, 64, 24, sign_magnitude(v.vz, 24));
    s.set(3, 40, 5, sign_magnitude(v.az, 5));
    s.set(3, 35, 27, sign_magnitude(v.z, 27));
    s.set(4, 80, 22, sign_magnitude(v.tau, 22));
    s.set(4, 58, 5, sign_magnitude(v.delta_tau, 5));
    s.set(4, 53, 5, v.en);
    s.set(4, 48, 14, 0x3FFF); // reserved
    s.set(4, 34, 1, v.p4);
    s.set(4, 33, 4, v.ft);
    s.set(4, 29, 3, 7);       // reserved
    s.set(4, 26, 11, v.nt);
    s.set(4, 15, 5, v.slot);
    s.set(4, 10, 2, v.m);
    s.set(5, 80, 11, v.na);
    s.set(5, 69, 32, sign_magnitude(v.tau_c, 32));
    s.set(5, 37, 1, 1);       // reserved
    s.set(5, 36, 5, v.n4);
    s.set(5, 31, 22, sign_magnitude(v.tau_gps, 22));
    s.set(5, 9, 1, v.ln5);

    hemienc::Data d(68);
    d.u8(8, slot_byte);
    d.u8(9, (uint32_t)(v.channel + 8));
    d.u16(10, 0x1234);
    d.u32(12, time_word);
    const std::vector<uint32_t> words = s.words();
    for (size_t i = 0; i < words.size(); ++i)
        d.u32(16 + 4 * i, words[i]);
    return hemienc::frame(65, d);
}

} // namespace

TEST(HemisphereBin65, StringParametersSignMagnitude)
{
    const GloValues v;
    const uint32_t tk = 13 * 3600 + 45 * 60 + 30; // 49530
    std::vector<uint8_t> f = build_bin65(v, 17, tk);
    ASSERT_EQ(f.size(), 80u);
    hemisphere_bin65_glonav_t out;
    ASSERT_EQ(hemisphere_parser_bin65_glonav(f.data(), 80, &out), 0);
    const glonass_nav_t &n = out.nav;
    EXPECT_EQ(out.word, 0x1234);
    EXPECT_EQ(out.time, tk);
    EXPECT_EQ(n.tk, tk);
    EXPECT_EQ(n.tb, 55u * 900);
    EXPECT_EQ(n.p1, 2);
    EXPECT_DOUBLE_EQ(n.x, 10000.0);
    EXPECT_DOUBLE_EQ(n.y, -15000.0);
    EXPECT_DOUBLE_EQ(n.z, 18000.0);
    EXPECT_NEAR(sqrt(n.x * n.x + n.y * n.y + n.z * n.z), 25500, 100);
    EXPECT_DOUBLE_EQ(n.vx, 2.5);
    EXPECT_DOUBLE_EQ(n.vy, -1.25);
    EXPECT_DOUBLE_EQ(n.vz, 0.75);
    EXPECT_DOUBLE_EQ(n.ax, -3 * p2(-30));
    EXPECT_DOUBLE_EQ(n.ay, 7 * p2(-30));
    EXPECT_DOUBLE_EQ(n.az, -15 * p2(-30));
    EXPECT_EQ(n.bn, 5);
    EXPECT_EQ(n.p2, 1);
    EXPECT_EQ(n.p3, 1);
    EXPECT_DOUBLE_EQ(n.gamma, -5 * p2(-40));
    EXPECT_EQ(n.p, 3);
    EXPECT_EQ(n.ln3, 1);
    EXPECT_DOUBLE_EQ(n.tau, -123456 * p2(-30));
    EXPECT_DOUBLE_EQ(n.delta_tau, -4 * p2(-30));
    EXPECT_EQ(n.en, 11);
    EXPECT_EQ(n.p4, 1);
    EXPECT_EQ(n.ft, 9);
    EXPECT_EQ(n.nt, 1000);
    EXPECT_EQ(n.slot, 17);
    EXPECT_EQ(n.m, 1);
    EXPECT_EQ(n.na, 999);
    EXPECT_DOUBLE_EQ(n.tau_c, 1000 * p2(-31));
    EXPECT_EQ(n.four_year, 7);
    EXPECT_DOUBLE_EQ(n.tau_gps, 2047 * p2(-30));
    EXPECT_EQ(n.ln5, 0);
    EXPECT_EQ(n.frequency_channel, -4);
    // Day 1000 of the interval starting 2020 is 2022-09-26 (Moscow);
    // 2022-09-26 00:00 Moscow is 1664139600 s after 1970 UTC.
    EXPECT_EQ(n.tk_time, (1664139600LL + tk) * 1000);
    EXPECT_EQ(n.tb_time, (1664139600LL + 55 * 900) * 1000);
}

TEST(HemisphereBin65, SlotAndTimeCrossChecks)
{
    GloValues v;
    const uint32_t tk = 49530;
    hemisphere_bin65_glonav_t out;
    std::vector<uint8_t> f = build_bin65(v, 18, tk);
    EXPECT_EQ(hemisphere_parser_bin65_glonav(f.data(), 80, &out), -2);
    f = build_bin65(v, 17, tk + 30);
    EXPECT_EQ(hemisphere_parser_bin65_glonav(f.data(), 80, &out), -2);
    f = build_bin65(v, 17 + 256, tk); // only the slot byte is compared
    EXPECT_EQ(hemisphere_parser_bin65_glonav(f.data(), 80, &out), 0);

    // Field edges: tk 23:59:30, the largest magnitudes, negative zero.
    v.hours = 23;
    v.minutes = 59;
    v.half = 1;
    v.x = -((1 << 26) - 1);
    v.vy = (1 << 23) - 1;
    v.az = 0;
    v.slot = 24;
    v.channel = 6;
    v.n4 = 0; // no additional data: the record stays undated
    v.nt = 0;
    f = build_bin65(v, 24, 86370);
    ASSERT_EQ(hemisphere_parser_bin65_glonav(f.data(), 80, &out), 0);
    EXPECT_EQ(out.nav.tk, 86370u);
    EXPECT_DOUBLE_EQ(out.nav.x, -(double)((1 << 26) - 1) * p2(-11));
    EXPECT_DOUBLE_EQ(out.nav.vy, (double)((1 << 23) - 1) * p2(-20));
    EXPECT_EQ(out.nav.az, 0.0);
    EXPECT_EQ(out.nav.frequency_channel, 6);
    EXPECT_EQ(out.nav.tk_time, 0);
    EXPECT_EQ(glonass_nav_date_known(&out.nav), 0);

    // A channel byte naming no frequency channel is refused rather than
    // teaching the channel table a carrier that no satellite uses.
    for (int channel : {-8, 14, -8 + 255}) {
        v.channel = channel;
        f = build_bin65(v, 24, 86370);
        EXPECT_EQ(hemisphere_parser_bin65_glonav(f.data(), 80, &out), -1) << channel;
    }
    for (int channel : {-7, 13}) {
        v.channel = channel;
        f = build_bin65(v, 24, 86370);
        ASSERT_EQ(hemisphere_parser_bin65_glonav(f.data(), 80, &out), 0) << channel;
        EXPECT_EQ(out.nav.frequency_channel, channel);
    }

    EXPECT_EQ(hemisphere_parser_bin65_glonav(f.data(), 79, &out), -1);
    EXPECT_EQ(hemisphere_parser_bin65_glonav(f.data(), 0, &out), -1);
}

// ---- message 45 ------------------------------------------------------------------------------

namespace {

std::vector<uint8_t> build_bin45(uint32_t source, bool fnav)
{
    hemienc::Data d(128);
    d.u16(8, 11);
    d.u16(10, 0xFFFF);
    d.u32(12, 0xCAFEBABE);
    d.u32(16, 345678 | source << 20 | 0xFFC00000u);
    d.u32(20, 812);                       // I/NAV toc
    d.u32(24, (uint32_t)-123456789);      // I/NAV af0
    d.u32(28, (uint32_t)-54321);          // I/NAV af1
    d.u32(32, 0x7FFFFFFF);                // not read
    d.u16(36, 813);                       // toe
    d.u32(40, 2852127000u);               // sqrt(A) 5440.6 m^0.5, above 2^31
    d.u32(44, 1717987);                   // e
    d.u32(48, (uint32_t)-987654321);      // omega
    d.u16(52, (uint16_t)-5);              // delta n
    d.u32(56, (uint32_t)-2000000000);     // M0
    d.u32(60, 1500000000);                // Omega0
    d.u32(64, (uint32_t)-300000);         // Omega dot
    d.u32(68, 670000000);                 // i0
    d.u16(72, (uint16_t)-100);            // idot
    d.u16(76, (uint16_t)-1);              // cuc
    d.u16(80, 2);                         // cus
    d.u16(84, (uint16_t)-3);              // crc
    d.u16(88, 4);                         // crs
    d.u16(92, (uint16_t)-5);              // cic
    d.u16(96, 6);                         // cis
    d.u16(100, 1234);                     // Galileo week
    d.u16(104, 77);                       // IODnav
    d.u32(108, 0xFFFFFFFF);
    d.u32(112, 0xFFFFFFFF);
    d.u32(116, 17u | 0x3FDu << 10 | 0xFFF00000u); // BGD E5b 17, E5a -3
    d.u32(120, 107u | 2u << 8 | 1u << 10 | 1u << 12 | 0u << 13);
    d.u32(124, (fnav ? 1u : 0u) | 701u << 1 | 93u << 15 | 3u << 23 | 1u << 25);
    d.u32(128, (uint32_t)-22222);         // F/NAV af0
    d.u32(132, ((uint32_t)-1000 & 0x1FFFFF) | ((uint32_t)-2 & 0x3F) << 21);
    return hemienc::frame(45, d);
}

} // namespace

TEST(HemisphereBin45, InavAndFnavRecords)
{
    std::vector<uint8_t> f = build_bin45(1, true);
    ASSERT_EQ(f.size(), 140u);
    hemisphere_bin45_galnav_t out;
    ASSERT_EQ(hemisphere_parser_bin45_galnav(f.data(), 140, &out), 0);
    EXPECT_EQ(out.inav_present, 1);
    EXPECT_EQ(out.fnav_present, 1);
    EXPECT_EQ(out.prn, 11);
    EXPECT_EQ(out.time, 0xCAFEBABEu);
    EXPECT_EQ(out.toe, 813u * 60);

    const galileo_inav_t &i = out.inav;
    EXPECT_EQ(i.prn, 11);
    EXPECT_EQ(i.source, 1);
    EXPECT_EQ(i.week, 1234);
    EXPECT_EQ(i.tow, 345678);
    EXPECT_EQ(i.iodnav, 77);
    EXPECT_EQ(i.sisa, 107);
    EXPECT_EQ(i.e5b_hs, 2);
    EXPECT_EQ(i.e1b_hs, 1);
    EXPECT_EQ(i.e5b_dvs, 1);
    EXPECT_EQ(i.e1b_dvs, 0);
    EXPECT_DOUBLE_EQ(i.bgd_e5b, 17 * p2(-32));
    EXPECT_DOUBLE_EQ(i.bgd_e5a, -3 * p2(-32));
    EXPECT_EQ(i.toc, 812u * 60);
    EXPECT_DOUBLE_EQ(i.af0, -123456789 * p2(-34));
    EXPECT_DOUBLE_EQ(i.af1, -54321 * p2(-46));
    EXPECT_EQ(i.af2, 0.0);
    EXPECT_EQ(i.toe, 813u * 60);
    EXPECT_DOUBLE_EQ(i.sqrt_a, 2852127000.0 * p2(-19));
    EXPECT_DOUBLE_EQ(i.e, 1717987 * p2(-33));
    EXPECT_DOUBLE_EQ(i.omega, -987654321 * p2(-31) * PI_NAV);
    EXPECT_DOUBLE_EQ(i.delta_n, -5 * p2(-43) * PI_NAV);
    EXPECT_DOUBLE_EQ(i.m0, -2000000000.0 * p2(-31) * PI_NAV);
    EXPECT_DOUBLE_EQ(i.omega0, 1500000000.0 * p2(-31) * PI_NAV);
    EXPECT_DOUBLE_EQ(i.omega_dot, -300000 * p2(-43) * PI_NAV);
    EXPECT_DOUBLE_EQ(i.i0, 670000000.0 * p2(-31) * PI_NAV);
    EXPECT_DOUBLE_EQ(i.idot, -100 * p2(-43) * PI_NAV);
    EXPECT_DOUBLE_EQ(i.cuc, -1 * p2(-29));
    EXPECT_DOUBLE_EQ(i.cus, 2 * p2(-29));
    EXPECT_DOUBLE_EQ(i.crc, -3 * p2(-5));
    EXPECT_DOUBLE_EQ(i.crs, 4 * p2(-5));
    EXPECT_DOUBLE_EQ(i.cic, -5 * p2(-29));
    EXPECT_DOUBLE_EQ(i.cis, 6 * p2(-29));

    const galileo_fnav_t &n = out.fnav;
    EXPECT_EQ(n.prn, 11);
    EXPECT_EQ(n.week, 1234);
    EXPECT_EQ(n.tow, 345678);
    EXPECT_EQ(n.iodnav, 77);
    EXPECT_EQ(n.toc, 701u * 60);
    EXPECT_EQ(n.sisa, 93);
    EXPECT_EQ(n.e5a_hs, 3);
    EXPECT_EQ(n.e5a_dvs, 1);
    EXPECT_DOUBLE_EQ(n.bgd_e5a, -3 * p2(-32));
    EXPECT_DOUBLE_EQ(n.af0, -22222 * p2(-34));
    EXPECT_DOUBLE_EQ(n.af1, -1000 * p2(-46));
    EXPECT_DOUBLE_EQ(n.af2, -2 * p2(-59));
    EXPECT_EQ(n.toe, 813u * 60);
    EXPECT_DOUBLE_EQ(n.sqrt_a, i.sqrt_a);
    EXPECT_DOUBLE_EQ(n.omega_dot, i.omega_dot);
    EXPECT_DOUBLE_EQ(n.cis, i.cis);
}

TEST(HemisphereBin45, SourceAndPresenceRules)
{
    hemisphere_bin45_galnav_t out;
    struct Case {
        uint32_t source;
        bool fnav;
        int inav_present, fnav_present;
    } cases[] = {{1, false, 1, 0}, {2, true, 1, 1}, {0, true, 0, 1}, {3, true, 0, 1},
                 {0, false, 0, 0}, {3, false, 0, 0}};
    for (const Case &c : cases) {
        std::vector<uint8_t> f = build_bin45(c.source, c.fnav);
        ASSERT_EQ(hemisphere_parser_bin45_galnav(f.data(), 140, &out), 0);
        EXPECT_EQ(out.inav_present, c.inav_present) << c.source << c.fnav;
        EXPECT_EQ(out.fnav_present, c.fnav_present) << c.source << c.fnav;
        if (c.inav_present) {
            EXPECT_EQ(out.inav.source, c.source);
        } else {
            EXPECT_EQ(out.inav.prn, 0); // untouched, cleared
        }
        if (!c.fnav_present) {
            EXPECT_EQ(out.fnav.prn, 0);
        }
        EXPECT_EQ(out.toe, c.inav_present || c.fnav_present ? 813u * 60 : 0u);
    }
    std::vector<uint8_t> f = build_bin45(1, true);
    EXPECT_EQ(hemisphere_parser_bin45_galnav(f.data(), 139, &out), -1);
    EXPECT_EQ(out.inav_present, 0);
}

// ---- message 35 ------------------------------------------------------------------------------

TEST(HemisphereBin35, BdsParametersAndKlobuchar)
{
    hemienc::Data d(128);
    d.u16(8, 14);
    d.u16(10, 0x5A5A);
    d.u32(12, 0x01020304);
    d.u32(16, 432100);
    d.u32(20, 54000);                        // toc / 8
    d.u32(24, (uint32_t)-4000000);           // a0
    d.u32(28, (uint32_t)-200000);            // a1
    d.u32(32, 0xABCDFFF6u);                  // a2: low 16 bits, -10
    d.u32(36, 54000);                        // toe / 8
    d.u32(40, 3393000000u);                  // sqrt(A) ~6471.6 (IGSO/GEO), above 2^31
    d.u32(44, 8589934);                      // e ~0.001
    d.u32(48, (uint32_t)-1234567890);
    d.u32(52, 0x1234FF9Cu);                  // delta n: low 16 bits, -100
    d.u32(56, 987654321);
    d.u32(60, (uint32_t)-876543210);
    d.u32(64, (uint32_t)-400000);
    d.u32(68, 590000000);
    d.u32(72, (uint32_t)-1500);              // idot
    d.u32(76, (uint32_t)-131072);            // cuc, 18-bit minimum
    d.u32(80, 131071);                       // cus
    d.u32(84, (uint32_t)-7);                 // crc
    d.u32(88, 8);                            // crs
    d.u32(92, (uint32_t)-9);                 // cic
    d.u32(96, 10);                           // cis
    d.u32(100, ((uint32_t)-7 & 0x3FF) | 12u << 10); // tgd1 -7, tgd2 12
    d.u32(104, 0xFFFF0000u | 876);           // BDS week in the low 16 bits
    // Klobuchar, byte-swapped: alpha0 at byte 111 ... alpha3 at byte 108.
    d.u8(111, (uint8_t)-2);
    d.u8(110, 3);
    d.u8(109, (uint8_t)-4);
    d.u8(108, 5);
    d.u8(115, 3);
    d.u8(114, (uint8_t)-1);
    d.u8(113, 2);
    d.u8(112, (uint8_t)-1);
    d.u32(116, 21u | 7u << 5 | 30u << 9 | 1u << 14);
    for (int k = 0; k < 16; ++k)
        d.u8(120 + k, (uint32_t)(0xC0 + k));
    std::vector<uint8_t> f = hemienc::frame(35, d);
    ASSERT_EQ(f.size(), 140u);

    hemisphere_bin35_bd2nav_t out;
    ASSERT_EQ(hemisphere_parser_bin35_bd2nav(f.data(), 140, &out), 0);
    EXPECT_EQ(out.word, 0x5A5A);
    EXPECT_EQ(out.time, 0x01020304u);
    for (int k = 0; k < 8; ++k) {
        EXPECT_EQ(out.data120[k], 0xC0 + k);
        EXPECT_EQ(out.data128[k], 0xC8 + k);
    }
    const bd2_nav_t &n = out.nav;
    EXPECT_EQ(n.prn, 14);
    EXPECT_EQ(n.tow, 432100);
    EXPECT_EQ(n.week, 876);
    EXPECT_EQ(n.toc, 54000u * 8);
    EXPECT_EQ(n.toe, 54000u * 8);
    EXPECT_DOUBLE_EQ(n.a0, -4000000 * p2(-33));
    EXPECT_DOUBLE_EQ(n.a1, -200000 * p2(-50));
    EXPECT_DOUBLE_EQ(n.a2, -10 * p2(-66));
    EXPECT_DOUBLE_EQ(n.sqrt_a, 3393000000.0 * p2(-19));
    EXPECT_DOUBLE_EQ(n.e, 8589934 * p2(-33));
    EXPECT_DOUBLE_EQ(n.omega, -1234567890 * p2(-31) * PI_NAV);
    EXPECT_DOUBLE_EQ(n.delta_n, -100 * p2(-43) * PI_NAV);
    EXPECT_DOUBLE_EQ(n.m0, 987654321 * p2(-31) * PI_NAV);
    EXPECT_DOUBLE_EQ(n.omega0, -876543210 * p2(-31) * PI_NAV);
    EXPECT_DOUBLE_EQ(n.omega_dot, -400000 * p2(-43) * PI_NAV);
    EXPECT_DOUBLE_EQ(n.i0, 590000000 * p2(-31) * PI_NAV);
    EXPECT_DOUBLE_EQ(n.idot, -1500 * p2(-43) * PI_NAV);
    EXPECT_DOUBLE_EQ(n.cuc, -131072 * p2(-31));
    EXPECT_DOUBLE_EQ(n.cus, 131071 * p2(-31));
    EXPECT_DOUBLE_EQ(n.crc, -7 * p2(-6));
    EXPECT_DOUBLE_EQ(n.crs, 8 * p2(-6));
    EXPECT_DOUBLE_EQ(n.cic, -9 * p2(-31));
    EXPECT_DOUBLE_EQ(n.cis, 10 * p2(-31));
    EXPECT_DOUBLE_EQ(n.tgd1, -7e-10);
    EXPECT_DOUBLE_EQ(n.tgd2, 12e-10);
    EXPECT_DOUBLE_EQ(n.alpha[0], -2 * p2(-30));
    EXPECT_DOUBLE_EQ(n.alpha[1], 3 * p2(-27));
    EXPECT_DOUBLE_EQ(n.alpha[2], -4 * p2(-24));
    EXPECT_DOUBLE_EQ(n.alpha[3], 5 * p2(-24));
    EXPECT_DOUBLE_EQ(n.beta[0], 3 * p2(11));
    EXPECT_DOUBLE_EQ(n.beta[1], -1 * p2(14));
    EXPECT_DOUBLE_EQ(n.beta[2], 2 * p2(16));
    EXPECT_DOUBLE_EQ(n.beta[3], -1 * p2(16));
    EXPECT_EQ(n.aode, 21);
    EXPECT_EQ(n.ura, 7);
    EXPECT_EQ(n.aodc, 30);
    EXPECT_EQ(n.health, 1);

    EXPECT_EQ(hemisphere_parser_bin35_bd2nav(f.data(), 108, &out), -1);
    EXPECT_EQ(out.nav.prn, 0);
}

// ---- message 94 ------------------------------------------------------------------------------

TEST(HemisphereBin94, FieldsAtTheirFrameOffsets)
{
    hemienc::Data d(96);
    const double alpha[4] = {1.1e-8, 2.2e-8, -5.96e-8, -1.19e-7};
    const double beta[4] = {90112, 0, -196608, 65536};
    for (int k = 0; k < 4; ++k) {
        d.f64(8 + 8 * k, alpha[k]);
        d.f64(40 + 8 * k, beta[k]);
    }
    d.f64(72, -9.3132257e-10);
    d.f64(80, -1.7763568e-15);
    d.u32(88, 405504);
    d.u16(92, 1477);
    d.u16(94, 1390);
    d.u16(96, 7);
    d.u16(98, 14);
    d.u16(100, (uint16_t)-3);
    std::vector<uint8_t> f = hemienc::frame(94, d);
    ASSERT_EQ(f.size(), 108u);
    hemisphere_bin94_inoutc_t out;
    ASSERT_EQ(hemisphere_parser_bin94_inoutc(f.data(), 108, &out), 0);
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(out.alpha[k], alpha[k]);
        EXPECT_EQ(out.beta[k], beta[k]);
    }
    EXPECT_EQ(out.a0, -9.3132257e-10);
    EXPECT_EQ(out.a1, -1.7763568e-15);
    EXPECT_EQ(out.tot, 405504u);
    EXPECT_EQ(out.wnt, 1477);
    EXPECT_EQ(out.wnlsf, 1390);
    EXPECT_EQ(out.dn, 7);
    EXPECT_EQ(out.dtls, 14);
    EXPECT_EQ(out.dtlsf, -3);
    EXPECT_EQ(memcmp(out.header, "$BIN", 4), 0);
    EXPECT_EQ(out.crlf[0], '\r');
    EXPECT_EQ(out.crlf[1], '\n');
    EXPECT_EQ(out.checksum, f[104] | f[105] << 8);
    EXPECT_EQ(hemisphere_parser_bin94_inoutc(f.data(), 107, &out), -1);
    EXPECT_EQ(out.dtls, 0);
}

// ---- helpers ---------------------------------------------------------------------------------

TEST(HemisphereHelpers, SnrAndNames)
{
    EXPECT_EQ(hemisphere_int_to_snr(0), 0.0f);
    EXPECT_EQ(hemisphere_int_to_snr(-5), 0.0f);
    EXPECT_NEAR(hemisphere_int_to_snr(1), 29.1338, 1e-3);   // 10 log10(819.2)
    EXPECT_NEAR(hemisphere_int_to_snr(100), 49.1339, 1e-3); // 10 log10(81920)

    const struct {
        uint32_t id;
        const char *name;
    } names[] = {{0, ""},        {1, "PV"},      {2, "DOP"},     {3, "PVC"},     {5, "BASE"},
                 {16, "OBS"},    {25, "QZSNAV"}, {35, "BD2NAV"}, {45, "GALNAV"}, {65, "GLONAV"},
                 {94, "INOUTC"}, {95, "GPSNAV"}, {209, "SAT"},   {309, "SAT2"}};
    for (const auto &n : names)
        EXPECT_STREQ(hemisphere_id_to_str(n.id), n.name) << n.id;
    for (uint32_t id : {4u, 6u, 15u, 17u, 80u, 96u, 208u, 210u, 308u, 310u, 65535u, 0xFFFFFFFFu})
        EXPECT_STREQ(hemisphere_id_to_str(id), "") << id;
}

// Arbitrary bytes in frames of every length up to past the largest message:
// each decoder either refuses or decodes, and never reads outside the frame
// (the sanitizer build checks the reads; each frame is its own allocation).
TEST(HemisphereRobustness, ArbitraryFrames)
{
    std::mt19937 rng(20260101);
    glonass_channel_t table;
    glonass_channel_init(&table);
    for (int s = 1; s <= 24; ++s)
        glonass_channel_set(&table, s, s % 14 - 7);
    int decoded = 0;
    for (uint32_t length = 0; length <= 330; ++length) {
        for (int round = 0; round < 20; ++round) {
            std::vector<uint8_t> f(length);
            for (uint8_t &b : f)
                b = (uint8_t)rng();
            const uint8_t *p = length ? f.data() : nullptr;
            hemisphere_bin16_obs_t obs;
            if (hemisphere_parser_bin16_obs(p, length, &obs) == 0) {
                ++decoded;
                for (int i = -1; i <= 16; ++i) {
                    hemisphere_bin16_obs_obs_t o;
                    const int rc = hemisphere_bin16_obs_get_obs(&obs, i, &o, &table);
                    EXPECT_TRUE(rc == 0 || rc == 1 || (rc == -1 && (i < 0 || i > 15)));
                    if (rc == 0) {
                        EXPECT_TRUE(std::isfinite(o.adr));
                        EXPECT_GE(o.pseudorange, 0.0);
                    }
                }
            }
            hemisphere_bin95_gpsnav_t g;
            hemisphere_bin65_glonav_t r;
            hemisphere_bin45_galnav_t e;
            hemisphere_bin35_bd2nav_t c;
            hemisphere_bin94_inoutc_t u;
            decoded += hemisphere_parser_bin95_gpsnav(p, length, &g) == 0;
            decoded += hemisphere_parser_bin65_glonav(p, length, &r) >= -2;
            decoded += hemisphere_parser_bin45_galnav(p, length, &e) == 0;
            decoded += hemisphere_parser_bin35_bd2nav(p, length, &c) == 0;
            decoded += hemisphere_parser_bin94_inoutc(p, length, &u) == 0;
        }
    }
    EXPECT_GT(decoded, 0);
}

// Frames as the framer hands them over.
namespace {

struct Frames {
    std::vector<std::vector<uint8_t>> all;
};

void collect(const uint8_t *data, uint32_t length, void *user)
{
    static_cast<Frames *>(user)->all.emplace_back(data, data + length);
}

} // namespace

// The framer delivers the encoder's frames unchanged, so they are whole,
// well-formed "$BIN" frames (sum and length as the receiver sends them).
TEST(HemisphereFraming, EncodedFramesPassTheFramer)
{
    hemienc::Bin16 obs;
    obs.channel[0].satellite = 3;
    std::vector<std::vector<uint8_t>> sent = {obs.build(), build_bin95(GpsValues(), 5, 0, 100, false),
                                              build_bin65(GloValues(), 17, 49530), build_bin45(1, true)};
    std::vector<uint8_t> stream = {'x', '$', 'B', 'I'};
    for (const std::vector<uint8_t> &f : sent) {
        stream.insert(stream.end(), f.begin(), f.end());
        stream.push_back(0);
    }
    Frames got;
    std::vector<uint8_t> buffer(4096);
    gnssparser_s parser;
    gnssparser_init(&parser, buffer.data(), (uint32_t)buffer.size(), &got);
    gnssparser_callback_hemisphere(&parser, collect);
    gnssparser_input(&parser, stream.data(), (uint32_t)stream.size());
    ASSERT_EQ(got.all.size(), sent.size());
    for (size_t i = 0; i < sent.size(); ++i)
        EXPECT_EQ(got.all[i], sent[i]) << i;
}

// ---- real data -------------------------------------------------------------------------------

// A Crescent log of 2008-05-26 (GPS week 1481, Monday ~06:00, tow ~108000 s).
TEST(HemisphereRealData, CrescentGpsEphemerides)
{
    REQUIRE_TESTDATA();
    const std::vector<uint8_t> log = testdata::read("rtklib/cres_20080526.bin");
    ASSERT_EQ(log.size(), 262144u);

    Frames frames;
    std::vector<uint8_t> buffer(16384);
    gnssparser_s parser;
    gnssparser_init(&parser, buffer.data(), (uint32_t)buffer.size(), &frames);
    gnssparser_callback_hemisphere(&parser, collect);
    gnssparser_input(&parser, log.data(), (uint32_t)log.size());

    int gps = 0;
    for (const std::vector<uint8_t> &f : frames.all) {
        ASSERT_GE(f.size(), 12u);
        const uint16_t id = (uint16_t)(f[4] | f[5] << 8);
        if (id != 95)
            continue;
        ++gps;
        hemisphere_bin95_gpsnav_t out;
        ASSERT_EQ(hemisphere_parser_bin95_gpsnav(f.data(), (uint32_t)f.size(), &out), 0);
        const gps_nav_t &n = out.nav;
        SCOPED_TRACE(testing::Message() << "PRN " << (int)n.prn);
        EXPECT_GE(n.prn, 1);
        EXPECT_LE(n.prn, 32);
        EXPECT_NEAR(n.sqrt_a, 5153.6, 5.0);
        EXPECT_GE(n.e, 0.0);
        EXPECT_LT(n.e, 0.03);
        EXPECT_NEAR(n.i0 * 180 / M_PI, 55.0, 5.0);
        EXPECT_LT(fabs(n.omega_dot), 1e-8);
        EXPECT_LT(fabs(n.delta_n), 1e-8);
        EXPECT_LT(fabs(n.af0), 1e-3);
        // IODC's low 8 bits equal both IODEs of a consistent set.
        EXPECT_EQ(n.iode, n.iode3);
        EXPECT_EQ(n.iodc & 0xFF, n.iode);
        // The 10-bit week is 1481 modulo 1024 (the rule makes it 2505); the
        // writers lift it with the log's own time to 2008.
        EXPECT_EQ(n.week, 1481 - 1024 + 2048);
        EXPECT_EQ(util_round_week(n.week % 1024, 1481, 1024), 1481);
        // Transmitted on Monday morning; the ephemeris is referred to within
        // a few hours of it.
        EXPECT_NEAR(n.tow, 108000, 600);
        EXPECT_LT(fabs((double)n.toe - n.tow), 4 * 3600.0);
        EXPECT_EQ(n.toe % 16, 0u);
        EXPECT_EQ(n.toc, n.toe);
    }
    EXPECT_EQ(gps, 9);
}
