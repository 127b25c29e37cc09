// The RINEX 3 writer end to end: hand-built epochs and ephemerides, frames
// built bit by bit from the standards (RTCM 3, Hemisphere, NovAtel) and real
// receiver logs fed through the framer; the files read back with an
// independent reader and compared with what went in.
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <math.h>
#include <stdlib.h>
#include <time.h>

#include <algorithm>
#include <set>

#include "gnssparser.h"
#include "hemisphere_encoder.h"
#include "log_frames.h"
#include "novatel_encoder.h"
#include "rinex3_reader.h"
#include "rinex3xx.h"
#include "rinex_frames.h"
#include "rtcm3_encoder.h"
#include "testdata.h"
#include "util.h"
#include "writer_feed.h"

namespace {

using feed::kTow;
using feed::msm;
using feed::nmea;
using rframes::writeEpoch;
typedef feed::Run<Rinex3xx> RtcmRun;
const auto makeObs = &rframes::obs;
const auto sampleGps = &rframes::gps;

// The temporary and short names use local time.
[[maybe_unused]] const bool utcZone = (setenv("TZ", "UTC", 1), tzset(), true);

typedef rnx3::Record NavRecord;

// A file read back, every format violation a failure.
rnx3::File readBack(const QString &path, bool navigation = false)
{
    rnx3::File f = rnx3::read(path.toStdString(), navigation);
    for (const std::string &e : f.errors) ADD_FAILURE() << e;
    return f;
}

// The records of a navigation file, each line 80 characters.
std::vector<NavRecord> navRecords(const rnx3::File &f)
{
    for (const std::string &l : f.body)
        if (l.size() != 80) ADD_FAILURE() << "navigation line of " << l.size() << ": [" << l << "]";
    return rnx3::records(f);
}

// Closes the writer and reads back its observation file, and when asked its
// navigation file.
rnx3::File closeAndRead(Rinex3xx &w, rnx3::File *nav = nullptr)
{
    const QString observation = w.observationFinalName(), navigation = w.navigationFinalName();
    w.close();
    EXPECT_TRUE(w.outputErrors().isEmpty());
    if (nav) *nav = readBack(navigation, true);
    return readBack(observation);
}

// D-format field `index` of a navigation line (19 characters from column 5).
double dfield(const std::string &l, int index, bool *blank = nullptr) { return rnx3::num(l, 4 + 19 * (size_t)index, 19, blank); }

// The epoch's time as ms since 1970 on the file's time scale (GPS: no leap
// seconds, so the UTC calendar serves).
qint64 epochMs(const rnx3::Epoch &e) { return logs::utc_ms(e.year, e.month, e.day, e.hour, e.minute, e.second); }

std::vector<std::string> satellitesOf(const rnx3::Epoch &e)
{
    std::vector<std::string> out;
    for (const auto &s : e.sats) out.push_back(s.first);
    return out;
}

char lliOf(const rnx3::File &f, size_t epoch, const char *sat) { return rnx3::obs(f, f.epochs.at(epoch), sat, "L1C").lli; }

// Converts one log the way the conversion task does (by `writer` when
// given); returns the observation file read back and, when asked, the records
// of the navigation file beside it.
rnx3::File convert(const std::vector<uint8_t> &data, qint64 timeStartMs = 0, bool prescan = false,
                   std::vector<NavRecord> *records = nullptr, Rinex3xx *writer = nullptr)
{
    QTemporaryDir d;
    Rinex3xx own;
    Rinex3xx &w = writer ? *writer : own;
    const QString observation = feed::convertLog(w, d.path() + "/out.00O", data, timeStartMs, prescan);
    EXPECT_TRUE(w.outputErrors().isEmpty());
    if (records) *records = navRecords(readBack(observation.left(observation.size() - 1) + "N", true));
    return readBack(observation);
}

void checkValue(const rnx3::Value &v, bool valid, double expected, const std::string &what)
{
    EXPECT_EQ(v.present, valid) << what;
    if (!valid || !v.present) return;
    // Values of a billion or more are folded and flagged.
    const bool big = fabs(expected) >= 1e9;
    EXPECT_TRUE(!big || (v.lli != ' ' && ((v.lli - '0') & 1))) << what << " LLI [" << v.lli << "]";
    EXPECT_NEAR(v.value, big ? expected - copysign(1e9, expected) : expected, 0.0011) << what;
}

// Compares every epoch of the file with the frames' values, each phase with
// the 3.04 quarter-cycle shift of its signal unless the source sends it
// aligned (`aligned`, RTCM 3 MSM); returns how many signals were compared.
// `whole`: the epoch holds exactly the expected satellites. S values that are
// not whole dB-Hz are counted in *fractional.
size_t compareEpochs(const rnx3::File &f, const rframes::Epochs &expected, bool whole, size_t *fractional,
                     bool aligned)
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
                if (x.valid[1])
                    checkValue(rnx3::obs(f, e, sat.first, "L" + code), true, x.value[1] + (aligned ? 0 : shift * 0.25),
                               tag + " L");
                const double doppler = rnx3::obs(f, e, sat.first, "D" + code).value;
                EXPECT_TRUE(!x.valid[2] || fabs(doppler - x.value[2]) <= 0.0011) << tag << " D " << doppler;
                const double cnr = rnx3::obs(f, e, sat.first, "S" + code).value;
                EXPECT_NEAR(cnr, x.value[3], 0.0011) << tag;
                *fractional += cnr != floor(cnr);
                compared++;
            }
            sats += listed;
        }
        EXPECT_TRUE(!whole || (size_t)e.count == sats) << e.line << " holds " << sats;
    }
    return compared;
}

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

