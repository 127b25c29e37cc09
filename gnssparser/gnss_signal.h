// The constant tables of satellite systems and signals: the single vocabulary
// that decoders, writers and the user interface share. Entries are compared
// by address.
#ifndef GNSSPARSER_GNSS_SIGNAL_H
#define GNSSPARSER_GNSS_SIGNAL_H

#include <stdint.h>

// Phase shift element meaning "this RINEX version defines no code for it".
#define GNSS_PHASE_SHIFT_NONE 127

typedef struct gnss_signal_t {
    uint8_t system;           // index into GNSS_SYSTEM
    uint8_t index;            // position in its system's signal table
    int8_t phase_shift[6];    // quarter cycles, element = RINEX 3 minor version
    const char *code;         // RINEX 3 code without type letter, "1C"
    const char *name;         // display name, "L1(C/A)"
    uint32_t frequency;       // Hz; GLONASS FDMA: channel 0
} gnss_signal_t;

typedef struct gnss_system_t {
    const char *name;
    char letter;
    uint16_t msm_base;            // MSM message number less its type, 0 = none
    const int8_t *rtcm_signal;    // 32 elements, id-1 -> signal index or -1
    const gnss_signal_t *signal;
    uint32_t signal_amount;
} gnss_system_t;

enum {
    GNSS_SYSTEM_BDS = 0,
    GNSS_SYSTEM_GALILEO = 1,
    GNSS_SYSTEM_GPS = 2,
    GNSS_SYSTEM_IRNSS = 3,
    GNSS_SYSTEM_QZSS = 4,
    GNSS_SYSTEM_GLONASS = 5,
    GNSS_SYSTEM_SBAS = 6,
    GNSS_SYSTEM_TSS = 7,
};

#define GNSS_SYSTEM_AMOUNT 8
#define GNSS_SIGNAL_BDS_AMOUNT 28
#define GNSS_SIGNAL_GALILEO_AMOUNT 15
#define GNSS_SIGNAL_GPS_AMOUNT 13
#define GNSS_SIGNAL_IRNSS_AMOUNT 5
#define GNSS_SIGNAL_QZSS_AMOUNT 14
#define GNSS_SIGNAL_GLONASS_AMOUNT 5
#define GNSS_SIGNAL_SBAS_AMOUNT 4
#define GNSS_SIGNAL_TSS_AMOUNT 2

extern const gnss_system_t GNSS_SYSTEM[GNSS_SYSTEM_AMOUNT];
extern const gnss_signal_t GNSS_SIGNAL_BDS[GNSS_SIGNAL_BDS_AMOUNT];
extern const gnss_signal_t GNSS_SIGNAL_GALILEO[GNSS_SIGNAL_GALILEO_AMOUNT];
extern const gnss_signal_t GNSS_SIGNAL_GPS[GNSS_SIGNAL_GPS_AMOUNT];
extern const gnss_signal_t GNSS_SIGNAL_IRNSS[GNSS_SIGNAL_IRNSS_AMOUNT];
extern const gnss_signal_t GNSS_SIGNAL_QZSS[GNSS_SIGNAL_QZSS_AMOUNT];
extern const gnss_signal_t GNSS_SIGNAL_GLONASS[GNSS_SIGNAL_GLONASS_AMOUNT];
extern const gnss_signal_t GNSS_SIGNAL_SBAS[GNSS_SIGNAL_SBAS_AMOUNT];
extern const gnss_signal_t GNSS_SIGNAL_TSS[GNSS_SIGNAL_TSS_AMOUNT];

extern const int8_t RTCM_SIGNAL_BDS[32];
extern const int8_t RTCM_SIGNAL_GALILEO[32];
extern const int8_t RTCM_SIGNAL_GPS[32];
extern const int8_t RTCM_SIGNAL_QZSS[32];
extern const int8_t RTCM_SIGNAL_GLONASS[32];
extern const int8_t RTCM_SIGNAL_SBAS[32];

#endif
