// Septentrio SBF blocks: the measurement epoch (MeasEpoch), the decoded
// navigation blocks, the receiver set-up and the time blocks that tell the
// leap seconds. Frames come whole from the framer ("$@", CRC, ID, length);
// every block starts with the 14-byte header that ends in the receiver time
// of the block, TOW (ms) and WNc (full GPS week).
//
// Plain functions on caller-owned records; nothing allocates. Each parser
// clears its output first and returns 0, or a small negative code when the
// block is not the one asked for or is too short for its own fields.
#ifndef GNSSPARSER_SBF_H
#define GNSSPARSER_SBF_H

#include <stdint.h>

#include "gnss_signal.h"
#include "navbits.h"
#include "navigation.h"

#define SBF_ID_MEAS_EPOCH 4027
#define SBF_ID_GPS_NAV 5891
#define SBF_ID_GPS_UTC 5894
#define SBF_ID_GLO_NAV 4004
#define SBF_ID_GAL_NAV 4002
#define SBF_ID_BDS_NAV 4081
#define SBF_ID_QZS_NAV 4095
#define SBF_ID_RECEIVER_SETUP 5902
#define SBF_ID_RECEIVER_TIME 5914
#define SBF_ID_GPS_RAW_CA 4017
#define SBF_ID_GLO_RAW_CA 4026
#define SBF_ID_GAL_RAW_INAV 4023
#define SBF_ID_BDS_RAW 4047

// "Do not use" of the header time fields.
#define SBF_TOW_UNKNOWN 4294967295u
#define SBF_WNC_UNKNOWN 65535u

typedef struct sbf_header_t {
    uint16_t crc;
    uint16_t id;       // the whole field: number and revision
    uint16_t number;   // block number, id bits 0-12
    uint8_t revision;  // id bits 13-15
    uint16_t length;   // of the whole block, header included
    uint32_t tow;      // ms of week; SBF_TOW_UNKNOWN when the receiver has no time
    uint16_t wnc;      // full GPS week; SBF_WNC_UNKNOWN likewise
} sbf_header_t;

// Reads the header of a whole frame: -1 when shorter than the header or than
// its own length field, -2 without the sync bytes.
int sbf_parser_header(const uint8_t *frame, uint32_t length, sbf_header_t *out);

// The system (GNSS_SYSTEM_*) and RINEX satellite number of an SBF SVID:
// GPS 1-37, GLONASS 38-61 and 63-68 (slots 1-24 and 25-30; 62 is a GLONASS
// satellite whose slot is unknown), Galileo 71-106, SBAS 120-140 and 198-215
// (PRN 120-158, numbered less 100), BDS 141-180 and 223-245, QZSS 181-190,
// NavIC 191-197 and 216-222. Returns -1 for the SVIDs that name no satellite
// of a system converted here (L-band beams among them).
int sbf_svid_to_prn(int svid, int *system, int *prn);

// The signal of an SBF signal number (0-63) for a satellite of `system`
// (its SVID's system; the number alone tells it except for shared numbers),
// null when the number names no RINEX signal. `e6b` (MeasEpoch CommonFlags
// bit 6) says that the Galileo E6 measurements are from E6B, not E6C.
const gnss_signal_t *sbf_signal(int signal_number, int system, int e6b);

// ---- MeasEpoch (4027) ------------------------------------------------------
typedef struct sbf_meas_obs_t {
    const gnss_signal_t *signal; // null: not a signal converted here
    uint8_t system;              // GNSS_SYSTEM_*
    uint8_t prn;                 // RINEX satellite number
    uint8_t svid;
    uint8_t signal_number;       // 0-63
    uint8_t antenna;             // 0 main antenna, 1-2 auxiliary
    uint8_t type2;               // 1 for a Type2 sub-block
    int8_t glonass_channel;      // GLONASS: -7..+6 from the block; else GLONASS_CHANNEL_UNKNOWN
    double frequency;            // Hz of the carrier (GLONASS FDMA: of its channel); 0 unknown
    double pseudorange;          // m
    double phase;                // cycles, RINEX sign
    double doppler;              // Hz, positive for approaching satellites
    float cn0;                   // dB-Hz
    uint16_t lock_time;          // s; SBF_LOCK_TOP_* at the top of the field
    uint8_t pseudorange_valid;
    uint8_t phase_valid;
    uint8_t doppler_valid;
    uint8_t cn0_valid;
    uint8_t lock_valid;
    uint8_t half_cycle;          // 1: the carrier phase may be off by half a cycle
    uint8_t smoothed;            // 1: the pseudorange is carrier-smoothed
} sbf_meas_obs_t;

// Lock times stop at these values: "this long or longer".
#define SBF_LOCK_TOP_TYPE1 65534
#define SBF_LOCK_TOP_TYPE2 254

