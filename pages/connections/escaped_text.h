/*
 * A text escaped for where it lands, held for the length of one page
 * fragment: a stack buffer for ordinary lengths, the heap for long texts.
 */
#ifndef HXM2AFP_CONNECTIONS_ESCAPED_TEXT_H
#define HXM2AFP_CONNECTIONS_ESCAPED_TEXT_H

#include <stdlib.h>
#include <string.h>

#include "core/escape.h"

namespace hxm2afp::connections {

class EscapedText {
  public:
    using Escaper = const char *(*)(const char *, char *, size_t);

    /* Escapes `text` (null reads as empty) with `escaper`. Without memory for
     * a long text the result is its longest escaped prefix that fits the
     * stack buffer: cut, never unsafe. */
    EscapedText(Escaper escaper, const char *text) {
        if (text == nullptr)
            text = "";
        const size_t length = strlen(text);
        char *out = stack_;
        size_t size = sizeof stack_;
        if (length > (sizeof stack_ - 1) / 6) {
            heap_ = static_cast<char *>(malloc(HXM_ESCAPED_SIZE(length)));
            if (heap_ != nullptr) {
                out = heap_;
                size = HXM_ESCAPED_SIZE(length);
            }
        }
        result_ = escaper(text, out, size);
    }
    ~EscapedText() { free(heap_); }
    EscapedText(const EscapedText &) = delete;
    EscapedText &operator=(const EscapedText &) = delete;

    const char *c_str() const { return result_; }

  private:
    // Room for a 256-byte name escaped in full.
    char stack_[HXM_ESCAPED_SIZE(256)];
    char *heap_ = nullptr;
    const char *result_ = "";
};

} // namespace hxm2afp::connections

#endif
