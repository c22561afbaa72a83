/*
 * The escaper for terminals and spreadsheets against names built to drive
 * a terminal, the edges of every escaped range, the stream reader's cut at
 * a character boundary and the sequence length the metrics labels use.
 */
#include "base/visible_text.h"

#include <gtest/gtest.h>

namespace hxm_test {
namespace {

using hxm2afp::LineBreaks;

TEST(VisibleText, EscapesWhatATerminalActsOnAndKeepsTheRest) {
    const struct {
        std::string in;
        const char *out;
        const char *kept; // with line breaks kept
    } cases[] = {
        {"plain /VOL1/a b.doc", "plain /VOL1/a b.doc", "plain /VOL1/a b.doc"},
        {"\x1b]0;pwned\a", "\\x1B]0;pwned\\x07", "\\x1B]0;pwned\\x07"},
        {std::string("a\nb\tc\rd\x7f\0e", 10), "a\\x0Ab\\x09c\\x0Dd\\x7F\\x00e",
         "a\nb\tc\\x0Dd\\x7F\\x00e"},
        {"back\\x1b", "back\\\\x1b", "back\\\\x1b"}, // no name passes for an escape
        {"\xc2\x9b"
         "31m \xc2\x85 \xc2\x9f\xc2\xa0",
         "\\u009B31m \\u0085 \\u009F\xc2\xa0", "\\u009B31m \\u0085 \\u009F\xc2\xa0"}, // C1
        {"\xd8\x9b\xd8\x9c\xd8\x9d \xe2\x80\x8d\xe2\x80\x8e\xe2\x80\x8f\xe2\x80\x90",
         "\xd8\x9b\\u061C\xd8\x9d \xe2\x80\x8d\\u200E\\u200F\xe2\x80\x90",
         "\xd8\x9b\\u061C\xd8\x9d \xe2\x80\x8d\\u200E\\u200F\xe2\x80\x90"}, // marks
        {"\xe2\x80\xa7\xe2\x80\xa8\xe2\x80\xa9\xe2\x80\xaa\xe2\x80\xae\xe2\x80\xaf",
         "\xe2\x80\xa7\\u2028\\u2029\\u202A\\u202E\xe2\x80\xaf",
         "\xe2\x80\xa7\\u2028\\u2029\\u202A\\u202E\xe2\x80\xaf"}, // separators, overrides
        {"\xe2\x81\xa5\xe2\x81\xa6x\xe2\x81\xa9\xe2\x81\xaa",
         "\xe2\x81\xa5\\u2066x\\u2069\xe2\x81\xaa",
         "\xe2\x81\xa5\\u2066x\\u2069\xe2\x81\xaa"}, // isolates
        {"caf\xc3\xa9 \xe6\x97\xa5 \xf0\x9f\x93\x81 \xed\x9f\xbf\xef\xbf\xbf\xf4\x8f\xbf\xbf",
         "caf\xc3\xa9 \xe6\x97\xa5 \xf0\x9f\x93\x81 \xed\x9f\xbf\xef\xbf\xbf\xf4\x8f\xbf\xbf",
         "caf\xc3\xa9 \xe6\x97\xa5 \xf0\x9f\x93\x81 \xed\x9f\xbf\xef\xbf\xbf\xf4\x8f\xbf\xbf"},
        // Not a character, overlong (two, three and four bytes), surrogate,
        // past U+10FFFF, cut short: each byte shown.
        {"\xff\x80\xc3(\xc0\xaf\xe0\x80\xaf\xf0\x80\x80\xaf\xed\xa0\x80\xf4\x90\x80\x80\xe6\x97",
         "\\xFF\\x80\\xC3(\\xC0\\xAF\\xE0\\x80\\xAF\\xF0\\x80\\x80\\xAF\\xED\\xA0\\x80"
         "\\xF4\\x90\\x80\\x80\\xE6\\x97",
         "\\xFF\\x80\\xC3(\\xC0\\xAF\\xE0\\x80\\xAF\\xF0\\x80\\x80\\xAF\\xED\\xA0\\x80"
         "\\xF4\\x90\\x80\\x80\\xE6\\x97"},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(hxm2afp::visible_text(c.in, LineBreaks::kEscaped), c.out) << c.in;
        EXPECT_EQ(hxm2afp::visible_text(c.in, LineBreaks::kKept), c.kept) << c.in;
        if (c.in.find('\0') == std::string::npos) {
            EXPECT_EQ(hxm2afp::visible_text(c.in.c_str()), c.out) << c.in;
        }
    }
    EXPECT_EQ(hxm2afp::visible_text(nullptr), "");
}

TEST(VisibleText, CutsAStreamOnlyAtACharacterBoundary) {
    const struct {
        std::string in;
        size_t whole;
    } cases[] = {
        {"", 0},           {"abc", 3},          {"ab\xc3", 2},
        {"ab\xc3\xa9", 4}, {"\xf0\x9f\x93", 0}, {"a\xf0\x9f\x93\x81", 5},
        {"a\x80", 2},      {"a\xff", 2},        {"\x80\x80\x80\x80", 4},
    };
    for (const auto &c : cases)
        EXPECT_EQ(hxm2afp::complete_characters(c.in.data(), c.in.size()), c.whole) << c.in;
}

TEST(VisibleText, MeasuresOneSequenceNeverPastTheTerminator) {
    const struct {
        const char *in;
        size_t length;
    } cases[] = {
        {"", 1},     {"a", 1},        {"\xc3\xa9", 2},     {"\xf0\x9f\x93\x81", 4},
        {"\x80", 0}, {"\xe6\x97", 0}, {"\xed\xa0\x80", 0}, {"\xc0\xaf", 0},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(hxm2afp::utf8_sequence_length(reinterpret_cast<const unsigned char *>(c.in)),
                  c.length)
            << c.in;
    }
}

} // namespace
} // namespace hxm_test
