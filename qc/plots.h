// The plots of a quality report, painted with QtGui on any QPainter: on a
// widget in the window, or on a QImage saved as PNG without a display.
//   timeline   one row per satellite, time across, coloured by signal
//              strength, slips and gaps marked
//   sky        the satellite tracks by azimuth and elevation
//   snr        signal strength against elevation, per signal
//   multipath  code multipath against elevation, per signal
// A plot with nothing to show still draws its frame and says why.
#ifndef QC_PLOTS_H
#define QC_PLOTS_H

#include <string>
#include <vector>

#include <QColor>
#include <QRect>
#include <QSize>

#include "quality.h"

class QImage;
class QPainter;

namespace qc {

enum class PlotKind { Timeline, Sky, Snr, Multipath };

const std::vector<PlotKind> &allPlots();
// "timeline", "sky", "snr", "multipath": the suffix of the PNG file names.
const char *plotName(PlotKind kind);
// "Tracking timeline", "Sky plot", "Signal strength", "Multipath".
const char *plotTitle(PlotKind kind);

// Signal strength bands of the timeline, dB-Hz: below 25, 25-35, 35-45, from 45.
QColor strengthColour(double snr);
// One colour per satellite system (RINEX letter) in the sky plot.
QColor systemColour(char system);
// The colour of the i-th signal of the strength and multipath legends
// (signals ordered by system, then code).
QColor seriesColour(int index);

// What a plot says instead of data ("No observations in this file", "No
// elevations: ..."), empty when it has data to show.
std::string plotNotice(const Report &report, PlotKind kind);

// Paints the plot into `area` of the painter's device, at any size.
void paintPlot(const Report &report, PlotKind kind, QPainter *painter, const QRect &area);

// Where the data are drawn inside a plot of `size` painted at the origin:
// the time axis of the timeline, the horizon circle's bounding square of the
// sky plot, the elevation/value axes of the other two.
QRect plotFrame(const Report &report, PlotKind kind, const QSize &size);

// Size of the PNG files: 1200 x 800; the sky plot 1000 x 800; the timeline
// 1200 wide and 16 pixels a satellite row (at least 480 high).
QSize plotSize(const Report &report, PlotKind kind);
QImage renderPlot(const Report &report, PlotKind kind, const QSize &size);

// <dir>/<observation file name>_<plot name>.png
std::string plotPath(const Report &report, PlotKind kind, const std::string &dir);

// Writes the four PNG files into `dir` (created when absent). Needs a
// QGuiApplication for the fonts; without any Qt application one on the
// offscreen platform is made for the call. False with `error` set when a
// file cannot be written.
bool writePlots(const Report &report, const std::string &dir, std::string *error);

} // namespace qc

#endif
