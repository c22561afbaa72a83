/*
 * Escaping of untrusted text, one 256-entry table per context.
 *
 * Notes: a table entry is the replacement for that byte, or empty when the
 * byte stands for itself. The common case, a name with nothing to escape,
 * costs one scan and no copy, which matters on pages of 100,000 rows.
 * Bytes of 0x80 and up (UTF-8) stand for themselves in HTML and script
 * strings; in URLs they are percent-encoded like every other byte.
 */
#include "core/escape.h"

#include <string.h>

namespace hxm2afp {
namespace {

struct Replacement {
    char text[5]; // longest: "&#39;", "\\x3c", "%3C"
    unsigned char length;
};

using EscapeTable = Replacement[256];

constexpr Replacement replacement_of(const char *text) {
    Replacement r{};
    unsigned char n = 0;
    while (text[n] != '\0' && n < sizeof r.text) {
        r.text[n] = text[n];
        ++n;
    }
    r.length = n;
    return r;
}

constexpr char kHex[] = "0123456789ABCDEF";

struct HtmlTable {
    EscapeTable entries{};
    constexpr explicit HtmlTable(bool quotes) {
        entries['&'] = replacement_of("&amp;");
        entries['<'] = replacement_of("&lt;");
        entries['>'] = replacement_of("&gt;");
        if (quotes) {
            entries['"'] = replacement_of("&#34;");
            entries['\''] = replacement_of("&#39;");
        }
    }
};

constexpr bool is_unreserved(unsigned c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_' || c == '~';
}

struct UrlTable {
    EscapeTable entries{};
    constexpr explicit UrlTable(bool keepSlash) {
        for (unsigned c = 0; c < 256; ++c) {
            if (is_unreserved(c) || (keepSlash && c == '/'))
                continue;
            entries[c].text[0] = '%';
            entries[c].text[1] = kHex[c >> 4];
            entries[c].text[2] = kHex[c & 0xF];
            entries[c].length = 3;
        }
    }
};

struct ScriptTable {
    EscapeTable entries{};
    constexpr ScriptTable() {
        for (unsigned c = 0; c < 0x20; ++c) {
            entries[c].text[0] = '\\';
            entries[c].text[1] = 'x';
            entries[c].text[2] = kHex[c >> 4];
            entries[c].text[3] = kHex[c & 0xF];
            entries[c].length = 4;
        }
        entries[0x7F] = replacement_of("\\x7F");
        entries['\\'] = replacement_of("\\\\");
        entries['\''] = replacement_of("\\'");
        entries['"'] = replacement_of("\\\"");
        entries['<'] = replacement_of("\\x3C");
        entries['>'] = replacement_of("\\x3E");
        entries['&'] = replacement_of("\\x26");
    }
};

constexpr HtmlTable kHtml{true};
constexpr HtmlTable kHtmlText{false};
constexpr UrlTable kUrlPath{true};
constexpr UrlTable kUrlComponent{false};
constexpr ScriptTable kScript{};

const char *escape(const EscapeTable &table, const char *text, char *out, size_t size) {
    if (text == nullptr)
        return "";
    const unsigned char *p = reinterpret_cast<const unsigned char *>(text);
    while (*p != '\0' && table[*p].length == 0)
        ++p;
    if (*p == '\0')
        return text;
    if (out == nullptr || size == 0)
        return "";

    size_t used = static_cast<size_t>(p - reinterpret_cast<const unsigned char *>(text));
    if (used >= size) { // not even the plain prefix fits
        memcpy(out, text, size - 1);
        out[size - 1] = '\0';
        return out;
    }
    memcpy(out, text, used);
    for (; *p != '\0'; ++p) {
        const Replacement &r = table[*p];
        const size_t n = r.length == 0 ? 1 : r.length;
        if (used + n >= size) // 1 byte for the terminator; never split a sequence
            break;
        if (r.length == 0)
            out[used] = static_cast<char>(*p);
        else
            memcpy(out + used, r.text, n);
        used += n;
    }
    out[used] = '\0';
    return out;
}

const EscapeTable &table_of(EscapeContext context) {
    switch (context) {
    case EscapeContext::kHtml:
        return kHtml.entries;
    case EscapeContext::kHtmlText:
        return kHtmlText.entries;
    case EscapeContext::kUrlPath:
        return kUrlPath.entries;
    case EscapeContext::kUrlComponent:
        return kUrlComponent.entries;
    case EscapeContext::kScriptString:
        break;
    }
    return kScript.entries;
}

} // namespace

size_t escaped_length(EscapeContext context, const char *text, size_t length) {
    const EscapeTable &table = table_of(context);
    const unsigned char *p = reinterpret_cast<const unsigned char *>(text);
    size_t escaped = length;
    for (size_t i = 0; i < length; ++i)
        if (table[p[i]].length != 0)
            escaped += table[p[i]].length - 1u;
    return escaped;
}

char *escape_into(EscapeContext context, const char *text, size_t length, char *out) {
    const EscapeTable &table = table_of(context);
    const unsigned char *p = reinterpret_cast<const unsigned char *>(text);
    const unsigned char *end = p + length;
    while (p < end) {
        // A run of bytes that stand for themselves goes in one copy: most
        // names and paths are one such run.
        const unsigned char *run = p;
        while (p < end && table[*p].length == 0)
            ++p;
        memcpy(out, run, static_cast<size_t>(p - run));
        out += p - run;
        if (p == end)
            break;
        const Replacement &r = table[*p++];
        for (unsigned char k = 0; k < r.length; ++k)
            *out++ = r.text[k];
    }
    return out;
}

const char *escape_html(const char *text, char *out, size_t size) {
    return escape(kHtml.entries, text, out, size);
}

const char *escape_html_text(const char *text, char *out, size_t size) {
    return escape(kHtmlText.entries, text, out, size);
}

const char *escape_url_path(const char *text, char *out, size_t size) {
    return escape(kUrlPath.entries, text, out, size);
}

const char *escape_url_component(const char *text, char *out, size_t size) {
    return escape(kUrlComponent.entries, text, out, size);
}

const char *escape_script_string(const char *text, char *out, size_t size) {
    return escape(kScript.entries, text, out, size);
}

} // namespace hxm2afp
