// Output files: temporary names while a writer runs, placeholder headers,
// the PPK event records, and close(), which rewrites the headers and gives
// the files their final short or long RINEX names.
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QRegExp>

#include <errno.h>
#include <stdio.h>
#include <string.h>
#include <time.h>

#include <exception>

#include "body_stream.h"
#include "compress_file.h"
#include "rinexxxx.h"

namespace {
// The encoder's file names are plain bytes.
std::string fileBytes(const QString &path)
{
    return QFile::encodeName(path).toStdString();
}
// A stream whose type counts keep changing is given up: its records are
// compressed at close instead.
const int kStreamRestartsMax = 8;
} // namespace

Rinexxxx::File::File(const QString &path, char subfix, const QByteArray &headerText)
    : letter(subfix), header(headerText)
{
    if (!path.isEmpty()) {
        QString name = path;
        name[name.size() - 1] = QChar(subfix);
        file.setFileName(name);
    }
}

// Stops the compression of its records, if any, and removes what that left.
Rinexxxx::File::~File() = default;

bool Rinexxxx::File::exist() const
{
    return !file.fileName().isEmpty() && QFile::exists(file.fileName());
}

bool Rinexxxx::File::open()
{
    if (file.isOpen() || file.fileName().isEmpty()) return false;
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate);
}

bool Rinexxxx::File::openNew()
{
    if (file.isOpen() || file.fileName().isEmpty()) return false;
    return file.open(QIODevice::WriteOnly | QIODevice::NewOnly);
}

qint64 Rinexxxx::File::writeHeader(int lines)
{
    if (!file.isOpen() || lines < 1) return 0;
    char line[96];
    QByteArray text;
    text.reserve(lines * 82);
    snprintf(line, sizeof line, "%60s%-20s\r\n", "", "COMMENT");
    for (int i = 0; i < lines - 1; i++) text += line;
    snprintf(line, sizeof line, "%60s%-20s\r\n", "", "END OF HEADER");
    text += line;
    return write(text);
}

qint64 Rinexxxx::File::write(const char *data, qint64 length)
{
    if (length <= 0) return 0;
    if (behind) {
        // A failure shows at a later write, or at the drain at close.
        behind->append(data, length);
        return failed() ? 0 : length;
    }
    errno = 0;
    qint64 n = file.write(data, length);
    if (n != length) {
        writeFailed = true;
        writeErrno = errno;
        return n < 0 ? 0 : n;
    }
    return n;
}

void Rinexxxx::File::writeBehind()
{
    if (behind || !file.isOpen() || !file.flush()) return;
    // Without a thread or its buffers (a process at its limits) the records
    // are written on the caller's thread, as they are with output threads off.
    try {
        behind.reset(new WriteBehind(file, file.pos()));
    } catch (const std::exception &) {
        behind.reset();
    }
}

bool Rinexxxx::File::drain()
{
    if (!behind || behind->drain()) return !failed();
    if (!writeFailed) {
        writeFailed = true;
        writeErrno = behind->error();
    }
    return false;
}

bool Rinexxxx::File::cutTo(qint64 at)
{
    if (behind && behind->cut(at)) return true;
    if (!drain() || !file.flush() || !file.resize(at) || !file.seek(at)) return false;
    if (behind) behind->restartAt(at);
    return true;
}

QString Rinexxxx::File::settle()
{
    // A failure of the records written behind may show only here, when it
    // came with the last of them: the system's reason, as for the others.
    if (!drain()) return writeError();
    return file.flush() ? QString() : file.errorString();
}

qint64 Rinexxxx::File::readableEnd()
{
    if (behind) return behind->written();
    return file.flush() ? file.pos() : -1;
}

QString Rinexxxx::File::writeError() const
{
    const int e = writeErrno != 0 ? writeErrno : behind && behind->failed() ? behind->error() : 0;
    return e == 0 ? file.errorString() : QString::fromLocal8Bit(strerror(e));
}

QString Rinexxxx::File::name() const
{
    QString p = file.fileName();
    return p.mid(p.lastIndexOf('/') + 1);
}

