// NovAtel OEM binary decoding: frames built by the test encoder from chosen
// values come back with the scale factors and signs of the log reference,
// the edge cases of numbering, PRN offsets and counts are refused or mapped
// as they must be, and real receiver logs decode to physically sane values.
#include "novatel.h"
#include "log_frames.h"
#include "novatel_encoder.h"
#include "testdata.h"
#include "util.h"

#include <gtest/gtest.h>

#include <math.h>

#include <algorithm>
#include <map>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

using novenc::Body;
using novenc::Header;
using novenc::status;

namespace {

const double C = 299792458.0;

std::string letter_code(const novatel_range_obs_t &o)
{
    if (!o.nov_signal) return "";
    const gnss_signal_t *s = o.nov_signal->signal;
    return std::string(1, GNSS_SYSTEM[s->system].letter) + s->code;
}

struct Decoded {
    novatel_header_t header;
    int rc;
};

Decoded header_of(const std::vector<uint8_t> &f)
{
    Decoded d;
    d.rc = novatel_parser_header(f.data(), (uint32_t)f.size(), &d.header);
    return d;
}

// Header and list of a frame the caller keeps: the list points into it.
template <typename L>
int parse(int (*parser)(const uint8_t *, const novatel_header_t *, L *, int), const std::vector<uint8_t> &f, L *out,
          int numbering = 0, uint16_t id = 0)
{
    Decoded d = header_of(f);
    EXPECT_EQ(d.rc, 0);
    if (id) d.header.id = id;
    return parser(f.data(), &d.header, out, numbering);
}

// Observation `i` of a RANGE (or RANGECMP) list, which must be there.
novatel_range_obs_t obs_at(const novatel_range_t &list, uint32_t i, bool cmp = false)
{
    novatel_range_obs_t o{};
    EXPECT_EQ((cmp ? novatel_rangecmp_get_obs : novatel_range_get_obs)(&list, i, &o), 0) << i;
    return o;
}

} // namespace

// ---- RANGECMP ---------------------------------------------------------------------------------

TEST(Novatel, RangecmpScalesSignsAndRollOver)
{
    // Scales and signs of every field are also compared with the receiver's
    // own RANGEA in the real-data pass; here the edges real logs never reach.
    const double f1 = 1575420000.0;
    // GLONASS G1, slot 45 -> 8, channel -4 (field 3): the roll-over uses the
    // channel's own carrier.
    const double fg = 1602000000.0 - 4 * 562500.0;
    const double psr1 = 19876543.25;
    const double adr1 = -floor(psr1 * fg / C) + 3.25;
    // Fields: status, Doppler, psr, adr, psr std index, adr std code, PRN,
    // lock time, C/N0 code, frequency.
    const std::vector<novenc::RangecmpRecord> r = {
        // the largest positive 28-bit Doppler; lock time 1234.5 s
        {status(1, 0, 1, true, true), 0x7FFFFFF, (uint64_t)llround(psr1 * 128), llround(adr1 * 256), 3, 2, 45, 39504,
         25, 3},
        // ADR of 10 cycles against a pseudorange whose expected ADR is
        // 8388600 cycles: one roll-over.
        {status(0, 0, 4, true, true), 0, (uint64_t)llround(8388600.0 * C / f1 * 128), 10 * 256, 0, 0, 9, 0, 0, 0},
        {status(0, 30, 0, true, true), 0, 0, 0, 0, 0, 3, 0, 0, 0}, // unknown signal type
    };
    std::vector<uint8_t> f = novenc::list_frame(r);
    novatel_range_t list;
    ASSERT_EQ(parse(novatel_parser_rangecmp, f, &list), 0);
    ASSERT_EQ(list.amount, 3u);
    novatel_range_obs_t o = obs_at(list, 0, true);
    EXPECT_EQ(logs::fields(letter_code(o), o.prn, o.channel, o.glofreq, o.psr, o.adr, o.doppler),
              logs::fields("R1C", 8, 1, -4, psr1, adr1, (float)(134217727 / 256.0)));
    EXPECT_EQ(logs::fields(o.psr_std, o.adr_std, o.locktime, o.cno), logs::fields(0.169f, 3.0f / 512.0f, 1234.5f, 45.0f));
    EXPECT_EQ(obs_at(list, 1, true).adr, 10.0 - 8388608.0);
    EXPECT_EQ(novatel_rangecmp_get_obs(&list, 2, &o), -1); // signal not in the table
}

// ---- RANGECMP2 --------------------------------------------------------------------------------

namespace {

struct Cmp2Builder {
    Body body;
    size_t at = 4;
    void sat(const novenc::SatBlock &s)
    {
        novenc::put_sat_block(body, at, s);
        at += 10;
    }
    void sig(const novenc::SignalBlock &s)
    {
        novenc::put_signal_block(body, at, s);
        at += 12;
    }
    std::vector<uint8_t> frame(Header h = Header(), int64_t count = -1)
    {
        h.id = 1273;
        body.grow(at);
        body.u32(0, count >= 0 ? (uint32_t)count : (uint32_t)(at - 4));
        return novenc::frame(h, body.b);
    }
};

novenc::SignalBlock plain(uint8_t type, uint32_t phase_diff_2048 = 0)
{
    return {type, false, false, false, 0, 0, 0, 0, 0, phase_diff_2048, 0};
}

typedef std::vector<int> Codes;

// What novatel_rangecmp2_next returns over a frame: every code up to the
// first that ends the walk (not 0, 2 or 3), and `after` more calls.
Codes walk(novatel_rangecmp2_t *cur, int after = 2)
{
    novatel_range_obs_t o;
    Codes codes;
    for (int ended = 0; ended < after && codes.size() < 40;) {
        codes.push_back(novatel_rangecmp2_next(cur, &o));
        if (ended || (codes.back() != 0 && codes.back() != 2 && codes.back() != 3)) ++ended;
    }
    return codes;
}

novatel_range_obs_t next_obs(novatel_rangecmp2_t *cur)
{
    novatel_range_obs_t o{};
    EXPECT_EQ(novatel_rangecmp2_next(cur, &o), 0);
    return o;
}

} // namespace

