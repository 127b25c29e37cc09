// Constant system and signal tables. Each row: system, index, phase shifts for
// RINEX 3.00 .. 3.05 in quarter cycles (127 = no code in that version),
// code, display name, carrier frequency in Hz.
#include "gnss_signal.h"

#define N GNSS_PHASE_SHIFT_NONE
// 3.00 and 3.01 are never written, so their elements are always N.
#define PS(a, b, c, d) {N, N, a, b, c, d}

const gnss_signal_t GNSS_SIGNAL_BDS[GNSS_SIGNAL_BDS_AMOUNT] = {
    {0, 0, PS(0, 0, 0, 0), "2I", "B1(I)", 1561098000u},
    {0, 1, PS(-1, -1, -1, 0), "2Q", "B1(Q)", 1561098000u},
    {0, 2, PS(0, 0, 0, 0), "7I", "B2(I)", 1207140000u},
    {0, 3, PS(-1, -1, -1, -1), "7Q", "B2(Q)", 1207140000u},
    {0, 4, PS(0, 0, 0, 0), "6I", "B3(I)", 1268520000u},
    {0, 5, PS(-1, -1, -1, 0), "6Q", "B3(Q)", 1268520000u},
    {0, 6, PS(N, N, 0, 0), "1D", "B1C(D)", 1575420000u},
    {0, 7, PS(N, N, 1, 0), "1P", "B1C(P)", 1575420000u},
    {0, 8, PS(N, N, 0, 0), "1X", "B1C(DP)", 1575420000u},
    {0, 9, PS(N, N, N, 0), "1S", "B1A(D)", 1575420000u},
    {0, 10, PS(N, N, N, 0), "1L", "B1A(P)", 1575420000u},
    {0, 11, PS(N, N, N, 0), "1Z", "B1A(DP)", 1575420000u},
    {0, 12, PS(N, N, 0, 0), "5D", "B2a(D)", 1176450000u},
    {0, 13, PS(N, N, 1, 0), "5P", "B2a(P)", 1176450000u},
    {0, 14, PS(N, N, 0, 0), "5X", "B2a(DP)", 1176450000u},
    {0, 15, PS(N, N, 0, 0), "7D", "B2b(D)", 1207140000u},
    {0, 16, PS(N, N, 1, 0), "7P", "B2b(P)", 1207140000u},
    // B2b data plus pilot is band 7 attribute Z: "7X" is the BDS-2 B2 I+Q.
    {0, 17, PS(N, N, 0, 0), "7Z", "B2b(DP)", 1207140000u},
    {0, 18, PS(N, N, 0, 0), "8D", "B2ab(D)", 1191795000u},
    {0, 19, PS(N, N, 1, 0), "8P", "B2ab(P)", 1191795000u},
    {0, 20, PS(N, N, 0, 0), "8X", "B2ab(DP)", 1191795000u},
    {0, 21, PS(N, N, N, 0), "6D", "B3A(D)", 1268520000u},
    {0, 22, PS(N, N, N, 0), "6P", "B3A(P)", 1268520000u},
    {0, 23, PS(N, N, N, 0), "6Z", "B3A(DP)", 1268520000u},
    // I+Q of B1 and B3 align with their I, as the B2 I+Q below.
    {0, 24, PS(0, 0, 0, 0), "2X", "B1(X)", 1561098000u},
    {0, 25, PS(0, 0, 0, 0), "6X", "B3(X)", 1268520000u},
    {0, 26, PS(N, N, N, N), "6Y", "B3(XE)", 1268520000u},
    {0, 27, PS(0, 0, 0, 0), "7X", "B2(IQ)", 1207140000u},
};

const gnss_signal_t GNSS_SIGNAL_GALILEO[GNSS_SIGNAL_GALILEO_AMOUNT] = {
    {1, 0, PS(0, 0, 0, 0), "1B", "E1(B)", 1575420000u},
    {1, 1, PS(2, 2, 2, 2), "1C", "E1(C)", 1575420000u},
    {1, 2, PS(0, 0, 0, 0), "1X", "E1(BC)", 1575420000u},
    {1, 3, PS(0, 0, 0, 0), "5I", "E5a(I)", 1176450000u},
    {1, 4, PS(-1, -1, -1, -1), "5Q", "E5a(Q)", 1176450000u},
    {1, 5, PS(0, 0, 0, 0), "5X", "E5a(IQ)", 1176450000u},
    {1, 6, PS(0, 0, 0, 0), "7I", "E5b(I)", 1207140000u},
    {1, 7, PS(-1, -1, -1, -1), "7Q", "E5b(Q)", 1207140000u},
    {1, 8, PS(0, 0, 0, 0), "7X", "E5b(IQ)", 1207140000u},
    {1, 9, PS(0, 0, 0, 0), "8I", "E5ab(I)", 1191795000u},
    {1, 10, PS(-1, -1, -1, -1), "8Q", "E5ab(Q)", 1191795000u},
    {1, 11, PS(0, 0, 0, 0), "8X", "E5ab(IQ)", 1191795000u},
    {1, 12, PS(0, 0, 0, 0), "6B", "E6(B)", 1278750000u},
    {1, 13, PS(-2, -2, -2, -2), "6C", "E6(C)", 1278750000u},
    {1, 14, PS(0, 0, 0, 0), "6X", "E6(BC)", 1278750000u},
};

