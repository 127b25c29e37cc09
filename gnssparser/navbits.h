// Broadcast navigation messages as the satellites send them, bit by bit:
// GPS and QZSS LNAV subframes (IS-GPS-200), GLONASS strings (GLONASS ICD),
// Galileo I/NAV pages and words (Galileo OS SIS ICD), BDS D1 and D2
// subframes (BDS B1I ICD). Every receiver format that passes the raw
// navigation bits through (Hemisphere 95/65, u-blox SFRBX, SBF raw pages)
// hands them to these functions, which check them where the message keeps
// its parity or CRC, collect them per satellite and fill the common records
// of navigation.h.
//
// Plain functions on caller-owned records: no allocation, no global state.
// The per-satellite assemblers (navbits_*_t) are small value records; the
// caller keeps one per satellite and signal and clears it with memset or
// the *_init function.
#ifndef GNSSPARSER_NAVBITS_H
#define GNSSPARSER_NAVBITS_H

#include <stdint.h>

#include "navigation.h"

// ---- bit access ----------------------------------------------------------------------

// `count` (0..32) bits from bit `first` of a byte array, the first bit the
// most significant bit of byte 0.
uint32_t navbits_get(const uint8_t *buffer, int first, int count);
// The same as a two's complement value of `count` bits.
int32_t navbits_get_signed(const uint8_t *buffer, int first, int count);
// Stores the low `count` (0..32) bits of value from bit `first`.
void navbits_set(uint8_t *buffer, int first, int count, uint32_t value);

// Bits of a GPS/QZSS LNAV or BDS D1/D2 subframe held as ten 30-bit words,
// word bits 1..30 (first sent first) in bits 29..0 of each element; `first`
// numbers the subframe bits 1..300 as the ICDs do. `count` 0..32.
uint32_t navbits_words_get(const uint32_t words[10], int first, int count);

// ---- GPS and QZSS LNAV -----------------------------------------------------------------

// Whether a 30-bit word (D1..D30 in bits 29..0, as sent) passes the
// IS-GPS-200 parity check, given D29* and D30* of the word before it in
// bits 1 and 0 of `previous`.
int navbits_gps_parity_ok(uint32_t word, uint32_t previous);
// Checks the parity of a whole subframe as sent (word 1 against the D29*
// and D30* in `previous`, which the last word of every subframe holds 0),
// and writes the words with D1..D24 restored to their upright sense (the
// satellite inverts them after a word whose D30 is 1). 0, or -1 when a
// word fails.
int navbits_gps_subframe_check(const uint32_t sent[10], uint32_t previous, uint32_t upright[10]);
// The subframe id (1..5) of an upright subframe: 0 when word 1 does not
// start with the preamble 10001011.
int navbits_gps_subframe_id(const uint32_t upright[10]);
// Transmission time of the start of the subframe, s of week, from the HOW
// (the TOW count names the start of the next subframe).
int32_t navbits_gps_subframe_tow(const uint32_t upright[10]);

// Fills a GPS/QZSS record from upright subframes 1, 2 and 3 (`prn` is the
// caller's satellite number; `tow` the start of subframe 1). Reads the
// fields only: the preamble, ids and IODEs are the caller's to check (as
// navbits_gps_add does).
void navbits_gps_decode(gps_nav_t *nav, const uint32_t sf1[10], const uint32_t sf2[10],
                        const uint32_t sf3[10], int prn);

// Subframes 1 to 3 of one satellite, collected until they belong together.
typedef struct navbits_gps_t {
    uint32_t subframe[3][10];
    uint8_t have;         // bit n - 1: subframe n held
} navbits_gps_t;

void navbits_gps_init(navbits_gps_t *state);
// Adds one upright subframe (ids 4 and 5 are ignored). Returns 1 and fills
// `nav` when subframes 1 to 3 are held with one IODE (and the IODC's low
// eight bits), then starts collecting afresh; 0 while collecting; -1 for a
// subframe without preamble or id.
int navbits_gps_add(navbits_gps_t *state, const uint32_t upright[10], int prn, gps_nav_t *nav);

// ---- GLONASS --------------------------------------------------------------------------

// A GLONASS string: 85 bits, string bit 85 (the idle bit, sent first) as the
// most significant bit of byte 0, string bit n at bit 85 - n.
#define NAVBITS_GLONASS_STRING_BYTES 11

// The Hamming check of the string's bits 1..8 (KX) over bits 9..85, as the
// ICD lays it down: 0 when correct, 1 when one bit was wrong and has been
// corrected in place, -1 when the string cannot be used.
int navbits_glonass_string_check(uint8_t string[NAVBITS_GLONASS_STRING_BYTES]);
// The string number m (bits 84..81).
int navbits_glonass_string_number(const uint8_t string[NAVBITS_GLONASS_STRING_BYTES]);

