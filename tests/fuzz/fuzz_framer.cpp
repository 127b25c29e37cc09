// Arbitrary bytes in arbitrary pieces through a framer with every format
// registered, into a small buffer and into the buffer a conversion
// uses. Every callback reads all the bytes it is given, so a frame reaching
// past the buffer shows up under AddressSanitizer.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <vector>

#include "gnssparser.h"

namespace {

struct Check {
    gnssparser_s *parser;
    uint32_t sum;
};

void touch(const uint8_t *data, uint32_t length, void *user)
{
    Check *c = static_cast<Check *>(user);
    if (length == 0) return;
    uint32_t s = 0;
    for (uint32_t i = 0; i < length; i++) s += data[i];
    c->sum += s;
    // Frames and lines come from the framer's buffer and never exceed what it holds.
    const gnssparser_s *p = c->parser;
    bool in_buffer = data >= p->buffer && data + length <= p->buffer + p->buffer_size;
    bool in_gsof = p->gsof_buffer && data >= p->gsof_buffer && data + length <= p->gsof_buffer + p->gsof_size;
    if (!in_buffer && !in_gsof) abort();
    if (in_buffer && length > p->buffer_size - 1) abort();
    uint64_t frame_position = 0, position = 0;
    gnssparser_get_position(p, &frame_position, &position);
    if (frame_position > position + length) abort();
}

int other_check(const uint8_t *data, uint32_t length, void *)
{
    return (data[0] ^ data[length - 1]) & 1;
}

void run(const uint8_t *data, size_t size, uint32_t buffer_size, uint8_t chunk_seed)
{
    std::vector<uint8_t> buffer(buffer_size);
    uint8_t gsof[300];
    gnssparser_s p;
    Check check = {&p, 0};
    gnssparser_init(&p, buffer.data(), buffer_size, &check);
    gnssparser_callback_line(&p, touch);
    gnssparser_callback_crack(&p, touch);
    gnssparser_callback_lcgx(&p, touch);
    gnssparser_callback_kalx(&p, touch, 7, 99);
    gnssparser_callback_rtcm2(&p, touch);
    gnssparser_callback_rtcm3(&p, touch);
    gnssparser_callback_ublox(&p, touch);
    gnssparser_callback_novatel(&p, touch);
    gnssparser_callback_novatelx(&p, touch);
    gnssparser_callback_unicore(&p, touch);
    gnssparser_callback_hemisphere(&p, touch);
    gnssparser_callback_septentrio(&p, touch);
    gnssparser_callback_trimble(&p, touch);
    gnssparser_callback_trimble_gsof(&p, touch, gsof, sizeof gsof);
    gnssparser_callback_sino(&p, touch);
    gnssparser_callback_cshg(&p, touch);
    gnssparser_callback_hci(&p, touch);
    gnssparser_callback_fmi(&p, touch);
    gnssparser_callback_other(&p, touch, 0x7E00 | chunk_seed, 0xFF00 | chunk_seed, chunk_seed & 7,
                              (int8_t)((chunk_seed % 9) - 4), chunk_seed >> 3, other_check);

    uint32_t state = chunk_seed * 2654435761u + 1;
    size_t i = 0;
    while (i < size) {
        state = state * 1103515245u + 12345u;
        size_t n = 1 + (state >> 16) % 97;
        if (n > size - i) n = size - i;
        gnssparser_input(&p, data + i, (uint32_t)n);
        i += n;
    }
    gnssparser_flush(&p);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2) return 0;
    uint8_t seed = data[0];
    uint32_t small = 16 + data[1];
    run(data + 2, size - 2, small, seed);
    run(data + 2, size - 2, GNSSPARSER_BUFFER_SIZE, seed);
    return 0;
}
