// The RINEX 2 writer end to end: type lists, epoch records, the claim rule,
// navigation records and headers, read back with an independent reader;
// real receiver logs compared value by value with their frames.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <math.h>
#include <stdlib.h>

#include <algorithm>
#include <memory>
#include <set>
#include <sstream>

#include "log_frames.h"
#include "gnssparser.h"
#include "rinex2_reader.h"
#include "rinex2xx.h"
#include "rinex_frames.h"
#include "writer_feed.h"
#include "testdata.h"
#include "util.h"

namespace {

class Rinex2 : public ::testing::Test
{
protected:
    QTemporaryDir dir;
    void SetUp() override { setenv("TZ", "UTC", 1), tzset(); }
    QString path(const QString &name) const { return dir.path() + "/" + name; }
    void openWriter(Rinex2xx &w, const QString &name = "t.00O")
    {
        ASSERT_TRUE(w.setFileName(path(name), 2));
        ASSERT_GT(w.open(0), 0);
    }
};

const gnss_signal_t *sig(int system, const char *code)
{
    for (uint32_t i = 0; i < GNSS_SYSTEM[system].signal_amount; i++)
        if (strcmp(GNSS_SYSTEM[system].signal[i].code, code) == 0) return &GNSS_SYSTEM[system].signal[i];
    return nullptr;
}

const auto makeObs = &rframes::obs;
using rframes::writeEpoch;

// A written file read back; what the reader finds wrong fails the test.
rnx2::File readOk(const QString &name, bool navigation = false)
{
    rnx2::File f = rnx2::read(name.toStdString(), navigation);
    for (const std::string &e : f.errors) ADD_FAILURE() << e;
    return f;
}

rnx2::File closeAndRead(Rinex2xx &w)
{
    QString name = w.observationFinalName();
    w.close();
    EXPECT_TRUE(w.outputErrors().isEmpty());
    return readOk(name);
}

const rnx2::Value &value(const rnx2::File &f, const rnx2::Epoch &e, const std::string &sat, const std::string &type)
{
    static rnx2::Value none;
    auto t = std::find(f.types.begin(), f.types.end(), type);
    auto s = e.sats.find(sat);
    if (t == f.types.end() || s == e.sats.end()) return none;
    return s->second[(size_t)(t - f.types.begin())];
}

// One expected value of an epoch: satellite, type, value (NAN: blank field)
// and, unless 0, its loss of lock indicator.
struct Cell {
    const char *sat, *type;
    double value;
    char lli;
};

void expectCells(const rnx2::File &f, const rnx2::Epoch &e, const std::vector<Cell> &cells)
{
    for (const Cell &c : cells) {
        const rnx2::Value &v = value(f, e, c.sat, c.type);
        const bool present = !std::isnan(c.value);
        EXPECT_EQ(logs::fields(v.present, present ? v.value : 0.0, c.lli ? v.lli : '\0'),
                  logs::fields(present, present ? c.value : 0.0, c.lli))
            << c.sat << " " << c.type;
    }
}

std::vector<std::string> split(const std::string &s)
{
    std::vector<std::string> out;
    std::istringstream in(s);
    std::string w;
    while (in >> w) out.push_back(w);
    return out;
}

const auto sampleGps = &rframes::gps;

std::vector<rnx2::NavRecord> navRecords(const rnx2::File &f, size_t orbitLines)
{
    std::vector<std::string> errors;
    std::vector<rnx2::NavRecord> r = rnx2::records(f, orbitLines, errors);
    for (const std::string &e : errors) ADD_FAILURE() << e;
    return r;
}

QString sibling(const QString &observation, char letter) { return observation.left(observation.size() - 1) + letter; }

// The RINEX 2 types of a signal, written out here from the type table of
// the format: pseudorange, phase, Doppler, strength. The types are per band:
// every tracking mode of a band has its band's. Galileo (E1, E5a, E5b, E5a+b,
// E6 in each mode), BDS and the L5 of GPS and SBAS only from 2.11 on (2.10
// has the SBAS L1 of its geostationary payloads); BDS B1 (1561 MHz) is C1,
// B2 (1207 MHz) C7, B3 (1268 MHz) C6.
bool rinex2Types(const gnss_signal_t *s, int version, std::string types[4])
{
    static const struct {
        int system;
        const char *codes; // "*": any code, "5*": any of band 5
        const char *type;  // "C?": band of the code
        bool only211;
    } table[] = {{GNSS_SYSTEM_GPS, "1C", "C1", false},          {GNSS_SYSTEM_GPS, "2P 2W", "P2", false},
                 {GNSS_SYSTEM_GPS, "2S 2L 2X", "C2", false},    {GNSS_SYSTEM_GPS, "5*", "C5", true},
                 {GNSS_SYSTEM_GLONASS, "1C", "C1", false},      {GNSS_SYSTEM_GLONASS, "1P", "P1", false},
                 {GNSS_SYSTEM_GLONASS, "2C", "C2", false},      {GNSS_SYSTEM_GLONASS, "2P", "P2", false},
                 {GNSS_SYSTEM_GALILEO, "*", "C?", true},        {GNSS_SYSTEM_BDS, "2I 2Q 2X", "C1", true},
                 {GNSS_SYSTEM_BDS, "7I 7Q 7D 7P 7X 7Z", "C7", true}, {GNSS_SYSTEM_BDS, "6I 6Q 6X", "C6", true},
                 {GNSS_SYSTEM_SBAS, "1C", "C1", false},         {GNSS_SYSTEM_SBAS, "5*", "C5", true}};
    const std::string code = s->code;
    for (const auto &t : table) {
        const std::string codes = t.codes;
        if (t.system != s->system || (t.only211 && version != 211)) continue;
        if (codes != "*" && !(codes == "5*" && code[0] == '5') && (" " + codes + " ").find(" " + code + " ") == std::string::npos)
            continue;
        const char band = t.type[1] == '?' ? code[0] : t.type[1];
        for (int k = 0; k < 4; k++) types[k] = std::string(1, k == 0 ? t.type[0] : "CLDS"[k]) + band;
        return true;
    }
    return false;
}

// RINEX 2 prints a value of a billion or more less a billion (with LLI 1).
double fold(double d)
{
    return fabs(d) >= 1e9 ? d - (d > 0 ? 1e9 : -1e9) : d;
}

qint64 epochMs(const rnx2::Epoch &e)
{
    return logs::utc_ms(2000 + e.year, e.month, e.day, e.hour, e.minute, e.second);
}

// Compares every value of the file with the frames' values. The first signal
// seen for a satellite and type (in code order within an epoch) fills that
// type for the whole file; a phase may be missing (lock rules), but a phase
// that is printed must be one of the type's signals' phases.
size_t compareWithFrames(const rnx2::File &f, const rframes::Epochs &expected, int version, const std::string &name)
{
    std::map<std::string, std::string> owner; // "G05P2" -> code
    size_t compared = 0, phases = 0, phasesValid = 0;
    for (const rnx2::Epoch &e : f.epochs) {
        if (e.flag != 0) continue;
        qint64 ms = epochMs(e);
        auto it = expected.find(ms);
        if (it == expected.end()) it = expected.find(ms - 604800000LL);
        if (it == expected.end()) {
            ADD_FAILURE() << name << ": epoch not in the frames " << e.lines[0];
            continue;
        }
        for (const auto &sat : it->second) {
            std::map<std::string, const rframes::Expected *> filled; // type -> expected value
            std::map<std::string, std::vector<const rframes::Expected *>> phaseCandidates;
            for (const auto &obs : sat.second) {
                std::string types[4];
                if (!rinex2Types(obs.second.signal, version, types)) continue;
                if (obs.second.valid[1]) phaseCandidates[types[1]].push_back(&obs.second);
                for (int k : {0, 2, 3})
                    if (obs.second.valid[k] && owner.insert({sat.first + types[k], obs.first}).first->second == obs.first)
                        filled[types[k]] = &obs.second;
            }
            if (filled.empty() && phaseCandidates.empty()) continue;
            std::string tag = name + " " + e.lines[0] + " " + sat.first;
            if (!e.sats.count(sat.first)) {
                if (!filled.empty()) ADD_FAILURE() << tag << " missing";
                continue;
            }
            for (size_t t = 0; t < f.types.size(); t++) {
                const std::string &type = f.types[t];
                const rnx2::Value &v = e.sats.at(sat.first)[t];
                if (type[0] == 'L') {
                    phasesValid += phaseCandidates.count(type);
                    if (!v.present) continue;
                    bool match = false; // a printed phase is one of the type's signals' phases
                    for (const rframes::Expected *x : phaseCandidates[type])
                        match |= fabs(v.value - fold(x->value[1])) <= 0.0011 && (fabs(x->value[1]) < 1e9 || v.lli == '1');
                    EXPECT_TRUE(match) << tag << " " << type << " " << v.value;
                    phases++;
                    continue;
                }
                auto x = filled.find(type);
                if (x == filled.end() || !v.present) {
                    // An unknown GLONASS channel leaves the writer without Doppler.
                    EXPECT_TRUE(x == filled.end() ? !v.present
                                                  : type[0] == 'D' && x->second->signal->system == GNSS_SYSTEM_GLONASS)
                        << tag << " " << type << (v.present ? " written" : " missing");
                    continue;
                }
                const int kind = type[0] == 'D' ? 2 : type[0] == 'S' ? 3 : 0;
                const double d = x->second->value[kind];
                EXPECT_NEAR(v.value, kind == 0 ? fold(d) : d, 0.0011) << tag << " " << type;
                EXPECT_TRUE((kind != 0 || fabs(d) < 1e9 || v.lli == '1') && v.ssi == ' ') << tag << " " << type;
                compared++;
            }
        }
    }
    // Most phases are written: only first epochs and lock losses lack them.
    EXPECT_GE(phases * 10, phasesValid * 7) << name;
    return compared + phases;
}

} // namespace

