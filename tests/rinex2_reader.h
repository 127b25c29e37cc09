// An independent RINEX 2 observation and navigation reader for tests, from
// the fixed columns of the RINEX 2.11 format description:
// - header lines: 60 columns of data, the label in columns 61-80;
// - "# / TYPES OF OBSERV": I6 count, then 9 x (4X,A2), continuation lines
//   with 6 blank columns;
// - epoch line: 1X,I2.2,4(1X,I2),F11.7,2X,I1,I3, then 12(A1,I2) satellites
//   from column 33; more satellites on continuation lines of 32 blanks;
// - observations: 5 x (F14.3,I1,I1) per line, one record per satellite;
// - navigation records: I2,5(1X,I2),F5.1,3D19.12, then 3X,4D19.12 lines.
#ifndef QUORVANE_TESTS_RINEX2_READER_H
#define QUORVANE_TESTS_RINEX2_READER_H

#include <stdlib.h>
#include <string.h>

#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace rnx2 {

struct Value {
    bool present = false; // false: the field is blank
    double value = 0;
    char lli = ' ';
    char ssi = ' ';
};

struct Epoch {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0;
    double second = 0;
    int flag = 0;
    int count = 0;
    std::vector<std::string> lines; // the epoch line and its continuation lines
    std::vector<std::string> order; // satellites as listed
    std::map<std::string, std::vector<Value>> sats; // values in type-list order
    std::vector<std::string> event_lines;
};

// What the header of either RINEX version gives.
struct Header {
    std::vector<std::string> header;          // lines without CR LF
    std::map<std::string, std::string> first; // label -> first line with it
    std::vector<std::string> errors;          // format violations found while reading
    std::vector<std::string> body;            // navigation files: the lines after the header
    double version = 0;
};

struct File : Header {
    std::vector<std::string> types;
    std::vector<Epoch> epochs;
    char file_type = 0;
};

inline std::string label(const std::string &l)
{
    std::string s = l.size() > 60 ? l.substr(60) : "";
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return s;
}

inline bool blank(const std::string &s)
{
    return s.find_first_not_of(' ') == std::string::npos;
}

inline std::string col(const std::string &s, size_t pos, size_t width)
{
    return pos < s.size() ? s.substr(pos, width) : "";
}

inline double num(const std::string &s, size_t pos, size_t width, bool *isBlank = nullptr)
{
    std::string f = col(s, pos, width);
    for (char &c : f)
        if (c == 'D') c = 'E';
    bool b = blank(f);
    if (isBlank) *isBlank = b;
    return b ? 0 : strtod(f.c_str(), nullptr);
}

// A whole integer field: digits with leading blanks and an optional sign.
inline bool intField(const std::string &f, int *out)
{
    size_t i = 0;
    while (i < f.size() && f[i] == ' ') i++;
    if (i < f.size() && f[i] == '-') i++;
    if (i == f.size()) return false;
    for (size_t k = i; k < f.size(); k++)
        if (f[k] < '0' || f[k] > '9') return false;
    *out = atoi(f.c_str());
    return true;
}

inline std::vector<std::string> lines_of(const std::string &data, std::vector<std::string> &errors)
{
    std::vector<std::string> out;
    size_t i = 0;
    while (i < data.size()) {
        size_t e = data.find("\r\n", i);
        if (e == std::string::npos) {
            errors.push_back("last line without CR LF");
            out.push_back(data.substr(i));
            break;
        }
        out.push_back(data.substr(i, e - i));
        i = e + 2;
    }
    return out;
}

inline std::vector<std::string> file_lines(const std::string &path, std::vector<std::string> &errors)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return lines_of(ss.str(), errors);
}

// Reads the header lines, each also handed to on(line, label); returns the
// index of the first line after END OF HEADER.
template <typename OnLine> size_t read_header(const std::vector<std::string> &lines, Header &f, OnLine on)
{
    size_t i = 0;
    bool ended = false;
    while (i < lines.size() && !ended) {
        const std::string &l = lines[i++];
        if (l.size() != 80) f.errors.push_back("header line not 80 characters: [" + l + "]");
        f.header.push_back(l);
        const std::string lab = label(l);
        f.first.insert({lab, l});
        if (lab == "RINEX VERSION / TYPE") f.version = num(l, 0, 9);
        on(l, lab);
        ended = lab == "END OF HEADER";
    }
    if (!ended) f.errors.push_back("no END OF HEADER");
    return i;
}