const gnss_signal_t GNSS_SIGNAL_GPS[GNSS_SIGNAL_GPS_AMOUNT] = {
    {2, 0, PS(0, 0, 0, 0), "1C", "L1(C/A)", 1575420000u},
    {2, 1, PS(0, 0, 0, 0), "2P", "L2(P)", 1227600000u},
    {2, 2, PS(0, 0, 0, 0), "2W", "L2(P AS)", 1227600000u},
    {2, 3, PS(0, 0, 0, 0), "5I", "L5(I)", 1176450000u},
    {2, 4, PS(-1, -1, -1, -1), "5Q", "L5(Q)", 1176450000u},
    {2, 5, PS(1, 1, 1, 1), "1S", "L1(CD)", 1575420000u},
    {2, 6, PS(1, 1, 1, 1), "1L", "L1(CP)", 1575420000u},
    {2, 7, PS(-1, -1, -1, -1), "2S", "L2(CM)", 1227600000u},
    {2, 8, PS(1, 1, 1, 1), "1W", "L1(P AS)", 1575420000u},
    {2, 9, PS(-1, -1, -1, -1), "2L", "L2(CL)", 1227600000u},
    {2, 10, PS(-1, -1, -1, -1), "2X", "L2(CML)", 1227600000u},
    {2, 11, PS(0, 0, 0, 0), "5X", "L5(IQ)", 1176450000u},
    {2, 12, PS(1, 1, 1, 1), "1X", "L1(CDP)", 1575420000u},
};

const gnss_signal_t GNSS_SIGNAL_IRNSS[GNSS_SIGNAL_IRNSS_AMOUNT] = {
    {3, 0, PS(N, 0, 0, 0), "5A", "L5(ASPS)", 1176450000u},
    {3, 1, PS(N, 0, 0, 0), "5B", "L5(B)", 1176450000u},
    {3, 2, PS(N, 0, 0, 0), "5C", "L5(C)", 1176450000u},
    {3, 3, PS(N, 0, 0, 0), "5X", "L5(BC)", 1176450000u},
    {3, 4, PS(N, 0, 0, 0), "9A", "S(ASPS)", 2492028000u},
};

// "L1(Sb)" stands in the QZSS table but is an SBAS signal (system 6): wherever
// a system is derived from a signal it counts as SBAS.
const gnss_signal_t GNSS_SIGNAL_QZSS[GNSS_SIGNAL_QZSS_AMOUNT] = {
    {4, 0, PS(0, 0, 0, 0), "1C", "L1(C/A)", 1575420000u},
    {4, 1, PS(0, 0, 1, 1), "1S", "L1(CD)", 1575420000u},
    {4, 2, PS(1, 1, 1, 1), "1L", "L1(CP)", 1575420000u},
    {4, 3, PS(0, 0, 0, 0), "2S", "L2(CM)", 1227600000u},
    {4, 4, PS(0, 0, 0, 0), "5I", "L5(I)", 1176450000u},
    {4, 5, PS(-1, -1, -1, -1), "5Q", "L5(Q)", 1176450000u},
    {4, 6, PS(0, 0, 0, 0), "6L", "L6(P)", 1278750000u},
    {4, 7, PS(0, 0, 0, 0), "2L", "L2(CL)", 1227600000u},
    {4, 8, PS(0, 0, 0, 0), "1Z", "L1(S)", 1575420000u},
    {4, 9, PS(0, 0, 0, 0), "2X", "L2(C)", 1227600000u},
    {4, 10, PS(N, N, N, N), "2W", "L2(Z)", 1227600000u},
    {6, 11, PS(N, N, N, 0), "1B", "L1(Sb)", 1575420000u},
    {4, 12, PS(0, 0, 0, 0), "5X", "L5(IQ)", 1176450000u},
    {4, 13, PS(1, 1, 1, 1), "1X", "L1(CDP)", 1575420000u},
};

const gnss_signal_t GNSS_SIGNAL_GLONASS[GNSS_SIGNAL_GLONASS_AMOUNT] = {
    {5, 0, PS(0, 0, 0, 0), "1C", "G1(C/A)", 1602000000u},
    {5, 1, PS(0, 0, 0, 0), "2C", "G2(C/A)", 1246000000u},
    {5, 2, PS(1, 1, 1, 1), "2P", "G2(P)", 1246000000u},
    {5, 3, PS(-1, -1, 1, 0), "3Q", "G3(Q)", 1202025000u},
    {5, 4, PS(1, 1, 1, 1), "1P", "G1(P)", 1602000000u},
};

