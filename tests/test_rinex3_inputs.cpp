// The RINEX 3 writer fed by each input format through the framer: a long
// synthetic RTCM 3 stream across a GPS week end, Hemisphere observation
// pages, and NovAtel range logs with "$PPK" marker lines. The files are read
// back with the independent reader and compared with what the inputs carried.
#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include <math.h>
#include <stdlib.h>
#include <time.h>

#include <map>
#include <string>
#include <vector>

#include "log_frames.h"
#include "../tools/rtcm3_stream.h"
#include "gnssparser.h"
#include "hemisphere_encoder.h"
#include "novatel_encoder.h"
#include "rinex3_reader.h"
#include "writer_feed.h"
#include "rinex3xx.h"

namespace {

// A writer fed through its framer; close() gives the observation file read
// back, its format checked.
struct Conversion : feed::Run<Rinex3xx> {
    QString navigation;
    void open(const QString &dir) { start(dir + "/in.00O"); }
    rnx3::File close()
    {
        const QString observation = w.observationFinalName();
        navigation = w.navigationFinalName();
        w.close();
        EXPECT_TRUE(w.outputErrors().isEmpty());
        rnx3::File f = rnx3::read(observation.toStdString());
        for (const std::string &e : f.errors) ADD_FAILURE() << e;
        return f;
    }
};

// Calendar of a GPS time in ms since 1970 (the GPS scale has no leap
// seconds, so the C library's UTC calendar serves).
struct tm calendar(int64_t gpsMs)
{
    time_t t = (time_t)(gpsMs / 1000);
    struct tm c;
    gmtime_r(&t, &c);
    return c;
}

void expectEpochAt(const rnx3::Epoch &e, int64_t gpsMs)
{
    struct tm c = calendar(gpsMs);
    EXPECT_EQ(e.year, c.tm_year + 1900) << e.line;
    EXPECT_EQ(e.month, c.tm_mon + 1) << e.line;
    EXPECT_EQ(e.day, c.tm_mday) << e.line;
    EXPECT_EQ(e.hour, c.tm_hour) << e.line;
    EXPECT_EQ(e.minute, c.tm_min) << e.line;
    EXPECT_NEAR(e.second, c.tm_sec + (gpsMs % 1000) / 1000.0, 1e-9) << e.line;
    EXPECT_EQ(e.flag, 0) << e.line;
}

int64_t gpsMsOf(int week, int64_t ms)
{
    return 315964800000LL + week * 604800000LL + ms;
}

using feed::nmea;

} // namespace

// ---- RTCM 3 -------------------------------------------------------------------------------

// RINEX 3.04 phase shifts (quarter cycles) of the codes the stream carries:
// Galileo E1 C +1/2, E5a Q and E5b Q -1/4, GPS L2C(L) -1/4; the rest 0.
double rinex304Shift(char system, const std::string &code)
{
    if (system == 'E' && code == "1C") return 0.5;
    if (system == 'E' && (code == "5Q" || code == "7Q")) return -0.25;
    if (system == 'G' && code == "2L") return -0.25;
    return 0.0;
}

