// Trimble packets: STX (02), status, type, data length, data, 8-bit checksum
// of bytes 1 .. total-3, ETX (03). GSOF packets (type 0x40) are pages of a
// record that is reassembled into the caller's GSOF buffer.
#include <string.h>

#include "frame_handlers.h"

static void gsof_drop(gnssparser_s *s)
{
    s->gsof_length = 0;
    s->gsof_page = 0xFFFFFFFFu;
}

static void gsof_take(gnssparser_s *s)
{
    const uint8_t *p = s->buffer;
    uint32_t total = s->count;
    uint32_t transmission = p[4], page = p[5], last = p[6];
    const uint8_t *content = p + 7;
    uint32_t size = total - 9; // bytes 7 .. total-3: all before the checksum and ETX

    if (page == 0) {
        s->gsof_length = 0;
        s->gsof_page = 0;
        s->gsof_page_last = last;
        s->gsof_transmission = transmission;
    } else if (page != s->gsof_page + 1 || last != s->gsof_page_last ||
               transmission != s->gsof_transmission || s->gsof_length == 0) {
        gsof_drop(s);
        return;
    } else {
        s->gsof_page = page;
    }
    if (size > s->gsof_size - s->gsof_length) {
        gsof_drop(s);
        return;
    }
    memcpy(s->gsof_buffer + s->gsof_length, content, size);
    s->gsof_length += size;
    if (page == s->gsof_page_last) {
        s->callback_trimble_gsof(s->gsof_buffer, s->gsof_length, s->user);
        gsof_drop(s);
    }
}

int gnssparser_handler_trimble(gnssparser_s *s)
{
    if (!s->callback_trimble && !s->callback_trimble_gsof) return 0;
    if (s->frame_length == 0) {
        if (s->count < 4) return 1;
        if (!frame_accept_total(s, (uint32_t)s->buffer[3] + 6, 0)) return 0;
    }
    if (frame_collect(s) == 1) return 1;
    uint32_t total = s->count;
    uint8_t sum = 0;
    for (uint32_t i = 1; i + 2 < total; i++) sum = (uint8_t)(sum + s->buffer[i]);
    if (sum != s->buffer[total - 2] || s->buffer[total - 1] != 0x03) return 0;
    if (s->callback_trimble) s->callback_trimble(s->buffer, total, s->user);
    if (s->callback_trimble_gsof && s->gsof_buffer && s->gsof_size && total > 9 && s->buffer[2] == 0x40)
        gsof_take(s);
    s->count = 0;
    s->frame_position = s->position;
    return 0;
}
