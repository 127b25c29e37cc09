// quorvane-convert: the desktop window's conversions from a terminal or a
// script. Each task runs on the same task runner as in the window, on its
// own worker thread.
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QList>
#include <QLocale>
#include <QMap>
#include <QMetaType>
#include <QRegExp>
#include <QSocketNotifier>
#include <QStringList>
#include <QThread>

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <math.h>
#include <signal.h>
#include <memory>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "appinfo.h"
#include "file.h"
#include "gnss_signal.h"
#include "outputclaims.h"
#include "quality.h"
#include "quality_feed.h"
#include "rinex_nav_reader.h"
#include "rinex3xx.h"
#include "threadbinarytorinex.h"

typedef QMap<QString, QString> ParamMap;

namespace {

const char kUsage[] =
    "Usage: quorvane-convert [OPTIONS] FILE...\n"
    "       quorvane-convert [OPTIONS] -      (file names from standard input, one per line)\n"
    "Converts receiver logs (RTCM 3, NovAtel OEM binary, Hemisphere binary, u-blox UBX, Septentrio SBF) to RINEX.\n"
    "\n"
    "  -o, --output DIR       \"Output Directory\" (default: next to each input; a relative\n"
    "                         DIR, \".\" too, is taken from the current directory)\n"
    "  -r, --rinex VERSION    \"Version\": 2.10 2.11 3.02 3.03 3.04 3.05 (default 3.05)\n"
    "  -n, --naming MODE      \"File Name\": 1, 2 or 3 (default 2)\n"
    "  -z, --compress HOW     \"Compression\": none, gzip, hatanaka or hatanaka+gzip (default none)\n"
    "  -j, --join             all FILEs as one stream into one output set (like \"Convert Merge\")\n"
    "  -m, --merge OUT        concatenate the FILEs byte for byte into OUT (like \"Merge\")\n"
    "  -s, --set KEY=VALUE    any task parameter by its key, e.g. --set \"Marker Name=BASE\";\n"
    "                         repeatable; a switch (Prescan, Phase As ARP, No Phase Shift,\n"
    "                         mask system X) is on with any text, off when empty; header\n"
    "                         text must fit its field in ASCII characters\n"
    "  -J, --jobs N           up to N conversions at once (default 1)\n"
    "  -q, --quiet            no progress output (warnings about the data are still shown)\n"
    "      --qc               after each task, a quality summary of every observation file it\n"
    "                         wrote, on standard error\n"
    "  -h, --help             show this help\n"
    "  -V, --version          show the program version\n"
    "\n"
    "Each file's parameters start from its own log header, then the defaults (Version 3.05,\n"
    "File Name 2, Mode 3, Marker Type GEODETIC, Height Type bottom, Obs Rate Limit 0,\n"
    "Output Directory \".\"), then the options, --set last. Progress and messages go to\n"
    "standard error, the names of the files written by successful tasks to standard output,\n"
    "one per line; files kept by a failed or cancelled task are named on standard error as\n"
    "partial. No output replaces an input, nor a file written earlier by the same run.\n"
    "--merge replaces OUT only once the whole copy succeeded.\n"
    "Exit status: 0 when every task succeeded, 1 when any failed, 2 for a usage error.\n";

struct Options {
    QStringList files;
    QString output, version, naming, merge, compression;
    bool join = false, quiet = false, fromStdin = false, qc = false;
    int jobs = 1;
    QList<QPair<QString, QString>> sets;
};

int usageError(const QString &text)
{
    fprintf(stderr, "quorvane-convert: %s\nTry 'quorvane-convert --help'.\n", text.toLocal8Bit().constData());
    return 2;
}

bool isNumber(const QString &text)
{
    bool ok = false;
    QLocale::c().toDouble(text.trimmed(), &ok);
    return ok;
}

bool isIntegerIn(const QString &text, int low, int high)
{
    bool ok = false;
    const int v = text.toInt(&ok, 10);
    return ok && v >= low && v <= high;
}

// Why a --set would not take effect, or empty text. The task reads a key it
// does not know as nothing, a number it cannot read as 0 or as not given,
// and a "Time Start" in no form it knows as no start time, all without a
// word: a mistyped setting would silently give another conversion than the
// one asked for. An empty value stands for "not given" and is always taken.
QString badSetting(const QString &key, const QString &value)
{
    typedef ThreadBinaryToRinex T;
    static const QStringList known = {
        T::KEY_TASK, T::KEY_PATH_INPUT, T::KEY_PATH_OUTPUT, T::KEY_VERSION, T::KEY_RECEIVER_MODEL,
        T::KEY_RECEIVER_SN, T::KEY_RECEIVER_FIRMWARE, T::KEY_GNSS_MODEL, T::KEY_GNSS_SN, T::KEY_GNSS_HARDWARE,
        T::KEY_GNSS_FIRMWARE, T::KEY_MARKER_NAME, T::KEY_MARKER_NUMBER, T::KEY_MARKER_TYPE, T::KEY_MODE,
        T::KEY_OBS_INTERVAL_MIN, T::KEY_LATITUDE, T::KEY_LONGITUDE, T::KEY_HEIGHT, T::KEY_ANTENNA_NAME,
        T::KEY_ANTENNA_SPEC, T::KEY_ANTENNA_HEIGHT, T::KEY_HEIGHT_TYPE, T::KEY_PHASE_AS_ARP, T::KEY_NO_PHASE_SHIFT,
        T::KEY_PRESCAN, T::KEY_TIME_START, T::KEY_FILE_NAME, T::KEY_COMPRESSION};
    QString maskKind;
    for (const QString *mask : {&T::KEY_MASK_SYSTEM, &T::KEY_MASK_PRN, &T::KEY_MASK_SIGNAL})
        for (int s = 0; s < GNSS_SYSTEM_AMOUNT; s++)
            if (key == mask->arg(QChar::fromLatin1(GNSS_SYSTEM[s].letter))) maskKind = *mask;
    if (maskKind.isEmpty() && !known.contains(key)) return QString("unknown task parameter \"%1\"").arg(key);
    // The writer takes the marker name and number only together with a type
    // of its list, exactly as spelt there: any other, an empty one too, would
    // leave the header without them.
    if (key == T::KEY_MARKER_TYPE && !Rinexxxx::MARKER_TYPE.contains(value.toUtf8())) {
        QStringList types;
        for (const QByteArray &t : Rinexxxx::MARKER_TYPE) types.append(QString::fromLatin1(t));
        return QString("--set \"%1\": %2 is not one of %3").arg(key, value, types.join(' '));
    }
    if (value.isEmpty()) return QString();
    // A check box of the window: any text switches it on, so "No" would do
    // the opposite of what it says.
    if (maskKind == T::KEY_MASK_SYSTEM || key == T::KEY_PRESCAN || key == T::KEY_PHASE_AS_ARP ||
        key == T::KEY_NO_PHASE_SHIFT) {
        if (QStringList({"no", "n", "0", "false", "off", "unchecked"}).contains(value.trimmed().toLower()))
            return QString("--set \"%1\": %2 would switch it on, as any text does; \"%1=\" leaves it off").arg(key, value);
    }
    const QString bad = QString("--set \"%1\": %2 is not ").arg(key, value);
    // A header field is a fixed number of ASCII columns. The writer would
    // cut a longer value and write "?" for what has no ASCII form (a line
    // break among them); an accented letter it writes as its base letter,
    // which the task reports.
    if (const int width = T::headerWidth(key)) {
        const QByteArray ascii = Rinexxxx::headerText(value.toUtf8(), INT_MAX);
        if (ascii.count('?') > value.count('?'))
            return QString("--set \"%1\": %2 holds characters that a RINEX header, ASCII text, cannot hold").arg(key, value);
        if (ascii.size() > width)
            return QString("--set \"%1\": %2 is longer than the %3 characters of its header field")
                .arg(key, value, QString::number(width));
    }
    if (key == T::KEY_TIME_START) {
        qint64 ms = 0;
        if (!T::parseTimeStart(value, &ms))
            return bad + "a date after 1980-01-06 as yyyy-MM-dd, yyyyMMdd, or either with hh:mm:ss";
    } else if (key == T::KEY_MODE || key == T::KEY_FILE_NAME) {
        if (!isIntegerIn(value, 1, 3)) return bad + "1, 2 or 3";
    } else if (key == T::KEY_OBS_INTERVAL_MIN) {
        if (!isIntegerIn(value, 0, INT_MAX)) return bad + "a whole number of milliseconds";
    } else if (key == T::KEY_VERSION) {
        if (!QStringList({"2.10", "2.11", "3.02", "3.03", "3.04", "3.05"}).contains(value)) return bad + "a RINEX version";
    } else if (key == T::KEY_COMPRESSION) {
        if (T::compressionFromParam(value) < 0) return bad + "None, gzip, Hatanaka or Hatanaka + gzip";
    } else if (key == T::KEY_LATITUDE || key == T::KEY_LONGITUDE || key == T::KEY_HEIGHT ||
               key == T::KEY_ANTENNA_HEIGHT) {
        if (!isNumber(value)) return bad + "a number";
        // A position or an antenna height the writer refuses would leave the
        // log's own position, or no antenna height, in the header instead:
        // the writer itself says which it takes.
        const double v = QLocale::c().toDouble(value.trimmed());
        Rinex3xx writer;
        if (key == T::KEY_LATITUDE && !writer.setPhaseCenter(v, 0, 0)) return bad + "a latitude from -90 to 90 degrees";
        if (key == T::KEY_LONGITUDE && !writer.setPhaseCenter(0, v, 0))
            return bad + "a longitude from -180 to 360 degrees";
        if (key == T::KEY_HEIGHT && !writer.setPhaseCenter(0, 0, v)) return bad + "a height from -1000 to 1000000 m";
        if (key == T::KEY_ANTENNA_HEIGHT && !writer.setAntennaHEN(v, 0, 0))
            return bad + "an antenna height between -1000 and 1000 m";
    } else if (key == T::KEY_ANTENNA_SPEC) {
        const QStringList f = value.split(',');
        bool numbers = f.size() == 4;
        // Offsets of a kilometre or more (or infinite) fit no header column:
        // the header would go without them.
        for (const QString &n : f) numbers = numbers && isNumber(n) && fabs(QLocale::c().toDouble(n.trimmed())) < 1e6;
        if (!numbers) return bad + "four numbers R,H,L1,L2 in mm, each less than 1000000 in size";
    } else if (key == T::KEY_HEIGHT_TYPE) {
        if (!QStringList({"PHASE", "VERTICAL", "BOTTOM", "SLOPE"}).contains(value.toUpper()))
            return bad + "phase, vertical, bottom or slope";
    } else if (maskKind == T::KEY_MASK_PRN) {
        for (const QString &n : value.split(',', Qt::SkipEmptyParts))
            if (!isIntegerIn(n, 1, 99)) return bad + "a list of satellite numbers 1 to 99";
    } else if (maskKind == T::KEY_MASK_SIGNAL) {
        // A signal is its RINEX 3 code without the type letter: "1C".
        for (const QString &n : value.split(',', Qt::SkipEmptyParts))
            if (n.trimmed().toUtf8().size() != 2) return bad + "a list of two-character signal codes such as 1C,2W";
    }
    return QString();
}

// The names of the files written are the result a script reads: when they
// could not all be written out, the run has not done what it says.
int withStandardOutput(int status)
{
    if (fflush(stdout) != 0 || ferror(stdout)) {
        fprintf(stderr, "quorvane-convert: cannot write to standard output: %s\n", strerror(errno));
        return status ? status : 1;
    }
    return status;
}

// Runs task maps on up to `jobs` workers, each a task runner on its own thread.
class Runner : public QObject
{
    Q_OBJECT

public:
    // `holdBack`: a written file not to be named on standard output (the
    // temporary file of a merge, named by its final name once renamed).
    Runner(const QList<ParamMap> &tasks, int jobs, bool quiet, const QString &holdBack = QString(), bool qc = false)
        : tasks(tasks), quiet(quiet), qc(qc)
    {
        progressOn = !quiet && isatty(fileno(stderr));
        // One list: no task replaces an input of the run or a file that
        // another task of the run has written.
        QStringList inputs;
        for (const ParamMap &task : tasks)
            inputs += task.value(ThreadBinaryToRinex::KEY_PATH_INPUT).split(';', Qt::SkipEmptyParts);
        claims.startList(inputs);
        for (int i = 0; i < jobs && i < tasks.size(); i++) {
            Worker w;
            w.thread = new QThread(this);
            w.runner = new ThreadBinaryToRinex;
            w.runner->setOutputClaims(&claims);
            w.runner->moveToThread(w.thread);
            connect(w.thread, &QThread::finished, w.runner, &QObject::deleteLater);
            connect(w.runner, &ThreadBinaryToRinex::progress, this, [this, i](int p) { onProgress(i, p); },
                    Qt::QueuedConnection);
            connect(w.runner, &ThreadBinaryToRinex::message, this, [this, i](QString m) { onMessage(i, m); },
                    Qt::QueuedConnection);
            connect(w.runner, &ThreadBinaryToRinex::written, this, [this, i, holdBack](QString path) {
                    if (path == holdBack) return;
                    workers[i].written.append(path);
                    printf("%s\n", QDir::toNativeSeparators(path).toLocal8Bit().constData());
                    fflush(stdout);
                }, Qt::QueuedConnection);
            connect(w.runner, &ThreadBinaryToRinex::partial, this, [this, i](QString path) {
                    clearProgress();
                    fprintf(stderr, "%s: partial: %s\n", workers[i].name.toLocal8Bit().constData(),
                            QDir::toNativeSeparators(path).toLocal8Bit().constData());
                }, Qt::QueuedConnection);
            connect(w.runner, &ThreadBinaryToRinex::finished, this, [this, i](bool ok, QString m) { onFinished(i, ok, m); },
                    Qt::QueuedConnection);
            w.thread->start();
            workers.append(w);
        }
    }

