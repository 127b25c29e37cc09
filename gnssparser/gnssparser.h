// Stream framer: finds frames of many receiver formats in a byte stream that
// arrives in pieces of any size, checks their lengths and checksums and hands
// each whole frame (or text line) to the callback registered for its format.
// The caller owns the state record and the working buffer; nothing here
// allocates or keeps global state.
#ifndef GNSSPARSER_GNSSPARSER_H
#define GNSSPARSER_GNSSPARSER_H

#include <stdint.h>

struct gnssparser_s;

// A whole frame or text line: pointer into the framer's buffer (valid only
// during the call), its length in bytes and the user pointer given at init.
typedef void (*gnssparser_callback_t)(const uint8_t *data, uint32_t length, void *user);
// A frame handler: non-zero while the frame goes on, 0 when it has ended
// (delivered or rejected).
typedef int (*gnssparser_handler_t)(struct gnssparser_s *state);
// Check of a whole frame of the caller-described format: 0 accepts it.
typedef int (*gnssparser_check_t)(const uint8_t *data, uint32_t length, void *user);

typedef struct gnssparser_s {
    uint8_t *buffer;
    uint32_t buffer_size; // at most buffer_size - 1 bytes are held
    void *user;

    gnssparser_callback_t callback_line;
    gnssparser_callback_t callback_crack; // bytes that belong to no frame
    gnssparser_callback_t callback_lcgx;
    gnssparser_callback_t callback_kalx;
    gnssparser_callback_t callback_rtcm2;
    gnssparser_callback_t callback_rtcm3;
    gnssparser_callback_t callback_ublox;
    gnssparser_callback_t callback_novatel;
    gnssparser_callback_t callback_novatelx;
    gnssparser_callback_t callback_unicore;
    gnssparser_callback_t callback_hemisphere;
    gnssparser_callback_t callback_septentrio;
    gnssparser_callback_t callback_trimble;
    gnssparser_callback_t callback_trimble_gsof;
    gnssparser_callback_t callback_sino;
    gnssparser_callback_t callback_cshg;
    gnssparser_callback_t callback_hci;
    gnssparser_callback_t callback_fmi;
    gnssparser_callback_t callback_other;

    uint32_t sync;  // last four bytes input, most recent in the low byte
    uint32_t count; // bytes held in buffer
    gnssparser_handler_t handler; // none while searching
    uint32_t frame_length;        // total of the frame being collected, 0 = unknown
    uint64_t position;            // bytes input since init or reset
    uint64_t frame_position;      // stream offset of buffer[0]

    uint16_t lcgx_key;
    uint16_t kalx_session;
    uint16_t kalx_session_previous;
    uint32_t kalx_id;
    uint64_t kalx_key; // held transformed
    const uint32_t *kalx_white_list;
    uint32_t kalx_white_count;
    const uint32_t *kalx_black_list;
    uint32_t kalx_black_count;

    uint8_t *gsof_buffer;
    uint32_t gsof_size;
    uint32_t gsof_length;
    uint32_t gsof_page;
    uint32_t gsof_page_last;
    uint32_t gsof_transmission;

    uint32_t other_pattern;
    uint32_t other_mask;
    uint8_t other_sync_length;
    uint8_t other_length_offset;
    int8_t other_length_size; // <0 big-endian, >0 little-endian, 0 fixed length
    uint8_t other_length_add;
    gnssparser_check_t other_check;
} gnssparser_s;

// A buffer of this size holds a whole frame of every format whose length
// field is 16 bits (a NovAtel log of 65535 body bytes behind a header of up to
// 255 bytes, a u-blox or SBF message of 65535 bytes): a smaller buffer refuses
// such frames as too long, and a large range log is lost with no word.
#define GNSSPARSER_BUFFER_SIZE 66048

const char *gnssparser_version(void);
int gnssparser_init(gnssparser_s *state, uint8_t *buffer, uint32_t buffer_size, void *user);
void gnssparser_reset(gnssparser_s *state);
void gnssparser_flush(gnssparser_s *state);
void gnssparser_input(gnssparser_s *state, const uint8_t *data, uint32_t length);
void gnssparser_get_position(const gnssparser_s *state, uint64_t *frame_position, uint64_t *position);

void gnssparser_callback_line(gnssparser_s *state, gnssparser_callback_t callback);
void gnssparser_callback_crack(gnssparser_s *state, gnssparser_callback_t callback);
void gnssparser_callback_lcgx(gnssparser_s *state, gnssparser_callback_t callback);
void gnssparser_callback_rtcm2(gnssparser_s *state, gnssparser_callback_t callback);
void gnssparser_callback_rtcm3(gnssparser_s *state, gnssparser_callback_t callback);
void gnssparser_callback_ublox(gnssparser_s *state, gnssparser_callback_t callback);
void gnssparser_callback_novatel(gnssparser_s *state, gnssparser_callback_t callback);
void gnssparser_callback_novatelx(gnssparser_s *state, gnssparser_callback_t callback);
void gnssparser_callback_unicore(gnssparser_s *state, gnssparser_callback_t callback);
void gnssparser_callback_hemisphere(gnssparser_s *state, gnssparser_callback_t callback);
void gnssparser_callback_septentrio(gnssparser_s *state, gnssparser_callback_t callback);
void gnssparser_callback_trimble(gnssparser_s *state, gnssparser_callback_t callback);
void gnssparser_callback_sino(gnssparser_s *state, gnssparser_callback_t callback);
void gnssparser_callback_cshg(gnssparser_s *state, gnssparser_callback_t callback);
void gnssparser_callback_hci(gnssparser_s *state, gnssparser_callback_t callback);
void gnssparser_callback_fmi(gnssparser_s *state, gnssparser_callback_t callback);
void gnssparser_callback_trimble_gsof(gnssparser_s *state, gnssparser_callback_t callback,
                                      uint8_t *buffer, uint32_t size);
void gnssparser_callback_kalx(gnssparser_s *state, gnssparser_callback_t callback,
                              uint32_t id, uint64_t key);
void gnssparser_callback_other(gnssparser_s *state, gnssparser_callback_t callback,
                               uint32_t pattern, uint32_t mask, uint8_t length_offset,
                               int8_t length_size, uint8_t length_add, gnssparser_check_t check);

void gnssparser_lcgx_set_key(gnssparser_s *state, uint16_t key);
int gnssparser_kalx_update_session(gnssparser_s *state, uint16_t session);
void gnssparser_kalx_set_white_list(gnssparser_s *state, const uint32_t *list, uint32_t count);
void gnssparser_kalx_set_black_list(gnssparser_s *state, const uint32_t *list, uint32_t count);

#endif
