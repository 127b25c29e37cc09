// RINEX 2 navigation side: one file per system (GPS, GLONASS and, from 2.11,
// Galileo and BDS), one record per new ephemeris of a satellite, and the
// navigation headers written at close.
#include <math.h>
#include <stdio.h>
#include <string.h>

#include <QDateTime>

#include "rinex2xx.h"
#include "util.h"

namespace {
// Record kinds of lastNavTime.
enum { NAV_BDS = 0, NAV_GAL_INAV = 1, NAV_GAL_FNAV = 2, NAV_GPS = 3, NAV_GLONASS = 5 };
// Elements of fileLetters.
enum { FILE_BDS = 1, FILE_GALILEO = 2, FILE_GPS = 3, FILE_GLONASS = 5 };


QByteArray firstLine(int satellite, const struct tm *t, double a, double b, double c)
{
    char line[96];
    int n = snprintf(line, sizeof line, "%02d %02d %02d %02d %02d %02d %02d.0", satellite, t->tm_year % 100,
                     t->tm_mon + 1, t->tm_mday, t->tm_hour, t->tm_min, t->tm_sec);
    for (double v : {a, b, c}) {
        Rinexxxx::printExp(line + n, 19, 12, v);
        n += 19;
    }
    memcpy(line + n, "\r\n", 2);
    return QByteArray(line, n + 2);
}
} // namespace

Rinexxxx::File *Rinex2xx::navFile(int fileIndex) const
{
    if (!fileLetters[fileIndex]) return nullptr;
    File *file = files.value(fileLetters[fileIndex]);
    return file && file->isOpen() ? file : nullptr;
}

qint64 Rinex2xx::printEmpheLine(File *file, double a, double b, double c, double d)
{
    return writeOrbitLine(file, 3, a, b, c, d);
}

int Rinex2xx::printIon(char *buffer, int size, const char *label, const double values[4])
{
    // The line is 82 bytes and its terminating zero.
    if (!buffer || size < 83) return 0;
    memcpy(buffer, "  ", 2);
    int n = 2;
    for (int i = 0; i < 4; i++) {
        printExp(buffer + n, 12, 4, values[i]);
        n += 12;
    }
    n += snprintf(buffer + n, (size_t)(size - n), "%10s%-20.20s\r\n", "", label);
    return n;
}

double Rinex2xx::transmissionTime(int32_t tow, uint32_t toe)
{
    if (tow < 0) return UNKNOWN_TRANSMISSION_TIME;
    // Counted from the start of toe's week: a transmission late in the week
    // before toe's is negative, one early in the next week above 604800.
    const long d = (long)tow - (long)toe;
    if (d < -302400) return tow + 604800.0;
    if (d > 302400) return tow - 604800.0;
    return tow;
}

qint64 Rinex2xx::writeNGps(const gps_nav_t &in)
{
    notePositionNavigation(in, 'G');
    if (in.iode != in.iode3) return 0; // subframes of two uploads
    File *file = navFile(FILE_GPS);
    if (!file) return 0;
    gps_nav_t nav = in;
    int toeWeek = 0;
    const int tocWeek = navTocWeek(resolveGpsWeek(nav.week), nav, &toeWeek);
    nav.week = (uint16_t)toeWeek;
    char name[8];
    if (!navRecordWanted('G', nav.prn, NAV_GPS, nav.toe, name)) return 0;
    struct tm *t = getTimeFromGpsWeekMs(tocWeek, (int)nav.toc * 1000);
    if (!t) return 0;
    noteNavigationEpoch(t);
    lastNavTime[NAV_GPS][nav.prn] = nav.toe;
    qint64 n = writeTo(file, firstLine(nav.prn, t, nav.af0, nav.af1, nav.af2));
    n += printEmpheLine(file, nav.iode, nav.crs, nav.delta_n, nav.m0);
    n += printEmpheLine(file, nav.cuc, nav.e, nav.cus, nav.sqrt_a);
    n += printEmpheLine(file, nav.toe, nav.cic, nav.omega0, nav.cis);
    n += printEmpheLine(file, nav.i0, nav.crc, nav.omega, nav.omega_dot);
    n += printEmpheLine(file, nav.idot, nav.code_l2, nav.week, nav.l2p_flag);
    n += printEmpheLine(file, novatel_bds_gps_index_to_ura(nav.ura), nav.health, nav.tgd, nav.iodc);
    n += printEmpheLine(file, transmissionTime(nav.tow, nav.toe), gpsFitIntervalHours(nav.fit, nav.iodc), SPARE, SPARE);
    return n;
}

