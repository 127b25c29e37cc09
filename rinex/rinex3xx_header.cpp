// The RINEX 3 observation header, written over the lines reserved at open
// once the run is over and everything it lists is known.
#include <math.h>
#include <stdio.h>
#include <string.h>

#include <QDateTime>

#include "rinex3xx.h"
#include "util.h"

namespace {

// RINEX 3.02 names the BDS B1 band 1, later versions 2.
QByteArray headerCode(int version, char letter, const QByteArray &code)
{
    if (version == 302 && letter == 'C' && code.size() == 2 && code[0] == '2' &&
        (code[1] == 'I' || code[1] == 'Q' || code[1] == 'X'))
        return QByteArray("1") + code[1];
    return code;
}

bool calendar(qint64 ms, struct tm *out)
{
    time_t t = (time_t)(ms / 1000);
    return gmtime_r(&t, out) != nullptr;
}

} // namespace

QByteArray Rinex3xx::observationHeaderLines(bool *ok)
{
    *ok = false;
    QByteArray text;
    char line[256];
    const QDateTime now = QDateTime::currentDateTimeUtc();
    if (!now.isValid()) return text;

    double xyz[3];
    const bool computed = approxPositionXyz(xyz);

    snprintf(line, sizeof line, "     3.%02d%11s%-20s%-20s%-20s", versionMinor, "", "OBSERVATION DATA", "M: MIXED",
             "RINEX VERSION / TYPE");
    appendHeaderLine(text, line);
    const QDate d = now.date();
    const QTime t = now.time();
    snprintf(line, sizeof line, "%-20s%-20s%04d%02d%02d %02d%02d%02d UTC %-20s", programName.constData(),
             runBy.constData(), d.year(), d.month(), d.day(), t.hour(), t.minute(), t.second(), "PGM / RUN BY / DATE");
    appendHeaderLine(text, line);
    snprintf(line, sizeof line, "%-60s%-20s", markerName.constData(), "MARKER NAME");
    appendHeaderLine(text, line);
    snprintf(line, sizeof line, "%-20s%40s%-20s", markerNumber.constData(), "", "MARKER NUMBER");
    appendHeaderLine(text, line);
    snprintf(line, sizeof line, "%-20s%40s%-20s", markerType.constData(), "", "MARKER TYPE");
    appendHeaderLine(text, line);
    snprintf(line, sizeof line, "%-20s%-40s%-20s", observer.constData(), agency.constData(), "OBSERVER / AGENCY");
    appendHeaderLine(text, line);
    snprintf(line, sizeof line, "%-20s%-20s%-20s%-20s", receiverNumber.constData(), receiverType.constData(),
             receiverVersion.constData(), "REC # / TYPE / VERS");
    appendHeaderLine(text, line);
    snprintf(line, sizeof line, "%-20s%-20s%20s%-20s", antennaNumber.constData(), antennaType.constData(), "",
             "ANT # / TYPE");
    appendHeaderLine(text, line);
    snprintf(line, sizeof line, "%14.4f%14.4f%14.4f%18s%-20s", xyz[0], xyz[1], xyz[2], "", "APPROX POSITION XYZ");
    appendHeaderLine(text, line);
    if (computed) {
        snprintf(line, sizeof line, "%-60s%-20s", "APPROX POSITION XYZ computed from the broadcast orbits", "COMMENT");
        appendHeaderLine(text, line);
    }
    snprintf(line, sizeof line, "%14.4f%14.4f%14.4f%18s%-20s", antennaHen[0], antennaHen[1], antennaHen[2], "",
             "ANTENNA: DELTA H/E/N");
    appendHeaderLine(text, line);
    // Offsets beyond any antenna would not fit their columns.
    if (antennaCenter[0] != SPARE && fabs(antennaCenter[0]) < 1e6) {
        snprintf(line, sizeof line, "G L1C%9.4f%14.4f%14.4f%18s%-20s", 0.0, 0.0, antennaCenter[0], "",
                 "ANTENNA: PHASECENTER");
        appendHeaderLine(text, line);
    }
    if (antennaCenter[1] != SPARE && fabs(antennaCenter[1]) < 1e6) {
        snprintf(line, sizeof line, "G L2P%9.4f%14.4f%14.4f%18s%-20s", 0.0, 0.0, antennaCenter[1], "",
                 "ANTENNA: PHASECENTER");
        appendHeaderLine(text, line);
    }

    for (auto it = systems.cbegin(); it != systems.cend(); ++it) {
        const char letter = it.key();
        const System &sys = it.value();
        QList<QByteArray> types;
        for (const QByteArray &code : sys.types) {
            QByteArray c = headerCode(version, letter, code);
            for (char kind : {'C', 'L', 'D', 'S'}) types.append(kind + c);
        }
        if (types.isEmpty()) continue;
        QByteArray l;
        // A1, 2X, I3: a system of 25 or more codes lists 100 types or more.
        snprintf(line, sizeof line, "%c  %3d", letter, (int)types.size());
        l = line;
        for (int i = 0; i < types.size(); i++) {
            if (i > 0 && i % 13 == 0) {
                l += "  SYS / # / OBS TYPES ";
                appendHeaderLine(text, l.constData());
                l = QByteArray(6, ' ');
            }
            l += " " + types[i];
        }
        int missing = (13 - types.size() % 13) % 13;
        l += QByteArray(4 * missing, ' ');
        l += "  SYS / # / OBS TYPES ";
        appendHeaderLine(text, l.constData());
    }

    appendIntervalLine(text);
    struct tm cal;
    const char *labels[2] = {"TIME OF FIRST OBS", "TIME OF LAST OBS"};
    const qint64 times[2] = {firstEpochMs, lastEpochMs};
    for (int k = 0; k < 2; k++) {
        if (!calendar(times[k], &cal)) return text;
        snprintf(line, sizeof line, "%6d%6d%6d%6d%6d%13.7f     GPS%9s%-20s", cal.tm_year + 1900, cal.tm_mon + 1,
                 cal.tm_mday, cal.tm_hour, cal.tm_min, (times[k] % 60000) * 0.001, "", labels[k]);
        appendHeaderLine(text, line);
    }

    for (auto it = systems.cbegin(); it != systems.cend(); ++it)
        for (auto ps = it.value().phaseShift.cbegin(); ps != it.value().phaseShift.cend(); ++ps) {
            QByteArray code = headerCode(version, it.key(), ps.key());
            snprintf(line, sizeof line, "%c L%2s %8.5f%46s%-20s", it.key(), code.constData(), ps.value() * 0.25, "",
                     "SYS / PHASE SHIFT");
            appendHeaderLine(text, line);
        }

    QList<QByteArray> slots;
    for (int slot = 1; slot <= 32; slot++) {
        int ch = glonass_channel_get(&glonassChannels, slot);
        if (ch == GLONASS_CHANNEL_UNKNOWN) continue;
        snprintf(line, sizeof line, "R%02d %2d ", slot, ch);
        slots.append(QByteArray(line));
    }
    if (!slots.isEmpty()) {
        const int known = slots.size();
        while (slots.size() % 8) slots.append(QByteArray(7, ' '));
        for (int i = 0; i < slots.size(); i += 8) {
            QByteArray l;
            if (i == 0) {
                snprintf(line, sizeof line, "%3d ", known);
                l = line;
            } else {
                l = QByteArray(4, ' ');
            }
            for (int k = i; k < i + 8; k++) l += slots[k];
            l += "GLONASS SLOT / FRQ #";
            appendHeaderLine(text, l.constData());
        }
    }

    QByteArray bias;
    const System glonass = systems.value('R');
    for (auto it = glonassCodePhaseBias.cbegin(); it != glonassCodePhaseBias.cend(); ++it) {
        if (!glonass.index.contains(it.key())) continue;
        snprintf(line, sizeof line, " C%s %8.3f", it.key().constData(), it.value());
        bias += line;
    }
    bias = bias.leftJustified(60, ' ', true) + "GLONASS COD/PHS/BIS ";
    appendHeaderLine(text, bias.constData());

    if (leapSeconds != 99) {
        snprintf(line, sizeof line, "%6d%18sGPS%33s%-20s", leapSeconds, "", "", "LEAP SECONDS");
        appendHeaderLine(text, line);
    }
    snprintf(line, sizeof line, "PARSER    = %-48s%-20s", gnssparser_version() + 11, "COMMENT");
    appendHeaderLine(text, line);
    snprintf(line, sizeof line, "CONVERTER = %-48s%-20s", LIB_VERSION, "COMMENT");
    appendHeaderLine(text, line);
    *ok = true;
    return text;
}

