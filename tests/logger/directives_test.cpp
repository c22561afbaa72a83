/*
 * The directive language: keyword tests in table order, results, effects and
 * the report lines (and that they go out before the effect).
 */
#include <gtest/gtest.h>
#include <limits.h>

#include <string>

#include "tests/support/logger_fixture.h"

namespace hxm_test {
namespace {

constexpr int kStartLevel = 9;
constexpr int kStartMode = 42;
constexpr int kStartLimit = 16777216;

struct Directive {
    const char *text;
    int result;
    int level;          // level afterwards
    int limit;          // max_file_size afterwards
    int mode;           // mode afterwards
    const char *report; // the report line, or null
};

constexpr Directive level_row(const char *text, int level, const char *name) {
    return {text, 0, level, kStartLimit, kStartMode, name};
}
constexpr Directive quiet_row(const char *text, int result) {
    return {text, result, kStartLevel, kStartLimit, kStartMode, nullptr};
}
constexpr Directive limit_row(const char *text, int limit, const char *report) {
    return {text, 0, kStartLevel, limit, kStartMode, report};
}

const char *const kNothing = "ProcessLogLevel changed to \"nothing\"";
const char *const kError = "ProcessLogLevel changed to \"error\"";
const char *const kWarning = "ProcessLogLevel changed to \"warning\"";
const char *const kInfo = "ProcessLogLevel changed to \"info\"";
const char *const kDebug = "ProcessLogLevel changed to \"debug\"";
const char *const kDump = "ProcessLogLevel changed to \"dump\"";
const char *const kEverything = "ProcessLogLevel changed to \"everything\"";
const char *const kLimit8192 = "ProcessLogLevel set file size = 8192";

const Directive kDirectives[] = {
    // Prefix tests: the keyword or a shorter beginning of it, any case.
    level_row("NOTHING", 0, kNothing),
    level_row("n", 0, kNothing),
    level_row("L", 0, kNothing), // a prefix of LEVELNOTHING
    level_row("level", 0, kNothing),
    level_row("LevelNothing", 0, kNothing),
    level_row("E", 1, kError), // ERROR is tested before EVERYTHING
    level_row("error", 1, kError),
    level_row("LEVELE", 1, kError), // LEVELERROR before LEVELEVERYTHING
    level_row("W", 2, kWarning),
    level_row("warn", 2, kWarning),
    level_row("Warning", 2, kWarning),
    level_row("levelw", 2, kWarning),
    level_row("i", 3, kInfo),
    level_row("INFO", 3, kInfo),
    level_row("D", 4, kDebug),
    level_row("DE", 4, kDebug),
    level_row("debug", 4, kDebug),
    level_row("  \t\n\v\f\rdebug", 4, kDebug), // leading blanks are skipped
    level_row("LEVELDEBUG", 4, kDebug),
    level_row("DU", 5, kDump),
    level_row("dump", 5, kDump),
    level_row("A", 6, kEverything),
    level_row("all", 6, kEverything),
    level_row("LEVELALL", 6, kEverything),
    level_row("EV", 6, kEverything),
    level_row("Everything", 6, kEverything),
    level_row("levelev", 6, kEverything),
    quiet_row("WARNINGS", 22), // longer than the keyword
    quiet_row("debug ", 22),   // trailing blanks belong to the directive
    quiet_row("debug,info", 22),
    quiet_row("R", 22),
    quiet_row("X", 22),
    quiet_row("MODE", 22),
    quiet_row("MODE=", 22), // the mode tests need more than 5 characters
    quiet_row("MODE=TRUNCATED", 22),
    quiet_row("", 1),
    quiet_row(" \t\r\n", 1),
    // Start tests: anything may follow the keyword.
    quiet_row("TIMESTAMP=NO", 0),
    quiet_row("timestamp=yes", 0),
    quiet_row("LOG_TIMESTAMPS whatever", 0),
    limit_row("LIMIT=8192", 8192, kLimit8192),
    limit_row("LIMIT 8192", 8192, kLimit8192),
    limit_row("limits=8192", 8192, kLimit8192),
    limit_row("LOG_MAXIMUM_FILE_SIZE=8192", 8192, kLimit8192),
    limit_row("log_maximum_file_size 8192", 8192, kLimit8192),
    limit_row("LIMIT=  8192kb", 8192, kLimit8192),
    limit_row("LIMIT=4095", 4095, "ProcessLogLevel set file size = 4095"),
    limit_row("LIMIT=4094", kStartLimit, nullptr),
    limit_row("LIMIT=-70000", kStartLimit, nullptr),
    limit_row("LIMIT=", kStartLimit, nullptr),
    limit_row("LIMIT", kStartLimit, nullptr),
    limit_row("LIMITabc", kStartLimit, nullptr),
    // Beyond the int range the limit is the largest int, on every ABI.
    limit_row("LIMIT=99999999999", INT_MAX, "ProcessLogLevel set file size = 2147483647"),
    // Mode directives.
    {"DEF", 0, kStartLevel, kStartLimit, 0, "ProcessLogLevel switch to default mode"},
    {"default", 0, kStartLevel, kStartLimit, 0, "ProcessLogLevel switch to default mode"},
    {"MODE=T", 0, kStartLevel, kStartLimit, kStartMode,
     "ProcessLogLevel process mode change to truncate mode"},
    {"mode=truncate", 0, kStartLevel, kStartLimit, kStartMode,
     "ProcessLogLevel process mode change to truncate mode"},
    {"Mode=B", 0, kStartLevel, kStartLimit, kStartMode,
     "ProcessLogLevel process mode change to backup mode"},
};

class Directives : public LoggerTest, public testing::WithParamInterface<Directive> {
  protected:
    void Prepare() {
        logger_->setLevel(kStartLevel);
        logger_->mode = kStartMode;
    }
    void CheckState(const Directive &row) {
        EXPECT_EQ(logger_->level, row.level);
        EXPECT_EQ(logger_->max_file_size, row.limit);
        EXPECT_EQ(logger_->mode, row.mode);
        EXPECT_EQ(logger_->use_syslog, 0);
    }
};

TEST_P(Directives, ProcessLogLevelAppliesAndReports) {
    const Directive &row = GetParam();
    Prepare();
    EXPECT_EQ(api().processLogLevel(row.text), row.result);
    CheckState(row);
    std::string expected = row.report != nullptr ? std::string("[L T] ") + row.report + "\n" : "";
    EXPECT_EQ(Content(), expected);
}

TEST_P(Directives, ProcessLogLevelWOLoggingAppliesSilently) {
    const Directive &row = GetParam();
    Prepare();
    EXPECT_EQ(api().processLogLevelWOLogging(row.text), row.result);
    CheckState(row);
    EXPECT_EQ(Content(), "");
}

INSTANTIATE_TEST_SUITE_P(Table, Directives, testing::ValuesIn(kDirectives));

TEST_F(LoggerTest, TheDirectiveIsNotModified) {
    char text[] = "  Limit=9000";
    EXPECT_EQ(api().processLogLevel(text), 0);
    EXPECT_STREQ(text, "  Limit=9000");
    EXPECT_EQ(api().processLogLevel(nullptr), 1);
}

TEST_F(LoggerTest, TheReportGoesOutBeforeTheLevelChanges) {
    // Reported whatever the old level, even when the new level is nothing.
    logger_->setLevel(HXM_LOG_NOTHING);
    EXPECT_EQ(api().processLogLevel("debug"), 0);
    logger_->debug("now visible");
    EXPECT_EQ(api().processLogLevel("nothing"), 0);
    logger_->error("hidden");
    EXPECT_EQ(Content(), "[L T] ProcessLogLevel changed to \"debug\"\n"
                         "[D T] now visible\n"
                         "[L T] ProcessLogLevel changed to \"nothing\"\n");
}

TEST_F(LoggerTest, SyslogSwitchIsReportedInTheFileAndTheWayBackToSyslog) {
    logger_->error("before");
    EXPECT_EQ(api().processLogLevel("S"), 0);
    EXPECT_EQ(logger_->use_syslog, 1);
    EXPECT_EQ(logger_->mode, 3);
    auto events = TakeSyslogEvents();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].kind, SyslogEvent::Open);

