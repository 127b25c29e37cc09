// The quality check: slips and multipath on hand-built epochs, the RINEX
// readers on hand-written records, this program's RINEX 3 and 2.11 outputs of
// one log, other producers' files, and the two command lines.
#include <gtest/gtest.h>

#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <cmath>
#include <fstream>
#include <set>

#include "convert_cli.h"
#include "log_frames.h"
#include "quality.h"
#include "quality_feed.h"
#include "rinex_nav_reader.h"
#include "rinex_obs_reader.h"
#include "rtcm3.h"
#include "task_runner.h"

namespace {

const double kC = 299792458.0;
const double kL1 = kC / 1575.42e6, kL2 = kC / 1227.60e6;
const std::string kInstinct =
    "instinct/Spirent_ublox-F9P_static_duration-15min_sys-GPS-GAL_iono-Klobuchar_tropo-Saastamoinen";

// One GPS satellite, 40 epochs at 1 s: range and ionosphere drifting, code
// multipath of +-0.5 m on L1 and +-0.3 m on L2 alternating, so that each
// even-length arc's MP RMS is exactly that amplitude. Phase jumps in cycles
// and LLI digits are added per epoch by the caller.
struct Sequence {
    std::vector<int> skip;                   // epochs left out (a gap)
    std::map<int, double> jumpL1, jumpL2;    // from this epoch on, cycles
    std::map<int, int> lliL1;                // LLI digit of L1 at the epoch
    int epochs = 40;
    int repeat = -1; // an epoch given twice, as some programs' files do
    int stray = -1;  // an epoch given again 0.01 s later
    double interval = 1; // of the header; 0: none
};

qc::Report run(const Sequence &seq)
{
    qc::ObsHeader h;
    h.version = "3.04";
    h.interval = seq.interval;
    h.types = {{'G', {"C1C", "L1C", "S1C", "C2W", "L2W"}}};
    qc::QualityCheck check(h);
    const double alpha = (1575.42 / 1227.60) * (1575.42 / 1227.60);
    double j1 = 0, j2 = 0;
    for (int k = 0; k < seq.epochs; k++) {
        if (seq.jumpL1.count(k)) j1 += seq.jumpL1.at(k);
        if (seq.jumpL2.count(k)) j2 += seq.jumpL2.at(k);
        if (std::find(seq.skip.begin(), seq.skip.end(), k) != seq.skip.end()) continue;
        const double rho = 21.0e6 + 300.0 * k, iono = 2.0 + 0.01 * k;
        const double m1 = k % 2 ? -0.5 : 0.5, m2 = k % 2 ? -0.3 : 0.3;
        qc::ObsSatellite sat{'G', 7, std::vector<qc::ObsValue>(5)};
        sat.values[0].value = rho + iono + m1;
        sat.values[1].value = (rho - iono) / kL1 + 1000 + j1;
        sat.values[1].lli = uint8_t(seq.lliL1.count(k) ? seq.lliL1.at(k) : 0);
        sat.values[2].value = 40 + k % 3;
        sat.values[3].value = rho + alpha * iono + m2;
        sat.values[4].value = (rho - alpha * iono) / kL2 - 2000 + j2;
        check.addEpoch(qc::ObsEpoch{1.3e9 + k, 0, {sat}});
        if (k == seq.repeat) check.addEpoch(qc::ObsEpoch{1.3e9 + k, 0, {sat}});
        if (k == seq.stray) check.addEpoch(qc::ObsEpoch{1.3e9 + k + 0.01, 0, {sat}});
    }
    return check.finish();
}

TEST(QcStatistics, SlipsAndMultipathOfHandBuiltEpochs)
{
    struct Case {
        const char *name;
        Sequence seq;
        int lli, gf1, gf2, systemSlips;
        double mp1, mp2; // NaN: not checked
    } cases[] = {
        {"clean", {}, 0, 0, 0, 0, 0.5, 0.3},
        // A 10-cycle slip flagged on L1, then 7 cycles on L2 unflagged: arcs
        // of 12, 14 and 14 epochs, each with the exact amplitudes.
        {"two slips", {{}, {{12, 10}}, {{26, 7}}, {{12, 1}}}, 1, 2, 2, 4, 0.5, 0.3},
        // LLI alone cuts the arc (12 and 28 epochs) but is no jump.
        {"flag only", {{}, {}, {}, {{12, 1}}}, 1, 0, 0, 1, 0.5, 0.3},
        // 4 cycles of L1 are 0.76 m of geometry-free jump: below the limit.
        {"small jump", {{}, {{12, 4}}, {}, {}}, 0, 0, 0, 0, NAN, NAN},
        // A half-cycle flag (bit 1) is no slip, nor is a lost lock flagged
        // on the first phase: there was no earlier one to slip from.
        {"half cycle", {{}, {}, {}, {{12, 2}}}, 0, 0, 0, 0, 0.5, 0.3},
        {"first phase", {{}, {}, {}, {{0, 1}}}, 0, 0, 0, 0, 0.5, 0.3},
        // A gap of three epochs: the arc after it (7 epochs) is too short.
        {"gap", {{30, 31, 32}, {}, {}, {}}, 0, 0, 0, 0, 0.5, 0.3},
        // The two slips in a file without INTERVAL whose epoch 5 comes again
        // 0.01 s later: the arcs still run at the file's 1 s rate. The first
        // arc has 13 values, 7 of them -a: its sum of squares about the mean
        // is a^2 (13 - 1/13); the other two 14 a^2 each; RMS over 41 values.
        {"stray epoch", {{}, {{12, 10}}, {{26, 7}}, {{12, 1}}, 40, -1, 5, 0}, 1, 2, 2, 4,
         0.5 * std::sqrt((13 - 1.0 / 13 + 28) / 41), 0.3 * std::sqrt((13 - 1.0 / 13 + 28) / 41)},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        qc::Report r = run(c.seq);
        ASSERT_TRUE(r.satellites.size() == 1 && r.satellites[0].signals.size() == 2);
        const std::vector<qc::SignalStats> &s = r.satellites[0].signals;
        EXPECT_EQ(logs::fields(s[0].code, s[0].slips_lli, s[0].slips_gf, s[1].slips_gf, r.systems.at(0).slips),
                  logs::fields(std::string("1C"), c.lli, c.gf1, c.gf2, c.systemSlips));
        EXPECT_TRUE(std::isnan(c.mp1) || (std::fabs(s[0].multipath_rms - c.mp1) < 1e-6 &&
                                          std::fabs(s[1].multipath_rms - c.mp2) < 1e-6))
            << s[0].multipath_rms << " " << s[1].multipath_rms;
    }
    // A file without epochs has no first and last epoch to name.
    const std::string none = qc::formatJson(run({{}, {}, {}, {}, 0}));
    EXPECT_NE(none.find("\"first\": null,\n  \"last\": null,"), std::string::npos) << none;
    // Strength 40, 41, 42 repeating over 40 epochs; the gap's counts.
    const qc::SignalStats clean = run({}).satellites[0].signals[0];
    EXPECT_TRUE(std::fabs(clean.snr_mean - (40 + 39.0 / 40)) < 1e-9 && clean.snr_min == 40)
        << clean.snr_mean << " " << clean.snr_min;
    qc::Report gap = run({{30, 31, 32}, {}, {}, {}});
    EXPECT_EQ(logs::fields(gap.epochs, gap.epochs_expected, gap.gaps, gap.longest_gap, gap.elevations_known),
              logs::fields(37, 40, 1, 4, false));
    // An epoch given twice counts once, and the verdict says so.
    qc::Report repeated = run({{}, {}, {}, {}, 40, 20});
    EXPECT_EQ(logs::fields(repeated.epochs, repeated.satellites[0].signals[0].phase_obs, repeated.verdict),
              logs::fields(40, 40, std::string("check: 1 epoch repeated or out of order, left out")));

    // A long file: the plot samples keep at most kMaxPlotEpochs epochs, and
    // the slip of an epoch between them.
    qc::Report longFile = run({{}, {}, {}, {{4001, 1}}, 7000});
    std::set<float> times;
    int slips = 0;
    for (const qc::PlotSample &p : longFile.samples) {
        times.insert(p.t);
        slips += p.slip && p.t == 4001;
    }
    EXPECT_LE(times.size(), size_t(qc::kMaxPlotEpochs) + 1);
    EXPECT_GT(times.size(), size_t(qc::kMaxPlotEpochs / 2));
    EXPECT_EQ(slips, 1);
}

std::string writeText(const QTemporaryDir &dir, const char *name, const std::string &text)
{
    std::string path = dir.filePath(name).toStdString();
    std::ofstream(path) << text;
    return path;
}

std::string line80(const std::string &body, const std::string &label)
{
    std::string s = body;
    s.resize(60, ' ');
    return s + label + "\n";
}

// A multi-day 10 Hz file: the counts pass 2^31 and fill their columns. Each
// value must come out whole and apart from its neighbours.
TEST(QcStatistics, LargeCountsStayWholeAndApart)
{
    qc::ObsHeader h;
    h.version = "3.04";
    h.interval = 0.001; // 1 kHz, as some receivers' headers say
    h.types = {{'G', {"C1C"}}};
    qc::QualityCheck check(h);
    for (double t : {1.3e9, 1.3e9 + 30 * 86400.0}) {
        qc::ObsSatellite sat{'G', 7, std::vector<qc::ObsValue>(1)};
        sat.values[0].value = 21.0e6;
        check.addEpoch(qc::ObsEpoch{t, 0, {sat}});
    }
    qc::Report r = check.finish();
    EXPECT_EQ(r.epochs_expected, 2592000001LL); // 30 days of 1 ms steps, both ends counted

    r.systems.resize(1);
    r.systems[0].observations = 4000000123LL;
    r.systems[0].expected = 9986553;
    r.systems[0].observed_above = 9986553;
    r.satellites.resize(1);
    qc::SatelliteStats &s = r.satellites[0];
    s.epochs = 3001651;
    s.signals.resize(1);
    qc::SignalStats &g = s.signals[0];
    g.code = "1C";
    g.code_obs = g.phase_obs = g.doppler_obs = g.strength_obs = 3001651;
    g.snr_mean = 42.0;
    g.snr_min = 35.0;
    g.multipath_rms = 0.174;
    g.expected = g.observed_above = 1860751;
    const std::string text = qc::formatSummary(r);
    for (const char *part : {"2592000001 expected", "GPS         1 4000000123   9986553   9986553      0 ",
                             " 3001651 3001651 3001651 3001651 3001651 ", " 0.174 1860751/1860751"})
        EXPECT_NE(text.find(part), std::string::npos) << part << "\n" << text;
    EXPECT_NE(qc::formatJson(r).find("\"observations\": 4000000123,"), std::string::npos);
}

// RINEX 2: 13 satellites (a continuation line of names), seven types on two
// lines each, blanks and zeros (both mean "missing"), LLI and strength
// digits, a comment event and a change of the types, a slip-record epoch that
// carries no observations; Galileo C1 and P1, one RINEX 3 code apart, each
// keep their values.
TEST(QcReaders, Rinex2EpochsEventsAndTypeChanges)
{
    QTemporaryDir dir;
    std::string t = line80("     2.11           OBSERVATION DATA    M (MIXED)", "RINEX VERSION / TYPE") +
                    line80("     7    C1    L1    S1    P2    L2    D1    P1", "# / TYPES OF OBSERV") +
                    line80("     1.000", "INTERVAL") + line80("", "END OF HEADER");
    std::string names;
    for (int i = 1; i <= 13; i++) names += (i == 13 ? "E" : "G") + std::string(i < 10 ? "0" : "") + std::to_string(i);
    t += " 21  3  4  5  6  7.0000000  0 13" + names.substr(0, 36) + "\n" + std::string(32, ' ') + names.substr(36) + "\n";
    for (int i = 1; i <= 13; i++) {
        char l[200];
        std::snprintf(l, sizeof l, "%14.3f  %14.3f1%d%14.3f  %14s  %14.3f  \n%14.3f\n", 2.1e7 + i, 1.1e8 + i, 7, 45.0,
                      i % 2 ? "0.000" : "", 8.6e7 + i, -100.0 - i);
        t += l;
    }
    t += " 21  3  4  5  6  8.0000000  4  2\n" + line80("a comment", "COMMENT") +
         line80("     3    P2    L1    C1", "# / TYPES OF OBSERV");
    t += " 21  3  4  5  6  8.0000000  6  1G05\n  23000000.000  \n";
    // The last epoch announces a satellite the file ends before.
    t += " 21  3  4  5  6  9.0000000  0  2G05G06\n  22000000.500   110000000.250    21000000.125\n";

    qc::RinexObsReader reader;
    std::string error;
    ASSERT_TRUE(reader.open(writeText(dir, "a.21o", t), &error)) << error;
    EXPECT_EQ(reader.header().types.at(0).second,
              std::vector<std::string>({"C1C", "L1C", "S1C", "C2W", "L2W", "D1C", "C1W"}));
    qc::ObsEpoch e;
    ASSERT_TRUE(reader.next(&e, &error));
    ASSERT_EQ(e.satellites.size(), 13u);
    const qc::ObsSatellite &e13 = e.satellites[12], &g3 = e.satellites[2];
    EXPECT_EQ(logs::fields(e.flag, e.time, e13.system, e13.prn, e13.values[0].value, g3.values[1].value,
                           g3.values[1].lli, g3.values[1].strength, std::isnan(g3.values[3].value), g3.values[5].value),
              logs::fields(0, qc::calendarSeconds(2021, 3, 4, 5, 6, 7.0), 'E', 13, 2.1e7 + 13, 1.1e8 + 3, uint8_t(1),
                           uint8_t(7), true, -103.0));
    for (int flag : {4, 6}) {
        ASSERT_TRUE(reader.next(&e, &error));
        EXPECT_EQ(logs::fields(e.flag, e.satellites.size()), logs::fields(flag, size_t(0)));
    }
    ASSERT_TRUE(reader.next(&e, &error));
    ASSERT_EQ(e.satellites.size(), 1u);
    // P2 L1 C1 now: the values still come in the header's order.
    const std::vector<qc::ObsValue> &v = e.satellites[0].values;
    EXPECT_EQ(logs::fields(v[3].value, v[1].value, v[0].value, std::isnan(v[4].value)),
              logs::fields(22000000.5, 110000000.25, 21000000.125, true));
    EXPECT_EQ(logs::fields(reader.next(&e, &error), error, reader.skippedLines(), reader.endsInsideEpoch()),
              logs::fields(false, std::string(), 0, true));
}

// RINEX 3.02 names BDS B1I band 1; events with their records; short lines;
// a line that is no record and a last epoch cut short, which the report
// tells.
TEST(QcReaders, Rinex3EventsAndBdsBandOfVersion302)
{
    QTemporaryDir dir;
    std::string t = line80("     3.02           OBSERVATION DATA    M", "RINEX VERSION / TYPE") +
                    line80("C    4 C1I L1I C7I L7I", "SYS / # / OBS TYPES") +
                    // A Latin-1 marker name and a UTF-8 receiver name.
                    line80("Z\xfcrich", "MARKER NAME") + line80(std::string(20, ' ') + "R\xc3\xbc", "REC # / TYPE / VERS") +
                    line80("  2020     1     2     3     4    5.0000000     BDT", "TIME OF FIRST OBS") +
                    line80("", "END OF HEADER") + "> 2020 01 02 03 04  5.0000000  3  2\n" +
                    line80("NEW", "MARKER NAME") + line80("moved", "COMMENT") + "garbled\n" +
                    "> 2020 01 02 03 04  6.0000000  0  2\nC11  38000000.000   200000000.000 5\n";
    qc::RinexObsReader reader;
    std::string error;
    ASSERT_TRUE(reader.open(writeText(dir, "b.rnx", t), &error)) << error;
    qc::ObsEpoch e;
    ASSERT_TRUE(reader.next(&e, &error));
    EXPECT_EQ(logs::fields(reader.header().types.at(0).second, e.flag, e.satellites.size()),
              logs::fields(std::vector<std::string>({"C2I", "L2I", "C7I", "L7I"}), 3, size_t(0)));
    ASSERT_TRUE(reader.next(&e, &error));
    ASSERT_EQ(e.satellites.size(), 1u);
    // BDS time is 14 s behind GPS time.
    EXPECT_EQ(logs::fields(e.time, e.satellites[0].values[1].strength, std::isnan(e.satellites[0].values[2].value)),
              logs::fields(qc::calendarSeconds(2020, 1, 2, 3, 4, 6.0) + 14, uint8_t(5), true));
    EXPECT_EQ(logs::fields(reader.next(&e, &error), reader.skippedLines(), reader.endsInsideEpoch()),
              logs::fields(false, 1, true));
    qc::Report r;
    ASSERT_TRUE(qc::checkFiles(dir.filePath("b.rnx").toStdString(), {}, &r, &error)) << error;
    EXPECT_EQ(logs::fields(r.skipped_lines, r.ends_inside_epoch, r.verdict),
              logs::fields(1, true, std::string("check: 1 line not read; the file ends inside an epoch")));
    const QJsonObject header = QJsonDocument::fromJson(QByteArray::fromStdString(qc::formatJson(r))).object()["header"].toObject();
    EXPECT_EQ(logs::fields(header["marker"].toString(), header["receiver"].toString()),
              logs::fields(QString::fromUtf8("Z\u00fcrich"), QString::fromUtf8("R\u00fc")));
}

// Lines that carry on the line before, and types an event brings in: a
// RINEX 2 event that adds P2 and L2, a RINEX 3 event that adds a GPS band
// and the Galileo system, and a scale factor of 10 whose last listed type
// (L1C) stands on a continuation line. Counts by hand from the records.
TEST(QcReaders, TypesAndScaleFactorsOnContinuationLinesAndInEvents)
{
    QTemporaryDir dir;
    const std::string g05 = "  21000000.000   110000000.000  \n";
    const std::string rinex2 =
        line80("     2.11           OBSERVATION DATA    G", "RINEX VERSION / TYPE") +
        line80("     2    C1    L1", "# / TYPES OF OBSERV") + line80("", "END OF HEADER") +
        " 21  3  4  5  6  7.0000000  0  1G05\n" + g05 + " 21  3  4  5  6  7.5000000  4  1\n" +
        line80("     4    C1    L1    P2    L2", "# / TYPES OF OBSERV") + " 21  3  4  5  6  8.0000000  0  1G05\n" +
        "  21000300.000   110001500.000    21000302.000    85715000.000  \n";
    const std::string rinex3 =
        line80("     3.04           OBSERVATION DATA    M", "RINEX VERSION / TYPE") +
        line80("G    2 C1C L1C", "SYS / # / OBS TYPES") + line80("", "END OF HEADER") +
        "> 2021 03 04 05 06  7.0000000  0  1\nG05" + g05 + ">                              4  2\n" +
        line80("G    4 C1C L1C C2W L2W", "SYS / # / OBS TYPES") + line80("E    2 C1X L1X", "SYS / # / OBS TYPES") +
        "> 2021 03 04 05 06  8.0000000  0  2\n" +
        "G05  21000300.000   110001500.000    21000302.000    85715000.000  \nE11  25000000.000   131000000.000  \n";
    struct Case {
        const char *name;
        std::string text;
        int eObservations;
    } cases[] = {
        {"a.21o", rinex2, 0},
        {"b.rnx", rinex3, 2},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        qc::Report r;
        std::string error;
        ASSERT_TRUE(qc::checkFiles(writeText(dir, c.name, c.text), {}, &r, &error)) << error;
        std::vector<std::string> g05; // code: code and phase counts
        for (const qc::SignalStats &s : r.satellites.at(0).signals)
            g05.push_back(s.code + " " + std::to_string(s.code_obs) + " " + std::to_string(s.phase_obs));
        int e = 0;
        for (const qc::SystemStats &s : r.systems) e += s.system == 'E' ? s.observations : 0;
        EXPECT_EQ(logs::fields(r.epochs, r.events, r.skipped_lines, r.systems.at(0).observations, e, g05),
                  logs::fields(2, 1, 0, 6, c.eObservations, std::vector<std::string>({"1C 2 2", "2W 1 1"})));
    }

    std::string types, listed;
    for (const char *t : {"C1C", "C1W", "C1L", "C1X", "C2C", "C2D", "C2S", "C2L", "C2X", "C2P", "C2W", "C2Y", "C2M"})
        types += std::string(" ") + t;
    listed = types.substr(0, 48);
    const std::string scaled =
        line80("     3.04           OBSERVATION DATA    G", "RINEX VERSION / TYPE") +
        line80("G   14" + types, "SYS / # / OBS TYPES") + line80("       L1C", "SYS / # / OBS TYPES") +
        line80("G   10  13" + listed, "SYS / SCALE FACTOR") + line80("           L1C", "SYS / SCALE FACTOR") +
        line80("", "END OF HEADER") + "> 2021 03 04 05 06  7.0000000  0  1\nG05 210000000.000  " + std::string(16 * 11, ' ') +
        "  30000000.000  1100000000.000  \n";
    qc::RinexObsReader reader;
    std::string error;
    ASSERT_TRUE(reader.open(writeText(dir, "c.rnx", scaled), &error)) << error;
    qc::ObsEpoch e;
    ASSERT_TRUE(reader.next(&e, &error));
    // C1C and L1C are listed, C2M is not.
    const std::vector<qc::ObsValue> &v = e.satellites.at(0).values;
    EXPECT_EQ(logs::fields(v.size(), v[0].value, v[12].value, v[13].value),
              logs::fields(size_t(14), 21000000.0, 30000000.0, 110000000.0));
    // RINEX 3.02 names BDS B1I band 1, in the scale factors too.
    const std::string bds = line80("     3.02           OBSERVATION DATA    C", "RINEX VERSION / TYPE") +
                            line80("C    2 C1I L1I", "SYS / # / OBS TYPES") + line80("C   10   1 L1I", "SYS / SCALE FACTOR") +
                            line80("", "END OF HEADER") + "> 2021 03 04 05 06  7.0000000  0  1\n" +
                            "C11  38000000.000  2000000000.000  \n";
    qc::RinexObsReader bdsReader;
    ASSERT_TRUE(bdsReader.open(writeText(dir, "d.rnx", bds), &error)) << error;
    ASSERT_TRUE(bdsReader.next(&e, &error));
    EXPECT_EQ(logs::fields(e.satellites.at(0).values.at(0).value, e.satellites.at(0).values.at(1).value),
              logs::fields(38000000.0, 200000000.0));
}

// Files without a leap second count: the one of the first dated record
// dates the GLONASS records (GPS - UTC was 16 s in October 2012), also when
// the file opens with an event whose date is left blank, as flags 2 to 5
// allow. Dated with today's 18 s instead, the GLONASS orbits lie 2 s off
// and no point position comes out.
TEST(QcReaders, LeapSecondsWhenTheFileOpensWithAnUndatedEvent)
{
    REQUIRE_TESTDATA();
    QTemporaryDir dir;
    CliRun run = convert({"-q", "-r", "3.04", "-o", dir.path(), "--set", "Time Start=2012-10-13 23:00:00",
                          QString::fromStdString(testdata::path("rtklib/GMSD7_20121014.rtcm3"))});
    ASSERT_EQ(logs::fields(run.exit, run.written.size()), logs::fields(0, 2)) << run.errors.toStdString();
    std::string given[2], changed[2]; // observation and navigation files
    for (const QString &path : run.written) {
        const bool observation = path.endsWith('O');
        given[observation ? 0 : 1] = path.toStdString();
        std::ifstream in(path.toStdString());
        std::string text, line;
        while (std::getline(in, line)) {
            if (line.find("LEAP SECONDS") != std::string::npos) continue;
            text += line + "\n";
            if (observation && line.find("END OF HEADER") != std::string::npos)
                text += ">                              4  1\n" + line80("an undated event", "COMMENT");
        }
        changed[observation ? 0 : 1] = writeText(dir, observation ? "o.rnx" : "n.rnx", text);
    }
    qc::Report r, before;
    std::string error;
    ASSERT_TRUE(qc::checkFiles(changed[0], {changed[1]}, &r, &error)) << error;
    ASSERT_TRUE(qc::checkFiles(given[0], {given[1]}, &before, &error)) << error;
    ASSERT_TRUE(r.position_known && before.position_known);
    EXPECT_EQ(logs::fields(r.events, r.position_solutions), logs::fields(1, before.position_solutions));
    const double *p = r.position, *q = before.position;
    EXPECT_LT(std::hypot(p[0] - q[0], p[1] - q[1], p[2] - q[2]), 0.001);
}

// A "LEAP SECONDS" line may count in BDS time, whose leap seconds start in
// 2006, 14 s after GPS time's: 4 of them make GPS - UTC 18 s (2017 on).
TEST(QcReaders, LeapSecondsCountedInBdsTime)
{
    const struct {
        const char *version, *leap;
        int expected;
    } cases[] = {
        {"     3.04", "    18    18  1929     7GPS", 18},
        {"     3.04", "     4     4   929     7BDS", 18},
        {"     3.04", "    18", 18},
        {"     2.11", "    18", 18},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.version) + c.leap);
        const std::string tail = line80(c.leap, "LEAP SECONDS") + line80("", "END OF HEADER");
        qc::NavRecords nav;
        std::string error;
        ASSERT_TRUE(qc::readNavigationText(line80(std::string(c.version) + "           N", "RINEX VERSION / TYPE") + tail,
                                           "n", &nav, &error))
            << error;
        qc::RinexObsReader obs;
        ASSERT_TRUE(obs.openText(line80(std::string(c.version) + "           O                   G", "RINEX VERSION / TYPE") +
                                     line80("     1    C1", "# / TYPES OF OBSERV") +
                                     line80("G    1 C1C", "SYS / # / OBS TYPES") + tail,
                                 &error))
            << error;
        EXPECT_EQ(logs::fields(nav.leap_seconds, obs.header().leap_seconds), logs::fields(c.expected, c.expected));
    }
}

