// The conversion task runner on a real worker thread: checks and their
// messages, writer configuration, the input pump, prescan, merge and
// cancellation.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopedPointer>
#include <QTemporaryDir>

#include <algorithm>
#include <math.h>

#include "convert_cli.h"
#include "file.h"
#include "log_frames.h"
#include "novatel_encoder.h"
#include "rinex3_reader.h"
#include "task_runner.h"
#include "testdata.h"

namespace {

typedef ThreadBinaryToRinex T;

// A conversion to RINEX 3.04 short names, with `more` settings on top.
ParamMap convertTask(const QString &inputs, const QString &out, const ParamMap &more = {})
{
    ParamMap m = {{T::KEY_TASK, T::TASK_CONVERT}, {T::KEY_PATH_INPUT, inputs}, {T::KEY_PATH_OUTPUT, out},
                  {T::KEY_VERSION, "3.04"},       {T::KEY_FILE_NAME, "2"},    {T::KEY_MARKER_TYPE, "GEODETIC"}};
    m.insert(more);
    return m;
}

QString copyData(const QString &relative, const QString &dir, const QString &name)
{
    QString target = dir + "/" + name;
    QFile::remove(target);
    EXPECT_TRUE(QFile::copy(QString::fromStdString(testdata::path(relative.toStdString())), target));
    return target;
}

void writeFile(const QString &path, const QByteArray &data)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(data);
}

QMap<QString, QByteArray> snapshot(const QString &dir)
{
    QMap<QString, QByteArray> files;
    for (const QString &n : QDir(dir).entryList(QDir::Files)) files.insert(n, readAll(dir + "/" + n));
    return files;
}

class Task : public ::testing::Test
{
protected:
    QTemporaryDir dir;
    void SetUp() override
    {
        setenv("TZ", "UTC", 1);
        tzset();
        ensureApplication();
    }
    QString path(const QString &n) const { return dir.path() + "/" + n; }
};

} // namespace

TEST_F(Task, ChecksInTheirOrderWithTheirMessages)
{
    writeFile(path("a.bin"), QByteArray(100, 'x'));
    EXPECT_EQ(runTask({{T::KEY_TASK, T::TASK_CONVERT}, {T::KEY_PATH_INPUT, ";;;"}}).text, "no input file");
    // One value changed each (a null one: the key left out). A missing second
    // path fails before the first file is opened; a directory is not a file.
    const struct {
        QString key, value, text;
    } cases[] = {{T::KEY_PATH_INPUT, path("a.bin") + ";" + path("missing.bin"), "file not exist, " + path("missing.bin")},
                 {T::KEY_PATH_INPUT, dir.path(), "file not exist, " + dir.path()},
                 {T::KEY_TASK, "copy", "unsupport-task, copy"},
                 {T::KEY_PATH_OUTPUT, path("nowhere"), "dir not exist, " + path("nowhere")},
                 {T::KEY_VERSION, QString(), "not-support-version,"},
                 {T::KEY_VERSION, "4.00", "not-support-version,4.00"},
                 {T::KEY_FILE_NAME, "4", "set file name failed!"},
                 {T::KEY_COMPRESSION, "zip", "not-support-compression,zip"}};
    for (const auto &c : cases) {
        ParamMap m = convertTask(path("a.bin"), dir.path());
        m.remove(c.key);
        if (!c.value.isNull()) m[c.key] = c.value;
        TaskResult r = runTask(m);
        EXPECT_EQ(logs::fields(r.ok, r.text), logs::fields(false, c.text));
    }
    // A directory where no file can be made (for root too) is named with the
    // system's reason.
    const QString text = runTask(convertTask(path("a.bin"), "/proc")).text;
    EXPECT_TRUE(text.startsWith("open file failed: cannot create /proc/rinex-") && text.contains(".00O: "))
        << text.toStdString();
    // A regular file whose reading fails at once ends the task with a
    // failure instead of pumping empty chunks for ever.
    if (QFileInfo("/proc/self/mem").isFile()) {
        const QString text = runTask(convertTask("/proc/self/mem", dir.path())).text;
        EXPECT_TRUE(text.startsWith("read file failed, /proc/self/mem")) << text.toStdString();
    }
    // Nothing of the failed tasks is left behind.
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList({"a.bin"}));
}

TEST(TaskAntenna, HeightsAndPhaseCentres)
{
    T::Antenna a;
    // Antenna "80,50,60,70": radius 80 mm, 50 mm from the bottom to the
    // reference point, L1 and L2 phase centres 60 and 70 mm above it. A slant
    // height goes to the edge: the vertical is the other leg of the right
    // triangle, sqrt(1.5^2 - 0.08^2); shorter than the radius it is 0. The
    // last: the reference point moved to the L1 phase centre.
    const struct {
        const char *type, *height, *arp;
        double expected, l1, l2;
    } cases[] = {{"VERTICAL", "1.500", "", 1.450, 0.110, 0.120},
                 {"phase", "1.500", "", 1.500 - 0.050 - 0.060, 0.110, 0.120},
                 {"Bottom", "1.500", "", 1.500, 0.110, 0.120},
                 {"SLOPE", "1.500", "", sqrt(2.25 - 0.0064) - 0.050, 0.110, 0.120},
                 {"SLOPE", "0.070", "", 0.0, 0.110, 0.120},
                 {"extend", "0.070", "", 0.0, 0.110, 0.120},
                 {"VERTICAL", "1.5", "1", 1.45 + 0.05 + 0.06, 0.0, 0.010}};
    for (const auto &c : cases) {
        ParamMap p = {{T::KEY_ANTENNA_SPEC, "80,50,60,70"}, {T::KEY_ANTENNA_HEIGHT, c.height},
                      {T::KEY_HEIGHT_TYPE, c.type}, {T::KEY_PHASE_AS_ARP, c.arp}};
        ASSERT_TRUE(T::antennaFromParam(p, &a)) << c.type;
        SCOPED_TRACE(std::string(c.type) + " " + c.height + " " + c.arp);
        EXPECT_EQ(a.movedToL1, *c.arp != 0);
        EXPECT_NEAR(a.height, c.expected, 1e-12);
        EXPECT_NEAR(a.centerL1, c.l1, 1e-12);
        EXPECT_NEAR(a.centerL2, c.l2, 1e-12);
    }
    ParamMap p = {{T::KEY_ANTENNA_SPEC, "80,50,60"}, {T::KEY_ANTENNA_HEIGHT, "1.5"}, {T::KEY_HEIGHT_TYPE, "VERTICAL"}};
    EXPECT_FALSE(T::antennaFromParam(p, &a));
}

