// The station position computed from a log's own pseudoranges and broadcast
// records, against the position the same log announces (RTCM 1005/1006,
// NovAtel BESTPOS): the writers hide the announced position from themselves,
// so they compute one and write it in "APPROX POSITION XYZ".
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>

#include "log_frames.h"
#include "orbit.h"
#include "spp.h"
#include "rinex2xx.h"
#include "rinex2_reader.h"
#include "rinex3_reader.h"
#include "rinex3xx.h"
#include "testdata.h"

namespace {

// A writer that keeps the position its input announces to itself (as the
// truth) and otherwise converts as usual; it also keeps the broadcast
// records and the first civil pseudoranges of the last written epoch.
template <typename Base> class Probe : public Base
{
public:
    double truth[3] = {0, 0, 0};
    qc::EphemerisStore store;
    std::vector<qc::Pseudorange> ranges;
    double epoch = 0; // GPS seconds

    qint64 inputRtcm3(const uint8_t *data, int length) override { return hide(Base::inputRtcm3(data, length)); }
    qint64 inputNovatel(const uint8_t *data, int length) override { return hide(Base::inputNovatel(data, length)); }
    qint64 writeNGps(const gps_nav_t &nav) override { return store.add(nav, 'G'), Base::writeNGps(nav); }
    qint64 writeNBds(const bd2_nav_t &nav) override { return store.add(nav), Base::writeNBds(nav); }
    qint64 writeNGalInav(const galileo_inav_t &nav) override { return store.add(nav), Base::writeNGalInav(nav); }
    qint64 writeNGlo(const glonass_nav_t &nav) override { return store.add(nav), Base::writeNGlo(nav); }
    qint64 writeRange() override
    {
        std::vector<Rinexxxx::Obs> obs;
        this->range.collect(obs);
        ranges.clear();
        for (const Rinexxxx::Obs &o : obs) {
            const std::string code = o.signal->code;
            const char letter = GNSS_SYSTEM[o.signal->system].letter;
            if (o.pseudorangeValid && (code == (letter == 'C' ? "2I" : "1C")) && strchr("GREC", letter))
                ranges.push_back({letter, o.prn, o.pseudorange});
        }
        epoch = this->range.week * 604800.0 + this->range.ms / 1000.0;
        return Base::writeRange();
    }

private:
    qint64 hide(qint64 n)
    {
        if (this->approxBlh[0] != 0 || this->approxBlh[1] != 0) {
            if (truth[0] == 0)
                Rinexxxx::setXyzByBlh(truth, this->approxBlh[0], this->approxBlh[1], this->approxBlh[2]);
            this->approxBlh[0] = this->approxBlh[1] = this->approxBlh[2] = 0;
        }
        return n;
    }
};

template <typename W> void convert(W &w, const std::vector<uint8_t> &log, const QString &dir)
{
    static uint8_t buffer[16384];
    gnssparser_s parser;
    ASSERT_TRUE(w.setFileName(dir + "/out", 2));
    ASSERT_GT(w.open(0), 0);
    w.gnssparserInit(&parser, buffer, sizeof buffer);
    for (size_t i = 0; i < log.size(); i += 65536)
        gnssparser_input(&parser, log.data() + i, (uint32_t)std::min<size_t>(65536, log.size() - i));
    w.close();
}

std::string observationFile(const Rinexxxx &w)
{
    for (const QString &f : w.writtenFiles())
        if (f.endsWith("O") || f.endsWith("_MO.rnx")) return f.toStdString();
    return std::string();
}

double norm(const double a[3]) { return std::hypot(a[0], a[1], a[2]); }
double distance(const double a[3], const double b[3]) { return std::hypot(a[0] - b[0], a[1] - b[1], a[2] - b[2]); }

// "APPROX POSITION XYZ" of a header and whether the next line says it was computed.
void headerPosition(const std::vector<std::string> &header, double xyz[3], bool *computed)
{
    *computed = false;
    for (size_t i = 0; i < header.size(); i++)
        if (header[i].compare(60, 19, "APPROX POSITION XYZ") == 0) {
            for (int k = 0; k < 3; k++) xyz[k] = atof(header[i].substr(14 * k, 14).c_str());
            *computed = i + 1 < header.size() &&
                        header[i + 1] == std::string("APPROX POSITION XYZ computed from the broadcast orbits") +
                                             std::string(6, ' ') + "COMMENT" + std::string(13, ' ');
        }
}

} // namespace

