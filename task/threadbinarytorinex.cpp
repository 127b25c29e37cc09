#include "threadbinarytorinex.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QSet>

#include <math.h>

#include "appinfo.h"
#include "gnss_signal.h"
#include "outputclaims.h"
#include "rinex2xx.h"
#include "rinex3xx.h"
#include "util.h"

const QString ThreadBinaryToRinex::KEY_TASK = "Task";
const QString ThreadBinaryToRinex::KEY_PATH_INPUT = "File Path";
const QString ThreadBinaryToRinex::KEY_PATH_OUTPUT = "Output Directory";
const QString ThreadBinaryToRinex::KEY_VERSION = "Version";
const QString ThreadBinaryToRinex::KEY_RECEIVER_MODEL = "Receiver Model";
const QString ThreadBinaryToRinex::KEY_RECEIVER_SN = "Receiver SN";
const QString ThreadBinaryToRinex::KEY_RECEIVER_FIRMWARE = "Receiver Version";
const QString ThreadBinaryToRinex::KEY_GNSS_MODEL = "GNSS Model";
const QString ThreadBinaryToRinex::KEY_GNSS_SN = "GNSS SN";
const QString ThreadBinaryToRinex::KEY_GNSS_HARDWARE = "GNSS Hardware";
const QString ThreadBinaryToRinex::KEY_GNSS_FIRMWARE = "GNSS Software";
const QString ThreadBinaryToRinex::KEY_MARKER_NAME = "Marker Name";
const QString ThreadBinaryToRinex::KEY_MARKER_NUMBER = "Marker Number";
const QString ThreadBinaryToRinex::KEY_MARKER_TYPE = "Marker Type";
const QString ThreadBinaryToRinex::KEY_MODE = "Mode";
const QString ThreadBinaryToRinex::KEY_OBS_INTERVAL_MIN = "Obs Rate Limit";
const QString ThreadBinaryToRinex::KEY_LATITUDE = "Latitude (deg)";
const QString ThreadBinaryToRinex::KEY_LONGITUDE = "Longitude (deg)";
const QString ThreadBinaryToRinex::KEY_HEIGHT = "Height (m)";
const QString ThreadBinaryToRinex::KEY_ANTENNA_NAME = "Antenna Name";
const QString ThreadBinaryToRinex::KEY_ANTENNA_SPEC = "Antenna R,H,L1,L2 (mm)";
const QString ThreadBinaryToRinex::KEY_ANTENNA_HEIGHT = "Antenna Height (m)";
const QString ThreadBinaryToRinex::KEY_HEIGHT_TYPE = "Height Type";
const QString ThreadBinaryToRinex::KEY_PHASE_AS_ARP = "Phase As ARP";
const QString ThreadBinaryToRinex::KEY_NO_PHASE_SHIFT = "No Phase Shift";
const QString ThreadBinaryToRinex::KEY_PRESCAN = "Prescan";
const QString ThreadBinaryToRinex::KEY_TIME_START = "Time Start";
const QString ThreadBinaryToRinex::KEY_FILE_NAME = "File Name";
const QString ThreadBinaryToRinex::KEY_COMPRESSION = "Compression";
const QString ThreadBinaryToRinex::KEY_MASK_SYSTEM = "mask system %1";
const QString ThreadBinaryToRinex::KEY_MASK_PRN = "mask prn %1";
const QString ThreadBinaryToRinex::KEY_MASK_SIGNAL = "mask signal %1";
const QString ThreadBinaryToRinex::TASK_CONVERT = "convert";
const QString ThreadBinaryToRinex::TASK_MERGE = "merge";

namespace {

const qint64 kChunk = 1048576;
const int kParserBuffer = GNSSPARSER_BUFFER_SIZE;

// Floating numbers are read in the C locale; `ok` tells whether it worked.
double readDouble(const QString &text, bool *ok = nullptr)
{
    bool good = false;
    double v = QLocale::c().toDouble(text.trimmed(), &good);
    if (ok) *ok = good;
    return good ? v : 0.0;
}

int readInt(const QString &text)
{
    return text.toInt(nullptr, 10);
}

// Qt builds its calendar and locale tables on first use, without a lock:
// two conversions starting at once in their threads could read "Time Start"
// as no date at all, or crash. The runners are made in the application's
// main thread, so that first use happens there, once.
void prepareQtDates()
{
    static const bool prepared = [] {
        (void)QDate::fromString(QStringLiteral("2000-01-01"), QStringLiteral("yyyy-MM-dd"));
        (void)QTime::fromString(QStringLiteral("00:00:00"), QStringLiteral("hh:mm:ss"));
        (void)QDate(2000, 1, 1).toString(QStringLiteral("yy"));
        (void)QLocale::system();
        return true;
    }();
    (void)prepared;
}

} // namespace