TEST_F(Task, ConvertsWithItsSettings)
{
    REQUIRE_TESTDATA();
    QString in = copyData("gnss-converters/week-rollover-STR17.rtcm3", dir.path(), "site_0120.rtcm3");
    // Prescan "No": any text switches it on.
    TaskResult r = runTask(convertTask(in, ".", {{T::KEY_PRESCAN, "No"}, {T::KEY_MARKER_NAME, "SITE"},
        {T::KEY_ANTENNA_SPEC, "80,50,60,70"}, {T::KEY_ANTENNA_HEIGHT, "1.5"}, {T::KEY_HEIGHT_TYPE, "vertical"},
        {T::KEY_ANTENNA_NAME, "ANT-X"}, {T::KEY_GNSS_SN, "1234"}, {T::KEY_MASK_PRN.arg("G"), "3,,32,0,100,x"},
        {T::KEY_MASK_SIGNAL.arg("R"), "1c, 2P"}, {T::KEY_MASK_SYSTEM.arg("C"), "on"}}));
    ASSERT_TRUE(r.ok) << r.text.toStdString();
    EXPECT_TRUE(r.text.startsWith("Cost=")) << r.text.toStdString();
    const QStringList io = r.messages.filter(QRegExp("^(Input|Output)"));
    EXPECT_EQ(logs::fields(io.value(0), io.value(1), r.progress.last(), r.messages.filter("mask").join("|")),
              logs::fields("Input  = " + in, "Output = " + dir.path() + "/", 100,
                           "mask prn G: \"0\", \"100\", \"x\" masks nothing: satellite numbers 1 to 99 are masked"));
    // "." is the input's directory; the base name loses its extension.
    EXPECT_EQ(r.written, QStringList({path("site_0120.18N"), path("site_0120.18O")}));
    rnx3::File f = rnx3::read(path("site_0120.18O").toStdString());
    ASSERT_TRUE(f.errors.empty()) << f.errors[0];
    EXPECT_EQ(logs::fields(f.first["MARKER NAME"].substr(0, 4), f.first["ANTENNA: DELTA H/E/N"].substr(0, 14),
                           f.first["ANTENNA: PHASECENTER"].substr(0, 42), f.first["ANT # / TYPE"].substr(20, 5)),
              logs::fields("SITE", "        1.4500", "G L1C   0.0000        0.0000        0.1100", "ANT-X"));
    bool comment = false;
    for (const std::string &l : f.header) comment |= l.rfind("GNSS SN       = 1234", 0) == 0;
    size_t masked = 0;
    for (const auto &e : f.epochs) masked += e.sats.count("G03") + e.sats.count("G32");
    // BDS and G03, G32 masked, G01 not; R1C and R2P masked (the blank typed
    // after the comma is no part of the code). The prescan pass makes the
    // first epochs datable: 2018-07-14.
    const auto &rt = f.types['R'];
    EXPECT_EQ(logs::fields(comment, f.types.count('C'), masked, f.epochs[0].sats.count("G01"),
                           std::count(rt.begin(), rt.end(), "C1C"), std::count(rt.begin(), rt.end(), "C2P"),
                           f.epochs[0].line.substr(0, 13)),
              logs::fields(true, (size_t)0, (size_t)0, (size_t)1, (std::ptrdiff_t)0, (std::ptrdiff_t)0,
                           std::string("> 2018 07 14 ")));

    // Base names lose only their last extension; an output directory that
    // begins with "." is taken from the input's, "..", and a hidden
    // directory too.
    QDir(dir.path()).mkpath("rinex");
    QDir(dir.path()).mkpath("in/.hidden");
    const struct {
        const char *input, *out, *expected;
    } names[] = {{"log.raw.dev", "./rinex", "rinex/log.raw.18O"},
                 {"station.gnsslog", ".", "station.gnsslog.18O"},
                 {"in/up.rtcm3", "../rinex/", "rinex/up.18O"},
                 {"in/hide.rtcm3", ".hidden", "in/.hidden/hide.18O"}};
    for (const auto &c : names) {
        r = runTask(convertTask(copyData("gnss-converters/week-rollover-STR17.rtcm3", dir.path(), c.input), c.out,
                                {{T::KEY_PRESCAN, "Yes"}}));
        EXPECT_TRUE(r.ok && QFile::exists(path(c.expected))) << c.expected << " " << r.text.toStdString();
    }
}

// Header values as typed reach their columns: a value as wide as its field
// whole, an accented letter as its base letter (RINEX headers are ASCII),
// and a position on the equator and the prime meridian, latitude 0, as
// given rather than replaced by the log's own (sept.rtcm holds one): at
// height 0 it lies on the WGS 84 semi-major axis, X = 6378137 m. A typed
// "-0" is 0, never "-0.0000".
TEST_F(Task, TypedHeaderValuesReachTheirColumns)
{
    REQUIRE_TESTDATA();
    const QString in = QString::fromStdString(testdata::path("gnss-converters/sept.rtcm"));
    auto line = [](const std::string &value, const char *label) {
        return (value + std::string(60 - value.size(), ' ') + label + std::string(20 - strlen(label), ' '));
    };
    for (const char *version : {"2.11", "3.05"}) {
        SCOPED_TRACE(version);
        QTemporaryDir d;
        TaskResult r = runTask(convertTask(in, d.path(), {{T::KEY_VERSION, version}, {T::KEY_MARKER_NAME, "Zürich"},
            {T::KEY_MARKER_NUMBER, "12345678901234567890"}, {T::KEY_LATITUDE, "-0"}, {T::KEY_LONGITUDE, "180"},
            {T::KEY_HEIGHT, "0"}, {T::KEY_ANTENNA_SPEC, "-0,-0,-0,-0"}, {T::KEY_ANTENNA_HEIGHT, "-0"},
            {T::KEY_HEIGHT_TYPE, "bottom"}}));
        ASSERT_TRUE(r.ok) << r.text.toStdString();
        rnx3::File f = rnx3::read(d.filePath("sept.18O").toStdString());
        // RINEX 2 has no phase centre line.
        const std::string centre = version[0] == '3' ? line("G L1C   0.0000        0.0000        0.0000",
                                                            "ANTENNA: PHASECENTER") : std::string();
        EXPECT_EQ(logs::fields(f.first["MARKER NAME"], f.first["MARKER NUMBER"], f.first["APPROX POSITION XYZ"],
                               f.first["ANTENNA: DELTA H/E/N"], f.first["ANTENNA: PHASECENTER"],
                               r.messages.filter("Marker").join("|").toStdString()),
                  logs::fields(line("Zurich", "MARKER NAME"), line("12345678901234567890", "MARKER NUMBER"),
                               line(" -6378137.0000        0.0000        0.0000", "APPROX POSITION XYZ"),
                               line("        0.0000        0.0000        0.0000", "ANTENNA: DELTA H/E/N"), centre,
                               std::string("Marker Name written as \"Zurich\", not as given \"Zürich\": its header "
                                           "field holds at most 60 ASCII characters")));
    }
    // 0, 0 is what log headers hold for no position: the log's own serves,
    // as when none is given.
    std::string own[2];
    for (int given = 0; given < 2; given++) {
        QTemporaryDir d;
        const ParamMap zero = {{T::KEY_LATITUDE, "0"}, {T::KEY_LONGITUDE, "0"}, {T::KEY_HEIGHT, "0"}};
        ASSERT_TRUE(runTask(convertTask(in, d.path(), given ? zero : ParamMap())).ok);
        own[given] = rnx3::read(d.filePath("sept.18O").toStdString()).first["APPROX POSITION XYZ"];
    }
    EXPECT_EQ(own[1], own[0]);
    EXPECT_NE(own[0].substr(0, 14), "  6378137.0000");
}

