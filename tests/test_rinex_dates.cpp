// When things happen: every navigation record and every epoch on its true
// date, whatever the source says its week is and whichever systems a stream
// carries. Expected dates are worked out by hand from the GPS week count
// (week 0 began 1980-01-06) and from the dates of the real logs.
#include <gtest/gtest.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <ctype.h>
#include <stdio.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "gnssparser.h"
#include "hemisphere_encoder.h"
#include "novatel_encoder.h"
#include "rinex2xx.h"
#include "rinex3_reader.h"
#include "rinex3xx.h"
#include "rtcm3_encoder.h"
#include "testdata.h"
#include "util.h"
#include "writer_feed.h"

namespace {

// One navigation record as text: its first line and its orbit lines.
struct Record {
    std::string first;
    std::vector<std::string> lines;
};

std::vector<Record> records(const QString &path)
{
    std::vector<Record> out;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        ADD_FAILURE() << "no navigation file " << path.toStdString();
        return out;
    }
    bool body = false;
    while (!f.atEnd()) {
        std::string l = f.readLine().toStdString();
        while (!l.empty() && (l.back() == '\n' || l.back() == '\r')) l.pop_back();
        if (!body) {
            body = l.find("END OF HEADER") != std::string::npos;
            continue;
        }
        if (l.empty()) continue;
        if (l[0] != ' ')
            out.push_back({l, {}});
        else if (!out.empty())
            out.back().lines.push_back(l);
    }
    return out;
}

// Field k (0 to 3) of an orbit line: RINEX 3 indents 4, RINEX 2 indents 3.
double orbit(const std::string &line, int k, int indent, bool *blank = nullptr)
{
    std::string f = line.size() > (size_t)(indent + 19 * k) ? line.substr((size_t)(indent + 19 * k), 19) : "";
    for (char &c : f)
        if (c == 'D') c = 'E';
    if (blank) *blank = f.find_first_not_of(' ') == std::string::npos;
    return strtod(f.c_str(), nullptr);
}

template <typename Writer> struct Feed : feed::Run<Writer> {
    QTemporaryDir dir;
    void start(int version)
    {
        ASSERT_TRUE(this->w.setVersion(version));
        feed::Run<Writer>::start(dir.path() + "/in.00O", 2);
    }
    QString close()
    {
        QString nav = this->w.navigationFinalName();
        this->w.close();
        return nav;
    }
};

// GPSEPHEM and QZSSEPHEMERIS share their first 224 bytes; values at the
// offsets of the receiver maker's log reference.
std::vector<uint8_t> novatelGpsLike(uint16_t id, int prn, uint16_t headerWeek, uint32_t headerMs, int toeWeek,
                                    double toe, double tow)
{
    novenc::Header h;
    h.id = id;
    h.week = headerWeek;
    h.ms = headerMs;
    novenc::Body b(id == 1336 ? 228 : 224);
    b.u32(0, (uint32_t)prn);
    b.f64(4, tow);
    b.u32(16, 33);  // IODE of subframe 2
    b.u32(20, 33);  // and of subframe 3
    b.u32(24, (uint32_t)toeWeek);
    b.u32(28, headerWeek); // the week of the subframe, not read
    b.f64(32, toe);
    b.f64(40, 26560000.0 * 1.0004); // A, m
    b.u32(160, 33); // IODC
    b.f64(164, toe); // toc
    b.f64(216, 4.0); // URA variance
    return novenc::frame(h, b.b);
}

} // namespace