    EXPECT_EQ(api().processLogLevel("syslog"), 0); // reported to syslog now
    EXPECT_EQ(api().processLogLevel("DEFAULT"), 0);
    EXPECT_EQ(logger_->use_syslog, 0);
    events = TakeSyslogEvents();
    ASSERT_EQ(events.size(), 4u);
    EXPECT_EQ(events[0].text, "ProcessLogLevel switch to syslog mode");
    EXPECT_EQ(events[1].kind, SyslogEvent::Open);
    EXPECT_EQ(events[2].text, "ProcessLogLevel switch to default mode");
    EXPECT_EQ(events[2].priority, 7);
    EXPECT_EQ(events[3].kind, SyslogEvent::Close);

    logger_->error("after");
    EXPECT_EQ(Content(), "[! T] before\n"
                         "[L T] ProcessLogLevel switch to syslog mode\n"
                         "[! T] after\n");
}

TEST_F(LoggerTest, ResetDirectivesTruncateSilently) {
    for (const char *directive : {"RESET", "reset", "ResetNow", "  RESET please"}) {
        logger_->error("line");
        EXPECT_EQ(api().processLogLevel(directive), 0) << directive;
        EXPECT_EQ(ReadFile(path_), "") << directive;
    }
    EXPECT_EQ(logger_->reset_count, 4);
}

TEST_F(LoggerTest, ResetDirectiveInSyslogModeDoesNothing) {
    logger_->error("kept");
    ASSERT_EQ(api().processLogLevelWOLogging("SYSLOG"), 0);
    EXPECT_EQ(api().processLogLevel("RESET"), 0);
    ASSERT_EQ(api().processLogLevelWOLogging("DEFAULT"), 0);
    EXPECT_EQ(Content(), "[! T] kept\n");
    EXPECT_EQ(logger_->reset_count, 0);
}

TEST_F(LoggerTest, TimestampDirectivesKeepTheTimeStamps) {
    EXPECT_EQ(api().processLogLevel("TIMESTAMP=NO"), 0);
    logger_->error("stamped");
    EXPECT_EQ(Content(), "[! T] stamped\n");
    EXPECT_NE(ReadFile(path_), "[! T] stamped\n");
}

} // namespace
} // namespace hxm_test
