/*
 * The one way a page writes its body: text gathered in the writer's own
 * buffer and handed to the host in large pieces.
 *
 * The buffer starts on the stack and, when a piece is larger than it, moves
 * to the heap and doubles until the piece fits, up to a cap. A writer bound
 * to a request sends what it holds whenever the next piece does not fit, so
 * it holds only a piece of the page at a time; one bound to no request keeps
 * everything (an in-memory text). Every failure (the cap, memory, the host
 * refusing a piece, a format that cannot be rendered) is sticky: later
 * writes do nothing, and the page checks once, at the end (finish()).
 *
 * Untrusted text is escaped straight into the buffer for where it lands,
 * through core/escape.h's tables: no escaped copy of its own.
 */
#ifndef HXM_CORE_PAGE_WRITER_H
#define HXM_CORE_PAGE_WRITER_H

#include <stdarg.h>
#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include "core/escape.h"

namespace hxm2afp {

class PageWriter {
  public:
    // The buffer a writer starts with, on the stack of its caller.
    static constexpr size_t kStackSize = size_t{16} * 1024;
    // The largest buffer a writer grows to: one piece of a page bound to a
    // request (none comes near it), or all of an in-memory text.
    static constexpr size_t kDefaultCap = size_t{64} * 1024 * 1024;

    /* Writes to `request` (the host's handle), or keeps the text when it is
     * null. `cap` bounds the buffer, terminator included (at least
     * kStackSize; a smaller one reads as kStackSize). */
    explicit PageWriter(void *request, size_t cap = kDefaultCap);
    /* Sends what is left to the request, then frees the buffer. */
    ~PageWriter();
    PageWriter(const PageWriter &) = delete;
    PageWriter &operator=(const PageWriter &) = delete;

    /* A literal text, its length known at compile time. */
    template <size_t N> PageWriter &literal(const char (&text)[N]) { return bytes(text, N - 1); }
    /* A terminated text as printf's %s writes it: a null text reads "(null)". */
    PageWriter &text(const char *text) {
        return text != nullptr ? bytes(text, strlen(text)) : literal("(null)");
    }
    PageWriter &bytes(const char *text, size_t length) {
        // Most pieces fit what is left: only the rest sends or grows.
        if (failed_ || length > room())
            return bytes_after_room(text, length);
        memcpy(buffer_ + used_, text, length);
        used_ += length;
        return *this;
    }
    /* printf-formatted text: the same bytes as the host's HttpSendDataSprintf. */
    PageWriter &format(const char *format, ...) __attribute__((format(printf, 2, 3)));
    PageWriter &vformat(const char *format, va_list args) __attribute__((format(printf, 2, 0)));

    /* `text` escaped for `context`, written in place; a null text reads "". */
    PageWriter &escaped(EscapeContext context, const char *text);
    /* HTML text or attribute value (core/escape.h's escape_html). */
    PageWriter &html(const char *text) { return escaped(EscapeContext::kHtml, text); }
    /* A URL path (escape_url_path) and one path component (escape_url_component). */
    PageWriter &url_path(const char *text) { return escaped(EscapeContext::kUrlPath, text); }
    PageWriter &url_component(const char *text) {
        return escaped(EscapeContext::kUrlComponent, text);
    }
    /* The inside of a quoted script string (escape_script_string). */
    PageWriter &script_string(const char *text) {
        return escaped(EscapeContext::kScriptString, text);
    }

    /* As %lld (and %d of an int). */
    PageWriter &decimal(long long value);
    /* As %08X. */
    PageWriter &hex8(uint32_t value);
    /* As CreateLargeNumberStringWithCommas(value, out, "%Ld"): the decimal
     * digits grouped in threes with commas, after a minus sign if any. */
    PageWriter &grouped(int64_t value);

    /* A piece this writer wrote, to be written again by repeat(). */
    struct Piece {
        size_t at = 0;
        size_t length = 0;
        unsigned long sends = ~0ul; // which sending the bytes were held in
    };
    /* The bytes written since length() was `at`. */
    Piece since(size_t at) const { return Piece{at, used_ - at, sends_}; }
    /* Writes `piece` again by copying the bytes still held, without
     * escaping a text a second time. False (nothing written) once they were
     * sent, or when they would not fit without sending. */
    bool repeat(const Piece &piece) {
        if (failed_ || piece.sends != sends_ || piece.at + piece.length > used_ ||
            piece.length > room())
            return false;
        memmove(buffer_ + used_, buffer_ + piece.at, piece.length);
        used_ += piece.length;
        return true;
    }

    /* Makes room for `length` more bytes at once (sending what is held, or
     * growing, at most once), so a row of known size is written whole.
     * False once the writer has failed. */
    bool reserve(size_t length);

    /* Sends what is held to the request (nothing without one). False once
     * the writer has failed. */
    bool flush();
    /* flush(): whether the whole text reached the request (or, without
     * one, is held whole). */
    bool finish() { return flush(); }

    bool failed() const { return failed_; }
    /* The text held and not yet sent, terminated. */
    const char *c_str() const {
        buffer_[used_] = '\0'; // the room always keeps a byte for it
        return buffer_;
    }
    size_t length() const { return used_; }
    void *request() const { return request_; }

  private:
    size_t room() const { return capacity_ - 1 - used_; }
    // Room for `length` more bytes: sends, then grows. False on failure.
    bool make_room(size_t length);
    bool grow(size_t needed);
    PageWriter &bytes_after_room(const char *text, size_t length);
    void fail();

    void *request_;
    size_t cap_;
    char *buffer_;
    size_t capacity_ = kStackSize; // bytes of buffer_, terminator included
    size_t used_ = 0;
    unsigned long sends_ = 0; // how many times the held bytes went out
    bool failed_ = false;
    char stack_[kStackSize];
};

} // namespace hxm2afp

#endif
