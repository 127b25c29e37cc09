// Conversion throughput: an RTCM 3 MSM7 log through the framer into the
// RINEX 3.04 writer, the way a conversion task runs it (1 MiB reads, a
// framer buffer that holds the largest frame, a prescan pass for RTCM 3
// input, the files opened and closed in a temporary directory). Prints input
// MB/s and peak memory.
//   bench_convert [--size MB] [--rate HZ] [--no-prescan | --prescan-only] [--keep] [--single-thread]
//                 [--time-start "YYYY-MM-DD hh:mm:ss"]
//                 [--compress none|gzip|hatanaka|hatanaka+gzip] [FILE]
// Without FILE, a synthetic log of --size MB (default 120) is written first
// with the rtcm3gen stream code.
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <time.h>

#include <vector>

#include "gnssparser.h"
#include "rinex3xx.h"
#include "rtcm3_stream.h"

namespace {

double now()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec + ts.tv_nsec * 1e-9;
}

double cpuNow()
{
    timespec ts;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec + ts.tv_nsec * 1e-9;
}

// The conversion's own thread: on a loaded machine the figure the wall time
// would show with a core free for each of the output threads.
double threadCpuNow()
{
    timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec + ts.tv_nsec * 1e-9;
}

long peakRssKib()
{
    rusage ru;
    getrusage(RUSAGE_SELF, &ru);
    return ru.ru_maxrss;
}

// Writes a synthetic stream of at least `mb` megabytes; false on failure.
bool generate(const QString &path, double mb, int rate)
{
    rtcm3gen::Config cfg;
    cfg.startMs = rtcm3gen::parseTime("2024-03-09 23:50:00");
    cfg.rateHz = rate;
    cfg.durationMs = 52 * 7 * rtcm3gen::kDayMs;
    FILE *f = fopen(path.toLocal8Bit().constData(), "wb");
    if (!f) return false;
    rtcm3gen::Generator gen(cfg);
    std::vector<uint8_t> buffer;
    buffer.reserve(1 << 20);
    uint64_t written = 0;
    const uint64_t limit = (uint64_t)(mb * 1e6);
    bool ok = true;
    while (ok && written < limit && !gen.done()) {
        gen.nextEpoch(buffer);
        if (buffer.size() >= (1u << 20) - 16384) {
            ok = fwrite(buffer.data(), 1, buffer.size(), f) == buffer.size();
            written += buffer.size();
            buffer.clear();
        }
    }
    if (ok && !buffer.empty()) ok = fwrite(buffer.data(), 1, buffer.size(), f) == buffer.size();
    return fclose(f) == 0 && ok;
}

struct Pass {
    double seconds = 0, cpu = 0, threadCpu = 0;
    qint64 bytes = 0;
};

