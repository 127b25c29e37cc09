// gnssscan: what does a receiver log hold? Runs the framer over each file with
// every format registered (HCI only on request) and counts frames per format
// and message number.
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "gnssparser.h"

namespace {

enum Format { LINE_, RTCM3, NOVATEL, NOVATELX, UNICORE, HEMISPHERE, UBLOX, SEPTENTRIO, TRIMBLE,
              RTCM2, SINO, CSHG, HCI, FMI, FORMAT_COUNT };

// Output order and names.
const struct {
    Format format;
    const char *name;
} kFormats[] = {
    {RTCM3, "rtcm3"},           {NOVATEL, "novatel"}, {NOVATELX, "novatelx"}, {UNICORE, "unicore"},
    {HEMISPHERE, "hemisphere"}, {UBLOX, "ublox"},     {SEPTENTRIO, "septentrio"}, {TRIMBLE, "trimble"},
    {RTCM2, "rtcm2"},           {SINO, "sino"},       {CSHG, "cshg"},        {HCI, "hci"},
    {FMI, "fmi"},               {LINE_, "line"},
};

// Message key: numeric where the format has a number (sorted numerically),
// text otherwise.
typedef std::pair<long, std::string> Key;

struct Scan {
    std::map<Key, uint64_t> counts[FORMAT_COUNT];
    uint64_t discarded = 0;
};

uint16_t le16(const uint8_t *p) { return (uint16_t)(p[0] | (p[1] << 8)); }

Key numeric(long v) { return Key(v, std::string()); }
Key text(const std::string &s) { return Key(-1, s); }

template <Format F> void on_frame(const uint8_t *d, uint32_t n, void *user)
{
    Scan *scan = static_cast<Scan *>(user);
    Key key = text("-");
    char hex[16];
    switch (F) {
    case RTCM3: key = numeric(n >= 5 ? ((d[3] << 4) | (d[4] >> 4)) : -1); break;
    case NOVATEL:
    case NOVATELX:
    case UNICORE:
    case HEMISPHERE: key = numeric(n >= 6 ? le16(d + 4) : -1); break;
    case SEPTENTRIO: key = numeric(n >= 6 ? (le16(d + 4) & 0x1FFF) : -1); break;
    case UBLOX:
        snprintf(hex, sizeof hex, "0x%02X%02X", n > 3 ? d[2] : 0, n > 3 ? d[3] : 0);
        key = Key(n > 3 ? (d[2] << 8 | d[3]) : -1, hex);
        break;
    case TRIMBLE:
        snprintf(hex, sizeof hex, "0x%02X", n > 2 ? d[2] : 0);
        key = Key(n > 2 ? d[2] : -1, hex);
        break;
    case RTCM2: {
        uint32_t w = 0;
        for (int k = 0; k < 5 && (uint32_t)k < n; k++)
            for (int i = 0; i < 6; i++) w = (w << 1) | ((d[k] >> i) & 1u);
        if (d[0] == 0x59) w ^= 0x3FFFFFC0u;
        key = numeric((w >> 16) & 0x3F);
        break;
    }
    case SINO: key = text(n >= 4 ? std::string((const char *)d + 2, 2) : "-"); break;
    case FMI: key = text(n >= 4 ? std::string(1, (char)d[3]) : "-"); break;
    default: break;
    }
    scan->counts[F][key]++;
}

void on_crack(const uint8_t *, uint32_t n, void *user)
{
    static_cast<Scan *>(user)->discarded += n;
}

void usage(FILE *out)
{
    fputs("Usage: gnssscan [OPTIONS] FILE...\n"
          "Runs the stream framer over each FILE with every format registered but hci\n"
          "(which has no check; name it with -f to look for it) and prints, per file, one\n"
          "line per format and message number:\n"
          "  file<TAB>PATH\n"
          "  FORMAT<TAB>MESSAGE<TAB>COUNT\n"
          "  discarded<TAB>BYTES\n"
          "FORMAT is one of rtcm3 novatel novatelx unicore hemisphere ublox septentrio trimble\n"
          "rtcm2 sino cshg hci fmi line; MESSAGE is the message number or id where the format\n"
          "has one, else \"-\". BYTES counts the bytes that belong to no frame.\n"
          "\n"
          "Options:\n"
          "  -f, --formats LIST  register only these formats (comma-separated names, or\n"
          "                      \"conversion\" for line,rtcm3,novatel,hemisphere,ublox,\n"
          "                      septentrio, the set a conversion reads)\n"
          "  -h, --help          show this help\n"
          "Exit status: 0 when every file was read, 1 when one could not be, 2 on bad usage.\n",
          out);
}

bool parse_formats(const char *list, bool enabled[FORMAT_COUNT])
{
    std::string s(list);
    if (s == "conversion") s = "line,rtcm3,novatel,hemisphere,ublox,septentrio";
    for (int i = 0; i < FORMAT_COUNT; i++) enabled[i] = false;
    size_t start = 0;
    while (start <= s.size()) {
        size_t comma = s.find(',', start);
        std::string name = s.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        bool found = false;
        for (const auto &f : kFormats)
            if (name == f.name) {
                enabled[f.format] = found = true;
            }
        if (!found) {
            fprintf(stderr, "gnssscan: unknown format \"%s\"\n", name.c_str());
            return false;
        }
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return true;
}

bool scan_file(const char *path, const bool enabled[FORMAT_COUNT])
{
    FILE *in = fopen(path, "rb");
    if (!in) {
        fprintf(stderr, "gnssscan: cannot open %s: %s\n", path, strerror(errno));
        return false;
    }
    static uint8_t work[GNSSPARSER_BUFFER_SIZE];
    Scan scan;
    gnssparser_s parser;
    gnssparser_init(&parser, work, sizeof work, &scan);
    gnssparser_callback_crack(&parser, on_crack);
    if (enabled[LINE_]) gnssparser_callback_line(&parser, on_frame<LINE_>);
    if (enabled[RTCM3]) gnssparser_callback_rtcm3(&parser, on_frame<RTCM3>);
    if (enabled[NOVATEL]) gnssparser_callback_novatel(&parser, on_frame<NOVATEL>);
    if (enabled[NOVATELX]) gnssparser_callback_novatelx(&parser, on_frame<NOVATELX>);
    if (enabled[UNICORE]) gnssparser_callback_unicore(&parser, on_frame<UNICORE>);
    if (enabled[HEMISPHERE]) gnssparser_callback_hemisphere(&parser, on_frame<HEMISPHERE>);
    if (enabled[UBLOX]) gnssparser_callback_ublox(&parser, on_frame<UBLOX>);
    if (enabled[SEPTENTRIO]) gnssparser_callback_septentrio(&parser, on_frame<SEPTENTRIO>);
    if (enabled[TRIMBLE]) gnssparser_callback_trimble(&parser, on_frame<TRIMBLE>);
    if (enabled[RTCM2]) gnssparser_callback_rtcm2(&parser, on_frame<RTCM2>);
    if (enabled[SINO]) gnssparser_callback_sino(&parser, on_frame<SINO>);
    if (enabled[CSHG]) gnssparser_callback_cshg(&parser, on_frame<CSHG>);
    if (enabled[HCI]) gnssparser_callback_hci(&parser, on_frame<HCI>);
    if (enabled[FMI]) gnssparser_callback_fmi(&parser, on_frame<FMI>);

    std::vector<uint8_t> chunk(1 << 20);
    bool ok = true;
    for (;;) {
        size_t n = fread(chunk.data(), 1, chunk.size(), in);
        if (n > 0) gnssparser_input(&parser, chunk.data(), (uint32_t)n);
        if (n < chunk.size()) {
            if (ferror(in)) {
                fprintf(stderr, "gnssscan: read error in %s: %s\n", path, strerror(errno));
                ok = false;
            }
            break;
        }
    }
    fclose(in);
    gnssparser_flush(&parser); // an unfinished tail counts as discarded

    printf("file\t%s\n", path);
    for (const auto &f : kFormats)
        for (const auto &entry : scan.counts[f.format]) {
            const Key &key = entry.first;
            if (key.second.empty())
                printf("%s\t%ld\t%llu\n", f.name, key.first, (unsigned long long)entry.second);
            else
                printf("%s\t%s\t%llu\n", f.name, key.second.c_str(), (unsigned long long)entry.second);
        }
    printf("discarded\t%llu\n", (unsigned long long)scan.discarded);
    return ok;
}

} // namespace

int main(int argc, char **argv)
{
    bool enabled[FORMAT_COUNT];
    // HCI packets carry no check, so in a log of other formats every 01..04
    // byte between frames would begin one, and the packet would swallow the
    // genuine frames its length covers: they are looked for only on request.
    for (int i = 0; i < FORMAT_COUNT; i++) enabled[i] = i != HCI;
    std::vector<const char *> files;
    for (int i = 1; i < argc; i++) {
        const char *a = argv[i];
        if (!strcmp(a, "-h") || !strcmp(a, "--help")) {
            usage(stdout);
            return 0;
        } else if (!strcmp(a, "-f") || !strcmp(a, "--formats")) {
            if (i + 1 >= argc) {
                fprintf(stderr, "gnssscan: %s needs a list of formats\n", a);
                return 2;
            }
            if (!parse_formats(argv[++i], enabled)) return 2;
        } else if (!strncmp(a, "--formats=", 10)) {
            if (!parse_formats(a + 10, enabled)) return 2;
        } else if (!strcmp(a, "--")) {
            for (i++; i < argc; i++) files.push_back(argv[i]);
        } else if (a[0] == '-' && a[1]) {
            fprintf(stderr, "gnssscan: unknown option %s (see --help)\n", a);
            return 2;
        } else {
            files.push_back(a);
        }
    }
    if (files.empty()) {
        usage(stderr);
        return 2;
    }
    bool ok = true;
    for (const char *f : files) ok = scan_file(f, enabled) && ok;
    // A listing that did not reach its reader is no listing.
    if (fflush(stdout) != 0 || ferror(stdout)) {
        fprintf(stderr, "gnssscan: cannot write to standard output: %s\n", strerror(errno));
        ok = false;
    }
    return ok ? 0 : 1;
}
