// Framer behaviour on hand-built streams: sync search order, delivery and
// rejection, text lines, positions and the smaller formats.
#include <gtest/gtest.h>

#include <string.h>

#include <tuple>
#include <vector>

#include "log_frames.h"
#include "frame_builders.h"
#include "framer_recorder.h"
#include "gnssparser.h"

using fb::Bytes;

namespace {

struct Framer {
    std::vector<uint8_t> buffer;
    gnssparser_s parser;
    Recorder rec;
    uint8_t gsof[512];

    explicit Framer(uint32_t size = 16384) : buffer(size)
    {
        gnssparser_init(&parser, buffer.data(), size, &rec);
        rec.parser = &parser;
    }
    void feed(const Bytes &b) { gnssparser_input(&parser, b.data(), (uint32_t)b.size()); }
    void feed_bytewise(const Bytes &b)
    {
        for (uint8_t c : b) gnssparser_input(&parser, &c, 1);
    }
};

} // namespace

TEST(Framer, VersionAndInit)
{
    EXPECT_STREQ(gnssparser_version(), "GNSSPARSER.1.235.2401.349");
    Framer f;
    EXPECT_EQ(f.parser.callback_rtcm3, nullptr);
    EXPECT_EQ(f.parser.buffer_size, 16384u);
    // Null data, zero length and a null buffer are ignored.
    gnssparser_input(&f.parser, nullptr, 5);
    uint8_t b = 0xD3;
    gnssparser_input(&f.parser, &b, 0);
    gnssparser_s none;
    gnssparser_init(&none, nullptr, 0, nullptr);
    gnssparser_input(&none, &b, 1);
    EXPECT_EQ(f.parser.position, 0u);
}

TEST(Framer, Rtcm3SplitAtEveryPositionIsDeliveredOnceWhole)
{
    Bytes frame = fb::rtcm3(fb::rtcm3_payload(1077, 57));
    Bytes stream = fb::cat({fb::text("junk"), frame, fb::text("x")});
    for (size_t cut = 0; cut <= stream.size(); cut++) {
        Framer f;
        gnssparser_callback_rtcm3(&f.parser, rec_callback<R_RTCM3>);
        f.feed(Bytes(stream.begin(), stream.begin() + cut));
        f.feed(Bytes(stream.begin() + cut, stream.end()));
        ASSERT_EQ(f.rec.count(R_RTCM3), 1u) << "cut at " << cut;
        EXPECT_EQ(f.rec.events[0].bytes, frame);
        EXPECT_EQ(f.rec.events[0].frame_position, 4u); // the frame's first byte
    }
}

TEST(Framer, Rtcm3LengthLimits)
{
    // RTCM 3 frames collected by a framer with a buffer of `size` bytes.
    auto frames = [](const Bytes &stream, uint32_t size) {
        Framer f(size);
        gnssparser_callback_rtcm3(&f.parser, rec_callback<R_RTCM3>);
        f.feed(stream);
        return f.rec.only(R_RTCM3);
    };
    // Payload 0 and 1 are refused even with a correct CRC; payload 2 is taken.
    EXPECT_EQ(frames(fb::rtcm3(Bytes(0, 0)), 16384).size(), 0u);
    EXPECT_EQ(frames(fb::rtcm3(Bytes(1, 0)), 16384).size(), 0u);
    EXPECT_EQ(frames(fb::rtcm3(fb::rtcm3_payload(1005, 2)), 16384).size(), 1u);
    // The largest payload, 1023 bytes, is 1029 bytes in all and fits 16384;
    // with a 1029-byte buffer only 1028 bytes are held: the frame is refused.
    Bytes frame = fb::rtcm3(fb::rtcm3_payload(1127, 1023));
    std::vector<RecEvent> big = frames(frame, 16384);
    ASSERT_EQ(big.size(), 1u);
    EXPECT_EQ(big[0].bytes.size(), 1029u);
    EXPECT_EQ(frames(frame, 1029).size(), 0u);
    EXPECT_EQ(frames(frame, 1030).size(), 1u);
}

