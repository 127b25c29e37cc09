// Writer core: setters and their limits, signal acceptance, loss of lock,
// week tracking, observation records, output files and names.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <math.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include <string>

#include "log_frames.h"
#include "gnss_signal.h"
#include "rinexxxx.h"
#include "util.h"

namespace {

// A writer with the RINEX 3 file sets and header hooks, the navigation one
// counting its calls.
class TestWriter : public Rinexxxx
{
public:
    int nHeaderCalls = 0;

    TestWriter() { version = 304, versionMinor = 4; }
    ~TestWriter() override { close(); }

    qint64 open(qint64 startMs) override
    {
        if (fileName.isEmpty() || opened) return 0;
        clearStatus();
        QList<QPair<char, QByteArray>> set = {{'O', "OBSERVATION DATA"}};
        if (fileNameMode == 1) {
            const char *texts[] = {"C: BDS", "E: GALILEO", "G: GPS", "J: QZSS", "R: GLONASS", ""};
            for (int i = 0; i < 6; i++)
                if (!maskSystem.contains("CEGJRT"[i])) set.append({"CLNQGT"[i], texts[i]});
            return openFileSet(startMs, "OCLNQGT", set, 64, 16);
        }
        set += {{'N', "M: MIXED"}, {'T', ""}};
        return openFileSet(startMs, "ONNNNNT", set, 64, 16);
    }
    bool updateOHeader(QFile &file) override
    {
        file.seek(0);
        file.write("OBS HEADER\r\n");
        return true;
    }
    bool updateNHeader(QFile &, const QByteArray &) override { return ++nHeaderCalls > 0; }
    // Records a written epoch the way the writers do.
    void written(qint64 ms)
    {
        if (firstEpochMs == 0) firstEpochMs = ms;
        qint64 d = ms - lastEpochMs;
        if (lastEpochMs && d > 0 && (intervalMs == 0 || d < intervalMs)) intervalMs = (int)d;
        lastEpochMs = ms;
    }
};

// The writers count GPS time from 1970 without leap seconds: a GPS calendar
// time is utc_ms of it.
using logs::utc_ms;

// The short names' year and the temporary names use local time.
[[maybe_unused]] const bool utcZone = (setenv("TZ", "UTC", 1), tzset(), true);

// Every entry true, or the failing one's index.
template <size_t N> void expectAll(const bool (&results)[N])
{
    for (size_t i = 0; i < N; i++) EXPECT_TRUE(results[i]) << "call " << i;
}

// Every name exists in `dir` or, with a leading '!', does not.
void expectFiles(const QString &dir, const QStringList &names)
{
    for (const QString &n : names)
        EXPECT_EQ(QFile::exists(dir + "/" + n.mid(n.startsWith('!'))), !n.startsWith('!')) << n.toStdString();
}

} // namespace

