// The command-line converter end to end: every receiver log beside the
// project converts, and the independent readers accept every file written.
#include <gtest/gtest.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <signal.h>

#include <algorithm>
#include <set>
#include <utility>
#include <vector>

#include "convert_cli.h"
#include "log_frames.h"
#include "msm_codes.h"
#include "rinex3_reader.h"
#include "testdata.h"

namespace {

void writeFile(const QString &path, const QByteArray &data)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(f.write(data), data.size());
}

QString dataPath(const char *relative)
{
    return QString::fromStdString(testdata::path(relative));
}

QStringList filesIn(const QString &dir)
{
    return QDir(dir).entryList(QDir::Files | QDir::Hidden);
}

// The names of the files `errors` reports as partial outputs of `input`.
QStringList partialFiles(const QString &errors, const QString &input)
{
    QStringList partial;
    for (const QString &line : errors.split('\n'))
        if (line.startsWith(input + ": partial: ")) partial.append(QFileInfo(line.section(": ", 2)).fileName());
    return partial;
}

const char kMsmLetters[] = "GRESJC"; // by (base - 1070) / 10

// The signals that the MSM4 to MSM7 messages of a log announce in their
// signal masks, as system letter + RINEX code ("?" + id where the standard
// defines no signal for the id), read straight from the frame bits. Only
// messages of epochs that some message closes (multiple message bit 0) count:
// a log that stops in the middle of an epoch leaves that epoch unwritten.
std::set<std::string> msmSignals(const std::vector<uint8_t> &d)
{
    std::set<std::string> open, out;
    for (const std::vector<uint8_t> &f : logs::rtcm3_frames(d)) {
        if (f.size() < 28) continue;
        auto bits = [&](int pos, int n) { return logs::rtcm3_bits(f, pos, n); };
        int message = (int)bits(0, 12), base = message / 10 * 10;
        if (message % 10 >= 4 && message % 10 <= 7 && kMsmCodes.count(base)) {
            uint64_t mask = bits(137, 32);
            char letter = kMsmLetters[(base - 1070) / 10];
            for (int id = 1; id <= 32; id++) {
                if (!(mask >> (32 - id) & 1)) continue;
                auto code = kMsmCodes.at(base).find(id);
                open.insert(letter + (code != kMsmCodes.at(base).end() ? code->second : "?" + std::to_string(id)));
            }
        }
        if (message >= 1071 && message <= 1127 && message % 10 >= 1 && message % 10 <= 7 && !bits(54, 1)) {
            out.insert(open.begin(), open.end());
            open.clear();
        }
    }
    return out;
}

} // namespace

