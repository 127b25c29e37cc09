// The navigation-message layer against messages built bit by bit from the
// ICDs with their own check bits: fields decode to the broadcast values
// times the ICD scale factors, a wrong bit is caught (or mended where the
// code allows), and records are assembled only from parts that belong
// together.
#include <gtest/gtest.h>

#include <math.h>

#include <array>
#include <vector>

#include "log_frames.h"
#include "navbits.h"
#include "navmsg_encoder.h"

namespace {

const double PI_NAV = 3.1415926535898;

double p2(int e)
{
    return ldexp(1.0, e);
}

// The bytes with the given bits (0: the first sent) flipped.
template <typename A> A flip(A bytes, std::initializer_list<int> bits)
{
    for (int b : bits) bytes[b / 8] ^= (uint8_t)(0x80 >> (b % 8));
    return bytes;
}

} // namespace

TEST(NavbitsGps, SubframesFromTheIcdDecodeWithParityAndIssuesStayApart)
{
    navenc::GpsIssue issue(0x5A);
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
    // Every field's scale is checked through the Hemisphere GPS message, which
    // decodes its subframes with the same code.
    EXPECT_EQ(logs::fields(nav.sqrt_a, nav.af1), logs::fields(0xA10DFA00u * p2(-19), -1234 * p2(-43)));

    // Subframes of two issues: a record only from the parts of one.
    navenc::GpsIssue old_issue(1), new_issue(2);
    int got[5];
    const int order[5][2] = {{1, 0}, {1, 1}, {2, 2}, {2, 0}, {2, 1}};
    for (int k = 0; k < 5; ++k) {
        const auto sent = navenc::gps_sent((order[k][0] == 1 ? old_issue : new_issue).sf[order[k][1]]);
        uint32_t upright[10];
        EXPECT_EQ(navbits_gps_subframe_check(sent.data(), 0, upright), 0);
        got[k] = navbits_gps_add(&state, upright, 3, &nav);
    }
    // IODE 2 against 1: no record until the new issue is whole.
    EXPECT_EQ(std::vector<int>(got, got + 5), std::vector<int>({0, 0, 0, 0, 1}));
    EXPECT_EQ(nav.iode, 2);
}

TEST(NavbitsGlonass, StringsFromTheIcdDecodeAndTheHammingCodeMendsOneBit)
{
    const navenc::GlonassStrings g;
    std::array<uint8_t, NAVBITS_GLONASS_STRING_BYTES> strings[5];
    navbits_glonass_t state;
    navbits_glonass_init(&state);
    glonass_nav_t nav;
    int done = 0;
    for (int m = 0; m < 5; ++m) {
        strings[m] = navenc::glonass_bytes(g.s[m]);
        ASSERT_EQ(navbits_glonass_string_check(strings[m].data()), 0) << "string " << m + 1;
        EXPECT_EQ(navbits_glonass_string_number(strings[m].data()), m + 1);
        done = navbits_glonass_add(&state, strings[m].data(), -3, &nav);
    }
    ASSERT_EQ(done, 1);
    // Day 1 of N4 = 8 is 2024-01-01 (00:00 Moscow = 1704056400 s UTC).
    EXPECT_EQ(logs::fields(nav.tk, nav.tb, nav.slot, nav.nt, nav.four_year, nav.frequency_channel, nav.tb_time),
              logs::fields(23u * 3600 + 45 * 60 + 30, 95u * 900, 9, 1000, 8, -3,
                           (int64_t)(1704056400 + 999 * 86400 + 95 * 900) * 1000));
    // The scales and signs of every field: through the Hemisphere GLONASS
    // message, which decodes its strings with the same code.

    // Every single data bit flipped is mended, a flipped check bit 1..7
    // spoils no data, a flipped total check bit 8 cannot be placed; two
    // flipped bits are refused.
    for (int bit = 0; bit < 85; ++bit) {
        const int n = 85 - bit, other = (bit + 40) % 85;
        auto one = flip(strings[2], {bit}), two = flip(strings[2], {bit, other});
        EXPECT_EQ(navbits_glonass_string_check(one.data()), n >= 9 ? 1 : n == 8 ? -1 : 0) << "string bit " << n;
        if (n >= 9) { EXPECT_EQ(one, strings[2]) << "string bit " << n; }
        EXPECT_EQ(navbits_glonass_string_check(two.data()), -1) << "bits " << n << ", " << 85 - other;
    }
}

TEST(NavbitsGalileo, PagesFromTheIcdJoinIntoWordsAndRecords)
{
    const navenc::GalileoWords g;
    navbits_galileo_t state;
    navbits_galileo_init(&state);
    galileo_inav_t nav;
    int done = 0;
    for (int t = 0; t < 5; ++t) {
        navenc::Bits even(120), odd(120);
        navenc::galileo_page(g.w[t], even, odd);
        std::array<uint8_t, NAVBITS_GALILEO_PART_BYTES> e{}, o{};
        uint8_t word[NAVBITS_GALILEO_WORD_BYTES];
        for (int i = 0; i < 120; ++i) {
            navbits_set(e.data(), i, 1, even.bit[i + 1]);
            navbits_set(o.data(), i, 1, odd.bit[i + 1]);
        }
        ASSERT_EQ(navbits_galileo_inav_page(e.data(), o.data(), word), t + 1);
        done = navbits_galileo_add(&state, word, 0, 1, &nav);
        // A flipped bit anywhere under the CRC (the last within the CRC
        // itself), or an alert page, is refused.
        for (int bit : {0, 1, 50, 113})
            EXPECT_EQ(navbits_galileo_inav_page(flip(e, {bit}).data(), o.data(), word), -1) << bit;
        EXPECT_EQ(navbits_galileo_inav_page(e.data(), flip(o, {87}).data(), word), -1);
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
    const navenc::BdsIssue issue;
    navbits_bds_t state;
    navbits_bds_init(&state);
    bd2_nav_t nav;
    int done = 0;
    for (int i = 0; i < 3; ++i) {
        auto words = navenc::bds_words(issue.sf[i]);
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
