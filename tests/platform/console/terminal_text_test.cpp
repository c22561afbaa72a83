/*
 * The terminal escaper against names built to drive a terminal, and the
 * stream reader's cut at a character boundary.
 */
#include "platform/console/server/terminal_text.h"

#include <gtest/gtest.h>

namespace hxm_test {
namespace {

using hxm_server::CompleteCharacters;
using hxm_server::TerminalSafe;

TEST(TerminalText, EscapesWhatATerminalActsOnAndKeepsTheRest) {
    const struct {
        std::string in;
        const char *out;
        const char *kept; // with line breaks kept
    } cases[] = {
        {"plain /VOL1/a b.doc", "plain /VOL1/a b.doc", "plain /VOL1/a b.doc"},
        {"\x1b]0;pwned\a", "\\x1b]0;pwned\\x07", "\\x1b]0;pwned\\x07"},
        {"a\nb\tc\rd\x7f", "a\\x0ab\\x09c\\x0dd\\x7f", "a\nb\tc\\x0dd\\x7f"},
        {"\xc2\x9b"
         "31m",
         "\\u009b31m", "\\u009b31m"}, // C1 CSI
        {"evil\xe2\x80\xae"
         "cod.exe",
         "evil\\u202ecod.exe", "evil\\u202ecod.exe"}, // RLO
        {"\xe2\x81\xa6x\xe2\x81\xa9\xe2\x80\x8f", "\\u2066x\\u2069\\u200f",
         "\\u2066x\\u2069\\u200f"},
        {"caf\xc3\xa9 \xe6\x97\xa5 \xf0\x9f\x93\x81", "caf\xc3\xa9 \xe6\x97\xa5 \xf0\x9f\x93\x81",
         "caf\xc3\xa9 \xe6\x97\xa5 \xf0\x9f\x93\x81"},
        {"\xff\xc3(\xc0\xaf\xed\xa0\x80\xf4\x90\x80\x80\xe6\x97", // invalid, overlong, surrogate,
         "\\xff\\xc3(\\xc0\\xaf\\xed\\xa0\\x80\\xf4\\x90\\x80\\x80\\xe6\\x97", // > U+10FFFF, cut
         "\\xff\\xc3(\\xc0\\xaf\\xed\\xa0\\x80\\xf4\\x90\\x80\\x80\\xe6\\x97"},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(TerminalSafe(c.in, false), c.out) << c.in;
        EXPECT_EQ(TerminalSafe(c.in, true), c.kept) << c.in;
    }
}

TEST(TerminalText, CutsAStreamOnlyAtACharacterBoundary) {
    const struct {
        std::string in;
        size_t whole;
    } cases[] = {
        {"", 0},           {"abc", 3},          {"ab\xc3", 2},
        {"ab\xc3\xa9", 4}, {"\xf0\x9f\x93", 0}, {"a\xf0\x9f\x93\x81", 5},
        {"a\x80", 2},      {"a\xff", 2},
    };
    for (const auto &c : cases)
        EXPECT_EQ(CompleteCharacters(c.in), c.whole) << c.in;
}

} // namespace
} // namespace hxm_test
