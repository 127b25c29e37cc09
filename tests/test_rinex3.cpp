// The RINEX 3 writer end to end: receiver logs through the framer into the
// writer, the files read back with an independent reader.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <math.h>
#include <stdlib.h>

#include <algorithm>
#include <set>
#include <tuple>

#include "log_frames.h"
#include "gnssparser.h"
#include "rinex3_reader.h"
#include "rinex_frames.h"
#include "rinex3xx.h"
#include "novatel_encoder.h"
#include "rtcm3_encoder.h"
#include "testdata.h"
#include "writer_feed.h"
#include "util.h"

namespace {

struct Converted {
    QString observation;
    QString navigation;
    QStringList errors;
};

// Converts one log the way the conversion task does.
Converted convert(Rinex3xx &w, const QString &dir, const std::vector<uint8_t> &data, qint64 timeStartMs = 0,
                  bool prescan = false)
{
    Converted c;
    c.observation = feed::convertLog(w, dir + "/out.00O", data, timeStartMs, prescan);
    c.navigation = c.observation.left(c.observation.size() - 1) + "N";
    c.errors = w.outputErrors();
    return c;
}

} // namespace

namespace {

class Rinex3 : public ::testing::Test
{
protected:
    QTemporaryDir dir;
    void SetUp() override
    {
        setenv("TZ", "UTC", 1);
        tzset();
    }
    QString path(const QString &name) const { return dir.path() + "/" + name; }
    // A writer opened on this test's directory.
    void openWriter(Rinex3xx &w, int namingMode = 2)
    {
        ASSERT_TRUE(w.setFileName(path("t.00O"), namingMode));
        ASSERT_GT(w.open(0), 0);
    }
};

const auto makeObs = &rframes::obs;
using rframes::writeEpoch;

rnx3::File closeAndRead(Rinex3xx &w)
{
    QString name = w.observationFinalName();
    w.close();
    EXPECT_TRUE(w.outputErrors().isEmpty());
    rnx3::File f = rnx3::read(name.toStdString());
    for (const std::string &e : f.errors) ADD_FAILURE() << e;
    return f;
}

// The epoch's time as ms since 1970 on the file's time scale.
qint64 epochMs(const rnx3::Epoch &e)
{
    return logs::utc_ms(e.year, e.month, e.day, e.hour, e.minute, e.second);
}

} // namespace

TEST_F(Rinex3, EpochRecordFields)
{
    Rinex3xx w;
    ASSERT_TRUE(w.setSystemSignalInit('G', {"1C", "2W", "5Q"}));
    openWriter(w);
    auto l1 = makeObs(&GNSS_SIGNAL_GPS[0], 5, 21000000.1234, 110356000.5, -1234.5f, 47.2f);
    auto l2 = makeObs(&GNSS_SIGNAL_GPS[2], 5, 21000003.25, 85990000.75, -962.25f, 35.0f);
    l2.halfCycleOk = false;
    auto big = makeObs(&GNSS_SIGNAL_GPS[0], 7, 1000000123.5, 1234567890.125, 10.0f, 0.0f);
    auto nophase = makeObs(&GNSS_SIGNAL_GPS[0], 9, 22000000.0, 0, 0, 60.0f);
    nophase.phaseValid = false;
    nophase.dopplerValid = false;
    auto lost = makeObs(&GNSS_SIGNAL_GPS[0], 12, 23000000.0, 120000000.0, 1.0f, 54.0f);
    lost.lockOk = false;
    writeEpoch(w, 345600500, {l1, l2, big, nophase, lost});
    rnx3::File f = closeAndRead(w);
    ASSERT_EQ(f.epochs.size(), 1u);
    const rnx3::Epoch &e = f.epochs[0];
    EXPECT_EQ(e.count, 4);
    EXPECT_EQ(f.types['G'], (std::vector<std::string>{"C1C", "L1C", "D1C", "S1C", "C2W", "L2W", "D2W", "S2W", "C5Q",
                                                       "L5Q", "D5Q", "S5Q"}));
    // Week 2290 day 4 = 2023-11-30, 00:00:00.5.
    EXPECT_EQ(e.line, "> 2023 11 30 00 00  0.5000000  0  4       0.000000000000");
    // Value (NAN: blank), LLI and SSI ('?': not checked) of each field. Folded
    // values a billion apart carry LLI bit 0; SSI is C/N0 / 6, at least 1; no
    // phase: blank with LLI 1.
    const struct {
        const char *sat, *type;
        double value;
        char lli, ssi;
    } fields[] = {{"G05", "C1C", 21000000.123, '?', '?'}, {"G05", "L1C", 110356000.5, ' ', '7'},
                  {"G05", "L2W", 85990000.75, '2', '5'},  {"G05", "D2W", -962.25, '?', '?'},
                  {"G05", "S2W", 35.0, '?', '?'},         {"G05", "C5Q", NAN, '?', '?'},
                  {"G07", "C1C", 123.5, '1', '?'},        {"G07", "L1C", 234567890.125, '1', '1'},
                  {"G09", "L1C", NAN, '1', '?'},          {"G09", "D1C", NAN, '?', '?'},
                  {"G09", "S1C", 60.0, '?', '?'},         {"G12", "L1C", 120000000.0, '1', '9'}};
    for (const auto &x : fields) {
        const rnx3::Value &v = rnx3::obs(f, e, x.sat, x.type);
        EXPECT_EQ(v.present, !isnan(x.value)) << x.sat << x.type;
        EXPECT_TRUE(!v.present || fabs(v.value - x.value) < 1e-6) << x.sat << x.type << " " << v.value;
        EXPECT_TRUE(x.lli == '?' || v.lli == x.lli) << x.sat << x.type << " LLI [" << v.lli << "]";
        EXPECT_TRUE(x.ssi == '?' || v.ssi == x.ssi) << x.sat << x.type << " SSI [" << v.ssi << "]";
    }
    // The line ends with the last value present: the 64 blanks of 5Q and
    // trailing blanks are gone.
    EXPECT_EQ(e.sats.at("G05").size(), 12u);
    EXPECT_EQ(f.first["INTERVAL"].substr(0, 10), "     0.000");
}