TEST_F(Rinex2, EpochRecordFields)
{
    Rinex2xx w;
    ASSERT_TRUE(w.setVersion(210));
    openWriter(w);
    auto l1 = makeObs(sig(GNSS_SYSTEM_GPS, "1C"), 5, 21000000.1234, 110356000.5, -1234.5f, 47.25f);
    auto l2 = makeObs(sig(GNSS_SYSTEM_GPS, "2W"), 5, 21000003.25, 85990000.75, -962.25f, 35.0f);
    l2.halfCycleOk = false;
    auto big = makeObs(sig(GNSS_SYSTEM_GPS, "1C"), 7, 1000000123.5, 1234567890.123, 10.0f, 0.0f);
    auto nopr = makeObs(sig(GNSS_SYSTEM_GPS, "1C"), 9, 22000000.0, 5.0, 0, 60.0f);
    nopr.pseudorangeValid = nopr.dopplerValid = false;
    auto lost = makeObs(sig(GNSS_SYSTEM_GPS, "1C"), 12, 23000000.0, 120000000.0, 1.0f, 54.0f);
    lost.lockOk = false;
    auto glo = makeObs(sig(GNSS_SYSTEM_GLONASS, "1P"), 4, 19100000.5, 102000000.25, 300.5f, 41.0f);
    auto qzss = makeObs(&GNSS_SIGNAL_QZSS[0], 2, 38000000.0, 1.0, 1, 40); // no RINEX 2 type
    auto l1w = makeObs(sig(GNSS_SYSTEM_GPS, "1W"), 5, 21000000.5, 1.0, 1, 40); // nor this one
    EXPECT_GT(writeEpoch(w, 345600500, {l1, l2, big, nopr, lost, glo, qzss, l1w}), 0);
    rnx2::File f = closeAndRead(w);
    ASSERT_EQ(f.epochs.size(), 1u);
    const rnx2::Epoch &e = f.epochs[0];
    // Week 2290, Thursday 2023-11-30 00:00:00.5; satellites G then R by number.
    EXPECT_EQ(e.lines[0], " 23 11 30 00 00  0.5000000  0  5G05G07G09G12R04");
    EXPECT_EQ(value(f, e, "G05", "L1").ssi, ' ');
    expectCells(f, e,
                {{"G05", "C1", 21000000.123, ' '}, {"G05", "L1", 110356000.5, ' '}, {"G05", "D1", -1234.5, 0},
                 {"G05", "S1", 47.25, 0}, {"G05", "P2", 21000003.25, 0},
                 {"G05", "L2", 85990000.75, '1'}, // half cycle unresolved
                 {"G05", "C2", NAN, 0}, {"G05", "P1", NAN, 0},
                 // Folded values with their indicator.
                 {"G07", "C1", 123.5, '1'}, {"G07", "L1", 234567890.123, '1'}, {"G07", "S1", NAN, 0}, // C/N0 0: not measured
                 // No pseudorange, no Doppler: blank fields.
                 {"G09", "C1", NAN, 0}, {"G09", "D1", NAN, 0}, {"G09", "L1", 5.0, 0},
                 // Lock lost: no phase in that epoch.
                 {"G12", "L1", NAN, 0}, {"G12", "C1", 23000000.0, 0},
                 {"R04", "P1", 19100000.5, 0}, {"R04", "L1", 102000000.25, 0}});
    // Ten types: the reader holds each satellite to two lines of five F14.3
    // fields with their indicators, trailing blanks cut.
    EXPECT_EQ(e.sats.at("G05").size(), 10u);
}