TEST(Rinex3Inputs, GeneratedRtcm3AcrossAWeekEnd)
{
    setenv("TZ", "UTC", 1);
    tzset();
    struct Case {
        const char *start;
        int seconds;
        int rate;
    } cases[] = {{"2024-03-09 23:58:00", 240, 1}, {"2024-03-09 23:59:55", 10, 10}};
    for (const Case &k : cases) {
        SCOPED_TRACE(std::string(k.start) + " at " + std::to_string(k.rate) + " Hz");
        rtcm3gen::Config cfg;
        cfg.startMs = rtcm3gen::parseTime(k.start);
        ASSERT_GT(cfg.startMs, 0);
        cfg.durationMs = k.seconds * 1000LL;
        cfg.rateHz = k.rate;
        cfg.seed = 7;
        rtcm3gen::Generator gen(cfg);
        std::vector<uint8_t> bytes;
        while (!gen.done()) gen.nextEpoch(bytes);

        QTemporaryDir dir;
        Conversion r;
        r.open(dir.path());
        r.in(bytes);
        EXPECT_EQ(r.w.skippedEpochs, 0);
        rnx3::File f = r.close();
        EXPECT_EQ(f.version, 3.04);

        // Every epoch, at the times the parameters give, each satellite once.
        const size_t epochs = (size_t)k.seconds * (size_t)k.rate;
        ASSERT_EQ(f.epochs.size(), epochs);
        const std::vector<rtcm3gen::Satellite> &sats = gen.satellites();
        const int64_t step = 1000 / k.rate;
        for (size_t i = 0; i < epochs; i++) {
            expectEpochAt(f.epochs[i], cfg.startMs + (int64_t)i * step);
            EXPECT_EQ((size_t)f.epochs[i].count, sats.size());
        }
        // The week end lies inside the run: Saturday before, Sunday after.
        EXPECT_EQ(f.epochs.front().day, 9);
        EXPECT_EQ(f.epochs.back().day, 10);

        // Types: two or three codes per system, in the standard's names.
        EXPECT_EQ(logs::fields(f.types['G'].size(), f.types['R'].size(), f.types['E'].size(), f.types['C'].size(),
                               f.types['J'].size()),
                  logs::fields(12u, 8u, 12u, 8u, 8u));
        // GPS - UTC from the GLONASS epochs (Moscow time) against GPS time.
        EXPECT_EQ(f.first["LEAP SECONDS"].substr(0, 6), "    18");

        // Values: every satellite and signal at a sample of epochs, the
        // first, those around the week end, and the last.
        size_t compared = 0;
        for (size_t i = 0; i < epochs; i++) {
            const int64_t t = cfg.startMs + (int64_t)i * step;
            const int64_t tow = (t - rtcm3gen::kGpsOriginMs) % 604800000LL;
            const bool sample = i == 0 || i + 1 == epochs || i % 37 == 5 || tow < 3000 || tow > 604797000LL;
            if (!sample) continue;
            const rnx3::Epoch &e = f.epochs[i];
            for (const rtcm3gen::Satellite &s : sats) {
                const rtcm3gen::SystemDef &def = rtcm3gen::systemDef(s.system);
                char name[8];
                snprintf(name, sizeof name, "%c%02d", def.letter, s.prn);
                ASSERT_TRUE(e.sats.count(name)) << name << " " << e.line;
                for (int g = 0; g < def.signals; g++) {
                    const std::string code = def.signal[g].code;
                    const rtcm3gen::Observation o = gen.truth(s, g, t);
                    const rnx3::Value &c = rnx3::obs(f, e, name, "C" + code), &l = rnx3::obs(f, e, name, "L" + code),
                                      &d = rnx3::obs(f, e, name, "D" + code), &n = rnx3::obs(f, e, name, "S" + code);
                    if (!o.present) {
                        EXPECT_FALSE(c.present || l.present || d.present || n.present) << name << code;
                        continue;
                    }
                    SCOPED_TRACE(std::string(name) + " " + code + " " + e.line);
                    ASSERT_TRUE(c.present && l.present && d.present && n.present);
                    // Physically sound: GPS 20,000-26,000 km, C/N0 35-50.
                    if (def.letter == 'G') {
                        EXPECT_GT(c.value, 19.9e6);
                        EXPECT_LT(c.value, 26.1e6);
                    }
                    EXPECT_NEAR(c.value, o.pseudorange, 0.0011);
                    EXPECT_NEAR(l.value, o.phase + rinex304Shift(def.letter, code), 0.0011);
                    EXPECT_NEAR(d.value, o.doppler, 0.002);
                    EXPECT_EQ(n.value, (double)o.cnr);
                    EXPECT_GE(n.value, 35.0);
                    EXPECT_LE(n.value, 50.0);
                    // The first phase of a signal is flagged, later ones not.
                    EXPECT_EQ(l.lli, i == 0 ? '1' : ' ');
                    EXPECT_EQ(l.ssi, (char)('0' + o.cnr / 6));
                    compared++;
                }
            }
        }
        EXPECT_GT(compared, 100u);

        // GLONASS channels as the generator assigned them, in the header.
        std::string slots;
        for (const std::string &line : f.header)
            if (rnx3::label(line) == "GLONASS SLOT / FRQ #") slots += line.substr(4, 56);
        for (const rtcm3gen::Satellite &s : sats)
            if (s.system == rtcm3gen::GLO) {
                char entry[16];
                snprintf(entry, sizeof entry, "R%02d %2d", s.prn, s.gloChannel);
                EXPECT_NE(slots.find(entry), std::string::npos) << entry;
            }

        // Ephemerides of every satellite reached the navigation file.
        rnx3::File nav = rnx3::read(r.navigation.toStdString(), true);
        EXPECT_TRUE(nav.errors.empty());
        std::map<std::string, int> records;
        for (const std::string &line : nav.body)
            if (!line.empty() && line[0] != ' ') records[line.substr(0, 3)]++;
        for (const rtcm3gen::Satellite &s : sats) {
            char name[8];
            snprintf(name, sizeof name, "%c%02d", rtcm3gen::systemDef(s.system).letter, s.prn);
            EXPECT_GE(records[name], 1) << name;
        }
    }
}