// A NovAtel ephemeris logged on Saturday 598000 s of week 1761 for toe 0 of
// week 1762 (the log's own week field): the clock epoch is 2013-10-13
// 00:00:00, the start of week 1762, and the record's week is 1762.
TEST(RinexDates, NovatelEphemerisKeepsItsToeWeek)
{
    const uint32_t saturday = 598000000;
    {
        Feed<Rinex3xx> r;
        r.start(304);
        r.in(novatelGpsLike(7, 1, 1761, saturday, 1762, 0, 598000));
        r.in(novatelGpsLike(1336, 2, 1761, saturday, 1762, 0, 598000));
        // BD2EPHEM carries its toe week on the GPS count at the same place.
        novenc::Header h;
        h.id = 1047;
        h.week = 1761;
        h.ms = saturday;
        novenc::Body b(232);
        b.u32(0, 3);
        b.f64(4, 598000 - 14);
        b.u32(24, 1762);
        b.f64(40, 27906100.0);
        r.in(novenc::frame(h, b.b));
        std::vector<Record> recs = records(r.close());
        ASSERT_EQ(recs.size(), 3u);
        EXPECT_EQ(recs[0].first.substr(0, 23), "G01 2013 10 13 00 00 00");
        EXPECT_EQ(orbit(recs[0].lines[4], 2, 4), 1762);
        // Sent 6800 s before the start of toe's week.
        EXPECT_EQ(orbit(recs[0].lines[6], 0, 4), -6800);
        EXPECT_EQ(recs[1].first.substr(0, 23), "J02 2013 10 13 00 00 00");
        EXPECT_EQ(orbit(recs[1].lines[4], 2, 4), 1762);
        EXPECT_EQ(recs[2].first.substr(0, 23), "C03 2013 10 13 00 00 00");
        EXPECT_EQ(orbit(recs[2].lines[4], 2, 4), 1762 - 1356);
    }
    {
        Feed<Rinex2xx> r;
        r.start(211);
        r.in(novatelGpsLike(7, 1, 1761, saturday, 1762, 0, 598000));
        std::vector<Record> recs = records(r.close());
        ASSERT_EQ(recs.size(), 1u);
        EXPECT_EQ(recs[0].first.substr(0, 22), "01 13 10 13 00 00 00.0");
        EXPECT_EQ(orbit(recs[0].lines[4], 2, 3), 1762);
    }
}

// The GPS fit interval, from the 1019 fit interval flag and the IODC by the
// table of IS-GPS-200 (20.3.4.4): flag 0 is 4 hours; flag 1 with IODC 240 to
// 247 is 8 hours, 248 to 255 is 14, 504 to 510 is 50, any other 6.
TEST(RinexDates, GpsFitIntervalFromFlagAndIodc)
{
    const struct {
        int fit, iodc;
        double hours;
    } cases[] = {{0, 245, 4}, {1, 245, 8}, {1, 250, 14}, {1, 505, 50}, {1, 100, 6}};
    for (int version : {304, 211}) {
        SCOPED_TRACE(version);
        std::vector<Record> recs;
        auto feedAll = [&](auto &r) {
            int sat = 1;
            for (const auto &c : cases) {
                rtcm3enc::Gps1019 e = {};
                e.sat = sat++;
                e.week = 2290 % 1024;
                e.iode = c.iodc & 255;
                e.iodc = c.iodc;
                e.fit = c.fit;
                e.toc = e.toe = 345600 / 16;
                e.sqrt_a = (int64_t)(5153.6 * (1 << 19));
                r.in(rtcm3enc::encode_1019(e));
            }
            recs = records(r.close());
        };
        if (version == 304) {
            Feed<Rinex3xx> r;
            r.w.setRtcm3Epoch(util_gps_time_to_epoch(2290, 0));
            r.start(version);
            feedAll(r);
        } else {
            Feed<Rinex2xx> r;
            r.w.setRtcm3Epoch(util_gps_time_to_epoch(2290, 0));
            r.start(version);
            feedAll(r);
        }
        ASSERT_EQ(recs.size(), 5u);
        for (size_t i = 0; i < recs.size(); i++)
            EXPECT_EQ(orbit(recs[i].lines[6], 1, version > 300 ? 4 : 3), cases[i].hours) << recs[i].first;
    }
}