TEST_F(Rinex3, PhaseShiftsAndVersions)
{
    for (int version : {302, 303, 304, 305})
        for (bool shift : {true, false}) {
            SCOPED_TRACE(std::to_string(version) + (shift ? " shift" : " no shift"));
            QTemporaryDir d;
            Rinex3xx w;
            ASSERT_TRUE(w.setVersion(version));
            ASSERT_TRUE(w.setPhaseShiftEnable(shift));
            ASSERT_TRUE(w.setFileName(d.path() + "/p.00O", 2));
            ASSERT_GT(w.open(0), 0);
            auto l1l = makeObs(&GNSS_SIGNAL_GPS[6], 3, 2.1e7, 1000.0, 0, 40);
            auto b1i = makeObs(&GNSS_SIGNAL_BDS[0], 8, 3.7e7, 2000.0, 0, 40);
            auto b1q = makeObs(&GNSS_SIGNAL_BDS[1], 8, 3.7e7, 3000.0, 0, 40);
            writeEpoch(w, 1000, {l1l, b1i, b1q});
            QString name = w.observationFinalName();
            w.close();
            rnx3::File f = rnx3::read(name.toStdString());
            ASSERT_TRUE(f.errors.empty()) << f.errors[0];
            ASSERT_EQ(f.epochs.size(), 1u);
            const rnx3::Epoch &e = f.epochs[0];
            EXPECT_NEAR(f.version, version / 100.0, 1e-9);
            // GPS L1 pilot: +1 quarter cycle in every version.
            EXPECT_NEAR(rnx3::obs(f, e, "G03", "L1L").value, shift ? 1000.25 : 1000.0, 1e-9);
            // RINEX 3.02 names BDS B1 band 1 in the type list and phase shifts.
            std::string b1 = version == 302 ? "1" : "2";
            EXPECT_NEAR(rnx3::obs(f, e, "C08", "L" + b1 + "I").value, 2000.0, 1e-9);
            double q = version == 305 || !shift ? 0 : -0.25;
            EXPECT_NEAR(rnx3::obs(f, e, "C08", "L" + b1 + "Q").value, 3000.0 + q, 1e-9);
            std::vector<std::string> shifts;
            for (const std::string &l : f.header)
                if (rnx3::label(l) == "SYS / PHASE SHIFT") shifts.push_back(l.substr(0, 14));
            char g[32];
            snprintf(g, sizeof g, "G L1L %8.5f", shift ? 0.25 : 0.0);
            EXPECT_NE(std::find(shifts.begin(), shifts.end(), g), shifts.end());
            snprintf(g, sizeof g, "C L%sQ %8.5f", b1.c_str(), q);
            EXPECT_NE(std::find(shifts.begin(), shifts.end(), g), shifts.end()) << g;
            snprintf(g, sizeof g, "C L%sI %8.5f", b1.c_str(), 0.0);
            EXPECT_NE(std::find(shifts.begin(), shifts.end(), g), shifts.end()) << g;
        }
}

TEST_F(Rinex3, GlonassPhaseNeedsItsChannel)
{
    Rinex3xx w;
    ASSERT_TRUE(w.setGlonassCodePhaseBias({{"1C", -0.71}, {"2P", 0.5}}));
    openWriter(w);
    auto unknown = makeObs(&GNSS_SIGNAL_GLONASS[0], 4, 2.2e7, 1.2e8, 100, 42);
    unknown.glonassChannel = GLONASS_CHANNEL_UNKNOWN;
    auto known = makeObs(&GNSS_SIGNAL_GLONASS[0], 9, 2.2e7, 1.2e8, 100, 42);
    known.glonassChannel = -2;
    writeEpoch(w, 2000, {unknown, known});
    rnx3::File f = closeAndRead(w);
    const rnx3::Epoch &e = f.epochs.at(0);
    const rnx3::Value &v = rnx3::obs(f, e, "R04", "L1C");
    EXPECT_TRUE(v.present);
    EXPECT_EQ(v.value, 0.0);
    EXPECT_EQ(v.ssi, '7');
    // Channel -2: 1602 MHz - 2 x 562.5 kHz; the 1C code-phase bias of -0.71 m
    // adds f x b / c cycles.
    double f1 = 1602e6 - 2 * 562500.0;
    EXPECT_NEAR(rnx3::obs(f, e, "R09", "L1C").value, 1.2e8 + f1 * -0.71 / 299792458.0, 1.5e-3);
    EXPECT_EQ(f.first["GLONASS SLOT / FRQ #"].substr(0, 12), "  1 R09 -2  ");
    // Only codes among the GLONASS columns are listed.
    EXPECT_EQ(f.first["GLONASS COD/PHS/BIS"].substr(0, 60), std::string(" C1C   -0.710") + std::string(47, ' '));
}

TEST_F(Rinex3, ContinuationLinesAndCommentsUpToTheReservedLines)
{
    Rinex3xx w;
    QList<QByteArray> comments;
    for (int i = 0; i < 70; i++) comments.append("c" + QByteArray::number(i));
    ASSERT_TRUE(w.setCommentList(comments));
    for (int slot = 1; slot <= 12; slot++) glonass_channel_set(&w.glonassChannels, slot, slot - 7);
    openWriter(w);
    std::vector<Rinexxxx::Obs> obs;
    for (int i : {0, 3, 6, 9}) obs.push_back(makeObs(&GNSS_SIGNAL_GALILEO[i], 11, 2.4e7, 1.3e8, 5, 45));
    writeEpoch(w, 4000, obs);
    rnx3::File f = closeAndRead(w);
    EXPECT_EQ(f.epochs.size(), 1u);
    std::map<std::string, std::vector<std::string>> lines;
    for (const std::string &l : f.header) lines[rnx3::label(l)].push_back(l);
    const std::vector<std::string> &slots = lines["GLONASS SLOT / FRQ #"], &types = lines["SYS / # / OBS TYPES"];
    ASSERT_EQ(slots.size(), 2u);
    EXPECT_EQ(slots[0].substr(0, 60), " 12 R01 -6 R02 -5 R03 -4 R04 -3 R05 -2 R06 -1 R07  0 R08  1 ");
    EXPECT_EQ(slots[1].substr(0, 60), "    R09  2 R10  3 R11  4 R12  5" + std::string(29, ' '));
    ASSERT_EQ(types.size(), 2u);
    EXPECT_EQ(logs::fields(types[0].substr(0, 6), types[1].substr(0, 18), types[1].substr(18, 42), f.types['E'].size()),
              logs::fields("E   16", "       L8I D8I S8I", std::string(42, ' '), 16u));
    // The comments that do not fit end in a blank one before END OF HEADER.
    ASSERT_EQ(f.header.size(), 64u);
    EXPECT_EQ(f.header[62], std::string(60, ' ') + "COMMENT             ");
    EXPECT_EQ(rnx3::label(f.header[61]), "COMMENT");
    EXPECT_NE(f.header[61][0], ' ');
}

