// rtcm3gen: writes a synthetic RTCM 3 reference-station stream of any length
// (MSM7 of five systems, station position, ephemerides every 30 s) for demos
// and for throughput measurements. The stream is written one epoch at a time,
// so memory stays flat even for gigabytes of output.
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <cmath>
#include <vector>

#include "rtcm3_stream.h"

namespace {

const char kUsage[] =
    "Usage: rtcm3gen [OPTIONS] OUTPUT\n"
    "Writes a synthetic RTCM 3 stream to OUTPUT (\"-\" for standard output):\n"
    "1005 every 5 s, 1006 and 1033 every 5 min, MSM7 of GPS, GLONASS, Galileo,\n"
    "BDS and QZSS every epoch, ephemerides 1019, 1020, 1042, 1044, 1045 and 1046\n"
    "of every satellite every 30 s.\n"
    "\n"
    "Options:\n"
    "  --duration SECONDS   length of the stream (default 3600)\n"
    "  --rate HZ            epochs per second, 1 or 10 (default 1)\n"
    "  --start \"YYYY-MM-DD hh:mm:ss\"\n"
    "                       GPS time of the first epoch (default 2024-03-09 23:50:00,\n"
    "                       ten minutes before a GPS week begins)\n"
    "  --seed N             choice of satellites, orbits and noise (default 1)\n"
    "  --station ID         reference station id, 0..4095 (default 100)\n"
    "  --size MB            stop once at least MB megabytes are written\n"
    "                       (overrides --duration)\n"
    "  -h, --help           this text\n";

bool number(const char *text, double *out)
{
    char *end = nullptr;
    errno = 0;
    double v = strtod(text, &end);
    if (errno || end == text || *end || !std::isfinite(v)) return false;
    *out = v;
    return true;
}

// Seeds and station ids are whole numbers: 12.7 is a mistake, not 12.
bool whole(double v, double low, double high)
{
    return v >= low && v <= high && v == std::floor(v);
}

} // namespace

int main(int argc, char **argv)
{
    rtcm3gen::Config cfg;
    cfg.startMs = rtcm3gen::parseTime("2024-03-09 23:50:00");
    double sizeMb = 0;
    const char *output = nullptr;
    for (int i = 1; i < argc; i++) {
        const char *a = argv[i];
        auto value = [&](double *v) {
            if (i + 1 >= argc || !number(argv[i + 1], v)) {
                fprintf(stderr, "rtcm3gen: %s needs a number\n", a);
                exit(2);
            }
            i++;
        };
        double v = 0;
        if (!strcmp(a, "-h") || !strcmp(a, "--help")) {
            fputs(kUsage, stdout);
            return 0;
        } else if (!strcmp(a, "--duration")) {
            value(&v);
            if (v <= 0 || v > 1e9) {
                fprintf(stderr, "rtcm3gen: --duration must be positive\n");
                return 2;
            }
            // A duration shorter than an epoch still gives that epoch.
            cfg.durationMs = (int64_t)std::ceil(v * 1000.0);
        } else if (!strcmp(a, "--rate")) {
            value(&v);
            if (v != 1 && v != 10) {
                fprintf(stderr, "rtcm3gen: --rate must be 1 or 10\n");
                return 2;
            }
            cfg.rateHz = (int)v;
        } else if (!strcmp(a, "--start")) {
            if (i + 1 >= argc || (cfg.startMs = rtcm3gen::parseTime(argv[i + 1])) < 0) {
                fprintf(stderr, "rtcm3gen: --start needs \"YYYY-MM-DD hh:mm:ss\" after 1980\n");
                return 2;
            }
            i++;
        } else if (!strcmp(a, "--seed")) {
            value(&v);
            if (!whole(v, 0, 4294967295.0)) {
                fprintf(stderr, "rtcm3gen: --seed must be 0..4294967295\n");
                return 2;
            }
            cfg.seed = (uint32_t)v;
        } else if (!strcmp(a, "--station")) {
            value(&v);
            if (!whole(v, 0, 4095)) {
                fprintf(stderr, "rtcm3gen: --station must be 0..4095\n");
                return 2;
            }
            cfg.station = (int)v;
        } else if (!strcmp(a, "--size")) {
            value(&v);
            if (v <= 0 || v > 1e9) {
                fprintf(stderr, "rtcm3gen: --size must be above 0 and at most 1e9\n");
                return 2;
            }
            sizeMb = v;
        } else if (a[0] == '-' && a[1]) {
            fprintf(stderr, "rtcm3gen: unknown option %s\n%s", a, kUsage);
            return 2;
        } else if (!output) {
            output = a;
        } else {
            fprintf(stderr, "rtcm3gen: more than one OUTPUT\n");
            return 2;
        }
    }
    if (!output) {
        fprintf(stderr, "rtcm3gen: no OUTPUT given\n%s", kUsage);
        return 2;
    }
    // With --size, the duration is open-ended: twenty years of epochs at most.
    if (sizeMb > 0) cfg.durationMs = 20 * 366 * rtcm3gen::kDayMs;

    FILE *f = strcmp(output, "-") ? fopen(output, "wb") : stdout;
    if (!f) {
        fprintf(stderr, "rtcm3gen: cannot open %s: %s\n", output, strerror(errno));
        return 1;
    }
    rtcm3gen::Generator gen(cfg);
    std::vector<uint8_t> buffer;
    buffer.reserve(1 << 20);
    uint64_t written = 0;
    const uint64_t limit = sizeMb > 0 ? (uint64_t)(sizeMb * 1e6) : UINT64_MAX;
    while (!gen.done() && written < limit) {
        gen.nextEpoch(buffer);
        if (buffer.size() >= (1u << 20) - 16384 || gen.done()) {
            if (fwrite(buffer.data(), 1, buffer.size(), f) != buffer.size()) {
                fprintf(stderr, "rtcm3gen: write to %s failed: %s\n", output, strerror(errno));
                return 1;
            }
            written += buffer.size();
            buffer.clear();
        }
    }
    if (!buffer.empty()) {
        if (fwrite(buffer.data(), 1, buffer.size(), f) != buffer.size()) {
            fprintf(stderr, "rtcm3gen: write to %s failed: %s\n", output, strerror(errno));
            return 1;
        }
        written += buffer.size();
    }
    if (f != stdout ? fclose(f) != 0 : fflush(f) != 0) {
        fprintf(stderr, "rtcm3gen: write to %s failed: %s\n", output, strerror(errno));
        return 1;
    }
    fprintf(stderr, "rtcm3gen: %lld epochs at %d Hz, %.1f MB\n", (long long)gen.epochIndex(), cfg.rateHz,
            written / 1e6);
    return 0;
}
