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

