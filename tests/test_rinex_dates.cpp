// When things happen: every navigation record and every epoch on its true
// date, whatever the source says its week is and whichever systems a stream
// carries. Expected dates are worked out by hand from the GPS week count
// (week 0 began 1980-01-06) and from the dates of the real logs.
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "log_frames.h"
#include "gnssparser.h"
#include "hemisphere_encoder.h"
#include "novatel_encoder.h"
#include "rinex2_reader.h"
#include "rinex2xx.h"
#include "rinex3_reader.h"
#include "rinex3xx.h"
#include "rtcm3_encoder.h"
#include "frame_builders.h"
#include "le_writer.h"
#include "testdata.h"
#include "util.h"
#include "writer_feed.h"

namespace {

using rnx3::Record;

// The records of a navigation file as text: first line and orbit lines.
std::vector<Record> records(const QString &path)
{
    EXPECT_TRUE(QFile::exists(path)) << "no navigation file " << path.toStdString();
    return rnx3::records(rnx3::read(path.toStdString(), true));
}

// Field k (0 to 3) of an orbit line: RINEX 3 indents 4, RINEX 2 indents 3.
double orbit(const std::string &line, int k, int indent)
{
    return rnx2::num(line, (size_t)(indent + 19 * k), 19);
}

template <typename Writer> struct Feed : feed::Run<Writer> {
    QTemporaryDir dir;
    QString obs, nav; // the files, once closed
    void start(int version)
    {
        ASSERT_TRUE(this->w.setVersion(version));
        feed::Run<Writer>::start(dir.path() + "/in.00O", 2);
    }
    void close()
    {
        obs = this->w.observationFinalName(), nav = this->w.navigationFinalName();
        this->w.close();
    }
    // Converts a log as the task does; the observation file's name.
    QString convert(const std::vector<uint8_t> &log, int version)
    {
        EXPECT_TRUE(this->w.setVersion(version));
        return feed::convertLog(this->w, dir.path() + "/in.00O", log);
    }
};

// The navigation file beside an observation file: the mixed one of RINEX 3,
// the GPS one of RINEX 2 (or with `letter`, another system's).
QString navOf(const QString &obs, char letter = 'N') { return obs.left(obs.size() - 1) + letter; }

// Runs `check(feed, version)` with a writer of each version, by default a
// RINEX 3.04 and a RINEX 2.11 one.
template <typename Check> void eachWriter(Check check, std::initializer_list<int> versions = {304, 211})
{
    for (int version : versions) {
        SCOPED_TRACE(version);
        if (version > 300) {
            Feed<Rinex3xx> r3;
            check(r3, version);
        } else {
            Feed<Rinex2xx> r2;
            check(r2, version);
        }
    }
}

// Seconds since 1970 of a calendar time (UTC arithmetic, as RINEX prints GPS
// time on the calendar).
qint64 calendar(int y, int mo, int d, int h, int mi, double s)
{
    return logs::utc_ms(y, mo, d, h, mi, floor(s)) / 1000;
}

// Times of the epoch records (events aside) of an observation file, in file
// order, as its reader finds them.
std::vector<qint64> epochTimes(const QString &path, bool rinex3)
{
    std::vector<qint64> out;
    auto add = [&](const auto &e) {
        if (e.flag < 2 || e.flag > 5)
            out.push_back(calendar(e.year < 100 ? 2000 + e.year : e.year, e.month, e.day, e.hour, e.minute, e.second));
    };
    if (rinex3)
        for (const rnx3::Epoch &e : rnx3::read(path.toStdString()).epochs) add(e);
    else
        for (const rnx2::Epoch &e : rnx2::read(path.toStdString()).epochs) add(e);
    return out;
}

} // namespace

// The GPS fit interval from the fit interval flag and the IODC by the table
// of IS-GPS-200 (20.3.4.4): flag 0 is 4 hours; flag 1 with IODC 240 to 247 is
// 8 hours, 248 to 255 is 14, 504 to 510 is 50, any other 6. (Where the
// records carry it is checked with the other fields below.)
TEST(RinexDates, GpsFitIntervalFromFlagAndIodc)
{
    const struct {
        int fit, iodc;
        double hours;
    } cases[] = {{0, 245, 4}, {1, 245, 8}, {1, 250, 14}, {1, 505, 50}, {1, 100, 6}};
    struct Writer : Rinexxxx {
        using Rinexxxx::gpsFitIntervalHours;
    };
    for (const auto &c : cases) EXPECT_EQ(Writer::gpsFitIntervalHours(c.fit, c.iodc), c.hours) << c.iodc;
}

