// Records handed to the system by a thread of their own. Formatting a long
// conversion's observation records and copying them into the file (the
// system's page cache) are separate costs of about one to four; with the
// copy on another core the conversion does not wait for it.
//
// The writer fills one buffer while the thread writes those before it, in
// order. A fixed set of buffers bounds the memory however far the disk lags:
// the writer waits for a free buffer rather than taking more.
//
// The file stays the writer's: it may use it directly again after drain(),
// which returns when every byte appended is in the file and the thread is
// idle (then restartAt() tells where the next appended byte goes).
#ifndef QUORVANE_RINEX_WRITE_BEHIND_H
#define QUORVANE_RINEX_WRITE_BEHIND_H

#include <QFile>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

class WriteBehind
{
public:
    // `file` is open for writing, flushed, its position at `start`.
    WriteBehind(QFile &file, qint64 start);
    // Writes what is left, then stops the thread.
    ~WriteBehind();
    WriteBehind(const WriteBehind &) = delete;
    WriteBehind &operator=(const WriteBehind &) = delete;

    void append(const char *data, qint64 length);
    // Where the next appended byte goes: the file's size once drained.
    qint64 end() const { return fillStart + (qint64)fillUsed; }
    // The bytes before this offset are in the file (written and flushed),
    // so another reader of the file may read them.
    qint64 written() const { return writtenEnd.load(std::memory_order_acquire); }
    // Drops the bytes from `at` on; false (nothing dropped) unless they are
    // all in the buffer still being filled.
    bool cut(qint64 at);
    // Waits until every byte appended is in the file. False when a write
    // failed (then error() is the system's reason, 0 when it gave none).
    bool drain();
    // After a drain and direct use of the file: the next byte goes to `at`.
    void restartAt(qint64 at);
    bool failed() const { return failure.load(std::memory_order_acquire); }
    int error() const { return failureErrno; }

private:
    static constexpr int kBuffers = 4;
    static constexpr size_t kBufferBytes = 1 << 20;

    void push(bool waitForFree);
    void run();

    QFile &file;
    std::unique_ptr<char[]> buffers[kBuffers];
    size_t lengths[kBuffers] = {};

    // The writer's side: the buffer being filled and where it starts.
    int fill = 0;
    size_t fillUsed = 0;
    qint64 fillStart;

    // Shared, under the mutex: the buffers ready for the thread, from `next` on.
    std::mutex mutex;
    std::condition_variable ready, freed;
    int next = 0;
    int queued = 0;
    bool stopping = false;
    std::atomic<qint64> writtenEnd;
    std::atomic<bool> failure{false};
    int failureErrno = 0; // set before `failure`, read after it
    std::thread thread;
};

#endif
