// The text and JSON renderings of a quality report.
#include <cmath>
#include <cstdio>
#include <string>

#include "quality.h"
#include "rinex_text.h"

namespace qc {

namespace {

std::string printf1(const char *format, double v)
{
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, format, v);
    return buffer;
}

// A number, or "-" when unknown.
std::string num(double v, const char *format)
{
    return std::isnan(v) ? std::string("-") : printf1(format, v);
}

std::string count(long long v)
{
    return v < 0 ? std::string("-") : std::to_string(v);
}

// A right-aligned value wider than its column still gets a blank before it,
// so that large counts (a multi-day 10 Hz file) never run together.
std::string pad(const std::string &s, size_t width, bool right = true)
{
    if (s.size() >= width) return right ? " " + s : s;
    return right ? std::string(width - s.size(), ' ') + s : s + std::string(width - s.size(), ' ');
}

const char *systemName(char s)
{
    switch (s) {
    case 'G': return "GPS";
    case 'R': return "GLONASS";
    case 'E': return "Galileo";
    case 'C': return "BDS";
    case 'J': return "QZSS";
    case 'S': return "SBAS";
    case 'I': return "NavIC";
    }
    return "other";
}

std::string duration(double s)
{
    long t = long(std::floor(s + 0.5));
    char buffer[48];
    if (t >= 3600) std::snprintf(buffer, sizeof buffer, "%ld h %02ld min %02ld s", t / 3600, t / 60 % 60, t % 60);
    else if (t >= 60) std::snprintf(buffer, sizeof buffer, "%ld min %02ld s", t / 60, t % 60);
    else std::snprintf(buffer, sizeof buffer, "%ld s", t);
    return buffer;
}

// The length of the UTF-8 sequence that starts at `at`, 0 when the bytes
// there are not one.
size_t utf8Length(const std::string &s, size_t at)
{
    const unsigned char c = (unsigned char)s[at];
    const size_t n = c >= 0xf0 && c <= 0xf4 ? 4 : c >= 0xe0 ? 3 : c >= 0xc2 && c <= 0xdf ? 2 : 0;
    if (n == 0 || at + n > s.size()) return 0;
    for (size_t k = 1; k < n; k++)
        if (((unsigned char)s[at + k] & 0xc0) != 0x80) return 0;
    const unsigned char d = (unsigned char)s[at + 1];
    // Overlong forms, surrogates and code points beyond U+10FFFF.
    if ((c == 0xe0 && d < 0xa0) || (c == 0xed && d >= 0xa0) || (c == 0xf0 && d < 0x90) || (c == 0xf4 && d >= 0x90))
        return 0;
    return n;
}

std::string jsonString(const std::string &s)
{
    std::string out = "\"";
    for (size_t i = 0; i < s.size(); i++) {
        const unsigned char c = (unsigned char)s[i];
        if (c >= 0x80) {
            // RINEX headers are meant to be ASCII; other producers' files
            // carry Latin-1 names now and then. Those bytes are no UTF-8, so
            // they go out as the Latin-1 characters they are, keeping the
            // JSON readable.
            const size_t n = utf8Length(s, i);
            if (n > 0) {
                out.append(s, i, n);
                i += n - 1;
            } else {
                char buffer[8];
                std::snprintf(buffer, sizeof buffer, "\\u%04x", c);
                out += buffer;
            }
            continue;
        }
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (c < 0x20) {
                char buffer[8];
                std::snprintf(buffer, sizeof buffer, "\\u%04x", c);
                out += buffer;
            }
            else
                out += char(c);
        }
    }
    return out + "\"";
}

std::string jsonNumber(double v, const char *format = "%.6g")
{
    return std::isfinite(v) ? printf1(format, v) : std::string("null");
}

std::string jsonCount(long long v)
{
    return v < 0 ? std::string("null") : std::to_string(v);
}

} // namespace

