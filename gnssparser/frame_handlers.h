// Per-format frame handlers used by the framer, and the small steps they share.
// Internal to the library.
#ifndef GNSSPARSER_FRAME_HANDLERS_H
#define GNSSPARSER_FRAME_HANDLERS_H

#include "gnssparser.h"

int gnssparser_handler_lcgx(gnssparser_s *s);
int gnssparser_handler_kalx(gnssparser_s *s);
int gnssparser_handler_rtcm2(gnssparser_s *s);
int gnssparser_handler_rtcm3(gnssparser_s *s);
int gnssparser_handler_ublox(gnssparser_s *s);
int gnssparser_handler_novatel(gnssparser_s *s);
int gnssparser_handler_novatelx(gnssparser_s *s);
int gnssparser_handler_unicore(gnssparser_s *s);
int gnssparser_handler_hemisphere(gnssparser_s *s);
int gnssparser_handler_septentrio(gnssparser_s *s);
int gnssparser_handler_trimble(gnssparser_s *s);
int gnssparser_handler_sino(gnssparser_s *s);
int gnssparser_handler_cshg(gnssparser_s *s);
int gnssparser_handler_hci(gnssparser_s *s);
int gnssparser_handler_fmi(gnssparser_s *s);
int gnssparser_handler_other(gnssparser_s *s);

// The RTCM 2 sync test on the last five held bytes (6-of-8 form).
int gnssparser_rtcm2_sync(const gnssparser_s *s);
// Thirty data bits of an RTCM 2 word from five 6-of-8 bytes, first byte's
// bit 0 first.
uint32_t gnssparser_rtcm2_word(const uint8_t *bytes);

// Shared handler steps.
// Hands the held bytes to `callback` and leaves the frame delivered.
static inline void frame_deliver(gnssparser_s *s, gnssparser_callback_t callback)
{
    callback(s->buffer, s->count, s->user);
    s->count = 0;
    s->frame_position = s->position;
}

// Stores a computed total when it can be collected: at least `min_total`, below
// the buffer size, and not already passed by the bytes held (a total below the
// held count would make the framer swallow genuine frames after it).
static inline int frame_accept_total(gnssparser_s *s, uint64_t total, uint64_t min_total)
{
    if (total < min_total || total >= s->buffer_size || total < s->count) return 0;
    s->frame_length = (uint32_t)total;
    return 1;
}

// Frames whose total comes from a little-endian 16-bit length field: the
// total is computed once `known_at` bytes are held. Returns 1 while the frame
// goes on, 0 when the length is refused, 2 when the whole frame is held.
static inline int frame_collect_u16(gnssparser_s *s, uint32_t known_at, uint32_t offset,
                                    uint32_t add, uint32_t min_total)
{
    if (s->frame_length == 0) {
        if (s->count < known_at) return 1;
        uint32_t length = (uint32_t)s->buffer[offset] | ((uint32_t)s->buffer[offset + 1] << 8);
        if (!frame_accept_total(s, (uint64_t)length + add, min_total)) return 0;
    }
    return s->count < s->frame_length ? 1 : 2;
}

// The same when the total is already in frame_length or comes from elsewhere:
// 1 while bytes are missing, 2 when the whole frame is held.
static inline int frame_collect(const gnssparser_s *s)
{
    return s->count < s->frame_length ? 1 : 2;
}

#endif
