// The RINEX 3 writer fed by each input format through the framer: a long
// synthetic RTCM 3 stream across a GPS week end, Hemisphere observation
// pages, and NovAtel range logs with "$PPK" marker lines. The files are read
// back with the independent reader and compared with what the inputs carried.
#include <gtest/gtest.h>

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
#include "rinex_frames.h"
#include "writer_feed.h"
#include "rinex3xx.h"

namespace {

// A writer fed through its framer, in week 2290 when asked; close() gives
// the observation file read back, its format checked.
struct Conversion : feed::Run<Rinex3xx> {
    QTemporaryDir dir;
    QString navigation;
    void open(bool week2290 = false)
    {
        if (week2290) w.setRtcm3Epoch(2290, feed::kTow);
        start(dir.path() + "/in.00O");
    }
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

// The epoch's time is the GPS time in ms since 1970 (the GPS scale has no
// leap seconds, so the C library's UTC calendar serves), its flag 0.
void expectEpochAt(const rnx3::Epoch &e, int64_t gpsMs)
{
    const time_t t = (time_t)(gpsMs / 1000);
    struct tm c;
    gmtime_r(&t, &c);
    EXPECT_EQ(logs::fields(e.year, e.month, e.day, e.hour, e.minute, e.flag),
              logs::fields(c.tm_year + 1900, c.tm_mon + 1, c.tm_mday, c.tm_hour, c.tm_min, 0)) << e.line;
    EXPECT_NEAR(e.second, c.tm_sec + (gpsMs % 1000) / 1000.0, 1e-9) << e.line;
}

int64_t gpsMsOf(int week, int64_t ms)
{
    return 315964800000LL + week * 604800000LL + ms;
}

using feed::nmea;

// The temporary and short names use local time.
[[maybe_unused]] const bool utcZone = (setenv("TZ", "UTC", 1), tzset(), true);

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

