// Reading real receiver logs in tests: the frames of a whole log, found
// independently of the framer under test, the log damaged between them,
// dates as ms since 1970, and many fields compared in one check.
#ifndef QUORVANE_TESTS_LOG_FRAMES_H
#define QUORVANE_TESTS_LOG_FRAMES_H

#include <math.h>
#include <stdint.h>
#include <string.h>
#include <time.h>

#include <tuple>
#include <vector>

#include "frame_builders.h"
#include "rtcm3_encoder.h"
#include "util.h"

namespace logs {

// The frames of a log, scanning byte by byte: `whole(p, left)` gives the
// length of the checked frame that starts at p (0 when none does), called
// only where at least `header` bytes are left. A start that fails is passed
// by one byte only, so a false or damaged frame never hides the genuine
// ones inside it.
template <typename Whole>
std::vector<std::vector<uint8_t>> split(const std::vector<uint8_t> &data, size_t header, Whole whole)
{
    std::vector<std::vector<uint8_t>> frames;
    for (size_t i = 0; i + header <= data.size();) {
        const size_t total = whole(&data[i], data.size() - i);
        if (total == 0) {
            i++;
            continue;
        }
        frames.emplace_back(data.begin() + i, data.begin() + i + total);
        i += total;
    }
    return frames;
}

// Every D3 frame whose length fits and whose CRC-24Q (the test encoder's,
// not the library's) checks.
inline std::vector<std::vector<uint8_t>> rtcm3_frames(const std::vector<uint8_t> &data)
{
    return split(data, 6, [](const uint8_t *p, size_t left) -> size_t {
        const size_t total = (((size_t)p[1] & 3) << 8 | p[2]) + 6;
        const bool ok = p[0] == 0xD3 && !(p[1] & 0xFC) && total <= left && rtcm3enc::crc24q(p, total) == 0;
        return ok ? total : 0;
    });
}

// `n` bits (at most 64) of an RTCM 3 frame's body from bit `at`, most
// significant first, as the standard numbers them.
inline uint64_t rtcm3_bits(const std::vector<uint8_t> &frame, int at, int n)
{
    uint64_t v = 0;
    for (int i = at; i < at + n; i++) v = v << 1 | ((frame[3 + i / 8] >> (7 - i % 8)) & 1);
    return v;
}

// Every AA 44 12 frame whose header and body lengths fit and whose CRC checks.
inline std::vector<std::vector<uint8_t>> novatel_frames(const std::vector<uint8_t> &data)
{
    return split(data, 28, [](const uint8_t *p, size_t left) -> size_t {
        const size_t total = (size_t)p[3] + (p[8] | (p[9] << 8)) + 4;
        const bool ok = p[0] == 0xAA && p[1] == 0x44 && p[2] == 0x12 && p[3] >= 28 && total <= left &&
                        util_crc32_novatel(0, p, (uint32_t)total) == 0;
        return ok ? total : 0;
    });
}

// Every "$@" block whose length fits and whose CRC-16 checks.
inline std::vector<std::vector<uint8_t>> sbf_frames(const std::vector<uint8_t> &data)
{
    return split(data, 8, [](const uint8_t *p, size_t left) -> size_t {
        const size_t total = p[6] | p[7] << 8;
        const bool ok = p[0] == '$' && p[1] == '@' && total >= 8 && total <= left &&
                        fb::crc16_ccitt(p + 4, total - 4) == (p[2] | p[3] << 8);
        return ok ? total : 0;
    });
}

// Every B5 62 frame whose length fits and whose Fletcher sums check.
inline std::vector<std::vector<uint8_t>> ubx_frames(const std::vector<uint8_t> &data)
{
    return split(data, 8, [](const uint8_t *p, size_t left) -> size_t {
        const size_t total = (p[4] | p[5] << 8) + 8;
        const bool ok = p[0] == 0xB5 && p[1] == 0x62 && total <= left &&
                        fb::ublox(p[2], p[3], fb::Bytes(p + 6, p + total - 2)) == fb::Bytes(p, p + total);
        return ok ? total : 0;
    });
}

// A log's frames with damage between them, each kind before every fourth
// frame: a comment line, the stray bytes given, the frame's first half, a
// copy of the frame with its last byte changed.
inline std::vector<uint8_t> damaged(const std::vector<std::vector<uint8_t>> &frames, const std::vector<uint8_t> &stray)
{
    const char comment[] = "# logged by the receiver's web interface\r\n";
    std::vector<uint8_t> out;
    for (size_t i = 0; i < frames.size(); ++i) {
        const std::vector<uint8_t> &f = frames[i];
        if (i % 4 == 0) out.insert(out.end(), comment, comment + sizeof comment - 1);
        if (i % 4 == 1) out.insert(out.end(), stray.begin(), stray.end());
        if (i % 4 == 2) out.insert(out.end(), f.begin(), f.begin() + f.size() / 2);
        if (i % 4 == 3) out.insert(out.end(), f.begin(), f.end()), out.back() ^= 0x5A;
        out.insert(out.end(), f.begin(), f.end());
    }
    return out;
}

// A calendar date and time of day as ms since 1970, on the scale it is given in.
inline int64_t utc_ms(int year, int month, int day, int hour, int minute, double second = 0)
{
    struct tm t;
    memset(&t, 0, sizeof t);
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    return (int64_t)timegm(&t) * 1000 + llround(second * 1000);
}

// Values taken by copy (bit-fields too), so that one EXPECT_EQ compares many
// fields with their expected values and prints them all when one differs.
template <typename... T> std::tuple<T...> fields(T... v)
{
    return std::tuple<T...>(v...);
}

} // namespace logs

#endif