namespace {

// One piece of a stream and how the framer must hand it over.
struct Part {
    int format;
    Bytes bytes;
};

enum class Set { Conversion, Rtcm3, Most };

// Feeds the parts as one stream to a framer with the formats of `set`
// registered, flushes it, and expects each part back as it is described,
// with consecutive discarded pieces joined (no part holds a line feed).
void expect_framed(Set set, const std::vector<Part> &parts)
{
    Framer f;
    if (set == Set::Rtcm3) {
        gnssparser_callback_rtcm3(&f.parser, rec_callback<R_RTCM3>);
        gnssparser_callback_crack(&f.parser, rec_callback<R_CRACK>);
    } else if (set == Set::Conversion) {
        rec_register_conversion(&f.parser);
    } else {
        // Every format but those whose syncs match nearly anything (HCI 01..04, Trimble 02).
        rec_register_all(&f.parser, f.gsof, sizeof f.gsof);
        gnssparser_callback_hci(&f.parser, nullptr);
        gnssparser_callback_trimble(&f.parser, nullptr);
        gnssparser_callback_trimble_gsof(&f.parser, nullptr, nullptr, 0);
    }
    Bytes stream;
    for (const Part &p : parts) stream.insert(stream.end(), p.bytes.begin(), p.bytes.end());
    f.feed(stream);
    gnssparser_flush(&f.parser);
    std::vector<std::pair<int, Bytes>> got, expected;
    for (const RecEvent &e : f.rec.events) {
        if (e.format == R_CRACK && !got.empty() && got.back().first == R_CRACK)
            got.back().second.insert(got.back().second.end(), e.bytes.begin(), e.bytes.end());
        else
            got.emplace_back(e.format, e.bytes);
    }
    for (const Part &p : parts) expected.emplace_back(p.format, p.bytes);
    EXPECT_EQ(got, expected);
}

Bytes with(Bytes b, size_t at, uint8_t flip)
{
    b[at] ^= flip;
    return b;
}

} // namespace

// Frames of every format found in place, damaged ones discarded whole, and
// syncs tested in their order.
TEST(Framer, FramesAndDamagedFramesInPlace)
{
    Bytes rtcm = fb::rtcm3(fb::rtcm3_payload(1006, 19));
    expect_framed(Set::Conversion, {{R_LINE, fb::text("abc\r\n")}, {R_RTCM3, rtcm}});
    // Formats not registered are never collected.
    expect_framed(Set::Rtcm3, {{R_CRACK, fb::cat({fb::novatel(43, Bytes(44, 1)), fb::text("\n")})}, {R_RTCM3, rtcm}});

    Bytes empty = fb::novatel(101, Bytes());
    EXPECT_EQ(empty.size(), 32u);
    Bytes good = fb::novatel(43, Bytes(4 + 44 * 3, 7));
    expect_framed(Set::Conversion, {{R_NOVATEL, empty}, {R_CRACK, with(good, good.size() - 1, 1)}, {R_NOVATEL, good}});
    // A header-length byte of 3 would give a total of 3 + 0 + 4 = 7, which
    // the held bytes have already passed: the candidate must end at once so
    // the genuine frame right after it is still found. Header lengths below
    // 28 are refused even when the total would be large.
    expect_framed(Set::Conversion, {{R_CRACK, Bytes{0xAA, 0x44, 0x12, 0x03, 0, 0, 0, 0, 0, 0}},
                                    {R_NOVATEL, fb::novatel(42, Bytes(72, 9))}});
    expect_framed(Set::Conversion, {{R_CRACK, fb::novatel(43, Bytes(40, 1), 27)}});

    Bytes zero = fb::hemisphere(94, Bytes());
    EXPECT_EQ(logs::fields(zero.size(), zero[8], zero[9]), logs::fields(12u, 0, 0));
    Bytes no_crlf = fb::cat({fb::hemisphere(16, Bytes(30, 0xF0), false), fb::text("XY")}); // XY where CR LF should be
    expect_framed(Set::Conversion, {{R_HEMISPHERE, zero}, {R_HEMISPHERE, no_crlf},
                                    {R_CRACK, with(fb::hemisphere(95, Bytes(11, 1), false), 8, 0xFF)},
                                    {R_HEMISPHERE, fb::hemisphere(65, Bytes(5, 2))}});
    // "$BIN" is also "$" + "B": Septentrio's "$@" must not win, and a D3 00
    // inside a collected Hemisphere frame is not a sync.
    expect_framed(Set::Most, {{R_HEMISPHERE, fb::hemisphere(99, {0xD3, 0x00, 0x10, 0xAA, 0x44, 0x12, 0x1C})}});

    Bytes ubx = fb::ublox(0x01, 0x07, Bytes(92, 3)), ubx_bad = fb::ublox(0x02, 0x15, Bytes(8, 1));
    Bytes sbf = fb::sbf(4027, Bytes(24, 5));
    expect_framed(Set::Most, {{R_UBLOX, ubx}, {R_CRACK, with(ubx_bad, ubx_bad.size() - 1, 1)}, {R_SEPTENTRIO, sbf},
                              {R_CRACK, with(fb::sbf(4007, Bytes(16, 6)), 10, 1)}});
    // novatelx (AA 44 16) and Unicore (AA 44 B5) end in the NovAtel CRC.
    Bytes x = {0xAA, 0x44, 0x16, 0x00, 0x10, 0x00, 0x05, 0x00, 1, 2, 3, 4, 5};
    fb::put32(x, fb::crc32_novatel(x.data(), x.size()));
    Bytes u = {0xAA, 0x44, 0xB5, 0x00, 0x20, 0x00, 0x03, 0x00};
    u.resize(24, 0x11);
    u.insert(u.end(), {7, 8, 9});
    fb::put32(u, fb::crc32_novatel(u.data(), u.size()));
    expect_framed(Set::Most, {{R_NOVATELX, x}, {R_UNICORE, u}});
}

