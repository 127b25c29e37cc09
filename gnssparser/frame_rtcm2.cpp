// RTCM 2 in the 6-of-8 byte form: every byte is 01xxxxxx and carries six bits
// of a 30-bit word, least significant bit first. A message is two header words
// and as many data words as the second header word gives.
#include "frame_handlers.h"
#include "util.h"

uint32_t gnssparser_rtcm2_word(const uint8_t *bytes)
{
    uint32_t w = 0;
    for (int k = 0; k < 5; k++)
        for (int i = 0; i < 6; i++) w = (w << 1) | ((bytes[k] >> i) & 1u);
    return w;
}

static int is_6of8(uint8_t b)
{
    return (b & 0xC0u) == 0x40u;
}

int gnssparser_rtcm2_sync(const gnssparser_s *s)
{
    const uint8_t *p = s->buffer + s->count - 5;
    if (p[0] != 0x66 && p[0] != 0x59) return 0;
    for (int k = 0; k < 5; k++)
        if (!is_6of8(p[k])) return 0;
    uint32_t w = gnssparser_rtcm2_word(p);
    // 0x59 is the preamble sent after a word ending in D30 = 1: its data bits
    // arrive complemented.
    uint32_t wp = p[0] == 0x59 ? ((w ^ 0x3FFFFFC0u) | 0x40000000u) : w;
    uint32_t preamble = (wp >> 22) & 0xFFu;
    if (preamble != 0x66 && preamble != 0x99) return 0;
    for (uint32_t d29 = 0; d29 < 2; d29++)
        if (util_rtcm2_get_parity(wp | (d29 << 31)) == (w & 0x3Fu)) return 1;
    return 0;
}

int gnssparser_handler_rtcm2(gnssparser_s *s)
{
    if (!s->callback_rtcm2) return 0;
    if (!is_6of8(s->buffer[s->count - 1])) return 0;
    if (s->frame_length == 0) {
        if (s->count < 10) return 1;
        uint32_t first = gnssparser_rtcm2_word(s->buffer);
        uint32_t word = ((first & 3u) << 30) | gnssparser_rtcm2_word(s->buffer + 5);
        if (word & 0x40000000u) word ^= 0x3FFFFFC0u;
        if (util_rtcm2_get_parity(word) != (word & 0x3Fu)) return 0;
        uint32_t words = (word >> 9) & 0x1Fu;
        if (!frame_accept_total(s, words * 5 + 10, 0)) return 0;
    }
    if (frame_collect(s) == 1) return 1;
    frame_deliver(s, s->callback_rtcm2);
    return 0;
}