qint64 Rinex2xx::writeNBds(const bd2_nav_t &in)
{
    notePositionNavigation(in);
    File *file = navFile(FILE_BDS);
    if (!file) return 0;
    bd2_nav_t nav = in;
    int toeWeek = 0;
    nav.week = (uint16_t)(navTocWeek(nav.week + 1356, nav, &toeWeek) - 1356);
    char name[8];
    if (!navRecordWanted('C', nav.prn, NAV_BDS, nav.toe, name)) return 0;
    // BDS time shown on the calendar.
    struct tm *t = getTimeFromGpsWeekMs(nav.week + 1356, (int)nav.toc * 1000);
    if (!t) return 0;
    noteNavigationEpoch(t);
    lastNavTime[NAV_BDS][nav.prn] = nav.toe;
    qint64 n = writeTo(file, firstLine(nav.prn, t, nav.a0, nav.a1, nav.a2));
    n += printEmpheLine(file, nav.aode, nav.crs, nav.delta_n, nav.m0);
    n += printEmpheLine(file, nav.cuc, nav.e, nav.cus, nav.sqrt_a);
    n += printEmpheLine(file, nav.toe, nav.cic, nav.omega0, nav.cis);
    n += printEmpheLine(file, nav.i0, nav.crc, nav.omega, nav.omega_dot);
    n += printEmpheLine(file, nav.idot, SPARE, toeWeek - 1356, SPARE);
    n += printEmpheLine(file, novatel_bds_gps_index_to_ura(nav.ura), nav.health, nav.tgd1, nav.tgd2);
    n += printEmpheLine(file, transmissionTime(nav.tow, nav.toe), nav.aodc, SPARE, SPARE);
    return n;
}

qint64 Rinex2xx::writeNGalInav(const galileo_inav_t &in)
{
    notePositionNavigation(in);
    File *file = navFile(FILE_GALILEO);
    if (!file) return 0;
    galileo_inav_t nav = in;
    int toeWeek = 0;
    const int tocWeek = navTocWeek(nav.week + 1024, nav, &toeWeek);
    nav.week = (uint16_t)(toeWeek - 1024);
    char name[8];
    if (!navRecordWanted('E', nav.prn, NAV_GAL_INAV, nav.toe, name)) return 0;
    struct tm *t = getTimeFromGpsWeekMs(tocWeek, (int)nav.toc * 1000);
    if (!t) return 0;
    noteNavigationEpoch(t);
    lastNavTime[NAV_GAL_INAV][nav.prn] = nav.toe;
    const int health =
        (nav.e1b_dvs & 1) | ((nav.e1b_hs & 3) << 1) | ((nav.e5b_dvs & 1) << 6) | ((nav.e5b_hs & 3) << 7);
    qint64 n = writeTo(file, firstLine(nav.prn, t, nav.af0, nav.af1, nav.af2));
    n += printEmpheLine(file, nav.iodnav, nav.crs, nav.delta_n, nav.m0);
    n += printEmpheLine(file, nav.cuc, nav.e, nav.cus, nav.sqrt_a);
    n += printEmpheLine(file, nav.toe, nav.cic, nav.omega0, nav.cis);
    n += printEmpheLine(file, nav.i0, nav.crc, nav.omega, nav.omega_dot);
    // The week goes on from the GPS count, as in every RINEX file.
    // The signal that carried the record, as in RINEX 3: a fixed 517 would
    // claim E5b-I for a record that came through E1-B alone.
    n += printEmpheLine(file, nav.idot, galileoInavSources(nav.source), nav.week + 1024, SPARE);
    n += printEmpheLine(file, galileoSisaIndexToMeter(nav.sisa), health, nav.bgd_e5a, nav.bgd_e5b);
    n += printEmpheLine(file, transmissionTime(nav.tow, nav.toe), SPARE, SPARE, SPARE);
    return n;
}

qint64 Rinex2xx::writeNGalFnav(const galileo_fnav_t &in)
{
    notePositionNavigation(in);
    File *file = navFile(FILE_GALILEO);
    if (!file) return 0;
    galileo_fnav_t nav = in;
    int toeWeek = 0;
    const int tocWeek = navTocWeek(nav.week + 1024, nav, &toeWeek);
    nav.week = (uint16_t)(toeWeek - 1024);
    char name[8];
    if (!navRecordWanted('E', nav.prn, NAV_GAL_FNAV, nav.toe, name)) return 0;
    struct tm *t = getTimeFromGpsWeekMs(tocWeek, (int)nav.toc * 1000);
    if (!t) return 0;
    noteNavigationEpoch(t);
    lastNavTime[NAV_GAL_FNAV][nav.prn] = nav.toe;
    const int health = ((nav.e5a_dvs & 1) << 3) | ((nav.e5a_hs & 3) << 4);
    qint64 n = writeTo(file, firstLine(nav.prn, t, nav.af0, nav.af1, nav.af2));
    n += printEmpheLine(file, nav.iodnav, nav.crs, nav.delta_n, nav.m0);
    n += printEmpheLine(file, nav.cuc, nav.e, nav.cus, nav.sqrt_a);
    n += printEmpheLine(file, nav.toe, nav.cic, nav.omega0, nav.cis);
    n += printEmpheLine(file, nav.i0, nav.crc, nav.omega, nav.omega_dot);
    n += printEmpheLine(file, nav.idot, 258, nav.week + 1024, SPARE);
    n += printEmpheLine(file, galileoSisaIndexToMeter(nav.sisa), health, nav.bgd_e5a, 0.0);
    n += printEmpheLine(file, transmissionTime(nav.tow, nav.toe), SPARE, SPARE, SPARE);
    return n;
}

