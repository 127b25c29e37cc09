// The system and signal tables against the standards: carrier frequencies
// from the systems' interface documents, MSM signal ids from RTCM 10403.3,
// and the structure every user of the tables relies on.
#include <gtest/gtest.h>

#include <string.h>

#include <map>
#include <set>
#include <string>

#include "log_frames.h"
#include "gnss_signal.h"
#include "msm_codes.h"

namespace {

// Carrier frequencies in Hz per system letter and RINEX band digit, from the
// GPS, Galileo, BDS, GLONASS, QZSS, IRNSS and SBAS documents: L1 154, L2 120,
// L5 115, L6 125, E5b 118, E5 116.5, G3 117.5 times the 10.23 MHz fundamental.
const uint32_t L1 = 1575420000, L2 = 1227600000, L5 = 1176450000, L6 = 1278750000, E7 = 1207140000,
               E8 = 1191795000;
const std::map<std::string, uint32_t> kCarrier = {
    {"G1", L1}, {"G2", L2}, {"G5", L5}, {"G6", L6}, {"J1", L1}, {"J2", L2}, {"J5", L5}, {"J6", L6},
    {"S1", L1}, {"S2", L2}, {"S5", L5}, {"S6", L6}, {"E1", L1}, {"E5", L5}, {"E7", E7}, {"E8", E8},
    {"E6", L6}, {"C1", L1}, {"C2", 1561098000}, {"C5", L5}, {"C6", 1268520000}, {"C7", E7}, {"C8", E8},
    {"R1", 1602000000}, {"R2", 1246000000}, {"R3", 1202025000}, {"I5", L5}, {"I9", 2492028000u},
    {"T1", 1606110000}, {"T2", 1248060000}};

} // namespace

TEST(Signals, BdsCodesOfRinex304)
{
    // The BDS observation codes of RINEX 3.04 by signal and component: BDS-2
    // B1, B2, B3 as I, Q, I+Q; BDS-3 B1C, B2a, B2b, B2a+b as data, pilot and
    // both, where both is X except on B2b, whose X is the BDS-2 B2 I+Q.
    const std::map<std::string, std::string> rinex304 = {
        {"B1(I)", "2I"},    {"B1(Q)", "2Q"},    {"B1(X)", "2X"},     {"B2(I)", "7I"},   {"B2(Q)", "7Q"},
        {"B2(IQ)", "7X"},   {"B3(I)", "6I"},    {"B3(Q)", "6Q"},     {"B3(X)", "6X"},   {"B1C(D)", "1D"},
        {"B1C(P)", "1P"},   {"B1C(DP)", "1X"},  {"B2a(D)", "5D"},    {"B2a(P)", "5P"},  {"B2a(DP)", "5X"},
        {"B2b(D)", "7D"},   {"B2b(P)", "7P"},   {"B2b(DP)", "7Z"},   {"B2ab(D)", "8D"}, {"B2ab(P)", "8P"},
        {"B2ab(DP)", "8X"}};
    for (const auto &want : rinex304) {
        const gnss_signal_t *found = nullptr;
        for (const gnss_signal_t &sig : GNSS_SIGNAL_BDS)
            if (want.first == sig.name) found = &sig;
        ASSERT_NE(found, nullptr) << want.first;
        EXPECT_EQ(logs::fields(std::string(found->code), found->phase_shift[4] != GNSS_PHASE_SHIFT_NONE),
                  logs::fields(want.second, true))
            << want.first;
    }
}
