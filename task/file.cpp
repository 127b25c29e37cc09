#include "file.h"

#include <QFile>
#include <QFileInfo>

#include <string.h>

#include "gnssparser.h"
#include "sbf.h"
#include "threadbinarytorinex.h"
#include "ublox.h"
#include "util.h"

namespace {

const char kDevMagic[] = "NGS-GPS COLLECTED DATA\nS/N:";
const char kOlmMagic[] = "#file=GNSS DATA FILE\r\n";
const int kProbeBytes = 2048;
const int kUbloxProbeBytes = 256 * 1024;
// Septentrio receivers describe themselves in a ReceiverSetup block sent
// with the first epochs, often beyond the probe: it is looked for this far.
const int kSbfSetupBytes = 65536;

struct SbfSetup {
    bool found = false;
    sbf_receiver_setup_t setup;
};

void sbfSetupFrame(const uint8_t *data, uint32_t length, void *user)
{
    SbfSetup *s = static_cast<SbfSetup *>(user);
    if (!s->found && sbf_parser_receiver_setup(data, length, &s->setup) == 0) s->found = true;
}

// The text header's `size` bytes from `offset`, without a line that the
// limit cuts: a marker or antenna name cut short is a wrong value, where a
// missing one is only missing.
QByteArray wholeLines(const QByteArray &head, int offset, int size)
{
    QByteArray text = head.mid(offset, size);
    if (head.size() > offset + size) text.truncate(text.lastIndexOf('\n') + 1);
    return text;
}

// A text field of the binary header: up to its first NUL, never past the
// 512-byte record.
QString devText(const QByteArray &data, int offset)
{
    int end = offset;
    while (end < 512 && data[end] != '\0') end++;
    return QString::fromUtf8(data.constData() + offset, end - offset);
}

// u-blox receivers name themselves in MON-VER, which a log holds near its
// start when it holds one at all: the first whole one in `bytes` fills the
// receiver model and firmware that no log header gave. True when found.
bool readUbloxVersion(QMap<QString, QString> &param, const QByteArray &bytes)
{
    const uint8_t *p = reinterpret_cast<const uint8_t *>(bytes.constData());
    const int n = bytes.size();
    for (int i = bytes.indexOf("\xB5\x62\x0A\x04"); i >= 0 && i + 8 <= n; i = bytes.indexOf("\xB5\x62\x0A\x04", i + 1)) {
        const int length = 8 + (int)util_bytes_to_u16(p + i + 4);
        ublox_mon_ver_t v;
        if (i + length > n || util_check_ublox(p + i, (uint32_t)length) != 0 ||
            ublox_parser_mon_ver(p + i, (uint32_t)length, &v) != 0)
            continue;
        const QString model = QString("u-blox %1").arg(QString::fromLatin1(v.model)).trimmed();
        const QString firmware = QString::fromLatin1(v.firmware).trimmed();
        if (param.value(ThreadBinaryToRinex::KEY_RECEIVER_MODEL).isEmpty())
            param[ThreadBinaryToRinex::KEY_RECEIVER_MODEL] = model;
        if (param.value(ThreadBinaryToRinex::KEY_RECEIVER_FIRMWARE).isEmpty() && !firmware.isEmpty())
            param[ThreadBinaryToRinex::KEY_RECEIVER_FIRMWARE] = firmware;
        return true;
    }
    return false;
}

// Frames all of `data`. A candidate still open at its end (a false sync
// claiming more bytes than are left) is given up, so that the whole frames
// inside it are still delivered.
void frameAll(gnssparser_s *parser, const QByteArray &data)
{
    gnssparser_input(parser, reinterpret_cast<const uint8_t *>(data.constData()), (uint32_t)data.size());
    gnssparser_flush(parser);
}

} // namespace

