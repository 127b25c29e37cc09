// Output threads beside the conversion: the observation records written and
// compressed on threads of their own must give, restored, exactly the bytes
// of the conversion on one thread and of the compression of the finished
// file, whatever the log, the version and the points at which the writer
// hands its records over; a cancelled task leaves valid files.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <fstream>
#include <random>

#include "convert_cli.h"
#include "rinex2xx.h"
#include "rinex3_reader.h"
#include "rinex3xx.h"
#include "restored_files.h"
#include "rtcm3_stream.h"
#include "task_runner.h"
#include "testdata.h"

namespace {

const int kGzip = Rinexxxx::COMPRESS_GZIP, kHatanaka = Rinexxxx::COMPRESS_HATANAKA;

struct Run {
    const char *version;
    int compression;
    bool stream;
};

// Converts `log` as a conversion task does (a prescan pass, then the
// conversion), handing the writer the input in pieces of `piece` bytes and
// calling streamOutput after each.
// Returns the number of files compressed beside the conversion.
int convert(const QString &log, const QString &dir, const Run &run, qint64 timeStart, size_t piece)
{
    std::unique_ptr<Rinexxxx> w(run.version[0] == '2' ? (Rinexxxx *)new Rinex2xx : new Rinex3xx);
    w->setVersion(QString(run.version));
    w->setProgramRunby("test", "");
    w->setCompression(run.compression);
    w->setOutputThreads(run.stream);
    if (timeStart) w->setRtcm3Epoch(timeStart);
    EXPECT_TRUE(w->setFileName(dir + "/log.00O", 2));
    if (w->open(0) == 0) {
        ADD_FAILURE() << "cannot open the output in " << dir.toStdString();
        return 0;
    }
    const QByteArray input = readAll(log);
    static uint8_t work[16384];
    gnssparser_s parser;
    w->gnssparserInit(&parser, work, sizeof work);
    for (bool prescan : {true, false}) {
        w->setPrescan(prescan);
        gnssparser_reset(&parser);
        for (int at = 0; at < input.size(); at += (int)piece) {
            gnssparser_input(&parser, (const uint8_t *)input.constData() + at,
                             (uint32_t)std::min((int)piece, input.size() - at));
            w->streamOutput();
        }
        gnssparser_flush(&parser);
    }
    w->close();
    EXPECT_TRUE(w->outputErrors().isEmpty()) << w->outputErrors().join("; ").toStdString();
    return w->streamedFiles;
}

// The logs beside the project, with the start time that dates those
// carrying no full GPS week (0 for the others).
std::vector<std::pair<QString, qint64>> sharedLogs()
{
    std::vector<std::pair<QString, qint64>> logs;
    for (const auto &group : logGroups()) {
        const bool start = group.first.find("+start") != std::string::npos;
        for (const QString &path : group.second)
            logs.emplace_back(path, start ? rtcm3gen::parseTime("2021-03-01 00:00:00") : 0);
    }
    std::sort(logs.begin(), logs.end());
    return logs;
}

// A generated MSM7 log of five systems at 10 Hz, about `mb` megabytes.
QString generatedLog(const QString &dir, double mb)
{
    rtcm3gen::Config cfg;
    cfg.startMs = rtcm3gen::parseTime("2024-03-09 23:59:00");
    cfg.rateHz = 10;
    cfg.durationMs = 7 * rtcm3gen::kDayMs;
    rtcm3gen::Generator gen(cfg);
    std::vector<uint8_t> bytes;
    while (bytes.size() < mb * 1e6 && !gen.done()) gen.nextEpoch(bytes);
    QFile f(dir + "/generated.rtcm3");
    EXPECT_TRUE(f.open(QIODevice::WriteOnly) && f.write((const char *)bytes.data(), (qint64)bytes.size()) > 0);
    return f.fileName();
}

// Each way of compressing in `runs` restores the uncompressed conversion
// exactly; `streamed` counts the observation files compressed beside the
// conversion.
void expectSameEverywhere(const QString &log, qint64 timeStart, size_t piece, const std::vector<Run> &runs,
                          size_t *compared, int *streamed)
{
    for (const char *version : {"2.11", "3.05"}) {
        SCOPED_TRACE(log.toStdString() + " " + version);
        QTemporaryDir plainDir;
        convert(log, plainDir.path(), {version, 0, false}, timeStart, piece);
        const QMap<QString, QByteArray> plain = restored(plainDir.path());
        for (Run run : runs) {
            SCOPED_TRACE(std::to_string(run.compression) + (run.stream ? " beside" : " at close"));
            run.version = version;
            QTemporaryDir dir;
            const int beside = convert(log, dir.path(), run, timeStart, piece);
            EXPECT_TRUE(run.stream || beside == 0);

            *streamed += beside;
            const QMap<QString, QByteArray> got = restored(dir.path());
            EXPECT_EQ(got.keys(), plain.keys());
            for (auto it = plain.cbegin(); it != plain.cend(); ++it)
                EXPECT_TRUE(got.value(it.key()) == it.value()) << it.key().toStdString();
            *compared += got.size();
        }
    }
}

} // namespace