// Page `page` of `pages` of the observations at `second` of Thursday
// 2023-11-30 (GPS week 2290, TOW 345600 s at 00:00:00).
std::vector<uint8_t> hemiPage(int second, int page, int pages, const std::vector<int> &prns)
{
    hemienc::Bin16 m;
    m.week = 2290;
    m.tow = 345600.0 + second;
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

// The GPS L1 C/A epoch (flag 0) at `second` of Thursday 2023-11-30 (GPS
// week 2290) holds exactly `prns`, each with the C, L, D and S its pages sent
// (C/N0 from the count: 10 log10(n x 0.1024 kHz)), the phases of `flagged`
// with LLI 1.
void expectL1Epoch(const rnx3::File &f, const rnx3::Epoch &e, int second, const std::vector<int> &prns,
                   const std::set<int> &flagged)
{
    EXPECT_EQ(logs::fields(epochMs(e), e.flag), logs::fields(logs::utc_ms(2023, 11, 30, 0, 0, second), 0)) << e.line;
    ASSERT_EQ((size_t)e.count, prns.size()) << e.line;
    for (int prn : prns) {
        const std::string name = rframes::satName(&GNSS_SIGNAL_GPS[0], prn);
        SCOPED_TRACE(name + " " + e.line);
        const HemiObs o(prn, second);
        const double v[] = {o.pseudorange, o.phase, o.doppler, 10.0 * log10(o.snrCount * 102.4)};
        const char *types[] = {"C1C", "L1C", "D1C", "S1C"};
        for (int t = 0; t < 4; t++) EXPECT_NEAR(rnx3::obs(f, e, name, types[t]).value, v[t], 0.0006) << types[t];
        const rnx3::Value &l = rnx3::obs(f, e, name, "L1C");
        EXPECT_EQ(logs::fields(l.ssi, l.lli), logs::fields((char)('0' + (int)(v[3] / 6)), flagged.count(prn) ? '1' : ' '));
    }
}

// A NovAtel range log of the GPS L1 record of satellite `prn` at `second`;
// the accumulated Doppler range is the negative phase.
std::vector<uint8_t> rangeLog(uint32_t ms, int second, int prn)
{
    novenc::RangeRecord r = novenc::gps_l1((uint16_t)prn, 21000000.0 + prn * 50000.0 + second * 150.0 + 0.25);
    r.adr = -(floor(r.psr * kL1 / 299792458.0) - 3.5);
    r.doppler = -788.25f;
    r.cno = 40.0f + (float)prn / 4;
    r.locktime = 300.0f + (float)second;
    return novenc::range_log(2290, ms, {r});
}

class Rinex3 : public ::testing::Test
{
protected:
    QTemporaryDir dir;
    QString path(const QString &name) const { return dir.path() + "/" + name; }
    // A writer opened on this test's directory.
    void openWriter(Rinex3xx &w, int namingMode = 2, const char *name = "t.00O")
    {
        ASSERT_TRUE(w.setFileName(path(name), namingMode));
        ASSERT_GT(w.open(0), 0);
    }
    // A writer fed through its framer, in week 2290 when asked, its rate
    // limited when asked.
    void startRun(RtcmRun &r, bool week2290 = true, const char *name = "r.00O", int intervalMs = 0)
    {
        if (intervalMs) { ASSERT_TRUE(r.w.setObsIntervalMin(intervalMs)); }
        if (week2290) r.w.setRtcm3Epoch(2290, kTow);
        r.start(path(name));
    }
};

} // namespace

