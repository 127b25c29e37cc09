// Septentrio SBF: "$@", CRC-16 (bytes 2-3), id, and a length (bytes 6-7) that
// covers the whole block; the CRC runs from byte 4 to the end.
#include "frame_handlers.h"
#include "util.h"

int gnssparser_handler_septentrio(gnssparser_s *s)
{
    if (!s->callback_septentrio) return 0;
    int r = frame_collect_u16(s, 8, 6, 0, 8);
    if (r != 2) return r;
    if (util_crc16(0, s->buffer + 4, s->count - 4) != util_bytes_to_u16(s->buffer + 2)) return 0;
    frame_deliver(s, s->callback_septentrio);
    return 0;
}
