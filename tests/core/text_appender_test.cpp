// The row text appender against the conversions it stands in for:
// CreateLargeNumberStringWithCommas(value, out, "%Ld"), snprintf's %d and
// %08X, and the escapers; and its bound, which never cuts an entity.
#include <gtest/gtest.h>
#include <stdint.h>
#include <stdio.h>

#include <functional>
#include <string>

#include "core/escape.h"
#include "core/format.h"
#include "core/text_appender.h"

namespace hxm_test {
namespace {

using hxm2afp::TextAppender;

struct AppendCase {
    const char *what;
    size_t size; // the appender's buffer, terminator included
    std::function<void(TextAppender &)> append;
    std::string expected; // the reference text; fits when shorter than `size`
};

std::string Grouped(int64_t value) {
    char out[64];
    CreateLargeNumberStringWithCommas(value, out, "%Ld");
    return out;
}

std::string Printed(const char *format, long long value) {
    char out[64];
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    if (format[1] == '0') // %08X reads an unsigned int
        snprintf(out, sizeof out, format, static_cast<unsigned>(value));
    else
        snprintf(out, sizeof out, format, static_cast<int>(value));
#pragma GCC diagnostic pop
    return out;
}

std::string Escaped(const char *text) {
    std::string out(HXM_ESCAPED_SIZE(strlen(text)), '\0');
    return hxm2afp::escape_html(text, out.data(), out.size());
}

AppendCase GroupedCase(int64_t value, size_t size = 64) {
    return {"grouped", size, [value](TextAppender &text) { text.grouped(value); }, Grouped(value)};
}

TEST(TextAppender, WritesWhatTheFormattedCallsWriteOrOverflowsWhole) {
    const char *hostile = "<b title='x\"y'>&amp;</b>";
    const AppendCase cases[] = {
        GroupedCase(INT64_MIN),
        GroupedCase(INT64_MAX),
        GroupedCase(-1),
        GroupedCase(-999),
        GroupedCase(-1000),
        GroupedCase(-123456),
        GroupedCase(0),
        GroupedCase(7),
        GroupedCase(999),
        GroupedCase(1000),
        GroupedCase(999999),
        GroupedCase(1000000),
        GroupedCase(12345678901LL),
        // Unsigned counters as the rows cast them: past INT64_MAX they show negative.
        GroupedCase(static_cast<int64_t>(UINT32_MAX)),
        GroupedCase(static_cast<int64_t>(UINT64_MAX)),
        GroupedCase(static_cast<int64_t>(UINT64_C(1) << 63)),
        GroupedCase(static_cast<int64_t>(UINT64_C(18000000000000000000))),
        GroupedCase(1000, 6), // "1,000" and the terminator: fits exactly
        GroupedCase(1000, 5), // one byte short
        GroupedCase(INT64_MIN, 26),
        GroupedCase(INT64_MIN, 27),
        {"decimal 0", 64, [](TextAppender &t) { t.decimal(0); }, Printed("%d", 0)},
        {"decimal -1", 64, [](TextAppender &t) { t.decimal(-1); }, Printed("%d", -1)},
        {"decimal INT_MIN", 64, [](TextAppender &t) { t.decimal(INT32_MIN); },
         Printed("%d", INT32_MIN)},
        {"decimal of a number past INT_MAX", 64,
         [](TextAppender &t) { t.decimal(static_cast<int>(UINT32_C(3000000000))); },
         Printed("%d", static_cast<int>(UINT32_C(3000000000)))},
        {"hex 0", 64, [](TextAppender &t) { t.hex8(0); }, Printed("%08X", 0)},
        {"hex 0xABCDEF", 64, [](TextAppender &t) { t.hex8(0xABCDEF); }, Printed("%08X", 0xABCDEF)},
        {"hex UINT32_MAX", 64, [](TextAppender &t) { t.hex8(UINT32_MAX); },
         Printed("%08X", UINT32_MAX)},
        {"hex one byte short", 8, [](TextAppender &t) { t.hex8(1); }, Printed("%08X", 1)},
        {"text and literal", 64,
         [](TextAppender &t) { t.literal("<td>").text("x").literal("</td>"); }, "<td>x</td>"},
        {"null text as %s", 64, [](TextAppender &t) { t.text(nullptr); }, "(null)"},
        {"nothing to escape", 64, [](TextAppender &t) { t.escaped(hxm2afp::escape_html, "plain"); },
         "plain"},
        {"escaped", 128, [hostile](TextAppender &t) { t.escaped(hxm2afp::escape_html, hostile); },
         Escaped(hostile)},
        {"escaped after text", 128,
         [hostile](TextAppender &t) { t.literal("a").escaped(hxm2afp::escape_html, hostile); },
         "a" + Escaped(hostile)},
        // One byte short: the escaper stops before the last entity, leaving
        // bytes unused, and the cut text must not pass as whole.
        {"escaped one byte short", Escaped(hostile).size(),
         [hostile](TextAppender &t) { t.escaped(hxm2afp::escape_html, hostile); },
         Escaped(hostile)},
        {"escaped cut", 20,
         [hostile](TextAppender &t) { t.escaped(hxm2afp::escape_html, hostile); },
         Escaped(hostile)},
        {"nothing after an overflow", 8,
         [](TextAppender &t) { t.literal("123456789").literal("1"); }, "1234567891"},
    };
    for (const AppendCase &c : cases) {
        SCOPED_TRACE(std::string(c.what) + " into " + std::to_string(c.size) +
                     " bytes, expecting " + c.expected);
        std::string buffer(c.size, 'z');
        TextAppender text(buffer.data(), buffer.size());
        c.append(text);
        if (c.expected.size() < c.size) {
            EXPECT_FALSE(text.overflowed());
            EXPECT_EQ(std::string(text.c_str()), c.expected);
            EXPECT_EQ(text.length(), c.expected.size());
        } else {
            EXPECT_TRUE(text.overflowed());
            EXPECT_LT(strlen(text.c_str()), c.size); // terminated inside the buffer
        }
    }
}

} // namespace
} // namespace hxm_test
