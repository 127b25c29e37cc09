// Broadcast navigation records shared by every ephemeris decoder, the raw
// records of unscaled broadcast integers with their conversions, and the
// GLONASS slot-to-frequency-channel table.
//
// Units of the common records: seconds, metres, radians (semicircles are
// converted with pi = 3.1415926535898), GLONASS orbits in kilometres.
// Transmission time -1 means unknown.
#ifndef GNSSPARSER_NAVIGATION_H
#define GNSSPARSER_NAVIGATION_H

#include <stdint.h>

#include "gnss_signal.h"

#define NAV_PI 3.1415926535898

// Frequency channel number meaning "not known".
#define GLONASS_CHANNEL_UNKNOWN 99

// ---- common records -----------------------------------------------------------

// GPS and QZSS.
typedef struct gps_nav_t {
    int32_t tow;          // transmission time, s of week; -1 unknown
    uint16_t week;        // raw week, + 2048 when the raw week is below 2048
    uint8_t prn;
    uint8_t ura;          // SV accuracy index 0..15
    uint8_t health;       // 6 bits
    uint8_t fit;
    uint8_t code_l2;
    uint8_t l2p_flag;
    uint8_t aodo;         // 5 bits
    uint16_t iodc;
    uint8_t iode;         // subframe 2
    uint8_t iode3;        // subframe 3
    double tgd;
    uint32_t toc;
    double af0;
    double af1;
    double af2;
    uint32_t toe;
    double sqrt_a;
    double e;
    double omega;
    double delta_n;
    double m0;
    double omega0;
    double omega_dot;
    double i0;
    double idot;
    double cuc;
    double cus;
    double crc;
    double crs;
    double cic;
    double cis;
    // 1 when `week` is the week of toe and toc (as logs in engineering units
    // give it), 0 when it is the week of transmission (as the satellites
    // broadcast it), in which toc and toe may already lie in the next week.
    uint8_t week_of_toe;
} gps_nav_t;

// BDS (D1/D2).
typedef struct bd2_nav_t {
    int32_t tow;          // s of BDS week; -1 unknown
    uint16_t week;        // BDS week as broadcast (13 bits)
    uint8_t prn;
    uint8_t aodc;
    uint8_t aode;
    uint8_t health;
    uint8_t ura;
    double tgd1;
    double tgd2;
    double alpha[4];
    double beta[4];
    uint32_t toc;
    double a0;
    double a1;
    double a2;
    uint32_t toe;
    double sqrt_a;
    double e;
    double omega;
    double delta_n;
    double m0;
    double omega0;
    double omega_dot;
    double i0;
    double idot;
    double cuc;
    double cus;
    double crc;
    double crs;
    double cic;
    double cis;
    // 1 when `week` is the week of toe and toc (as logs in engineering units
    // give it), 0 when it is the week of transmission (as the satellites
    // broadcast it), in which toc and toe may already lie in the next week.
    uint8_t week_of_toe;
} bd2_nav_t;

// Galileo F/NAV.
typedef struct galileo_fnav_t {
    int32_t tow;          // s of week; -1 unknown
    uint16_t week;        // Galileo week as broadcast (12 bits)
    uint16_t iodnav;      // 10 bits
    uint8_t prn;
    uint8_t sisa;
    uint8_t e5a_dvs;
    uint8_t e5a_hs;
    double bgd_e5a;
    uint32_t toc;
    double af0;
    double af1;
    double af2;
    uint32_t toe;
    double sqrt_a;
    double e;
    double omega;
    double delta_n;
    double m0;
    double omega0;
    double omega_dot;
    double i0;
    double idot;
    double cuc;
    double cus;
    double crc;
    double crs;
    double cic;
    double cis;
    // 1 when `week` is the week of toe and toc (as logs in engineering units
    // give it), 0 when it is the week of transmission (as the satellites
    // broadcast it), in which toc and toe may already lie in the next week.
    uint8_t week_of_toe;
} galileo_fnav_t;