TEST(Novatel, Rangecmp2BlocksValuesAndSkips)
{
    // Satellite blocks: channel, PRN, frequency, system, psr base (m),
    // Doppler base (Hz), signals. Signal blocks: type, phase lock, parity,
    // code lock, lock ms, C/N0 - 20, psr std, adr std, psr in 1/128 m, phase
    // in 1/2048 m, Doppler in 1/256 Hz, the last three against the satellite's.
    const novenc::SignalBlock l1{1, true, true, true, 65000, 28, 2, 3, 15808, 205312, -384}; // 123.5, 100.25 m, -1.5 Hz
    Cmp2Builder b;
    b.sat({12, 7, 0, 0, 21000000, -2000, 2});
    b.sig(l1);
    b.sig({4, false, false, true, 0, 0, 15, 15, 12800, 615424, 256}); // 100, 300.5 m, 1 Hz
    b.sat({0, 1, 0, 3, 0, 0, 1}); // system 3 names no system
    b.sig(l1);
    b.sat({0, 40, 9, 1, 19100000, 1000, 2}); // GLONASS channel +2
    b.sig(plain(3, 2048 * 7));
    b.sig(plain(1, 2048 * 7));
    b.sat({0, 10, 0, 6, 0, 0, 1});
    b.sig(plain(31));

    std::vector<uint8_t> f = b.frame();
    novatel_rangecmp2_t cur;
    ASSERT_EQ(parse(novatel_parser_rangecmp2, f, &cur), 0);
    novatel_range_obs_t o = next_obs(&cur);
    EXPECT_EQ(logs::fields(letter_code(o), o.prn, o.channel, o.status, o.phase_lock, o.parity_known, o.code_lock),
              logs::fields("G1C", 7, 12, 0u, 1, 1, 1));
    EXPECT_EQ(logs::fields(o.locktime, o.cno, o.psr_std, o.adr_std, o.psr, o.doppler),
              logs::fields(65.0f, 48.0f, 0.045f, 0.00929f, 21000123.5, -2001.5f));
    EXPECT_NEAR(o.adr, -21000100.25 * 1575420000.0 / C, 1e-6);
    o = next_obs(&cur);
    EXPECT_EQ(logs::fields(letter_code(o), o.phase_lock, o.psr, o.psr_std, o.adr_std),
              logs::fields("G2W", 0, 21000100.0, 9.999f, 9.99999f));
    EXPECT_NEAR(o.adr, -21000300.5 * 1227600000.0 / C, 1e-6);
    EXPECT_NEAR(o.doppler, -1999.0 * 1227.6 / 1575.42, 1e-3);

    EXPECT_EQ(novatel_rangecmp2_next(&cur, &o), 2); // system 3 skipped whole

    // GLONASS: the carriers of channel +2, the Doppler base on G1.
    for (const char *code : {"R2C", "R1C"}) {
        o = next_obs(&cur);
        const double carrier = code[1] == '2' ? 1246000000.0 + 2 * 437500.0 : 1602000000.0 + 2 * 562500.0;
        EXPECT_EQ(logs::fields(letter_code(o), o.prn, o.glofreq), logs::fields(code, 3, 2));
        EXPECT_NEAR(o.adr, -19100007.0 * carrier / C, 1e-6);
        EXPECT_NEAR(o.doppler, 1000.0 * carrier / (1602000000.0 + 2 * 562500.0), 1e-3);
    }
    EXPECT_EQ(walk(&cur), (Codes{3, 1, 1})); // BDS type 31 not in the table; then the end, for good

    // Numbering 3 (header type not 0) has no RANGECMP2 column.
    Header h3;
    h3.type = 1;
    f = b.frame(h3);
    ASSERT_EQ(parse(novatel_parser_rangecmp2, f, &cur), 0);
    EXPECT_EQ(walk(&cur), (Codes{3, 3, 2, 3, 3, 3, 1, 1}));
    // Numbering 2 maps QZSS type 8 to L1 CD and GPS type 5 to nothing;
    // numbering 0 type 8 to L1 CP.
    Cmp2Builder q;
    q.sat({0, 194, 0, 7, 0, 0, 2});
    q.sig(plain(8));
    q.sig(plain(5));
    f = q.frame();
    for (int numbering : {2, 0}) {
        ASSERT_EQ(parse(novatel_parser_rangecmp2, f, &cur, numbering), 0);
        o = next_obs(&cur);
        EXPECT_EQ(logs::fields(letter_code(o), o.prn), logs::fields(numbering ? "J1S" : "J1L", 2));
        EXPECT_EQ(novatel_rangecmp2_next(&cur, &o), 3);
    }
}

// ---- ephemerides ------------------------------------------------------------------------------

namespace {

// Distinct doubles written at body offsets of the log reference, each checked
// to come back in the field it names: a shifted or swapped offset fails. Each
// run is a start offset and the doubles that follow one another from there.
struct Run {
    size_t at;
    std::vector<const double *> fields;
};

struct DoubleFields {
    std::vector<Run> runs;
    static double value(size_t k) { return (k % 2 ? -1.0 : 1.0) * (k + 1) * pow(10.0, -(double)(k % 7)) * 1.0009765625; }
    template <typename F> void each(F f) const
    {
        size_t k = 0;
        for (const Run &r : runs)
            for (size_t i = 0; i < r.fields.size(); ++i, ++k) f(r.at + 8 * i, r.fields[i], value(k));
    }
    Body body(size_t size) const
    {
        Body b(size);
        each([&b](size_t at, const double *, double v) { b.f64(at, v); });
        return b;
    }
    void expect() const
    {
        each([](size_t at, const double *field, double v) { EXPECT_EQ(*field, v) << "body offset " << at; });
    }
};

template <typename T>
int decode(int (*parser)(const uint8_t *, const novatel_header_t *, T *), const Header &h, const Body &b, T *out)
{
    std::vector<uint8_t> f = novenc::frame(h, b.b);
    Decoded d = header_of(f);
    EXPECT_EQ(d.rc, 0);
    return parser(f.data(), &d.header, out);
}

// Body `b` decoded as the log of `h` with the doubles of `d` in their fields;
// a body one byte shorter and a wrong id are refused.
template <typename T>
void decode_all(int (*parser)(const uint8_t *, const novatel_header_t *, T *), Header h, const Body &b,
                const DoubleFields &d, T *out)
{
    ASSERT_EQ(decode(parser, h, b, out), 0) << h.id;
    d.expect();
    T other;
    EXPECT_EQ(decode(parser, h, Body(b.b.size() - 1), &other), -1) << h.id;
    EXPECT_EQ(decode(parser, h, Body(b.b.size()), &other), 0) << h.id;
    h.id = 9;
    EXPECT_EQ(decode(parser, h, b, &other), -1);
}

} // namespace

