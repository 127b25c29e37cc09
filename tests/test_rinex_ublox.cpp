// The writers fed u-blox logs through the framer: epochs dated by the RAWX
// week and time of week alone, tracking status to blanks and loss-of-lock
// flags, leap seconds and the receiver from the log, navigation records
// from the raw words; and a real F9P log against the RINEX file another
// program wrote from it.
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "frame_builders.h"
#include "gnssparser.h"
#include "log_frames.h"
#include "rinex2_reader.h"
#include "rinex2xx.h"
#include "rinex3_reader.h"
#include "rinex3xx.h"
#include "testdata.h"
#include "ubx_encoder.h"
#include "writer_feed.h"

namespace {

const double kL1 = 1575420000.0;

// Files dated in UTC.
[[maybe_unused]] const bool utcZone = (setenv("TZ", "UTC", 1), tzset(), true);

// A writer fed through its framer into a directory of its own.
template <typename Writer> struct Conversion : feed::Run<Writer> {
    QTemporaryDir dir;
    QString observation, navigation;
    void open() { this->start(dir.path() + "/in.00O"); }
    void finish()
    {
        observation = this->w.observationFinalName(), navigation = this->w.navigationFinalName();
        this->w.close();
        EXPECT_TRUE(this->w.outputErrors().isEmpty());
    }
    rnx3::File close(rnx3::File *nav = nullptr)
    {
        finish();
        if (nav) *nav = rnx3::read(navigation.toStdString(), true);
        rnx3::File f = rnx3::read(observation.toStdString());
        for (const std::string &e : f.errors) ADD_FAILURE() << e;
        return f;
    }
};

// GPS L1 C/A measurement of satellite `sv` at epoch `second`.
ubxenc::Meas l1(int sv, int second, uint8_t trk, uint16_t lock)
{
    ubxenc::Meas m;
    m.sv = (uint8_t)sv, m.doppler = -630.25f, m.cno = 42, m.lock = lock, m.trk = trk;
    m.pr = 21000000.0 + sv * 100000.0 + second * 120.0 + 0.125, m.cp = m.pr * kL1 / 299792458.0 - 1000.5;
    return m;
}

} // namespace

TEST(RinexUblox, TrackingStatusToBlanksAndFlagsDatedByTheLog)
{
    Conversion<Rinex3xx> r;
    r.open();
    // Thursday 2023-11-30 00:00:00 GPS = week 2290, 345600 s.
    const double tow = 345600.0;
    r.in(ubxenc::mon_ver("EXT CORE 1.00", "00190000", {"FWVER=HPG 1.32", "MOD=ZED-F9P"}));
    // Every combination of the four tracking bits, one satellite each, for
    // three epochs; satellite 17 has half a cycle subtracted from the second
    // epoch on, satellite 18 loses lock (its lock time restarts) at the third.
    for (int s = 0; s < 3; ++s) {
        std::vector<ubxenc::Meas> meas;
        for (int trk = 0; trk < 16; ++trk) meas.push_back(l1(trk + 1, s, (uint8_t)trk, (uint16_t)(5000 + 1000 * s)));
        meas.push_back(l1(17, s, s ? 0x0F : 0x07, (uint16_t)(5000 + 1000 * s)));
        meas.push_back(l1(18, s, 0x07, s < 2 ? (uint16_t)(5000 + 1000 * s) : (uint16_t)300));
        // leapS only counts with its validity bit (first epoch: not set, 17).
        r.in(ubxenc::rawx(tow + s, 2290, s ? 18 : 17, s ? 1 : 0, meas));
    }
    // An epoch before the receiver knew the time, and one without measurements.
    r.in(ubxenc::rawx(10.0, 0, 0, 0, {l1(3, 9, 7, 60000)}));
    r.in(ubxenc::rawx(tow + 3, 2290, 18, 1, {}));
    rnx3::File f = r.close();

    EXPECT_EQ(f.first["REC # / TYPE / VERS"].substr(20, 40), "u-blox ZED-F9P      HPG 1.32            ");
    EXPECT_EQ(f.first["LEAP SECONDS"].substr(0, 6), "    18");
    EXPECT_NE(f.first["TIME OF FIRST OBS"].find("  2023    11    30     0     0    0.0000000"), std::string::npos);
    ASSERT_EQ(f.epochs.size(), 3u);
    for (int s = 0; s < 3; ++s) {
        const rnx3::Epoch &e = f.epochs[s];
        EXPECT_EQ(logs::fields(e.year, e.second), logs::fields(2023, (double)s)) << e.line;
        for (int trk = 0; trk < 16; ++trk) {
            char sat[16];
            snprintf(sat, sizeof sat, "G%02d", trk + 1);
            const bool pr = trk & 1, cp = trk & 2;
            // LLI bit 0 on the first phase, bit 1 while the half cycle is unresolved.
            const int lli = cp ? (s == 0 ? 1 : 0) | (trk & 4 ? 0 : 2) : 0;
            const ubxenc::Meas m = l1(trk + 1, s, (uint8_t)trk, 0);
            const rnx3::Value &c = rnx3::obs(f, e, sat, "C1C"), &l = rnx3::obs(f, e, sat, "L1C");
            EXPECT_EQ(logs::fields(e.sats.count(sat), c.present, l.present, cp ? l.lli : ' '),
                      logs::fields((size_t)(pr || cp), pr, cp, lli ? (char)('0' + lli) : ' '))
                << sat << " trkStat " << trk;
            if (pr) { EXPECT_NEAR(c.value, m.pr, 0.0006) << sat; }
            if (!cp) continue;
            EXPECT_NEAR(l.value, m.cp, 0.0006) << sat;
            EXPECT_NEAR(rnx3::obs(f, e, sat, "D1C").value, -630.25, 0.0006) << sat;
            EXPECT_NEAR(rnx3::obs(f, e, sat, "S1C").value, 42, 0.0006) << sat;
        }
        // Half a cycle subtracted from the phase at the second epoch: a slip there only.
        EXPECT_EQ(rnx3::obs(f, e, "G17", "L1C").lli, s == 1 || s == 0 ? '1' : ' ') << e.line;
        // Lock time fallen from 6 s to 0.3 s: a slip at the third epoch.
        EXPECT_EQ(rnx3::obs(f, e, "G18", "L1C").lli, s == 1 ? ' ' : '1') << e.line;
    }
}

