/*
 * Output channels: a bounded queue per channel and a writer thread that
 * alone touches the descriptor.
 *
 * Notes: the threads hold the channel's state by a shared pointer and may
 * be left behind, blocked in write(2) on a reader that never reads, when
 * the console stops; the state stays alive for them, and the process's
 * exit ends them. A short write to a regular file (a full disk) is cut back
 * to where the line began, so the file only ever holds whole lines.
 */
#include "platform/console/server/output_channel.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "base/visible_text.h"

namespace hxm_server {
namespace {

// Queued bytes at most, per channel: thousands of access log lines.
constexpr size_t kQueueBytes = size_t{4} * 1024 * 1024;
constexpr std::chrono::seconds kFileCheckInterval{1};

OutputChannel *g_notices = nullptr;

unsigned long long LinesIn(const std::string &text) {
    unsigned long long lines = std::count(text.begin(), text.end(), '\n');
    return lines != 0 ? lines : 1;
}

// Opens `path` for appending without ever waiting for a FIFO's reader.
int OpenAppending(const std::string &path, mode_t mode) {
    int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NONBLOCK | O_CLOEXEC, mode);
    if (fd < 0 && errno == ENXIO) // a FIFO nobody reads yet: be its reader too
        fd = open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0)
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK); // only the writer waits
    return fd;
}

} // namespace

struct OutputChannel::State {
    std::string name;
    std::mutex mutex;
    std::condition_variable wake;
    std::condition_variable idle;
    std::deque<std::string> queue;
    size_t queuedBytes = 0;
    bool writing = false;
    bool stopping = false;
    bool running = false;
    uint64_t dropped = 0;
    // The writer thread's alone once it runs:
    int fd = -1;
    std::string path; // empty: a descriptor, never reopened
    mode_t mode = 0640;
    std::chrono::steady_clock::time_point checked;
    bool failureSaid = false;
    bool reopenSaid = false;
    bool isNotices = false;
    bool terminalSafe = false; // set before the reader starts
    int captured = -1;         // the descriptor taken over, or -1
    int original = -1;         // what it was before, to give back at stop
    bool readerDone = true;    // the pipe's reader saw its end

    void Push(std::string text);
    void WriteOut(const std::string &text);
    void ReopenIfReplaced();
};

namespace {

void WriterLoop(std::shared_ptr<OutputChannel::State> state) {
    std::unique_lock<std::mutex> lock(state->mutex);
    for (;;) {
        state->wake.wait(lock, [&] { return state->stopping || !state->queue.empty(); });
        if (state->queue.empty())
            break;
        std::deque<std::string> batch;
        batch.swap(state->queue);
        state->queuedBytes = 0;
        state->writing = true;
        lock.unlock();
        state->ReopenIfReplaced();
        for (const std::string &text : batch)
            state->WriteOut(text);
        lock.lock();
        state->writing = false;
        state->idle.notify_all();
    }
    state->running = false;
    state->idle.notify_all();
}

// The thread keeps its own copy of the pointer for as long as it runs.
void ReaderLoop(const std::shared_ptr<OutputChannel::State> &state, int fd) {
    char block[16384];
    std::string cut; // a character whose last bytes are still to come
    for (;;) {
        ssize_t got = read(fd, block, sizeof block);
        if (got > 0 && state->terminalSafe) {
            cut.append(block, static_cast<size_t>(got));
            size_t whole = hxm2afp::complete_characters(cut.data(), cut.size());
            std::string shown;
            hxm2afp::append_visible_text(&shown, cut.data(), whole, hxm2afp::LineBreaks::kKept);
            state->Push(std::move(shown));
            cut.erase(0, whole);
        } else if (got > 0) {
            state->Push(std::string(block, static_cast<size_t>(got)));
        } else if (got == 0 || errno != EINTR) {
            break;
        }
    }
    if (!cut.empty())
        state->Push(hxm2afp::visible_text(cut, hxm2afp::LineBreaks::kKept));
    close(fd);
    std::lock_guard<std::mutex> lock(state->mutex);
    state->readerDone = true;
    state->idle.notify_all();
}

} // namespace

void OutputChannel::State::WriteOut(const std::string &text) {
    size_t done = 0;
    while (done < text.size()) {
        ssize_t wrote = write(fd, text.data() + done, text.size() - done);
        if (wrote > 0) {
            done += static_cast<size_t>(wrote);
            continue;
        }
        if (wrote < 0 && errno == EINTR)
            continue;
        int error = wrote < 0 ? errno : ENOSPC;
        struct stat status;
        if (done != 0 && fstat(fd, &status) == 0 && S_ISREG(status.st_mode)) {
            off_t end = lseek(fd, 0, SEEK_END);
            if (end >= static_cast<off_t>(done) &&
                ftruncate(fd, end - static_cast<off_t>(done)) != 0) {
                // The cut line stays; the notice below says lines are lost.
            }
        }
        if (!failureSaid) {
            failureSaid = true;
            Notice("cannot write the " + name + (path.empty() ? "" : " " + path) + ": " +
                   strerror(error) + "; its lines are lost until it can be written again");
        }
        return;
    }
    failureSaid = false;
}