TEST_F(Rinex3, EpochRecordFields)
{
    Rinex3xx w;
    ASSERT_TRUE(w.setSystemSignalInit('G', {"1C", "2W", "5Q"}));
    ASSERT_TRUE(w.setGlonassCodePhaseBias({{"1C", -0.71}, {"2P", 0.5}}));
    openWriter(w);
    auto l1 = makeObs(&GNSS_SIGNAL_GPS[0], 5, 21000000.1234, 110356000.5, -1234.5f, 47.2f);
    auto l2 = makeObs(&GNSS_SIGNAL_GPS[2], 5, 21000003.25, 85990000.75, -962.25f, 35.0f);
    l2.halfCycleOk = false;
    auto big = makeObs(&GNSS_SIGNAL_GPS[0], 7, 1000000123.5, 1234567890.125, 10.0f, 0.0f);
    auto nophase = makeObs(&GNSS_SIGNAL_GPS[0], 9, 22000000.0, 0, 0, 60.0f);
    nophase.phaseValid = nophase.dopplerValid = false;
    auto lost = makeObs(&GNSS_SIGNAL_GPS[0], 12, 23000000.0, 120000000.0, 1.0f, 54.0f);
    lost.lockOk = false;
    // GLONASS phase needs the satellite's channel.
    auto unknown = makeObs(&GNSS_SIGNAL_GLONASS[0], 4, 2.2e7, 1.2e8, 100, 42);
    unknown.glonassChannel = GLONASS_CHANNEL_UNKNOWN;
    auto known = makeObs(&GNSS_SIGNAL_GLONASS[0], 9, 2.2e7, 1.2e8, 100, 3);
    known.glonassChannel = -2;
    writeEpoch(w, 345600500, {l1, l2, big, nophase, lost, unknown, known});
    rnx3::File f = closeAndRead(w);
    ASSERT_EQ(f.epochs.size(), 1u);
    const rnx3::Epoch &e = f.epochs[0];
    EXPECT_EQ(f.types['G'], (std::vector<std::string>{"C1C", "L1C", "D1C", "S1C", "C2W", "L2W", "D2W", "S2W", "C5Q",
                                                       "L5Q", "D5Q", "S5Q"}));
    // Week 2290 day 4 = 2023-11-30, 00:00:00.5.
    EXPECT_EQ(e.line, "> 2023 11 30 00 00  0.5000000  0  6       0.000000000000");
    // Value (NAN: blank), LLI and SSI ('?': not checked) of each field. Folded
    // values a billion apart carry LLI bit 0; SSI is C/N0 / 6, at least 1, and
    // blank for a C/N0 of 0 (not measured, S blank too); no phase: blank with
    // LLI 1. R09, channel -2: 1602 MHz - 2 x 562.5 kHz, the
    // 1C code-phase bias of -0.71 m adding f x b / c cycles.
    const struct {
        const char *sat, *type;
        double value;
        char lli, ssi;
    } fields[] = {{"G05", "C1C", 21000000.123, '?', '?'}, {"G05", "L1C", 110356000.5, ' ', '7'},
                  {"G05", "L2W", 85990000.75, '2', '5'},  {"G05", "D2W", -962.25, '?', '?'},
                  {"G05", "S2W", 35.0, '?', '?'},         {"G05", "C5Q", NAN, '?', '?'},
                  {"G07", "C1C", 123.5, '1', '?'},        {"G07", "L1C", 234567890.125, '1', ' '},
                  {"G09", "L1C", NAN, '1', '?'},          {"G09", "D1C", NAN, '?', '?'},
                  {"G09", "S1C", 60.0, '?', '?'},         {"G12", "L1C", 120000000.0, '1', '9'},
                  {"R04", "L1C", 0.0, '?', '7'},
                  {"R09", "L1C", 1.2e8 + (1602e6 - 2 * 562500.0) * -0.71 / 299792458.0, '?', '1'}};
    for (const auto &x : fields) {
        const rnx3::Value &v = rnx3::obs(f, e, x.sat, x.type);
        EXPECT_EQ(logs::fields(v.present, v.present && fabs(v.value - x.value) < 6e-4, x.lli == '?' ? '?' : v.lli,
                               x.ssi == '?' ? '?' : v.ssi),
                  logs::fields(!isnan(x.value), !isnan(x.value), x.lli, x.ssi)) << x.sat << x.type << " " << v.value;
    }
    // The line ends with the last value present: the 64 blanks of 5Q and
    // trailing blanks are gone. Only codes among the GLONASS columns have a bias.
    EXPECT_EQ(logs::fields(e.sats.at("G05").size(), f.first["INTERVAL"].substr(0, 10),
                           f.first["GLONASS SLOT / FRQ #"].substr(0, 12), f.first["GLONASS COD/PHS/BIS"].substr(0, 60)),
              logs::fields(12u, "     0.000", "  1 R09 -2  ", " C1C   -0.710" + std::string(47, ' ')));
}

TEST_F(Rinex3, HeaderAlwaysFitsAndLongLinesAreWhole)
{
    // Every code of every system, plus a long comment list: far more header
    // than the 63 reserved lines.
    Rinex3xx w;
    QList<QByteArray> comments;
    for (int i = 0; i < 70; i++) comments.append(QByteArray("comment ") + QByteArray::number(i));
    ASSERT_TRUE(w.setVersion(305) && w.setCommentList(comments));
    for (int slot = 1; slot <= 24; slot++) glonass_channel_set(&w.glonassChannels, slot, slot % 14 - 7);
    openWriter(w);
    std::vector<Rinexxxx::Obs> obs;
    for (int s = 0; s < GNSS_SYSTEM_AMOUNT; s++)
        for (uint32_t i = 0; i < GNSS_SYSTEM[s].signal_amount; i++) {
            const gnss_signal_t *sig = &GNSS_SYSTEM[s].signal[i];
            if (sig->phase_shift[5] == GNSS_PHASE_SHIFT_NONE) continue;
            obs.push_back(makeObs(sig, 17, 2.3e7 + i, 1.2e8 + i, (float)i, 40));
            obs.back().glonassChannel = sig->system == GNSS_SYSTEM_GLONASS ? 3 : 0;
        }
    for (int ep = 0; ep < 3; ep++) writeEpoch(w, 5000 + ep * 1000, obs);
    rnx3::File f = closeAndRead(w);
    EXPECT_GT(f.header.size(), 64u);
    ASSERT_EQ(f.epochs.size(), 3u);
    EXPECT_EQ(f.header.back(), std::string(60, ' ') + "END OF HEADER       ");
    // Every comment survived, and every value of every epoch reads back. BDS
    // has 27 codes in 3.05: its line is 3 + 27 x 64 characters.
    size_t comment = 0, values = 0;
    for (const std::string &l : f.header) comment += l.rfind("comment ", 0) == 0;
    for (const rnx3::Epoch &e : f.epochs)
        for (const auto &s : e.sats)
            for (const rnx3::Value &v : s.second) values += v.present;
    EXPECT_EQ(logs::fields(comment, values, f.types['C'].size()), logs::fields(70u, 3 * obs.size() * 4, 4u * 27));
}

