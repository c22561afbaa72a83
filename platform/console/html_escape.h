/*
 * Escaping for text the console frame writes into its pages. Titles, link
 * texts and group titles come from plug-ins and their translations, so none
 * of them may open markup of its own.
 */
#ifndef HXM_PLATFORM_CONSOLE_HTML_ESCAPE_H
#define HXM_PLATFORM_CONSOLE_HTML_ESCAPE_H

#include <string>

namespace hxm_console {

// Appends `text` to `out` with & < > " ' replaced by character references,
// so the result is safe both as element text and inside a quoted attribute.
// A null text appends nothing.
void AppendHtmlEscaped(std::string *out, const char *text);
void AppendHtmlEscaped(std::string *out, const std::string &text);

} // namespace hxm_console

#endif
