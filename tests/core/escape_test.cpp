// Escaping of untrusted names for page text, attributes, URLs and script
// strings, over a corpus of hostile names.
#include <gtest/gtest.h>

#include <string>

#include "core/escape.h"

namespace hxm_test {
namespace {

using hxm2afp::escape_html;
using hxm2afp::escape_html_text;
using hxm2afp::escape_script_string;
using hxm2afp::escape_url_component;
using hxm2afp::escape_url_path;

using EscapeFunction = const char *(*)(const char *, char *, size_t);

std::string Escaped(EscapeFunction escape, const std::string &text) {
    std::string out(HXM_ESCAPED_SIZE(text.size()), '\0');
    return escape(text.c_str(), out.data(), out.size());
}

// Undoes percent-encoding the way the host decodes a path.
std::string PercentDecoded(const std::string &text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && isxdigit(text[i + 1]) &&
            isxdigit(text[i + 2])) {
            out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

const std::string kHostileNames[] = {
    "<img src=x onerror=alert(1)>",
    "a\"b",
    "it's",
    "</script><script>alert(1)</script>",
    "a&amp;b",
    "100%",
    "%41%zz",
    "a+b c",
    "what?x=1",
    "dir#frag",
    "/VOL1/dir/\"quoted\" & <angled> 'single'.doc",
    "M\xC3\xBCller \xE2\x80\xA8 line",
    "tab\there\nnew\rline",
    "back\\slash",
    "javascript:alert(1)",
    "\" onmouseover=\"alert(1)",
    "' onfocus='alert(1)",
    "x\x7F"
    "del",
    std::string(255, 'n'),
    std::string(100, '<'),
    "\xFF\xFE raw bytes",
};

struct Case {
    EscapeFunction escape;
    const char *text;
    const char *expected;
};

TEST(Escape, EachContextEscapesItsOwnCharacters) {
    const Case cases[] = {
        {escape_html, "<a href=\"x\">Tom & 'Jerry'</a>",
         "&lt;a href=&#34;x&#34;&gt;Tom &amp; &#39;Jerry&#39;&lt;/a&gt;"},
        {escape_html, "M\xC3\xBCller", "M\xC3\xBCller"},
        // Page text outside a tag: quotes stand for themselves.
        {escape_html_text, "<b>\"x\" & 'y'</b>", "&lt;b&gt;\"x\" &amp; 'y'&lt;/b&gt;"},
        {escape_url_path, "/VOL1/a b/c%d.doc", "/VOL1/a%20b/c%25d.doc"},
        {escape_url_path, "<x>?#&+'\"", "%3Cx%3E%3F%23%26%2B%27%22"},
        {escape_url_path, "M\xC3\xBCller", "M%C3%BCller"},
        {escape_url_component, "a/b", "a%2Fb"},
        {escape_script_string, "it's \"x\"\\", "it\\'s \\\"x\\\"\\\\"},
        {escape_script_string, "</script>&", "\\x3C/script\\x3E\\x26"},
        {escape_script_string, "a\nb\x01", "a\\x0Ab\\x01"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(Escaped(c.escape, c.text), c.expected) << c.text;
}

TEST(Escape, OrdinaryNamesComeBackUnchangedWithoutACopy) {
    const char *names[] = {"alice", "Bob.Smith-2", "/VOL1/Projects/report_v2.doc", "10.0.0.1", ""};
    char out[64];
    for (const char *name : names) {
        EXPECT_EQ(escape_html(name, out, sizeof out), name);
        EXPECT_EQ(escape_url_path(name, out, sizeof out), name);
        EXPECT_EQ(escape_script_string(name, out, sizeof out), name);
    }
}

TEST(Escape, HostileNamesCannotBreakOutOfTheirContext) {
    for (const std::string &name : kHostileNames) {
        const std::string html = Escaped(escape_html, name);
        EXPECT_EQ(html.find_first_of("<>\"'"), std::string::npos) << html;
        // Every & starts one of our entities.
        for (size_t at = html.find('&'); at != std::string::npos; at = html.find('&', at + 1))
            EXPECT_NE(html.find(';', at), std::string::npos) << html;

        const std::string url = Escaped(escape_url_path, name);
        EXPECT_EQ(url.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"
                                        "0123456789-._~/%"),
                  std::string::npos)
            << url;
        EXPECT_EQ(PercentDecoded(url), name);

        const std::string script = Escaped(escape_script_string, name);
        EXPECT_EQ(script.find_first_of("<>&\n\r"), std::string::npos) << script;
        for (size_t i = 0; i < script.size(); ++i) {
            if (script[i] == '\\') {
                ++i; // the escaped character
                continue;
            }
            EXPECT_NE(script[i], '\'') << script;
            EXPECT_NE(script[i], '"') << script;
        }
    }
}

TEST(Escape, WorstCaseBufferSizeAlwaysSuffices) {
    for (const std::string &name : kHostileNames) {
        for (EscapeFunction escape : {escape_html, escape_html_text, escape_url_path,
                                      escape_url_component, escape_script_string}) {
            std::string out(HXM_ESCAPED_SIZE(name.size()) + 8, '#');
            escape(name.c_str(), out.data(), HXM_ESCAPED_SIZE(name.size()));
            // Nothing written past the stated size.
            EXPECT_EQ(out.substr(HXM_ESCAPED_SIZE(name.size())), "########");
        }
    }
    const std::string worst(200, '\'');
    EXPECT_EQ(Escaped(escape_html, worst).size(), 200u * 5);
}

TEST(Escape, ASmallBufferGetsWholeSequencesOnly) {
    struct Small {
        EscapeFunction escape;
        const char *text;
        size_t size;
        const char *expected;
    };
    const Small cases[] = {
        {escape_html, "ab<cd", 4, "ab"},     // "&lt;" does not fit in the 1 left
        {escape_html, "ab<cd", 7, "ab&lt;"}, // fits exactly, terminator included
        {escape_url_path, "a b", 4, "a"},
        {escape_url_path, "abcdef<", 4, "abc"}, // the plain prefix is cut too
        {escape_script_string, "'", 2, ""},
    };
    for (const Small &c : cases) {
        std::string out(c.size, '#');
        EXPECT_STREQ(c.escape(c.text, out.data(), c.size), c.expected) << c.text << " " << c.size;
    }
}

TEST(Escape, NullTextIsEmpty) {
    char out[8];
    EXPECT_STREQ(escape_html(nullptr, out, sizeof out), "");
    EXPECT_STREQ(escape_url_path(nullptr, out, sizeof out), "");
}

} // namespace

} // namespace hxm_test