qint64 Rinexxxx::writeTo(File *file, const QByteArray &data)
{
    if (!file || !file->isOpen()) return 0;
    qint64 n = file->write(data);
    if (file->failed()) noteError(QString("cannot write %1: %2").arg(file->path(), file->writeError()));
    file->records += n;
    if (recordObserver && n > 0) {
        const char letter = file->subfix();
        if (letter == fileLetters[0]) {
            // An event record: the blank time, then the flag in column 32
            // after ">" (RINEX 3) or in column 29 (RINEX 2); epoch records
            // are handed on by the writer as they are built.
            const int flagAt = version >= 300 ? 31 : 28;
            const bool blankTime = version >= 300 ? data.size() > 2 && data[0] == '>' && data[2] == ' '
                                                  : data.startsWith(QByteArray(28, ' '));
            if (blankTime && data.size() > flagAt && data[flagAt] >= '2' && data[flagAt] <= '6')
                recordObserver->observationEvent(data[flagAt] - '0');
        } else if (letter != fileLetters[6]) {
            recordObserver->navigationText(letter, data.constData(), (size_t)data.size());
        }
    }
    return n;
}

char Rinexxxx::letterOf(const QFile &file) const
{
    for (const File *f : files)
        if (&f->file == &file) return f->subfix();
    return 0;
}