// One pass over the input in 1 MiB reads, as the task runner's timer does.
bool feed(const QString &path, gnssparser_s *parser, Rinexxxx *writer, Pass *pass)
{
    QFile in(path);
    if (!in.open(QIODevice::ReadOnly)) return false;
    static QByteArray chunk(1 << 20, 0);
    gnssparser_reset(parser);
    const double t0 = now(), c0 = cpuNow(), tc0 = threadCpuNow();
    for (;;) {
        const qint64 n = in.read(chunk.data(), chunk.size());
        if (n <= 0) break;
        gnssparser_input(parser, reinterpret_cast<const uint8_t *>(chunk.constData()), (uint32_t)n);
        writer->streamOutput();
        pass->bytes += n;
    }
    pass->seconds = now() - t0;
    pass->cpu = cpuNow() - c0;
    pass->threadCpu = threadCpuNow() - tc0;
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    double sizeMb = 120;
    int rate = 1;
    bool prescan = true, prescanOnly = false, keep = false, singleThread = false;
    int64_t timeStart = 0;
    int compression = 0;
    QString input;
    for (int i = 1; i < argc; i++) {
        if (!strcmp(argv[i], "-h") || !strcmp(argv[i], "--help")) {
            puts("Usage: bench_convert [--size MB] [--rate HZ] [--no-prescan | --prescan-only] [--keep]\n"
                 "                     [--single-thread]\n"
                 "                     [--time-start \"YYYY-MM-DD hh:mm:ss\"]\n"
                 "                     [--compress none|gzip|hatanaka|hatanaka+gzip] [FILE]\n"
                 "Converts an RTCM 3 log to RINEX 3.04 through the framer and the writer, as a\n"
                 "conversion task does, and reports input MB/s and peak memory. Without FILE a\n"
                 "synthetic MSM7 log of MB megabytes (default 120) at HZ epochs per second (1 or\n"
                 "10, default 1) is generated first. --no-prescan skips the prescan pass that\n"
                 "the task runs for RTCM 3 input, --prescan-only runs that pass alone; --keep\n"
                 "leaves the files in the temporary directory and prints its path;\n"
                 "--time-start gives the GPS time that dates\n"
                 "logs without a full week, as the task's \"Time Start\" does; --compress\n"
                 "compresses the files as the task's \"Compression\" does; --single-thread\n"
                 "prints and writes the records on the conversion's own thread and compresses\n"
                 "them at close, instead of beside the conversion.");
            return 0;
        } else if (!strcmp(argv[i], "--size") && i + 1 < argc) {
            sizeMb = atof(argv[++i]);
        } else if (!strcmp(argv[i], "--rate") && i + 1 < argc) {
            rate = atoi(argv[++i]) == 10 ? 10 : 1;
        } else if (!strcmp(argv[i], "--single-thread")) {
            singleThread = true;
        } else if (!strcmp(argv[i], "--no-prescan")) {
            prescan = false;
        } else if (!strcmp(argv[i], "--prescan-only")) {
            prescanOnly = true;
        } else if (!strcmp(argv[i], "--keep")) {
            keep = true;
        } else if (!strcmp(argv[i], "--time-start") && i + 1 < argc) {
            timeStart = rtcm3gen::parseTime(argv[++i]);
            if (timeStart <= 0) {
                fprintf(stderr, "bench_convert: --time-start needs \"YYYY-MM-DD hh:mm:ss\"\n");
                return 2;
            }
        } else if (!strcmp(argv[i], "--compress") && i + 1 < argc) {
            const char *how = argv[++i];
            compression = !strcmp(how, "none")            ? 0
                          : !strcmp(how, "gzip")          ? Rinexxxx::COMPRESS_GZIP
                          : !strcmp(how, "hatanaka")      ? Rinexxxx::COMPRESS_HATANAKA
                          : !strcmp(how, "hatanaka+gzip") ? Rinexxxx::COMPRESS_HATANAKA | Rinexxxx::COMPRESS_GZIP
                                                          : -1;
            if (compression < 0) {
                fprintf(stderr, "bench_convert: --compress needs none, gzip, hatanaka or hatanaka+gzip\n");
                return 2;
            }
        } else if (argv[i][0] == '-') {
            fprintf(stderr, "bench_convert: unknown option %s\n", argv[i]);
            return 2;
        } else {
            input = QString::fromLocal8Bit(argv[i]);
        }
    }

    QTemporaryDir dir;
    if (!dir.isValid()) {
        fprintf(stderr, "bench_convert: no temporary directory\n");
        return 1;
    }
    dir.setAutoRemove(!keep);
    if (input.isEmpty()) {
        input = dir.filePath("synthetic.rtcm3");
        const double t0 = now();
        if (!generate(input, sizeMb, rate)) {
            fprintf(stderr, "bench_convert: cannot write %s\n", qPrintable(input));
            return 1;
        }
        printf("generated %s: %.1f MB in %.2f s\n", qPrintable(input), QFileInfo(input).size() / 1e6, now() - t0);
    }
    const long rssBefore = peakRssKib();

    Rinex3xx writer;
    writer.setVersion(QString("3.04"));
    writer.setProgramRunby("bench_convert", "bench");
    writer.setFileName(dir.filePath("bench.rtcm3"), 3);
    writer.setCompression(compression);
    writer.setOutputThreads(!singleThread);
    if (timeStart > 0) writer.setRtcm3Epoch(timeStart);
    if (writer.open(0) == 0) {
        fprintf(stderr, "bench_convert: cannot open the output files in %s\n", qPrintable(dir.path()));
        return 1;
    }
    static uint8_t work[GNSSPARSER_BUFFER_SIZE];
    gnssparser_s parser;
    writer.gnssparserInit(&parser, work, sizeof work);
    Pass scan, conversion;
    if (prescan) {
        writer.setPrescan(true);
        if (!feed(input, &parser, &writer, &scan)) {
            fprintf(stderr, "bench_convert: cannot read %s\n", qPrintable(input));
            return 1;
        }
        writer.setPrescan(false);
        if (prescanOnly) {
            const double mb = scan.bytes / 1e6;
            printf("input %s: %.1f MB\n", qPrintable(input), mb);
            printf("  prescan pass    %7.3f s  %7.1f MB/s  (cpu %.3f s, %.1f MB/s)\n", scan.seconds, mb / scan.seconds,
                   scan.cpu, mb / scan.cpu);
            printf("peak memory %.1f MiB (%.1f MiB before the conversion)\n", peakRssKib() / 1024.0, rssBefore / 1024.0);
            return 0;
        }
    }
    if (!feed(input, &parser, &writer, &conversion)) {
        fprintf(stderr, "bench_convert: cannot read %s\n", qPrintable(input));
        return 1;
    }
    const double c0 = now(), cc0 = cpuNow();
    writer.close();
    const double closing = now() - c0, closingCpu = cpuNow() - cc0;

    qint64 output = 0;
    for (const QFileInfo &fi : QDir(dir.path()).entryInfoList(QDir::Files)) {
        if (fi.fileName() == "synthetic.rtcm3") continue;
        output += fi.size();
        printf("  %-50s %12lld bytes\n", qPrintable(fi.fileName()), (long long)fi.size());
    }
    const double mb = conversion.bytes / 1e6;
    printf("input %s: %.1f MB\n", qPrintable(input), mb);
    if (prescan)
        printf("  prescan pass    %7.3f s  %7.1f MB/s  (cpu %.3f s, %.1f MB/s)\n", scan.seconds, mb / scan.seconds,
               scan.cpu, mb / scan.cpu);
    printf("  conversion pass %7.3f s  %7.1f MB/s  (cpu %.3f s, %.1f MB/s; its own thread %.3f s, %.1f MB/s)\n",
           conversion.seconds, mb / conversion.seconds, conversion.cpu, mb / conversion.cpu, conversion.threadCpu,
           mb / conversion.threadCpu);
    printf("  close           %7.3f s  (cpu %.3f s)\n", closing, closingCpu);
    const double total = scan.seconds + conversion.seconds + closing;
    const double totalCpu = scan.cpu + conversion.cpu + closingCpu;
    printf("  whole task      %7.3f s  %7.1f MB/s of input  (cpu %.3f s, %.1f MB/s)\n", total, mb / total, totalCpu,
           mb / totalCpu);
    printf("  output %.1f MB of RINEX, %lld epochs skipped, %d output errors\n", output / 1e6,
           (long long)writer.skippedEpochs, (int)writer.outputErrors().size());
    printf("peak memory %.1f MiB (%.1f MiB before the conversion)\n", peakRssKib() / 1024.0, rssBefore / 1024.0);
    if (keep) printf("files kept in %s\n", qPrintable(dir.path()));
    return writer.outputErrors().isEmpty() ? 0 : 1;
}