// Without "Time Start", every log whose date is known from where it was
// recorded comes out on that date: its epochs in order within the time span
// the log's notes give (across the week ends inside some of them), its
// navigation records within three days of it (a week wrong is four days or
// more) with the week of their own date, and nothing after the current date.
TEST(RinexDates, RealLogsComeOutOnTheirDates)
{
    REQUIRE_TESTDATA();
    const struct {
        const char *file;
        int y, mo, d, h, mi, s; // start of the span (GPS time) in the notes
        int minutes;            // its length
        bool epochs;
        int navDays = 3;
        bool gpsWeekOnly = false; // without the Galileo and BDS ephemerides
    } logs[] = {
        // TOW 604784 to 240 around the week that begins as 2012-10-14 does.
        {"rtklib/GMSD7_20121014.rtcm3", 2012, 10, 13, 23, 59, 44, 5, true},
        {"rtklib/oemv_200911218.gps", 2009, 12, 18, 23, 7, 0, 1, true},
        // Only GPS ephemerides are converted from this log.
        {"rtklib/cres_20080526.bin", 2008, 5, 26, 6, 1, 34, 6, false},
        {"pyrtcm/pygpsdata-NTRIP-USCL00CHL0.log", 2024, 3, 13, 16, 35, 45, 1, true},
        {"gpsd/rtcm3.2.log", 2016, 4, 6, 20, 38, 18, 1, true},
        {"gnss-converters/week-rollover-STR24.rtcm3", 2018, 7, 14, 23, 50, 10, 19, true},
        // GPS ephemerides alone tell the week: each 1019 says the week of
        // its transmission, Saturday, while toc already lies in the next.
        {"gnss-converters/week-rollover-STR24.rtcm3", 2018, 7, 14, 23, 50, 10, 19, true, 3, true},
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
        // Ephemerides only, all of 2018-08-03; the 1020 of R20 sends N4 = 2
        // (2002) where the other satellites send 6.
        {"gnss-converters/eph.rtcm", 2018, 8, 3, 15, 15, 0, 0, false, 1},
        // 1020 alone, no week anywhere: 90 frames say N4 6, NT 964 (tb
        // 2018-08-21 01:45 Moscow), the 4 of R08 N4 2 (2002).
        {"gnss-converters/test_glo_eph.rtcm", 2018, 8, 20, 22, 45, 18, 0, false, 1},
    };
    const qint64 today = calendar(2026, 1, 1, 0, 0, 0);
    for (const auto &log : logs) {
        SCOPED_TRACE(log.file);
        std::vector<uint8_t> bytes = testdata::read(log.file);
        ASSERT_FALSE(bytes.empty());
        if (log.gpsWeekOnly) {
            const std::vector<std::vector<uint8_t>> frames = logs::rtcm3_frames(bytes);
            bytes.clear();
            for (const std::vector<uint8_t> &f : frames) {
                const int m = (f[3] << 4) | (f[4] >> 4);
                if (m != 1042 && m != 1045 && m != 1046) bytes.insert(bytes.end(), f.begin(), f.end());
            }
        }
        const qint64 expected = calendar(log.y, log.mo, log.d, log.h, log.mi, log.s);
        size_t n = 0;
        eachWriter([&](auto &r, int version) {
            const bool r3 = version > 300;
            r.w.setClock(today * 1000);
            const QString obs = r.convert(bytes, version);
            const std::vector<qint64> times = epochTimes(obs, r3);
            EXPECT_EQ(times.empty(), !log.epochs);
            EXPECT_TRUE(std::is_sorted(times.begin(), times.end()));
            EXPECT_TRUE(times.empty() || (times.front() >= expected - 60 && times.back() <= expected + 60 * (log.minutes + 1)))
                << "epochs " << times.front() << " to " << times.back() << " s since 1970";
            // Navigation records near the log's date, GPS ones with the week
            // of that date.
            for (const Record &rec : records(navOf(obs))) {
                int y, mo, d, h, mi;
                double s;
                ASSERT_EQ(sscanf(rec.first.c_str() + (r3 ? 3 : 2), " %d %d %d %d %d %lf", &y, &mo, &d, &h, &mi, &s), 6);
                const qint64 t = calendar(r3 ? y : 2000 + y, mo, d, h, mi, s);
                EXPECT_LT(std::llabs(t - expected), log.navDays * 86400) << rec.first;
                EXPECT_LT(t, today) << rec.first;
                if (!r3 || rec.first[0] == 'G') {
                    EXPECT_EQ(orbit(rec.lines.at(4), 2, r3 ? 4 : 3), (t - 315964800) / 604800) << rec.first;
                }
                n++;
            }
        });
        EXPECT_GT(n, 0u);
    }
}