qint64 Rinexxxx::openFileSet(qint64 startMs, const char letters[7], const QList<QPair<char, QByteArray>> &set,
                             int observationLines, int otherLines)
{
    // Dates are printed here rather than by Qt's formatter: conversions run
    // side by side, and Qt's date text is not safe from several threads.
    const time_t startSeconds = (time_t)((startMs ? startMs : QDateTime::currentMSecsSinceEpoch()) / 1000);
    struct tm local;
    if (!localtime_r(&startSeconds, &local)) memset(&local, 0, sizeof local);
    const QString dir = QFileInfo(fileName).absolutePath();
    const QString stamp = QString::asprintf("rinex-%04d%02d%02d-%02d%02d%02d", local.tm_year + 1900, local.tm_mon + 1,
                                            local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    memcpy(fileLetters, letters, 7);

    // The temporary names come from the start time to the second, so two
    // writers started in the same second in one directory would share them.
    // Each file is created exclusively; on a clash the whole set moves on to
    // the next numbered name.
    for (int attempt = 0; attempt < 1000; attempt++) {
        QString base = dir + "/" + stamp + (attempt ? QString("-%1").arg(attempt) : QString()) + ".00O";
        QList<File *> created;
        bool clash = false, failed = false;
        for (const auto &entry : set) {
            File *f = new File(base, entry.first, entry.second);
            files.insert(entry.first, f);
            if (f->header.isEmpty() && entry.first == letters[6]) {
                // The raw file is opened at the first raw frame; its name must
                // still be free.
                if (f->exist()) clash = true;
            } else if (f->openNew()) {
                created.append(f);
            } else if (f->exist()) {
                clash = true;
            } else if (f->openNew()) {
                // The name was taken a moment ago and has just been freed (a
                // writer beside this one renamed its file away).
                created.append(f);
            } else {
                clash = f->exist();
                failed = !clash;
                if (failed) noteError(QString("cannot create %1: %2").arg(f->path(), f->file.errorString()));
            }
            if (clash || failed) break;
        }
        if (!clash && !failed) break;
        for (File *f : created) {
            f->file.close();
            f->file.remove();
        }
        qDeleteAll(files);
        files.clear();
        if (failed) return 0;
    }
    if (files.isEmpty()) return 0;

    qint64 bytes = 0;
    for (File *f : qAsConst(files)) {
        if (!f->isOpen()) continue;
        bytes += f->writeHeader(f->subfix() == letters[0] ? observationLines : otherLines);
        f->bodyStart = f->file.size();
        if (f->failed()) noteError(QString("cannot write %1: %2").arg(f->path(), f->writeError()));
        if (outputThreads && f->subfix() == letters[0]) f->writeBehind();
    }
    if (!errors.isEmpty()) return 0;
    // The records are printed beside the decoding; an observer is told of
    // each record as it is written, so with one they are printed at once.
    if (outputThreads && !recordObserver) {
        try {
            recordBehind.reset(new RecordBehind([this](RecordCommand &c) { handleRecord(c); }));
        } catch (const std::exception &) {
            recordBehind.reset();
        }
    }
    opened = true;
    return bytes;
}

QByteArray Rinexxxx::eventLine(int flag, int records) const
{
    // An event epoch without its time: RINEX 3 puts the flag in column 32
    // after ">", RINEX 2 in column 29 after the blank time fields.
    char line[64];
    if (version < 300)
        snprintf(line, sizeof line, "%28s%1d%3d\r\n", "", flag, records);
    else
        snprintf(line, sizeof line, ">%30s%1d%3d\r\n", "", flag, records);
    return QByteArray(line);
}

qint64 Rinexxxx::ppkWriteStartMoving()
{
    return writeObservationText(eventLine(2, 0));
}

qint64 Rinexxxx::ppkWriteNewSite(const QByteArray &name, const QByteArray &number, const double xyz[3], double height)
{
    char line[256];
    QByteArray text;
    text += eventLine(3, 4);
    snprintf(line, sizeof line, "%-60s%-20s\r\n", name.left(60).constData(), "MARKER NAME");
    text += line;
    snprintf(line, sizeof line, "%-20s%40s%-20s\r\n", number.left(20).constData(), "", "MARKER NUMBER");
    text += line;
    snprintf(line, sizeof line, "%14.4f%14.4f%14.4f%18s%-20s\r\n", xyz[0], xyz[1], xyz[2], "", "APPROX POSITION XYZ");
    text += line;
    snprintf(line, sizeof line, "%14.4f%14.4f%14.4f%18s%-20s\r\n", height, 0.0, 0.0, "", "ANTENNA: DELTA H/E/N");
    text += line;
    return writeObservationText(text);
}

qint64 Rinexxxx::writeObservationText(const QByteArray &text)
{
    RecordCommand &command = recordSlot();
    command.kind = RecordCommand::TEXT;
    command.text = text;
    lastWriteIsRecord = false;
    return submitRecord(command);
}

RecordCommand &Rinexxxx::newRecord(const struct tm &cal, int msOfWeek, bool rinex2)
{
    RecordCommand &command = recordSlot();
    command.kind = RecordCommand::EPOCH;
    EpochRecord &record = command.epoch;
    record.clear();
    record.rinex2 = rinex2;
    record.year = cal.tm_year + 1900;
    record.month = cal.tm_mon + 1;
    record.day = cal.tm_mday;
    record.hour = cal.tm_hour;
    record.minute = cal.tm_min;
    record.second = cal.tm_sec;
    record.millisecond = msOfWeek % 1000;
    return command;
}

qint64 Rinexxxx::submitRecord(RecordCommand &command)
{
    if (command.kind == RecordCommand::EPOCH && replacingRecord) command.kind = RecordCommand::REPLACE;
    if (recordBehind) {
        recordBehind->submit();
        return command.kind == RecordCommand::TEXT ? command.text.size() : 1;
    }
    handleRecord(command);
    if (recordObserver && command.kind != RecordCommand::TEXT && command.kind != RecordCommand::STREAM &&
        command.written > 0)
        tellRecord(command.epoch);
    return command.written;
}

void Rinexxxx::handleRecord(RecordCommand &command)
{
    command.written = 0;
    File *file = files.value(fileLetters[0]);
    if (!file || !file->isOpen()) return;
    switch (command.kind) {
    case RecordCommand::TEXT:
        command.written = writeTo(file, command.text);
        return;
    case RecordCommand::STREAM:
        streamRecords(file, command.types);
        return;
    case RecordCommand::REPLACE:
        if (lastRecordStart < 0) return;
        if (!file->cutTo(lastRecordStart)) {
            noteError(QString("cannot rewrite %1: %2").arg(file->path(), file->writeError()));
            return;
        }
        break;
    case RecordCommand::EPOCH:
        break;
    }
    const qint64 start = file->pos();
    size_t length = 0;
    const char *text = recordText.print(command.epoch, &length);
    const qint64 n = writeTo(file, QByteArray::fromRawData(text, (int)length));
    if (n > 0) {
        lastRecordStart = start;
        lastRecordEnd = start + n;
    }
    command.written = n;
}

void Rinexxxx::drainRecords()
{
    if (recordBehind) recordBehind->drain();
    takeRecordErrors();
}

void Rinexxxx::takeRecordErrors()
{
    std::lock_guard<std::mutex> lock(recordErrorsMutex);
    for (const QString &e : qAsConst(recordErrors))
        if (!errors.contains(e)) errors.append(e);
    recordErrors.clear();
}

void Rinexxxx::noteNavigationEpoch(const struct tm *t, bool glonass)
{
    struct tm copy = *t;
    const qint64 ms = (qint64)timegm(&copy) * 1000;
    qint64 &first = glonass ? firstGlonassNavigationMs : firstNavigationMs;
    if (ms > 0 && (first == 0 || ms < first)) first = ms;
}

QString Rinexxxx::closeBasePath() const
{
    QString b = fileName;
    if (b.endsWith(".O", Qt::CaseInsensitive)) {
        b.chop(1);
        return b;
    }
    QRegExp ending("\\.\\d\\d\\w$");
    if (ending.indexIn(b) > 0) b.chop(4);
    const time_t first = (time_t)(nameEpochMs() / 1000);
    struct tm cal;
    if (gmtime_r(&first, &cal)) b += QString::asprintf(".%02d", (cal.tm_year + 1900) % 100);
    return b;
}

namespace {
// Long-name station part: nine characters of A-Z and 0-9 only, since the
// marker name comes from a log header and must not lead outside the output
// directory.
QString stationPart(const QByteArray &markerName, const QByteArray &markerNumber)
{
    QByteArray s = markerName;
    if (s.size() > 9) s = s.right(9);
    if (s.size() < 9) s += markerNumber.right(9 - s.size());
    while (s.size() < 9) s += '0';
    for (char &c : s) {
        if (c >= 'a' && c <= 'z') c = (char)(c - 'a' + 'A');
        if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))) c = '0';
    }
    return QString::fromLatin1(s);
}
} // namespace