int ThreadBinaryToRinex::headerWidth(const QString &key)
{
    if (key == KEY_MARKER_NAME) return 60;
    if (key == KEY_MARKER_NUMBER || key == KEY_RECEIVER_SN || key == KEY_RECEIVER_MODEL ||
        key == KEY_RECEIVER_FIRMWARE || key == KEY_ANTENNA_NAME)
        return 20;
    // A comment line is 60 characters: the 13-character tag and " = " come
    // first.
    if (key == KEY_ANTENNA_SPEC || key == KEY_GNSS_FIRMWARE || key == KEY_GNSS_HARDWARE || key == KEY_GNSS_MODEL ||
        key == KEY_GNSS_SN)
        return 44;
    return 0;
}

bool ThreadBinaryToRinex::parseTimeStart(const QString &text, qint64 *msSince1970)
{
    // "Time Start" is UTC wall-clock time. A date and time parsed as one
    // are taken in the machine's time zone first, where a daylight-saving
    // gap (02:30 on a spring-forward day, or midnight where the change
    // happens at 00:00) does not exist; the date and the time are therefore
    // parsed apart, which involves no time zone at all. `split` is the
    // character between them, or 0 when the time follows the eight date
    // digits directly.
    static const struct {
        const char *date;
        char split;
        const char *time; // null: date only, 00:00:00
    } formats[] = {{"yyyy-MM-dd", ' ', "hh:mm:ss.zzz"}, {"yyyy-MM-dd", ' ', "hh:mm:ss"},
                   {"yyyy-MM-dd", 'T', "hh:mm:ss.zzz"}, {"yyyy-MM-dd", 'T', "hh:mm:ss"},
                   {"yyyyMMdd", 0, "hhmmss"},           {"yyyyMMdd", 0, "hhmmss.zzz"},
                   {"yyyyMMdd", 0, nullptr},            {"yyyy-MM-dd", 0, nullptr}};
    for (const auto &f : formats) {
        QString datePart = text, timePart;
        if (f.time) {
            const int at = f.split ? text.indexOf(QLatin1Char(f.split)) : 8;
            if (at < 0 || at > text.size()) continue;
            datePart = text.left(at);
            timePart = text.mid(f.split ? at + 1 : at);
        }
        const QDate date = QDate::fromString(datePart, f.date);
        const QTime time = f.time ? QTime::fromString(timePart, f.time) : QTime(0, 0);
        if (!date.isValid() || !time.isValid()) continue;
        *msSince1970 = QDateTime(date, time, Qt::UTC).toMSecsSinceEpoch();
        // Before the first GPS week there is no GPS time to start from.
        return *msSince1970 >= UTIL_GPS_ORIGIN_MS;
    }
    return false;
}

ThreadBinaryToRinex::ThreadBinaryToRinex(QObject *parent) : QObject(parent), parserBuffer(kParserBuffer, 0)
{
    prepareQtDates();
    gnssparser_init(&parser, reinterpret_cast<uint8_t *>(parserBuffer.data()), kParserBuffer, nullptr);
}

ThreadBinaryToRinex::~ThreadBinaryToRinex()
{
    reset();
}

void ThreadBinaryToRinex::reset()
{
    // A writer still open here (the runner is going away in mid-task) closes
    // its files as it is deleted; those that must not get a final name go
    // first, as at any other end of a task.
    if (rinex && rinex->isOpen()) settleOutputs();
    delete fileInput;
    fileInput = nullptr;
    delete fileOutput;
    fileOutput = nullptr;
    delete timer;
    timer = nullptr;
    // A writer deleted while open finishes its files itself.
    delete rinex;
    rinex = nullptr;
    fileList.clear();
    gnssparser_reset(&parser);
}

void ThreadBinaryToRinex::fail(const QString &text)
{
    reset();
    Q_EMIT finished(false, text);
}

int ThreadBinaryToRinex::compressionFromParam(const QString &value)
{
    if (value.isEmpty() || value == "None") return 0;
    if (value == "gzip") return Rinexxxx::COMPRESS_GZIP;
    if (value == "Hatanaka") return Rinexxxx::COMPRESS_HATANAKA;
    if (value == "Hatanaka + gzip") return Rinexxxx::COMPRESS_HATANAKA | Rinexxxx::COMPRESS_GZIP;
    return -1;
}

