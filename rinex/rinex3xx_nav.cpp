// RINEX 3 navigation side: one record per new ephemeris of a satellite, the
// raw file of TSS frames, and the navigation header written at close.
#include <math.h>
#include <stdio.h>
#include <string.h>

#include <QDateTime>

#include "rinex3xx.h"
#include "util.h"

namespace {
// Record kinds of lastNavTime.
enum { NAV_BDS = 0, NAV_GAL_INAV = 1, NAV_GAL_FNAV = 2, NAV_GPS = 3, NAV_QZSS = 4, NAV_GLONASS = 5 };
// Elements of fileLetters.
enum { FILE_BDS = 1, FILE_GALILEO = 2, FILE_GPS = 3, FILE_QZSS = 4, FILE_GLONASS = 5, FILE_RAW = 6 };
} // namespace

Rinexxxx::File *Rinex3xx::navTarget(int fileIndex, char letter, int satellite, int kind, qint64 time, char *name)
{
    File *file = files.value(fileLetters[fileIndex]);
    if (!file || !file->isOpen()) return nullptr;
    return navRecordWanted(letter, satellite, kind, time, name) ? file : nullptr;
}

qint64 Rinex3xx::printEmpheLine(File *file, double a, double b, double c, double d)
{
    return writeOrbitLine(file, 4, a, b, c, d);
}

int Rinex3xx::printIon(char *buffer, int size, const char *label, const double values[4])
{
    if (size < 83) return 0;
    int n = snprintf(buffer, (size_t)size, "%s ", label);
    for (int i = 0; i < 4; i++) {
        printExp(buffer + n, 12, 4, values[i]);
        n += 12;
    }
    n += snprintf(buffer + n, (size_t)(size - n), "       %-20s\r\n", "IONOSPHERIC CORR");
    return n;
}

namespace {
QByteArray firstLine(const char *name, const struct tm *t, double a, double b, double c)
{
    char line[96];
    int n = snprintf(line, sizeof line, "%s %04d %02d %02d %02d %02d %02d", name, t->tm_year + 1900, t->tm_mon + 1,
                     t->tm_mday, t->tm_hour, t->tm_min, t->tm_sec);
    for (double v : {a, b, c}) {
        Rinexxxx::printExp(line + n, 19, 12, v);
        n += 19;
    }
    memcpy(line + n, "\r\n", 2);
    return QByteArray(line, n + 2);
}
} // namespace

double Rinex3xx::transmissionTime(int32_t tow, uint32_t toe, int gpsWeek, int timeOffset) const
{
    if (tow >= 0) {
        // Keep the transmission within half a week of its toe, whichever
        // side of the week end it fell.
        long d = (long)tow - (long)toe;
        if (d < -302400) return tow + 604800.0;
        if (d > 302400) return tow - 604800.0;
        return tow;
    }
    // Unknown: the time of the last written epoch, counted from the start of
    // the record's own week (which may already be the next one).
    if (lastWeek > 0) return (lastMs / 1000 - timeOffset) + (double)(lastWeek - gpsWeek) * 604800.0;
    return UNKNOWN_TRANSMISSION_TIME;
}

qint64 Rinex3xx::writeGpsLike(const gps_nav_t &in, bool qzss)
{
    if (in.iode != in.iode3) return 0; // subframes of two uploads
    gps_nav_t nav = in;
    int toeWeek = 0;
    const int tocWeek = navTocWeek(resolveGpsWeek(nav.week), nav, &toeWeek);
    nav.week = (uint16_t)toeWeek;
    char name[8];
    const int kind = qzss ? NAV_QZSS : NAV_GPS;
    File *file = navTarget(qzss ? FILE_QZSS : FILE_GPS, qzss ? 'J' : 'G', nav.prn, kind, nav.toe, name);
    if (!file) return 0;
    struct tm *t = getTimeFromGpsWeekMs(tocWeek, (int)nav.toc * 1000);
    if (!t) return 0;
    noteNavigationEpoch(t);
    lastNavTime[kind][nav.prn] = nav.toe;

    // QZSS as GPS: without a transmission time, the last epoch's time, or
    // before any epoch the "unknown" value (toe would claim a time the
    // message was never known to be sent at).
    const double tt = transmissionTime(nav.tow, nav.toe, nav.week, 0);
    qint64 n = writeTo(file, firstLine(name, t, nav.af0, nav.af1, nav.af2));
    n += printEmpheLine(file, nav.iode, nav.crs, nav.delta_n, nav.m0);
    n += printEmpheLine(file, nav.cuc, nav.e, nav.cus, nav.sqrt_a);
    n += printEmpheLine(file, nav.toe, nav.cic, nav.omega0, nav.cis);
    n += printEmpheLine(file, nav.i0, nav.crc, nav.omega, nav.omega_dot);
    n += printEmpheLine(file, nav.idot, nav.code_l2, nav.week, nav.l2p_flag);
    n += printEmpheLine(file, novatel_bds_gps_index_to_ura(nav.ura), nav.health, nav.tgd, nav.iodc);
    if (qzss)
        n += printEmpheLine(file, tt, nav.fit, SPARE, SPARE);
    else
        n += printEmpheLine(file, tt, versionMinor == 5 ? SPARE : gpsFitIntervalHours(nav.fit, nav.iodc), SPARE, SPARE);
    return n;
}

