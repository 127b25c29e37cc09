#include "util.h"

#include <math.h>
#include <stdio.h>
#include <string.h>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define UTIL_CRC24_FOLD 1
#endif

namespace {

// CRC-24Q and the NovAtel CRC run through tables computed at compile time
// from the bitwise definitions (slicing by eight bytes), so the results are
// bit-identical and the library still holds no run-time state. They run once
// over every frame, which makes them the framer's main cost.
//
// CRC-24Q is kept in the top 24 bits of a 32-bit register so that whole
// big-endian words can be folded in.
struct Crc24Table {
    uint32_t v[8][256];
    constexpr Crc24Table() : v() {
        for (uint32_t i = 0; i < 256; i++) {
            uint32_t c = i << 24;
            for (int k = 0; k < 8; k++) c = (c & 0x80000000u) ? ((c << 1) ^ 0x864CFB00u) : (c << 1);
            v[0][i] = c;
        }
        for (int t = 1; t < 8; t++)
            for (uint32_t i = 0; i < 256; i++) v[t][i] = (v[t - 1][i] << 8) ^ v[0][v[t - 1][i] >> 24];
    }
};
struct Crc32Table {
    uint32_t v[8][256];
    constexpr Crc32Table() : v() {
        for (uint32_t i = 0; i < 256; i++) {
            uint32_t c = i;
            for (int k = 0; k < 8; k++) c = (c & 1u) ? ((c >> 1) ^ 0xEDB88320u) : (c >> 1);
            v[0][i] = c;
        }
        for (int t = 1; t < 8; t++)
            for (uint32_t i = 0; i < 256; i++) v[t][i] = (v[t - 1][i] >> 8) ^ v[0][v[t - 1][i] & 0xFFu];
    }
};
struct Crc16Table {
    uint16_t v[16];
    constexpr Crc16Table() : v() {
        for (uint32_t i = 0; i < 16; i++) {
            uint32_t c = i << 12;
            for (int k = 0; k < 4; k++) c = (c & 0x8000u) ? ((c << 1) ^ 0x1021u) : (c << 1);
            v[i] = (uint16_t)c;
        }
    }
};
constexpr Crc24Table kCrc24;
constexpr Crc32Table kCrc32;
constexpr Crc16Table kCrc16;

inline uint32_t be32(const uint8_t *p)
{
    return ((uint32_t)p[0] << 24) | ((uint32_t)p[1] << 16) | ((uint32_t)p[2] << 8) | p[3];
}

inline uint32_t le32(const uint8_t *p)
{
    return (uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16) | ((uint32_t)p[3] << 24);
}

#ifdef UTIL_CRC24_FOLD
// CRC-24Q of long frames by carry-less multiplication. Kept in the top 24
// bits of 32, the CRC is that of the polynomial P' = P x^8: the remainder
// of the message times x^32 modulo P'. A 128-bit block B followed by 16
// more bytes N stands for B x^128 + N, and B x^128 is congruent to
// hi(B) (x^192 mod P') + lo(B) (x^128 mod P'), two products of at most 96
// bits: so the message folds, block by block, into one 128-bit value of the
// same remainder, whose CRC the tables then take. Four blocks are folded side
// by side (by x^512) since each product waits for the one before.

// x^n modulo P'.
constexpr uint64_t crc24PowerMod(int n)
{
    uint64_t r = 1;
    for (int i = 0; i < n; i++) {
        r <<= 1;
        if (r & (1ull << 32)) r ^= 0x1864CFB00ull;
    }
    return r;
}

__attribute__((target("pclmul,ssse3"))) inline __m128i crc24Reverse(__m128i x)
{
    return _mm_shuffle_epi8(x, _mm_set_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15));
}

// Big-endian: the first byte holds the highest powers.
__attribute__((target("pclmul,ssse3"))) inline __m128i crc24Load(const uint8_t *p)
{
    return crc24Reverse(_mm_loadu_si128(reinterpret_cast<const __m128i *>(p)));
}

