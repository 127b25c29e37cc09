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
