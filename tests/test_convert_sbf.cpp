// Septentrio SBF logs converted: the writers take MeasEpoch blocks as epochs
// dated from their own week and time of week, navigation blocks as records,
// ReceiverSetup for the header; the file list reads ReceiverSetup into the
// file information; damaged and interleaved streams lose nothing around the
// damage; the command-line converter takes SBF logs like the others.
#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "convert_cli.h"
#include "file.h"
#include "gnssparser.h"
#include "rinex2xx.h"
#include "rinex3_reader.h"
#include "rinex3xx.h"
#include "sbf.h"
#include "sbf_encoder.h"
#include "testdata.h"
#include "threadbinarytorinex.h"

namespace {

const char kLog[] = "sbfparser/log_0000.sbf";

template <typename Writer> struct Conversion {
    Writer w;
    uint8_t buffer[70000];
    gnssparser_s parser;
    QString observation, navigation;

    void open(const QString &dir)
    {
        ASSERT_TRUE(w.setFileName(dir + "/in.00O", 2));
        ASSERT_GT(w.open(0), 0);
        w.gnssparserInit(&parser, buffer, sizeof buffer);
    }
    void in(const std::vector<uint8_t> &bytes) { gnssparser_input(&parser, bytes.data(), (uint32_t)bytes.size()); }
    void close()
    {
        gnssparser_flush(&parser);
        observation = w.observationFinalName();
        navigation = w.navigationFinalName();
        w.close();
        EXPECT_TRUE(w.outputErrors().isEmpty());
    }
};

std::string text_of(const QString &path)
{
    QByteArray b = readAll(path);
    return std::string(b.constData(), (size_t)b.size());
}

// The whole frames of the log, in order, with their offsets.
std::vector<std::pair<size_t, size_t>> frame_spans(const std::vector<uint8_t> &data)
{
    std::vector<std::pair<size_t, size_t>> spans;
    for (size_t i = 0; i + 8 <= data.size();) {
        const size_t n = data[i + 6] | data[i + 7] << 8;
        if (data[i] == '$' && data[i + 1] == '@' && n >= 8 && i + n <= data.size()) {
            spans.emplace_back(i, n);
            i += n;
        } else {
            ++i;
        }
    }
    return spans;
}

} // namespace

// Every observation of the log reaches the file with the decoder's values,
// at the epochs' own dates; the header names the receiver; navigation
// records of four systems follow, with the leap seconds of GPSUtc.
TEST(SbfConvert, RealLogToRinex3)
{
    REQUIRE_TESTDATA();
    const std::vector<uint8_t> data = testdata::read(kLog);
    QTemporaryDir dir;
    Conversion<Rinex3xx> r;
    r.open(dir.path());
    r.in(data);
    r.close();
    rnx3::File f = rnx3::read(r.observation.toStdString());
    for (const std::string &e : f.errors) ADD_FAILURE() << e;
    ASSERT_EQ(f.epochs.size(), 12u);
    EXPECT_EQ(f.epochs[0].line.substr(0, 29), "> 2025 04 01 11 02 21.0000000");
    EXPECT_EQ(f.epochs[11].line.substr(0, 29), "> 2025 04 01 11 02 32.0000000");
    EXPECT_EQ(f.first["MARKER NAME"].substr(0, 4), "SEPT");
    EXPECT_EQ(f.first["REC # / TYPE / VERS"].substr(0, 60),
              "3679709             mosaic-H            4.12.1              ");
    // Ranges and Doppler as decoded, every one of them.
    std::map<std::string, double> decoded; // "epoch sat type" -> value
    int epoch = 0;
    for (const auto &frame : frame_spans(data)) {
        sbf_meas_epoch_t e;
        if (sbf_parser_meas_epoch(data.data() + frame.first, (uint32_t)frame.second, &e) != 0) continue;
        sbf_meas_obs_t o;
        while (sbf_meas_epoch_next(&e, &o) == 0) {
            if (!o.signal) continue;
            char sat[8];
            snprintf(sat, sizeof sat, "%c%02d", GNSS_SYSTEM[o.signal->system].letter, o.prn);
            const std::string key = std::to_string(epoch) + " " + sat + " ";
            if (o.pseudorange_valid) decoded[key + "C" + o.signal->code] = o.pseudorange;
            if (o.doppler_valid) decoded[key + "D" + o.signal->code] = o.doppler;
        }
        ++epoch;
    }
    size_t written = 0;
    for (size_t i = 0; i < f.epochs.size(); ++i)
        for (const auto &sat : f.epochs[i].sats) {
            const std::vector<std::string> &types = f.types[sat.first[0]];
            for (size_t c = 0; c < sat.second.size() && c < types.size(); ++c) {
                if (!sat.second[c].present || (types[c][0] != 'C' && types[c][0] != 'D')) continue;
                const std::string key = std::to_string(i) + " " + sat.first + " " + types[c];
                auto it = decoded.find(key);
                ASSERT_NE(it, decoded.end()) << key;
                EXPECT_NEAR(sat.second[c].value, it->second, 0.0015) << key;
                ++written;
            }
        }
    EXPECT_EQ(written, decoded.size());
    // The first phase of each signal opens its arc; none slips afterwards in
    // these 12 seconds of a static receiver.
    std::map<std::string, int> arcs; // "G05 L1C" -> phases written
    int opened = 0, slipped = 0;
    for (size_t i = 0; i < f.epochs.size(); ++i)
        for (const auto &sat : f.epochs[i].sats)
            for (size_t c = 0; c < sat.second.size(); ++c) {
                const rnx3::Value &v = sat.second[c];
                if (f.types[sat.first[0]][c][0] != 'L' || !v.present) continue;
                const bool lost = v.lli != ' ' && ((v.lli - '0') & 1);
                (arcs[sat.first + " " + f.types[sat.first[0]][c]]++ == 0 ? opened : slipped) += lost;
            }
    EXPECT_EQ(opened, (int)arcs.size());
    EXPECT_EQ(slipped, 0);

    rnx3::File nav = rnx3::read(r.navigation.toStdString(), true);
    EXPECT_EQ(nav.first["LEAP SECONDS"].substr(0, 6), "    18");
    std::map<char, int> records;
    for (const std::string &line : nav.body)
        if (!line.empty() && line[0] != ' ') records[line[0]]++;
    // Distinct satellites of the decoded blocks (SOURCES.md), one record each
    // in 12 s of broadcast.
    EXPECT_EQ(records['G'], 18);
    EXPECT_EQ(records['R'], 10);
    EXPECT_EQ(records['E'], 16);
    EXPECT_EQ(records['C'], 20);
}