qint64 Rinex3xx::writeNGps(const gps_nav_t &nav)
{
    notePositionNavigation(nav, 'G');
    return writeGpsLike(nav, false);
}

qint64 Rinex3xx::writeNQzs(const gps_nav_t &nav)
{
    notePositionNavigation(nav, 'J');
    return writeGpsLike(nav, true);
}

qint64 Rinex3xx::writeNBds(const bd2_nav_t &in)
{
    notePositionNavigation(in);
    bd2_nav_t nav = in;
    int toeWeek = 0;
    const int tocWeek = navTocWeek(nav.week + 1356, nav, &toeWeek);
    nav.week = (uint16_t)(toeWeek - 1356);
    char name[8];
    File *file = navTarget(FILE_BDS, 'C', nav.prn, NAV_BDS, nav.toe, name);
    if (!file) return 0;
    struct tm *t = getTimeFromGpsWeekMs(tocWeek, (int)nav.toc * 1000);
    if (!t) return 0;
    noteNavigationEpoch(t);
    lastNavTime[NAV_BDS][nav.prn] = nav.toe;
    // BDS time runs 14 s behind GPS time.
    double tt = transmissionTime(nav.tow, nav.toe, nav.week + 1356, 14);
    qint64 n = writeTo(file, firstLine(name, t, nav.a0, nav.a1, nav.a2));
    n += printEmpheLine(file, nav.aode, nav.crs, nav.delta_n, nav.m0);
    n += printEmpheLine(file, nav.cuc, nav.e, nav.cus, nav.sqrt_a);
    n += printEmpheLine(file, nav.toe, nav.cic, nav.omega0, nav.cis);
    n += printEmpheLine(file, nav.i0, nav.crc, nav.omega, nav.omega_dot);
    n += printEmpheLine(file, nav.idot, SPARE, nav.week, SPARE);
    n += printEmpheLine(file, novatel_bds_gps_index_to_ura(nav.ura), nav.health, nav.tgd1, nav.tgd2);
    n += printEmpheLine(file, tt, nav.aodc, SPARE, SPARE);
    return n;
}

qint64 Rinex3xx::writeNGalInav(const galileo_inav_t &in)
{
    notePositionNavigation(in);
    galileo_inav_t nav = in;
    int toeWeek = 0;
    const int tocWeek = navTocWeek(nav.week + 1024, nav, &toeWeek);
    nav.week = (uint16_t)(toeWeek - 1024);
    char name[8];
    File *file = navTarget(FILE_GALILEO, 'E', nav.prn, NAV_GAL_INAV, nav.toe, name);
    if (!file) return 0;
    const int w = nav.week + 1024;
    struct tm *t = getTimeFromGpsWeekMs(tocWeek, (int)nav.toc * 1000);
    if (!t) return 0;
    noteNavigationEpoch(t);
    lastNavTime[NAV_GAL_INAV][nav.prn] = nav.toe;
    // A source that does not say which signal carried the record is taken
    // as both, so that the health and BGD fields read as valid, as they are.
    const double sources = galileoInavSources(nav.source);
    int health = (nav.e1b_dvs & 1) | ((nav.e1b_hs * 2) & 6) | ((nav.e5b_dvs & 1) << 6) | ((nav.e5b_hs & 3) << 7);
    qint64 n = writeTo(file, firstLine(name, t, nav.af0, nav.af1, nav.af2));
    n += printEmpheLine(file, nav.iodnav, nav.crs, nav.delta_n, nav.m0);
    n += printEmpheLine(file, nav.cuc, nav.e, nav.cus, nav.sqrt_a);
    n += printEmpheLine(file, nav.toe, nav.cic, nav.omega0, nav.cis);
    n += printEmpheLine(file, nav.i0, nav.crc, nav.omega, nav.omega_dot);
    n += printEmpheLine(file, nav.idot, sources, w, SPARE);
    n += printEmpheLine(file, galileoSisaIndexToMeter(nav.sisa), health, nav.bgd_e5a, nav.bgd_e5b);
    n += printEmpheLine(file, transmissionTime(nav.tow, nav.toe, w, 0), SPARE, SPARE, SPARE);
    return n;
}