TEST_F(Task, TimeStartIsUtcInEveryZone)
{
    // Hand-counted: 2018-01-01 is day 17532 after 1970-01-01; 2018-03-25 is
    // 83 days later, 2018-07-13 193, 2018-11-04 307 days later. Berlin skips
    // 02:00-03:00 on 2018-03-25, Sao Paulo skips 00:00-01:00 on 2018-11-04.
    const qint64 day = 86400000LL, jul13 = (17532 + 193) * day;
    const struct {
        const char *text;
        qint64 ms;
        const char *day; // the trimble log's first epoch, Friday 20:11 nearest to it
    } cases[] = {{"2018-03-25 02:30:00", (17532 + 83) * day + 9000000, "> 2018 03 23"},
                 {"2018-11-04", (17532 + 307) * day, "> 2018 11 02"},
                 {"20181104003000.250", (17532 + 307) * day + 1800250, nullptr},
                 {"2018-03-25T02:59:59", (17532 + 83) * day + 10799000, nullptr},
                 {"20180714", jul13 + day, nullptr},
                 {"2018-07-14", jul13 + day, nullptr},
                 {"2018-07-13 10:00:00", jul13 + 36000000, nullptr},
                 {"2018-07-13T10:00:00.250", jul13 + 36000250, nullptr},
                 {"20180713100000", jul13 + 36000000, nullptr},
                 {"2018-07-20", jul13 + 7 * day, "> 2018 07 20"}};
    qint64 none = 0;
    EXPECT_FALSE(T::parseTimeStart("14.07.2018", &none)); // day.month.year is no format
    const bool data = testdata::available();
    QString in = data ? copyData("gnss-converters/trimble.rtcm", dir.path(), "t.rtcm") : QString();
    for (const char *zone : {"UTC", "Europe/Berlin", "America/Sao_Paulo", "Asia/Tokyo"}) {
        setenv("TZ", zone, 1);
        tzset();
        for (const auto &c : cases) {
            SCOPED_TRACE(std::string(zone) + " " + c.text);
            qint64 ms = 0;
            ASSERT_TRUE(T::parseTimeStart(c.text, &ms));
            EXPECT_EQ(ms, c.ms);
            if (!data || !c.day) continue;
            TaskResult r = runTask(convertTask(in, dir.path(), {{T::KEY_TIME_START, c.text}}));
            ASSERT_TRUE(r.ok) << r.text.toStdString();
            rnx3::File f = rnx3::read(path("t.18O").toStdString());
            ASSERT_FALSE(f.epochs.empty());
            EXPECT_EQ(f.epochs[0].line.substr(0, 12), c.day);
        }
    }
}

// A NovAtel receiver gives BESTPOS and PSRPOS in the datum it was told to
// use. In WGS 84 (id 61) the first computed one is the header's position:
// 32.59536697319 N, 85.29568091247 W, 199.8451 m above the geoid with an
// undulation of -29.2 m, by hand on the WGS 84 ellipsoid (the log's own
// BESTXYZ says 441145.2617 -5360805.1981 3416329.9540 m). The same log told
// ED50 (id 13) gives no position for the header: the computed one serves.
TEST_F(Task, NovatelPositionsOnlyInWgs84)
{
    REQUIRE_TESTDATA();
    const QByteArray data = readAll(QString::fromStdString(testdata::path("novatel-gavlab/OnceEachAgain.GPS")));
    QByteArray local = data;
    int changed = 0;
    for (const std::vector<uint8_t> &f : logs::novatel_frames(std::vector<uint8_t>(data.begin(), data.end()))) {
        const int id = f[4] | f[5] << 8;
        if (id != 42 && id != 47) continue;
        std::vector<uint8_t> g = f;
        const size_t datum = f[3] + 36, crc = g.size() - 4;
        ASSERT_EQ(g[datum], 61);
        g[datum] = 13;
        const uint32_t sum = util_crc32_novatel(0, g.data(), (uint32_t)crc);
        for (int k = 0; k < 4; k++) g[crc + k] = (uint8_t)(sum >> (8 * k));
        const QByteArray from((const char *)f.data(), (int)f.size()), to((const char *)g.data(), (int)g.size());
        local.replace(local.indexOf(from), from.size(), to);
        changed++;
    }
    ASSERT_EQ(changed, 2);
    writeFile(path("wgs.gps"), data);
    writeFile(path("ed50.gps"), local);
    std::string position[2];
    bool computed[2] = {false, false};
    for (int i = 0; i < 2; i++) {
        ASSERT_TRUE(runTask(convertTask(path(i ? "ed50.gps" : "wgs.gps"), dir.path())).ok);
        rnx3::File f = rnx3::read(path(i ? "ed50.12O" : "wgs.12O").toStdString());
        position[i] = f.first["APPROX POSITION XYZ"].substr(0, 42);
        for (const std::string &line : f.header)
            computed[i] = computed[i] || line.find("computed from the broadcast orbits") != std::string::npos;
    }
    EXPECT_EQ(logs::fields(position[0], computed[0], computed[1]),
              logs::fields(std::string("   441145.2591 -5360805.1919  3416329.9505"), false, true));
    EXPECT_NE(position[1], position[0]);
}