TEST_F(Rinex3, HeaderAlwaysFitsAndLongLinesAreWhole)
{
    // Every code of every system, plus a long comment list: far more header
    // than the 63 reserved lines.
    Rinex3xx w;
    ASSERT_TRUE(w.setVersion(305));
    QList<QByteArray> comments;
    for (int i = 0; i < 70; i++) comments.append(QByteArray("comment ") + QByteArray::number(i));
    ASSERT_TRUE(w.setCommentList(comments));
    for (int slot = 1; slot <= 24; slot++) glonass_channel_set(&w.glonassChannels, slot, slot % 14 - 7);
    openWriter(w);
    std::vector<Rinexxxx::Obs> obs;
    size_t codes = 0;
    for (int s = 0; s < GNSS_SYSTEM_AMOUNT; s++)
        for (uint32_t i = 0; i < GNSS_SYSTEM[s].signal_amount; i++) {
            const gnss_signal_t *sig = &GNSS_SYSTEM[s].signal[i];
            if (sig->phase_shift[5] == GNSS_PHASE_SHIFT_NONE) continue;
            auto o = makeObs(sig, 17, 2.3e7 + i, 1.2e8 + i, (float)i, 40);
            o.glonassChannel = sig->system == GNSS_SYSTEM_GLONASS ? 3 : 0;
            obs.push_back(o);
            codes++;
        }
    for (int ep = 0; ep < 3; ep++) writeEpoch(w, 5000 + ep * 1000, obs);
    rnx3::File f = closeAndRead(w);
    EXPECT_GT(f.header.size(), 64u);
    ASSERT_EQ(f.epochs.size(), 3u);
    EXPECT_EQ(f.header.back(), std::string(60, ' ') + "END OF HEADER       ");
    // Every comment survived, and every value of every epoch reads back.
    size_t found = 0;
    for (const std::string &l : f.header) found += l.rfind("comment ", 0) == 0;
    EXPECT_EQ(found, 70u);
    size_t values = 0;
    for (const rnx3::Epoch &e : f.epochs)
        for (const auto &s : e.sats)
            for (const rnx3::Value &v : s.second) values += v.present;
    EXPECT_EQ(values, 3 * codes * 4);
    // BDS has 24 codes in 3.05: its line is 3 + 24 x 64 characters.
    EXPECT_EQ(f.types['C'].size(), 4u * 24);
}

namespace {

// D-format field of a navigation line (19 characters) as a number.
double dfield(const std::string &line, int index, bool *blank = nullptr)
{
    size_t pos = 4 + 19 * (size_t)index;
    std::string f = pos < line.size() ? line.substr(pos, 19) : "";
    bool b = f.find_first_not_of(' ') == std::string::npos;
    if (blank) *blank = b;
    for (char &c : f)
        if (c == 'D') c = 'E';
    return b ? 0 : strtod(f.c_str(), nullptr);
}

struct NavRecord {
    std::string first;
    std::vector<std::string> lines;
};

std::vector<NavRecord> navRecords(const rnx3::File &f)
{
    std::vector<NavRecord> out;
    for (const std::string &l : f.body) {
        if (l.size() != 80 && l.size() != 23 + 57) ADD_FAILURE() << "navigation line of " << l.size() << ": [" << l << "]";
        if (l[0] != ' ')
            out.push_back({l, {}});
        else if (!out.empty())
            out.back().lines.push_back(l);
    }
    return out;
}

const auto sampleGps = &rframes::gps;

} // namespace

TEST_F(Rinex3, NavigationRecordsOncePerEphemeris)
{
    Rinex3xx w;
    openWriter(w);
    gps_nav_t a = sampleGps(5, 345600), b = sampleGps(5, 352800);
    EXPECT_GT(w.writeNGps(a), 0);
    EXPECT_EQ(w.writeNGps(a), 0);
    EXPECT_EQ(w.writeNGps(a), 0);
    EXPECT_GT(w.writeNGps(b), 0);
    EXPECT_GT(w.writeNGps(a), 0);
    // A subframe pair from two uploads is not written.
    gps_nav_t mixed = sampleGps(6, 345600);
    mixed.iode3 = 78;
    EXPECT_EQ(w.writeNGps(mixed), 0);
    EXPECT_EQ(w.writeNGps(sampleGps(0, 345600)), 0);
    EXPECT_EQ(w.writeNGps(sampleGps(100, 345600)), 0);
    QString nav = w.navigationFinalName();
    w.close();
    rnx3::File f = rnx3::read(nav.toStdString(), true);
    ASSERT_TRUE(f.errors.empty()) << f.errors[0];
    std::vector<NavRecord> r = navRecords(f);
    ASSERT_EQ(r.size(), 3u);
    EXPECT_EQ(logs::fields(r[0].first.substr(0, 23), r[1].first.substr(0, 23), r[0].lines.size()),
              logs::fields("G05 2023 11 30 00 00 00", "G05 2023 11 30 02 00 00", 7u));
    EXPECT_NEAR(dfield(r[0].lines[1], 3), 5153.65, 1e-8);
    EXPECT_NEAR(dfield(r[0].lines[4], 2), 2290, 0);
    // No transmission time and no epoch yet: the 3.04 "unknown" value; fit 4 h.
    EXPECT_EQ(dfield(r[0].lines[6], 0), 999900000.0);
    EXPECT_EQ(dfield(r[0].lines[6], 1), 4.0);
    EXPECT_EQ(f.first["RINEX VERSION / TYPE"].substr(0, 60),
              "     3.04           NAVIGATION DATA     M: MIXED            ");
}

TEST_F(Rinex3, TransmissionTimes)
{
    Rinex3xx w;
    ASSERT_TRUE(w.setVersion(305));
    openWriter(w);
    EXPECT_GT(w.writeNGps(sampleGps(1, 345600)), 0);
    // QZSS never writes the unknown time: before any epoch it takes toe.
    EXPECT_GT(w.writeNQzs(sampleGps(2, 352800)), 0);
    // After an epoch at ms of week 345600500 the unknown time is 345600 s.
    writeEpoch(w, 345600500, {makeObs(&GNSS_SIGNAL_GPS[0], 1, 2e7, 1e8, 0, 40)});
    EXPECT_GT(w.writeNGps(sampleGps(2, 345600)), 0);
    EXPECT_GT(w.writeNQzs(sampleGps(2, 360000)), 0);
    // Sent at 00:30 of the next week for a toe at the end of this one: the
    // transmission is 604800 + 1800 s from the start of toe's week.
    gps_nav_t late = sampleGps(3, 597600);
    late.tow = 1800;
    EXPECT_GT(w.writeNGps(late), 0);
    // And the other way round: sent late in the week for a toe just after it.
    gps_nav_t early = sampleGps(4, 0);
    early.week = 2289;
    early.tow = 597600;
    EXPECT_GT(w.writeNGps(early), 0);
    QString nav = w.navigationFinalName();
    w.close();
    std::vector<NavRecord> r = navRecords(rnx3::read(nav.toStdString(), true));
    ASSERT_EQ(r.size(), 6u);
    EXPECT_EQ(dfield(r[0].lines[6], 0), 0.9999e9); // "unknown" in every version
    bool blank = false;
    dfield(r[0].lines[6], 1, &blank);
    EXPECT_TRUE(blank); // 3.05 has no fit interval here
    EXPECT_EQ(logs::fields(r[1].first.substr(0, 3), dfield(r[1].lines[6], 0), dfield(r[2].lines[6], 0),
                           r[3].first.substr(0, 3), dfield(r[3].lines[6], 0), dfield(r[4].lines[6], 0)),
              logs::fields("J02", 352800.0, 345600.0, "J02", 345600.0, 606600.0));
    // toe 0 sent in week 2289 belongs to week 2290: the record says so.
    EXPECT_EQ(logs::fields(r[5].first.substr(0, 23), dfield(r[5].lines[4], 2), dfield(r[5].lines[6], 0)),
              logs::fields("G04 2023 11 26 00 00 00", 2290.0, 597600.0 - 604800.0));
}

