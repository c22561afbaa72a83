/*
 * Bounded text helpers for page output: cutting a text to a buffer without
 * splitting a UTF-8 character, and escaping text for an HTML page body.
 */
#ifndef HXM2AFP_PAGE_TEXT_H
#define HXM2AFP_PAGE_TEXT_H

#include <stddef.h>

namespace hxm2afp {

/* Copies `text` into out (size > 0 bytes) and terminates it. A text that does
 * not fit is cut at the last whole UTF-8 character that fits. Returns true
 * when the whole text was copied. A null text copies as empty. */
bool CopyCut(char *out, size_t size, const char *text);

/* Drops an incomplete UTF-8 sequence from the end of a terminated text (as
 * left by a cut). */
void TrimIncompleteCharacter(char *text);

/* Room HtmlEscapeText needs for an input of `length` bytes, terminator
 * included: every byte may become "&amp;". */
constexpr size_t HtmlEscapedSize(size_t length) {
    return 5 * length + 1;
}

/* Writes `text` into out with "&", "<" and ">" as character references, so
 * it reads as text wherever it lands in a page body. Other bytes pass
 * unchanged. Stops before a reference or byte that would not fit (never
 * writes part of one) and terminates out (size > 0). Returns true when the
 * whole text was written. */
bool HtmlEscapeText(char *out, size_t size, const char *text);

} // namespace hxm2afp

#endif