// A marker line right after a damaged frame: the frame's bytes past its last
// 0 byte stay in front of the line's "$", and the marker still counts, just
// as when the frame is not there at all.
TEST_F(Task, MarkerAfterADamagedFrameStillCounts)
{
    REQUIRE_TESTDATA();
    const QByteArray data = readAll(QString::fromStdString(testdata::path("rtklib/oemv_200911218.gps")));
    const QByteArray body = "PPK,MARKER-BEGIN,1,2,x,SITE1,0001,a,b,1.5,c,d,e,-4467074.3577,2683011.9038,-3667008.2845";
    char x = 0;
    for (char c : body) x ^= c;
    const QByteArray marker = "$" + body + "*" + QByteArray::number((uchar)x, 16).toUpper().rightJustified(2, '0') + "\r\n";
    const auto frames = logs::novatel_frames(std::vector<uint8_t>(data.begin(), data.end()));
    ASSERT_GT(frames.size(), 3u);
    QByteArray frame((const char *)frames[frames.size() / 3].data(), (int)frames[frames.size() / 3].size());
    const int at = data.indexOf(frame);
    ASSERT_GT(at, 0);
    QByteArray damaged = frame;
    damaged[damaged.size() - 1] = (char)(damaged[damaged.size() - 1] ^ 0x01); // its CRC no longer holds
    writeFile(path("a.gps"), data.left(at) + marker + data.mid(at + frame.size()));
    writeFile(path("b.gps"), data.left(at) + damaged + marker + data.mid(at + frame.size()));
    QByteArray out[2];
    for (int i = 0; i < 2; i++) {
        TaskResult r = runTask(convertTask(path(i ? "b.gps" : "a.gps"), dir.path(), {{T::KEY_MODE, "3"}}));
        ASSERT_TRUE(r.ok) << r.text.toStdString();
        for (const QByteArray &line : readAll(path(i ? "b.09O" : "a.09O")).split('\n'))
            if (!line.contains("PGM / RUN BY / DATE")) out[i] += line + '\n';
    }
    EXPECT_TRUE(out[0].contains("\nSITE1  ")) << out[0].left(3000).toStdString();
    EXPECT_EQ(out[1], out[0]);
}

TEST_F(Task, SplitOrFalselySyncedInputsLoseOnlyTheFramesTheyCut)
{
    REQUIRE_TESTDATA();
    QByteArray data = readAll(QString::fromStdString(testdata::path("gnss-converters/week-rollover-STR17.rtcm3")));
    // Cut inside a frame: the frame spanning the two files is lost, because
    // no frame is carried from one file into the next.
    int cut = data.indexOf(QByteArray::fromHex("d300"), data.size() / 2) + 20;
    // A false sync claiming 1029 bytes, put before the frames of the last
    // 900 bytes: the file ends inside it, and the frames in it still count.
    int at = data.indexOf(QByteArray::fromHex("d300"), data.size() - 900);
    ASSERT_GT(at, 0);
    writeFile(path("whole.rtcm"), data);
    writeFile(path("p1.rtcm"), data.left(cut));
    writeFile(path("p2.rtcm"), data.mid(cut));
    writeFile(path("tail.rtcm"), data.left(at) + QByteArray::fromHex("d303ff") + data.mid(at));
    TaskResult r;
    for (const QString &inputs : {path("whole.rtcm"), path("tail.rtcm"), path("p1.rtcm") + ";" + path("p2.rtcm")}) {
        r = runTask(convertTask(inputs, dir.path(), {{T::KEY_PRESCAN, "1"}}));
        ASSERT_TRUE(r.ok) << r.text.toStdString();
    }
    // Read order with the prescan pass: 1, 2, then 1, 2 again.
    EXPECT_EQ(r.messages.filter(QRegExp("^Input")).replaceInStrings(QRegExp("^Input  = "), ""),
              QStringList({path("p1.rtcm"), path("p2.rtcm"), path("p2.rtcm")}));
    // Half the progress is the prescan pass.
    EXPECT_TRUE(r.progress.contains(50) || r.progress.contains(49) || r.progress.contains(51));
    rnx3::File a = rnx3::read(path("whole.18O").toStdString());
    rnx3::File b = rnx3::read(path("p1.18O").toStdString());
    rnx3::File c = rnx3::read(path("tail.18O").toStdString());
    size_t sa = 0, sb = 0;
    for (const auto &e : a.epochs) sa += e.sats.size();
    for (const auto &e : b.epochs) sb += e.sats.size();
    EXPECT_LT(sb, sa);
    EXPECT_GT(sb + 40, sa);
    ASSERT_FALSE(a.epochs.empty());
    ASSERT_EQ(c.epochs.size(), a.epochs.size());
    EXPECT_EQ(logs::fields(c.epochs.back().line, c.epochs.back().sats.size()),
              logs::fields(a.epochs.back().line, a.epochs.back().sats.size()));
}

// sept.rtcm ends with the GPS MSM7 of 2018-01-02 19:59:00 (the end of the
// log's time span in its notes), whose multiple message bit promises the
// other systems' messages of that epoch; the capture stops before them.
// One epoch per second from 19:58:05: 56, the last with GPS alone.
TEST_F(Task, ALogCutInsideAnEpochKeepsWhatArrivedOfIt)
{
    REQUIRE_TESTDATA();
    QString in = copyData("gnss-converters/sept.rtcm", dir.path(), "sept.rtcm");
    ASSERT_TRUE(runTask(convertTask(in, dir.path(), {{T::KEY_PRESCAN, "Yes"}})).ok); // the week from the ephemerides
    rnx3::File f = rnx3::read(path("sept.18O").toStdString());
    ASSERT_EQ(logs::fields(f.errors.size(), f.epochs.size()), logs::fields((size_t)0, (size_t)56));
    const rnx3::Epoch &last = f.epochs.back();
    int others = 0;
    for (const auto &sat : last.sats) others += sat.first[0] != 'G';
    EXPECT_EQ(logs::fields(last.hour, last.minute, last.second, last.sats.empty(), others,
                           f.first["TIME OF LAST OBS"].substr(0, 43)),
              logs::fields(19, 59, 0.0, false, 0, std::string("  2018     1     2    19    59    0.0000000")));
}

