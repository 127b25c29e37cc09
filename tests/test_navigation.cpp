// Navigation record conversions and the GLONASS channel table. Expected values
// are worked by hand from the broadcast scale factors (powers of two, so the
// comparisons are exact).
#include <gtest/gtest.h>

#include <math.h>
#include <string.h>

#include "log_frames.h"
#include "gnss_signal.h"
#include "navigation.h"

namespace {

const double kPi = 3.1415926535898;

} // namespace

TEST(Navigation, GlonassChannelTable)
{
    glonass_channel_t table;
    memset(&table, 0, sizeof(table));
    glonass_channel_init(&table);
    for (int s = 0; s <= 33; s++) EXPECT_EQ(glonass_channel_get(&table, s), 99) << s;

    // update: first come, the second report ignored; slots outside 1..32,
    // channels outside -7..+13 (a reserved 1020 field, a damaged log) and
    // MSM extended information other than 0..13 (-7..+6) teach nothing.
    // set overwrites, and ignores slots outside 1..32 (no write past the table).
    const struct {
        char call; // 'u' update, 'x' update_extended, 's' set
        int slot, value, result;
    } calls[] = {{'u', 5, 2, 2},   {'u', 5, -3, 2},  {'u', 0, 1, 99},   {'u', 33, 1, 99},  {'s', 5, -3, -3},
                 {'s', 33, 4, 99}, {'s', -1, 4, 99}, {'s', 32, 6, 6},   {'x', 7, 14, 99},  {'x', 7, 15, 99},
                 {'x', 7, 0, -7},  {'x', 7, 13, -7}, {'x', 8, 13, 6},   {'x', 40, 3, 99},  {'u', 10, 14, 99},
                 {'u', 10, -8, 99}, {'u', 10, 24, 99}, {'u', 10, 13, 13}};
    for (const auto &c : calls) {
        int r = c.call == 'u'   ? glonass_channel_update(&table, c.slot, c.value)
                : c.call == 'x' ? glonass_channel_update_extended(&table, c.slot, c.value)
                                : (glonass_channel_set(&table, c.slot, c.value), glonass_channel_get(&table, c.slot));
        EXPECT_EQ(r, c.result) << c.call << " " << c.slot << " " << c.value;
    }
    EXPECT_EQ(logs::fields(glonass_channel_get(&table, 5), glonass_channel_get(&table, 31)), logs::fields(-3, 99));

    // G1 1602 + 0.5625 k MHz, G2 1246 + 0.4375 k MHz; nothing for G3, other
    // systems or unknown channels.
    const gnss_signal_t *g1 = &GNSS_SIGNAL_GLONASS[0], *g2 = &GNSS_SIGNAL_GLONASS[1], *g3 = &GNSS_SIGNAL_GLONASS[3];
    const struct {
        int slot;
        const gnss_signal_t *signal;
        uint32_t hz;
    } freqs[] = {{7, g1, 1598062500u}, {8, g1, 1605375000u}, {8, g2, 1248625000u}, {7, g2, 1242937500u},
                 {8, g3, 0},           {8, &GNSS_SIGNAL_GPS[0], 0}, {9, g1, 0},    {0, g1, 0},
                 {33, g1, 0},          {8, nullptr, 0}};
    for (const auto &f : freqs) EXPECT_EQ(glonass_channel_frequency(&table, f.slot, f.signal), f.hz) << f.slot;
}