// A GLONASS-only RTCM 3 stream (the 1081 to 1087 and 1020 frames of
// week-rollover-STR17, each MSM made the last of its epoch, as a receiver
// that sends nothing else would): with "Time Start" given as the day alone,
// and without it (the day then comes from the 1020 frames, N4 6 and NT 927:
// 2018-07-15 in Moscow), every epoch is dated from GLONASS time and the leap
// seconds (18 in 2018), from 2018-07-14 23:50:18 to 2018-07-15 00:09:03 GPS
// time.
TEST(RinexDates, GlonassOnlyStreamIsDated)
{
    REQUIRE_TESTDATA();
    // Sets bits of the body from bit `at` to `value` and builds the frame
    // again around it.
    auto patch = [](std::vector<uint8_t> &f, int at, int width, int value) {
        std::vector<uint8_t> body(f.begin() + 3, f.end() - 3);
        for (int b = 0; b < width; b++) {
            const int bit = at + b, v = (value >> (width - 1 - b)) & 1;
            body[bit / 8] = (uint8_t)((body[bit / 8] & ~(0x80 >> bit % 8)) | (v << (7 - bit % 8)));
        }
        f = fb::rtcm3(body);
    };
    // Each MSM frame with its multiple message bit (bit 54 of the body)
    // cleared, or as sent (set: the other systems' messages followed), when
    // only the next epoch's time ends an epoch, the one of 0 ms of the UTC
    // day (00:00:18 GPS) too; first, a copy of the first 1020 that names
    // 2002 (N4, bits 325 to 329 of the body, 2 instead of 6): the day most
    // records agree on still holds.
    auto build = [&](bool cleared) {
        std::vector<uint8_t> log, bad;
        for (std::vector<uint8_t> f : logs::rtcm3_frames(testdata::read("gnss-converters/week-rollover-STR17.rtcm3"))) {
            const int m = (f[3] << 4) | (f[4] >> 4);
            if (m != 1020 && (m < 1081 || m > 1087)) continue;
            if (m != 1020 && cleared) patch(f, 54, 1, 0);
            if (m == 1020 && bad.empty()) {
                bad = f;
                patch(bad, 325, 5, 2);
            }
            log.insert(log.end(), f.begin(), f.end());
        }
        EXPECT_FALSE(bad.empty());
        log.insert(log.begin(), bad.begin(), bad.end());
        return log;
    };
    for (bool timeStart : {true, false})
        for (bool cleared : {true, false}) {
            SCOPED_TRACE(timeStart);
            SCOPED_TRACE(cleared);
            const std::vector<uint8_t> log = build(cleared);
            eachWriter([&](auto &r, int version) {
                if (timeStart) r.w.setRtcm3Epoch(calendar(2018, 7, 14, 0, 0, 0) * 1000);
                // The log holds 1126 GLONASS MSM7, one a second: the count of
                // epoch records, the first and the last.
                const std::vector<qint64> t = epochTimes(r.convert(log, version), version > 300);
                ASSERT_EQ(t.size(), 1126u);
                EXPECT_EQ(logs::fields(t.front(), t.back()),
                          logs::fields(calendar(2018, 7, 14, 23, 50, 18), calendar(2018, 7, 15, 0, 9, 3)));
            });
        }
}

// The leap second of 2016-12-31 23:59:60 UTC (GPS - UTC 17 s before it, 18 s
// from 2017-01-01 00:00:00 UTC, which is 18 s into GPS week 1930): G05 in 1077
// and R07 in 1087 (day 0, Moscow time = UTC + 3 h) each second from 10 s to 25
// s of the week; GLONASS tells no time for 23:59:60, so that second is left
// out. Every epoch keeps R07, and the header the count the log began with.
TEST(RinexDates, GlonassKeptAcrossALeapSecond)
{
    eachWriter([](auto &r, int version) {
        r.w.setRtcm3Epoch(util_gps_time_to_epoch(1930, 0));
        r.start(version);
        for (int t = 10000; t <= 25000; t += 1000) {
            if (t == 17000) continue;
            const int utcOfDay = (t - (t < 17000 ? 17000 : 18000) + 86400000) % 86400000;
            rtcm3enc::Msm glo = feed::msm(1087, (uint32_t)((utcOfDay + 10800000) % 86400000), 0, 7, 70.0);
            glo.sats[0].ext = 9; // channel 2
            r.in(feed::msm(1077, (uint32_t)t, 1, 5, 70.0));
            r.in(glo);
        }
        r.close();
        auto r07 = [](const auto &f) {
            std::string sats;
            for (const auto &e : f.epochs) sats += e.sats.count("R07") ? 'R' : '-';
            return sats;
        };
        if (version > 300) {
            const rnx3::File f = rnx3::read(r.obs.toStdString());
            EXPECT_EQ(logs::fields(r07(f), f.first.at("LEAP SECONDS").substr(0, 6)),
                      logs::fields("RRRRRRRRRRRRRRR", "    17"));
        } else {
            EXPECT_EQ(r07(rnx2::read(r.obs.toStdString())), "RRRRRRRRRRRRRRR");
        }
    });
}