__attribute__((target("pclmul,ssse3"))) inline __m128i crc24Fold(__m128i x, __m128i k)
{
    return _mm_xor_si128(_mm_clmulepi64_si128(x, k, 0x11), _mm_clmulepi64_si128(x, k, 0x00));
}

// The 32-bit register after `length` bytes (a multiple of 16, at least 64)
// from register `c`.
__attribute__((target("pclmul,ssse3"))) uint32_t crc24Folded(uint32_t c, const uint8_t *data, uint32_t length)
{
    const __m128i k4 = _mm_set_epi64x((long long)crc24PowerMod(576), (long long)crc24PowerMod(512));
    const __m128i k1 = _mm_set_epi64x((long long)crc24PowerMod(192), (long long)crc24PowerMod(128));
    // A start value is the first 32 message bits flipped.
    __m128i x0 = _mm_xor_si128(crc24Load(data), _mm_set_epi32((int)c, 0, 0, 0));
    __m128i x1 = crc24Load(data + 16), x2 = crc24Load(data + 32), x3 = crc24Load(data + 48);
    uint32_t at = 64;
    for (; at + 64 <= length; at += 64) {
        x0 = _mm_xor_si128(crc24Fold(x0, k4), crc24Load(data + at));
        x1 = _mm_xor_si128(crc24Fold(x1, k4), crc24Load(data + at + 16));
        x2 = _mm_xor_si128(crc24Fold(x2, k4), crc24Load(data + at + 32));
        x3 = _mm_xor_si128(crc24Fold(x3, k4), crc24Load(data + at + 48));
    }
    x1 = _mm_xor_si128(crc24Fold(x0, k1), x1);
    x2 = _mm_xor_si128(crc24Fold(x1, k1), x2);
    x0 = _mm_xor_si128(crc24Fold(x2, k1), x3);
    for (; at < length; at += 16) x0 = _mm_xor_si128(crc24Fold(x0, k1), crc24Load(data + at));
    uint8_t rest[16];
    _mm_storeu_si128(reinterpret_cast<__m128i *>(rest), crc24Reverse(x0));
    // The remainder of those 128 bits times x^32 is the register.
    const auto &t = kCrc24.v;
    uint32_t r = 0;
    for (int i = 0; i < 16; i += 8) {
        const uint32_t a = r ^ be32(rest + i), b = be32(rest + i + 4);
        r = t[7][a >> 24] ^ t[6][(a >> 16) & 0xFFu] ^ t[5][(a >> 8) & 0xFFu] ^ t[4][a & 0xFFu] ^ t[3][b >> 24] ^
            t[2][(b >> 16) & 0xFFu] ^ t[1][(b >> 8) & 0xFFu] ^ t[0][b & 0xFFu];
    }
    return r;
}
#endif

} // namespace

uint32_t util_crc24_rtcm3(uint32_t crc, const uint8_t *data, uint32_t length)
{
    const auto &t = kCrc24.v;
    uint32_t c = (crc & 0xFFFFFFu) << 8;
    uint32_t i = 0;
#ifdef UTIL_CRC24_FOLD
    // Every frame is checked once in each pass: the folding takes a long
    // frame at several times the tables' speed, where the processor has it.
    if (length >= 64 && __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("ssse3")) {
        i = length & ~15u;
        c = crc24Folded(c, data, i);
    }
#endif
    for (; i + 8 <= length; i += 8) {
        uint32_t a = c ^ be32(data + i), b = be32(data + i + 4);
        c = t[7][a >> 24] ^ t[6][(a >> 16) & 0xFFu] ^ t[5][(a >> 8) & 0xFFu] ^ t[4][a & 0xFFu] ^
            t[3][b >> 24] ^ t[2][(b >> 16) & 0xFFu] ^ t[1][(b >> 8) & 0xFFu] ^ t[0][b & 0xFFu];
    }
    for (; i < length; i++) c = (c << 8) ^ t[0][(c >> 24) ^ data[i]];
    return c >> 8;
}

