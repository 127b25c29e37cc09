// u-blox UBX message decoders: raw measurements (RXM-RAWX of M8/F9/X20
// receivers, RXM-RAW of LEA-4T/5T/6T), raw navigation words (RXM-SFRBX,
// RXM-SFRB) and the receiver version (MON-VER).
//
// Every decoder takes one whole frame as the framer delivers it: B5 62,
// class, id, the payload length (u16), the payload from frame offset 6 and
// the two Fletcher sums. Multi-byte fields are little-endian. Each decoder
// checks the frame length against what the payload announces, so nothing
// outside [frame, frame + length) is ever read.
#ifndef GNSSPARSER_UBLOX_H
#define GNSSPARSER_UBLOX_H

#include <stdint.h>

#include "gnss_signal.h"
#include "navbits.h"
#include "navigation.h"

// Class and id, as (class << 8) | id.
#define UBLOX_RXM_RAW 0x0210
#define UBLOX_RXM_SFRB 0x0211
#define UBLOX_RXM_SFRBX 0x0213
#define UBLOX_RXM_RAWX 0x0215
#define UBLOX_MON_VER 0x0A04
#define UBLOX_NAV_TIMEGPS 0x0120

// (class << 8) | id of a frame; 0 for a frame too short to hold them.
uint32_t ublox_message(const uint8_t *frame, uint32_t length);

// ---- RXM-RAWX ---------------------------------------------------------------------------

// Tracking status bits of a RAWX measurement (trkStat).
#define UBLOX_TRK_PR_VALID 0x01
#define UBLOX_TRK_CP_VALID 0x02
#define UBLOX_TRK_HALF_CYC 0x04      // half-cycle ambiguity resolved
#define UBLOX_TRK_SUB_HALF_CYC 0x08  // half a cycle subtracted from the phase

typedef struct ublox_rawx_t {
    double rcv_tow;        // receiver time of week, s (GPS time scale)
    uint16_t week;         // full GPS week (0 while the receiver has no time)
    int8_t leap_s;         // GPS - UTC, s
    uint8_t num_meas;
    uint8_t rec_stat;      // bit 0: leap_s valid; bit 1: clock reset
    uint8_t version;
    const uint8_t *meas;   // the measurement blocks; the frame must outlive the record
} ublox_rawx_t;

typedef struct ublox_rawx_meas_t {
    double pseudorange;    // m
    double phase;          // cycles (RINEX sign: grows with the range)
    float doppler;         // Hz (positive approaching)
    uint8_t gnss_id;
    uint8_t sv_id;
    uint8_t sig_id;        // 0 from M8 receivers
    uint8_t freq_id;       // GLONASS channel + 7
    uint16_t locktime;     // ms of continuous carrier tracking, at most 64500
    uint8_t cno;           // dB-Hz
    uint8_t pr_stdev;      // 0.01 * 2^n m
    uint8_t cp_stdev;      // 0.004 cycles
    uint8_t do_stdev;      // 0.002 * 2^n Hz
    uint8_t trk_stat;      // UBLOX_TRK_*
    uint8_t system;        // GNSS_SYSTEM_*; 0xFF unknown
    uint8_t prn;           // satellite number in its system (SBAS 20..58, QZSS 1..10)
    int8_t glonass_channel; // freq_id - 7 for GLONASS, 0 otherwise
    const gnss_signal_t *signal; // null when the signal has no table entry
} ublox_rawx_meas_t;

// 0; -1 unless the frame is a RAWX frame whose length holds its measurements.
int ublox_parser_rawx(const uint8_t *frame, uint32_t length, ublox_rawx_t *out);
// 0 a measurement (its signal may be null), -1 index out of range.
int ublox_rawx_get_meas(const ublox_rawx_t *rawx, int index, ublox_rawx_meas_t *out);

// ---- RXM-RAW (LEA-4T/5T/6T) -----------------------------------------------------------------

typedef struct ublox_raw_t {
    int32_t itow;          // ms of GPS week
    int16_t week;
    uint8_t num_sv;
    const uint8_t *meas;
} ublox_raw_t;

