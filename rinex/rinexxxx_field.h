// The 16-character observation field (F14.3, LLI, signal strength) both
// writers print, formatted in place, and the value a reader finds in it.
// Inline: it is the inner loop of a conversion, four fields per observation.
#ifndef QUORVANE_RINEX_RINEXXXX_FIELD_H
#define QUORVANE_RINEX_RINEXXXX_FIELD_H

#include <math.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "rinexxxx.h"

namespace obsfield {

inline constexpr char kDigitPairs[] = "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
                          "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
                          "8081828384858687888990919293949596979899";

// One 16-character observation field (F14.3, LLI, SSI) at `out`, the same
// text as sprintObs, formatted in place: the field writer is the inner loop
// of a conversion (four fields per observation), so values below a billion
// (all but folded ones) take a short path of digit pairs in 32-bit
// arithmetic; anything else goes to sprintObs itself. Formatting in place
// rather than copying from a scratch field also matters: a 16-byte copy of
// bytes just written one by one stalls the CPU.
inline void putField(char *out, double v, char lli, char ssi)
{
    const double scaled = fabs(v) * 1000.0 + 0.5;
    if (!(scaled < 1e12)) {
        // sprintObs ends with a zero byte; the byte it lands on (the next
        // field, or the room left after the last one) is put back.
        const char next = out[16];
        Rinexxxx::sprintObs(out, v, lli, ssi);
        out[16] = next;
        return;
    }
    const uint64_t n = (uint64_t)scaled;
    uint32_t whole = (uint32_t)(n / 1000);
    const uint32_t frac = (uint32_t)(n - (uint64_t)whole * 1000);
    out[10] = '.';
    out[11] = (char)('0' + frac / 100);
    memcpy(out + 12, kDigitPairs + 2 * (frac % 100), 2);
    int pos = 10; // digits of the whole part end at column 9
    while (whole >= 100) {
        const uint32_t q = whole / 100;
        pos -= 2;
        memcpy(out + pos, kDigitPairs + 2 * (whole - q * 100), 2);
        whole = q;
    }
    if (whole >= 10) {
        pos -= 2;
        memcpy(out + pos, kDigitPairs + 2 * whole, 2);
    } else {
        out[--pos] = (char)('0' + whole);
    }
    out[--pos] = v < 0 && n != 0 ? '-' : ' ';
    while (pos > 0) out[--pos] = ' ';
    out[14] = lli;
    out[15] = ssi;
}

// The value a reader finds in a field putField has written: the same
// thousandths, divided as a reader divides them.
inline double printedValue(double v)
{
    const double scaled = fabs(v) * 1000.0 + 0.5;
    if (!(scaled < 1e12)) {
        char text[32];
        Rinexxxx::sprintObs(text, v, ' ', ' ');
        text[14] = 0;
        char *end = nullptr;
        const double x = strtod(text, &end);
        return end != text ? x : NAN;
    }
    const uint64_t n = (uint64_t)scaled;
    const double x = (double)n / 1000.0;
    return v < 0 && n != 0 ? -x : x;
}

} // namespace obsfield

#endif