TEST_F(Rinex2, NavigationRecordsHeadersAndTransmissionTimes)
{
    Rinex2xx w;
    ASSERT_TRUE(w.setProgramRunby("Quorvane", "tester"));
    openWriter(w);
    novatel_ionutc_t &u = w.gpsIonUtc;
    u.header.id = 8, u.alpha[0] = 1.118e-8, u.beta[3] = -196608, u.a0 = -9.3132257462e-10, u.a1 = 8.8e-16;
    u.tot = 405504, u.utc_week = 2290, u.dt_ls = 18, w.leapSeconds = 18;
    gps_nav_t a = sampleGps(5, 345600), mixed = sampleGps(6, 345600), late = sampleGps(7, 597600),
              early = sampleGps(8, 0), plain = sampleGps(9, 352800);
    mixed.iode3 = 78; // subframes of two issues
    // Sent at 00:30 of the next week for a toe at the end of this one; sent
    // late in the week for a toe just after its end.
    late.tow = 1800, late.week = 2291;
    early.tow = 597600, early.week = 2289;
    plain.tow = 345000;
    const struct {
        gps_nav_t nav;
        bool written;
    } sent[] = {{a, true}, {a, false} /* repeated broadcast */, {sampleGps(5, 352800), true}, {a, true},
                {mixed, false}, {sampleGps(0, 345600), false}, {sampleGps(100, 345600), false},
                {late, true}, {early, true}, {plain, true}};
    for (const auto &x : sent) EXPECT_EQ(w.writeNGps(x.nav) > 0, x.written) << (int)x.nav.prn << " " << x.nav.toe;
    bd2_nav_t c = {};
    c.prn = 130; // beyond two digits
    EXPECT_EQ(w.writeNBds(c), 0);
    const QString obs = w.observationFinalName();
    w.close();
    rnx2::File f = readOk(w.navigationFinalName(), true);
    const std::string &utc = f.first["DELTA-UTC: A0,A1,T,W"];
    EXPECT_EQ(logs::fields(f.first["ION ALPHA"].substr(0, 14), split(f.first["ION BETA"].substr(0, 60)).back(),
                           f.first["LEAP SECONDS"].substr(0, 6), rnx2::num(utc, 3, 19), rnx2::num(utc, 22, 19),
                           utc.substr(41, 18), f.first["PGM / RUN BY / DATE"].substr(0, 40),
                           f.first["RINEX VERSION / TYPE"].substr(20, 20)),
              logs::fields("     .1118D-07", "-.1966D+06", "    18", -9.3132257462e-10, 8.8e-16, "   405504     2290",
                           "Quorvane            tester              ", "N: GPS NAV DATA     "));
    rnx2::File g = readOk(sibling(obs, 'G'), true);
    EXPECT_EQ(logs::fields(g.first["LEAP SECONDS"].substr(0, 27), g.first.count("ION ALPHA")),
              logs::fields("    18                  GPS", 0u));
    for (const rnx2::File *n : {&f, &g})
        EXPECT_EQ(logs::fields(n->header.size(), n->first.at("COMMENT").substr(0, 12)), logs::fields(16u, "PARSER    = "));
    std::vector<rnx2::NavRecord> r = navRecords(f, 7);
    ASSERT_EQ(r.size(), 6u);
    // Week 2290 starts 2023-11-26; toe 345600 is Thursday 00:00.
    EXPECT_EQ(logs::fields(r[0].first.substr(0, 22), r[1].first.substr(0, 22), r[2].prn),
              logs::fields("05 23 11 30 00 00 00.0", "05 23 11 30 02 00 00.0", 5));
    // An unknown transmission time, a 4-hour fit, blank spares.
    EXPECT_EQ(logs::fields(r[0].orbit[6][0], r[0].orbit[6][1], r[0].orbit_blank[6][2], r[0].orbit_blank[6][3]),
              logs::fields(0.9999e9, 4.0, true, true));
    // toe at the end of week 2290, sent in week 2291: 604800 + 1800.
    EXPECT_EQ(logs::fields(r[3].prn, r[3].first.substr(0, 22), r[3].orbit[4][2], r[3].orbit[6][0]),
              logs::fields(7, "07 23 12 02 22 00 00.0", 2290.0, 606600.0));
    // toe 0 of week 2290, sent in week 2289: the transmission is -7200 s.
    EXPECT_EQ(logs::fields(r[4].first.substr(0, 22), r[4].orbit[4][2], r[4].orbit[6][0], r[5].orbit[6][0]),
              logs::fields("08 23 11 26 00 00 00.0", 2290.0, -7200.0, 345000.0));
}

