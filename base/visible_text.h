/*
 * Names made visible for a terminal or a spreadsheet: every byte that could
 * act there (move the cursor, retitle the window, reorder the line, break a
 * row) is shown as an escape instead of sent. User, volume and file names
 * are chosen by the people who connect, so the hxm2afp command's text and
 * CSV output and the afpstat command's listing write them through here.
 */
#ifndef HXM_BASE_VISIBLE_TEXT_H
#define HXM_BASE_VISIBLE_TEXT_H

#include <stddef.h>

#include <string>

namespace hxm2afp {

/* Appends the `length` bytes at `text` to *out, made visible:
 *   - C0 controls, DEL and each byte that is not part of valid UTF-8
 *     (overlong forms, surrogates and code points past U+10FFFF included)
 *     as \xNN, two upper-case hex digits;
 *   - a backslash as \\, so no name can pass for the escape of another;
 *   - C1 controls (U+0080-U+009F), bidirectional controls (U+061C, U+200E,
 *     U+200F, U+202A-U+202E, U+2066-U+2069) and the line and paragraph
 *     separators (U+2028, U+2029) as \uNNNN;
 *   - everything else as it is.
 * The result is valid UTF-8 without any of those, whatever the input. */
void append_visible_text(std::string *out, const char *text, size_t length);

/* append_visible_text of a terminated text into a new string ("" for null). */
std::string visible_text(const char *text);

/* The length of the valid UTF-8 sequence at `text` (1 to 4; a terminator
 * counts as 1), or 0 when the bytes there are not one. Reads no further
 * than the first byte that breaks the sequence, so never past a
 * terminator. */
size_t utf8_sequence_length(const unsigned char *text);

} // namespace hxm2afp

#endif