File *File::load(const QString &path, QString *error)
{
    auto refuse = [&](const QString &why) -> File * {
        if (error) *error = why;
        return nullptr;
    };
    // A task lists its inputs separated by ";": such a name would be read as
    // the names of other files.
    if (path.contains(';')) return refuse(QString("file name holds \";\", %1").arg(path));
    QFileInfo info(path);
    if (!info.exists()) return refuse(QString("file not exist, %1").arg(path));
    if (!info.isFile()) return refuse(QString("not a regular file, %1").arg(path));
    if (info.size() < 8) return refuse(QString("file too short, %1").arg(path));
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return refuse(QString("open file failed, %1").arg(path));
    // Logs shorter than the probe are read whole: a small log is still a log.
    const qint64 want = qMin<qint64>(kProbeBytes, info.size());
    QByteArray head = f.read(want);
    if (head.size() != want) return refuse(QString("read file failed, %1").arg(path));
    // u-blox and Septentrio receivers describe themselves in messages that
    // may come after the probe: look further, reading the file once for both.
    // A version poll, or an answer cut by the end of the probe, is no
    // answer: only a whole MON-VER spares the longer look.
    QMap<QString, QString> probed;
    const bool ublox = head.contains("\xB5\x62") && !readUbloxVersion(probed, head) && info.size() > want;
    const bool sbf = head.contains("$@");
    QByteArray more;
    if (ublox || sbf) more = f.read(qMax(ublox ? kUbloxProbeBytes : 0, sbf ? kSbfSetupBytes : 0) - want);
    const QByteArray ubloxHead = ublox ? head + more : QByteArray();
    const QByteArray sbfHead = sbf ? head + more : QByteArray();
    f.close();

    File *file = new File;
    file->param.insert(ThreadBinaryToRinex::KEY_PATH_INPUT, path);
    if (head.startsWith(kDevMagic)) {
        phaseDev(file->param, head);
        if (head.mid(512, 22) == kOlmMagic) phaseOlm(file->param, wholeLines(head, 512, 1024));
    } else if (head.startsWith(kOlmMagic)) {
        phaseOlm(file->param, wholeLines(head, 0, 1024));
    }

    uint8_t work[1024];
    int found = 0;
    gnssparser_s parser;
    gnssparser_init(&parser, work, sizeof work, &found);
    gnssparser_callback_rtcm3(&parser, parserRtcm3);
    gnssparser_callback_line(&parser, parserOther);
    gnssparser_callback_novatel(&parser, parserOther);
    gnssparser_callback_novatelx(&parser, parserOther);
    gnssparser_callback_hemisphere(&parser, parserOther);
    gnssparser_callback_ublox(&parser, parserOther);
    gnssparser_callback_unicore(&parser, parserOther);
    frameAll(&parser, head);
    if (found) file->param.insert(ThreadBinaryToRinex::KEY_PRESCAN, "Yes");
    if (!readUbloxVersion(file->param, head) && !ubloxHead.isEmpty()) readUbloxVersion(file->param, ubloxHead);
    if (!sbfHead.isEmpty()) phaseSbf(file->param, sbfHead);

    file->absolutePath = info.absoluteFilePath();
    file->shortName = info.fileName();
    file->byteSize = info.size();
    return file;
}

void File::updateParam(const QMap<QString, QString> &map)
{
    for (auto it = map.cbegin(); it != map.cend(); ++it) param[it.key()] = it.value();
}

void File::phaseDev(QMap<QString, QString> &param, const QByteArray &data)
{
    if (data.size() < 512) return;
    const uint8_t *p = reinterpret_cast<const uint8_t *>(data.constData());
    QStringList lines = devText(data, 0).split('\n');
    if (lines.size() > 1) param[ThreadBinaryToRinex::KEY_RECEIVER_SN] = lines[1].mid(4);
    param[ThreadBinaryToRinex::KEY_LATITUDE] = QString::number(util_bytes_to_double(p + 80), 'f', 8);
    param[ThreadBinaryToRinex::KEY_LONGITUDE] = QString::number(util_bytes_to_double(p + 88), 'f', 8);
    param[ThreadBinaryToRinex::KEY_HEIGHT] = QString::number(util_bytes_to_float(p + 96), 'f', 3);
    static const char *const types[] = {"phase", "slope", "vertical", "extend", "bottom"};
    const uint8_t type = p[145];
    if (type <= 4) {
        param[ThreadBinaryToRinex::KEY_ANTENNA_HEIGHT] = QString::number(util_bytes_to_u16(p + 105) * 0.001, 'g', 6);
        param[ThreadBinaryToRinex::KEY_ANTENNA_NAME] = devText(data, 125);
        param[ThreadBinaryToRinex::KEY_HEIGHT_TYPE] = types[type];
        param[ThreadBinaryToRinex::KEY_ANTENNA_SPEC] = QString("%1,%2,%3,%4")
                                                           .arg(util_bytes_to_u32(p + 147))
                                                           .arg(util_bytes_to_u32(p + 151))
                                                           .arg(util_bytes_to_u32(p + 155))
                                                           .arg(util_bytes_to_u32(p + 159));
    }
    param[ThreadBinaryToRinex::KEY_RECEIVER_FIRMWARE] = devText(data, 166);
    param[ThreadBinaryToRinex::KEY_MARKER_NAME] = devText(data, 181);
}

