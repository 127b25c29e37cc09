#include "record_behind.h"

namespace {
thread_local bool handling = false;
}

RecordBehind::RecordBehind(Handler h) : handler(std::move(h))
{
    thread = std::thread(&RecordBehind::run, this);
}

RecordBehind::~RecordBehind()
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        stopping = true;
    }
    ready.notify_one();
    thread.join();
}

RecordCommand &RecordBehind::next()
{
    std::unique_lock<std::mutex> lock(mutex);
    if (queued == kCommands) ready.notify_one();
    freed.wait(lock, [this] { return queued < kCommands; });
    return commands[(head + queued) % kCommands];
}

void RecordBehind::submit()
{
    bool wake;
    {
        std::lock_guard<std::mutex> lock(mutex);
        queued++;
        // Waking the thread for every record would cost more than printing
        // it: it is woken for half the ring at a time.
        wake = idle && queued >= kCommands / 2;
    }
    if (wake) ready.notify_one();
}

void RecordBehind::drain()
{
    std::unique_lock<std::mutex> lock(mutex);
    draining = true;
    ready.notify_one();
    freed.wait(lock, [this] { return queued == 0; });
    draining = false;
}

bool RecordBehind::onThread()
{
    return handling;
}

void RecordBehind::run()
{
    handling = true;
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
        idle = true;
        ready.wait(lock, [this] { return queued >= kCommands / 2 || (queued > 0 && draining) || stopping; });
        idle = false;
        // Stopping still handles what was submitted.
        if (queued == 0) return;
        while (queued > 0) {
            RecordCommand &c = commands[head];
            lock.unlock();
            handler(c);
            lock.lock();
            head = (head + 1) % kCommands;
            queued--;
            freed.notify_all();
        }
    }
}
