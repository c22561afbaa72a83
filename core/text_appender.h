/*
 * One piece of page text assembled in a caller's fixed buffer, so a row can
 * go to the host in a single write.
 *
 * Every append either fits whole or leaves the text overflowed: nothing
 * after that is kept, and the caller writes its piece another way. The
 * buffer always holds a terminated text.
 */
#ifndef HXM_CORE_TEXT_APPENDER_H
#define HXM_CORE_TEXT_APPENDER_H

#include <stddef.h>
#include <stdint.h>

namespace hxm2afp {

class TextAppender {
  public:
    /* An escaper of core/escape.h. */
    using Escaper = const char *(*)(const char *, char *, size_t);

    /* `buffer` holds `size` bytes, terminator included (size of 1 or more). */
    TextAppender(char *buffer, size_t size) : buffer_(buffer), size_(size) { buffer_[0] = '\0'; }
    template <size_t N> explicit TextAppender(char (&buffer)[N]) : TextAppender(buffer, N) {}
    TextAppender(const TextAppender &) = delete;
    TextAppender &operator=(const TextAppender &) = delete;

    /* A literal text, its length known at compile time. */
    template <size_t N> TextAppender &literal(const char (&text)[N]) { return bytes(text, N - 1); }
    /* A terminated text as printf's %s writes it: a null text reads "(null)". */
    TextAppender &text(const char *text);
    TextAppender &bytes(const char *text, size_t length);
    /* `text` escaped by `escaper`, written in place: no copy of its own. */
    TextAppender &escaped(Escaper escaper, const char *text);
    /* As %lld (and %d of an int). */
    TextAppender &decimal(long long value);
    /* As %08X. */
    TextAppender &hex8(uint32_t value);
    /* As CreateLargeNumberStringWithCommas(value, out, "%Ld"): the decimal
     * digits grouped in threes with commas, after a minus sign if any. */
    TextAppender &grouped(int64_t value);

    bool overflowed() const { return overflowed_; }
    const char *c_str() const { return buffer_; }
    size_t length() const { return used_; }

  private:
    // Room left for text, the terminator's byte not counted.
    size_t room() const { return size_ - 1 - used_; }
    void overflow();

    char *buffer_;
    size_t size_;
    size_t used_ = 0;
    bool overflowed_ = false;
};

} // namespace hxm2afp

#endif