namespace {

// Seconds since 1970 of a calendar time (UTC arithmetic, as RINEX prints GPS
// time on the calendar).
qint64 calendar(int y, int mo, int d, int h, int mi, double s)
{
    QDateTime t(QDate(y, mo, d), QTime(h, mi, 0), Qt::UTC);
    return t.toSecsSinceEpoch() + (qint64)s;
}

// A conversion as the task runs it on an RTCM 3 file: a prescan pass, then
// the conversion pass.
template <typename Writer> void convert(Feed<Writer> &r, const std::vector<uint8_t> &log, int version)
{
    r.start(version);
    r.w.setPrescan(true);
    r.in(log);
    r.w.setPrescan(false);
    r.w.gnssparserInit(&r.parser, r.buffer, sizeof r.buffer);
    r.in(log);
}

// Time of the first epoch record of an observation file, 0 when none.
qint64 firstEpoch(const QString &path, bool rinex3)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return 0;
    bool body = false;
    while (!f.atEnd()) {
        QByteArray l = f.readLine();
        if (!body) {
            body = l.contains("END OF HEADER");
            continue;
        }
        int y, mo, d, h, mi;
        double s;
        if (rinex3 && sscanf(l.constData(), "> %d %d %d %d %d %lf", &y, &mo, &d, &h, &mi, &s) == 6)
            return calendar(y, mo, d, h, mi, s);
        if (!rinex3 && l.size() > 30 && l[0] == ' ' && l[3] == ' ' &&
            sscanf(l.constData(), " %d %d %d %d %d %lf", &y, &mo, &d, &h, &mi, &s) == 6)
            return calendar(y < 80 ? 2000 + y : 1900 + y, mo, d, h, mi, s);
    }
    return 0;
}

} // namespace

// Without "Time Start", every log whose date is known from where it was
// recorded comes out on that date: its first epoch within the time span the
// log's notes give, its navigation records within three days of it (a week
// wrong is four days or more), and nothing after the current date.
TEST(RinexDates, RealLogsComeOutOnTheirDates)
{
    REQUIRE_TESTDATA();
    const struct {
        const char *file;
        int y, mo, d, h, mi, s; // start of the span (GPS time) in the notes
        int minutes;            // its length
        bool epochs;
        int navDays = 3;
    } logs[] = {
        // TOW 604784 to 240 around the week that begins as 2012-10-14 does.
        {"rtklib/GMSD7_20121014.rtcm3", 2012, 10, 13, 23, 59, 44, 5, true},
        {"rtklib/oemv_200911218.gps", 2009, 12, 18, 23, 7, 0, 1, true},
        // Only GPS ephemerides are converted from this log.
        {"rtklib/cres_20080526.bin", 2008, 5, 26, 6, 1, 34, 6, false},
        {"pyrtcm/pygpsdata-NTRIP-USCL00CHL0.log", 2024, 3, 13, 16, 35, 45, 1, true},
        {"gpsd/rtcm3.2.log", 2016, 4, 6, 20, 38, 18, 1, true},
        {"gnss-converters/week-rollover-STR24.rtcm3", 2018, 7, 14, 23, 50, 10, 19, true},
        {"gnss-converters/week-rollover-STR17.rtcm3", 2018, 7, 14, 23, 50, 18, 19, true},
        {"gnss-converters/dropped-packets-STR24.rtcm3", 2018, 7, 12, 23, 37, 29, 22, true},
        {"gnss-converters/20190120_1956_rover.023", 2019, 1, 20, 21, 1, 20, 3, true},
        {"gnss-converters/sept.rtcm", 2018, 1, 2, 19, 58, 5, 1, true},
        {"novatel-gavlab/test1_rcvr1.dat", 2013, 10, 9, 16, 13, 30, 10, true},
        {"novatel-gavlab/test2_rcvr2.dat", 2013, 10, 9, 16, 4, 0, 9, true},
        // Holds an ephemeris of the unhealthy G24 from week 1684 (toe
        // 2012-04-16 22:00), as the receiver's own ASCII log of the session
        // says too.
        {"novatel-gavlab/OnceEachAgain.GPS", 2012, 5, 10, 18, 0, 0, 165, true, 25},
        {"novatel-gavlab/PropakWithGlonass.GPS", 2012, 5, 10, 21, 46, 36, 2, false},
    };
    const qint64 today = calendar(2026, 1, 1, 0, 0, 0);
    for (const auto &log : logs) {
        SCOPED_TRACE(log.file);
        const std::vector<uint8_t> bytes = testdata::read(log.file);
        ASSERT_FALSE(bytes.empty());
        const qint64 expected = calendar(log.y, log.mo, log.d, log.h, log.mi, log.s);
        size_t n = 0;
        auto check = [&](auto &r, int version) {
            SCOPED_TRACE(version);
            r.w.setClock(today * 1000);
            convert(r, bytes, version);
            const QString obs = r.w.observationFinalName();
            const QString nav = r.close();
            const qint64 first = firstEpoch(obs, version > 300);
            if (log.epochs) {
                EXPECT_GE(first, expected - 60) << QDateTime::fromSecsSinceEpoch(first, Qt::UTC).toString().toStdString();
                EXPECT_LE(first, expected + 60 * (log.minutes + 1));
            }
            if (version < 300) return;
            // The mixed navigation file: its records near the log's date.
            for (const Record &rec : records(nav)) {
                int y, mo, d, h, mi, s;
                ASSERT_EQ(sscanf(rec.first.c_str() + 3, " %d %d %d %d %d %d", &y, &mo, &d, &h, &mi, &s), 6) << rec.first;
                const qint64 t = calendar(y, mo, d, h, mi, s);
                EXPECT_LT(std::llabs(t - expected), log.navDays * 86400) << rec.first;
                EXPECT_LT(t, today) << rec.first;
                n++;
            }
        };
        {
            Feed<Rinex3xx> r;
            check(r, 304);
        }
        {
            Feed<Rinex2xx> r;
            check(r, 211);
        }
        EXPECT_GT(n, 0u);
    }
}