// The walk over the sub-blocks of one MeasEpoch.
typedef struct sbf_meas_epoch_t {
    sbf_header_t header;
    uint8_t n1;
    uint8_t sb1_length;
    uint8_t sb2_length;
    uint8_t common_flags;
    uint8_t cum_clk_jumps;
    const uint8_t *frame;
    uint32_t length;
    // cursor
    uint32_t offset;        // of the next sub-block
    uint32_t type1_left;    // Type1 sub-blocks still to read
    uint32_t type2_left;    // Type2 sub-blocks of the current Type1 still to read
    // what the Type2 sub-blocks build on: the current Type1's satellite,
    // pseudorange and Doppler
    uint8_t t1_svid;
    uint8_t t1_pseudorange_valid;
    uint8_t t1_doppler_valid;
    int8_t t1_glonass_channel;
    double t1_pseudorange;
    double t1_doppler;
    double t1_frequency;
} sbf_meas_epoch_t;

// Checks the block and its sub-block lengths and readies the walk: -1 not a
// MeasEpoch, -2 sub-block lengths too small for their fields.
int sbf_parser_meas_epoch(const uint8_t *frame, uint32_t length, sbf_meas_epoch_t *epoch);
// The next observation: 0 one decoded into *obs (its signal may still be
// null, or its antenna an auxiliary one), 1 no more, -1 the sub-blocks run
// past the block's end (what came before stands).
int sbf_meas_epoch_next(sbf_meas_epoch_t *epoch, sbf_meas_obs_t *obs);

// ---- decoded navigation blocks -------------------------------------------
// Weeks are resolved to full weeks with the block's WNc, and `week` is the
// week of toc (week_of_toe = 1); Galileo and BDS keep their own week counts.
// Transmission times are not in the blocks: tow = -1.
int sbf_parser_gps_nav(const uint8_t *frame, uint32_t length, gps_nav_t *nav); // GPSNav and QZSNav
int sbf_parser_gal_nav(const uint8_t *frame, uint32_t length, galileo_inav_t *inav, galileo_fnav_t *fnav,
                       int *is_fnav);
int sbf_parser_bds_nav(const uint8_t *frame, uint32_t length, bd2_nav_t *nav);
// GLONav: dated from its t_oe (GPS time); tk, which the block lacks, is the
// Moscow time of the block's own time stamp rounded down to 30 s.
int sbf_parser_glo_nav(const uint8_t *frame, uint32_t length, glonass_nav_t *nav);

// ---- raw navigation pages ---------------------------------------------------
// GPSRawCA (a GPS C/A subframe as sent, ten 30-bit words), GLORawCA (a
// GLONASS string), GALRawINAV (an I/NAV page: even and odd parts without
// their tails) and BDSRaw (a D1 or D2 subframe), collected per satellite
// with the shared navigation-message layer (navbits.h) until a whole
// ephemeris is held. Pages whose check failed in the receiver (CRCPassed 0)
// or in the layer are dropped.
typedef struct sbf_raw_nav_t {
    navbits_gps_t gps[37];
    navbits_glonass_t glonass[30];
    navbits_galileo_t galileo[36];
    navbits_bds_t bds[63];
} sbf_raw_nav_t;

// One completed record; `system` (GNSS_SYSTEM_*) tells which member holds it.
typedef struct sbf_raw_nav_record_t {
    int system;
    gps_nav_t gps;
    glonass_nav_t glonass;
    galileo_inav_t galileo;
    bd2_nav_t bds;
} sbf_raw_nav_record_t;

void sbf_raw_nav_init(sbf_raw_nav_t *state);
// Feeds one raw page block: 1 when it completed a record in *out, 0 when
// taken (or dropped), -1 when the frame is not such a block or too short.
int sbf_raw_nav_input(sbf_raw_nav_t *state, const uint8_t *frame, uint32_t length, sbf_raw_nav_record_t *out);

// ---- receiver set-up and time ----------------------------------------------
typedef struct sbf_receiver_setup_t {
    char marker_name[61];
    char marker_number[21];
    char observer[21];
    char agency[41];
    char rx_serial[21];
    char rx_name[21];
    char rx_version[21];
    char ant_serial[21];
    char ant_type[21];
    float delta_h;
    float delta_e;
    float delta_n;
    char marker_type[21];    // revision 1 on
    char gnss_fw_version[41]; // revision 2 on
    char product_name[41];   // revision 3 on
} sbf_receiver_setup_t;

int sbf_parser_receiver_setup(const uint8_t *frame, uint32_t length, sbf_receiver_setup_t *out);
// GPS - UTC in whole seconds from GPSUtc (5894) or ReceiverTime (5914):
// 0 with *leap set, -1 not such a block or the value is not known.
int sbf_parser_leap_seconds(const uint8_t *frame, uint32_t length, int *leap);

#endif