bool ThreadBinaryToRinex::antennaFromParam(const QMap<QString, QString> &param, Antenna *out)
{
    const QStringList f = param.value(KEY_ANTENNA_SPEC).split(',');
    if (f.size() < 4) return false;
    const double r = readDouble(f[0]);
    const double h = readDouble(f[1]) * 0.001, l1 = readDouble(f[2]) * 0.001, l2 = readDouble(f[3]) * 0.001;
    const double a = readDouble(param.value(KEY_ANTENNA_HEIGHT));
    const QString type = param.value(KEY_HEIGHT_TYPE).toUpper();
    double arp = 0;
    if (type == "PHASE") {
        arp = a - h - l1;
    } else if (type == "VERTICAL") {
        arp = a - h;
    } else if (type == "BOTTOM") {
        arp = a;
    } else if (type == "SLOPE") {
        // A slant height to the antenna's edge at radius R is the hypotenuse:
        // the vertical height is sqrt(A^2 - R^2).
        const double radius = r * 0.001;
        const double s = a > radius ? sqrt(a * a - radius * radius) : 0.0;
        arp = s < h ? 0.0 : s - h;
    }
    Antenna result;
    if (!param.value(KEY_PHASE_AS_ARP).isEmpty()) {
        result.movedToL1 = true;
        result.height = arp + h + l1;
        result.centerL1 = 0;
        result.centerL2 = l2 - l1;
    } else {
        result.height = arp;
        result.centerL1 = h + l1;
        result.centerL2 = h + l2;
    }
    *out = result;
    return true;
}

void ThreadBinaryToRinex::taskStart(QMap<QString, QString> param)
{
    if (timer || fileInput || fileOutput || rinex) return;
    paramMap = param;
    fileList = param.value(KEY_PATH_INPUT).split(';', Qt::SkipEmptyParts);
    fileIndex = 0;
    sizeTotal = 0;
    sizeDone = 0;
    prescanPending = false;
    if (fileList.isEmpty()) return fail("no input file");
    for (const QString &path : qAsConst(fileList)) {
        QFileInfo info(path);
        if (!info.exists() || !info.isFile()) return fail(QString("file not exist, %1").arg(path));
        sizeTotal += info.size();
    }
    fileInput = new QFile(fileList.first());
    if (!fileInput->open(QIODevice::ReadOnly)) return fail(QString("open file failed, %1").arg(fileList.first()));
    if (chunk.size() != kChunk) chunk.resize((int)kChunk);

    const QString task = param.value(KEY_TASK);
    if (task == TASK_MERGE) {
        const QString out = param.value(KEY_PATH_OUTPUT);
        // Appending to one of the inputs would read the growing output
        // forever.
        for (const QString &path : qAsConst(fileList))
            if (sameFile(path, out)) return fail(QString("merge output is one of the inputs, %1").arg(out));
        fileOutput = new QFile(out);
        if (!fileOutput->open(QIODevice::WriteOnly | QIODevice::Append))
            return fail(QString("open out file failed, %1").arg(out));
        Q_EMIT message(QString("Input  = %1").arg(fileList.first()));
        Q_EMIT message(QString("Output = %1").arg(out));
        timeStart = QDateTime::currentMSecsSinceEpoch();
        progressLast = -1;
    } else if (task == TASK_CONVERT) {
        prescanPending = !param.value(KEY_PRESCAN).isEmpty();
        QString dir = param.value(KEY_PATH_OUTPUT);
        // A directory that begins with "." lies beside the first input: "."
        // is the input's directory, "./rinex" one below it, "../rinex" one
        // beside it, ".rinex" a hidden one in it. Putting the input's
        // directory in place of the first character alone would turn ".."
        // into that directory's name followed by a dot.
        if (dir == "." || dir.startsWith("./"))
            dir = QFileInfo(fileList.first()).absolutePath() + dir.mid(1);
        else if (dir.startsWith('.'))
            dir = QFileInfo(fileList.first()).absolutePath() + '/' + dir;
        if (!QFileInfo(dir).isDir()) return fail(QString("dir not exist, %1").arg(dir));
        if (!configureWriter(dir)) return;
        Q_EMIT message(QString("Input  = %1").arg(fileList.first()));
        Q_EMIT message(QString("Output = %1/").arg(dir));
        // A "Time Start" that is no date would leave the epochs dated by the
        // log alone, or not at all, without a word.
        const QString start = param.value(KEY_TIME_START);
        qint64 ms = 0;
        if (!start.isEmpty() && !parseTimeStart(start, &ms))
            Q_EMIT message(QString("Time Start \"%1\" is no date after 1980-01-06 as yyyy-MM-dd, yyyyMMdd, or "
                                   "either with hh:mm:ss, and dates nothing: check Time Start")
                               .arg(start));
        timeStart = QDateTime::currentMSecsSinceEpoch();
        progressLast = -1;
        if (prescanPending) {
            sizeTotal *= 2;
            rinex->setPrescan(true);
        }
        rinex->gnssparserInit(&parser, reinterpret_cast<uint8_t *>(parserBuffer.data()), kParserBuffer);
    } else {
        return fail(QString("unsupport-task, %1").arg(task));
    }
    timer = new QTimer;
    connect(timer, SIGNAL(timeout()), this, SLOT(on_timer_timeout()));
    timer->start(0);
}