TEST(Pipeline, EverySharedLogRestoresExactly)
{
    REQUIRE_TESTDATA();
    size_t compared = 0;
    int streamed = 0;
    const auto logs = sharedLogs();
    EXPECT_GT(logs.size(), 100u);
    // Small pieces: many hand-over points, anywhere in a record, through
    // both compressors at once (gzip alone is run on the generated log).
    for (const auto &log : logs)
        expectSameEverywhere(log.first, log.second, 7919, {{"", kGzip | kHatanaka, true}}, &compared, &streamed);
    EXPECT_GT(compared, 200u);
    // Every log with observations (33 of them, in two versions) was
    // compressed beside the conversion.
    EXPECT_GE(streamed, 66);
}

TEST(Pipeline, GeneratedLogRestoresExactly)
{
    QTemporaryDir dir;
    size_t compared = 0;
    int streamed = 0;
    // Pieces of the task's size: the compressor lags behind by megabytes.
    expectSameEverywhere(generatedLog(dir.path(), 6), 0, 1 << 20,
                         {{"", 0, true}, {"", kGzip, true}, {"", kHatanaka, true}, {"", kGzip | kHatanaka, true},
                          {"", kGzip | kHatanaka, false}},
                         &compared, &streamed);
    EXPECT_GE(compared, 16u);
    // Both versions, the three choices: the observation file each time.
    EXPECT_EQ(streamed, 6);
}

// The thread that writes the records keeps the file exactly what the bytes
// written and the rewrites of the last record make it: a rewrite inside the
// buffer still being filled, one reaching back into buffers already handed
// over (several MiB of records, pieces of every size).
TEST(Pipeline, RecordsWrittenBehindKeepTheirOrderAndRewrites)
{
    QTemporaryDir dir;
    Rinexxxx::File file(dir.path() + "/out.00O", 'O', QByteArray());
    ASSERT_TRUE(file.open());
    file.writeBehind();
    std::string expected;
    std::mt19937 random(7);
    for (int round = 0; expected.size() < 5u << 20; round++) {
        const size_t length = round % 40 ? std::uniform_int_distribution<size_t>(1, 4000)(random) : 1200000;
        std::string piece(length, ' ');
        for (size_t i = 0; i < length; i++) piece[i] = (char)('a' + (expected.size() + i + (size_t)round) % 26);
        ASSERT_EQ(file.write(piece.data(), (qint64)length), (qint64)length);
        expected += piece;
        ASSERT_EQ(file.pos(), (qint64)expected.size());
        if (round % 7 == 3 || round % 80 == 41) {
            const size_t back = round % 80 == 41 ? 1600000 : std::uniform_int_distribution<size_t>(0, 3000)(random);
            expected.resize(expected.size() - std::min(back, expected.size()));
            ASSERT_TRUE(file.cutTo((qint64)expected.size()));
        }
    }
    ASSERT_TRUE(file.drain());
    ASSERT_TRUE(file.qfile().flush());
    EXPECT_EQ(readAll(dir.path() + "/out.00O").toStdString() == expected, true);
    EXPECT_FALSE(file.failed());
}

