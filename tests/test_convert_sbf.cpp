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
#include "log_frames.h"
#include "rinex2xx.h"
#include "rinex3_reader.h"
#include "rinex3xx.h"
#include "sbf.h"
#include "sbf_encoder.h"
#include "testdata.h"
#include "threadbinarytorinex.h"
#include "writer_feed.h"

namespace {

const char kLog[] = "sbfparser/log_0000.sbf";

// A writer fed through its framer (SBF blocks of these logs fit its buffer)
// into a directory of its own.
template <typename Writer> struct Conversion : feed::Run<Writer> {
    QTemporaryDir dir;
    QString observation, navigation;
    void open() { this->start(dir.path() + "/in.00O"); }
    void close()
    {
        gnssparser_flush(&this->parser);
        observation = this->w.observationFinalName(), navigation = this->w.navigationFinalName();
        this->w.close();
        EXPECT_TRUE(this->w.outputErrors().isEmpty());
        // Satellites the receiver has not numbered yet (log_0000's GLONASS
        // of unknown slot) are no signals the converter lacks.
        EXPECT_TRUE(this->w.unknownSignals.isEmpty()) << this->w.unknownSignals.firstKey().toStdString();
    }
    void convert(const std::vector<uint8_t> &data) { open(), this->in(data), close(); }
};

std::string text_of(const QString &path)
{
    QByteArray b = readAll(path);
    return std::string(b.constData(), (size_t)b.size());
}

std::string body_of(const QString &path)
{
    const std::string t = text_of(path);
    return t.substr(t.find("END OF HEADER"));
}

} // namespace

