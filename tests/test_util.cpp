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

namespace {
const uint8_t *digits()
{
    return reinterpret_cast<const uint8_t *>("123456789");
}
} // namespace

TEST(Util, ChecksumCheckValues)
{
    // CRC-24Q, CRC-16/XMODEM, CRC-32C (Castagnoli), CRC-16/MODBUS with its
    // 0xFFFF start, and 0x04C11DB7 from 0 without final complement
    // (CRC-32/POSIX before its xorout).
    EXPECT_EQ(logs::fields(util_crc24_rtcm3(0, digits(), 9), util_crc16(0, digits(), 9),
                           util_crc32_castagnoli(0, digits(), 9), util_crc16_modbus(0xFFFF, digits(), 9),
                           util_crc32_04C11DB7(0, digits(), 9)),
              logs::fields(0xCDE703u, 0x31C3u, 0xE3069283u, 0x4B37u, ~0x765E7680u));
    // Count 0 returns the start value (the NovAtel CRC always starts at 0).
    EXPECT_EQ(logs::fields(util_crc24_rtcm3(0x123456, digits(), 0), util_crc16(0xABCD, digits(), 0),
                           util_crc32_novatel(77, digits(), 0)),
              logs::fields(0x123456u, 0xABCDu, 0u));
}

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

TEST(Util, UbloxAndNmeaChecks)
{
    std::vector<uint8_t> ubx = fb::ublox(0x01, 0x07, {1, 2, 3, 4});
    EXPECT_EQ(util_check_ublox(ubx.data(), (uint32_t)ubx.size()), 0);
    ubx[6] ^= 1;
    EXPECT_EQ(util_check_ublox(ubx.data(), (uint32_t)ubx.size()), 1);

    // The textbook sentence with its published checksum 47.
    EXPECT_EQ(util_check_line_nmea("$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47\r\n"), 0);
    // XOR of "GPGGA,1" is 0x4B (G^P^G^G^A^,^1 by hand), in either case.
    EXPECT_EQ(logs::fields(util_check_line_nmea("$GPGGA,1*4B\r\n"), util_check_line_nmea("$GPGGA,1*4b\r\n"),
                           util_check_line_nmea("$GPGGA,1*5A\r\n"), util_check_line_nmea("$GPGGA,1\r\n"),
                           util_check_line_nmea("GPGGA,1*5A")),
              logs::fields(0, 0, -3, -2, -1));
    std::string long_line = "$" + std::string(600, 'A') + "*00";
    EXPECT_EQ(util_check_line_nmea(long_line.c_str()), -2);
    EXPECT_EQ(util_check_line("$GPGGA,1*4B"), 0);

    char buf[64] = "$GPGGA,1";
    EXPECT_EQ(util_snprint_nmea0183_crlf(buf, sizeof buf), 13);
    EXPECT_STREQ(buf, "$GPGGA,1*4B\r\n");
    char log[64] = "#TIMEA,COM1";
    ASSERT_GT(util_snprint_crc32_crlf(log, sizeof log), 0);
    EXPECT_EQ(util_check_line(log), 0);
    log[3] = 'X';
    EXPECT_EQ(util_check_line_crc32(log), -3);
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

TEST(Util, ByteOrder)
{
    const uint8_t b[8] = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x88};
    EXPECT_EQ(logs::fields(util_bytes_to_u16(b), util_bytes_to_u24(b), util_bytes_to_u32(b), util_bytes_to_u64(b),
                           util_bytes_to_u16_be(b), util_bytes_to_u24_be(b), util_bytes_to_u32_be(b),
                           util_bytes_to_u64_be(b)),
              logs::fields(0x0201, 0x030201u, 0x04030201u, 0x8807060504030201ull, 0x0102, 0x010203u, 0x01020304u,
                           0x0102030405060788ull));
    // IEEE 754: 1.5f is 0x3FC00000, -2.0 is 0xC000000000000000.
    const uint8_t f[4] = {0x00, 0x00, 0xC0, 0x3F}, d[8] = {0, 0, 0, 0, 0, 0, 0x00, 0xC0}, dbe[8] = {0xC0};
    EXPECT_EQ(logs::fields(util_bytes_to_float(f), util_bytes_to_double(d), util_bytes_to_double_be(dbe)),
              logs::fields(1.5f, -2.0, -2.0));

    uint8_t out[8], be[4], le[3];
    util_bytes_from_u32_be(be, 0xA1B2C3D4u);
    util_bytes_from_u24(le, 0x0A0B0C);
    EXPECT_EQ(logs::fields(util_bytes_to_u32(be), le[0], le[2]), logs::fields(0xD4C3B2A1u, 0x0C, 0x0A));
    util_bytes_from_double(out, 3.25);
    const double back = util_bytes_to_double(out);
    util_bytes_from_float_be(out, -0.5f);
    EXPECT_EQ(logs::fields(back, util_bytes_to_float_be(out)), logs::fields(3.25, -0.5f));
}

