// NovAtel OEM binary logs (long header, AA 44 12): the header, the three range
// logs, the ephemeris logs and the few others the RINEX writers use, decoded
// from one whole frame as the framer delivers it (CRC already checked).
//
// Every decoder takes the frame and the header that novatel_parser_header
// filled from that same frame; the header's lengths have then been checked
// against the frame length, and no decoder reads past header_length + length.
// Records are caller-owned and cleared first; 0 is success, negative values
// are errors.
#ifndef GNSSPARSER_NOVATEL_H
#define GNSSPARSER_NOVATEL_H

#include <stdint.h>

#include "gnss_signal.h"
#include "navigation.h"

#define NOVATEL_HEADER_LENGTH 28

typedef struct novatel_header_t {
    uint8_t header_length;    // frame byte 3; the body starts here
    uint16_t id;              // message id
    uint8_t type;             // message type
    uint8_t port;
    uint16_t length;          // body length
    uint16_t sequence;
    uint8_t idle;
    uint8_t time_status;
    uint16_t week;            // GPS week
    uint32_t ms;              // GPS milliseconds of week
    uint32_t receiver_status;
    uint16_t reserved;
    uint16_t version;         // receiver software version
} novatel_header_t;

// 0; -1 frame shorter than 28 bytes or not AA 44 12; -2 header length below
// 28 or header_length + length + 4 differs from the frame length.
int novatel_parser_header(const uint8_t *frame, uint32_t length, novatel_header_t *header);

// ---- systems and signals ----------------------------------------------------------

// Columns of a signal entry: the signal-type number the receiver uses for the
// signal under each numbering, and its band.
enum {
    NOVATEL_COLUMN_RANGE_0 = 0,
    NOVATEL_COLUMN_RANGE_2 = 1,
    NOVATEL_COLUMN_RANGE_3 = 2,
    NOVATEL_COLUMN_RANGECMP2_0 = 3,
    NOVATEL_COLUMN_RANGECMP2_2 = 4,
    NOVATEL_COLUMN_RANGECMP2_3 = 5, // holds no numbers
    NOVATEL_COLUMN_BAND = 6,
    NOVATEL_COLUMN_AMOUNT = 7,
};
#define NOVATEL_SIGNAL_NONE 255

typedef struct novatel_signal_t {
    uint8_t type[NOVATEL_COLUMN_AMOUNT];
    const gnss_signal_t *signal;
} novatel_signal_t;

typedef struct novatel_system_t {
    double frequency;           // reference frequency, Hz
    uint32_t prn_offset;        // numbering 0 and 2
    uint32_t prn_offset_3;      // RANGE under numbering 3
    int32_t channel_offset;     // added to the received frequency channel
    const novatel_signal_t *signal;
    uint32_t signal_amount;
    const gnss_system_t *system;
} novatel_system_t;

// In the order of GNSS_SYSTEM: BDS, GALILEO, GPS, IRNSS, QZSS, GLONASS, SBAS, TSS.
#define NOVATEL_SYSTEM_AMOUNT 8
extern const novatel_system_t NOVATEL_SYSTEM[NOVATEL_SYSTEM_AMOUNT];
extern const novatel_signal_t NOVATEL_SIGNAL_BDS[14];
extern const novatel_signal_t NOVATEL_SIGNAL_GALILEO[7];
extern const novatel_signal_t NOVATEL_SIGNAL_GPS[9];
extern const novatel_signal_t NOVATEL_SIGNAL_IRNSS[3];
extern const novatel_signal_t NOVATEL_SIGNAL_QZSS[10];
extern const novatel_signal_t NOVATEL_SIGNAL_GLONASS[4];
extern const novatel_signal_t NOVATEL_SIGNAL_SBAS[2];
extern const novatel_signal_t NOVATEL_SIGNAL_TSS[2];

// System entry of a RANGE/RANGECMP system number (status bits 16-18) or of a
// RANGECMP2 system number; null when the number names no system.
const novatel_system_t *novatel_range_system(uint32_t number);
const novatel_system_t *novatel_rangecmp2_system(uint32_t number);
// First entry of the system's table whose `column` holds `type`; null if none.
const novatel_signal_t *novatel_find_signal(const novatel_system_t *system, int column, uint32_t type);
// Satellite number after the PRN offset: n + 1 - offset when n >= offset.
uint32_t novatel_prn(uint32_t n, uint32_t offset);

// ---- numbering ------------------------------------------------------------------------
// Receivers number signal types in one of three ways (0, 2, 3). A configured
// numbering of 0 means "decide from the log"; 2 and 3 force that numbering;
// any other value forces numbering 0.
#define NOVATEL_NUMBERING_AUTO 0

// ---- range logs ---------------------------------------------------------------------------

