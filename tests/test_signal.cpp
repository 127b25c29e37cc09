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

namespace {

// Carrier frequencies in Hz per RINEX band digit and system letter, from the
// GPS, Galileo, BDS, GLONASS, QZSS, IRNSS and SBAS documents (most are
// multiples of the 10.23 MHz fundamental).
uint32_t carrier(char letter, char band)
{
    const double f0 = 10.23e6;
    switch (letter) {
    case 'G': case 'J': case 'S':
        if (band == '1') return (uint32_t)(154 * f0);
        if (band == '2') return (uint32_t)(120 * f0);
        if (band == '5') return (uint32_t)(115 * f0);
        if (band == '6') return (uint32_t)(125 * f0);
        break;
    case 'E':
        if (band == '1') return (uint32_t)(154 * f0);
        if (band == '5') return (uint32_t)(115 * f0);
        if (band == '7') return (uint32_t)(118 * f0);
        if (band == '8') return (uint32_t)(116.5 * f0);
        if (band == '6') return (uint32_t)(125 * f0);
        break;
    case 'C':
        if (band == '2') return 1561098000u;
        if (band == '1') return (uint32_t)(154 * f0);
        if (band == '5') return (uint32_t)(115 * f0);
        if (band == '7') return (uint32_t)(118 * f0);
        if (band == '8') return (uint32_t)(116.5 * f0);
        if (band == '6') return 1268520000u;
        break;
    case 'R':
        if (band == '1') return 1602000000u;
        if (band == '2') return 1246000000u;
        if (band == '3') return (uint32_t)(117.5 * f0);
        break;
    case 'I':
        if (band == '5') return (uint32_t)(115 * f0);
        if (band == '9') return 2492028000u;
        break;
    }
    return 0;
}

// RTCM 10403.3 MSM signal ids with their RINEX codes, per system.
const std::map<int, std::string> kRtcmGps = {{2, "1C"}, {3, "1P"}, {4, "1W"}, {8, "2C"},
                                             {9, "2P"}, {10, "2W"}, {15, "2S"}, {16, "2L"},
                                             {17, "2X"}, {22, "5I"}, {23, "5Q"}, {24, "5X"},
                                             {30, "1S"}, {31, "1L"}, {32, "1X"}};
const std::map<int, std::string> kRtcmGlonass = {{2, "1C"}, {3, "1P"}, {8, "2C"}, {9, "2P"}};
const std::map<int, std::string> kRtcmGalileo = {
    {2, "1C"}, {3, "1A"}, {4, "1B"}, {5, "1X"}, {6, "1Z"}, {8, "6C"}, {9, "6A"}, {10, "6B"}, {11, "6X"},
    {12, "6Z"}, {14, "7I"}, {15, "7Q"}, {16, "7X"}, {18, "8I"}, {19, "8Q"}, {20, "8X"}, {22, "5I"},
    {23, "5Q"}, {24, "5X"}};
const std::map<int, std::string> kRtcmQzss = {{2, "1C"}, {9, "6S"}, {10, "6L"}, {11, "6X"}, {15, "2S"},
                                              {16, "2L"}, {17, "2X"}, {22, "5I"}, {23, "5Q"}, {24, "5X"},
                                              {30, "1S"}, {31, "1L"}, {32, "1X"}};
// BDS ids 4, 10 and 16 (B1 I+Q, B3 I+Q, B2 I+Q) are not mapped: the table's
// "2X" and "6X" are never written and its "7X" is the B2b signal.
const std::map<int, std::string> kRtcmBds = {{2, "2I"}, {3, "2Q"}, {8, "6I"}, {9, "6Q"}, {14, "7I"},
                                             {15, "7Q"}, {22, "5D"}, {23, "5P"}, {24, "5X"}, {25, "7D"},
                                             {30, "1D"}, {31, "1P"}, {32, "1X"}};

const std::map<int, std::string> kRtcmSbas = {{2, "1C"}, {22, "5I"}, {23, "5Q"}, {24, "5X"}};

const std::map<int, std::string> *rtcm_codes(int system)
{
    switch (system) {
    case GNSS_SYSTEM_GPS: return &kRtcmGps;
    case GNSS_SYSTEM_GLONASS: return &kRtcmGlonass;
    case GNSS_SYSTEM_GALILEO: return &kRtcmGalileo;
    case GNSS_SYSTEM_QZSS: return &kRtcmQzss;
    case GNSS_SYSTEM_BDS: return &kRtcmBds;
    case GNSS_SYSTEM_SBAS: return &kRtcmSbas;
    default: return nullptr;
    }
}

} // namespace