void File::phaseOlm(QMap<QString, QString> &param, const QByteArray &data)
{
    static const struct {
        const char *header;
        const QString *key;
    } keys[] = {{"#device.model", &ThreadBinaryToRinex::KEY_RECEIVER_MODEL},
                {"#device.sn", &ThreadBinaryToRinex::KEY_RECEIVER_SN},
                {"#device.firmware", &ThreadBinaryToRinex::KEY_RECEIVER_FIRMWARE},
                {"#gnss.board", &ThreadBinaryToRinex::KEY_GNSS_MODEL},
                {"#gnss.sn", &ThreadBinaryToRinex::KEY_GNSS_SN},
                {"#gnss.hardware", &ThreadBinaryToRinex::KEY_GNSS_HARDWARE},
                {"#gnss.firmware", &ThreadBinaryToRinex::KEY_GNSS_FIRMWARE},
                {"#marker.name", &ThreadBinaryToRinex::KEY_MARKER_NAME},
                {"#marker.number", &ThreadBinaryToRinex::KEY_MARKER_NUMBER},
                {"#position.latitude", &ThreadBinaryToRinex::KEY_LATITUDE},
                {"#position.longitude", &ThreadBinaryToRinex::KEY_LONGITUDE},
                {"#position.height", &ThreadBinaryToRinex::KEY_HEIGHT},
                {"#antenna.name", &ThreadBinaryToRinex::KEY_ANTENNA_NAME},
                {"#antenna.measure", &ThreadBinaryToRinex::KEY_ANTENNA_SPEC},
                {"#antenna.height", &ThreadBinaryToRinex::KEY_ANTENNA_HEIGHT},
                {"#antenna.height_type", &ThreadBinaryToRinex::KEY_HEIGHT_TYPE},
                {"#record.1.begin", &ThreadBinaryToRinex::KEY_TIME_START}};
    for (const QByteArray &line : data.split('\n')) {
        int eq = line.indexOf('=');
        if (eq < 0) continue;
        QByteArray key = line.left(eq).trimmed();
        QByteArray value = line.mid(eq + 1);
        int nul = value.indexOf('\0');
        if (nul >= 0) value.truncate(nul);
        value = value.trimmed();
        for (const auto &k : keys)
            if (key == k.header) param[*k.key] = QString::fromUtf8(value);
    }
    auto it = param.find(ThreadBinaryToRinex::KEY_HEIGHT_TYPE);
    if (it != param.end() && it.value().compare("buttom", Qt::CaseInsensitive) == 0) it.value() = "bottom";
}

void File::phaseSbf(QMap<QString, QString> &param, const QByteArray &data)
{
    QByteArray work(kSbfSetupBytes + 1, 0);
    SbfSetup found;
    gnssparser_s parser;
    gnssparser_init(&parser, reinterpret_cast<uint8_t *>(work.data()), (uint32_t)work.size(), &found);
    gnssparser_callback_septentrio(&parser, sbfSetupFrame);
    frameAll(&parser, data);
    if (!found.found) return;
    const sbf_receiver_setup_t &s = found.setup;
    // What the receiver calls "Unknown" is no value; RxName is the user's
    // name for the receiver, not its type, which is the product name. A log
    // header's own values stand: they were given for this log, where the
    // receiver's setup keeps whatever it was last told (its marker name is
    // "SEPT" until someone changes it).
    auto put = [&param](const QString &key, const char *value) {
        const QString v = QString::fromLatin1(value);
        if (!v.isEmpty() && v != "Unknown" && param.value(key).isEmpty()) param[key] = v;
    };
    put(ThreadBinaryToRinex::KEY_RECEIVER_MODEL, s.product_name);
    put(ThreadBinaryToRinex::KEY_RECEIVER_SN, s.rx_serial);
    put(ThreadBinaryToRinex::KEY_RECEIVER_FIRMWARE, s.rx_version);
    put(ThreadBinaryToRinex::KEY_GNSS_FIRMWARE, s.gnss_fw_version);
    put(ThreadBinaryToRinex::KEY_MARKER_NAME, s.marker_name);
    put(ThreadBinaryToRinex::KEY_MARKER_NUMBER, s.marker_number);
    put(ThreadBinaryToRinex::KEY_MARKER_TYPE, s.marker_type);
    put(ThreadBinaryToRinex::KEY_ANTENNA_NAME, s.ant_type);
    // The height of the antenna reference point above the marker.
    if (s.delta_h > 0 && s.delta_h < 1000 && param.value(ThreadBinaryToRinex::KEY_ANTENNA_HEIGHT).isEmpty()) {
        param[ThreadBinaryToRinex::KEY_ANTENNA_HEIGHT] = QString::number(s.delta_h, 'g', 6);
        param[ThreadBinaryToRinex::KEY_HEIGHT_TYPE] = "bottom";
        if (!param.contains(ThreadBinaryToRinex::KEY_ANTENNA_SPEC))
            param[ThreadBinaryToRinex::KEY_ANTENNA_SPEC] = "0,0,0,0";
    }
}

void File::parserRtcm3(const unsigned char *, unsigned int, void *user)
{
    *static_cast<int *>(user) = 1;
}

void File::parserOther(const unsigned char *, unsigned int, void *)
{
}
