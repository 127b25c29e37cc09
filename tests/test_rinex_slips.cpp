// Cycle slips in real logs: every jump of the geometry-free combination
// lambda1*L1 - lambda2*L2 between two epochs of a satellite must carry a
// loss-of-lock indicator (LLI bit 0) on one of its two phases, in RINEX 3
// and in RINEX 2.11 alike. The ionosphere moves that combination by
// centimetres per second; a jump of more than a metre is a slip.
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <math.h>
#include <stdlib.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "frame_builders.h"
#include "log_frames.h"
#include "novatel_encoder.h"
#include "rinex2_reader.h"
#include "rinex2xx.h"
#include "rinex3_reader.h"
#include "rinex3xx.h"
#include "testdata.h"
#include "util.h"
#include "writer_feed.h"

namespace {

const double kC = 299792458.0;

// Epoch lines and dates in UTC.
[[maybe_unused]] const bool utcZone = (setenv("TZ", "UTC", 1), tzset(), true);

// LLI bit 0: loss of lock.
bool lost(const rnx2::Value &v) { return v.lli >= '0' && v.lli <= '9' && ((v.lli - '0') & 1); }

// Carrier frequency in Hz of a band of a system, from the systems' interface
// documents (QZSS shares the GPS bands); GLONASS FDMA bands 1 and 2 add the
// satellite's channel k times 562.5 and 437.5 kHz. 0 when unknown.
double carrier(char system, char band, int k)
{
    static const std::map<std::string, double> mhz = {
        {"G1", 1575.42},  {"G2", 1227.60},   {"G5", 1176.45},  {"G6", 1278.75},   {"R1", 1602},
        {"R2", 1246},     {"R3", 1202.025},  {"E1", 1575.42},  {"E5", 1176.45},   {"E7", 1207.14},
        {"E8", 1191.795}, {"E6", 1278.75},   {"C1", 1575.42},  {"C2", 1561.098},  {"C5", 1176.45},
        {"C7", 1207.14},  {"C8", 1191.795},  {"C6", 1268.52},  {"S1", 1575.42},   {"S5", 1176.45}};
    const auto f = mhz.find({system == 'J' ? 'G' : system, band});
    if (f == mhz.end()) return 0;
    if (system != 'R' || band == '3') return f->second * 1e6;
    return k < -7 || k > 6 ? 0 : (f->second + k * (band == '1' ? 0.5625 : 0.4375)) * 1e6;
}

// One phase of one epoch: the type's band and the value with its LLI bit 0.
struct Phase {
    std::string type; // "L1C" or "L1"
    char band;
    double cycles;
    bool lost;
};

// Walks epochs in order: for every satellite and every pair of its phases on
// different bands, compares the geometry-free combination with the last
// epoch that had both phases; counts the jumps and the unflagged ones, and
// keeps the first of those for the failure message.
struct JumpCounter {
    std::map<std::string, double> last; // satellite + pair -> metres
    int jumps = 0, unflagged = 0;
    std::string first;
    void epoch(const std::string &when, const std::string &sat, const std::vector<Phase> &phases,
               const std::map<int, int> &channels)
    {
        const auto ch = channels.find(atoi(sat.c_str() + 1));
        const int k = ch == channels.end() ? 99 : ch->second;
        for (size_t a = 0; a < phases.size(); a++)
            for (size_t b = a + 1; b < phases.size(); b++) {
                const Phase &p = phases[a], &q = phases[b];
                const double fp = carrier(sat[0], p.band, k), fq = carrier(sat[0], q.band, k);
                if (p.band == q.band || fp == 0 || fq == 0) continue;
                const double gf = kC / fp * p.cycles - kC / fq * q.cycles;
                const std::string key = sat + p.type + q.type;
                auto it = last.find(key);
                if (it != last.end() && fabs(gf - it->second) > 1.0) {
                    jumps++;
                    if (!p.lost && !q.lost && unflagged++ == 0)
                        first = when + " " + sat + " " + p.type + "-" + q.type + " " + std::to_string(gf - it->second);
                }
                last[key] = gf;
            }
    }
};

// The phases of a satellite's record: type, band, value and LLI bit 0.
// RINEX 2.11 carries BDS B1I as L1 and B2I as L2.
template <typename Value>
std::vector<Phase> phasesOf(const std::vector<std::string> &types, const std::vector<Value> &values, bool bds2)
{
    std::vector<Phase> out;
    for (size_t t = 0; t < types.size() && t < values.size(); t++) {
        const Value &v = values[t];
        if (types[t][0] != 'L' || !v.present || v.value == 0) continue;
        const char band = types[t][1], b = bds2 ? (band == '1' ? '2' : band == '2' ? '7' : band) : band;
        out.push_back({types[t], b, v.value, lost(v)});
    }
    return out;
}

// `log` converted as the task does (by `writer` when given) and read back.
rnx3::File converted(const std::vector<uint8_t> &log, qint64 timeStartMs = 0, Rinex3xx *writer = nullptr)
{
    QTemporaryDir d;
    Rinex3xx own;
    Rinex3xx &w = writer ? *writer : own;
    return rnx3::read(feed::convertLog(w, d.path() + "/out.00O", log, timeStartMs).toStdString());
}

// The same in RINEX 2.11.
rnx2::File converted211(const std::vector<uint8_t> &log, qint64 timeStartMs = 0)
{
    QTemporaryDir d;
    Rinex2xx w;
    EXPECT_TRUE(w.setVersion(211));
    return rnx2::read(feed::convertLog(w, d.path() + "/out.00O", log, timeStartMs).toStdString());
}

// The LLI column of G05 L1C, one character per epoch.
std::string lliOfG05L1(const rnx3::File &f)
{
    std::string lli;
    for (const auto &e : f.epochs) lli += rnx3::obs(f, e, "G05", "L1C").lli;
    return lli;
}

// The rows' expected LLI, one character per epoch.
template <typename Rows> std::string expectedLli(const Rows &rows)
{
    std::string lli;
    for (const auto &r : rows) lli += r.lli;
    return lli;
}

// LLI bit 0 of the phases of one epoch: (flagged, phases).
std::pair<int, int> phaseFlags(const rnx3::File &f, const rnx3::Epoch &e)
{
    std::pair<int, int> out;
    for (const auto &sat : e.sats)
        for (size_t i = 0; i < sat.second.size(); i++)
            if (f.types.at(sat.first[0])[i][0] == 'L' && sat.second[i].present) {
                out.first += lost(sat.second[i]);
                out.second++;
            }
    return out;
}

} // namespace