// Every value of RTCM 3 (prescanned, as the task runs them) and NovAtel logs
// against the frames, in 2.11 and, for a log of five systems and a NovAtel
// one, in 2.10; the navigation files of the version, each record once and
// with orbits of their systems.
TEST_F(Rinex2, RealLogsMatchTheirFrames)
{
    REQUIRE_TESTDATA();
    const struct {
        const char *file;
        qint64 timeStart;
        const char *systems; // in the 2.11 file; "" for the NovAtel logs
        bool v210 = false;
        // Observations in 2.11 of the signals it has no type for, counted
        // in the frames' cell masks; null: not checked.
        const char *typeless = nullptr;
    } logs[] = {{"gnss-converters/week-rollover-STR17.rtcm3", 0, "CEGR"},
                {"gnss-converters/week-rollover-STR24.rtcm3", 0, "CEGR"},
                {"gnss-converters/20190120_1956_rover.023", 0, "CEGR"},
                {"gpsd/rtcm3.2.log", 0, "EGRS"},
                {"gnss-converters/msm7.rtcm", util_gps_time_to_epoch(2100, 0), "CEGRS", true, "G1W 386"},
                // 2018-01-02: GPS week 1982.
                {"gnss-converters/sept.rtcm", util_gps_time_to_epoch(1982, 2 * 86400000), "CEGR", false,
                 "J1C 55, J2L 55, J5Q 55"},
                {"novatel-gavlab/test1_rcvr1.dat", 0, "", true},
                {"novatel-gavlab/test2_rcvr1.dat", 0, ""},
                {"rtklib/oemv_200911218.gps", 0, ""}};
    for (const auto &log : logs)
        for (int version : {210, 211}) {
            if (version == 210 && !log.v210) continue;
            SCOPED_TRACE(std::string(log.file) + " " + std::to_string(version));
            const bool novatel = !*log.systems;
            std::vector<uint8_t> data = testdata::read(log.file);
            QTemporaryDir d;
            Rinex2xx w;
            ASSERT_TRUE(w.setVersion(version));
            const QString observation = feed::convertLog(w, d.path() + "/out.00O", data, log.timeStart, !novatel);
            EXPECT_TRUE(w.outputErrors().isEmpty());
            if (log.typeless && version == 211) {
                std::set<std::string> counts;
                for (auto it = w.typelessSignals.cbegin(); it != w.typelessSignals.cend(); ++it)
                    counts.insert(GNSS_SYSTEM[it.key()->system].letter + std::string(it.key()->code) + " " +
                                  std::to_string(it.value()));
                std::string text;
                for (const std::string &c : counts) text += (text.empty() ? "" : ", ") + c;
                EXPECT_EQ(text, log.typeless);
            }
            rnx2::File f = readOk(observation);
            ASSERT_FALSE(f.epochs.empty());
            // The RTCM 3 frames in the week of the first epoch.
            int32_t week = 0, ms = 0;
            util_epoch_to_gps_time(epochMs(f.epochs[0]), &week, &ms);
            std::map<int, int> channels;
            const rframes::Epochs expected =
                novatel ? rframes::fromNovatel(data) : rframes::fromRtcm(data, week, &channels);
            EXPECT_GT(compareWithFrames(f, expected, version, log.file), 100u);
            std::set<char> systems;
            for (const rnx2::Epoch &e : f.epochs)
                for (const auto &sat : e.sats) systems.insert(sat.first[0]);
            // 2.10 has GPS, GLONASS and the geostationary (SBAS) satellites.
            for (const char *l = log.systems; *l; l++)
                if (version == 211 || std::string("GRS").find(*l) != std::string::npos) {
                    EXPECT_TRUE(systems.count(*l)) << *l;
                }
            size_t gps = 0;
            for (char letter : std::string(novatel ? "N" : version == 211 ? "NGLC" : "NG")) {
                QString navName = sibling(observation, letter);
                if (!novatel && !QFile::exists(navName)) continue;
                std::set<std::string> seen;
                for (const rnx2::NavRecord &r : navRecords(readOk(navName, true), letter == 'G' ? 3 : 7)) {
                    std::string key = r.first.substr(0, 22) + r.lines.at(novatel ? 2 : 0).substr(0, 22);
                    // Galileo I/NAV and F/NAV of one issue are two records: only a record
                    // repeated whole counts there.
                    if (letter == 'L')
                        for (const std::string &l : r.lines) key += l;
                    EXPECT_TRUE(seen.insert(key).second) << "repeated record " << key;
                    if (letter == 'N') {
                        gps++;
                        EXPECT_NEAR(r.orbit[1][3], 5153.6, 5.0) << r.first; // sqrt(A)
                        EXPECT_LT(r.orbit[1][1], 0.03) << r.first;          // eccentricity
                    }
                    if (letter == 'G') {
                        double radius = sqrt(r.orbit[0][0] * r.orbit[0][0] + r.orbit[1][0] * r.orbit[1][0] +
                                             r.orbit[2][0] * r.orbit[2][0]);
                        EXPECT_NEAR(radius, 25500, 200) << r.first;
                        EXPECT_TRUE(r.clock[2] >= 0 && r.clock[2] < 86400) << r.first; // frame time of day
                    }
                }
            }
            EXPECT_TRUE(gps > 0 || !strstr(log.file, "gavlab"));
        }
}

