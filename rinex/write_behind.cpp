#include "write_behind.h"

#include <errno.h>
#include <string.h>

WriteBehind::WriteBehind(QFile &out, qint64 start) : file(out), fillStart(start), writtenEnd(start)
{
    for (auto &b : buffers) b.reset(new char[kBufferBytes]);
    thread = std::thread(&WriteBehind::run, this);
}

WriteBehind::~WriteBehind()
{
    drain();
    {
        std::lock_guard<std::mutex> lock(mutex);
        stopping = true;
    }
    ready.notify_one();
    thread.join();
}

void WriteBehind::append(const char *data, qint64 length)
{
    while (length > 0) {
        const size_t room = kBufferBytes - fillUsed;
        const size_t n = (size_t)length < room ? (size_t)length : room;
        memcpy(buffers[fill].get() + fillUsed, data, n);
        fillUsed += n;
        data += n;
        length -= (qint64)n;
        if (fillUsed == kBufferBytes) push(true);
    }
}

void WriteBehind::push(bool waitForFree)
{
    std::unique_lock<std::mutex> lock(mutex);
    lengths[fill] = fillUsed;
    queued++;
    ready.notify_one();
    // The next buffer to fill is free only once the thread has written it.
    if (waitForFree) freed.wait(lock, [this] { return queued < kBuffers; });
    fill = (fill + 1) % kBuffers;
    fillStart += (qint64)fillUsed;
    fillUsed = 0;
}

bool WriteBehind::cut(qint64 at)
{
    if (at < fillStart || at > end()) return false;
    fillUsed = (size_t)(at - fillStart);
    return true;
}

bool WriteBehind::drain()
{
    if (fillUsed > 0) push(false);
    std::unique_lock<std::mutex> lock(mutex);
    freed.wait(lock, [this] { return queued == 0; });
    return !failed();
}

void WriteBehind::restartAt(qint64 at)
{
    fillStart = at;
    fillUsed = 0;
    writtenEnd.store(at, std::memory_order_release);
}

void WriteBehind::run()
{
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
        ready.wait(lock, [this] { return queued > 0 || stopping; });
        if (queued == 0) return;
        const int index = next;
        const qint64 length = (qint64)lengths[index];
        lock.unlock();
        if (!failed()) {
            // A write cut short (a full disk, a size limit) tells why
            // only when the rest is written: errno of that second try.
            errno = 0;
            qint64 done = 0, n = 0;
            while (done < length && (n = file.write(buffers[index].get() + done, length - done)) > 0) done += n;
            if (done == length && !file.flush()) done = -1;
            if (done != length) {
                failureErrno = errno;
                failure.store(true, std::memory_order_release);
            } else {
                writtenEnd.fetch_add(length, std::memory_order_acq_rel);
            }
        }
        lock.lock();
        next = (index + 1) % kBuffers;
        queued--;
        freed.notify_one();
    }
}
