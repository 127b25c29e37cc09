#include "hatanaka.h"

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace compression {

namespace {

bool blank(const char *p, size_t n)
{
    for (size_t i = 0; i < n; i++)
        if (p[i] != ' ') return false;
    return true;
}

void trimRight(std::string &s)
{
    size_t end = s.size();
    while (end > 0 && s[end - 1] == ' ') end--;
    s.resize(end);
}

// Columns [from, from + n) of a line, blanks beyond its end.
std::string columns(const std::string &l, size_t from, size_t n)
{
    std::string s = from < l.size() ? l.substr(from, n) : std::string();
    s.resize(n, ' ');
    return s;
}

void appendInt(std::string &out, int64_t v)
{
    char buffer[24];
    auto r = std::to_chars(buffer, buffer + sizeof buffer, v);
    out.append(buffer, (size_t)(r.ptr - buffer));
}

// The fixed-point text of `value` (in units of the last decimal) as a
// right-justified field of `width` characters.
std::string fixedText(int64_t value, int width, int decimals)
{
    uint64_t m = value < 0 ? (uint64_t)0 - (uint64_t)value : (uint64_t)value;
    uint64_t scale = 1;
    for (int i = 0; i < decimals; i++) scale *= 10;
    char digits[48];
    int n = snprintf(digits, sizeof digits, "%s%llu.%0*llu", value < 0 ? "-" : "", (unsigned long long)(m / scale),
                     decimals, (unsigned long long)(m % scale));
    std::string s(digits, (size_t)n);
    if ((int)s.size() < width) s.insert(0, (size_t)(width - (int)s.size()), ' ');
    return s;
}

// The text difference of `now` against `before`: a blank where a character
// is unchanged, "&" where it became a blank, the new character elsewhere;
// both texts are taken as padded with blanks. `full` sends every non-blank
// character whether changed or not, which reads the same against the
// previous text and against a blank one; `wholeAt`, when given, does so for
// the characters where it holds a non-zero byte.
bool textDifference(const std::string &before, const std::string &now, bool full, std::string &out,
                    const std::string *wholeAt = nullptr)
{
    const size_t start = out.size();
    const size_t n = before.size() > now.size() ? before.size() : now.size();
    for (size_t i = 0; i < n; i++) {
        const char b = i < before.size() ? before[i] : ' ';
        const char c = i < now.size() ? now[i] : ' ';
        if (c == '&') return false;
        const bool whole = full || (wholeAt && i < wholeAt->size() && (*wholeAt)[i] != 0);
        if (c == ' ')
            out += b == ' ' ? ' ' : '&';
        else
            out += (c == b && !whole) ? ' ' : c;
    }
    size_t end = out.size();
    while (end > start && out[end - 1] == ' ') end--;
    out.resize(end);
    return true;
}

uint32_t satelliteKey(const char *id)
{
    return (uint32_t)(uint8_t)id[0] << 16 | (uint32_t)(uint8_t)id[1] << 8 | (uint8_t)id[2];
}

} // namespace

bool parseFixed(const char *text, size_t width, int decimals, int64_t *value)
{
    size_t i = 0;
    while (i < width && text[i] == ' ') i++;
    bool negative = false;
    if (i < width && text[i] == '-') {
        negative = true;
        i++;
    }
    const size_t point = width - 1 - (size_t)decimals;
    if (i >= point || text[point] != '.') return false;
    // No leading zero, except for a whole part of exactly "0".
    if (text[i] == '0' && i + 1 != point) return false;
    int64_t v = 0;
    for (size_t k = i; k < width; k++) {
        if (k == point) continue;
        if (text[k] < '0' || text[k] > '9') return false;
        v = v * 10 + (text[k] - '0');
    }
    // "-0.000" (a small negative value rounded, as printf writes it) has no
    // integer of its own: it is sent as 0 and comes back as "0.000", the
    // same number.
    *value = negative ? -v : v;
    return true;
}

HatanakaEncoder::HatanakaEncoder(const std::string &programName, const std::string &runDate)
    : program(programName), date(runDate)
{
}

bool HatanakaEncoder::fail(const std::string &why)
{
    if (failure.empty()) failure = why;
    return false;
}

bool HatanakaEncoder::line(const char *text, size_t length)
{
    if (!failure.empty()) return false;
    if (memchr(text, '\n', length) || memchr(text, '\r', length)) return fail("line break inside a line");
    if (header) {
        scratch.assign(text, length);
        return headerLine(scratch);
    }
    // The header lines of an event record go through as they stand, trailing
    // blanks and all; every other record line is rebuilt from its fields.
    const bool verbatim = recordLines > 0 && eventRecord;
    if (length > 0 && text[length - 1] == ' ' && !verbatim) return fail("trailing blanks in a record");
    // The lines of a record are kept in strings that are used again, so
    // that collecting a record allocates nothing once they have grown.
    if (record.size() <= recordLines) record.emplace_back();
    record[recordLines++].assign(text, length);
    return recordLine(record[recordLines - 1]);
}

bool HatanakaEncoder::finish()
{
    if (!failure.empty()) return false;
    if (header) return fail("the header does not end");
    if (recordLines != 0) return fail("the last record is incomplete");
    return true;
}

int HatanakaEncoder::typesOf(char system) const
{
    return version == 2 ? types2 : types3[(unsigned char)system & 127];
}

bool HatanakaEncoder::headerLine(const std::string &l)
{
    const std::string label = l.size() > 60 ? l.substr(60) : std::string();
    if (firstLine) {
        firstLine = false;
        if (label.compare(0, 20, "RINEX VERSION / TYPE") != 0) return fail("not a RINEX file");
        const double v = atof(columns(l, 0, 9).c_str());
        if (v >= 2.0 && v < 3.0)
            version = 2;
        else if (v >= 3.0 && v < 4.0)
            version = 3;
        else
            return fail("unsupported RINEX version");
        if (columns(l, 20, 1) != "O") return fail("not an observation file");
        char buffer[96];
        snprintf(buffer, sizeof buffer, "%-20s%-40s%-20s\n", version == 2 ? "1.0" : "3.0", "COMPACT RINEX FORMAT",
                 "CRINEX VERS   / TYPE");
        out += buffer;
        snprintf(buffer, sizeof buffer, "%-40.40s%-20.20s%-20s\n", program.c_str(), date.c_str(),
                 "CRINEX PROG / DATE");
        out += buffer;
    }
    out += l;
    out += '\n';
    if (label.compare(0, 19, "# / TYPES OF OBSERV") == 0) {
        const std::string count = columns(l, 0, 6);
        if (!blank(count.data(), 6)) types2 = atoi(count.c_str());
    } else if (label.compare(0, 19, "SYS / # / OBS TYPES") == 0) {
        if (!l.empty() && l[0] != ' ') {
            lastSystem = l[0];
            types3[(unsigned char)lastSystem & 127] = atoi(columns(l, 3, 3).c_str());
        }
    } else if (label.compare(0, 13, "END OF HEADER") == 0) {
        header = false;
    }
    return true;
}

bool HatanakaEncoder::recordLine(const std::string &l)
{
    if (recordLines == 1) {
        // The first line of a record tells how many lines follow.
        const size_t flagColumn = version == 2 ? 28 : 31;
        if (version == 3 && (l.empty() || l[0] != '>')) return fail("an epoch line was expected");
        if (version == 2 && (l.size() <= flagColumn || l[0] != ' ')) return fail("an epoch line was expected");
        const char flag = columns(l, flagColumn, 1)[0];
        const std::string countText = columns(l, flagColumn + 1, 3);
        const int count = blank(countText.data(), 3) ? 0 : atoi(countText.c_str());
        if (flag < '0' || flag > '6' || count < 0) return fail("bad epoch flag or count");
        eventRecord = flag >= '2' && flag <= '5';
        if (eventRecord) {
            recordExpected = 1 + (size_t)count;
        } else if (version == 2) {
            if (types2 <= 0) return fail("no observation types");
            const size_t satelliteLines = count > 12 ? (size_t)(count + 11) / 12 : 1;
            recordExpected = satelliteLines + (size_t)count * (size_t)((types2 + 4) / 5);
        } else {
            recordExpected = 1 + (size_t)count;
        }
    }
    if (recordLines < recordExpected) return true;
    const char flag = columns(record[0], version == 2 ? 28 : 31, 1)[0];
    const bool ok = (flag >= '2' && flag <= '5') ? encodeEvent() : encodeEpoch();
    recordLines = 0;
    return ok;
}

bool HatanakaEncoder::encodeEvent()
{
    // An event is sent as it stands, its first line in the form of a
    // whole epoch line; the epoch after it is sent whole again.
    std::string first = record[0];
    if (version == 2) first[0] = '&';
    out += first;
    out += '\n';
    for (size_t i = 1; i < recordLines; i++) {
        out += record[i];
        out += '\n';
    }
    lastEpochLine.clear();
    return true;
}

void HatanakaEncoder::putArc(Arc &arc, int64_t value, bool reopen)
{
    if (!reopen && arc.count > 0) {
        int64_t e[kOrder + 1];
        e[0] = value;
        const int k = arc.count < kOrder ? arc.count : kOrder;
        for (int j = 1; j <= k; j++) e[j] = e[j - 1] - arc.d[j - 1];
        if (e[k] <= kDifferenceLimit && e[k] >= -kDifferenceLimit) {
            for (int j = 0; j <= k; j++) arc.d[j] = e[j];
            arc.count++;
            appendInt(out, e[k]);
            return;
        }
    }
    arc = Arc();
    arc.d[0] = value;
    arc.count = 1;
    out += (char)('0' + kOrder);
    out += '&';
    appendInt(out, value);
}

bool HatanakaEncoder::encodeEpoch()
{
    const std::string &first = record[0];
    const int count = atoi(columns(first, version == 2 ? 29 : 32, 3).c_str());
    std::string key, clockText;
    bool hasClock = false;
    int64_t clockValue = 0;
    size_t dataStart;
    if (version == 2) {
        const size_t onFirst = count < 12 ? (size_t)count : 12;
        key = columns(first, 0, 32);
        if (first.size() < 32 + 3 * onFirst) return fail("short satellite list");
        key += first.substr(32, 3 * onFirst);
        clockText = columns(first, 68, 12);
        size_t lineIndex = 1;
        for (size_t done = onFirst; done < (size_t)count; lineIndex++) {
            const std::string &c = record[lineIndex];
            const size_t here = (size_t)count - done < 12 ? (size_t)count - done : 12;
            if (c.size() != 32 + 3 * here || !blank(c.data(), 32)) return fail("bad satellite continuation line");
            key += c.substr(32, 3 * here);
            done += here;
        }
        dataStart = lineIndex;
        if (!blank(clockText.data(), 12)) {
            hasClock = true;
            if (!parseFixed(clockText.data(), 12, 9, &clockValue)) return fail("bad clock offset");
        }
    } else {
        key = columns(first, 0, 41);
        clockText = columns(first, 41, 15);
        if (!blank(clockText.data(), 15)) {
            hasClock = true;
            if (!parseFixed(clockText.data(), 15, 12, &clockValue)) return fail("bad clock offset");
        }
        for (size_t i = 1; i < recordLines; i++) {
            if (record[i].size() < 3) return fail("short observation line");
            key.append(record[i], 0, 3);
        }
        dataStart = 1;
    }
    // The epoch line must read back to the same text.
    {
        std::string rebuilt = version == 2 ? key.substr(0, 32 + 3 * (size_t)(count < 12 ? count : 12))
                                           : key.substr(0, 41);
        if (hasClock) {
            rebuilt.resize(version == 2 ? 68 : 41, ' ');
            rebuilt += fixedText(clockValue, version == 2 ? 12 : 15, version == 2 ? 9 : 12);
        }
        trimRight(rebuilt);
        if (rebuilt != first) return fail("epoch line not in its usual layout");
    }
    trimRight(key);

    const bool whole = lastEpochLine.empty();
    if (whole) {
        std::string sent = key;
        if (version == 2) sent[0] = '&';
        out += sent;
    } else if (!textDifference(lastEpochLine, key, false, out)) {
        return fail("\"&\" in an epoch line");
    }
    out += '\n';
    lastEpochLine = key;
    wholeEpoch = whole;

    if (hasClock) putArc(clock, clockValue, whole || !clockSeen);
    clockSeen = hasClock;
    out += '\n';

    epochIndex++;
    if (version == 2) {
        const int types = types2;
        const size_t perSatellite = (size_t)((types + 4) / 5);
        for (int s = 0; s < count; s++) {
            const char *id = key.data() + 32 + 3 * (size_t)s;
            if (!satelliteLine(id, nullptr, 0, types, 5, &record[dataStart + (size_t)s * perSatellite])) return false;
        }
    } else {
        for (size_t i = 1; i < recordLines; i++) {
            const std::string &l = record[i];
            const int types = typesOf(l[0]);
            if (types <= 0) return fail("no observation types for system " + l.substr(0, 1));
            if (l.size() > 3 + 16 * (size_t)types) return fail("observation line too long");
            if (!satelliteLine(l.data(), l.data() + 3, l.size() - 3, types, types, nullptr)) return false;
        }
    }
    return true;
}

bool HatanakaEncoder::satelliteLine(const char *id, const char *fields, size_t length, int types, int perLine,
                                    const std::string *lines)
{
    Satellite &sat = satellites[satelliteKey(id)];
    // A satellite that was not in the previous epoch, or any satellite at
    // an epoch line sent whole, opens all its arcs again.
    const bool fresh = wholeEpoch || sat.lastEpoch + 1 != epochIndex || sat.arcs.size() != (size_t)types;
    sat.lastEpoch = epochIndex;
    if (sat.arcs.size() != (size_t)types) sat.arcs.assign((size_t)types, Arc());
    flagText.assign(2 * (size_t)types, ' ');
    // Compact RINEX 1.0 keeps the flags of each observable with its arc: a
    // reader starts them again from blanks wherever an arc opens, so there
    // they are sent whole (a flag repeated at a second loss of lock in a row
    // would otherwise read as a blank). 3.0 keeps them per satellite.
    flagWhole.assign(2 * (size_t)types, 0);
    char field[16];
    for (int t = 0; t < types; t++) {
        const char *src;
        size_t available;
        if (lines) {
            const std::string &l = lines[t / perLine];
            if (l.size() > 80) return fail("observation line too long");
            const size_t at = (size_t)(t % perLine) * 16;
            src = at < l.size() ? l.data() + at : nullptr;
            available = at < l.size() ? l.size() - at : 0;
        } else {
            const size_t at = (size_t)t * 16;
            src = at < length ? fields + at : nullptr;
            available = at < length ? length - at : 0;
        }
        memset(field, ' ', 16);
        if (src) memcpy(field, src, available < 16 ? available : 16);
        if (t > 0) out += ' ';
        Arc &arc = sat.arcs[(size_t)t];
        if (blank(field, 14)) {
            arc.count = 0;
            // 1.0 has no flags without a value: a reader could not give
            // them back.
            if (version == 2 && !blank(field + 14, 2))
                return fail("flags without a value: " + std::string(id, 3));
        } else {
            int64_t v;
            if (!parseFixed(field, 14, 3, &v)) return fail("observation value not in F14.3 form: " + std::string(id, 3));
            const char lli = field[14];
            const bool slip = lli >= '0' && lli <= '9' && ((lli - '0') & 1);
            putArc(arc, v, fresh || slip);
            if (version == 2 && arc.count == 1) flagWhole[2 * (size_t)t] = flagWhole[2 * (size_t)t + 1] = 1;
        }
        flagText[2 * (size_t)t] = field[14];
        flagText[2 * (size_t)t + 1] = field[15];
    }
    const size_t mark = out.size();
    out += ' ';
    if (!textDifference(sat.flags, flagText, fresh, out, &flagWhole))
        return fail("\"&\" in the flags of " + std::string(id, 3));
    if (out.size() == mark + 1) {
        // No flag changed: the line ends after the last value.
        out.resize(mark);
        size_t end = out.size();
        while (end > 0 && out[end - 1] == ' ') end--;
        out.resize(end);
    }
    out += '\n';
    sat.flags = flagText;
    return true;
}

} // namespace compression