TEST_F(Rinex2, HeaderFitsItsReservedLines)
{
    // A long comment list and far more types than the usual ones.
    Rinex2xx w;
    QList<QByteArray> comments;
    for (int i = 0; i < 40; i++) comments.append("note " + QByteArray::number(i));
    ASSERT_TRUE(w.setCommentList(comments) && w.setMarker("MARK", "0042", "GEODETIC") &&
                w.setReceiver(QByteArray(30, 'r'), "RX", "1.0") && w.setProgramRunby("prog", "me"));
    int added = 0;
    for (int s = 0; s < GNSS_SYSTEM_AMOUNT; s++)
        for (uint32_t i = 0; i < GNSS_SYSTEM[s].signal_amount; i++)
            for (int kind = 0; kind < 4; kind++) {
                char code[3] = {(char)('A' + added / 26 % 26), (char)('A' + added % 26), 0};
                ASSERT_TRUE(w.addSignal(code, &GNSS_SYSTEM[s].signal[i], kind));
                added++;
            }
    openWriter(w);
    EXPECT_EQ(w.obsTypes.size(), 135);
    w.leapSeconds = 18;
    std::vector<Rinexxxx::Obs> obs;
    for (uint32_t i = 0; i < GNSS_SIGNAL_GPS_AMOUNT; i++)
        obs.push_back(makeObs(&GNSS_SIGNAL_GPS[i], 8, 2.1e7 + i, 1.1e8 + i, (float)i, 40));
    for (int ep = 0; ep < 3; ep++) writeEpoch(w, 1000 * ep, obs);
    rnx2::File f = closeAndRead(w);
    ASSERT_EQ(f.header.size(), 32u);
    EXPECT_EQ(f.header.back(), std::string(60, ' ') + "END OF HEADER       ");
    ASSERT_EQ(f.types.size(), 135u);
    ASSERT_EQ(f.epochs.size(), 3u);
    EXPECT_EQ(logs::fields(f.first["REC # / TYPE / VERS"].substr(0, 20), f.first["LEAP SECONDS"].substr(0, 6),
                           f.first["WAVELENGTH FACT L1/2"].substr(0, 12)),
              logs::fields(std::string(20, 'r'), "    18", "     1     1"));
    // The list takes TSS, SBAS, GLONASS, QZSS and IRNSS codes (4 x (2 + 4 + 5 +
    // 14 + 5) = 120), then the first 15 of GPS: each of those reads back in
    // every epoch.
    size_t values = 0;
    for (const rnx2::Epoch &e : f.epochs)
        for (const rnx2::Value &v : e.sats.at("G08")) values += v.present;
    EXPECT_EQ(values, 3u * 15);
    // No room for comments: the 31st line is the last fixed one.
    EXPECT_EQ(f.header[30].substr(0, 12), "CONVERTER = ");
}