typedef struct novatel_range_obs_t {
    uint16_t prn;               // after the system's PRN offset
    int16_t glofreq;            // frequency channel (GLONASS: received - 7)
    double psr;                 // m
    float psr_std;              // m
    double adr;                 // cycles, the receiver's sign (minus the carrier phase)
    float adr_std;              // cycles
    float doppler;              // Hz
    float cno;                  // dB-Hz
    float locktime;             // s
    uint32_t status;            // tracking status word (0 for RANGECMP2)
    uint8_t tracking_state;     // status bits 0-4
    uint8_t channel;            // SV channel
    uint8_t phase_lock;
    uint8_t parity_known;
    uint8_t code_lock;
    uint8_t system;             // the log's own system number
    uint8_t grouped;
    uint8_t signal_type;        // the log's own signal type number
    const novatel_system_t *nov_system;
    const novatel_signal_t *nov_signal; // null: unknown signal, dropped by its user
} novatel_range_obs_t;

// RANGE and RANGECMP: the observations stay in the frame, which must outlive
// the list.
typedef struct novatel_range_t {
    novatel_header_t header;
    uint32_t amount;            // number of records
    const uint8_t *record;      // first record in the frame
    int numbering;              // 0, 2 or 3
} novatel_range_t;

// ids 43 and 6005. 0; -1 wrong id or body length - 4 not a multiple of 44
// (or shorter than 4); -2 count at body start differs from (length - 4) / 44.
int novatel_parser_range(const uint8_t *frame, const novatel_header_t *header,
                         novatel_range_t *range, int numbering);
// 0, or -1 when index is out of range.
int novatel_range_get_obs(const novatel_range_t *range, uint32_t index, novatel_range_obs_t *obs);

// ids 140 and 2111, 24-byte records, same checks as RANGE.
int novatel_parser_rangecmp(const uint8_t *frame, const novatel_header_t *header,
                            novatel_range_t *range, int numbering);
// 0; -1 index out of range or signal not in the table.
int novatel_rangecmp_get_obs(const novatel_range_t *range, uint32_t index, novatel_range_obs_t *obs);

// RANGECMP2: a cursor walking satellite blocks (10 bytes) each followed by its
// signal blocks (12 bytes).
typedef struct novatel_rangecmp2_t {
    novatel_header_t header;
    const uint8_t *position;    // next block
    const uint8_t *end;         // min(byte count, body length - 4) after the count
    int numbering;
    uint32_t signal_left;       // signal blocks left in the current satellite
    // the current satellite block
    const novatel_system_t *nov_system;
    uint8_t system;
    uint8_t sv_channel;
    uint16_t prn;
    int16_t glofreq;
    uint32_t psr_base;          // m
    int32_t doppler_base;       // Hz
} novatel_rangecmp2_t;

// ids 1273 and 2112. 0; -1 wrong id (or a body too short for its byte count);
// -2 byte count below 11.
int novatel_parser_rangecmp2(const uint8_t *frame, const novatel_header_t *header,
                             novatel_rangecmp2_t *cursor, int numbering);
// 0 an observation; 1 end of log; 2 satellite of an unknown system (its
// signal blocks are skipped); 3 signal not in the table (skipped); -1 a block
// runs past the end of the data; -2 satellite block with no signals.
int novatel_rangecmp2_next(novatel_rangecmp2_t *cursor, novatel_range_obs_t *obs);

// ---- ephemerides ----------------------------------------------------------------------------
// Each returns 0, or -1 for a wrong id or a body shorter than the log's minimum.

typedef struct novatel_gps_ephemeris_t {
    novatel_header_t header;
    gps_nav_t nav;
} novatel_gps_ephemeris_t;

typedef struct novatel_bds_ephemeris_t {
    novatel_header_t header;
    bd2_nav_t nav;
} novatel_bds_ephemeris_t;

typedef struct novatel_gpsephem_s_t {
    novatel_header_t header;
    const gnss_system_t *system; // GNSS_SYSTEM entry of GPS or BDS; null otherwise
    gps_nav_t gps;
    bd2_nav_t bds;
} novatel_gpsephem_s_t;

typedef struct novatel_galephemeris_t {
    novatel_header_t header;
    uint8_t fnav_received;      // fnav holds F/NAV data
    uint8_t inav_received;      // inav holds I/NAV data
    galileo_fnav_t fnav;
    galileo_inav_t inav;
} novatel_galephemeris_t;

typedef struct novatel_galinav_t {
    novatel_header_t header;
    galileo_inav_t nav;
} novatel_galinav_t;

typedef struct novatel_galfnav_t {
    novatel_header_t header;
    galileo_fnav_t nav;
} novatel_galfnav_t;

typedef struct novatel_gloephemeris_t {
    novatel_header_t header;
    glonass_nav_t nav;
    uint16_t week;              // reference GPS week of the ephemeris
    uint32_t ms;                // reference GPS milliseconds of week
    int32_t time_offset;        // GLONASS minus GPS time, whole seconds
} novatel_gloephemeris_t;

