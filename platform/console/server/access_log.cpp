/*
 * The access log writer: formats a record into one line and appends it with
 * a single write, so no lock is needed between worker threads.
 */
#include "platform/console/server/access_log.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

namespace hxm_server {
namespace {

// Request text kept per field of a line.
constexpr size_t kMaxFieldBytes = 512;

// Appends `text` with every byte that could break or forge a line escaped,
// and no more than kMaxFieldBytes of it.
void AppendEscaped(std::string *line, const std::string &text) {
    static const char kHex[] = "0123456789abcdef";
    size_t kept = text.size() < kMaxFieldBytes ? text.size() : kMaxFieldBytes;
    for (unsigned char c : text.substr(0, kept)) {
        if (c < 0x20 || c >= 0x7f || c == '"' || c == '\\') {
            line->append("\\x");
            line->push_back(kHex[c >> 4]);
            line->push_back(kHex[c & 0xf]);
        } else {
            line->push_back(static_cast<char>(c));
        }
    }
    if (kept < text.size())
        line->append("...(+" + std::to_string(text.size() - kept) + " bytes)");
}

std::string LocalTimestamp() {
    time_t now = time(nullptr);
    struct tm local;
    char text[64] = "-";
    if (localtime_r(&now, &local) != nullptr)
        strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S%z", &local);
    return text;
}

} // namespace

AccessLog::~AccessLog() {
    if (ownsFd_)
        close(fd_);
}

bool AccessLog::Open(const std::string &path, std::string *error) {
    if (path.empty())
        return true;
    int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0640);
    if (fd < 0) {
        *error = "cannot open access log " + path + ": " + strerror(errno);
        return false;
    }
    fd_ = fd;
    ownsFd_ = true;
    return true;
}

std::string FormatAccessLine(const AccessRecord &record, const std::string &time) {
    std::string line = time;
    line.push_back(' ');
    // Behind a trusted proxy the address is the proxy's X-Forwarded-For
    // text, so it is escaped like the rest of the request.
    if (record.remoteAddress.empty())
        line.push_back('-');
    else
        AppendEscaped(&line, record.remoteAddress);
    line.push_back(' ');
    if (record.user.empty())
        line.push_back('-');
    else
        AppendEscaped(&line, record.user);
    line.push_back(' ');
    AppendEscaped(&line, record.method);
    line.append(" \"");
    AppendEscaped(&line, record.target);
    line.append("\" ");
    line.append(record.status == 0 ? "-" : std::to_string(record.status));
    line.push_back(' ');
    line.append(std::to_string(record.bytes));
    if (!record.note.empty()) {
        line.push_back(' ');
        AppendEscaped(&line, record.note);
    }
    line.push_back('\n');
    return line;
}

void AccessLog::Write(const AccessRecord &record) const {
    std::string line = FormatAccessLine(record, LocalTimestamp());
    // A short write on a regular file means the disk is full; the line is
    // then lost, which is all we can do without blocking the request.
    ssize_t written;
    do {
        written = write(fd_, line.data(), line.size());
    } while (written < 0 && errno == EINTR);
}

} // namespace hxm_server