// The generator's lock time indicator (DF407): 64 ms and more in ever coarser
// steps, 704 beyond 2^26 ms. Its framing (CRC-24Q, lengths, the multiple
// message bit) is proved by the conversion above, which reads every epoch.
TEST(Rinex3Inputs, GeneratedLockIndicators)
{
    EXPECT_EQ(logs::fields(rtcm3gen::Generator::lockIndicator(63), rtcm3gen::Generator::lockIndicator(64),
                           rtcm3gen::Generator::lockIndicator(127), rtcm3gen::Generator::lockIndicator(128),
                           rtcm3gen::Generator::lockIndicator(67108863), rtcm3gen::Generator::lockIndicator(67108864)),
              logs::fields(63, 64, 95, 96, 703, 704));
}

// RTCM 10403.3: a C/N0 of 0 (DF408) is "not computed", and a cell whose
// range (DF405), phase range (DF406) and rate (DF404) are all at their
// invalid values measured nothing. G05 has a range and a phase but no C/N0:
// S1C blank. G09's cell is empty: no line, no satellite counted, no column.
TEST(Rinex3Inputs, CellsWithoutMeasurementsOrCnrWriteNoValue)
{
    QTemporaryDir d;
    Conversion c;
    c.w.setRtcm3Epoch(2290, feed::kTow);
    c.open(d.path());
    rtcm3enc::Msm m = feed::msm(1077, feed::kTow, 0, 5, 70.0);
    m.sats[0].cells[0].cnr = 0;
    rtcm3enc::MsmSat empty = m.sats[0];
    empty.id = 9;
    empty.rough_rate_valid = false;
    empty.cells[0].pr_valid = empty.cells[0].ph_valid = empty.cells[0].rate_fine_valid = false;
    m.sats.push_back(empty);
    c.in(m);
    rnx3::File f = c.close();
    ASSERT_EQ(f.epochs.size(), 1u);
    EXPECT_EQ(f.epochs[0].count, 1);
    EXPECT_EQ(f.epochs[0].sats.count("G09"), 0u);
    EXPECT_NEAR(rnx3::obs(f, f.epochs[0], "G05", "C1C").value, 70.0e-3 * 299792458.0, 1e-3);
    EXPECT_TRUE(rnx3::obs(f, f.epochs[0], "G05", "L1C").present);
    EXPECT_FALSE(rnx3::obs(f, f.epochs[0], "G05", "S1C").present);
}

// A log cut inside an epoch: its last message (GPS MSM7 at 1 s) still sets
// the multiple message bit (DF393), and the GLONASS message that would have
// ended the epoch never came. What arrived of the epoch is an epoch.
TEST(Rinex3Inputs, EpochCutAtTheEndOfTheLogIsKept)
{
    QTemporaryDir d;
    Conversion c;
    c.w.setRtcm3Epoch(2290, feed::kTow);
    c.open(d.path());
    c.in(feed::msm(1077, feed::kTow, 0, 5, 70.0));
    c.in(feed::msm(1077, feed::kTow + 1000, 1, 5, 70.001));
    c.w.finishInput();
    rnx3::File f = c.close();
    ASSERT_EQ(f.epochs.size(), 2u);
    expectEpochAt(f.epochs[1], gpsMsOf(2290, feed::kTow + 1000));
    EXPECT_NEAR(rnx3::obs(f, f.epochs[1], "G05", "C1C").value, 70.001e-3 * 299792458.0, 1e-3);
}

