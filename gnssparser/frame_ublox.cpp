// u-blox UBX: B5 62, class, id, 16-bit payload length, payload, Fletcher sums.
#include "frame_handlers.h"
#include "util.h"

int gnssparser_handler_ublox(gnssparser_s *s)
{
    if (!s->callback_ublox) return 0;
    int r = frame_collect_u16(s, 6, 4, 8, 0);
    if (r != 2) return r;
    if (util_check_ublox(s->buffer, s->count) != 0) return 0;
    frame_deliver(s, s->callback_ublox);
    return 0;
}
