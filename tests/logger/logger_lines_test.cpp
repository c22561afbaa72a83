/*
 * What each writer slot puts in the log file, at each level: the exact line
 * and block forms, the level thresholds, the hex dump's rows and offsets.
 */
#include <gtest/gtest.h>
#include <limits.h>
#include <stdarg.h>
#include <time.h>

#include <functional>
#include <regex>
#include <string>

#include "tests/support/logger_fixture.h"

namespace hxm_test {
namespace {

void write_always(const PluginApi &api, const char *format, ...) {
    va_list arguments;
    va_start(arguments, format);
    api.writeAlways(format, arguments);
    va_end(arguments);
}

// Unconditional writers ignore the level, whatever its value.
constexpr int kAlways = INT_MIN;

struct Writer {
    const char *name;
    int threshold; // written while the level is at least this
    std::function<void(const PluginApi &, Logger *)> write;
    const char *expected;
};

const unsigned char kThreeBytes[] = {0x01, 0xab, 0xff};

const Writer kWriters[] = {
    {"debug", 4, [](const PluginApi &, Logger *l) { l->debug("debug %d", 4); }, "[D T] debug 4\n"},
    {"debugTagged", 4, [](const PluginApi &, Logger *l) { l->debugTagged("tg", "dt %s", "x"); },
     "[D T] tg: dt x\n"},
    {"info", 3, [](const PluginApi &, Logger *l) { l->info("info %s", "y"); }, "[i T] info y\n"},
    {"infoTagged", 3, [](const PluginApi &, Logger *l) { l->infoTagged("ti", "it"); },
     "[i T] ti: it\n"},
    {"warning", 2, [](const PluginApi &, Logger *l) { l->warning("warn"); }, "[W T] warn\n"},
    {"warningTagged", 2, [](const PluginApi &, Logger *l) { l->warningTagged("tw", "wt"); },
     "[W T] tw: wt\n"},
    {"error", 1, [](const PluginApi &, Logger *l) { l->error("err %u", 7u); }, "[! T] err 7\n"},
    {"errorTagged", 1, [](const PluginApi &, Logger *l) { l->errorTagged("te", "et"); },
     "[! T] te: et\n"},
    {"dump", 5, [](const PluginApi &, Logger *l) { l->dump("dump %d\nsecond", 1); },
     "[* T] <dump>\ndump 1\nsecond\n</dump>\n"},
    {"ldump", 5, [](const PluginApi &, Logger *l) { l->ldump("abcdefgh", 3); },
     "[* T] <ldump len=\"3\">\nabc\n</ldump>\n"},
    {"bdump", 5, [](const PluginApi &, Logger *l) { l->bdump(kThreeBytes, 3); },
     "[* T] \n<bdump len=\"3\">\n[00000000]  01 ab ff \n</bdump>\n"},
    {"writeAlways slot", kAlways,
     [](const PluginApi &, Logger *l) { l->writeAlways("always %d", 0); }, "[- T] always 0\n"},
    {"Logger_writeAlways", kAlways,
     [](const PluginApi &a, Logger *) { write_always(a, "list %s", "z"); }, "[- T] list z\n"},
    {"SyslogAndFile", kAlways, [](const PluginApi &, Logger *l) { l->SyslogAndFile("both %d", 2); },
     "[- T] both 2\n"},
    {"Logger_errormessage", kAlways,
     [](const PluginApi &a, Logger *) { a.errormessage("100% sure"); }, "[L T] 100% sure\n"},
};

class WritersAtLevel : public LoggerTest, public testing::WithParamInterface<int> {};

TEST_P(WritersAtLevel, WriteExactlyTheLinesTheLevelAllows) {
    int level = GetParam();
    logger_->setLevel(level);
    std::string expected;
    for (const Writer &writer : kWriters) {
        writer.write(api(), logger_);
        if (level >= writer.threshold)
            expected += writer.expected;
    }
    EXPECT_EQ(Content(), expected) << "level " << level;
}

// Below 0 and above 6 work by the same comparisons.
INSTANTIATE_TEST_SUITE_P(Levels, WritersAtLevel, testing::Values(-1, 0, 1, 2, 3, 4, 5, 6, 9));

TEST_F(LoggerTest, LinesCarryTheCurrentLocalTime) {
    setenv("TZ", "UTC0", 1);
    tzset();
    time_t before = time(nullptr);
    logger_->error("now");
    time_t after = time(nullptr);
    std::string line = ReadFile(path_);
    std::smatch match;
    ASSERT_TRUE(std::regex_match(
        line, match, std::regex(R"(\[! (\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2})\] now\n)")))
        << line;
    struct tm parsed = {};
    ASSERT_NE(strptime(match[1].str().c_str(), "%F %T", &parsed), nullptr);
    time_t stamp = timegm(&parsed);
    EXPECT_GE(stamp, before);
    EXPECT_LE(stamp, after);
}

std::string hex_row(int from, int count) {
    std::string row;
    for (int i = from; i < from + count; ++i) {
        char pair[4];
        snprintf(pair, sizeof pair, "%02x ", i);
        row += pair;
    }
    return row;
}

struct BdumpCase {
    int length;
    std::string rows; // expected text between the header line and the closing tag
};

class BdumpRows : public LoggerTest, public testing::WithParamInterface<BdumpCase> {};

TEST_P(BdumpRows, RowsHoldSixteenBytesAfterTheirDecimalOffset) {
    unsigned char bytes[40];
    for (int i = 0; i < 40; ++i)
        bytes[i] = static_cast<unsigned char>(i);
    logger_->setLevel(HXM_LOG_DUMP);
    logger_->bdump(bytes, GetParam().length);
    std::string expected = "[* T] \n<bdump len=\"" + std::to_string(GetParam().length) + "\">\n" +
                           GetParam().rows + "\n</bdump>\n";
    EXPECT_EQ(Content(), expected);
}

const std::string kRow0 = "[00000000]  " + hex_row(0, 16);
const std::string kRow16 = "\n[00000016]  " + hex_row(16, 16);
const std::string kOne = "[00000000]  " + hex_row(0, 1);
const std::string kFifteen = "[00000000]  " + hex_row(0, 15);
const std::string kSixteen = kRow0 + "\n[00000016]  ";
const std::string kSeventeen = kRow0 + "\n[00000016]  " + hex_row(16, 1);
const std::string kThirtyTwo = kRow0 + kRow16 + "\n[00000032]  ";
const std::string kThirtyThree = kRow0 + kRow16 + "\n[00000032]  " + hex_row(32, 1);

INSTANTIATE_TEST_SUITE_P(Lengths, BdumpRows,
                         testing::Values(BdumpCase{1, kOne}, BdumpCase{15, kFifteen},
                                         BdumpCase{16, kSixteen}, BdumpCase{17, kSeventeen},
                                         BdumpCase{32, kThirtyTwo}, BdumpCase{33, kThirtyThree},
                                         // A negative length writes the frame only.
                                         BdumpCase{-3, "[00000000]  "}));

TEST_F(LoggerTest, BdumpOfNothingWritesNothingAtAll) {
    logger_->setLevel(HXM_LOG_EVERYTHING);
    const unsigned char byte = 7;
    logger_->bdump(nullptr, 5);
    logger_->bdump(&byte, 0);
    EXPECT_EQ(Content(), "");
}

TEST_F(LoggerTest, LdumpWritesExactlyLengthBytesOfUnterminatedText) {
    logger_->setLevel(HXM_LOG_DUMP);
    const char text[5] = {'h', 'e', '\n', '%', 's'}; // no terminator
    logger_->ldump(text, 5);
    logger_->ldump(text, 0);
    EXPECT_EQ(Content(), "[* T] <ldump len=\"5\">\nhe\n%s\n</ldump>\n"
                         "[* T] <ldump len=\"0\">\n\n</ldump>\n");
}

TEST_F(LoggerTest, LdumpRefusesNegativeLengthsAndNullText) {
    logger_->setLevel(HXM_LOG_DUMP);
    logger_->ldump("abc", -1);
    logger_->ldump(nullptr, 3);
    EXPECT_EQ(Content(), "");
}

TEST_F(LoggerTest, SyslogAndFileCutsLongTextTo2047Characters) {
    std::string long_text(3000, 'x');
    logger_->SyslogAndFile("%s", long_text.c_str());
    std::string kept(2047, 'x');
    EXPECT_EQ(Content(), "[- T] " + kept + "\n");
    auto events = TakeSyslogEvents();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].kind, SyslogEvent::Message);
    EXPECT_EQ(events[0].priority, 6); // LOG_INFO, in file mode too
    EXPECT_EQ(events[0].text, "[Info]" + kept);
}