inline File read(const std::string &path, bool navigation = false)
{
    File f;
    const std::vector<std::string> lines = file_lines(path, f.errors);
    int types_expected = -1;
    size_t i = read_header(lines, f, [&](const std::string &l, const std::string &lab) {
        if (lab == "RINEX VERSION / TYPE") f.file_type = l.size() > 20 ? l[20] : 0;
        if (lab == "# / TYPES OF OBSERV") {
            if (types_expected < 0) {
                if (!intField(col(l, 0, 6), &types_expected)) f.errors.push_back("bad type count: [" + l + "]");
            } else if (!blank(col(l, 0, 6))) {
                f.errors.push_back("type continuation line without 6 blanks: [" + l + "]");
            } else if ((int)f.types.size() >= types_expected) {
                f.errors.push_back("more type lines than the count needs");
            }
            for (int k = 0; k < 9; k++) {
                std::string slot = col(l, 6 + 6 * (size_t)k, 6);
                if (slot.size() != 6 || !blank(slot.substr(0, 4))) f.errors.push_back("bad type slot: [" + l + "]");
                if ((int)f.types.size() < types_expected) {
                    std::string t = slot.substr(4, 2);
                    if (t[0] == ' ' || t[1] == ' ') f.errors.push_back("blank type inside the count: [" + l + "]");
                    f.types.push_back(t);
                } else if (!blank(slot)) {
                    f.errors.push_back("type beyond the count: [" + l + "]");
                }
            }
        }
    });
    if (types_expected >= 0 && (int)f.types.size() != types_expected) f.errors.push_back("type count not met");
    if (navigation) {
        f.body.assign(lines.begin() + i, lines.end());
        return f;
    }
    const size_t nt = f.types.size();
    const size_t per_sat = nt == 0 ? 0 : (nt + 4) / 5;
    while (i < lines.size()) {
        const std::string &l = lines[i++];
        Epoch e;
        e.lines.push_back(l);
        int flag = -1, count = -1;
        if (l.size() < 32 || !intField(col(l, 28, 1), &flag) || !intField(col(l, 29, 3), &count) ||
            l.substr(26, 2) != "  ") {
            f.errors.push_back("expected an epoch line: [" + l + "]");
            continue;
        }
        e.flag = flag;
        e.count = count;
        if (flag >= 2 && flag <= 5) {
            if (!blank(l.substr(0, 26)) && l.size() != 32) f.errors.push_back("bad event line: [" + l + "]");
            for (int k = 0; k < count && i < lines.size(); k++) e.event_lines.push_back(lines[i++]);
            f.epochs.push_back(e);
            continue;
        }
        // 1X,I2.2,4(1X,I2),F11.7
        bool ok = l[1] != ' ' && l[18] == '.';
        for (size_t k = 0; k <= 15; k += 3) ok = ok && l[k] == ' ';
        ok = ok && intField(col(l, 1, 2), &e.year) && intField(col(l, 4, 2), &e.month) &&
             intField(col(l, 7, 2), &e.day) && intField(col(l, 10, 2), &e.hour) && intField(col(l, 13, 2), &e.minute);
        e.second = num(l, 15, 11);
        if (!ok) f.errors.push_back("bad epoch time: [" + l + "]");
        // Satellites: 12 per line, continuation lines of 32 blanks.
        std::string names = l.substr(32);
        for (int k = 12; k < count; k += 12) {
            if (i >= lines.size()) {
                f.errors.push_back("file ends inside an epoch line");
                break;
            }
            const std::string &c = lines[i++];
            e.lines.push_back(c);
            if (c.size() < 32 || !blank(c.substr(0, 32))) f.errors.push_back("bad satellite continuation: [" + c + "]");
            names += col(c, 32, 36);
        }
        for (size_t k = 0; k < e.lines.size(); k++) {
            size_t expect = 32 + 3 * (size_t)std::min(12, count - 12 * (int)k);
            if (e.lines[k].size() != expect) f.errors.push_back("epoch line of wrong length: [" + e.lines[k] + "]");
        }
        if (names.size() != 3 * (size_t)count) f.errors.push_back("satellite list does not match the count");
        for (int k = 0; k < count && 3 * (size_t)k + 3 <= names.size(); k++) {
            std::string sat = names.substr(3 * (size_t)k, 3);
            int prn = 0;
            if (sat[0] == ' ' || !intField(sat.substr(1), &prn) || prn < 1) f.errors.push_back("bad satellite " + sat);
            if (sat[1] == ' ') sat[1] = '0'; // I2 may be blank-padded
            e.order.push_back(sat);
        }
        for (const std::string &sat : e.order) {
            std::vector<Value> values(nt);
            for (size_t r = 0; r < per_sat; r++) {
                if (i >= lines.size()) {
                    f.errors.push_back("file ends inside an epoch");
                    break;
                }
                const std::string &s = lines[i++];
                if (s.size() > 80) f.errors.push_back("observation line over 80 characters: " + sat);
                for (size_t k = 0; k < 5; k++) {
                    size_t t = r * 5 + k;
                    size_t p = 16 * k;
                    if (t >= nt) {
                        if (p < s.size()) f.errors.push_back("field beyond the type list: " + sat);
                        break;
                    }
                    if (p >= s.size()) break;
                    Value &v = values[t];
                    bool b = true;
                    v.value = num(s, p, 14, &b);
                    v.present = !b;
                    v.lli = p + 14 < s.size() ? s[p + 14] : ' ';
                    v.ssi = p + 15 < s.size() ? s[p + 15] : ' ';
                    if (v.present && s[p + 10] != '.') f.errors.push_back("value not F14.3 in " + sat);
                }
                if (!s.empty() && s.back() == ' ') f.errors.push_back("trailing blanks in " + sat);
            }
            if (e.sats.count(sat)) f.errors.push_back("satellite twice in an epoch: " + sat);
            e.sats[sat] = values;
        }
        f.epochs.push_back(e);
    }
    return f;
}