QMap<char, int> Rinex3xx::observationTypeCounts() const
{
    // Four types (C, L, D, S) per observation code, as the header lists them.
    QMap<char, int> counts;
    for (auto it = systems.cbegin(); it != systems.cend(); ++it)
        if (!it.value().types.isEmpty()) counts.insert(it.key(), 4 * it.value().types.size());
    return counts;
}

std::vector<std::string> Rinex3xx::headerTypes(char letter) const
{
    std::vector<std::string> types;
    for (const QByteArray &code : systems.value(letter).types) {
        const QByteArray c = headerCode(version, letter, code);
        for (char kind : {'C', 'L', 'D', 'S'}) types.push_back(kind + c.toStdString());
    }
    return types;
}

bool Rinex3xx::updateOHeader(QFile &file)
{
    const int reservedLines = 64;
    if (!file.isOpen() || file.size() < 1312) return false;
    bool complete = false;
    QByteArray text = observationHeaderLines(&complete);
    if (text.isEmpty()) return false;
    const int lines = text.size() / 82;

    if (lines <= reservedLines - 1) {
        // In place: comments fill the lines left up to the 62nd, so one blank
        // comment always stands before "END OF HEADER".
        int room = 62 - lines;
        for (int i = 0; i < commentLines.size() && i < room; i++) text += commentLines[i];
        if (!file.seek(0) || file.write(text) != text.size()) {
            noteError(QString("cannot write %1: %2").arg(file.fileName(), file.errorString()));
            return false;
        }
        if (recordObserver) recordObserver->headerFinished(letterOf(file), true, text.constData(), (size_t)text.size());
        if (!complete) return false;
        file.seek(file.size());
        return true;
    }

    // More header than the reserved lines can hold (many systems and codes,
    // phase-shift and slot lines): writing in place would overwrite the first
    // epochs. Write the header into a new file, follow it with the records,
    // and put that file in the place of the old one.
    for (const QByteArray &c : qAsConst(commentLines)) text += c;
    char end[96];
    snprintf(end, sizeof end, "%60s%-20s\r\n", "", "END OF HEADER");
    text += end;
    const QString path = file.fileName();
    const QString temporary = path + ".header";
    QFile out(temporary);
    bool ok = file.flush() && out.open(QIODevice::WriteOnly | QIODevice::Truncate) && out.write(text) == text.size();
    QFile in(path);
    ok = ok && in.open(QIODevice::ReadOnly) && in.seek((qint64)reservedLines * 82);
    QByteArray chunk;
    while (ok && !(chunk = in.read(1 << 20)).isEmpty()) ok = out.write(chunk) == chunk.size();
    ok = ok && out.flush();
    out.close();
    in.close();
    if (ok) ok = ::rename(temporary.toLocal8Bit().constData(), path.toLocal8Bit().constData()) == 0;
    if (!ok) {
        QFile::remove(temporary);
        noteError(QString("cannot write the header of %1").arg(path));
        return false;
    }
    if (recordObserver) recordObserver->headerFinished(letterOf(file), true, text.constData(), (size_t)text.size());
    // The open handle still refers to the replaced file; nothing more is
    // written through it, and the name now holds the finished file.
    return complete;
}