void OutputChannel::State::ReopenIfReplaced() {
    auto now = std::chrono::steady_clock::now();
    if (path.empty() || now - checked < kFileCheckInterval)
        return;
    checked = now;
    struct stat named;
    struct stat open;
    if (stat(path.c_str(), &named) == 0 && fstat(fd, &open) == 0 && named.st_dev == open.st_dev &&
        named.st_ino == open.st_ino)
        return;
    int fresh = OpenAppending(path, mode);
    if (fresh < 0) {
        if (!reopenSaid)
            Notice("the " + name + " " + path + " is gone and cannot be made again: " +
                   strerror(errno) + "; trying once a second");
        reopenSaid = true;
        return;
    }
    reopenSaid = false;
    close(fd);
    fd = fresh;
}

OutputChannel::OutputChannel(std::string name) : state_(std::make_shared<State>()) {
    state_->name = std::move(name);
}

OutputChannel::~OutputChannel() {
    Stop(std::chrono::milliseconds(500));
}

bool OutputChannel::OpenFile(const std::string &path, mode_t mode, std::string *error) {
    int fd = OpenAppending(path, mode);
    if (fd < 0) {
        *error = "cannot open " + state_->name + " " + path + ": " + strerror(errno);
        return false;
    }
    state_->fd = fd;
    state_->path = path;
    state_->mode = mode;
    state_->checked = std::chrono::steady_clock::now();
    state_->running = true;
    writer_ = std::thread(WriterLoop, state_);
    return true;
}

bool OutputChannel::UseDescriptor(int fd, std::string *error) {
    state_->fd = fcntl(fd, F_DUPFD_CLOEXEC, 3);
    if (state_->fd < 0) {
        *error = "cannot keep the " + state_->name + ": " + strerror(errno);
        return false;
    }
    state_->running = true;
    writer_ = std::thread(WriterLoop, state_);
    return true;
}

void OutputChannel::EscapeForTerminal() {
    state_->terminalSafe = true;
}

bool OutputChannel::Capture(int fd, std::string *error) {
    int ends[2];
    state_->original = fcntl(fd, F_DUPFD_CLOEXEC, 3);
    if (state_->original < 0 || pipe2(ends, O_CLOEXEC) != 0 ||
        fcntl(ends[1], F_SETFL, O_NONBLOCK) != 0 || dup2(ends[1], fd) < 0) {
        *error = "cannot take over descriptor " + std::to_string(fd) + ": " + strerror(errno);
        return false;
    }
    close(ends[1]);
    state_->captured = fd;
    state_->readerDone = false;
    reader_ = std::thread(ReaderLoop, state_, ends[0]);
    return true;
}

void OutputChannel::State::Push(std::string text) {
    bool sayDrop = false;
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (!running)
            return;
        if (queuedBytes + text.size() > kQueueBytes) {
            sayDrop = dropped == 0;
            dropped += LinesIn(text);
        } else {
            queuedBytes += text.size();
            queue.push_back(std::move(text));
        }
    }
    wake.notify_one();
    if (sayDrop && !isNotices)
        Notice("the " + name + " is not read as fast as it is written; dropping lines " +
               "(the count is given at stop)");
}

void OutputChannel::Write(std::string text) {
    state_->Push(std::move(text));
}

void OutputChannel::Stop(std::chrono::milliseconds patience) {
    auto deadline = std::chrono::steady_clock::now() + patience;
    if (state_->captured >= 0) {
        // The descriptor gets its own output back, which closes the pipe:
        // its reader then moves what is left in it and ends.
        dup2(state_->original, state_->captured);
        state_->captured = -1;
    }
    std::unique_lock<std::mutex> lock(state_->mutex);
    const bool readerEnded =
        state_->idle.wait_until(lock, deadline, [&] { return state_->readerDone; });
    bool writerEnded = !state_->running;
    if (!writerEnded) {
        state_->stopping = true;
        state_->wake.notify_all();
        writerEnded = state_->idle.wait_until(lock, deadline, [&] { return !state_->running; });
    }
    if (!writerEnded) {
        state_->dropped += state_->queue.size();
        state_->queue.clear();
        state_->running = false; // the writer thread is left to the reader
    }
    lock.unlock();
    // A thread that ended is joined, so its end is known to come before what
    // follows (a detached thread's is not, and the stack it leaves behind is
    // reused unseen); one still held by a reader that does not read is left.
    for (auto thread :
         {std::make_pair(&writer_, writerEnded), std::make_pair(&reader_, readerEnded)}) {
        if (!thread.first->joinable())
            continue;
        if (thread.second)
            thread.first->join();
        else
            thread.first->detach();
    }
}

uint64_t OutputChannel::Dropped() const {
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->dropped;
}

void SetNoticeChannel(OutputChannel *channel) {
    g_notices = channel;
    channel->state_->isNotices = true;
}

void StopNotices(std::chrono::milliseconds patience) {
    if (g_notices != nullptr)
        g_notices->Stop(patience);
}

void Notice(std::string text, bool asConsole) {
    using hxm2afp::LineBreaks;
    std::string line = asConsole ? "hxm-console: " : "";
    hxm2afp::append_visible_text(&line, text.data(), text.size(),
                                 asConsole ? LineBreaks::kEscaped : LineBreaks::kKept);
    if (asConsole)
        line.push_back('\n');
    if (g_notices != nullptr && g_notices->state_->running) {
        g_notices->Write(std::move(line));
        return;
    }
    fputs(line.c_str(), stderr);
}

} // namespace hxm_server
