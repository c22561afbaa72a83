/*
 * A reader of served pages shared by tests in several folders (header only,
 * so programs that link no test library can use it too).
 */
#ifndef HXM_TESTS_SUPPORT_PAGE_BETWEEN_H
#define HXM_TESTS_SUPPORT_PAGE_BETWEEN_H

#include <string>

namespace test_support {

/* The text between the first `open` of the page and the next `close`, or
 * "<missing>" when either is absent. */
inline std::string Between(const std::string &page, const std::string &open,
                           const std::string &close) {
    size_t start = page.find(open);
    if (start == std::string::npos)
        return "<missing>";
    start += open.size();
    size_t end = page.find(close, start);
    return end == std::string::npos ? "<missing>" : page.substr(start, end - start);
}

} // namespace test_support

#endif