TEST_F(Rinex3, NamingModeOneHeadersAndMasks)
{
    Rinex3xx w;
    ASSERT_TRUE(w.setMaskPrn({"G05"}));
    openWriter(w, 1);
    w.bdsIono.header.id = 1590;
    w.bdsIono.alpha[0] = 1.1e-8;
    w.gpsIonUtc.header.id = 8;
    w.gpsIonUtc.alpha[0] = 2.5e-8;
    w.gpsIonUtc.dt_ls = 18;
    w.gpsIonUtc.dt_lsf = 18;
    w.gpsIonUtc.week_lsf = 1929;
    w.gpsIonUtc.day = 7;
    w.leapSeconds = 18;
    EXPECT_EQ(w.writeNGps(sampleGps(5, 345600)), 0); // masked satellite
    EXPECT_GT(w.writeNGps(sampleGps(6, 345600)), 0);
    glonass_nav_t g = {};
    g.slot = 3;
    g.four_year = 8;
    g.nt = 1430;
    g.tb = 900;
    glonass_nav_update_utc(&g);
    EXPECT_GT(w.writeNGlo(g), 0);
    writeEpoch(w, 345600000, {makeObs(&GNSS_SIGNAL_GPS[0], 6, 2e7, 1e8, 0, 40)});
    w.close();
    rnx3::File gps = rnx3::read(path("t.23N").toStdString(), true);
    rnx3::File glo = rnx3::read(path("t.23G").toStdString(), true);
    ASSERT_TRUE(gps.errors.empty());
    ASSERT_TRUE(glo.errors.empty());
    EXPECT_EQ(logs::fields(gps.first["RINEX VERSION / TYPE"].substr(40, 20),
                           gps.first["IONOSPHERIC CORR"].substr(0, 17), gps.first["LEAP SECONDS"].substr(0, 27),
                           glo.first["RINEX VERSION / TYPE"].substr(40, 20),
                           glo.first["IONOSPHERIC CORR"].substr(0, 17), glo.first["LEAP SECONDS"].substr(0, 27),
                           navRecords(gps).size(), navRecords(glo).size()),
              logs::fields("G: GPS              ", "GPSA    .2500D-07", "    18    18  1929     7GPS",
                           "R: GLONASS          ", "BDSA    .1100D-07", "    18                  GPS", 1u, 1u));
    for (const rnx3::File *f : {&gps, &glo}) {
        EXPECT_EQ(f->header.size(), 16u);
        EXPECT_EQ(f->header.back(), std::string(60, ' ') + "END OF HEADER       ");
    }

    // The mixed file keeps records of a masked system.
    QTemporaryDir d2;
    Rinex3xx m;
    ASSERT_TRUE(m.setMaskSystem({'G'}));
    ASSERT_TRUE(m.setFileName(d2.path() + "/m.00O", 2));
    ASSERT_GT(m.open(0), 0);
    EXPECT_GT(m.writeNGps(sampleGps(6, 345600)), 0);
    m.close();
}

namespace {

using feed::kTow;
using feed::msm;
using feed::nmea;
typedef feed::Run<Rinex3xx> RtcmRun;

} // namespace

TEST_F(Rinex3, MsmEpochsCollectAcrossMessages)
{
    RtcmRun r;
    r.w.setRtcm3Epoch(2290, kTow);
    r.start(path("m.00O"));
    // Epoch 1: GPS, Galileo (last).
    r.in(msm(1077, kTow, 1, 5, 70.1));
    r.in(msm(1097, kTow, 0, 11, 80.2));
    // Epoch 2 loses its last message (or its encoder never clears the
    // flag): the next epoch's first message ends it.
    r.in(msm(1077, kTow + 1000, 1, 5, 70.1));
    r.in(msm(1087, 4u << 27 | 10783000u, 1, 3, 68.0)); // GLONASS at the same instant (Moscow time, 18 s leap)
    r.in(msm(1077, kTow + 2000, 1, 6, 71.3));
    r.in(msm(1127, kTow + 2000 - 14000, 0, 8, 120.7)); // BDS epoch field is BDS time
    // A stream whose flag is never cleared still gives its epochs.
    r.in(msm(1077, kTow + 3000, 1, 7, 72.0));
    r.in(msm(1087, 4u << 27 | 10785000u, 1, 3, 68.0));
    r.in(msm(1077, kTow + 4000, 1, 8, 72.0));
    rnx3::File f = closeAndRead(r.w);
    ASSERT_EQ(f.epochs.size(), 4u);
    const double seconds[] = {0.0, 1.0, 2.0, 3.0};
    const std::vector<std::vector<std::string>> sats = {{"E11", "G05"}, {"G05", "R03"}, {"C08", "G06"}, {"G07", "R03"}};
    for (size_t i = 0; i < 4; i++) {
        EXPECT_NEAR(f.epochs[i].second, seconds[i], 1e-9);
        std::vector<std::string> got;
        for (const auto &s : f.epochs[i].sats) got.push_back(s.first);
        EXPECT_EQ(got, sats[i]) << i;
    }
    EXPECT_NEAR(rnx3::obs(f, f.epochs[2], "C08", "C2I").value, 120.7e-3 * 299792458.0, 1e-3);
}

TEST_F(Rinex3, RateLimitWithRtcm3)
{
    RtcmRun r;
    r.w.setRtcm3Epoch(2290, kTow);
    ASSERT_TRUE(r.w.setObsIntervalMin(2000));
    r.start(path("r.00O"));
    for (int s = 0; s < 5; s++) {
        r.in(msm(1077, kTow + s * 1000, 1, 5 + s, 70.0));
        r.in(msm(1097, kTow + s * 1000, 0, 10 + s, 80.0));
    }
    rnx3::File f = closeAndRead(r.w);
    ASSERT_EQ(f.epochs.size(), 3u);
    // The dropped epochs leave nothing behind in the next one.
    EXPECT_EQ(f.epochs[1].count, 2);
    EXPECT_TRUE(f.epochs[1].sats.count("G07"));
    EXPECT_TRUE(f.epochs[1].sats.count("E12"));
    EXPECT_EQ(f.first["INTERVAL"].substr(0, 10), "     2.000");
}