QString Rinexxxx::longNameStem(QString *sampling) const
{
    const QString base = closeBasePath();
    time_t t = (time_t)(nameEpochMs() / 1000);
    struct tm tmv;
    gmtime_r(&t, &tmv);
    char start[32], period[4], sample[4];
    snprintf(start, sizeof start, "%04d%03d%02d%02d", tmv.tm_year + 1900, tmv.tm_yday + 1, tmv.tm_hour,
             tmv.tm_min);
    int interval = reportedIntervalMs();
    printMs(period, lastEpochMs - firstEpochMs + interval);
    printMs(sample, interval);
    *sampling = sample;
    int slash = base.lastIndexOf('/');
    QString dir = slash >= 0 ? base.left(slash) : QString(".");
    return dir + "/" + stationPart(markerName, markerNumber) + "_R_" + start + "_" + period;
}

QString Rinexxxx::observationFinalName() const
{
    if (fileNameMode == 3 && version > 301) {
        QString sampling;
        QString stem = longNameStem(&sampling);
        return stem + "_" + sampling + "_MO.rnx";
    }
    return closeBasePath() + "O";
}

QString Rinexxxx::navigationFinalName() const
{
    if (fileNameMode == 3 && version > 301) {
        QString sampling;
        return longNameStem(&sampling) + "_MN.rnx";
    }
    return closeBasePath() + "N";
}

QMap<char, QString> Rinexxxx::plainFinalNames() const
{
    QMap<char, QString> names;
    if (!opened) return names;
    const QString b = closeBasePath();
    for (const File *f : qAsConst(files)) {
        if (!f->isOpen()) continue;
        const char letter = f->subfix();
        names.insert(letter, letter == 'O'   ? observationFinalName()
                             : letter == 'N' ? navigationFinalName()
                                             : b + QChar(letter));
    }
    return names;
}