std::string formatSummary(const Report &r)
{
    std::string o;
    const ObsHeader &h = r.header;
    o += "File:       " + r.file + "\n";
    o += "RINEX:      " + h.version + (h.program.empty() ? std::string() : ", written by " + h.program) + "\n";
    if (!h.marker.empty()) o += "Marker:     " + h.marker + "\n";
    if (!h.receiver.empty()) o += "Receiver:   " + h.receiver + "\n";
    if (!h.antenna.empty()) o += "Antenna:    " + h.antenna + "\n";
    if (r.epochs > 0) {
        o += "Time:       " + formatTime(r.first) + " to " + formatTime(r.last) + " GPS (" + duration(r.last - r.first) +
             ")\n";
    }
    o += "Interval:   " + (r.interval > 0 ? printf1("%.3f s", r.interval) : std::string("-")) + "\n";
    o += "Epochs:     " + std::to_string(r.epochs) + " of " + std::to_string(r.epochs_expected) + " expected, " +
         std::to_string(r.gaps) + (r.gaps == 1 ? " gap" : " gaps");
    if (r.gaps > 0) o += " (longest " + printf1("%.3f", r.longest_gap) + " s)";
    o += ", " + std::to_string(r.events) + (r.events == 1 ? " event" : " events") + "\n";
    const std::vector<std::string> unread = unreadNotes(r);
    for (size_t i = 0; i < unread.size(); i++) o += (i ? "; " : "Unread:     ") + unread[i] + (i + 1 == unread.size() ? "\n" : "");
    const double *a = h.approx;
    o += "Position:   ";
    if (a[0] != 0 || a[1] != 0 || a[2] != 0)
        o += "header " + printf1("%.4f", a[0]) + " " + printf1("%.4f", a[1]) + " " + printf1("%.4f", a[2]) + " m";
    else o += "header none";
    if (r.position_known)
        o += "; computed " + printf1("%.3f", r.position[0]) + " " + printf1("%.3f", r.position[1]) + " " +
             printf1("%.3f", r.position[2]) + " m, spread " + num(r.position_spread, "%.2f") + " m over " +
             std::to_string(r.position_solutions) + " solutions";
    o += "\n";
    o += "Elevations: " +
         (r.elevations_known ? "cut-off " + printf1("%.0f", r.cutoff_degrees) + " deg"
                             : std::string("not known (needs navigation data and a position)")) +
         "\n\n";

    o += "System   Sats       Obs  Expected  Observed  Slips  SNR dB-Hz  Multipath RMS m\n";
    for (const SystemStats &s : r.systems) {
        std::string mp;
        for (const auto &m : s.multipath_rms) mp += (mp.empty() ? "" : "  ") + m.first + " " + printf1("%.3f", m.second);
        o += pad(systemName(s.system), 7, false) + pad(std::to_string(s.satellites), 6) +
             pad(std::to_string(s.observations), 10) + pad(count(s.expected), 10) + pad(count(s.observed_above), 10) +
             pad(std::to_string(s.slips), 7) + pad(num(s.snr_mean, "%.1f"), 11) + "  " + (mp.empty() ? "-" : mp) + "\n";
    }
    o += "\n";
    o += "Sat  Sig  First     Last      Epochs   Code  Phase   Dopp    SNR  LLI   GF  SNR mean   min    MP m  Above/expected\n";
    for (const SatelliteStats &s : r.satellites) {
        char name[8];
        std::snprintf(name, sizeof name, "%c%02d", s.system, s.prn);
        bool firstLine = true;
        for (const SignalStats &g : s.signals) {
            std::string line = firstLine ? std::string(name) + "  " : std::string(5, ' ');
            line += pad(g.code, 3, false);
            if (firstLine) {
                line += "  " + formatTime(s.first).substr(11, 8) + "  " + formatTime(s.last).substr(11, 8) +
                        pad(std::to_string(s.epochs), 8);
            } else {
                line += std::string(28, ' ');
            }
            line += pad(std::to_string(g.code_obs), 7) + pad(std::to_string(g.phase_obs), 7) +
                    pad(std::to_string(g.doppler_obs), 7) + pad(std::to_string(g.strength_obs), 7) +
                    pad(std::to_string(g.slips_lli), 5) + pad(std::to_string(g.slips_gf), 5) +
                    pad(num(g.snr_mean, "%.1f"), 10) + pad(num(g.snr_min, "%.1f"), 6) +
                    pad(num(g.multipath_rms, "%.3f"), 8);
            if (g.expected >= 0) line += pad(std::to_string(g.observed_above) + "/" + std::to_string(g.expected), 14);
            o += line + "\n";
            firstLine = false;
        }
    }
    o += "\nVerdict: " + r.verdict + "\n";
    return o;
}