TEST(Novatel, GpsAndQzssEphemeris)
{
    novatel_gps_ephemeris_t e;
    const gps_nav_t &n = e.nav;
    DoubleFields d{{{48, {&n.delta_n, &n.m0, &n.e, &n.omega, &n.cuc, &n.cus, &n.crc, &n.crs, &n.cic, &n.cis, &n.i0,
                          &n.idot, &n.omega0, &n.omega_dot}},
                    {172, {&n.tgd, &n.af0, &n.af1, &n.af2}}}};
    Body b = d.body(224);
    b.u32s({{0, 7}, {12, 39}, {16, 48}, {20, 49}, {24, 1761}, {28, 1761}, {160, 300}, {204, 1}});
    // Transmission time 316319.6 is rounded, toe 316800.9 truncated; a URA
    // variance of 7.84 is 2.8 m.
    b.f64s({{4, 316319.6}, {32, 316800.9}, {40, 2.656026876e7}, {164, 316800.7}, {208, 1.4585e-4}, {216, 7.84}});
    Header h;
    h.id = 7;
    decode_all(novatel_parser_gpsephem, h, b, d, &e);
    // A full week stays as it is; the log carries A itself.
    EXPECT_EQ(logs::fields(e.header.id, n.prn, n.tow, n.health, n.week, n.iode, n.iode3, n.toe, n.toc, n.iodc, n.ura,
                           n.fit, n.sqrt_a),
              logs::fields(7, 7, 316320, 39, 1761, 48, 49, 316800u, 316800u, 300, 1, 0, sqrt(2.656026876e7)));
    // Times that are no times of week are not converted into garbage.
    b.f64s({{4, -3.0}, {32, NAN}});
    ASSERT_EQ(decode(novatel_parser_gpsephem, h, b, &e), 0);
    EXPECT_EQ(logs::fields(n.tow, n.toe), logs::fields(-1, 0u));

    // QZSSEPHEMERIS: the same fields and the fit interval flag after them;
    // PRN 193 is J01.
    h.id = 1336;
    b.f64(216, 4.0);
    b.u8(224, 1);
    for (uint32_t prn : {193u, 202u}) {
        b.u32(0, prn);
        decode_all(novatel_parser_qzssephemeris, h, b, d, &e);
        EXPECT_EQ(logs::fields(n.prn, n.fit, n.ura), logs::fields(prn - 192, 1, 0));
    }
}

TEST(Novatel, BdsEphemerides)
{
    novatel_bds_ephemeris_t e;
    const bd2_nav_t &n = e.nav;
    // sqrt_a too: this log carries the root itself.
    DoubleFields d{{{20, {&n.tgd1, &n.tgd2}},
                    {44, {&n.a0, &n.a1, &n.a2}},
                    {76, {&n.sqrt_a, &n.e, &n.omega, &n.delta_n, &n.m0, &n.omega0, &n.omega_dot, &n.i0, &n.idot,
                          &n.cuc, &n.cus, &n.crc, &n.crs, &n.cic, &n.cis}}}};
    Body b = d.body(196);
    b.u32s({{0, 6}, {4, 853}, {16, 1}, {36, 3}, {40, 493200}, {68, 4}, {72, 496800}});
    b.f64(8, 2.8); // URA in metres
    Header h;
    h.id = 1696;
    decode_all(novatel_parser_bdsephemeris, h, b, d, &e);
    EXPECT_EQ(logs::fields(n.prn, n.week, n.ura, n.health, n.aodc, n.toc, n.aode, n.toe, n.tow),
              logs::fields(6, 853, 1, 1, 3, 493200u, 4, 496800u, -1));
    // Given as the range logs' PRN, 161 is C01 and 197 C37; a URA of 2 m is index 0.
    b.f64(8, 2.0);
    for (uint32_t prn : {161u, 197u}) {
        b.u32(0, prn);
        ASSERT_EQ(decode(novatel_parser_bdsephemeris, h, b, &e), 0);
        EXPECT_EQ(logs::fields((uint32_t)n.prn, n.ura), logs::fields(prn - 160, 0)) << prn;
    }

    // BD2EPHEM: the GPSEPHEM order with AODE/AODC and two group delays; its
    // week is GPS-based.
    DoubleFields g{{{48, {&n.delta_n, &n.m0, &n.e, &n.omega, &n.cuc, &n.cus, &n.crc, &n.crs, &n.cic, &n.cis, &n.i0,
                          &n.idot, &n.omega0, &n.omega_dot}},
                    {172, {&n.tgd1, &n.tgd2, &n.a0, &n.a1, &n.a2}}}};
    Body c = g.body(232);
    c.u32s({{0, 1}, {16, 1}, {20, 1}, {24, 1971}, {28, 1971}, {160, 7}});
    c.f64s({{4, 121050.4}, {32, 118800.0}, {40, 4.216468048e+07}, {164, 118800.0}, {216, 7.29e-5}, {224, 16.0}});
    h.id = 1047;
    decode_all(novatel_parser_bd2ephem, h, c, g, &e);
    EXPECT_EQ(logs::fields(n.prn, n.week, n.tow, n.aode, n.aodc, n.toe, n.toc, n.ura, n.sqrt_a),
              logs::fields(1, 1971 - 1356, 121050, 1, 7, 118800u, 118800u, 2, sqrt(4.216468048e+07)));
    c.u32(0, 165);
    ASSERT_EQ(decode(novatel_parser_bd2ephem, h, c, &e), 0);
    EXPECT_EQ(n.prn, 5);
}