TEST(RinexSlips, EveryGeometryFreeJumpCarriesLossOfLock)
{
    REQUIRE_TESTDATA();
    // Logs without a full week of their own get one from "Time Start".
    const qint64 timeStart = util_gps_time_to_epoch(2100, 0);
    const char *logs[] = {
        "gnss-converters/week-rollover-STR24.rtcm3", "gnss-converters/week-rollover-STR17.rtcm3",
        "gnss-converters/dropped-packets-STR24.rtcm3", "gnss-converters/20190120_1956_rover.023",
        "gnss-converters/sept.rtcm", "gnss-converters/javad.rtcm", "gnss-converters/msm7.rtcm",
        "gnss-converters/trimble.rtcm", "gnss-converters/missing-gps.rtcm", "gnss-converters/jenoba-jrr32m.rtcm3",
        "gnss-converters/piksi-5Hz.rtcm3", "gnss-converters/switch-legacy-msm-legacy-msm.rtcm",
        "gnss-converters/mixed-msm-legacy.rtcm", "gpsd/rtcm3.2.log", "gpsd/ublox-zed-f9t-rtcm3.log",
        "pygnssutils/pygpsdata-rtcm3.log", "rtklib/GMSD7_20121014.rtcm3", "novatel-gavlab/test1_rcvr1.dat",
        "novatel-gavlab/test1_rcvr2.dat", "novatel-gavlab/test2_rcvr1.dat", "novatel-gavlab/test2_rcvr2.dat",
        "novatel-gavlab/OnceEachAgain.GPS", "rtklib/oemv_200911218.gps"};
    int jumps3 = 0, jumps2 = 0;
    for (const char *log : logs) {
        SCOPED_TRACE(log);
        const std::vector<uint8_t> data = testdata::read(log);
        ASSERT_FALSE(data.empty());
        const rnx3::File f3 = converted(data, timeStart);
        const rnx2::File f2 = converted211(data, timeStart);
        // The GLONASS channels of the RINEX 3 header serve both files.
        std::map<int, int> channels;
        for (const std::string &l : f3.header)
            for (size_t i = 4; rnx3::label(l) == "GLONASS SLOT / FRQ #" && i + 7 <= 60; i += 7)
                if (l[i] == 'R') channels[atoi(l.substr(i + 1, 2).c_str())] = atoi(l.substr(i + 4, 3).c_str());
        JumpCounter c3, c2;
        for (const rnx3::Epoch &e : f3.epochs)
            for (const auto &sat : e.sats)
                c3.epoch(e.line.substr(2, 27), sat.first, phasesOf(f3.types.at(sat.first[0]), sat.second, false), channels);
        for (const rnx2::Epoch &e : f2.epochs)
            for (const auto &sat : e.sats)
                c2.epoch(e.lines[0].substr(1, 25), sat.first, phasesOf(f2.types, sat.second, sat.first[0] == 'C'), channels);
        EXPECT_EQ(c3.unflagged, 0) << "first: " << c3.first;
        EXPECT_EQ(c2.unflagged, 0) << "first: " << c2.first;
        jumps3 += c3.jumps;
        jumps2 += c2.jumps;
    }
    // The logs hold slips to find.
    EXPECT_TRUE(jumps3 > 0 && jumps2 > 0) << jumps3 << " " << jumps2;
}

