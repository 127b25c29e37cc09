// Framer state, the byte loop with its synchronisation search, text lines and
// the callback setters. The per-format handlers are in the frame_*.cpp files.
#include "gnssparser.h"

#include <string.h>

#include "frame_handlers.h"

const char *gnssparser_version(void)
{
    return "GNSSPARSER.1.235.2401.349";
}

int gnssparser_init(gnssparser_s *state, uint8_t *buffer, uint32_t buffer_size, void *user)
{
    memset(state, 0, sizeof *state);
    state->buffer = buffer;
    state->buffer_size = buffer_size;
    state->user = user;
    return 0;
}

void gnssparser_reset(gnssparser_s *state)
{
    state->sync = 0;
    state->count = 0;
    state->handler = nullptr;
    state->frame_length = 0;
    state->position = 0;
    state->frame_position = 0;
    state->gsof_length = 0;
    state->gsof_page = 0;
    state->gsof_page_last = 0;
    state->gsof_transmission = 0;
}

static void resume_after(gnssparser_s *s, uint32_t rejected);

// The longest sync pattern, in bytes (a whole RTCM 2 word).
static const uint32_t kSyncHeldMax = 5;

void gnssparser_flush(gnssparser_s *state)
{
    // The stream ends inside a candidate frame: it can never be whole, so it
    // is given up like a rejected one, and frames that lie within its bytes
    // are still delivered.
    while (state->buffer && state->handler && state->count > 0) {
        state->handler = nullptr;
        state->frame_length = 0;
        resume_after(state, state->count);
    }
    if (state->callback_crack && state->count > 0 && state->buffer)
        state->callback_crack(state->buffer, state->count, state->user);
    gnssparser_reset(state);
}

void gnssparser_get_position(const gnssparser_s *state, uint64_t *frame_position, uint64_t *position)
{
    if (frame_position) *frame_position = state->frame_position;
    if (position) *position = state->position;
}

#define SETTER(field)                                                                   \
    void gnssparser_##field(gnssparser_s *state, gnssparser_callback_t callback)        \
    {                                                                                   \
        state->field = callback;                                                        \
    }
SETTER(callback_line)
SETTER(callback_crack)
SETTER(callback_lcgx)
SETTER(callback_rtcm2)
SETTER(callback_rtcm3)
SETTER(callback_ublox)
SETTER(callback_novatel)
SETTER(callback_novatelx)
SETTER(callback_unicore)
SETTER(callback_hemisphere)
SETTER(callback_septentrio)
SETTER(callback_trimble)
SETTER(callback_sino)
SETTER(callback_cshg)
SETTER(callback_hci)
SETTER(callback_fmi)
#undef SETTER

void gnssparser_callback_trimble_gsof(gnssparser_s *state, gnssparser_callback_t callback,
                                      uint8_t *buffer, uint32_t size)
{
    state->callback_trimble_gsof = callback;
    state->gsof_buffer = buffer;
    state->gsof_size = size;
    state->gsof_length = 0;
    state->gsof_page = 0xFFFFFFFFu;
}

// The kalx key is never held in the clear in the state record.
static uint64_t kalx_transform(uint64_t key)
{
    return ~((key << 29) | (key >> 35)) ^ 0x5A3C96E1D2B4F078ull;
}

void gnssparser_callback_kalx(gnssparser_s *state, gnssparser_callback_t callback, uint32_t id, uint64_t key)
{
    state->callback_kalx = callback;
    state->kalx_id = id;
    state->kalx_key = kalx_transform(key);
}

void gnssparser_callback_other(gnssparser_s *state, gnssparser_callback_t callback, uint32_t pattern,
                               uint32_t mask, uint8_t length_offset, int8_t length_size,
                               uint8_t length_add, gnssparser_check_t check)
{
    state->other_mask = mask;
    state->other_pattern = pattern & mask;
    state->other_sync_length = (mask & 0xFF000000u) ? 4 : (mask & 0xFFFF0000u) ? 3 : (mask & 0xFFFFFF00u) ? 2 : 1;
    state->other_length_offset = length_offset;
    state->other_length_size = length_size;
    state->other_length_add = length_add;
    state->other_check = check;
    state->callback_other = callback;
    uint32_t size = (uint32_t)(length_size < 0 ? -(int)length_size : length_size);
    if (!callback || mask == 0 || (length_size == 0 && length_add == 0) ||
        (uint32_t)length_offset + length_add + size >= state->buffer_size)
        state->callback_other = nullptr;
}

void gnssparser_lcgx_set_key(gnssparser_s *state, uint16_t key)
{
    state->lcgx_key = key;
}

int gnssparser_kalx_update_session(gnssparser_s *state, uint16_t session)
{
    if (session == 0) {
        state->kalx_session = 0;
        state->kalx_session_previous = 0;
        return 0;
    }
    if (state->kalx_session_previous == 0 && state->kalx_session == 0) {
        state->kalx_session = session;
        state->kalx_session_previous = session;
        return session;
    }
    uint16_t former = state->kalx_session;
    state->kalx_session_previous = former;
    state->kalx_session = session;
    return former;
}

