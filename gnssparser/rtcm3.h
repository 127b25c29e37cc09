// RTCM 3 message decoders: MSM observations (types 1 to 7), the reference
// station position, broadcast ephemerides and the descriptor and text
// messages. Each takes one whole frame as the framer delivers it (preamble,
// length, body, CRC), never reads outside it, clears its output first and
// keeps no state. Bit positions count from the first bit of the body.
#ifndef GNSSPARSER_RTCM3_H
#define GNSSPARSER_RTCM3_H

#include <stdint.h>

#include "gnss_signal.h"
#include "navigation.h"

// ---- bit readers (no bounds of their own: callers check the frame length) -----
// Unsigned value of `bits` bits (1..64) from bit `pos`, most significant first;
// 0 for a count outside 1..64.
uint64_t rtcm3_get_uint(const uint8_t *data, uint32_t pos, uint32_t bits);
// The same bits as a two's complement number of that width.
int64_t rtcm3_get_int(const uint8_t *data, uint32_t pos, uint32_t bits);
// The bits with the first one read in the least significant position.
uint64_t rtcm3_get_uint_inv(const uint8_t *data, uint32_t pos, uint32_t bits);

// Message number of a whole frame, or 0 when byte 0 is not 0xD3 or the body
// length field disagrees with length - 6.
uint16_t rtcm3_get_message_number(const uint8_t *frame, uint32_t length);
// Non-zero for 1071 to 1128.
int rtcm3_is_msm(uint32_t message);
// Short name of a message, "UNKNOW" when not listed.
const char *rtcm3_id_to_str(uint32_t message);

// ---- MSM --------------------------------------------------------------------------
#define RTCM3_MSM_MAX_CELLS 64

typedef struct rtcm3_msm_header_t {
    uint16_t message;
    uint16_t station;
    uint32_t epoch;            // epoch field as sent (30 bits)
    uint8_t multiple;          // 0 on the last MSM message of an epoch
    uint8_t iods;
    uint8_t reserved;
    uint8_t clock_steering;
    uint8_t external_clock;
    uint8_t smoothing;
    uint8_t smoothing_interval;
    uint64_t satellite_mask;   // bit k: satellite k + 1
    uint32_t satellite_amount;
    uint32_t signal_mask;      // bit k: signal id k + 1
    uint32_t signal_amount;
    uint64_t cell_mask;        // bit k: the k + 1-th cell bit
    uint32_t cell_amount;
    uint32_t cell_used;
    const uint8_t *frame;      // not copied: must outlive rtcm3_parser_msm
    uint32_t frame_length;
    int32_t tow;               // ms of GPS week (GLONASS: of UTC week)
    uint8_t msm_type;          // 1..7
    int8_t satellite_bits;
    int8_t signal_bits;
    const gnss_system_t *system;
} rtcm3_msm_header_t;

typedef struct rtcm3_msm_cell_t {
    double pseudorange;        // light travel time, s; 0 when invalid
    double phase;              // light travel time, s; 0 when invalid
    double phase_rate;         // m/s; 0 when absent
    uint8_t pseudorange_valid;
    uint8_t phase_valid;
    uint8_t phase_rate_valid;
    uint16_t lock;             // 4-bit or 10-bit lock time indicator as sent
    uint8_t half_cycle;
    float cnr;                 // dB-Hz; MSM6 and MSM7 to 1/16 dB-Hz
    uint8_t cnr_valid;
    int8_t frequency_channel;  // GLONASS types 5, 7: extended info - 7 (99 for 14, 15); else 0
    uint8_t extended_info;     // types 5, 7
    uint8_t extended_info_valid;
    uint8_t satellite;         // 1..64; SBAS: PRN - 100 (20..83)
    uint8_t signal_index;      // signal id - 1
    const gnss_signal_t *signal; // null when the id has no table entry
} rtcm3_msm_cell_t;

// 0, or -1 frame too short, -2 MSM type 0, 8 or 9, -3 system not decoded,
// -4 more than 64 cells, -5 frame too short for its masks and data.
int rtcm3_parser_msm_header(const uint8_t *frame, uint32_t length, rtcm3_msm_header_t *header);
// What rtcm3_parser_msm_header returns, with the header's `tow` in `tow` (0
// on failure), without decoding the rest of the header.
int rtcm3_msm_tow(const uint8_t *frame, uint32_t length, int32_t *tow);
// Fills up to `capacity` cells from a header that rtcm3_parser_msm_header
// accepted; returns the number written (0 for a header that does not fit
// its frame).
int rtcm3_parser_msm(const rtcm3_msm_header_t *header, rtcm3_msm_cell_t *cells, uint32_t capacity);

// ---- legacy observations: 1001 to 1004 (GPS), 1009 to 1012 (GLONASS) ----------------
// One message holds up to 31 satellites (5-bit count).
#define RTCM3_LEGACY_MAX_SATELLITES 31

typedef struct rtcm3_legacy_header_t {
    uint16_t message;
    uint16_t station;
    uint32_t epoch;            // GPS: ms of week; GLONASS: ms of the GLONASS day (Moscow time)
    uint8_t synchronous;       // 1: more observation messages of this epoch follow
    uint8_t satellite_amount;
    uint8_t smoothing;
    uint8_t smoothing_interval;
    uint8_t glonass;           // 1009 to 1012
    uint8_t l2;                // L2 fields present (1003, 1004, 1011, 1012)
    uint8_t extended;          // ambiguity and CNR present (1002, 1004, 1010, 1012)
    const uint8_t *frame;      // not copied: must outlive rtcm3_parser_legacy
    uint32_t frame_length;
} rtcm3_legacy_header_t;