TEST(RinexUblox, LegacyRawAndSubframesOfALea4t)
{
    REQUIRE_TESTDATA();
    const std::vector<uint8_t> log = testdata::read("rtklib/ubx_20080526.ubx");
    Conversion<Rinex2xx> r;
    ASSERT_TRUE(r.w.setVersion(QString("2.11")));
    r.open();
    r.in(log);
    r.finish();
    const rnx2::File o = rnx2::read(r.observation.toStdString()), n = rnx2::read(r.navigation.toStdString(), true);
    for (const std::string &e : o.errors) ADD_FAILURE() << e;
    ASSERT_EQ(o.epochs.size(), 242u);
    const rnx2::Epoch &e = o.epochs[0];
    EXPECT_EQ(logs::fields(e.year, e.month, e.day, e.hour, e.minute, e.second, e.flag),
              logs::fields(8, 5, 26, 5, 59, 24.999, 0));
    // The receiver's own RINEX loss-of-lock indicator (byte 23 of each
    // 24-byte RXM-RAW block): its half-cycle bit reaches the RINEX 3 phase.
    Conversion<Rinex3xx> r3;
    r3.open();
    r3.in(log);
    const rnx3::File f3 = r3.close();
    std::map<long, const rnx3::Epoch *> byMs;
    for (const rnx3::Epoch &x : f3.epochs) byMs[lround(((x.hour * 60 + x.minute) * 60 + x.second) * 1000)] = &x;
    size_t halfCycles = 0;
    for (const auto &fr : logs::ubx_frames(log)) {
        if (fr[2] != 0x02 || fr[3] != 0x10) continue;
        const uint8_t *p = fr.data() + 6;
        const long ms = (long)((uint32_t)p[0] | p[1] << 8 | p[2] << 16 | (uint32_t)p[3] << 24) % 86400000;
        ASSERT_TRUE(byMs.count(ms)) << ms;
        for (int k = 0; k < p[6]; k++) {
            const uint8_t *m = p + 8 + 24 * k;
            char sat[8];
            snprintf(sat, sizeof sat, "G%02d", m[20]);
            double cp;
            memcpy(&cp, m, sizeof cp);
            if (m[20] > 32 || (int8_t)m[21] < 5 || cp == 0) continue;
            const rnx3::Value &v = rnx3::obs(f3, *byMs[ms], sat, "L1C");
            ASSERT_TRUE(v.present) << ms << " " << sat;
            EXPECT_EQ((v.lli == ' ' ? 0 : v.lli - '0') & 2, m[23] & 2) << ms << " " << sat;
            halfCycles += (m[23] & 2) != 0;
        }
    }
    EXPECT_EQ(halfCycles, 29u);
    // Every GPS ephemeris comes from SFRB words; the week is 2008's (1481).
    std::vector<std::string> errors;
    const std::vector<rnx2::NavRecord> records = rnx2::records(n, 7, errors);
    EXPECT_TRUE(errors.empty()) << errors.front();
    EXPECT_GT(records.size(), 5u);
    for (const rnx2::NavRecord &rec : records)
        EXPECT_EQ(std::vector<int>({rec.year, rec.month, rec.day}), std::vector<int>({8, 5, 26})) << rec.first;
}