// A log with raw navigation pages only: every system's pages become
// navigation records, each for a satellite the log observes.
TEST(SbfConvert, RawPagesOnlyLogGivesNavigation)
{
    REQUIRE_TESTDATA();
    QTemporaryDir dir;
    Conversion<Rinex3xx> r;
    r.open(dir.path());
    r.in(testdata::read("abhiyaan-mosaic/003.sbf"));
    r.close();
    rnx3::File obs = rnx3::read(r.observation.toStdString());
    ASSERT_EQ(obs.epochs.size(), 42u);
    rnx3::File nav = rnx3::read(r.navigation.toStdString(), true);
    std::set<char> systems;
    for (const std::string &line : nav.body)
        if (!line.empty() && line[0] != ' ') {
            systems.insert(line[0]);
            EXPECT_TRUE(obs.epochs.back().sats.count(line.substr(0, 3))) << line.substr(0, 3);
        }
    EXPECT_EQ(systems, (std::set<char>{'C', 'E', 'G', 'R'}));
}

// RINEX 2 takes the same epochs, dated the same.
TEST(SbfConvert, RealLogToRinex2)
{
    REQUIRE_TESTDATA();
    QTemporaryDir dir;
    Conversion<Rinex2xx> r;
    ASSERT_TRUE(r.w.setVersion(QString("2.11")));
    r.open(dir.path());
    r.in(testdata::read(kLog));
    r.close();
    const std::string text = text_of(r.observation);
    EXPECT_NE(text.find("\n 25 04 01 11 02 21.0000000  0 44C05"), std::string::npos);
    EXPECT_NE(text.find("\n 25 04 01 11 02 32.0000000  0 44C05"), std::string::npos);
    EXPECT_NE(text.find("mosaic-H"), std::string::npos);
}

// Comment lines, stray bytes (one a false sync), a frame cut short and a
// frame with a broken checksum between the frames of the log: every whole
// frame around them still counts, and the files come out as from the clean
// log.
TEST(SbfConvert, DamageLosesNothingAround)
{
    REQUIRE_TESTDATA();
    const std::vector<uint8_t> clean = testdata::read(kLog);
    const auto spans = frame_spans(clean);
    ASSERT_GT(spans.size(), 100u);
    std::vector<uint8_t> damaged;
    const std::string comment = "# logged by the receiver's web interface\r\n";
    const uint8_t stray[] = {0x00, 0x24, 0x40, 0x13, 0x37, 0xFF, 0x24};
    for (size_t i = 0; i < spans.size(); ++i) {
        const uint8_t *frame = clean.data() + spans[i].first;
        const size_t n = spans[i].second;
        switch (i % 4) {
        case 0:
            damaged.insert(damaged.end(), comment.begin(), comment.end());
            break;
        case 1:
            damaged.insert(damaged.end(), stray, stray + sizeof stray);
            break;
        case 2: // the first half of the frame, then the frame whole
            damaged.insert(damaged.end(), frame, frame + n / 2);
            break;
        default: { // a copy with one byte flipped
            std::vector<uint8_t> copy(frame, frame + n);
            copy[n - 1] ^= 0x5A;
            damaged.insert(damaged.end(), copy.begin(), copy.end());
            break;
        }
        }
        damaged.insert(damaged.end(), frame, frame + n);
    }
    QTemporaryDir a, b;
    Conversion<Rinex3xx> r1, r2;
    r1.open(a.path());
    r1.in(clean);
    r1.close();
    r2.open(b.path());
    r2.in(damaged);
    r2.close();
    auto body = [](const QString &path) {
        std::string t = text_of(path);
        return t.substr(t.find("END OF HEADER"));
    };
    EXPECT_EQ(body(r2.observation), body(r1.observation));
    EXPECT_EQ(body(r2.navigation), body(r1.navigation));
}