// Galileo I/NAV.
typedef struct galileo_inav_t {
    uint8_t prn;
    uint8_t source;       // copied from the raw record; 0 from RTCM 3
    uint16_t week;        // as broadcast
    int32_t tow;          // -1 unknown
    uint16_t iodnav;
    uint8_t sisa;
    uint8_t e5b_dvs;
    uint8_t e1b_dvs;
    uint8_t e5b_hs;
    uint8_t e1b_hs;
    double bgd_e5a;
    double bgd_e5b;
    uint32_t toc;
    double af0;
    double af1;
    double af2;
    uint32_t toe;
    double sqrt_a;
    double e;
    double omega;
    double delta_n;
    double m0;
    double omega0;
    double omega_dot;
    double i0;
    double idot;
    double cuc;
    double cus;
    double crc;
    double crs;
    double cic;
    double cis;
    // 1 when `week` is the week of toe and toc (as logs in engineering units
    // give it), 0 when it is the week of transmission (as the satellites
    // broadcast it), in which toc and toe may already lie in the next week.
    uint8_t week_of_toe;
} galileo_inav_t;

// GLONASS.
typedef struct glonass_nav_t {
    int64_t tk_time;      // frame start, ms since 1970-01-01 UTC; 0 when the date is unknown
    int64_t tb_time;      // reference time, ms since 1970-01-01 UTC; 0 when the date is unknown
    double x;             // km
    double y;
    double z;
    double vx;            // km/s
    double vy;
    double vz;
    double ax;            // km/s^2
    double ay;
    double az;
    double gamma;
    double tau;           // s
    double delta_tau;     // s
    double tau_c;         // s
    double tau_gps;       // s
    uint32_t tk;          // s of the Moscow day
    uint32_t tb;          // s of the Moscow day
    uint16_t nt;          // day in the four-year interval, 1..1461
    uint16_t na;
    uint8_t m;
    uint8_t bn;           // 3 bits
    uint8_t p;
    uint8_t ft;
    uint8_t slot;         // 1..24
    uint8_t en;
    uint8_t p1;
    uint8_t p2;
    uint8_t p3;
    uint8_t p4;
    uint8_t ln3;
    uint8_t four_year;    // N4, 1..31
    uint8_t ln5;
    int8_t frequency_channel; // -7..+6
} glonass_nav_t;

// ---- raw records: the broadcast integers, unscaled --------------------------------

typedef struct gps_nav_raw_t {
    uint16_t week;        // 10 bits (or a full week)
    uint8_t ura;          // 4
    uint8_t health;       // 6
    uint8_t fit;          // 1
    uint8_t code_l2;      // 2
    uint8_t l2p_flag;     // 1
    uint8_t aodo;         // 5
    uint16_t iodc;        // 10
    uint8_t iode;         // 8, subframe 2
    uint8_t iode3;        // 8, subframe 3
    int8_t tgd;           // 8 signed
    uint16_t toc;         // 16
    int32_t af0;          // 22 signed
    int16_t af1;          // 16 signed
    int8_t af2;           // 8 signed
    uint16_t toe;         // 16
    uint32_t sqrt_a;      // 32
    uint32_t e;           // 32
    int32_t omega;        // 32 signed
    int16_t delta_n;      // 16 signed
    int32_t m0;           // 32 signed
    int32_t omega0;       // 32 signed
    int32_t omega_dot;    // 24 signed
    int32_t i0;           // 32 signed
    int16_t idot;         // 14 signed
    int16_t cuc;          // 16 signed
    int16_t cus;
    int16_t crc;
    int16_t crs;
    int16_t cic;
    int16_t cis;
} gps_nav_raw_t;

