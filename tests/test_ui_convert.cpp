// The progress window running real task lists on its worker thread: the
// exact log lines, the summary, the progress bar, cancellation, and a merge
// list whose middle task fails.
#include <QDir>
#include <QRegularExpression>

#include "log_frames.h"
#include "ui_main.h"

typedef ThreadBinaryToRinex T;
typedef QMap<QString, QString> ParamMap;

namespace {

ParamMap mergeTask(const QString &input, const QString &out)
{
    return {{T::KEY_TASK, T::TASK_MERGE}, {T::KEY_PATH_INPUT, input}, {T::KEY_PATH_OUTPUT, out}};
}

// The log without its time stamps (a non-empty line without one is marked
// "UNSTAMPED "), each run of progress lines of one task made one "[k/n]
// Progress" line (`values` receives the percentages of each run) and each
// "Cost=12 ms" made "Cost=N ms", so that a whole run compares with its
// expected lines in one check.
QStringList steps(const WidgetConvert &w, QList<QList<int> > *values)
{
    static const QRegularExpression stamp("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3} (.*)$"),
        progress("^(\\[\\d+/\\d+\\]) Progress (\\d+)%$"), cost("\\] Task Ok, Cost=\\d+ ms$");
    QStringList out;
    for (const QString &raw : w.logText().split('\n')) {
        const QRegularExpressionMatch s = stamp.match(raw);
        QString line = s.hasMatch() ? s.captured(1) : raw.isEmpty() ? raw : "UNSTAMPED " + raw;
        QRegularExpressionMatch m = progress.match(line);
        if (!m.hasMatch()) {
            out.append(line.replace(cost, "] Task Ok, Cost=N ms"));
            continue;
        }
        const QString head = m.captured(1) + " Progress";
        if (out.isEmpty() || out.last() != head) {
            out.append(head);
            values->append(QList<int>());
        }
        values->last().append(m.captured(2).toInt());
    }
    return out;
}

// A large file of noise, to keep a task busy long enough to be cancelled.
QString noiseFile(const QString &dir, int megabytes)
{
    QByteArray data(megabytes * 1048576, '\0');
    quint32 x = 12345;
    for (int i = 0; i < data.size(); i++) {
        x = x * 1103515245u + 12345u;
        data[i] = (char)(x >> 23);
    }
    const QString path = dir + "/noise.bin";
    writeFile(path, data);
    return path;
}

class UiConvert : public ::testing::Test
{
protected:
    QTemporaryDir dir;
    QString out;
    void SetUp() override
    {
        out = dir.filePath("out");
        QDir().mkpath(out);
    }
};

} // namespace

TEST_F(UiConvert, CancelEndsTheRunningTaskAndTheListGoesOn)
{
    REQUIRE_TESTDATA();
    WidgetConvert w;
    QPushButton *cancel = w.findChild<QPushButton *>("pbCancleFinish");
    ASSERT_TRUE(cancel);
    EXPECT_EQ(logs::fields(cancel->text(), cancel->isEnabled()), logs::fields("Cancle", false));
    const QString noise = noiseFile(dir.path(), 32), second = dataPath("gpsd/rtcm3.2.log");
    ParamMap busy = convertTask(noise, out); // read twice, with the prescan
    ASSERT_TRUE(w.start({busy, convertTask(second, out)}));
    EXPECT_EQ(logs::fields(w.isRunning(), cancel->isEnabled(), w.progressValue()), logs::fields(true, true, 0));
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.logText().contains("[1/2] Progress"); }, 30000));

    // "No" leaves the task alone.
    Dialogs no;
    no.answer(QMessageBox::No);
    cancel->click();
    EXPECT_EQ(no.said, QStringList({"Confirm|Cancle Convert Progress?"}));
    QTest::qWait(20);
    EXPECT_EQ(logs::fields(w.logText().contains("Task"), w.isRunning()), logs::fields(false, true));

    Dialogs yes;
    yes.answer(QMessageBox::Yes);
    cancel->click();
    EXPECT_TRUE(yes.allDone());
    ASSERT_TRUE(waitIdle(w));
    EXPECT_EQ(logs::fields(cancel->isEnabled(), w.progressValue()), logs::fields(false, 100));

    QList<QList<int> > progress;
    // Every line but the empty ones carries a time stamp. Noise converts to
    // nothing: the cancelled task keeps no file; the second really wrote its
    // files (2016 data).
    EXPECT_EQ(steps(w, &progress),
              QStringList({"[1/2] Input  = " + noise, "[1/2] Output = " + out + "/", "[1/2] Progress",
                           "[1/2] Task Failed! cancle", "", "[2/2] Input  = " + second, "[2/2] Output = " + out + "/",
                           "[2/2] Progress", "[2/2] Written = " + out + "/rtcm3.2.16N",
                           "[2/2] Written = " + out + "/rtcm3.2.16O", "[2/2] Task Ok, Cost=N ms", "",
                           "All Task Finished. Ok=1 Fail=1"}));
    EXPECT_EQ(QDir(out).entryList(QDir::Files), QStringList({"rtcm3.2.16N", "rtcm3.2.16O"}));
    // The cancelled task stopped short of the end and reported 0 last; the
    // other rose to 100.
    ASSERT_EQ(progress.size(), 2);
    EXPECT_EQ(logs::fields(progress[0].last(), progress[1].last()), logs::fields(0, 100));
    EXPECT_LT(progress[0][progress[0].size() - 2], 100);
    for (int i = 1; i < progress[1].size(); i++) EXPECT_GT(progress[1][i], progress[1][i - 1]);

    // An empty list keeps the log and says so, without a time stamp.
    EXPECT_FALSE(w.start({}));
    EXPECT_TRUE(w.logText().endsWith("All Task Finished. Ok=1 Fail=1\nno file!"));
}

