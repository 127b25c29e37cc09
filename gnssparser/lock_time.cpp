#include "lock_time.h"

int util_lock_slipped(double previous, double previous_resolution, double current, double current_resolution,
                      double elapsed)
{
    if (elapsed < 0) return 1;
    // Too small; a saturated report is any lock time beyond its least value.
    if (current_resolution >= 0 && current + current_resolution < previous + elapsed) return 1;
    // Too large, beyond rounding (a saturated earlier report allows any growth).
    const double rounding = current_resolution >= 0 ? current_resolution : 0;
    if (previous_resolution >= 0 && current > previous + previous_resolution + elapsed + rounding) return 1;
    return 0;
}

int rtcm3_msm_lock_time(uint32_t indicator, int extended, double *min, double *resolution)
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