bool ThreadBinaryToRinex::configureWriter(const QString &dir)
{
    const QMap<QString, QString> &p = paramMap;
    QString base = QFileInfo(fileList.first()).fileName();
    int dot = base.lastIndexOf('.');
    if (dot >= 0) {
        int ext = base.size() - dot - 1;
        if (ext >= 1 && ext <= 5) base.truncate(dot);
    }
    base += ".00O";

    const QString version = p.value(KEY_VERSION);
    if (version.startsWith('2')) {
        rinex = new Rinex2xx(nullptr);
    } else if (version.startsWith('3')) {
        Rinex3xx *r3 = new Rinex3xx(nullptr);
        r3->setPhaseShiftEnable(p.value(KEY_NO_PHASE_SHIFT).isEmpty());
        rinex = r3;
    } else {
        fail(QString("not-support-version,%1").arg(version));
        return false;
    }
    rinex->setObserver(observer);
    rinex->setProgramRunby(APP_NAME, QByteArray());
    if (p.contains(KEY_VERSION)) rinex->setVersion(version);
    // Header fields are fixed columns of ASCII text: the writer cuts a value
    // to its field and writes what has no ASCII form as "?". The user is
    // told of every value that does not reach the header as it was given.
    auto headerValue = [this, &p](const QString &key) {
        const QByteArray value = p.value(key).toUtf8();
        const QByteArray written = Rinexxxx::headerText(value, headerWidth(key));
        if (written != value)
            Q_EMIT message(QString("%1 written as \"%2\", not as given \"%3\": its header field holds at most %4 ASCII "
                                   "characters")
                               .arg(key, QString::fromLatin1(written), p.value(key), QString::number(headerWidth(key))));
        return value;
    };
    const QByteArray markerName = headerValue(KEY_MARKER_NAME), markerNumber = headerValue(KEY_MARKER_NUMBER);
    if (!rinex->setMarker(markerName, markerNumber, p.value(KEY_MARKER_TYPE).toUtf8()) &&
        !(markerName.isEmpty() && markerNumber.isEmpty()))
        Q_EMIT message(QString("marker name and number not written: Marker Type \"%1\" is none of the RINEX types")
                           .arg(p.value(KEY_MARKER_TYPE)));
    if (p.contains(KEY_MODE)) rinex->setMode(readInt(p.value(KEY_MODE)));
    if (p.contains(KEY_OBS_INTERVAL_MIN)) rinex->setObsIntervalMin(readInt(p.value(KEY_OBS_INTERVAL_MIN)));
    const int compression = compressionFromParam(p.value(KEY_COMPRESSION));
    if (compression < 0) {
        fail(QString("not-support-compression,%1").arg(p.value(KEY_COMPRESSION)));
        return false;
    }
    rinex->setCompression(compression);

    QSet<char> maskSystem;
    QSet<QByteArray> maskPrn, maskSignal;
    for (int s = 0; s < GNSS_SYSTEM_AMOUNT; s++) {
        const char letter = GNSS_SYSTEM[s].letter;
        const QString l(QChar::fromLatin1(letter));
        if (!p.value(KEY_MASK_SYSTEM.arg(l)).isEmpty()) maskSystem.insert(letter);
        // What masks nothing is named: the window takes any text there, and
        // "G05" left unmasked while the row shows it would go unnoticed.
        QStringList unused;
        for (const QString &part : p.value(KEY_MASK_PRN.arg(l)).split(',', Qt::SkipEmptyParts)) {
            int n = readInt(part.trimmed());
            if (n >= 1 && n <= 99) {
                char key[8];
                snprintf(key, sizeof key, "%c%02d", letter, n);
                maskPrn.insert(QByteArray(key));
            } else if (!part.trimmed().isEmpty()) {
                unused.append(part);
            }
        }
        if (!unused.isEmpty())
            Q_EMIT message(QString("%1: \"%2\" masks nothing: satellite numbers 1 to 99 are masked")
                               .arg(KEY_MASK_PRN.arg(l), unused.join("\", \"")));
        unused.clear();
        // "1C, 2W" as typed in the window masks both: a blank after a comma
        // is no part of a code, and dropping the code for it would leave a
        // signal in the files that the settings show as masked.
        for (const QString &part : p.value(KEY_MASK_SIGNAL.arg(l)).split(',', Qt::SkipEmptyParts)) {
            QByteArray key = QByteArray(1, letter) + part.trimmed().toUpper().toUtf8();
            if (key.size() == 3) maskSignal.insert(key);
            else if (!part.trimmed().isEmpty()) unused.append(part);
        }
        if (!unused.isEmpty())
            Q_EMIT message(QString("%1: \"%2\" masks nothing: two-character signal codes such as 1C are masked")
                               .arg(KEY_MASK_SIGNAL.arg(l), unused.join("\", \"")));
    }
    rinex->setMaskSystem(maskSystem);
    rinex->setMaskPrn(maskPrn);
    rinex->setMaskSignal(maskSignal);

    bool okLat = false, okLon = false, okH = false;
    double lat = readDouble(p.value(KEY_LATITUDE), &okLat);
    double lon = readDouble(p.value(KEY_LONGITUDE), &okLon);
    double h = readDouble(p.value(KEY_HEIGHT), &okH);
    // A refused or partial position would leave the log's own one in the
    // header: the user is told.
    if (okLat && okLon && okH) {
        if (!rinex->setPhaseCenter(lat, lon, h))
            Q_EMIT message(QString("position not written: latitude %1, longitude %2, height %3 m out of range")
                               .arg(p.value(KEY_LATITUDE).trimmed(), p.value(KEY_LONGITUDE).trimmed(),
                                    p.value(KEY_HEIGHT).trimmed()));
    } else if (!p.value(KEY_LATITUDE).isEmpty() || !p.value(KEY_LONGITUDE).isEmpty() || !p.value(KEY_HEIGHT).isEmpty()) {
        Q_EMIT message(QString("position not written: \"%1\", \"%2\" and \"%3\" are needed as numbers")
                           .arg(KEY_LATITUDE, KEY_LONGITUDE, KEY_HEIGHT));
    }

    QList<QByteArray> comments;
    Antenna antenna;
    auto isNumber = [](const QString &text) {
        bool ok = false;
        readDouble(text, &ok);
        return ok;
    };
    if (antennaFromParam(p, &antenna)) {
        if (antenna.movedToL1) comments.append("ARP is moved to L1 phase center");
        rinex->setAntenna(QByteArray(), headerValue(KEY_ANTENNA_NAME));
        // The geometry reads what is no number as 0: a height typed "1,5"
        // would become a height of 0 in the header without a word.
        QStringList unread;
        const QStringList fields = p.value(KEY_ANTENNA_SPEC).split(',').mid(0, 4);
        for (const QString &f : fields)
            if (!f.trimmed().isEmpty() && !isNumber(f)) unread.append(f);
        if (!p.value(KEY_ANTENNA_HEIGHT).trimmed().isEmpty() && !isNumber(p.value(KEY_ANTENNA_HEIGHT)))
            unread.append(p.value(KEY_ANTENNA_HEIGHT));
        if (!unread.isEmpty())
            Q_EMIT message(QString("antenna: \"%1\" read as 0: \"%2\" and \"%3\" take numbers with a decimal point")
                               .arg(unread.join("\", \""), KEY_ANTENNA_SPEC, KEY_ANTENNA_HEIGHT));
        // A file whose log header names no height type leaves that row of
        // the window empty: the height measured is then not used at all.
        static const QStringList heightTypes = {"PHASE", "SLOPE", "VERTICAL", "BOTTOM"};
        if (!p.value(KEY_ANTENNA_HEIGHT).trimmed().isEmpty() && !heightTypes.contains(p.value(KEY_HEIGHT_TYPE).toUpper()))
            Q_EMIT message(QString("antenna height \"%1\" not used: Height Type \"%2\" is none of phase, slope, "
                                   "vertical, bottom")
                               .arg(p.value(KEY_ANTENNA_HEIGHT), p.value(KEY_HEIGHT_TYPE)));
        if (!rinex->setAntennaHEN(antenna.height, 0, 0))
            Q_EMIT message(QString("antenna height not written: %1 m is not between -1000 and 1000 m")
                               .arg(antenna.height));
        rinex->setAntennaCenter(antenna.centerL1, antenna.centerL2);
        // Offsets that fit no header column are left out of the header.
        if (!(fabs(antenna.centerL1) < 1e6 && fabs(antenna.centerL2) < 1e6))
            Q_EMIT message(QString("antenna phase centre offsets %1 m and %2 m not written: too large")
                               .arg(antenna.centerL1)
                               .arg(antenna.centerL2));
    } else if (!p.value(KEY_ANTENNA_NAME).isEmpty() || !p.value(KEY_ANTENNA_HEIGHT).isEmpty()) {
        // Without the geometry the measured height cannot be reduced to the
        // reference point: neither is written, and the user is told why.
        Q_EMIT message(QString("antenna name and height not written: \"%1\" holds no four numbers").arg(KEY_ANTENNA_SPEC));
    }

    qint64 startMs = 0;
    if (parseTimeStart(p.value(KEY_TIME_START), &startMs)) rinex->setRtcm3Epoch(startMs);
    const QByteArray receiverSn = headerValue(KEY_RECEIVER_SN), receiverModel = headerValue(KEY_RECEIVER_MODEL);
    rinex->setReceiver(receiverSn, receiverModel, headerValue(KEY_RECEIVER_FIRMWARE));

    const struct {
        const char *tag;
        const QString *key;
    } tags[] = {{"ANTENNA RH12 ", &KEY_ANTENNA_SPEC},
                {"GNSS FIRMWARE", &KEY_GNSS_FIRMWARE},
                {"GNSS HARDWARE", &KEY_GNSS_HARDWARE},
                {"GNSS MODEL   ", &KEY_GNSS_MODEL},
                {"GNSS SN      ", &KEY_GNSS_SN}};
    for (const auto &t : tags) {
        if (!p.value(*t.key).isEmpty()) comments.append(QByteArray(t.tag) + " = " + headerValue(*t.key));
    }
    rinex->setCommentList(comments);

    if (!rinex->setFileName(QDir(dir).filePath(base), readInt(p.value(KEY_FILE_NAME)))) {
        fail("set file name failed!");
        return false;
    }
    if (rinex->open(0) == 0) {
        QString why = rinex->outputErrors().join("; ");
        fail(why.isEmpty() ? QString("open file failed") : QString("open file failed: %1").arg(why));
        return false;
    }
    return true;
}

