// RTCM 3 decoders: frames built bit by bit by the test encoder from chosen
// values must decode to those values with the broadcast scale factors; the
// worked edge cases of MSM timing, invalid values and limits; truncated and
// crafted frames are refused; and every MSM and ephemeris frame of the real
// receiver logs decodes to physically sane values with consistent code and
// carrier.
#include <gtest/gtest.h>

#include <math.h>
#include <stdlib.h>
#include <string.h>

#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "gnss_signal.h"
#include "lock_time.h"
#include "navigation.h"
#include "rtcm3.h"
#include "log_frames.h"
#include "msm_codes.h"
#include "rtcm3_encoder.h"
#include "testdata.h"
#include "util.h"

namespace {

using rtcm3enc::Msm;
using rtcm3enc::MsmCell;
using rtcm3enc::MsmSat;

const double kPi = 3.1415926535898;
const double kC = 299792458.0;

#define EXPECT_IN(x, lo, hi) EXPECT_TRUE((x) >= (lo) && (x) <= (hi)) << #x " = " << (x) << " "

// ---- helpers ---------------------------------------------------------------------------

// Re-frames the first `body_bytes` bytes of a frame's body with a matching
// length field and CRC, as a damaged or crafted but well-framed message.
std::vector<uint8_t> truncated(const std::vector<uint8_t> &f, size_t body_bytes)
{
    return fb::rtcm3(fb::Bytes(f.begin() + 3, f.begin() + 3 + body_bytes));
}

template <typename T> int dec(int (*parse)(const uint8_t *, uint32_t, T *), const std::vector<uint8_t> &f, T *out)
{
    return parse(f.data(), (uint32_t)f.size(), out);
}

std::string code_of(const rtcm3_msm_cell_t &c)
{
    return c.signal ? std::string(c.signal->code) : std::string();
}

// An MSM encoded and decoded again; kept in one place, as the header points
// into the frame.
struct Decoded {
    std::vector<uint8_t> f;
    rtcm3_msm_header_t h;
    int header, n;
    rtcm3_msm_cell_t c[RTCM3_MSM_MAX_CELLS];
    explicit Decoded(const std::vector<uint8_t> &frame) : f(frame)
    {
        header = rtcm3_parser_msm_header(f.data(), (uint32_t)f.size(), &h);
        n = rtcm3_parser_msm(&h, c, RTCM3_MSM_MAX_CELLS);
    }
    explicit Decoded(const Msm &m) : Decoded(rtcm3enc::encode_msm(m)) {}
};

// ---- MSM ---------------------------------------------------------------------------------------

struct SystemCase {
    int base;
    char letter;
    int sats[3];
    int signal_ids[3];
    double rough_ms[3];
};

const SystemCase kSystems[] = {
    {1070, 'G', {3, 17, 32}, {2, 15, 22}, {67.5, 75.25, 88.0}},
    {1080, 'R', {1, 12, 24}, {2, 3, 8}, {64.0, 70.125, 82.5}},
    {1090, 'E', {1, 19, 36}, {2, 14, 22}, {78.0, 85.5, 93.0}},
    {1110, 'J', {1, 2, 7}, {2, 16, 22}, {120.0, 125.0, 130.0}},
    {1120, 'C', {1, 30, 64}, {2, 8, 31}, {119.0, 72.5, 133.0}},
    {1100, 'S', {1, 4, 39}, {2, 22, 24}, {119.5, 120.25, 121.0}},
};

// Builds an MSM of three satellites and three signals with one missing cell
// per satellite, in which every value differs.
Msm make_msm(const SystemCase &sc, int type)
{
    Msm m;
    m.number = sc.base + type; m.station = 4095; m.epoch = 345678901; m.multiple = 1; m.iods = 5;
    m.clock_steering = 2; m.external_clock = 3; m.smoothing = 1; m.smoothing_interval = 7;
    m.signal_ids.assign(sc.signal_ids, sc.signal_ids + 3);
    for (int i = 0; i < 3; i++) {
        MsmSat s;
        s.id = sc.sats[i];
        s.rough_ms = sc.rough_ms[i] + 37 * (i + 1) / 1024.0;
        s.rough_rate = -600 + 450 * i;
        // GLONASS channels -6 and +6; 14 (in MSM7) and 15 (in MSM5) name no channel.
        s.ext = i == 0 ? 1u : i == 2 ? 13u : type == 7 ? 14u : 15u;
        for (int j = 0; j < 3; j++) {
            MsmCell c;
            c.present = j != (i % 3);
            c.pr_ms = s.rough_ms + (j - 1) * 0.00043 + i * 0.00011;
            c.ph_ms = c.pr_ms + 0.0021 * (j - 1) - 0.0007 * i;
            c.rate = s.rough_rate + 0.7345 * (j - 1) - 0.2321 * i;
            c.lock = type >= 6 ? 1000u - 100u * j - i : 15u - j - i;
            c.half = (unsigned)((i + j) & 1);
            c.cnr = type >= 6 ? 20.0 + 13 * j + 4 * i + 0.9375 : 20.0 + 13 * j + 4 * i;
            s.cells.push_back(c);
        }
        m.sats.push_back(s);
    }
    return m;
}

TEST(Rtcm3Msm, RoundTripEverySystemAndType)
{
    for (const SystemCase &sc : kSystems) {
        for (int type = 1; type <= 7; type++) {
            SCOPED_TRACE(std::string("system ") + sc.letter + " MSM" + std::to_string(type));
            Msm m = make_msm(sc, type);
            Decoded d(m);
            const rtcm3_msm_header_t &h = d.h;
            ASSERT_EQ(d.header, 0);
            ASSERT_NE(h.system, nullptr);
            uint64_t sat_mask = 0;
            for (int s : sc.sats) sat_mask |= 1ull << (s - 1);
            uint32_t sig_mask = 0;
            for (int g : sc.signal_ids) sig_mask |= 1u << (g - 1);
            EXPECT_EQ(logs::fields(h.message, h.station, h.epoch, h.multiple, h.iods, h.clock_steering,
                                   h.external_clock, h.smoothing, h.smoothing_interval, h.msm_type, h.system->letter),
                      logs::fields(m.number, 4095, 345678901u, 1, 5, 2, 3, 1, 7, type, sc.letter));
            // Cell bits (first bit = bit 0): satellite-major, cells 0, 4, 8 (i, i%3) absent.
            EXPECT_EQ(logs::fields(h.satellite_mask, h.signal_mask, h.satellite_amount, h.signal_amount,
                                   h.cell_amount, h.cell_used, h.cell_mask, h.frame, (size_t)h.frame_length),
                      logs::fields(sat_mask, sig_mask, 3u, 3u, 9u, 6u, 0xEEull, (const uint8_t *)d.f.data(),
                                   d.f.size()));
            ASSERT_EQ(d.n, 6);
            int k = 0;
            for (int i = 0; i < 3; i++) {
                const MsmSat &s = m.sats[i];
                unsigned int_ms = (unsigned)floor(s.rough_ms + 0.5 / 1024);
                for (int j = 0; j < 3; j++) {
                    const MsmCell &in = s.cells[j];
                    if (!in.present) continue;
                    const rtcm3_msm_cell_t &c = d.c[k++];
                    SCOPED_TRACE("satellite " + std::to_string(s.id) + " signal " + std::to_string(sc.signal_ids[j]));
                    // SBAS satellite id 1 is PRN 120, numbered S20 in RINEX.
                    EXPECT_EQ(logs::fields(c.satellite, c.signal_index, code_of(c)),
                              logs::fields(sc.letter == 'S' ? s.id + 19 : s.id, sc.signal_ids[j] - 1,
                                           kMsmCodes.at(sc.base).at(sc.signal_ids[j])));
                    // Type 2 has no pseudorange, type 1 no phase, types 1 to 3
                    // carry the range modulo 1 ms; C/N0 from type 4 on (MSM6 and
                    // MSM7 in 1/16 dB-Hz steps); phase range rate and extended
                    // information in types 5 and 7.
                    const bool pr = type != 2, ph = type != 1, cnr = type >= 4, rate = type == 5 || type == 7;
                    double base = type <= 3 ? int_ms : 0.0;
                    double pr_q = type >= 6 ? ldexp(1, -29) : ldexp(1, -24);
                    double ph_q = type >= 6 ? ldexp(1, -31) : ldexp(1, -29);
                    const int channel = s.ext <= 13 ? (int)s.ext - 7 : GLONASS_CHANNEL_UNKNOWN;
                    EXPECT_EQ(logs::fields(c.pseudorange_valid, c.phase_valid, c.cnr_valid, c.phase_rate_valid,
                                           c.extended_info_valid, (int)c.frequency_channel),
                              logs::fields<bool>(pr, ph, cnr, rate, rate, rate && sc.letter == 'R' ? channel : 0));
                    EXPECT_NEAR(c.pseudorange, pr ? (in.pr_ms - base) * 1e-3 : 0.0, pr_q * 0.5e-3 + 1e-16);
                    EXPECT_NEAR(c.phase, ph ? (in.ph_ms - base) * 1e-3 : 0.0, ph_q * 0.5e-3 + 1e-16);
                    EXPECT_NEAR(c.phase_rate, rate ? in.rate : 0.0, 0.5e-4 + 1e-9);
                    EXPECT_EQ(logs::fields(ph ? c.lock : in.lock, ph ? (unsigned)c.half_cycle : in.half,
                                           cnr ? (double)c.cnr : in.cnr, rate ? (unsigned)c.extended_info : s.ext),
                              logs::fields(in.lock, in.half, in.cnr, s.ext));
                }
            }
            // A smaller capacity stops early.
            ASSERT_EQ(rtcm3_parser_msm(&h, d.c, 2), 2);
            EXPECT_EQ(d.c[0].satellite, sc.letter == 'S' ? m.sats[0].id + 19 : m.sats[0].id);
        }
    }
}

TEST(Rtcm3Msm, InvalidFineValuesAndSkippedSatellites)
{
    // MSM7, and the short fields of MSM5 (15-bit range, 22-bit phase):
    // invalid fine phase keeps the pseudorange; invalid fine range keeps the
    // phase; invalid fine rate (-16384) and invalid rough rate (-8192) both
    // leave the Doppler unknown.
    for (int type : {7, 5}) {
        SCOPED_TRACE(type);
        Msm m = make_msm(kSystems[0], type);
        for (MsmSat &s : m.sats)
            for (MsmCell &c : s.cells) c.present = true;
        m.sats[0].cells[0].ph_valid = false;
        m.sats[0].cells[1].pr_valid = false;
        m.sats[0].cells[2].rate_fine_valid = false;
        m.sats[1].rough_rate_valid = false;
        Decoded d(m);
        ASSERT_EQ(logs::fields(d.header, d.n), logs::fields(0, 9));
        const rtcm3_msm_cell_t *c = d.c;
        EXPECT_EQ(logs::fields(c[0].phase_valid, c[0].phase, c[0].pseudorange_valid, c[0].phase_rate_valid,
                               c[1].pseudorange_valid, c[1].pseudorange, c[1].phase_valid, c[2].phase_rate_valid,
                               c[2].phase_rate, c[6].phase_rate_valid),
                  logs::fields(false, 0.0, true, true, false, 0.0, true, false, 0.0, true));
        EXPECT_NEAR(c[0].pseudorange, m.sats[0].cells[0].pr_ms * 1e-3, type == 7 ? 1e-12 : 6e-11);
        for (int k = 3; k < 6; k++)
            EXPECT_EQ(logs::fields(c[k].phase_rate_valid, c[k].pseudorange_valid), logs::fields(false, true));
    }

    // A rough range of 255 ms marks a satellite without data: its cells are
    // dropped and the next satellite's values are read at their own places.
    for (int type : {4, 5, 6, 7}) {
        Msm s = make_msm(kSystems[2], type);
        s.sats[1].rough_valid = false;
        Decoded e(s);
        ASSERT_EQ(logs::fields(e.header, e.h.cell_used, e.n), logs::fields(0, 6u, 4));
        EXPECT_EQ(logs::fields(e.c[1].satellite, e.c[2].satellite, e.c[3].satellite, code_of(e.c[3])),
                  logs::fields(s.sats[0].id, s.sats[2].id, s.sats[2].id, "7I"));
        for (int k : {2, 3}) EXPECT_NEAR(e.c[k].pseudorange, s.sats[2].cells[k - 2].pr_ms * 1e-3, 3e-11) << k;
    }
}

// RTCM 10403.3 lock time indicators: DF402 (4 bits: 0 below 32 ms, then
// 2^(i+4) ms up to twice that, 15 from 524288 ms on) and DF407 (10 bits:
// 1 ms steps to 63, then ranges whose step doubles every 32 values, 704 from
// 2^26 ms on, 705 to 1023 reserved).
TEST(Rtcm3Lock, TimeIndicatorsAndTheSlipRule)
{
    struct {
        uint32_t indicator;
        int extended;
        double min, resolution; // s; -1: no upper bound
        int result;
    } rows[] = {
        {0, 0, 0.0, 0.032, 0},         {1, 0, 0.032, 0.032, 0},      {5, 0, 0.512, 0.512, 0},
        {14, 0, 262.144, 262.144, 0},  {15, 0, 524.288, -1, 0},      {16, 0, 0, -1, -1},
        {0, 1, 0.0, 0.001, 0},         {63, 1, 0.063, 0.001, 0},     {64, 1, 0.064, 0.002, 0},
        {95, 1, 0.126, 0.002, 0},      {96, 1, 0.128, 0.004, 0},     {190, 1, 0.992, 0.016, 0},
        {222, 1, 1.984, 0.032, 0},     {515, 1, 1146.880, 32.768, 0}, {703, 1, 66060.288, 1048.576, 0},
        {704, 1, 67108.864, -1, 0},    {705, 1, 0, -1, -1},          {1023, 1, 0, -1, -1},
    };
    for (const auto &r : rows) {
        double min = 99, resolution = 99;
        EXPECT_EQ(rtcm3_msm_lock_time(r.indicator, r.extended, &min, &resolution), r.result) << r.indicator;
        EXPECT_NEAR(min, r.min, 1e-9) << r.indicator;
        EXPECT_NEAR(resolution, r.resolution, 1e-9) << r.indicator;
    }
    // Previous and current lock time (least value, resolution), elapsed s.
    struct {
        double previous, previousResolution, current, currentResolution, elapsed;
        int slipped;
    } cases[] = {
        {0, 0.001, 0, 0.001, 1, 1},             // an indicator of 0 twice
        {0.512, 0.512, 0.512, 0.512, 1, 1},     // 4 bits: 512-1024 ms twice, a second apart
        {0.512, 0.512, 1.024, 1.024, 1, 0},     // ... or grown into the next range
        {524.288, -1, 524.288, -1, 1, 0},       // at the top value: no bound
        {10, 0.001, 11, 0.001, 1, 0},           // one second more
        {10, 0.001, 10.5, 0.001, 1, 1},         // half a second more
        {10, 0.001, 12.5, 0.001, 1, 1},         // two and a half seconds more
        {10, -1, 5000, 0.001, 1, 0},            // after a top value any growth fits
        {0.992, 0.016, 1.984, 0.032, 1, 0},     // rounding within both resolutions
        {10, 0.001, 11, 0.001, -1, 1},          // a report older than the last one
        {10, 0.001, 10, 0.001, 0, 0},           // the same epoch again
    };
    for (const auto &c : cases)
        EXPECT_EQ(util_lock_slipped(c.previous, c.previousResolution, c.current, c.currentResolution, c.elapsed),
                  c.slipped)
            << c.previous << " " << c.current << " " << c.elapsed;

    // Legacy DF013/DF043 (7 bits): each indicator stands for its range's
    // smallest lock time, in s.
    const uint32_t legacy[][2] = {{0, 0},     {23, 23},   {24, 24},   {47, 70},   {48, 72},   {71, 164}, {72, 168},
                                  {95, 352},  {96, 360},  {119, 728}, {120, 744}, {126, 936}, {127, 937}};
    for (const auto &t : legacy) EXPECT_EQ(rtcm3_legacy_lock_seconds((uint8_t)t[0]), t[1]) << t[0];
    for (int i = 1; i < 128; i++)
        EXPECT_GT(rtcm3_legacy_lock_seconds((uint8_t)i), rtcm3_legacy_lock_seconds((uint8_t)(i - 1)));
}

// ---- fixed-layout messages ---------------------------------------------------------------------
// A message as its data fields in the order sent: width, kind, the value
// sent, and the decoded member that holds it times the field's scale.
template <typename N> struct Df {
    int bits;
    rtcm3enc::Kind kind;
    int64_t raw;
    double scale;
    double (*got)(const N &); // nullptr: not kept in the record
};
#define DF(member, bits, kind, raw, scale) {bits, rtcm3enc::kind, raw, scale, [](const N &n) { return (double)(n.member); }}
#define SENT(bits, raw) {bits, rtcm3enc::U, raw, 0, nullptr}

// Encodes the fields, decodes the frame of `size` bytes into `n` and expects
// every member. The decoder takes the frame at its exact length only: a byte
// less, or a byte more, is refused and leaves nothing decoded.
template <typename N>
std::vector<uint8_t> round_trip(int (*parse)(const uint8_t *, uint32_t, N *), const std::vector<Df<N>> &fields,
                                size_t size, N *n)
{
    rtcm3enc::BitWriter w;
    for (const Df<N> &f : fields) rtcm3enc::put_fields(w, {{f.raw, f.bits, f.kind}});
    std::vector<uint8_t> frame = rtcm3enc::frame(w);
    EXPECT_EQ(frame.size(), size);
    EXPECT_EQ(dec(parse, frame, n), 0);
    for (size_t i = 0; i < fields.size(); i++)
        if (fields[i].got) {
            EXPECT_DOUBLE_EQ(fields[i].got(*n), fields[i].raw * fields[i].scale) << "field " << i;
        }
    N out, zero;
    EXPECT_EQ(parse(frame.data(), (uint32_t)frame.size() - 1, &out), -1);
    memset(&out, 0x55, sizeof out);
    memset(&zero, 0, sizeof zero);
    frame.push_back(0);
    EXPECT_EQ(dec(parse, frame, &out), -1);
    EXPECT_EQ(memcmp(&out, &zero, sizeof out), 0);
    frame.pop_back();
    return frame;
}

// DF002, DF003, DF021-DF024, DF141, DF025, DF142, DF001, DF026, DF364, DF027
// and (1006 only) DF028, the antenna height; 0.1 mm units.
std::vector<Df<rtcm3_station_t>> station(int number, int64_t x, int64_t y, int64_t z)
{
    using N = rtcm3_station_t;
    std::vector<Df<N>> f = {
        SENT(12, number), DF(station, 12, U, 2003, 1), DF(itrf_year, 6, U, 63, 1), DF(gps, 1, U, 1, 1),
        DF(glonass, 1, U, 0, 1), DF(galileo, 1, U, 1, 1), DF(reference_station, 1, U, 1, 1), DF(x, 38, S, x, 1e-4),
        DF(oscillator, 1, U, 1, 1), SENT(1, 0), DF(y, 38, S, y, 1e-4), DF(quarter_cycle, 2, U, 2, 1),
        DF(z, 38, S, z, 1e-4)};
    if (number == 1006) f.push_back({16, rtcm3enc::U, 15432, 1, [](const N &n) { return (double)lround(n.height * 1e4); }});
    return f;
}

TEST(Rtcm3Fixed, StationsAndMeteo)
{
    rtcm3_station_t st;
    // -2694892.4609, -4360203.4345, 3854538.3219 m, height 1.5432 m.
    std::vector<uint8_t> f = round_trip(rtcm3_parser_1006, station(1006, -26948924609LL, -43602034345LL, 38545383219LL), 27, &st);
    EXPECT_EQ(dec(rtcm3_parser_1005, f, &st), -1); // 1006 is not 1005
    EXPECT_EQ(st.x, 0.0);
    round_trip(rtcm3_parser_1005, station(1005, (1LL << 37) - 1, -(1LL << 37), 0), 25, &st);
    EXPECT_EQ(st.height, 0.0f);

    using N = rtcm3_meteo_t;
    rtcm3_meteo_t met;
    round_trip(rtcm3_parser_36, {SENT(12, 36), SENT(4, 0), DF(value[0], 16, U, 1013, 1), DF(value[1], 16, U, 2150, 1),
                                 DF(value[2], 16, U, 65535, 1)}, 14, &met);
}

// ---- text messages --------------------------------------------------------------------------------

TEST(Rtcm3Text, DescriptorsAndText)
{
    // DF002, DF003, then counted strings (antenna, setup id DF031, the rest).
    auto descriptor = [](const std::vector<std::string> &texts) {
        rtcm3enc::BitWriter w;
        rtcm3enc::put_fields(w, {{1033, 12}, {77, 12}});
        for (size_t i = 0; i < texts.size(); i++) {
            if (i == 1) w.put(3, 8);
            w.put(texts[i].size(), 8);
            for (unsigned char ch : texts[i]) w.put(ch, 8);
        }
        return rtcm3enc::frame(w);
    };
    std::vector<uint8_t> f = descriptor({"TRM59800.00     SCIS", "1234567890", "SEPT POLARX5", "5.2.0", "3001234"});
    rtcm3_descriptor_t d;
    ASSERT_EQ(dec(rtcm3_parser_1033, f, &d), 0);
    EXPECT_EQ(logs::fields(d.station, std::string(d.antenna), d.setup_id, std::string(d.antenna_serial),
                           std::string(d.receiver), std::string(d.firmware), std::string(d.receiver_serial)),
              logs::fields(77, std::string("TRM59800.00     SCIS"), 3, std::string("1234567890"),
                           std::string("SEPT POLARX5"), std::string("5.2.0"), std::string("3001234")));
    // Any cut refuses the message.
    for (size_t n = 0; n + 6 < f.size(); n++) EXPECT_EQ(dec(rtcm3_parser_1033, truncated(f, n), &d), -1) << n;
    // A length byte of 32 or more is refused even when the frame holds it.
    f = descriptor({std::string(32, 'A'), "", "", "", ""});
    EXPECT_EQ(dec(rtcm3_parser_1033, f, &d), -1);
    EXPECT_EQ(d.antenna[0], 0);

    // 1029: MJD 58000 (2017-09-04), 3600 s, "Grüße" (5 characters, 7 units).
    auto text_frame = [](const std::string &s, int chars, int units) {
        rtcm3enc::BitWriter t;
        rtcm3enc::put_fields(t, {{1029, 12}, {12, 12}, {58000, 16}, {3600, 17}, {chars, 7}, {units, 8}});
        for (unsigned char ch : s) t.put(ch, 8);
        return rtcm3enc::frame(t);
    };
    rtcm3_text_t tx;
    ASSERT_EQ(dec(rtcm3_parser_1029, text_frame("Gr\xC3\xBC\xC3\x9F" "e", 5, 7), &tx), 0);
    EXPECT_EQ(logs::fields(tx.station, tx.mjd, tx.seconds, tx.characters, tx.length, std::string(tx.text), tx.time),
              logs::fields(12, 58000, 3600u, 5, 7, std::string("Gr\xC3\xBC\xC3\x9F" "e"),
                           1504486800000LL)); // 2017-09-04T01:00:00Z
    // Ending inside a character; more units than the frame holds.
    EXPECT_EQ(dec(rtcm3_parser_1029, text_frame("Gr\xC3\xBC\xC3", 4, 5), &tx), -2);
    EXPECT_EQ(dec(rtcm3_parser_1029, text_frame("abc", 3, 200), &tx), -1);
    EXPECT_EQ(tx.text[0], 0);
}

// Every decoder on one frame: results stay within their codes, and the
// prescan's short reads (an ephemeris' week and toc, an MSM epoch's time)
// agree with the full decoders: same acceptance, same values. Counts the
// ephemerides and MSM headers accepted.
void decode_all(const std::vector<uint8_t> &f, int *eph, int *msm)
{
    const uint8_t *p = f.data();
    const uint32_t len = (uint32_t)f.size();
    rtcm3_get_message_number(p, len);
    Decoded d(f);
    EXPECT_TRUE(d.header >= -5 && d.header <= 0);
    EXPECT_TRUE(d.header == 0 ? d.n >= 0 && d.n <= RTCM3_MSM_MAX_CELLS : d.n == 0);
    int32_t tow = -1;
    EXPECT_EQ(rtcm3_msm_tow(p, len, &tow), d.header);
    EXPECT_EQ(tow, d.h.tow);
    if (d.h.frame) ++*msm;

    int week = -1;
    uint32_t toc = 1;
    const int r = rtcm3_ephemeris_week_toc(p, len, &week, &toc);
    gps_nav_t g;
    bd2_nav_t b;
    galileo_fnav_t fn;
    galileo_inav_t in;
    const int full[][3] = {{rtcm3_parser_1019(p, len, &g), g.week, (int)g.toc},
                           {rtcm3_parser_1044(p, len, &g), g.week, (int)g.toc},
                           {rtcm3_parser_1042(p, len, &b), b.week, (int)b.toc},
                           {rtcm3_parser_1045(p, len, &fn), fn.week, (int)fn.toc},
                           {rtcm3_parser_1046(p, len, &in), in.week, (int)in.toc}};
    int accepted = 0;
    for (const auto &x : full) {
        EXPECT_TRUE(x[0] == 0 || x[0] == -1 || x[0] == -2);
        if (x[0] != 0) continue;
        accepted++;
        EXPECT_EQ(logs::fields(r, week, (int)toc), logs::fields(0, x[1], x[2]));
    }
    EXPECT_TRUE(accepted || (r == -1 && week == 0 && toc == 0)) << r << " " << week << " " << toc;
    *eph += accepted;
    rtcm3_station_t st;
    glonass_nav_t r20;
    rtcm3_meteo_t m;
    rtcm3_text_t t;
    rtcm3_descriptor_t ds;
    for (int x : {rtcm3_parser_1005(p, len, &st), rtcm3_parser_1006(p, len, &st), rtcm3_parser_1020(p, len, &r20),
                  rtcm3_parser_36(p, len, &m), rtcm3_parser_1029(p, len, &t), rtcm3_parser_1033(p, len, &ds)})
        EXPECT_TRUE(x == 0 || x == -1 || x == -2);
}

// ---- real receiver data ----------------------------------------------------------------------------

// The RTCM 3 logs (the NovAtel, Hemisphere and NMEA logs beside them hold no
// D3 frames that pass the CRC often enough to matter).
std::vector<std::string> rtcm_files()
{
    std::vector<std::string> out;
    for (const char *d : {"gnss-converters", "rtklib", "pyrtcm", "pygnssutils", "gpsd", "go-gnss-rtcm"}) {
        std::error_code error;
        for (const auto &e : std::filesystem::directory_iterator(testdata::path(d), error)) {
            const std::string name = e.path().filename().string();
            for (const char *kind : {".rtcm", ".log", ".023", "_frame.bin"})
                if (name[0] != '.' && name.find(kind) != std::string::npos) {
                    out.push_back(std::string(d) + "/" + name);
                    break;
                }
        }
    }
    return out;
}

// A signal's last epoch, for the code-carrier and Doppler checks.
struct Track {
    int64_t ms = -1;
    double pr = 0, ph = 0; // m
    uint32_t lock = 0;
    bool ph_ok = false;
};
typedef std::map<std::tuple<int, int, int>, Track> Tracks; // of the current file

// Moves a signal on to its new epoch; true when the two can be compared: at
// most 5 s apart, both with a phase, and a lock that went on (its time not
// reset; an indicator of 0 is a lock younger than the smallest step, the
// phase started again). Then the phase range moves with the pseudorange.
bool step(Track &t, const Track &now, Track *last)
{
    *last = t;
    t = now;
    return last->ms >= 0 && now.ms > last->ms && now.ms - last->ms <= 5000 && last->ph_ok && now.ph_ok &&
           now.lock > 0 && now.lock >= last->lock;
}

// A few metres of code noise and multipath at most; a wrong scale or sign
// gives kilometres.
bool code_carrier_bad(const Track &now, const Track &last) { return fabs((now.ph - last.ph) - (now.pr - last.pr)) > 5.0; }

// Legacy observations 1001 to 1004 and 1009 to 1012 of the real logs: ranges
// of satellites in orbit, CNR of tracked signals, GLONASS channels as the
// ephemerides give them, every code indicator naming a signal, and code and
// carrier that move together while the lock goes on.
struct LegacyCheck {
    int frames = 0, full = 0, cc_pairs = 0, cc_bad = 0, channel_checked = 0, cnr_odd = 0, cnr_n = 0;
    std::set<std::string> codes;

