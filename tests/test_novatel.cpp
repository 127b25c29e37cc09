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
#include <string.h>
#include <time.h>

#include <algorithm>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

using novenc::Body;
using novenc::Header;

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

} // namespace

// ---- header ---------------------------------------------------------------------------------

TEST(Novatel, HeaderFieldsAndRefusals)
{
    Header h;
    h.id = 43;
    h.type = 0x02;
    h.sequence = 0x1234;
    h.week = 1761;
    h.ms = 317088000;
    h.receiver_status = 0x00040000;
    h.version = 9570;
    Body body(8);
    std::vector<uint8_t> f = novenc::frame(h, body.b);
    ASSERT_EQ(f.size(), 28u + 8u + 4u);
    Decoded d = header_of(f);
    ASSERT_EQ(d.rc, 0);
    EXPECT_EQ(logs::fields(d.header.header_length, d.header.id, d.header.type, d.header.port, d.header.length,
                           d.header.sequence, d.header.idle, d.header.time_status, d.header.week, d.header.ms,
                           d.header.receiver_status, d.header.version),
              logs::fields(28, 43, 2, 0x20, 8, 0x1234, 100, 180, 1761, 317088000u, 0x00040000u, 9570));

    EXPECT_EQ(novatel_parser_header(f.data(), 27, &d.header), -1);
    std::vector<uint8_t> bad = f;
    bad[2] = 0x13; // short header sync
    EXPECT_EQ(header_of(bad).rc, -1);
    // The frame length must be header + body + CRC exactly.
    EXPECT_EQ(novatel_parser_header(f.data(), (uint32_t)f.size() - 1, &d.header), -2);
    EXPECT_EQ(header_of(novenc::frame(h, body.b, 9)).rc, -2);
    // A header-length byte below 28 is no long header.
    Header small = h;
    small.header_length = 28;
    std::vector<uint8_t> g = novenc::frame(small, body.b);
    g[3] = 27;
    EXPECT_EQ(header_of(g).rc, -2);
    // A longer header moves the body.
    Header longer = h;
    longer.header_length = 32;
    EXPECT_EQ(header_of(novenc::frame(longer, body.b)).rc, 0);
}

// ---- RANGE ------------------------------------------------------------------------------------

