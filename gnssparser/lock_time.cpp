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
