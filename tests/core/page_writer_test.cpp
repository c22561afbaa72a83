// The page writer against the calls it stands in for: snprintf,
// CreateLargeNumberStringWithCommas(value, out, "%Ld") and the escapers;
// its growth from the stack to the cap, the pieces it hands the host and its
// sticky failure. The host's HttpSendDataSprintf is this file's own, which
// keeps what it is sent and can refuse a piece.
#include <gtest/gtest.h>
#include <stdarg.h>
#include <stdint.h>
#include <stdio.h>

#include <functional>
#include <string>

#include "core/escape.h"
#include "core/format.h"
#include "core/page_writer.h"

namespace {

std::string g_sent;    // what the host took
int g_refuseFrom = -1; // the first piece the host refuses; -1 for none
int g_pieces = 0;

} // namespace

extern "C" int HttpSendDataSprintf(void *, const char *format, ...) {
    if (g_refuseFrom >= 0 && g_pieces >= g_refuseFrom)
        return 1;
    ++g_pieces;
    va_list args;
    va_start(args, format);
    char probe[1];
    va_list again;
    va_copy(again, args);
    const int length = vsnprintf(probe, sizeof probe, format, args);
    std::string piece(static_cast<size_t>(length) + 1, '\0');
    vsnprintf(piece.data(), piece.size(), format, again);
    va_end(again);
    va_end(args);
    g_sent.append(piece.c_str(), static_cast<size_t>(length));
    return 0;
}

