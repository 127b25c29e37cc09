// Pieces shared by the compression of a finished file and the compression
// of records while they are written: the output file, plain or gzip, and the
// cutting of RINEX text into lines for the Compact RINEX encoder.
#ifndef QUORVANE_COMPRESS_OUTPUT_FILE_H
#define QUORVANE_COMPRESS_OUTPUT_FILE_H

#include <zlib.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "hatanaka.h"

namespace compression {

class Output
{
public:
    bool open(const std::string &path, bool gzip, int level, bool append = false)
    {
        if (gzip) {
            char mode[8];
            snprintf(mode, sizeof mode, "%s%d", append ? "ab" : "wb", level < 1 ? 1 : level > 9 ? 9 : level);
            gz = gzopen(path.c_str(), mode);
            if (gz) gzbuffer(gz, 1 << 18);
            return gz != nullptr;
        }
        plain = fopen(path.c_str(), append ? "ab" : "wb");
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

// Hands text that arrives in pieces of any length to the encoder line by
// line, without the "\r\n" that every RINEX line must end with.
class LineFeeder
{
public:
    explicit LineFeeder(HatanakaEncoder &e) : encoder(e) {}
    bool feed(const char *p, size_t n)
    {
        const char *end = p + n;
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
            if (length == 0 || text[length - 1] != '\r') return fail("a line does not end with CR LF");
            if (!encoder.line(text, length - 1)) return fail(encoder.error());
            carry.clear();
            p = nl + 1;
        }
        return true;
    }
    // The text ended after a whole record.
    bool finish()
    {
        if (!carry.empty()) return fail("the last line does not end with CR LF");
        if (!encoder.finish()) return fail(encoder.error());
        return true;
    }
    const std::string &error() const { return failure; }

private:
    bool fail(const std::string &why)
    {
        failure = why;
        return false;
    }
    HatanakaEncoder &encoder;
    std::string carry; // the start of a line cut by the end of a piece
    std::string failure;
};

} // namespace compression

#endif