// Hemisphere parameters when no NovAtel ones came; a writer destroyed while
// open still finishes both headers.
TEST_F(Rinex2, HemisphereNavigationHeaderAndIonosphereLine)
{
    auto h = std::make_unique<Rinex2xx>();
    openWriter(*h, "h.00O");
    h->hemisphereIonUtc.dtls = 17;
    h->hemisphereIonUtc.alpha[1] = 1.49e-8;
    h->leapSeconds = 17;
    writeEpoch(*h, 2000, {makeObs(&GNSS_SIGNAL_GPS[0], 1, 2e7, 1e8, 0, 40)});
    const QString hobs = h->observationFinalName(), hnav = h->navigationFinalName();
    h.reset();
    rnx2::File hn = readOk(hnav, true);
    EXPECT_EQ(logs::fields(hn.first["ION ALPHA"].substr(14, 12), hn.first["LEAP SECONDS"].substr(0, 60),
                           hn.first.count("DELTA-UTC: A0,A1,T,W"), hn.first["RINEX VERSION / TYPE"].substr(0, 60),
                           readOk(hobs).epochs.size()),
              logs::fields("   .1490D-07", "    17" + std::string(54, ' '), 0u,
                           "     2.11           N: GPS NAV DATA                         ", (size_t)1));

    // The ionosphere line needs 83 bytes: a smaller buffer is left alone.
    char small[82];
    memset(small, 'x', sizeof small);
    const double v[4] = {1, 2, 3, 4};
    char line[83];
    EXPECT_EQ(logs::fields(Rinex2xx::printIon(small, sizeof small, "ION ALPHA", v), small[0],
                           Rinex2xx::printIon(line, sizeof line, "ION ALPHA", v)),
              logs::fields(0, 'x', 82));
    EXPECT_EQ(std::string(line, 82), "     .1000D+01   .2000D+01   .3000D+01   .4000D+01" + std::string(10, ' ') +
                                         "ION ALPHA           \r\n");
}

