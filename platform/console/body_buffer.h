/*
 * The response body of one request: a byte buffer that grows geometrically up
 * to a hard cap and keeps a sticky error, so a page writer can go on writing
 * and the console checks once, at the end, whether the page is whole. The
 * bytes live in a string that is handed on as the response body, uncopied.
 */
#ifndef HXM_PLATFORM_CONSOLE_BODY_BUFFER_H
#define HXM_PLATFORM_CONSOLE_BODY_BUFFER_H

#include <cstdarg>
#include <cstddef>
#include <string>

namespace hxm_console {

// Cap on one response body unless the request names its own.
constexpr std::size_t kDefaultBodyLimit = std::size_t{512} * 1024 * 1024;

class BodyBuffer {
  public:
    // limit: the largest body in bytes; 0 selects kDefaultBodyLimit.
    explicit BodyBuffer(std::size_t limit);
    BodyBuffer(const BodyBuffer &) = delete;
    BodyBuffer &operator=(const BodyBuffer &) = delete;

    // Appends printf-formatted text. False when the text would pass the cap,
    // memory ran out or the format could not be rendered; the buffer is then
    // failed for good and every later append fails too. Never allocates
    // unless the spare capacity is too small. A format of exactly "%s" (a
    // null argument writes "(null)", as glibc's printf does) and a format
    // without '%' are copied as they are, without a formatting pass; other
    // short texts are formatted once, on the stack, and copied.
    bool AppendFormatted(const char *format, va_list args) __attribute__((format(printf, 2, 0)));

    // Appends `length` raw bytes; same failure rules as AppendFormatted.
    bool Append(const char *data, std::size_t length);

    // Drops the content and any failure (an error response replaces a page).
    void Clear();

    // Hands the content over, without copying it; the buffer is left empty,
    // as after Clear.
    std::string Release();

    bool failed() const { return failed_; }
    // The content, followed by a terminator.
    const char *data() const { return bytes_.c_str(); }
    std::size_t size() const { return bytes_.size(); }

  private:
    // Makes room for `needed` bytes of content plus a terminator.
    bool Reserve(std::size_t needed);

    // The content and its terminator; the reserved storage beyond them is
    // never written until content lands there.
    std::string bytes_;
    std::size_t limit_;
    bool failed_ = false;
};

} // namespace hxm_console

#endif
