// The plots of a quality report as PNG files, drawn off-screen: the tracking
// timeline, the sky plot, signal strength and multipath against elevation.
#ifndef QC_PLOTS_H
#define QC_PLOTS_H

#include <string>

#include "quality.h"

namespace qc {

// Writes the plots of `report` into the directory `dir` (created when
// missing); false with `error` set when they cannot be written.
bool writePlots(const Report &report, const std::string &dir, std::string *error);

} // namespace qc

#endif