namespace {

std::vector<uint8_t> range_frame(const std::vector<novenc::RangeRecord> &records, Header h = Header(),
                                 int count = -1)
{
    h.id = 43;
    Body body;
    body.u32(0, count >= 0 ? (uint32_t)count : (uint32_t)records.size());
    for (size_t i = 0; i < records.size(); ++i) novenc::put_range(body, 4 + 44 * i, records[i]);
    return novenc::frame(h, body.b);
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

} // namespace

TEST(Novatel, RangeValuesOffsetsAndSignals)
{
    using novenc::status;
    std::vector<novenc::RangeRecord> r(7);
    r[0].prn = 5; // values: the real-data pass against the ASCII log
    r[0].status = status(0, 0, 3, true, true);
    r[1].prn = 45; // GLONASS slot 8, received channel 0: -7
    r[1].psr = 20000000.0;
    r[1].status = status(1, 1, 9, true, false);
    r[2].prn = 165; // BDS: 5 under numbering 0
    r[2].status = status(4, 0, 0, false, true);
    r[3].prn = 120; // SBAS: PRN 120 is S20
    r[3].status = status(2, 0, 0, false, true);
    r[4].prn = 12;
    r[4].status = status(0, 9, 0, true, true, true); // L2 P(Y), bit 26 set
    r[5].prn = 7;
    r[5].status = status(0, 31, 0, true, true); // no such signal
    r[6].prn = 193; // QZSS
    r[6].status = status(5, 14, 0, true, true);

    std::vector<uint8_t> f = range_frame(r);
    novatel_range_t list;
    ASSERT_EQ(parse(novatel_parser_range, f, &list, NOVATEL_NUMBERING_AUTO), 0);
    EXPECT_EQ(logs::fields(list.amount, list.numbering), logs::fields(7u, 0)); // type 0, version above 99

    novatel_range_obs_t o;
    ASSERT_EQ(novatel_range_get_obs(&list, 0, &o), 0);
    EXPECT_EQ(logs::fields(o.prn, o.glofreq, o.status, o.tracking_state, o.channel, o.phase_lock, o.parity_known,
                           o.code_lock, o.system, o.signal_type, letter_code(o)),
              logs::fields(5, 0, r[0].status, 4, 3, 1, 1, 1, 0, 0, "G1C"));
    ASSERT_EQ(novatel_range_get_obs(&list, 1, &o), 0);
    EXPECT_EQ(logs::fields(o.prn, o.glofreq, o.channel, o.code_lock, letter_code(o)),
              logs::fields(8, -7, 9, 0, "R2C"));
    // Bit 26 only matters under numbering 2.
    const struct {
        int prn;
        const char *code;
    } rest[] = {{5, "C2I"}, {20, "S1C"}, {12, "G2W"}, {7, ""}, {1, "J5Q"}};
    for (uint32_t i = 2; i < 7; ++i) {
        ASSERT_EQ(novatel_range_get_obs(&list, i, &o), 0);
        EXPECT_EQ(logs::fields(o.prn, letter_code(o)), logs::fields(rest[i - 2].prn, rest[i - 2].code)) << i;
    }
    ASSERT_EQ(novatel_range_get_obs(&list, 5, &o), 0);
    EXPECT_NE(o.nov_system, nullptr); // a known system with an unknown signal
    EXPECT_EQ(novatel_range_get_obs(&list, 7, &o), -1);

    // Forced numbering 2: L2 type 9 with bit 26 is L2 CL, without it L2 P(Y).
    ASSERT_EQ(parse(novatel_parser_range, f, &list, 2), 0);
    EXPECT_EQ(list.numbering, 2);
    ASSERT_EQ(novatel_range_get_obs(&list, 4, &o), 0);
    EXPECT_EQ(letter_code(o), "G2L");
    ASSERT_EQ(novatel_range_get_obs(&list, 0, &o), 0);
    EXPECT_EQ(letter_code(o), "G1C");
}

TEST(Novatel, RangeNumberingChoice)
{
    using novenc::status;
    novatel_range_t list;
    novatel_range_obs_t o;

    // No observations: type 0 and version 100 give numbering 0, version 99
    // numbering 2, type 1 numbering 3.
    const struct {
        uint8_t type;
        uint16_t version;
        int numbering;
    } headers[] = {{0, 100, 0}, {0, 99, 2}, {1, 9570, 3}};
    for (const auto &c : headers) {
        Header h;
        h.type = c.type;
        h.version = c.version;
        std::vector<uint8_t> f = range_frame({}, h);
        ASSERT_EQ(parse(novatel_parser_range, f, &list), 0);
        EXPECT_EQ(logs::fields(list.numbering, list.amount), logs::fields(c.numbering, 0u)) << c.version;
        EXPECT_EQ(novatel_range_get_obs(&list, 0, &o), -1);
    }

    // A BDS satellite numbered 141..160 selects numbering 3 and its offsets:
    // 165 becomes 25 there (5 under numbering 0).
    std::vector<novenc::RangeRecord> r(2);
    r[0].prn = 165;
    r[0].status = status(4, 0, 0, true, true);
    r[1].prn = 145;
    r[1].status = status(4, 17, 0, true, true);
    std::vector<uint8_t> f = range_frame(r);
    ASSERT_EQ(parse(novatel_parser_range, f, &list), 0);
    EXPECT_EQ(list.numbering, 3);
    ASSERT_EQ(novatel_range_get_obs(&list, 0, &o), 0);
    EXPECT_EQ(o.prn, 25);
    ASSERT_EQ(novatel_range_get_obs(&list, 1, &o), 0);
    EXPECT_EQ(logs::fields(o.prn, letter_code(o)), logs::fields(5, "C7I")); // type 17 is B2 I under numbering 3
    ASSERT_EQ(parse(novatel_parser_range, f, &list, 1), 0); // forced other than 2/3: 0
    ASSERT_EQ(novatel_range_get_obs(&list, 0, &o), 0);
    EXPECT_EQ(logs::fields(list.numbering, o.prn), logs::fields(0, 5));
    // A BDS satellite 161 (numbering 0 range) does not select numbering 3.
    r[1].prn = 161;
    f = range_frame(r);
    ASSERT_EQ(parse(novatel_parser_range, f, &list), 0);
    EXPECT_EQ(list.numbering, 0);
}

TEST(Novatel, RangeCountsMustAgreeWithLength)
{
    std::vector<novenc::RangeRecord> r(2);
    novatel_range_t list;
    // Count 3 for two records: refused, so nothing past the body is read.
    std::vector<uint8_t> f = range_frame(r, Header(), 3);
    EXPECT_EQ(parse(novatel_parser_range, f, &list), -2);
    EXPECT_EQ(list.amount, 0u);
    f = range_frame(r, Header(), 0x7FFFFFFF);
    EXPECT_EQ(parse(novatel_parser_range, f, &list), -2);
    // A body that is not 4 + 44 n bytes.
    Header h;
    h.id = 43;
    Body body;
    body.u32(0, 1);
    body.grow(4 + 43);
    f = novenc::frame(h, body.b);
    EXPECT_EQ(parse(novatel_parser_range, f, &list), -1);
    f = novenc::frame(h, Body(2).b);
    EXPECT_EQ(parse(novatel_parser_range, f, &list), -1);
    // Wrong id; id 6005 is read as RANGE.
    f = range_frame(r);
    EXPECT_EQ(parse(novatel_parser_range, f, &list, 0, 140), -1);
    EXPECT_EQ(parse(novatel_parser_range, f, &list, 0, 6005), 0);
}

// ---- RANGECMP ---------------------------------------------------------------------------------

namespace {

std::vector<uint8_t> rangecmp_frame(const std::vector<novenc::RangecmpRecord> &records, Header h = Header(),
                                    int count = -1)
{
    h.id = 140;
    Body body;
    body.u32(0, count >= 0 ? (uint32_t)count : (uint32_t)records.size());
    for (size_t i = 0; i < records.size(); ++i) novenc::put_rangecmp(body, 4 + 24 * i, records[i]);
    return novenc::frame(h, body.b);
}

} // namespace

TEST(Novatel, RangecmpScalesSignsAndRollOver)
{
    using novenc::status;
    const double f1 = 1575420000.0;
    std::vector<novenc::RangecmpRecord> r(4);
    // GPS L1: the true ADR lies 12.5 cycles off -psr/lambda; the 32-bit field
    // keeps it modulo 2^24 cycles.
    const double psr0 = 21491230.859375; // a multiple of 1/128 m
    const double adr0 = -floor(psr0 * f1 / C) - 12.5;
    r[0].status = status(0, 0, 3, true, true);
    r[0].doppler_256 = -316032; // -1234.5 Hz
    r[0].psr_128 = (uint64_t)llround(psr0 * 128);
    r[0].adr_256 = llround(adr0 * 256);
    r[0].psr_std_index = 3;
    r[0].adr_std_code = 2;
    r[0].prn = 5;
    r[0].lock_32 = 39504; // 1234.5 s
    r[0].cno_code = 25;
    // GLONASS G1, slot 45 -> 8, channel -4 (field 3): the roll-over uses the
    // channel's own carrier.
    const double fg = 1602000000.0 - 4 * 562500.0;
    const double psr1 = 19876543.25;
    const double adr1 = -floor(psr1 * fg / C) + 3.25;
    r[1].status = status(1, 0, 1, true, true);
    r[1].psr_128 = (uint64_t)llround(psr1 * 128);
    r[1].adr_256 = llround(adr1 * 256);
    r[1].prn = 45;
    r[1].freq = 3;
    r[1].doppler_256 = 0x7FFFFFF; // largest positive 28-bit value
    // ADR of 10 cycles against a pseudorange whose expected ADR is 8388600
    // cycles: one roll-over.
    r[2].status = status(0, 0, 4, true, true);
    r[2].psr_128 = (uint64_t)llround(8388600.0 * C / f1 * 128);
    r[2].adr_256 = 10 * 256;
    r[2].prn = 9;
    // Unknown signal type.
    r[3].status = status(0, 30, 0, true, true);
    r[3].prn = 3;

    std::vector<uint8_t> f = rangecmp_frame(r);
    novatel_range_t list;
    ASSERT_EQ(parse(novatel_parser_rangecmp, f, &list), 0);
    ASSERT_EQ(list.amount, 4u);
    novatel_range_obs_t o;
    ASSERT_EQ(novatel_rangecmp_get_obs(&list, 0, &o), 0);
    EXPECT_EQ(logs::fields(letter_code(o), o.prn, o.channel, o.glofreq), logs::fields("G1C", 5, 3, 0));
    EXPECT_DOUBLE_EQ(o.psr, psr0);
    EXPECT_DOUBLE_EQ(o.adr, adr0);
    EXPECT_EQ(logs::fields(o.doppler, o.psr_std, o.adr_std, o.locktime, o.cno),
              logs::fields(-1234.5f, 0.169f, 3.0f / 512.0f, 1234.5f, 45.0f));

    ASSERT_EQ(novatel_rangecmp_get_obs(&list, 1, &o), 0);
    EXPECT_EQ(logs::fields(letter_code(o), o.prn, o.glofreq), logs::fields("R1C", 8, -4));
    EXPECT_DOUBLE_EQ(o.psr, psr1);
    EXPECT_DOUBLE_EQ(o.adr, adr1);
    EXPECT_FLOAT_EQ(o.doppler, (float)(134217727 / 256.0));

    ASSERT_EQ(novatel_rangecmp_get_obs(&list, 2, &o), 0);
    EXPECT_DOUBLE_EQ(o.adr, 10.0 - 8388608.0);

    EXPECT_EQ(novatel_rangecmp_get_obs(&list, 3, &o), -1); // signal not in the table
    EXPECT_EQ(novatel_rangecmp_get_obs(&list, 4, &o), -1);

    // Same count checks as RANGE.
    std::vector<uint8_t> g = rangecmp_frame(r, Header(), 5);
    EXPECT_EQ(parse(novatel_parser_rangecmp, g, &list), -2);
    EXPECT_EQ(parse(novatel_parser_rangecmp, f, &list, 0, 43), -1);
    // Numbering: type not 0 gives 3, an old version 2.
    Header h;
    h.type = 2;
    g = rangecmp_frame(r, h);
    ASSERT_EQ(parse(novatel_parser_rangecmp, g, &list), 0);
    EXPECT_EQ(list.numbering, 3);
    h.type = 0;
    h.version = 50;
    g = rangecmp_frame(r, h);
    ASSERT_EQ(parse(novatel_parser_rangecmp, g, &list), 0);
    EXPECT_EQ(list.numbering, 2);
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

Codes walk(const std::vector<uint8_t> &f, int numbering = 0, int after = 2)
{
    novatel_rangecmp2_t cur;
    EXPECT_EQ(parse(novatel_parser_rangecmp2, f, &cur, numbering), 0);
    return walk(&cur, after);
}

} // namespace

TEST(Novatel, Rangecmp2BlocksValuesAndSkips)
{
    Cmp2Builder b;
    novenc::SatBlock gps;
    gps.sv_channel = 12;
    gps.prn = 7;
    gps.system = 0;
    gps.psr_base = 21000000;
    gps.doppler_base = -2000;
    gps.signals = 2;
    b.sat(gps);
    novenc::SignalBlock l1;
    l1.type = 1;
    l1.phase_lock = l1.parity = l1.code_lock = true;
    l1.lock_ms = 65000;
    l1.cno_code = 28;
    l1.psr_std = 2;
    l1.adr_std = 3;
    l1.psr_diff_128 = 15808;       // 123.5 m
    l1.phase_diff_2048 = 205312;   // 100.25 m
    l1.doppler_diff_256 = -384;    // -1.5 Hz
    b.sig(l1);
    novenc::SignalBlock l2;
    l2.type = 4;
    l2.code_lock = true;
    l2.psr_diff_128 = 12800;       // 100 m
    l2.phase_diff_2048 = 615424;   // 300.5 m
    l2.doppler_diff_256 = 256;     // 1 Hz
    l2.psr_std = 15;
    l2.adr_std = 15;
    b.sig(l2);
    novenc::SatBlock odd; // system 3 names no system
    odd.system = 3;
    odd.prn = 1;
    odd.signals = 1;
    b.sat(odd);
    b.sig(l1);
    novenc::SatBlock glo;
    glo.system = 1;
    glo.prn = 40;
    glo.freq = 9; // channel +2
    glo.psr_base = 19100000;
    glo.doppler_base = 1000;
    glo.signals = 2;
    b.sat(glo);
    novenc::SignalBlock g2;
    g2.type = 3;
    g2.phase_diff_2048 = 2048 * 7;
    b.sig(g2);
    g2.type = 1;
    b.sig(g2);
    novenc::SatBlock bds;
    bds.system = 6;
    bds.prn = 10;
    bds.signals = 1;
    b.sat(bds);
    novenc::SignalBlock none;
    none.type = 31;
    b.sig(none);

    std::vector<uint8_t> f = b.frame();
    novatel_rangecmp2_t cur;
    ASSERT_EQ(parse(novatel_parser_rangecmp2, f, &cur), 0);
    novatel_range_obs_t o;

    ASSERT_EQ(novatel_rangecmp2_next(&cur, &o), 0);
    EXPECT_EQ(logs::fields(letter_code(o), o.prn, o.channel, o.status, o.phase_lock, o.parity_known, o.code_lock),
              logs::fields("G1C", 7, 12, 0u, 1, 1, 1));
    EXPECT_EQ(logs::fields(o.locktime, o.cno, o.psr_std, o.adr_std, o.psr, o.doppler),
              logs::fields(65.0f, 48.0f, 0.045f, 0.00929f, 21000123.5, -2001.5f));
    EXPECT_NEAR(o.adr, -21000100.25 * 1575420000.0 / C, 1e-6);

    ASSERT_EQ(novatel_rangecmp2_next(&cur, &o), 0);
    EXPECT_EQ(logs::fields(letter_code(o), o.phase_lock, o.psr, o.psr_std, o.adr_std),
              logs::fields("G2W", 0, 21000100.0, 9.999f, 9.99999f));
    EXPECT_NEAR(o.adr, -21000300.5 * 1227600000.0 / C, 1e-6);
    EXPECT_NEAR(o.doppler, -1999.0 * 1227.6 / 1575.42, 1e-3);

    EXPECT_EQ(novatel_rangecmp2_next(&cur, &o), 2); // system 3 skipped whole

    ASSERT_EQ(novatel_rangecmp2_next(&cur, &o), 0);
    EXPECT_EQ(logs::fields(letter_code(o), o.prn, o.glofreq), logs::fields("R2C", 3, 2));
    EXPECT_NEAR(o.adr, -19100007.0 * (1246000000.0 + 2 * 437500.0) / C, 1e-6);
    EXPECT_NEAR(o.doppler, 1000.0 * 1246.0 / 1602.0, 1e-3);
    ASSERT_EQ(novatel_rangecmp2_next(&cur, &o), 0);
    EXPECT_EQ(letter_code(o), "R1C");
    EXPECT_NEAR(o.adr, -19100007.0 * (1602000000.0 + 2 * 562500.0) / C, 1e-6);
    EXPECT_NEAR(o.doppler, 1000.0, 1e-3);

    EXPECT_EQ(walk(&cur), (Codes{3, 1, 1})); // BDS type 31 not in the table; then the end, for good

    // Numbering 3 (header type not 0) has no RANGECMP2 column.
    Header h3;
    h3.type = 1;
    EXPECT_EQ(walk(b.frame(h3)), (Codes{3, 3, 2, 3, 3, 3, 1, 1}));
    // Numbering 2 maps QZSS type 8 to L1 CD and GPS type 5 to nothing;
    // numbering 0 type 8 to L1 CP.
    Cmp2Builder q;
    novenc::SatBlock qz;
    qz.system = 7;
    qz.prn = 194;
    qz.signals = 2;
    q.sat(qz);
    novenc::SignalBlock t8;
    t8.type = 8;
    q.sig(t8);
    t8.type = 5;
    q.sig(t8);
    f = q.frame();
    for (int numbering : {2, 0}) {
        ASSERT_EQ(parse(novatel_parser_rangecmp2, f, &cur, numbering), 0);
        ASSERT_EQ(novatel_rangecmp2_next(&cur, &o), 0);
        EXPECT_EQ(logs::fields(letter_code(o), o.prn), logs::fields(numbering ? "J1S" : "J1L", 2));
        EXPECT_EQ(novatel_rangecmp2_next(&cur, &o), 3);
    }
}

TEST(Novatel, Rangecmp2ByteCountNeverOverrunsTheBody)
{
    // `pairs` satellites of `signals` signals each, each followed by one
    // signal block, under a byte count of `count` (-1: the blocks' size).
    const struct {
        uint32_t system, signals;
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
    };
    novenc::SatBlock s;
    s.prn = 3;
    s.psr_base = 20000000;
    novenc::SignalBlock g;
    g.type = 1;
    for (const auto &c : cases) {
        Cmp2Builder b;
        s.system = c.system;
        s.signals = c.signals;
        for (int k = 0; k < c.pairs; ++k) {
            b.sat(s);
            b.sig(g);
        }
        EXPECT_EQ(walk(b.frame(Header(), c.count), 0, 1), c.codes) << c.count;
    }
    // Count below 11, wrong id, no room for the count.
    Cmp2Builder e;
    s.system = 0;
    s.signals = 1;
    e.sat(s);
    e.sig(g);
    novatel_rangecmp2_t cur;
    std::vector<uint8_t> f = e.frame(Header(), 10);
    EXPECT_EQ(parse(novatel_parser_rangecmp2, f, &cur, 0), -2);
    f = e.frame();
    EXPECT_EQ(parse(novatel_parser_rangecmp2, f, &cur, 0, 140), -1);
    Header h;
    h.id = 1273;
    f = novenc::frame(h, Body(3).b);
    EXPECT_EQ(parse(novatel_parser_rangecmp2, f, &cur, 0), -1);
}

// ---- ephemerides ------------------------------------------------------------------------------

namespace {

// Distinct doubles written at body offsets of the log reference, each checked
// to come back in the field it names: a shifted or swapped offset fails.
struct DoubleFields {
    std::vector<std::pair<size_t, const double *>> fields;
    static double value(size_t k) { return (k % 2 ? -1.0 : 1.0) * (k + 1) * pow(10.0, -(double)(k % 7)) * 1.0009765625; }
    void write(Body &b) const
    {
        for (size_t k = 0; k < fields.size(); ++k) b.f64(fields[k].first, value(k));
    }
    void expect() const
    {
        for (size_t k = 0; k < fields.size(); ++k)
            EXPECT_EQ(*fields[k].second, value(k)) << "body offset " << fields[k].first;
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

// A body one byte short of the minimum and a wrong id are refused.
template <typename T>
void expect_refusals(int (*parser)(const uint8_t *, const novatel_header_t *, T *), Header h, size_t minimum)
{
    T out;
    EXPECT_EQ(decode(parser, h, Body(minimum - 1), &out), -1) << h.id;
    EXPECT_EQ(decode(parser, h, Body(minimum), &out), 0) << h.id;
    h.id = 9;
    EXPECT_EQ(decode(parser, h, Body(minimum), &out), -1);
}

} // namespace

TEST(Novatel, GpsAndQzssEphemeris)
{
    novatel_gps_ephemeris_t e;
    const gps_nav_t &n = e.nav;
    DoubleFields d{{{48, &n.delta_n}, {56, &n.m0}, {64, &n.e}, {72, &n.omega}, {80, &n.cuc}, {88, &n.cus},
                    {96, &n.crc}, {104, &n.crs}, {112, &n.cic}, {120, &n.cis}, {128, &n.i0}, {136, &n.idot},
                    {144, &n.omega0}, {152, &n.omega_dot}, {172, &n.tgd}, {180, &n.af0}, {188, &n.af1},
                    {196, &n.af2}}};
    Body b(224);
    d.write(b);
    b.u32(0, 7);
    b.f64(4, 316319.6); // transmission time, rounded
    b.u32(12, 39);
    b.u32(16, 48);
    b.u32(20, 49);
    b.u32(24, 1761);
    b.u32(28, 1761);
    b.f64(32, 316800.9); // toe, truncated
    b.f64(40, 2.656026876e7);
    b.u32(160, 300);
    b.f64(164, 316800.7);
    b.u32(204, 1);
    b.f64(208, 1.4585e-4);
    b.f64(216, 7.84); // URA variance: 2.8 m
    Header h;
    h.id = 7;
    ASSERT_EQ(decode(novatel_parser_gpsephem, h, b, &e), 0);
    d.expect();
    EXPECT_EQ(logs::fields(e.header.id, n.prn, n.tow, n.health), logs::fields(7, 7, 316320, 39));
    EXPECT_EQ(n.week, 1761); // a full week stays as it is
    EXPECT_EQ(logs::fields(n.iode, n.iode3, n.toe, n.toc, n.iodc), logs::fields(48, 49, 316800u, 316800u, 300));
    EXPECT_DOUBLE_EQ(n.sqrt_a, sqrt(2.656026876e7));
    EXPECT_NEAR(n.sqrt_a, 5153.67, 0.01);
    EXPECT_EQ(n.ura, 1);
    EXPECT_EQ(n.fit, 0);
    // Times that are no times of week are not converted into garbage.
    b.f64(4, -3.0);
    b.f64(32, NAN);
    ASSERT_EQ(decode(novatel_parser_gpsephem, h, b, &e), 0);
    EXPECT_EQ(n.tow, -1);
    EXPECT_EQ(n.toe, 0u);
    expect_refusals(novatel_parser_gpsephem, h, 224);

    // QZSSEPHEMERIS: the same fields and the fit interval flag after them.
    h.id = 1336;
    b.u32(0, 193);
    b.f64(216, 4.0);
    b.u8(224, 1);
    ASSERT_EQ(decode(novatel_parser_qzssephemeris, h, b, &e), 0);
    d.expect();
    EXPECT_EQ(n.prn, 1); // PRN 193 is J01
    EXPECT_EQ(n.fit, 1);
    EXPECT_EQ(n.ura, 0);
    for (uint32_t prn : {193u, 202u}) {
        b.u32(0, prn);
        ASSERT_EQ(decode(novatel_parser_qzssephemeris, h, b, &e), 0);
        EXPECT_EQ(n.prn, prn - 192);
    }
    expect_refusals(novatel_parser_qzssephemeris, h, 225);
}

TEST(Novatel, BdsEphemerides)
{
    novatel_bds_ephemeris_t e;
    const bd2_nav_t &n = e.nav;
    DoubleFields d{{{20, &n.tgd1}, {28, &n.tgd2}, {44, &n.a0}, {52, &n.a1}, {60, &n.a2}, {76, &n.sqrt_a},
                    {84, &n.e}, {92, &n.omega}, {100, &n.delta_n}, {108, &n.m0}, {116, &n.omega0},
                    {124, &n.omega_dot}, {132, &n.i0}, {140, &n.idot}, {148, &n.cuc}, {156, &n.cus},
                    {164, &n.crc}, {172, &n.crs}, {180, &n.cic}, {188, &n.cis}}};
    Body b(196);
    d.write(b);
    b.u32(0, 6);
    b.u32(4, 853);
    b.f64(8, 2.8); // URA in metres
    b.u32(16, 1);
    b.u32(36, 3);
    b.u32(40, 493200);
    b.u32(68, 4);
    b.u32(72, 496800);
    Header h;
    h.id = 1696;
    ASSERT_EQ(decode(novatel_parser_bdsephemeris, h, b, &e), 0);
    d.expect(); // including sqrt_a: this log carries the root itself
    EXPECT_EQ(logs::fields(n.prn, n.week, n.ura, n.health, n.aodc, n.toc, n.aode, n.toe, n.tow),
              logs::fields(6, 853, 1, 1, 3, 493200u, 4, 496800u, -1));
    b.f64(8, 2.0);
    ASSERT_EQ(decode(novatel_parser_bdsephemeris, h, b, &e), 0);
    EXPECT_EQ(n.ura, 0);
    // Given as the range logs' PRN, 161 is C01 and 197 C37.
    for (uint32_t prn : {161u, 197u}) {
        b.u32(0, prn);
        ASSERT_EQ(decode(novatel_parser_bdsephemeris, h, b, &e), 0);
        EXPECT_EQ(n.prn, prn - 160);
    }
    expect_refusals(novatel_parser_bdsephemeris, h, 196);

    // BD2EPHEM: the GPSEPHEM order with AODE/AODC and two group delays; its
    // week is GPS-based.
    DoubleFields g{{{48, &n.delta_n}, {56, &n.m0}, {64, &n.e}, {72, &n.omega}, {80, &n.cuc}, {88, &n.cus},
                    {96, &n.crc}, {104, &n.crs}, {112, &n.cic}, {120, &n.cis}, {128, &n.i0}, {136, &n.idot},
                    {144, &n.omega0}, {152, &n.omega_dot}, {172, &n.tgd1}, {180, &n.tgd2}, {188, &n.a0},
                    {196, &n.a1}, {204, &n.a2}}};
    Body c(232);
    g.write(c);
    c.u32(0, 1);
    c.f64(4, 121050.4);
    c.u32(16, 1);
    c.u32(20, 1);
    c.u32(24, 1971);
    c.u32(28, 1971);
    c.f64(32, 118800.0);
    c.f64(40, 4.216468048e+07);
    c.u32(160, 7);
    c.f64(164, 118800.0);
    c.f64(216, 7.29e-5);
    c.f64(224, 16.0);
    h.id = 1047;
    ASSERT_EQ(decode(novatel_parser_bd2ephem, h, c, &e), 0);
    g.expect();
    EXPECT_EQ(logs::fields(n.prn, n.week, n.tow, n.aode, n.aodc, n.toe, n.toc),
              logs::fields(1, 1971 - 1356, 121050, 1, 7, 118800u, 118800u));
    EXPECT_DOUBLE_EQ(n.sqrt_a, sqrt(4.216468048e+07));
    EXPECT_EQ(n.ura, 2);
    c.u32(0, 165);
    ASSERT_EQ(decode(novatel_parser_bd2ephem, h, c, &e), 0);
    EXPECT_EQ(n.prn, 5);
    expect_refusals(novatel_parser_bd2ephem, h, 232);
}

TEST(Novatel, GalileoEphemeridesAndWeek)
{
    novatel_galephemeris_t g;
    DoubleFields orbit{{{28, &g.inav.sqrt_a}, {36, &g.inav.delta_n}, {44, &g.inav.m0}, {52, &g.inav.e},
                        {60, &g.inav.omega}, {68, &g.inav.cuc}, {76, &g.inav.cus}, {84, &g.inav.crc},
                        {92, &g.inav.crs}, {100, &g.inav.cic}, {108, &g.inav.cis}, {116, &g.inav.i0},
                        {124, &g.inav.idot}, {132, &g.inav.omega0}, {140, &g.inav.omega_dot},
                        {152, &g.fnav.af0}, {160, &g.fnav.af1}, {168, &g.fnav.af2}, {180, &g.inav.af0},
                        {188, &g.inav.af1}, {196, &g.inav.af2}, {204, &g.inav.bgd_e5a}, {212, &g.inav.bgd_e5b}}};
    Body b(220);
    orbit.write(b);
    b.u32(0, 11);
    b.u32(4, 1);
    b.u32(8, 0);
    b.u8(12, 1); // E1B health
    b.u8(13, 2); // E5a health
    b.u8(14, 3); // E5b health
    b.u8(15, 1);
    b.u8(16, 0);
    b.u8(17, 1);
    b.u8(18, 107);
    b.u32(20, 309);
    b.u32(24, 590400); // toe on the last day of the previous week
    b.u32(148, 590400);
    b.u32(176, 590500);
    Header h;
    h.id = 1122;
    h.week = 2209;
    h.ms = 3600000; // the first hour of the GPS week
    ASSERT_EQ(decode(novatel_parser_galephemeris, h, b, &g), 0);
    orbit.expect();
    // The orbit is shared by both records.
    EXPECT_EQ(logs::fields(g.fnav.sqrt_a, g.fnav.omega_dot, g.fnav.cis, g.fnav.bgd_e5a),
              logs::fields(g.inav.sqrt_a, g.inav.omega_dot, g.inav.cis, g.inav.bgd_e5a));
    EXPECT_TRUE(g.fnav_received);
    EXPECT_FALSE(g.inav_received);
    EXPECT_EQ(logs::fields(g.fnav.prn, g.inav.prn, g.fnav.week, g.inav.week, g.fnav.tow, g.inav.tow, g.inav.e1b_hs,
                           g.fnav.e5a_hs, g.inav.e5b_hs, g.inav.e1b_dvs, g.fnav.e5a_dvs, g.inav.e5b_dvs, g.fnav.sisa,
                           g.inav.iodnav, g.fnav.toe, g.fnav.toc, g.inav.toc),
              logs::fields(11, 11, 2209 - 1025, 2209 - 1025, -1, -1, 1, 2, 3, 1, 0, 1, 107, 309, 590400u, 590400u,
                           590500u));
    // The week that puts toe within half a week of the log: a Saturday toe
    // read on Monday is still last week's; an early toe read late on
    // Saturday is next week's.
    h.ms = 90000000;
    ASSERT_EQ(decode(novatel_parser_galephemeris, h, b, &g), 0);
    EXPECT_EQ(logs::fields(g.fnav.week, g.fnav.week_of_toe, g.inav.week_of_toe), logs::fields(2209 - 1025, 1, 1));
    h.ms = 600000000;
    b.u32(24, 3600);
    ASSERT_EQ(decode(novatel_parser_galephemeris, h, b, &g), 0);
    EXPECT_EQ(g.fnav.week, 2209 - 1023);
    h.ms = 3600000;
    b.u32(24, 3600);
    ASSERT_EQ(decode(novatel_parser_galephemeris, h, b, &g), 0);
    EXPECT_EQ(g.inav.week, 2209 - 1024);
    expect_refusals(novatel_parser_galephemeris, h, 220);

    // GALINAVEPHEMERIS.
    novatel_galinav_t in;
    const galileo_inav_t &i = in.nav;
    DoubleFields id{{{24, &i.m0}, {32, &i.delta_n}, {40, &i.e}, {48, &i.sqrt_a}, {56, &i.i0}, {64, &i.idot},
                     {72, &i.omega0}, {80, &i.omega}, {88, &i.omega_dot}, {96, &i.cuc}, {104, &i.cus},
                     {112, &i.crc}, {120, &i.crs}, {128, &i.cic}, {136, &i.cis}, {144, &i.af0}, {152, &i.af1},
                     {160, &i.af2}, {168, &i.bgd_e5a}, {176, &i.bgd_e5b}}};
    Body ib(184);
    id.write(ib);
    ib.u32(0, 2);
    ib.u8(4, 1);
    ib.u8(5, 1);
    ib.u8(8, 2);
    ib.u8(9, 0);
    ib.u16(12, 68);
    ib.u8(14, 107);
    ib.u8(15, 3);
    ib.u32(16, 501600);
    ib.u32(20, 501000);
    h.id = 1309;
    h.ms = 504514000;
    ASSERT_EQ(decode(novatel_parser_galinavephemeris, h, ib, &in), 0);
    id.expect();
    EXPECT_EQ(logs::fields(i.prn, i.e5b_hs, i.e5b_dvs, i.e1b_hs, i.iodnav, i.sisa, i.source, i.toe, i.toc, i.week,
                           i.tow),
              logs::fields(2, 1, 1, 2, 68, 107, 3, 501600u, 501000u, 2209 - 1024, -1));
    expect_refusals(novatel_parser_galinavephemeris, h, 184);

    // GALFNAVEPHEMERIS.
    novatel_galfnav_t fv;
    const galileo_fnav_t &f = fv.nav;
    DoubleFields fd{{{20, &f.m0}, {28, &f.delta_n}, {36, &f.e}, {44, &f.sqrt_a}, {52, &f.i0}, {60, &f.idot},
                     {68, &f.omega0}, {76, &f.omega}, {84, &f.omega_dot}, {92, &f.cuc}, {100, &f.cus},
                     {108, &f.crc}, {116, &f.crs}, {124, &f.cic}, {132, &f.cis}, {140, &f.af0}, {148, &f.af1},
                     {156, &f.af2}, {164, &f.bgd_e5a}}};
    Body fb(172);
    fd.write(fb);
    fb.u32(0, 36);
    fb.u8(4, 1);
    fb.u8(5, 1);
    fb.u16(8, 70);
    fb.u8(10, 107);
    fb.u32(12, 502800);
    fb.u32(16, 502200);
    h.id = 1310;
    ASSERT_EQ(decode(novatel_parser_galfnavephemeris, h, fb, &fv), 0);
    fd.expect();
    EXPECT_EQ(logs::fields(f.prn, f.e5a_hs, f.e5a_dvs, f.iodnav, f.sisa, f.toe, f.toc, f.week, f.tow),
              logs::fields(36, 1, 1, 70, 107, 502800u, 502200u, 2209 - 1024, -1));
    expect_refusals(novatel_parser_galfnavephemeris, h, 172);
}
TEST(Novatel, GlonassEphemerisDatesAndUnits)
{
    // Ephemeris with tb = 12:45 Moscow time on 2012-05-10 (09:45 UTC), GPS
    // ahead of UTC by 15 s then; day 131 of the fifth four-year interval.
    const int64_t tb_utc = logs::utc_ms(2012, 5, 10, 9, 45, 0);
    const int64_t gps_s = tb_utc / 1000 + 15 - 315964800;
    Header h;
    h.id = 723;
    Body b(144);
    b.u16(0, 45);        // slot 8
    b.u16(2, 3);         // channel -4
    b.u8(4, 1);
    b.u16(6, (uint16_t)(gps_s / 604800));
    b.u32(8, (uint32_t)(gps_s % 604800) * 1000u);
    b.u32(12, 10785);
    b.u16(16, 131);
    b.u32(20, 51);       // tb = 51 x 15 min
    b.u32(24, 0x0C);     // Bn 4, ln set
    b.f64(28, 12345678.0);
    b.f64(36, -20345678.5);
    b.f64(44, 9876543.25);
    b.f64(52, 1234.5);
    b.f64(60, -2345.25);
    b.f64(68, 3000.0);
    b.f64(76, 1.0e-6);
    b.f64(84, -2.0e-6);
    b.f64(92, 3.0e-6);
    b.f64(100, -1.2e-4);
    b.f64(108, 3.7e-9);
    b.f64(116, 9.1e-13);
    b.u32(124, 45870);
    b.u32(128, 2);
    b.u32(132, 5);
    b.u32(136, 3);
    b.u32(140, 0x0E);    // P1 2, P2 1, P3 1
    novatel_gloephemeris_t g;
    ASSERT_EQ(decode(novatel_parser_gloephemeris, h, b, &g), 0);
    const glonass_nav_t &n = g.nav;
    EXPECT_EQ(logs::fields(n.slot, n.frequency_channel, n.m, g.time_offset, n.nt, n.na, n.tb, n.tk, n.bn, n.ln3, n.ln5),
              logs::fields(8, -4, 1, 10785, 131, 131, 45900u, 45870u, 4, 1, 1));
    // Metres to kilometres.
    const double km[] = {n.x, n.y, n.z, n.vx, n.vy, n.vz, n.ax, n.ay, n.az};
    const double expected_km[] = {12345.678, -20345.6785, 9876.54325, 1.2345, -2.34525,
                                  3.0,       1.0e-9,      -2.0e-9,    3.0e-9};
    for (int k = 0; k < 9; ++k) EXPECT_DOUBLE_EQ(km[k], expected_km[k]) << k;
    EXPECT_EQ(logs::fields(n.tau, n.delta_tau, n.gamma, n.p, n.ft, n.en, n.p1, n.p2, n.p3, n.four_year, n.tb_time,
                           n.tk_time),
              logs::fields(-1.2e-4, 3.7e-9, 9.1e-13, 2, 5, 3, 2, 1, 1, 5, tb_utc, logs::utc_ms(2012, 5, 10, 9, 44, 30)));
    // A slot field already below 38 is kept.
    b.u16(0, 7);
    ASSERT_EQ(decode(novatel_parser_gloephemeris, h, b, &g), 0);
    EXPECT_EQ(g.nav.slot, 7);
    expect_refusals(novatel_parser_gloephemeris, h, 144);
}

TEST(Novatel, IonUtcIonoTimeAndPosition)
{
    novatel_ionutc_t u;
    DoubleFields ud{{{0, &u.alpha[0]}, {8, &u.alpha[1]}, {16, &u.alpha[2]}, {24, &u.alpha[3]}, {32, &u.beta[0]},
                     {40, &u.beta[1]}, {48, &u.beta[2]}, {56, &u.beta[3]}, {72, &u.a0}, {80, &u.a1}}};
    Body b(108);
    ud.write(b);
    b.u32(64, 1761);
    b.u32(68, 405504);
    b.u32(88, 1695);
    b.u32(92, 7);
    b.u32(96, 16);
    b.u32(100, (uint32_t)-17);
    Header h;
    for (uint16_t id : {6, 8, 1347, 2010}) {
        h.id = id;
        ASSERT_EQ(decode(novatel_parser_ionutc, h, b, &u), 0) << id;
        ud.expect();
        EXPECT_EQ(logs::fields(u.utc_week, u.tot, u.week_lsf, u.day, u.dt_ls, u.dt_lsf),
                  logs::fields(1761u, 405504u, 1695u, 7u, 16, -17));
        expect_refusals(novatel_parser_ionutc, h, 108);
    }

    novatel_iono_t io;
    DoubleFields id{{{4, &io.alpha[0]}, {12, &io.alpha[1]}, {20, &io.alpha[2]}, {28, &io.alpha[3]},
                     {36, &io.beta[0]}, {44, &io.beta[1]}, {52, &io.beta[2]}, {60, &io.beta[3]}}};
    Body ib(68);
    id.write(ib);
    ib.u32(0, 14);
    for (uint16_t i : {1590, 2124}) {
        h.id = i;
        ASSERT_EQ(decode(novatel_parser_iono, h, ib, &io), 0);
        id.expect();
        EXPECT_EQ(io.id, 14u);
        expect_refusals(novatel_parser_iono, h, 68);
    }

    novatel_time_t t;
    DoubleFields td{{{4, &t.offset}, {12, &t.offset_std}, {20, &t.utc_offset}}};
    Body tb(44);
    td.write(tb);
    tb.u32(28, 2019);
    tb.u8(32, 9);
    tb.u8(33, 10);
    tb.u8(34, 18);
    tb.u8(35, 57);
    tb.u32(36, 46000);
    tb.u32(40, 1);
    h.id = 101;
    ASSERT_EQ(decode(novatel_parser_time, h, tb, &t), 0);
    td.expect();
    EXPECT_EQ(logs::fields(t.utc_year, t.utc_month, t.utc_day, t.utc_hour, t.utc_minute, t.utc_ms, t.utc_status),
              logs::fields(2019u, 9, 10, 18, 57, 46000u, (uint32_t)NOVATEL_UTC_STATUS_VALID));
    expect_refusals(novatel_parser_time, h, 44);

    // Position, undulation, deviations and satellites: against the ASCII logs below.
    novatel_position_t p;
    Body pb(72);
    pb.u32(4, 16);
    pb.u32(36, 61);
    memcpy(&pb.b[52], "AB12", 4);
    pb.u8(64, 20);
    pb.u8(67, 16);
    pb.u8(71, 0x33);
    for (uint16_t i : {42, 47}) {
        h.id = i;
        auto parser = i == 42 ? novatel_parser_bestpos : novatel_parser_psrpos;
        ASSERT_EQ(decode(parser, h, pb, &p), 0);
        EXPECT_EQ(logs::fields(p.solution_status, p.position_type, p.datum), logs::fields(0u, 16u, 61u));
        EXPECT_STREQ(p.station, "AB12");
        EXPECT_EQ(logs::fields(p.satellites, p.solution_multi, p.gps_glonass_mask), logs::fields(20, 16, 0x33));
        expect_refusals(parser, h, 72);
    }
    h.id = 47;
    EXPECT_EQ(decode(novatel_parser_bestpos, h, pb, &p), -1); // a PSRPOS is not a BESTPOS
}

TEST(Novatel, GpsephemSChecksItsLengthWord)
{
    Header h;
    h.id = 71;
    Body b(200);
    b.u16(0, 200);
    novatel_gpsephem_s_t s;
    EXPECT_EQ(decode(novatel_parser_gpsephem_s, h, b, &s), -3);
    EXPECT_EQ(s.system, nullptr);
    b.u16(0, 199);
    EXPECT_EQ(decode(novatel_parser_gpsephem_s, h, b, &s), -2);
    EXPECT_EQ(decode(novatel_parser_gpsephem_s, h, Body(199), &s), -1);
}

// ---- names and accuracy -------------------------------------------------------------------------

TEST(Novatel, NamesAndUraConversions)
{
    for (const auto &n : {std::make_pair(43u, "RANGE"), std::make_pair(140u, "RANGECMP"), std::make_pair(6005u, "RANGEH")})
        EXPECT_STREQ(novatel_id_to_str(n.first), n.second) << n.first;
    for (uint32_t id : {0u, 44u, 6004u, 100000u}) EXPECT_STREQ(novatel_id_to_str(id), "") << id;

    // The first index whose threshold exceeds the variance less a half.
    EXPECT_EQ(logs::fields(novatel_bds_gps_ura2_to_index(0.0), novatel_bds_gps_ura2_to_index(4.0),
                           novatel_bds_gps_ura2_to_index(4.49), novatel_bds_gps_ura2_to_index(4.5),
                           novatel_bds_gps_ura2_to_index(2.8 * 2.8), novatel_bds_gps_ura2_to_index(16.0),
                           novatel_bds_gps_ura2_to_index(1024.0), novatel_bds_gps_ura2_to_index(16777216.0),
                           novatel_bds_gps_ura2_to_index(67108864.0)),
              logs::fields(0, 0, 0, 1, 1, 2, 7, 14, 15));
    EXPECT_EQ(novatel_bds_gps_ura2_to_index(1e12), 15); // above the last threshold
    EXPECT_EQ(logs::fields(novatel_bds_gps_ura2_to_index(NAN), novatel_bds_gps_ura2_to_index(-5.0),
                           novatel_bds_gps_index_to_ura(0), novatel_bds_gps_index_to_ura(1),
                           novatel_bds_gps_index_to_ura(6), novatel_bds_gps_index_to_ura(7),
                           novatel_bds_gps_index_to_ura(15), novatel_bds_gps_index_to_ura(99)),
              logs::fields(15, 0, 2.0, 2.8, 16.0, 32.0, 8192.0, 8192.0));
}

TEST(Novatel, Oem7SignalTypesFollowTheMakersTable)
{
    // The OEM7 RANGE signal types (channel tracking status bits 21-25) per
    // system (bits 16-18), as the maker's log reference lists them, with the
    // RINEX 3.05 code of each signal.
    const struct {
        uint32_t system, type;
        const char *code;
    } range[] = {
        {0, 0, "1C"}, {0, 5, "2P"}, {0, 9, "2W"}, {0, 14, "5Q"}, {0, 16, "1L"}, {0, 17, "2S"},
        {1, 0, "1C"}, {1, 1, "2C"}, {1, 5, "2P"}, {1, 6, "3Q"},
        {2, 0, "1C"}, {2, 6, "5I"},
        {3, 2, "1C"}, {3, 6, "6B"}, {3, 7, "6C"}, {3, 12, "5Q"}, {3, 17, "7Q"}, {3, 20, "8Q"},
        {4, 0, "2I"}, {4, 1, "7I"}, {4, 2, "6I"}, {4, 4, "2I"}, {4, 5, "7I"}, {4, 6, "6I"},
        {4, 7, "1P"}, {4, 9, "5P"}, {4, 11, "7D"}, // B2b I: the data component
        {5, 0, "1C"}, {5, 14, "5Q"}, {5, 16, "1L"}, {5, 17, "2S"}, {5, 27, "6L"},
        {6, 0, "5A"},
    };
    for (const auto &r : range) {
        const novatel_signal_t *s = novatel_find_signal(novatel_range_system(r.system), NOVATEL_COLUMN_RANGE_0, r.type);
        ASSERT_NE(s, nullptr) << r.system << " " << r.type;
        EXPECT_STREQ(s->signal->code, r.code) << r.system << " " << r.type;
    }
    // RANGECMP2 numbers BDS B2b I as 21.
    const novatel_signal_t *b2b = novatel_find_signal(novatel_rangecmp2_system(6), NOVATEL_COLUMN_RANGECMP2_0, 21);
    ASSERT_NE(b2b, nullptr);
    EXPECT_STREQ(b2b->signal->code, "7D");
}

// ---- real receiver logs -------------------------------------------------------------------------

namespace {

#define EXPECT_IN(v, lo, hi) \
    do { \
        EXPECT_GE(v, lo); \
        EXPECT_LE(v, hi); \
    } while (0)

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

struct Last {
    double t, psr, adr, lock;
};

// Code-carrier consistency between successive epochs of each satellite
// signal, and physical sanity of every observation of a range log.
struct RangeChecker {
    std::map<std::string, Last> last;
    std::vector<double> diffs;
    int observations = 0, insane = 0;
    std::string first_insane;