typedef struct ublox_raw_meas_t {
    double phase;          // cycles
    double pseudorange;    // m
    float doppler;         // Hz
    uint8_t sv;            // GPS 1..32, SBAS 120..
    int8_t mes_qi;         // >= 4 code and Doppler good, >= 5 phase too, < 6 lock may have been lost
    int8_t cno;            // dB-Hz
    uint8_t lli;           // RINEX loss of lock indicator
    uint8_t system;        // GNSS_SYSTEM_GPS or GNSS_SYSTEM_SBAS; 0xFF unknown
    uint8_t prn;
    const gnss_signal_t *signal; // L1 C/A of its system, null for an unknown satellite
} ublox_raw_meas_t;

int ublox_parser_raw(const uint8_t *frame, uint32_t length, ublox_raw_t *out);
int ublox_raw_get_meas(const ublox_raw_t *raw, int index, ublox_raw_meas_t *out);

// ---- navigation words (RXM-SFRBX, RXM-SFRB) --------------------------------------------------

// The assemblers of every satellite of every system whose navigation
// message the layer decodes: a record the caller keeps for a whole
// conversion (about 40 KiB).
typedef struct ublox_nav_state_t {
    navbits_gps_t gps[32];
    navbits_gps_t qzss[10];
    navbits_galileo_t galileo[36];
    navbits_bds_t bds[63];
    navbits_glonass_t glonass[32];
} ublox_nav_state_t;

void ublox_nav_state_init(ublox_nav_state_t *state);

// Kinds of record a navigation frame completed.
enum {
    UBLOX_NAV_NONE = 0,
    UBLOX_NAV_GPS = 1,
    UBLOX_NAV_QZSS = 2,
    UBLOX_NAV_GALILEO = 3,
    UBLOX_NAV_BDS = 4,
    UBLOX_NAV_GLONASS = 5,
};

typedef struct ublox_nav_record_t {
    gps_nav_t gps;         // UBLOX_NAV_GPS and UBLOX_NAV_QZSS
    galileo_inav_t galileo;
    bd2_nav_t bds;
    glonass_nav_t glonass;
} ublox_nav_record_t;

// Adds the navigation words of an SFRBX or SFRB frame to the satellite's
// assembler, after the checks the message keeps (GPS/QZSS parity, Galileo
// CRC, BDS BCH, GLONASS Hamming code; SFRB words come without parity).
// Returns the UBLOX_NAV_* kind of the record completed into `out`,
// UBLOX_NAV_NONE while collecting (and for messages not decoded: CNAV,
// F/NAV, B-CNAV, SBAS, almanac pages), -1 for a frame that is no such
// message or fails its checks.
int ublox_nav_input(ublox_nav_state_t *state, const uint8_t *frame, uint32_t length, ublox_nav_record_t *out);

// ---- NAV-TIMEGPS --------------------------------------------------------------------------

// Validity bits of NAV-TIMEGPS.
#define UBLOX_TIMEGPS_TOW_VALID 0x01
#define UBLOX_TIMEGPS_WEEK_VALID 0x02

typedef struct ublox_nav_timegps_t {
    uint32_t itow;         // ms of GPS week of the navigation epoch
    int16_t week;          // full GPS week
    int8_t leap_s;         // GPS - UTC, s
    uint8_t valid;         // UBLOX_TIMEGPS_*; bit 2: leap_s valid
} ublox_nav_timegps_t;

// 0; -1 unless the frame is a NAV-TIMEGPS frame of 16 bytes of payload.
int ublox_parser_nav_timegps(const uint8_t *frame, uint32_t length, ublox_nav_timegps_t *out);

// ---- MON-VER ------------------------------------------------------------------------------

typedef struct ublox_mon_ver_t {
    char sw_version[31];   // e.g. "EXT CORE 1.00 (8d3640)"
    char hw_version[11];
    char firmware[31];     // value of the "FWVER=" extension, else the software version
    char model[31];        // value of the "MOD=" extension, "" when absent
} ublox_mon_ver_t;

// 0; -1 unless the frame is a MON-VER frame of 40 + 30 n bytes of payload.
int ublox_parser_mon_ver(const uint8_t *frame, uint32_t length, ublox_mon_ver_t *out);

#endif