TEST(Framer, LineStartsAfterTheLastZeroByte)
{
    Framer f;
    rec_register_conversion(&f.parser);
    const char *nmea = "$GPGGA,1*5A\r\n";
    Bytes stream = fb::cat({Bytes{0x81, 0x00, 0x7F, 0x00, 0x13}, fb::text(nmea)});
    f.feed(stream);
    ASSERT_EQ(f.rec.events.size(), 2u);
    EXPECT_EQ(f.rec.events[0].format, R_CRACK);
    EXPECT_EQ(f.rec.events[0].bytes, (Bytes{0x81, 0x00, 0x7F, 0x00}));
    // While the discarded bytes are handed over, position is the line's start.
    EXPECT_EQ(logs::fields(f.rec.events[0].position, f.rec.events[1].format, f.rec.events[1].bytes),
              logs::fields(4u, R_LINE, fb::cat({Bytes{0x13}, fb::text(nmea)})));
    // The delivered line is followed by a 0 in the framer's buffer.
    EXPECT_EQ(f.buffer[4 + 1 + strlen(nmea)], 0);
}

TEST(Framer, FramesInsideARejectedCandidateAreFound)
{
    Framer f;
    rec_register_conversion(&f.parser);
    Bytes genuine1 = fb::rtcm3(fb::rtcm3_payload(1074, 40));
    Bytes genuine2 = fb::rtcm3(fb::rtcm3_payload(1084, 30));
    // D3 00 40: a candidate of 64 + 6 bytes that fails its CRC and covers
    // all of genuine1. The search resumes after its first byte.
    Bytes fake = {0xD3, 0x00, 0x40};
    Bytes filler(70 - 3 - genuine1.size(), 0x55);
    f.feed(fb::cat({fake, genuine1, filler, genuine2}));
    std::vector<RecEvent> frames = f.rec.only(R_RTCM3);
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(logs::fields(frames[0].bytes, frames[0].frame_position, frames[1].bytes, frames[1].frame_position),
              logs::fields(genuine1, 3u, genuine2, 70u));
    // Only the bytes outside both frames are discarded: the false sync byte
    // first, then the rest of the false header, then the filler.
    std::vector<RecEvent> crack = f.rec.only(R_CRACK);
    ASSERT_EQ(crack.size(), 3u);
    EXPECT_EQ(crack[0].bytes, Bytes{0xD3});
    EXPECT_EQ(f.rec.joined(R_CRACK), fb::cat({fake, filler}));

    // The same when the candidate is rejected while its bytes are searched
    // again: a second false sync inside the first one.
    Framer g;
    rec_register_conversion(&g.parser);
    Bytes fake2 = {0xD3, 0x00, 0x20};
    g.feed(fb::cat({fake, fake2, genuine1, filler, genuine2}));
    ASSERT_EQ(g.rec.count(R_RTCM3), 2u);
    EXPECT_EQ(logs::fields(g.rec.only(R_RTCM3)[0].bytes, g.rec.only(R_RTCM3)[0].frame_position, g.rec.joined(R_CRACK)),
              logs::fields(genuine1, 6u, fb::cat({fake, fake2, filler})));
}