TEST_F(UiConvert, ClosingWhileATaskRunsStopsTheWorker)
{
    REQUIRE_TESTDATA();
    // A short log, then noise that keeps the task busy (and each of its
    // ticks short, so that the worker stops well within its second).
    const QString log = dir.filePath("sept.rtcm"), noise = noiseFile(dir.path(), 16);
    writeFile(log, readAll(dataPath("gnss-converters/sept.rtcm")));
    {
        WidgetConvert w;
        ParamMap task = convertTask(log + ";" + noise, out);
        task.remove(T::KEY_PRESCAN);
        task[T::KEY_TIME_START] = "2018-01-02";
        ASSERT_TRUE(w.start({task}));
        ASSERT_TRUE(QTest::qWaitFor([&] { return w.logText().contains("[1/1] Input  = " + noise); }, 30000));
        EXPECT_FALSE(w.logText().contains("Task"));
    }
    // The writer, deleted on its thread, closed and named its files.
    EXPECT_EQ(QDir(out).entryList(QDir::Files), QStringList({"sept.18N", "sept.18O"}));

    // Cut short so, a later task of the list does not replace what an
    // earlier one wrote under the same names.
    const QString again = dir.filePath("d2/sept.rtcm"), out2 = dir.filePath("out2");
    QDir().mkpath(dir.filePath("d2"));
    QDir().mkpath(out2);
    writeFile(again, readAll(dataPath("gnss-converters/week-rollover-STR24.rtcm3")));
    QByteArray first;
    {
        WidgetConvert w;
        ParamMap one = convertTask(log, out2), two = convertTask(again + ";" + noise, out2);
        for (ParamMap *t : {&one, &two}) t->remove(T::KEY_PRESCAN);
        one[T::KEY_TIME_START] = "2018-01-02";
        two[T::KEY_TIME_START] = "2018-07-14";
        ASSERT_TRUE(w.start({one, two}));
        ASSERT_TRUE(QTest::qWaitFor([&] { return w.logText().contains("[2/2] Input  = " + noise); }, 30000));
        first = readAll(out2 + "/sept.18O");
    }
    EXPECT_EQ(logs::fields(QDir(out2).entryList(QDir::Files), first.contains("\n> 2018 01 02 "),
                           readAll(out2 + "/sept.18O") == first),
              logs::fields(QStringList({"sept.18N", "sept.18O"}), true, true));
}

TEST_F(UiConvert, ProgressBarShowsTheShareOfTheWholeList)
{
    WidgetConvert w;
    const QString noise = noiseFile(dir.path(), 16), missing = dir.filePath("missing.log");
    ParamMap busy = convertTask(noise, out);
    ASSERT_TRUE(w.start({convertTask(missing, out), busy, convertTask(missing, out), convertTask(missing, out)}));
    // A second list is refused while this one runs.
    EXPECT_FALSE(w.start({convertTask(noise, out)}));
    EXPECT_EQ(w.taskList().size(), 4);
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.logText().contains("[2/4] Input"); }, 30000));
    // The GUI thread stays free while the worker pumps: the log grows.
    const int before = w.logText().size();
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.logText().size() > before; }, 30000));
    // 50 % of the second of four tasks: (1 * 100 + 50) * 100 / 400 = 37.5.
    QMetaObject::invokeMethod(&w, "on_thread_progress", Qt::DirectConnection, Q_ARG(int, 50));
    EXPECT_EQ(w.progressValue(), 37);
    ASSERT_TRUE(waitIdle(w));
    // The noise holds no GNSS data either.
    EXPECT_TRUE(w.logText().endsWith("All Task Finished. Ok=0 Fail=4"));
    EXPECT_EQ(w.progressValue(), 50); // the last two end without progress
}

