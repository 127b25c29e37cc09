#include "rinex_obs_reader.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace qc {

namespace {

bool digitOrBlank(char c)
{
    return c == ' ' || (c >= '0' && c <= '9');
}

// A satellite name "G05", "G 5", " 5" (RINEX 2: GPS); false when not one.
bool satellite(const std::string &line, size_t at, char *system, int *prn)
{
    if (at + 3 > line.size()) return false;
    char s = line[at];
    if (s == ' ') s = 'G';
    if (!std::strchr("GRECJSI", s) || !digitOrBlank(line[at + 1]) || !std::isdigit((unsigned char)line[at + 2]))
        return false;
    *system = s;
    *prn = (line[at + 1] == ' ' ? 0 : line[at + 1] - '0') * 10 + (line[at + 2] - '0');
    return true;
}

} // namespace

bool RinexObsReader::readLine(std::string *line)
{
    if (m_pendingLine) {
        m_pendingLine = false;
        *line = m_line;
        return true;
    }
    return m_in.next(line);
}

// A line the epoch being read announced: at the end of the file, that
// epoch was cut short.
bool RinexObsReader::nextLine(std::string *line)
{
    if (readLine(line)) return true;
    m_cut = true;
    return false;
}

std::string RinexObsReader::rinex3Code(char system, const std::string &type, const std::vector<std::string> &all)
{
    if (type.size() != 2) return std::string();
    char kind = type[0];
    char band = type[1];
    auto has = [&](const char *t) { return std::find(all.begin(), all.end(), std::string(t)) != all.end(); };
    // The signal behind a band's phase, Doppler and strength: on L1 the C/A
    // code when C1 is listed, on L2 the P(Y) code when P2 is.
    bool precise = kind == 'P';
    if (kind == 'L' || kind == 'D' || kind == 'S') {
        std::string c = std::string("C") + band, p = std::string("P") + band;
        precise = band == '2' ? has(p.c_str()) : (!has(c.c_str()) && has(p.c_str()));
    } else if (kind != 'C' && kind != 'P') {
        return std::string();
    }
    char attribute = 'X';
    switch (system) {
    case 'G':
    case 'J':
        if (band == '1' || band == '2') attribute = precise ? 'W' : (band == '1' ? 'C' : 'X');
        break;
    case 'R':
        if (band == '1' || band == '2') attribute = precise ? 'P' : 'C';
        break;
    case 'S':
        attribute = band == '1' ? 'C' : 'X';
        break;
    case 'C':
        // RINEX 2.11 as this program writes it: C1 is B1I, C2 is B2I.
        attribute = 'I';
        if (band == '1') band = '2';
        else if (band == '2') band = '7';
        break;
    }
    return std::string(1, kind == 'P' ? 'C' : kind) + band + attribute;
}

std::vector<std::string> RinexObsReader::rinex3Codes(char system, const std::vector<std::string> &types)
{
    // Two RINEX 2 signals of a system can come to one RINEX 3 code (Galileo
    // C1 and P1, BDS C2 and C7): the one that keeps its band and is not a P
    // code keeps the code, the other gets an attribute of its own for all
    // its types, so that neither hides the other's values and each phase
    // stays with its code.
    const bool precisePhases = system == 'G' || system == 'J' || system == 'R';
    std::vector<std::string> codes, groups;
    for (const std::string &t : types) {
        std::string code = rinex3Code(system, t, types);
        bool precise = t.size() == 2 && t[0] == 'P';
        if (code.size() == 3 && precisePhases && t[0] != 'C' && t[0] != 'P') precise = code[2] == (system == 'R' ? 'P' : 'W');
        codes.push_back(code);
        groups.push_back(code.size() == 3 ? std::string(1, t[1]) + (precise ? 'P' : 'C') : std::string());
    }
    std::map<std::string, std::string> signalOf; // RINEX 2 band and C/P -> RINEX 3 band and attribute
    std::vector<std::string> used;
    for (int pass = 0; pass < 2; pass++) {
        for (size_t i = 0; i < types.size(); i++) {
            const std::string &g = groups[i];
            if (g.empty() || signalOf.count(g)) continue;
            const bool natural = codes[i][1] == g[0] && g[1] == 'C';
            if (natural != (pass == 0)) continue;
            std::string signal = codes[i].substr(1);
            for (const char *a = "YZAB"; *a && std::find(used.begin(), used.end(), signal) != used.end(); a++)
                signal[1] = *a;
            used.push_back(signal);
            signalOf[g] = signal;
        }
    }
    for (size_t i = 0; i < types.size(); i++)
        if (!groups[i].empty()) codes[i] = codes[i].substr(0, 1) + signalOf[groups[i]];
    return codes;
}