QString runQc(const QStringList &args, int *exit, QString *errors = nullptr, const QString &output = QString())
{
    QProcess p;
    if (!output.isEmpty()) p.setStandardOutputFile(output);
    p.start(QUORVANE_QC, args);
    p.waitForFinished(120000);
    *exit = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    if (errors) *errors = QString::fromLocal8Bit(p.readAllStandardError());
    return QString::fromLocal8Bit(p.readAllStandardOutput());
}

// Another producer's RINEX 3.04 pair, facts counted from the files with awk
// and grep: 931 epochs, 22 satellites, four steps of 2 or 3 s; 19 GPS and 28
// Galileo records.
TEST(QcReaders, OtherProducersFiles)
{
    REQUIRE_TESTDATA();
    const std::string navFile = testdata::path(kInstinct + ".nav"), obsFile = testdata::path(kInstinct + ".obs");
    QTemporaryDir dir;
    qc::NavRecords nav;
    std::string error;
    ASSERT_TRUE(qc::readNavigation(navFile, &nav, &error)) << error;
    // 2023-01-08 is a Sunday: 10:00 is 36000 s of week.
    EXPECT_EQ(logs::fields(nav.gps.size(), nav.galileo_inav.size() + nav.galileo_fnav.size(), nav.iono.known,
                           nav.gps[0].second.toe, nav.gps[0].second.toc),
              logs::fields(size_t(19), size_t(28), true, 36000u, 36000u));
    EXPECT_NEAR(nav.iono.alpha[0], 0.4657e-8, 1e-15);
    EXPECT_NEAR(nav.gps[0].second.sqrt_a, 5153.6, 1.0);
    // The same with its first record's clock bias garbled, an SBAS record
    // (a system whose orbits are not used), and the last record, E09's, cut
    // after four of its eight lines: two records not read, which the report
    // tells.
    {
        std::string text = readAll(QString::fromStdString(navFile)).toStdString();
        text.replace(text.find("-.535123981535D-04"), 18, "-.535123981535X-04");
        const std::string sbas = "S20 2023 01 08 10 00 00 .0D+00 .0D+00 .1D+02\n";
        text.insert(text.find("G27 2023"), sbas + "    .1D+01 .0D+00 .0D+00 .0D+00\n" + "    .1D+01 .0D+00 .0D+00 .0D+00\n" +
                                                  "    .1D+01 .0D+00 .0D+00 .0D+00\n");
        text.erase(text.find("\n", text.rfind("E09 2023") + 250) + 1);
        qc::NavRecords cut;
        ASSERT_TRUE(qc::readNavigation(writeText(dir, "cut.nav", text), &cut, &error)) << error;
        EXPECT_EQ(logs::fields(cut.gps.size(), cut.galileo_inav.size() + cut.galileo_fnav.size(), cut.skipped_records,
                               cut.unread_records),
                  logs::fields(size_t(18), size_t(27), 3L, 2L));
        qc::Report r;
        ASSERT_TRUE(qc::checkFiles(obsFile, {dir.filePath("cut.nav").toStdString()}, &r, &error));
        EXPECT_EQ(logs::fields(r.navigation_unread, r.verdict.find("2 navigation records not read") != std::string::npos),
                  logs::fields(2L, true))
            << r.verdict;
    }

    qc::Report r;
    ASSERT_TRUE(qc::checkFiles(obsFile, {navFile}, &r, &error)) << error;
    EXPECT_EQ(logs::fields(r.epochs, r.satellites.size(), r.gaps, r.longest_gap, qc::formatTime(r.first),
                           qc::formatTime(r.last)),
              logs::fields(931, size_t(22), 4, 3, std::string("2023-01-08 09:45:28.000"),
                           std::string("2023-01-08 10:01:03.004")));
    // With the records: the receiver's position within 10 m of the header's,
    // and G07, near the zenith, above the cut-off in every epoch.
    ASSERT_TRUE(r.elevations_known && r.position_known);
    const double *p = r.position, *h = r.header.approx;
    EXPECT_LT(std::hypot(p[0] - h[0], p[1] - h[1], p[2] - h[2]), 10.0);
    EXPECT_EQ(logs::fields(r.satellites.at(2).prn, r.satellites.at(2).signals.at(0).expected,
                           r.satellites.at(2).signals.at(0).observed_above),
              logs::fields(7, 931, 931));
    // The header's position moved to the antipode, where G07 sets: the
    // computed position gives the elevations instead, and the verdict names
    // the distance, twice the Earth's radius.
    {
        std::string text = readAll(QString::fromStdString(obsFile)).toStdString();
        const size_t at = text.find("APPROX POSITION XYZ") - 60;
        char moved[43];
        snprintf(moved, sizeof moved, "%14.4f%14.4f%14.4f", -h[0], -h[1], -h[2]);
        text.replace(at, 42, moved);
        qc::Report far;
        ASSERT_TRUE(qc::checkFiles(writeText(dir, "far.obs", text), {navFile}, &far, &error));
        const qc::SignalStats &g07 = far.satellites.at(2).signals.at(0);
        EXPECT_EQ(logs::fields(g07.expected, g07.observed_above, std::lround(far.header_position_off / 1e5)),
                  logs::fields(931, 931, 127L))
            << far.verdict;
        EXPECT_NE(far.verdict.find("header position 127"), std::string::npos) << far.verdict;
    }
    // The same epochs three days later: every record lies outside its fit
    // interval, so no elevation is known, whatever the header's position.
    {
        std::string text = readAll(QString::fromStdString(obsFile)).toStdString();
        for (size_t at = 0; (at = text.find("> 2023 01 08", at)) != std::string::npos;) text.replace(at, 12, "> 2023 01 11");
        qc::Report later;
        ASSERT_TRUE(qc::checkFiles(writeText(dir, "later.obs", text), {navFile}, &later, &error));
        EXPECT_EQ(logs::fields(later.epochs, later.elevations_known, later.satellites.at(2).signals.at(0).expected,
                               later.systems.at(0).expected),
                  logs::fields(931, false, -1, -1));
        EXPECT_NE(qc::formatSummary(later).find("Elevations: not known"), std::string::npos);
    }

    // The same from the command line: text, JSON, the four plots drawn
    // without a display, and its refusals.
    const QString obs = QString::fromStdString(obsFile), navPath = QString::fromStdString(navFile);
    int exit = -1;
    QString text = runQc({obs, navPath}, &exit);
    EXPECT_EQ(logs::fields(exit, text.contains("Epochs:     931 of 936 expected, 4 gaps"), text.contains("\nVerdict: ")),
              logs::fields(0, true, true))
        << text.toStdString();
    QJsonParseError parse;
    QJsonDocument doc = QJsonDocument::fromJson(runQc({"--json", obs, navPath}, &exit).toUtf8(), &parse);
    ASSERT_EQ(logs::fields(exit, parse.error), logs::fields(0, QJsonParseError::NoError)) << parse.errorString().toStdString();
    EXPECT_EQ(logs::fields(doc.object()["epochs"].toInt(), doc.object()["satellites"].toArray().size(),
                           doc.object()["systems"].toArray().at(0).toObject()["system"].toString()),
              logs::fields(931, 22, QString("G")));
    QTemporaryDir plots;
    runQc({"--plot", plots.path(), obs, navPath}, &exit);
    EXPECT_EQ(logs::fields(exit, QDir(plots.path()).entryList({"*.png"}).size()), logs::fields(0, 4));
    // Files it cannot take: a navigation file for the observations, and a
    // directory (which opens, but cannot be read) for either.
    const std::pair<QStringList, const char *> refused[] = {
        {{navPath}, "not a RINEX observation file"},
        {{plots.path()}, ": cannot be read"},
        {{obs, plots.path()}, ": cannot be read"},
    };
    for (const auto &r : refused) {
        QString errors;
        runQc(r.first, &exit, &errors);
        EXPECT_EQ(logs::fields(exit, errors.contains(r.second)), logs::fields(1, true)) << errors.toStdString();
    }
    for (const QStringList &usage : {QStringList(), QStringList({"--plot=", obs, navPath})}) {
        runQc(usage, &exit);
        EXPECT_EQ(exit, 2) << usage.join(' ').toStdString();
    }
    // A report that cannot be written out is a failure.
    runQc({obs, navPath}, &exit, nullptr, "/dev/full");
    EXPECT_EQ(exit, 1);
}