TEST_F(Rinex3, NavigationRecordsOnceWithTheirTransmissionTimes)
{
    Rinex3xx w;
    ASSERT_TRUE(w.setVersion(305));
    openWriter(w);
    gps_nav_t a = sampleGps(5, 345600), b = sampleGps(5, 352800), mixed = sampleGps(6, 345600);
    // Each ephemeris once; a subframe pair from two uploads is not written,
    // nor are PRNs 0 and 100. (A braced list is evaluated left to right.)
    mixed.iode3 = 78;
    const std::vector<bool> written = {w.writeNGps(a) > 0, w.writeNGps(a) > 0, w.writeNGps(a) > 0, w.writeNGps(b) > 0,
                                       w.writeNGps(a) > 0, w.writeNGps(mixed) > 0, w.writeNGps(sampleGps(0, 345600)) > 0,
                                       w.writeNGps(sampleGps(100, 345600)) > 0};
    EXPECT_EQ(written, (std::vector<bool>{true, false, false, true, true, false, false, false}));
    // QZSS without a transmission time before any epoch: unknown, as GPS.
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
    early.week = 2289, early.tow = 597600;
    EXPECT_GT(w.writeNGps(early), 0);
    rnx3::File nav;
    closeAndRead(w, &nav);
    const std::vector<NavRecord> r = navRecords(nav);
    ASSERT_EQ(r.size(), 8u);
    bool blank = false;
    dfield(r[0].lines[6], 1, &blank);
    // No transmission time and no epoch yet: the "unknown" value; 3.05 has
    // no fit interval here.
    EXPECT_EQ(logs::fields(r[0].first.substr(0, 23), r[1].first.substr(0, 23), r[2].first.substr(0, 23), r[0].lines.size(),
                           dfield(r[0].lines[4], 2), dfield(r[0].lines[6], 0), blank,
                           nav.first["RINEX VERSION / TYPE"].substr(0, 60)),
              logs::fields("G05 2023 11 30 00 00 00", "G05 2023 11 30 02 00 00", "G05 2023 11 30 00 00 00", 7u, 2290.0,
                           0.9999e9, true, "     3.05           NAVIGATION DATA     M: MIXED            "));
    EXPECT_EQ(logs::fields(r[3].first.substr(0, 3), dfield(r[3].lines[6], 0), dfield(r[4].lines[6], 0),
                           r[5].first.substr(0, 3), dfield(r[5].lines[6], 0), dfield(r[6].lines[6], 0)),
              logs::fields("J02", 0.9999e9, 345600.0, "J02", 345600.0, 606600.0));
    // toe 0 sent in week 2289 belongs to week 2290: the record says so.
    EXPECT_EQ(logs::fields(r[7].first.substr(0, 23), dfield(r[7].lines[4], 2), dfield(r[7].lines[6], 0)),
              logs::fields("G04 2023 11 26 00 00 00", 2290.0, 597600.0 - 604800.0));
}

TEST_F(Rinex3, RateLimitWithRtcm3)
{
    RtcmRun r;
    startRun(r, true, "r.00O", 2000);
    // G20's lock: lost at the dropped epoch of second 1, so the next phase
    // written carries the slip.
    const unsigned g20[] = {190, 0, 190, 222, 254};
    for (int s = 0; s < 5; s++) {
        rtcm3enc::Msm m = msm(1077, kTow + s * 1000, 1, 5 + s, 70.0);
        m.sats.push_back(msm(1077, 0, 0, 20, 90.0).sats[0]);
        m.sats.back().cells[0].lock = g20[s];
        r.in(m);
        r.in(msm(1097, kTow + s * 1000, 0, 10 + s, 80.0));
    }
    rnx3::File f = closeAndRead(r.w);
    ASSERT_EQ(f.epochs.size(), 3u);
    // The dropped epochs leave nothing behind in the next one.
    EXPECT_EQ(logs::fields(satellitesOf(f.epochs[1]), f.first["INTERVAL"].substr(0, 10), lliOf(f, 0, "G20"), lliOf(f, 1, "G20")),
              logs::fields(std::vector<std::string>{"E12", "G07", "G20"}, "     2.000", '1', '1'));
    // An epoch older than the last written one (a log going back in time)
    // is dropped, and second 1 stays in the bucket of second 0.
    RtcmRun back;
    startRun(back, true, "back.00O", 2000);
    for (int s : {0, -4, 1}) back.in(msm(1077, kTow + s * 1000, 0, 5, 70.0));
    EXPECT_EQ(closeAndRead(back.w).epochs.size(), 1u);
    // A limit of a million seconds or more has no INTERVAL that F10.3 can
    // hold: the optional line is left out rather than its label pushed out
    // of column 61.
    RtcmRun rare;
    startRun(rare, true, "rare.00O", 1000000000);
    rare.in(msm(1077, kTow, 0, 5, 70.0));
    const rnx3::File once = closeAndRead(rare.w);
    const auto interval = std::count_if(once.header.begin(), once.header.end(),
                                        [](const std::string &l) { return l.find("INTERVAL") != std::string::npos; });
    EXPECT_EQ(logs::fields(once.epochs.size(), interval), logs::fields(1u, 0));
}