qint64 Rinex2xx::writeNGlo(const glonass_nav_t &in)
{
    notePositionNavigation(in);
    File *file = navFile(FILE_GLONASS);
    if (!file) return 0;
    glonass_nav_t nav = in;
    char name[8];
    if (!navSatelliteAccepted('R', nav.slot, name)) return 0;
    glonass_channel_update(&glonassChannels, nav.slot, nav.frequency_channel);
    if (!dateGlonassRecord(&nav)) return 0;
    if (!navRecordWanted('R', nav.slot, NAV_GLONASS, nav.tb_time, name)) return 0;
    const time_t tb = (time_t)(nav.tb_time / 1000);
    struct tm tmv;
    if (!gmtime_r(&tb, &tmv)) return 0;
    noteNavigationEpoch(&tmv, true);
    lastNavTime[NAV_GLONASS][nav.slot] = nav.tb_time;
    // tk is Moscow time of day: UTC seconds of the day, never negative.
    const long frameTime = (((long)nav.tk - 10800) % 86400 + 86400) % 86400;
    qint64 n = writeTo(file, firstLine(nav.slot, &tmv, -nav.tau, nav.gamma, (double)frameTime));
    n += printEmpheLine(file, nav.x, nav.vx, nav.ax, (nav.bn >> 2) & 1);
    n += printEmpheLine(file, nav.y, nav.vy, nav.ay, nav.frequency_channel);
    n += printEmpheLine(file, nav.z, nav.vz, nav.az, nav.en);
    return n;
}

bool Rinex2xx::updateNHeader(QFile &file, const QByteArray &header)
{
    // 16 lines were reserved: at most 15 header lines, then "END OF HEADER".
    const int reserved = 16 * 82;
    if (!file.isOpen() || file.size() < 246) return false;
    const QDateTime now = QDateTime::currentDateTimeUtc();
    if (!now.isValid()) return false;
    QByteArray text;
    char line[256];
    snprintf(line, sizeof line, "     2.%02d%11s%-20s%-20s%-20s\r\n", versionMinor, "", header.left(20).constData(),
             "", "RINEX VERSION / TYPE");
    text += line;
    const QDate d = now.date();
    const QTime t = now.time();
    snprintf(line, sizeof line, "%-20s%-20s%04d%02d%02d %02d%02d%02d UTC %-20s\r\n", programName.constData(),
             runBy.constData(), d.year(), d.month(), d.day(), t.hour(), t.minute(), t.second(), "PGM / RUN BY / DATE");
    text += line;

    auto ion = [&](const char *label, const double *v) {
        char buf[96];
        const int n = printIon(buf, sizeof buf, label, v);
        text.append(buf, n);
    };
    auto leapLine = [&](int seconds) {
        snprintf(line, sizeof line, "%6d%54s%-20s", seconds, "", "LEAP SECONDS");
        text += QByteArray(line).leftJustified(80, ' ', true) + "\r\n";
    };
    const bool gps = fileLetters[FILE_GPS] && file.fileName().endsWith(QChar(fileLetters[FILE_GPS]));
    if (gps && gpsIonUtc.header.id != 0) {
        ion("ION ALPHA", gpsIonUtc.alpha);
        ion("ION BETA", gpsIonUtc.beta);
        leapLine(gpsIonUtc.dt_ls);
        char a[24], b[24];
        printExp(a, 19, 12, gpsIonUtc.a0);
        printExp(b, 19, 12, gpsIonUtc.a1);
        snprintf(line, sizeof line, "   %s%s%9u%9u %-20s", a, b, gpsIonUtc.tot, gpsIonUtc.utc_week,
                 "DELTA-UTC: A0,A1,T,W");
        text += QByteArray(line).leftJustified(80, ' ', true) + "\r\n";
    } else if (gps && hemisphereIonUtc.dtls != 0) {
        ion("ION ALPHA", hemisphereIonUtc.alpha);
        ion("ION BETA", hemisphereIonUtc.beta);
        leapLine(hemisphereIonUtc.dtls);
    } else if (leapSeconds != 99) {
        snprintf(line, sizeof line, "%6d%18sGPS%33s%-20s\r\n", leapSeconds, "", "", "LEAP SECONDS");
        text += line;
    }
    snprintf(line, sizeof line, "PARSER    = %-48s%-20s\r\n", gnssparser_version() + 11, "COMMENT");
    text += line;
    snprintf(line, sizeof line, "CONVERTER = %-48s%-20s\r\n", LIB_VERSION, "COMMENT");
    text += line;
    // Never past the reserved lines: the records follow them.
    if (text.size() > reserved - 82) text.truncate((reserved - 82) / 82 * 82);
    if (!file.seek(0) || file.write(text) != text.size()) {
        noteError(QString("cannot write %1: %2").arg(file.fileName(), file.errorString()));
        return false;
    }
    if (recordObserver) recordObserver->headerFinished(letterOf(file), false, text.constData(), (size_t)text.size());
    file.seek(file.size());
    return true;
}