// Leap seconds as each source gives them, in the observation header: NovAtel
// IONUTC (dtLS), NovAtel BD2IONUTC (BDS dtLS, 14 s less), NovAtel TIME (its
// UTC offset, -(dtLS + A0) with an A0 of -1.9 ns as real receivers send) and
// Hemisphere message 94 (dtLS).
TEST(RinexDates, LeapSecondsFromEachSource)
{
    auto ionutc = [](uint16_t id, int dtls) {
        novenc::Header h;
        h.id = id;
        h.week = 2290;
        novenc::Body b(108);
        b.u32(96, (uint32_t)dtls);
        b.u32(100, (uint32_t)dtls);
        return novenc::frame(h, b.b);
    };
    novenc::Header th;
    th.id = 101;
    th.week = 2290;
    novenc::Body tb(44);
    tb.f64(20, -17.9999999981);
    tb.u32(40, 1); // UTC status valid
    hemienc::Data d94(96);
    d94.u16(98, 17);
    const struct {
        const char *source;
        std::vector<uint8_t> bytes;
        int leap;
    } sources[] = {
        {"IONUTC", ionutc(8, 18), 18}, {"BD2IONUTC", ionutc(2010, 4), 18}, {"TIME", novenc::frame(th, tb.b), 18},
        {"Hemisphere 94", hemienc::frame(94, d94), 17}};
    for (const auto &s : sources) {
        SCOPED_TRACE(s.source);
        Feed<Rinex3xx> r;
        r.w.setRtcm3Epoch(util_gps_time_to_epoch(2290, 0));
        r.start(304);
        r.in(s.bytes);
        r.close();
        EXPECT_EQ(rnx3::read(r.obs.toStdString()).first["LEAP SECONDS"].substr(0, 6), "    " + std::to_string(s.leap));
    }
}

namespace {

// Navigation records whose fields all hold distinct non-zero values (one-bit
// flags 1 and 0), so that two fields written in each other's place cannot
// pass. Thursday 2023-11-30 of GPS week 2290 (BDS week 934, Galileo 1266).
gps_nav_t distinctGps()
{
    gps_nav_t n = {};
    n.tow = 345000; n.week = 2290; n.prn = 11;
    n.ura = 3; // 5.7 m
    n.health = 5; n.fit = 1; n.code_l2 = 2; n.l2p_flag = 1;
    n.iodc = 245; // with the fit flag: 8 hours
    n.iode = n.iode3 = 33; n.tgd = -5.1e-9;
    n.toc = 352800; // 02:00
    n.af0 = -1.1e-4; n.af1 = 2.2e-12; n.af2 = 3.3e-19; n.toe = 352816; n.crs = 44.4; n.delta_n = 4.5e-9;
    n.m0 = 0.66; n.cuc = 7.7e-7; n.e = 0.0088; n.cus = 9.9e-6; n.sqrt_a = 5153.6; n.cic = 1.01e-7; n.omega0 = -1.12;
    n.cis = 1.23e-8; n.i0 = 0.9634; n.crc = 245.5; n.omega = 0.567; n.omega_dot = -8.1e-9; n.idot = 1.7e-10;
    return n;
}

bd2_nav_t distinctBds()
{
    bd2_nav_t n = {};
    n.tow = 345100; n.week = 934; n.prn = 12; n.aodc = 21; n.aode = 22; n.health = 1;
    n.ura = 4; // 8.0 m
    n.tgd1 = 2.3e-9; n.tgd2 = -3.4e-9; n.toc = 352800; n.a0 = 4.5e-4; n.a1 = -5.6e-12; n.a2 = 6.7e-20;
    n.toe = 352808; n.crs = -55.5; n.delta_n = 3.9e-9; n.m0 = -0.77; n.cuc = -8.8e-7; n.e = 0.0021; n.cus = 1.9e-5;
    n.sqrt_a = 6493.4; n.cic = -2.02e-8; n.omega0 = 2.13; n.cis = 3.24e-8; n.i0 = 0.9535; n.crc = 178.5;
    n.omega = -1.46; n.omega_dot = -6.9e-9; n.idot = -2.8e-10;
    return n;
}

template <typename Nav> void distinctGalileo(Nav &n, int prn)
{
    n.tow = 345200; n.week = 1266; n.prn = (uint8_t)prn; n.iodnav = 77;
    n.sisa = 60; // 0.70 m
    n.toc = 352800; n.af0 = -7.8e-4; n.af1 = 8.9e-12; n.af2 = -9.1e-19; n.toe = 352860; n.crs = 66.6;
    n.delta_n = 2.9e-9; n.m0 = 1.88; n.cuc = 9.7e-7; n.e = 0.00031; n.cus = 1.1e-5; n.sqrt_a = 5440.6;
    n.cic = 4.04e-8; n.omega0 = -2.35; n.cis = -5.06e-8; n.i0 = 0.9736; n.crc = 144.5; n.omega = 0.789;
    n.omega_dot = -5.7e-9; n.idot = 3.6e-10; n.bgd_e5a = 1.3e-9;
}

glonass_nav_t distinctGlonass()
{
    glonass_nav_t n = {};
    // Day 1430 of the four-year interval 7 (2020 to 2023): 1096 days of
    // 2020 to 2022, then 2023-11-30, the 334th day of 2023.
    n.four_year = 7; n.nt = 1430;
    n.tb = 45900; // 12:45 Moscow, 09:45 UTC
    n.tk = 45630; // 12:40:30 Moscow
    glonass_nav_update_utc(&n);
    n.slot = 13; n.frequency_channel = -3; n.x = 12345.6; n.y = -2345.7; n.z = 21000.9; n.vx = 1.1; n.vy = -2.2;
    n.vz = 0.33; n.ax = 1.9e-9; n.ay = -2.8e-9; n.az = 3.7e-9; n.gamma = 9.1e-13; n.tau = -4.4e-5;
    n.delta_tau = 2.8e-9;
    n.bn = 4; // health bit 2
    n.en = 7; n.ft = 6; n.p = 1; n.p1 = 2; n.p2 = 1; n.p4 = 1; n.m = 2;
    return n;
}

// Expected value of field k (0 to 3) of line `line` (0 the first line, whose
// fields are the three clock terms) of the record of satellite `name`.
struct Field {
    const char *name;
    int line, k;
    double value;
};

void expectFields(const std::vector<Record> &recs, const std::vector<Field> &fields, int firstWidth, int indent)
{
    for (const Field &f : fields) {
        const Record *rec = nullptr;
        for (const Record &r : recs)
            if (r.first.compare(0, strlen(f.name), f.name) == 0) rec = &r;
        ASSERT_TRUE(rec) << f.name;
        ASSERT_LT((size_t)f.line, rec->lines.size() + 1) << f.name;
        const double v = f.line == 0 ? orbit(rec->first, f.k, firstWidth) : orbit(rec->lines[f.line - 1], f.k, indent);
        EXPECT_NEAR(v, f.value, fabs(f.value) * 1e-11) << f.name << " line " << f.line << " field " << f.k;
    }
}

// The fields both RINEX versions share for GPS, BDS and Galileo: the clock
// terms, the issue of data, then the orbit in the order of the format.
template <typename Nav>
std::vector<Field> orbitFields(const char *name, double clock0, double clock1, double clock2, double issue, const Nav &n)
{
    const double orbit[16] = {n.crs, n.delta_n, n.m0,     n.cuc, n.e,   n.cus,   n.sqrt_a,    (double)n.toe,
                              n.cic, n.omega0,  n.cis,    n.i0,  n.crc, n.omega, n.omega_dot, n.idot};
    std::vector<Field> f = {{name, 0, 0, clock0}, {name, 0, 1, clock1}, {name, 0, 2, clock2}, {name, 1, 0, issue}};
    for (int i = 0; i < 16; i++) f.push_back({name, 1 + (i + 1) / 4, (i + 1) % 4, orbit[i]});
    return f;
}

} // namespace

