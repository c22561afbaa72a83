/*
 * Text made visible for a terminal or a spreadsheet: every byte that could
 * act there (move the cursor, retitle the window, reorder the line, break a
 * row) is shown as an escape instead of sent. User, volume, file and plug-in
 * names are chosen by others, so the hxm2afp command's text and CSV output,
 * the afpstat command's listing and the console's standard error all write
 * them through here.
 */
#ifndef HXM_BASE_VISIBLE_TEXT_H
#define HXM_BASE_VISIBLE_TEXT_H

#include <stddef.h>

#include <string>

namespace hxm2afp {

/* Whether line feed and tab stay as they are (a stream of lines, such as a
 * standard error the console passes on) or are escaped like the other C0
 * controls (a name, a table cell). */
enum class LineBreaks { kEscaped, kKept };

/* Appends the `length` bytes at `text` to *out, made visible:
 *   - C0 controls, DEL and each byte that is not part of valid UTF-8
 *     (overlong forms, surrogates, code points past U+10FFFF and sequences
 *     cut short included) as \xNN, two upper-case hex digits; line feed and
 *     tab as they are with LineBreaks::kKept;
 *   - a backslash as \\, so no name can pass for the escape of another;
 *   - C1 controls (U+0080-U+009F), bidirectional controls (U+061C, U+200E,
 *     U+200F, U+202A-U+202E, U+2066-U+2069) and the line and paragraph
 *     separators (U+2028, U+2029) as \uNNNN;
 *   - everything else, UTF-8 in any script included, as it is.
 * The result is valid UTF-8 without any of those, whatever the input. */
void append_visible_text(std::string *out, const char *text, size_t length,
                         LineBreaks breaks = LineBreaks::kEscaped);

/* append_visible_text of a terminated text into a new string ("" for null). */
std::string visible_text(const char *text);

/* append_visible_text of all of `text` (embedded NULs shown as \x00). */
std::string visible_text(const std::string &text, LineBreaks breaks);

/* The length of the start of the `length` bytes at `text` that ends on a
 * character boundary: all of them but a trailing lead byte and its
 * continuations when the lead announces more bytes than are there. A reader
 * of a stream makes that start visible and keeps the rest for the bytes that
 * follow; a kept tail that never completes is shown, escaped, with them or
 * at the stream's end, so nothing is lost. */
size_t complete_characters(const char *text, size_t length);

/* The length of the valid UTF-8 sequence at `text` (1 to 4; a terminator
 * counts as 1), or 0 when the bytes there are not one. Reads no further
 * than a terminator. */
size_t utf8_sequence_length(const unsigned char *text);

} // namespace hxm2afp

#endif
