/*
 * Page readers for the connections tests: see page_text.h.
 */
#include "tests/pages/connections/page_text.h"

#include <cctype>
#include <cstdlib>

namespace connections_test {

std::string PageBody(const std::string &page) {
    const std::string navigation = "<div class=\"hxm-nav\">";
    size_t at = page.find(navigation);
    if (at == std::string::npos)
        return page;
    at = page.find("</div>\n", at);
    return at == std::string::npos ? page : page.substr(at + 7);
}

size_t CountOf(const std::string &text, const std::string &needle) {
    size_t count = 0;
    for (size_t at = text.find(needle); at != std::string::npos;
         at = text.find(needle, at + needle.size()))
        ++count;
    return count;
}

std::vector<std::string> HiddenValues(const std::string &page, const std::string &name) {
    std::vector<std::string> values;
    const std::string key = "NAME=\"" + name + "\" VALUE=\"";
    for (size_t at = page.find(key); at != std::string::npos; at = page.find(key, at + 1)) {
        const size_t start = at + key.size();
        const size_t end = page.find('"', start);
        if (end == std::string::npos)
            break;
        values.push_back(page.substr(start, end - start));
    }
    return values;
}

std::string UnescapeHtml(const std::string &text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '&') {
            out += text[i];
            continue;
        }
        const size_t end = text.find(';', i);
        const std::string entity = text.substr(i + 1, end - i - 1);
        if (entity == "amp")
            out += '&';
        else if (entity == "lt")
            out += '<';
        else if (entity == "gt")
            out += '>';
        else if (entity == "quot")
            out += '"';
        else if (!entity.empty() && entity[0] == '#')
            out += static_cast<char>(std::strtol(entity.c_str() + 1, nullptr, 10));
        else
            out += "&" + entity + ";";
        i = end;
    }
    return out;
}

namespace {

std::string Encode(const std::string &text, bool form) {
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text) {
        if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~' ||
            (!form && c == '/')) {
            out += static_cast<char>(c);
        } else if (form && c == ' ') {
            out += '+';
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

} // namespace

std::string FormEncode(const std::string &text) {
    return Encode(text, true);
}

std::string PathEncode(const std::string &text) {
    return Encode(text, false);
}

} // namespace connections_test