typedef struct bd2_nav_raw_t {
    int32_t tow;          // transmission time, s of week; -1 unknown
    uint16_t week;        // 13
    uint8_t prn;
    uint8_t aodc;         // 5
    uint8_t aode;         // 5
    uint8_t health;       // 1
    uint8_t ura;          // 4
    int16_t tgd1;         // 10 signed, 0.1 ns
    int16_t tgd2;         // 10 signed, 0.1 ns
    int8_t alpha[4];      // 8 signed each
    int8_t beta[4];       // 8 signed each
    uint32_t toc;         // 17
    int32_t a0;           // 24 signed
    int32_t a1;           // 22 signed
    int16_t a2;           // 11 signed
    uint32_t toe;         // 17
    uint32_t sqrt_a;      // 32
    uint32_t e;           // 32
    int32_t omega;        // 32 signed
    int16_t delta_n;      // 16 signed
    int32_t m0;           // 32 signed
    int32_t omega0;       // 32 signed
    int32_t omega_dot;    // 24 signed
    int32_t i0;           // 32 signed
    int16_t idot;         // 14 signed
    int32_t cuc;          // 18 signed
    int32_t cus;
    int32_t crc;
    int32_t crs;
    int32_t cic;
    int32_t cis;
} bd2_nav_raw_t;

typedef struct galileo_fnav_raw_t {
    int32_t tow;          // transmission time, s of week; -1 unknown
    uint8_t prn;
    uint16_t week;        // 12
    uint16_t iodnav;      // 10
    uint8_t sisa;         // 8
    uint8_t e5a_dvs;      // 1
    uint8_t e5a_hs;       // 2
    int16_t bgd_e5a;      // 10 signed
    uint16_t toc;         // 14
    int32_t af0;          // 31 signed
    int32_t af1;          // 21 signed
    int8_t af2;           // 6 signed
    uint16_t toe;         // 14
    uint32_t sqrt_a;
    uint32_t e;
    int32_t omega;
    int16_t delta_n;
    int32_t m0;
    int32_t omega0;
    int32_t omega_dot;    // 24 signed
    int32_t i0;
    int16_t idot;         // 14 signed
    int16_t cuc;
    int16_t cus;
    int16_t crc;
    int16_t crs;
    int16_t cic;
    int16_t cis;
} galileo_fnav_raw_t;

typedef struct galileo_inav_raw_t {
    int32_t tow;          // transmission time, s of week; -1 unknown
    uint8_t prn;
    uint8_t source;
    uint16_t week;        // 12
    uint16_t iodnav;      // 10
    uint8_t sisa;
    uint8_t e5b_dvs;      // 1
    uint8_t e1b_dvs;      // 1
    uint8_t e5b_hs;       // 2
    uint8_t e1b_hs;       // 2
    int16_t bgd_e5a;      // 10 signed
    int16_t bgd_e5b;      // 10 signed
    uint16_t toc;         // 14
    int32_t af0;          // 31 signed
    int32_t af1;          // 21 signed
    int8_t af2;           // 6 signed
    uint16_t toe;         // 14
    uint32_t sqrt_a;
    uint32_t e;
    int32_t omega;
    int16_t delta_n;
    int32_t m0;
    int32_t omega0;
    int32_t omega_dot;
    int32_t i0;
    int16_t idot;
    int16_t cuc;
    int16_t cus;
    int16_t crc;
    int16_t crs;
    int16_t cic;
    int16_t cis;
} galileo_inav_raw_t;

// GLONASS: the fields marked "sign and magnitude" hold the bits as sent until
// glonass_nav_update_int turns them into two's complement.
typedef struct glonass_nav_raw_t {
    int32_t x;            // 27, sign and magnitude
    int32_t y;
    int32_t z;
    int32_t vx;           // 24, sign and magnitude
    int32_t vy;
    int32_t vz;
    int32_t ax;           // 5, sign and magnitude
    int32_t ay;
    int32_t az;
    int32_t gamma;        // 11, sign and magnitude
    int32_t tau;          // 22, sign and magnitude
    int32_t delta_tau;    // 5, sign and magnitude
    int32_t tau_c;        // 32, sign and magnitude (the bit pattern as sent)
    int32_t tau_gps;      // 22, sign and magnitude
    uint16_t tk;          // 12: hours (5), minutes (6), 30 s (1)
    uint8_t tb;           // 7, units of 15 minutes
    uint16_t nt;          // 11
    uint16_t na;          // 11
    uint8_t m;            // 2
    uint8_t bn;           // 3
    uint8_t p;            // 2
    uint8_t ft;           // 4
    uint8_t slot;         // 5
    uint8_t en;           // 5
    uint8_t p1;           // 2
    uint8_t p2;           // 1
    uint8_t p3;           // 1
    uint8_t p4;           // 1
    uint8_t ln3;          // 1
    uint8_t four_year;    // 5
    uint8_t ln5;          // 1
    int8_t frequency_channel; // channel number -7..+6 (callers may also set it after conversion)
} glonass_nav_raw_t;