TEST(Util, GpsTime)
{
    EXPECT_EQ(util_gps_time_to_epoch(0, 0), 315964800000LL);
    // 2018-07-15 00:00:00 GPST is the start of GPS week 2010.
    EXPECT_EQ(util_gps_time_to_epoch(2010, 0), 1531612800000LL);
    // Week 3000 (2037) overflows 32-bit milliseconds but not the day count.
    EXPECT_EQ(util_gps_time_to_epoch(3000, 604799999), (3000LL * 7 + 3657) * 86400000LL + 604799999);

    // Before the GPS epoch reads as its start; a week's last millisecond.
    const struct {
        int64_t epoch;
        int32_t week, ms;
    } back[] = {{315964799999LL, 0, 0}, {315964800000LL + 604800000LL, 1, 0}, {1531612800000LL - 1, 2009, 604799999}};
    for (const auto &c : back) {
        int32_t week = -1, ms = -1;
        util_epoch_to_gps_time(c.epoch, &week, &ms);
        EXPECT_EQ(logs::fields(week, ms), logs::fields(c.week, c.ms)) << c.epoch;
    }

    // Never more than 16 periods above the base.
    EXPECT_EQ(logs::fields(util_round_week(0, 2100, 1024), util_round_week(0, 1500, 1024),
                           util_round_week(0, 511, 1024), util_round_week(0, 512, 1024),
                           util_round_week(0, 1 << 30, 1024)),
              logs::fields(2048, 1024, 0, 1024, 16 * 1024));

    EXPECT_EQ(logs::fields(util_glonass_ephemeris_int(0x21, 6), util_glonass_ephemeris_int(0x1F, 6),
                           util_glonass_ephemeris_int(0x800000u, 24), util_glonass_ephemeris_int(0xFFFFFFu, 24)),
              logs::fields(-1, 31, 0, -0x7FFFFF));
}

namespace {
// Geodetic to ECEF on WGS-84, written from the textbook formulae.
void to_xyz(double lat_deg, double lon_deg, double h, double &x, double &y, double &z)
{
    const double a = 6378137.0, f = 1 / 298.257223563, e2 = f * (2 - f);
    double b = lat_deg * M_PI / 180, l = lon_deg * M_PI / 180;
    double n = a / sqrt(1 - e2 * sin(b) * sin(b));
    x = (n + h) * cos(b) * cos(l);
    y = (n + h) * cos(b) * sin(l);
    z = (n * (1 - e2) + h) * sin(b);
}
} // namespace

TEST(Util, EcefToGeodetic)
{
    // On the equatorial plane (the last two) Z = 0 must give a finite height
    // at once: this used to divide 0 by 0 and never converge.
    const double cases[][3] = {{45, 10, 100},   {-35.3988, 148.98, 683.2}, {89.9, -120, 4000}, {0.0001, 45, -30},
                               {-89.99, 0, 0},  {52.1, 179.9, 20000000},   {0, 0, 250},        {0, -90, 0}};
    double lat, lon, h;
    for (const auto &c : cases) {
        double x, y, z;
        to_xyz(c[0], c[1], c[2], x, y, z);
        ASSERT_EQ(util_xyz_to_blh(x, y, z, &lat, &lon, &h), 0);
        EXPECT_NEAR(lat, c[0], 1e-9);
        EXPECT_NEAR(lon, c[1], 1e-9);
        EXPECT_NEAR(h, c[2], 1e-4);
    }
    // A pole: height above the semi-minor axis b = 6356752.3142 m.
    ASSERT_EQ(util_xyz_to_blh(0, 0, 6356752.3142 + 10, &lat, &lon, &h), 0);
    EXPECT_NEAR(lat, 90.0, 1e-12);
    EXPECT_NEAR(h, 10.0, 1e-3);
    // No position at all, or values that are not numbers, leave the outputs alone.
    lat = lon = h = 7;
    EXPECT_NE(util_xyz_to_blh(0, 0, 0, &lat, &lon, &h), 0);
    EXPECT_NE(util_xyz_to_blh(NAN, 1, 1, &lat, &lon, &h), 0);
    EXPECT_NE(util_xyz_to_blh(1, INFINITY, 1, &lat, &lon, &h), 0);
    EXPECT_EQ(lat, 7);
    EXPECT_EQ(h, 7);

    double x, y, z, ex, ey, ez;
    util_blh_to_xyz(45, 10, 100, &x, &y, &z);
    to_xyz(45, 10, 100, ex, ey, ez);
    EXPECT_LT(fabs(x - ex) + fabs(y - ey) + fabs(z - ez), 1e-6);
}