// Every navigation record of both writers, field by field at the places the
// RINEX documents give them.
TEST(RinexDates, NavigationFieldsInTheirPlaces)
{
    const gps_nav_t g = distinctGps();
    const bd2_nav_t c = distinctBds();
    galileo_inav_t ei = {};
    distinctGalileo(ei, 21);
    // Carried by E1-B alone: no E5b-I bit in any version.
    ei.source = 1;
    ei.bgd_e5b = -2.4e-9;
    ei.e1b_dvs = 1, ei.e1b_hs = 2, ei.e5b_hs = 3;
    galileo_fnav_t ef = {};
    distinctGalileo(ef, 22);
    ef.e5a_dvs = 1, ef.e5a_hs = 2;
    const glonass_nav_t r = distinctGlonass();

    eachWriter([&](auto &f, int version) {
        const bool r3 = version > 300;
        const char *G = r3 ? "G11" : "11", *C = r3 ? "C12" : "12", *EI = r3 ? "E21" : "21", *EF = r3 ? "E22" : "22",
                   *J = "J11", *R = r3 ? "R13" : "13";
        std::vector<Field> gps = orbitFields(G, g.af0, g.af1, g.af2, g.iode, g);
        // Line 5: codes on L2, week, L2 P flag; line 6: accuracy (m), health,
        // TGD, IODC; line 7: transmission time and fit interval (hours).
        gps.insert(gps.end(), {{G, 5, 1, 2}, {G, 5, 2, 2290}, {G, 5, 3, 1}, {G, 6, 0, 5.7}, {G, 6, 1, 5},
                               {G, 6, 2, g.tgd}, {G, 6, 3, 245}, {G, 7, 0, 345000}});
        if (version != 305) gps.push_back({G, 7, 1, 8});
        std::vector<Field> bds = orbitFields(C, c.a0, c.a1, c.a2, c.aode, c);
        bds.insert(bds.end(), {{C, 5, 2, 934}, {C, 6, 0, 8.0}, {C, 6, 1, 1}, {C, 6, 2, c.tgd1}, {C, 6, 3, c.tgd2},
                               {C, 7, 0, 345100}, {C, 7, 1, 21}});
        std::vector<Field> inav = orbitFields(EI, ei.af0, ei.af1, ei.af2, 77, ei);
        // I/NAV data sources: E1-B (bit 0) with the E5b,E1 clock (bit 9);
        // health: E1-B DVS bit 0, E1-B HS bits 1-2, E5b HS bits 7-8.
        inav.insert(inav.end(), {{EI, 5, 1, 513}, {EI, 5, 2, 2290}, {EI, 6, 0, 0.70},
                                 {EI, 6, 1, 1 + 4 + 384}, {EI, 6, 2, ei.bgd_e5a}, {EI, 6, 3, ei.bgd_e5b},
                                 {EI, 7, 0, 345200}});
        std::vector<Field> fnav = orbitFields(EF, ef.af0, ef.af1, ef.af2, 77, ef);
        // F/NAV: E5a DVS bit 3, E5a HS bits 4-5.
        fnav.insert(fnav.end(), {{EF, 5, 1, 258}, {EF, 5, 2, 2290}, {EF, 6, 0, 0.70}, {EF, 6, 1, 8 + 32},
                                 {EF, 6, 2, ef.bgd_e5a}, {EF, 7, 0, 345200}});
        // GLONASS: -tau, gamma, frame time (s of the UTC week: Thursday
        // 09:40:30 in RINEX 3; 12:40:30 - 3 h of the day in RINEX 2), then
        // position, velocity, acceleration and health, channel, age.
        std::vector<Field> glo = {{R, 0, 0, 4.4e-5}, {R, 0, 1, 9.1e-13}, {R, 0, 2, r3 ? 380430.0 : 34830.0},
                                  {R, 1, 0, r.x},    {R, 1, 1, r.vx},    {R, 1, 2, r.ax},
                                  {R, 1, 3, 1},      {R, 2, 0, r.y},     {R, 2, 1, r.vy},
                                  {R, 2, 2, r.ay},   {R, 2, 3, -3},      {R, 3, 0, r.z},
                                  {R, 3, 1, r.vz},   {R, 3, 2, r.az},    {R, 3, 3, 7}};
        // 3.05 status flags: P 1, P1 2 in bits 2-3, P2 bit 4, P4 bit 6, M 2 in
        // bits 7-8; then delta tau and the accuracy index.
        if (version == 305) glo.insert(glo.end(), {{R, 4, 0, 1 + 8 + 16 + 64 + 256}, {R, 4, 1, 2.8e-9}, {R, 4, 2, 6}});
        std::vector<Field> qzs = orbitFields(J, g.af0, g.af1, g.af2, g.iode, g);
        qzs.insert(qzs.end(), {{J, 7, 0, 345000}, {J, 7, 1, 1}});

        f.start(version);
        auto &w = f.w;
        // RINEX 2 has no QZSS record.
        const bool written[] = {w.writeNGps(g) > 0, !r3 || w.writeNQzs(g) > 0, w.writeNBds(c) > 0,
                                w.writeNGalInav(ei) > 0, w.writeNGalFnav(ef) > 0, w.writeNGlo(r) > 0};
        for (bool ok : written) ASSERT_TRUE(ok);
        // The record teaches the slot's channel to the observation header.
        EXPECT_EQ(glonass_channel_get(&w.glonassChannels, 13), -3);
        f.close();
        // RINEX 2 writes BDS, Galileo and GLONASS records to files of their own.
        std::vector<Record> recs = records(f.nav);
        for (char letter : {'C', 'L', 'G'}) {
            if (r3) break;
            const std::vector<Record> more = records(navOf(f.obs, letter));
            recs.insert(recs.end(), more.begin(), more.end());
        }
        // Clock epochs of each system on its own time: toc 02:00, GLONASS tb
        // 09:45 UTC.
        std::vector<std::string> firsts;
        for (const char *n : {G, J, C, EI, EF, R})
            if (r3 || n != J)
                firsts.push_back(std::string(n) + (r3 ? " 2023 11 30 " : " 23 11 30 ") + (n == R ? "09 45 00" : "02 00 00") +
                                 (r3 ? "" : ".0"));
        ASSERT_EQ(recs.size(), firsts.size());
        for (size_t i = 0; i < recs.size(); i++) EXPECT_EQ(recs[i].first.substr(0, firsts[i].size()), firsts[i]);
        EXPECT_EQ(recs.back().lines.size(), version == 305 ? 4u : 3u);
        for (const auto *fields : {&gps, &qzs, &bds, &inav, &fnav, &glo})
            if (r3 || fields != &qzs) expectFields(recs, *fields, r3 ? 23 : 22, r3 ? 4 : 3);
    }, {304, 305, 211});
}

