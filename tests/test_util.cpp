// Checksums, byte order, GPS time and the geodetic conversion, against check
// values of the standards, hand-computed values and bitwise reference
// definitions written here.
#include <gtest/gtest.h>

#include <math.h>
#include <string.h>

#include <random>
#include <vector>

#include "log_frames.h"
#include "frame_builders.h"
#include "testdata.h"
#include "util.h"

TEST(Util, TableCrcsEqualTheBitwiseDefinitions)
{
    std::mt19937 rng(7);
    for (int round = 0; round < 200; round++) {
        std::vector<uint8_t> data(rng() % 1100);
        for (uint8_t &b : data) b = (uint8_t)rng();
        uint32_t n = (uint32_t)data.size();
        ASSERT_EQ(util_crc24_rtcm3(0, data.data(), n), fb::crc24q(data.data(), n));
        // A start value flips the first 24 message bits; at any alignment.
        if (n > 4) {
            const uint32_t start = rng() & 0xFFFFFFu;
            std::vector<uint8_t> flipped(data.begin() + 1, data.end());
            flipped[0] ^= (uint8_t)(start >> 16), flipped[1] ^= (uint8_t)(start >> 8), flipped[2] ^= (uint8_t)start;
            ASSERT_EQ(util_crc24_rtcm3(start, data.data() + 1, n - 1), fb::crc24q(flipped.data(), n - 1)) << n;
        }
        ASSERT_EQ(util_crc32_novatel(0, data.data(), n), fb::crc32_novatel(data.data(), n));
        ASSERT_EQ(util_crc32_novatel(5, data.data(), n), fb::crc32_novatel(data.data(), n));
        ASSERT_EQ(util_crc16(0, data.data(), n), fb::crc16_ccitt(data.data(), n));
        // A frame with its CRC appended checks to 0.
        std::vector<uint8_t> framed = fb::rtcm3(data.size() < 1024 ? data : std::vector<uint8_t>(3));
        ASSERT_EQ(util_crc24_rtcm3(0, framed.data(), (uint32_t)framed.size()), 0u);
        std::vector<uint8_t> nov = fb::novatel(43, data);
        ASSERT_EQ(util_crc32_novatel(0, nov.data(), (uint32_t)nov.size()), 0u);
    }
}

TEST(Util, NmeaSentencesOfARealLog)
{
    REQUIRE_TESTDATA();
    // The catalogue counts 215 + 215 + 215 + 108 sentences with good checksums.
    std::ifstream in(testdata::path("gpsd/hemi.log"));
    std::string line;
    int good = 0, bad = 0;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] != '$') continue;
        (util_check_line_nmea(line.c_str()) == 0 ? good : bad)++;
    }
    EXPECT_EQ(logs::fields(good, bad), logs::fields(753, 0));
}

TEST(Util, NavigationWordParity)
{
    // A word whose data bits are all 0 after D29* = D30* = 0 has parity 0; with
    // D29* = 1 the equations that start from D29* (D25, D27, D30) flip:
    // 101001; with D30* = 1, D26, D28 and D29 flip: 010110. d1 alone enters
    // D25, D27 and D29: 101010; d24 alone D26, D29 and D30: 010011. The
    // parity bits themselves do not enter.
    EXPECT_EQ(logs::fields(util_rtcm2_get_parity(0), util_rtcm2_get_parity(0x80000000u),
                           util_rtcm2_get_parity(0x40000000u), util_rtcm2_get_parity(1u << 29),
                           util_rtcm2_get_parity(1u << 6), util_rtcm2_get_parity(0x3Fu)),
              logs::fields(0u, 0x29u, 0x16u, 0x2Au, 0x13u, 0u));
}