void gnssparser_kalx_set_white_list(gnssparser_s *state, const uint32_t *list, uint32_t count)
{
    state->kalx_white_list = list;
    state->kalx_white_count = list ? count : 0;
}

void gnssparser_kalx_set_black_list(gnssparser_s *state, const uint32_t *list, uint32_t count)
{
    state->kalx_black_list = list;
    state->kalx_black_count = list ? count : 0;
}

// Passes the bytes held before a match to the discarded-data callback while
// `position` reads as the offset where the match starts.
static void crack_before(gnssparser_s *s, uint32_t held, uint64_t start_offset)
{
    if (held == 0 || !s->callback_crack) return;
    uint64_t saved = s->position;
    s->position = start_offset;
    s->callback_crack(s->buffer, held, s->user);
    s->position = saved;
}

// A text line ends at the byte just stored (0x0A). It begins after the last
// 0 byte held before it, so binary data ahead of a sentence is not part of it.
static void deliver_line(gnssparser_s *s)
{
    uint8_t *buf = s->buffer;
    uint32_t count = s->count;
    buf[count] = 0; // room is always kept for this
    uint32_t start = 0;
    const void *zero = count > 1 ? memrchr(buf, 0, count - 1) : nullptr;
    if (zero) start = (uint32_t)((const uint8_t *)zero - buf) + 1;
    crack_before(s, start, s->position - (count - start));
    s->callback_line(buf + start, count - start, s->user);
    s->count = 0;
    s->frame_position = s->position;
}

static void start_frame(gnssparser_s *s, uint32_t sync_length, gnssparser_handler_t handler, uint32_t length)
{
    uint32_t held = s->count - sync_length;
    uint64_t start = s->position - sync_length;
    crack_before(s, held, start);
    s->frame_position = start;
    if (held) memmove(s->buffer, s->buffer + held, sync_length);
    s->count = sync_length;
    s->frame_length = length;
    s->handler = handler;
}

static inline int is_upper(uint8_t c)
{
    return c >= 'A' && c <= 'Z';
}

static uint32_t fmi_length(uint8_t letter)
{
    switch (letter) {
    case 'a': return 92;
    case 'c': return 44;
    case 'g': return 95;
    case 'm': return 52;
    case 'n': return 100;
    default: return 0;
    }
}

// The synchronisation tests, in their fixed order, on the byte just stored.
static void search(gnssparser_s *s, uint8_t b)
{
    const uint32_t sync = s->sync;
    const uint32_t count = s->count;

    if (b == 0x0A && s->callback_line) {
        deliver_line(s);
        return;
    }
    if (count >= 2) {
        uint32_t last2 = sync & 0xFFFFu;
        if (s->callback_lcgx && last2 == 0xF595u) return start_frame(s, 2, gnssparser_handler_lcgx, 0);
        if (s->callback_kalx && last2 == 0xF696u) return start_frame(s, 2, gnssparser_handler_kalx, 0);
        if (s->callback_rtcm2 && count >= 5 && gnssparser_rtcm2_sync(s))
            return start_frame(s, 5, gnssparser_handler_rtcm2, 0);
        if (s->callback_rtcm3 && (sync & 0xFFFCu) == 0xD300u) return start_frame(s, 2, gnssparser_handler_rtcm3, 0);
        if (s->callback_ublox && last2 == 0xB562u) return start_frame(s, 2, gnssparser_handler_ublox, 0);
        if (count >= 3) {
            uint32_t last3 = sync & 0xFFFFFFu;
            if (s->callback_novatel && last3 == 0xAA4412u) return start_frame(s, 3, gnssparser_handler_novatel, 0);
            if (s->callback_novatelx && last3 == 0xAA4416u) return start_frame(s, 3, gnssparser_handler_novatelx, 0);
            if (s->callback_unicore && last3 == 0xAA44B5u) return start_frame(s, 3, gnssparser_handler_unicore, 0);
            if (s->callback_hemisphere && count >= 4 && sync == 0x2442494Eu) // "$BIN"
                return start_frame(s, 4, gnssparser_handler_hemisphere, 0);
        }
        if (s->callback_septentrio && last2 == 0x2440u) // "$@"
            return start_frame(s, 2, gnssparser_handler_septentrio, 0);
    }
    if (b == 0x02 && (s->callback_trimble || s->callback_trimble_gsof))
        return start_frame(s, 1, gnssparser_handler_trimble, 0);
    if (count >= 4) {
        if (s->callback_sino && (sync >> 16) == 0x2424u && is_upper((uint8_t)(sync >> 8)) && is_upper(b))
            return start_frame(s, 4, gnssparser_handler_sino, 0);
        if (s->callback_cshg && sync == 0x43534847u) // "CSHG"
            return start_frame(s, 4, gnssparser_handler_cshg, 0);
    }
    if (s->callback_hci && b >= 0x01 && b <= 0x04) return start_frame(s, 1, gnssparser_handler_hci, 0);
    if (s->callback_fmi && count >= 4 && (sync & 0xFFFFFF00u) == 0x666D6900u) { // "fmi" + letter
        uint32_t length = fmi_length(b);
        if (length && length < s->buffer_size) return start_frame(s, 4, gnssparser_handler_fmi, length);
    }
    if (s->callback_other && count >= s->other_sync_length && (sync & s->other_mask) == s->other_pattern)
        return start_frame(s, s->other_sync_length, gnssparser_handler_other, 0);
}

