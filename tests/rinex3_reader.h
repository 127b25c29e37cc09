// An independent RINEX 3 observation and navigation reader for tests,
// written from the fixed columns of the RINEX 3 format description: header
// labels in columns 61-80, epoch lines beginning with ">", observations as
// F14.3 with LLI and SSI characters, 16 columns per type.
#ifndef QUORVANE_TESTS_RINEX3_READER_H
#define QUORVANE_TESTS_RINEX3_READER_H

#include "rinex2_reader.h"

namespace rnx3 {

// Fields, labels and lines are those of RINEX 2.
using rnx2::label;
using rnx2::num;
using rnx2::Value;

struct Epoch {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0;
    double second = 0;
    int flag = 0;
    int count = 0;
    std::string line;
    // satellite ("G05") -> values in the order of the system's type list
    std::map<std::string, std::vector<Value>> sats;
    std::vector<std::string> event_lines; // records following an event epoch
};

struct File : rnx2::Header {
    std::map<char, std::vector<std::string>> types;
    std::vector<Epoch> epochs;
};

// The value of a type ("L1C") of a satellite in an epoch; a blank one when
// the file has no such type or the line ends before it.
inline const Value &obs(const File &f, const Epoch &e, const std::string &sat, const std::string &type)
{
    static const Value none;
    auto t = f.types.find(sat[0]);
    auto s = e.sats.find(sat);
    if (t == f.types.end() || s == e.sats.end()) return none;
    for (size_t i = 0; i < t->second.size() && i < s->second.size(); i++)
        if (t->second[i] == type) return s->second[i];
    return none;
}

// The records of a navigation file read with `navigation`: a line that
// starts in column 1 opens one, the indented lines after it are its orbit.
struct Record {
    std::string first;
    std::vector<std::string> lines;
};

inline std::vector<Record> records(const File &f)
{
    std::vector<Record> out;
    for (const std::string &l : f.body) {
        if (!l.empty() && l[0] != ' ') out.push_back({l, {}});
        else if (!l.empty() && !out.empty()) out.back().lines.push_back(l);
    }
    return out;
}

inline File read(const std::string &path, bool navigation = false)
{
    File f;
    // Every line of a file the writers produce ends with CR LF.
    const std::vector<std::string> lines = rnx2::file_lines(path, f.errors);
    char types_sys = 0;
    int types_left = 0;
    size_t i = rnx2::read_header(lines, f, [&](const std::string &l, const std::string &lab) {
        if (lab != "SYS / # / OBS TYPES") return;
        if (l[0] != ' ') {
            types_sys = l[0];
            types_left = (int)num(l, 3, 3);
            f.types[types_sys].clear();
        }
        for (int k = 0; k < 13 && types_left > 0; k++, types_left--) f.types[types_sys].push_back(l.substr(7 + 4 * k, 3));
    });
    if (navigation) {
        f.body.assign(lines.begin() + i, lines.end());
        return f;
    }
    while (i < lines.size()) {
        const std::string &l = lines[i++];
        if (l.empty() || l[0] != '>') {
            f.errors.push_back("expected an epoch line: [" + l + "]");
            continue;
        }
        Epoch e;
        e.line = l;
        int *parts[] = {&e.year, &e.month, &e.day, &e.hour, &e.minute};
        const size_t at[][2] = {{2, 4}, {7, 2}, {10, 2}, {13, 2}, {16, 2}};
        for (int k = 0; k < 5; k++) *parts[k] = (int)num(l, at[k][0], at[k][1]);
        e.second = num(l, 18, 11);
        e.flag = (int)num(l, 31, 1);
        e.count = (int)num(l, 32, 3);
        if (e.flag >= 2 && e.flag <= 5) {
            // Event: `count` special records follow.
            for (int k = 0; k < e.count && i < lines.size(); k++) e.event_lines.push_back(lines[i++]);
            f.epochs.push_back(e);
            continue;
        }
        if (l.size() < 35 || l[1] != ' ' || l[6] != ' ' || l[29] != ' ') f.errors.push_back("bad epoch line: [" + l + "]");
        for (int k = 0; k < e.count; k++) {
            if (i >= lines.size()) {
                f.errors.push_back("file ends inside an epoch");
                break;
            }
            const std::string &s = lines[i++];
            const std::string sat = s.substr(0, 3);
            if (s.size() < 3 || sat[0] == '>' || sat[1] == ' ') f.errors.push_back("bad satellite line: [" + s + "]");
            const std::vector<std::string> &types = f.types[sat[0]];
            if (s.size() > 3 + 16 * types.size()) f.errors.push_back("satellite line longer than its types: " + sat);
            std::vector<Value> values(types.size());
            for (size_t t = 0, p = 3; t < types.size() && p < s.size(); t++, p += 16) {
                Value &v = values[t];
                bool blank = true;
                v.value = num(s, p, 14, &blank);
                v.present = !blank;
                v.lli = p + 14 < s.size() ? s[p + 14] : ' ';
                v.ssi = p + 15 < s.size() ? s[p + 15] : ' ';
                if (v.present && s[p + 10] != '.') f.errors.push_back("value not F14.3 in " + sat);
            }
            if (!e.sats.insert({sat, values}).second) f.errors.push_back("satellite twice in an epoch: " + sat);
        }
        f.epochs.push_back(e);
    }
    return f;
}

} // namespace rnx3

#endif