qint64 Rinex3xx::writeNGalFnav(const galileo_fnav_t &in)
{
    notePositionNavigation(in);
    galileo_fnav_t nav = in;
    int toeWeek = 0;
    const int tocWeek = navTocWeek(nav.week + 1024, nav, &toeWeek);
    nav.week = (uint16_t)(toeWeek - 1024);
    char name[8];
    File *file = navTarget(FILE_GALILEO, 'E', nav.prn, NAV_GAL_FNAV, nav.toe, name);
    if (!file) return 0;
    const int w = nav.week + 1024;
    struct tm *t = getTimeFromGpsWeekMs(tocWeek, (int)nav.toc * 1000);
    if (!t) return 0;
    noteNavigationEpoch(t);
    lastNavTime[NAV_GAL_FNAV][nav.prn] = nav.toe;
    int health = ((nav.e5a_dvs & 1) << 3) | ((nav.e5a_hs & 3) << 4);
    qint64 n = writeTo(file, firstLine(name, t, nav.af0, nav.af1, nav.af2));
    n += printEmpheLine(file, nav.iodnav, nav.crs, nav.delta_n, nav.m0);
    n += printEmpheLine(file, nav.cuc, nav.e, nav.cus, nav.sqrt_a);
    n += printEmpheLine(file, nav.toe, nav.cic, nav.omega0, nav.cis);
    n += printEmpheLine(file, nav.i0, nav.crc, nav.omega, nav.omega_dot);
    n += printEmpheLine(file, nav.idot, 258, w, SPARE);
    n += printEmpheLine(file, galileoSisaIndexToMeter(nav.sisa), health, nav.bgd_e5a, 0.0);
    n += printEmpheLine(file, transmissionTime(nav.tow, nav.toe, w, 0), SPARE, SPARE, SPARE);
    return n;
}

qint64 Rinex3xx::writeNGlo(const glonass_nav_t &in)
{
    notePositionNavigation(in);
    glonass_nav_t nav = in;
    File *file = files.value(fileLetters[FILE_GLONASS]);
    char name[8];
    if (!file || !file->isOpen() || !navSatelliteAccepted('R', nav.slot, name)) return 0;
    glonass_channel_update(&glonassChannels, nav.slot, nav.frequency_channel);
    if (!dateGlonassRecord(&nav)) return 0;
    if (!navTarget(FILE_GLONASS, 'R', nav.slot, NAV_GLONASS, nav.tb_time, name)) return 0;
    time_t tb = (time_t)(nav.tb_time / 1000);
    struct tm tmv;
    if (!gmtime_r(&tb, &tmv)) return 0;
    noteNavigationEpoch(&tmv, true);
    lastNavTime[NAV_GLONASS][nav.slot] = nav.tb_time;
    int32_t week = 0, msOfWeek = 0;
    util_epoch_to_gps_time(nav.tk_time, &week, &msOfWeek);
    qint64 n = writeTo(file, firstLine(name, &tmv, -nav.tau, nav.gamma, (double)(msOfWeek / 1000)));
    n += printEmpheLine(file, nav.x, nav.vx, nav.ax, (nav.bn >> 2) & 1);
    n += printEmpheLine(file, nav.y, nav.vy, nav.ay, nav.frequency_channel);
    n += printEmpheLine(file, nav.z, nav.vz, nav.az, nav.en);
    if (versionMinor == 5) {
        int flags = (nav.p & 3) | (nav.p1 << 2) | ((nav.p2 << 4) & 16) | ((nav.p3 << 5) & 32) | ((nav.p4 << 6) & 64) |
                    ((nav.m << 7) & 384);
        n += printEmpheLine(file, flags, nav.delta_tau, nav.ft, SPARE);
    }
    return n;
}

qint64 Rinex3xx::writeNTss(const uint8_t *data, int length)
{
    File *file = files.value(fileLetters[FILE_RAW]);
    if (!file || length < 1) return 0;
    if (!file->isOpen() && !file->open()) {
        noteError(QString("cannot create %1: %2").arg(file->path(), file->qfile().errorString()));
        return 0;
    }
    return writeTo(file, QByteArray(reinterpret_cast<const char *>(data), length));
}