TEST(Framer, FlushDeliversFramesInsideAnUnfinishedCandidate)
{
    // A false sync near the end claims more bytes than the stream has left;
    // at the end of the stream it is given up and the frame inside it found.
    Framer f;
    rec_register_conversion(&f.parser);
    Bytes genuine = fb::rtcm3(fb::rtcm3_payload(1005, 19));
    Bytes fake = {0xD3, 0x01, 0x00};
    f.feed(fb::cat({fake, genuine, Bytes{0x55}}));
    EXPECT_EQ(f.rec.count(R_RTCM3), 0u);
    gnssparser_flush(&f.parser);
    ASSERT_EQ(f.rec.count(R_RTCM3), 1u);
    EXPECT_EQ(logs::fields(f.rec.only(R_RTCM3)[0].bytes, f.rec.only(R_RTCM3)[0].frame_position, f.rec.joined(R_CRACK),
                           f.parser.count, f.parser.handler),
              logs::fields(genuine, 3u, fb::cat({fake, Bytes{0x55}}), 0u, nullptr));
}

TEST(Framer, PositionsAfterFrames)
{
    Framer f;
    rec_register_conversion(&f.parser);
    Bytes frame = fb::rtcm3(fb::rtcm3_payload(1005, 19));
    f.feed(fb::cat({fb::text("zz"), frame}));
    uint64_t frame_position = 0, position = 0;
    gnssparser_get_position(&f.parser, &frame_position, &position);
    EXPECT_EQ(frame_position, 2 + frame.size());
    EXPECT_EQ(position, 2 + frame.size());
    // During the discarded-data call for "zz", position read 2 (the sync).
    ASSERT_EQ(f.rec.events[0].format, R_CRACK);
    EXPECT_EQ(f.rec.events[0].frame_position, 0u);
    EXPECT_EQ(f.rec.events[0].position, 2u);
    gnssparser_get_position(&f.parser, nullptr, nullptr);

    // reset clears the positions; flush hands over the tail first.
    f.feed(fb::text("tail"));
    f.rec.events.clear();
    gnssparser_flush(&f.parser);
    ASSERT_EQ(f.rec.events.size(), 1u);
    EXPECT_EQ(f.rec.events[0].bytes, fb::text("tail"));
    gnssparser_get_position(&f.parser, &frame_position, &position);
    EXPECT_EQ(position, 0u);
    EXPECT_EQ(f.parser.count, 0u);
}

TEST(Framer, BufferFullCutsEndlessText)
{
    Framer f(64);
    rec_register_conversion(&f.parser);
    Bytes text(150, 'a');
    text.push_back('\n');
    f.feed(text);
    // 63 bytes are held at most: two full buffers are discarded, then the
    // line is what is left of it.
    std::vector<RecEvent> crack = f.rec.only(R_CRACK);
    ASSERT_EQ(crack.size(), 2u);
    EXPECT_EQ(crack[0].bytes.size(), 63u);
    EXPECT_EQ(crack[1].bytes.size(), 63u);
    ASSERT_EQ(f.rec.count(R_LINE), 1u);
    EXPECT_EQ(f.rec.only(R_LINE)[0].bytes.size(), 151u - 126u);
}