uint32_t util_crc32_novatel(uint32_t crc, const uint8_t *data, uint32_t length)
{
    (void)crc; // this CRC always starts at 0
    const auto &t = kCrc32.v;
    uint32_t c = 0;
    uint32_t i = 0;
    for (; i + 8 <= length; i += 8) {
        uint32_t a = c ^ le32(data + i), b = le32(data + i + 4);
        c = t[7][a & 0xFFu] ^ t[6][(a >> 8) & 0xFFu] ^ t[5][(a >> 16) & 0xFFu] ^ t[4][a >> 24] ^
            t[3][b & 0xFFu] ^ t[2][(b >> 8) & 0xFFu] ^ t[1][(b >> 16) & 0xFFu] ^ t[0][b >> 24];
    }
    for (; i < length; i++) c = (c >> 8) ^ t[0][(c ^ data[i]) & 0xFFu];
    return c;
}

uint32_t util_crc16(uint32_t crc, const uint8_t *data, uint32_t length)
{
    for (uint32_t i = 0; i < length; i++) {
        crc = (crc << 4) ^ kCrc16.v[((crc >> 12) ^ (data[i] >> 4)) & 0x0Fu];
        crc = (crc << 4) ^ kCrc16.v[((crc >> 12) ^ (data[i] & 0x0Fu)) & 0x0Fu];
        crc &= 0xFFFFu;
    }
    return crc;
}

int util_check_ublox(const uint8_t *frame, uint32_t length)
{
    if (length < 4) return 1;
    uint8_t a = 0, b = 0;
    for (uint32_t i = 2; i + 2 < length; i++) {
        a = (uint8_t)(a + frame[i]);
        b = (uint8_t)(b + a);
    }
    return (a == frame[length - 2] && b == frame[length - 1]) ? 0 : 1;
}

