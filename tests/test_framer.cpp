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
#include "navmsg_encoder.h"

using fb::Bytes;

namespace {

struct Framer;
typedef void (*Registration)(Framer &);

// A framer of `size` bytes with the callbacks `registration` sets.
struct Framer {
    std::vector<uint8_t> buffer;
    gnssparser_s parser;
    Recorder rec;
    uint8_t gsof[512];

    explicit Framer(Registration registration = nullptr, uint32_t size = 16384) : buffer(size)
    {
        gnssparser_init(&parser, buffer.data(), size, &rec);
        rec.parser = &parser;
        if (registration) registration(*this);
    }
    void feed(const Bytes &b) { gnssparser_input(&parser, b.data(), (uint32_t)b.size()); }
};

void conversion(Framer &f)
{
    rec_register_conversion(&f.parser);
}

// Every format but those whose syncs match nearly anything (HCI 01..04, Trimble 02).
void most(Framer &f)
{
    rec_register_all(&f.parser, f.gsof, sizeof f.gsof);
    gnssparser_callback_hci(&f.parser, nullptr);
    gnssparser_callback_trimble(&f.parser, nullptr);
    gnssparser_callback_trimble_gsof(&f.parser, nullptr, nullptr, 0);
}

// One format, and the discarded data when `Crack`.
template <void (*Register)(gnssparser_s *, gnssparser_callback_t), int F, bool Crack = true> void only(Framer &f)
{
    Register(&f.parser, rec_callback<F>);
    if (Crack) gnssparser_callback_crack(&f.parser, rec_callback<R_CRACK>);
}

// One piece of a stream and how the framer must hand it over (R_COUNT: not at all).
struct Part {
    int format;
    Bytes bytes;
};

// Feeds the parts as one stream, whole and byte by byte, to framers of
// `size` bytes set up by `registration`, flushes them, and expects each part
// back as it is described and, but for discarded data, at its place in the
// stream (frame_position during the call); consecutive discarded pieces joined.
void expect_framed(Registration registration, const std::vector<Part> &parts, uint32_t size = 16384)
{
    typedef std::vector<std::tuple<int, uint64_t, Bytes>> Events;
    auto add = [](Events &list, int format, uint64_t at, const Bytes &b) {
        if (format == R_CRACK && !list.empty() && std::get<0>(list.back()) == R_CRACK)
            std::get<2>(list.back()).insert(std::get<2>(list.back()).end(), b.begin(), b.end());
        else if (format != R_COUNT)
            list.emplace_back(format, format == R_CRACK ? 0 : at, b);
    };
    Bytes stream;
    Events expected;
    for (const Part &p : parts) {
        add(expected, p.format, stream.size(), p.bytes);
        stream.insert(stream.end(), p.bytes.begin(), p.bytes.end());
    }
    for (bool bytewise : {false, true}) {
        Framer f(registration, size);
        for (size_t i = 0; i < stream.size(); i += bytewise ? 1 : stream.size())
            gnssparser_input(&f.parser, &stream[i], bytewise ? 1 : (uint32_t)stream.size());
        gnssparser_flush(&f.parser);
        Events got;
        for (const RecEvent &e : f.rec.events) add(got, e.format, e.frame_position, e.bytes);
        EXPECT_EQ(got, expected) << (bytewise ? "byte by byte" : "whole");
    }
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
    expect_framed(conversion, {{R_LINE, fb::text("abc\r\n")}, {R_RTCM3, rtcm}});
    // Formats not registered are never collected.
    expect_framed(only<gnssparser_callback_rtcm3, R_RTCM3>,
                  {{R_CRACK, fb::cat({fb::novatel(43, Bytes(44, 1)), fb::text("\n")})}, {R_RTCM3, rtcm}});

    Bytes empty = fb::novatel(101, Bytes());
    EXPECT_EQ(empty.size(), 32u);
    Bytes good = fb::novatel(43, Bytes(4 + 44 * 3, 7));
    expect_framed(conversion, {{R_NOVATEL, empty}, {R_CRACK, with(good, good.size() - 1, 1)}, {R_NOVATEL, good}});
    // A header-length byte of 3 would give a total of 3 + 0 + 4 = 7, which
    // the held bytes have already passed: the candidate must end at once so
    // the genuine frame right after it is still found. Header lengths below
    // 28 are refused even when the total would be large.
    expect_framed(conversion, {{R_CRACK, Bytes{0xAA, 0x44, 0x12, 0x03, 0, 0, 0, 0, 0, 0}},
                               {R_NOVATEL, fb::novatel(42, Bytes(72, 9))}});
    expect_framed(conversion, {{R_CRACK, fb::novatel(43, Bytes(40, 1), 27)}});

    Bytes zero = fb::hemisphere(94, Bytes());
    EXPECT_EQ(logs::fields(zero.size(), zero[8], zero[9]), logs::fields(12u, 0, 0));
    Bytes no_crlf = fb::cat({fb::hemisphere(16, Bytes(30, 0xF0), false), fb::text("XY")}); // XY where CR LF should be
    expect_framed(conversion, {{R_HEMISPHERE, zero}, {R_HEMISPHERE, no_crlf},
                               {R_CRACK, with(fb::hemisphere(95, Bytes(11, 1), false), 8, 0xFF)},
                               {R_HEMISPHERE, fb::hemisphere(65, Bytes(5, 2))}});
    // "$BIN" is also "$" + "B": Septentrio's "$@" must not win, and a D3 00
    // inside a collected Hemisphere frame is not a sync.
    expect_framed(most, {{R_HEMISPHERE, fb::hemisphere(99, {0xD3, 0x00, 0x10, 0xAA, 0x44, 0x12, 0x1C})}});

    Bytes ubx = fb::ublox(0x01, 0x07, Bytes(92, 3)), ubx_bad = fb::ublox(0x02, 0x15, Bytes(8, 1));
    Bytes sbf = fb::sbf(4027, Bytes(24, 5));
    expect_framed(most, {{R_UBLOX, ubx}, {R_CRACK, with(ubx_bad, ubx_bad.size() - 1, 1)}, {R_SEPTENTRIO, sbf},
                         {R_CRACK, with(fb::sbf(4007, Bytes(16, 6)), 10, 1)}});
    // novatelx (AA 44 16) and Unicore (AA 44 B5) end in the NovAtel CRC.
    Bytes x = {0xAA, 0x44, 0x16, 0x00, 0x10, 0x00, 0x05, 0x00, 1, 2, 3, 4, 5};
    fb::put32(x, fb::crc32_novatel(x.data(), x.size()));
    Bytes u = {0xAA, 0x44, 0xB5, 0x00, 0x20, 0x00, 0x03, 0x00};
    u.resize(24, 0x11);
    u.insert(u.end(), {7, 8, 9});
    fb::put32(u, fb::crc32_novatel(u.data(), u.size()));
    expect_framed(most, {{R_NOVATELX, x}, {R_UNICORE, u}});

    // Text without a line feed: 63 bytes are held at most in a 64-byte
    // buffer; a full buffer gives up all but its last four bytes (they may
    // begin a sync), twice 59 bytes here, and the line is the rest.
    Bytes text(150, 'a');
    text.push_back('\n');
    expect_framed(conversion,
                  {{R_CRACK, Bytes(text.begin(), text.begin() + 118)}, {R_LINE, Bytes(text.begin() + 118, text.end())}},
                  64);
}

TEST(Framer, SyncCutByAFullBufferIsFound)
{
    // A long run of padding fills the 64-byte buffer (63 bytes held) while
    // nothing is collected; the frame after it is found wherever the cut
    // falls, also between the bytes of its sync (2, 3 or 4 bytes long).
    const Bytes frames[] = {fb::rtcm3(fb::rtcm3_payload(1005, 19)), fb::novatel(101, Bytes(8, 3)),
                            fb::hemisphere(95, Bytes(10, 4)), fb::ublox(0x02, 0x15, Bytes(8, 5)),
                            fb::sbf(4027, Bytes(8, 6))};
    const int formats[] = {R_RTCM3, R_NOVATEL, R_HEMISPHERE, R_UBLOX, R_SEPTENTRIO};
    for (size_t k = 0; k < 5; k++)
        for (size_t padding = 57; padding <= 64; padding++) {
            SCOPED_TRACE(testing::Message() << "format " << formats[k] << ", padding " << padding);
            expect_framed(most, {{R_CRACK, Bytes(padding, 0xFF)}, {formats[k], frames[k]}}, 64);
        }
}

TEST(Framer, SinoCshgHciFmiFrames)
{
    // sino: "$$", two letters, length at byte 5, XOR at total-3; a bad one
    // is discarded, and a frame inside a false one (total 21) is found.
    Bytes sino = {'$', '$', 'A', 'B', 0x00, 3, 1, 2, 3};
    uint8_t x = 0;
    for (size_t i = 2; i < sino.size(); i++) x ^= sino[i];
    sino.insert(sino.end(), {x, '\r', '\n'});
    expect_framed(only<gnssparser_callback_sino, R_SINO>,
                  {{R_SINO, sino}, {R_CRACK, with(sino, 7, 1)}, {R_CRACK, {'$', '$', 'C', 'D', 0x00, 12}},
                   {R_SINO, sino}, {R_CRACK, {0x55, 0x66, 0x77}}});

    // cshg: "CSHG", length at bytes 6-7 (+11), CRC-24Q over the frame.
    Bytes cshg = {'C', 'S', 'H', 'G', 1, 2, 5, 0, 10, 20, 30, 40, 50};
    uint32_t crc = fb::crc24q(cshg.data(), cshg.size());
    cshg.insert(cshg.end(), {(uint8_t)(crc >> 16), (uint8_t)(crc >> 8), (uint8_t)crc});
    expect_framed(only<gnssparser_callback_cshg, R_CSHG>, {{R_CSHG, cshg}});

    // HCI: command (length at 3), ACL data (16-bit length at 3-4), event
    // (length at 2), each delivered without a check.
    expect_framed(only<gnssparser_callback_hci, R_HCI>, {{R_HCI, {0x01, 0x03, 0x0C, 0x02, 0xAA, 0xBB}},
                                                         {R_HCI, {0x02, 0x01, 0x20, 0x03, 0x00, 7, 8, 9}},
                                                         {R_HCI, {0x04, 0x0E, 0x00}}});

    // fmi: the letter fixes the length (c = 44), a 16-bit sum and "ed"; a
    // buffer too small for the fixed length refuses the frame.
    Bytes fmi = fb::text("fmic");
    while (fmi.size() < 40) fmi.push_back((uint8_t)fmi.size());
    uint32_t sum = 0;
    for (uint8_t b : fmi) sum += b;
    fb::put16(fmi, sum);
    fmi.insert(fmi.end(), {'e', 'd'});
    expect_framed(only<gnssparser_callback_fmi, R_FMI>, {{R_FMI, fmi}});
    expect_framed(only<gnssparser_callback_fmi, R_FMI, false>, {{R_COUNT, fmi}}, 44);
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
    Bytes good = {0x7E, 0x81, 0x00, 0x04, 1, 2, 3, 9, 7};
    expect_framed([](Framer &f) {
        gnssparser_callback_other(&f.parser, rec_callback<R_OTHER>, 0x7E81, 0xFFFF, 2, -2, 5, check_last_byte_is_7);
    }, {{R_OTHER, good}, {R_COUNT, {0x7E, 0x81, 0x00, 0x02, 1, 2, 8}}, {R_OTHER, good}});
    // Fixed length with a one-byte sync.
    expect_framed([](Framer &f) {
        gnssparser_callback_other(&f.parser, rec_callback<R_OTHER>, 0xA5, 0xFF, 0, 0, 4, nullptr);
    }, {{R_OTHER, {0xA5, 1, 2, 3}}, {R_OTHER, {0xA5, 4, 5, 6}}});

    // The sync's length follows the mask; switched off: no mask, no length
    // at all, or a length past the buffer.
    const struct { uint32_t sync, mask; int at, size, fixed, sync_length; /* 0: switched off */ } cases[] = {
        {0x7E81, 0xFFFF, 2, -2, 5, 2}, {0xA5A5A5, 0xFFFFFF, 3, 1, 4, 3}, {0xA5, 0, 0, 0, 4, 0}, {0xA5, 0xFF, 0, 0, 0, 0},
        {0xA5, 0xFF, 10, 2, 4, 0}};
    Framer h(nullptr, 16); // one framer: switching off clears what was set
    for (const auto &c : cases) {
        gnssparser_callback_other(&h.parser, rec_callback<R_OTHER>, c.sync, c.mask, c.at, c.size, c.fixed, nullptr);
        EXPECT_EQ(logs::fields(h.parser.callback_other != nullptr, c.sync_length ? h.parser.other_sync_length : 0),
                  logs::fields(c.sync_length != 0, c.sync_length))
            << c.sync << " " << c.mask;
    }
}

// RTCM 2 in 6-of-8 form: words of 24 data bits with the IS-GPS-200 parity and
// complementing, from the shared GPS encoder, whose ten-word groups end in
// D29 = D30 = 0 and so chain. The first bit of a word is bit 0 of its first byte.
TEST(Framer, Rtcm2Messages)
{
    // Message i: header words (preamble 0x66, type, station; Z-count,
    // sequence, length, health) and its data words; 40 words in all.
    const int data_words[] = {1, 2, 3, 5, 7, 10};
    std::vector<uint32_t> words;
    std::vector<size_t> ends;
    for (uint32_t i = 0; i < 6; i++) {
        words.push_back(0x66u << 16 | (1 + i) << 10 | (100 + i));
        words.push_back(1234u << 11 | 3u << 8 | (uint32_t)data_words[i] << 3);
        for (int k = 0; k < data_words[i]; k++) words.push_back(0xA5A5A5u ^ (uint32_t)k);
        ends.push_back(5 * words.size());
    }
    ASSERT_EQ(words.size(), 40u);
    Bytes stream;
    for (size_t g = 0; g < words.size(); g += 10) {
        navenc::Bits b(300);
        for (int w = 0; w < 10; w++) b.set(30 * w + 1, 24, words[g + w]);
        for (uint32_t word : navenc::gps_sent(b))
            for (int k = 0; k < 5; k++) {
                uint8_t c = 0x40;
                for (int i = 0; i < 6; i++) c |= (uint8_t)(((word >> (29 - (k * 6 + i))) & 1u) << i);
                stream.push_back(c);
            }
    }
    std::vector<Part> parts;
    bool complemented = false;
    for (size_t i = 0; i < ends.size(); i++) {
        parts.push_back({R_RTCM2, Bytes(stream.begin() + (i ? ends[i - 1] : 0), stream.begin() + ends[i])});
        complemented |= parts.back().bytes[0] == 0x59; // the preamble after a D30 of 1
    }
    EXPECT_TRUE(complemented);
    expect_framed(only<gnssparser_callback_rtcm2, R_RTCM2, false>, parts);
    // A byte not of the form 01xxxxxx ends the message.
    expect_framed(only<gnssparser_callback_rtcm2, R_RTCM2, false>, {{R_COUNT, with(parts[2].bytes, 12, 0xC0)}});
}

TEST(Framer, InitKalxSessionsAndReset)
{
    EXPECT_STREQ(gnssparser_version(), "GNSSPARSER.1.235.2401.349");
    Framer f;
    EXPECT_EQ(logs::fields(f.parser.callback_rtcm3, f.parser.buffer_size), logs::fields(nullptr, 16384u));
    // Null data, zero length and a null buffer are ignored.
    gnssparser_input(&f.parser, nullptr, 5);
    uint8_t b = 0xD3;
    gnssparser_input(&f.parser, &b, 0);
    gnssparser_s none;
    gnssparser_init(&none, nullptr, 0, nullptr);
    gnssparser_input(&none, &b, 1);
    EXPECT_EQ(f.parser.position, 0u);

    // Each update returns the session before it; 0 forgets both.
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
    EXPECT_EQ(logs::fields(f.rec.count(R_TRIMBLE), f.rec.count(R_GSOF), f.rec.joined(R_GSOF)),
              logs::fields((size_t)3, (size_t)1, fb::text("abcde")));
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
