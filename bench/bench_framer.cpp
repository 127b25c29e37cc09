// Framer throughput over real receiver logs repeated in memory, with the four
// formats a conversion registers (line, RTCM 3, NovAtel, Hemisphere), fed in
// 1 MiB pieces as the conversion does. Prints MB/s of input and peak memory.
//   bench_framer [--size MB] [FILE...]
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <time.h>

#include <string>
#include <vector>

#include "gnssparser.h"

namespace {

struct Counts {
    uint64_t frames = 0;
    uint64_t bytes = 0;
};

void on_frame(const uint8_t *, uint32_t length, void *user)
{
    Counts *c = static_cast<Counts *>(user);
    c->frames++;
    c->bytes += length;
}

bool read_file(const std::string &path, std::vector<uint8_t> &out)
{
    FILE *f = fopen(path.c_str(), "rb");
    if (!f) return false;
    uint8_t chunk[65536];
    size_t n;
    while ((n = fread(chunk, 1, sizeof chunk, f)) > 0) out.insert(out.end(), chunk, chunk + n);
    fclose(f);
    return true;
}

double now()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec + ts.tv_nsec * 1e-9;
}

long peak_rss_kib()
{
    rusage ru;
    getrusage(RUSAGE_SELF, &ru);
    return ru.ru_maxrss;
}

void bench(const std::string &path, size_t target_mb)
{
    std::vector<uint8_t> one;
    if (!read_file(path, one) || one.empty()) {
        fprintf(stderr, "bench_framer: cannot read %s\n", path.c_str());
        return;
    }
    std::vector<uint8_t> data;
    data.reserve(target_mb * 1000000 + one.size());
    while (data.size() < target_mb * 1000000) data.insert(data.end(), one.begin(), one.end());

    static uint8_t work[GNSSPARSER_BUFFER_SIZE];
    Counts counts;
    gnssparser_s p;
    gnssparser_init(&p, work, sizeof work, &counts);
    gnssparser_callback_line(&p, on_frame);
    gnssparser_callback_rtcm3(&p, on_frame);
    gnssparser_callback_novatel(&p, on_frame);
    gnssparser_callback_hemisphere(&p, on_frame);

    const size_t chunk = 1 << 20;
    double t0 = now();
    for (size_t i = 0; i < data.size(); i += chunk) {
        size_t n = data.size() - i < chunk ? data.size() - i : chunk;
        gnssparser_input(&p, data.data() + i, (uint32_t)n);
    }
    double dt = now() - t0;
    printf("%s\n  input %.1f MB, %llu frames/lines (%.1f%% of bytes), %.3f s, %.0f MB/s\n", path.c_str(),
           data.size() / 1e6, (unsigned long long)counts.frames, 100.0 * counts.bytes / data.size(), dt,
           data.size() / 1e6 / dt);
}

} // namespace

int main(int argc, char **argv)
{
    size_t size_mb = 200;
    std::vector<std::string> files;
    for (int i = 1; i < argc; i++) {
        if (!strcmp(argv[i], "-h") || !strcmp(argv[i], "--help")) {
            puts("Usage: bench_framer [--size MB] [FILE...]\n"
                 "Repeats each receiver log in memory to at least MB megabytes (default 200) and\n"
                 "reports the framer's throughput with the formats a conversion registers.\n"
                 "Without FILE, a real RTCM 3 log and a real NovAtel log from ../shared/data.");
            return 0;
        } else if (!strcmp(argv[i], "--size") && i + 1 < argc) {
            size_mb = strtoul(argv[++i], nullptr, 10);
        } else {
            files.push_back(argv[i]);
        }
    }
    if (files.empty()) {
        std::string data = QUORVANE_DATA_DIR;
        files.push_back(data + "/gnss-converters/week-rollover-STR17.rtcm3");
        files.push_back(data + "/novatel-gavlab/test1_rcvr1.dat");
    }
    for (const std::string &f : files) bench(f, size_mb);
    printf("peak memory %ld MiB (the repeated inputs are held in memory)\n", peak_rss_kib() / 1024);
    return 0;
}
