/*
 * Readers of served pages and writers of what a browser sends, shared by the
 * unit and HTTP tests: the text between two markers, the page after the
 * console's frame, hidden field values, HTML entities undone, form and path
 * encoding.
 */
#ifndef HXM_TESTS_SUPPORT_PAGE_TEXT_H
#define HXM_TESTS_SUPPORT_PAGE_TEXT_H

#include <string>
#include <vector>

namespace hxm_test {

/* The text between the first `open` of the page and the next `close`, or
 * "<missing>" when either is absent. */
std::string Between(const std::string &page, const std::string &open, const std::string &close);
/* The page's own body: everything after the console's navigation (the whole
 * page when it has none). */
std::string PageBody(const std::string &page);
/* How often `needle` occurs in `text`, without overlaps. */
size_t CountOf(const std::string &text, const std::string &needle);
/* Every value of `VALUE="..."` following `NAME="<name>"` in the page, as
 * written (entities kept). */
std::vector<std::string> HiddenValues(const std::string &page, const std::string &name);
/* The values of every check box named FILENAME, as the browser reads them. */
std::vector<std::string> FileBoxValues(const std::string &page);
/* Undoes &amp; &lt; &gt; &quot; and &#NN; as a browser reads an attribute;
 * any other entity stays as written. */
std::string HtmlDecode(const std::string &text);
/* application/x-www-form-urlencoded, as a browser encodes a field value. */
std::string FormEncode(const std::string &text);
/* Percent-encodes every byte but unreserved ones and "/", for a target. */
std::string PathEncode(const std::string &text);

} // namespace hxm_test

#endif
