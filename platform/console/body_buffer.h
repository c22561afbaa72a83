/*
 * The response body of one request: a byte buffer that grows geometrically up
 * to a hard cap and keeps a sticky error, so a page writer can go on writing
 * and the console checks once, at the end, whether the page is whole.
 */
#ifndef HXM_PLATFORM_CONSOLE_BODY_BUFFER_H
#define HXM_PLATFORM_CONSOLE_BODY_BUFFER_H

#include <cstdarg>
#include <cstddef>

namespace hxm_console {

// Cap on one response body unless the request names its own.
constexpr std::size_t kDefaultBodyLimit = std::size_t{512} * 1024 * 1024;

class BodyBuffer {
  public:
    // limit: the largest body in bytes; 0 selects kDefaultBodyLimit.
    explicit BodyBuffer(std::size_t limit);
    ~BodyBuffer();
    BodyBuffer(const BodyBuffer &) = delete;
    BodyBuffer &operator=(const BodyBuffer &) = delete;

    // Appends printf-formatted text. False when the text would pass the cap,
    // memory ran out or the format could not be rendered; the buffer is then
    // failed for good and every later append fails too. Never allocates
    // unless the spare capacity is too small.
    bool AppendFormatted(const char *format, va_list args) __attribute__((format(printf, 2, 0)));

    // Appends `length` raw bytes; same failure rules as AppendFormatted.
    bool Append(const char *data, std::size_t length);

    // Drops the content and any failure (an error response replaces a page).
    void Clear();

    bool failed() const { return failed_; }
    const char *data() const { return data_ != nullptr ? data_ : ""; }
    std::size_t size() const { return size_; }

  private:
    // Makes room for `needed` bytes of content plus a terminator.
    bool Reserve(std::size_t needed);

    char *data_ = nullptr;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
    std::size_t limit_;
    bool failed_ = false;
};

} // namespace hxm_console

#endif