// An MSM4 lock time indicator at its top (15: 524.288 s or more, RTCM
// 10403.3 DF402) vouches for no longer than that: after a gap of the whole
// stream longer than 524.288 s the lock may have restarted and grown past it.
// Per epoch: seconds on, indicator, the LLI expected.
TEST(RinexSlips, TopLockTimeAcrossAGapLongerThanItsValue)
{
    const struct {
        int second, indicator;
        char lli;
    } rows[] = {{0, 15, '1'}, {1, 15, ' '}, {301, 15, ' '}, {901, 15, '1'}, {902, 15, ' '}};
    std::vector<uint8_t> log;
    for (const auto &r : rows) {
        rtcm3enc::Msm m = feed::msm(1074, feed::kTow + 1000u * (uint32_t)r.second, 0, 5, 70.0);
        m.sats[0].cells[0].lock = (unsigned)r.indicator;
        log = fb::cat({log, rtcm3enc::encode_msm(m)});
    }
    EXPECT_EQ(lliOfG05L1(converted(log, util_gps_time_to_epoch(2290, feed::kTow))), expectedLli(rows));
}

// A NovAtel range log reports GPS 5 L1 twice per epoch (two channels on one
// signal); the second report's values are written. When its lock restarts
// (0.5 s after a 1 s gap) while the first channel holds on, its phase is not
// continuous with the last epoch's. Per epoch: lock times, the LLI expected.
TEST(RinexSlips, ASecondReportOfASignalThatRestartedItsLock)
{
    const struct {
        float first, second;
        char lli;
    } rows[] = {{100, 100, '1'}, {101, 101, ' '}, {102, 0.5f, '1'}, {103, 1.5f, ' '}};
    std::vector<uint8_t> log;
    for (size_t i = 0; i < sizeof rows / sizeof rows[0]; i++) {
        novenc::RangeRecord a = novenc::gps_l1(5, 21e6 + 100.0 * (double)i), b = a;
        a.locktime = rows[i].first, b.locktime = rows[i].second;
        log = fb::cat({log, novenc::range_log(2290, 345600000u + 1000u * (uint32_t)i, {a, b})});
    }
    EXPECT_EQ(lliOfG05L1(converted(log)), expectedLli(rows));
}