    void add(double t, const novatel_range_obs_t &o)
    {
        ++observations;
        std::string code = letter_code(o);
        bool sane = o.cno >= 10 && o.cno <= 60;
        // Geostationary SBAS satellites are up to 41,000 km away.
        double far = code[0] == 'S' ? 42.0e6 : 27.0e6;
        if (o.code_lock && o.psr != 0) sane = sane && o.psr > 19.0e6 && o.psr < far;
        if (!sane && ++insane == 1)
            first_insane = code + std::to_string(o.prn) + " psr " + std::to_string(o.psr) + " cno " +
                           std::to_string(o.cno);
        if (!o.phase_lock || !o.code_lock) return;
        double f = carrier_of(o);
        if (f == 0) return;
        std::string key = code + "/" + std::to_string(o.prn);
        auto it = last.find(key);
        if (it != last.end()) {
            const Last &p = it->second;
            double dt = t - p.t;
            if (dt > 0 && dt <= 30 && o.locktime >= p.lock + dt - 0.2) {
                double dphase = -(o.adr - p.adr) * C / f;
                diffs.push_back(fabs((o.psr - p.psr) - dphase));
            }
        }
        last[key] = Last{t, o.psr, o.adr, o.locktime};
    }

    // Code and carrier agree to a few metres between epochs: the median well
    // below a metre, hardly any pair (multipath, unflagged slips) above 5 m
    // and none above 20 m. A wrong wavelength, sign or scale fails this.
    void expect_consistent(size_t at_least) const
    {
        ASSERT_GE(diffs.size(), at_least);
        if (diffs.empty()) return;
        std::vector<double> d = diffs;
        std::sort(d.begin(), d.end());
        EXPECT_LT(d[d.size() / 2], 0.5);
        size_t above5 = d.end() - std::upper_bound(d.begin(), d.end(), 5.0);
        EXPECT_LE(above5, d.size() / 1000) << "of " << d.size();
        EXPECT_LT(d.back(), 20.0);
    }
};

} // namespace

namespace {

// The records of one log type in a receiver's ASCII log ("#RANGEA," ...):
// the header fields and the body fields of each.
struct AsciiRecord {
    std::vector<std::string> head, body;
};

std::vector<AsciiRecord> ascii_records(const std::string &name, const std::string &start)
{
    std::vector<AsciiRecord> out;
    std::vector<uint8_t> text = testdata::read(name);
    std::istringstream in(std::string(text.begin(), text.end()));
    for (std::string line; std::getline(in, line);) {
        size_t semi = line.find(';'), star = line.find('*');
        if (line.compare(0, start.size(), start) != 0 || semi == std::string::npos || star == std::string::npos) continue;
        AsciiRecord r;
        std::stringstream hs(line.substr(1, semi - 1)), bs(line.substr(semi + 1, star - semi - 1));
        for (std::string f; std::getline(hs, f, ',');) r.head.push_back(f);
        for (std::string f; std::getline(bs, f, ',');) r.body.push_back(f);
        if (r.head.size() >= 7 && !r.body.empty()) out.push_back(r);
    }
    return out;
}

// RANGEA observations by "ms/system/signal type/satellite": the ten fields
// PRN, channel, psr, psr std, adr, adr std, doppler, C/N0, lock time, status.
std::map<std::string, std::vector<double>> read_rangea(const std::string &name, int *records)
{
    std::map<std::string, std::vector<double>> out;
    *records = 0;
    for (const AsciiRecord &a : ascii_records(name, "#RANGEA,")) {
        long ms = lround(atof(a.head[6].c_str()) * 1000);
        size_t n = strtoul(a.body[0].c_str(), nullptr, 10);
        if (a.body.size() < 1 + 10 * n) continue;
        ++*records;
        for (size_t i = 0; i < n; ++i) {
            std::vector<double> v;
            for (int k = 0; k < 9; ++k) v.push_back(atof(a.body[1 + 10 * i + k].c_str()));
            uint32_t status = (uint32_t)strtoul(a.body[10 + 10 * i].c_str(), nullptr, 16);
            v.push_back(status);
            int prn = (int)v[0] - (((status >> 16) & 7) == 1 ? 37 : 0); // GLONASS slots are sent as 38..61
            out[std::to_string(ms) + "/" + std::to_string((status >> 16) & 7) + "/" +
                std::to_string((status >> 21) & 31) + "/" + std::to_string(prn)] = v;
        }
    }
    return out;
}

} // namespace

// RANGE and RANGECMP logs of several receivers: every observation names its
// signal and is physically sane, and code and carrier agree; where the
// receiver also logged its RANGEA, every observation matches it.
TEST(NovatelData, RangeLogsDecodeSaneAndCodeCarrierConsistent)
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
    for (const auto &file : files) {
        SCOPED_TRACE(std::string(file.name) + " " + std::to_string(file.id));
        int ascii_records = 0, logs = 0, matched = 0, unmatched = 0;
        std::map<std::string, std::vector<double>> ascii;
        if (file.ascii) ascii = read_rangea(file.ascii, &ascii_records);
        RangeChecker check;
        for (const auto &f : logs::novatel_frames(testdata::read(file.name))) {
            Decoded d = header_of(f);
            ASSERT_EQ(d.rc, 0);
            if (d.header.id != file.id) continue;
            ++logs;
            novatel_range_t list;
            const bool cmp = file.id == 140;
            ASSERT_EQ((cmp ? novatel_parser_rangecmp : novatel_parser_range)(f.data(), &d.header, &list, 0), 0);
            for (uint32_t i = 0; i < list.amount; ++i) {
                novatel_range_obs_t o;
                ASSERT_EQ((cmp ? novatel_rangecmp_get_obs : novatel_range_get_obs)(&list, i, &o), 0);
                ASSERT_NE(o.nov_signal, nullptr) << "system " << (int)o.system << " type " << (int)o.signal_type;
                check.add(d.header.week * 604800.0 + d.header.ms / 1000.0, o);
                if (!file.ascii) continue;
                std::string key = std::to_string(d.header.ms) + "/" + std::to_string(o.system) + "/" +
                                  std::to_string(o.signal_type) + "/" + std::to_string(o.prn);
                auto it = ascii.find(key);
                if (it == ascii.end()) {
                    ++unmatched;
                    continue;
                }
                ++matched;
                const std::vector<double> &a = it->second;
                SCOPED_TRACE(key);
                // Printed to mm, 1/256 cycle, 1/256 Hz and 1/32 s; RANGECMP
                // holds 1/128 m, 1/256 cycle, 1/256 Hz and 1/32 s.
                EXPECT_NEAR(o.psr, a[2], 0.01);
                EXPECT_NEAR(o.psr_std, a[3], 0.001);
                EXPECT_NEAR(o.adr, a[4], 0.005);
                EXPECT_NEAR(o.adr_std, a[5], 0.001);
                EXPECT_NEAR(o.doppler, a[6], 0.006);
                EXPECT_NEAR(o.cno, a[7], 1.0);
                EXPECT_NEAR(o.locktime, a[8], 0.04);
                EXPECT_EQ(o.status, (uint32_t)a[9]);
                if (o.system == 1) {
                    EXPECT_EQ(o.glofreq, (int)a[1] - 7);
                }
            }
        }
        EXPECT_GE(logs, file.logs);
        EXPECT_EQ(check.insane, 0) << "of " << check.observations << ", first " << check.first_insane;
        check.expect_consistent(file.pairs);
        if (!file.ascii) continue;
        EXPECT_GT(ascii_records, 400);
        EXPECT_GT(matched, 10000);
        EXPECT_EQ(unmatched, 0);
    }
}

// Every ephemeris, parameter and time log is physically sane, and GLONASS
// ephemerides give each slot the frequency channel its ranges show.
TEST(NovatelData, EphemeridesArePhysical)
{
    REQUIRE_TESTDATA();
    int glo = 0, gal = 0, qzss = 0, ionutc = 0, time_logs = 0, channels = 0;
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
            if (h.id == 140) {
                novatel_range_t list;
                novatel_range_obs_t o;
                ASSERT_EQ(novatel_parser_rangecmp(f.data(), &h, &list, 0), 0);
                for (uint32_t i = 0; i < list.amount; ++i)
                    if (novatel_rangecmp_get_obs(&list, i, &o) == 0 && o.system == 1) from_ranges[o.prn] = o.glofreq;
            } else if (h.id == 723) {
                novatel_gloephemeris_t e;
                ASSERT_EQ(novatel_parser_gloephemeris(f.data(), &h, &e), 0);
                ++glo;
                const glonass_nav_t &n = e.nav;
                from_ephemeris[n.slot] = n.frequency_channel;
                double r = sqrt(n.x * n.x + n.y * n.y + n.z * n.z);
                double v = sqrt(n.vx * n.vx + n.vy * n.vy + n.vz * n.vz);
                EXPECT_NEAR(r, 25500.0, 200.0) << (int)n.slot;
                EXPECT_IN(v, 2.0, 4.6); // earth-fixed speed: 3.95 km/s less up to 1.9 of rotation
                EXPECT_IN(n.slot, 1, 24);
                EXPECT_IN(n.frequency_channel, -7, 6);
                EXPECT_IN(e.time_offset, 10700, 10799);
                // tb is dated within a day of the log's own time.
                int64_t log_utc = util_gps_time_to_epoch(h.week, h.ms) - (10800 - e.time_offset) * 1000LL;
                EXPECT_LT(llabs(n.tb_time - log_utc), 86400000LL) << (int)n.four_year << " " << n.nt;
                EXPECT_LT(llabs(n.tk_time - n.tb_time), 86400000LL);
            } else if (h.id == 1122) {
                novatel_galephemeris_t e;
                ASSERT_EQ(novatel_parser_galephemeris(f.data(), &h, &e), 0);
                ++gal;
                EXPECT_TRUE(e.fnav_received || e.inav_received);
                EXPECT_NEAR(e.inav.sqrt_a, 5440.6, 2.0);
                EXPECT_LT(e.inav.e, 0.03);
                EXPECT_NEAR(e.inav.i0, 56.0 * M_PI / 180, 0.1);
                EXPECT_IN(e.inav.prn, 1, 36);
                EXPECT_LE(abs((int)e.inav.week + 1024 - (int)h.week), 1);
            } else if (h.id == 1336) {
                novatel_gps_ephemeris_t e;
                ASSERT_EQ(novatel_parser_qzssephemeris(f.data(), &h, &e), 0);
                ++qzss;
                EXPECT_NEAR(e.nav.sqrt_a, 6493.0, 10.0);
                EXPECT_LT(e.nav.e, 0.1); // QZSS orbits are eccentric by design
                // J01 to J10 (PRN 193 to 202).
                EXPECT_IN(e.nav.prn, 1, 10);
            } else if (h.id == 8 || h.id == 6) {
                novatel_ionutc_t u;
                ASSERT_EQ(novatel_parser_ionutc(f.data(), &h, &u), 0);
                ++ionutc;
                EXPECT_IN(u.dt_ls, 14, 18);
                EXPECT_LT(fabs(u.alpha[0]), 1e-6);
                EXPECT_GT(fabs(u.beta[0]), 1e3);
            } else if (h.id == 101) {
                novatel_time_t t;
                ASSERT_EQ(novatel_parser_time(f.data(), &h, &t), 0);
                ++time_logs;
                if (t.utc_status == NOVATEL_UTC_STATUS_VALID) {
                    EXPECT_IN(t.utc_offset, -18.5, -14.5);
                    EXPECT_GE(t.utc_year, 2010u);
                    EXPECT_LE(t.utc_month, 12);
                }
            }
        }
        for (const auto &e : from_ephemeris) {
            if (!from_ranges.count(e.first)) continue;
            ++channels;
            EXPECT_EQ(e.second, from_ranges[e.first]) << "slot " << e.first;
        }
    }
    EXPECT_TRUE(glo >= 16 && gal >= 2 && qzss >= 2 && ionutc >= 1 && time_logs >= 6 && channels >= 4)
        << glo << " " << gal << " " << qzss << " " << ionutc << " " << time_logs << " " << channels;
}