// 1001 carries the L1 pseudorange modulo one light millisecond (DF011,
// RTCM 10403.3): no RINEX observation, so an epoch of it alone is no epoch
// record (a record of 0 satellites is not even readable by CRINEX tools).
// The 1004 of the next second is one.
TEST(Rinex3Inputs, MessagesWithoutObservationsWriteNoEpoch)
{
    QTemporaryDir d;
    Conversion c;
    c.w.setRtcm3Epoch(2290, feed::kTow);
    c.open(d.path());
    rtcm3enc::Legacy m;
    m.number = 1001;
    m.epoch = feed::kTow;
    m.sats = {rtcm3enc::LegacySat()};
    m.sats[0].id = 5;
    c.in(rtcm3enc::encode_legacy(m));
    m.number = 1004;
    m.epoch = feed::kTow + 1000;
    c.in(rtcm3enc::encode_legacy(m));
    c.w.finishInput();
    rnx3::File f = c.close();
    ASSERT_EQ(f.epochs.size(), 1u);
    expectEpochAt(f.epochs[0], gpsMsOf(2290, feed::kTow + 1000));
    EXPECT_EQ(f.epochs[0].count, 1);
}

// ---- Hemisphere ---------------------------------------------------------------------------

namespace {

struct HemiObs {
    int prn;
    double pseudorange; // m, a multiple of 1/256
    double phase;       // cycles, a multiple of 1/1024
    double doppler;     // Hz, a multiple of 1/512
    uint32_t snrCount;
    uint32_t lockTenths;
};

const double kL1 = 1575420000.0;

// A GPS L1 C/A channel word set from the message's units.
hemienc::Channel hemiChannel(const HemiObs &o)
{
    hemienc::Channel c;
    c.satellite = (uint32_t)o.prn;
    c.system = 0;
    c.k = 0;
    c.snr_count = o.snrCount;
    c.lock_count = o.lockTenths;
    c.phase_valid = true;
    c.doppler_count = (uint32_t)llround(fabs(o.doppler) * 512);
    c.doppler_positive = o.doppler >= 0;
    c.range_count = (uint64_t)llround(o.pseudorange * 256);
    c.carrier = (uint32_t)(llround(o.phase * 1024) & 0x7FFFFF);
    return c;
}

std::vector<uint8_t> hemiPage(int week, double tow, int page, int pages, const std::vector<HemiObs> &obs)
{
    hemienc::Bin16 m;
    m.week = (uint32_t)week;
    m.tow = tow;
    m.page = (uint32_t)page;
    m.pages = (uint32_t)pages;
    for (size_t i = 0; i < obs.size(); i++) m.channel[i] = hemiChannel(obs[i]);
    return m.build();
}

HemiObs hemiSat(int prn, int second)
{
    // Range, phase consistent with it (a whole-cycle offset), Doppler of
    // a range shrinking at 300 m/s.
    HemiObs o;
    o.prn = prn;
    o.pseudorange = 20000000.0 + prn * 100000.0 - second * 300.0 + 0.125;
    o.phase = floor(o.pseudorange * kL1 / 299792458.0) + 17.25;
    o.doppler = 300.0 * kL1 / 299792458.0;
    o.doppler = llround(o.doppler * 512) / 512.0;
    o.snrCount = 300 + (uint32_t)prn * 10;
    o.lockTenths = 100 + (uint32_t)second * 10;
    return o;
}

} // namespace

