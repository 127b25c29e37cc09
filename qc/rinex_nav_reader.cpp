#include "rinex_nav_reader.h"

#include <cmath>
#include <cstring>

#include "rinex_text.h"

namespace qc {

namespace {

const double kWeek = 604800.0;

// Seconds of the week of a time counted from the start of week 0.
double secondsOfWeek(double t)
{
    return t - std::floor(t / kWeek) * kWeek;
}

// One record: the satellite, its epoch (seconds since 1980-01-06 on the
// calendar as written) and its values, three on the first line and four on
// each further line (values of blank fields 0, as a missing value means).
struct Record {
    char system = 0;
    int prn = 0;
    GpsSeconds epoch = 0;
    std::vector<double> values;
    bool ok = true;
};

void readFour(const std::string &line, size_t from, int count, Record *r)
{
    for (int k = 0; k < count; k++) {
        double v = 0;
        size_t at = from + 19 * size_t(k);
        if (!number(line, at, 19, &v) && !field(line, at, 19).empty()) r->ok = false;
        r->values.push_back(v);
    }
}

bool startsRecord(const std::string &line, bool rinex3)
{
    if (line.empty()) return false;
    if (rinex3) return line[0] != ' ';
    return line.size() > 2 && (line[0] != ' ' || line[1] != ' ');
}

// Broadcast orbit lines 1-4, laid out alike for GPS, QZSS, Galileo and BDS.
template <typename T> void keplerOrbit(const std::vector<double> &v, T *n)
{
    n->crs = v[4];
    n->delta_n = v[5];
    n->m0 = v[6];
    n->cuc = v[7];
    n->e = v[8];
    n->cus = v[9];
    n->sqrt_a = v[10];
    n->toe = uint32_t(std::lround(v[11]));
    n->cic = v[12];
    n->omega0 = v[13];
    n->cis = v[14];
    n->i0 = v[15];
    n->crc = v[16];
    n->omega = v[17];
    n->omega_dot = v[18];
    n->idot = v[19];
}

gps_nav_t gpsRecord(const Record &r)
{
    gps_nav_t n;
    std::memset(&n, 0, sizeof n);
    const std::vector<double> &v = r.values;
    n.prn = uint8_t(r.prn);
    n.af0 = v[0];
    n.af1 = v[1];
    n.af2 = v[2];
    n.iode = n.iode3 = uint8_t(int(v[3]) & 0xff);
    keplerOrbit(v, &n);
    n.code_l2 = uint8_t(int(v[20]) & 3);
    n.week = uint16_t(std::lround(v[21]));
    if (n.week < 1024 && r.epoch > 1024 * kWeek) n.week = uint16_t(n.week + 1024 * int(r.epoch / (1024 * kWeek)));
    n.l2p_flag = uint8_t(int(v[22]) & 1);
    n.ura = uint8_t(uraIndex(v[23]));
    n.health = uint8_t(int(v[24]) & 0x3f);
    n.tgd = v[25];
    n.iodc = uint16_t(int(v[26]) & 0x3ff);
    n.tow = std::fabs(v[27]) < 2 * kWeek ? int32_t(std::lround(v[27])) : -1;
    n.fit = v[28] > 4 ? 1 : 0;
    n.toc = uint32_t(std::lround(secondsOfWeek(r.epoch)));
    n.week_of_toe = 1;
    return n;
}

bd2_nav_t bdsRecord(const Record &r)
{
    bd2_nav_t n;
    std::memset(&n, 0, sizeof n);
    const std::vector<double> &v = r.values;
    n.prn = uint8_t(r.prn);
    n.a0 = v[0];
    n.a1 = v[1];
    n.a2 = v[2];
    n.aode = uint8_t(int(v[3]) & 0x1f);
    keplerOrbit(v, &n);
    n.week = uint16_t(std::lround(v[21]));
    n.ura = uint8_t(uraIndex(v[23]));
    n.health = uint8_t(int(v[24]) & 1);
    n.tgd1 = v[25];
    n.tgd2 = v[26];
    n.tow = std::fabs(v[27]) < 2 * kWeek ? int32_t(std::lround(v[27])) : -1;
    n.aodc = uint8_t(int(v[28]) & 0x1f);
    // The epoch is BDS time on the calendar; BDS week 0 began 2006-01-01.
    n.toc = uint32_t(std::lround(secondsOfWeek(r.epoch - calendarSeconds(2006, 1, 1, 0, 0, 0))));
    n.week_of_toe = 1;
    return n;
}

template <typename T> void galileoCommon(const Record &r, T *n)
{
    const std::vector<double> &v = r.values;
    n->prn = uint8_t(r.prn);
    n->af0 = v[0];
    n->af1 = v[1];
    n->af2 = v[2];
    n->iodnav = uint16_t(int(v[3]) & 0x3ff);
    keplerOrbit(v, n);
    // RINEX counts Galileo weeks on the GPS week count.
    n->week = uint16_t((long(std::lround(v[21])) - 1024) & 0xfff);
    n->sisa = uint8_t(sisaIndex(v[23]));
    n->bgd_e5a = v[25];
    n->tow = std::fabs(v[27]) < 2 * kWeek ? int32_t(std::lround(v[27])) : -1;
    n->toc = uint32_t(std::lround(secondsOfWeek(r.epoch)));
    n->week_of_toe = 1;
}

glonass_nav_t glonassRecord(const Record &r, bool rinex3)
{
    glonass_nav_t n;
    std::memset(&n, 0, sizeof n);
    const std::vector<double> &v = r.values;
    n.slot = uint8_t(r.prn);
    n.tau = -v[0];
    n.gamma = v[1];
    n.x = v[3];
    n.vx = v[4];
    n.ax = v[5];
    n.bn = v[6] != 0 ? 4 : 0;
    n.y = v[7];
    n.vy = v[8];
    n.ay = v[9];
    int channel = int(std::lround(v[10]));
    n.frequency_channel = int8_t(channel >= -7 && channel <= 13 ? channel : GLONASS_CHANNEL_UNKNOWN);
    n.z = v[11];
    n.vz = v[12];
    n.az = v[13];
    n.en = uint8_t(int(v[14]) & 0x1f);
    // The epoch is UTC on the calendar; tb and tk count seconds of the
    // Moscow day (UTC + 3 h). The frame time is of the UTC week in RINEX 3,
    // of the UTC day in RINEX 2.
    const double utcDay = std::fmod(r.epoch, 86400.0);
    n.tb = uint32_t(std::lround(std::fmod(utcDay + 10800.0, 86400.0)));
    double tk = rinex3 ? std::fmod(v[2], 86400.0) : v[2];
    if (tk < 0) tk += 86400.0;
    n.tk = uint32_t(std::lround(std::fmod(tk + 10800.0, 86400.0)));
    const int64_t utcMs = int64_t(std::llround((r.epoch + 3657.0 * 86400.0) * 1000.0));
    glonass_nav_update_utc_near(&n, utcMs);
    return n;
}

} // namespace

int uraIndex(double metres)
{
    static const double bound[15] = {2.4, 3.4, 4.85, 6.85, 9.65, 13.65, 24, 48, 96, 192, 384, 768, 1536, 3072, 6144};
    for (int i = 0; i < 15; i++)
        if (metres <= bound[i]) return i;
    return 15;
}

int sisaIndex(double metres)
{
    if (!(metres >= 0) || metres > 6.0 + 1e-9) return 255;
    if (metres < 0.5) return int(std::lround(metres / 0.01));
    if (metres < 1.0) return 50 + int(std::lround((metres - 0.5) / 0.02));
    if (metres < 2.0) return 75 + int(std::lround((metres - 1.0) / 0.04));
    return 100 + int(std::lround((metres - 2.0) / 0.16));
}

char rinexFileKind(const std::string &path)
{
    LineReader in;
    std::string line;
    if (!in.open(path, nullptr) || !in.next(&line) || headerLabel(line) != "RINEX VERSION / TYPE" || line.size() < 21)
        return 0;
    char type = line[20];
    if (type == 'O') return 'O';
    if (std::strchr("NGHLEC", type)) return 'N';
    return 0;
}

namespace {
bool readNavigation(LineReader &in, const std::string &path, NavRecords *out, std::string *error);
}

bool readNavigation(const std::string &path, NavRecords *out, std::string *error)
{
    LineReader in;
    if (!in.open(path, error)) return false;
    return readNavigation(in, path, out, error);
}

bool readNavigationText(const std::string &text, const std::string &name, NavRecords *out, std::string *error)
{
    LineReader in;
    in.openText(text.data(), text.size());
    return readNavigation(in, name, out, error);
}

namespace {

bool readNavigation(LineReader &in, const std::string &path, NavRecords *out, std::string *error)
{
    std::string line;
    double version = 0;
    if (!in.next(&line) || headerLabel(line) != "RINEX VERSION / TYPE" || !number(line, 0, 9, &version) ||
        line.size() < 21) {
        *error = path + (in.failed() ? ": cannot be read" : ": not a RINEX file");
        return false;
    }
    const char type = line[20];
    if (!std::strchr("NGHLEC", type)) {
        *error = path + ": not a RINEX navigation file";
        return false;
    }
    if (version < 2 || version >= 4) {
        *error = path + ": RINEX version " + field(line, 0, 9) + " is not read";
        return false;
    }
    const bool rinex3 = version >= 3;
    // RINEX 2 files hold one system, named by the file type.
    char fileSystem = 'G';
    if (!rinex3) {
        switch (type) {
        case 'G': fileSystem = 'R'; break;
        case 'H': fileSystem = 'S'; break;
        case 'L':
        case 'E': fileSystem = 'E'; break;
        case 'C': fileSystem = 'C'; break;
        }
    }
    bool end = false, haveAlpha = false, haveBeta = false;
    while (in.next(&line)) {
        const std::string label = headerLabel(line);
        if (label == "END OF HEADER") {
            end = true;
            break;
        }
        if (label == "IONOSPHERIC CORR" || label == "ION ALPHA" || label == "ION BETA") {
            const std::string name = label == "IONOSPHERIC CORR" ? field(line, 0, 4) : label;
            double *target = nullptr;
            if (name == "GPSA" || name == "ION ALPHA") target = out->iono.alpha;
            else if (name == "GPSB" || name == "ION BETA") target = out->iono.beta;
            const size_t from = label == "IONOSPHERIC CORR" ? 5 : 2;
            bool all = target != nullptr;
            double values[4] = {0, 0, 0, 0};
            for (int k = 0; k < 4 && all; k++) all = number(line, from + 12 * size_t(k), 12, &values[k]);
            if (all) {
                for (int k = 0; k < 4; k++) target[k] = values[k];
                (target == out->iono.alpha ? haveAlpha : haveBeta) = true;
            }
        } else if (label == "LEAP SECONDS") {
            int v;
            if (integer(line, 0, 6, &v)) out->leap_seconds = v + leapSecondsBase(line);
        }
    }
    if (!end) {
        *error = path + ": no \"END OF HEADER\"";
        return false;
    }
    // The ionosphere counts only with both of its lines.
    if (haveAlpha && haveBeta) out->iono.known = true;

    bool pending = in.next(&line);
    while (pending) {
        if (!startsRecord(line, rinex3)) {
            if (!field(line, 0, 80).empty()) {
                out->skipped_records++;
                out->unread_records++;
            }
            pending = in.next(&line);
            continue;
        }
        Record r;
        int year, month, day, hour, minute;
        double second;
        if (rinex3) {
            r.system = line[0];
            r.ok = integer(line, 1, 2, &r.prn) && integer(line, 3, 5, &year) && integer(line, 8, 3, &month) &&
                   integer(line, 11, 3, &day) && integer(line, 14, 3, &hour) && integer(line, 17, 3, &minute) &&
                   number(line, 20, 3, &second);
            readFour(line, 23, 3, &r);
        } else {
            r.system = fileSystem;
            r.ok = integer(line, 0, 2, &r.prn) && integer(line, 2, 3, &year) && integer(line, 5, 3, &month) &&
                   integer(line, 8, 3, &day) && integer(line, 11, 3, &hour) && integer(line, 14, 3, &minute) &&
                   number(line, 17, 5, &second);
            if (r.ok) year += year < 80 ? 2000 : 1900;
            readFour(line, 22, 3, &r);
        }
        while ((pending = in.next(&line)) && !startsRecord(line, rinex3)) readFour(line, rinex3 ? 4 : 3, 4, &r);
        if (!r.ok || month < 1 || month > 12 || day < 1 || day > 31 || r.prn < 1) {
            out->skipped_records++;
            if (r.system && std::strchr("GJCER", r.system)) out->unread_records++;
            continue;
        }
        r.epoch = calendarSeconds(year, month, day, hour, minute, second);
        const size_t n = r.values.size();
        switch (r.system) {
        case 'G':
        case 'J':
            if (n < 29) break;
            out->gps.push_back({r.system, gpsRecord(r)});
            continue;
        case 'C':
            if (n < 29) break;
            out->bds.push_back(bdsRecord(r));
            continue;
        case 'E': {
            if (n < 28) break;
            const int sources = int(r.values[20]);
            const int health = int(r.values[24]);
            if (sources & 2) {
                galileo_fnav_t f;
                std::memset(&f, 0, sizeof f);
                galileoCommon(r, &f);
                f.e5a_dvs = uint8_t((health >> 3) & 1);
                f.e5a_hs = uint8_t((health >> 4) & 3);
                out->galileo_fnav.push_back(f);
            } else {
                galileo_inav_t i;
                std::memset(&i, 0, sizeof i);
                galileoCommon(r, &i);
                i.source = uint8_t(((sources & 1) ? 1 : 0) | ((sources & 4) ? 2 : 0));
                i.e1b_dvs = uint8_t(health & 1);
                i.e1b_hs = uint8_t((health >> 1) & 3);
                i.e5b_dvs = uint8_t((health >> 6) & 1);
                i.e5b_hs = uint8_t((health >> 7) & 3);
                i.bgd_e5b = r.values[26];
                out->galileo_inav.push_back(i);
            }
            continue;
        }
        case 'R':
            if (n < 15) break;
            out->glonass.push_back(glonassRecord(r, rinex3));
            continue;
        }
        out->skipped_records++;
        // A record of a system read that is too short (the file may end
        // inside it) is missing from the geometry.
        if (r.system && std::strchr("GJCER", r.system)) out->unread_records++;
    }
    if (in.failed()) {
        *error = path + ": read error at line " + std::to_string(in.lineNumber());
        return false;
    }
    return true;
}

} // namespace

} // namespace qc
