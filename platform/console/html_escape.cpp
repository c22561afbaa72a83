/*
 * One table-driven HTML escaper for element text and quoted attribute values
 * alike: escaping the quotes everywhere costs nothing and removes the chance
 * of using the weaker one in the wrong place.
 */
#include "platform/console/html_escape.h"

#include <cstring>

namespace hxm_console {

namespace {

// Replacement for each byte, or null when the byte stands for itself.
struct EscapeTable {
    const char *replacement[256] = {};
    constexpr EscapeTable() {
        replacement[static_cast<unsigned char>('&')] = "&amp;";
        replacement[static_cast<unsigned char>('<')] = "&lt;";
        replacement[static_cast<unsigned char>('>')] = "&gt;";
        replacement[static_cast<unsigned char>('"')] = "&quot;";
        replacement[static_cast<unsigned char>('\'')] = "&#39;";
    }
};

constexpr EscapeTable kHtmlEscapes;

void AppendEscaped(std::string *out, const char *text, std::size_t length) {
    std::size_t plainStart = 0;
    for (std::size_t i = 0; i < length; ++i) {
        const char *replacement = kHtmlEscapes.replacement[static_cast<unsigned char>(text[i])];
        if (replacement == nullptr)
            continue;
        out->append(text + plainStart, i - plainStart);
        out->append(replacement);
        plainStart = i + 1;
    }
    out->append(text + plainStart, length - plainStart);
}

} // namespace

void AppendHtmlEscaped(std::string *out, const char *text) {
    if (text != nullptr)
        AppendEscaped(out, text, std::strlen(text));
}

void AppendHtmlEscaped(std::string *out, const std::string &text) {
    AppendEscaped(out, text.data(), text.size());
}

} // namespace hxm_console