// Lock time indicators from MSM7 (10 bits) and MSM4 (4 bits), RTCM 10403.3:
// 190 stands for 992-1008 ms, 222 for 1984-2016 ms, 0 for below 1 ms; 4-bit 9
// for 8192-16384 ms.
TEST_F(Rinex3, LossOfLockFromMsmLockTimes)
{
    auto cell = [](int number, uint32_t tow, int multiple, int sat, unsigned lock) {
        rtcm3enc::Msm m = msm(number, tow, multiple, sat, 70.0 + sat);
        m.sats[0].cells[0].lock = lock;
        return m;
    };
    auto lli = [](const rnx3::File &f, size_t epoch, const char *sat) {
        return rnx3::obs(f, f.epochs[epoch], sat, "L1C").lli;
    };
    RtcmRun r;
    r.w.setRtcm3Epoch(2290, kTow);
    r.start(path("l.00O"));
    // G05 comes in both MSM4 and MSM7 in its first epoch: the first phase
    // of the signal is flagged, whichever message gives it last.
    r.in(cell(1074, kTow, 1, 5, 9));
    r.in(cell(1077, kTow, 1, 5, 600));
    // G07: lock time indicators 0, 0, 190, 222.
    const unsigned g7[] = {0, 0, 190, 222};
    for (int e = 0; e < 4; e++) {
        r.in(cell(1077, kTow + e * 1000, 1, 7, g7[e]));
        r.in(msm(1097, kTow + e * 1000, 0, 11, 80.0));
    }
    rnx3::File f = closeAndRead(r.w);
    ASSERT_EQ(f.epochs.size(), 4u);
    EXPECT_EQ(lli(f, 0, "G05"), '1');
    EXPECT_EQ(lli(f, 0, "G07"), '1'); // first
    EXPECT_EQ(lli(f, 1, "G07"), '1'); // 0 twice, a second apart
    EXPECT_EQ(lli(f, 2, "G07"), ' '); // grew by the second
    EXPECT_EQ(lli(f, 3, "G07"), ' ');

    // A slip in an epoch that the rate limit drops is carried by the next
    // phase written.
    RtcmRun q;
    q.w.setRtcm3Epoch(2290, kTow);
    ASSERT_TRUE(q.w.setObsIntervalMin(2000));
    q.start(path("q.00O"));
    const unsigned g9[] = {190, 0, 190, 222};
    for (int e = 0; e < 4; e++) q.in(cell(1077, kTow + e * 1000, 0, 9, g9[e]));
    rnx3::File g = closeAndRead(q.w);
    ASSERT_EQ(g.epochs.size(), 2u);
    EXPECT_EQ(lli(g, 0, "G09"), '1'); // first
    EXPECT_EQ(lli(g, 1, "G09"), '1'); // lost at the dropped epoch between
}

TEST_F(Rinex3, UnknownWeekSkipsEpochsUntilAnEphemerisTellsIt)
{
    RtcmRun r;
    r.start(path("u.00O"));
    r.in(msm(1077, kTow, 0, 5, 70.0));
    r.in(msm(1077, kTow + 1000, 0, 5, 70.0));
    EXPECT_EQ(r.w.skippedEpochs, 2);
    // A Galileo ephemeris sends its week in full: 1266 + 1024 = 2290.
    rtcm3enc::Galileo g = {};
    g.sat = 11;
    g.week = 1266;
    g.toc = kTow / 1000 / 60;
    g.toe = g.toc;
    g.sqrt_a = (int64_t)(5440.6 * (1 << 19));
    r.in(rtcm3enc::encode_1045(g));
    r.in(msm(1077, kTow + 2000, 0, 5, 70.0));
    QString nav = r.w.navigationFinalName();
    rnx3::File f = closeAndRead(r.w);
    ASSERT_EQ(f.epochs.size(), 1u);
    EXPECT_EQ(f.epochs[0].line.substr(0, 30), "> 2023 11 30 00 00  2.0000000 ");
    EXPECT_EQ(r.w.skippedEpochs, 2);
}

TEST_F(Rinex3, PpkMarkersWithRtcm3)
{
    RtcmRun r;
    r.w.setRtcm3Epoch(2290, kTow);
    ASSERT_TRUE(r.w.setMode(2)); // "PPK Only"
    r.start(path("k.00O"));
    // Outside a site nothing is written in mode 2.
    r.in(msm(1077, kTow, 0, 5, 70.0));
    // A sample without a site does nothing.
    r.in(nmea("PPK,MARKER-SAMPLE,1,2,1,2290,345601.000"));
    // An empty marker number stores the site numbers but opens no site.
    r.in(nmea("PPK,MARKER-BEGIN,1,2,x,SITE1,,a,b,1.5,c,d,e,-4467074.3577,2683011.9038,-3667008.2845"));
    EXPECT_FALSE(r.w.ppkInSite);
    EXPECT_EQ(r.w.ppkSiteId[0], 1);
    // A position that is not a number opens nothing either.
    r.in(nmea("PPK,MARKER-BEGIN,1,2,x,SITE1,0001,a,b,1.5,c,d,e,nan,2683011.9038,-3667008.2845"));
    EXPECT_FALSE(r.w.ppkInSite);
    r.in(nmea("PPK,MARKER-BEGIN,1,2,x,SITE1,0001,a,b,1.5,c,d,e,-4467074.3577,2683011.9038,-3667008.2845"));
    EXPECT_TRUE(r.w.ppkInSite);
    // A sample line among the messages of an epoch tags the whole epoch
    // (259.4-style fractions round to the millisecond) ...
    r.in(msm(1077, kTow + 1000, 1, 6, 70.0));
    r.in(nmea("PPK,MARKER-SAMPLE,1,2,1,2290,345601.0004"));
    r.in(msm(1097, kTow + 1000, 0, 11, 80.0));
    // ... and one after the last message tags the epoch just completed.
    r.in(msm(1077, kTow + 2000, 1, 7, 70.0));
    r.in(msm(1097, kTow + 2000, 0, 12, 80.0));
    r.in(nmea("PPK,MARKER-SAMPLE,1,2,2,2290,345602.000"));
    r.in(msm(1077, kTow + 3000, 1, 8, 70.0));
    // A sample out of order ends the site, once its epoch is complete.
    r.in(nmea("PPK,MARKER-SAMPLE,1,2,5,2290,345603.000"));
    EXPECT_TRUE(r.w.ppkInSite);
    r.in(msm(1097, kTow + 3000, 0, 13, 80.0));
    EXPECT_FALSE(r.w.ppkInSite);
    r.in(nmea("PPK,MARKER-END,1,2"));
    // A bad checksum is ignored.
    std::vector<uint8_t> bad = nmea("PPK,MARKER-BEGIN,3,4,x,S,N,a,b,1,c,d,e,1,2,3");
    bad[bad.size() - 3] ^= 1;
    r.in(bad);
    EXPECT_FALSE(r.w.ppkInSite);
    rnx3::File f = closeAndRead(r.w);
    EXPECT_EQ(f.epochs[0].flag, 3);
    ASSERT_EQ(f.epochs[0].event_lines.size(), 4u);
    EXPECT_EQ(logs::fields(rnx3::label(f.epochs[0].event_lines[0]), f.epochs[0].event_lines[0].substr(0, 5),
                           rnx3::label(f.epochs[0].event_lines[3])),
              logs::fields("MARKER NAME", "SITE1", "ANTENNA: DELTA H/E/N"));
    ASSERT_EQ(f.epochs.size(), 4u);
    for (int i = 1; i <= 2; i++) {
        EXPECT_EQ(f.epochs[i].flag, 0);
        EXPECT_EQ(f.epochs[i].count, 2) << "whole epoch " << i;
        EXPECT_NEAR(f.epochs[i].second, i, 1e-9);
    }
    EXPECT_TRUE(f.epochs[1].sats.count("G06") && f.epochs[1].sats.count("E11"));
    EXPECT_TRUE(f.epochs[2].sats.count("G07") && f.epochs[2].sats.count("E12"));
    EXPECT_EQ(f.epochs[3].flag, 2);
    EXPECT_EQ(f.epochs[3].count, 0);
}