TEST_F(Rinex3, PpkMarkersWithRtcm3)
{
    RtcmRun r;
    ASSERT_TRUE(r.w.setMode(2)); // "PPK Only"
    startRun(r);
    // Outside a site nothing is written in mode 2.
    r.in(msm(1077, kTow, 0, 5, 70.0));
    // A sample without a site does nothing.
    r.in(nmea("PPK,MARKER-SAMPLE,1,2,1,2290,345601.000"));
    // An empty marker number stores the site numbers but opens no site.
    const std::string place = ",a,b,1.5,c,d,e,-4467074.3577,2683011.9038,-3667008.2845";
    r.in(nmea("PPK,MARKER-BEGIN,1,2,x,SITE1," + place));
    EXPECT_EQ(logs::fields(r.w.ppkInSite, r.w.ppkSiteId[0]), logs::fields(false, 1));
    // A position that is not a number opens nothing either.
    r.in(nmea("PPK,MARKER-BEGIN,1,2,x,SITE1,0001,a,b,1.5,c,d,e,nan,2683011.9038,-3667008.2845"));
    EXPECT_FALSE(r.w.ppkInSite);
    // Name and number too long for their fields are cut to them, as ASCII
    // (an accented letter keeps its base letter).
    const std::string name = "SITE1" + std::string(65, 'N'), number = "0001" + std::string(26, '7');
    r.in(nmea("PPK,MARKER-BEGIN,1,2,x,SIT\xc3\x89" + name.substr(4) + "," + number + place));
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
    ASSERT_EQ(f.epochs.size(), 4u);
    // Event records: the time fields blank, flag 3 with four header lines
    // (new site), flag 2 with none (moving again).
    EXPECT_EQ(logs::fields(f.epochs[0].line, f.epochs[3].line),
              logs::fields(">" + std::string(30, ' ') + "3  4", ">" + std::string(30, ' ') + "2  0"));
    EXPECT_EQ(f.epochs[0].event_lines,
              (std::vector<std::string>{name.substr(0, 60) + "MARKER NAME         ",
                                        number.substr(0, 20) + std::string(40, ' ') + "MARKER NUMBER       ",
                                        " -4467074.3577  2683011.9038 -3667008.2845" + std::string(18, ' ') +
                                            "APPROX POSITION XYZ ",
                                        "        1.5000        0.0000        0.0000" + std::string(18, ' ') +
                                            "ANTENNA: DELTA H/E/N"}));
    const std::vector<std::vector<std::string>> sats = {{"E11", "G06"}, {"E12", "G07"}};
    for (int i = 1; i <= 2; i++)
        EXPECT_EQ(logs::fields(f.epochs[i].flag, f.epochs[i].count, f.epochs[i].second, satellitesOf(f.epochs[i])),
                  logs::fields(0, 2, (double)i, sats[i - 1]));
}

TEST_F(Rinex3, RealLogsMatchTheirFrames)
{
    REQUIRE_TESTDATA();
    const struct {
        const char *name;
        bool novatel;
    } logs[] = {{"gnss-converters/week-rollover-STR17.rtcm3", false}, {"gnss-converters/20190120_1956_rover.023", false},
                {"gnss-converters/sept.rtcm", false},  {"gnss-converters/javad.rtcm", false},
                {"gnss-converters/msm7.rtcm", false},  {"gnss-converters/piksi-5Hz.rtcm3", false},
                {"gpsd/rtcm3.2.log", false},           {"gnss-converters/trimble.rtcm", false},
                {"pyrtcm/pygpsdata-NTRIP-USCL00CHL0.log", false}, {"pygnssutils/pygpsdata-rtcm3.log", false},
                {"gnss-converters/missing-gps.rtcm", false},      {"novatel-gavlab/test1_rcvr1.dat", true},
                {"novatel-gavlab/test2_rcvr1.dat", true},         {"rtklib/oemv_200911218.gps", true},
                {"novatel-gavlab/OnceEachAgain.GPS", true}};
    // MSM6 and MSM7 send C/N0 in 1/16 dB-Hz: real receivers' values are
    // seldom whole, and the file must keep them.
    size_t fractional[2] = {0, 0};
    for (const auto &log : logs) {
        SCOPED_TRACE(log.name);
        std::vector<uint8_t> data = testdata::read(log.name);
        // RTCM 3 logs without a full week get one from "Time Start"; the rest
        // find theirs in their ephemerides.
        std::vector<NavRecord> records;
        rnx3::File f = convert(data, log.novatel ? 0 : util_gps_time_to_epoch(2100, 0), !log.novatel, &records);
        ASSERT_FALSE(f.epochs.empty());
        // One navigation record per satellite and ephemeris, from GPSEPHEM
        // too; GPS orbits of sqrt(A) about 5153.6 m^1/2.
        std::set<std::string> seen;
        for (const NavRecord &r : records) {
            std::string key = r.first.substr(0, 23);
            for (size_t i : {0, 2})
                if (r.lines.size() > i) key += r.lines[i].substr(0, 23);
            EXPECT_TRUE(seen.insert(key).second) << "repeated record " << key;
            EXPECT_TRUE(r.first[0] != 'G' || fabs(dfield(r.lines[1], 3) - 5153.6) < 5.0) << r.first;
        }
        if (log.novatel) {
            EXPECT_GT(compareEpochs(f, rframes::fromNovatel(data), true, &fractional[1], false), 40u);
            continue;
        }
        // The week the writer settled on, from the first epoch line.
        int32_t week = 0, ms = 0;
        util_epoch_to_gps_time(epochMs(f.epochs[0]) - llround(f.epochs[0].second * 1000), &week, &ms);
        std::map<int, int> channels;
        EXPECT_GT(compareEpochs(f, rframes::fromRtcm(data, week, &channels), false, &fractional[0], true), 0u);
        // The header's slot lines hold the channels the log teaches.
        std::string slots;
        for (const std::string &l : f.header)
            if (rnx3::label(l) == "GLONASS SLOT / FRQ #") slots += l.substr(0, 60);
        for (const auto &ch : channels) {
            char entry[16];
            snprintf(entry, sizeof entry, "R%02d %2d", ch.first, ch.second);
            EXPECT_NE(slots.find(entry), std::string::npos) << entry;
        }
    }
    EXPECT_GT(fractional[0], 1000u);
}