// ---- the check fed by the writer ----------------------------------------------

// Converts a log to RINEX `version` in this thread, the writer telling `feed`
// of every record; the files written, empty when the task failed.
QStringList convertFed(const std::string &log, const QString &out, const QString &version, QualityFeed *feed)
{
    ensureApplication();
    typedef ThreadBinaryToRinex T;
    T runner;
    runner.setObserver(feed);
    QStringList written;
    bool done = false, ok = false;
    QEventLoop loop;
    QObject::connect(&runner, &T::written, [&](QString p) { written << p; });
    QObject::connect(&runner, &T::finished, [&](bool o, QString) {
        ok = o;
        done = true;
        loop.quit();
    });
    runner.taskStart({{T::KEY_TASK, T::TASK_CONVERT}, {T::KEY_PATH_INPUT, QString::fromStdString(log)},
                      {T::KEY_PATH_OUTPUT, out}, {T::KEY_VERSION, version}, {T::KEY_FILE_NAME, "2"}});
    if (!done) loop.exec();
    return ok ? written : QStringList();
}

// Two reports agree in every value (the JSON text holds each signal's
// strength and multipath, and the position, to 6 digits) and in the plot
// samples.
void expectSameReport(qc::Report a, const qc::Report &b)
{
    a.file = b.file;
    EXPECT_EQ(qc::formatSummary(a), qc::formatSummary(b));
    EXPECT_EQ(qc::formatJson(a), qc::formatJson(b));
    ASSERT_EQ(a.samples.size(), b.samples.size());
    size_t differ = 0;
    auto same = [](double x, double y) { return x == y || (std::isnan(x) && std::isnan(y)); };
    for (size_t i = 0; i < a.samples.size(); i++) {
        const qc::PlotSample &p = a.samples[i], &q = b.samples[i];
        differ += !(p.t == q.t && p.system == q.system && p.prn == q.prn && p.signal == q.signal &&
                    same(p.elevation, q.elevation) && same(p.azimuth, q.azimuth) && same(p.snr, q.snr) &&
                    same(p.multipath, q.multipath) && p.slip == q.slip);
    }
    EXPECT_EQ(differ, 0u);
}