TEST(Framer, TrimblePacketsAndGsofReassembly)
{
    Framer f;
    uint8_t gsof[16];
    gnssparser_callback_trimble(&f.parser, rec_callback<R_TRIMBLE>);
    gnssparser_callback_trimble_gsof(&f.parser, rec_callback<R_GSOF>, gsof, sizeof gsof);
    gnssparser_callback_crack(&f.parser, rec_callback<R_CRACK>);
    // Transmission 9, pages 0..1 of 1, then a page of another transmission.
    Bytes p0 = fb::trimble(0x40, {9, 0, 1, 'a', 'b', 'c'});
    Bytes p1 = fb::trimble(0x40, {9, 1, 1, 'd', 'e'});
    Bytes other = fb::trimble(0x40, {8, 1, 1, 'z'});
    Bytes bad = fb::trimble(0x57, {1, 2, 3});
    bad[bad.size() - 2] ^= 1;
    f.feed(fb::cat({p0, p1, other, bad}));
    ASSERT_EQ(f.rec.count(R_TRIMBLE), 3u);
    ASSERT_EQ(f.rec.count(R_GSOF), 1u);
    EXPECT_EQ(f.rec.only(R_GSOF)[0].bytes, fb::text("abcde"));
    // The bad packet's data holds an 02, a new candidate still open at the end.
    gnssparser_flush(&f.parser);
    EXPECT_EQ(f.rec.joined(R_CRACK), bad);

    // A record larger than the reassembly buffer is dropped whole.
    Framer g;
    uint8_t small[4];
    gnssparser_callback_trimble_gsof(&g.parser, rec_callback<R_GSOF>, small, sizeof small);
    g.feed(fb::cat({fb::trimble(0x40, {3, 0, 1, 1, 2, 3}), fb::trimble(0x40, {3, 1, 1, 4, 5})}));
    EXPECT_EQ(g.rec.count(R_GSOF), 0u);
}

// RTCM 2 in 6-of-8 form, built from IS-GPS-200's parity equations written
// out bit by bit (not from the library's masks).
namespace {

uint32_t parity_is_gps_200(uint32_t d, int d29s, int d30s)
{
    // d holds D1..D24 in bits 23..0 (already un-complemented).
    auto bit = [&](int n) { return (int)((d >> (24 - n)) & 1u); };
    const int eq[6][16] = {
        {1, 2, 3, 5, 6, 10, 11, 12, 13, 14, 17, 18, 20, 23, 0},
        {2, 3, 4, 6, 7, 11, 12, 13, 14, 15, 18, 19, 21, 24, 0},
        {1, 3, 4, 5, 7, 8, 12, 13, 14, 15, 16, 19, 20, 22, 0},
        {2, 4, 5, 6, 8, 9, 13, 14, 15, 16, 17, 20, 21, 23, 0},
        {1, 3, 5, 6, 7, 9, 10, 14, 15, 16, 17, 18, 21, 22, 24, 0},
        {3, 5, 6, 8, 9, 10, 11, 13, 15, 19, 22, 23, 24, 0},
    };
    const int star[6] = {d29s, d30s, d29s, d30s, d30s, d29s};
    uint32_t p = 0;
    for (int i = 0; i < 6; i++) {
        int v = star[i];
        for (int k = 0; eq[i][k]; k++) v ^= bit(eq[i][k]);
        p = (p << 1) | (uint32_t)v;
    }
    return p;
}

// Appends one 30-bit word as five 6-of-8 bytes; returns its D29, D30.
void rtcm2_word(Bytes &out, uint32_t data24, int &d29s, int &d30s)
{
    uint32_t parity = parity_is_gps_200(data24, d29s, d30s);
    uint32_t sent = d30s ? (~data24 & 0xFFFFFFu) : data24;
    uint32_t word = (sent << 6) | parity;
    for (int k = 0; k < 5; k++) {
        uint8_t b = 0x40;
        for (int i = 0; i < 6; i++) b |= (uint8_t)(((word >> (29 - (k * 6 + i))) & 1u) << i);
        out.push_back(b);
    }
    d29s = (int)((parity >> 1) & 1u);
    d30s = (int)(parity & 1u);
}

Bytes rtcm2_message(int type, int station, int data_words, int &d29s, int &d30s)
{
    Bytes out;
    rtcm2_word(out, (0x66u << 16) | ((uint32_t)type << 10) | (uint32_t)station, d29s, d30s);
    rtcm2_word(out, (1234u << 11) | (3u << 8) | ((uint32_t)data_words << 3), d29s, d30s);
    for (int i = 0; i < data_words; i++) rtcm2_word(out, 0xA5A5A5u ^ (uint32_t)i, d29s, d30s);
    return out;
}

} // namespace