TEST_F(Rinex2, VersionsAndTypeLists)
{
    Rinex2xx v;
    EXPECT_EQ(v.version, 211);
    for (const char *bad : {"2.12", "3.04", "2.1"}) EXPECT_FALSE(v.setVersion(QString(bad))) << bad;
    EXPECT_FALSE(v.setVersion(212) || v.setVersion(304));
    EXPECT_TRUE(v.setVersion(QString("2.10")));
    EXPECT_EQ(logs::fields(v.version, v.versionMinor), logs::fields(210, 10));
    EXPECT_FALSE(v.addSignal("C", &GNSS_SIGNAL_GPS[0], 0) || v.addSignal("C1", nullptr, 0) ||
                 v.addSignal("C1", &GNSS_SIGNAL_GPS[0], 4));

    const struct {
        int version;
        QSet<char> mask;
        const char *types;
        const char *navLetters;
        QSet<QByteArray> signalMask = {};
        std::vector<Cell> cells = {};
    } cases[] = {
        // The reader holds the list to ceil(n / 9) lines of nine types.
        {210, {}, "C1 L1 D1 S1 C2 L2 D2 S2 P2 P1", "GN"},
        // GLONASS P2 masked, GPS still has it; GPS L1 masked, GLONASS not.
        {210, {}, "C1 L1 D1 S1 C2 L2 D2 S2 P1 P2", "GN", {"GL1", "RP2"},
         {{"G03", "L1", NAN, 0}, {"G03", "C1", 2.1e7, 0}, {"G03", "P2", 2.1e7 + 1, 0}, {"R04", "L1", 1.2e8, 0},
          {"R04", "P2", NAN, 0}, {"R04", "L2", 0.95e8, 0}}},
        {210, {'R'}, "C1 L1 D1 S1 P2 L2 D2 S2 C2", "N"},
        // 2.11 adds SBAS, whose signals come before GLONASS's.
        {211, {'E', 'C', 'S'}, "C1 L1 D1 S1 C2 L2 D2 S2 P2 P1 C5 L5 D5 S5", "GN"},
        {211, {'E', 'C'}, "C1 L1 D1 S1 C5 L5 D5 S5 C2 L2 D2 S2 P2 P1", "GN"},
        {211, {'R', 'E', 'C'}, "C1 L1 D1 S1 C5 L5 D5 S5 P2 L2 D2 S2 C2", "N"},
        {211, {}, "C1 L1 D1 S1 C5 L5 D5 S5 C2 L2 D2 S2 P2 P1 C7 L7 D7 S7 C8 L8 D8 S8 C6 L6 D6 S6", "CGLN"},
        {211, {'R'}, "C1 L1 D1 S1 C5 L5 D5 S5 P2 L2 D2 S2 C2 C7 L7 D7 S7 C8 L8 D8 S8 C6 L6 D6 S6", "CLN"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.types);
        QTemporaryDir d;
        Rinex2xx w;
        ASSERT_TRUE(w.setVersion(c.version) && w.setMaskSystem(c.mask) && w.setMaskSignal(c.signalMask));
        ASSERT_TRUE(w.setFileName(d.path() + "/v.00O", 1));
        ASSERT_GT(w.open(0), 0);
        EXPECT_FALSE(w.setVersion(210)); // open
        writeEpoch(w, 1000, {makeObs(sig(GNSS_SYSTEM_GPS, "1C"), 3, 2.1e7, 1.1e8, 5, 40),
                             makeObs(sig(GNSS_SYSTEM_GPS, "2W"), 3, 2.1e7 + 1, 0.9e8, 4, 30),
                             makeObs(sig(GNSS_SYSTEM_GLONASS, "1C"), 4, 2.2e7, 1.2e8, 6, 41),
                             makeObs(sig(GNSS_SYSTEM_GLONASS, "2P"), 4, 2.2e7 + 2, 0.95e8, 7, 31)});
        rnx2::File f = closeAndRead(w);
        EXPECT_EQ(f.types, split(c.types));
        expectCells(f, f.epochs.at(0), c.cells);
        EXPECT_EQ(logs::fields(f.version, f.file_type, f.first["RINEX VERSION / TYPE"].substr(40, 20)),
                  logs::fields(c.version / 100.0, 'O', std::string("M") + std::string(19, ' ')));
        // Navigation files: one per system of the version, none for masked ones.
        std::string letters; // of the names in order: the observation file's O last
        for (const QString &name : QDir(d.path()).entryList(QDir::Files)) letters += name.toLatin1().back();
        EXPECT_EQ(letters, c.navLetters + std::string("O"));
    }
}