TEST_F(LoggerTest, SyslogAndFileWritesItsTextAsItStands) {
    logger_->SyslogAndFile("%s", "50%d done");
    EXPECT_EQ(Content(), "[- T] 50%d done\n");
    auto events = TakeSyslogEvents();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].text, "[Info]50%d done");
}

TEST_F(LoggerTest, WritersWithoutAStreamDropTheirLines) {
    logger_->closestream();
    logger_->setLevel(HXM_LOG_EVERYTHING);
    logger_->error("gone");
    logger_->writeAlways("gone");
    api().errormessage("gone");
    logger_->SyslogAndFile("still %s", "sent");
    EXPECT_EQ(Content(), "");
    auto events = TakeSyslogEvents();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].text, "[Info]still sent");
}

TEST_F(LoggerTest, StreamSizeFollowsTheFile) {
    logger_->error("12345");
    std::string content = ReadFile(path_);
    EXPECT_EQ(api().getStreamSize(), static_cast<int64_t>(content.size()));
    EXPECT_EQ(logger_->getStreamSize(), static_cast<int64_t>(content.size()));
    EXPECT_EQ(api().flushstream(), 0);
    logger_->closestream();
    EXPECT_EQ(api().getStreamSize(), 0);
    EXPECT_EQ(api().flushstream(), 0);
}

} // namespace
} // namespace hxm_test