// GLONASS times sent without their day (legacy 1012, and an MSM whose day of
// week is 7, unknown) wrap at Moscow midnight, 21:00 UTC: on Thursday
// 2023-11-23 (week 2289) that is GPS time 21:00:18 (18 leap seconds), TOW
// 421218 s. Across it the lock time of R07 (steady, its top value) shows no
// slip: only its first phase carries LLI bit 0. The MSM with its day (4,
// Thursday) is the control.
TEST(RinexDates, GlonassLockHoldsAcrossMoscowMidnight)
{
    const uint32_t gpsTow[] = {421216000, 421217000, 421218000, 421219000};
    const uint32_t moscowMs[] = {86398000, 86399000, 0, 1000}; // Moscow 23:59:58 to 00:00:01
    for (int kind = 0; kind < 3; kind++) {
        SCOPED_TRACE(kind); // 0 legacy, 1 MSM of unknown day, 2 MSM of day 4 then 5
        Feed<Rinex3xx> r;
        r.w.setRtcm3Epoch(util_gps_time_to_epoch(2289, 421000000));
        r.start(304);
        for (int i = 0; i < 4; i++) {
            if (kind == 0) {
                rtcm3enc::LegacySat s; // G05, then R07 on channel 2
                s.id = 5, s.lock1 = s.lock2 = 127;
                r.in(rtcm3enc::encode_legacy({1004, 0, gpsTow[i], 1, 0, 0, {s}}));
                s.id = 7, s.channel = 2;
                r.in(rtcm3enc::encode_legacy({1012, 0, moscowMs[i], 0, 0, 0, {s}}));
            } else {
                const uint32_t day = kind == 1 ? 7 : i < 2 ? 4 : 5;
                rtcm3enc::Msm glo = feed::msm(1087, day << 27 | moscowMs[i], 0, 7, 70.0);
                glo.sats[0].ext = 9; // channel 2
                r.in(feed::msm(1077, gpsTow[i], 1, 5, 70.0));
                r.in(glo);
            }
        }
        r.close();
        const rnx3::File f = rnx3::read(r.obs.toStdString());
        std::string lli;
        for (const rnx3::Epoch &e : f.epochs) lli += rnx3::obs(f, e, "R07", "L1C").lli;
        EXPECT_EQ(lli, "1   ");
    }
}

