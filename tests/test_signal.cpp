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

TEST(Signals, SystemsAndTheirEntries)
{
    const char *names[] = {"BDS", "GALILEO", "GPS", "IRNSS", "QZSS", "GLONASS", "SBAS", "TSS"};
    const uint16_t bases[] = {1120, 1090, 1070, 0, 1110, 1080, 1100, 0};
    const uint32_t amounts[] = {28, 15, 13, 5, 14, 5, 4, 2};
    ASSERT_EQ(GNSS_SYSTEM_AMOUNT, 8);
    for (int s = 0; s < GNSS_SYSTEM_AMOUNT; s++) {
        const gnss_system_t &sys = GNSS_SYSTEM[s];
        EXPECT_EQ(logs::fields(std::string(sys.name), sys.letter, sys.msm_base, sys.signal_amount, sys.rtcm_signal != nullptr),
                  logs::fields(std::string(names[s]), "CEGIJRST"[s], bases[s], amounts[s], bases[s] != 0));
        std::set<std::string> codes;
        for (uint32_t i = 0; i < sys.signal_amount; i++) {
            const gnss_signal_t &sig = sys.signal[i];
            SCOPED_TRACE(std::string(sys.name) + " " + sig.code);
            EXPECT_EQ(sig.index, i);
            // Only the QZSS table's "L1(Sb)" belongs to another system (SBAS).
            bool sbas_in_qzss = s == GNSS_SYSTEM_QZSS && !strcmp(sig.name, "L1(Sb)");
            EXPECT_EQ(sig.system, sbas_in_qzss ? GNSS_SYSTEM_SBAS : s);
            EXPECT_EQ(strlen(sig.code), 2u);
            EXPECT_TRUE(codes.insert(sig.code).second) << "code repeated";
            // 3.00 and 3.01 are never written.
            EXPECT_EQ(logs::fields(sig.phase_shift[0], sig.phase_shift[1]),
                      logs::fields(GNSS_PHASE_SHIFT_NONE, GNSS_PHASE_SHIFT_NONE));
            for (int v = 2; v < 6; v++)
                EXPECT_TRUE(sig.phase_shift[v] == GNSS_PHASE_SHIFT_NONE ||
                            (sig.phase_shift[v] >= -2 && sig.phase_shift[v] <= 2));
            const auto f = kCarrier.find(std::string(1, sys.letter) + sig.code[0]);
            EXPECT_EQ(sig.frequency, f == kCarrier.end() ? 0 : f->second);
        }
    }
}

TEST(Signals, MsmSignalMapsFollowRtcm)
{
    for (int s = 0; s < GNSS_SYSTEM_AMOUNT; s++) {
        const gnss_system_t &sys = GNSS_SYSTEM[s];
        if (!sys.msm_base) continue;
        const std::map<int, std::string> &rtcm = kMsmCodes.at(sys.msm_base);
        for (int id = 1; id <= 32; id++) {
            SCOPED_TRACE(std::string(sys.name) + " id " + std::to_string(id));
            auto it = rtcm.find(id);
            // Where the standard's code for the id stands in the system's
            // table, the id maps to it; otherwise the id has no entry.
            int expected = -1;
            if (it != rtcm.end())
                for (uint32_t i = 0; i < sys.signal_amount; i++)
                    if (it->second == sys.signal[i].code && sys.signal[i].system == s) expected = (int)i;
            EXPECT_EQ(sys.rtcm_signal[id - 1], expected);
        }
    }
    EXPECT_EQ(logs::fields(std::string(GNSS_SIGNAL_BDS[RTCM_SIGNAL_BDS[30]].name), std::string(GNSS_SIGNAL_BDS[RTCM_SIGNAL_BDS[29]].name)),
              logs::fields(std::string("B1C(P)"), std::string("B1C(D)")));
}

TEST(Signals, PhaseShiftsOfNote)
{
    // Galileo E1 C is shifted by half a cycle (+2 quarters) in every version.
    EXPECT_EQ(GNSS_SIGNAL_GALILEO[1].phase_shift[4], 2);
    EXPECT_EQ(GNSS_SIGNAL_GALILEO[13].phase_shift[5], -2);
    // BDS B1C exists from 3.04 on; B1A only in 3.05; "B3(XE)" has no code in any.
    EXPECT_EQ(logs::fields(GNSS_SIGNAL_BDS[6].phase_shift[3], GNSS_SIGNAL_BDS[6].phase_shift[4],
                           GNSS_SIGNAL_BDS[9].phase_shift[4], GNSS_SIGNAL_BDS[9].phase_shift[5]),
              logs::fields(GNSS_PHASE_SHIFT_NONE, 0, GNSS_PHASE_SHIFT_NONE, 0));
    for (int v = 0; v < 6; v++) EXPECT_EQ(GNSS_SIGNAL_BDS[26].phase_shift[v], GNSS_PHASE_SHIFT_NONE);
    // IRNSS has no codes in 3.02.
    for (const gnss_signal_t &sig : GNSS_SIGNAL_IRNSS) EXPECT_EQ(sig.phase_shift[2], GNSS_PHASE_SHIFT_NONE);
    // GLONASS G3 changes between versions: -1, -1, +1, 0 quarter cycles.
    EXPECT_EQ(logs::fields(GNSS_SIGNAL_GLONASS[3].phase_shift[2], GNSS_SIGNAL_GLONASS[3].phase_shift[4],
                           GNSS_SIGNAL_GLONASS[3].phase_shift[5]),
              logs::fields(-1, 1, 0));
    // QZSS L1 C/B: only 3.05.
    EXPECT_EQ(logs::fields(GNSS_SIGNAL_QZSS[11].phase_shift[4], GNSS_SIGNAL_QZSS[11].phase_shift[5],
                           GNSS_SIGNAL_QZSS[1].phase_shift[3], GNSS_SIGNAL_QZSS[1].phase_shift[4]),
              logs::fields(GNSS_PHASE_SHIFT_NONE, 0, 0, 1));
}

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