        Conversion r;
        r.open();
        r.in(bytes);
        EXPECT_EQ(r.w.skippedEpochs, 0);
        rnx3::File f = r.close();

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
        // Types: two or three codes per system, in the standard's names.
        // GPS - UTC from the GLONASS epochs (Moscow time) against GPS time.
        EXPECT_EQ(logs::fields(f.version, f.epochs.front().day, f.epochs.back().day, f.types['G'].size(),
                               f.types['R'].size(), f.types['E'].size(), f.types['C'].size(), f.types['J'].size(),
                               f.first["LEAP SECONDS"].substr(0, 6)),
                  logs::fields(3.04, 9, 10, 12u, 8u, 12u, 8u, 8u, "    18"));

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
                        EXPECT_NEAR(c.value, 23.0e6, 3.1e6);
                    }
                    EXPECT_NEAR(c.value, o.pseudorange, 0.0011);
                    EXPECT_NEAR(l.value, o.phase + rinex304Shift(def.letter, code), 0.0011);
                    EXPECT_NEAR(d.value, o.doppler, 0.002);
                    EXPECT_NEAR(n.value, 42.5, 7.5);
                    // The first phase of a signal is flagged, later ones not.
                    EXPECT_EQ(logs::fields(n.value, l.lli, l.ssi),
                              logs::fields((double)o.cnr, i == 0 ? '1' : ' ', (char)('0' + o.cnr / 6)));
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

// G05 without C/N0: S1C blank. G09's empty cell: no line, no satellite
// counted, no column.
TEST(Rinex3Inputs, CellsWithoutMeasurementsOrCnrWriteNoValue)
{
    Conversion c;
    c.open(true);
    c.in(feed::msmWithoutCnrAndEmptyCell());
    rnx3::File f = c.close();
    ASSERT_EQ(f.epochs.size(), 1u);
    EXPECT_EQ(logs::fields(f.epochs[0].count, f.epochs[0].sats.count("G09"), rnx3::obs(f, f.epochs[0], "G05", "L1C").present,
                           rnx3::obs(f, f.epochs[0], "G05", "S1C").present),
              logs::fields(1, 0u, true, false));
    EXPECT_NEAR(rnx3::obs(f, f.epochs[0], "G05", "C1C").value, 70.0e-3 * 299792458.0, 1e-3);
}

// A log cut inside an epoch: its last message (GPS MSM7 at 1 s) still sets
// the multiple message bit (DF393), and the GLONASS message that would have
// ended the epoch never came. What arrived of the epoch is an epoch.
TEST(Rinex3Inputs, EpochCutAtTheEndOfTheLogIsKept)
{
    Conversion c;
    c.open(true);
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
    Conversion c;
    c.open(true);
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

const double kL1 = 1575420000.0;

// What a GPS L1 C/A channel of satellite `prn` carries at `second`, in
// multiples of the message's units: a range shrinking at 300 m/s (1/256 m),
// the phase consistent with it, a whole-cycle offset away (1/1024 cycle),
// the Doppler of that rate (1/512 Hz), and the counts of C/N0 and lock.
struct HemiObs {
    int prn;
    double pseudorange, phase, doppler;
    uint32_t snrCount, lockTenths;
    HemiObs(int p, int second) : prn(p)
    {
        pseudorange = 20000000.0 + prn * 100000.0 - second * 300.0 + 0.125;
        phase = floor(pseudorange * kL1 / 299792458.0) + 17.25;
        doppler = llround(300.0 * kL1 / 299792458.0 * 512) / 512.0;
        snrCount = 300 + (uint32_t)prn * 10;
        lockTenths = 100 + (uint32_t)second * 10;
    }
};

// Page `page` of `pages` of the observations at `tow` of GPS week 2290.
std::vector<uint8_t> hemiPage(double tow, int page, int pages, const std::vector<int> &prns, int second)
{
    hemienc::Bin16 m;
    m.week = 2290;
    m.tow = tow;
    m.page = (uint32_t)page;
    m.pages = (uint32_t)pages;
    for (size_t i = 0; i < prns.size(); i++) {
        const HemiObs o(prns[i], second);
        hemienc::Channel &c = m.channel[i];
        c.satellite = (uint32_t)o.prn;
        c.snr_count = o.snrCount;
        c.lock_count = o.lockTenths;
        c.phase_valid = true;
        c.doppler_count = (uint32_t)llround(fabs(o.doppler) * 512);
        c.doppler_positive = o.doppler >= 0;
        c.range_count = (uint64_t)llround(o.pseudorange * 256);
        c.carrier = (uint32_t)(llround(o.phase * 1024) & 0x7FFFFF);
    }
    return m.build();
}

} // namespace

TEST(Rinex3Inputs, HemispherePagesMakeEpochs)
{
    const double tow = 345600.0; // Thursday 2023-11-30 00:00:00 GPS
    Conversion r;
    r.open();
    // Second 0: one page of three satellites; second 1: two pages.
    r.in(hemiPage(tow, 0, 1, {3, 8, 14}, 0));
    r.in(hemiPage(tow + 1, 0, 2, {3, 8}, 1));
    r.in(hemiPage(tow + 1, 1, 2, {14, 22}, 1));
    // Second 2: the second page is lost; the next epoch starts.
    r.in(hemiPage(tow + 2, 0, 2, {3, 8}, 2));
    // Second 3: a second page of another time does not complete it.
    r.in(hemiPage(tow + 3, 0, 2, {3}, 3));
    r.in(hemiPage(tow + 2, 1, 2, {14}, 2));
    // Second 4: two pages again.
    r.in(hemiPage(tow + 4, 0, 2, {3}, 4));
    r.in(hemiPage(tow + 4, 1, 2, {8, 22}, 4));
    rnx3::File f = r.close();

    ASSERT_EQ(f.epochs.size(), 3u);
    EXPECT_EQ(f.types['G'], (std::vector<std::string>{"C1C", "L1C", "D1C", "S1C"}));
    const int seconds[] = {0, 1, 4};
    const std::vector<std::vector<int>> prns = {{3, 8, 14}, {3, 8, 14, 22}, {3, 8, 22}};
    for (size_t i = 0; i < 3; i++) {
        const rnx3::Epoch &e = f.epochs[i];
        expectEpochAt(e, gpsMsOf(2290, (int64_t)(tow + seconds[i]) * 1000));
        ASSERT_EQ((size_t)e.count, prns[i].size()) << e.line;
        for (int prn : prns[i]) {
            const std::string name = rframes::satName(&GNSS_SIGNAL_GPS[0], prn);
            SCOPED_TRACE(name + " " + e.line);
            const HemiObs o(prn, seconds[i]);
            // C/N0 from the count: 10 log10(n x 0.1024 kHz).
            const double snr = 10.0 * log10(o.snrCount * 102.4);
            const char *types[] = {"C1C", "L1C", "D1C", "S1C"};
            const double values[] = {o.pseudorange, o.phase, o.doppler, snr};
            for (int t = 0; t < 4; t++) EXPECT_NEAR(rnx3::obs(f, e, name, types[t]).value, values[t], 0.0006) << types[t];
            // First sight of a satellite's phase is flagged.
            const bool first = i == 0 || (i == 1 && prn == 22);
            const rnx3::Value &l = rnx3::obs(f, e, name, "L1C");
            EXPECT_EQ(logs::fields(l.ssi, l.lli), logs::fields((char)('0' + (int)(snr / 6)), first ? '1' : ' '));
        }
    }
}

// ---- NovAtel with PPK markers ---------------------------------------------------------------

namespace {

// A GPS L1 range record of satellite `prn` at `second`; the accumulated
// Doppler range is the negative phase.
novenc::RangeRecord novSat(int prn, int second)
{
    novenc::RangeRecord r = novenc::gps_l1((uint16_t)prn, 21000000.0 + prn * 50000.0 + second * 150.0 + 0.25);
    r.adr = -(floor(r.psr * kL1 / 299792458.0) - 3.5);
    r.doppler = -788.25f;
    r.cno = 40.0f + (float)prn / 4;
    r.locktime = 300.0f + (float)second;
    return r;
}

std::vector<uint8_t> rangeLog(uint32_t ms, int second, const std::vector<int> &prns)
{
    std::vector<novenc::RangeRecord> records;
    for (int prn : prns) records.push_back(novSat(prn, second));
    return novenc::range_log(2290, ms, records);
}

} // namespace

// "PPK Mix": outside a site every epoch is written; inside, only the one a
// sample line tags, which for NovAtel logs is the range log just logged.
TEST(Rinex3Inputs, NovatelWithPpkMarkers)
{
    const uint32_t tow0 = 345600000;
    const std::vector<int> prns = {2, 5, 13, 29};
    auto sample = [&](int n, int second) {
        char s[96];
        snprintf(s, sizeof s, "PPK,MARKER-SAMPLE,1,2,%d,2290,%.3f", n, (tow0 + second * 1000) / 1000.0);
        return nmea(s);
    };
    Conversion r;
    ASSERT_TRUE(r.w.setMode(3));
    r.open();
    r.in(rangeLog(tow0, 0, prns)); // outside a site: written
    r.in(nmea("PPK,MARKER-BEGIN,1,2,x,SITE1,0001,a,b,1.5,c,d,e,-4467074.3577,2683011.9038,-3667008.2845"));
    r.in(rangeLog(tow0 + 1000, 1, prns));
    r.in(sample(1, 1)); // tags the epoch just logged
    r.in(rangeLog(tow0 + 2000, 2, prns)); // in the site: waits for its sample
    r.in(sample(2, 1)); // tags a time that is not in range: the site ends
    r.in(rangeLog(tow0 + 3000, 3, prns)); // outside: written
    r.in(nmea("PPK,MARKER-END,1,2")); // no site open: nothing
    rnx3::File f = r.close();
    ASSERT_EQ(f.epochs.size(), 5u);
    ASSERT_EQ(f.epochs[1].event_lines.size(), 4u);
    EXPECT_EQ(logs::fields(f.epochs[1].flag, f.epochs[1].event_lines[0].substr(0, 5), rnx3::label(f.epochs[1].event_lines[1]),
                           f.epochs[1].event_lines[1].substr(0, 4), f.epochs[3].flag, f.epochs[3].count),
              logs::fields(3, "SITE1", "MARKER NUMBER", "0001", 2, 0));
    EXPECT_NEAR(rnx3::num(f.epochs[1].event_lines[2], 0, 14), -4467074.3577, 1e-4);
    EXPECT_NEAR(rnx3::num(f.epochs[1].event_lines[3], 0, 14), 1.5, 1e-4);
    const int written[][2] = {{0, 0}, {2, 1}, {4, 3}}; // epoch record, second
    for (const auto &w : written) {
        const rnx3::Epoch &e = f.epochs[(size_t)w[0]];
        expectEpochAt(e, gpsMsOf(2290, tow0 + w[1] * 1000LL));
        ASSERT_EQ((size_t)e.count, prns.size()) << e.line;
        for (int prn : prns) {
            const std::string name = rframes::satName(&GNSS_SIGNAL_GPS[0], prn);
            const novenc::RangeRecord o = novSat(prn, w[1]);
            const char *types[] = {"C1C", "L1C", "D1C", "S1C"};
            const double values[] = {o.psr, -o.adr, o.doppler, o.cno};
            for (int t = 0; t < 4; t++)
                EXPECT_NEAR(rnx3::obs(f, e, name, types[t]).value, values[t], 0.0006) << name << types[t] << e.line;
            // Lock held throughout: only the first phase of each satellite is flagged.
            EXPECT_EQ(rnx3::obs(f, e, name, "L1C").lli, w[0] == 0 ? '1' : ' ') << name << e.line;
        }
    }
}
