// What the writer hands to its observation file, handled in order by a
// thread of their own: epoch records to print and write, event text, and
// the points at which the records so far may go on to compression. The
// writer decides each record (values, flags, the lock and header state it
// keeps) on its own thread and goes on decoding while this one prints.
//
// A fixed ring of commands, reused, bounds the memory and the lag: the
// writer waits for a free command rather than taking more.
#ifndef QUORVANE_RINEX_RECORD_BEHIND_H
#define QUORVANE_RINEX_RECORD_BEHIND_H

#include <QByteArray>
#include <QMap>

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

#include "epoch_record.h"

struct RecordCommand {
    enum Kind {
        EPOCH,   // print and append `epoch`
        REPLACE, // print `epoch` in place of the last epoch record
        TEXT,    // append `text`
        STREAM,  // the records so far are final: compress them (`types` per system)
    };
    Kind kind = EPOCH;
    EpochRecord epoch;
    QByteArray text;
    QMap<char, int> types;
    // Bytes written (set where it is handled).
    qint64 written = 0;
};

class RecordBehind
{
public:
    using Handler = std::function<void(RecordCommand &)>;
    explicit RecordBehind(Handler handler);
    // Handles what is left, then stops the thread.
    ~RecordBehind();
    RecordBehind(const RecordBehind &) = delete;
    RecordBehind &operator=(const RecordBehind &) = delete;

    // The command to fill next (waits while every command is queued); the
    // same one until it is submitted.
    RecordCommand &next();
    void submit();
    // Returns when every submitted command is handled and the thread idle.
    void drain();
    // Whether the caller is the handling thread of some RecordBehind.
    static bool onThread();

private:
    static constexpr int kCommands = 16;

    void run();

    Handler handler;
    RecordCommand commands[kCommands];
    std::mutex mutex;
    std::condition_variable ready, freed;
    int head = 0;   // the next command the thread handles
    int queued = 0; // submitted and not yet handled
    bool stopping = false;
    bool draining = false; // the writer waits for every command
    bool idle = false;     // the thread waits for commands
    std::thread thread;
};

#endif
