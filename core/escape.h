/*
 * Escaping of untrusted text for where it lands in a page.
 *
 * Names the monitoring library reports (users, addresses, volumes, paths)
 * and texts from the request (the filter) are chosen by people who may be
 * hostile; a page must show them as text and carry them through links and
 * forms intact. Each function takes the text and a caller's buffer and
 * returns the text to print: `text` itself when nothing in it needs
 * escaping (ordinary names come out byte for byte, with no copy), else `out`
 * holding the escaped form. A buffer of HXM_ESCAPED_SIZE(strlen(text))
 * bytes always suffices; a smaller one gets the longest escaped prefix that
 * fits, never a split entity or %-sequence. A null text gives "".
 */
#ifndef HXM_CORE_ESCAPE_H
#define HXM_CORE_ESCAPE_H

#include <stddef.h>

/* The worst case of every context: one byte becomes six ("&#39;", "\x3c"
 * and "%3C" are shorter), plus the terminator. */
#define HXM_ESCAPED_SIZE(length) ((length)*6 + 1)

namespace hxm2afp {

/* For page text and for attribute values in double or single quotes:
 * & < > " ' become entities. */
const char *escape_html(const char *text, char *out, size_t size);

/* For page text outside any tag only, where quotes stand for themselves:
 * & < > become entities. */
const char *escape_html_text(const char *text, char *out, size_t size);

/* For a part of a URL path: every byte but A-Z a-z 0-9 - . _ ~ and "/" is
 * percent-encoded, so the host's decoding gives back the exact bytes. The
 * result is also safe inside an HTML attribute. */
const char *escape_url_path(const char *text, char *out, size_t size);

/* As escape_url_path, but "/" is encoded too: one path component. */
const char *escape_url_component(const char *text, char *out, size_t size);

/* For the inside of a quoted script string in an HTML script block:
 * \ ' " and control characters are backslash-escaped, and < > & are
 * written as \x3c \x3e \x26 so the text can never close the script element. */
const char *escape_script_string(const char *text, char *out, size_t size);

/* The contexts above, for a writer that escapes straight into its own
 * buffer (core/page_writer.h) through the same tables. */
enum class EscapeContext { kHtml, kHtmlText, kUrlPath, kUrlComponent, kScriptString };

/* The length of `text` (`length` bytes) escaped for `context`. */
size_t escaped_length(EscapeContext context, const char *text, size_t length);

/* Writes `text` (`length` bytes) escaped for `context` to `out`, which holds
 * escaped_length(context, text, length) bytes, and returns the end of what it
 * wrote. No terminator is written. */
char *escape_into(EscapeContext context, const char *text, size_t length, char *out);

} // namespace hxm2afp

#endif