// ---- real receiver logs -------------------------------------------------------------------------
namespace {

void expect_within(std::initializer_list<std::tuple<const char *, double, double, double>> checks)
{
    for (const auto &c : checks)
        EXPECT_TRUE(std::get<1>(c) >= std::get<2>(c) && std::get<1>(c) <= std::get<3>(c))
            << std::get<0>(c) << " " << std::get<1>(c);
}

// Carrier of an observation, from the signal's RINEX code and the frequency
// channel (GLONASS): L1 1575.42, L2 1227.6 MHz; G1 1602 + k 0.5625, G2 1246
// + k 0.4375 MHz.
double carrier_of(const novatel_range_obs_t &o)
{
    std::string code = letter_code(o);
    if (code[0] == 'G') return code[1] == '1' ? 1575.42e6 : code[1] == '2' ? 1227.6e6 : 1176.45e6;
    if (code[0] == 'R') return code[1] == '1' ? 1602e6 + o.glofreq * 562500.0 : 1246e6 + o.glofreq * 437500.0;
    return 0;
}

std::string key_of(long ms, uint32_t system, uint32_t signal_type, int prn)
{
    return std::to_string(ms) + "/" + std::to_string(system) + "/" + std::to_string(signal_type) + "/" +
           std::to_string(prn);
}

// A receiver's ASCII RANGEA records ("#RANGEA,header;body*crc"), by
// key_of(ms, system, signal type, satellite): PRN, channel, psr, psr std,
// adr, adr std, doppler, C/N0, lock time and status of each observation.
std::map<std::string, std::vector<double>> read_rangea(const std::string &name, int *records)
{
    std::map<std::string, std::vector<double>> out;
    *records = 0;
    std::vector<uint8_t> text = testdata::read(name);
    std::istringstream in(std::string(text.begin(), text.end()));
    for (std::string line; std::getline(in, line);) {
        size_t semi = line.find(';'), star = line.find('*');
        if (line.compare(0, 8, "#RANGEA,") != 0 || semi == std::string::npos || star == std::string::npos) continue;
        std::replace(line.begin(), line.end(), ',', ' ');
        // Port, sequence, idle time, time status, week, seconds.
        std::istringstream head(line.substr(8, semi - 8)), body(line.substr(semi + 1, star - semi - 1));
        std::string skip;
        double seconds = 0;
        size_t n = 0;
        head >> skip >> skip >> skip >> skip >> skip >> seconds;
        body >> n;
        std::map<std::string, std::vector<double>> got;
        for (size_t i = 0; i < n; ++i) {
            std::vector<double> v(10);
            uint32_t status = 0;
            for (int k = 0; k < 9; ++k) body >> v[k];
            body >> std::hex >> status >> std::dec;
            v[9] = status;
            const int prn = (int)v[0] - (((status >> 16) & 7) == 1 ? 37 : 0); // GLONASS slots are sent as 38..61
            got[key_of(lround(seconds * 1000), (status >> 16) & 7, (status >> 21) & 31, prn)] = v;
        }
        if (!head || !body) continue;
        ++*records;
        for (const auto &g : got) out[g.first] = g.second;
    }
    return out;
}

} // namespace