namespace {

void checkValue(const rnx3::Value &v, bool valid, double expected, const std::string &what)
{
    if (!valid) {
        EXPECT_FALSE(v.present) << what;
        return;
    }
    ASSERT_TRUE(v.present) << what;
    double e = expected;
    // Values of a billion or more are folded and flagged.
    if (fabs(e) >= 1e9) {
        e = e > 0 ? e - 1e9 : e + 1e9;
        EXPECT_EQ(v.lli == ' ' ? 0 : (v.lli - '0') & 1, 1) << what;
    }
    EXPECT_NEAR(v.value, e, 0.0011) << what;
}

// Compares every epoch of the file with the frames' values, each phase with
// the 3.04 quarter-cycle shift of its signal; returns how many signals were
// compared. `whole`: the epoch holds exactly the expected satellites. S values
// that are not whole dB-Hz are counted in *fractional.
size_t compareEpochs(const rnx3::File &f, const rframes::Epochs &expected, bool whole, size_t *fractional)
{
    size_t compared = 0;
    for (const rnx3::Epoch &e : f.epochs) {
        qint64 ems = epochMs(e);
        // Across a week end the expected epochs are a week early.
        auto it = expected.find(ems);
        if (it == expected.end()) it = expected.find(ems - 604800000LL);
        if (it == expected.end()) {
            ADD_FAILURE() << "unexpected epoch " << e.line;
            return compared;
        }
        size_t sats = 0;
        for (const auto &sat : it->second) {
            bool listed = false;
            for (const auto &obs : sat.second) {
                const rframes::Expected &x = obs.second;
                const int shift = x.signal->phase_shift[4];
                if (shift == GNSS_PHASE_SHIFT_NONE || !(x.valid[0] || x.valid[1])) continue;
                listed = true;
                const std::string &code = obs.first, tag = e.line + " " + sat.first + " " + code;
                checkValue(rnx3::obs(f, e, sat.first, "C" + code), x.valid[0], x.value[0], tag + " C");
                if (x.valid[1]) checkValue(rnx3::obs(f, e, sat.first, "L" + code), true, x.value[1] + shift * 0.25, tag + " L");
                if (x.valid[2]) {
                    EXPECT_NEAR(rnx3::obs(f, e, sat.first, "D" + code).value, x.value[2], 0.0011) << tag;
                }
                const double cnr = rnx3::obs(f, e, sat.first, "S" + code).value;
                EXPECT_NEAR(cnr, x.value[3], 0.0011) << tag;
                *fractional += cnr != floor(cnr);
                compared++;
            }
            sats += listed;
        }
        if (whole) {
            EXPECT_EQ((size_t)e.count, sats) << e.line;
        }
    }
    return compared;
}

// One navigation record per satellite and ephemeris; GPS orbits of sqrt(A)
// about 5153.6 m^1/2.
void expectNavigationRecordsOnce(const QString &path)
{
    rnx3::File nav = rnx3::read(path.toStdString(), true);
    for (const std::string &e : nav.errors) ADD_FAILURE() << e;
    std::set<std::string> seen;
    for (const NavRecord &r : navRecords(nav)) {
        std::string key = r.first.substr(0, 23);
        for (size_t i : {0, 2})
            if (r.lines.size() > i) key += r.lines[i].substr(0, 23);
        EXPECT_TRUE(seen.insert(key).second) << "repeated record " << key;
        if (r.first[0] == 'G') {
            EXPECT_NEAR(dfield(r.lines[1], 3), 5153.6, 5.0) << r.first;
        }
    }
}

} // namespace

TEST_F(Rinex3, RealRtcm3LogsMatchTheirFrames)
{
    REQUIRE_TESTDATA();
    const char *files[] = {"gnss-converters/week-rollover-STR17.rtcm3", "gnss-converters/20190120_1956_rover.023",
                           "gnss-converters/sept.rtcm", "gnss-converters/javad.rtcm", "gnss-converters/msm7.rtcm",
                           "gnss-converters/piksi-5Hz.rtcm3", "gpsd/rtcm3.2.log", "gnss-converters/trimble.rtcm",
                           "pyrtcm/pygpsdata-NTRIP-USCL00CHL0.log", "pygnssutils/pygpsdata-rtcm3.log",
                           "gnss-converters/missing-gps.rtcm"};
    // MSM6 and MSM7 send C/N0 in 1/16 dB-Hz: real receivers' values are
    // seldom whole, and the file must keep them.
    size_t fractionalCnr = 0;
    for (const char *name : files) {
        SCOPED_TRACE(name);
        std::vector<uint8_t> data = testdata::read(name);
        QTemporaryDir d;
        Rinex3xx w;
        // Logs without a full week get one from "Time Start"; the rest find
        // theirs in their ephemerides.
        Converted c = convert(w, d.path(), data, util_gps_time_to_epoch(2100, 0), true);
        EXPECT_TRUE(c.errors.isEmpty());
        rnx3::File f = rnx3::read(c.observation.toStdString());
        for (const std::string &e : f.errors) ADD_FAILURE() << e;
        ASSERT_FALSE(f.epochs.empty());
        // The week the writer settled on, from the first epoch line.
        int32_t week = 0, ms = 0;
        util_epoch_to_gps_time(epochMs(f.epochs[0]) - llround(f.epochs[0].second * 1000), &week, &ms);
        std::map<int, int> channels;
        EXPECT_GT(compareEpochs(f, rframes::fromRtcm(data, week, &channels), false, &fractionalCnr), 0u);
        // The header's slot lines hold the channels the log teaches.
        for (const auto &ch : channels) {
            char entry[16];
            snprintf(entry, sizeof entry, "R%02d %2d", ch.first, ch.second);
            bool found = false;
            for (const std::string &l : f.header)
                if (rnx3::label(l) == "GLONASS SLOT / FRQ #" && l.find(entry) != std::string::npos) found = true;
            EXPECT_TRUE(found) << entry;
        }
        expectNavigationRecordsOnce(c.navigation);
    }
    EXPECT_GT(fractionalCnr, 1000u);
}

