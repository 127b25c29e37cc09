#include "body_stream.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <deque>
#include <memory>
#include <vector>

#include "hatanaka.h"
#include "output_file.h"

namespace compression {

namespace {

const size_t kPiece = 1 << 20;

// A header that gives the encoder what the records' text depends on: the
// version and the number of observation types of each system.
std::string primer(int version, const std::map<char, int> &types)
{
    char line[96];
    std::string text;
    auto add = [&](const char *body, const char *label) {
        snprintf(line, sizeof line, "%-60.60s%-20s\r\n", body, label);
        text += line;
    };
    add(version == 2 ? "     2.11           OBSERVATION DATA    M" : "     3.05           OBSERVATION DATA    M",
        "RINEX VERSION / TYPE");
    for (const auto &t : types) {
        char body[16];
        if (version == 2) {
            snprintf(body, sizeof body, "%6d", t.second);
            add(body, "# / TYPES OF OBSERV");
        } else {
            snprintf(body, sizeof body, "%c  %3d", t.first, t.second);
            add(body, "SYS / # / OBS TYPES");
        }
    }
    add("", "END OF HEADER");
    return text;
}

// The gzip compression of the Compact RINEX text on a thread of its own, so
// that the encoder and deflate run side by side. The text goes over in a few
// buffers that are handed back and forth (swapped, never copied or
// allocated once they have grown); the encoder waits when all are full.
class GzipStage
{
public:
    bool open(const std::string &path, int level)
    {
        if (!out.open(path, true, level)) return false;
        for (std::string &b : pool) spare.push_back(&b);
        thread = std::thread(&GzipStage::run, this);
        return true;
    }
    // Takes `text` (leaving it empty); false once writing has failed.
    bool put(std::string &text)
    {
        std::unique_lock<std::mutex> lock(mutex);
        wake.wait(lock, [&] { return !spare.empty() || failed; });
        if (failed) return false;
        std::string *b = spare.back();
        spare.pop_back();
        b->swap(text);
        text.clear();
        full.push_back(b);
        wake.notify_all();
        return true;
    }
    // Writes what is left and closes the file.
    bool close()
    {
        {
            std::lock_guard<std::mutex> lock(mutex);
            ending = true;
        }
        wake.notify_all();
        if (thread.joinable()) thread.join();
        std::lock_guard<std::mutex> lock(mutex);
        return !failed && closed;
    }
    ~GzipStage() { close(); }

private:
    void run()
    {
        for (;;) {
            std::string *b;
            {
                std::unique_lock<std::mutex> lock(mutex);
                wake.wait(lock, [&] { return !full.empty() || ending; });
                if (full.empty()) break;
                b = full.front();
                full.pop_front();
            }
            const bool ok = out.write(b->data(), b->size());
            b->clear();
            {
                std::lock_guard<std::mutex> lock(mutex);
                spare.push_back(b);
                if (!ok) failed = true;
            }
            wake.notify_all();
            if (!ok) return;
        }
        const bool ok = out.close();
        std::lock_guard<std::mutex> lock(mutex);
        closed = ok;
    }

    Output out;
    std::string pool[4];
    std::vector<std::string *> spare;
    std::deque<std::string *> full;
    std::mutex mutex;
    std::condition_variable wake;
    bool ending = false, failed = false, closed = false;
    std::thread thread;
};

long long fileSize(FILE *f)
{
    if (fseeko(f, 0, SEEK_END) != 0) return -1;
    const long long n = (long long)ftello(f);
    return fseeko(f, 0, SEEK_SET) == 0 ? n : -1;
}

} // namespace

BodyStream::BodyStream(const std::string &sourcePath, long long from, const std::string &bodyPath,
                       const Options &compression, int rinexVersion, const std::map<char, int> &typeCounts)
    : source(sourcePath), body(bodyPath), options(compression), version(rinexVersion), types(typeCounts),
      offset(from), published(from), consumed(from)
{
}

BodyStream::~BodyStream()
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        stopping = true;
    }
    wake.notify_all();
    if (thread.joinable()) thread.join();
    remove(body.c_str());
}

bool BodyStream::start(std::string *error)
{
    // The body file is created here so that a failure shows at once.
    FILE *f = fopen(body.c_str(), "wb");
    if (!f) {
        if (error) *error = "cannot create " + body + ": " + strerror(errno);
        return false;
    }
    fclose(f);
    thread = std::thread(&BodyStream::run, this);
    return true;
}

void BodyStream::publish(long long end)
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (end > published) published = end;
    }
    wake.notify_all();
}

long long BodyStream::done() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return consumed;
}

bool BodyStream::finish(long long end, std::string *error)
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (end > published) published = end;
        ending = true;
    }
    wake.notify_all();
    if (thread.joinable()) thread.join();
    std::lock_guard<std::mutex> lock(mutex);
    if (ok && consumed != end) {
        ok = false;
        failure = "the records of " + source + " end before they were compressed";
    }
    if (!ok && error) *error = failure;
    return ok;
}