TEST(Convert, UsageErrorsAndIdentity)
{
    CliRun v = convert({"--version"});
    EXPECT_EQ(logs::fields(v.exit, v.written),
              logs::fields(0, QStringList({"quorvane-convert Quorvane.1.41.2401.83 (Quorvane)"})));
    EXPECT_EQ(logs::fields(convert({"--help"}).exit, convert({}).exit, convert({"--rinex", "4.00", "x"}).exit,
                           convert({"--naming", "7", "x"}).exit, convert({"--bogus", "x"}).exit,
                           convert({"--output=", "x"}).exit, convert({"-m", QDir::tempPath(), "x"}).exit),
              logs::fields(0, 2, 2, 2, 2, 2, 2));
    // A setting that would not take effect is refused before anything runs
    // (the file x does not exist: a run that starts fails with 1).
    const std::vector<std::pair<const char *, int>> settings = {
        {"Marker Nmae=X", 2}, {"Time Start=2021-03-01 12:00", 2}, {"Time Start=1979-12-31", 2}, {"Mode=abc", 2},
        {"Obs Rate Limit=-5", 2}, {"Latitude (deg)=north", 2}, {"Antenna R,H,L1,L2 (mm)=80,50,60", 2},
        {"mask prn G=5,x", 2}, {"mask signal R=1c,2PX", 2}, {"mask signal R=1c, 2P", 1}, {"Time Start=20210301", 1}, {"mask prn G=5,,32", 1},
        {"Height Type=Slope", 1}, {"Latitude (deg)=", 1}, {"Marker Type=geodetic", 2}, {"Marker Type=", 2},
        {"Marker Type=HUMAN", 1}, {"Latitude (deg)=90.5", 2}, {"Latitude (deg)=-90", 1}, {"Longitude (deg)=-181", 2},
        {"Longitude (deg)=360", 1}, {"Height (m)=1000001", 2}, {"Antenna Height (m)=1000", 2}, {"Antenna Height (m)=-999", 1},
        // Header text: at most as wide as its field, ASCII once accents go.
        {"Marker Number=12345678901234567890", 1}, {"Marker Number=123456789012345678901", 2}, {"Marker Name=Zürich", 1},
        {"Receiver Model=東京", 2}, {"Antenna Name=ANT\nX", 2}, {"Receiver SN=A\tB", 2}, {"GNSS SN=🚀", 2},
        {"Antenna R,H,L1,L2 (mm)=0,0,inf,0", 2}, {"Antenna R,H,L1,L2 (mm)=0,0,999999,-1e5", 1},
        {"Prescan=No", 2}, {"mask system G=0", 2}, {"Phase As ARP=false", 2}, {"No Phase Shift=Yes", 1}, {"Prescan=", 1}};
    for (const auto &s : settings) EXPECT_EQ(convert({"--set", QString::fromUtf8(s.first), "x"}).exit, s.second) << s.first;
    for (const QString &name : {QString(60, 'N'), QString(61, 'N')})
        EXPECT_EQ(convert({"--set", "Marker Name=" + name, "x"}).exit, name.size() == 60 ? 1 : 2);
    // The generator refuses what it would silently change; a duration
    // shorter than an epoch still gives that epoch.
    const std::vector<std::pair<QStringList, int>> generator = {{{"--start", "2024-02-30 00:00:00"}, 2},
        {{"--station", "12.7"}, 2}, {{"--seed", "1.5"}, 2}, {{"--size", "1e30"}, 2}, {{"--duration", "0.0001"}, 0}};
    for (const auto &g : generator) {
        QProcess p;
        p.start(RTCM3GEN, g.first + QStringList({"-"}));
        ASSERT_TRUE(p.waitForFinished(60000));
        EXPECT_EQ(logs::fields(p.exitCode(), p.readAllStandardOutput().isEmpty()), logs::fields(g.second, g.second != 0))
            << g.first.join(' ').toStdString();
    }
    QTemporaryDir dir;
    // A file that cannot be read is reported, and the run fails.
    CliRun r = convert({"-o", dir.path(), dir.path() + "/missing.rtcm"});
    EXPECT_EQ(logs::fields(r.exit, r.errors.contains("missing.rtcm")), logs::fields(1, true)) << r.errors.toStdString();
    // The desktop program carries the same identity.
    const QByteArray bytes = readAll(QUORVANE_APP);
    EXPECT_TRUE(bytes.contains("Fmw3_Elf_Version[Quorvane.1.41.2401.83]") && bytes.contains("Fmw3_Elf_BuildTime["));
}