// The list's tasks share their claims on output names; a failed task offers
// no files. (Each failure's own cause is the worker's, checked with it.)
TEST_F(UiConvert, FailedTasksOfferNoFilesAndTheCountsMatchTheDisk)
{
    REQUIRE_TESTDATA();
    QDir(dir.path()).mkpath("d2");
    const QString a = dir.filePath("sept.rtcm"), b = dir.filePath("d2/sept.rtcm3"), named = dir.filePath("d2/sept.18O");
    const QByteArray sept = readAll(dataPath("gnss-converters/sept.rtcm"));
    writeFile(a, sept);
    writeFile(b, readAll(dataPath("gnss-converters/week-rollover-STR24.rtcm3")));
    writeFile(named, sept); // a raw log named like its own output
    WidgetConvert w;
    ASSERT_TRUE(w.start({convertTask(a, out), convertTask(b, out), convertTask(named, ".")}));
    ASSERT_TRUE(waitIdle(w));
    QStringList offered, ends;
    QList<QList<int> > progress;
    for (const QString &line : steps(w, &progress)) {
        if (line.contains("] Written = ") || line.contains("] Partial = ")) offered.append(line);
        if (line.contains("] Task ")) ends.append(line);
    }
    EXPECT_EQ(offered, QStringList({"[1/3] Written = " + out + "/sept.18N", "[1/3] Written = " + out + "/sept.18O"}));
    EXPECT_EQ(ends, QStringList({"[1/3] Task Ok, Cost=N ms",
                                 "[2/3] Task Failed! " + out + "/sept.18N was already written from " + a +
                                     ", not replaced with the output of " + b,
                                 "[3/3] Task Failed! output is one of the inputs, " + named}));
    EXPECT_TRUE(w.logText().endsWith("All Task Finished. Ok=1 Fail=2"));
    // On disk: the first task's files, holding its day; the inputs as they were.
    EXPECT_EQ(QDir(out).entryList(QDir::Files), QStringList({"sept.18N", "sept.18O"}));
    EXPECT_TRUE(readAll(out + "/sept.18O").contains("\n> 2018 01 02 "));
    EXPECT_EQ(QDir(dir.filePath("d2")).entryList(QDir::Files), QStringList({"sept.18O", "sept.rtcm3"}));
    EXPECT_EQ(readAll(named), sept);
}

TEST_F(UiConvert, AFailedMergeStopsTheRestOfItsOutput)
{
    WidgetConvert w;
    const QString a = dir.filePath("a.bin"), c = dir.filePath("c.bin"), d = dir.filePath("d.bin"),
                  missing = dir.filePath("missing.bin"), out1 = dir.filePath("one.merge"),
                  out2 = dir.filePath("two.merge");
    writeFile(a, QByteArray(1000, 'a'));
    writeFile(c, QByteArray(1000, 'c'));
    writeFile(d, QByteArray(1000, 'd'));
    ASSERT_TRUE(w.start({mergeTask(a, out1), mergeTask(missing, out1), mergeTask(c, out1), mergeTask(d, out2)}));
    ASSERT_TRUE(waitIdle(w));
    QList<QList<int> > progress;
    // The third task is not run: it would leave c behind a hole in the
    // concatenation. Another output is not concerned.
    EXPECT_EQ(steps(w, &progress),
              QStringList({"[1/4] Input  = " + a, "[1/4] Output = " + out1, "[1/4] Progress", "[1/4] Written = " + out1,
                           "[1/4] Task Ok, Cost=N ms", "", "[2/4] Task Failed! file not exist, " + missing, "",
                           "[3/4] Task Failed! merge output is incomplete, " + out1, "", "[4/4] Input  = " + d,
                           "[4/4] Output = " + out2, "[4/4] Progress", "[4/4] Written = " + out2,
                           "[4/4] Task Ok, Cost=N ms", "", "All Task Finished. Ok=2 Fail=2"}));
    EXPECT_EQ(readAll(out1), QByteArray(1000, 'a'));
    EXPECT_EQ(readAll(out2), QByteArray(1000, 'd'));

    // A fresh list starts with no output marked.
    ASSERT_TRUE(w.start({mergeTask(c, out1)}));
    ASSERT_TRUE(waitIdle(w));
    EXPECT_EQ(readAll(out1), QByteArray(1000, 'a') + QByteArray(1000, 'c'));
}