// A log with a gap of exactly one week: the second report of GPS 5 L1 at the
// same time of week is a week on, not the same epoch. A lock time grown by 1 s
// over that week is a restarted lock; one grown by the weeks is continuous.
// The first gap, of four weeks (2,419,200 s, more milliseconds than an int
// holds), leaves the header's interval to the 1 s of the other epochs.
// Per epoch: week, second, lock time, the LLI expected.
TEST(RinexSlips, AGapOfWholeWeeksIsNotTheSameEpoch)
{
    const struct {
        uint16_t week;
        uint32_t second;
        float lock;
        char lli;
    } rows[] = {{2290, 0, 100, '1'}, {2294, 0, 100 + 4 * 604800, ' '}, {2294, 1, 101 + 4 * 604800, ' '}, {2295, 1, 102, '1'}};
    std::vector<uint8_t> log;
    for (const auto &r : rows) {
        novenc::RangeRecord a = novenc::gps_l1(5, 21e6);
        a.locktime = r.lock;
        log = fb::cat({log, novenc::range_log(r.week, 345600000u + 1000u * r.second, {a})});
    }
    const rnx3::File f = converted(log);
    EXPECT_EQ(logs::fields(lliOfG05L1(f), f.first.at("INTERVAL").substr(0, 10)),
              logs::fields(expectedLli(rows), "     1.000"));
}

// Two receivers' streams of the same minutes send the GLONASS day of week as
// unknown (7) until 2018-07-15 00:00:00 GPS and as Sunday from then on. Their
// MSM lock-time indicators stay as they were across that epoch (MSM4 15,
// i.e. 524 s or more; MSM7 647 and 630, hours) but for one signal, whose
// indicator falls from 15 to 0: R18 L1P of the first stream. So that one
// phase alone is flagged there, and RINEX 2.11 keeps the epoch's phases.
TEST(RinexSlips, GlonassDayOfWeekBecomingKnownKeepsTheLocks)
{
    REQUIRE_TESTDATA();
    const std::pair<const char *, std::string> logs[] = {{"gnss-converters/week-rollover-STR24.rtcm3", "R18 L1P "},
                                                         {"gnss-converters/week-rollover-STR17.rtcm3", ""}};
    for (const auto &log : logs) {
        SCOPED_TRACE(log.first);
        const std::vector<uint8_t> data = testdata::read(log.first);
        const rnx3::File f3 = converted(data);
        const rnx2::File f2 = converted211(data);
        int phases3 = 0, phases2 = 0;
        std::string flagged;
        for (const rnx3::Epoch &e : f3.epochs)
            if (e.day == 15 && e.hour == 0 && e.minute == 0 && e.second == 0)
                for (const auto &sat : e.sats)
                    for (const Phase &p : phasesOf(f3.types.at(sat.first[0]), sat.second, false))
                        if (sat.first[0] == 'R') {
                            phases3++;
                            if (p.lost) flagged += sat.first + " " + p.type + " ";
                        }
        for (const rnx2::Epoch &e : f2.epochs)
            if (e.day == 15 && e.hour == 0 && e.minute == 0 && e.second == 0)
                for (const auto &sat : e.sats)
                    if (sat.first[0] == 'R') phases2 += int(phasesOf(f2.types, sat.second, false).size());
        EXPECT_EQ(flagged, log.second);
        EXPECT_GT(phases3, 30);
        EXPECT_GT(phases2, 15);
    }
}

