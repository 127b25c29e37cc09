// Compression alone: a finished RINEX observation file compressed with each
// choice, as a writer does at close. Prints input MB/s and the size ratio.
//   bench_compress FILE [GZIP_LEVEL]
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <time.h>

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
    if (argc < 2) {
        fprintf(stderr, "usage: bench_compress FILE [GZIP_LEVEL]\n");
        return 2;
    }
    const std::string in = argv[1];
    const double mb = size(in) / 1e6;
    for (int how = 1; how <= 3; how++) {
        compression::Options o;
        o.gzip = how & 1;
        o.hatanaka = how & 2;
        if (argc > 2) o.gzipLevel = atoi(argv[2]);
        const std::string out = in + ".bench";
        std::string error;
        const double t0 = now();
        if (!compression::compressFile(in, out, o, &error)) {
            fprintf(stderr, "bench_compress: %s\n", error.c_str());
            return 1;
        }
        const double t = now() - t0;
        printf("%-14s %7.3f s %7.1f MB/s  %6.2f%% of the input\n",
               how == 1 ? "gzip" : how == 2 ? "hatanaka" : "hatanaka+gzip", t, mb / t, 100 * size(out) / size(in));
        remove(out.c_str());
    }
    return 0;
}