// This program's RINEX 3.04 and 2.11 files of one log (GPS L1 C/A and L2
// P(Y), GLONASS L1 C/A and L2 P: the types exist in both) give the same
// counts, jumps and multipath. Where the writers differ by design: the
// RINEX 2 writer leaves out a phase whose lock is not yet confirmed, which
// the RINEX 3 writer keeps with LLI bit 0, and it marks an unresolved half
// cycle with LLI 1; a RINEX 2 file names no GLONASS channels, so without
// GLONASS records its GLONASS phases have no wavelength.
void expectSameCounts(const qc::Report &a, const qc::Report &b)
{
    EXPECT_EQ(logs::fields(a.epochs, a.gaps), logs::fields(b.epochs, b.gaps));
    ASSERT_EQ(a.satellites.size(), b.satellites.size());
    long phases = 0;
    int withMultipath = 0;
    for (size_t i = 0; i < a.satellites.size(); i++) {
        const qc::SatelliteStats &x = a.satellites[i], &y = b.satellites[i];
        ASSERT_EQ(logs::fields(x.system, x.prn, x.epochs, x.signals.size()),
                  logs::fields(y.system, y.prn, y.epochs, y.signals.size()));
        for (size_t k = 0; k < x.signals.size(); k++) {
            const qc::SignalStats &s = x.signals[k], &t = y.signals[k];
            SCOPED_TRACE(std::string(1, x.system) + std::to_string(x.prn) + " " + s.code);
            // Each phase the RINEX 2 file leaves out was kept with its lost
            // lock in RINEX 3, a slip unless it was the track's first.
            const int missing = s.phase_obs - t.phase_obs - s.slips_lli;
            EXPECT_TRUE(missing == 0 || missing == 1) << missing;
            EXPECT_EQ(logs::fields(s.code, s.code_obs, s.slips_lli, s.doppler_obs, s.strength_obs, s.slips_gf,
                                   s.snr_mean),
                      logs::fields(t.code, t.code_obs, t.slips_lli, t.doppler_obs, t.strength_obs, t.slips_gf,
                                   t.snr_mean));
            // Arcs one epoch shorter in RINEX 2.
            if (x.system != 'R') { EXPECT_NEAR(s.multipath_rms, t.multipath_rms, 0.002); }
            phases += s.phase_obs;
            withMultipath += !std::isnan(s.multipath_rms);
        }
    }
    EXPECT_GT(phases, 5000);
    EXPECT_GT(withMultipath, 10);
}