namespace {

// The RTCM 3 frames of a log whose message numbers pass `keep`, in order.
template <typename Keep> std::vector<uint8_t> rtcm3Cut(const std::vector<uint8_t> &log, Keep keep)
{
    std::vector<uint8_t> out;
    for (size_t i = 0; i + 6 <= log.size();) {
        const size_t n = (size_t)(((log[i + 1] & 3) << 8) | log[i + 2]) + 6;
        if (log[i] != 0xD3 || i + n > log.size() ||
            util_crc24_rtcm3(0, log.data() + i, (uint32_t)n - 3) !=
                (uint32_t)((log[i + n - 3] << 16) | (log[i + n - 2] << 8) | log[i + n - 1])) {
            i++;
            continue;
        }
        const int message = (log[i + 3] << 4) | (log[i + 4] >> 4);
        if (keep(message)) out.insert(out.end(), log.begin() + (long)i, log.begin() + (long)(i + n));
        i += n;
    }
    return out;
}

} // namespace

// A GPS-only RTCM 3 stream that starts on Saturday evening: its 1019 says the
// week of transmission, 2290, while toc already lies in the next week. The
// epochs at Saturday 19:53:20 (590000 s) belong to week 2290: 2023-12-02.
TEST(RinexDates, GpsOnlyStreamStartingOnSaturdayEvening)
{
    rtcm3enc::Gps1019 e = {};
    e.sat = 7;
    e.week = 2290 % 1024;
    e.iode = e.iodc = 9;
    e.toc = e.toe = 3600 / 16;
    e.sqrt_a = (int64_t)(5153.6 * (1 << 19));
    std::vector<uint8_t> log = rtcm3enc::encode_1019(e);
    for (uint32_t tow : {590000000u, 590001000u}) {
        std::vector<uint8_t> m = rtcm3enc::encode_msm(feed::msm(1077, tow, 0, 7, 70.0));
        log.insert(log.end(), m.begin(), m.end());
    }
    Feed<Rinex3xx> r;
    r.w.setClock(util_gps_time_to_epoch(2300, 0));
    convert(r, log, 304);
    QString obs = r.w.observationFinalName();
    r.close();
    EXPECT_EQ(firstEpoch(obs, true), calendar(2023, 12, 2, 19, 53, 20));

    // The same with the week-rollover-STR24 log without its Galileo and BDS
    // ephemerides: it starts on 2018-07-14 at 23:50:10.
    if (!testdata::available()) return;
    Feed<Rinex3xx> s;
    s.w.setClock(util_gps_time_to_epoch(2300, 0));
    convert(s,
            rtcm3Cut(testdata::read("gnss-converters/week-rollover-STR24.rtcm3"),
                     [](int m) { return m != 1042 && m != 1045 && m != 1046; }),
            304);
    obs = s.w.observationFinalName();
    s.close();
    const qint64 first = firstEpoch(obs, true);
    EXPECT_GE(first, calendar(2018, 7, 14, 23, 50, 10) - 60);
    EXPECT_LE(first, calendar(2018, 7, 14, 23, 50, 10) + 60);
}

