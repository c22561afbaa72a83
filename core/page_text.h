/*
 * Bounded text helpers for page output: cutting a text to a buffer without
 * splitting a UTF-8 character.
 */
#ifndef HXM_CORE_PAGE_TEXT_H
#define HXM_CORE_PAGE_TEXT_H

#include <stddef.h>

namespace hxm2afp {

/* Copies `text` into out (size > 0 bytes) and terminates it. A text that does
 * not fit is cut at the last whole UTF-8 character that fits. Returns true
 * when the whole text was copied. A null text copies as empty. */
bool copy_cut(char *out, size_t size, const char *text);

/* Drops an incomplete UTF-8 sequence from the end of a terminated text (as
 * left by a cut). */
void trim_incomplete_character(char *text);

} // namespace hxm2afp

#endif
