// Every receiver log beside the project through the command-line converter,
// with and without compression: the independent readers accept every file
// written, and the compressed files, restored with zlib and the tests' own
// Compact RINEX decoder, are the uncompressed files byte for byte (the run
// date aside).
#include <gtest/gtest.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>

#include <map>

#include "convert_cli.h"
#include "rinex2_reader.h"
#include "rinex3_reader.h"
#include "restored_files.h"
#include "testdata.h"

namespace {

// Checks every file of `plain` against its compressed form in `packed`:
// nothing else is left (temporary files included), each file compressed as
// `how` says, and restored byte for byte.
void expectSameContent(const QString &plain, const QString &packed, const QString &how, size_t *observationFiles)
{
    size_t compact = 0;
    const QMap<QString, QByteArray> a = restored(plain, &compact), b = restored(packed, observationFiles);
    EXPECT_EQ(compact, 0u);
    EXPECT_EQ(b.keys(), a.keys());
    const QStringList names = QDir(packed).entryList(QDir::Files);
    EXPECT_EQ(names.size(), a.size());
    for (const QString &n : names)
        EXPECT_EQ(n.endsWith(".gz"), how.endsWith("gzip") && !QRegExp(".*\\.\\d\\dT").exactMatch(n)) << n.toStdString();
    for (auto it = a.cbegin(); it != a.cend(); ++it) EXPECT_TRUE(b.value(it.key()) == it.value()) << it.key().toStdString();
}

// Reads a written file back with the independent reader of its version;
// returns its epochs.
size_t readBack(const QString &w, const char *version, const QString &dir)
{
    EXPECT_TRUE(w.startsWith(dir)) << w.toStdString();
    // No log here is from 1970: such a name means an undated file (an
    // ephemeris-only log must be named by its records).
    EXPECT_FALSE(w.contains(QRegExp("\\.70[A-Z]$|_R_1970"))) << w.toStdString();
    const bool obs = w.endsWith("O") || w.endsWith("_MO.rnx");
    auto check = [&](const auto &f) {
        for (const std::string &e : f.errors) ADD_FAILURE() << w.toStdString() << ": " << e;
        EXPECT_NEAR(f.version, atof(version), 1e-9) << w.toStdString();
        return f.epochs.size();
    };
    return version[0] == '2' ? check(rnx2::read(w.toStdString(), !obs)) : check(rnx3::read(w.toStdString(), !obs));
}

} // namespace

TEST(ConvertCompressed, EveryLogReadsBackAndRestoresExactly)
{
    REQUIRE_TESTDATA();
    ASSERT_GT(filesWithoutWeek().size(), 10u);
    int logs = 0;
    const std::map<std::string, QStringList> groups = logGroups(&logs);
    EXPECT_GT(logs, 100);
    size_t observationFiles = 0, filesRead = 0, epochs = 0;
    for (const char *version : {"2.11", "3.04", "3.05"}) {
        for (const auto &g : groups) {
            SCOPED_TRACE(std::string(version) + " " + g.first);
            QTemporaryDir plain, packed;
            // Short names: logs of one folder without any epoch would share a long name.
            QStringList args = {"-q", "-r", version};
            if (g.first.find("+start") != std::string::npos) args << "--set" << "Time Start=2021-03-01";
            CliRun a = convert(args + QStringList({"-o", plain.path(), "--jobs", "2"}) + g.second);
            CliRun b = convert(args + QStringList({"-o", packed.path(), "-z", "hatanaka+gzip"}) + g.second);
            // Logs without any converted format fail alike in both runs.
            for (const CliRun *r : {&a, &b}) {
                int failed = 0;
                for (const QString &line : r->errors.split('\n'))
                    if (line.contains(": failed: ")) {
                        failed++;
                        // A lone legacy GLONASS frame (1010, 1012) is an epoch without its day.
                        EXPECT_TRUE(line.contains(": failed: no GNSS data found in ") ||
                                    line.contains(": failed: 1 epochs of GLONASS messages alone skipped"))
                            << line.toStdString();
                    }
                ASSERT_EQ(r->exit, failed ? 1 : 0) << r->errors.toStdString();
            }
            // Parallel jobs report in the order they finish.
            QStringList ea = a.errors.split('\n'), eb = b.errors.split('\n');
            ea.sort();
            eb.sort();
            EXPECT_EQ(ea, eb);
            EXPECT_EQ(a.written.size(), b.written.size());
            // Failed logs leave nothing behind: the directory holds exactly the files named.
            EXPECT_EQ(QDir(plain.path()).entryList(QDir::Files).size(), a.written.size());
            for (const QString &w : a.written) epochs += readBack(w, version, plain.path());
            filesRead += (size_t)a.written.size();
            expectSameContent(plain.path(), packed.path(), "hatanaka+gzip", &observationFiles);
        }
    }
    EXPECT_GT(observationFiles, 100u);
    EXPECT_GT(filesRead, 200u); // files holding records; header-only ones are not kept
    EXPECT_GT(epochs, 15000u);
}

TEST(ConvertCompressed, EachChoiceAndItsNames)
{
    REQUIRE_TESTDATA();
    const QString log = QString::fromStdString(testdata::path("gpsd/rtcm3.2.log"));
    for (const char *naming : {"1", "3"}) {
        QTemporaryDir plain;
        ASSERT_EQ(convert({"-q", "-r", "3.04", "-n", naming, "-o", plain.path(), log}).exit, 0);
        for (const char *how : {"gzip", "hatanaka", "hatanaka+gzip"}) {
            SCOPED_TRACE(std::string(naming) + " " + how);
            QTemporaryDir packed;
            CliRun r = convert({"-q", "-r", "3.04", "-n", naming, "-z", how, "-o", packed.path(), log});
            ASSERT_EQ(r.exit, 0) << r.errors.toStdString();
            size_t observationFiles = 0;
            expectSameContent(plain.path(), packed.path(), how, &observationFiles);
            EXPECT_EQ(observationFiles, QString(how).startsWith("hatanaka") ? 1u : 0u);
            // The names of the convention, as written.
            if (QString(naming) == "3" && QString(how) == "hatanaka+gzip") {
                EXPECT_EQ(QDir(packed.path()).entryList(QDir::Files),
                          QStringList({"000000000_R_20160972038_24S_01S_MO.crx.gz", "000000000_R_20160972038_24S_MN.rnx.gz"}));
            }
        }
    }
    QTemporaryDir s;
    CliRun r = convert({"-q", "-r", "2.11", "-n", "2", "-z", "hatanaka", "-o", s.path(), log});
    ASSERT_EQ(r.exit, 0);
    EXPECT_EQ(QDir(s.path()).entryList(QDir::Files), QStringList({"rtcm3.2.16D", "rtcm3.2.16G", "rtcm3.2.16L", "rtcm3.2.16N"}));
    EXPECT_EQ(convert({"-z", "zip", log}).exit, 2);
}