TEST(RinexCore, SettersAndLimits)
{
    TestWriter w;
    // Each setter refuses what its header field cannot hold; the results in
    // the order of the calls (a braced list is evaluated left to right).
    expectAll({w.setMarker("SITE", "123", "GEODETIC"), !w.setMarker("OTHER", "9", "geodetic"), !w.setMarker("OTHER", "9", ""),
               !w.setAntennaHEN(1000, 0, 0), !w.setAntennaHEN(0, -1000, 0), !w.setAntennaHEN(NAN, 0, 0),
               w.setAntennaHEN(999.999, -1.5, 2), w.setPhaseCenter(90, 360, -1000), w.setPhaseCenter(-90, -180, 1000000),
               !w.setPhaseCenter(90.0001, 0, 0), !w.setPhaseCenter(0, NAN, 0), !w.setPhaseCenter(0, 0, 1000000.5),
               w.setObsIntervalMin(0), !w.setObsIntervalMin(-1), !w.setMode(0), !w.setMode(4), w.setMode(3),
               !w.setFileName("/tmp/x.00O", 4), w.setProgramRunby(QByteArray(30, 'p'), "me"),
               w.setObserverAgency("obs", QByteArray(50, 'a')), w.setCommentList({"hello", QByteArray(70, 'c')})});
    EXPECT_EQ(logs::fields(w.markerName, w.markerNumber, w.antennaHen[1], w.phaseCenterBlh[0]),
              logs::fields(QByteArray("SITE"), QByteArray("123"), -1.5, -90.0));
    EXPECT_EQ(logs::fields(w.programName.size(), w.agency.size(), w.commentLines.size()), logs::fields(20, 40, 2));
    EXPECT_EQ(logs::fields(w.commentLines.value(0), w.commentLines.value(1).size()),
              logs::fields(QByteArray("hello").leftJustified(60, ' ') + "COMMENT             \r\n", 82));
    EXPECT_TRUE(w.setMarker(QByteArray(70, 'N'), QByteArray(25, '7'), "HUMAN"));
    EXPECT_EQ(logs::fields(w.markerName.size(), w.markerNumber.size(), Rinexxxx::MARKER_TYPE.size()),
              logs::fields(60, 20, 14));
    // Header fields are ASCII columns: a line break would split the line,
    // a multi-byte character would shift the label; accents lose their mark
    // before the cut, other characters become "?".
    const QByteArray names[][3] = {{"SITE\r\nA", "SITE??A", "SITE??A"},
                                   {"Z\xC3\xBCrich-Nummer-12345678", "Zurich-Nummer-123456", "Zurich-Nummer-12345678"},
                                   {"Gr\xC3\xBC\xC3\x9F" "e\t\xFF\xF0\x9F\x93\xA1", "Gru?e???", "Gru?e???"}};
    for (const auto &n : names) {
        ASSERT_TRUE(w.setMarker(n[0], n[0], "GEODETIC") && w.setReceiver(n[0], n[0], n[0]) && w.setCommentList({n[0]}));
        EXPECT_EQ(logs::fields(w.markerNumber, w.receiverType, w.markerName, w.commentLines.value(0)),
                  logs::fields(n[1], n[1], n[2], n[2].leftJustified(60, ' ') + "COMMENT             \r\n"));
    }

    // Prescan only takes effect while open.
    w.setPrescan(true);
    EXPECT_FALSE(w.prescan);
    // The base writer has no files of its own.
    Rinexxxx base;
    EXPECT_EQ(base.open(0), 0);
    EXPECT_FALSE(base.setVersion(304));

    // While open the header setters refuse; the week and the GLONASS
    // channels are taken; closed, the setters take again.
    QTemporaryDir dir;
    TestWriter o;
    ASSERT_TRUE(o.setFileName(dir.path() + "/log.00O", 2));
    ASSERT_GT(o.open(0), 0);
    glonass_channel_t table;
    glonass_channel_init(&table);
    expectAll({o.isOpen(), !o.setMarker("X", "1", "GEODETIC"), !o.setAntennaHEN(1, 1, 1), !o.setObsIntervalMin(1000),
               !o.setMaskSystem({'G'}), !o.setCommentList({"x"}), o.open(0) == 0, (o.setPrescan(true), o.prescan),
               o.setRtcm3Epoch(2000, 5000), o.setGlonassChannel(table), (o.close(), !o.isOpen()),
               o.setMarker("X", "1", "GEODETIC")});
}

TEST(RinexCore, LossOfLock)
{
    TestWriter w;
    Rinexxxx::Obs o;
    o.signal = &GNSS_SIGNAL_GPS[0], o.prn = 5;
    // One report per row: epoch (ms of week), least lock time and resolution
    // (s), report kind, a valid phase or not; expected lockOk and lockPending
    // (a slip not yet carried by a written phase), and whether the phase is
    // then written.
    const float ms1 = 0.001f;
    const uint8_t msm7 = Rinexxxx::LOCK_KIND_MSM_EXTENDED, msm4 = Rinexxxx::LOCK_KIND_MSM;
    struct Row {
        int ms;
        float lock, resolution;
        uint8_t kind;
        bool valid, ok, pending, written;
    } rows[] = {
        {1000, 10, ms1, msm7, true, false, true, false},   // first phase of a signal; epoch not written
        {1000, 10, ms1, msm4, true, false, true, false},   // again in its epoch (another MSM type): stands
        {2000, 11, ms1, msm7, true, true, true, true},     // grew by the elapsed second; the slip still due
        {3000, 12, ms1, msm7, true, true, false, true},    // carried: clean
        {4000, 12, ms1, msm7, true, false, true, true},    // did not grow: lock restarted
        {5000, 0, 0.032f, msm7, true, false, true, true},  // fell
        {6000, 0, 0.032f, msm7, true, false, true, true},  // low indicator twice: lost again
        {7000, 1, 0.032f, msm7, true, true, false, true},  // grew by one second
        {9000, 3, 0.032f, msm7, true, true, false, true},  // two seconds later, two more
        {10000, 6, 0.032f, msm7, true, false, true, true}, // grew faster than time: not this carrier's
        {11000, 7, 0.032f, msm4, true, false, true, true}, // another kind of report
        {12000, 8, 0.032f, msm4, true, true, false, true},
        {13000, 9, -1, msm4, true, true, false, true},     // at its top value
        {14000, 9, -1, msm4, true, true, false, true},     // ... which may stay there
        {15000, 10, -1, msm4, false, false, false, false}, // no valid phase: forgotten
        {16000, 11, ms1, msm4, true, false, true, true},   // so the next valid phase is flagged
        {604798000, 12, ms1, msm4, true, false, true, true}, // 18 s before the last report: lost
        {604799000, 13, ms1, msm4, true, true, false, true},
        {0, 14, ms1, msm4, true, true, false, true},         // across the week end: one second
    };
    int n = 0;
    for (const Row &r : rows) {
        Rinexxxx::Obs e = o;
        e.phaseValid = r.valid, e.lockOk = true, e.lockTime = r.lock, e.lockResolution = r.resolution, e.lockKind = r.kind;
        e.updateLocktime(&w, r.ms);
        if (r.valid) {
            EXPECT_EQ(logs::fields(e.lockOk, e.lockPending, e.lockLost()), logs::fields(r.ok, r.pending, !r.ok || r.pending))
                << "row " << n;
        }
        if (r.written) w.phaseWritten(e);
        n++;
    }
    // Key: system, satellite and signal index.
    o.signal = &GNSS_SIGNAL_GALILEO[3], o.prn = 12;
    EXPECT_EQ(o.lockKey(), 1 * 65536 + 12 * 256 + 3);
}