// The check fed while the logs are converted reports what the check of the
// written RINEX 3 and RINEX 2 files reports: RTCM 3 MSM of five systems with
// and without dropped frames, a NovAtel log, and a u-blox log whose orbits,
// assembled from its SFRBX words, agree with its own pseudoranges: the point
// solutions over the file lie closely together within 10 m of the position
// the other program's file gives, and the header carries the computed
// position too.
TEST(QcFed, SameReportAsTheWrittenFiles)
{
    REQUIRE_TESTDATA();
    const struct {
        std::string log;
        int epochs;      // 0: not checked; else the RINEX 3 and 2 files are compared
        bool glonassNav; // the log carries GLONASS ephemerides
    } logs[] = {{"gnss-converters/week-rollover-STR24.rtcm3", 0, true},
                {"gnss-converters/dropped-packets-STR24.rtcm3", 0, true},
                {"novatel-gavlab/test1_rcvr1.dat", 545, false},
                {kInstinct + ".ubx", 0, true}};
    for (const auto &l : logs) {
        qc::Report read[2];
        for (int v = 0; v < 2; v++) {
            const QString version = v ? "2.11" : "3.04";
            SCOPED_TRACE(l.log + " " + version.toStdString());
            QTemporaryDir dir;
            QualityFeed feed;
            const QStringList written = convertFed(testdata::path(l.log), dir.path(), version, &feed);
            qc::Report fed;
            std::string error;
            ASSERT_TRUE(!written.isEmpty() && feed.fed() && feed.finish(&fed, &error)) << error;
            // The check of the written files: the observation file with every
            // navigation file beside it.
            std::string obs;
            std::vector<std::string> navs;
            for (const QString &f : written) {
                if (qc::rinexFileKind(f.toStdString()) == 'O') obs = f.toStdString();
                else navs.push_back(f.toStdString());
            }
            ASSERT_TRUE(qc::checkFiles(obs, navs, &read[v], &error)) << error;
            EXPECT_TRUE(fed.epochs > 0 && (!l.epochs || fed.epochs == l.epochs) && fed.elevations_known) << fed.epochs;
            if (v && !l.glonassNav) {
                // A RINEX 2 file keeps no GLONASS channels: read back without
                // GLONASS records it gives no GLONASS multipath, while the
                // writer tells the check the channels it used.
                auto glonassMultipath = [](const qc::Report &r) {
                    for (const qc::SystemStats &s : r.systems)
                        if (s.system == 'R') return s.multipath_rms.size();
                    return size_t(0);
                };
                EXPECT_EQ(logs::fields(glonassMultipath(read[v]) == 0, glonassMultipath(fed) > 0),
                          logs::fields(true, true));
                continue;
            }
            expectSameReport(fed, read[v]);
            if (l.log != kInstinct + ".ubx" || v) continue;
            qc::RinexObsReader theirs;
            ASSERT_TRUE(theirs.open(testdata::path(kInstinct + ".obs"), &error)) << error;
            ASSERT_TRUE(read[v].position_known && read[v].position_solutions > 10 && read[v].position_spread < 5.0)
                << read[v].position_solutions << " " << read[v].position_spread;
            const double *truth = theirs.header().approx;
            for (const double *p : {read[v].position, read[v].header.approx})
                EXPECT_LT(std::hypot(p[0] - truth[0], p[1] - truth[1], p[2] - truth[2]), 10.0);
        }
        if (l.epochs) expectSameCounts(read[0], read[1]);
    }
}