TEST(RinexUblox, RateLimitKeepsTheEpochNearestEachGridPoint)
{
    REQUIRE_TESTDATA();
    // Receivers whose clock runs free date their epochs just before the
    // whole second: a NEO-M8T at x.992 s (1 Hz), an F9 at x.991 s (10 Hz).
    // With a 5 s rate limit each multiple of 5 s gets the epoch nearest to
    // it, after the log's first epoch.
    for (const char *name : {"gpsd/ublox-neo-m8t.log", "gnss-converters/rxm_sfrbx_glo.ubx"}) {
        const std::vector<uint8_t> log = testdata::read(name);
        std::vector<long> raw; // RXM-RAWX rcvTow with a week and measurements, ms of day
        for (const auto &fr : logs::ubx_frames(log)) {
            if (fr[2] != 0x02 || fr[3] != 0x15) continue;
            const uint8_t *p = fr.data() + 6;
            double tow;
            memcpy(&tow, p, sizeof tow);
            if ((p[8] | p[9] << 8) > 0 && p[11] > 0) raw.push_back(lround(tow * 1000) % 86400000);
        }
        ASSERT_GT(raw.size(), 10u) << name;
        long spacing = 86400000;
        for (size_t i = 1; i < raw.size(); i++) spacing = std::min(spacing, raw[i] - raw[i - 1]);
        std::vector<long> expected = {raw.front()};
        for (long g = (raw.front() / 5000 + 1) * 5000; g <= raw.back(); g += 5000) {
            const long nearest = *std::min_element(raw.begin(), raw.end(),
                                                   [g](long a, long b) { return labs(a - g) < labs(b - g); });
            if (labs(nearest - g) < spacing / 2 && nearest != expected.back()) expected.push_back(nearest);
        }
        Conversion<Rinex3xx> r;
        ASSERT_TRUE(r.w.setObsIntervalMin(5000));
        r.open();
        r.in(log);
        std::vector<long> written;
        for (const rnx3::Epoch &e : r.close().epochs)
            written.push_back(lround(((e.hour * 60 + e.minute) * 60 + e.second) * 1000));
        EXPECT_EQ(written, expected) << name;
    }
}

TEST(RinexUblox, RealF9pLogAgreesWithAnotherProgramsRinex)
{
    REQUIRE_TESTDATA();
    const std::string stem = "instinct/Spirent_ublox-F9P_static_duration-15min_sys-GPS-GAL_iono-Klobuchar_tropo-Saastamoinen";
    Conversion<Rinex3xx> r;
    ASSERT_TRUE(r.w.setVersion(QString("3.04")));
    r.open();
    r.in(testdata::read(stem + ".ubx"));
    rnx3::File nav;
    rnx3::File f = r.close(&nav);
    const rnx3::File ref = rnx3::read(testdata::path(stem + ".obs"));
    ASSERT_EQ(f.epochs.size(), ref.epochs.size());
    EXPECT_EQ(f.first["REC # / TYPE / VERS"].substr(20, 40), "u-blox NEO-F9P      HPGL1L5 1.40        ");
    // Our codes against the reference's (it names the tracked pair "X"): the
    // same receiver values, to the last printed digit; our phases carry the
    // RINEX 3.04 quarter-cycle shifts of the pilot codes we name (E1 C +1/2,
    // L5 Q and E5a Q -1/4), its "X" codes none.
    const struct {
        const char *ours, *theirs;
        double shift;
    } codes[] = {{"GC1C", "C1C", 0}, {"GL1C", "L1C", 0},    {"GD1C", "D1C", 0}, {"GC5Q", "C5X", 0},
                 {"GL5Q", "L5X", -0.25}, {"GD5Q", "D5X", 0}, {"EC1C", "C1X", 0}, {"EL1C", "L1X", 0.5},
                 {"ED1C", "D1X", 0}, {"EC5Q", "C5X", 0},    {"EL5Q", "L5X", -0.25}, {"ED5Q", "D5X", 0}};
    size_t compared = 0, missing = 0;
    for (size_t i = 0; i < f.epochs.size(); ++i) {
        const rnx3::Epoch &e = f.epochs[i], &g = ref.epochs[i];
        ASSERT_EQ(logs::fields(e.year, e.month, e.day, e.hour, e.minute, e.second),
                  logs::fields(g.year, g.month, g.day, g.hour, g.minute, g.second));
        for (const auto &sat : g.sats)
            for (const auto &c : codes) {
                const rnx3::Value &theirs = rnx3::obs(ref, g, sat.first, c.theirs);
                if (c.ours[0] != sat.first[0] || !theirs.present) continue;
                const rnx3::Value &ours = rnx3::obs(f, e, sat.first, c.ours + 1);
                if (!ours.present && ++missing) continue;
                EXPECT_NEAR(ours.value, theirs.value + c.shift, 0.0011) << sat.first << " " << c.ours << " " << e.line;
                ++compared;
            }
    }
    EXPECT_GT(compared, 40000u);
    EXPECT_EQ(missing, 0u);
    // Navigation records for every satellite with a complete ephemeris.
    std::map<char, size_t> records;
    for (const std::string &l : nav.body)
        if (l.size() > 3 && l[0] != ' ') records[l[0]]++;
    EXPECT_TRUE(records['G'] >= 11 && records['E'] >= 11) << records['G'] << " " << records['E'];
}