// Logs of legacy GPS and GLONASS observations (some with MSM of the same
// receiver): one epoch per GPS epoch time that SOURCES.md counts, each
// holding both systems, every signal that the messages' code indicators name
// among the file's types, and ranges of satellites in orbit.
TEST_F(Rinex3, RealLegacyLogsGiveWholeEpochs)
{
    REQUIRE_TESTDATA();
    // The receiver of mixed-msm-legacy.rtcm sends no GLONASS carrier at all
    // (invalid phase, channel field 0) in either message family. The one of
    // testglo.rtcm3 sends the L2 block of R08 as zeros (differences, lock and
    // C/N0) in its first 31 messages 1012, before it tracks L2: R08 has L1
    // values only there, none copied to L2.
    const struct {
        const char *name;
        size_t epochs;
        bool glonassCarrier;
        const char *l1Only;
        int l1OnlyEpochs;
    } logs[] = {{"gnss-converters/leica.rtcm", 21, true, "", 0},         {"gnss-converters/topcon.rtcm", 39, true, "", 0},
                {"gpsd/rtcm3-2.log", 83, true, "", 0},                   {"rtklib/testglo.rtcm3", 186, true, "R08", 31},
                {"gnss-converters/mixed-msm-legacy.rtcm", 34, false, "", 0}, {"gnss-converters/glo_day_rollover.rtcm", 7, true, "", 0},
                {"gpsd/rtcm3.bndm.log", 33, true, "", 0}};
    for (const auto &log : logs) {
        SCOPED_TRACE(log.name);
        std::vector<uint8_t> data = testdata::read(log.name);
        // The codes that the messages name, by the decoder (checked against the
        // standard's encoder in the decoder tests).
        std::set<std::string> named;
        for (const auto &fr : logs::rtcm3_frames(data)) {
            rtcm3_legacy_header_t h;
            rtcm3_legacy_obs_t o[RTCM3_LEGACY_MAX_SATELLITES];
            if (rtcm3_parser_legacy_header(fr.data(), (uint32_t)fr.size(), &h) != 0 || !h.extended) continue;
            const int n = rtcm3_parser_legacy(&h, o, RTCM3_LEGACY_MAX_SATELLITES);
            for (int k = 0; k < n; k++)
                for (const rtcm3_legacy_signal_t *sig : {&o[k].l1, &o[k].l2})
                    if (sig->signal) named.insert(std::string(1, GNSS_SYSTEM[sig->signal->system].letter) + sig->signal->code);
        }
        ASSERT_FALSE(named.empty());
        rnx3::File f = convert(data, util_gps_time_to_epoch(2100, 0), true);
        EXPECT_EQ(f.epochs.size(), log.epochs);
        for (const std::string &code : named) {
            const auto &types = f.types[code[0]];
            EXPECT_NE(std::find(types.begin(), types.end(), "C" + code.substr(1)), types.end()) << code;
        }
        int l1Only = 0;
        for (const rnx3::Epoch &e : f.epochs)
            if (e.sats.count(log.l1Only) && rnx3::obs(f, e, log.l1Only, "C1C").present &&
                !rnx3::obs(f, e, log.l1Only, "C2C").present && !rnx3::obs(f, e, log.l1Only, "L2C").present)
                l1Only++;
        EXPECT_EQ(l1Only, log.l1OnlyEpochs);
        // A capture that starts inside an epoch holds only its end.
        for (size_t i = 1; i < f.epochs.size(); i++) {
            const rnx3::Epoch &e = f.epochs[i];
            std::set<char> systems;
            for (const auto &sat : e.sats) {
                systems.insert(sat.first[0]);
                const rnx3::Value &v = rnx3::obs(f, e, sat.first, "C1C");
                if (!v.present || (sat.first[0] != 'G' && sat.first[0] != 'R')) continue;
                EXPECT_TRUE(v.value > 19.0e6 && v.value < 30.0e6) << e.line << sat.first << " " << v.value;
                // The GLONASS messages name the channel: the carrier is there.
                EXPECT_TRUE(sat.first[0] != 'R' || !log.glonassCarrier || rnx3::obs(f, e, sat.first, "L1C").present)
                    << e.line << sat.first;
            }
            EXPECT_TRUE(systems.count('G') && systems.count('R')) << e.line;
        }
    }
}