TEST(RinexCore, FormattingExamples)
{
    char b[64];
    // Too narrow a field (10 for 4 digits) is refused: nothing written.
    const struct {
        int width, precision;
        double v;
        const char *text;
    } exps[] = {{19, 12, 1.5, "  .150000000000D+01"}, {19, 12, -0.0123, " -.123000000000D-01"},
                {19, 12, 0, "  .000000000000D+00"},   {12, 4, 1.118e-8, "   .1118D-07"},
                {19, 12, 9.99999999999996, " 1.000000000000D+01"}, {19, 12, -1.5, " -.150000000000D+01"},
                {10, 4, 1.0, ""}, {11, 4, 1.0, "  .1000D+01"}, {19, 12, 1e-120, "  .000000000000D+00"},
                {19, 12, -1e-120, " -.000000000000D+00"}, {19, 12, 1.5e20, "  .150000000000D+21"},
                {19, 12, -2.5e-15, " -.250000000000D-14"}, {19, 12, 123456789012.4, "  .123456789012D+12"},
                {19, 12, 9.87654321e-41, "  .987654321000D-40"}};
    for (const auto &x : exps) {
        b[0] = 0;
        const int n = Rinexxxx::printExp(b, x.width, x.precision, x.v);
        EXPECT_EQ(logs::fields(n, std::string(b)), logs::fields((int)strlen(x.text), std::string(x.text))) << x.v;
    }
    // Raw doubles from a receiver can be anything: the field stays blank and
    // nothing is written beyond it.
    for (double bad : {(double)NAN, (double)INFINITY, -(double)INFINITY, 1e300, -1e99}) {
        memset(b, 'x', sizeof b);
        const int n = Rinexxxx::printExp(b, 19, 12, bad);
        EXPECT_EQ(logs::fields(n, std::string(b), b[20]), logs::fields(19, std::string(19, ' '), 'x')) << bad;
    }

    // Rounded to zero, a value loses its sign (the compressed form keeps
    // none). Ten digits fit without a sign; wider values are left blank, never cut.
    const struct {
        double v;
        char lli, ssi;
        const char *text;
    } obs[] = {{12.3456, ' ', ' ', "        12.346  "},         {-0.0004, ' ', ' ', "         0.000  "},
               {21000000.1234, '1', '7', "  21000000.12317"},   {999999999.9994, ' ', ' ', " 999999999.999  "},
               {1000000000.5, ' ', ' ', "1000000000.500  "},    {9999999999.9994, ' ', ' ', "9999999999.999  "},
               {9999999999.9996, ' ', ' ', "                "}, {-1000000000.5, ' ', ' ', "                "},
               {-123456789.5, ' ', '9', "-123456789.500 9"}};
    for (const auto &o : obs) {
        const int n = Rinexxxx::sprintObs(b, o.v, o.lli, o.ssi);
        EXPECT_EQ(logs::fields(n, std::string(b)), logs::fields(16, std::string(o.text))) << o.v;
    }

    const struct {
        qint64 ms;
        const char *text;
    } codes[] = {{-5, "01C"}, {0, "01C"}, {10, "01C"}, {11, "90Z"}, {100, "10Z"}, {200, "05Z"}, {999, "01Z"},
                 {1000, "01S"}, {30000, "30S"}, {90000, "01M"}, {3599999, "59M"}, {3600000, "01H"},
                 {86399999, "23H"}, {86400000, "01D"}, {1814399999, "20D"}, {1814400000, "00U"},
                 // 25 days: more than 2^31 ms.
                 {25LL * 86400000, "00U"}, {(qint64)20 * 86400000 + 5, "20D"}};
    for (const auto &c : codes) {
        Rinexxxx::printMs(b, c.ms);
        EXPECT_STREQ(b, c.text) << c.ms;
    }

    // Week 2010 day 0 = 2018-07-15 (Sunday); 86399.999 s into the week.
    struct tm *t = Rinexxxx::getTimeFromGpsWeekMs(2010, 86399999);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(logs::fields(t->tm_year, t->tm_mon, t->tm_mday, t->tm_hour, t->tm_sec, t->tm_wday),
              logs::fields(118, 6, 15, 23, 59, 0));

    // WGS 84: the equatorial radius a and the polar radius b.
    double xyz[3], pole[3], blh[3];
    Rinexxxx::setXyzByBlh(xyz, 0, 0, 0);
    Rinexxxx::setXyzByBlh(pole, 90, 0, 0);
    EXPECT_NEAR(fabs(xyz[0] - 6378137.0) + fabs(xyz[1]) + fabs(pole[2] - 6356752.3142), 0, 1e-4);
    // Round trip through the library's inverse.
    Rinexxxx::setXyzByBlh(xyz, -35.3, 149.1, 650.25);
    ASSERT_EQ(util_xyz_to_blh(xyz[0], xyz[1], xyz[2], &blh[0], &blh[1], &blh[2]), 0);
    EXPECT_NEAR(fabs(blh[0] + 35.3) + fabs(blh[1] - 149.1), 0, 1e-9);
    EXPECT_NEAR(blh[2], 650.25, 1e-4);

    // Galileo SISA index to metres (OS SIS ICD 5.1.12); 126 to 254 spare, 255 NAPA.
    const std::pair<int, double> sisa[] = {{0, 0.0},   {49, 0.49},  {50, 0.5},    {60, 0.7},   {75, 1.0},
                                           {100, 2.0}, {125, 6.0}, {126, 1e300}, {255, -1.0}};
    for (const auto &s : sisa) EXPECT_DOUBLE_EQ(Rinexxxx::galileoSisaIndexToMeter(s.first), s.second) << s.first;
}

