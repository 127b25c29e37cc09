// When things happen: every navigation record and every epoch on its true
// date, whatever the source says its week is and whichever systems a stream
// carries. Expected dates are worked out by hand from the GPS week count
// (week 0 began 1980-01-06) and from the dates of the real logs.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <stdlib.h>

#include <string>
#include <vector>

#include "gnssparser.h"
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