QMap<char, QString> Rinexxxx::finalNames() const
{
    QMap<char, QString> names = plainFinalNames();
    for (auto it = names.begin(); it != names.end(); ++it) it.value() = compressedName(it.key(), it.value());
    return names;
}

void Rinexxxx::discard(char letter)
{
    drainRecords();
    File *f = files.value(letter);
    if (!f) return;
    f->drain();
    f->file.close();
    if (!f->file.fileName().isEmpty()) QFile::remove(f->file.fileName());
    files.remove(letter);
    delete f;
}

int Rinexxxx::compressionOf(char letter) const
{
    return letter == fileLetters[6] ? 0 : letter == fileLetters[0] ? compression : compression & COMPRESS_GZIP;
}

QString Rinexxxx::compressedName(char letter, const QString &plain) const
{
    const int how = compressionOf(letter);
    QString target = plain;
    if (how & COMPRESS_HATANAKA) {
        if (target.endsWith("_MO.rnx"))
            target.replace(target.size() - 3, 3, "crx");
        else
            target[target.size() - 1] = QChar('D');
    }
    if (how & COMPRESS_GZIP) target += ".gz";
    return target;
}

QMap<char, int> Rinexxxx::observationTypeCounts() const
{
    return QMap<char, int>();
}

namespace {
compression::Options compressionOptions(int how, const QByteArray &programName)
{
    compression::Options options;
    options.hatanaka = how & Rinexxxx::COMPRESS_HATANAKA;
    options.gzip = how & Rinexxxx::COMPRESS_GZIP;
    options.program = programName.isEmpty() ? std::string("quorvane") : programName.toStdString();
    return options;
}
} // namespace

void Rinexxxx::streamOutput()
{
    if (!opened || prescan || !outputThreads) return;
    takeRecordErrors();
    File *f = files.value(fileLetters[0]);
    const int how = compressionOf(fileLetters[0]);
    if (!f || !how || !f->isOpen()) return;
    // The Compact RINEX text of a record depends on the number of types of
    // its system: a new type (a signal seen for the first time) means
    // starting again from the first record.
    RecordCommand &command = recordSlot();
    command.kind = RecordCommand::STREAM;
    command.types = how & COMPRESS_HATANAKA ? observationTypeCounts() : QMap<char, int>();
    submitRecord(command);
}

void Rinexxxx::streamRecords(File *f, const QMap<char, int> &types)
{
    const int how = compressionOf(fileLetters[0]);
    if (f->failed() || f->streamRestarts > kStreamRestartsMax) return;
    // Only the last epoch record can still change (an epoch logged twice is
    // merged into it); everything before it is final.
    const qint64 pos = f->pos();
    const qint64 final = lastRecordStart >= 0 && pos == lastRecordEnd ? lastRecordStart : pos;
    if (final <= f->bodyStart) return;
    if (f->stream && types != f->streamTypes) {
        f->stream.reset();
        if (++f->streamRestarts > kStreamRestartsMax) return;
    }
    if (!f->stream) {
        if ((how & COMPRESS_HATANAKA) && types.isEmpty()) return;
        std::map<char, int> counts;
        for (auto it = types.cbegin(); it != types.cend(); ++it) counts[it.key()] = it.value();
        f->stream.reset(new compression::BodyStream(fileBytes(f->path()), f->bodyStart, fileBytes(f->path() + ".body"),
                                                    compressionOptions(how, programName), version < 300 ? 2 : 3,
                                                    counts));
        std::string why;
        if (!f->stream->start(&why)) {
            // Compressed at close as it would be without the thread.
            f->stream.reset();
            f->streamRestarts = kStreamRestartsMax + 1;
            return;
        }
        f->streamTypes = types;
    }
    // The compressor reads the file itself: what it may read must have left
    // the file's buffer, and the writing thread's.
    const qint64 readable = f->readableEnd();
    if (readable >= 0) f->stream->publish(qMin(final, readable));
}