namespace hxm_test {
namespace {

using hxm2afp::PageWriter;
constexpr size_t kStack = PageWriter::kStackSize;

struct WriteCase {
    const char *what;
    bool toHost;    // bound to a request (else an in-memory text)
    size_t cap;     // the writer's cap
    int refuseFrom; // the host's first refused piece, or -1
    std::function<void(PageWriter &)> write;
    std::string expected; // the whole text, or "" when the writer must fail
};

std::string Grouped(int64_t value) {
    char out[64];
    CreateLargeNumberStringWithCommas(value, out, "%Ld");
    return out;
}

std::string Escaped(const std::string &text, const char *(*escaper)(const char *, char *, size_t)) {
    std::string out(HXM_ESCAPED_SIZE(text.size()), '\0');
    return escaper(text.c_str(), out.data(), out.size());
}

WriteCase GroupedCase(int64_t value) {
    return {"grouped",     false, kStack, -1, [value](PageWriter &out) { out.grouped(value); },
            Grouped(value)};
}

std::function<void(PageWriter &)> Repeat(const std::string &piece, int times) {
    return [piece, times](PageWriter &out) {
        for (int i = 0; i < times; ++i)
            out.text(piece.c_str());
    };
}

TEST(PageWriter, WritesWhatTheFormattedCallsWriteGrowsAndFailsForGood) {
    const std::string hostile = "<b title='x\"y'>&amp;</b> %?:/\\\x01\xc3\xa9";
    const std::string row(1000, 'r');
    const std::string hundredRows(100 * row.size(), 'r');
    const std::string longName = std::string(3 * kStack, '<') + "x";
    const std::string padding(kStack / 2, 'z'); // two pieces' worth of bytes
    const WriteCase cases[] = {
        GroupedCase(INT64_MIN),
        GroupedCase(-1000),
        GroupedCase(0),
        GroupedCase(999),
        GroupedCase(1000000),
        // Unsigned counters as the rows cast them: past INT64_MAX they show negative.
        GroupedCase(static_cast<int64_t>(UINT64_MAX)),
        {"decimal and hex", false, kStack, -1,
         [](PageWriter &out) { out.decimal(INT32_MIN).literal(" ").hex8(0xABCDEF); },
         std::to_string(INT32_MIN) + " 00ABCDEF"},
        {"null text as %s", false, kStack, -1, [](PageWriter &out) { out.text(nullptr); },
         "(null)"},
        {"format", false, kStack, -1,
         [](PageWriter &out) { out.format("<td %s>%d %08X</td>", "x", -7, 255u); },
         "<td x>-7 000000FF</td>"},
        {"escaped, every context", false, kStack, -1,
         [hostile](PageWriter &out) {
             out.html(hostile.c_str()).url_path(hostile.c_str());
             out.url_component(hostile.c_str()).script_string(hostile.c_str());
             out.escaped(hxm2afp::EscapeContext::kHtmlText, hostile.c_str()).html(nullptr);
         },
         Escaped(hostile, hxm2afp::escape_html) + Escaped(hostile, hxm2afp::escape_url_path) +
             Escaped(hostile, hxm2afp::escape_url_component) +
             Escaped(hostile, hxm2afp::escape_script_string) +
             Escaped(hostile, hxm2afp::escape_html_text)},
        // Past the stack buffer: one text grows it, uncut.
        {"grows past the stack", false, 64 * kStack, -1, Repeat(row, 100), hundredRows},
        {"escaped long name grows once", false, 64 * kStack, -1,
         [&longName](PageWriter &out) { out.literal("a").html(longName.c_str()); },
         "a" + Escaped(longName, hxm2afp::escape_html)},
        {"format past the stack", false, 64 * kStack, -1,
         [&longName](PageWriter &out) { out.literal("[").format("%s|%s", longName.c_str(), "z"); },
         "[" + longName + "|z"},
        // Bound to the host: pieces go out as the buffer fills, in order.
        {"sent in pieces", true, kStack, -1, Repeat(row, 100), hundredRows},
        {"one piece past the stack, sent", true, 64 * kStack, -1,
         [&longName](PageWriter &out) { out.literal("a").text(longName.c_str()).literal("b"); },
         "a" + longName + "b"},
        // A piece is written again from what is held, never once sent.
        {"a held piece repeated", false, kStack, -1,
         [](PageWriter &out) {
             const PageWriter::Piece piece = out.literal("a").html("<b>").since(1);
             out.literal("|");
             if (!out.repeat(piece))
                 out.literal("lost");
         },
         "a&lt;b&gt;|&lt;b&gt;"},
        {"a sent piece not repeated", true, kStack, -1,
         [&padding](PageWriter &out) {
             const PageWriter::Piece piece = out.html("<b>").since(0);
             out.flush();
             if (!out.repeat(piece))
                 out.text(padding.c_str());
         },
         "&lt;b&gt;" + padding},
        // Failures are sticky: nothing after them is kept.
        {"past the cap", false, 2 * kStack, -1, Repeat(row, 40), ""},
        {"escaped past the cap", false, 2 * kStack, -1,
         [&longName](PageWriter &out) { out.html(longName.c_str()).literal("after"); }, ""},
        {"format past the cap", true, kStack, -1,
         [&longName](PageWriter &out) { out.format("%s", longName.c_str()).literal("after"); }, ""},
        {"host refuses a piece", true, kStack, 1, Repeat(row, 100), ""},
    };
    for (const WriteCase &c : cases) {
        SCOPED_TRACE(c.what);
        g_sent.clear();
        g_pieces = 0;
        g_refuseFrom = c.refuseFrom;
        std::string kept;
        bool whole = false;
        {
            PageWriter out(c.toHost ? &g_sent : nullptr, c.cap);
            c.write(out);
            whole = out.finish();
            kept = out.c_str();
            EXPECT_EQ(out.failed(), !whole);
            EXPECT_EQ(out.length(), kept.size());
        }
        EXPECT_EQ(whole, !c.expected.empty());
        if (!whole)
            continue;
        EXPECT_EQ(c.toHost ? g_sent : kept, c.expected);
        if (c.toHost) { // a piece fills the buffer before it goes
            EXPECT_LE(g_pieces, static_cast<int>(c.expected.size() / (kStack / 2) + 1));
        }
    }
}

} // namespace
} // namespace hxm_test