// Navigation records: the first line and the orbit lines that follow it.
struct NavRecord {
    std::string first;
    std::vector<std::string> lines;
    int prn = 0, year = 0, month = 0, day = 0, hour = 0, minute = 0;
    double second = 0;
    double clock[3] = {0, 0, 0};
    // orbit[line][field]; blank fields read as 0 with blank set
    std::vector<std::vector<double>> orbit;
    std::vector<std::vector<bool>> orbit_blank;
};

inline std::vector<NavRecord> records(const File &f, size_t orbit_lines, std::vector<std::string> &errors)
{
    std::vector<NavRecord> out;
    size_t i = 0;
    while (i < f.body.size()) {
        const std::string &l = f.body[i++];
        NavRecord r;
        r.first = l;
        if (l.size() != 79 || l[2] != ' ' || l[5] != ' ' || l[8] != ' ' || l[11] != ' ' || l[14] != ' ' ||
            l[17] != ' ' || !intField(col(l, 0, 2), &r.prn) || !intField(col(l, 3, 2), &r.year) ||
            !intField(col(l, 6, 2), &r.month) || !intField(col(l, 9, 2), &r.day) ||
            !intField(col(l, 12, 2), &r.hour) || !intField(col(l, 15, 2), &r.minute)) {
            errors.push_back("bad first navigation line: [" + l + "]");
            continue;
        }
        r.second = num(l, 17, 5);
        for (int k = 0; k < 3; k++) r.clock[k] = num(l, 22 + 19 * (size_t)k, 19);
        for (size_t k = 0; k < orbit_lines; k++) {
            if (i >= f.body.size()) {
                errors.push_back("file ends inside a record");
                break;
            }
            const std::string &o = f.body[i++];
            r.lines.push_back(o);
            if (o.size() != 79 || o.substr(0, 3) != "   ") errors.push_back("bad orbit line: [" + o + "]");
            r.orbit.emplace_back(4);
            r.orbit_blank.emplace_back(4);
            for (size_t k2 = 0; k2 < 4; k2++) {
                bool bl = false;
                const std::string fld = col(o, 3 + 19 * k2, 19);
                if (!blank(fld) && (fld.find('D') == std::string::npos || fld[fld.size() - 4] != 'D'))
                    errors.push_back("field not D19.12: [" + fld + "]");
                r.orbit.back()[k2] = num(o, 3 + 19 * k2, 19, &bl);
                r.orbit_blank.back()[k2] = bl;
            }
        }
        out.push_back(r);
    }
    return out;
}

} // namespace rnx2

#endif
