// Compression of a finished output file into a new file, streamed in
// chunks so that memory stays flat whatever the file's size.
#ifndef QUORVANE_COMPRESS_COMPRESS_FILE_H
#define QUORVANE_COMPRESS_COMPRESS_FILE_H

#include <string>

namespace compression {

struct Options {
    bool hatanaka = false; // Compact RINEX (observation files only)
    bool gzip = false;
    int gzipLevel = 1; // the fastest: the text after Hatanaka compression gains little from more
    std::string program = "quorvane";
    std::string date; // "dd-Mon-yy hh:mm" of the Compact RINEX header; empty: now (UTC)
};

// Writes `to` from `from`. The RINEX lines of `from` must end with "\r\n"
// when Hatanaka compression is asked for (the restored file has them
// again). False with a reason in `error` on a read, write or encoding
// failure; `to` may then hold part of the output and is the caller's to remove.
bool compressFile(const std::string &from, const std::string &to, const Options &options, std::string *error);

// The date text of the Compact RINEX header for a time in seconds since 1970.
std::string crinexDate(long long secondsSince1970);

} // namespace compression

#endif
