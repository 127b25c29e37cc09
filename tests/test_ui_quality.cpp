// The "Quality" view: which files it lists and with which navigation files,
// checks run off the window's thread and stopped when the view closes, and
// the window's entry point after a real conversion, checked and summarised.

#include <QDir>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QThread>

#include <cmath>

#include "log_frames.h"
#include "mainwindow.h"
#include "plots.h"
#include "widgetquality.h"
#include "ui_main.h"

typedef ThreadBinaryToRinex T;
typedef WidgetQuality::Control Control;
typedef WidgetQuality::Result Result;

namespace {

bool waitChecked(QSignalSpy &spy, int ms = 120000)
{
    return QTest::qWaitFor([&] { return spy.count() > 0; }, ms);
}

} // namespace

TEST(UiQuality, FileNamesAndTheirNavigation)
{
    const QStringList written = {"/d/log1.23N", "/d/log1.23G", "/d/log1.23T", "/d/log2.23N", "/e/log1.23N",
                                 "/d/BASE00000_R_20233350000_01D_MN.rnx", "/d/BASE00000_R_20233360000_01D_MN.rnx",
                                 "/d/x.nav", "/d/y.nav", "/d/ABMF00GLP_R_20240010000_01D_GN.rnx.gz"};
    const struct {
        const char *obs;
        QStringList nav;
    } cases[] = {{"/d/log1.23O", {"/d/log1.23N", "/d/log1.23G"}},
                 {"/d/log1.23o.gz", {"/d/log1.23N", "/d/log1.23G"}},
                 {"/d/log1.23D", {"/d/log1.23N", "/d/log1.23G"}},
                 {"/d/BASE00000_R_20233350000_01D_30S_MO.rnx", {"/d/BASE00000_R_20233350000_01D_MN.rnx"}},
                 {"/d/ABMF00GLP_R_20240010000_01D_30S_MO.crx.gz", {"/d/ABMF00GLP_R_20240010000_01D_GN.rnx.gz"}},
                 {"/d/x.obs", {"/d/x.nav"}},
                 {"/d/log3.23O", {}}};
    for (const auto &c : cases) {
        EXPECT_TRUE(WidgetQuality::isObservationName(c.obs)) << c.obs;
        EXPECT_FALSE(WidgetQuality::isNavigationName(c.obs)) << c.obs;
        EXPECT_EQ(WidgetQuality::navigationFor(c.obs, written), c.nav) << c.obs;
    }
    for (const char *other : {"/d/log1.23T", "/d/log1.gps", "/d/notes.txt"}) {
        EXPECT_FALSE(WidgetQuality::isObservationName(other)) << other;
        EXPECT_FALSE(WidgetQuality::isNavigationName(other)) << other;
    }
}

TEST(UiQuality, ConvertedFilesAreCheckedOffTheWindowThread)
{
    QTemporaryDir dir;
    const QString obs = dir.filePath("log.16O"), nav = dir.filePath("log.16N"), bad = dir.filePath("bad.16O");
    QThread *checkedOn = nullptr;
    QStringList navGiven;
    WidgetQuality w(nullptr, [&](const QString &path, const QStringList &navs, Control &, Result *out) {
        checkedOn = QThread::currentThread();
        navGiven = navs;
        out->ok = path == obs;
        out->error = "unreadable";
        out->summary = "summary of " + path;
        out->report.file = path.toStdString();
        out->report.satellites.push_back({'G', 3, 0, 60, 3, {}});
        for (float t : {0.f, 30.f, 60.f})
            out->report.samples.push_back({t, 'G', 3, 0, NAN, NAN, 48, NAN, false});
    });
    QSignalSpy spy(&w, &WidgetQuality::checkFinished);
    w.resize(900, 600);
    w.setFiles({nav, obs, dir.filePath("log.16T"), bad});
    EXPECT_EQ(logs::fields(w.files(), w.isChecking()), logs::fields(QStringList({obs, bad}), true));
    ASSERT_TRUE(waitChecked(spy));
    EXPECT_EQ(logs::fields(spy.takeFirst(), checkedOn != QThread::currentThread(), navGiven, w.summaryText()),
              logs::fields(QVariantList({obs, true}), true, QStringList({nav}), "summary of " + obs));
    ASSERT_TRUE(w.currentReport());

    // The timeline page paints the report: G03 at 48 dB-Hz.
    QWidget *timeline = w.tabs()->widget(1);
    EXPECT_EQ(w.tabs()->tabText(1), "Tracking timeline");
    timeline->resize(800, 500);
    const QImage image = timeline->grab().toImage();
    const QRect f = qc::plotFrame(*w.currentReport(), qc::PlotKind::Timeline, image.size());
    EXPECT_EQ(image.pixelColor(f.center()), qc::strengthColour(48));

    // A file that cannot be checked says why.
    w.openFile(bad);
    ASSERT_TRUE(waitChecked(spy));
    EXPECT_EQ(logs::fields(spy.takeFirst(), w.summaryText(), w.currentReport() == nullptr),
              logs::fields(QVariantList({bad, false}), "The check of " + bad + " failed: unreadable", true));
}

