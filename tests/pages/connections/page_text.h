/*
 * Small readers of a served page for the connections tests: the part after
 * the console's frame, the values of hidden fields, HTML entities undone,
 * form encoding as a browser does it.
 */
#ifndef HXM_TESTS_CONNECTIONS_PAGE_TEXT_H
#define HXM_TESTS_CONNECTIONS_PAGE_TEXT_H

#include <string>
#include <vector>

namespace connections_test {

/* The page's own body: everything after the console's navigation. */
std::string PageBody(const std::string &page);
/* How often `needle` occurs in `text`. */
size_t CountOf(const std::string &text, const std::string &needle);
/* Every value of `VALUE="..."` following `NAME="<name>"` in the page. */
std::vector<std::string> HiddenValues(const std::string &page, const std::string &name);
/* Undoes &amp; &lt; &gt; &quot; &#NN; as a browser reads an attribute. */
std::string UnescapeHtml(const std::string &text);
/* application/x-www-form-urlencoded, as a browser encodes a field value. */
std::string FormEncode(const std::string &text);
/* Percent-encodes every byte but unreserved ones and "/", for a target. */
std::string PathEncode(const std::string &text);

} // namespace connections_test

#endif