// A reference station's quarter cycle indicator (1005, 1006: RTCM 10403.3
// DF364) of 1 says that its legacy phase ranges already have the signals of
// one frequency in phase: the RINEX 3 shift (GLONASS L2 P: +1/4 cycle) is
// listed but not added again. Indicator 0 (unspecified) leaves the shift to
// the writer. With the shift off the header lists 0 and every phase is the
// tracked one, a quarter cycle below the shifted file's, whoever aligned it.
// Read without the prescan pass, a log whose indicator comes after its first
// epochs has those epochs shifted, and its first epoch after the indicator
// flags the quarter-cycle step as a slip.
TEST_F(Rinex3, LegacyPhasesOfAnAligningStationAreNotShiftedTwice)
{
    REQUIRE_TESTDATA();
    const struct {
        const char *name;
        bool prescan;
        bool aligned;
    } runs[] = {{"gpsd/rtcm3-2.log", true, true},
                {"gpsd/rtcm3-2.log", false, true},
                {"gnss-converters/topcon.rtcm", true, false}};
    for (const auto &run : runs) {
        SCOPED_TRACE(std::string(run.name) + (run.prescan ? "" : " without prescan"));
        std::vector<uint8_t> data = testdata::read(run.name);
        // Epochs (each ending with its 1004) before the station's first 1006.
        size_t before = 0;
        for (const auto &fr : logs::rtcm3_frames(data)) {
            const uint32_t m = rtcm3_get_uint(fr.data() + 3, 0, 12);
            if (m == 1005 || m == 1006) break;
            before += m == 1004;
        }
        rnx3::File f[2];
        for (bool shift : {false, true}) {
            Rinex3xx w;
            ASSERT_TRUE(w.setPhaseShiftEnable(shift));
            f[shift] = convert(data, util_gps_time_to_epoch(2100, 0), run.prescan, nullptr, &w);
            const std::string line = std::string("R L2P  ") + (shift ? "0.25000" : "0.00000") + std::string(46, ' ');
            EXPECT_NE(std::find(f[shift].header.begin(), f[shift].header.end(), line + "SYS / PHASE SHIFT   "),
                      f[shift].header.end());
        }
        ASSERT_EQ(f[0].epochs.size(), f[1].epochs.size());
        size_t compared = 0;
        for (size_t i = 0; i < f[1].epochs.size(); i++)
            for (const auto &sat : f[1].epochs[i].sats) {
                const rnx3::Value &on = rnx3::obs(f[1], f[1].epochs[i], sat.first, "L2P");
                const rnx3::Value &off = rnx3::obs(f[0], f[0].epochs[i], sat.first, "L2P");
                if (!on.present || !off.present) continue;
                EXPECT_NEAR(on.value - off.value, 0.25, 0.0011) << f[1].epochs[i].line << sat.first;
                if (run.aligned && !run.prescan && i == before && i > 0 &&
                    rnx3::obs(f[1], f[1].epochs[i - 1], sat.first, "L2P").present) {
                    EXPECT_TRUE(on.lli != ' ' && ((on.lli - '0') & 1)) << f[1].epochs[i].line << sat.first;
                    EXPECT_TRUE(off.lli != ' ' && ((off.lli - '0') & 1)) << f[0].epochs[i].line << sat.first;
                }
                compared++;
            }
        EXPECT_GT(compared, 100u);
        EXPECT_TRUE(run.prescan || (before > 0 && before < f[1].epochs.size()));
    }
}

// RINEX 3.04 Galileo data sources: an I/NAV record names the signal that
// carried it (bit 0 E1-B, bit 2 E5b-I, both when merged) with its E5b clock
// (bit 9), 517 when the source does not tell which; F/NAV is E5a-I with the
// E5a clock, 258. RTCM 1046 and NovAtel GALEPHEMERIS do not tell. The
// all-logs OEM file also holds two QZSSEPHEMERIS (PRN 193 and up) and eight
// GLOEPHEMERIS, the latter behind a false sync: both reach the file.
TEST_F(Rinex3, RealEphemeridesNameTheirSignalsAndReachTheFile)
{
    REQUIRE_TESTDATA();
    const std::pair<const char *, bool> logs[] = {{"gnss-converters/test_gal_eph.rtcm", false},
                                                  {"novatel-edie/advanceddecoder_alllogs.BIN", true}};
    for (const auto &log : logs) {
        SCOPED_TRACE(log.first);
        std::vector<NavRecord> records;
        convert(testdata::read(log.first), 0, false, &records);
        std::map<double, int> sources;
        std::map<char, int> systems;
        for (const NavRecord &r : records) {
            systems[r.first[0]]++;
            if (r.first[0] == 'E') sources[dfield(r.lines[4], 1)]++;
            // J01 to J10, sqrt(A) of 42,164 km.
            const int prn = atoi(r.first.substr(1, 2).c_str());
            EXPECT_TRUE(r.first[0] != 'J' || (prn >= 1 && prn <= 10 && fabs(dfield(r.lines[1], 3) - 6493.0) < 10.0))
                << r.first;
        }
        EXPECT_TRUE(sources.count(517) && sources.count(258) && sources.size() == 2u) << sources.begin()->first;
        EXPECT_TRUE(!log.second || (systems['J'] >= 1 && systems['R'] >= 1));
    }
}

