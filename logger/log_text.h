/*
 * Request text made fit for one log line.
 *
 * Paths, bodies and field values come from whoever sends the request; as
 * they stand, a line break in one writes a log line of the sender's choosing
 * and a large body floods the log. A LogText holds such a text for one `%s`:
 * line breaks, tabs, other control bytes and the backslash are written as
 * escapes ("\n", "\r", "\t", "\\", "\xHH"), every other byte as it is, and
 * only the first kLogTextLimit bytes are shown, followed by how many more
 * there were. The format's own fixed text is the caller's and keeps its bytes.
 */
#ifndef HXM_LOGGER_LOG_TEXT_H
#define HXM_LOGGER_LOG_TEXT_H

#include <stddef.h>

namespace hxm2afp {

/* Request bytes shown in one log line; the rest are only counted. */
constexpr size_t kLogTextLimit = 256;

class LogText {
  public:
    /* A terminated text; null reads as "". */
    explicit LogText(const char *text);
    /* text[0..length), NULs included (written "\x00"). */
    LogText(const char *text, size_t length);
    LogText(const LogText &) = delete;
    LogText &operator=(const LogText &) = delete;

    const char *c_str() const { return out_; }

  private:
    // Every shown byte escaped at its longest ("\xHH"), then the count.
    char out_[kLogTextLimit * 4 + 48];
};

} // namespace hxm2afp

#endif
