// The plots of a quality report as PNG files: names and sizes, data drawn
// where the samples put them, and plots with nothing to show saying why.
#include <gtest/gtest.h>

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QTemporaryDir>

#include <cmath>

#include "plots.h"

using namespace qc;

namespace {

PlotSample sample(float t, char system, int prn, int signal, float el, float az, float snr, float mp = NAN,
                  bool slip = false)
{
    return PlotSample{t, system, uint8_t(prn), uint8_t(signal), el, az, snr, mp, slip};
}

SatelliteStats satellite(char system, int prn, std::vector<std::string> codes)
{
    SatelliteStats s;
    s.system = system;
    s.prn = prn;
    for (const std::string &c : codes) {
        s.signals.emplace_back();
        s.signals.back().code = c;
    }
    return s;
}

// One hour at 30 s: G01 tracked for the first half at 50 dB-Hz with a slip
// at 900 s, G02 for the second half at 20 dB-Hz, nothing at all from 1200 s
// to 1500 s.
Report hourReport()
{
    Report r;
    r.file = "/data/ABCD0010.24O";
    r.first = 1000 * 604800.0 + 3600; // 01:00 GPS time
    r.last = r.first + 3570;
    r.interval = 30;
    r.satellites = {satellite('G', 1, {"1C", "2W"}), satellite('G', 2, {"1C"})};
    for (int t = 0; t < 3600; t += 30) {
        if (t > 1200 && t < 1500) continue;
        if (t < 1800) {
            r.samples.push_back(sample(t, 'G', 1, 0, NAN, NAN, 50, NAN, t == 900));
            r.samples.push_back(sample(t, 'G', 1, 1, NAN, NAN, 41));
        } else {
            r.samples.push_back(sample(t, 'G', 2, 0, NAN, NAN, 20));
        }
    }
    return r;
}

QColor pixel(const QImage &image, double x, double y)
{
    return image.pixelColor(int(std::lround(x)), int(std::lround(y)));
}

bool reddish(const QColor &c)
{
    return c.red() > c.green() + 30 && c.red() > c.blue() + 30;
}

} // namespace