TEST_F(Rinex3, HemispherePagesMakeEpochs)
{
    RtcmRun r;
    startRun(r, false);
    // Second 0: one page of three satellites; second 1: two pages.
    r.in(hemiPage(0, 0, 1, {3, 8, 14}));
    r.in(hemiPage(1, 0, 2, {3, 8}));
    r.in(hemiPage(1, 1, 2, {14, 22}));
    // Second 2: the second page is lost; the next epoch starts.
    r.in(hemiPage(2, 0, 2, {3, 8}));
    // Second 3: a second page of another time does not complete it.
    r.in(hemiPage(3, 0, 2, {3}));
    r.in(hemiPage(2, 1, 2, {14}));
    // Second 4: two pages again.
    r.in(hemiPage(4, 0, 2, {3}));
    r.in(hemiPage(4, 1, 2, {8, 22}));
    // Second 5: the log ends before its second page.
    r.in(hemiPage(5, 0, 2, {3}));
    r.w.finishInput();
    EXPECT_EQ(r.w.incompleteEpochs, 3); // seconds 2, 3 and 5
    rnx3::File f = closeAndRead(r.w);
    ASSERT_EQ(f.epochs.size(), 3u);
    EXPECT_EQ(f.types['G'], (std::vector<std::string>{"C1C", "L1C", "D1C", "S1C"}));
    // First sight of a satellite's phase is flagged.
    expectL1Epoch(f, f.epochs[0], 0, {3, 8, 14}, {3, 8, 14});
    expectL1Epoch(f, f.epochs[1], 1, {3, 8, 14, 22}, {22});
    expectL1Epoch(f, f.epochs[2], 4, {3, 8, 22}, {});
}

// A receiver logging an epoch in two formats: a NovAtel log or a Hemisphere
// page between the messages of an RTCM 3 epoch takes nothing of it away, nor
// does the rest of the RTCM 3 epoch join the other log's observations.
TEST_F(Rinex3, AnotherFormatInsideAnRtcm3Epoch)
{
    for (const std::vector<uint8_t> &other : {rangeLog(kTow + 1000, 1, 13), hemiPage(1, 0, 1, {13})}) {
        RtcmRun r;
        startRun(r, true, other[0] == '$' ? "h.00O" : "n.00O");
        r.in(msm(1077, kTow + 1000, 1, 5, 70.0));
        r.in(other);
        r.in(msm(1097, kTow + 1000, 0, 11, 80.0));
        r.in(msm(1077, kTow + 2000, 0, 6, 71.0));
        rnx3::File f = closeAndRead(r.w);
        ASSERT_EQ(f.epochs.size(), 2u);
        EXPECT_EQ(satellitesOf(f.epochs[0]), (std::vector<std::string>{"E11", "G05", "G13"}));
        EXPECT_EQ(satellitesOf(f.epochs[1]), (std::vector<std::string>{"G06"}));
    }
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
    w.gpsIonUtc.dt_ls = w.gpsIonUtc.dt_lsf = w.leapSeconds = 18;
    w.gpsIonUtc.week_lsf = 1929;
    w.gpsIonUtc.day = 7;
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
    rnx3::File gps = readBack(path("t.23N"), true), glo = readBack(path("t.23G"), true);
    EXPECT_EQ(logs::fields(gps.first["RINEX VERSION / TYPE"].substr(40, 20),
                           gps.first["IONOSPHERIC CORR"].substr(0, 17), gps.first["LEAP SECONDS"].substr(0, 27),
                           glo.first["RINEX VERSION / TYPE"].substr(40, 20),
                           glo.first["IONOSPHERIC CORR"].substr(0, 17), glo.first["LEAP SECONDS"].substr(0, 27),
                           navRecords(gps).size(), navRecords(glo).size()),
              logs::fields("G: GPS              ", "GPSA    .2500D-07", "    18    18  1929     7GPS",
                           "R: GLONASS          ", "BDSA    .1100D-07", "    18                  GPS", 1u, 1u));
    for (const rnx3::File *f : {&gps, &glo})
        EXPECT_EQ(logs::fields(f->header.size(), f->header.back()), logs::fields(16u, std::string(60, ' ') + "END OF HEADER       "));

    // The mixed file keeps records of a masked system.
    Rinex3xx m;
    ASSERT_TRUE(m.setMaskSystem({'G'}));
    openWriter(m, 2, "m.00O");
    EXPECT_GT(m.writeNGps(sampleGps(6, 345600)), 0);
    m.close();
}