TEST(Rinex3Inputs, HemispherePagesMakeEpochs)
{
    setenv("TZ", "UTC", 1);
    tzset();
    const int week = 2290;
    const double tow = 345600.0; // Thursday 2023-11-30 00:00:00 GPS
    QTemporaryDir dir;
    Conversion r;
    r.open(dir.path());
    // Second 0: one page of three satellites.
    r.in(hemiPage(week, tow, 0, 1, {hemiSat(3, 0), hemiSat(8, 0), hemiSat(14, 0)}));
    // Second 1: two pages.
    r.in(hemiPage(week, tow + 1, 0, 2, {hemiSat(3, 1), hemiSat(8, 1)}));
    r.in(hemiPage(week, tow + 1, 1, 2, {hemiSat(14, 1), hemiSat(22, 1)}));
    // Second 2: the second page is lost; the next epoch starts.
    r.in(hemiPage(week, tow + 2, 0, 2, {hemiSat(3, 2), hemiSat(8, 2)}));
    // Second 3: a second page of another time does not complete it.
    r.in(hemiPage(week, tow + 3, 0, 2, {hemiSat(3, 3)}));
    r.in(hemiPage(week, tow + 2, 1, 2, {hemiSat(14, 2)}));
    // Second 4: two pages again.
    r.in(hemiPage(week, tow + 4, 0, 2, {hemiSat(3, 4)}));
    r.in(hemiPage(week, tow + 4, 1, 2, {hemiSat(8, 4), hemiSat(22, 4)}));
    rnx3::File f = r.close();

    ASSERT_EQ(f.epochs.size(), 3u);
    const int seconds[] = {0, 1, 4};
    const std::vector<std::vector<int>> prns = {{3, 8, 14}, {3, 8, 14, 22}, {3, 8, 22}};
    for (size_t i = 0; i < 3; i++) {
        const rnx3::Epoch &e = f.epochs[i];
        expectEpochAt(e, gpsMsOf(week, (int64_t)(tow + seconds[i]) * 1000));
        ASSERT_EQ((size_t)e.count, prns[i].size()) << e.line;
        for (int prn : prns[i]) {
            char name[8];
            snprintf(name, sizeof name, "G%02d", prn);
            SCOPED_TRACE(std::string(name) + " " + e.line);
            const HemiObs o = hemiSat(prn, seconds[i]);
            EXPECT_NEAR(rnx3::obs(f, e, name, "C1C").value, o.pseudorange, 0.0006);
            EXPECT_NEAR(rnx3::obs(f, e, name, "L1C").value, o.phase, 0.0006);
            EXPECT_NEAR(rnx3::obs(f, e, name, "D1C").value, o.doppler, 0.0006);
            // C/N0 from the count: 10 log10(n x 0.1024 kHz).
            const double snr = 10.0 * log10(o.snrCount * 102.4);
            EXPECT_NEAR(rnx3::obs(f, e, name, "S1C").value, snr, 0.0006);
            EXPECT_EQ(rnx3::obs(f, e, name, "L1C").ssi, (char)('0' + (int)(snr / 6)));
            // First sight of a satellite's phase is flagged.
            const bool first = i == 0 || (i == 1 && prn == 22);
            EXPECT_EQ(rnx3::obs(f, e, name, "L1C").lli, first ? '1' : ' ');
        }
    }
    EXPECT_EQ(f.types['G'], (std::vector<std::string>{"C1C", "L1C", "D1C", "S1C"}));
}

// ---- NovAtel with PPK markers ---------------------------------------------------------------

namespace {

struct NovObs {
    int prn;
    double psr, phase; // m, cycles
    float doppler, cno, locktime;
};

NovObs novSat(int prn, int second)
{
    NovObs o;
    o.prn = prn;
    o.psr = 21000000.0 + prn * 50000.0 + second * 150.0 + 0.25;
    o.phase = floor(o.psr * kL1 / 299792458.0) - 3.5;
    o.doppler = -788.25f;
    o.cno = 40.0f + (float)prn / 4;
    o.locktime = 300.0f + (float)second;
    return o;
}

std::vector<uint8_t> rangeLog(int week, uint32_t ms, int second, const std::vector<int> &prns)
{
    std::vector<novenc::RangeRecord> records;
    for (int prn : prns) {
        const NovObs o = novSat(prn, second);
        novenc::RangeRecord rec = novenc::gps_l1((uint16_t)prn, o.psr);
        rec.adr = -o.phase; // accumulated Doppler range: the negative phase
        rec.doppler = o.doppler;
        rec.cno = o.cno;
        rec.locktime = o.locktime;
        records.push_back(rec);
    }
    return novenc::range_log((uint16_t)week, ms, records);
}

void expectNovatelEpoch(const rnx3::File &f, const rnx3::Epoch &e, int week, uint32_t tow0, int second,
                        const std::vector<int> &prns)
{
    expectEpochAt(e, gpsMsOf(week, tow0 + second * 1000LL));
    ASSERT_EQ((size_t)e.count, prns.size()) << e.line;
    for (int prn : prns) {
        char name[8];
        snprintf(name, sizeof name, "G%02d", prn);
        const NovObs o = novSat(prn, second);
        EXPECT_NEAR(rnx3::obs(f, e, name, "C1C").value, o.psr, 0.0006) << name;
        EXPECT_NEAR(rnx3::obs(f, e, name, "L1C").value, o.phase, 0.0006) << name;
        EXPECT_NEAR(rnx3::obs(f, e, name, "D1C").value, o.doppler, 0.0006) << name;
        EXPECT_NEAR(rnx3::obs(f, e, name, "S1C").value, o.cno, 0.0006) << name;
    }
}

} // namespace

