// Runs one conversion or merge task at a time on the thread it lives on,
// described by a task parameter map: checks the parameters, configures a
// RINEX writer, pumps the inputs through a stream framer in 1 MiB chunks on
// a zero-interval timer, and reports progress, messages and the result.
#ifndef QUORVANE_TASK_THREADBINARYTORINEX_H
#define QUORVANE_TASK_THREADBINARYTORINEX_H

#include <QByteArray>
#include <QFile>
#include <QMap>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include "gnssparser.h"

class OutputClaims;
class RinexObserver;
class Rinexxxx;

class ThreadBinaryToRinex : public QObject
{
    Q_OBJECT

public:
    static const QString KEY_TASK;
    static const QString KEY_PATH_INPUT;
    static const QString KEY_PATH_OUTPUT;
    static const QString KEY_VERSION;
    static const QString KEY_RECEIVER_MODEL;
    static const QString KEY_RECEIVER_SN;
    static const QString KEY_RECEIVER_FIRMWARE;
    static const QString KEY_GNSS_MODEL;
    static const QString KEY_GNSS_SN;
    static const QString KEY_GNSS_HARDWARE;
    static const QString KEY_GNSS_FIRMWARE;
    static const QString KEY_MARKER_NAME;
    static const QString KEY_MARKER_NUMBER;
    static const QString KEY_MARKER_TYPE;
    static const QString KEY_MODE;
    static const QString KEY_OBS_INTERVAL_MIN;
    static const QString KEY_LATITUDE;
    static const QString KEY_LONGITUDE;
    static const QString KEY_HEIGHT;
    static const QString KEY_ANTENNA_NAME;
    static const QString KEY_ANTENNA_SPEC;
    static const QString KEY_ANTENNA_HEIGHT;
    static const QString KEY_HEIGHT_TYPE;
    static const QString KEY_PHASE_AS_ARP;
    static const QString KEY_NO_PHASE_SHIFT;
    static const QString KEY_PRESCAN;
    static const QString KEY_TIME_START;
    static const QString KEY_FILE_NAME;
    static const QString KEY_COMPRESSION; // "None", "gzip", "Hatanaka", "Hatanaka + gzip"
    static const QString KEY_MASK_SYSTEM; // "%1": system letter
    static const QString KEY_MASK_PRN;
    static const QString KEY_MASK_SIGNAL;
    static const QString TASK_CONVERT;
    static const QString TASK_MERGE;

    explicit ThreadBinaryToRinex(QObject *parent = nullptr);
    ~ThreadBinaryToRinex() override;

    // The antenna reference point height and the two phase-centre offsets
    // for an antenna geometry, as a task computes them (exposed for
    // the user interface and tests).
    struct Antenna {
        double height = 0, centerL1 = 0, centerL2 = 0;
        bool movedToL1 = false;
    };
    static bool antennaFromParam(const QMap<QString, QString> &param, Antenna *out);
    // "Time Start" in any of its accepted forms, as UTC whatever the
    // machine's time zone; false when no form matches or the time lies
    // before the first GPS week.
    static bool parseTimeStart(const QString &text, qint64 *msSince1970);
    // How many characters of a parameter's value fit its header field (the
    // value of a comment line after its tag); 0 for a parameter that is no
    // header text.
    static int headerWidth(const QString &key);

    // The list the following tasks belong to (not owned; null: no list).
    // Set before the runner moves to its thread.
    void setOutputClaims(OutputClaims *claims) { outputClaims = claims; }
    // Who the next tasks' RINEX 3 writers tell of each record they write
    // (not owned; null: none). Set while the runner is idle.
    void setObserver(RinexObserver *o) { observer = o; }

    // The writer's compression for a "Compression" value (empty: none); -1
    // for a value not known.
    static int compressionFromParam(const QString &value);

public Q_SLOTS:
    void taskStart(QMap<QString, QString> param);
    void taskCancle();

Q_SIGNALS:
    void progress(int prg);
    void message(QString msg);
    void finished(bool ok, QString msg);
    // A file a successful task has written under its final name; emitted
    // before `finished`.
    void written(QString path);
    // A file a failed or cancelled task has kept under its final name: valid,
    // but holding only what was converted before the task ended.
    void partial(QString path);

private Q_SLOTS:
    void on_timer_timeout();

private:
    void reset();
    void fail(const QString &text);
    bool configureWriter(const QString &outputDirectory);
    void endOfInputs();
    // A failure while running: a convert task keeps what it has converted.
    void failRunning(const QString &text);
    void finishConvert(QString problem);
    QString dropUnusableOutputs();
    // Drops the outputs that must not get a final name, and claims the
    // others for the list; the reason when all were refused, else empty.
    QString settleOutputs();

    QMap<QString, QString> paramMap;
    QStringList fileList;
    int fileIndex = 0;
    qint64 sizeTotal = 0;
    qint64 sizeDone = 0;
    QTimer *timer = nullptr;
    QFile *fileInput = nullptr;
    QFile *fileOutput = nullptr;
    QByteArray parserBuffer;
    gnssparser_s parser;
    Rinexxxx *rinex = nullptr;
    qint64 timeStart = 0;
    int progressLast = -1;
    bool prescanPending = false;
    QByteArray chunk;
    OutputClaims *outputClaims = nullptr;
    RinexObserver *observer = nullptr;
};

#endif