bool RinexObsReader::open(const std::string &path, std::string *error)
{
    if (!m_in.open(path, error)) return false;
    return readHeader(error);
}

bool RinexObsReader::openText(const std::string &text, std::string *error)
{
    m_in.openText(text.data(), text.size());
    return readHeader(error);
}

void RinexObsReader::headerRecord(const std::string &line, bool inEvent)
{
    const std::string label = headerLabel(line);
    if (label == "SYS / # / OBS TYPES") {
        size_t from = 7;
        if (line[0] != ' ') {
            m_typesSystem = line[0];
            if (!integer(line, 3, 3, &m_typesLeft)) m_typesLeft = 0;
            m_readTypes[m_typesSystem].clear();
        }
        if (!m_typesSystem) return;
        for (int k = 0; k < 13 && m_typesLeft > 0; k++, m_typesLeft--) {
            std::string t = field(line, from + 4 * k, 3);
            if (t.empty()) break;
            m_readTypes[m_typesSystem].push_back(t);
        }
    } else if (label == "# / TYPES OF OBSERV") {
        int n;
        if (integer(line, 0, 6, &n)) {
            m_typesLeft = n;
            m_readTypes2.clear();
        }
        for (int k = 0; k < 9 && m_typesLeft > 0; k++, m_typesLeft--) {
            std::string t = field(line, 6 + 6 * k, 6);
            if (t.empty()) break;
            m_readTypes2.push_back(t);
        }
    } else if (label == "SYS / SCALE FACTOR") {
        // More than 12 types go on continuation lines, whose first columns
        // are blank: they carry on the line before.
        if (line[0] != ' ') {
            int n = 0;
            m_scaleSystem = 0;
            if (!integer(line, 2, 4, &m_scaleFactor) || m_scaleFactor <= 0) return;
            m_scaleSystem = line[0];
            integer(line, 8, 2, &n);
            m_scaleLeft = n;
            if (n == 0) m_readScale[m_scaleSystem][std::string()] = m_scaleFactor; // every type of the system
        }
        if (!m_scaleSystem) return;
        for (int k = 0; k < 12 && m_scaleLeft > 0; k++, m_scaleLeft--) {
            std::string t = field(line, 10 + 4 * k, 4);
            // Before 3.03 the BDS B1I band was named 1, here as in the types.
            if (m_scaleSystem == 'C' && m_version < 3.025 && t.size() == 3 && t[1] == '1') t[1] = '2';
            if (!t.empty()) m_readScale[m_scaleSystem][t] = m_scaleFactor;
        }
    } else if (inEvent) {
        return;
    } else if (label == "PGM / RUN BY / DATE") {
        m_header.program = field(line, 0, 20);
    } else if (label == "MARKER NAME") {
        m_header.marker = field(line, 0, 60);
    } else if (label == "REC # / TYPE / VERS") {
        std::string type = field(line, 20, 20), version = field(line, 40, 20);
        m_header.receiver = version.empty() ? type : type + " " + version;
    } else if (label == "ANT # / TYPE") {
        m_header.antenna = field(line, 20, 20);
    } else if (label == "APPROX POSITION XYZ") {
        double xyz[3];
        if (number(line, 0, 14, &xyz[0]) && number(line, 14, 14, &xyz[1]) && number(line, 28, 14, &xyz[2]))
            for (int i = 0; i < 3; i++) m_header.approx[i] = xyz[i];
    } else if (label == "INTERVAL") {
        double v;
        if (number(line, 0, 10, &v) && v > 0) m_header.interval = v;
    } else if (label == "TIME OF FIRST OBS") {
        m_header.time_system = field(line, 48, 3);
    } else if (label == "LEAP SECONDS") {
        int v;
        if (integer(line, 0, 6, &v)) m_header.leap_seconds = v + leapSecondsBase(line);
    } else if (label == "GLONASS SLOT / FRQ #") {
        for (int k = 0; k < 8; k++) {
            char s;
            int slot, channel;
            if (satellite(line, 4 + 7 * k, &s, &slot) && s == 'R' && integer(line, 8 + 7 * k, 2, &channel))
                m_header.glonass_channels.push_back({slot, channel});
        }
    }
}