// RANGE and RANGECMP logs of several receivers: every observation names its
// signal, and code and carrier agree; where the receiver also logged its
// RANGEA, every observation matches it.
TEST(NovatelData, RangeLogsMatchTheirAsciiAndCodeCarrierAgrees)
{
    REQUIRE_TESTDATA();
    const struct {
        const char *name;
        uint16_t id;
        int logs;
        size_t pairs;
        const char *ascii;
    } files[] = {{"novatel-gavlab/test1_rcvr1.dat", 43, 500, 5000, "novatel-gavlab/test1_rcvr1.ASC"},
                 {"novatel-gavlab/test2_rcvr1.dat", 140, 400, 10000, "novatel-gavlab/test2_rcvr1_decompressed.ASC"},
                 {"novatel-gavlab/test1_rcvr2.dat", 43, 500, 5000, nullptr},
                 {"novatel-gavlab/OnceEachAgain.GPS", 43, 1, 0, nullptr},
                 {"novatel-gavlab/MorePropak.GPS", 43, 1, 0, nullptr},
                 {"rtklib/oemv_200911218.gps", 140, 1, 0, nullptr},
                 {"novatel-gavlab/test2_rcvr2.dat", 140, 1, 0, nullptr},
                 {"novatel-gavlab/MorePropak.GPS", 140, 1, 0, nullptr},
                 {"novatel-gavlab/OnceEachAgain.GPS", 140, 1, 0, nullptr}};
    // Printed to mm, 1/256 cycle, 1/256 Hz and 1/32 s; RANGECMP holds 1/128
    // m, 1/256 cycle, 1/256 Hz and 1/32 s.
    const double tolerance[] = {0.01, 0.001, 0.005, 0.001, 0.006, 1.0, 0.04};
    for (const auto &file : files) {
        SCOPED_TRACE(std::string(file.name) + " " + std::to_string(file.id));
        int ascii_records = 0, logs = 0, matched = 0, unmatched = 0;
        std::map<std::string, std::vector<double>> ascii, last; // last: time, psr, adr, lock time by signal and satellite
        if (file.ascii) ascii = read_rangea(file.ascii, &ascii_records);
        std::vector<double> diffs;
        const bool cmp = file.id == 140;
        for (const auto &f : logs::novatel_frames(testdata::read(file.name))) {
            Decoded d = header_of(f);
            ASSERT_EQ(d.rc, 0);
            if (d.header.id != file.id) continue;
            ++logs;
            novatel_range_t list;
            ASSERT_EQ((cmp ? novatel_parser_rangecmp : novatel_parser_range)(f.data(), &d.header, &list, 0), 0);
            for (uint32_t i = 0; i < list.amount; ++i) {
                const novatel_range_obs_t o = obs_at(list, i, cmp);
                ASSERT_NE(o.nov_signal, nullptr) << "system " << (int)o.system << " type " << (int)o.signal_type;
                const std::string code = letter_code(o);
                // Code-carrier agreement between successive epochs of one
                // signal locked throughout.
                const double t = d.header.week * 604800.0 + d.header.ms / 1000.0, fc = carrier_of(o);
                if (o.phase_lock && o.code_lock && fc != 0) {
                    std::vector<double> &p = last[code + "/" + std::to_string(o.prn)];
                    if (!p.empty() && t > p[0] && t - p[0] <= 30 && o.locktime >= p[3] + (t - p[0]) - 0.2)
                        diffs.push_back(fabs((o.psr - p[1]) + (o.adr - p[2]) * C / fc));
                    p = {t, o.psr, o.adr, o.locktime};
                }
                if (!file.ascii) continue;
                const std::string key = key_of(d.header.ms, o.system, o.signal_type, o.prn);
                auto it = ascii.find(key);
                if (it == ascii.end() && ++unmatched) continue;
                ++matched;
                const std::vector<double> &a = it->second;
                const double got[] = {o.psr, o.psr_std, o.adr, o.adr_std, o.doppler, o.cno, o.locktime};
                for (int k = 0; k < 7; ++k) EXPECT_NEAR(got[k], a[k + 2], tolerance[k]) << key << " field " << k + 2;
                EXPECT_EQ(logs::fields(o.status, o.system == 1 ? o.glofreq : 0),
                          logs::fields((uint32_t)a[9], o.system == 1 ? (int)a[1] - 7 : 0))
                    << key;
            }
        }
        // Code and carrier agree to a few metres between epochs: the median
        // well below a metre, hardly any pair (multipath, unflagged slips)
        // above 5 m and none above 20 m. A wrong wavelength, sign or scale
        // fails this.
        EXPECT_EQ(logs::fields(logs >= file.logs, diffs.size() >= file.pairs), logs::fields(true, true))
            << logs << " logs, " << diffs.size() << " pairs";
        std::sort(diffs.begin(), diffs.end());
        if (!diffs.empty()) {
            size_t above5 = diffs.end() - std::upper_bound(diffs.begin(), diffs.end(), 5.0);
            expect_within({{"median", diffs[diffs.size() / 2], 0, 0.5},
                           {"above 5 m", (double)above5, 0, diffs.size() / 1000.0},
                           {"largest", diffs.back(), 0, 20.0}});
        }
        if (file.ascii) {
            EXPECT_EQ(logs::fields(ascii_records > 400, matched > 10000, unmatched), logs::fields(true, true, 0))
                << ascii_records << " records, " << matched << " matched";
        }
    }
}

// Every ephemeris, parameter and time log is physically sane, and GLONASS
// ephemerides give each slot the frequency channel its ranges show.
TEST(NovatelData, EphemeridesArePhysical)
{
    REQUIRE_TESTDATA();
    int glo = 0, gal = 0, ionutc = 0, time_logs = 0, channels = 0;
    for (const char *name :
         {"novatel-gavlab/test1_rcvr1.dat", "novatel-gavlab/test1_rcvr2.dat", "novatel-gavlab/test2_rcvr1.dat",
          "novatel-gavlab/test2_rcvr2.dat", "novatel-gavlab/OnceEachAgain.GPS", "novatel-gavlab/MorePropak.GPS",
          "novatel-gavlab/PropakWithGlonass.GPS", "novatel-edie/advanceddecoder_alllogs.BIN",
          "rtklib/oemv_200911218.gps", "novatel-oem7-driver/time.gps", "novatel-oem7-driver/bestpos.gps"}) {
        SCOPED_TRACE(name);
        std::map<int, int> from_ephemeris, from_ranges;
        for (const auto &f : logs::novatel_frames(testdata::read(name))) {
            Decoded d = header_of(f);
            ASSERT_EQ(d.rc, 0);
            const novatel_header_t &h = d.header;
            novatel_range_t list;
            novatel_gloephemeris_t r;
            novatel_galephemeris_t e;
            novatel_ionutc_t u;
            novatel_time_t t;
            if (h.id == 140) {
                ASSERT_EQ(novatel_parser_rangecmp(f.data(), &h, &list, 0), 0);
                for (uint32_t i = 0; i < list.amount; ++i) {
                    const novatel_range_obs_t o = obs_at(list, i, true);
                    if (o.system == 1) from_ranges[o.prn] = o.glofreq;
                }
            } else if (h.id == 723 && ++glo) {
                ASSERT_EQ(novatel_parser_gloephemeris(f.data(), &h, &r), 0);
                const glonass_nav_t &n = r.nav;
                from_ephemeris[n.slot] = n.frequency_channel;
                // tb is dated within a day of the log's own time.
                int64_t log_utc = util_gps_time_to_epoch(h.week, h.ms) - (10800 - r.time_offset) * 1000LL;
                // Earth-fixed speed: 3.95 km/s less up to 1.9 of rotation.
                expect_within({{"radius", sqrt(n.x * n.x + n.y * n.y + n.z * n.z), 25300.0, 25700.0},
                               {"speed", sqrt(n.vx * n.vx + n.vy * n.vy + n.vz * n.vz), 2.0, 4.6},
                               {"slot", (double)n.slot, 1, 24},
                               {"channel", (double)n.frequency_channel, -7, 6},
                               {"time offset", (double)r.time_offset, 10700, 10799},
                               {"tb - log", fabs((double)(n.tb_time - log_utc)), 0, 86399999},
                               {"tk - tb", fabs((double)(n.tk_time - n.tb_time)), 0, 86399999}});
            } else if (h.id == 1122 && ++gal) {
                ASSERT_EQ(novatel_parser_galephemeris(f.data(), &h, &e), 0);
                expect_within({{"received", (double)(e.fnav_received || e.inav_received), 1, 1},
                               {"sqrt A", e.inav.sqrt_a, 5438.6, 5442.6},
                               {"e", e.inav.e, 0, 0.03},
                               {"i0", e.inav.i0, 56.0 * M_PI / 180 - 0.1, 56.0 * M_PI / 180 + 0.1},
                               {"prn", (double)e.inav.prn, 1, 36},
                               {"week", (double)e.inav.week + 1024 - h.week, -1, 1}});
            } else if ((h.id == 8 || h.id == 6) && ++ionutc) {
                ASSERT_EQ(novatel_parser_ionutc(f.data(), &h, &u), 0);
                expect_within({{"leap seconds", (double)u.dt_ls, 14, 18},
                               {"alpha0", fabs(u.alpha[0]), 0, 1e-6},
                               {"beta0", fabs(u.beta[0]), 1e3, 1e7}});
            } else if (h.id == 101 && ++time_logs) {
                ASSERT_EQ(novatel_parser_time(f.data(), &h, &t), 0);
                if (t.utc_status == NOVATEL_UTC_STATUS_VALID)
                    expect_within({{"UTC offset", t.utc_offset, -18.5, -14.5},
                                   {"year", (double)t.utc_year, 2010, 2030},
                                   {"month", (double)t.utc_month, 1, 12}});
            }
        }
        for (const auto &e : from_ephemeris)
            if (from_ranges.count(e.first) && ++channels) { EXPECT_EQ(e.second, from_ranges[e.first]) << "slot " << e.first; }
    }
    EXPECT_TRUE(glo >= 16 && gal >= 2 && ionutc >= 1 && time_logs >= 6 && channels >= 4)
        << glo << " " << gal << " " << ionutc << " " << time_logs << " " << channels;
}