// Logs of legacy GPS and GLONASS observations (some with MSM of the same
// receiver): one epoch per GPS epoch time that SOURCES.md counts, each
// holding both systems, every signal that the messages' code indicators name
// among the file's types, and ranges of satellites in orbit.
TEST_F(Rinex3, RealLegacyLogsGiveWholeEpochs)
{
    REQUIRE_TESTDATA();
    // The receiver of mixed-msm-legacy.rtcm sends no GLONASS carrier at all
    // (invalid phase, channel field 0) in either message family.
    const struct {
        const char *name;
        size_t epochs;
        bool glonassCarrier;
    } logs[] = {{"gnss-converters/leica.rtcm", 21, true},
                {"gnss-converters/topcon.rtcm", 39, true},
                {"gpsd/rtcm3-2.log", 83, true},
                {"rtklib/testglo.rtcm3", 186, true},
                {"gnss-converters/mixed-msm-legacy.rtcm", 34, false},
                {"gnss-converters/glo_day_rollover.rtcm", 7, true},
                {"gpsd/rtcm3.bndm.log", 33, true}};
    for (const auto &log : logs) {
        SCOPED_TRACE(log.name);
        std::vector<uint8_t> data = testdata::read(log.name);
        // The codes that the messages name, by the decoder (checked against the
        // standard's encoder in the decoder tests).
        std::set<std::string> named;
        for (const auto &fr : logs::rtcm3_frames(data)) {
            rtcm3_legacy_header_t h;
            rtcm3_legacy_obs_t o[RTCM3_LEGACY_MAX_SATELLITES];
            if (rtcm3_parser_legacy_header(fr.data(), (uint32_t)fr.size(), &h) == 0 && h.extended) {
                int n = rtcm3_parser_legacy(&h, o, RTCM3_LEGACY_MAX_SATELLITES);
                for (int k = 0; k < n; k++)
                    for (const rtcm3_legacy_signal_t *sig : {&o[k].l1, &o[k].l2})
                        if (sig->signal) named.insert(std::string(1, GNSS_SYSTEM[sig->signal->system].letter) + sig->signal->code);
            }
        }
        ASSERT_FALSE(named.empty());
        QTemporaryDir d;
        Rinex3xx w;
        Converted c = convert(w, d.path(), data, util_gps_time_to_epoch(2100, 0), true);
        EXPECT_TRUE(c.errors.isEmpty());
        rnx3::File f = rnx3::read(c.observation.toStdString());
        for (const std::string &e : f.errors) ADD_FAILURE() << e;
        EXPECT_EQ(f.epochs.size(), log.epochs);
        for (const std::string &code : named) {
            const auto &types = f.types[code[0]];
            EXPECT_NE(std::find(types.begin(), types.end(), "C" + code.substr(1)), types.end()) << code;
        }
        for (const rnx3::Epoch &e : f.epochs) {
            // A capture that starts inside an epoch holds only its end.
            if (&e == &f.epochs.front()) continue;
            bool gps = false, glonass = false;
            for (const auto &sat : e.sats) {
                gps |= sat.first[0] == 'G';
                glonass |= sat.first[0] == 'R';
                if (sat.first[0] != 'G' && sat.first[0] != 'R') continue;
                const rnx3::Value &v = rnx3::obs(f, e, sat.first, "C1C");
                if (!v.present) continue;
                EXPECT_GT(v.value, 19.0e6) << e.line << sat.first;
                EXPECT_LT(v.value, 30.0e6) << e.line << sat.first;
                // The GLONASS messages name the channel: the carrier is there.
                if (sat.first[0] == 'R' && log.glonassCarrier) {
                    EXPECT_TRUE(rnx3::obs(f, e, sat.first, "L1C").present) << e.line << sat.first;
                }
            }
            EXPECT_TRUE(gps && glonass) << e.line;
        }
    }
}

TEST_F(Rinex3, BdsTimesOnTheGpsScaleJoinTheirEpoch)
{
    REQUIRE_TESTDATA();
    // This receiver sends its BDS MSM epoch field on the GPS time scale, 14 s
    // from what BDS time would be: every epoch is still one epoch of all four
    // systems, from GPS time of week 604784 s (Saturday 23:59:44) on, one per
    // GPS MSM epoch of the log (257).
    QTemporaryDir d;
    Rinex3xx w;
    Converted c = convert(w, d.path(), testdata::read("rtklib/GMSD7_20121014.rtcm3"), 0, true);
    EXPECT_EQ(w.droppedEpochs, 0);
    rnx3::File f = rnx3::read(c.observation.toStdString());
    ASSERT_EQ(f.epochs.size(), 257u);
    const rnx3::Epoch &first = f.epochs.front();
    EXPECT_EQ(std::make_tuple(first.year, first.month, first.day, first.hour, first.minute, first.second),
              std::make_tuple(2012, 10, 13, 23, 59, 44.0));
    for (const rnx3::Epoch &e : f.epochs) {
        std::set<char> systems;
        for (const auto &sat : e.sats) systems.insert(sat.first[0]);
        EXPECT_EQ(systems, std::set<char>({'C', 'G', 'J', 'R'})) << e.line;
    }
}

// A receiver that logs the same epoch twice (RANGE and RANGECMP) gets one
// record: the second log fills what the first lacks, the first one's values
// stand. An epoch older than the last one written is dropped and counted.
TEST_F(Rinex3, RepeatedEpochsMergeAndOlderOnesAreDropped)
{
    feed::Run<Rinex3xx> r;
    r.start(path("d.00O"));
    const uint32_t t = feed::kTow;
    r.in(novenc::range_log(2290, t, {novenc::gps_l1(1, 20100000.0), novenc::gps_l1(2, 20200000.0)}));
    r.in(novenc::range_log(2290, t, {novenc::gps_l1(2, 20200555.0), novenc::gps_l1(3, 20300000.0)}));
    r.in(novenc::range_log(2290, t + 1000, {novenc::gps_l1(1, 20100001.0)}));
    r.in(novenc::range_log(2290, t, {novenc::gps_l1(5, 20500000.0)}));
    r.in(novenc::range_log(2290, t + 1000, {novenc::gps_l1(1, 20100001.0)})); // nothing new
    EXPECT_EQ(r.w.droppedEpochs, 1);
    rnx3::File f = closeAndRead(r.w);
    ASSERT_EQ(f.epochs.size(), 2u);
    EXPECT_EQ(f.epochs[0].count, 3);
    EXPECT_NEAR(rnx3::obs(f, f.epochs[0], "G02", "C1C").value, 20200000.0, 1e-3);
    EXPECT_NEAR(rnx3::obs(f, f.epochs[0], "G03", "C1C").value, 20300000.0, 1e-3);
    EXPECT_EQ(f.epochs[1].count, 1);
    EXPECT_NEAR(f.epochs[1].second, 1.0, 1e-9);
}