TEST(Framer, Rtcm2Messages)
{
    Framer f;
    gnssparser_callback_rtcm2(&f.parser, rec_callback<R_RTCM2>);
    int d29 = 0, d30 = 0;
    Bytes stream;
    std::vector<Bytes> messages;
    for (int i = 0; i < 6; i++) {
        // Varying lengths make both preamble forms (0x66 and complemented 0x59) appear.
        messages.push_back(rtcm2_message(1 + i, 100 + i, i + 1, d29, d30));
        stream.insert(stream.end(), messages.back().begin(), messages.back().end());
    }
    bool complemented = false;
    for (const Bytes &m : messages) complemented |= m[0] == 0x59;
    EXPECT_TRUE(complemented);
    f.feed_bytewise(stream);
    std::vector<RecEvent> got = f.rec.only(R_RTCM2);
    ASSERT_EQ(got.size(), messages.size());
    for (size_t i = 0; i < got.size(); i++) {
        EXPECT_EQ(got[i].bytes, messages[i]);
        EXPECT_EQ(got[i].bytes.size(), 10 + 5 * (i + 1));
    }
    // A byte not of the form 01xxxxxx ends the message.
    Bytes broken = messages[2];
    broken[12] = 0x80;
    Framer g;
    gnssparser_callback_rtcm2(&g.parser, rec_callback<R_RTCM2>);
    g.feed(broken);
    EXPECT_EQ(g.rec.count(R_RTCM2), 0u);
}

TEST(Framer, SinoCshgHciFmiFrames)
{
    // sino: "$$", two letters, length at byte 5, XOR at total-3; a bad one is
    // dropped without going to the discarded data.
    Framer f;
    gnssparser_callback_sino(&f.parser, rec_callback<R_SINO>);
    gnssparser_callback_crack(&f.parser, rec_callback<R_CRACK>);
    Bytes sino = {'$', '$', 'A', 'B', 0x00, 3, 1, 2, 3};
    uint8_t x = 0;
    for (size_t i = 2; i < sino.size(); i++) x ^= sino[i];
    sino.insert(sino.end(), {x, '\r', '\n'});
    Bytes sino_bad = sino;
    sino_bad[7] ^= 1;
    f.feed(fb::cat({sino, sino_bad}));
    ASSERT_EQ(f.rec.count(R_SINO), 1u);
    EXPECT_EQ(f.rec.only(R_SINO)[0].bytes, sino);
    EXPECT_EQ(f.rec.count(R_CRACK), 0u);

    // cshg: "CSHG", length at bytes 6-7 (+11), CRC-24Q over the frame.
    Framer c;
    gnssparser_callback_cshg(&c.parser, rec_callback<R_CSHG>);
    Bytes cshg = {'C', 'S', 'H', 'G', 1, 2, 5, 0, 10, 20, 30, 40, 50};
    uint32_t crc = fb::crc24q(cshg.data(), cshg.size());
    cshg.insert(cshg.end(), {(uint8_t)(crc >> 16), (uint8_t)(crc >> 8), (uint8_t)crc});
    c.feed(cshg);
    ASSERT_EQ(c.rec.count(R_CSHG), 1u);
    EXPECT_EQ(c.rec.only(R_CSHG)[0].bytes.size(), 16u);

    // HCI: command (length at 3), ACL data (16-bit length at 3-4), event
    // (length at 2), each delivered without a check.
    Framer h;
    gnssparser_callback_hci(&h.parser, rec_callback<R_HCI>);
    Bytes cmd = {0x01, 0x03, 0x0C, 0x02, 0xAA, 0xBB};
    Bytes acl = {0x02, 0x01, 0x20, 0x03, 0x00, 7, 8, 9};
    Bytes evt = {0x04, 0x0E, 0x00};
    h.feed(fb::cat({cmd, acl, evt}));
    std::vector<RecEvent> hci = h.rec.only(R_HCI);
    ASSERT_EQ(hci.size(), 3u);
    EXPECT_EQ(logs::fields(hci[0].bytes, hci[1].bytes, hci[2].bytes), logs::fields(cmd, acl, evt));

    // fmi: the letter fixes the length (c = 44), a 16-bit sum and "ed".
    Framer m;
    gnssparser_callback_fmi(&m.parser, rec_callback<R_FMI>);
    Bytes fmi = fb::text("fmic");
    while (fmi.size() < 40) fmi.push_back((uint8_t)fmi.size());
    uint32_t sum = 0;
    for (uint8_t b : fmi) sum += b;
    fb::put16(fmi, sum);
    fmi.insert(fmi.end(), {'e', 'd'});
    m.feed(fmi);
    ASSERT_EQ(m.rec.count(R_FMI), 1u);
    EXPECT_EQ(m.rec.only(R_FMI)[0].bytes.size(), 44u);
    // The same frame is refused by a buffer too small for its fixed length.
    Framer tiny(44);
    gnssparser_callback_fmi(&tiny.parser, rec_callback<R_FMI>);
    tiny.feed(fmi);
    EXPECT_EQ(tiny.rec.count(R_FMI), 0u);
}

