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
