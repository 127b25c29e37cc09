#include "compress_file.h"

#include <zlib.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <vector>

#include "hatanaka.h"
#include "output_file.h"

namespace compression {

std::string crinexDate(long long secondsSince1970)
{
    static const char *const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    time_t t = (time_t)secondsSince1970;
    struct tm v;
    gmtime_r(&t, &v);
    char text[32];
    snprintf(text, sizeof text, "%02d-%s-%02d %02d:%02d", v.tm_mday, months[v.tm_mon % 12], v.tm_year % 100,
             v.tm_hour, v.tm_min);
    return text;
}

bool compressFile(const std::string &from, const std::string &to, const Options &options, std::string *error)
{
    auto failed = [&](const std::string &why) {
        if (error) *error = why;
        return false;
    };
    std::unique_ptr<FILE, int (*)(FILE *)> in(fopen(from.c_str(), "rb"), fclose);
    if (!in) return failed("cannot read " + from + ": " + strerror(errno));
    Output out;
    if (!out.open(to, options.gzip, options.gzipLevel)) return failed("cannot create " + to);

    const size_t chunk = 1 << 20;
    std::vector<char> buffer(chunk);
    if (!options.hatanaka) {
        size_t n;
        while ((n = fread(buffer.data(), 1, chunk, in.get())) > 0)
            if (!out.write(buffer.data(), n)) return failed("cannot write " + to);
        if (ferror(in.get())) return failed("cannot read " + from);
        if (!out.close()) return failed("cannot write " + to);
        return true;
    }

    HatanakaEncoder encoder(options.program, options.date.empty() ? crinexDate((long long)time(nullptr)) : options.date);
    LineFeeder lines(encoder);
    size_t n;
    while ((n = fread(buffer.data(), 1, chunk, in.get())) > 0) {
        if (!lines.feed(buffer.data(), n)) return failed(from + ": " + lines.error());
        if (!out.write(encoder.output().data(), encoder.output().size())) return failed("cannot write " + to);
        encoder.output().clear();
    }
    if (ferror(in.get())) return failed("cannot read " + from);
    if (!lines.finish()) return failed(from + ": " + lines.error());
    if (!out.write(encoder.output().data(), encoder.output().size()) || !out.close())
        return failed("cannot write " + to);
    return true;
}

} // namespace compression