// A GLONASS-only RTCM 3 stream (the 1081 to 1087 and 1020 frames of
// week-rollover-STR17, each MSM made the last of its epoch, as a receiver
// that sends nothing else would): with "Time Start" given as the day alone,
// every epoch is dated from GLONASS time and the leap seconds (18 in 2018),
// from 2018-07-14 23:50:18 to 2018-07-15 00:09:03 GPS time.
TEST(RinexDates, GlonassOnlyStreamIsDated)
{
    REQUIRE_TESTDATA();
    std::vector<uint8_t> log = rtcm3Cut(testdata::read("gnss-converters/week-rollover-STR17.rtcm3"),
                                        [](int m) { return (m >= 1081 && m <= 1087) || m == 1020; });
    // Clear the multiple message bit (bit 54 of the body) and seal each MSM
    // frame again.
    for (size_t i = 0; i + 6 <= log.size();) {
        const size_t n = (size_t)(((log[i + 1] & 3) << 8) | log[i + 2]) + 6;
        if ((log[i + 3] << 4 | log[i + 4] >> 4) != 1020) {
            log[i + 3 + 6] &= (uint8_t)~0x02;
            const uint32_t crc = util_crc24_rtcm3(0, log.data() + i, (uint32_t)n - 3);
            log[i + n - 3] = (uint8_t)(crc >> 16);
            log[i + n - 2] = (uint8_t)(crc >> 8);
            log[i + n - 1] = (uint8_t)crc;
        }
        i += n;
    }
    auto check = [&](auto &r, int version) {
        SCOPED_TRACE(version);
        r.w.setRtcm3Epoch(calendar(2018, 7, 14, 0, 0, 0) * 1000);
        convert(r, log, version);
        const QString obs = r.w.observationFinalName();
        r.close();
        EXPECT_EQ(firstEpoch(obs, version > 300), calendar(2018, 7, 14, 23, 50, 18));
        // The last epoch record, and the count of records.
        QFile f(obs);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        int count = 0;
        QByteArray last;
        bool body = false;
        while (!f.atEnd()) {
            QByteArray l = f.readLine();
            if (!body) {
                body = l.contains("END OF HEADER");
                continue;
            }
            const bool rinex2Epoch = l.size() > 30 && l[0] == ' ' && isdigit((unsigned char)l[1]) &&
                                     isdigit((unsigned char)l[2]) && l[3] == ' ' && l[18] == '.';
            if (version > 300 ? l.startsWith(">") : rinex2Epoch) {
                count++;
                last = l;
            }
        }
        // The log holds 1126 GLONASS MSM7, one a second.
        EXPECT_EQ(count, 1126);
        EXPECT_TRUE(last.startsWith(version > 300 ? "> 2018 07 15 00 09  3.0" : " 18 07 15 00 09  3.0")) << last.constData();
    };
    {
        Feed<Rinex3xx> r;
        check(r, 304);
    }
    {
        Feed<Rinex2xx> r;
        check(r, 211);
    }
}

