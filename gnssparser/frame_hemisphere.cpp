// Hemisphere binary: "$BIN", block id, data length L, L data bytes, a 16-bit
// sum of the data bytes, CR LF. The closing CR LF is not checked.
#include "frame_handlers.h"
#include "util.h"

int gnssparser_handler_hemisphere(gnssparser_s *s)
{
    if (!s->callback_hemisphere) return 0;
    int r = frame_collect_u16(s, 8, 6, 12, 0);
    if (r != 2) return r;
    uint32_t total = s->count;
    uint32_t sum = 0;
    for (uint32_t i = 8; i + 4 < total; i++) sum += s->buffer[i];
    if ((sum & 0xFFFFu) != util_bytes_to_u16(s->buffer + total - 4)) return 0;
    frame_deliver(s, s->callback_hemisphere);
    return 0;
}
