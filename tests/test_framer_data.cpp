// The framer over every real receiver log beside the project: the same
// callbacks however the bytes arrive, the frames an independent scanner finds,
// and the frame counts the logs' catalogue gives.
#include <gtest/gtest.h>

#include <string.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <regex>
#include <string>
#include <tuple>

#include "frame_builders.h"
#include "framer_recorder.h"
#include "gnssparser.h"
#include "testdata.h"

namespace {

const uint32_t kBufferSize = 16384;

// Every log beside the project (not the catalogue), by its relative path.
std::vector<std::string> data_files()
{
    std::vector<std::string> files;
    std::error_code error;
    for (const auto &e : std::filesystem::recursive_directory_iterator(testdata::dir(), error))
        if (e.is_regular_file() && e.path().extension() != ".md")
            files.push_back(e.path().lexically_relative(testdata::dir()).string());
    std::sort(files.begin(), files.end());
    return files;
}

enum class Set { Conversion, All };

// The callbacks of a framer fed `data` in pieces chosen by `next_size`, then flushed.
template <typename F> std::vector<RecEvent> feed(const std::vector<uint8_t> &data, Set set, F next_size)
{
    std::vector<uint8_t> buffer(kBufferSize);
    uint8_t gsof[4096];
    gnssparser_s parser;
    Recorder rec;
    gnssparser_init(&parser, buffer.data(), kBufferSize, &rec);
    rec.parser = &parser;
    if (set == Set::All)
        rec_register_all(&parser, gsof, sizeof gsof);
    else
        rec_register_conversion(&parser);
    for (size_t i = 0, n; i < data.size(); i += n) {
        n = std::min(next_size(), data.size() - i);
        gnssparser_input(&parser, data.data() + i, (uint32_t)n);
    }
    gnssparser_flush(&parser);
    return rec.events;
}

typedef std::tuple<int, size_t, size_t> Found; // format, offset, length

// An independent resynchronising scanner over the whole file for the four
// formats a conversion reads. It follows the frame definitions directly: a
// line ends at a line feed and starts after the last 0 byte; a candidate frame
// whose length is refused, whose check fails or that the file ends inside is
// given up and the search goes on at the byte after its first sync byte; the
// buffer holds at most 16383 bytes, and a full one keeps its last four.
std::vector<Found> independent_scan(const std::vector<uint8_t> &d)
{
    std::vector<Found> out;
    const size_t n = d.size();
    size_t start = 0; // first byte not yet part of a frame, line or discarded run
    for (size_t i = 0; i < n; i++) {
        if (i - start == kBufferSize - 1) start = i - 4; // full: all but the last four held bytes go
        size_t held = i - start + 1;
        uint8_t b = d[i];
        if (b == 0x0A) {
            size_t line = i;
            while (line > start && d[line - 1] != 0) line--;
            out.emplace_back(R_LINE, line, i + 1 - line);
            start = i + 1;
            continue;
        }
        // A sync: the candidate's format, first byte and how many bytes its length needs.
        int format = -1;
        size_t s = 0, known = 0;
        if (held >= 2 && d[i - 1] == 0xD3 && (b & 0xFC) == 0)
            std::tie(format, s, known) = std::make_tuple(R_RTCM3, i - 1, 3);
        else if (held >= 3 && d[i - 2] == 0xAA && d[i - 1] == 0x44 && b == 0x12)
            std::tie(format, s, known) = std::make_tuple(R_NOVATEL, i - 2, 10);
        else if (held >= 4 && !memcmp(&d[i - 3], "$BIN", 4))
            std::tie(format, s, known) = std::make_tuple(R_HEMISPHERE, i - 3, 8);
        if (format < 0) continue;
        // Given up when the file ends before the length or inside the
        // candidate, when the length is refused or the check fails.
        bool ok = s + known <= n;
        const size_t total = !ok ? 0
                             : format == R_RTCM3   ? (((d[s + 1] & 3u) << 8) | d[s + 2]) + 6u
                             : format == R_NOVATEL ? d[s + 3] + (d[s + 8] | (d[s + 9] << 8)) + 4u
                                                   : (d[s + 6] | (d[s + 7] << 8)) + 12u;
        ok = ok && (format != R_RTCM3 || total > 7) && (format != R_NOVATEL || d[s + 3] >= 28) &&
             total < kBufferSize && s + total <= n;
        if (ok && format == R_HEMISPHERE) {
            uint32_t sum = 0;
            for (size_t k = s + 8; k < s + total - 4; k++) sum += d[k];
            ok = (sum & 0xFFFF) == (uint32_t)(d[s + total - 4] | (d[s + total - 3] << 8));
        } else if (ok) {
            ok = (format == R_RTCM3 ? fb::crc24q(&d[s], total) : fb::crc32_novatel(&d[s], total)) == 0;
        }
        if (!ok) {
            start = s + 1;
            i = s;
            continue;
        }
        out.emplace_back(format, s, total);
        start = s + total;
        i = start - 1;
    }
    return out;
}

// Frame counts per file from the logs' catalogue (SOURCES.md), which were
// made by a scanner of the data's curator, for the three binary formats a
// conversion reads.
typedef std::map<std::pair<std::string, int>, size_t> Counts; // (format, id) -> frames

std::map<std::string, Counts> catalogue_counts()
{
    std::map<std::string, Counts> out;
    std::ifstream in(testdata::path("SOURCES.md"));
    std::string line, file;
    std::regex section("^#### (\\S+)");
    std::regex row("^\\| (RTCM3|NOVATEL|HEMI) \\| (\\d+) \\|[^|]*\\| (\\d+) \\|");
    std::smatch m;
    while (std::getline(in, line)) {
        if (std::regex_search(line, m, section)) {
            file = m[1];
            out[file];
        } else if (!file.empty() && std::regex_search(line, m, row)) {
            out[file][{m[1], std::stoi(m[2])}] = std::stoul(m[3]);
        }
    }
    return out;
}

} // namespace