TEST(Rinex3Inputs, NovatelWithPpkMarkers)
{
    setenv("TZ", "UTC", 1);
    tzset();
    const int week = 2290;
    const uint32_t tow0 = 345600000;
    const std::vector<int> prns = {2, 5, 13, 29};
    const std::string begin =
        "PPK,MARKER-BEGIN,1,2,x,SITE1,0001,a,b,1.5,c,d,e,-4467074.3577,2683011.9038,-3667008.2845";
    auto sample = [&](int n, int second) {
        char s[96];
        snprintf(s, sizeof s, "PPK,MARKER-SAMPLE,1,2,%d,%d,%.3f", n, week, (tow0 + second * 1000) / 1000.0);
        return nmea(s);
    };

    {
        SCOPED_TRACE("PPK Only");
        QTemporaryDir dir;
        Conversion r;
        ASSERT_TRUE(r.w.setMode(2));
        r.open(dir.path());
        r.in(rangeLog(week, tow0, 0, prns)); // outside a site: not written
        r.in(nmea(begin));
        r.in(rangeLog(week, tow0 + 1000, 1, prns));
        r.in(sample(1, 1)); // tags the epoch just logged
        r.in(rangeLog(week, tow0 + 2000, 2, prns));
        r.in(sample(2, 2));
        r.in(rangeLog(week, tow0 + 3000, 3, prns)); // in the site, untagged
        r.in(nmea("PPK,MARKER-END,1,2"));
        r.in(rangeLog(week, tow0 + 4000, 4, prns)); // outside again
        rnx3::File f = r.close();
        ASSERT_EQ(f.epochs.size(), 4u);
        EXPECT_EQ(f.epochs[0].flag, 3);
        ASSERT_EQ(f.epochs[0].event_lines.size(), 4u);
        EXPECT_EQ(logs::fields(f.epochs[0].event_lines[0].substr(0, 5), rnx3::label(f.epochs[0].event_lines[1]),
                               f.epochs[0].event_lines[1].substr(0, 4)),
                  logs::fields("SITE1", "MARKER NUMBER", "0001"));
        EXPECT_NEAR(rnx3::num(f.epochs[0].event_lines[2], 0, 14), -4467074.3577, 1e-4);
        EXPECT_NEAR(rnx3::num(f.epochs[0].event_lines[3], 0, 14), 1.5, 1e-4);
        expectNovatelEpoch(f, f.epochs[1], week, tow0, 1, prns);
        expectNovatelEpoch(f, f.epochs[2], week, tow0, 2, prns);
        EXPECT_EQ(f.epochs[3].flag, 2);
        EXPECT_EQ(f.epochs[3].count, 0);
    }
    {
        SCOPED_TRACE("PPK Mix");
        QTemporaryDir dir;
        Conversion r;
        ASSERT_TRUE(r.w.setMode(3));
        r.open(dir.path());
        r.in(rangeLog(week, tow0, 0, prns)); // outside a site: written
        r.in(nmea(begin));
        r.in(rangeLog(week, tow0 + 1000, 1, prns));
        r.in(sample(1, 1));
        r.in(rangeLog(week, tow0 + 2000, 2, prns)); // in the site: waits for its sample
        r.in(sample(2, 1)); // tags a time that is not in range: the site ends
        r.in(rangeLog(week, tow0 + 3000, 3, prns)); // outside: written
        r.in(nmea("PPK,MARKER-END,1,2")); // no site open: nothing
        rnx3::File f = r.close();
        ASSERT_EQ(f.epochs.size(), 5u);
        expectNovatelEpoch(f, f.epochs[0], week, tow0, 0, prns);
        EXPECT_EQ(f.epochs[1].flag, 3);
        expectNovatelEpoch(f, f.epochs[2], week, tow0, 1, prns);
        EXPECT_EQ(f.epochs[3].flag, 2);
        expectNovatelEpoch(f, f.epochs[4], week, tow0, 3, prns);
        // Lock held throughout: only the first phase of each satellite is flagged.
        for (int prn : prns) {
            char name[8];
            snprintf(name, sizeof name, "G%02d", prn);
            EXPECT_EQ(rnx3::obs(f, f.epochs[0], name, "L1C").lli, '1');
            EXPECT_EQ(rnx3::obs(f, f.epochs[2], name, "L1C").lli, ' ');
        }
    }
}