TEST(RinexCore, FinalNames)
{
    QTemporaryDir dir;
    const QString d = dir.path();
    auto run = [&](const QString &name, int mode, int version, const QByteArray &marker,
                   const QByteArray &number, bool epochs) {
        TestWriter w;
        w.version = version, w.versionMinor = version % 100;
        w.setMarker(marker, number, "GEODETIC");
        w.setFileName(d + "/" + name, mode);
        EXPECT_GT(w.open(0), 0);
        if (epochs)
            for (int s : {0, 30, 86370}) w.written(utc_ms(2023, 12, 1, 0, 0, s));
        QStringList names = {QFileInfo(w.observationFinalName()).fileName(),
                             QFileInfo(w.navigationFinalName()).fileName()};
        w.close();
        return names;
    };
    EXPECT_EQ(run("log1.00O", 2, 304, "", "", true), QStringList({"log1.23O", "log1.23N"}));
    EXPECT_EQ(run("log1.00O", 3, 304, "BASE", "", true),
              QStringList({"BASE00000_R_20233350000_01D_30S_MO.rnx", "BASE00000_R_20233350000_01D_MN.rnx"}));
    expectFiles(d, {"BASE00000_R_20233350000_01D_30S_MO.rnx", "BASE00000_R_20233350000_01D_MN.rnx"});
    // Long names need RINEX 3.
    EXPECT_EQ(run("log1.00O", 3, 211, "BASE", "", true), QStringList({"log1.23O", "log1.23N"}));
    EXPECT_EQ(run("out.o", 2, 304, "", "", true), QStringList({"out.O", "out.N"}));
    EXPECT_EQ(run("station", 2, 304, "", "", true), QStringList({"station.23O", "station.23N"}));
    // No epoch at all.
    EXPECT_EQ(run("e.00O", 3, 305, "XY", "", false),
              QStringList({"XY0000000_R_19700010000_01C_01C_MO.rnx", "XY0000000_R_19700010000_01C_MN.rnx"}));
    // A marker name from a log header never leads out of the directory.
    EXPECT_EQ(logs::fields(run("a.00O", 3, 304, "TWELVECHARSX", "", true)[1], run("b.00O", 3, 304, "AB", "1234", true)[1],
                           run("c.00O", 3, 304, "../../x", "", true)[1], run("c.00O", 3, 304, "base", "", true)[1]),
              logs::fields(QString("LVECHARSX_R_20233350000_01D_MN.rnx"), QString("AB1234000_R_20233350000_01D_MN.rnx"),
                           QString("000000X00_R_20233350000_01D_MN.rnx"), QString("BASE00000_R_20233350000_01D_MN.rnx")));

    // Mode 1: one navigation file per system, named by its letter.
    TestWriter w;
    w.setFileName(d + "/m1.00O", 1);
    w.setMaskSystem({'C'});
    ASSERT_GT(w.open(0), 0);
    w.written(utc_ms(2023, 12, 1, 0, 0, 0));
    w.close();
    expectFiles(d, {"m1.23O", "m1.23N", "m1.23L", "m1.23Q", "m1.23G", "!m1.23C", "!m1.23T"});
    EXPECT_EQ(w.nHeaderCalls, 4);
}