// Fills a GLONASS record from strings 1 to 5 of one frame. `frequency_channel`
// is the satellite's FDMA channel (-7..+6) as the receiver knows it. Returns
// what glonass_nav_from_raw returns (0, or GLONASS_NAV_DATE_UNKNOWN when N4
// or NT name no day).
int navbits_glonass_decode(glonass_nav_t *nav, const uint8_t strings[5][NAVBITS_GLONASS_STRING_BYTES],
                           int frequency_channel);

typedef struct navbits_glonass_t {
    uint8_t string[5][NAVBITS_GLONASS_STRING_BYTES];
    uint8_t have;         // bit n - 1: string n held since the last string 1
} navbits_glonass_t;

void navbits_glonass_init(navbits_glonass_t *state);
// Adds one checked string. Strings 6..15 (almanac) are ignored; string 1
// starts a frame afresh. Returns 1 and fills `nav` when string 5 completes
// strings 1..5 of one frame (the date may still be unknown: see
// glonass_nav_date_known), 0 while collecting, -1 for a string number 0.
int navbits_glonass_add(navbits_glonass_t *state, const uint8_t string[NAVBITS_GLONASS_STRING_BYTES],
                        int frequency_channel, glonass_nav_t *nav);

// ---- Galileo I/NAV ------------------------------------------------------------------------

// One I/NAV page part (even or odd): 120 bits, tail included, first bit sent
// as the most significant bit of byte 0.
#define NAVBITS_GALILEO_PART_BYTES 15
// One I/NAV word: 128 bits (word type in the first 6).
#define NAVBITS_GALILEO_WORD_BYTES 16

// Joins an even and an odd page part into their 128-bit word after checking
// the even/odd flags, the page type (alert pages carry no word) and the
// CRC-24Q over both parts. The word type (0..63), or -1.
int navbits_galileo_inav_page(const uint8_t even[NAVBITS_GALILEO_PART_BYTES],
                              const uint8_t odd[NAVBITS_GALILEO_PART_BYTES],
                              uint8_t word[NAVBITS_GALILEO_WORD_BYTES]);

typedef struct navbits_galileo_t {
    uint8_t word[5][NAVBITS_GALILEO_WORD_BYTES]; // word types 1..5
    uint8_t have;         // bit n - 1: word type n held
} navbits_galileo_t;

void navbits_galileo_init(navbits_galileo_t *state);
// Adds one word. Returns 1 and fills `nav` when words 1..4 of one IODnav
// and a word 5 are held (then collects afresh), 0 while collecting (other
// word types are ignored). `source` goes to the record (bit 0 E1-B, bit 1
// E5b).
int navbits_galileo_add(navbits_galileo_t *state, const uint8_t word[NAVBITS_GALILEO_WORD_BYTES], int prn,
                        int source, galileo_inav_t *nav);

// ---- BDS D1 and D2 ------------------------------------------------------------------------

// BDS satellites 1..5 and 59..63 are geostationary and send D2; the others D1.
int navbits_bds_is_d2(int prn);
// The BCH(15,11) check of a subframe whose words hold their information bits
// first and their parity bits last (word 1: 26 + 4; words 2..10: 22 + 8,
// the parity of the first 11 bits before that of the second). Mends a
// single wrong bit per code word in place and returns the number of code
// words mended (0: all sound). The code is perfect: it cannot tell two
// wrong bits in one code word from one, so no subframe is refused here.
int navbits_bds_subframe_check(uint32_t words[10]);
// FraID (1..5) of a subframe; 0 without the preamble 11100010010.
int navbits_bds_subframe_id(const uint32_t words[10]);
// SOW of the subframe, s of BDS week.
int32_t navbits_bds_subframe_sow(const uint32_t words[10]);
// Page number of a D2 subframe 1 (1..10).
int navbits_bds_d2_page(const uint32_t words[10]);

typedef struct navbits_bds_t {
    uint32_t subframe[10][10]; // D1: subframes 1..3 in 0..2; D2: subframe 1 pages 1..10
    uint16_t have;             // bit n - 1: subframe (D1) or page (D2) n held
} navbits_bds_t;

void navbits_bds_init(navbits_bds_t *state);
// Adds one checked subframe of satellite `prn`. Returns 1 and fills `nav`
// when D1 subframes 1..3 (or D2 pages 1..10 of subframe 1) of one issue are
// held, then collects afresh; 0 while collecting; -1 for a subframe without
// preamble.
int navbits_bds_add(navbits_bds_t *state, const uint32_t words[10], int prn, bd2_nav_t *nav);

#endif