void ThreadBinaryToRinex::on_timer_timeout()
{
    if (!timer) return;
    if (!fileInput) {
        timer->stop();
        return;
    }
    const qint64 n = fileInput->read(chunk.data(), kChunk);
    if (n < 0 || (n == 0 && !fileInput->atEnd())) {
        // Without this the pump would spin on empty chunks for ever.
        return failRunning(
            QString("read file failed, %1: %2").arg(fileInput->fileName(), fileInput->errorString()));
    }
    if (n > 0) {
        if (rinex) {
            gnssparser_input(&parser, reinterpret_cast<const uint8_t *>(chunk.constData()), (uint32_t)n);
            // What the chunk made final goes on to the compressor thread.
            rinex->streamOutput();
            // A full disk does not get better: stop at the first failed write.
            if (!rinex->outputErrors().isEmpty()) return finishConvert(rinex->outputErrors().join("; "));
        } else if (fileOutput) {
            // A write that stops short (a full disk, a size limit) sets no
            // error; writing the rest is what brings the system's reason.
            qint64 done = 0, w = 0;
            while (done < n && (w = fileOutput->write(chunk.constData() + done, n - done)) > 0) done += w;
            if (done != n)
                return fail(
                    QString("write file failed, %1: %2").arg(fileOutput->fileName(), fileOutput->errorString()));
        }
    }
    sizeDone += n;
    // Inputs that are all empty are done at once. An input that grew since
    // its size was taken (a log still being written) holds the progress at
    // 100 until its end.
    int percentage = sizeTotal > 0 ? (int)qMin<qint64>(100, sizeDone * 100 / sizeTotal) : 100;
    if (percentage != progressLast) {
        progressLast = percentage;
        Q_EMIT progress(percentage);
    }
    if (!fileInput->atEnd()) return;

    fileInput->close();
    fileIndex++;
    // A frame candidate still open at the end of a file can never be whole;
    // flushing gives it up and delivers the frames that lie inside it.
    if (rinex) gnssparser_flush(&parser);
    if (fileIndex < fileList.size()) {
        gnssparser_reset(&parser);
        fileInput->setFileName(fileList.at(fileIndex));
        if (!fileInput->open(QIODevice::ReadOnly))
            return failRunning(QString("open file failed, %1").arg(fileList.at(fileIndex)));
        Q_EMIT message(QString("Input  = %1").arg(fileList.at(fileIndex)));
        return;
    }
    endOfInputs();
}