    void frame(const std::vector<uint8_t> &f, int msg, glonass_channel_t *channels, Tracks &tracks)
    {
        rtcm3_legacy_header_t h;
        ASSERT_EQ(dec(rtcm3_parser_legacy_header, f, &h), 0) << msg;
        frames++;
        EXPECT_LT(h.epoch, h.glonass ? 86400000u : 604800000u);
        rtcm3_legacy_obs_t o[RTCM3_LEGACY_MAX_SATELLITES];
        const int n = rtcm3_parser_legacy(&h, o, RTCM3_LEGACY_MAX_SATELLITES);
        EXPECT_EQ(n, h.satellite_amount);
        for (int k = 0; k < n; k++) {
            const rtcm3_legacy_obs_t &s = o[k];
            const int known = h.glonass ? glonass_channel_get(channels, s.prn) : GLONASS_CHANNEL_UNKNOWN;
            EXPECT_TRUE(!h.glonass || (s.frequency_channel >= -7 && s.frequency_channel <= 13));
            if (s.prn && known != GLONASS_CHANNEL_UNKNOWN) {
                EXPECT_EQ(s.frequency_channel, known) << "R" << (int)s.prn;
                channel_checked++;
            }
            // SBAS satellites in the GPS messages have nothing on L2.
            const bool sbas = !h.glonass && s.satellite >= 40;
            for (int band : {1, 2}) {
                const rtcm3_legacy_signal_t *sig = band == 1 ? &s.l1 : &s.l2;
                if (band == 2 && (!h.l2 || sbas)) continue;
                EXPECT_NE(sig->signal, nullptr) << msg << " sat " << (int)s.satellite << " L" << band << " code "
                                                << (int)sig->code;
                if (!sig->signal) continue;
                codes.insert(std::string(1, GNSS_SYSTEM[sig->signal->system].letter) + sig->signal->code);
                cnr_n += sig->cnr_valid;
                cnr_odd += sig->cnr_valid && (sig->cnr < 10 || sig->cnr > 60);
                if (!s.full_range || !sig->pseudorange_valid) continue;
                full++;
                // SBAS: GEO.
                EXPECT_IN(sig->pseudorange / 1000, 19000.0, sbas ? 42000.0 : 30000.0) << msg << " sat " << (int)s.satellite;
                Track last;
                const Track now{h.epoch, sig->pseudorange, sig->phase_range, rtcm3_legacy_lock_seconds(sig->lock),
                                (bool)sig->phase_valid};
                if (step(tracks[std::make_tuple(h.glonass, (int)s.satellite, band)], now, &last)) {
                    cc_pairs++;
                    cc_bad += code_carrier_bad(now, last);
                }
            }
        }
    }
    // The logs hold thousands of legacy messages of both systems and both bands.
    void expect_enough() const
    {
        EXPECT_TRUE(frames > 1000 && full > 10000 && channel_checked > 100 && cc_pairs > 10000)
            << frames << " " << full << " " << channel_checked << " " << cc_pairs;
        EXPECT_LE(cc_bad, cc_pairs / 1000) << cc_bad << " of " << cc_pairs;
        EXPECT_LE(cnr_odd, cnr_n / 100);
        for (const char *c : {"G1C", "G2W", "R1C", "R2C", "R2P"}) EXPECT_TRUE(codes.count(c)) << c;
    }
};

TEST(Rtcm3RealData, EveryFrameDecodesSaneAndConsistent)
{
    REQUIRE_TESTDATA();
    std::vector<std::string> files = rtcm_files();
    int total_msm = 0, total_cc = 0, total_rate = 0, total_channel = 0, pre_eph = 0, pre_msm = 0;
    std::map<int, int> per_message;
    std::map<std::string, int> cc_by_signal; // code-carrier pairs per system letter + code
    LegacyCheck legacy;
    // A satellite's number, sqrt(A) (m^1/2), eccentricity and inclination (degrees) against its orbit.
    auto orbit = [](const auto &n, int max_prn, double sqrt_a, double sqrt_a_tol, double max_e, double i, double i_tol) {
        EXPECT_IN(n.prn, 1, max_prn);
        EXPECT_NEAR(n.sqrt_a, sqrt_a, sqrt_a_tol) << "prn " << (int)n.prn;
        EXPECT_LT(n.e, max_e) << "prn " << (int)n.prn;
        EXPECT_NEAR(n.i0 * 180 / kPi, i, i_tol) << "prn " << (int)n.prn;
    };
    // E14 and E18 were left in eccentric orbits (e 0.16, i 50 degrees).
    auto galileo = [&](const auto &n) {
        const bool eccentric = n.prn == 14 || n.prn == 18;
        orbit(n, 36, eccentric ? 5280.0 : 5440.6, eccentric ? 30.0 : 5.0, eccentric ? 0.2 : 0.03, eccentric ? 50 : 56, 5.0);
        EXPECT_IN(n.week, 801, 1399);
    };

    for (const std::string &name : files) {
        SCOPED_TRACE(name);
        std::vector<std::vector<uint8_t>> frames = logs::rtcm3_frames(testdata::read(name));
        int cc_pairs = 0, cc_bad = 0, rate_pairs = 0, rate_bad = 0, cnr_cells = 0, cnr_odd = 0;
        glonass_channel_t channels;
        glonass_channel_init(&channels);
        // GLONASS channels from the file's own 1020s, for the MSM cross-check.
        for (const auto &f : frames) {
            glonass_nav_t g;
            if (rtcm3_get_message_number(f.data(), (uint32_t)f.size()) == 1020 && dec(rtcm3_parser_1020, f, &g) == 0)
                glonass_channel_update(&channels, g.slot, g.frequency_channel);
        }
        Tracks tracks;
        // The u-blox F9 logs send the phase range rate with the opposite sign on every satellite
        // and epoch (their carrier and code agree with each other); every other receiver's rate
        // follows its carrier, which fixes the decoder's sign.
        const bool reversed_doppler = name.find("ublox") != std::string::npos || name.find("pygnssutils/") == 0;
        for (const auto &f : frames) {
            const int msg = rtcm3_get_message_number(f.data(), (uint32_t)f.size());
            per_message[msg]++;
            decode_all(f, &pre_eph, &pre_msm);
            if (rtcm3_is_legacy_observation((uint32_t)msg)) {
                legacy.frame(f, msg, &channels, tracks);
                continue;
            }
            const int base = msg - msg % 10;
            if (rtcm3_is_msm(msg) && msg % 10 >= 1 && msg % 10 <= 7) {
                Decoded d(f);
                EXPECT_EQ(d.header, base == 1130 ? -3 : 0) << msg;
                if (d.header != 0) continue;
                total_msm++;
                const rtcm3_msm_header_t &h = d.h;
                EXPECT_LE(d.n, (int)h.cell_used);
                EXPECT_IN(h.tow, 0, 604799999);
                for (int k = 0; k < d.n; k++) {
                    const rtcm3_msm_cell_t &c = d.c[k];
                    // SBAS satellites are numbered PRN - 100 (PRN 120 to 158).
                    EXPECT_IN(c.satellite, base == 1100 ? 20 : 1, base == 1100 ? 58 : 64) << msg;
                    EXPECT_TRUE(!c.signal || &GNSS_SYSTEM[c.signal->system] == h.system) << msg;
                    // Receivers fill cells they have no measurement for with zeros.
                    const bool measured = h.msm_type >= 4 && c.pseudorange_valid && c.pseudorange != 0;
                    // Nearest and farthest ranges by orbit, plus a few ms of receiver clock offset:
                    // MEO 19,000 to 30,000 km; BDS GEO/IGSO and SBAS up to the horizon range of a
                    // geostationary orbit (41,700 km), QZSS up to that of its apogee (45,000 km).
                    // Galileo E14/E18 were left in eccentric orbits (perigee altitude 13,700 km);
                    // E20 sends no navigation data, so its range is not resolved beyond the code period.
                    if (measured && !(base == 1090 && c.satellite == 20)) {
                        const bool eccentric = base == 1090 && (c.satellite == 14 || c.satellite == 18);
                        const double lo = base == 1100 ? 35000 : eccentric ? 16000 : 19000;
                        const double hi = base == 1100 ? 45000 : base == 1110 ? 46000 : base == 1120 ? 42000 : 30000;
                        EXPECT_IN(c.pseudorange * kC / 1000, lo, hi) << msg << " sat " << (int)c.satellite;
                    }
                    // Phase range and pseudorange share the rough range; they differ by a small ambiguity only.
                    EXPECT_TRUE(!measured || !c.phase_valid || fabs(c.phase - c.pseudorange) * kC < 1500.0) << msg;
                    if (c.cnr_valid && c.cnr != 0) {
                        cnr_cells++;
                        // Galileo E5 AltBOC (ids 18 to 20) is wideband and is reported up to 63.
                        const int top = base == 1090 && c.signal_index >= 17 && c.signal_index <= 19 ? 63 : 60;
                        cnr_odd += c.cnr < 10 || c.cnr > top;
                    }
                    EXPECT_TRUE(!c.phase_rate_valid || fabs(c.phase_rate) < 5000.0) << msg;
                    const int known = base == 1080 && c.extended_info_valid && c.extended_info <= 13
                                          ? glonass_channel_get(&channels, c.satellite) : GLONASS_CHANNEL_UNKNOWN;
                    if (known != GLONASS_CHANNEL_UNKNOWN) {
                        EXPECT_EQ(c.frequency_channel, known) << "slot " << (int)c.satellite;
                        total_channel++;
                    }
                    Track last;
                    const Track now{h.tow, c.pseudorange * kC, c.phase * kC, c.lock, (bool)c.phase_valid};
                    if (!measured || !step(tracks[std::make_tuple(base, (int)c.satellite, (int)c.signal_index)], now, &last))
                        continue;
                    cc_pairs++;
                    cc_bad += code_carrier_bad(now, last);
                    if (c.signal) cc_by_signal[std::string(1, h.system->letter) + c.signal->code]++;
                    if (c.phase_rate_valid) {
                        // Doppler against the carrier range rate over the interval (the
                        // pseudorange rate is too noisy at 5 Hz).
                        const double rate = (now.ph - last.ph) / ((now.ms - last.ms) * 1e-3);
                        rate_pairs++;
                        rate_bad += fabs((reversed_doppler ? -rate : rate) - c.phase_rate) > 2.0;
                    }
                }
                continue;
            }
            gps_nav_t g;
            bd2_nav_t b;
            galileo_fnav_t fn;
            galileo_inav_t in;
            glonass_nav_t r;
            rtcm3_station_t s;
            rtcm3_descriptor_t ds;
            rtcm3_text_t tx;
            switch (msg) {
            case 1019:
                ASSERT_EQ(dec(rtcm3_parser_1019, f, &g), 0);
                orbit(g, 32, 5153.6, 5.0, 0.03, 55.0, 5.0);
                EXPECT_GE(g.week, 2048);
                EXPECT_TRUE(g.toe < 604800u && g.toe % 16 == 0) << g.toe;
                break;
            case 1044:
                // QZSS: quasi-zenith orbits (e 0.075, 41 degrees) or geostationary.
                ASSERT_EQ(dec(rtcm3_parser_1044, f, &g), 0);
                orbit(g, 10, 6493.0, 10.0, 0.1, 25.0, 25.0);
                break;
            case 1042:
                // MEO (a 27906 km) or GEO/IGSO (42164 km).
                ASSERT_EQ(dec(rtcm3_parser_1042, f, &b), 0);
                orbit(b, 63, fabs(b.sqrt_a - 5282.6) < 10 ? 5282.6 : 6493.4, 10.0, 0.03, 30.0, 30.0);
                EXPECT_IN(b.week, 601, 1399);
                break;
            case 1045:
                ASSERT_EQ(dec(rtcm3_parser_1045, f, &fn), 0);
                galileo(fn);
                break;
            case 1046:
                ASSERT_EQ(dec(rtcm3_parser_1046, f, &in), 0);
                galileo(in);
                break;
            case 1020: {
                ASSERT_EQ(dec(rtcm3_parser_1020, f, &r), 0);
                // Slots 1 to 24 and a few for test and spare satellites (R26 is one).
                EXPECT_IN(r.slot, 1, 32);
                EXPECT_IN(r.frequency_channel, -7, 6);
                const double radius = sqrt(r.x * r.x + r.y * r.y + r.z * r.z);
                EXPECT_NEAR(radius, 25500.0, 200.0) << "R" << (int)r.slot;
                // Velocity is earth-fixed; adding the earth's rotation gives the inertial
                // speed of a near-circular orbit, sqrt(GM / r).
                const double w = 7.2921151467e-5, vix = r.vx - w * r.y, viy = r.vy + w * r.x;
                EXPECT_NEAR(sqrt(vix * vix + viy * viy + r.vz * r.vz), sqrt(398600.4418 / radius), 0.03)
                    << "R" << (int)r.slot;
                // GLONASS-UTC(SU) and GPS-GLONASS corrections are below a microsecond; both
                // are sent as sign and magnitude (read unsigned, a negative one would be
                // about 1 s or 4 ms).
                EXPECT_TRUE(fabs(r.tau) < 1e-3 && fabs(r.tau_c) < 1e-5 && fabs(r.tau_gps) < 1e-5) << "R" << (int)r.slot;
                EXPECT_TRUE(r.tb < 86400u && r.tk < 86400u);
                // Some test streams carry a made-up N4; the date must at least lie after
                // 1996 and follow the frame by less than a day.
                EXPECT_TRUE(!glonass_nav_date_known(&r) ||
                            (r.tb_time > 820443600000LL && llabs(r.tb_time - r.tk_time) < 86400000LL));
                break;
            }
            case 1005:
            case 1006:
                ASSERT_EQ(dec(msg == 1005 ? rtcm3_parser_1005 : rtcm3_parser_1006, f, &s), 0);
                EXPECT_IN(sqrt(s.x * s.x + s.y * s.y + s.z * s.z), 6350000.0, 6390000.0);
                break;
            case 1033: EXPECT_EQ(dec(rtcm3_parser_1033, f, &ds), 0); break;
            case 1029: EXPECT_EQ(dec(rtcm3_parser_1029, f, &tx), 0); break;
            default: break;
            }
        }
        // A small share of outliers: cycle slips not flagged by the lock time.
        EXPECT_LE(cc_bad * 100, cc_pairs) << cc_bad << " of " << cc_pairs;
        EXPECT_LE(rate_bad * 100, rate_pairs) << rate_bad << " of " << rate_pairs;
        // Semi-codeless L2 P(Y) tracking is reported down to 8 dB-Hz and wideband signals (E5
        // AltBOC, L5) up to 61-63; a wrong scale would move nearly every value out of range.
        EXPECT_LE(cnr_odd * 100, cnr_cells * 3) << cnr_odd << " of " << cnr_cells;
        total_cc += cc_pairs;
        total_rate += rate_pairs;
    }
    // The logs hold thousands of each; make sure the scan really saw them, the
    // prescan's short reads included.
    int eph = 0;
    for (int m : {1019, 1020, 1042, 1044, 1045, 1046}) eph += per_message[m];
    EXPECT_TRUE(total_msm > 10000 && eph > 10000 && total_cc > 100000 && total_rate > 1000 && total_channel > 100 &&
                pre_eph > 500 && pre_msm > 1000)
        << total_msm << " " << eph << " " << total_cc << " " << total_rate << " " << total_channel << " " << pre_eph
        << " " << pre_msm;
    for (int m : {1074, 1075, 1076, 1077, 1084, 1085, 1086, 1087, 1094, 1095, 1096, 1097, 1114, 1115, 1116, 1117,
                  1124, 1125, 1126, 1127, 1107, 1019, 1020, 1042, 1044, 1045, 1046, 1005, 1006})
        EXPECT_GT(per_message[m], 0) << m;
    // The I+Q and L1C data+pilot signals and the SBAS signals of the logs are in the check.
    for (const char *sig : {"G5X", "J5X", "J1X", "S1C", "S5I", "E5X", "E7X", "E8X", "E1X"})
        EXPECT_GT(cc_by_signal[sig], 0) << sig;
    legacy.expect_enough();
}

// ---- legacy observations 1001 to 1004 and 1009 to 1012 ---------------------------------------

// Every message of the two families from the same two satellites: the values
// come back at the fields' resolutions (pseudorange 0.02 m, phase range and
// its difference 0.0005 m, CNR 0.25 dB-Hz); without the ambiguity field the
// pseudorange is only the remainder of the light-milliseconds.
TEST(Rtcm3Legacy, EncodedMessagesDecodeToTheirValues)
{
    for (int number : {1001, 1002, 1003, 1004, 1009, 1010, 1011, 1012}) {
        SCOPED_TRACE(number);
        const bool glo = number >= 1009, l2 = (number - 1001) % 8 >= 2, ext = number % 2 == 0;
        // Ambiguity units: one light-millisecond (GPS), two (GLONASS).
        const double unit = glo ? 599584.916 : 299792.458;
        rtcm3enc::Legacy m;
        m.number = number; m.station = 2047; m.epoch = glo ? 10783000u : 345601000u; m.synchronous = 1;
        m.smoothing = 1; m.smoothing_interval = 5;
        rtcm3enc::LegacySat a;
        a.id = 7; a.channel = -4; a.pr1 = glo ? 19876543.208 : 21234567.88; a.ph1 = a.pr1 + 123.4565; a.cnr1 = 45.25;
        a.l2_code = 1; a.pr2 = a.pr1 + 5.34; a.ph2 = a.pr1 - 200.25; a.cnr2 = 38.5;
        a.lock1 = 100; // 16 x 100 - 1176 = 424 s
        a.lock2 = 30;  // 2 x 30 - 24 = 36 s
        rtcm3enc::LegacySat b; // invalid phase and L2, CNR "not computed"
        b.id = 12; b.channel = 13; b.ph1_valid = b.pr2_valid = b.ph2_valid = false;
        // An L2 block left at zeros (both differences, lock and C/N0), as one
        // receiver sends for a satellite it tracks on L1 only: no L2 values.
        // With a lock indicator the same zero code difference is a measurement.
        rtcm3enc::LegacySat c;
        c.id = 14; c.pr1 = c.ph1 = c.pr2 = c.ph2 = (glo ? 33 : 70) * unit + 20.0; c.lock1 = 10; c.cnr1 = 33.0;
        rtcm3enc::LegacySat d = c;
        d.id = 15; d.lock2 = 30; d.cnr2 = 30.0;
        m.sats = {a, b, c, d};
        std::vector<uint8_t> f = rtcm3enc::encode_legacy(m);
        rtcm3_legacy_header_t h;
        ASSERT_EQ(dec(rtcm3_parser_legacy_header, f, &h), 0);
        EXPECT_EQ(logs::fields(h.message, h.station, h.epoch, h.synchronous, h.satellite_amount, h.smoothing,
                               h.smoothing_interval),
                  logs::fields(number, 2047, m.epoch, 1, 4, 1, 5));
        rtcm3_legacy_obs_t o[RTCM3_LEGACY_MAX_SATELLITES];
        ASSERT_EQ(rtcm3_parser_legacy(&h, o, RTCM3_LEGACY_MAX_SATELLITES), 4);
        const double whole = ext ? 0 : (glo ? 33 : 70) * unit; // left out of the range without DF014/DF044
        EXPECT_NEAR(o[0].l1.pseudorange, a.pr1 - whole, 1e-6);
        EXPECT_NEAR(o[0].l1.phase_range, a.ph1 - whole, 1e-6);
        ASSERT_NE(o[0].l1.signal, nullptr);
        EXPECT_EQ(logs::fields(o[0].satellite, o[0].prn, o[0].full_range, o[0].frequency_channel,
                               o[0].l1.pseudorange_valid, o[0].l1.phase_valid, rtcm3_legacy_lock_seconds(o[0].l1.lock),
                               o[0].l1.cnr_valid, o[0].l1.cnr, std::string(o[0].l1.signal->code),
                               (int)o[0].l1.signal->system),
                  logs::fields(7, 7, ext, glo ? -4 : 0, 1, 1, 424u, (int)ext, ext ? 45.25f : 0.0f, "1C",
                               (int)(glo ? GNSS_SYSTEM_GLONASS : GNSS_SYSTEM_GPS)));
        if (l2) {
            EXPECT_NEAR(o[0].l2.pseudorange, a.pr2 - whole, 1e-6);
            EXPECT_NEAR(o[0].l2.phase_range, a.ph2 - whole, 1e-6);
            ASSERT_NE(o[0].l2.signal, nullptr);
            EXPECT_EQ(logs::fields(o[0].l2.pseudorange_valid && o[0].l2.phase_valid,
                                   rtcm3_legacy_lock_seconds(o[0].l2.lock), o[0].l2.cnr, std::string(o[0].l2.signal->code)),
                      logs::fields(true, 36u, ext ? 38.5f : 0.0f, std::string("2P")));
        } else {
            EXPECT_EQ(o[0].l2.signal, nullptr);
        }
        EXPECT_EQ(logs::fields(o[1].satellite, o[1].frequency_channel, o[1].l1.phase_valid, o[1].l1.cnr_valid,
                               o[1].l2.pseudorange_valid, o[1].l2.phase_valid),
                  logs::fields(12, glo ? 13 : 0, 0, 0, 0, 0));
        EXPECT_EQ(logs::fields(o[2].l1.pseudorange_valid, o[2].l1.phase_valid, o[2].l2.pseudorange_valid,
                               o[2].l2.phase_valid, o[3].l2.pseudorange_valid, o[3].l2.phase_valid),
                  logs::fields(1, 1, 0, 0, (int)l2, (int)l2));
        if (l2) {
            EXPECT_NEAR(o[3].l2.pseudorange, o[3].l1.pseudorange, 1e-9);
        }
        // One byte short of its satellites, or not a legacy message.
        f = truncated(f, f.size() - 7);
        EXPECT_EQ(dec(rtcm3_parser_legacy_header, f, &h), -5);
        EXPECT_EQ(rtcm3_parser_legacy(&h, o, RTCM3_LEGACY_MAX_SATELLITES), 0);
    }
    rtcm3_legacy_header_t h;
    EXPECT_EQ(dec(rtcm3_parser_legacy_header, rtcm3enc::encode_msm(make_msm(kSystems[0], 4)), &h), -2);
    const uint8_t tiny[] = {0xD3, 0x00, 0x02, 0x3E, 0x90, 0, 0, 0};
    EXPECT_EQ(rtcm3_parser_legacy_header(tiny, sizeof tiny, &h), -1);
}

} // namespace

