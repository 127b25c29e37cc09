#include "rinex_text.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <zlib.h>

namespace qc {

LineReader::~LineReader()
{
    if (m_file) gzclose(static_cast<gzFile>(m_file));
}

bool LineReader::open(const std::string &path, std::string *error)
{
    // gzopen reads a file that is not gzipped as it stands.
    gzFile f = gzopen(path.c_str(), "rb");
    if (!f) {
        if (error) *error = "cannot open " + path + ": " + std::strerror(errno ? errno : ENOENT);
        return false;
    }
    gzbuffer(f, 1 << 17);
    m_file = f;
    return true;
}

void LineReader::openText(const char *data, size_t size)
{
    m_text = data;
    m_textSize = size;
    m_textAt = 0;
}

bool LineReader::next(std::string *line)
{
    line->clear();
    if (m_text) {
        if (m_textAt >= m_textSize) return false;
        const char *from = m_text + m_textAt;
        const void *nl = std::memchr(from, '\n', m_textSize - m_textAt);
        const size_t n = nl ? size_t(static_cast<const char *>(nl) - from) : m_textSize - m_textAt;
        line->assign(from, n);
        m_textAt += nl ? n + 1 : n;
        while (!line->empty() && line->back() == '\r') line->pop_back();
        m_line++;
        return true;
    }
    if (!m_file || m_failed) return false;
    gzFile f = static_cast<gzFile>(m_file);
    char buffer[4096];
    bool any = false;
    while (gzgets(f, buffer, sizeof buffer)) {
        any = true;
        size_t n = std::strlen(buffer);
        line->append(buffer, n);
        if (n > 0 && buffer[n - 1] == '\n') break;
    }
    if (!any) {
        int code = 0;
        gzerror(f, &code);
        if (code != Z_OK && code != Z_STREAM_END) m_failed = true;
        return false;
    }
    while (!line->empty() && (line->back() == '\n' || line->back() == '\r')) line->pop_back();
    m_line++;
    return true;
}

std::string field(const std::string &line, size_t from, size_t width)
{
    if (from >= line.size()) return std::string();
    size_t end = std::min(line.size(), from + width);
    while (from < end && (line[from] == ' ' || line[from] == '\t')) from++;
    while (end > from && (line[end - 1] == ' ' || line[end - 1] == '\t')) end--;
    return line.substr(from, end - from);
}

std::string headerLabel(const std::string &line)
{
    return field(line, 60, 20);
}

bool number(const std::string &line, size_t from, size_t width, double *out)
{
    if (from >= line.size()) return false;
    // Observation fields (F14.3 and the like) are read without strtod:
    // digits, a point, up to nine decimals. The integer of all digits divided
    // by the power of ten is the nearest double, as strtod would give.
    {
        const size_t end = std::min(line.size(), from + width);
        size_t i = from;
        while (i < end && line[i] == ' ') i++;
        bool negative = false;
        if (i < end && line[i] == '-') negative = true, i++;
        long long digits = 0;
        int integerDigits = 0, decimals = 0;
        bool point = false, plain = i < end;
        for (; i < end; i++) {
            const char c = line[i];
            if (c >= '0' && c <= '9') {
                digits = digits * 10 + (c - '0');
                if (point) decimals++;
                else integerDigits++;
            } else if (c == '.' && !point) {
                point = true;
            } else {
                plain = false;
                break;
            }
        }
        if (plain && integerDigits + decimals > 0 && integerDigits + decimals <= 15 && decimals <= 9) {
            static const double scale[10] = {1, 10, 100, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9};
            const double v = double(digits) / scale[decimals];
            *out = negative ? -v : v;
            return true;
        }
    }
    char buffer[64];
    size_t n = std::min(std::min(line.size() - from, width), sizeof buffer - 1);
    size_t k = 0;
    for (size_t i = 0; i < n; i++) {
        char c = line[from + i];
        if (c == ' ') continue;
        buffer[k++] = (c == 'D' || c == 'd') ? 'E' : c;
    }
    if (k == 0) return false;
    buffer[k] = 0;
    char *end = nullptr;
    double v = std::strtod(buffer, &end);
    if (end == buffer || *end != 0 || !std::isfinite(v)) return false;
    *out = v;
    return true;
}

bool integer(const std::string &line, size_t from, size_t width, int *out)
{
    double v;
    if (!number(line, from, width, &v) || v != std::floor(v) || std::fabs(v) > 2e9) return false;
    *out = int(v);
    return true;
}

namespace {

// Days since 1970-01-01 of a proleptic Gregorian date.
long daysFromCivil(long y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const long era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = unsigned(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + long(doe) - 719468;
}

void civilFromDays(long z, int *year, int *month, int *day)
{
    z += 719468;
    const long era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = unsigned(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long y = long(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned d = doy - (153 * mp + 2) / 5 + 1;
    const unsigned m = mp < 10 ? mp + 3 : mp - 9;
    *year = int(y + (m <= 2));
    *month = int(m);
    *day = int(d);
}

const long kGpsEpochDays = 3657; // 1980-01-06 counted from 1970-01-01

} // namespace

GpsSeconds calendarSeconds(int year, int month, int day, int hour, int minute, double second)
{
    long days = daysFromCivil(year, unsigned(month), unsigned(day)) - kGpsEpochDays;
    return double(days) * 86400.0 + hour * 3600.0 + minute * 60.0 + second;
}

void calendarOf(GpsSeconds t, int *year, int *month, int *day, int *hour, int *minute, double *second)
{
    // Milliseconds, so that 28.9999999 shows as 29.000 and not 28.1000.
    double ms = std::floor(t * 1000.0 + 0.5);
    double days = std::floor(ms / 86400000.0);
    double rest = ms - days * 86400000.0;
    civilFromDays(long(days) + kGpsEpochDays, year, month, day);
    *hour = int(rest / 3600000.0);
    rest -= *hour * 3600000.0;
    *minute = int(rest / 60000.0);
    rest -= *minute * 60000.0;
    *second = rest / 1000.0;
}

std::string formatTime(GpsSeconds t)
{
    int y, mo, d, h, mi;
    double s;
    calendarOf(t, &y, &mo, &d, &h, &mi, &s);
    char buffer[48];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%06.3f", y, mo, d, h, mi, s);
    return buffer;
}

int leapSecondsAt(GpsSeconds t)
{
    // The days (UTC) from which GPS - UTC took each value.
    static const struct { int y, m, d; } steps[] = {
        {1981, 7, 1}, {1982, 7, 1}, {1983, 7, 1}, {1985, 7, 1}, {1988, 1, 1}, {1990, 1, 1},
        {1991, 1, 1}, {1992, 7, 1}, {1993, 7, 1}, {1994, 7, 1}, {1996, 1, 1}, {1997, 7, 1},
        {1999, 1, 1}, {2006, 1, 1}, {2009, 1, 1}, {2012, 7, 1}, {2015, 7, 1}, {2017, 1, 1},
    };
    int leap = 0;
    for (const auto &s : steps) {
        if (t >= calendarSeconds(s.y, s.m, s.d, 0, 0, 0) + leap + 1) leap++;
        else break;
    }
    return leap;
}

int leapSecondsBase(const std::string &line)
{
    return field(line, 24, 3) == "BDS" ? 14 : 0;
}

double carrierFrequency(char system, char band, int glonassChannel)
{
    switch (system) {
    case 'G':
    case 'J':
    case 'S':
        switch (band) {
        case '1': return 1575.42e6;
        case '2': return 1227.60e6;
        case '5': return 1176.45e6;
        case '6': return 1278.75e6;
        }
        return 0;
    case 'E':
        switch (band) {
        case '1': return 1575.42e6;
        case '5': return 1176.45e6;
        case '7': return 1207.14e6;
        case '8': return 1191.795e6;
        case '6': return 1278.75e6;
        }
        return 0;
    case 'C':
        switch (band) {
        case '1': return 1575.42e6;
        case '2': return 1561.098e6;
        case '5': return 1176.45e6;
        case '7': return 1207.14e6;
        case '8': return 1191.795e6;
        case '6': return 1268.52e6;
        }
        return 0;
    case 'R':
        if (band == '3') return 1202.025e6;
        if (band == '4') return 1600.995e6;
        if (band == '6') return 1248.06e6;
        if (glonassChannel < -7 || glonassChannel > 13) return 0;
        if (band == '1') return 1602.0e6 + glonassChannel * 0.5625e6;
        if (band == '2') return 1246.0e6 + glonassChannel * 0.4375e6;
        return 0;
    case 'I':
        if (band == '5') return 1176.45e6;
        if (band == '9') return 2492.028e6;
        return 0;
    }
    return 0;
}

} // namespace qc
