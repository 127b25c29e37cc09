// The navigation-message layer against messages built bit by bit from the
// ICDs with their own check bits: fields decode to the broadcast values
// times the ICD scale factors, a wrong bit is caught (or mended where the
// code allows), and records are assembled only from parts that belong
// together.
#include <gtest/gtest.h>

#include <math.h>
#include <string.h>

#include "log_frames.h"
#include "navbits.h"
#include "navmsg_encoder.h"

namespace {

const double PI_NAV = 3.1415926535898;

double p2(int e)
{
    return ldexp(1.0, e);
}

// GPS subframes 1-3 of one issue (IODE 0x5A), TOW count 1000 for subframe 1.
struct GpsIssue {
    navenc::Bits sf[3] = {navenc::Bits(300), navenc::Bits(300), navenc::Bits(300)};
    explicit GpsIssue(int iode)
    {
        for (int i = 0; i < 3; ++i) navenc::gps_header(sf[i], i + 1, 1000 + i);
        navenc::Bits &a = sf[0], &b = sf[1], &c = sf[2];
        a.set(61, 10, 250);   // week mod 1024
        a.set(73, 4, 2);      // URA
        a.set(77, 6, 0);      // health
        a.set(83, 2, 1);      // IODC high
        a.set(211, 8, iode);  // IODC low
        a.set(197, 8, -7);    // TGD
        a.set(219, 16, 450);  // toc / 16
        a.set(241, 8, -3);    // af2
        a.set(249, 16, -1234); // af1
        a.set(271, 22, -123456); // af0
        b.set(61, 8, iode);
        b.set(69, 16, -500);  // Crs
        b.set(91, 16, 12000); // delta n
        b.set(107, 8, (-1000000000LL >> 24) & 0xFF); // M0 high
        b.set(121, 24, -1000000000LL & 0xFFFFFF);
        b.set(167, 8, 0);     // e high
        b.set(181, 24, 8000000); // e low
        b.set(227, 8, 0xA1);  // sqrt(A) = 0xA10DFA00 * 2^-19 = 5153.74...
        b.set(241, 24, 0x0DFA00);
        b.set(271, 16, 450);  // toe / 16
        c.set(61, 16, 77);    // Cic
        c.set(77, 8, 0x12);   // OMEGA0 high
        c.set(91, 24, 0x345678);
        c.set(137, 8, 0x29);  // i0
        c.set(151, 24, 0x000001);
        c.set(241, 24, -20000); // OMEGA dot
        c.set(271, 8, iode);
        c.set(279, 14, -100);  // IDOT
    }
};

} // namespace

TEST(NavbitsGps, SubframesFromTheIcdDecodeWithParity)
{
    GpsIssue issue(0x5A);
    navbits_gps_t state;
    navbits_gps_init(&state);
    gps_nav_t nav;
    uint32_t previous = 0;
    int done = 0;
    for (int i = 0; i < 3; ++i) {
        const auto sent = navenc::gps_sent(issue.sf[i]);
        uint32_t upright[10];
        ASSERT_EQ(navbits_gps_subframe_check(sent.data(), previous, upright), 0) << "subframe " << i + 1;
        previous = sent[9];
        EXPECT_EQ(navbits_gps_subframe_id(upright), i + 1);
        done = navbits_gps_add(&state, upright, 17, &nav);
        // Any single bit flipped in any word fails the parity.
        for (int bit = 0; bit < 300; bit += 7) {
            auto bad = sent;
            bad[bit / 30] ^= 1u << (29 - bit % 30);
            EXPECT_NE(navbits_gps_subframe_check(bad.data(), 0, upright), 0) << "bit " << bit;
        }
    }
    ASSERT_EQ(done, 1);
    EXPECT_EQ(logs::fields(nav.prn, nav.week, nav.tow, nav.iodc, nav.iode, nav.toc, nav.toe),
              logs::fields(17, 250 + 2048, 1000 * 6 - 6, 0x15A, 0x5A, 7200u, 7200u));
    EXPECT_EQ(logs::fields(nav.tgd, nav.af0, nav.af1, nav.af2, nav.crs, nav.delta_n, nav.m0, nav.e, nav.sqrt_a,
                           nav.omega0, nav.i0, nav.omega_dot, nav.idot, nav.cic),
              logs::fields(-7 * p2(-31), -123456 * p2(-31), -1234 * p2(-43), -3 * p2(-55), -500 * p2(-5),
                           12000 * p2(-43) * PI_NAV, -1000000000 * p2(-31) * PI_NAV, 8000000 * p2(-33),
                           0xA10DFA00u * p2(-19), 0x12345678 * p2(-31) * PI_NAV, 0x29000001 * p2(-31) * PI_NAV,
                           -20000 * p2(-43) * PI_NAV, -100 * p2(-43) * PI_NAV, 77 * p2(-29)));
}

