// Carrier lock times as receivers report them, and the one rule that turns
// two reports of a signal into "lock kept" or "the phase may have slipped".
//
// Every source reports how long the carrier has been tracked without
// interruption, most of them coarsely: a report stands for an interval of
// lock times, from a least value `min` up to (not including) min +
// `resolution`; the top value of a saturating report has no upper bound
// (resolution negative). Between two epochs of one signal the lock time must
// have grown by at least the time elapsed; when even the largest value the
// current report allows falls short of the previous least value plus the
// elapsed time, lock was lost, whatever the indicator values themselves do
// (an indicator that stays at a low value is a lost lock too).
#ifndef GNSSPARSER_LOCK_TIME_H
#define GNSSPARSER_LOCK_TIME_H

#include <stdint.h>

// Loss of lock between two reports of one signal, `elapsed` seconds apart,
// each given by its least lock time and its resolution (seconds; a negative
// resolution means no upper bound). Returns 1 when the lock time cannot have
// grown by exactly the elapsed time:
// - the later report is too small (current + current_resolution <
//   previous + elapsed): the lock restarted, or an indicator stayed low;
// - the later report is too large (current > previous + previous_resolution
//   + elapsed, one resolution allowed for rounding): the counter does not
//   follow this carrier, so it vouches for nothing;
// - the elapsed time is negative (a report older than the previous one).
// Returns 0 otherwise.
int util_lock_slipped(double previous, double previous_resolution, double current, double current_resolution,
                      double elapsed);

// The lock time that an RTCM 3 MSM lock time indicator stands for (RTCM
// 10403.3): the 4-bit indicator of MSM types 2 to 5 (`extended` 0) or the
// extended 10-bit indicator of types 6 and 7 (`extended` non-zero). Sets
// *min and *resolution in seconds and returns 0; for an indicator outside
// its table (10-bit values 705 to 1023 are reserved) sets 0 and -1 (nothing
// known) and returns -1.
// Inline: every MSM observation asks, and the two values returned through
// memory by a call were read back before their stores had settled, which
// stalled the decoding more than the table itself costs.
inline int rtcm3_msm_lock_time(uint32_t indicator, int extended, double *min, double *resolution)
{
    uint32_t ms = 0, step = 0;
    bool top = false;
    if (!extended) {
        // 0: below 32 ms; i = 1..14: from 2^(i+4) ms below twice that;
        // 15: 524288 ms or more.
        if (indicator > 15) {
            *min = 0;
            *resolution = -1;
            return -1;
        }
        if (indicator == 0) {
            step = 32;
        } else {
            ms = step = 1u << (indicator + 4);
            top = indicator == 15;
        }
    } else {
        // 0..63: milliseconds; then blocks of 32 values whose step doubles
        // from 2 ms, block k (from 0) starting at 2^(k+6) ms; 704: 2^26 ms
        // or more; 705..1023 reserved.
        if (indicator > 704) {
            *min = 0;
            *resolution = -1;
            return -1;
        }
        if (indicator < 64) {
            ms = indicator;
            step = 1;
        } else if (indicator < 704) {
            const uint32_t k = (indicator - 64) / 32;
            step = 2u << k;
            ms = (64u << k) + step * ((indicator - 64) % 32);
        } else {
            ms = 1u << 26;
            top = true;
        }
    }
    *min = ms * 0.001;
    *resolution = top ? -1.0 : step * 0.001;
    return 0;
}

#endif