TEST(Rtcm3Msm, LimitsSignalsAndRefusals)
{
    // 8 satellites x 8 signals = 64 cells decode; 9 x 8 is refused.
    Msm m;
    m.number = 1074;
    for (int g = 1; g <= 8; g++) m.signal_ids.push_back(g * 4 - 2);
    for (int s = 1; s <= 9; s++) {
        MsmSat sat;
        sat.id = s * 7;
        sat.rough_ms = 70 + s;
        for (int g = 0; g < 8; g++) {
            MsmCell c;
            c.ph_ms = c.pr_ms = sat.rough_ms + 0.0001 * g;
            c.cnr = 40;
            sat.cells.push_back(c);
        }
        m.sats.push_back(sat);
    }
    const Decoded over(m);
    EXPECT_EQ(logs::fields(over.header, over.h.system, over.h.frame),
              logs::fields(-4, (const gnss_system_t *)nullptr, (const uint8_t *)nullptr));
    m.sats.pop_back();
    Decoded d(m);
    ASSERT_EQ(logs::fields(d.header, d.n), logs::fields(0, 64));
    EXPECT_EQ(logs::fields(d.h.cell_amount, d.h.cell_used, d.h.cell_mask, d.c[63].satellite, d.c[63].signal_index),
              logs::fields(64u, 64u, ~0ull, 56, 29));
    EXPECT_NEAR(d.c[63].pseudorange, (78 + 0.0007) * 1e-3, 3e-11); // 2^-25 ms
    // GPS ids 2 to 30 in steps of 4: 1C, 2W, 5I, 1S; the others have no code.
    for (int g = 0; g < 8; g++)
        EXPECT_EQ(code_of(d.c[g]), kMsmCodes.at(1070).count(g * 4 + 2) ? kMsmCodes.at(1070).at(g * 4 + 2) : "") << g;

    // Type 0, 8, 9 and systems without tables.
    for (int number : {1070, 1078, 1079, 1134, 1137, 1005}) {
        Msm x = make_msm(kSystems[0], 4);
        x.number = number;
        EXPECT_EQ(Decoded(x).header, (number % 10 == 0 || number % 10 >= 8) ? -2 : -3) << number;
    }

    // Every truncation of a good frame is refused without reading past it
    // (the sanitizer build checks the reads; each frame is its own buffer).
    for (int type = 1; type <= 7; type++) {
        std::vector<uint8_t> good = rtcm3enc::encode_msm(make_msm(kSystems[1], type));
        for (size_t n = 0; n + 6 < good.size(); n++) {
            Decoded t(truncated(good, n));
            EXPECT_EQ(logs::fields(t.header, t.n), logs::fields(t.f.size() < 22 ? -1 : -5, 0))
                << "type " << type << " body " << n;
        }
    }
    // A header changed after decoding cannot steer the cell reads past the frame.
    Decoded x(make_msm(kSystems[0], 7));
    ASSERT_EQ(x.header, 0);
    rtcm3_msm_header_t h = x.h;
    h.satellite_mask = ~0ull >> 8;
    EXPECT_EQ(rtcm3_parser_msm(&h, x.c, RTCM3_MSM_MAX_CELLS), 0);
    h = x.h;
    h.frame_length -= 4;
    EXPECT_EQ(rtcm3_parser_msm(&h, x.c, RTCM3_MSM_MAX_CELLS), 0);
}