TEST(NavbitsGps, SubframesOfTwoIssuesWaitForTheirOwn)
{
    GpsIssue old_issue(1), new_issue(2);
    navbits_gps_t state;
    navbits_gps_init(&state);
    gps_nav_t nav;
    auto add = [&](GpsIssue &issue, int i) {
        uint32_t upright[10];
        const auto sent = navenc::gps_sent(issue.sf[i]);
        EXPECT_EQ(navbits_gps_subframe_check(sent.data(), 0, upright), 0);
        return navbits_gps_add(&state, upright, 3, &nav);
    };
    EXPECT_EQ(add(old_issue, 0), 0);
    EXPECT_EQ(add(old_issue, 1), 0);
    EXPECT_EQ(add(new_issue, 2), 0); // IODE 2 against 1: no record
    EXPECT_EQ(add(new_issue, 0), 0);
    EXPECT_EQ(add(new_issue, 1), 1);
    EXPECT_EQ(nav.iode, 2);
}

TEST(NavbitsGlonass, StringsFromTheIcdDecodeAndTheHammingCodeMendsOneBit)
{
    navenc::Bits s[5] = {navenc::Bits(85), navenc::Bits(85), navenc::Bits(85), navenc::Bits(85), navenc::Bits(85)};
    for (int m = 1; m <= 5; ++m) navenc::glonass_set(s[m - 1], 84, 4, m);
    navenc::glonass_set(s[0], 76, 12, (23 << 7) | (45 << 1) | 1); // tk 23:45:30
    navenc::glonass_set(s[0], 64, 24, navenc::glonass_sm(-1234567, 24));
    navenc::glonass_set(s[0], 35, 27, navenc::glonass_sm(-20000000, 27));
    navenc::glonass_set(s[1], 76, 7, 95);  // tb
    navenc::glonass_set(s[1], 35, 27, navenc::glonass_sm(30000000, 27));
    navenc::glonass_set(s[2], 79, 11, navenc::glonass_sm(-5, 11)); // gamma
    navenc::glonass_set(s[2], 35, 27, navenc::glonass_sm(-1, 27));
    navenc::glonass_set(s[3], 80, 22, navenc::glonass_sm(-1000, 22)); // tau
    navenc::glonass_set(s[3], 26, 11, 1000); // NT
    navenc::glonass_set(s[3], 15, 5, 9);     // slot
    navenc::glonass_set(s[4], 36, 5, 8);     // N4
    uint8_t strings[5][NAVBITS_GLONASS_STRING_BYTES];
    navbits_glonass_t state;
    navbits_glonass_init(&state);
    glonass_nav_t nav;
    int done = 0;
    for (int m = 0; m < 5; ++m) {
        navenc::glonass_hamming(s[m]);
        const auto bytes = navenc::glonass_bytes(s[m]);
        memcpy(strings[m], bytes.data(), bytes.size());
        ASSERT_EQ(navbits_glonass_string_check(strings[m]), 0) << "string " << m + 1;
        EXPECT_EQ(navbits_glonass_string_number(strings[m]), m + 1);
        done = navbits_glonass_add(&state, strings[m], -3, &nav);
    }
    ASSERT_EQ(done, 1);
    // Day 1 of N4 = 8 is 2024-01-01 (00:00 Moscow = 1704056400 s UTC).
    EXPECT_EQ(logs::fields(nav.tk, nav.tb, nav.slot, nav.nt, nav.four_year, nav.frequency_channel, nav.tb_time),
              logs::fields(23u * 3600 + 45 * 60 + 30, 95u * 900, 9, 1000, 8, -3,
                           (int64_t)(1704056400 + 999 * 86400 + 95 * 900) * 1000));
    EXPECT_EQ(logs::fields(nav.vx, nav.x, nav.y, nav.z, nav.gamma, nav.tau),
              logs::fields(-1234567 * p2(-20), -20000000 * p2(-11), 30000000 * p2(-11), -1 * p2(-11), -5 * p2(-40),
                           -1000 * p2(-30)));

    // Every single data bit flipped is mended, a flipped check bit 1..7
    // spoils no data, a flipped total check bit 8 cannot be placed; two
    // flipped bits are refused.
    for (int bit = 0; bit < 85; ++bit) {
        const int n = 85 - bit;
        uint8_t one[NAVBITS_GLONASS_STRING_BYTES];
        memcpy(one, strings[2], sizeof one);
        one[bit / 8] ^= (uint8_t)(0x80 >> (bit % 8));
        EXPECT_EQ(navbits_glonass_string_check(one), n >= 9 ? 1 : n == 8 ? -1 : 0) << "string bit " << n;
        if (n >= 9) {
            EXPECT_EQ(memcmp(one, strings[2], sizeof one), 0);
        }
        uint8_t two[NAVBITS_GLONASS_STRING_BYTES];
        memcpy(two, strings[2], sizeof two);
        const int other = (bit + 40) % 85;
        two[bit / 8] ^= (uint8_t)(0x80 >> (bit % 8));
        two[other / 8] ^= (uint8_t)(0x80 >> (other % 8));
        EXPECT_EQ(navbits_glonass_string_check(two), -1) << "bits " << n << ", " << 85 - other;
    }
}

