// Drives the real task runner on a real worker thread with queued
// connections, as the progress window does, and records what it reports.
#ifndef QUORVANE_TESTS_TASK_RUNNER_H
#define QUORVANE_TESTS_TASK_RUNNER_H

#include <QCoreApplication>
#include <QEventLoop>
#include <QMap>
#include <QMetaType>
#include <QThread>
#include <QTimer>

#include <signal.h>
#include <sys/resource.h>

#include <functional>

#include "outputclaims.h"
#include "threadbinarytorinex.h"

typedef QMap<QString, QString> ParamMap;

inline void ensureApplication()
{
    static int argc = 1;
    static char name[] = "tests";
    static char *argv[] = {name, nullptr};
    if (!QCoreApplication::instance()) {
        new QCoreApplication(argc, argv); // lives as long as the test program
        qRegisterMetaType<ParamMap>("QMap<QString,QString>");
        qRegisterMetaType<ParamMap>("ParamMap");
    }
}

// While it lives, files may not grow beyond `bytes`: a write past that fails
// with EFBIG (the signal that would kill the process is ignored).
struct FileSizeLimit {
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &old);
        struct rlimit limit = old;
        limit.rlim_cur = bytes;
        handler = signal(SIGXFSZ, SIG_IGN);
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &old);
        signal(SIGXFSZ, handler);
    }
    struct rlimit old;
    void (*handler)(int);
};

struct TaskResult {
    bool ok = false;
    QString text;
    QStringList messages;
    QList<int> progress;
    QStringList written;
    QStringList partial;
    // Events in arrival order: "progress N", "message ...", "finished ...".
    QStringList events;
};

// Runs one task; `onProgress` may act on the runner (cancel it, say) when a
// progress value arrives.
// `claims`, when given, makes the task one of that list.
inline TaskResult runTask(const ParamMap &map, std::function<void(ThreadBinaryToRinex *, int)> onProgress = {},
                          OutputClaims *claims = nullptr)
{
    ensureApplication();
    TaskResult r;
    QThread thread;
    ThreadBinaryToRinex *runner = new ThreadBinaryToRinex;
    runner->setOutputClaims(claims);
    runner->moveToThread(&thread);
    thread.start();
    QEventLoop loop;
    QObject::connect(runner, &ThreadBinaryToRinex::progress, &loop, [&](int p) {
        r.progress.append(p);
        r.events.append(QString("progress %1").arg(p));
        if (onProgress) onProgress(runner, p);
    }, Qt::QueuedConnection);
    QObject::connect(runner, &ThreadBinaryToRinex::message, &loop, [&](QString m) {
        r.messages.append(m);
        r.events.append("message " + m);
    }, Qt::QueuedConnection);
    QObject::connect(runner, &ThreadBinaryToRinex::written, &loop, [&](QString p) { r.written.append(p); },
                     Qt::QueuedConnection);
    QObject::connect(runner, &ThreadBinaryToRinex::partial, &loop, [&](QString p) { r.partial.append(p); },
                     Qt::QueuedConnection);
    QObject::connect(runner, &ThreadBinaryToRinex::finished, &loop, [&](bool ok, QString m) {
        r.ok = ok;
        r.text = m;
        r.events.append("finished " + m);
        loop.quit();
    }, Qt::QueuedConnection);
    if (!QMetaObject::invokeMethod(runner, "taskStart", Qt::QueuedConnection, Q_ARG(ParamMap, map))) {
        r.text = "taskStart could not be invoked";
        loop.quit();
    } else {
        QTimer::singleShot(120000, &loop, &QEventLoop::quit); // never hang a test run
        loop.exec();
    }
    // Deleted on its own thread, which alone has touched it: the hand-over
    // of a finished QThread to its waiter is invisible to the thread
    // sanitizer, which would take a delete here for a race.
    QMetaObject::invokeMethod(runner, [runner] { delete runner; }, Qt::BlockingQueuedConnection);
    thread.quit();
    thread.wait();
    QCoreApplication::processEvents();
    return r;
}

#endif