// Every log: the same callbacks however the bytes arrive, every byte
// accounted for once, and the frames a conversion reads as an independent
// scanner finds them and in the numbers the logs' catalogue gives.
TEST(FramerData, EveryLogFramedAlikeInPiecesAndAsTheScannerAndCatalogueSay)
{
    REQUIRE_TESTDATA();
    std::map<std::string, Counts> catalogue = catalogue_counts();
    ASSERT_GT(catalogue.size(), 50u);
    std::vector<std::string> files = data_files();
    ASSERT_GT(files.size(), 100u);
    std::mt19937 rng(20261206);
    size_t total_frames = 0, compared = 0;
    for (const std::string &name : files) {
        std::vector<uint8_t> data = testdata::read(name);
        ASSERT_FALSE(data.empty()) << name;
        std::vector<RecEvent> events;
        for (Set set : {Set::Conversion, Set::All}) {
            std::vector<RecEvent> whole = feed(data, set, [&] { return data.size(); });
            std::uniform_int_distribution<size_t> pick(1, 3000);
            EXPECT_TRUE(whole == feed(data, set, [] { return (size_t)1; })) << name << ": byte-by-byte input differs";
            EXPECT_TRUE(whole == feed(data, set, [&] { return pick(rng); })) << name << ": chunked input differs";
            if (set == Set::Conversion) events = whole;
        }
        // Frames, lines and discarded data tile the stream.
        uint64_t covered = 0;
        for (const RecEvent &e : events) covered += e.bytes.size();
        EXPECT_EQ(covered, data.size()) << name;
        std::vector<Found> got;
        Counts counts;
        for (const RecEvent &e : events) {
            if (e.format == R_CRACK) continue;
            // frame_position during the callback is the frame's first byte,
            // except for lines, where it is where the held bytes began.
            size_t offset = e.format == R_LINE ? (size_t)(e.position - e.bytes.size()) : (size_t)e.frame_position;
            got.emplace_back(e.format, offset, e.bytes.size());
            const char *format = e.format == R_RTCM3 ? "RTCM3" : e.format == R_NOVATEL ? "NOVATEL"
                               : e.format == R_HEMISPHERE ? "HEMI" : nullptr;
            const std::vector<uint8_t> &b = e.bytes; // message number or id
            if (format) counts[{format, e.format == R_RTCM3 ? (b[3] << 4) | (b[4] >> 4) : b[4] | (b[5] << 8)}]++;
        }
        std::vector<Found> expected = independent_scan(data);
        EXPECT_EQ(got.size(), expected.size()) << name;
        const size_t common = std::min(got.size(), expected.size());
        const size_t k = std::mismatch(got.begin(), got.begin() + common, expected.begin()).first - got.begin();
        if (k < common) {
            EXPECT_EQ(got[k], expected[k]) << name << ": event " << k << ", framer then scanner";
        }
        for (const Found &f : expected) total_frames += std::get<0>(f) != R_LINE;
        // The one-frame files carry their message number in their names.
        if (name.rfind("go-gnss-rtcm/", 0) == 0) catalogue[name][{"RTCM3", std::stoi(name.substr(13))}] = 1;
        if (!catalogue.count(name)) continue;
        compared++;
        EXPECT_EQ(counts, catalogue[name]) << name;
    }
    EXPECT_GT(total_frames, 50000u);
    EXPECT_GT(compared, 100u);
}