// A receiver tracking every signal of every system logs RANGE records by the
// hundred: 400 of 44 bytes make a frame of 17,636 bytes, which the framer
// must hold whole. GPS L1 of satellites 1 to 32, over and over: one epoch of
// 32 satellites.
TEST_F(Task, ALargeRangeLogIsConverted)
{
    std::vector<novenc::RangeRecord> records;
    for (int i = 0; i < 400; i++) records.push_back(novenc::gps_l1((uint16_t)(1 + i % 32), 2.1e7 + 1000.0 * (i % 32)));
    const std::vector<uint8_t> log = novenc::range_log(2290, 345600000, records);
    writeFile(path("big.gps"), QByteArray(reinterpret_cast<const char *>(log.data()), (int)log.size()));
    const TaskResult r = runTask(convertTask(path("big.gps"), dir.path()));
    ASSERT_TRUE(r.ok) << r.text.toStdString();
    const rnx3::File f = rnx3::read(path("big.23O").toStdString());
    ASSERT_EQ(f.epochs.size(), 1u);
    EXPECT_EQ(f.epochs[0].sats.size(), 32u);
}

TEST_F(Task, MergeIsByteExactAndAppends)
{
    writeFile(path("1.bin"), QByteArray("first\n\xd3\x00", 8));
    writeFile(path("2.bin"), QByteArray(3 * 1048576 + 7, 'b'));
    writeFile(path("3.bin"), "third");
    ParamMap m = {{T::KEY_TASK, T::TASK_MERGE},
                  {T::KEY_PATH_INPUT, path("1.bin") + ";" + path("2.bin") + ";" + path("3.bin")},
                  {T::KEY_PATH_OUTPUT, path("out.bin")}};
    TaskResult r = runTask(m);
    ASSERT_TRUE(r.ok) << r.text.toStdString();
    QByteArray expected = readAll(path("1.bin")) + readAll(path("2.bin")) + readAll(path("3.bin"));
    EXPECT_EQ(readAll(path("out.bin")), expected);
    EXPECT_EQ(r.messages.value(1), "Output = " + path("out.bin"));
    ASSERT_TRUE(runTask(m).ok);
    EXPECT_EQ(readAll(path("out.bin")), expected + expected);
    // An output that is one of the inputs, under another spelling, would
    // grow while being read: refused, nothing touched.
    QFile::link(path("3.bin"), path("link.bin"));
    for (const QString &out : {dir.path() + "/./3.bin", path("link.bin")}) {
        m[T::KEY_PATH_OUTPUT] = out;
        r = runTask(m);
        EXPECT_EQ(logs::fields(r.ok, r.text.startsWith("merge output is one of the inputs"), readAll(path("3.bin"))),
                  logs::fields(false, true, QByteArray("third")))
            << r.text.toStdString();
    }
    // Empty inputs: nothing to divide by, the task is simply done.
    for (const char *empty : {"e1.bin", "e2.bin"}) writeFile(path(empty), QByteArray());
    m = {{T::KEY_TASK, T::TASK_MERGE}, {T::KEY_PATH_INPUT, path("e1.bin") + ";" + path("e2.bin")},
         {T::KEY_PATH_OUTPUT, path("e.out")}};
    r = runTask(m);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.progress, QList<int>({100}));
    // An input longer than its size said (a log still growing, a file of
    // /proc) never takes the progress past 100.
    m[T::KEY_PATH_INPUT] = path("3.bin") + ";/proc/self/status";
    r = runTask(m);
    EXPECT_EQ(logs::fields(r.ok, r.progress.last(), *std::max_element(r.progress.begin(), r.progress.end())),
              logs::fields(true, 100, 100));
}

TEST_F(Task, CancelMidFileLeavesFinishedFiles)
{
    REQUIRE_TESTDATA();
    QByteArray one = readAll(QString::fromStdString(testdata::path("gnss-converters/week-rollover-STR17.rtcm3")));
    QByteArray big;
    for (int i = 0; i < 12; i++) big += one; // about 28 MB, many 1 MiB ticks
    writeFile(path("big.rtcm"), big);
    const ParamMap m = convertTask(path("big.rtcm"), dir.path(), {{T::KEY_TIME_START, "2018-07-14"}});
    TaskResult r = runTask(m, [](ThreadBinaryToRinex *runner, int p) {
        if (p >= 10 && p < 90) QMetaObject::invokeMethod(runner, "taskCancle", Qt::QueuedConnection);
    });
    // The files carry their final names and real headers with the epochs
    // converted so far, and are named as partial results.
    EXPECT_EQ(logs::fields(r.ok, r.text, r.events.value(r.events.size() - 2), r.written, r.partial.contains(path("big.18O"))),
              logs::fields(false, QString("cancle"), QString("progress 0"), QStringList(), true))
        << r.partial.join(" ").toStdString();
    rnx3::File f = rnx3::read(path("big.18O").toStdString());
    EXPECT_EQ(logs::fields(f.errors.size(), f.epochs.empty(), f.first["TIME OF FIRST OBS"].substr(0, 12)),
              logs::fields((size_t)0, false, std::string("  2018     7")));
    for (const QString &n : QDir(dir.path()).entryList(QDir::Files)) EXPECT_FALSE(n.startsWith("rinex-")) << n.toStdString();
}

TEST_F(Task, NoOutputReplacesAnInput)
{
    REQUIRE_TESTDATA();
    // Raw logs named like the observation or the navigation file their
    // conversion writes (the log is of 2018-01-02), in the default output
    // directory, and once through a linked output directory.
    const struct {
        const char *name;
        bool linked;
    } cases[] = {{"sept.18O", false}, {"sept.18N", false}, {"sept.18O", true}};
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.name) + (c.linked ? " linked" : ""));
        QTemporaryDir d, other;
        QString in = copyData("gnss-converters/sept.rtcm", d.path(), c.name);
        QString out = ".", clash = in;
        if (c.linked) {
            out = other.path() + "/alias";
            ASSERT_TRUE(QFile::link(d.path(), out));
            clash = out + "/" + c.name;
        }
        const QMap<QString, QByteArray> before = snapshot(d.path());
        TaskResult r = runTask(convertTask(in, out, {{T::KEY_PRESCAN, "Yes"}}));
        EXPECT_EQ(logs::fields(r.ok, r.text, r.written.isEmpty() && r.partial.isEmpty(), snapshot(d.path()) == before),
                  logs::fields(false, "output is one of the inputs, " + clash, true, true));
    }
    // The input of a later task of the same list is just as safe.
    QString first = copyData("gnss-converters/sept.rtcm", dir.path(), "sept.rtcm");
    QString later = copyData("gnss-converters/sept.rtcm", dir.path(), "sept.18O");
    OutputClaims list;
    list.startList({first, later});
    const QMap<QString, QByteArray> before = snapshot(dir.path());
    TaskResult r = runTask(convertTask(first, dir.path(), {{T::KEY_PRESCAN, "Yes"}}), {}, &list);
    EXPECT_EQ(r.text, "output is one of the inputs, " + later);
    EXPECT_EQ(snapshot(dir.path()), before);
}