// Logs with a station position and broadcast records: RTCM 3 MSM4 of five
// systems, RTCM 3 MSM7, and a NovAtel log with BESTPOS and GPSEPHEM.
TEST(ComputedPosition, WithinTenMetresOfTheStationsOwnPosition)
{
    REQUIRE_TESTDATA();
    for (const char *name : {"gnss-converters/week-rollover-STR24.rtcm3", "gnss-converters/20190120_1956_rover.023",
                             "novatel-gavlab/OnceEachAgain.GPS"}) {
        SCOPED_TRACE(name);
        const std::vector<uint8_t> log = testdata::read(name);
        ASSERT_FALSE(log.empty());
        QTemporaryDir dir3, dir2;
        Probe<Rinex3xx> w3;
        convert(w3, log, dir3.path());
        ASSERT_NE(w3.truth[0], 0.0) << "the log announces no position";
        double xyz[3], spread = 0;
        int solutions = 0;
        ASSERT_TRUE(w3.computedPosition(xyz, &spread, &solutions));
        EXPECT_LT(distance(xyz, w3.truth), 10.0);
        EXPECT_LT(spread, 10.0);

        // Both writers put it in the header, with the comment; the marker
        // lies the antenna height below the antenna.
        Probe<Rinex2xx> w2;
        ASSERT_TRUE(w2.setAntennaHEN(2.0, 0, 0));
        convert(w2, log, dir2.path());
        const std::vector<std::string> files[2] = {rnx3::read(observationFile(w3)).header,
                                                   rnx2::read(observationFile(w2)).header};
        double written[3], antenna[3];
        bool computed;
        for (const std::vector<std::string> &header : files) {
            headerPosition(header, written, &computed);
            EXPECT_EQ(logs::fields(computed, distance(written, w3.truth) < 10.0), logs::fields(true, true));
        }
        // `written` is now the RINEX 2 marker.
        ASSERT_TRUE(w2.computedPosition(antenna));
        EXPECT_NEAR(distance(antenna, written), 2.0, 1e-3);
        EXPECT_NEAR(norm(antenna) - norm(written), 2.0, 0.02);

        // Each satellite's range from the station, after the satellite's
        // clock and the receiver's clock of its system (the median offset),
        // is its pseudorange to within the atmosphere's delays: this checks
        // every system's orbits on real records.
        const double c = 299792458.0;
        std::map<char, std::vector<double>> offsets;
        for (const qc::Pseudorange &r : w3.ranges) {
            qc::SatelliteState s;
            if (!w3.store.state(r.system, r.prn, w3.epoch - r.range / c, &s)) continue;
            const double sagnac = 7.2921151467e-5 * (s.position[0] * w3.truth[1] - s.position[1] * w3.truth[0]) / c;
            offsets[r.system].push_back(r.range - distance(s.position, w3.truth) - sagnac + c * s.clock);
        }
        ASSERT_GE(offsets['G'].size(), 4u);
        for (auto &system : offsets) {
            std::vector<double> sorted = system.second;
            std::nth_element(sorted.begin(), sorted.begin() + sorted.size() / 2, sorted.end());
            for (double o : system.second) EXPECT_LT(std::fabs(o - sorted[sorted.size() / 2]), 200.0) << system.first;
        }
    }
}

// A RINEX 2 header with the longest type list has no line left for the
// comment: the position stays 0, 0, 0 rather than unmarked, and the header
// is written.
TEST(ComputedPosition, Rinex2HeaderWithoutRoomKeepsZeros)
{
    REQUIRE_TESTDATA();
    QTemporaryDir dir;
    Rinex2xx w;
    int n = 0;
    for (int sys = 0; sys < GNSS_SYSTEM_AMOUNT; sys++)
        for (uint32_t i = 0; i < GNSS_SYSTEM[sys].signal_amount; i++)
            for (int kind = 0; kind < 4 && n < Rinex2xx::MAX_TYPES; kind++, n++)
                ASSERT_TRUE(w.addSignal(QByteArray(1, 'A' + n / 26) + char('A' + n % 26), &GNSS_SYSTEM[sys].signal[i], kind));
    ASSERT_EQ(n, +Rinex2xx::MAX_TYPES);
    convert(w, testdata::read("gpsd/rtcm3.2.log"), dir.path());
    double xyz[3];
    ASSERT_TRUE(w.computedPosition(xyz)); // a position exists
    bool computed;
    headerPosition(rnx2::read(observationFile(w)).header, xyz, &computed);
    EXPECT_EQ(logs::fields(computed, xyz[0], w.outputErrors().isEmpty()), logs::fields(false, 0.0, true));
}