TEST(Signals, SystemTable)
{
    const char *names[] = {"BDS", "GALILEO", "GPS", "IRNSS", "QZSS", "GLONASS", "SBAS", "TSS"};
    const char letters[] = "CEGIJRST";
    const uint16_t bases[] = {1120, 1090, 1070, 0, 1110, 1080, 1100, 0};
    const uint32_t amounts[] = {27, 15, 13, 5, 14, 5, 4, 2};
    ASSERT_EQ(GNSS_SYSTEM_AMOUNT, 8);
    for (int s = 0; s < GNSS_SYSTEM_AMOUNT; s++) {
        EXPECT_STREQ(GNSS_SYSTEM[s].name, names[s]);
        EXPECT_EQ(logs::fields(GNSS_SYSTEM[s].letter, GNSS_SYSTEM[s].msm_base, GNSS_SYSTEM[s].signal_amount,
                               GNSS_SYSTEM[s].rtcm_signal != nullptr),
                  logs::fields(letters[s], bases[s], amounts[s], bases[s] != 0));
    }
}

TEST(Signals, EntriesAreConsistent)
{
    for (int s = 0; s < GNSS_SYSTEM_AMOUNT; s++) {
        const gnss_system_t &sys = GNSS_SYSTEM[s];
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
            EXPECT_EQ(sig.phase_shift[0], GNSS_PHASE_SHIFT_NONE);
            EXPECT_EQ(sig.phase_shift[1], GNSS_PHASE_SHIFT_NONE);
            for (int v = 2; v < 6; v++)
                EXPECT_TRUE(sig.phase_shift[v] == GNSS_PHASE_SHIFT_NONE ||
                            (sig.phase_shift[v] >= -2 && sig.phase_shift[v] <= 2));
            if (s != GNSS_SYSTEM_TSS) {
                EXPECT_EQ(sig.frequency, carrier(sys.letter, sig.code[0]));
            }
        }
    }
    EXPECT_EQ(GNSS_SIGNAL_TSS[0].frequency, 1606110000u);
    EXPECT_EQ(GNSS_SIGNAL_TSS[1].frequency, 1248060000u);
}

TEST(Signals, MsmSignalMapsFollowRtcm)
{
    for (int s = 0; s < GNSS_SYSTEM_AMOUNT; s++) {
        const gnss_system_t &sys = GNSS_SYSTEM[s];
        const std::map<int, std::string> *rtcm = rtcm_codes(s);
        if (!rtcm) continue;
        for (int id = 1; id <= 32; id++) {
            SCOPED_TRACE(std::string(sys.name) + " id " + std::to_string(id));
            int8_t e = sys.rtcm_signal[id - 1];
            auto it = rtcm->find(id);
            // Where the standard's code for the id stands in the system's
            // table, the id maps to it; otherwise the id has no entry.
            int expected = -1;
            if (it != rtcm->end())
                for (uint32_t i = 0; i < sys.signal_amount; i++)
                    if (it->second == sys.signal[i].code && sys.signal[i].system == s) expected = (int)i;
            EXPECT_EQ(e, expected);
        }
    }
    // The ids that decide whole columns of real data.
    EXPECT_STREQ(GNSS_SIGNAL_GPS[RTCM_SIGNAL_GPS[22 - 1]].code, "5I");
    EXPECT_STREQ(GNSS_SIGNAL_GPS[RTCM_SIGNAL_GPS[23 - 1]].code, "5Q");
    EXPECT_STREQ(GNSS_SIGNAL_BDS[RTCM_SIGNAL_BDS[31 - 1]].name, "B1C(P)");
    EXPECT_STREQ(GNSS_SIGNAL_BDS[RTCM_SIGNAL_BDS[30 - 1]].name, "B1C(D)");
    EXPECT_STREQ(GNSS_SIGNAL_GALILEO[RTCM_SIGNAL_GALILEO[5 - 1]].code, "1X");
}

TEST(Signals, PhaseShiftsOfNote)
{
    // Galileo E1 C is shifted by half a cycle (+2 quarters) in every version.
    EXPECT_EQ(GNSS_SIGNAL_GALILEO[1].phase_shift[4], 2);
    EXPECT_EQ(GNSS_SIGNAL_GALILEO[13].phase_shift[5], -2);
    // BDS B1C exists from 3.04 on; B1A only in 3.05; "B1(X)" never.
    EXPECT_EQ(logs::fields(GNSS_SIGNAL_BDS[6].phase_shift[3], GNSS_SIGNAL_BDS[6].phase_shift[4],
                           GNSS_SIGNAL_BDS[9].phase_shift[4], GNSS_SIGNAL_BDS[9].phase_shift[5]),
              logs::fields(GNSS_PHASE_SHIFT_NONE, 0, GNSS_PHASE_SHIFT_NONE, 0));
    for (int v = 0; v < 6; v++) EXPECT_EQ(GNSS_SIGNAL_BDS[24].phase_shift[v], GNSS_PHASE_SHIFT_NONE);
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