void BodyStream::run()
{
    auto failed = [this](const std::string &why) {
        std::lock_guard<std::mutex> lock(mutex);
        ok = false;
        failure = why;
    };
    const int fd = open(source.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return failed("cannot read " + source + ": " + strerror(errno));
    std::unique_ptr<int, void (*)(int *)> closer(new int(fd), [](int *p) {
        close(*p);
        delete p;
    });
    // With Hatanaka and gzip, gzip is a stage of its own.
    Output out;
    std::unique_ptr<GzipStage> stage;
    if (options.hatanaka && options.gzip) {
        stage.reset(new GzipStage);
        if (!stage->open(body, options.gzipLevel)) return failed("cannot write " + body);
    } else if (!out.open(body, options.gzip, options.gzipLevel)) {
        return failed("cannot write " + body);
    }
    auto emit = [&](std::string &text) {
        const bool ok = stage ? stage->put(text) : out.write(text.data(), text.size());
        text.clear();
        return ok;
    };
    std::unique_ptr<HatanakaEncoder> encoder;
    std::unique_ptr<LineFeeder> lines;
    if (options.hatanaka) {
        encoder.reset(new HatanakaEncoder(options.program, "01-Jan-70 00:00"));
        lines.reset(new LineFeeder(*encoder));
        const std::string head = primer(version, types);
        if (!lines->feed(head.data(), head.size())) return failed("cannot start the compression: " + lines->error());
        encoder->output().clear();
    }
    std::vector<char> buffer(kPiece);
    long long at = offset;
    for (;;) {
        long long until;
        {
            std::unique_lock<std::mutex> lock(mutex);
            wake.wait(lock, [&] { return stopping || ending || published > at; });
            if (stopping) return;
            if (published <= at) break; // ending, and all is done
            until = published;
        }
        while (at < until) {
            const size_t want = until - at < (long long)kPiece ? (size_t)(until - at) : kPiece;
            const ssize_t n = pread(fd, buffer.data(), want, (off_t)at);
            if (n <= 0) return failed("cannot read " + source + (n < 0 ? ": " + std::string(strerror(errno)) : ""));
            if (lines) {
                if (!lines->feed(buffer.data(), (size_t)n)) return failed(source + ": " + lines->error());
                if (!emit(encoder->output())) return failed("cannot write " + body);
            } else if (!out.write(buffer.data(), (size_t)n)) {
                return failed("cannot write " + body);
            }
            at += n;
            std::lock_guard<std::mutex> lock(mutex);
            consumed = at;
            if (stopping) return;
        }
    }
    if (lines && !lines->finish()) return failed(source + ": " + lines->error());
    if (encoder && !emit(encoder->output())) return failed("cannot write " + body);
    if (!(stage ? stage->close() : out.close())) return failed("cannot write " + body);
}

bool BodyStream::assemble(const std::string &finished, const std::string &bodyPath, long long bodyBytes,
                          const std::string &to, const Options &options, std::string *error)
{
    auto failed = [&](const std::string &why) {
        if (error) *error = why;
        return false;
    };
    std::unique_ptr<FILE, int (*)(FILE *)> in(fopen(finished.c_str(), "rb"), fclose);
    if (!in) return failed("cannot read " + finished + ": " + strerror(errno));
    const long long size = fileSize(in.get());
    // The header: the lines up to "END OF HEADER" (80 characters and CR LF
    // each, so the label starts in column 61).
    std::string header;
    char line[256];
    for (;;) {
        if (!fgets(line, sizeof line, in.get())) return failed(finished + ": the header does not end");
        header += line;
        const size_t n = strlen(line);
        if (n >= 73 && memcmp(line + 60, "END OF HEADER", 13) == 0) break;
        if (header.size() > (1u << 20)) return failed(finished + ": the header does not end");
    }
    if (size - (long long)header.size() != bodyBytes)
        return failed(finished + ": its records are not those that were compressed");

    std::string text = header;
    if (options.hatanaka) {
        HatanakaEncoder encoder(options.program,
                                options.date.empty() ? crinexDate((long long)time(nullptr)) : options.date);
        LineFeeder lines(encoder);
        if (!lines.feed(header.data(), header.size())) return failed(finished + ": " + lines.error());
        text.swap(encoder.output());
    }
    {
        Output out;
        if (!out.open(to, options.gzip, options.gzipLevel) || !out.write(text.data(), text.size()) || !out.close())
            return failed("cannot write " + to);
    }
    std::unique_ptr<FILE, int (*)(FILE *)> part(fopen(bodyPath.c_str(), "rb"), fclose);
    std::unique_ptr<FILE, int (*)(FILE *)> out(fopen(to.c_str(), "ab"), fclose);
    if (!part) return failed("cannot read " + bodyPath);
    if (!out) return failed("cannot write " + to);
    std::vector<char> buffer(kPiece);
    size_t n;
    while ((n = fread(buffer.data(), 1, buffer.size(), part.get())) > 0)
        if (fwrite(buffer.data(), 1, n, out.get()) != n) return failed("cannot write " + to);
    if (ferror(part.get())) return failed("cannot read " + bodyPath);
    if (fclose(out.release()) != 0) return failed("cannot write " + to);
    return true;
}

} // namespace compression
