// Little-endian writer of receiver log bodies for the test encoders: fields
// at explicit offsets (as the log references' tables give them), fields one
// after another from a cursor (as tables without gaps list them), and bit
// fields least significant bit first. IEEE 754 values go out as their bits.
#ifndef QUORVANE_TESTS_LE_WRITER_H
#define QUORVANE_TESTS_LE_WRITER_H

#include <stdint.h>
#include <string.h>

#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

namespace le {

// A bit field: position from bit 0 of the block, width, value (only its low
// `width` bits are kept, so negative values come out in two's complement).
struct Bits {
    unsigned position, width;
    uint64_t value;
};

struct Writer {
    std::vector<uint8_t> b;
    size_t next = 0; // the cursor of the sequential writers
    explicit Writer(size_t size = 0) : b(size, 0) {}
    void grow(size_t end)
    {
        if (b.size() < end) b.resize(end, 0);
    }
    // `n` bytes of v at `at`, least significant first.
    void le(size_t at, uint64_t v, int n)
    {
        grow(at + n);
        for (int i = 0; i < n; ++i) b[at + i] = (uint8_t)(v >> (8 * i));
    }
    template <typename U, typename F> void ieee(size_t at, F v)
    {
        U u;
        memcpy(&u, &v, sizeof u);
        le(at, u, sizeof u);
    }
    void u8(size_t at, uint8_t v) { le(at, v, 1); }
    void u16(size_t at, uint16_t v) { le(at, v, 2); }
    void u32(size_t at, uint32_t v) { le(at, v, 4); }
    void f32(size_t at, float v) { ieee<uint32_t>(at, v); }
    void f64(size_t at, double v) { ieee<uint64_t>(at, v); }
    // Consecutive bytes from `at`; several fields of one type as (offset,
    // value) pairs.
    void u8s(size_t at, std::initializer_list<uint8_t> v) { for (uint8_t x : v) u8(at++, x); }
    void u32s(std::initializer_list<std::pair<size_t, uint32_t>> v) { for (const auto &p : v) u32(p.first, p.second); }
    void f64s(std::initializer_list<std::pair<size_t, double>> v) { for (const auto &p : v) f64(p.first, p.second); }

    // Sequential fields from `from(offset)` on (from 0 when never set).
    Writer &from(size_t offset) { return next = offset, *this; }
    Writer &n1(uint8_t v) { return u8(next, v), next += 1, *this; }
    Writer &n2(uint16_t v) { return u16(next, v), next += 2, *this; }
    Writer &n4(uint32_t v) { return u32(next, v), next += 4, *this; }
    Writer &f4(float v) { return f32(next, v), next += 4, *this; }
    Writer &f8(double v) { return f64(next, v), next += 8, *this; }
    // A text in a field of `width` bytes, padded with NULs.
    Writer &text(const std::string &s, size_t width)
    {
        for (size_t i = 0; i < width; ++i) n1(i < s.size() ? (uint8_t)s[i] : 0);
        return *this;
    }

    // Bit field, least significant bit first from bit 0 of byte `at`.
    void bits(size_t at, unsigned position, unsigned width, uint64_t value)
    {
        grow(at + (position + width + 7) / 8);
        for (unsigned i = 0; i < width; ++i) {
            const unsigned bit = position + i;
            const uint8_t mask = (uint8_t)(1u << (bit % 8));
            if ((value >> i) & 1) b[at + bit / 8] |= mask;
            else b[at + bit / 8] &= (uint8_t)~mask;
        }
    }
    void bits(size_t at, std::initializer_list<Bits> list)
    {
        for (const Bits &f : list) bits(at, f.position, f.width, f.value);
    }
};

} // namespace le

#endif
