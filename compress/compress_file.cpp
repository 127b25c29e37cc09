#include "compress_file.h"

#include <zlib.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <vector>

#include "hatanaka.h"

namespace compression {

namespace {

// The output file, plain or gzip.
class Output
{
public:
    bool open(const std::string &path, bool gzip, int level)
    {
        if (gzip) {
            char mode[8];
            snprintf(mode, sizeof mode, "wb%d", level < 1 ? 1 : level > 9 ? 9 : level);
            gz = gzopen(path.c_str(), mode);
            if (gz) gzbuffer(gz, 1 << 18);
            return gz != nullptr;
        }
        plain = fopen(path.c_str(), "wb");
        return plain != nullptr;
    }
    bool write(const char *data, size_t n)
    {
        if (n == 0) return true;
        if (gz) {
            // gzwrite takes an unsigned count; pieces here are small anyway.
            while (n > 0) {
                const unsigned piece = n > (1u << 30) ? (1u << 30) : (unsigned)n;
                if (gzwrite(gz, data, piece) != (int)piece) return false;
                data += piece;
                n -= piece;
            }
            return true;
        }
        return fwrite(data, 1, n, plain) == n;
    }
    bool close()
    {
        bool ok = true;
        if (gz) ok = gzclose(gz) == Z_OK;
        if (plain) ok = fclose(plain) == 0;
        gz = nullptr;
        plain = nullptr;
        return ok;
    }
    ~Output() { close(); }

private:
    gzFile gz = nullptr;
    FILE *plain = nullptr;
};

} // namespace

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
    std::string carry; // the start of a line cut by the chunk end
    size_t n;
    while ((n = fread(buffer.data(), 1, chunk, in.get())) > 0) {
        const char *p = buffer.data(), *end = p + n;
        while (p < end) {
            const char *nl = static_cast<const char *>(memchr(p, '\n', (size_t)(end - p)));
            if (!nl) {
                carry.append(p, (size_t)(end - p));
                break;
            }
            const char *text = p;
            size_t length = (size_t)(nl - p);
            if (!carry.empty()) {
                carry.append(p, length);
                text = carry.data();
                length = carry.size();
            }
            if (length == 0 || text[length - 1] != '\r') return failed(from + ": a line does not end with CR LF");
            if (!encoder.line(text, length - 1)) return failed(from + ": " + encoder.error());
            carry.clear();
            p = nl + 1;
        }
        if (!out.write(encoder.output().data(), encoder.output().size())) return failed("cannot write " + to);
        encoder.output().clear();
    }
    if (ferror(in.get())) return failed("cannot read " + from);
    if (!carry.empty()) return failed(from + ": the last line does not end with CR LF");
    if (!encoder.finish()) return failed(from + ": " + encoder.error());
    if (!out.write(encoder.output().data(), encoder.output().size()) || !out.close())
        return failed("cannot write " + to);
    return true;
}

} // namespace compression