// An epoch sent before the receiver knew the time is not written with a
// made-up date; a later one is dated by its own week and time of week.
TEST(SbfConvert, EpochWithoutTimeIsSkipped)
{
    sbfenc::Type1 t;
    t.svid = 5;
    t.pseudorange = 2.2e7;
    t.phase = t.pseudorange * 1575.42e6 / sbfenc::C;
    QTemporaryDir dir;
    Conversion<Rinex3xx> r;
    r.open(dir.path());
    r.in(sbfenc::meas_epoch(SBF_TOW_UNKNOWN, SBF_WNC_UNKNOWN, {t}));
    r.in(sbfenc::meas_epoch(0xFFFFFFFFu, 2360, {t}));
    r.in(sbfenc::meas_epoch(1000, 2360, {t}));
    EXPECT_EQ(r.w.skippedEpochs, 2);
    r.close();
    rnx3::File f = rnx3::read(r.observation.toStdString());
    ASSERT_EQ(f.epochs.size(), 1u);
    EXPECT_EQ(f.epochs[0].line.substr(0, 29), "> 2025 03 30 00 00  1.0000000");
}

// The header fields the user set stay; ReceiverSetup fills only the empty
// ones, and "Unknown" fills nothing.
TEST(SbfConvert, UserHeaderFieldsWin)
{
    REQUIRE_TESTDATA();
    QTemporaryDir dir;
    Conversion<Rinex3xx> r;
    ASSERT_TRUE(r.w.setReceiver("42", "MY RX", ""));
    r.open(dir.path());
    r.in(testdata::read(kLog));
    r.close();
    rnx3::File f = rnx3::read(r.observation.toStdString());
    EXPECT_EQ(f.first["REC # / TYPE / VERS"].substr(0, 60),
              "42                  MY RX               4.12.1              ");
    EXPECT_EQ(f.first["ANT # / TYPE"].substr(0, 40), std::string(40, ' '));
}

// The file list reads ReceiverSetup, which lies beyond the first 2048 bytes.
TEST(SbfConvert, FileInformationFromReceiverSetup)
{
    REQUIRE_TESTDATA();
    File *file = File::load(QString::fromStdString(testdata::path(kLog)));
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(file->param.value(ThreadBinaryToRinex::KEY_RECEIVER_MODEL), "mosaic-H");
    EXPECT_EQ(file->param.value(ThreadBinaryToRinex::KEY_RECEIVER_SN), "3679709");
    EXPECT_EQ(file->param.value(ThreadBinaryToRinex::KEY_RECEIVER_FIRMWARE), "4.12.1");
    EXPECT_EQ(file->param.value(ThreadBinaryToRinex::KEY_GNSS_FIRMWARE), "6.12.5-gcfb7243a03");
    EXPECT_EQ(file->param.value(ThreadBinaryToRinex::KEY_MARKER_NAME), "SEPT");
    EXPECT_FALSE(file->param.contains(ThreadBinaryToRinex::KEY_ANTENNA_NAME));
    delete file;
}

// The command-line converter: an SBF log gives observation and navigation
// files without "Time Start".
TEST(SbfConvert, CommandLine)
{
    REQUIRE_TESTDATA();
    QTemporaryDir dir;
    CliRun run = convert({"-q", "-o", dir.path(), QString::fromStdString(testdata::path(kLog))});
    EXPECT_EQ(run.exit, 0) << run.errors.toStdString();
    ASSERT_EQ(run.written.size(), 2);
    const QString obs = run.written[0].endsWith('O') ? run.written[0] : run.written[1];
    rnx3::File f = rnx3::read(obs.toStdString());
    EXPECT_EQ(f.epochs.size(), 12u);
    EXPECT_EQ(f.first["REC # / TYPE / VERS"].substr(0, 7), "3679709");
}