// A daily log begins at 00:00:00 GPS time, on a Sunday at the start of a GPS
// week: week-rollover-STR24 from its first epoch of Sunday 2018-07-15 (week
// 2010), or from its first ephemeris after it, with one kind of ephemeris
// each. After the epoch of 9 s the receiver still sends the 1019 of week 985
// (2009) for toc 0, broadcast on the Saturday; after that of 10 s the 1042 of
// BDS week 653 (2009), whose time, 14 s behind GPS time, is still Saturday's.
// The first epoch is 2018-07-15 00:00:00, or the one after the ephemeris.
TEST(RinexDates, LogStartingAtTheStartOfAWeek)
{
    REQUIRE_TESTDATA();
    const std::vector<std::vector<uint8_t>> frames =
        logs::rtcm3_frames(testdata::read("gnss-converters/week-rollover-STR24.rtcm3"));
    for (int keep : {1019, 1042})
        for (bool fromEphemeris : {false, true}) {
            SCOPED_TRACE(keep);
            SCOPED_TRACE(fromEphemeris);
            std::vector<uint8_t> log;
            bool newWeek = false;
            for (const std::vector<uint8_t> &f : frames) {
                const int m = (f[3] << 4) | (f[4] >> 4);
                if ((m == 1019 || m == 1020 || (m >= 1042 && m <= 1046)) && m != keep) continue;
                // GPS MSM epoch time: 30 bits from bit 24 of the body
                const uint64_t tow = m == 1074 ? logs::rtcm3_bits(f, 24, 30) : 0;
                newWeek = newWeek || (m == 1074 && tow < 60000);
                if (log.empty() && !(newWeek && m == (fromEphemeris ? keep : 1074))) continue;
                log.insert(log.end(), f.begin(), f.end());
            }
            Feed<Rinex3xx> r;
            const std::vector<qint64> t = epochTimes(r.convert(log, 304), true);
            ASSERT_FALSE(t.empty());
            EXPECT_EQ(t[0], calendar(2018, 7, 15, 0, 0, !fromEphemeris ? 0 : keep == 1019 ? 10 : 11));
        }
}

// A u-blox receiver's NAV-TIMEGPS (u-blox interface description: iTOW at 0,
// week at 8, validity bits at 11) dates the RTCM 3 epochs around it: the MSM
// of Saturday 2023-11-25 23:59:59 (TOW 604799 s of week 2289), NAV-TIMEGPS of
// the next epoch (week 2290, TOW 0), then the MSM of 00:00:00 and 00:00:01.
TEST(RinexDates, UbloxWeekAcrossTheEndOfAWeek)
{
    le::Writer nav(16);
    nav.u16(8, 2290);
    nav.u8(11, 3); // TOW and week valid
    const std::vector<uint8_t> log = fb::cat(
        {rtcm3enc::encode_msm(feed::msm(1077, 604799000, 0, 5, 70.0)), fb::ublox(0x01, 0x20, nav.b),
         rtcm3enc::encode_msm(feed::msm(1077, 0, 0, 5, 70.0)), rtcm3enc::encode_msm(feed::msm(1077, 1000, 0, 5, 70.0))});
    Feed<Rinex3xx> r;
    EXPECT_EQ(epochTimes(r.convert(log, 304), true),
              (std::vector<qint64>{calendar(2023, 11, 25, 23, 59, 59), calendar(2023, 11, 26, 0, 0, 0),
                                   calendar(2023, 11, 26, 0, 0, 1)}));
}