// ---- conversions ------------------------------------------------------------------
// Each clears its output first. gps/qzss leave tow = -1 and prn = 0 for the
// caller to set.
void gps_nav_from_raw(gps_nav_t *nav, const gps_nav_raw_t *raw);
void qzss_nav_from_raw(gps_nav_t *nav, const gps_nav_raw_t *raw);
// Copies the raw transmission time and satellite number.
void bd2_nav_from_raw(bd2_nav_t *nav, const bd2_nav_raw_t *raw);
void galileo_fnav_from_raw(galileo_fnav_t *nav, const galileo_fnav_raw_t *raw);
void galileo_inav_from_raw(galileo_inav_t *nav, const galileo_inav_raw_t *raw);

// Sign and magnitude to two's complement, in place: x, y, z, vx, vy, vz, ax,
// ay, az, gamma, tau, delta_tau, and also tau_c and tau_gps (sent the same way).
void glonass_nav_update_int(glonass_nav_raw_t *raw);
// Scales the raw record, then dates it with glonass_nav_update_utc; returns
// what that returns.
int glonass_nav_from_raw(glonass_nav_t *nav, const glonass_nav_raw_t *raw);

// Whether four_year (1..31) and nt (1..1461) name a day. A record whose
// day is unknown (an ephemeris sent without its additional data has both 0)
// must be dated from other knowledge of the time: see glonass_nav_update_utc_near.
#define GLONASS_NAV_DATE_UNKNOWN (-1)
int glonass_nav_date_known(const glonass_nav_t *nav);
// Computes tk_time and tb_time from four_year, nt, tk and tb. Returns 0, or
// GLONASS_NAV_DATE_UNKNOWN (tk_time = tb_time = 0) when four_year or nt is
// out of range.
int glonass_nav_update_utc(glonass_nav_t *nav);
// Dates the record from a known time instead of four_year and nt: the Moscow
// day that puts tb nearest `utc_ms` (ms since 1970, UTC; GPS time is close
// enough to pick the day), tk on the day that puts it nearest tb; four_year
// and nt are set to that day. Returns 0.
int glonass_nav_update_utc_near(glonass_nav_t *nav, int64_t utc_ms);

// ---- GLONASS slot to frequency channel ----------------------------------------------
typedef struct glonass_channel_t {
    int8_t channel[32];   // entry s - 1 for slot s; GLONASS_CHANNEL_UNKNOWN when unknown
} glonass_channel_t;

void glonass_channel_init(glonass_channel_t *table);
// Stores (overwrites) the channel of slot 1..32; other slots are ignored.
void glonass_channel_set(glonass_channel_t *table, int slot, int channel);
// Stores the channel only while the slot's entry is unknown and the channel
// is one of -7..+13; returns the entry now held (GLONASS_CHANNEL_UNKNOWN for
// a slot outside 1..32).
int glonass_channel_update(glonass_channel_t *table, int slot, int channel);
// As glonass_channel_update, from the extended satellite information of MSM5
// and MSM7 (0..13 is channel -7..+6; any other value teaches nothing).
int glonass_channel_update_extended(glonass_channel_t *table, int slot, int extended_info);
// The slot's entry, or GLONASS_CHANNEL_UNKNOWN for a slot outside 1..32.
int glonass_channel_get(const glonass_channel_t *table, int slot);
// Carrier frequency in Hz of a GLONASS FDMA signal (G1 or G2) for the slot;
// 0 when the channel is unknown, the slot outside 1..32, or the signal is
// not an FDMA one.
uint32_t glonass_channel_frequency(const glonass_channel_t *table, int slot, const gnss_signal_t *signal);

#endif