bool Rinex3xx::updateNHeader(QFile &file, const QByteArray &header)
{
    // 16 lines were reserved: 15 header lines and "END OF HEADER".
    const qint64 reserved = 16 * 82;
    if (!file.isOpen() || file.size() < 246) return false;
    QDateTime now = QDateTime::currentDateTimeUtc();
    if (!now.isValid()) return false;
    QByteArray text;
    char line[256];
    snprintf(line, sizeof line, "     3.%02d%11s%-20s%-20s%-20s\r\n", versionMinor, "", "NAVIGATION DATA",
             header.constData(), "RINEX VERSION / TYPE");
    text += line;
    QDate d = now.date();
    QTime t = now.time();
    snprintf(line, sizeof line, "%-20s%-20s%04d%02d%02d %02d%02d%02d UTC %-20s\r\n", programName.constData(),
             runBy.constData(), d.year(), d.month(), d.day(), t.hour(), t.minute(), t.second(), "PGM / RUN BY / DATE");
    text += line;

    const QString path = file.fileName();
    const bool g = path.endsWith(QChar(fileLetters[FILE_GPS]));
    const bool b = path.endsWith(QChar(fileLetters[FILE_BDS]));
    const bool haveGps = gpsIonUtc.header.id != 0;
    const bool haveHemi = hemisphereIonUtc.dtls != 0;
    const bool haveBdsUtc = bdsIonUtc.header.id != 0;
    const bool haveBdsIono = bdsIono.header.id != 0;
    auto ion = [&](const char *label, const double *v) {
        char buf[128];
        int n = printIon(buf, sizeof buf, label, v);
        text.append(buf, n);
    };
    auto leapLine = [&](int dtls, int dtlsf, int week, int day, const char *sys) {
        snprintf(line, sizeof line, "%6d%6d%6d%6d%s%33s%-20s\r\n", dtls, dtlsf, week, day, sys, "", "LEAP SECONDS");
        text += QByteArray(line).left(82);
    };
    if (g && (haveGps || haveHemi)) {
        if (haveGps) {
            ion("GPSA", gpsIonUtc.alpha);
            ion("GPSB", gpsIonUtc.beta);
            leapLine(gpsIonUtc.dt_ls, gpsIonUtc.dt_lsf, (int)gpsIonUtc.week_lsf, (int)gpsIonUtc.day, "GPS");
        } else {
            ion("GPSA", hemisphereIonUtc.alpha);
            ion("GPSB", hemisphereIonUtc.beta);
            leapLine(hemisphereIonUtc.dtls, hemisphereIonUtc.dtlsf, hemisphereIonUtc.wnlsf, hemisphereIonUtc.dn, "GPS");
        }
        if (b) {
            if (haveBdsUtc) {
                ion("BDSA", bdsIonUtc.alpha);
                ion("BDSB", bdsIonUtc.beta);
            } else if (haveBdsIono) {
                ion("BDSA", bdsIono.alpha);
                ion("BDSB", bdsIono.beta);
            }
        }
    } else if (haveBdsUtc) {
        ion("BDSA", bdsIonUtc.alpha);
        ion("BDSB", bdsIonUtc.beta);
        leapLine(bdsIonUtc.dt_ls, bdsIonUtc.dt_lsf, (int)bdsIonUtc.week_lsf, (int)bdsIonUtc.day, "BDS");
    } else {
        if (haveBdsIono) {
            ion("BDSA", bdsIono.alpha);
            ion("BDSB", bdsIono.beta);
        }
        if (leapSeconds != 99) {
            snprintf(line, sizeof line, "%6d%18sGPS%33s%-20s\r\n", leapSeconds, "", "", "LEAP SECONDS");
            text += line;
        }
    }
    snprintf(line, sizeof line, "PARSER    = %-48s%-20s\r\n", gnssparser_version() + 11, "COMMENT");
    text += line;
    snprintf(line, sizeof line, "CONVERTER = %-48s%-20s\r\n", LIB_VERSION, "COMMENT");
    text += line;
    // Never past the reserved lines: the records follow them.
    if (text.size() > reserved - 82) text.truncate((int)(reserved - 82) / 82 * 82);
    if (!file.seek(0) || file.write(text) != text.size()) {
        noteError(QString("cannot write %1: %2").arg(path, file.errorString()));
        return false;
    }
    if (recordObserver) recordObserver->headerFinished(letterOf(file), false, text.constData(), (size_t)text.size());
    file.seek(file.size());
    return true;
}