// A rover's log that also holds a base's RTCM 3 corrections: a RAWX (or a
// Septentrio MeasEpoch) that arrives among the messages of an RTCM 3 epoch
// ends that epoch. The epoch record at the RTCM 3 time holds the satellites
// of its GPS, GLONASS, Galileo and BDS MSM and no other: the rover's
// measurements were written there a second time, and the GPS message lost.
TEST(RinexUblox, RoverEpochAmongTheMessagesOfAnRtcm3EpochEndsIt)
{
    REQUIRE_TESTDATA();
    const struct {
        const char *rover, *base;
        bool sbf;
        int64_t weekStart; // of the rover's GPS week, which dates the base's epochs
    } cases[] = {{"pygnssutils/pygpsdata_testobsnavdata.log", "pygnssutils/pygpsdata-rtcm3.log", false,
                  logs::utc_ms(2026, 4, 12, 0, 0)},
                 {"sbfparser/log_0000.sbf", "gnss-converters/javad.rtcm", true, logs::utc_ms(2025, 3, 30, 0, 0)}};
    for (const auto &c : cases) {
        std::vector<std::vector<uint8_t>> rover;
        const std::vector<uint8_t> roverLog = testdata::read(c.rover);
        for (const std::vector<uint8_t> &f : c.sbf ? logs::sbf_frames(roverLog) : logs::ubx_frames(roverLog))
            if ((c.sbf ? ((f[4] | f[5] << 8) & 0x1FFF) == 4027 : f[2] == 0x02 && f[3] == 0x15) && rover.size() < 2)
                rover.push_back(f);
        ASSERT_EQ(rover.size(), 2u) << c.rover;
        // The base's first epoch that opens with its GPS message, up to the
        // message whose multiple message bit is clear, and the satellites
        // their masks name.
        std::vector<std::vector<uint8_t>> epoch;
        std::set<std::string> expected;
        int64_t tow = -1;
        for (const std::vector<uint8_t> &f : logs::rtcm3_frames(testdata::read(c.base))) {
            const int number = (int)logs::rtcm3_bits(f, 0, 12);
            if (number == 1077 && epoch.empty()) tow = (int64_t)logs::rtcm3_bits(f, 24, 30);
            if (tow < 0 || !(number == 1077 || number == 1087 || number == 1097 || number == 1127)) continue;
            epoch.push_back(f);
            const char letter = number == 1077 ? 'G' : number == 1087 ? 'R' : number == 1097 ? 'E' : 'C';
            for (int s = 0; s < 64; s++)
                if (logs::rtcm3_bits(f, 73 + s, 1)) {
                    char name[8];
                    snprintf(name, sizeof name, "%c%02d", letter, s + 1);
                    expected.insert(name);
                }
            if (!logs::rtcm3_bits(f, 54, 1)) break;
        }
        ASSERT_EQ(epoch.size(), 4u) << c.base;
        // Rover, the GPS message, rover (a second later), the other three.
        const std::vector<uint8_t> log = fb::cat({rover[0], epoch[0], rover[1], epoch[1], epoch[2], epoch[3]});
        QTemporaryDir dir;
        Rinex3xx w;
        const rnx3::File f = rnx3::read(feed::convertLog(w, dir.path() + "/out.00O", log).toStdString());
        int records = 0;
        for (const rnx3::Epoch &e : f.epochs) {
            if (logs::utc_ms(e.year, e.month, e.day, e.hour, e.minute, e.second) != c.weekStart + tow) continue;
            records++;
            // Every GPS satellite of the mask (a satellite of another system
            // may have no usable cell: BDS C02 of the JAVAD log).
            std::set<std::string> gps;
            for (const std::string &sat : expected)
                if (sat[0] == 'G') gps.insert(sat);
            for (const auto &sat : e.sats) {
                EXPECT_TRUE(expected.count(sat.first)) << c.rover << " " << sat.first;
                gps.erase(sat.first);
            }
            EXPECT_TRUE(gps.empty()) << c.rover << ": " << gps.size() << " GPS satellites missing";
        }
        EXPECT_EQ(records, 1) << c.rover;
    }
}