TEST(Convert, JoinWritesOneOutputSet)
{
    REQUIRE_TESTDATA();
    QTemporaryDir out;
    CliRun j = convert({"-q", "-r", "3.04", "-j", "-o", out.path(), dataPath("gnss-converters/dropped-packets-STR24.rtcm3"),
                        dataPath("gnss-converters/week-rollover-STR24.rtcm3")});
    ASSERT_EQ(logs::fields(j.exit, j.written.size()), logs::fields(0, 2)) << j.errors.toStdString();
    rnx3::File f = rnx3::read(j.written[1].toStdString());
    ASSERT_FALSE(f.epochs.empty());
    // One output set named after the first input, holding both days.
    EXPECT_TRUE(j.written[1].endsWith("dropped-packets-STR24.18O")) << j.written[1].toStdString();
    EXPECT_EQ(logs::fields(f.epochs.front().line.substr(0, 12), f.epochs.back().line.substr(0, 12)),
              logs::fields("> 2018 07 12", "> 2018 07 15"));
    // An input that cannot be read would be missing from that one set,
    // which would still be named as written: nothing is converted.
    QTemporaryDir out2;
    j = convert({"-q", "-j", "-o", out2.path(), dataPath("gnss-converters/dropped-packets-STR24.rtcm3"),
                 out2.path() + "/missing.rtcm3"});
    EXPECT_EQ(logs::fields(j.exit, j.written, filesIn(out2.path())), logs::fields(1, QStringList(), QStringList()))
        << j.errors.toStdString();
}

// Which output replaces an input is the task's own check; here the one list
// of a run, and "-o .".
TEST(Convert, NoEarlierResultOfTheRunIsReplaced)
{
    REQUIRE_TESTDATA();
    QTemporaryDir dir;
    const QByteArray sept = readAll(dataPath("gnss-converters/sept.rtcm"));
    // Two inputs with one stem into one directory: the second may not
    // replace the first one's files.
    for (const char *d : {"d1", "d2", "out"}) QDir(dir.path()).mkpath(d);
    const QString a = dir.path() + "/d1/sept.rtcm", b = dir.path() + "/d2/sept.rtcm3", out = dir.path() + "/out";
    writeFile(a, sept);
    writeFile(b, readAll(dataPath("gnss-converters/week-rollover-STR24.rtcm3")));
    CliRun r = convert({"-q", "-o", out, a, b});
    const QStringList both = {out + "/sept.18N", out + "/sept.18O"};
    EXPECT_EQ(logs::fields(r.exit, r.written, filesIn(out)), logs::fields(1, both, QStringList({"sept.18N", "sept.18O"})));
    EXPECT_TRUE(r.errors.contains("sept.rtcm3: failed: " + out + "/sept.18N was already written from " + a +
                                  ", not replaced with the output of " + b))
        << r.errors.toStdString();
    const QByteArray first = readAll(out + "/sept.18O");
    EXPECT_TRUE(first.contains("\n> 2018 01 02 ") && !first.contains("\n> 2018 07 "));
    // "-o ." is the directory the user is in, not the inputs' one.
    r = convert({"-q", "-o", ".", a}, {}, out);
    EXPECT_EQ(logs::fields(r.exit, r.written, filesIn(dir.path() + "/d1")), logs::fields(0, both, QStringList({"sept.rtcm"})))
        << r.errors.toStdString();
    // A later run replaces them.
    r = convert({"-q", "-o", out, b});
    EXPECT_EQ(logs::fields(r.exit, readAll(out + "/sept.18O").contains("\n> 2018 07 14 ")), logs::fields(0, true))
        << r.errors.toStdString();
}

