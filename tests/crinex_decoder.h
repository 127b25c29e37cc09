// An independent Compact RINEX (1.0 and 3.0) decoder for the tests, written
// from the published description of the format. It restores the RINEX file
// with "\r\n" line ends, trailing blanks cut from every line, which is how
// the writers lay out their records.
#ifndef QUORVANE_TESTS_CRINEX_DECODER_H
#define QUORVANE_TESTS_CRINEX_DECODER_H

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace crinex {

struct Arc {
    int order = 0;
    int count = 0; // 0: no arc open
    std::vector<long long> d;
};

// Applies a text difference to the previous text.
inline std::string applyDifference(const std::string &before, const std::string &diff)
{
    std::string r = before;
    if (r.size() < diff.size()) r.resize(diff.size(), ' ');
    for (size_t i = 0; i < diff.size(); i++) {
        if (diff[i] == '&')
            r[i] = ' ';
        else if (diff[i] != ' ')
            r[i] = diff[i];
    }
    return r;
}

inline std::string rtrim(std::string s)
{
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return s;
}

// Value in units of the last decimal as a right-justified fixed-point field.
inline std::string fixed(long long v, int width, int decimals)
{
    unsigned long long m = v < 0 ? 0ULL - (unsigned long long)v : (unsigned long long)v, scale = 1;
    for (int i = 0; i < decimals; i++) scale *= 10;
    const std::string fraction = std::to_string(m % scale);
    std::string t = std::string(v < 0 ? "-" : "") + std::to_string(m / scale) + "." +
                    std::string((size_t)decimals - fraction.size(), '0') + fraction;
    if ((int)t.size() < width) t.insert(0, (size_t)width - t.size(), ' ');
    return t;
}

// One arc field: "n&value" opens an arc of order n, a bare number is the
// next difference. Returns false on text that is neither.
inline bool readArc(Arc &arc, const std::string &text, long long *value)
{
    size_t amp = text.find('&');
    if (amp != std::string::npos) {
        arc.order = atoi(text.substr(0, amp).c_str());
        if (arc.order < 1 || amp != 1) return false;
        arc.d.assign((size_t)arc.order + 1, 0);
        arc.d[0] = strtoll(text.c_str() + amp + 1, nullptr, 10);
        arc.count = 1;
        *value = arc.d[0];
        return true;
    }
    if (arc.count == 0) return false;
    int k = arc.count < arc.order ? arc.count : arc.order;
    std::vector<long long> e((size_t)k + 1);
    e[(size_t)k] = strtoll(text.c_str(), nullptr, 10);
    for (int j = k - 1; j >= 0; j--) e[(size_t)j] = e[(size_t)j + 1] + arc.d[(size_t)j];
    for (int j = 0; j <= k; j++) arc.d[(size_t)j] = e[(size_t)j];
    arc.count++;
    *value = e[0];
    return true;
}

// Decodes a whole Compact RINEX text; false with a reason on malformed input.
inline bool decode(const std::string &in, std::string *out, std::string *error)
{
    std::istringstream s(in);
    std::string l;
    auto bad = [&](const std::string &why) {
        *error = why + " at \"" + l + "\"";
        return false;
    };
    if (!std::getline(s, l) || l.find("CRINEX VERS   / TYPE") != 60) return bad("no CRINEX VERS line");
    const int crx = l.compare(0, 3, "1.0") == 0 ? 1 : l.compare(0, 3, "3.0") == 0 ? 3 : 0;
    if (!crx) return bad("unknown Compact RINEX version");
    if (!std::getline(s, l) || l.find("CRINEX PROG / DATE") != 60) return bad("no CRINEX PROG line");

    int types2 = 0;
    std::map<char, int> types3;
    for (;;) {
        if (!std::getline(s, l)) return bad("header does not end");
        *out += l + "\r\n";
        std::string label = l.size() > 60 ? l.substr(60) : "";
        if (label.rfind("# / TYPES OF OBSERV", 0) == 0 && l.substr(0, 6) != "      ") types2 = atoi(l.substr(0, 6).c_str());
        if (label.rfind("SYS / # / OBS TYPES", 0) == 0 && l[0] != ' ') types3[l[0]] = atoi(l.substr(3, 3).c_str());
        if (label.rfind("END OF HEADER", 0) == 0) break;
    }

    std::string key;
    Arc clock;
    struct Sat {
        std::vector<Arc> arcs;
        std::string flags;
    };
    std::map<std::string, Sat> sats;
    std::vector<std::string> previous;
    const size_t flagAt = crx == 1 ? 28 : 31, countAt = crx == 1 ? 29 : 32, listAt = crx == 1 ? 32 : 41;
    while (std::getline(s, l)) {
        // An epoch line sent whole starts everything again: a reader may
        // begin there, knowing no earlier satellite, clock or flag.
        const bool whole = !l.empty() && l[0] == (crx == 1 ? '&' : '>');
        if (whole) {
            key = crx == 1 ? " " + l.substr(1) : l;
            previous.clear();
            clock.count = 0;
        } else {
            key = applyDifference(key, l);
        }
        key = rtrim(key);
        std::string padded = key + std::string(120, ' ');
        const char flag = padded[flagAt];
        const int n = atoi(padded.substr(countAt, 3).c_str());
        if (flag >= '2' && flag <= '5') {
            *out += key + "\r\n";
            for (int i = 0; i < n; i++) {
                if (!std::getline(s, l)) return bad("event records missing");
                *out += l + "\r\n";
            }
            continue;
        }
        if (!std::getline(s, l)) return bad("no clock line");
        bool hasClock = !l.empty();
        long long clockValue = 0;
        if (hasClock && !readArc(clock, l, &clockValue)) return bad("bad clock line");
        if (!hasClock) clock.count = 0;
        if (key.size() < listAt + 3 * (size_t)n) return bad("short satellite list");

        std::vector<std::string> ids;
        for (int i = 0; i < n; i++) ids.push_back(key.substr(listAt + 3 * (size_t)i, 3));
        if (crx == 1) {
            std::string first = key.substr(0, 32);
            for (int i = 0; i < n && i < 12; i++) first += ids[(size_t)i];
            if (hasClock) first = first + std::string(68 - first.size(), ' ') + fixed(clockValue, 12, 9);
            *out += rtrim(first) + "\r\n";
            for (int i = 12; i < n; i += 12) {
                std::string c(32, ' ');
                for (int j = i; j < n && j < i + 12; j++) c += ids[(size_t)j];
                *out += c + "\r\n";
            }
        } else {
            std::string first = padded.substr(0, 41);
            if (hasClock) first += fixed(clockValue, 15, 12);
            *out += rtrim(first) + "\r\n";
        }

        std::map<std::string, Sat> now;
        for (const std::string &id : ids) {
            if (!std::getline(s, l)) return bad("observation line missing");
            const int types = crx == 1 ? types2 : types3[id[0]];
            // A satellite missing from the previous epoch has no arcs and
            // no flags to difference against.
            Sat sat;
            auto was = sats.find(id);
            if (was != sats.end() && std::find(previous.begin(), previous.end(), id) != previous.end())
                sat = was->second;
            sat.arcs.resize((size_t)types);
            sat.flags.resize(2 * (size_t)types, ' ');
            std::vector<std::string> values((size_t)types, std::string(14, ' '));
            size_t p = 0;
            for (int t = 0; t < types; t++) {
                if (t > 0) {
                    if (p < l.size() && l[p] != ' ') return bad("no separator");
                    if (p < l.size()) p++;
                }
                size_t e = l.find(' ', p);
                if (e == std::string::npos) e = l.size();
                std::string text = l.substr(p, e - p);
                p = e;
                if (text.empty()) {
                    sat.arcs[(size_t)t].count = 0;
                    continue;
                }
                long long v;
                if (!readArc(sat.arcs[(size_t)t], text, &v)) return bad("bad value " + text);
                // 1.0: an observable's flags start again with its arc.
                if (crx == 1 && sat.arcs[(size_t)t].count == 1) sat.flags.replace(2 * (size_t)t, 2, "  ");
                values[(size_t)t] = fixed(v, 14, 3);
            }
            std::string flagDiff = p < l.size() ? l.substr(p + 1) : "";
            std::string flags = applyDifference(sat.flags, flagDiff);
            flags.resize(2 * (size_t)types, ' ');
            sat.flags = flags;
            // 1.0 has no flags without a value.
            for (int t = 0; crx == 1 && t < types; t++)
                if (values[(size_t)t][13] == ' ' && flags.compare(2 * (size_t)t, 2, "  ") != 0)
                    return bad("flags without a value");
            std::string line = crx == 1 ? "" : id;
            for (int t = 0; t < types; t++) {
                line += values[(size_t)t] + flags.substr(2 * (size_t)t, 2);
                if (crx == 1 && (t % 5 == 4 || t == types - 1)) {
                    *out += rtrim(line) + "\r\n";
                    line.clear();
                }
            }
            if (crx == 3) *out += rtrim(line) + "\r\n";
            now[id] = sat;
        }
        for (auto &kv : now) sats[kv.first] = kv.second;
        previous = ids;
    }
    return true;
}

} // namespace crinex

#endif