// A stream that switches between reference stations (four receivers in this
// log) carries another receiver's phases after each switch: whatever their
// lock times say, none continues a phase written before. At the first epoch
// after each switch, found from the station ids (bits 12-23) and epoch times
// (bits 24-53) of the log's own observation messages timed in GPS time (GPS
// 1004 and MSM, Galileo and QZSS MSM), every phase carries LLI bit 0. A log
// whose receiver gives its MSM and legacy messages different ids (0 and 278)
// is no switch: its second epoch keeps the locks of most of its phases.
TEST(RinexSlips, PhasesAfterAChangeOfStationAreFlagged)
{
    REQUIRE_TESTDATA();
    const int64_t week = util_gps_time_to_epoch(2100, 0);
    // (flagged, phases) per epoch of `data` converted, keyed by GPS ms of
    // week ("Time Start" picks the week within half a week of it).
    auto flags = [&](const std::vector<uint8_t> &data) {
        const rnx3::File f = converted(data, week);
        std::map<int64_t, std::pair<int, int>> out;
        for (const rnx3::Epoch &e : f.epochs) {
            const int64_t ms = ((logs::utc_ms(e.year, e.month, e.day, e.hour, e.minute, e.second) - week) % 604800000 +
                                604800000) % 604800000;
            const std::pair<int, int> epoch = phaseFlags(f, e);
            out[ms].first += epoch.first, out[ms].second += epoch.second;
        }
        return out;
    };

    const std::vector<uint8_t> data = testdata::read("gnss-converters/switch-legacy-msm-legacy-msm.rtcm");
    std::vector<int64_t> firstAfterSwitch; // GPS ms of week
    int station = -1;
    bool switched = false;
    for (const std::vector<uint8_t> &f : logs::rtcm3_frames(data)) {
        auto bits = [&](int at, int n) { return (int64_t)logs::rtcm3_bits(f, at, n); };
        const int64_t number = bits(0, 12);
        const bool gpsTime = number == 1004 || (number >= 1071 && number <= 1077) ||
                             (number >= 1091 && number <= 1097) || (number >= 1111 && number <= 1117);
        if (!gpsTime && !(number >= 1009 && number <= 1012) && !(number >= 1081 && number <= 1127)) continue;
        if (station >= 0 && bits(12, 12) != station) switched = true;
        station = (int)bits(12, 12);
        if (gpsTime && switched) {
            firstAfterSwitch.push_back(bits(24, 30));
            switched = false;
        }
    }
    ASSERT_EQ(firstAfterSwitch.size(), 3u); // stations 175, 1014, 59, 0 in turn
    const auto switchFlags = flags(data);
    for (int64_t ms : firstAfterSwitch) {
        ASSERT_TRUE(switchFlags.count(ms)) << ms;
        EXPECT_EQ(switchFlags.at(ms).first, switchFlags.at(ms).second) << ms;
    }

    // The u-blox receiver's own MSM (id 0) and a Leica base's legacy
    // messages (id 278) at the same times: no change of station, and the
    // receiver's phases go on unflagged.
    const std::vector<uint8_t> twoIds = testdata::read("gpsd/ublox-f9p-rtcm.log");
    const auto steady = flags(twoIds);
    ASSERT_EQ(steady.size(), 2u);
    EXPECT_GT(steady.rbegin()->second.second, 20);
    EXPECT_LT(steady.rbegin()->second.first * 10, steady.rbegin()->second.second);
}