// Epoch records of two input formats in one file are counted with each
// change of format (the task names them): a Septentrio log and then a JAVAD
// station's RTCM 3 stream of later times, dated by the Septentrio's week.
TEST(RinexUblox, EpochsOfTwoFormatsInOneFileAreCounted)
{
    REQUIRE_TESTDATA();
    std::vector<uint8_t> log = testdata::read("sbfparser/log_0000.sbf");
    const std::vector<uint8_t> rtcm = testdata::read("gnss-converters/javad.rtcm");
    ASSERT_FALSE(log.empty() || rtcm.empty());
    for (int joined = 0; joined < 2; joined++) {
        if (joined) log.insert(log.end(), rtcm.begin(), rtcm.end());
        QTemporaryDir dir;
        Rinex3xx w;
        const rnx3::File f = rnx3::read(feed::convertLog(w, dir.path() + "/out.00O", log).toStdString());
        ASSERT_GT(f.epochs.size(), joined ? 30u : 11u);
        QStringList names;
        for (const Rinexxxx::EpochSource &s : w.writtenSources) names << Rinexxxx::sourceName(s);
        EXPECT_EQ(w.sourceChanges, joined);
        EXPECT_EQ(names.join(", ").toStdString(), joined ? "Septentrio SBF, RTCM 3 station 0" : "Septentrio SBF");
    }
}

// A reference station's position (1005) is the header's only when the file
// holds that station's observations: alone, the u-blox base's log gives its
// own; after a rover's RAWX epochs, whose time its epochs do not reach (so
// none of them is written), it gives none (the rover's log has no orbits).
TEST(RinexUblox, StationPositionOnlyWithItsObservations)
{
    REQUIRE_TESTDATA();
    const std::vector<uint8_t> base = testdata::read("pygnssutils/pygpsdata-rtcm3.log");
    double arp[3] = {0, 0, 0};
    for (const std::vector<uint8_t> &f : logs::rtcm3_frames(base))
        if (logs::rtcm3_bits(f, 0, 12) == 1005) {
            for (int k = 0; k < 3; k++) {
                int64_t v = (int64_t)logs::rtcm3_bits(f, 34 + 40 * k, 38);
                if (v & (1LL << 37)) v -= 1LL << 38;
                arp[k] = v * 0.0001;
            }
            break;
        }
    ASSERT_NE(arp[0], 0.0);
    std::vector<uint8_t> joined = testdata::read("pyubx2/pygpsdata-RXMRAWX.log");
    ASSERT_FALSE(joined.empty());
    joined.insert(joined.end(), base.begin(), base.end());
    const struct {
        const std::vector<uint8_t> &log;
        int64_t timeStart;
        bool station;
    } cases[] = {{base, logs::utc_ms(2024, 8, 11, 0, 0), true}, {joined, 0, false}};
    for (const auto &c : cases) {
        QTemporaryDir dir;
        Rinex3xx w;
        const rnx3::File f =
            rnx3::read(feed::convertLog(w, dir.path() + "/out.00O", c.log, c.timeStart).toStdString());
        ASSERT_FALSE(f.epochs.empty());
        const std::string &line = f.first.at("APPROX POSITION XYZ");
        for (int k = 0; k < 3; k++)
            EXPECT_NEAR(atof(line.substr(14 * k, 14).c_str()), c.station ? arp[k] : 0.0, 0.001) << c.station;
    }
}
