// RTCM 3: D3, six reserved zero bits, a 10-bit payload length, the payload and
// a CRC-24Q over everything before it.
#include "frame_handlers.h"
#include "util.h"

int gnssparser_handler_rtcm3(gnssparser_s *s)
{
    if (!s->callback_rtcm3) return 0;
    if (s->frame_length == 0) {
        if (s->count < 3) return 1;
        uint32_t payload = ((uint32_t)(s->buffer[1] & 0x03u) << 8) | s->buffer[2];
        // A payload of 0 or 1 byte cannot hold a message number.
        if (!frame_accept_total(s, payload + 6, 8)) return 0;
    }
    if (frame_collect(s) == 1) return 1;
    if (util_crc24_rtcm3(0, s->buffer, s->count) != 0) return 0;
    frame_deliver(s, s->callback_rtcm3);
    return 0;
}