namespace {

// A log's frames in groups with their GPS time in ms (unwrapped over the log
// from `week`): each RTCM 3 epoch with the messages before it, up to its
// message whose multiple message (or synchronous) bit is clear, dated by its
// GPS MSM or 1004; each NovAtel log by its header.
std::vector<std::pair<int64_t, std::vector<uint8_t>>> timedGroups(const std::vector<uint8_t> &log, int week)
{
    std::vector<std::pair<int64_t, std::vector<uint8_t>>> out;
    for (const std::vector<uint8_t> &f : logs::novatel_frames(log))
        out.push_back({(int64_t)(f[14] | f[15] << 8) * 604800000 + (f[16] | f[17] << 8 | f[18] << 16 | f[19] << 24), f});
    if (!out.empty()) return out;
    std::vector<uint8_t> group;
    int64_t tow = -1, base = (int64_t)week * 604800000, last = -1;
    for (const std::vector<uint8_t> &f : logs::rtcm3_frames(log)) {
        group.insert(group.end(), f.begin(), f.end());
        const int n = (int)logs::rtcm3_bits(f, 0, 12);
        const bool observation = (n >= 1001 && n <= 1012) || (n >= 1071 && n <= 1127);
        if (n == 1004 || n == 1074 || n == 1077) tow = (int64_t)logs::rtcm3_bits(f, 24, 30);
        if (!observation || logs::rtcm3_bits(f, n >= 1009 && n <= 1012 ? 51 : 54, 1) || tow < 0) continue;
        if (last >= 0 && tow < last - 302400000) base += 604800000;
        out.push_back({base + tow, group});
        group.clear();
        last = tow;
        tow = -1;
    }
    return out;
}

} // namespace

// Two receivers at the same times in one log (two stations under one id, two
// NovAtel receivers, a u-blox receiver's own MSM and a Leica base's legacy
// messages): at every time of the first one's epochs the file holds exactly
// what the first one's log alone gives (no satellite, signal or value of the
// other merged in), and the other's epochs of those times are counted.
TEST(RinexSlips, AnotherReceiversEpochOfTheSameTimeIsNotMerged)
{
    REQUIRE_TESTDATA();
    struct Case {
        std::vector<uint8_t> first, mixed;
    };
    std::vector<Case> cases;
    // Interleaved by time, the first log's group first at equal times.
    auto interleave = [](const char *a, const char *b, int week) {
        auto ga = timedGroups(testdata::read(a), week), gb = timedGroups(testdata::read(b), week);
        Case c;
        size_t j = 0;
        for (const auto &g : ga) {
            for (; j < gb.size() && gb[j].first < g.first; j++) c.mixed.insert(c.mixed.end(), gb[j].second.begin(), gb[j].second.end());
            c.mixed.insert(c.mixed.end(), g.second.begin(), g.second.end());
            c.first.insert(c.first.end(), g.second.begin(), g.second.end());
        }
        for (; j < gb.size(); j++) c.mixed.insert(c.mixed.end(), gb[j].second.begin(), gb[j].second.end());
        return c;
    };
    cases.push_back(interleave("gnss-converters/week-rollover-STR24.rtcm3", "gnss-converters/week-rollover-STR17.rtcm3", 2009));
    cases.push_back(interleave("novatel-gavlab/test1_rcvr1.dat", "novatel-gavlab/test1_rcvr2.dat", 0));
    // The u-blox log as it is, and without the base's legacy messages.
    Case f9p;
    f9p.mixed = testdata::read("gpsd/ublox-f9p-rtcm.log");
    f9p.first = f9p.mixed;
    for (const std::vector<uint8_t> &f : logs::rtcm3_frames(f9p.mixed)) {
        const int n = (int)logs::rtcm3_bits(f, 0, 12);
        if (n < 1001 || n > 1012) continue;
        auto at = std::search(f9p.first.begin(), f9p.first.end(), f.begin(), f.end());
        ASSERT_NE(at, f9p.first.end());
        f9p.first.erase(at, at + (long)f.size());
    }
    cases.push_back(f9p);

    for (size_t i = 0; i < cases.size(); i++) {
        Rinex3xx alone, both;
        const rnx3::File a = converted(cases[i].first, 0, &alone), m = converted(cases[i].mixed, 0, &both);
        ASSERT_GT(a.epochs.size(), 1u) << i;
        EXPECT_EQ(alone.otherReceiverEpochs, 0) << i;
        EXPECT_GT(both.otherReceiverEpochs, 0) << i;
        std::map<int64_t, const rnx3::Epoch *> mixed;
        for (const rnx3::Epoch &e : m.epochs)
            mixed[logs::utc_ms(e.year, e.month, e.day, e.hour, e.minute, e.second)] = &e;
        int compared = 0;
        for (const rnx3::Epoch &e : a.epochs) {
            const auto it = mixed.find(logs::utc_ms(e.year, e.month, e.day, e.hour, e.minute, e.second));
            ASSERT_NE(it, mixed.end()) << i;
            ASSERT_EQ(it->second->sats.size(), e.sats.size()) << i << " " << e.line;
            for (const auto &sat : it->second->sats) {
                ASSERT_TRUE(e.sats.count(sat.first)) << i << " " << e.line << sat.first;
                for (const std::string &type : m.types.at(sat.first[0])) {
                    const rnx2::Value &x = rnx3::obs(a, e, sat.first, type), &y = rnx3::obs(m, *it->second, sat.first, type);
                    ASSERT_EQ(logs::fields(x.present, x.value), logs::fields(y.present, y.value))
                        << i << " " << e.line << sat.first << " " << type;
                    compared++;
                }
            }
        }
        EXPECT_GT(compared, 100) << i;
    }
}