static int hex_digit(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

int util_check_line_nmea(const char *line)
{
    if (!line || line[0] != '$') return -1;
    uint8_t x = 0;
    int n = 0;
    const char *p = line + 1;
    while (*p && *p != '*') {
        if (++n > 511) return -2;
        x ^= (uint8_t)*p++;
    }
    if (*p != '*') return -2;
    int h = hex_digit(p[1]);
    int l = h < 0 ? -1 : hex_digit(p[2]);
    if (h < 0 || l < 0) return -3;
    return ((h << 4) | l) == x ? 0 : -3;
}

uint32_t util_rtcm2_get_parity(uint32_t word)
{
    static const uint32_t masks[6] = {0xBB1F3480u, 0x5D8F9A40u, 0xAEC7CD00u,
                                      0x5763E680u, 0x6BB1F340u, 0x8B7A89C0u};
    uint32_t parity = 0;
    for (int i = 0; i < 6; i++) {
        uint32_t v = (word & masks[i]) >> 6;
        v ^= v >> 16;
        v ^= v >> 8;
        v ^= v >> 4;
        v ^= v >> 2;
        v ^= v >> 1;
        parity = (parity << 1) | (v & 1u);
    }
    return parity;
}

uint32_t util_crc8(uint32_t crc, const uint8_t *data, uint32_t length)
{
    crc &= 0xFFu;
    for (uint32_t i = 0; i < length; i++) {
        crc ^= data[i];
        for (int k = 0; k < 8; k++) crc = (crc & 0x80u) ? (((crc << 1) ^ 0x8Du) & 0xFFu) : ((crc << 1) & 0xFFu);
    }
    return crc;
}

uint32_t util_crc16_modbus(uint32_t crc, const uint8_t *data, uint32_t length)
{
    crc &= 0xFFFFu;
    for (uint32_t i = 0; i < length; i++) {
        crc ^= data[i];
        for (int k = 0; k < 8; k++) crc = (crc & 1u) ? ((crc >> 1) ^ 0xA001u) : (crc >> 1);
    }
    return crc;
}

uint32_t util_crc32_04C11DB7(uint32_t crc, const uint8_t *data, uint32_t length)
{
    for (uint32_t i = 0; i < length; i++) {
        crc ^= (uint32_t)data[i] << 24;
        for (int k = 0; k < 8; k++) crc = (crc & 0x80000000u) ? ((crc << 1) ^ 0x04C11DB7u) : (crc << 1);
    }
    return crc;
}

uint32_t util_crc32_EDB88320(uint32_t crc, const uint8_t *data, uint32_t length)
{
    for (uint32_t i = 0; i < length; i++) {
        crc ^= (uint32_t)data[i] << 24;
        for (int k = 0; k < 8; k++) crc = (crc & 0x80000000u) ? ((crc << 1) ^ 0xEDB88320u) : (crc << 1);
    }
    return crc;
}

namespace {
struct Crc32cTable {
    uint32_t v[256];
    constexpr Crc32cTable() : v() {
        for (uint32_t i = 0; i < 256; i++) {
            uint32_t c = i;
            for (int k = 0; k < 8; k++) c = (c & 1u) ? ((c >> 1) ^ 0x82F63B78u) : (c >> 1);
            v[i] = c;
        }
    }
};
constexpr Crc32cTable kCrc32c;
} // namespace

uint32_t util_crc32_castagnoli(uint32_t crc, const uint8_t *data, uint32_t length)
{
    crc = ~crc;
    for (uint32_t i = 0; i < length; i++) crc = (crc >> 8) ^ kCrc32c.v[(crc ^ data[i]) & 0xFFu];
    return ~crc;
}

int util_check_line_crc32(const char *line)
{
    if (!line || line[0] != '#') return -1;
    const char *star = strchr(line, '*');
    if (!star) return -2;
    uint32_t crc = util_crc32_novatel(0, (const uint8_t *)line + 1, (uint32_t)(star - line - 1));
    char text[9];
    snprintf(text, sizeof text, "%08x", crc);
    for (int i = 0; i < 8; i++) {
        char c = star[1 + i];
        if (c >= 'A' && c <= 'F') c = (char)(c - 'A' + 'a');
        if (c != text[i]) return -3;
    }
    return 0;
}

int util_check_line(const char *line)
{
    if (!line) return -1;
    if (line[0] == '$') return util_check_line_nmea(line);
    if (line[0] == '#') return util_check_line_crc32(line);
    return -1;
}

int util_snprint_nmea0183_crlf(char *buf, size_t size)
{
    size_t n = strnlen(buf, size);
    if (n == 0 || n + 6 > size) return -1;
    uint8_t x = 0;
    for (size_t i = 1; i < n; i++) x ^= (uint8_t)buf[i];
    snprintf(buf + n, size - n, "*%02X\r\n", x);
    return (int)(n + 5);
}

int util_snprint_crc32_crlf(char *buf, size_t size)
{
    size_t n = strnlen(buf, size);
    if (n == 0 || n + 12 > size) return -1;
    uint32_t crc = util_crc32_novatel(0, (const uint8_t *)buf + 1, (uint32_t)(n - 1));
    snprintf(buf + n, size - n, "*%08x\r\n", crc);
    return (int)(n + 11);
}

uint16_t util_bytes_to_u16(const uint8_t *p) { return (uint16_t)(p[0] | (p[1] << 8)); }
uint32_t util_bytes_to_u24(const uint8_t *p) { return (uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16); }
uint32_t util_bytes_to_u32(const uint8_t *p)
{
    return (uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16) | ((uint32_t)p[3] << 24);
}
uint64_t util_bytes_to_u64(const uint8_t *p)
{
    return (uint64_t)util_bytes_to_u32(p) | ((uint64_t)util_bytes_to_u32(p + 4) << 32);
}
float util_bytes_to_float(const uint8_t *p)
{
    uint32_t u = util_bytes_to_u32(p);
    float f;
    memcpy(&f, &u, 4);
    return f;
}
double util_bytes_to_double(const uint8_t *p)
{
    uint64_t u = util_bytes_to_u64(p);
    double d;
    memcpy(&d, &u, 8);
    return d;
}

uint16_t util_bytes_to_u16_be(const uint8_t *p) { return (uint16_t)((p[0] << 8) | p[1]); }
uint32_t util_bytes_to_u24_be(const uint8_t *p) { return ((uint32_t)p[0] << 16) | ((uint32_t)p[1] << 8) | p[2]; }
uint32_t util_bytes_to_u32_be(const uint8_t *p)
{
    return ((uint32_t)p[0] << 24) | ((uint32_t)p[1] << 16) | ((uint32_t)p[2] << 8) | p[3];
}
uint64_t util_bytes_to_u64_be(const uint8_t *p)
{
    return ((uint64_t)util_bytes_to_u32_be(p) << 32) | util_bytes_to_u32_be(p + 4);
}
float util_bytes_to_float_be(const uint8_t *p)
{
    uint32_t u = util_bytes_to_u32_be(p);
    float f;
    memcpy(&f, &u, 4);
    return f;
}
double util_bytes_to_double_be(const uint8_t *p)
{
    uint64_t u = util_bytes_to_u64_be(p);
    double d;
    memcpy(&d, &u, 8);
    return d;
}

void util_bytes_from_u8(uint8_t *p, uint8_t v) { p[0] = v; }
void util_bytes_from_u16(uint8_t *p, uint16_t v) { p[0] = (uint8_t)v; p[1] = (uint8_t)(v >> 8); }
void util_bytes_from_u16_be(uint8_t *p, uint16_t v) { p[0] = (uint8_t)(v >> 8); p[1] = (uint8_t)v; }
void util_bytes_from_u24(uint8_t *p, uint32_t v)
{
    for (int i = 0; i < 3; i++) p[i] = (uint8_t)(v >> (8 * i));
}
void util_bytes_from_u24_be(uint8_t *p, uint32_t v)
{
    for (int i = 0; i < 3; i++) p[i] = (uint8_t)(v >> (8 * (2 - i)));
}
void util_bytes_from_u32(uint8_t *p, uint32_t v)
{
    for (int i = 0; i < 4; i++) p[i] = (uint8_t)(v >> (8 * i));
}
void util_bytes_from_u32_be(uint8_t *p, uint32_t v)
{
    for (int i = 0; i < 4; i++) p[i] = (uint8_t)(v >> (8 * (3 - i)));
}
void util_bytes_from_u64(uint8_t *p, uint64_t v)
{
    for (int i = 0; i < 8; i++) p[i] = (uint8_t)(v >> (8 * i));
}
void util_bytes_from_u64_be(uint8_t *p, uint64_t v)
{
    for (int i = 0; i < 8; i++) p[i] = (uint8_t)(v >> (8 * (7 - i)));
}
void util_bytes_from_float(uint8_t *p, float v)
{
    uint32_t u;
    memcpy(&u, &v, 4);
    util_bytes_from_u32(p, u);
}
void util_bytes_from_float_be(uint8_t *p, float v)
{
    uint32_t u;
    memcpy(&u, &v, 4);
    util_bytes_from_u32_be(p, u);
}
void util_bytes_from_double(uint8_t *p, double v)
{
    uint64_t u;
    memcpy(&u, &v, 8);
    util_bytes_from_u64(p, u);
}
void util_bytes_from_double_be(uint8_t *p, double v)
{
    uint64_t u;
    memcpy(&u, &v, 8);
    util_bytes_from_u64_be(p, u);
}

int64_t util_gps_time_to_epoch(int32_t week, int64_t ms)
{
    int32_t days = week * 7 + 3657;
    return (int64_t)days * UTIL_DAY_MS + ms;
}

void util_epoch_to_gps_time(int64_t epoch, int32_t *week, int32_t *ms)
{
    int64_t d = epoch - UTIL_GPS_ORIGIN_MS;
    int32_t w = 0, m = 0;
    if (d >= 0) {
        w = (int32_t)(d / UTIL_WEEK_MS);
        m = (int32_t)(d % UTIL_WEEK_MS);
    }
    if (week) *week = w;
    if (ms) *ms = m;
}

int32_t util_round_week(int32_t base, int32_t value, int32_t period)
{
    int32_t w = base;
    for (int i = 0; i < 16; i++) {
        if (value < w + (period >> 1)) break;
        w += period;
    }
    return w;
}

int32_t util_glonass_ephemeris_int(uint32_t value, int bits)
{
    if (bits <= 0 || bits > 32) return 0;
    uint32_t sign = 1u << (bits - 1);
    uint32_t mag = value & (sign - 1u);
    return (value & sign) ? -(int32_t)mag : (int32_t)mag;
}

// WGS-84
static const double kA = 6378137.0;
static const double kF = 1.0 / 298.257223563;
static const double kE2 = kF * (2.0 - kF);
static const double kRadToDeg = 57.295779513082195;

// Height above the ellipsoid for latitude phi. Near the equator Z / sin(phi)
// is 0/0, so there the height is taken from the distance to the axis instead.
static double blh_height(double p, double z, double phi, double n)
{
    double s = sin(phi), c = cos(phi);
    if (fabs(c) > fabs(s)) return p / c - n;
    return z / s - (1.0 - kE2) * n;
}

int util_xyz_to_blh(double x, double y, double z, double *lat, double *lon, double *height)
{
    if (!isfinite(x) || !isfinite(y) || !isfinite(z)) return -1;
    double p = sqrt(x * x + y * y);
    double r = sqrt(x * x + y * y + z * z);
    if (r == 0.0) return -1;
    double phi, h;
    if (p == 0.0) {
        // On the axis: a pole.
        phi = z > 0 ? M_PI / 2 : -M_PI / 2;
        h = fabs(z) - kA * sqrt(1.0 - kE2);
    } else {
        double h0 = r - kA;
        phi = atan2(z / p, 1.0 - kA * kE2 / (kA + h0));
        h = h0;
        for (int i = 0; i < 10; i++) {
            double s = sin(phi);
            double n = kA / sqrt(1.0 - kE2 * s * s);
            double hn = blh_height(p, z, phi, n);
            double phin = atan2(z / p, 1.0 - kE2 * n / (n + hn));
            bool done = fabs(phi - phin) <= 1e-11 && fabs(hn - h) <= 1e-5;
            phi = phin;
            h = hn;
            if (done) break;
        }
        double s = sin(phi);
        double n = kA / sqrt(1.0 - kE2 * s * s);
        h = blh_height(p, z, phi, n);
    }
    double b = phi * kRadToDeg;
    double l = atan2(y, x) * kRadToDeg;
    if (!isfinite(b) || !isfinite(l) || !isfinite(h)) return -1;
    if (lat) *lat = b;
    if (lon) *lon = l;
    if (height) *height = h;
    return 0;
}

void util_blh_to_xyz(double lat, double lon, double height, double *x, double *y, double *z)
{
    double b = lat / kRadToDeg, l = lon / kRadToDeg;
    double s = sin(b);
    double n = kA / sqrt(1.0 - kE2 * s * s);
    double c = cos(b);
    if (x) *x = (n + height) * c * cos(l);
    if (y) *y = (n + height) * c * sin(l);
    if (z) *z = (n * (1.0 - kE2) + height) * s;
}