TEST(Novatel, GalileoEphemeridesAndWeek)
{
    novatel_galephemeris_t g;
    const galileo_inav_t &i = g.inav;
    DoubleFields orbit{{{28, {&i.sqrt_a, &i.delta_n, &i.m0, &i.e, &i.omega, &i.cuc, &i.cus, &i.crc, &i.crs, &i.cic,
                              &i.cis, &i.i0, &i.idot, &i.omega0, &i.omega_dot}},
                        {152, {&g.fnav.af0, &g.fnav.af1, &g.fnav.af2}},
                        {180, {&i.af0, &i.af1, &i.af2, &i.bgd_e5a, &i.bgd_e5b}}}};
    Body b = orbit.body(220);
    b.u32s({{0, 11}, {4, 1}, {8, 0}, {20, 309}, {148, 590400}, {176, 590500}});
    b.u32(24, 590400); // toe on the last day of the previous week
    b.u8s(12, {1, 2, 3, 1, 0, 1, 107}); // health of E1B, E5a, E5b, then their data validity, and SISA
    Header h;
    h.id = 1122, h.week = 2209;
    h.ms = 3600000; // the first hour of the GPS week
    decode_all(novatel_parser_galephemeris, h, b, orbit, &g);
    // The orbit is shared by both records.
    EXPECT_EQ(logs::fields(g.fnav.sqrt_a, g.fnav.omega_dot, g.fnav.cis, g.fnav.bgd_e5a),
              logs::fields(i.sqrt_a, i.omega_dot, i.cis, i.bgd_e5a));
    EXPECT_EQ(logs::fields(g.fnav_received, g.inav_received), logs::fields(true, false));
    EXPECT_EQ(logs::fields(g.fnav.prn, i.prn, g.fnav.tow, i.tow, i.e1b_hs, g.fnav.e5a_hs, i.e5b_hs, i.e1b_dvs,
                           g.fnav.e5a_dvs, i.e5b_dvs, g.fnav.sisa, i.iodnav, g.fnav.toe, g.fnav.toc, i.toc),
              logs::fields(11, 11, -1, -1, 1, 2, 3, 1, 0, 1, 107, 309, 590400u, 590400u, 590500u));
    // The week that puts toe within half a week of the log (on the Galileo
    // count, 1024 behind): a Saturday toe read in the first hour or on Monday
    // is still last week's; an early toe read late on Saturday is next week's.
    const struct {
        uint32_t ms, toe;
        int week;
    } weeks[] = {{3600000, 590400, 2209 - 1025}, {90000000, 590400, 2209 - 1025}, {600000000, 3600, 2209 - 1023},
                 {3600000, 3600, 2209 - 1024}};
    for (const auto &w : weeks) {
        h.ms = w.ms;
        b.u32(24, w.toe);
        ASSERT_EQ(decode(novatel_parser_galephemeris, h, b, &g), 0);
        EXPECT_EQ(logs::fields(g.fnav.week, i.week, g.fnav.week_of_toe, i.week_of_toe), logs::fields(w.week, w.week, 1, 1))
            << w.ms;
    }

    novatel_galinav_t in;
    const galileo_inav_t &n = in.nav;
    DoubleFields id{{{24, {&n.m0, &n.delta_n, &n.e, &n.sqrt_a, &n.i0, &n.idot, &n.omega0, &n.omega, &n.omega_dot,
                           &n.cuc, &n.cus, &n.crc, &n.crs, &n.cic, &n.cis, &n.af0, &n.af1, &n.af2, &n.bgd_e5a,
                           &n.bgd_e5b}}}};
    Body ib = id.body(184);
    ib.u32s({{0, 2}, {16, 501600}, {20, 501000}});
    ib.u8s(4, {1, 1, 0, 0, 2});
    ib.u16(12, 68);
    ib.u8s(14, {107, 3});
    h.id = 1309, h.ms = 504514000;
    decode_all(novatel_parser_galinavephemeris, h, ib, id, &in);
    EXPECT_EQ(logs::fields(n.prn, n.e5b_hs, n.e5b_dvs, n.e1b_hs, n.iodnav, n.sisa, n.source, n.toe, n.toc, n.week,
                           n.tow),
              logs::fields(2, 1, 1, 2, 68, 107, 3, 501600u, 501000u, 2209 - 1024, -1));

    novatel_galfnav_t fv;
    const galileo_fnav_t &f = fv.nav;
    DoubleFields fd{{{20, {&f.m0, &f.delta_n, &f.e, &f.sqrt_a, &f.i0, &f.idot, &f.omega0, &f.omega, &f.omega_dot,
                           &f.cuc, &f.cus, &f.crc, &f.crs, &f.cic, &f.cis, &f.af0, &f.af1, &f.af2, &f.bgd_e5a}}}};
    Body fb = fd.body(172);
    fb.u32s({{0, 36}, {12, 502800}, {16, 502200}});
    fb.u8s(4, {1, 1});
    fb.u16(8, 70);
    fb.u8(10, 107);
    h.id = 1310;
    decode_all(novatel_parser_galfnavephemeris, h, fb, fd, &fv);
    EXPECT_EQ(logs::fields(f.prn, f.e5a_hs, f.e5a_dvs, f.iodnav, f.sisa, f.toe, f.toc, f.week, f.tow),
              logs::fields(36, 1, 1, 70, 107, 502800u, 502200u, 2209 - 1024, -1));
}

