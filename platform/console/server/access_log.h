/*
 * The access log: one line per request, the audit trail of every
 * administrative action taken through the console.
 */
#ifndef HXM_PLATFORM_CONSOLE_SERVER_ACCESS_LOG_H
#define HXM_PLATFORM_CONSOLE_SERVER_ACCESS_LOG_H

#include <cstdint>
#include <memory>
#include <string>

#include "platform/console/server/output_channel.h"

namespace hxm_server {

struct AccessRecord {
    std::string remoteAddress; // numeric, or a trusted proxy's X-Forwarded-For
    std::string user;          // empty: no authenticated user
    std::string method;
    std::string target; // as received
    int status = 0;     // 0: no response was sent (the client went away)
    uint64_t bytes = 0; // body bytes of the response
    std::string note;   // why the console refused it, or empty
};

// One line of the log, newline included, as Write() describes it, with
// `time` as its TIME field.
std::string FormatAccessLine(const AccessRecord &record, const std::string &time);

class AccessLog {
  public:
    AccessLog() = default;
    AccessLog(const AccessLog &) = delete;
    AccessLog &operator=(const AccessLog &) = delete;

    // Appends to `path` through a channel of its own (created mode 0640 if
    // needed, opened again when removed or replaced); an empty path means
    // the notice channel, the console's standard error. False, with *error
    // set, when the file cannot be opened.
    bool Open(const std::string &path, std::string *error);

    // Writes out the lines still queued, waiting at most `patience`.
    void Stop(std::chrono::milliseconds patience);

    // Lines dropped because the log was not written fast enough.
    uint64_t Dropped() const { return channel_ ? channel_->Dropped() : 0; }

    // Writes one line:
    //   TIME ADDRESS USER METHOD "TARGET" STATUS BYTES [NOTE]
    // TIME is local ISO 8601 with its UTC offset; USER and METHOD are "-"
    // when empty;
    // bytes outside printable ASCII, '"' and '\' in the address, method,
    // user, target and note are written as \xHH so a line can neither be
    // split nor forged. Each of these texts is cut at a few hundred bytes, with
    // "...(+N bytes)" for the rest, so one request cannot flood the log.
    // Lines are queued whole and never block the request (see
    // OutputChannel), so they never interleave either. Thread-safe.
    void Write(const AccessRecord &record) const;

  private:
    std::unique_ptr<OutputChannel> channel_; // null: the notice channel
};

} // namespace hxm_server

#endif