    ~Runner() override
    {
        for (Worker &w : workers) {
            w.thread->quit();
            w.thread->wait();
        }
    }

    void start()
    {
        if (tasks.isEmpty()) {
            QCoreApplication::exit(0);
            return;
        }
        for (int i = 0; i < workers.size(); i++) next(i);
    }

    // Interrupted: the running tasks are cancelled (keeping, as partial,
    // what they converted) and no further task starts; those count as failed.
    void cancel()
    {
        if (nextTask < tasks.size()) {
            clearProgress();
            fprintf(stderr, "quorvane-convert: interrupted, %d not started\n", int(tasks.size() - nextTask));
            failures += int(tasks.size() - nextTask);
            nextTask = tasks.size();
        }
        for (const Worker &w : qAsConst(workers))
            if (w.busy) QMetaObject::invokeMethod(w.runner, "taskCancle", Qt::QueuedConnection);
    }

    int failures = 0;

private:
    struct Worker {
        QThread *thread = nullptr;
        ThreadBinaryToRinex *runner = nullptr;
        QString name;
        QStringList written;
        int progress = -1;
        bool busy = false;
        std::shared_ptr<QualityFeed> feed;
    };

    void next(int i)
    {
        Worker &w = workers[i];
        if (nextTask >= tasks.size()) {
            w.busy = false;
            for (const Worker &o : qAsConst(workers))
                if (o.busy) return;
            clearProgress();
            QCoreApplication::exit(failures ? 1 : 0);
            return;
        }
        const ParamMap &task = tasks[nextTask++];
        w.busy = true;
        w.progress = -1;
        w.written.clear();
        // The runner is idle: its writer of the task to come tells the
        // check of each record.
        w.feed.reset(qc ? new QualityFeed : nullptr);
        w.runner->setObserver(w.feed.get());
        w.name = QFileInfo(task.value(ThreadBinaryToRinex::KEY_PATH_INPUT).section(';', 0, 0)).fileName();
        QMetaObject::invokeMethod(w.runner, "taskStart", Qt::QueuedConnection, Q_ARG(ParamMap, task));
    }