// Two stations at the same times whose messages arrive in turns (the u-blox
// receiver's own MSM, id 0, first at the first time; the Leica base's legacy
// messages, id 278, moved first at the second): each time keeps the epoch
// that came first, so the file's station changes, which is counted and
// flags every phase of that epoch, instead of passing the base's phases off
// as the receiver's.
TEST(RinexSlips, StationsTakingTurnsAtTheSameTimesAreChanges)
{
    REQUIRE_TESTDATA();
    const std::vector<uint8_t> data = testdata::read("gpsd/ublox-f9p-rtcm.log");
    // The log's RTCM 3 frames, and each one's place in the log.
    std::vector<std::pair<size_t, std::vector<uint8_t>>> frames;
    size_t from = 0;
    for (const std::vector<uint8_t> &f : logs::rtcm3_frames(data)) {
        const size_t at = (size_t)(std::search(data.begin() + (long)from, data.end(), f.begin(), f.end()) - data.begin());
        frames.push_back({at, f});
        from = at + f.size();
    }
    // The second time's MSM 1077 and its legacy 1004 and 1012.
    size_t msm = 0, legacy[2] = {0, 0};
    int seen1077 = 0, seen1004 = 0;
    for (size_t i = 0; i < frames.size(); i++) {
        const int n = (int)logs::rtcm3_bits(frames[i].second, 0, 12);
        if (n == 1077 && ++seen1077 == 2) msm = i;
        if (n == 1004 && ++seen1004 == 2) legacy[0] = i, legacy[1] = i + 1;
    }
    ASSERT_TRUE(msm > 0 && legacy[0] > msm && logs::rtcm3_bits(frames[legacy[1]].second, 0, 12) == 1012);
    // Everything up to the 1077, the two legacy messages, then the rest
    // without them.
    std::vector<uint8_t> log(data.begin(), data.begin() + (long)frames[msm].first);
    for (size_t k : legacy) log.insert(log.end(), frames[k].second.begin(), frames[k].second.end());
    for (size_t i = frames[msm].first; i < data.size(); i++) {
        const bool moved = (i >= frames[legacy[0]].first && i < frames[legacy[0]].first + frames[legacy[0]].second.size()) ||
                           (i >= frames[legacy[1]].first && i < frames[legacy[1]].first + frames[legacy[1]].second.size());
        if (!moved) log.push_back(data[i]);
    }
    ASSERT_EQ(log.size(), data.size());
    Rinex3xx w;
    const rnx3::File f = converted(log, 0, &w);
    ASSERT_EQ(f.epochs.size(), 2u);
    EXPECT_EQ(logs::fields(w.rtcm3StationChanges, w.otherReceiverEpochs), logs::fields(1, 2));
    const std::pair<int, int> flags = phaseFlags(f, f.epochs[1]);
    EXPECT_GT(flags.second, 20);
    EXPECT_EQ(flags.first, flags.second);
}