namespace {
int check_last_byte_is_7(const uint8_t *data, uint32_t length, void *)
{
    return data[length - 1] == 7 ? 0 : 1;
}
} // namespace

TEST(Framer, CallerDescribedFormat)
{
    // Two sync bytes 0x7E 0x81, big-endian 16-bit length at offset 2, total
    // = length + 5, last byte must be 7.
    Framer f;
    gnssparser_callback_other(&f.parser, rec_callback<R_OTHER>, 0x7E81, 0xFFFF, 2, -2, 5,
                              check_last_byte_is_7);
    EXPECT_EQ(f.parser.other_sync_length, 2);
    Bytes good = {0x7E, 0x81, 0x00, 0x04, 1, 2, 3, 9, 7};
    Bytes bad = {0x7E, 0x81, 0x00, 0x02, 1, 2, 8};
    f.feed(fb::cat({good, bad, good}));
    EXPECT_EQ(f.rec.count(R_OTHER), 2u);
    EXPECT_EQ(f.rec.only(R_OTHER)[0].bytes, good);

    // Fixed length with a one-byte sync and little-endian variant.
    Framer g;
    gnssparser_callback_other(&g.parser, rec_callback<R_OTHER>, 0xA5, 0xFF, 0, 0, 4, nullptr);
    EXPECT_EQ(g.parser.other_sync_length, 1);
    g.feed({0xA5, 1, 2, 3, 0xA5, 4, 5, 6});
    EXPECT_EQ(g.rec.count(R_OTHER), 2u);

    // Switched off: no mask, no length at all, or a length past the buffer.
    gnssparser_callback_other(&g.parser, rec_callback<R_OTHER>, 0xA5, 0, 0, 0, 4, nullptr);
    EXPECT_EQ(g.parser.callback_other, nullptr);
    gnssparser_callback_other(&g.parser, rec_callback<R_OTHER>, 0xA5, 0xFF, 0, 0, 0, nullptr);
    EXPECT_EQ(g.parser.callback_other, nullptr);
    Framer h(16);
    gnssparser_callback_other(&h.parser, rec_callback<R_OTHER>, 0xA5, 0xFF, 10, 2, 4, nullptr);
    EXPECT_EQ(h.parser.callback_other, nullptr);
    gnssparser_callback_other(&h.parser, rec_callback<R_OTHER>, 0xA5A5A5, 0xFFFFFF, 3, 1, 4, nullptr);
    EXPECT_EQ(h.parser.other_sync_length, 3);
}

TEST(Framer, KalxSessionsAndLists)
{
    // Each update returns the session before it; 0 forgets both.
    Framer f;
    std::vector<std::tuple<int, int, int>> got;
    for (int session : {5, 9, 11, 0}) {
        int previous = gnssparser_kalx_update_session(&f.parser, session);
        got.emplace_back(previous, f.parser.kalx_session, f.parser.kalx_session_previous);
    }
    EXPECT_EQ(got, (std::vector<std::tuple<int, int, int>>{{5, 5, 5}, {5, 9, 5}, {9, 11, 9}, {0, 0, 0}}));

    gnssparser_callback_kalx(&f.parser, rec_callback<R_KALX>, 77, 0x1122334455667788ull);
    EXPECT_NE(f.parser.kalx_key, 0x1122334455667788ull); // never held in the clear
    gnssparser_kalx_set_black_list(&f.parser, nullptr, 4);
    EXPECT_EQ(f.parser.kalx_black_count, 0u);

    // reset keeps callbacks and keys but clears the stream state.
    f.feed(fb::text("abc"));
    gnssparser_reset(&f.parser);
    EXPECT_EQ(logs::fields(f.parser.count, f.parser.position, f.parser.kalx_id), logs::fields(0u, 0u, 77u));
    EXPECT_NE(f.parser.callback_kalx, nullptr);
}