TEST(NavbitsGalileo, PagesFromTheIcdJoinIntoWordsAndRecords)
{
    navenc::Bits w[5] = {navenc::Bits(128), navenc::Bits(128), navenc::Bits(128), navenc::Bits(128), navenc::Bits(128)};
    for (int t = 1; t <= 5; ++t) w[t - 1].set(1, 6, t);
    for (int t = 1; t <= 4; ++t)
        w[t - 1].set(7, 10, 77); // IODnav
    w[0].set(17, 14, 600);       // toe / 60
    w[0].set(63, 32, 3000000);   // e
    w[0].set(95, 32, 0xAA0A0000); // sqrt(A) = 5440.31...
    w[1].set(49, 32, 0x29000000); // i0
    w[1].set(113, 14, -50);      // IDOT
    w[2].set(17, 24, -30000);    // OMEGA dot
    w[2].set(121, 8, 107);       // SISA
    w[3].set(17, 6, 19);         // SVID
    w[3].set(55, 14, 600);       // toc / 60
    w[3].set(69, 31, -987654321); // af0
    w[3].set(121, 6, -2);        // af2
    w[4].set(48, 10, -17);       // BGD E1/E5a
    w[4].set(58, 10, 25);        // BGD E1/E5b
    w[4].set(74, 12, 1300);      // WN
    w[4].set(86, 20, 36005);     // TOW
    navbits_galileo_t state;
    navbits_galileo_init(&state);
    galileo_inav_t nav;
    int done = 0;
    for (int t = 0; t < 5; ++t) {
        navenc::Bits even(120), odd(120);
        navenc::galileo_page(w[t], even, odd);
        uint8_t e[NAVBITS_GALILEO_PART_BYTES] = {0}, o[NAVBITS_GALILEO_PART_BYTES] = {0}, word[NAVBITS_GALILEO_WORD_BYTES];
        for (int i = 0; i < 120; ++i) {
            navbits_set(e, i, 1, even.bit[i + 1]);
            navbits_set(o, i, 1, odd.bit[i + 1]);
        }
        ASSERT_EQ(navbits_galileo_inav_page(e, o, word), t + 1);
        done = navbits_galileo_add(&state, word, 0, 1, &nav);
        // A flipped bit anywhere under the CRC, or an alert page, is refused.
        for (int bit : {0, 1, 50, 113}) {
            uint8_t bad[NAVBITS_GALILEO_PART_BYTES];
            memcpy(bad, e, sizeof bad);
            bad[bit / 8] ^= (uint8_t)(0x80 >> (bit % 8));
            EXPECT_EQ(navbits_galileo_inav_page(bad, o, word), -1);
        }
        uint8_t bad[NAVBITS_GALILEO_PART_BYTES];
        memcpy(bad, o, sizeof bad);
        bad[10] ^= 0x01; // within the CRC itself
        EXPECT_EQ(navbits_galileo_inav_page(e, bad, word), -1);
    }
    ASSERT_EQ(done, 1);
    EXPECT_EQ(logs::fields(nav.prn, nav.iodnav, nav.source, nav.week, nav.tow, nav.toe, nav.toc, nav.sisa),
              logs::fields(19, 77, 1, 1300, 36005, 36000u, 36000u, 107));
    EXPECT_EQ(logs::fields(nav.e, nav.sqrt_a, nav.i0, nav.idot, nav.omega_dot, nav.af0, nav.af2, nav.bgd_e5a,
                           nav.bgd_e5b),
              logs::fields(3000000 * p2(-33), 0xAA0A0000u * p2(-19), 0x29000000 * p2(-31) * PI_NAV,
                           -50 * p2(-43) * PI_NAV, -30000 * p2(-43) * PI_NAV, -987654321 * p2(-34), -2 * p2(-59),
                           -17 * p2(-32), 25 * p2(-32)));
}