TEST_F(Task, FailedOrEmptyResultsLeaveNoFiles)
{
    writeFile(path("t.txt"), "just some text\r\nwith no frame at all\r\n");
    const bool data = testdata::available();
    const struct {
        const char *log, *name;
        const char *text; // null: success
        const char *kept; // the one file written
    } cases[] = {{nullptr, "t.txt", "no GNSS data found in t.txt", nullptr},
                 {"gpsd/hemi.log", "hemi.log", "no GNSS data found in hemi.log", nullptr},
                 // Times of week and no ephemeris: no epoch can be dated.
                 {"gnss-converters/msm7.rtcm", "msm7.rtcm", "GPS week unknown, set Time Start", nullptr},
                 // Ephemerides only: a navigation file and no header-only
                 // observation file.
                 {"gnss-converters/eph.rtcm", "eph.rtcm", nullptr, "N"}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        if (c.log && !data) continue;
        QTemporaryDir d;
        QString in = c.log ? copyData(c.log, d.path(), c.name) : d.path() + "/" + c.name;
        if (!c.log) QFile::copy(path(c.name), in);
        TaskResult r = runTask(convertTask(in, d.path()));
        QStringList files = QDir(d.path()).entryList(QDir::Files), written;
        files.removeOne(c.name);
        for (const QString &f : files) written.append(d.path() + "/" + f);
        EXPECT_EQ(logs::fields(r.ok, r.ok ? QString() : r.text, r.partial, r.written, files.size(),
                               c.kept && files.value(0).endsWith(c.kept)),
                  logs::fields(c.text == nullptr, QString(c.text), QStringList(), written, c.kept ? 1 : 0, c.kept != nullptr));
    }
    // Data that the masks took all of is named as such, and its epochs, left
    // empty, make no records: two epochs of G05 and G07, GPS masked.
    std::vector<uint8_t> log;
    for (uint32_t ms : {345600000u, 345601000u}) {
        const std::vector<uint8_t> f = novenc::range_log(2290, ms, {novenc::gps_l1(5, 2.1e7), novenc::gps_l1(7, 2.2e7)});
        log.insert(log.end(), f.begin(), f.end());
    }
    writeFile(path("gps.bin"), QByteArray((const char *)log.data(), (int)log.size()));
    const TaskResult masked = runTask(convertTask(path("gps.bin"), dir.path(), {{T::KEY_MASK_SYSTEM.arg("G"), "1"}}));
    EXPECT_EQ(masked.text, "no GNSS data found in gps.bin outside the masks (4 observations masked)");
    if (!data) GTEST_SKIP() << "receiver logs not found: ran the plain text case only";
}

TEST_F(Task, WriteErrorRemovesTheFileItCut)
{
    REQUIRE_TESTDATA();
    // The observation file would be 11,773,204 bytes: cut early, cut late
    // (its records go to the disk on a thread of their own, 1 MiB at a
    // time), and cut in its last part, which reaches the disk only as the
    // task ends.
    for (const rlim_t limit : {512 * 1024, 11 * 1024 * 1024, 11700000}) {
        SCOPED_TRACE(limit);
        for (const QString &name : QDir(dir.path()).entryList(QDir::Files)) QFile::remove(path(name));
        const QString in = copyData("gnss-converters/week-rollover-STR17.rtcm3", dir.path(), "big.rtcm3");
        const ParamMap m = convertTask(in, dir.path(), {{T::KEY_TIME_START, "2018-07-14"}});
        TaskResult r;
        {
            FileSizeLimit guard(limit);
            r = runTask(m);
        }
        // One reason, the system's (EFBIG); the cut observation file is gone
        // and what is kept (named as partial) reads back whole.
        EXPECT_EQ(logs::fields(r.ok, r.text.startsWith("cannot write ") && r.text.endsWith(".00O: File too large"),
                               r.written, QFile::exists(path("big.18O")), r.partial.isEmpty()),
                  logs::fields(false, true, QStringList(), false, false))
            << r.text.toStdString();
        for (const QString &p : r.partial) {
            rnx3::File f = rnx3::read(p.toStdString(), true);
            EXPECT_TRUE(f.errors.empty()) << p.toStdString() << ": " << f.errors[0];
            EXPECT_LE(QFileInfo(p).size(), (qint64)limit);
        }
    }
}

// A directory where the observation file's final name should go: the task
// fails, and the whole file kept under its temporary name is named.
TEST_F(Task, AFileThatCannotTakeItsNameIsNamedAsKept)
{
    REQUIRE_TESTDATA();
    QString in = copyData("gnss-converters/sept.rtcm", dir.path(), "sept.rtcm");
    ASSERT_TRUE(QDir(dir.path()).mkdir("sept.18O"));
    TaskResult r = runTask(convertTask(in, dir.path()));
    const QString kept = r.partial.filter(QRegExp("/rinex-[^/]*\\.00O$")).value(0);
    EXPECT_EQ(logs::fields(r.ok, r.text.startsWith("cannot rename "), QFileInfo(kept).isFile(), r.partial.size()),
              logs::fields(false, true, true, 2))
        << r.text.toStdString() << " | " << r.partial.join("|").toStdString();
}