TEST(Navigation, BdsIonosphereAndGalileoInav)
{
    bd2_nav_raw_t raw;
    memset(&raw, 0, sizeof(raw));
    raw.tow = 345600, raw.prn = 14, raw.week = 800;
    const int8_t alpha[4] = {1, -1, 2, -2}, beta[4] = {1, -1, 127, -128};
    memcpy(raw.alpha, alpha, 4);
    memcpy(raw.beta, beta, 4);
    bd2_nav_t nav;
    bd2_nav_from_raw(&nav, &raw);
    EXPECT_EQ(logs::fields(nav.tow, nav.prn, nav.week), logs::fields(345600, 14, 800));
    EXPECT_EQ(logs::fields(nav.alpha[0], nav.alpha[1], nav.alpha[2], nav.alpha[3], nav.beta[0], nav.beta[1],
                           nav.beta[2], nav.beta[3]),
              logs::fields(ldexp(1, -30), -ldexp(1, -27), ldexp(1, -23), -ldexp(1, -23), 2048.0, -16384.0,
                           127 * 65536.0, -128 * 65536.0));

    galileo_inav_raw_t i;
    memset(&i, 0, sizeof(i));
    i.tow = -1, i.prn = 2, i.source = 2, i.week = 4095, i.e1b_hs = 3, i.e5b_hs = 1, i.e1b_dvs = 1;
    i.bgd_e5a = 511, i.bgd_e5b = -512, i.toc = 16383, i.idot = -8192;
    galileo_inav_t in;
    galileo_inav_from_raw(&in, &i);
    EXPECT_EQ(logs::fields(in.tow, in.prn, in.source, in.week, in.e1b_hs, in.e5b_hs, in.e1b_dvs, in.e5b_dvs),
              logs::fields(-1, 2, 2, 4095, 3, 1, 1, 0));
    EXPECT_EQ(logs::fields(in.bgd_e5a, in.bgd_e5b, in.toc, in.idot),
              logs::fields(511 * ldexp(1, -32), -ldexp(1, -23), 982980u, -ldexp(1, -30) * kPi));
}

TEST(Navigation, GlonassUnknownDateAndDatingFromTime)
{
    glonass_nav_raw_t raw;
    memset(&raw, 0, sizeof(raw));
    raw.tb = 13;                         // 03:15 Moscow = 00:15 UTC
    raw.tk = (2 << 7) | (45 << 1);       // 02:45 Moscow
    glonass_nav_t nav;
    // Without the additional data N4 = NT = 0: no date rather than 1991.
    EXPECT_EQ(glonass_nav_from_raw(&nav, &raw), GLONASS_NAV_DATE_UNKNOWN);
    EXPECT_EQ(logs::fields(glonass_nav_date_known(&nav), nav.tb_time, nav.tk_time), logs::fields(0, (int64_t)0, (int64_t)0));
    raw.four_year = 32 - 1, raw.nt = 1462; // in range, but NT out of range
    EXPECT_EQ(glonass_nav_from_raw(&nav, &raw), GLONASS_NAV_DATE_UNKNOWN);

    // Known time 2020-01-01 00:30 UTC (1577838600 s): tb 03:15 Moscow of
    // the same day, 2020-01-01 00:15 UTC.
    EXPECT_EQ(glonass_nav_update_utc_near(&nav, 1577838600000LL), 0);
    EXPECT_EQ(logs::fields(nav.tb_time, nav.tk_time, nav.four_year, nav.nt, glonass_nav_date_known(&nav) != 0),
              logs::fields(1577837700000LL, 1577837700000LL - 1800000, 7, 1, true));

    // tb 23:45 Moscow seen at 03:30 Moscow: it belongs to the day before,
    // the last day (1461) of the interval 2016-2019.
    nav.tb = 85500, nav.tk = 84600;
    EXPECT_EQ(glonass_nav_update_utc_near(&nav, 1577838600000LL), 0);
    EXPECT_EQ(logs::fields(nav.tb_time, nav.tk_time, nav.four_year, nav.nt),
              logs::fields(1577825100000LL, 1577825100000LL - 900000, 6, 1461));
    // Re-dating from the fields gives the same times.
    const int64_t tb_time = nav.tb_time;
    EXPECT_EQ(glonass_nav_update_utc(&nav), 0);
    EXPECT_EQ(nav.tb_time, tb_time);

    // tk late in one Moscow day, tb early in the next.
    nav.tb = 900, nav.tk = 85500; // 00:15 Moscow, and 23:45 of the day before
    EXPECT_EQ(glonass_nav_update_utc_near(&nav, 1577838600000LL), 0);
    EXPECT_EQ(logs::fields(nav.tb_time, nav.tk_time), logs::fields(1577826900000LL, 1577826900000LL - 1800000));
}