// Which files a failed task keeps is the task's own rule; here how the
// program reports them.
TEST(Convert, FailedTasksAreReported)
{
    QTemporaryDir dir, out;
    writeFile(dir.path() + "/t.txt", "a plain text file\n");
    CliRun r = convert({"-q", "-o", out.path(), dir.path() + "/t.txt"});
    EXPECT_EQ(logs::fields(r.exit, r.written, filesIn(out.path())), logs::fields(1, QStringList(), QStringList()));
    EXPECT_TRUE(r.errors.contains("t.txt: failed: no GNSS data found in t.txt")) << r.errors.toStdString();
    REQUIRE_TESTDATA();

    // A file size limit of 1024 blocks of 512 bytes makes writes past
    // 512 KiB fail, without the signal that would kill the program.
    QProcess p;
    const QString limit = "ulimit -f 1024 && exec \"$0\" \"$@\"";
    // A merge stopped by it names the system's reason and leaves nothing.
    QTemporaryDir merged;
    p.start("/bin/sh", {"-c", limit, QUORVANE_CONVERT, "-q", "-m", merged.path() + "/m",
                        dataPath("gnss-converters/week-rollover-STR17.rtcm3")});
    ASSERT_TRUE(p.waitForFinished(300000));
    EXPECT_EQ(logs::fields(p.readAllStandardError().contains(": File too large\n"), filesIn(merged.path())),
              logs::fields(true, QStringList()));
    p.start("/bin/sh", {"-c", limit, QUORVANE_CONVERT, "-q", "-o", out.path(), "--set", "Time Start=2018-07-14",
                        dataPath("gnss-converters/week-rollover-STR17.rtcm3")});
    ASSERT_TRUE(p.waitForFinished(300000));
    const QString errors = QString::fromLocal8Bit(p.readAllStandardError());
    EXPECT_EQ(logs::fields(p.exitCode(), p.readAllStandardOutput(),
                           errors.contains("week-rollover-STR17.rtcm3: failed: cannot write ")),
              logs::fields(1, QByteArray(), true))
        << errors.toStdString();
    // What is left is named as partial.
    const QStringList partial = partialFiles(errors, "week-rollover-STR17.rtcm3");
    EXPECT_EQ(logs::fields(partial.isEmpty(), filesIn(out.path())), logs::fields(false, partial));
    // A name holding ";" is not taken for the two files it seems to list.
    const QByteArray sept = readAll(dataPath("gnss-converters/sept.rtcm"));
    for (const char *name : {"/x", "/y.rtcm", "/x;y.rtcm"}) writeFile(dir.path() + name, sept);
    for (const QStringList &how : {QStringList({"-o", out.path()}), QStringList({"-m", out.path() + "/m"})}) {
        r = convert(QStringList("-q") + how + QStringList("x;y.rtcm"), {}, dir.path());
        EXPECT_EQ(logs::fields(r.exit, r.written), logs::fields(1, QStringList())) << r.errors.toStdString();
    }
    // The names of the files written, or a listing, cannot reach standard
    // output.
    QTemporaryDir out2;
    p.setStandardOutputFile("/dev/full");
    for (const QStringList &run : {QStringList({QUORVANE_CONVERT, "-q", "-o", out2.path()}), QStringList(GNSSSCAN)}) {
        p.start(run[0], run.mid(1) + QStringList(dataPath("gnss-converters/sept.rtcm")));
        ASSERT_TRUE(p.waitForFinished(60000));
        EXPECT_EQ(p.exitCode(), 1) << run[0].toStdString();
    }
    // gnssscan's set of the formats a conversion reads holds u-blox: all the
    // log's RXM-SFRBX frames, counted by their sync and id bytes.
    const QString ubx = dataPath("gnss-converters/rxm_sfrbx_gps.ubx");
    QProcess scan;
    scan.start(GNSSSCAN, {"-f", "conversion", ubx});
    ASSERT_TRUE(scan.waitForFinished(60000));
    EXPECT_TRUE(scan.readAllStandardOutput().contains(
        QString("ublox\t0x0213\t%1\n").arg(readAll(ubx).count("\xb5\x62\x02\x13")).toLatin1()));
}