// The types just read become the ones the epochs follow.
void RinexObsReader::finishTypes()
{
    if (m_version >= 3) {
        for (auto &entry : m_readTypes) {
            char system = entry.first;
            std::vector<std::string> types = entry.second;
            // Before 3.03 the BDS B1I band was named 1.
            if (system == 'C' && m_version < 3.025)
                for (std::string &t : types)
                    if (t.size() == 3 && t[1] == '1') t[1] = '2';
            m_current[system] = types;
        }
    } else if (!m_readTypes2.empty()) {
        m_types2 = m_readTypes2;
        for (const char *s = kRinex2Systems; *s; s++) m_current[*s] = rinex3Codes(*s, m_types2);
    }
    m_readTypes.clear();
    m_readTypes2.clear();
    // A type the header did not list (or, in RINEX 3, a system it did not
    // name) that an event brings in joins the header's lists at their end,
    // so that its values are counted like the others; the columns already
    // there keep their places.
    for (auto &entry : m_current) {
        int index = systemIndex(entry.first);
        if (index < 0 && m_version >= 3 && !entry.second.empty()) {
            m_header.types.push_back({entry.first, {}});
            index = int(m_header.types.size() - 1);
            m_typesGrown = true;
        }
        if (index < 0) continue;
        std::vector<std::string> &header = m_header.types[size_t(index)].second;
        for (const std::string &t : entry.second)
            if (!t.empty() && std::find(header.begin(), header.end(), t) == header.end()) {
                header.push_back(t);
                m_typesGrown = true;
            }
    }
    // Columns into the header's lists.
    for (auto &entry : m_current) {
        char system = entry.first;
        int index = systemIndex(system);
        std::vector<int> &columns = m_columns[system];
        std::vector<double> &scale = m_scale[system];
        columns.assign(entry.second.size(), -1);
        scale.assign(entry.second.size(), 1.0);
        const std::map<std::string, double> &factors = m_readScale[system];
        for (size_t i = 0; i < entry.second.size(); i++) {
            auto factor = factors.find(entry.second[i]);
            if (factor == factors.end()) factor = factors.find(std::string());
            if (factor != factors.end()) scale[i] = factor->second;
            if (index < 0) continue;
            const std::vector<std::string> &header = m_header.types[index].second;
            auto it = std::find(header.begin(), header.end(), entry.second[i]);
            if (it != header.end()) columns[i] = int(it - header.begin());
        }
    }
}

int RinexObsReader::systemIndex(char system) const
{
    for (size_t i = 0; i < m_header.types.size(); i++)
        if (m_header.types[i].first == system) return int(i);
    return -1;
}