    void onProgress(int i, int p)
    {
        workers[i].progress = p;
        if (!progressOn) return;
        QString line;
        for (const Worker &w : qAsConst(workers)) {
            if (!w.busy) continue;
            int p = qMax(0, w.progress);
            QString bar = QString(p / 5, '#') + QString(20 - p / 5, '.');
            line += QString("[%1] %2% %3  ").arg(bar).arg(p, 3).arg(w.name.left(24));
        }
        fprintf(stderr, "\r%s\033[K", line.toLocal8Bit().constData());
        progressShown = true;
    }

    void clearProgress()
    {
        if (progressShown) fprintf(stderr, "\r\033[K");
        progressShown = false;
    }

    void onMessage(int i, const QString &m)
    {
        // Quiet leaves out the progress: which files are read and written.
        // What a task says beyond that (epochs skipped or dropped, a doubtful
        // "Time Start") is about the data and is always told.
        if (quiet && (m.startsWith("Input  = ") || m.startsWith("Output = "))) return;
        clearProgress();
        fprintf(stderr, "%s: %s\n", workers[i].name.toLocal8Bit().constData(), m.toLocal8Bit().constData());
    }

    void onFinished(int i, bool ok, const QString &m)
    {
        clearProgress();
        if (!ok) {
            failures++;
            fprintf(stderr, "%s: failed: %s\n", workers[i].name.toLocal8Bit().constData(), m.toLocal8Bit().constData());
        } else if (!quiet) {
            fprintf(stderr, "%s: %s\n", workers[i].name.toLocal8Bit().constData(), m.toLocal8Bit().constData());
        }
        if (ok && qc) checkQuality(workers[i].written, workers[i].feed.get());
        next(i);
    }