void ThreadBinaryToRinex::endOfInputs()
{
    if (rinex && prescanPending) {
        prescanPending = false;
        rinex->setPrescan(false);
        gnssparser_reset(&parser);
        fileIndex = 0;
        fileInput->setFileName(fileList.first());
        if (!fileInput->open(QIODevice::ReadOnly))
            return failRunning(QString("open file failed, %1").arg(fileList.first()));
        return;
    }
    if (rinex) return finishConvert(QString());
    QString output, problem;
    if (fileOutput) {
        output = fileOutput->fileName();
        if (!fileOutput->flush()) problem = QString("write file failed, %1: %2").arg(output, fileOutput->errorString());
        fileOutput->close();
    }
    const qint64 cost = QDateTime::currentMSecsSinceEpoch() - timeStart;
    reset();
    if (!problem.isEmpty()) return Q_EMIT finished(false, problem);
    if (!output.isEmpty()) Q_EMIT written(output);
    Q_EMIT finished(true, QString("Cost=%1 ms").arg(cost));
}

void ThreadBinaryToRinex::failRunning(const QString &text)
{
    if (rinex && rinex->isOpen()) return finishConvert(text);
    fail(text);
}

QString ThreadBinaryToRinex::dropUnusableOutputs()
{
    // Cut short by a write error (it cannot be trusted), or holding no
    // record (a header alone is no result); judged once every record the
    // writer has decided is in its file.
    rinex->drainRecords();
    QList<char> unusable;
    for (const Rinexxxx::File *f : qAsConst(rinex->files))
        if (f->isOpen() && (f->failed() || f->recordBytes() == 0)) unusable.append(f->subfix());
    for (char letter : unusable) rinex->discard(letter);

    // A final name that is an input of this task, or of another task of the
    // list, would replace that input: nothing of the task gets a final name.
    const QMap<char, QString> names = rinex->finalNames();
    QString input;
    for (auto it = names.cbegin(); it != names.cend() && input.isEmpty(); ++it)
        for (const QString &path : qAsConst(fileList))
            if (sameFile(it.value(), path)) input = it.value();
    if (input.isEmpty() && outputClaims) input = outputClaims->inputAmong(names.values());
    if (input.isEmpty()) return QString();
    for (char letter : names.keys()) rinex->discard(letter);
    return QString("output is one of the inputs, %1").arg(input);
}