bool RinexObsReader::readHeader(std::string *error)
{
    std::string line;
    if (!m_in.next(&line)) {
        // A directory, say, opens but cannot be read: that is no empty file.
        *error = m_in.failed() ? "cannot be read" : "empty file";
        return false;
    }
    if (headerLabel(line) == "CRINEX VERS   / TYPE") {
        *error = "a Compact RINEX (Hatanaka) file: expand it to RINEX first";
        return false;
    }
    if (headerLabel(line) != "RINEX VERSION / TYPE" || !number(line, 0, 9, &m_version)) {
        *error = "not a RINEX file (no \"RINEX VERSION / TYPE\" line)";
        return false;
    }
    if (line.size() < 21 || line[20] != 'O') {
        *error = "not a RINEX observation file";
        return false;
    }
    if (m_version < 2 || m_version >= 4) {
        *error = "RINEX version " + field(line, 0, 9) + " is not read";
        return false;
    }
    m_header.version = field(line, 0, 9);
    m_fileSystem = line.size() > 40 && line[40] != ' ' ? line[40] : 'G';
    bool end = false;
    while (m_in.next(&line)) {
        if (headerLabel(line) == "END OF HEADER") {
            end = true;
            break;
        }
        headerRecord(line, false);
    }
    if (!end) {
        *error = m_in.failed() ? "read error in the header" : "no \"END OF HEADER\"";
        return false;
    }
    // The header's types, in the header's order.
    if (m_version >= 3) {
        for (auto &entry : m_readTypes) {
            std::vector<std::string> types = entry.second;
            if (entry.first == 'C' && m_version < 3.025)
                for (std::string &t : types)
                    if (t.size() == 3 && t[1] == '1') t[1] = '2';
            m_header.types.push_back({entry.first, types});
        }
    } else {
        if (m_readTypes2.empty()) {
            *error = "no \"# / TYPES OF OBSERV\"";
            return false;
        }
        // A single-system file lists that system; a mixed one any of them.
        std::string systems = m_fileSystem == 'M' ? std::string(kRinex2Systems) : std::string(1, m_fileSystem);
        for (char s : systems) m_header.types.push_back({s, rinex3Codes(s, m_readTypes2)});
        m_types2Header = m_readTypes2;
    }
    if (m_header.types.empty()) {
        *error = "no observation types in the header";
        return false;
    }
    finishTypes();
    return true;
}

GpsSeconds RinexObsReader::toGps(GpsSeconds t) const
{
    const std::string &ts = m_header.time_system;
    if (ts == "GLO" || (ts.empty() && m_fileSystem == 'R')) {
        int leap = m_header.leap_seconds >= 0 ? m_header.leap_seconds : leapSecondsAt(t + 18);
        return t + leap;
    }
    if (ts == "BDT" || (ts.empty() && m_fileSystem == 'C')) return t + 14;
    return t;
}

ObsValue RinexObsReader::readValue(const std::string &line, size_t at)
{
    ObsValue v;
    double x;
    // RINEX writes a missing observation as blanks or as 0.0: a zero is no
    // range, phase, Doppler or strength that was measured.
    if (number(line, at, 14, &x) && x != 0.0) v.value = x;
    if (at + 14 < line.size() && std::isdigit((unsigned char)line[at + 14])) v.lli = uint8_t(line[at + 14] - '0');
    if (at + 15 < line.size() && std::isdigit((unsigned char)line[at + 15])) v.strength = uint8_t(line[at + 15] - '0');
    return v;
}

void RinexObsReader::skipEventRecords(int count)
{
    bool types = false;
    std::string line;
    for (int i = 0; i < count && nextLine(&line); i++) {
        const std::string label = headerLabel(line);
        if (label == "SYS / # / OBS TYPES" || label == "# / TYPES OF OBSERV" || label == "SYS / SCALE FACTOR")
            types = true;
        headerRecord(line, true);
    }
    if (types) finishTypes();
}

bool RinexObsReader::next(ObsEpoch *epoch, std::string *error)
{
    epoch->satellites.clear();
    epoch->flag = 0;
    epoch->time = 0;
    bool ok = m_version >= 3 ? nextRinex3(epoch) : nextRinex2(epoch);
    if (!ok && m_in.failed() && error) *error = "read error at line " + std::to_string(m_in.lineNumber());
    return ok;
}

