// NovAtel OEM binary logs with the long header (AA 44 12), and the two related
// forms novatelx (AA 44 16) and Unicore (AA 44 B5); all end in the NovAtel
// 32-bit CRC, which checks to 0 over the whole frame.
#include "frame_handlers.h"
#include "util.h"

// The long header is 28 bytes; a smaller header-length byte cannot be a
// genuine frame and would give a total the held bytes may already have passed.
static const uint32_t kNovatelHeaderMin = 28;

static int crc_then_deliver(gnssparser_s *s, gnssparser_callback_t callback)
{
    if (util_crc32_novatel(0, s->buffer, s->count) != 0) return 0;
    frame_deliver(s, callback);
    return 0;
}

int gnssparser_handler_novatel(gnssparser_s *s)
{
    if (!s->callback_novatel) return 0;
    if (s->frame_length == 0) {
        if (s->count < 10) return 1;
        uint32_t header = s->buffer[3];
        if (header < kNovatelHeaderMin) return 0;
        uint32_t total = header + util_bytes_to_u16(s->buffer + 8) + 4;
        if (!frame_accept_total(s, total, 8)) return 0;
    }
    if (frame_collect(s) == 1) return 1;
    return crc_then_deliver(s, s->callback_novatel);
}

int gnssparser_handler_novatelx(gnssparser_s *s)
{
    if (!s->callback_novatelx) return 0;
    int r = frame_collect_u16(s, 8, 6, 12, 0);
    if (r != 2) return r;
    return crc_then_deliver(s, s->callback_novatelx);
}

int gnssparser_handler_unicore(gnssparser_s *s)
{
    if (!s->callback_unicore) return 0;
    int r = frame_collect_u16(s, 24, 6, 28, 0);
    if (r != 2) return r;
    return crc_then_deliver(s, s->callback_unicore);
}