// `--qc -z hatanaka+gzip`: one summary on standard error, the one
// quorvane-qc gives of the same conversion without compression; standard
// output still only the files. The second log is the first with the
// multiple-message bit of every MSM cleared, so that each system's message
// ends the epoch and the next one of the same time is merged into it by
// rewriting the epoch's record: the summary counts the record as it stands,
// once.
TEST(QcFed, CompactRinexGetsItsSummary)
{
    REQUIRE_TESTDATA();
    const QString whole = QString::fromStdString(testdata::path("gnss-converters/week-rollover-STR24.rtcm3"));
    QTemporaryDir split;
    {
        std::vector<uint8_t> bytes;
        for (std::vector<uint8_t> f : logs::rtcm3_frames(testdata::read("gnss-converters/week-rollover-STR24.rtcm3"))) {
            if (rtcm3_is_msm((uint32_t)logs::rtcm3_bits(f, 0, 12))) {
                std::vector<uint8_t> body(f.begin() + 3, f.end() - 3);
                body[54 / 8] &= (uint8_t) ~(0x80 >> 54 % 8); // DF393, after number, station and epoch
                f = fb::rtcm3(body);
            }
            bytes.insert(bytes.end(), f.begin(), f.end());
        }
        writeText(split, "split.rtcm3", std::string(bytes.begin(), bytes.end()));
    }
    std::map<QString, QByteArray> records; // of the whole log, by version
    for (const QString &log : {whole, split.filePath("split.rtcm3")})
    for (const QString version : {"3.04", "2.11"}) {
        SCOPED_TRACE((log + " " + version).toStdString());
        QTemporaryDir packed, plain;
        CliRun run = convert({"-q", "--qc", "-r", version, "-z", "hatanaka+gzip", "-o", packed.path(), log});
        ASSERT_EQ(logs::fields(run.exit, run.errors.contains("not read"), run.errors.count("\nVerdict: ")),
                  logs::fields(0, false, 1))
            << run.errors.toStdString();
        for (const QString &f : run.written) EXPECT_TRUE(QFile::exists(f)) << f.toStdString();
        CliRun unpacked = convert({"-q", "-r", version, "-o", plain.path(), log});
        ASSERT_EQ(unpacked.exit, 0);
        QStringList files;
        for (const QString &f : unpacked.written)
            files.insert(qc::rinexFileKind(f.toStdString()) == 'O' ? 0 : files.size(), f);
        // Merged, the split epochs are the whole log's records again.
        const QByteArray obs = readAll(files[0]), after = obs.mid(obs.indexOf("END OF HEADER"));
        if (log == whole)
            records[version] = after;
        else
            EXPECT_TRUE(after == records[version]);
        int exit = -1;
        const QString expected = runQc(files, &exit);
        ASSERT_EQ(exit, 0);
        // All but the first line, which names the file.
        auto body = [](const QString &text) { return text.mid(text.indexOf('\n')); };
        // The summary follows the warnings about the data (signals not
        // written to the version), which -q still shows.
        const QString summary = run.errors.mid(run.errors.indexOf("File:"));
        EXPECT_TRUE(summary.startsWith("File:") && summary.section('\n', 0, 0).endsWith("D.gz")) << run.errors.toStdString();
        EXPECT_EQ(body(summary).trimmed().toStdString(), body(expected).trimmed().toStdString());
    }
}

} // namespace