TEST(NavbitsBds, D1SubframesFromTheIcdDecodeWithTheirBchCode)
{
    navenc::Bits sf[3] = {navenc::Bits(300), navenc::Bits(300), navenc::Bits(300)};
    for (int i = 0; i < 3; ++i) {
        sf[i].set(1, 11, 0x712);       // preamble
        sf[i].set(16, 3, i + 1);       // FraID
        const int sow = 100000 + 6 * i;
        sf[i].set(19, 8, sow >> 12);
        sf[i].set(31, 12, sow & 0xFFF);
    }
    // Subframe 1.
    sf[0].set(44, 5, 9);               // AODC
    sf[0].set(61, 13, 900);            // WN
    sf[0].set(74, 9, 12345 >> 8);      // toc / 8
    sf[0].set(91, 8, 12345 & 0xFF);
    sf[0].set(99, 10, -33);            // TGD1
    sf[0].set(109, 4, (57 >> 6) & 0xF); // TGD2
    sf[0].set(121, 6, 57 & 0x3F);
    sf[0].set(127, 8, -4);             // alpha0
    sf[0].set(215, 11, -5);            // a2
    sf[0].set(226, 7, (-4000000 >> 17) & 0x7F); // a0
    sf[0].set(241, 17, -4000000 & 0x1FFFF);
    sf[0].set(288, 5, 11);             // AODE
    // Subframe 2.
    sf[1].set(251, 12, 0xA51);         // sqrt(A) = 0xA5134400 * 2^-19 = 5282.6...
    sf[1].set(271, 20, 0x34400);
    sf[1].set(133, 10, 0);             // e
    sf[1].set(151, 22, 1500000);
    sf[1].set(291, 2, 12345 >> 15);    // toe / 8
    // Subframe 3.
    sf[2].set(43, 10, (12345 >> 5) & 0x3FF);
    sf[2].set(61, 5, 12345 & 0x1F);
    sf[2].set(66, 17, 0x28F5C28F >> 15); // i0
    sf[2].set(91, 15, 0x28F5C28F & 0x7FFF);
    sf[2].set(190, 13, (-77 >> 1) & 0x1FFF); // IDOT
    sf[2].set(211, 1, -77 & 1);
    navbits_bds_t state;
    navbits_bds_init(&state);
    bd2_nav_t nav;
    int done = 0;
    for (int i = 0; i < 3; ++i) {
        auto words = navenc::bds_words(sf[i]);
        auto damaged = words;
        ASSERT_EQ(navbits_bds_subframe_check(words.data()), 0);
        EXPECT_EQ(navbits_bds_subframe_id(words.data()), i + 1);
        // One wrong bit per code word is mended (the code corrects one and
        // cannot tell two from one).
        damaged[4] ^= 1u << 25;
        damaged[7] ^= 1u << 2;
        EXPECT_EQ(navbits_bds_subframe_check(damaged.data()), 2);
        EXPECT_EQ(damaged, words);
        done = navbits_bds_add(&state, words.data(), 21, &nav);
    }
    ASSERT_EQ(done, 1);
    EXPECT_EQ(logs::fields(nav.prn, nav.tow, nav.week, nav.aodc, nav.aode, nav.toc, nav.toe),
              logs::fields(21, 100000, 900, 9, 11, 12345u * 8, 12345u * 8));
    // TGD in 0.1 ns steps: not a power of two, so to the last bits only.
    EXPECT_DOUBLE_EQ(nav.tgd1, -33e-10);
    EXPECT_DOUBLE_EQ(nav.tgd2, 57e-10);
    EXPECT_EQ(logs::fields(nav.alpha[0], nav.a0, nav.a2, nav.sqrt_a, nav.e, nav.i0, nav.idot),
              logs::fields(-4 * p2(-30), -4000000 * p2(-33), -5 * p2(-66), 0xA5134400u * p2(-19), 1500000 * p2(-33),
                           0x28F5C28F * p2(-31) * PI_NAV, -77 * p2(-43) * PI_NAV));
}