// Every observation of the log reaches the file with the decoder's values,
// at the epochs' own dates; the header names the receiver; navigation
// records of four systems follow, with the leap seconds of GPSUtc; damage
// between the frames changes none of it.
TEST(SbfConvert, RealLogToRinex3)
{
    REQUIRE_TESTDATA();
    const std::vector<uint8_t> data = testdata::read(kLog);
    Conversion<Rinex3xx> r;
    r.convert(data);
    rnx3::File f = rnx3::read(r.observation.toStdString());
    for (const std::string &e : f.errors) ADD_FAILURE() << e;
    ASSERT_EQ(f.epochs.size(), 12u);
    EXPECT_EQ(logs::fields(f.epochs[0].line.substr(0, 29), f.epochs[11].line.substr(0, 29),
                           f.first["MARKER NAME"].substr(0, 4), f.first["REC # / TYPE / VERS"].substr(0, 60)),
              logs::fields("> 2025 04 01 11 02 21.0000000", "> 2025 04 01 11 02 32.0000000", "SEPT",
                           "3679709             mosaic-H            4.12.1              "));
    std::map<std::string, double> decoded; // "epoch sat type" -> value
    int epoch = 0;
    for (const auto &frame : logs::sbf_frames(data)) {
        sbf_meas_epoch_t e;
        if (sbf_parser_meas_epoch(frame.data(), (uint32_t)frame.size(), &e) != 0) continue;
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
    // Written as decoded, every one of them; the first phase of each signal
    // opens its arc, and none slips afterwards in these 12 seconds of a
    // static receiver.
    size_t written = 0;
    std::map<std::string, int> arcs; // "G05 L1C" -> phases written
    int opened = 0, slipped = 0;
    for (size_t i = 0; i < f.epochs.size(); ++i)
        for (const auto &sat : f.epochs[i].sats)
            for (size_t c = 0; c < sat.second.size(); ++c) {
                const rnx3::Value &v = sat.second[c];
                const std::string type = f.types[sat.first[0]].at(c), key = std::to_string(i) + " " + sat.first + " " + type;
                if (!v.present) continue;
                if (type[0] == 'L') (arcs[sat.first + " " + type]++ == 0 ? opened : slipped) += v.lli != ' ' && ((v.lli - '0') & 1);
                if (type[0] != 'C' && type[0] != 'D') continue;
                ASSERT_TRUE(decoded.count(key)) << key;
                EXPECT_NEAR(v.value, decoded[key], 0.0015) << key;
                ++written;
            }
    EXPECT_EQ(logs::fields(written, opened, slipped), logs::fields(decoded.size(), (int)arcs.size(), 0));

    rnx3::File nav = rnx3::read(r.navigation.toStdString(), true);
    EXPECT_EQ(nav.first["LEAP SECONDS"].substr(0, 6), "    18");
    std::map<char, int> records;
    for (const std::string &line : nav.body)
        if (!line.empty() && line[0] != ' ') records[line[0]]++;
    // Distinct satellites of the decoded blocks (SOURCES.md), one record each
    // in 12 s of broadcast.
    EXPECT_EQ(records, (std::map<char, int>{{'C', 20}, {'E', 16}, {'G', 18}, {'R', 10}}));

    // Damage between the frames loses nothing around it: the files come out
    // as from the clean log.
    Conversion<Rinex3xx> hurt;
    hurt.convert(logs::damaged(logs::sbf_frames(data), {0x00, 0x24, 0x40, 0x13, 0x37, 0xFF, 0x24})); // one a false sync
    EXPECT_EQ(body_of(hurt.observation), body_of(r.observation));
    EXPECT_EQ(body_of(hurt.navigation), body_of(r.navigation));
}

// A log with raw navigation pages only: every system's pages become
// navigation records, each for a satellite the log observes.
TEST(SbfConvert, RawPagesOnlyLogGivesNavigation)
{
    REQUIRE_TESTDATA();
    Conversion<Rinex3xx> r;
    r.convert(testdata::read("abhiyaan-mosaic/003.sbf"));
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

// RINEX 2 takes the same epochs, dated the same. The header fields the
// user set stay; ReceiverSetup fills only the empty ones, and "Unknown"
// fills nothing.
TEST(SbfConvert, RealLogToRinex2WithUserHeaderFields)
{
    REQUIRE_TESTDATA();
    Conversion<Rinex2xx> r;
    ASSERT_TRUE(r.w.setVersion(QString("2.11")));
    ASSERT_TRUE(r.w.setReceiver("42", "MY RX", ""));
    r.convert(testdata::read(kLog));
    const std::string text = text_of(r.observation);
    for (const char *line : {"\n 25 04 01 11 02 21.0000000  0 44C05", "\n 25 04 01 11 02 32.0000000  0 44C05",
                             "\n42                  MY RX               4.12.1              REC # / TYPE / VERS",
                             "\n                                                            ANT # / TYPE"})
        EXPECT_NE(text.find(line), std::string::npos) << line;
}

// An epoch sent before the receiver knew the time is not written with a
// made-up date; a later one is dated by its own week and time of week.
TEST(SbfConvert, EpochWithoutTimeIsSkipped)
{
    sbfenc::Type1 t;
    t.svid = 5, t.pseudorange = 2.2e7, t.phase = t.pseudorange * 1575.42e6 / sbfenc::C;
    Conversion<Rinex3xx> r;
    r.open();
    r.in(sbfenc::meas_epoch(SBF_TOW_UNKNOWN, SBF_WNC_UNKNOWN, {t}));
    r.in(sbfenc::meas_epoch(0xFFFFFFFFu, 2360, {t}));
    r.in(sbfenc::meas_epoch(1000, 2360, {t}));
    const int skipped = r.w.skippedEpochs;
    r.close();
    rnx3::File f = rnx3::read(r.observation.toStdString());
    ASSERT_EQ(logs::fields(skipped, f.epochs.size()), logs::fields(2, size_t(1)));
    EXPECT_EQ(f.epochs[0].line.substr(0, 29), "> 2025 03 30 00 00  1.0000000");
}

// The file list reads ReceiverSetup, which lies beyond the first 2048 bytes,
// also behind a false "$@" whose claimed 65520 bytes run past what is read.
TEST(SbfConvert, FileInformationFromReceiverSetup)
{
    REQUIRE_TESTDATA();
    QTemporaryDir dir;
    const QString falseSync = dir.path() + "/false-sync.sbf";
    QFile out(falseSync);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    const std::vector<uint8_t> log = testdata::read(kLog);
    out.write(QByteArray(100, 0) + QByteArray::fromHex("244000000000f0ff") +
              QByteArray(reinterpret_cast<const char *>(log.data()), (int)log.size()));
    out.close();
    for (const QString &path : {QString::fromStdString(testdata::path(kLog)), falseSync}) {
        File *file = File::load(path);
        ASSERT_NE(file, nullptr);
        typedef ThreadBinaryToRinex T;
        auto value = [&](const QString &key) { return file->param.value(key).toStdString(); };
        EXPECT_EQ(std::vector<std::string>({value(T::KEY_RECEIVER_MODEL), value(T::KEY_RECEIVER_SN),
                                            value(T::KEY_RECEIVER_FIRMWARE), value(T::KEY_GNSS_FIRMWARE),
                                            value(T::KEY_MARKER_NAME)}),
                  std::vector<std::string>({"mosaic-H", "3679709", "4.12.1", "6.12.5-gcfb7243a03", "SEPT"}))
            << path.toStdString();
        EXPECT_FALSE(file->param.contains(T::KEY_ANTENNA_NAME)); // "Unknown"
        delete file;
    }
}

// The command-line converter: an SBF log gives observation and navigation
// files without "Time Start".
TEST(SbfConvert, CommandLine)
{
    REQUIRE_TESTDATA();
    QTemporaryDir dir;
    CliRun run = convert({"-q", "-o", dir.path(), QString::fromStdString(testdata::path(kLog))});
    ASSERT_EQ(logs::fields(run.exit, run.written.size()), logs::fields(0, 2)) << run.errors.toStdString();
    rnx3::File f = rnx3::read(run.written.filter(QRegExp("O$")).value(0).toStdString());
    EXPECT_EQ(logs::fields(f.epochs.size(), f.first["REC # / TYPE / VERS"].substr(0, 7)), logs::fields(size_t(12), "3679709"));
}