// The headers' layouts and values are checked through the file list; here
// the text header's last value wins, and the RTCM 3 probe.
TEST(TaskFile, HeadersAndProbe)
{
    QTemporaryDir dir;
    auto load = [&](const QString &name, const QByteArray &data) {
        writeFile(dir.path() + "/" + name, data);
        return File::load(dir.path() + "/" + name);
    };
    QScopedPointer<File> zeros(load("zeros", QByteArray(2048, 0)));
    ASSERT_TRUE(zeros);
    EXPECT_EQ(zeros->param, ParamMap({{T::KEY_PATH_INPUT, dir.path() + "/zeros"}}));
    QScopedPointer<File> o(load("olm", "#file=GNSS DATA FILE\r\n#marker.name=PT1\r\n#gnss.sn=99\r\n#marker.name=PT2\r\n" +
                                           QByteArray(2048, ' ')));
    ASSERT_TRUE(o);
    EXPECT_EQ(logs::fields(o->param.value(T::KEY_MARKER_NAME), o->param.value(T::KEY_GNSS_SN)), logs::fields("PT2", "99"));
    // Only the first 1024 bytes are read: a line they cut is not taken cut.
    const QByteArray first = "#file=GNSS DATA FILE\r\n#gnss.sn=" + QByteArray(970, '9') + "\r\n";
    QScopedPointer<File> cutLine(load("cut", first + "#marker.name=PT3456789ABC\r\n" + QByteArray(2048, ' ')));
    ASSERT_TRUE(cutLine);
    EXPECT_EQ(logs::fields(cutLine->param.contains(T::KEY_MARKER_NAME), cutLine->param.value(T::KEY_GNSS_SN).size()),
              logs::fields(false, 970));
    // A name with the separator of a task's inputs is never listed: it would
    // convert the files "x" and "y" instead (both exist here).
    for (const char *name : {"x", "y", "x;y"}) writeFile(dir.path() + "/" + name, QByteArray(2048, 0));
    QString why;
    const bool refused = File::load(dir.path() + "/x;y", &why) == nullptr;
    EXPECT_EQ(logs::fields(refused, why), logs::fields(true, "file name holds \";\", " + dir.path() + "/x;y"));

    // A false sync (D3 03 00 claims 774 bytes) that runs past the probed
    // bytes must not hide the whole frame inside them.
    const fb::Bytes frame = fb::rtcm3(fb::rtcm3_payload(1005, 19));
    QByteArray cut = QByteArray(1500, 0) + QByteArray::fromHex("d30300") +
                     QByteArray(reinterpret_cast<const char *>(frame.data()), (int)frame.size());
    QScopedPointer<File> hidden(load("hidden", cut + QByteArray(2048 - cut.size(), 0)));
    ASSERT_TRUE(hidden);
    EXPECT_EQ(hidden->param.value(T::KEY_PRESCAN), "Yes");

    // The RTCM 3 probe switches the prescan pass on, for a small log too.
    if (!testdata::available()) return;
    for (const auto &c : {std::make_pair("gpsd/rtcm3-2.log", true), std::make_pair("go-gnss-rtcm/1005_frame.bin", true),
                          std::make_pair("novatel-oem7-driver/time.gps", false)}) {
        QScopedPointer<File> f(File::load(QString::fromStdString(testdata::path(c.first))));
        ASSERT_TRUE(f) << c.first;
        EXPECT_EQ(f->param.contains(T::KEY_PRESCAN) ? f->param.value(T::KEY_PRESCAN) : "-", c.second ? "Yes" : "-") << c.first;
    }
    // A log header's marker and receiver stand before a Septentrio receiver's
    // setup (marker SEPT, mosaic-H, 3679709), which fills only what the
    // header leaves out.
    const QByteArray olm = "#file=GNSS DATA FILE\r\n#marker.name=PT1\r\n#device.model=Rover X\r\n";
    const std::vector<uint8_t> sbf = testdata::read("sbfparser/log_0000.sbf");
    QScopedPointer<File> s(load("olm.sbf", olm + QByteArray(1024 - olm.size(), '\n') +
                                              QByteArray(reinterpret_cast<const char *>(sbf.data()), (int)sbf.size())));
    ASSERT_TRUE(s);
    EXPECT_EQ(QStringList({s->param.value(T::KEY_MARKER_NAME), s->param.value(T::KEY_RECEIVER_MODEL),
                           s->param.value(T::KEY_RECEIVER_SN)}).join("|").toStdString(),
              "PT1|Rover X|3679709");
}