    // The quality summary of the observation file of a task: from what its
    // writer told the check while writing, else read back with the
    // navigation files the same task wrote.
    void checkQuality(const QStringList &files, QualityFeed *feed)
    {
        std::vector<std::string> observations, navigation;
        std::vector<QString> compact;
        for (const QString &f : files) {
            const std::string path = QFile::encodeName(f).toStdString();
            const char kind = qc::rinexFileKind(path);
            if (kind == 'O') observations.push_back(path);
            else if (kind == 'N') navigation.push_back(path);
            else if (f.endsWith(".crx") || f.endsWith(".crx.gz") || f.contains(QRegExp("\\.\\d\\d[dD](\\.gz)?$")))
                compact.push_back(f);
        }
        if (feed && feed->fed() && observations.size() + compact.size() == 1) {
            qc::Report report;
            std::string error;
            if (feed->finish(&report, &error)) {
                report.file = observations.empty() ? QFile::encodeName(compact.front()).toStdString() : observations.front();
                const std::string text = qc::formatSummary(report);
                fwrite(text.data(), 1, text.size(), stderr);
                fputc('\n', stderr);
            } else {
                fprintf(stderr, "quality check: %s\n", error.c_str());
            }
            return;
        }
        for (const QString &f : compact)
            fprintf(stderr, "%s: quality check: Compact RINEX is not read; convert without hatanaka "
                    "compression or expand the file first\n", QDir::toNativeSeparators(f).toLocal8Bit().constData());
        for (const std::string &path : observations) {
            qc::Report report;
            std::string error;
            if (qc::checkFiles(path, navigation, &report, &error)) {
                const std::string text = qc::formatSummary(report);
                fwrite(text.data(), 1, text.size(), stderr);
                fputc('\n', stderr);
            } else {
                fprintf(stderr, "quality check: %s\n", error.c_str());
            }
        }
    }

