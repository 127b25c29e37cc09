// The signal tables against the standards: MSM signal ids from RTCM 10403.3,
// and the phase shifts and BDS observation codes of the RINEX 3 versions.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "log_frames.h"
#include "gnss_signal.h"
#include "msm_codes.h"

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