// Ephemerides whose toc opens the next week while toe closes this one, sent
// on Saturday 2023-11-25 at 22:00 (TOW 597600 s of week 2289): toc 0 of week
// 2290, toe 8 to 60 s before it. The clock epoch is 2023-11-26 00:00:00; the
// week and the transmission time go with toe: GPS 2289, BDS 933 (2289 -
// 1356), Galileo 2289 on the GPS count, sent at 597600. Whether the source
// gave the week of the transmission (RTCM 3) or of toe (NovAtel).
TEST(RinexDates, TocAndToeOnEitherSideOfTheEndOfAWeek)
{
    for (bool weekOfToe : {false, true})
        eachWriter([&](auto &r, int version) {
            SCOPED_TRACE(weekOfToe);
            const bool r3 = version > 300;
            gps_nav_t g = distinctGps();
            g.week = 2289, g.tow = 597600, g.toc = 0, g.toe = 604784, g.week_of_toe = weekOfToe;
            bd2_nav_t c = distinctBds();
            c.week = 933, c.tow = 597600, c.toc = 0, c.toe = 604792, c.week_of_toe = weekOfToe;
            galileo_inav_t e = {};
            distinctGalileo(e, 21);
            e.week = 1265, e.tow = 597600, e.toc = 0, e.toe = 604740, e.week_of_toe = weekOfToe;
            r.start(version);
            ASSERT_TRUE(r.w.writeNGps(g) > 0 && r.w.writeNBds(c) > 0 && r.w.writeNGalInav(e) > 0);
            r.close();
            const struct {
                const char *name;
                char letter; // the RINEX 2 file
                int week;
            } expected[] = {{"11", 'N', 2289}, {"12", 'C', 933}, {"21", 'L', 2289}};
            for (int i = 0; i < 3; i++) {
                const std::vector<Record> recs = records(r3 ? r.nav : navOf(r.obs, expected[i].letter));
                ASSERT_EQ(recs.size(), r3 ? 3u : 1u);
                const Record &rec = recs[r3 ? i : 0];
                const std::string first = r3 ? std::string("GCE").substr(i, 1) + expected[i].name + " 2023 11 26 00 00 00"
                                             : std::string(expected[i].name) + " 23 11 26 00 00 00.0";
                EXPECT_EQ(logs::fields(rec.first.substr(0, first.size()), orbit(rec.lines[4], 2, r3 ? 4 : 3),
                                       orbit(rec.lines[6], 0, r3 ? 4 : 3)),
                          logs::fields(first, expected[i].week, 597600));
            }
        });
}

// A Hemisphere epoch at 604799.9996 s of week 2289, a hair below the week's
// end, is the start of week 2290, 2023-11-26 00:00:00: a "$PPK" sample line
// naming week 2290 and TOW 0 tags it (PPK Only writes no other epoch).
TEST(RinexDates, HemisphereEpochRoundedIntoTheNextWeek)
{
    hemienc::Bin16 m;
    m.tow = 604799.9996;
    m.week = 2289;
    m.channel[0].satellite = 5;
    m.channel[0].snr_count = 400;
    m.channel[0].range_count = (uint64_t)22000000 * 256;
    Feed<Rinex3xx> r;
    ASSERT_TRUE(r.w.setMode(2));
    r.start(304);
    r.in(feed::nmea("PPK,MARKER-BEGIN,1,2,x,SITE1,0001,a,b,1.5,c,d,e,-4467074.3577,2683011.9038,-3667008.2845"));
    r.in(m.build());
    r.in(feed::nmea("PPK,MARKER-SAMPLE,1,2,1,2290,0.000"));
    r.close();
    EXPECT_EQ(epochTimes(r.obs, true), std::vector<qint64>{calendar(2023, 11, 26, 0, 0, 0)});
}

// switch-legacy-msm-legacy-msm.rtcm splices several stations' logs. At one
// seam a 1004 of TOW 308955 s (13:49:15, its flag promising more messages) is
// followed by another station's 1084 of Moscow time of day 60549 s: 13:49:09
// UTC, 13:49:27 GPS with the 18 leap seconds, the time of the 1094 after it.
// Its GLONASS satellites belong to 13:49:27, not to the GPS epoch still open.
TEST(RinexDates, SplicedLogsLendNoObservationsAcrossTheSeam)
{
    REQUIRE_TESTDATA();
    Feed<Rinex3xx> r;
    r.w.setRtcm3Epoch(util_gps_time_to_epoch(2100, 0));
    const rnx3::File f =
        rnx3::read(r.convert(testdata::read("gnss-converters/switch-legacy-msm-legacy-msm.rtcm"), 304).toStdString());
    std::map<int, std::string> letters; // second of 13:49 -> the systems of its epoch
    for (const rnx3::Epoch &e : f.epochs)
        if (e.hour == 13 && e.minute == 49 && (e.second == 15 || e.second == 27))
            for (const auto &sat : e.sats)
                if (letters[(int)e.second].find(sat.first[0]) == std::string::npos) letters[(int)e.second] += sat.first[0];
    EXPECT_EQ(letters, (std::map<int, std::string>{{15, "G"}, {27, "CEJR"}}));
}
