/*
 * The access log writer: formats a record into one line and hands it to its
 * output channel.
 */
#include "platform/console/server/access_log.h"

#include <time.h>

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

bool AccessLog::Open(const std::string &path, std::string *error) {
    if (path.empty())
        return true;
    std::unique_ptr<OutputChannel> channel(new OutputChannel("access log"));
    if (!channel->OpenFile(path, 0640, error))
        return false;
    channel_ = std::move(channel);
    return true;
}

void AccessLog::Stop(std::chrono::milliseconds patience) {
    if (channel_)
        channel_->Stop(patience);
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
    // No method: a head the daemon refused before it was handed over, or a
    // connection cut before any request.
    if (record.method.empty())
        line.push_back('-');
    else
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
    if (channel_)
        channel_->Write(std::move(line));
    else
        Notice(std::move(line), false);
}

} // namespace hxm_server