// Runs the bytes through the byte loop. `data` may point into the framer's
// own buffer (the bytes of a rejected candidate being searched again), so held
// bytes are moved, never copied. Returns the number of bytes consumed; it stops
// early, just after the byte that made a handler reject its candidate, and then
// `rejected` holds the number of bytes the candidate had (still in the buffer,
// its first sync byte at the start). Otherwise `rejected` is 0.
static uint32_t consume(gnssparser_s *s, const uint8_t *data, uint32_t length, uint32_t *rejected)
{
    const uint32_t held_max = s->buffer_size - 1;
    uint32_t i = 0;
    *rejected = 0;
    while (i < length) {
        // Inside a frame of known length nothing happens until its last byte,
        // so the bytes up to it are stored in one go. RTCM 2 is the exception:
        // its handler checks the form of every byte.
        if (s->handler && s->frame_length > s->count + 1 && s->handler != gnssparser_handler_rtcm2 &&
            s->count < held_max) {
            uint32_t n = s->frame_length - s->count - 1;
            if (n > held_max - s->count) n = held_max - s->count;
            if (n > length - i) n = length - i;
            memmove(s->buffer + s->count, data + i, n);
            s->count += n;
            s->position += n;
            for (uint32_t k = n > 4 ? n - 4 : 0; k < n; k++) s->sync = (s->sync << 8) | data[i + k];
            i += n;
            continue;
        }

        const uint8_t b = data[i++];
        if (s->count < held_max) {
            s->buffer[s->count++] = b;
        } else {
            // The buffer is full. While searching, the last bytes held may be
            // the start of a sync that this byte completes (a long run of
            // padding before a frame): they stay, or that frame would be lost.
            uint32_t keep = s->handler ? 0 : kSyncHeldMax - 1;
            if (keep > held_max - 1) keep = held_max - 1;
            const uint32_t drop = s->count - keep;
            crack_before(s, drop, s->position - keep);
            memmove(s->buffer, s->buffer + drop, keep);
            s->frame_position = s->position - keep;
            s->buffer[keep] = b;
            s->count = keep + 1;
        }
        s->sync = (s->sync << 8) | b;
        s->position++;

        if (s->handler) {
            if (s->handler(s)) continue;
            s->handler = nullptr;
            s->frame_length = 0;
            if (s->count > 0) { // rejected: a delivered frame leaves nothing held
                *rejected = s->count;
                return i;
            }
            s->frame_position = s->position;
            continue;
        }
        search(s, b);
    }
    return i;
}

// A rejected candidate's first sync byte is discarded; the search resumes at
// the byte after it, so a genuine frame that a false sync (or a damaged frame)
// swallowed is still found. The candidate's other bytes are still in the
// buffer: they are fed again from there, in place. Every byte fed from the
// buffer lies beyond the bytes held since (the held count grows by at most one
// per byte fed, and starts below the feeding point), so storing never
// overwrites a byte still to be fed. A candidate rejected while feeding from
// the buffer puts its own bytes back just ahead of the ones still waiting.
static void resume_after(gnssparser_s *s, uint32_t rejected)
{
    uint8_t *buf = s->buffer;
    uint64_t first = s->position - rejected; // stream offset of the first sync byte
    uint32_t next = 1, end = rejected;       // bytes still to be fed: buf[next, end)
    for (;;) {
        if (s->callback_crack) {
            uint64_t saved = s->position;
            s->position = first + 1;
            s->callback_crack(buf, 1, s->user);
            s->position = saved;
        }
        s->count = 0;
        s->sync = 0;
        s->position = first + 1;
        s->frame_position = first + 1;
        uint32_t again = 0;
        next += consume(s, buf + next, end - next, &again);
        if (again == 0) return;
        // The held bytes of the new candidate start at buf[0]; move all but its
        // first byte back in front of the bytes still waiting.
        first = s->position - again;
        next -= again - 1;
        memmove(buf + next, buf + 1, again - 1);
    }
}

void gnssparser_input(gnssparser_s *s, const uint8_t *data, uint32_t length)
{
    if (!s->buffer || length == 0 || !data || s->buffer_size < 2) return;
    uint32_t i = 0;
    while (i < length) {
        uint32_t rejected = 0;
        i += consume(s, data + i, length - i, &rejected);
        if (rejected) resume_after(s, rejected);
    }
}