// What a task keeps out of its files, or cannot date, is named in its
// messages (rows without a log: five NovAtel epochs, two of them older than
// the last written one).
// "PPK Only" without "$PPK" lines, an antenna without its geometry, a
// position out of range or given in part.
// With "Time Start" set, the only undated epoch of rtcm3-2.log is its first,
// partial one of legacy GLONASS messages alone: named, and no "Time Start"
// asked for.
// "Time Start" dates an RTCM 3 log even against the log's own ephemeris
// weeks, but a date far from them is named. GPS weeks (SOURCES.md dates):
// STR24 is of weeks 2009/2010 (2018-07-14/15), and "Time Start" 2021-03-01
// dates its Saturday evening epochs in week 2146 (from 2021-02-21): 137
// weeks later. The one epoch of USCL00CHL0 (2024-03-13, week 2305), after
// its ephemerides, falls in week 2147 of that date: 158 weeks earlier.
TEST_F(Task, WhatIsNotWrittenOrNotDatedIsNamedInTheMessages)
{
    std::vector<uint8_t> log;
    for (uint32_t ms : {345600000u, 345601000u, 345600000u, 345599000u, 345602000u}) {
        std::vector<uint8_t> f = novenc::range_log(2290, ms, {novenc::gps_l1(7, 21000000.0)});
        log.insert(log.end(), f.begin(), f.end());
    }
    writeFile(path("two.gps"), QByteArray((const char *)log.data(), (int)log.size()));
    const char *str24 = "gnss-converters/week-rollover-STR24.rtcm3", *uscl = "pyrtcm/pygpsdata-NTRIP-USCL00CHL0.log";
    const QString noDate = " is no date after 1980-01-06 as yyyy-MM-dd, yyyyMMdd, or either with hh:mm:ss, and dates "
                           "nothing: check Time Start";
    const struct {
        const char *log; // null: two.gps
        ParamMap set;
        const char *about;
        QString text;
    } cases[] = {
        {nullptr, {}, "older", "2 epochs older than the last written epoch dropped"},
        {nullptr, {{T::KEY_MODE, "2"}}, "epoch", "5 epochs not written: no PPK sample line confirmed them"},
        {nullptr, {{T::KEY_ANTENNA_NAME, "ANT-X"}, {T::KEY_ANTENNA_HEIGHT, "1.5"}, {T::KEY_ANTENNA_SPEC, "80,50,60"}},
         "ntenna", "antenna name and height not written: \"Antenna R,H,L1,L2 (mm)\" holds no four numbers"},
        {nullptr, {{T::KEY_LATITUDE, "91"}, {T::KEY_LONGITUDE, "10"}, {T::KEY_HEIGHT, "100"}}, "position",
         "position not written: latitude 91, longitude 10, height 100 m out of range"},
        {nullptr, {{T::KEY_LATITUDE, "45"}, {T::KEY_LONGITUDE, "10"}}, "position",
         "position not written: \"Latitude (deg)\", \"Longitude (deg)\" and \"Height (m)\" are needed as numbers"},
        // Typed in the window, where nothing refuses them before the task.
        {nullptr, {{T::KEY_ANTENNA_SPEC, "80,50,60,70"}, {T::KEY_ANTENNA_HEIGHT, "1,5"}, {T::KEY_HEIGHT_TYPE, "bottom"}}, "ntenna",
         "antenna: \"1,5\" read as 0: \"Antenna R,H,L1,L2 (mm)\" and \"Antenna Height (m)\" take numbers with a "
         "decimal point"},
        {nullptr, {{T::KEY_ANTENNA_SPEC, "0,0,0,0"}, {T::KEY_ANTENNA_HEIGHT, "1500"}, {T::KEY_HEIGHT_TYPE, "bottom"}}, "ntenna",
         "antenna height not written: 1500 m is not between -1000 and 1000 m"},
        {nullptr, {{T::KEY_ANTENNA_SPEC, "0,0,0,0"}, {T::KEY_ANTENNA_HEIGHT, "1.5"}}, "ntenna",
         "antenna height \"1.5\" not used: Height Type \"\" is none of phase, slope, vertical, bottom"},
        {nullptr, {{T::KEY_ANTENNA_SPEC, "0,0,1e12,0"}}, "ntenna",
         "antenna phase centre offsets 1e+09 m and 0 m not written: too large"},
        {nullptr, {{T::KEY_MASK_SIGNAL.arg("G"), "2X,L2W, 2w"}}, "mask",
         "mask signal G: \"L2W\" masks nothing: two-character signal codes such as 1C are masked"},
        {nullptr, {{T::KEY_MARKER_NUMBER, "ABCDEFGHIJKLMNOPQRSTU"}}, "written as",
         "Marker Number written as \"ABCDEFGHIJKLMNOPQRST\", not as given \"ABCDEFGHIJKLMNOPQRSTU\": its header field "
         "holds at most 20 ASCII characters"},
        {nullptr, {{T::KEY_GNSS_SN, QString(45, 'S')}}, "written as",
         "GNSS SN written as \"" + QString(44, 'S') + "\", not as given \"" + QString(45, 'S') +
             "\": its header field holds at most 44 ASCII characters"},
        {nullptr, {{T::KEY_MARKER_NAME, "SITE"}, {T::KEY_MARKER_TYPE, "geodetic"}}, "marker",
         "marker name and number not written: Marker Type \"geodetic\" is none of the RINEX types"},
        {"gpsd/rtcm3-2.log", {{T::KEY_TIME_START, "2016-01-01"}}, "GLONASS|Time Start",
         "1 epochs of GLONASS messages alone skipped: their day is unknown"},
        {str24, {{T::KEY_TIME_START, "2021-03-01"}}, "check Time Start",
         "Time Start dates the epochs 137 weeks after the log's ephemerides: check Time Start"},
        {str24, {{T::KEY_TIME_START, "2018-07-14"}}, "check Time Start", ""},
        {uscl, {{T::KEY_TIME_START, "2021-03-01"}}, "check Time Start",
         "Time Start dates the epochs 158 weeks before the log's ephemerides: check Time Start"},
        {uscl, {{T::KEY_TIME_START, "2024-03-12"}}, "check Time Start", ""},
        {str24, {{T::KEY_TIME_START, "2018-07-14 10:15"}}, "check Time Start", "Time Start \"2018-07-14 10:15\"" + noDate},
        {str24, {{T::KEY_TIME_START, "1979-12-31"}}, "check Time Start", "Time Start \"1979-12-31\"" + noDate},
        // The u-blox receiver's own MSM (id 0) and a Leica base's legacy
        // messages (id 278) of the same two times; without the prescan pass
        // the first time is undated (the receiver's NAV-TIMEGPS follows it).
        {"gpsd/ublox-f9p-rtcm.log", {}, "another receiver",
         "1 epochs of another receiver left out: their observations disagree with those written for the same time "
         "(RTCM 3 station 0 written, RTCM 3 station 278 left out)"},
        // Logs of different weeks joined: the week that the prescan pass
        // learnt from the later one (2018-01-02 is in GPS week 1982) dates the
        // earlier one's epochs to week 1981; its ephemerides, sent on Saturday
        // 2012-10-13, are of week 1709.
        {"rtklib/GMSD7_20121014.rtcm3;gnss-converters/sept.rtcm", {{T::KEY_PRESCAN, "Yes"}}, "weeks",
         "epochs dated 272 weeks after the ephemerides sent among them: logs of different weeks joined? Convert them "
         "one by one"},
        // A Septentrio log and then a JAVAD station's stream, dated by the
        // Septentrio's week: two sources, the file changing once.
        {"sbfparser/log_0000.sbf;gnss-converters/javad.rtcm", {}, "sources",
         "epochs of 2 sources in one file (Septentrio SBF, RTCM 3 station 0), the source changing 1 times: check that "
         "they are one receiver's; a phase that passes from one to another is flagged as a loss of lock"}};
    for (const auto &c : cases) {
        if (c.log && !testdata::available()) GTEST_SKIP() << "receiver logs not found: ran the generated log only";
        SCOPED_TRACE(std::string(c.log ? c.log : "two.gps") + " " + c.about);
        QStringList inputs; // a row's logs, joined with ";"
        for (const QString &log : QString(c.log).split(';'))
            inputs << QString::fromStdString(testdata::path(log.toStdString()));
        TaskResult r = runTask(convertTask(c.log ? inputs.join(';') : path("two.gps"), dir.path(), c.set));
        // With "PPK Only" and no "$PPK" line nothing is written: the task
        // fails, saying why rather than that the log holds no data.
        const QString said = r.ok ? r.messages.filter(QRegExp(c.about)).join("|") : r.text;
        EXPECT_EQ(logs::fields(r.ok, said.toStdString()),
                  logs::fields(!c.set.contains(T::KEY_MODE), c.text.toStdString()))
            << r.text.toStdString();
    }
}