void Rinexxxx::endStream(File *f)
{
    f->streamedBytes = -1;
    if (!f->stream) return;
    const int how = compressionOf(f->subfix());
    std::string why;
    const qint64 end = f->file.flush() ? f->file.size() : -1;
    if (end < f->bodyStart || ((how & COMPRESS_HATANAKA) && observationTypeCounts() != f->streamTypes) ||
        !f->stream->finish(end, &why)) {
        f->stream.reset();
        return;
    }
    f->streamedBytes = end - f->bodyStart;
}

void Rinexxxx::finishFile(File *f, const QString &plain, const QString &target)
{
    const int how = compressionOf(f->subfix());
    if (how) {
        // Compressed into a temporary name beside the finished file (its
        // header rewritten), then moved to the final name: no file carries a
        // final name before it is whole. The records were mostly compressed
        // while they were written; the header goes in front of them now.
        // Without that, the whole finished file is compressed here. Memory
        // stays flat either way.
        const QString part =
            f->path() + (how & COMPRESS_HATANAKA ? ".crx" : "") + (how & COMPRESS_GZIP ? ".gz" : "");
        const compression::Options options = compressionOptions(how, programName);
        std::string why;
        bool done = false;
        if (f->stream && f->streamedBytes >= 0) {
            done = compression::BodyStream::assemble(fileBytes(f->path()), f->stream->bodyPath(), f->streamedBytes,
                                                     fileBytes(part), options, &why);
            if (done) streamedFiles++;
        }
        f->stream.reset();
        if (!done) done = compression::compressFile(fileBytes(f->path()), fileBytes(part), options, &why);
        if (done) {
            if (QFile::exists(target)) QFile::remove(target);
            if (QFile::rename(part, target)) {
                QFile::remove(f->path());
                finalPaths.append(target);
                return;
            }
            why = "cannot rename " + part.toStdString() + " to " + target.toStdString();
        }
        QFile::remove(part);
        noteError(QString("cannot compress %1: %2").arg(f->path(), QString::fromStdString(why)));
        // The data stays, uncompressed: under its plain final name where that
        // replaces nothing (the checks before close were made for the
        // compressed name), else under its temporary name.
        if (QFile::exists(plain)) {
            finalPaths.append(f->path());
            return;
        }
    }
    if (QFile::exists(plain)) QFile::remove(plain);
    if (f->file.rename(plain)) {
        finalPaths.append(plain);
        return;
    }
    noteError(QString("cannot rename %1 to %2: %3").arg(f->path(), plain, f->file.errorString()));
    // Whole, but under its temporary name (a directory holds the final one,
    // say): named with the others, or the user would never learn of it.
    finalPaths.append(f->path());
}

void Rinexxxx::close()
{
    if (!opened) return;
    // Every record decided is printed and in the file before the headers
    // and names are made.
    drainRecords();
    recordBehind.reset();
    const QMap<char, QString> plainTargets = plainFinalNames();
    const QMap<char, QString> targets = finalNames();
    opened = false;
    streamedFiles = 0;

    for (File *f : qAsConst(files)) {
        if (!f->isOpen()) continue;
        const char letter = f->subfix();
        const int errorsBefore = errors.size();
        // The header goes over the placeholder once the records are all in.
        f->drain();
        if (letter == fileLetters[0]) {
            endStream(f);
            updateOHeader(f->file);
        } else if (letter != fileLetters[6])
            updateNHeader(f->file, f->header);
        const QString why = f->settle();
        if (!why.isEmpty()) noteError(QString("cannot write %1: %2").arg(f->path(), why));
        f->file.close();
        if (f->file.error() != QFileDevice::NoError && f->file.error() != QFileDevice::UnspecifiedError)
            noteError(QString("cannot write %1: %2").arg(f->path(), f->file.errorString()));
        if (f->failed() || errors.size() > errorsBefore) {
            // Cut short, or its header could not be written: it cannot be
            // trusted, and must not replace anything under a final name.
            f->stream.reset();
            f->file.remove();
            continue;
        }
        finishFile(f, plainTargets.value(letter), targets.value(letter));
    }
    // No raw frame arrived: the raw file was never created.
    auto raw = files.find(fileLetters[6]);
    if (raw != files.end() && !raw.value()->exist()) {
        delete raw.value();
        files.erase(raw);
    }
}