TEST(RinexCore, SignalAcceptance)
{
    TestWriter w, r2;
    const gnss_signal_t *bds1d = &GNSS_SIGNAL_BDS[6], *gps = &GNSS_SIGNAL_GPS[0];
    w.version = 302, w.versionMinor = 2;
    expectAll({!w.checkRange(bds1d, 5), w.checkRange(&GNSS_SIGNAL_BDS[0], 5)});
    w.version = 304, w.versionMinor = 4;
    // "B3(XE)" has no RINEX 3 code; satellite numbers print as two digits.
    expectAll({w.checkRange(bds1d, 5), !w.checkRange(&GNSS_SIGNAL_BDS[26], 5), !w.checkRange(nullptr, 5),
               !w.checkRange(gps, 0), !w.checkRange(gps, 100), w.checkRange(gps, 99)});
    w.setMaskPrn({"R07"});
    w.setMaskSignal({"G2W"});
    w.setMaskSystem({'E'});
    // J2X is not G2W.
    expectAll({!w.checkRange(&GNSS_SIGNAL_GLONASS[0], 7), !w.checkRange(&GNSS_SIGNAL_GLONASS[2], 7),
               w.checkRange(&GNSS_SIGNAL_GLONASS[0], 8), w.checkRange(gps, 7), !w.checkRange(&GNSS_SIGNAL_GPS[2], 3),
               w.checkRange(&GNSS_SIGNAL_GPS[1], 3), w.checkRange(&GNSS_SIGNAL_QZSS[10 - 1], 3),
               !w.checkRange(&GNSS_SIGNAL_GALILEO[0], 11)});
    // "L1(Sb)" stands in the QZSS table but is an SBAS signal.
    w.setMaskSystem({'S'});
    EXPECT_FALSE(w.checkRange(&GNSS_SIGNAL_QZSS[11], 33));
    // RINEX 2 versions do not look at the RINEX 3 phase-shift elements.
    r2.version = 211, r2.versionMinor = 11;
    EXPECT_TRUE(r2.checkRange(bds1d, 5));
}

TEST(RinexCore, CompressionFallsBackToTheUncompressedFile)
{
    QTemporaryDir dir;
    TestWriter w;
    EXPECT_FALSE(w.setCompression(4));
    ASSERT_TRUE(w.setCompression(Rinexxxx::COMPRESS_HATANAKA | Rinexxxx::COMPRESS_GZIP));
    w.setFileName(dir.path() + "/z.00O", 2);
    ASSERT_GT(w.open(0), 0);
    EXPECT_FALSE(w.setCompression(0));
    w.written(utc_ms(2023, 12, 1, 0, 0, 0));
    w.close();
    // The navigation file is gzipped; this observation file is no RINEX
    // the compact form can carry, so it keeps its data uncompressed.
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList({"z.23N.gz", "z.23O"}));
    EXPECT_EQ(w.writtenFiles().size(), 2);
    EXPECT_TRUE(w.outputErrors().join("\n").contains("cannot compress")) << w.outputErrors().join("\n").toStdString();
}
