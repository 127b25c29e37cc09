// Compression of an observation file's records while the file is still
// being written, on a thread of its own, so that the compression of a long
// conversion runs beside the conversion instead of after it.
//
// The writer's file itself is the queue: the writer flushes its records and
// announces how far the file is final (everything before a record it may
// still rewrite); the compressor reads up to there in a fixed buffer, so
// memory stays flat however far it lags behind. The header, which the writer
// finishes only at close, is compressed then on its own and put in front of
// the records: as the first gzip member when gzip is on (a gzip file of
// several members decompresses to their texts one after the other).
//
// The records' Compact RINEX text depends on the header only through the
// RINEX version and the number of observation types of each system; the
// compressor is started with those of the moment, and the writer must check
// at close that they did not change (else the records are compressed again
// from the finished file).
#ifndef QUORVANE_COMPRESS_BODY_STREAM_H
#define QUORVANE_COMPRESS_BODY_STREAM_H

#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <thread>

#include "compress_file.h"

namespace compression {

class BodyStream
{
public:
    // Records of `source` from byte `offset` on, compressed into `body`.
    // `version`: 2 or 3; `types`: observation types per system letter
    // (RINEX 2: one entry, any letter). Used only with Hatanaka compression.
    BodyStream(const std::string &source, long long offset, const std::string &body, const Options &options,
               int version, const std::map<char, int> &types);
    // Stops the thread and removes the body file unless it was taken.
    ~BodyStream();
    BodyStream(const BodyStream &) = delete;
    BodyStream &operator=(const BodyStream &) = delete;

    // Creates the body file and starts the thread; false with a reason.
    bool start(std::string *error);
    // The bytes of `source` before `end` are written, flushed and final.
    void publish(long long end);
    // The records end at `end`: waits until they are all compressed and the
    // body file is closed. False with a reason (a read, write or encoding
    // failure).
    bool finish(long long end, std::string *error);

    const std::string &bodyPath() const { return body; }
    // Bytes of `source` compressed so far.
    long long done() const;

    // Writes `to`: the header of the finished RINEX file `finished` (the
    // lines up to "END OF HEADER"), compressed as `options` says, followed
    // by the body of a finished stream. False with a reason when the
    // finished file's records are not the `bodyBytes` bytes that went into
    // the body.
    static bool assemble(const std::string &finished, const std::string &body, long long bodyBytes, const std::string &to,
                         const Options &options, std::string *error);

private:
    void run();

    const std::string source, body;
    const Options options;
    const int version;
    const std::map<char, int> types;

    mutable std::mutex mutex;
    std::condition_variable wake;
    long long offset;
    long long published;
    long long consumed; // by the thread, read under the mutex
    bool ending = false, stopping = false, ok = true;
    std::string failure;
    std::thread thread;
};

} // namespace compression

#endif
