// cshg: "CSHG", a 16-bit length at bytes 6-7 and a CRC-24Q over the whole frame.
#include "frame_handlers.h"
#include "util.h"

int gnssparser_handler_cshg(gnssparser_s *s)
{
    if (!s->callback_cshg) return 0;
    int r = frame_collect_u16(s, 8, 6, 11, 0);
    if (r != 2) return r;
    if (util_crc24_rtcm3(0, s->buffer, s->count) != 0) return 0;
    frame_deliver(s, s->callback_cshg);
    return 0;
}