TEST(UiQuality, ClosingTheViewStopsItsCheck)
{
    // A check that only ends when told to (or after a minute).
    std::atomic<int> stopped{0};
    auto slow = [&](const QString &, const QStringList &, Control &control, Result *out) {
        QElapsedTimer clock;
        clock.start();
        while (!control.cancel && clock.elapsed() < 60000) QThread::msleep(5);
        if (control.cancel) stopped++;
        out->ok = true;
    };
    QElapsedTimer clock;
    clock.start();
    {
        WidgetQuality w(nullptr, slow);
        QSignalSpy spy(&w, &WidgetQuality::checkFinished);
        w.show();
        w.openFile("/nowhere/site.16O");
        EXPECT_TRUE(w.isChecking());
        QWidget *busy = w.findChild<QWidget *>("progressCheck");
        ASSERT_TRUE(busy);
        EXPECT_TRUE(busy->isVisible());
        QTest::qWait(50); // the window keeps running meanwhile
        w.hide();
        EXPECT_FALSE(w.isChecking());
        EXPECT_TRUE(QTest::qWaitFor([&] { return stopped == 1; }, 5000));
        // Shown again, the file is checked again; destroyed, that check stops too.
        w.show();
        EXPECT_TRUE(w.isChecking());
        QTest::qWait(50);
        EXPECT_EQ(spy.count(), 0);
    }
    EXPECT_EQ(stopped, 2);
    EXPECT_LT(clock.elapsed(), 20000);
}

// A real RINEX file of another producer: its navigation file found beside
// it on the disk, and the check the view runs stopping when told to. (The
// view's real check runs in the next test; the counts are test_qc_quality's.)
TEST(UiQuality, ARealFileItsNavigationAndTheStop)
{
    REQUIRE_TESTDATA();
    const std::string base = testdata::path(
        "instinct/Spirent_ublox-F9P_static_duration-15min_sys-GPS-GAL_iono-Klobuchar_tropo-Saastamoinen");
    const QString obs = QString::fromStdString(base + ".obs");
    WidgetQuality w(nullptr, [](const QString &, const QStringList &, Control &, Result *out) { out->ok = true; });
    w.openFile(obs); // the navigation file is looked for on the disk
    EXPECT_EQ(w.navigationOf(obs), QStringList({QString::fromStdString(base + ".nav")}));
    const std::atomic<bool> stop{true};
    qc::Report report;
    std::string error;
    EXPECT_FALSE(qc::checkFiles(base + ".obs", {}, &report, &error, &stop));
    EXPECT_EQ(error, "cancelled");
}

TEST(UiQuality, TheWindowOffersTheConvertedFiles)
{
    REQUIRE_TESTDATA();
    QTemporaryDir dir;
    MainWindow window(nullptr, {"quorvane"});
    WidgetConvert *convert = window.convertWidget();
    ASSERT_TRUE(convert->start({convertTask(dataPath("gpsd/rtcm3.2.log"), dir.path())}));
    ASSERT_TRUE(waitIdle(*convert));
    EXPECT_FALSE(window.qualityWidget()); // made when first asked for
    window.qualityButton()->click();
    WidgetQuality *quality = window.qualityWidget();
    ASSERT_TRUE(quality);
    const QString obs = dir.filePath("rtcm3.2.16O");
    EXPECT_EQ(logs::fields(quality->window()->isVisible(), quality->files(), quality->navigationOf(obs)),
              logs::fields(true, QStringList({obs}), QStringList({dir.filePath("rtcm3.2.16N")})));
    QSignalSpy spy(quality, &WidgetQuality::checkFinished);
    ASSERT_TRUE(waitChecked(spy));
    EXPECT_EQ(spy.takeFirst(), QVariantList({obs, true}));
    EXPECT_TRUE(quality->summaryText().contains("RINEX:      3.04")) << quality->summaryText().toStdString();

    // Converted again under the same name, the file is checked again.
    QMap<QString, QString> task = convert->taskList().first();
    task[T::KEY_VERSION] = "3.02";
    ASSERT_TRUE(convert->start({task}));
    ASSERT_TRUE(waitIdle(*convert));
    ASSERT_TRUE(waitChecked(spy));
    EXPECT_TRUE(quality->summaryText().contains("RINEX:      3.02")) << quality->summaryText().toStdString();
}
