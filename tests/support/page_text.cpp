/*
 * Page readers and browser encodings: see page_text.h.
 */
#include "tests/support/page_text.h"

#include <cstdlib>
#include <cstring>

namespace hxm_test {

std::string Between(const std::string &page, const std::string &open, const std::string &close) {
    size_t start = page.find(open);
    if (start == std::string::npos)
        return "<missing>";
    start += open.size();
    size_t end = page.find(close, start);
    return end == std::string::npos ? "<missing>" : page.substr(start, end - start);
}

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

std::vector<std::string> FileBoxValues(const std::string &page) {
    std::vector<std::string> values = HiddenValues(page, "FILENAME");
    for (std::string &value : values)
        value = HtmlDecode(value);
    return values;
}

std::string HtmlDecode(const std::string &text) {
    static const std::pair<const char *, char> kNamed[] = {
        {"amp", '&'}, {"lt", '<'}, {"gt", '>'}, {"quot", '"'}};
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        const size_t end = text[i] == '&' ? text.find(';', i) : std::string::npos;
        if (end == std::string::npos) {
            out += text[i];
            continue;
        }
        const std::string entity = text.substr(i + 1, end - i - 1);
        char decoded = '\0';
        for (const auto &named : kNamed) {
            if (entity == named.first)
                decoded = named.second;
        }
        if (decoded == '\0' && entity.size() > 1 && entity[0] == '#')
            decoded = static_cast<char>(std::strtol(entity.c_str() + 1, nullptr, 10));
        if (decoded == '\0') {
            out += text[i];
            continue;
        }
        out += decoded;
        i = end;
    }
    return out;
}

namespace {

bool IsAsciiAlphanumeric(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

std::string Encode(const std::string &text, const char *kept, bool spaceAsPlus) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text) {
        if (IsAsciiAlphanumeric(c) || (c != '\0' && std::strchr(kept, c) != nullptr)) {
            out += static_cast<char>(c);
        } else if (spaceAsPlus && c == ' ') {
            out += '+';
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    return out;
}

} // namespace

std::string FormEncode(const std::string &text) {
    return Encode(text, "*-._", true);
}

std::string PathEncode(const std::string &text) {
    return Encode(text, "-._~/", false);
}

} // namespace hxm_test
