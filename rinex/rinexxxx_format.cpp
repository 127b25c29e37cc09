// RINEX number and time formatting: the FORTRAN D format of navigation
// files, the F14.3 observation field, the period codes of long file names,
// GPS calendar time, the header position and the Galileo SISA scale.
#include <math.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include "rinexxxx.h"
#include "util.h"

int Rinexxxx::printExp(char *destination, int width, int precision, double value)
{
    const int pad = width - precision - 7;
    if (precision < 0 || pad < 0 || precision > 64) return 0;
    // Broadcast parameters arrive as raw doubles with a good CRC; a value that
    // is not a number or too large for a two-digit exponent has no D-format
    // text of this width, so its field stays blank.
    double a = fabs(value);
    if (!isfinite(value) || a >= 1e99) {
        memset(destination, ' ', (size_t)width);
        destination[width] = 0;
        return width;
    }
    int e = 0;
    if (a >= 1.0) {
        while (a >= 1.0 && e < 99) {
            a /= 10.0;
            e++;
        }
    } else {
        while (a < 0.1) {
            a *= 10.0;
            e--;
            if (e <= -99) {
                a = 0.0;
                e = 0;
                break;
            }
        }
    }
    char mantissa[80];
    int n = snprintf(mantissa, sizeof mantissa, "%.*f", precision, a);
    if (n != precision + 2) return 0; // cannot happen for 0 <= a < 10
    char *p = destination;
    memset(p, ' ', (size_t)pad);
    p += pad;
    char *sign = p;
    *p++ = value < 0 ? '-' : ' ';
    memcpy(p, mantissa, (size_t)n);
    p += n;
    *p++ = 'D';
    *p++ = e >= 0 ? '+' : '-';
    int ae = e < 0 ? -e : e;
    *p++ = (char)('0' + ae / 10);
    *p++ = (char)('0' + ae % 10);
    *p = 0;
    // No leading zero: the sign moves into its place.
    if (sign[1] == '0') {
        sign[1] = sign[0];
        sign[0] = ' ';
    }
    return width;
}

int Rinexxxx::sprintObs(char *destination, double value, char lli, char ssi)
{
    char *d = destination;
    double scaled = fabs(value) * 1000.0 + 0.5;
    if (!(scaled < 9.0e18)) {
        // Not a number, or beyond any field: leave the value blank.
        memset(d, ' ', 14);
    } else {
        uint64_t n = (uint64_t)scaled;
        uint64_t frac = n % 1000, ip = n / 1000;
        d[10] = '.';
        d[13] = (char)('0' + frac % 10);
        d[12] = (char)('0' + frac / 10 % 10);
        d[11] = (char)('0' + frac / 100);
        int pos = 9;
        d[pos--] = (char)('0' + ip % 10);
        ip /= 10;
        while (ip > 0 && pos >= 1) {
            d[pos--] = (char)('0' + ip % 10);
            ip /= 10;
        }
        if (ip > 0 && value > 0 && ip < 10) {
            // Ten digits fill the field when no sign is needed.
            d[0] = (char)('0' + ip);
        } else if (ip > 0) {
            // Too wide for F14.3: a blank is honest, cut digits are not.
            memset(d, ' ', 14);
        } else {
            // A value that rounds to zero has no sign: "-0.000" would not
            // survive compression and means nothing.
            d[pos] = value < 0 && n != 0 ? '-' : ' ';
            while (--pos >= 0) d[pos] = ' ';
        }
    }
    d[14] = lli;
    d[15] = ssi;
    d[16] = 0;
    return 16;
}

void Rinexxxx::printMs(char *destination, qint64 ms)
{
    // Spans are 64-bit: a log over 24.8 days must not wrap.
    if (ms <= 10)
        snprintf(destination, 4, "01C");
    else if (ms < 1000)
        snprintf(destination, 4, "%02dZ", (int)(1000 / ms));
    else if (ms < 60000)
        snprintf(destination, 4, "%02dS", (int)(ms / 1000));
    else if (ms < 3600000)
        snprintf(destination, 4, "%02dM", (int)(ms / 60000));
    else if (ms < 86400000)
        snprintf(destination, 4, "%02dH", (int)(ms / 3600000));
    else if (ms < 1814400000LL)
        snprintf(destination, 4, "%02dD", (int)(ms / 86400000));
    else
        snprintf(destination, 4, "00U");
}

struct tm *Rinexxxx::getTimeFromGpsWeekMs(int week, int ms)
{
    // One record per thread: conversions may run side by side.
    static thread_local struct tm result;
    time_t t = (time_t)(util_gps_time_to_epoch(week, ms) / 1000);
    return gmtime_r(&t, &result);
}

void Rinexxxx::setXyzByBlh(double xyz[3], double latitude, double longitude, double height)
{
    const long double toRad = 0.017453292519943334L;
    const long double a = 6378137.0L;
    const long double f = 1.0L / 298.257223563L;
    const long double e2 = 2.0L * f - f * f;
    long double b = latitude * toRad, l = longitude * toRad, h = height;
    long double sb = sinl(b), cb = cosl(b);
    long double n = a / sqrtl(1.0L - e2 * sb * sb);
    xyz[0] = (double)((n + h) * cb * cosl(l));
    xyz[1] = (double)((n + h) * cb * sinl(l));
    xyz[2] = (double)((n * (1.0L - e2) + h) * sb);
}

int Rinexxxx::galileoInavSources(uint8_t source)
{
    const int via = (source & 3) ? source : 3;
    return 512 + (via & 1) + ((via & 2) ? 4 : 0);
}

double Rinexxxx::galileoSisaIndexToMeter(uint8_t index)
{
    if (index < 50) return index * 0.01;
    if (index < 75) return 0.5 + (index - 50) * 0.02;
    if (index < 100) return 1.0 + (index - 75) * 0.04;
    if (index < 126) return 2.0 + (index - 100) * 0.16;
    if (index < 255) return SPARE;
    return -1.0;
}

void Rinexxxx::appendHeaderLine(QByteArray &text, const char *line)
{
    QByteArray l(line);
    if (l.endsWith("\r\n")) l.chop(2);
    text += l.leftJustified(80, ' ', true);
    text += "\r\n";
}

bool Rinexxxx::approxPositionXyz(double xyz[3]) const
{
    xyz[0] = xyz[1] = xyz[2] = 0;
    if (phaseCenterGiven)
        setXyzByBlh(xyz, phaseCenterBlh[0], phaseCenterBlh[1], phaseCenterBlh[2] - antennaHen[0]);
    else if (approxBlh[0] != 0 || approxBlh[1] != 0)
        setXyzByBlh(xyz, approxBlh[0], approxBlh[1], approxBlh[2] - antennaHen[0]);
    else
        return computedMarkerPosition(xyz);
    // The cosine of 90 degrees in radians is a hair off zero: a coordinate
    // that rounds to zero is written as 0.0000, never -0.0000.
    for (int i = 0; i < 3; i++)
        if (fabs(xyz[i]) < 0.00005) xyz[i] = 0;
    return false;
}

qint64 Rinexxxx::writeOrbitLine(File *file, int indent, double a, double b, double c, double d)
{
    char line[96];
    char *p = line;
    memset(p, ' ', (size_t)indent);
    p += indent;
    for (double v : {a, b, c, d}) {
        if (v == SPARE)
            memset(p, ' ', 19);
        else
            printExp(p, 19, 12, v);
        p += 19;
    }
    memcpy(p, "\r\n", 2);
    p += 2;
    return writeTo(file, QByteArray(line, (int)(p - line)));
}