const gnss_signal_t GNSS_SIGNAL_SBAS[GNSS_SIGNAL_SBAS_AMOUNT] = {
    {6, 0, PS(0, 0, 0, 0), "1C", "L1(C/A)", 1575420000u},
    {6, 1, PS(0, 0, 0, 0), "5I", "L5(I)", 1176450000u},
    {6, 2, PS(-1, -1, -1, -1), "5Q", "L5(Q)", 1176450000u},
    {6, 3, PS(0, 0, 0, 0), "5X", "L5(IQ)", 1176450000u},
};

const gnss_signal_t GNSS_SIGNAL_TSS[GNSS_SIGNAL_TSS_AMOUNT] = {
    {7, 0, PS(0, 0, 0, 0), "1I", "TS1(I)", 1606110000u},
    {7, 1, PS(0, 0, 0, 0), "2I", "TS2(I)", 1248060000u},
};

#undef PS
#undef N

// MSM signal maps: element id-1 holds the signal table index for MSM signal
// id `id`, -1 where the id has no entry. The assignments follow RTCM 10403.3.
#define X -1
const int8_t RTCM_SIGNAL_BDS[32] = {
    //  1  2  3  4  5  6  7  8  9 10 11 12 13 14 15 16
    X, 0, 1, 24, X, X, X, 4, 5, 25, X, X, X, 2, 3, 27,
    // 17 18 19 20 21 22  23  24  25 26 27 28 29 30 31 32
    X, X, X, X, X, 12, 13, 14, 15, X, X, X, X, 6, 7, 8,
};

const int8_t RTCM_SIGNAL_GALILEO[32] = {
    //  1  2  3  4  5  6  7   8  9  10  11 12 13 14 15 16
    X, 1, X, 0, 2, X, X, 13, X, 12, 14, X, X, 6, 7, 8,
    // 17 18 19  20 21 22 23 24 25 26 27 28 29 30 31 32
    X, 9, 10, 11, X, 3, 4, 5, X, X, X, X, X, X, X, X,
};

const int8_t RTCM_SIGNAL_GPS[32] = {
    //  1  2  3  4  5  6  7  8  9 10 11 12 13 14 15 16
    X, 0, X, 8, X, X, X, X, 1, 2, X, X, X, X, 7, 9,
    // 17 18 19 20 21 22 23  24 25 26 27 28 29 30 31  32
    10, X, X, X, X, 3, 4, 11, X, X, X, X, X, 5, 6, 12,
};

const int8_t RTCM_SIGNAL_QZSS[32] = {
    //  1  2  3  4  5  6  7  8  9 10 11 12 13 14 15 16
    X, 0, X, X, X, X, X, X, X, 6, X, X, X, X, 3, 7,
    // 17 18 19 20 21 22 23  24 25 26 27 28 29 30 31  32
    9, X, X, X, X, 4, 5, 12, X, X, X, X, X, 1, 2, 13,
};

const int8_t RTCM_SIGNAL_SBAS[32] = {
    //  1  2  3  4  5  6  7  8  9 10 11 12 13 14 15 16
    X, 0, X, X, X, X, X, X, X, X, X, X, X, X, X, X,
    // 17 18 19 20 21 22 23 24 25 26 27 28 29 30 31 32
    X, X, X, X, X, 1, 2, 3, X, X, X, X, X, X, X, X,
};

const int8_t RTCM_SIGNAL_GLONASS[32] = {
    //  1  2  3  4  5  6  7  8  9 10 11 12 13 14 15 16
    X, 0, 4, X, X, X, X, 1, 2, X, X, X, X, X, X, X,
    // 17 .. 32
    X, X, X, X, X, X, X, X, X, X, X, X, X, X, X, X,
};
#undef X

const gnss_system_t GNSS_SYSTEM[GNSS_SYSTEM_AMOUNT] = {
    {"BDS", 'C', 1120, RTCM_SIGNAL_BDS, GNSS_SIGNAL_BDS, GNSS_SIGNAL_BDS_AMOUNT},
    {"GALILEO", 'E', 1090, RTCM_SIGNAL_GALILEO, GNSS_SIGNAL_GALILEO, GNSS_SIGNAL_GALILEO_AMOUNT},
    {"GPS", 'G', 1070, RTCM_SIGNAL_GPS, GNSS_SIGNAL_GPS, GNSS_SIGNAL_GPS_AMOUNT},
    {"IRNSS", 'I', 0, nullptr, GNSS_SIGNAL_IRNSS, GNSS_SIGNAL_IRNSS_AMOUNT},
    {"QZSS", 'J', 1110, RTCM_SIGNAL_QZSS, GNSS_SIGNAL_QZSS, GNSS_SIGNAL_QZSS_AMOUNT},
    {"GLONASS", 'R', 1080, RTCM_SIGNAL_GLONASS, GNSS_SIGNAL_GLONASS, GNSS_SIGNAL_GLONASS_AMOUNT},
    {"SBAS", 'S', 1100, RTCM_SIGNAL_SBAS, GNSS_SIGNAL_SBAS, GNSS_SIGNAL_SBAS_AMOUNT},
    {"TSS", 'T', 0, nullptr, GNSS_SIGNAL_TSS, GNSS_SIGNAL_TSS_AMOUNT},
};
