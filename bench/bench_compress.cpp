// Compression alone: a finished RINEX observation file compressed with each
// choice, as a writer does at close. Prints input MB/s and the size ratio.
//   bench_compress FILE [GZIP_LEVEL]
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <string>

#include "compress_file.h"

namespace {

double now()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec + ts.tv_nsec * 1e-9;
}

double size(const std::string &path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? (double)st.st_size : 0;
}

} // namespace

int main(int argc, char **argv)
{
    const char *usage = "Usage: bench_compress FILE [GZIP_LEVEL]\n"
                        "Compresses the RINEX observation FILE with gzip, Compact RINEX and both, as a\n"
                        "writer does at close, and prints the time, input MB/s and the output's size\n"
                        "as a share of the input. GZIP_LEVEL is 1 to 9 (default: the writer's).\n"
                        "The outputs go to a temporary directory, which is removed.\n";
    if (argc >= 2 && (!strcmp(argv[1], "--help") || !strcmp(argv[1], "-h"))) {
        fputs(usage, stdout);
        return 0;
    }
    const int level = argc > 2 ? atoi(argv[2]) : 0;
    if (argc < 2 || argc > 3 || (argc > 2 && (level < 1 || level > 9))) {
        fputs(usage, stderr);
        return 2;
    }
    const std::string in = argv[1];
    const double mb = size(in) / 1e6;
    // Never beside the input: its folder may be read-only, or hold a file of
    // that name.
    char dir[] = "/tmp/bench_compress_XXXXXX";
    if (!mkdtemp(dir)) {
        perror("bench_compress: mkdtemp");
        return 1;
    }
    const std::string out = std::string(dir) + "/out";
    int rc = 0;
    for (int how = 1; how <= 3 && rc == 0; how++) {
        compression::Options o;
        o.gzip = how & 1;
        o.hatanaka = how & 2;
        if (level) o.gzipLevel = level;
        std::string error;
        const double t0 = now();
        if (!compression::compressFile(in, out, o, &error)) {
            fprintf(stderr, "bench_compress: %s\n", error.c_str());
            rc = 1;
            break;
        }
        const double t = now() - t0;
        printf("%-14s %7.3f s %7.1f MB/s  %6.2f%% of the input\n",
               how == 1 ? "gzip" : how == 2 ? "hatanaka" : "hatanaka+gzip", t, mb / t, 100 * size(out) / size(in));
        remove(out.c_str());
    }
    remove(out.c_str());
    rmdir(dir);
    return rc;
}
