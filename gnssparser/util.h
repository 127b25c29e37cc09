// Checksums, byte-order readers and writers, GPS time helpers and the
// earth-centred to geodetic conversion shared by the framer, the decoders
// and the RINEX writers. Plain functions, no allocation, no state (the CRC-32C
// table is the one exception, built once on first use).
#ifndef GNSSPARSER_UTIL_H
#define GNSSPARSER_UTIL_H

#include <stddef.h>
#include <stdint.h>

// Milliseconds from 1970-01-01 to the GPS origin 1980-01-06 (3657 days).
#define UTIL_GPS_ORIGIN_MS 315964800000LL
#define UTIL_WEEK_MS 604800000LL
#define UTIL_DAY_MS 86400000LL

// ---- checksums used by the application -------------------------------------
// CRC-24Q (RTCM 3): polynomial 0x864CFB, most significant bit first, result
// masked to 24 bits. A frame with its CRC appended checks to 0.
uint32_t util_crc24_rtcm3(uint32_t crc, const uint8_t *data, uint32_t length);
// NovAtel 32-bit CRC: reflected polynomial 0xEDB88320, always started at 0
// (the argument is ignored). A frame with its CRC appended checks to 0.
uint32_t util_crc32_novatel(uint32_t crc, const uint8_t *data, uint32_t length);
// CRC-16 CCITT: polynomial 0x1021, most significant bit first; the CRC is the
// low 16 bits of the result.
uint32_t util_crc16(uint32_t crc, const uint8_t *data, uint32_t length);

// UBX Fletcher checksum over bytes 2 .. length-3 compared with the last two
// bytes: 0 when it holds, 1 otherwise.
int util_check_ublox(const uint8_t *frame, uint32_t length);
// NMEA 0183 sentence check of a 0-terminated text: 0 ok, -1 no leading "$",
// -2 no "*" (or more than 511 characters before it), -3 checksum differs.
int util_check_line_nmea(const char *line);
// Parity bits D25..D30 of a 30-bit navigation word; bits 31 and 30 hold the
// previous word's D29* and D30*, bits 29..0 the word's D1..D30.
uint32_t util_rtcm2_get_parity(uint32_t word);

// ---- checksums kept for other formats ---------------------------------------
uint32_t util_crc8(uint32_t crc, const uint8_t *data, uint32_t length);
uint32_t util_crc16_modbus(uint32_t crc, const uint8_t *data, uint32_t length);
uint32_t util_crc32_04C11DB7(uint32_t crc, const uint8_t *data, uint32_t length);
uint32_t util_crc32_EDB88320(uint32_t crc, const uint8_t *data, uint32_t length);
uint32_t util_crc32_castagnoli(uint32_t crc, const uint8_t *data, uint32_t length);
// Dispatches "$" lines to the NMEA check and "#" lines to the CRC-32 check.
int util_check_line(const char *line);
// "#...*xxxxxxxx": NovAtel CRC of the characters between "#" and "*".
int util_check_line_crc32(const char *line);
// Append "*%02X\r\n" (XOR) or "*%08x\r\n" (NovAtel CRC) of everything after
// the first character of the text already in buf; returns the new length or
// -1 when it does not fit.
int util_snprint_nmea0183_crlf(char *buf, size_t size);
int util_snprint_crc32_crlf(char *buf, size_t size);

// ---- little-endian readers (unaligned) ---------------------------------------
uint16_t util_bytes_to_u16(const uint8_t *p);
uint32_t util_bytes_to_u24(const uint8_t *p);
uint32_t util_bytes_to_u32(const uint8_t *p);
uint64_t util_bytes_to_u64(const uint8_t *p);
float util_bytes_to_float(const uint8_t *p);
double util_bytes_to_double(const uint8_t *p);
// ---- big-endian readers -------------------------------------------------------
uint16_t util_bytes_to_u16_be(const uint8_t *p);
uint32_t util_bytes_to_u24_be(const uint8_t *p);
uint32_t util_bytes_to_u32_be(const uint8_t *p);
uint64_t util_bytes_to_u64_be(const uint8_t *p);
float util_bytes_to_float_be(const uint8_t *p);
double util_bytes_to_double_be(const uint8_t *p);
// ---- writers -------------------------------------------------------------------
void util_bytes_from_u8(uint8_t *p, uint8_t v);
void util_bytes_from_u16(uint8_t *p, uint16_t v);
void util_bytes_from_u16_be(uint8_t *p, uint16_t v);
void util_bytes_from_u24(uint8_t *p, uint32_t v);
void util_bytes_from_u24_be(uint8_t *p, uint32_t v);
void util_bytes_from_u32(uint8_t *p, uint32_t v);
void util_bytes_from_u32_be(uint8_t *p, uint32_t v);
void util_bytes_from_u64(uint8_t *p, uint64_t v);
void util_bytes_from_u64_be(uint8_t *p, uint64_t v);
void util_bytes_from_float(uint8_t *p, float v);
void util_bytes_from_float_be(uint8_t *p, float v);
void util_bytes_from_double(uint8_t *p, double v);
void util_bytes_from_double_be(uint8_t *p, double v);

// ---- GPS time ---------------------------------------------------------------------
// (week * 7 + 3657) * 86400000 + ms, the day count formed in 32 bits.
int64_t util_gps_time_to_epoch(int32_t week, int64_t ms);
// Inverse; an epoch before the GPS origin gives week 0 and 0 ms.
void util_epoch_to_gps_time(int64_t epoch, int32_t *week, int32_t *ms);
// Lifts a value sent modulo `period` to the candidate nearest `value`,
// starting at `base` and never more than 16 periods above it.
int32_t util_round_week(int32_t base, int32_t value, int32_t period);
// Sign-and-magnitude field of `bits` bits as GLONASS sends them.
int32_t util_glonass_ephemeris_int(uint32_t value, int bits);

// ---- position ----------------------------------------------------------------------
// WGS-84 ECEF (m) to latitude, longitude (degrees) and ellipsoidal height (m).
// Returns 0 on success; -1 (outputs untouched) when the input is not finite or
// the iteration gives no finite result.
int util_xyz_to_blh(double x, double y, double z, double *lat, double *lon, double *height);
// WGS-84 latitude, longitude (degrees) and height (m) to ECEF (m).
void util_blh_to_xyz(double lat, double lon, double height, double *x, double *y, double *z);

#endif