bool RinexObsReader::nextRinex3(ObsEpoch *epoch)
{
    std::string line;
    while (readLine(&line)) {
        int year, month, day, hour, minute, flag, count;
        double second;
        if (line.empty() || line[0] != '>') {
            if (!field(line, 0, 80).empty()) m_skipped++;
            continue;
        }
        if (!integer(line, 31, 1, &flag)) flag = 0;
        if (!integer(line, 32, 3, &count) || count < 0) {
            m_skipped++;
            continue;
        }
        bool dated = integer(line, 1, 5, &year) && integer(line, 6, 3, &month) && integer(line, 9, 3, &day) &&
                     integer(line, 12, 3, &hour) && integer(line, 15, 3, &minute) && number(line, 18, 11, &second) &&
                     month >= 1 && month <= 12 && day >= 1 && day <= 31;
        epoch->flag = flag;
        epoch->time = dated ? toGps(calendarSeconds(year, month, day, hour, minute, second)) : 0;
        if (flag >= 2 && flag <= 5) {
            skipEventRecords(count);
            return true;
        }
        if (flag > 6 || !dated) {
            m_skipped++;
            continue;
        }
        // Flag 6 (cycle slip records) lists satellites the same way; they
        // are not observations and are read past.
        for (int i = 0; i < count; i++) {
            if (!nextLine(&line)) break;
            if (!line.empty() && line[0] == '>') {
                // A short epoch: the next one starts here.
                m_line = line;
                m_pendingLine = true;
                m_skipped++;
                break;
            }
            if (flag == 6) continue;
            ObsSatellite sat;
            int index;
            if (!satellite(line, 0, &sat.system, &sat.prn) || (index = systemIndex(sat.system)) < 0) {
                m_skipped++;
                continue;
            }
            const std::vector<int> &columns = m_columns[sat.system];
            const std::vector<double> &scale = m_scale[sat.system];
            sat.values.assign(m_header.types[size_t(index)].second.size(), ObsValue());
            for (size_t k = 0; k < columns.size(); k++) {
                size_t at = 3 + 16 * k;
                if (at >= line.size()) break;
                if (columns[k] < 0) continue;
                ObsValue v = readValue(line, at);
                if (scale[k] != 1.0) v.value /= scale[k];
                sat.values[size_t(columns[k])] = v;
            }
            epoch->satellites.push_back(std::move(sat));
        }
        return true;
    }
    return false;
}

bool RinexObsReader::nextRinex2(ObsEpoch *epoch)
{
    std::string line;
    while (readLine(&line)) {
        int year, month, day, hour, minute, flag, count;
        double second;
        if (field(line, 0, 80).empty()) continue;
        if (!integer(line, 28, 1, &flag) || !integer(line, 29, 3, &count) || count < 0 || line.size() < 32 ||
            line[0] != ' ') {
            m_skipped++;
            continue;
        }
        bool dated = integer(line, 0, 3, &year) && integer(line, 3, 3, &month) && integer(line, 6, 3, &day) &&
                     integer(line, 9, 3, &hour) && integer(line, 12, 3, &minute) && number(line, 15, 11, &second) &&
                     month >= 1 && month <= 12 && day >= 1 && day <= 31;
        year += year < 80 ? 2000 : 1900;
        epoch->flag = flag;
        epoch->time = dated ? toGps(calendarSeconds(year, month, day, hour, minute, second)) : 0;
        if (flag >= 2 && flag <= 5) {
            skipEventRecords(count);
            return true;
        }
        if (flag > 6 || (!dated && flag <= 1)) {
            m_skipped++;
            continue;
        }
        // The satellites: 12 on the epoch line, the rest on continuation lines.
        std::vector<std::pair<char, int>> list;
        std::string names = line;
        for (int i = 0; i < count; i++) {
            if (i > 0 && i % 12 == 0 && !nextLine(&names)) break;
            char s;
            int prn;
            if (satellite(names, 32 + 3 * size_t(i % 12), &s, &prn)) list.push_back({s, prn});
            else list.push_back({0, 0});
        }
        const int types = int(m_types2.size());
        const int lines = (types + 4) / 5;
        for (const auto &sv : list) {
            ObsSatellite sat;
            sat.system = sv.first;
            sat.prn = sv.second;
            int index = sv.first ? systemIndex(sv.first) : -1;
            std::vector<ObsValue> values(static_cast<size_t>(types));
            bool whole = true;
            for (int l = 0; l < lines && whole; l++) {
                whole = nextLine(&line);
                for (int k = 0; k < 5 && 5 * l + k < types && whole; k++)
                    values[size_t(5 * l + k)] = readValue(line, 16 * size_t(k));
            }
            // A satellite the file ends inside of is left out; the epoch
            // keeps those before it.
            if (!whole) break;
            if (flag == 6) continue;
            if (index < 0) {
                m_skipped++;
                continue;
            }
            const std::vector<int> &columns = m_columns[sat.system];
            sat.values.assign(m_header.types[size_t(index)].second.size(), ObsValue());
            for (size_t k = 0; k < columns.size() && k < values.size(); k++)
                if (columns[k] >= 0) sat.values[size_t(columns[k])] = values[k];
            epoch->satellites.push_back(std::move(sat));
        }
        return true;
    }
    return false;
}

} // namespace qc