TEST(Novatel, RangeListCountsIdsAndNumbering)
{
    // RANGE or RANGECMP logs of `records` records, `cut` bytes short of them
    // whole, under a count, header type and version, read as id `id`.
    const struct {
        bool cmp;
        int records, count; // count -1: the records'
        uint8_t type;
        uint16_t version, id; // id 0: the log's own
        size_t cut;
        int rc, numbering;
    } cases[] = {
        {false, 0, -1, 0, 100, 0, 0, 0, 0},   // type 0 and version 100: numbering 0
        {false, 0, -1, 0, 99, 0, 0, 0, 2},    // an old version: 2
        {false, 0, -1, 1, 9570, 0, 0, 0, 3},  // type not 0: 3
        {true, 2, -1, 2, 9570, 0, 0, 0, 3},
        {true, 2, -1, 0, 50, 0, 0, 0, 2},
        {false, 2, 3, 0, 9570, 0, 0, -2, 0},  // count 3 for two records: nothing past the body is read
        {false, 2, 0x7FFFFFFF, 0, 9570, 0, 0, -2, 0},
        {true, 2, 5, 0, 9570, 0, 0, -2, 0},
        {false, 1, -1, 0, 9570, 0, 1, -1, 0}, // a body that is not 4 + 44 n bytes ...
        {true, 1, -1, 0, 9570, 0, 1, -1, 0},  // ... or 4 + 24 n
        {false, 0, -1, 0, 9570, 0, 2, -1, 0}, // no room for the count
        {false, 2, -1, 0, 9570, 140, 0, -1, 0},
        {true, 2, -1, 0, 9570, 43, 0, -1, 0},
        {false, 2, -1, 0, 9570, 6005, 0, 0, 0}, // read as RANGE
        {true, 2, -1, 0, 9570, 2111, 0, 0, 0},  // read as RANGECMP
    };
    for (const auto &c : cases) {
        Header h;
        h.type = c.type, h.version = c.version;
        std::vector<uint8_t> f = c.cmp ? novenc::list_frame(std::vector<novenc::RangecmpRecord>(c.records), h, c.count, c.cut)
                                       : novenc::list_frame(std::vector<novenc::RangeRecord>(c.records), h, c.count, c.cut);
        novatel_range_t list;
        novatel_range_obs_t o;
        const int rc = parse(c.cmp ? novatel_parser_rangecmp : novatel_parser_range, f, &list, 0, c.id);
        EXPECT_EQ(logs::fields(rc, list.amount, list.numbering),
                  logs::fields(c.rc, c.rc ? 0u : (uint32_t)c.records, c.numbering))
            << &c - cases;
        EXPECT_EQ((c.cmp ? novatel_rangecmp_get_obs : novatel_range_get_obs)(&list, list.amount, &o), -1);
    }
}

