// Hemisphere binary ("$BIN") message decoders.
//
// Every decoder takes one whole frame as the framer delivers it: "$BIN", the
// message id (u16), the data length (u16), the data from frame offset 8, a
// 16-bit checksum and CR LF. Multi-byte fields are little-endian. Each
// decoder checks the frame length against the fixed size of its message, so
// nothing outside [frame, frame + length) is ever read.
#ifndef GNSSPARSER_HEMISPHERE_H
#define GNSSPARSER_HEMISPHERE_H

#include <stdint.h>

#include "gnss_signal.h"
#include "navigation.h"

// Whole frame sizes of the messages decoded here.
#define HEMISPHERE_BIN16_LENGTH 324
#define HEMISPHERE_BIN95_LENGTH 140
#define HEMISPHERE_BIN65_LENGTH 80
#define HEMISPHERE_BIN45_LENGTH 140
#define HEMISPHERE_BIN35_LENGTH 140
#define HEMISPHERE_BIN94_LENGTH 108

// Channels carried by one observation message.
#define HEMISPHERE_BIN16_CHANNELS 16

// ---- message 16: observations ----------------------------------------------------

// One observation message, one page of an epoch.
typedef struct hemisphere_bin16_obs_t {
    uint16_t week;          // GPS week
    uint32_t ms;            // GPS time of week, ms (rounded)
    uint8_t page;           // index of this page within the epoch, from 0
    uint8_t pages;          // number of pages of the epoch
    uint64_t mask;          // as received
    const uint8_t *blocks;  // channel blocks at frame offset 32; the frame must outlive the record
    int32_t amount;         // channels per message (16)
} hemisphere_bin16_obs_t;

// One observation of one channel.
typedef struct hemisphere_bin16_obs_obs_t {
    uint8_t prn;            // SBAS less 100, QZSS/IRNSS above 192 less 192
    int8_t glofreq;         // GLONASS frequency channel from the channel table, 99 unknown
    uint8_t channel_bits;   // as received
    uint8_t system;         // 0 GPS/SBAS, 1 GLONASS, 2 Galileo, 3 BDS, 4 QZSS, 5 IRNSS
    uint8_t signal_index;
    uint8_t signal_bits;    // as received
    uint8_t track_bits;     // as received
    uint8_t status_bits;    // as received
    uint8_t phase_valid;    // cleared when the carrier frequency is unknown
    float snr;              // dB-Hz, 0 when not measured
    float lock;             // carrier lock time, s (25.6 = at least that)
    float doppler;          // Hz
    double pseudorange;     // m
    double adr;             // accumulated Doppler range, cycles: the negative of the carrier phase
    const gnss_signal_t *signal; // null when the receiver's signal has no table entry
} hemisphere_bin16_obs_obs_t;

// 0; -1 unless the frame is 324 bytes (or its time of week is not a number
// that fits the millisecond count).
int hemisphere_parser_bin16_obs(const uint8_t *frame, uint32_t length, hemisphere_bin16_obs_t *obs);
// 0 an observation (its signal may be null), 1 an empty channel, -1 index
// out of range. `channels` gives the GLONASS carrier frequencies; null means
// every slot is unknown.
int hemisphere_bin16_obs_get_obs(const hemisphere_bin16_obs_t *obs, int index,
                                 hemisphere_bin16_obs_obs_t *out, const glonass_channel_t *channels);

// ---- message 95: GPS ephemeris ------------------------------------------------------

typedef struct hemisphere_bin95_gpsnav_t {
    uint16_t week;          // the message's own week field
    gps_nav_t nav;
} hemisphere_bin95_gpsnav_t;

// 0; -1 unless the frame is 140 bytes.
int hemisphere_parser_bin95_gpsnav(const uint8_t *frame, uint32_t length, hemisphere_bin95_gpsnav_t *out);

// ---- message 65: GLONASS ephemeris --------------------------------------------------

typedef struct hemisphere_bin65_glonav_t {
    uint16_t word;          // the 16-bit word at frame offset 10, as received
    uint32_t time;          // the message's time word (frame offset 12)
    glonass_nav_t nav;      // dated from N4 and NT when they name a day (see glonass_nav_date_known)
} hemisphere_bin65_glonav_t;

// 0; -1 unless the frame is 80 bytes, or when its channel byte names no
// frequency channel (-7..+13); -2 when the slot of string 4 differs from the
// message's slot byte, or the tk of string 1 (s of the day) from its time word.
int hemisphere_parser_bin65_glonav(const uint8_t *frame, uint32_t length, hemisphere_bin65_glonav_t *out);

// ---- message 45: Galileo ephemeris --------------------------------------------------

typedef struct hemisphere_bin45_galnav_t {
    uint8_t fnav_present;
    uint8_t inav_present;
    uint16_t prn;
    uint32_t time;          // the message's time word (frame offset 12)
    uint32_t toe;           // toe in s of the last record converted
    galileo_fnav_t fnav;
    galileo_inav_t inav;
} hemisphere_bin45_galnav_t;

// 0; -1 unless the frame is 140 bytes.
int hemisphere_parser_bin45_galnav(const uint8_t *frame, uint32_t length, hemisphere_bin45_galnav_t *out);

// ---- message 35: BDS ephemeris ------------------------------------------------------

typedef struct hemisphere_bin35_bd2nav_t {
    uint16_t word;          // frame offset 10, as received
    uint32_t time;          // frame offset 12, as received
    uint8_t data120[8];     // frame offsets 120..127, unchanged
    uint8_t data128[8];     // frame offsets 128..135, unchanged
    bd2_nav_t nav;
} hemisphere_bin35_bd2nav_t;

// 0; -1 unless the frame is 140 bytes.
int hemisphere_parser_bin35_bd2nav(const uint8_t *frame, uint32_t length, hemisphere_bin35_bd2nav_t *out);

// ---- message 94: ionosphere and UTC -------------------------------------------------

// The whole frame; every field stands at its frame offset (the record is
// padded beyond the 108 frame bytes to its alignment; the padding stays 0).
typedef struct hemisphere_bin94_inoutc_t {
    uint8_t header[8];      // "$BIN", id, data length
    double alpha[4];        // offset 8
    double beta[4];         // offset 40
    double a0;              // offset 72
    double a1;              // offset 80
    uint32_t tot;           // offset 88, s of week
    uint16_t wnt;           // offset 92
    uint16_t wnlsf;         // offset 94
    uint16_t dn;            // offset 96
    int16_t dtls;           // offset 98, current leap seconds
    int16_t dtlsf;          // offset 100, future leap seconds
    uint16_t spare;         // offset 102
    uint16_t checksum;      // offset 104
    uint8_t crlf[2];        // offset 106
} hemisphere_bin94_inoutc_t;

// 0; -1 unless the frame is 108 bytes.
int hemisphere_parser_bin94_inoutc(const uint8_t *frame, uint32_t length, hemisphere_bin94_inoutc_t *out);

// ---- helpers ------------------------------------------------------------------------

// SNR count of the other messages to dB-Hz: 10 log10(n * 819.2), 0 for n < 1.
float hemisphere_int_to_snr(int32_t n);
// Short name of a message id ("OBS", "GPSNAV", ...); "" for an unknown id.
const char *hemisphere_id_to_str(uint32_t id);

#endif