TEST(QcPlots, FilesHaveTheirNamesAndSizes)
{
    Report r = hourReport();
    QTemporaryDir dir;
    std::string error;
    ASSERT_TRUE(writePlots(r, dir.filePath("plots").toStdString(), &error)) << error;
    const struct {
        const char *name;
        int width, height;
    } files[] = {{"ABCD0010.24O_timeline.png", 1200, 480},
                 {"ABCD0010.24O_sky.png", 1000, 800},
                 {"ABCD0010.24O_snr.png", 1200, 800},
                 {"ABCD0010.24O_multipath.png", 1200, 800}};
    for (const auto &f : files) {
        const QImage image(QDir(dir.filePath("plots")).filePath(f.name));
        ASSERT_FALSE(image.isNull()) << f.name;
        EXPECT_EQ(image.size(), QSize(f.width, f.height)) << f.name;
    }
    // A row a satellite beyond 22 satellites.
    for (int prn = 3; prn <= 30; prn++) r.samples.push_back(sample(0, 'R', prn, 0, NAN, NAN, 40));
    EXPECT_EQ(plotSize(r, PlotKind::Timeline), QSize(1200, 120 + 16 * 30));

    // A folder that cannot be made is an error, not a silent success.
    QFile blocker(dir.filePath("file"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    EXPECT_FALSE(writePlots(r, dir.filePath("file/sub").toStdString(), &error));
    EXPECT_FALSE(error.empty());
}

TEST(QcPlots, TimelineColoursSlipsAndGaps)
{
    const Report r = hourReport();
    const QImage image = renderPlot(r, PlotKind::Timeline, QSize(1200, 480));
    const QRect f = plotFrame(r, PlotKind::Timeline, image.size());
    // Two rows, G01 above G02; the time axis spans the hour.
    const double g01 = f.top() + f.height() / 4.0, g02 = f.top() + 3 * f.height() / 4.0;
    auto x = [&](double t) { return f.left() + t / 3570 * f.width(); };
    EXPECT_EQ(pixel(image, x(450), g01), strengthColour(50)); // the strongest of its two signals
    EXPECT_EQ(pixel(image, x(2700), g02), strengthColour(20));
    EXPECT_EQ(pixel(image, x(2700), g01), QColor(Qt::white)); // G01 no longer tracked
    EXPECT_EQ(pixel(image, x(450), g02), QColor(Qt::white));
    EXPECT_LT(qGray(pixel(image, x(900), g01).rgb()), 64); // the slip
    EXPECT_TRUE(reddish(pixel(image, x(1350), g01)));       // the gap, across every row
    EXPECT_TRUE(reddish(pixel(image, x(1350), g02)));
    EXPECT_FALSE(reddish(pixel(image, x(1100), g02)));
    EXPECT_EQ(plotNotice(r, PlotKind::Timeline), "");
}

TEST(QcPlots, SkyStrengthAndMultipathPlaceTheirPoints)
{
    Report r;
    r.file = "site.rnx";
    r.elevations_known = true;
    r.satellites = {satellite('G', 5, {"1C", "2W"}), satellite('R', 7, {"1C"}), satellite('E', 11, {"1C"})};
    r.samples = {sample(0, 'G', 5, 0, 90, 0, NAN), sample(30, 'G', 5, 0, 45, 0, 40, 0.25f),
                 sample(30, 'G', 5, 1, 60, 0, 30, -0.25f), sample(0, 'R', 7, 0, 30, 90, NAN),
                 sample(0, 'E', 11, 0, 45, 180, NAN)};

    const QImage sky = renderPlot(r, PlotKind::Sky, QSize(1000, 800));
    const QRectF f = plotFrame(r, PlotKind::Sky, sky.size());
    const QPointF c = f.center();
    const double radius = f.width() / 2; // the horizon
    EXPECT_EQ(pixel(sky, c.x(), c.y()), systemColour('G'));                         // zenith
    EXPECT_EQ(pixel(sky, c.x() + radius * 60 / 90, c.y()), systemColour('R'));      // east, 30 degrees up
    EXPECT_EQ(pixel(sky, c.x(), c.y() + radius / 2), systemColour('E'));            // south, 45 degrees up

    // Strength: 10 to 60 dB-Hz up, 0 to 90 degrees across; G 1C then G 2W.
    const QImage snr = renderPlot(r, PlotKind::Snr, QSize(1200, 800));
    const QRect s = plotFrame(r, PlotKind::Snr, snr.size());
    EXPECT_EQ(pixel(snr, s.left() + s.width() * 45 / 90.0, s.bottom() - s.height() * 30 / 50.0), seriesColour(0));
    EXPECT_EQ(pixel(snr, s.left() + s.width() * 60 / 90.0, s.bottom() - s.height() * 20 / 50.0), seriesColour(1));

    // Multipath: values within 0.5 m get an axis of -0.5 to 0.5 m.
    const QImage mp = renderPlot(r, PlotKind::Multipath, QSize(1200, 800));
    const QRect m = plotFrame(r, PlotKind::Multipath, mp.size());
    EXPECT_EQ(pixel(mp, m.left() + m.width() * 60 / 90.0, m.bottom() - m.height() * 0.25), seriesColour(1));
    EXPECT_EQ(pixel(mp, m.left() + m.width() * 45 / 90.0, m.bottom() - m.height() * 0.75), seriesColour(0));
    EXPECT_EQ(pixel(mp, m.left() + m.width() * 52 / 90.0, m.bottom() - m.height() * 0.6), QColor(Qt::white));
}

TEST(QcPlots, PlotsWithoutDataSaySo)
{
    Report empty;
    Report blind = hourReport(); // no elevations
    for (PlotKind kind : allPlots()) {
        EXPECT_EQ(plotNotice(empty, kind), "No observations in this file") << plotName(kind);
        if (kind != PlotKind::Timeline) {
            EXPECT_EQ(plotNotice(blind, kind).rfind("No elevations", 0), 0u) << plotName(kind);
        }
        for (const Report *r : {&empty, &blind}) {
            // Any size, down to one too small for a frame, paints without harm.
            for (QSize size : {QSize(1200, 800), QSize(320, 200), QSize(40, 30)}) {
                const QImage image = renderPlot(*r, kind, size);
                ASSERT_EQ(image.size(), size);
                if (size.width() < 100 || !(plotNotice(*r, kind).size())) continue;
                // The notice is written across the middle of the frame.
                const QRect f = plotFrame(*r, kind, size);
                int ink = 0;
                for (int y = f.top() + 1; y < f.bottom(); y++)
                    for (int x = f.left() + 1; x < f.right(); x++) ink += qGray(image.pixel(x, y)) < 96;
                EXPECT_GT(ink, 20) << plotName(kind);
            }
        }
    }
    Report single = hourReport();
    for (PlotSample &s : single.samples) s.elevation = 30;
    EXPECT_EQ(plotNotice(single, PlotKind::Multipath), "No multipath: it needs two carrier frequencies of a satellite");
    EXPECT_EQ(plotNotice(single, PlotKind::Snr), "");
}

#include "offscreen_leaks.h"

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