// A write that fails on the records' own thread, with the last records
// (which reach the disk only when the writer is flushed or closed), is an
// output error with the system's reason by the time the caller asks, at a
// flush or at close; the cut observation file gets no final name.
TEST(Pipeline, AFailedLastWriteBehindIsReported)
{
    QTemporaryDir dir;
    const QByteArray input = readAll(generatedLog(dir.path(), 3));
    auto run = [&](const QString &out, rlim_t limit, bool flushFirst) {
        FileSizeLimit guard(limit);
        Rinex3xx w;
        w.setVersion(QString("3.05"));
        EXPECT_TRUE(w.setFileName(out + "/log.00O", 2) && w.open(0) > 0);
        static uint8_t work[16384];
        gnssparser_s parser;
        w.gnssparserInit(&parser, work, sizeof work);
        for (int at = 0; at < input.size(); at += 1 << 20)
            gnssparser_input(&parser, (const uint8_t *)input.constData() + at,
                             (uint32_t)std::min(1 << 20, input.size() - at));
        QStringList errors;
        if (flushFirst) {
            w.flush();
            errors = w.outputErrors();
        }
        w.close();
        return flushFirst ? errors : w.outputErrors();
    };
    // The whole observation file's size, then a limit 1000 bytes short of it.
    QTemporaryDir whole;
    ASSERT_EQ(run(whole.path(), RLIM_INFINITY, false), QStringList());
    const QStringList names = QDir(whole.path()).entryList({"*O"}, QDir::Files);
    ASSERT_EQ(names.size(), 1);
    const qint64 size = QFileInfo(whole.path() + "/" + names[0]).size();
    ASSERT_GT(size % (1 << 20), 2000); // the limit falls in the last part
    for (bool flushFirst : {true, false}) {
        QTemporaryDir out;
        const QStringList errors = run(out.path(), (rlim_t)(size - 1000), flushFirst);
        EXPECT_EQ(errors.filter(QRegExp("^cannot write .*\\.00O: File too large$")).size(), 1) << errors.join("; ").toStdString();
        EXPECT_EQ(QDir(out.path()).entryList({"*O"}, QDir::Files), QStringList());
    }
}

TEST(Pipeline, CancelAnywhereLeavesValidFiles)
{
    ensureApplication();
    QTemporaryDir dir;
    const QString log = generatedLog(dir.path(), 6);
    std::mt19937 random(20);
    for (int round = 0; round < 3; round++) {
        const int at = std::uniform_int_distribution<int>(1, 99)(random);
        SCOPED_TRACE("cancelled at " + std::to_string(at) + "%");
        QTemporaryDir out;
        typedef ThreadBinaryToRinex T;
        ParamMap task = {{T::KEY_TASK, T::TASK_CONVERT}, {T::KEY_PATH_INPUT, log}, {T::KEY_PATH_OUTPUT, out.path()},
                         {T::KEY_VERSION, "3.05"}, {T::KEY_FILE_NAME, "2"}, {T::KEY_PRESCAN, "Yes"},
                         {T::KEY_COMPRESSION, "Hatanaka + gzip"}};
        bool sent = false;
        TaskResult r = runTask(task, [&](ThreadBinaryToRinex *runner, int p) {
            if (p >= at && !sent) {
                sent = true;
                QMetaObject::invokeMethod(runner, "taskCancle", Qt::QueuedConnection);
            }
        });
        // A cancel in the prescan pass leaves nothing; later ones what was
        // converted, compressed whole, and no temporary file. A cancel that
        // arrives after the last chunk finds the task done.
        for (const QString &name : QDir(out.path()).entryList(QDir::Files))
            EXPECT_TRUE(name.endsWith(".gz")) << name.toStdString();
        const QMap<QString, QByteArray> files = restored(out.path());
        EXPECT_EQ(files.size(), (r.ok ? r.written : r.partial).size());
        for (auto it = files.cbegin(); it != files.cend(); ++it) {
            const std::string plain = (out.path() + "/" + it.key() + ".plain").toStdString();
            ASSERT_TRUE(std::ofstream(plain, std::ios::binary).write(it.value().constData(), it.value().size()).good());
            rnx3::File parsed = rnx3::read(plain, !it.key().endsWith("O"));
            for (const std::string &e : parsed.errors) ADD_FAILURE() << it.key().toStdString() << ": " << e;
            EXPECT_TRUE(!it.key().endsWith("O") || !parsed.epochs.empty()) << it.key().toStdString();
        }
    }
}