// ---- arbitrary content --------------------------------------------------------------------------

namespace {
template <typename T>
void try_parse(int (*parser)(const uint8_t *, const novatel_header_t *, T *), const uint8_t *f, const novatel_header_t *h)
{
    T out;
    parser(f, h, &out);
}
} // namespace

TEST(Novatel, ArbitraryBodiesNeverReadOutsideTheFrame)
{
    // Well-framed logs of every decoded id with random content and random
    // lengths; each frame sits in a heap block of exactly its size, so the
    // address sanitizer build reports any read past it.
    const uint16_t ids[] = {43, 6005, 140, 2111, 1273, 2112, 7, 71, 1336, 1696, 1047, 1122,
                            1309, 1310, 723, 6, 8, 1347, 2010, 1590, 2124, 101, 47, 42};
    uint32_t seed = 12345;
    auto next = [&seed]() {
        seed = seed * 1664525u + 1013904223u;
        return seed >> 8;
    };
    int observations = 0;
    for (int round = 0; round < 3000; ++round) {
        uint16_t id = ids[next() % (sizeof(ids) / sizeof(ids[0]))];
        size_t length = next() % 4 == 0 ? 4 + 44 * (next() % 6) : next() % 400;
        if (id == 1273 || id == 2112) length = 4 + next() % 120;
        Body b(length);
        for (size_t k = 0; k < length; ++k) b.b[k] = (uint8_t)next();
        if (length >= 4 && next() % 2) {
            uint32_t count = (id == 43 || id == 6005) ? (uint32_t)(length - 4) / 44
                             : (id == 140 || id == 2111) ? (uint32_t)(length - 4) / 24
                                                         : (uint32_t)(next() % 300);
            b.u32(0, count);
        }
        if ((id == 140 || id == 2111) && length % 24 != 4) b.grow(4 + 24 * (length / 24));
        if (id == 71 && b.b.size() >= 2) b.u16(0, (uint16_t)b.b.size());
        Header h;
        h.id = id;
        h.type = (uint8_t)(next() % 3 == 0 ? 1 : 0);
        std::vector<uint8_t> v = novenc::frame(h, b.b);
        std::unique_ptr<uint8_t[]> f(new uint8_t[v.size()]);
        memcpy(f.get(), v.data(), v.size());
        novatel_header_t hd;
        ASSERT_EQ(novatel_parser_header(f.get(), (uint32_t)v.size(), &hd), 0);

        novatel_range_t list;
        novatel_range_obs_t o;
        for (int numbering : {0, 2, 3}) {
            if (novatel_parser_range(f.get(), &hd, &list, numbering) == 0)
                for (uint32_t k = 0; k <= list.amount; ++k) observations += novatel_range_get_obs(&list, k, &o) == 0;
            if (novatel_parser_rangecmp(f.get(), &hd, &list, numbering) == 0)
                for (uint32_t k = 0; k <= list.amount; ++k)
                    observations += novatel_rangecmp_get_obs(&list, k, &o) == 0;
            novatel_rangecmp2_t cur;
            if (novatel_parser_rangecmp2(f.get(), &hd, &cur, numbering) == 0) {
                for (int k = 0; k < 1000; ++k) {
                    int r = novatel_rangecmp2_next(&cur, &o);
                    if (r == 0) ++observations;
                    if (r != 0 && r != 2 && r != 3) break;
                }
            }
        }
        try_parse(novatel_parser_gpsephem, f.get(), &hd);
        try_parse(novatel_parser_qzssephemeris, f.get(), &hd);
        try_parse(novatel_parser_bdsephemeris, f.get(), &hd);
        try_parse(novatel_parser_bd2ephem, f.get(), &hd);
        try_parse(novatel_parser_gpsephem_s, f.get(), &hd);
        try_parse(novatel_parser_galephemeris, f.get(), &hd);
        try_parse(novatel_parser_galinavephemeris, f.get(), &hd);
        try_parse(novatel_parser_galfnavephemeris, f.get(), &hd);
        try_parse(novatel_parser_gloephemeris, f.get(), &hd);
        try_parse(novatel_parser_ionutc, f.get(), &hd);
        try_parse(novatel_parser_iono, f.get(), &hd);
        try_parse(novatel_parser_time, f.get(), &hd);
        try_parse(novatel_parser_bestpos, f.get(), &hd);
        try_parse(novatel_parser_psrpos, f.get(), &hd);
    }
    EXPECT_GT(observations, 100);
}
