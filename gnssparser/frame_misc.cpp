// Handlers of the smaller formats: sino, Bluetooth HCI packets, fmi, lcgx,
// kalx and the caller-described format.
#include "frame_handlers.h"

// sino: "$$", two letters, length at byte 5; XOR of bytes 2 .. total-4 in
// byte total-3. A mismatch is rejected like any other candidate, so that the
// frames a false "$$" sync covered are still found.
int gnssparser_handler_sino(gnssparser_s *s)
{
    if (!s->callback_sino) return 0;
    if (s->frame_length == 0) {
        if (s->count < 6) return 1;
        if (!frame_accept_total(s, (uint32_t)s->buffer[5] + 9, 0)) return 0;
    }
    if (frame_collect(s) == 1) return 1;
    uint32_t total = s->count;
    uint8_t x = 0;
    for (uint32_t i = 2; i + 3 < total; i++) x ^= s->buffer[i];
    if (x != s->buffer[total - 3]) return 0;
    frame_deliver(s, s->callback_sino);
    return 0;
}

// HCI: the packet indicator decides where the length is.
int gnssparser_handler_hci(gnssparser_s *s)
{
    if (!s->callback_hci) return 0;
    if (s->frame_length == 0) {
        const uint8_t *p = s->buffer;
        uint32_t total;
        switch (p[0]) {
        case 0x01:
        case 0x03:
            if (s->count < 4) return 1;
            total = (uint32_t)p[3] + 4;
            break;
        case 0x02:
            if (s->count < 5) return 1;
            total = ((uint32_t)p[3] | ((uint32_t)p[4] << 8)) + 5;
            break;
        default: // 0x04
            if (s->count < 3) return 1;
            total = (uint32_t)p[2] + 3;
            break;
        }
        if (!frame_accept_total(s, total, 0)) return 0;
    }
    if (frame_collect(s) == 1) return 1;
    frame_deliver(s, s->callback_hci);
    return 0;
}

// fmi: fixed length from the letter after "fmi", a 16-bit sum of everything
// before it, and the trailer "ed".
int gnssparser_handler_fmi(gnssparser_s *s)
{
    if (!s->callback_fmi || s->frame_length == 0 || s->frame_length >= s->buffer_size) return 0;
    if (frame_collect(s) == 1) return 1;
    uint32_t total = s->count;
    uint32_t sum = 0;
    for (uint32_t i = 0; i + 4 < total; i++) sum += s->buffer[i];
    uint32_t field = (uint32_t)s->buffer[total - 4] | ((uint32_t)s->buffer[total - 3] << 8);
    if ((sum & 0xFFFFu) != field || s->buffer[total - 2] != 'e' || s->buffer[total - 1] != 'd') return 0;
    frame_deliver(s, s->callback_fmi);
    return 0;
}

// lcgx and kalx payloads are scrambled or enciphered and nothing here reads
// them; their frames are recognised by the sync test only and let go.
int gnssparser_handler_lcgx(gnssparser_s *)
{
    return 0;
}

int gnssparser_handler_kalx(gnssparser_s *)
{
    return 0;
}

// The caller-described format: a length field of |size| bytes at an offset,
// big-endian for a negative size, or a fixed length.
int gnssparser_handler_other(gnssparser_s *s)
{
    if (!s->callback_other) return 0;
    if (s->frame_length == 0) {
        int size = s->other_length_size;
        uint64_t total;
        if (size == 0) {
            total = s->other_length_add;
        } else {
            uint32_t width = (uint32_t)(size < 0 ? -size : size);
            if (width > 8) return 0;
            if (s->count < (uint32_t)s->other_length_offset + width) return 1;
            const uint8_t *p = s->buffer + s->other_length_offset;
            uint64_t value = 0;
            for (uint32_t i = 0; i < width; i++)
                value |= (uint64_t)(size < 0 ? p[width - 1 - i] : p[i]) << (8 * i);
            total = value + s->other_length_add;
        }
        if (!frame_accept_total(s, total, 1)) return 0;
    }
    if (frame_collect(s) == 1) return 1;
    if (s->other_check && s->other_check(s->buffer, s->count, s->user) != 0) return 0;
    frame_deliver(s, s->callback_other);
    return 0;
}