int novatel_parser_gpsephem(const uint8_t *frame, const novatel_header_t *header, novatel_gps_ephemeris_t *out);
int novatel_parser_qzssephemeris(const uint8_t *frame, const novatel_header_t *header, novatel_gps_ephemeris_t *out);
int novatel_parser_bdsephemeris(const uint8_t *frame, const novatel_header_t *header, novatel_bds_ephemeris_t *out);
int novatel_parser_bd2ephem(const uint8_t *frame, const novatel_header_t *header, novatel_bds_ephemeris_t *out);
// -2 when the first 16-bit word of the body differs from the body length;
// -3 (nothing decoded) for a body of the right form: the field layout of this
// log is not in the published log reference.
int novatel_parser_gpsephem_s(const uint8_t *frame, const novatel_header_t *header, novatel_gpsephem_s_t *out);
int novatel_parser_galephemeris(const uint8_t *frame, const novatel_header_t *header, novatel_galephemeris_t *out);
int novatel_parser_galinavephemeris(const uint8_t *frame, const novatel_header_t *header, novatel_galinav_t *out);
int novatel_parser_galfnavephemeris(const uint8_t *frame, const novatel_header_t *header, novatel_galfnav_t *out);
int novatel_parser_gloephemeris(const uint8_t *frame, const novatel_header_t *header, novatel_gloephemeris_t *out);

// ---- ionosphere, UTC, time, position -----------------------------------------------------

typedef struct novatel_ionutc_t {
    novatel_header_t header;
    double alpha[4];
    double beta[4];
    uint32_t utc_week;
    uint32_t tot;
    double a0;
    double a1;
    uint32_t week_lsf;          // week of the leap second
    uint32_t day;               // day of the leap second
    int32_t dt_ls;
    int32_t dt_lsf;
} novatel_ionutc_t;
// ids 6, 8, 1347, 2010; minimum body 108.
int novatel_parser_ionutc(const uint8_t *frame, const novatel_header_t *header, novatel_ionutc_t *out);

typedef struct novatel_iono_t {
    novatel_header_t header;
    uint32_t id;                // satellite id
    double alpha[4];
    double beta[4];
} novatel_iono_t;
// ids 1590, 2124; minimum body 68.
int novatel_parser_iono(const uint8_t *frame, const novatel_header_t *header, novatel_iono_t *out);

#define NOVATEL_UTC_STATUS_VALID 1
typedef struct novatel_time_t {
    novatel_header_t header;
    uint32_t clock_status;
    double offset;              // receiver clock offset, s
    double offset_std;
    double utc_offset;          // GPS to UTC, s
    uint32_t utc_year;
    uint8_t utc_month;
    uint8_t utc_day;
    uint8_t utc_hour;
    uint8_t utc_minute;
    uint32_t utc_ms;
    uint32_t utc_status;        // 0 invalid, 1 valid, 2 warning
} novatel_time_t;
// id 101; minimum body 44.
int novatel_parser_time(const uint8_t *frame, const novatel_header_t *header, novatel_time_t *out);

typedef struct novatel_position_t {
    novatel_header_t header;
    uint32_t solution_status;
    uint32_t position_type;
    double latitude;            // degrees
    double longitude;           // degrees
    double height;              // above mean sea level, m
    float undulation;           // m
    uint32_t datum;             // NOVATEL_DATUM_WGS84 unless the receiver was told another
    float latitude_std;
    float longitude_std;
    float height_std;
    char station[5];            // 4 characters, 0-terminated here
    float differential_age;
    float solution_age;
    uint8_t satellites;         // tracked
    uint8_t solution_satellites;
    uint8_t solution_l1;
    uint8_t solution_multi;
    uint8_t extended_status;
    uint8_t galileo_bds_mask;
    uint8_t gps_glonass_mask;
} novatel_position_t;
// The datum id of WGS 84 (63 is a user-defined one; the others are local
// datums, some hundreds of metres away from it).
#define NOVATEL_DATUM_WGS84 61
// ids 47 and 42; minimum body 72.
int novatel_parser_psrpos(const uint8_t *frame, const novatel_header_t *header, novatel_position_t *out);
int novatel_parser_bestpos(const uint8_t *frame, const novatel_header_t *header, novatel_position_t *out);

// ---- names and accuracy ----------------------------------------------------------------------
// Log name of a message id ("RANGE"), or "" for an id not known here.
const char *novatel_id_to_str(uint32_t id);

// GPS/BDS accuracy index (0..15) of a URA variance in m^2; a variance above
// the last threshold (or not a number) has index 15.
uint8_t novatel_bds_gps_ura2_to_index(double variance);
// Nominal URA in metres of an index; indices above 15 give the value of 15.
double novatel_bds_gps_index_to_ura(uint32_t index);

#endif