std::string formatJson(const Report &r)
{
    const ObsHeader &h = r.header;
    std::string o = "{\n";
    o += "  \"file\": " + jsonString(r.file) + ",\n";
    o += "  \"header\": {\"version\": " + jsonString(h.version) + ", \"program\": " + jsonString(h.program) +
         ", \"marker\": " + jsonString(h.marker) + ", \"receiver\": " + jsonString(h.receiver) +
         ", \"antenna\": " + jsonString(h.antenna) + ", \"approx_position\": [" + jsonNumber(h.approx[0], "%.4f") +
         ", " + jsonNumber(h.approx[1], "%.4f") + ", " + jsonNumber(h.approx[2], "%.4f") + "]},\n";
    // A file without epochs has no time to give.
    o += "  \"first\": " + (r.epochs > 0 ? jsonString(formatTime(r.first)) : std::string("null")) + ",\n";
    o += "  \"last\": " + (r.epochs > 0 ? jsonString(formatTime(r.last)) : std::string("null")) + ",\n";
    o += "  \"interval\": " + jsonNumber(r.interval) + ",\n";
    o += "  \"epochs\": " + std::to_string(r.epochs) + ",\n";
    o += "  \"epochs_expected\": " + std::to_string(r.epochs_expected) + ",\n";
    o += "  \"gaps\": " + std::to_string(r.gaps) + ",\n";
    o += "  \"longest_gap\": " + jsonNumber(r.longest_gap) + ",\n";
    o += "  \"events\": " + std::to_string(r.events) + ",\n";
    o += "  \"skipped_lines\": " + std::to_string(r.skipped_lines) + ",\n";
    o += "  \"navigation_unread\": " + std::to_string(r.navigation_unread) + ",\n";
    o += "  \"out_of_order\": " + std::to_string(r.out_of_order) + ",\n";
    o += "  \"ends_inside_epoch\": " + std::string(r.ends_inside_epoch ? "true" : "false") + ",\n";
    o += "  \"elevations_known\": " + std::string(r.elevations_known ? "true" : "false") + ",\n";
    o += "  \"cutoff_degrees\": " + jsonNumber(r.cutoff_degrees) + ",\n";
    o += "  \"position_known\": " + std::string(r.position_known ? "true" : "false") + ",\n";
    o += "  \"position\": " +
         (r.position_known ? "[" + jsonNumber(r.position[0], "%.3f") + ", " + jsonNumber(r.position[1], "%.3f") + ", " +
                                 jsonNumber(r.position[2], "%.3f") + "]"
                           : std::string("null")) +
         ",\n";
    o += "  \"position_spread\": " + jsonNumber(r.position_spread) + ",\n";
    o += "  \"header_position_off\": " + jsonNumber(r.header_position_off) + ",\n";
    o += "  \"position_solutions\": " + std::to_string(r.position_solutions) + ",\n";
    o += "  \"systems\": [";
    for (size_t i = 0; i < r.systems.size(); i++) {
        const SystemStats &s = r.systems[i];
        o += std::string(i ? "," : "") + "\n    {\"system\": " + jsonString(std::string(1, s.system)) +
             ", \"satellites\": " + std::to_string(s.satellites) + ", \"observations\": " +
             std::to_string(s.observations) + ", \"expected\": " + jsonCount(s.expected) +
             ", \"observed_above\": " + jsonCount(s.observed_above) + ", \"slips\": " + std::to_string(s.slips) +
             ", \"snr_mean\": " + jsonNumber(s.snr_mean) + ", \"multipath_rms\": {";
        for (size_t k = 0; k < s.multipath_rms.size(); k++)
            o += std::string(k ? ", " : "") + jsonString(s.multipath_rms[k].first) + ": " +
                 jsonNumber(s.multipath_rms[k].second);
        o += "}}";
    }
    o += "\n  ],\n  \"satellites\": [";
    for (size_t i = 0; i < r.satellites.size(); i++) {
        const SatelliteStats &s = r.satellites[i];
        char name[8];
        std::snprintf(name, sizeof name, "%c%02d", s.system, s.prn);
        o += std::string(i ? "," : "") + "\n    {\"satellite\": " + jsonString(name) + ", \"first\": " +
             jsonString(formatTime(s.first)) + ", \"last\": " + jsonString(formatTime(s.last)) +
             ", \"epochs\": " + std::to_string(s.epochs) + ", \"signals\": [";
        for (size_t k = 0; k < s.signals.size(); k++) {
            const SignalStats &g = s.signals[k];
            o += std::string(k ? ", " : "") + "{\"code\": " + jsonString(g.code) +
                 ", \"code_obs\": " + std::to_string(g.code_obs) + ", \"phase_obs\": " + std::to_string(g.phase_obs) +
                 ", \"doppler_obs\": " + std::to_string(g.doppler_obs) +
                 ", \"strength_obs\": " + std::to_string(g.strength_obs) +
                 ", \"slips_lli\": " + std::to_string(g.slips_lli) + ", \"slips_gf\": " + std::to_string(g.slips_gf) +
                 ", \"snr_mean\": " + jsonNumber(g.snr_mean) + ", \"snr_min\": " + jsonNumber(g.snr_min) +
                 ", \"multipath_rms\": " + jsonNumber(g.multipath_rms) + ", \"expected\": " + jsonCount(g.expected) +
                 ", \"observed_above\": " + jsonCount(g.observed_above) + "}";
        }
        o += "]}";
    }
    o += "\n  ],\n  \"verdict\": " + jsonString(r.verdict) + "\n}\n";
    return o;
}

} // namespace qc