// gnssscan's default formats find every frame of a log that the logs'
// catalogue counts: an HCI packet (no check) begun at a stray 01..04 byte
// between frames would swallow the frames its length covers.
TEST(Convert, GnssscanListsEveryCataloguedFrame)
{
    REQUIRE_TESTDATA();
    const struct {
        const char *file, *format;
        std::vector<std::pair<int, int>> frames; // message number, frames
    } cases[] = {
        {"novatel-oem7-driver/bestpos.gps", "novatel", {{42, 5}, {99, 5}, {726, 2}, {1163, 2}, {1465, 2}}},
        {"gnss-converters/20190120_1956_rover.023", "rtcm3",
         {{1006, 638}, {1019, 156}, {1020, 130}, {1042, 78}, {1046, 65}, {1077, 637}, {1087, 638}, {1097, 638},
          {1127, 638}}},
    };
    for (const auto &c : cases) {
        QProcess scan;
        scan.start(GNSSSCAN, {dataPath(c.file)});
        ASSERT_TRUE(scan.waitForFinished(60000));
        const QByteArray listing = scan.readAllStandardOutput();
        for (const auto &f : c.frames)
            EXPECT_TRUE(listing.contains(QString("\n%1\t%2\t%3\n").arg(c.format).arg(f.first).arg(f.second).toLatin1()))
                << c.file << " " << f.first << "\n" << listing.toStdString();
    }
}

// Interrupted, the run cancels as the window does: only whole files with
// their headers are left, each named as partial.
TEST(Convert, InterruptLeavesOnlyFinishedFiles)
{
    REQUIRE_TESTDATA();
    QTemporaryDir dir;
    const QByteArray one = readAll(dataPath("gnss-converters/week-rollover-STR17.rtcm3"));
    QByteArray big;
    for (int i = 0; i < 12; i++) big += one; // about 28 MB
    writeFile(dir.path() + "/big.rtcm3", big);
    const QString out = dir.path() + "/out";
    QDir(dir.path()).mkpath("out");
    QProcess p;
    p.start(QUORVANE_CONVERT, {"-o", out, "--set", "Time Start=2018-07-14", dir.path() + "/big.rtcm3"});
    ASSERT_TRUE(p.waitForStarted());
    // Once epochs are being written.
    for (int i = 0; i < 6000; i++) {
        const QFileInfoList t = QDir(out).entryInfoList({"rinex-*O"}, QDir::Files);
        if (!t.isEmpty() && t[0].size() > 200000) break;
        QThread::msleep(5);
    }
    ::kill(p.processId(), SIGINT);
    ASSERT_TRUE(p.waitForFinished(60000));
    const QString errors = QString::fromLocal8Bit(p.readAllStandardError());
    EXPECT_EQ(logs::fields(p.exitStatus(), p.exitCode(), p.readAllStandardOutput(), filesIn(out)),
              logs::fields(QProcess::NormalExit, 1, QByteArray(), partialFiles(errors, "big.rtcm3")))
        << errors.toStdString();
    rnx3::File f = rnx3::read((out + "/big.18O").toStdString());
    EXPECT_EQ(logs::fields(f.errors.size(), f.epochs.empty()), logs::fields((size_t)0, false));
}

TEST(Convert, MergeReplacesItsOutputOnlyWhenItSucceeds)
{
    QTemporaryDir dir;
    const QString a = dir.path() + "/a.bin", b = dir.path() + "/b.bin", out = dir.path() + "/m.out";
    writeFile(a, QByteArray("first\n"));
    writeFile(b, QByteArray(1048576 + 3, 'b'));
    writeFile(out, "an older result");
    const auto mode = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup;
    const auto notUser = QFile::Permissions(0x7077); // the "user" bits depend on who runs this
    QFile::setPermissions(out, mode);
    for (int run = 0; run < 2; run++) {
        // Replaced, not appended to: the same merge twice gives the same
        // file, with the permissions the replaced one had.
        CliRun r = convert({"-q", "-m", out, a, b});
        EXPECT_EQ(logs::fields(r.exit, r.written, readAll(out) == readAll(a) + readAll(b),
                               (QFile::permissions(out) & notUser) == mode),
                  logs::fields(0, QStringList({out}), true, true))
            << r.errors.toStdString();
    }
    const QByteArray good = readAll(out);
    // An input that cannot be read fails the merge: the old output stays,
    // and nothing else is left beside it.
    QFileInfo mem("/proc/self/mem");
    if (mem.exists() && mem.isFile()) {
        CliRun r = convert({"-q", "-m", out, a, "/proc/self/mem"});
        EXPECT_EQ(logs::fields(r.exit, r.written, readAll(out) == good), logs::fields(1, QStringList(), true));
    }
    // Nor may the output be one of the inputs.
    CliRun r = convert({"-q", "-m", dir.path() + "/./a.bin", a, b});
    EXPECT_EQ(logs::fields(r.exit, r.errors.contains("merge output is one of the inputs"), readAll(a), filesIn(dir.path())),
              logs::fields(1, true, QByteArray("first\n"), QStringList({"a.bin", "b.bin", "m.out"})))
        << r.errors.toStdString();
}

