/*
 * Output that can never stall the console: what is written goes into a
 * bounded queue, and a thread of the channel's own writes it out, so a
 * reader that stops reading (a FIFO, a pipe, a terminal on hold, a full
 * journal) blocks that thread only. When the queue is full, lines are
 * dropped and counted, and the first drop is said once on standard error.
 */
#ifndef HXM_PLATFORM_CONSOLE_SERVER_OUTPUT_CHANNEL_H
#define HXM_PLATFORM_CONSOLE_SERVER_OUTPUT_CHANNEL_H

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>

namespace hxm_server {

class OutputChannel {
  public:
    // `name` says what the channel is in messages ("access log").
    explicit OutputChannel(std::string name);
    OutputChannel(const OutputChannel &) = delete;
    OutputChannel &operator=(const OutputChannel &) = delete;
    ~OutputChannel(); // Stop() with a short patience

    // Appends to the file at `path`, created with `mode` if missing, and
    // opens it again when it is removed or replaced (looked at once a
    // second), so rotation or a log directory made anew loses nothing
    // beyond that second. A FIFO without a reader does not block: the
    // channel holds it open itself, and lines wait in it for a reader.
    // False, with *error set, when the file cannot be opened.
    bool OpenFile(const std::string &path, mode_t mode, std::string *error);

    // Writes to a duplicate of descriptor `fd` instead.
    bool UseDescriptor(int fd, std::string *error);

    // What Capture() takes in is made visible (base/visible_text.h, line
    // breaks kept) from now on: for a channel that ends on a terminal. Call it
    // before Capture().
    void EscapeForTerminal();

    // From now on whatever anyone writes to descriptor `fd` (standard
    // output or error) goes through this channel: a pipe whose write end
    // never blocks takes its place, and a thread moves what arrives into
    // the queue. False, with *error set, when no pipe can be made.
    bool Capture(int fd, std::string *error);

    // Queues `text` (whole lines) for writing; never blocks. Thread-safe.
    void Write(std::string text);

    // Gives a captured descriptor its own output back and writes out what
    // is queued, waiting at most `patience`; after that (or when the reader
    // never reads) the rest is dropped and counted.
    void Stop(std::chrono::milliseconds patience);

    // Lines dropped so far.
    uint64_t Dropped() const;

    struct State;

  private:
    friend void SetNoticeChannel(OutputChannel *channel);
    friend void Notice(std::string text, bool asConsole);
    std::shared_ptr<State> state_;
    std::thread writer_;
    std::thread reader_;
};

// The console's own standard error as a channel: set once at start, before
// any thread but the main one exists, and never destroyed.
void SetNoticeChannel(OutputChannel *channel);

// Stops the notice channel (see Stop); later notices go straight to
// standard error.
void StopNotices(std::chrono::milliseconds patience);

// Writes "hxm-console: TEXT\n" (or TEXT as it is, when not `asConsole`) to
// the notice channel (straight to standard error before there is one),
// TEXT made visible (base/visible_text.h): its own line breaks too when
// `asConsole`, so one notice is always one line. Never blocks once the
// channel is set. Thread-safe.
void Notice(std::string text, bool asConsole = true);

} // namespace hxm_server

#endif