    QList<ParamMap> tasks;
    OutputClaims claims;
    QList<Worker> workers;
    int nextTask = 0;
    bool quiet = false;
    bool qc = false;
    bool progressOn = false;
    bool progressShown = false;
};

int signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char c = 0;
    const ssize_t n = write(signalPipe[1], &c, 1);
    (void)n;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setOrganizationName("Ostrel");
    QCoreApplication::setApplicationName(APP_NAME);
    qRegisterMetaType<ParamMap>("QMap<QString,QString>");
    qRegisterMetaType<ParamMap>("ParamMap");

    Options o;
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); i++) {
        const QString a = args[i];
        auto value = [&](QString *out) -> bool {
            int eq = a.indexOf('=');
            if (a.startsWith("--") && eq > 0) {
                *out = a.mid(eq + 1);
                return true;
            }
            if (i + 1 >= args.size()) return false;
            *out = args[++i];
            return true;
        };
        auto is = [&](const char *s, const char *l) { return a == s || a == l || a.startsWith(QString(l) + "="); };
        QString v;
        if (a == "-h" || a == "--help") {
            fputs(kUsage, stdout);
            return withStandardOutput(0);
        } else if (a == "-V" || a == "--version") {
            printf("quorvane-convert %s (%s)\n", APP_VERSION, APP_NAME);
            return withStandardOutput(0);
        } else if (is("-o", "--output")) {
            // An empty name (an unset variable in a script) is not the
            // current directory.
            if (!value(&o.output) || o.output.isEmpty()) return usageError(a + " needs a directory");
            // The task's "." means "next to each input"; a directory given
            // here means the user's own, so "-o ." is the current directory.
            o.output = QDir(o.output).absolutePath();
        } else if (is("-r", "--rinex")) {
            if (!value(&o.version)) return usageError(a + " needs a version");
            static const QStringList versions = {"2.10", "2.11", "3.02", "3.03", "3.04", "3.05"};
            if (!versions.contains(o.version)) return usageError("unknown RINEX version " + o.version);
        } else if (is("-n", "--naming")) {
            if (!value(&o.naming)) return usageError(a + " needs 1, 2 or 3");
            if (o.naming != "1" && o.naming != "2" && o.naming != "3") return usageError("naming mode must be 1, 2 or 3");
        } else if (is("-z", "--compress")) {
            static const QMap<QString, QString> names = {
                {"none", "None"}, {"gzip", "gzip"}, {"hatanaka", "Hatanaka"}, {"hatanaka+gzip", "Hatanaka + gzip"}};
            if (!value(&v)) return usageError(a + " needs none, gzip, hatanaka or hatanaka+gzip");
            if (!names.contains(v)) return usageError("unknown compression " + v);
            o.compression = names.value(v);
        } else if (a == "-j" || a == "--join") {
            o.join = true;
        } else if (is("-m", "--merge")) {
            if (!value(&o.merge) || o.merge.isEmpty()) return usageError(a + " needs an output file");
        } else if (is("-s", "--set")) {
            if (!value(&v)) return usageError(a + " needs KEY=VALUE");
            int eq = v.indexOf('=');
            if (eq <= 0) return usageError("--set needs KEY=VALUE, got " + v);
            const QString why = badSetting(v.left(eq), v.mid(eq + 1));
            if (!why.isEmpty()) return usageError(why);
            o.sets.append({v.left(eq), v.mid(eq + 1)});
        } else if (is("-J", "--jobs")) {
            bool ok = false;
            if (!value(&v)) return usageError(a + " needs a number");
            o.jobs = v.toInt(&ok);
            if (!ok || o.jobs < 1 || o.jobs > 64) return usageError("--jobs needs a number from 1 to 64");
        } else if (a == "-q" || a == "--quiet") {
            o.quiet = true;
        } else if (a == "--qc") {
            o.qc = true;
        } else if (a == "-") {
            o.fromStdin = true;
        } else if (a == "--") {
            for (i++; i < args.size(); i++) o.files.append(args[i]);
        } else if (a.startsWith('-') && a.size() > 1) {
            return usageError("unknown option " + a);
        } else {
            o.files.append(a);
        }
    }
    if (o.fromStdin) {
        // One name per line, taken as it stands (a name may hold blanks);
        // only the line end goes, and empty lines are skipped.
        char *line = nullptr;
        size_t capacity = 0;
        ssize_t n;
        while ((n = getline(&line, &capacity, stdin)) > 0) {
            while (n > 0 && (line[n - 1] == '\n' || line[n - 1] == '\r')) line[--n] = 0;
            if (n > 0) o.files.append(QString::fromLocal8Bit(line, int(n)));
        }
        free(line);
        if (o.files.isEmpty()) return usageError("no file name on standard input");
    }
    if (o.files.isEmpty()) return usageError("no input file");
    if (!o.merge.isEmpty() && o.join) return usageError("--merge and --join exclude each other");
    // A directory cannot be replaced by the merged file: say so before
    // copying every input for nothing.
    if (!o.merge.isEmpty() && QFileInfo(o.merge).isDir())
        return usageError(QString("--merge output is a directory, %1").arg(o.merge));

    int failures = 0;
    // A task takes its inputs as one text with ";" between the names: a name
    // holding ";" would be read as other files, or as none.
    for (int i = o.files.size() - 1; i >= 0; i--) {
        if (!o.files[i].contains(';')) continue;
        fprintf(stderr, "quorvane-convert: a file name with \";\" cannot be converted, %s\n",
                o.files[i].toLocal8Bit().constData());
        if (!o.merge.isEmpty()) return 1;
        o.files.removeAt(i);
        failures++;
    }
    QList<ParamMap> tasks;
    QString mergeTemporary;
    if (!o.merge.isEmpty()) {
        // Like the window's Merge, the result replaces OUT; it is copied into
        // a file beside OUT first, so that a failed merge leaves a good old
        // OUT as it was.
        for (const QString &path : qAsConst(o.files)) {
            if (sameFile(o.merge, path)) {
                fprintf(stderr, "quorvane-convert: merge output is one of the inputs, %s\n",
                        o.merge.toLocal8Bit().constData());
                return 1;
            }
        }
        const QFileInfo out(o.merge);
        mergeTemporary = out.absolutePath() + "/." + out.fileName() + QString(".%1.part").arg(getpid());
        QFile::remove(mergeTemporary);
        ParamMap m;
        m[ThreadBinaryToRinex::KEY_TASK] = ThreadBinaryToRinex::TASK_MERGE;
        m[ThreadBinaryToRinex::KEY_PATH_INPUT] = o.files.join(';');
        m[ThreadBinaryToRinex::KEY_PATH_OUTPUT] = mergeTemporary;
        tasks.append(m);
    } else {
        QList<ParamMap> loaded;
        for (const QString &path : qAsConst(o.files)) {
            QString error;
            File *f = File::load(path, &error);
            if (!f) {
                fprintf(stderr, "quorvane-convert: %s\n", error.toLocal8Bit().constData());
                failures++;
                continue;
            }
            loaded.append(f->param);
            delete f;
        }
        // The one output set of --join would lack what such an input holds,
        // yet be named as written.
        if (o.join && failures) {
            fprintf(stderr, "quorvane-convert: --join converts nothing when an input cannot be read\n");
            return 1;
        }
        const ParamMap defaults = {{ThreadBinaryToRinex::KEY_VERSION, "3.05"},
                                   {ThreadBinaryToRinex::KEY_FILE_NAME, "2"},
                                   {ThreadBinaryToRinex::KEY_MODE, "3"},
                                   {ThreadBinaryToRinex::KEY_MARKER_TYPE, "GEODETIC"},
                                   {ThreadBinaryToRinex::KEY_HEIGHT_TYPE, "bottom"},
                                   {ThreadBinaryToRinex::KEY_OBS_INTERVAL_MIN, "0"},
                                   {ThreadBinaryToRinex::KEY_PATH_OUTPUT, "."}};
        auto complete = [&](ParamMap m) {
            m[ThreadBinaryToRinex::KEY_TASK] = ThreadBinaryToRinex::TASK_CONVERT;
            for (auto it = defaults.cbegin(); it != defaults.cend(); ++it)
                if (!m.contains(it.key())) m[it.key()] = it.value();
            if (!o.output.isEmpty()) m[ThreadBinaryToRinex::KEY_PATH_OUTPUT] = o.output;
            if (!o.version.isEmpty()) m[ThreadBinaryToRinex::KEY_VERSION] = o.version;
            if (!o.naming.isEmpty()) m[ThreadBinaryToRinex::KEY_FILE_NAME] = o.naming;
            if (!o.compression.isEmpty()) m[ThreadBinaryToRinex::KEY_COMPRESSION] = o.compression;
            for (const auto &s : o.sets) m[s.first] = s.second;
            return m;
        };
        if (o.join && !loaded.isEmpty()) {
            ParamMap m = complete(loaded.first());
            QStringList paths;
            bool prescan = false;
            for (const ParamMap &l : qAsConst(loaded)) {
                paths.append(l.value(ThreadBinaryToRinex::KEY_PATH_INPUT));
                prescan = prescan || l.contains(ThreadBinaryToRinex::KEY_PRESCAN);
            }
            m[ThreadBinaryToRinex::KEY_PATH_INPUT] = paths.join(';');
            if (prescan && !m.contains(ThreadBinaryToRinex::KEY_PRESCAN)) m[ThreadBinaryToRinex::KEY_PRESCAN] = "Yes";
            tasks.append(m);
        } else {
            for (const ParamMap &l : qAsConst(loaded)) tasks.append(complete(l));
        }
    }

    Runner runner(tasks, o.jobs, o.quiet, mergeTemporary, o.qc);
    // Interrupted or told to stop, the run ends as a cancel does in the
    // window: the files converted so far get their headers and final names,
    // and no temporary file is left behind. A second signal ends the program
    // at once. A reader of standard output that went away makes the writes
    // fail (reported at the end) instead of killing the program mid-file.
    std::unique_ptr<QSocketNotifier> interrupt;
    if (pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) == 0) {
        interrupt.reset(new QSocketNotifier(signalPipe[0], QSocketNotifier::Read));
        QObject::connect(interrupt.get(), &QSocketNotifier::activated, &runner, [&runner] {
            char c;
            while (read(signalPipe[0], &c, 1) > 0) {
            }
            for (int s : {SIGINT, SIGTERM, SIGHUP}) signal(s, SIG_DFL);
            runner.cancel();
        });
        struct sigaction action;
        memset(&action, 0, sizeof action);
        action.sa_handler = onSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        for (int s : {SIGINT, SIGTERM, SIGHUP}) sigaction(s, &action, nullptr);
    }
    signal(SIGPIPE, SIG_IGN);
    // Past a file size limit (ulimit -f) a write fails with EFBIG like one on
    // a full disk, and the task drops or names what it cut short; the signal
    // would kill the run instead, leaving its temporary files behind.
    signal(SIGXFSZ, SIG_IGN);
    QMetaObject::invokeMethod(&runner, [&runner] { runner.start(); }, Qt::QueuedConnection);
    app.exec();
    for (int s : {SIGINT, SIGTERM, SIGHUP}) signal(s, SIG_DFL);
    failures += runner.failures;
    if (!mergeTemporary.isEmpty()) {
        const QByteArray from = QFile::encodeName(mergeTemporary), to = QFile::encodeName(o.merge);
        // A replaced output keeps its permissions, as a copy over it would.
        if (!failures && QFileInfo::exists(o.merge)) QFile::setPermissions(mergeTemporary, QFile::permissions(o.merge));
        if (failures) {
            QFile::remove(mergeTemporary);
        } else if (::rename(from.constData(), to.constData()) != 0) {
            fprintf(stderr, "quorvane-convert: cannot rename %s to %s: %s\n", from.constData(), to.constData(),
                    strerror(errno));
            QFile::remove(mergeTemporary);
            failures++;
        } else {
            printf("%s\n", QDir::toNativeSeparators(o.merge).toLocal8Bit().constData());
        }
    }
    return withStandardOutput(failures ? 1 : 0);
}

#include "quorvane_convert.moc"