TEST(Convert, EveryMsmSignalReachesRinex3)
{
    REQUIRE_TESTDATA();
    // Signals of the logs that are deliberately not converted, with the reason.
    const std::map<std::string, std::string> notConverted = {
        {"J?6", "QZSS MSM signal id 6 is not defined in RTCM 10403.3, so it has no RINEX code"},
    };
    int logs = 0;
    bool quietChecked = false;
    std::set<std::string> seen;
    QDirIterator it(QString::fromStdString(testdata::dir()), QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QString path = it.next();
        const QByteArray data = readAll(path);
        std::set<std::string> wanted = msmSignals(std::vector<uint8_t>(data.begin(), data.end()));
        if (wanted.empty()) continue;
        SCOPED_TRACE(path.toStdString());
        logs++;
        QTemporaryDir out;
        CliRun r = convert({"-q", "-r", "3.05", "-o", out.path(), "--set", "Time Start=2021-03-01", path});
        ASSERT_EQ(r.exit, 0) << r.errors.toStdString();
        // Quiet drops the input and output lines, not what is said about the
        // data: sept.rtcm is of GPS week 1982 (2018-01-02), and "Time Start"
        // 2021-03-01 (week 2147) dates it 165 weeks later.
        if (path.endsWith("/gnss-converters/sept.rtcm")) {
            quietChecked = true;
            EXPECT_EQ(r.errors, "sept.rtcm: Time Start dates the epochs 165 weeks after the log's ephemerides: "
                                "check Time Start\n");
        }
        std::set<std::string> written;
        for (const QString &w : r.written) {
            if (!w.endsWith("O") && !w.endsWith("_MO.rnx")) continue;
            rnx3::File f = rnx3::read(w.toStdString(), false);
            for (const auto &sys : f.types)
                for (const std::string &t : sys.second) written.insert(std::string(1, sys.first) + t.substr(1));
            if (path.endsWith("week-rollover-STR24.rtcm3")) {
                // The log holds 7,471 GPS L5 I+Q pseudoranges.
                const std::vector<std::string> &g = f.types['G'];
                size_t column = std::find(g.begin(), g.end(), "C5X") - g.begin(), values = 0;
                for (const rnx3::Epoch &e : f.epochs)
                    for (const auto &sat : e.sats)
                        if (sat.first[0] == 'G' && column < sat.second.size()) values += sat.second[column].present;
                EXPECT_EQ(values, 7471u);
            }
        }
        for (const std::string &sig : wanted) {
            seen.insert(sig);
            if (!notConverted.count(sig)) {
                EXPECT_TRUE(written.count(sig)) << sig << " is not in the RINEX 3 file";
            } else {
                // Left out, but named with its message and signal id.
                EXPECT_TRUE(r.errors.contains("signals the converter does not know: RTCM 3 1117 signal id 6: "))
                    << r.errors.toStdString();
            }
        }
    }
    EXPECT_TRUE(logs > 20 && quietChecked) << logs;
    // The logs carry the I+Q, L1C and SBAS signals this check is about.
    for (const char *sig : {"G5X", "J5X", "J1X", "S1C", "S5I", "E5X", "J?6"}) EXPECT_TRUE(seen.count(sig)) << sig;
}