TEST_F(Rinex3, RealNovatelLogsMatchTheirFrames)
{
    REQUIRE_TESTDATA();
    const char *files[] = {"novatel-gavlab/test1_rcvr1.dat", "novatel-gavlab/test2_rcvr1.dat",
                           "rtklib/oemv_200911218.gps", "novatel-gavlab/OnceEachAgain.GPS"};
    for (const char *name : files) {
        SCOPED_TRACE(name);
        std::vector<uint8_t> data = testdata::read(name);
        QTemporaryDir d;
        Rinex3xx w;
        Converted c = convert(w, d.path(), data);
        EXPECT_TRUE(c.errors.isEmpty());
        rnx3::File f = rnx3::read(c.observation.toStdString());
        for (const std::string &e : f.errors) ADD_FAILURE() << e;
        ASSERT_FALSE(f.epochs.empty());
        size_t fractional = 0;
        EXPECT_GT(compareEpochs(f, rframes::fromNovatel(data), true, &fractional), 40u);
        // GPS navigation records from GPSEPHEM: each satellite and toe once.
        expectNavigationRecordsOnce(c.navigation);
    }
}

TEST_F(Rinex3, GpsOnlyWeekIsTheLatestNotInTheFuture)
{
    // Nothing but a GPS ephemeris with a week sent modulo 1024: with no other
    // time source it is the latest week of that number that has begun by the
    // clock's today; with "Time Start" the one nearest that time.
    const struct {
        int clockWeek, timeStartWeek, sent, expected;
        const char *date;
    } cases[] = {
        {2290, 0, 985, 2009, ""},              // on 2023-11-30 (week 2290)
        {3150, 0, 985, 3033, ""},              // in 2040
        {2290, 0, 2300 - 2048, 2300 - 1024, ""}, // week 2300 would lie ahead
        {0, 2009, 985, 985 + 1024, "G07 2018 07 12"},
    };
    for (const auto &k : cases) {
        SCOPED_TRACE(k.sent);
        QTemporaryDir dir;
        RtcmRun t;
        if (k.clockWeek) t.w.setClock(util_gps_time_to_epoch(k.clockWeek, 345600000));
        if (k.timeStartWeek) t.w.setRtcm3Epoch(util_gps_time_to_epoch(k.timeStartWeek, 0));
        t.start(dir.path() + "/g.00O");
        rtcm3enc::Gps1019 e = {};
        e.sat = 7;
        e.week = k.sent;
        e.iode = e.iodc = 9;
        e.toc = e.toe = 345600 / 16;
        e.sqrt_a = (int64_t)(5153.6 * (1 << 19));
        t.in(rtcm3enc::encode_1019(e));
        QString nav = t.w.navigationFinalName();
        t.w.close();
        std::vector<NavRecord> recs = navRecords(rnx3::read(nav.toStdString(), true));
        ASSERT_EQ(recs.size(), 1u);
        EXPECT_EQ(dfield(recs[0].lines[4], 2), k.expected);
        if (*k.date) {
            EXPECT_EQ(recs[0].first.substr(0, 14), k.date);
        }
    }
}

TEST_F(Rinex3, GlonassEphemerisWithoutItsDay)
{
    // A 1020 sent without its additional data has no day (N4 = NT = 0). It
    // waits for the conversion's own time, and is then dated on the Moscow
    // day that puts tb nearest the last epoch.
    rtcm3enc::Glonass1020 g = {};
    g.slot = 9;
    g.channel = 7 + 2;
    g.tb = 41; // 10:15 Moscow time, 07:15 UTC
    g.tk = (10 << 7) | (0 << 1);
    g.x = 12345;
    RtcmRun r;
    r.w.setRtcm3Epoch(2290, kTow);
    r.start(path("g.00O"));
    r.in(rtcm3enc::encode_1020(g));
    EXPECT_EQ(glonass_channel_get(&r.w.glonassChannels, 9), 2);
    // 07:00 GPS on Thursday 2023-11-30.
    r.in(msm(1077, kTow + 7 * 3600000, 0, 5, 70.0));
    r.in(rtcm3enc::encode_1020(g));
    r.in(rtcm3enc::encode_1020(g)); // the same again: written once
    QString nav = r.w.navigationFinalName();
    r.w.close();
    std::vector<NavRecord> recs = navRecords(rnx3::read(nav.toStdString(), true));
    ASSERT_EQ(recs.size(), 1u);
    EXPECT_EQ(recs[0].first.substr(0, 23), "R09 2023 11 30 07 15 00");
    EXPECT_EQ(dfield(recs[0].lines[1], 3), 2.0);
}

TEST_F(Rinex3, PpkMarkerTextsAreCutToTheirFields)
{
    RtcmRun r;
    r.w.setRtcm3Epoch(2290, kTow);
    ASSERT_TRUE(r.w.setMode(3));
    r.start(path("p.00O"));
    std::string name(70, 'N'), number(30, '7');
    r.in(nmea("PPK,MARKER-BEGIN,1,2,x," + name + "," + number + ",a,b,1.5,c,d,e,1,2,3"));
    EXPECT_TRUE(r.w.ppkInSite);
    rnx3::File f = closeAndRead(r.w);
    ASSERT_EQ(f.epochs.size(), 1u);
    ASSERT_EQ(f.epochs[0].event_lines.size(), 4u);
    EXPECT_EQ(f.epochs[0].event_lines[0], std::string(60, 'N') + "MARKER NAME         ");
    EXPECT_EQ(f.epochs[0].event_lines[1].substr(0, 21), std::string(20, '7') + " ");
}

TEST_F(Rinex3, NovatelQzssAndGlonassEphemeridesReachTheFile)
{
    REQUIRE_TESTDATA();
    // The all-logs OEM file holds two QZSSEPHEMERIS (PRN 193 and up) and
    // eight GLOEPHEMERIS, the latter behind a false sync.
    QTemporaryDir d;
    Rinex3xx w;
    Converted c = convert(w, d.path(), testdata::read("novatel-edie/advanceddecoder_alllogs.BIN"));
    rnx3::File nav = rnx3::read(c.navigation.toStdString(), true);
    for (const std::string &e : nav.errors) ADD_FAILURE() << e;
    std::map<char, int> records;
    for (const NavRecord &r : navRecords(nav)) {
        records[r.first[0]]++;
        if (r.first[0] == 'J') {
            int prn = atoi(r.first.substr(1, 2).c_str());
            EXPECT_GE(prn, 1) << r.first;
            EXPECT_LE(prn, 10) << r.first;
            EXPECT_NEAR(dfield(r.lines[1], 3), 6493.0, 10.0) << r.first; // sqrt(A) of 42,164 km
        }
    }
    EXPECT_GE(records['J'], 1);
    EXPECT_GE(records['R'], 1);
}