TEST(Novatel, RangeValuesOffsetsAndSignals)
{
    // Values: the real-data pass against the ASCII log. Type 0 and a version
    // above 99 choose numbering 0.
    std::vector<std::tuple<uint16_t, uint32_t, int, std::string>> cases = {
        {5, status(0, 0, 3, true, true), 5, "G1C"},
        {45, status(1, 1, 9, true, false), 8, "R2C"},       // GLONASS slot 8
        {165, status(4, 0, 0, false, true), 5, "C2I"},      // BDS: 5 under numbering 0
        {120, status(2, 0, 0, false, true), 20, "S1C"},     // SBAS: PRN 120 is S20
        {12, status(0, 9, 0, true, true, true), 12, "G2W"}, // L2 P(Y): bit 26 only matters under numbering 2
        {7, status(0, 31, 0, true, true), 7, ""},           // no such signal
        {193, status(5, 14, 0, true, true), 1, "J5Q"},      // QZSS
    };
    // The OEM7 signal types (bits 21-25) per system (bits 16-18), with the
    // RINEX 3.05 code of each, as the maker's log reference lists them.
    const uint16_t prn_in[] = {5, 45, 120, 11, 165, 193, 5};
    const int prn_out[] = {5, 8, 20, 11, 5, 1, -1};
    for (const char *t : {"0 5 G2P", "0 14 G5Q", "0 16 G1L", "0 17 G2S", "1 0 R1C", "1 5 R2P",
                          "1 6 R3Q", "2 6 S5I", "3 2 E1C", "3 6 E6B", "3 7 E6C", "3 12 E5Q", "3 17 E7Q", "3 20 E8Q",
                          "4 1 C7I", "4 2 C6I", "4 4 C2I", "4 5 C7I", "4 6 C6I", "4 7 C1P", "4 9 C5P",
                          "4 11 C7D", // B2b I: the data component
                          "5 0 J1C", "5 16 J1L", "5 17 J2S", "5 27 J6L", "6 0 I5A"}) {
        std::istringstream in(t);
        uint32_t system, type;
        std::string code;
        in >> system >> type >> code;
        cases.emplace_back(prn_in[system], status(system, type, 0, true, true), prn_out[system], code);
    }
    std::vector<novenc::RangeRecord> r(cases.size());
    for (size_t i = 0; i < r.size(); ++i) r[i].prn = std::get<0>(cases[i]), r[i].status = std::get<1>(cases[i]);
    std::vector<uint8_t> f = novenc::list_frame(r);
    novatel_range_t list;
    ASSERT_EQ(parse(novatel_parser_range, f, &list, NOVATEL_NUMBERING_AUTO), 0);
    EXPECT_EQ(logs::fields(list.amount, list.numbering), logs::fields((uint32_t)r.size(), 0));
    for (uint32_t i = 0; i < r.size(); ++i) {
        const novatel_range_obs_t o = obs_at(list, i);
        const int prn = std::get<2>(cases[i]) < 0 ? o.prn : std::get<2>(cases[i]);
        EXPECT_EQ(logs::fields(o.prn, letter_code(o)), logs::fields(prn, std::get<3>(cases[i]))) << i;
    }
    // RANGECMP2 numbers BDS B2b I as 21.
    const novatel_signal_t *b2b = novatel_find_signal(novatel_rangecmp2_system(6), NOVATEL_COLUMN_RANGECMP2_0, 21);
    EXPECT_STREQ(b2b ? b2b->signal->code : "", "7D");
    EXPECT_NE(obs_at(list, 5).nov_system, nullptr); // a known system with an unknown signal
    novatel_range_obs_t o = obs_at(list, 0);
    EXPECT_EQ(logs::fields(o.glofreq, o.status, o.tracking_state, o.channel, o.phase_lock, o.parity_known,
                           o.code_lock, o.system, o.signal_type),
              logs::fields(0, r[0].status, 4, 3, 1, 1, 1, 0, 0));
    o = obs_at(list, 1);
    EXPECT_EQ(logs::fields(o.glofreq, o.channel, o.code_lock), logs::fields(-7, 9, 0)); // received channel 0

    // Forced numbering 2: L2 type 9 with bit 26 is L2 CL.
    ASSERT_EQ(parse(novatel_parser_range, f, &list, 2), 0);
    EXPECT_EQ(logs::fields(list.numbering, letter_code(obs_at(list, 4)), letter_code(obs_at(list, 0))),
              logs::fields(2, "G2L", "G1C"));

    // A BDS satellite numbered 141..160 selects numbering 3 and its offsets:
    // 165 becomes 25 there, and type 17 is B2 I. A forced numbering other
    // than 2 or 3 is 0; BDS 161 (of the numbering 0 range) selects nothing.
    r.resize(2);
    r[0].prn = 165, r[0].status = status(4, 0, 0, true, true);
    r[1].prn = 145, r[1].status = status(4, 17, 0, true, true);
    f = novenc::list_frame(r);
    ASSERT_EQ(parse(novatel_parser_range, f, &list), 0);
    EXPECT_EQ(logs::fields(list.numbering, obs_at(list, 0).prn, obs_at(list, 1).prn, letter_code(obs_at(list, 1))),
              logs::fields(3, 25, 5, "C7I"));
    ASSERT_EQ(parse(novatel_parser_range, f, &list, 1), 0);
    EXPECT_EQ(logs::fields(list.numbering, obs_at(list, 0).prn), logs::fields(0, 5));
    r[1].prn = 161;
    f = novenc::list_frame(r);
    ASSERT_EQ(parse(novatel_parser_range, f, &list), 0);
    EXPECT_EQ(list.numbering, 0);
}

TEST(Novatel, Rangecmp2ByteCountNeverOverrunsTheBody)
{
    // `pairs` satellites of `signals` signals each, each followed by one
    // signal block, under a byte count of `count` (-1: the blocks' size).
    const struct {
        uint8_t system, signals;
        int pairs;
        int64_t count;
        Codes codes;
    } cases[] = {
        // Two signals promised, one in the body, a count far larger: the
        // walk stops at the body and reports truncation.
        {0, 2, 1, 0xFFFFFFFFll, {0, -1}},
        {0, 1, 1, 5000, {0, 1}},   // a count larger than the body the blocks fill exactly
        {0, 1, 1, 15, {-1}},       // the signal block crosses the count ...
        {0, 1, 2, 22 + 6, {0, -1}}, // ... or the second satellite block does
        {4, 3, 1, -1, {-1}},       // an unknown system's signal blocks must fit as well
        {0, 0, 1, -1, {-2}},       // a satellite of no signals
        {0, 1, 1, 10, {}},         // a count below 11 is refused
    };
    for (const auto &c : cases) {
        Cmp2Builder b;
        for (int k = 0; k < c.pairs; ++k) {
            b.sat({0, 3, 0, c.system, 20000000, 0, c.signals});
            b.sig(plain(1));
        }
        novatel_rangecmp2_t cur;
        std::vector<uint8_t> f = b.frame(Header(), c.count);
        ASSERT_EQ(parse(novatel_parser_rangecmp2, f, &cur, 0), c.codes.empty() ? -2 : 0) << c.count;
        if (!c.codes.empty()) {
            EXPECT_EQ(walk(&cur, 1), c.codes) << c.count;
        }
    }
    // Wrong id; no room for the count.
    novatel_rangecmp2_t cur;
    EXPECT_EQ(parse(novatel_parser_rangecmp2, Cmp2Builder().frame(), &cur, 0, 140), -1);
    EXPECT_EQ(parse(novatel_parser_rangecmp2, novenc::frame(Header(), Body(3).b), &cur, 0, 1273), -1);
}
