// Navigation record conversions and the GLONASS channel table. Expected values
// are worked by hand from the broadcast scale factors (powers of two, so the
// comparisons are exact).
#include <gtest/gtest.h>

#include <math.h>
#include <string.h>

#include "log_frames.h"
#include "gnss_signal.h"
#include "navigation.h"

namespace {

const double kPi = 3.1415926535898;

} // namespace