QString ThreadBinaryToRinex::settleOutputs()
{
    QString refused = dropUnusableOutputs();
    if (!refused.isEmpty() || !outputClaims) return refused;
    const QMap<char, QString> names = rinex->finalNames();
    if (names.isEmpty()) return QString();
    // One list never overwrites its own earlier result.
    refused = outputClaims->claim(names.values(), fileList.join(';'));
    if (!refused.isEmpty())
        for (char letter : names.keys()) rinex->discard(letter);
    return refused;
}

void ThreadBinaryToRinex::finishConvert(QString problem)
{
    // Only an input read to its end has its last epoch complete as it will
    // ever be; a cancelled one may have the rest in the next chunk.
    if (problem.isEmpty()) {
        rinex->finishInput();
        // The last records may still be on their way to the disk: a write
        // that fails there must fail the task before it is judged.
        rinex->flush();
    }
    QString unconfirmed;
    if (problem.isEmpty()) {
        if (!rinex->outputErrors().isEmpty()) {
            problem = rinex->outputErrors().join("; ");
        } else {
            // Epochs whose date is unknown are not dated at all rather than
            // dated wrong; say which kind, since "Time Start" mends only one.
            const int glonassAlone = rinex->skippedGlonassEpochs;
            const int weekUnknown = rinex->skippedEpochs - glonassAlone;
            const QString glonassText =
                QString("%1 epochs of GLONASS messages alone skipped: their day is unknown").arg(glonassAlone);
            if (weekUnknown > 0 && rinex->firstEpochMs == 0) {
                problem = "GPS week unknown, set Time Start";
            } else if (glonassAlone > 0 && rinex->firstEpochMs == 0) {
                problem = glonassText;
            } else {
                if (weekUnknown > 0)
                    Q_EMIT message(QString("%1 epochs before the first ephemeris skipped: GPS week unknown, set Time Start")
                                       .arg(weekUnknown));
                if (glonassAlone > 0) Q_EMIT message(glonassText);
                // "PPK Only" writes only the epochs that sample lines confirm:
                // complete epochs without one are not missing from the input.
                if (rinex->firstEpochMs == 0 && rinex->ppkHeldEpochs > 0)
                    unconfirmed = QString("%1 epochs not written: no PPK sample line confirmed them")
                                      .arg(rinex->ppkHeldEpochs);
                else if (rinex->firstEpochMs == 0)
                    Q_EMIT message("no complete observation epoch in the input");
            }
        }
        // Logs that go back in time (a second log of the same epochs, a
        // receiver restarted) lose the older epochs: say how many.
        if (problem.isEmpty() && rinex->droppedEpochs > 0)
            Q_EMIT message(QString("%1 epochs older than the last written epoch dropped").arg(rinex->droppedEpochs));
        if (problem.isEmpty() && rinex->incompleteEpochs > 0)
            Q_EMIT message(QString("%1 epochs dropped: an observation page of theirs is missing").arg(rinex->incompleteEpochs));
        // Signals the RINEX version gets no type for (QZSS and GPS L1 P(Y) in
        // RINEX 2, B1C in 3.03) are left out by design, but the user should
        // know they were logged.
        if (problem.isEmpty() && !rinex->typelessSignals.isEmpty()) {
            QStringList signalCounts;
            int total = 0;
            for (auto it = rinex->typelessSignals.cbegin(); it != rinex->typelessSignals.cend(); ++it) {
                signalCounts << QString("%1%2 %3").arg(GNSS_SYSTEM[it.key()->system].letter).arg(it.key()->code).arg(it.value());
                total += it.value();
            }
            signalCounts.sort();
            Q_EMIT message(QString("%1 observations left out, signals not written to RINEX %2.%3: %4")
                               .arg(total)
                               .arg(rinex->version / 100)
                               .arg(rinex->version % 100, 2, 10, QChar('0'))
                               .arg(signalCounts.join(", ")));
        }
        // Signal numbers the converter has no signal for are dropped: the
        // user should know which, so that no signal is lost unseen.
        if (problem.isEmpty() && !rinex->unknownSignals.isEmpty()) {
            QStringList signalCounts;
            int total = 0;
            for (auto it = rinex->unknownSignals.cbegin(); it != rinex->unknownSignals.cend(); ++it) {
                signalCounts << QString("%1: %2").arg(it.key()).arg(it.value());
                total += it.value();
            }
            Q_EMIT message(QString("%1 observations left out, signals the converter does not know: %2")
                               .arg(total)
                               .arg(signalCounts.join(", ")));
        }
        // "Time Start" wins over the log's own weeks, but a date years off
        // (a setting left from another log) must not pass unnoticed.
        const int weeksOff = rinex->timeStartDisagreement();
        if (problem.isEmpty() && weeksOff != 0)
            Q_EMIT message(QString("Time Start dates the epochs %1 weeks %2 the log's ephemerides: check Time Start")
                               .arg(abs(weeksOff))
                               .arg(weeksOff > 0 ? "before" : "after"));
        // One file, one station: a stream whose observations move to another
        // station mixes receivers under one header.
        if (problem.isEmpty() && rinex->rtcm3StationChanges > 0) {
            QStringList ids;
            for (int id : qAsConst(rinex->rtcm3ObsStations)) ids << QString::number(id);
            Q_EMIT message(QString("observations of %1 reference stations (ids %2) in one file, the station changing "
                                   "%3 times: every phase after a change is flagged as a loss of lock")
                               .arg(rinex->rtcm3ObsStations.size())
                               .arg(ids.join(", "))
                               .arg(rinex->rtcm3StationChanges));
        }
        // Two receivers at the same times: the second one's epochs are not
        // merged into the first one's records, and the user should know why.
        if (problem.isEmpty() && rinex->otherReceiverEpochs > 0)
            Q_EMIT message(QString("%1 epochs of another receiver left out: their observations disagree with those "
                                   "written for the same time (%2 written, %3 left out)")
                               .arg(rinex->otherReceiverEpochs)
                               .arg(Rinexxxx::sourceName(rinex->otherReceiverKept))
                               .arg(Rinexxxx::sourceName(rinex->otherReceiverLeft)));
        // Epochs of two input formats taking turns (a rover's measurements
        // and its base's corrections, or one receiver's output written twice)
        // put what may be two receivers under one header.
        if (problem.isEmpty() && rinex->sourceChanges > 0) {
            QStringList names;
            for (const Rinexxxx::EpochSource &src : rinex->writtenSources) names << Rinexxxx::sourceName(src);
            Q_EMIT message(QString("epochs of %1 sources in one file (%2), the source changing %3 times: check that "
                                   "they are one receiver's; a phase that passes from one to another is flagged as a loss of lock")
                               .arg(names.size())
                               .arg(names.join(", "))
                               .arg(rinex->sourceChanges));
        }
        const int ephemerisOff = rinex->ephemerisDisagreement();
        if (problem.isEmpty() && ephemerisOff != 0)
            Q_EMIT message(QString("epochs dated %1 weeks %2 the ephemerides sent among them: logs of different weeks "
                                   "joined? Convert them one by one")
                               .arg(abs(ephemerisOff))
                               .arg(ephemerisOff > 0 ? "before" : "after"));
    }
    const QString refused = settleOutputs();
    const QMap<char, QString> names = rinex->finalNames();
    if (!refused.isEmpty()) {
        if (problem.isEmpty())
            problem = refused;
        else
            Q_EMIT message(refused);
    } else if (names.isEmpty() && problem.isEmpty() && !unconfirmed.isEmpty()) {
        // The data was found, only held back by "PPK Only": say so, not that
        // the input holds nothing.
        problem = unconfirmed;
        unconfirmed.clear();
    } else if (names.isEmpty() && problem.isEmpty()) {
        QStringList fileNames;
        for (const QString &path : qAsConst(fileList)) fileNames.append(QFileInfo(path).fileName());
        problem = QString("no GNSS data found in %1").arg(fileNames.join(';'));
        // Data that the masks took is there: say so, or the user looks for
        // a fault in the log.
        if (rinex->maskedObservations > 0)
            problem += QString(" outside the masks (%1 observations masked)").arg(rinex->maskedObservations);
    }
    if (!unconfirmed.isEmpty()) Q_EMIT message(unconfirmed);
    const int errorsBefore = rinex->outputErrors().size();
    rinex->close();
    if (problem.isEmpty() && rinex->outputErrors().size() > errorsBefore) problem = rinex->outputErrors().join("; ");
    const QStringList kept = rinex->writtenFiles();
    const qint64 cost = QDateTime::currentMSecsSinceEpoch() - timeStart;
    reset();
    for (const QString &path : kept) {
        if (problem.isEmpty())
            Q_EMIT written(path);
        else
            Q_EMIT partial(path);
    }
    if (problem.isEmpty())
        Q_EMIT finished(true, QString("Cost=%1 ms").arg(cost));
    else
        Q_EMIT finished(false, problem);
}

void ThreadBinaryToRinex::taskCancle()
{
    if (timer && fileInput) {
        progressLast = 0;
        Q_EMIT progress(0);
        // What was converted so far is kept, with its real headers.
        if (rinex && rinex->isOpen()) return finishConvert("cancle");
        Q_EMIT finished(false, "cancle");
    }
    reset();
}