typedef struct rtcm3_legacy_signal_t {
    double pseudorange;        // m; without the whole light-milliseconds unless full_range
    double phase_range;        // m, on the same footing as the pseudorange
    float cnr;                 // dB-Hz
    uint8_t code;              // code indicator as sent
    uint8_t lock;              // lock time indicator as sent (7 bits)
    uint8_t pseudorange_valid;
    uint8_t phase_valid;
    uint8_t cnr_valid;         // CNR sent and not 0 ("not computed")
    const gnss_signal_t *signal; // null: no signal of that code, or not sent
} rtcm3_legacy_signal_t;

typedef struct rtcm3_legacy_obs_t {
    uint8_t satellite;         // satellite id as sent
    uint8_t prn;               // number within the signal's system (GPS PRN, GLONASS slot, SBAS PRN - 100)
    int8_t frequency_channel;  // GLONASS: -7..13 from the message; else 0
    uint8_t full_range;        // the pseudorange includes its whole light-milliseconds (1002, 1004, 1010, 1012)
    rtcm3_legacy_signal_t l1;
    rtcm3_legacy_signal_t l2;  // signal null in the L1-only messages
} rtcm3_legacy_obs_t;

// Non-zero for 1001 to 1004 and 1009 to 1012.
int rtcm3_is_legacy_observation(uint32_t message);
// 0, or -1 frame too short for the header, -2 not a legacy observation
// message, -5 frame too short for the satellites it announces.
int rtcm3_parser_legacy_header(const uint8_t *frame, uint32_t length, rtcm3_legacy_header_t *header);
// Fills up to `capacity` records from a header that
// rtcm3_parser_legacy_header accepted; returns the number written.
int rtcm3_parser_legacy(const rtcm3_legacy_header_t *header, rtcm3_legacy_obs_t *obs, uint32_t capacity);
// Lock time in seconds for a legacy lock time indicator (0 to 127): the
// smallest lock time that the indicator stands for.
uint32_t rtcm3_legacy_lock_seconds(uint8_t indicator);

// ---- reference station ---------------------------------------------------------------
typedef struct rtcm3_station_t {
    uint16_t station;
    uint8_t itrf_year;
    uint8_t gps;
    uint8_t glonass;
    uint8_t galileo;
    uint8_t reference_station;
    uint8_t oscillator;
    uint8_t quarter_cycle;
    double x;                  // m, ECEF
    double y;
    double z;
    float height;              // m; 1006 only
} rtcm3_station_t;

// 0, or -1 unless the frame is 25 (1005) / 27 (1006) bytes of that message.
int rtcm3_parser_1005(const uint8_t *frame, uint32_t length, rtcm3_station_t *station);
int rtcm3_parser_1006(const uint8_t *frame, uint32_t length, rtcm3_station_t *station);

// ---- ephemerides: 0, or -1 unless the frame has the message's exact length -------------
int rtcm3_parser_1019(const uint8_t *frame, uint32_t length, gps_nav_t *nav);
// A GLONASS ephemeris whose N4 or NT is out of range (as when the additional
// data are not sent) still decodes (0) with tk_time = tb_time = 0;
// glonass_nav_date_known() tells the case, and glonass_nav_update_utc_near()
// dates it from a known time.
int rtcm3_parser_1020(const uint8_t *frame, uint32_t length, glonass_nav_t *nav);
int rtcm3_parser_1042(const uint8_t *frame, uint32_t length, bd2_nav_t *nav);
int rtcm3_parser_1044(const uint8_t *frame, uint32_t length, gps_nav_t *nav);
int rtcm3_parser_1045(const uint8_t *frame, uint32_t length, galileo_fnav_t *nav);
int rtcm3_parser_1046(const uint8_t *frame, uint32_t length, galileo_inav_t *nav);
// The week and toc (s) of a 1019, 1042, 1044, 1045 or 1046 ephemeris exactly
// as its decoder above gives them in `week` and `toc`, without decoding the
// orbit: 0, or -1 where that decoder returns -1 (and for other messages).
int rtcm3_ephemeris_week_toc(const uint8_t *frame, uint32_t length, int *week, uint32_t *toc);

// ---- messages used only by text dumps ----------------------------------------------------
typedef struct rtcm3_meteo_t {
    uint16_t value[3];
} rtcm3_meteo_t;

typedef struct rtcm3_text_t {
    uint16_t station;
    uint16_t mjd;              // modified Julian day
    uint32_t seconds;          // seconds of the day, UTC
    int64_t time;              // ms since 1970-01-01 UTC
    uint8_t characters;        // characters as sent
    uint8_t length;            // UTF-8 code units
    char text[256];            // 0-terminated
} rtcm3_text_t;

typedef struct rtcm3_descriptor_t {
    uint16_t station;
    uint8_t setup_id;
    char antenna[32];          // each 0-terminated
    char antenna_serial[32];
    char receiver[32];
    char firmware[32];
    char receiver_serial[32];
} rtcm3_descriptor_t;

// 0, or -1 unless the frame is 14 bytes of message 36.
int rtcm3_parser_36(const uint8_t *frame, uint32_t length, rtcm3_meteo_t *meteo);
// 0, -1 for a frame that does not hold its text, -2 for text that is not UTF-8.
int rtcm3_parser_1029(const uint8_t *frame, uint32_t length, rtcm3_text_t *text);
// 0, or -1 when a length byte is 32 or more or a string runs past the frame.
int rtcm3_parser_1033(const uint8_t *frame, uint32_t length, rtcm3_descriptor_t *descriptor);

#endif