// A 10-bit GPS week one ahead of the week the conversion knows: the
// ephemeris for Sunday 02:00 of week 2290 (2023-11-26) sent as 2290 - 2048,
// with "Time Start" on the Saturday before (week 2289), and after an epoch
// written in the last second of week 2289.
TEST(RinexDates, TenBitWeekAheadOfTheReference)
{
    rtcm3enc::Gps1019 e = {};
    e.sat = 9;
    e.week = 2290 - 2048;
    e.iode = e.iodc = 5;
    e.toc = e.toe = 7200 / 16;
    e.sqrt_a = (int64_t)(5153.6 * (1 << 19));
    for (bool afterEpoch : {false, true}) {
        SCOPED_TRACE(afterEpoch);
        Feed<Rinex3xx> r;
        r.w.setRtcm3Epoch(util_gps_time_to_epoch(2289, afterEpoch ? 604790000 : 518400000));
        r.start(304);
        if (afterEpoch) r.in(rtcm3enc::encode_msm(feed::msm(1077, 604799000, 0, 9, 70.0)));
        r.in(rtcm3enc::encode_1019(e));
        std::vector<Record> recs = records(r.close());
        ASSERT_EQ(recs.size(), 1u);
        EXPECT_EQ(recs[0].first.substr(0, 23), "G09 2023 11 26 02 00 00");
        EXPECT_EQ(orbit(recs[0].lines[4], 2, 4), 2290);
    }
}

// Leap seconds as each source gives them, in the observation header:
// GPS and GLONASS MSM times of the same epoch (GLONASS runs on UTC), NovAtel
// IONUTC (dtLS), NovAtel BD2IONUTC (BDS dtLS, 14 s less) and Hemisphere
// message 94 (dtLS).
TEST(RinexDates, LeapSecondsFromEachSource)
{
    // Thursday 00:00:00 GPS of week 2290 is 02:59:42 on Thursday in Moscow.
    std::vector<uint8_t> msm = rtcm3enc::encode_msm(feed::msm(1077, feed::kTow, 1, 5, 70.0));
    std::vector<uint8_t> glo = rtcm3enc::encode_msm(feed::msm(1087, (4u << 27) | 10782000u, 0, 5, 70.0));
    msm.insert(msm.end(), glo.begin(), glo.end());
    auto ionutc = [](uint16_t id, int dtls) {
        novenc::Header h;
        h.id = id;
        h.week = 2290;
        novenc::Body b(108);
        b.u32(96, (uint32_t)dtls);
        b.u32(100, (uint32_t)dtls);
        return novenc::frame(h, b.b);
    };
    hemienc::Data d94(96);
    d94.u16(98, 17);
    const struct {
        const char *source;
        std::vector<uint8_t> bytes;
        int leap;
    } sources[] = {{"RTCM 3 MSM", msm, 18},
                   {"IONUTC", ionutc(8, 18), 18},
                   {"BD2IONUTC", ionutc(2010, 4), 18},
                   {"Hemisphere 94", hemienc::frame(94, d94), 17}};
    for (const auto &s : sources) {
        SCOPED_TRACE(s.source);
        Feed<Rinex3xx> r;
        r.w.setRtcm3Epoch(util_gps_time_to_epoch(2290, 0));
        r.start(304);
        r.in(s.bytes);
        EXPECT_EQ(r.w.leapSeconds, s.leap);
        const QString obs = r.w.observationFinalName();
        r.close();
        rnx3::File f = rnx3::read(obs.toStdString());
        char expected[8];
        snprintf(expected, sizeof expected, "%6d", s.leap);
        EXPECT_EQ(f.first["LEAP SECONDS"].substr(0, 6), expected);
    }
}
