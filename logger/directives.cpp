/*
 * The log directive language: one directive per call sets the level,
 * switches between file and syslog output, stores the size limit, resets the
 * file or names a file mode. The keyword table below drives the parsing; the
 * first row that matches decides.
 *
 * Notes:
 * - A size limit beyond the int range is stored as INT_MAX, so 32-bit and
 *   64-bit builds agree and the stored limit never turns negative.
 * - A null directive counts as an empty one (result 1).
 */
#include <limits.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>

#include "logger/logger.h"
#include "logger/logger_internal.h"

namespace {

enum class Test {
    Prefix, // the directive is the keyword or a shorter beginning of it
    Start,  // the directive begins with the keyword
};

enum class Action { Level, Mode, Limit, Accept };

struct Rule {
    Test test;
    const char *keywords[4];
    Action action;
    int value;          // level or mode code
    const char *report; // report line of ProcessLogLevel, or null
    size_t minLength;   // the rule applies only to longer directives
};

constexpr Rule kRules[] = {
    {Test::Prefix,
     {"NOTHING", "LEVELNOTHING"},
     Action::Level,
     HXM_LOG_NOTHING,
     "ProcessLogLevel changed to \"nothing\"",
     0},
    {Test::Prefix,
     {"ERROR", "LEVELERROR"},
     Action::Level,
     HXM_LOG_ERROR,
     "ProcessLogLevel changed to \"error\"",
     0},
    {Test::Prefix,
     {"WARNING", "LEVELWARNING"},
     Action::Level,
     HXM_LOG_WARNING,
     "ProcessLogLevel changed to \"warning\"",
     0},
    {Test::Prefix,
     {"INFO", "LEVELINFO"},
     Action::Level,
     HXM_LOG_INFO,
     "ProcessLogLevel changed to \"info\"",
     0},
    {Test::Prefix,
     {"DEBUG", "LEVELDEBUG"},
     Action::Level,
     HXM_LOG_DEBUG,
     "ProcessLogLevel changed to \"debug\"",
     0},
    {Test::Prefix,
     {"DUMP", "LEVELDUMP"},
     Action::Level,
     HXM_LOG_DUMP,
     "ProcessLogLevel changed to \"dump\"",
     0},
    {Test::Prefix,
     {"ALL", "LEVELALL", "EVERYTHING", "LEVELEVERYTHING"},
     Action::Level,
     HXM_LOG_EVERYTHING,
     "ProcessLogLevel changed to \"everything\"",
     0},
    {Test::Prefix,
     {"DEFAULT"},
     Action::Mode,
     HXM_LOG_MODE_DEFAULT,
     "ProcessLogLevel switch to default mode",
     0},
    {Test::Prefix,
     {"SYSLOG"},
     Action::Mode,
     HXM_LOG_MODE_SYSLOG,
     "ProcessLogLevel switch to syslog mode",
     0},
    {Test::Start, {"LIMIT", "LOG_MAXIMUM_FILE_SIZE"}, Action::Limit, 0, nullptr, 0},
    {Test::Start, {"TIMESTAMP", "LOG_TIMESTAMPS"}, Action::Accept, 0, nullptr, 0},
    {Test::Start, {"RESET"}, Action::Mode, HXM_LOG_MODE_RESET, nullptr, 0},
    {Test::Prefix,
     {"MODE=TRUNCATE"},
     Action::Mode,
     HXM_LOG_MODE_TRUNCATE,
     "ProcessLogLevel process mode change to truncate mode",
     5},
    {Test::Prefix,
     {"MODE=BACKUP"},
     Action::Mode,
     HXM_LOG_MODE_BACKUP,
     "ProcessLogLevel process mode change to backup mode",
     5},
};

constexpr int kRecognised = 0;
constexpr int kEmpty = 1;
constexpr int kUnknown = 22;
constexpr long kSmallestLimit = 4095;
constexpr size_t kReportSize = 256;

bool is_blank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool matches(const Rule &rule, const char *directive, size_t length) {
    if (length <= rule.minLength)
        return false;
    for (const char *keyword : rule.keywords) {
        if (keyword == nullptr)
            break;
        size_t keywordLength = strlen(keyword);
        if (rule.test == Test::Prefix) {
            if (length <= keywordLength && strncasecmp(directive, keyword, length) == 0)
                return true;
        } else if (strncasecmp(directive, keyword, keywordLength) == 0) {
            return true;
        }
    }
    return false;
}

// The size directive: the value follows the first "=", else the keyword
// ("LOG_MAXIMUM_FILE_SIZE" has "_" as its fourth character, "LIMIT" not).
void apply_limit(const char *directive, bool reportIt) {
    const char *equals = strchr(directive, '=');
    const char *value = equals != nullptr     ? equals + 1
                        : directive[3] == '_' ? directive + strlen("LOG_MAXIMUM_FILE_SIZE")
                                              : directive + strlen("LIMIT");
    while (is_blank(*value))
        ++value;
    if (*value == '\0')
        return;
    long limit = strtol(value, nullptr, 10);
    if (limit < kSmallestLimit)
        return;
    if (limit > INT_MAX)
        limit = INT_MAX;
    Logger_getInstance()->max_file_size = static_cast<int>(limit);
    if (reportIt) {
        char line[kReportSize];
        snprintf(line, sizeof line, "ProcessLogLevel set file size = %d", static_cast<int>(limit));
        Logger_errormessage(line);
    }
}

int process(const char *directive, bool reportIt) {
    if (directive == nullptr)
        return kEmpty;
    while (is_blank(*directive))
        ++directive;
    size_t length = strlen(directive);
    if (length == 0)
        return kEmpty;
    for (const Rule &rule : kRules) {
        if (!matches(rule, directive, length))
            continue;
        // The report goes out before the effect, so a switch to syslog is
        // still recorded in the file.
        if (reportIt && rule.report != nullptr)
            Logger_errormessage(rule.report);
        switch (rule.action) {
        case Action::Level:
            Logger_setLevel(rule.value);
            break;
        case Action::Mode:
            Logger_setMode(rule.value);
            break;
        case Action::Limit:
            apply_limit(directive, reportIt);
            break;
        case Action::Accept:
            break;
        }
        return kRecognised;
    }
    return kUnknown;
}

} // namespace

int ProcessLogLevel(const char *directive) {
    return process(directive, true);
}

int ProcessLogLevelWOLogging(const char *directive) {
    return process(directive, false);
}

const char *ConvertLogLevelToString() {
    static constexpr const char *kNames[] = {"NOTHING", "ERROR", "WARN",      "INFO",
                                             "DEBUG",   "DUMP",  "EVERYTHING"};
    int level = hxm2afp::logger_level();
    if (level < 0 || level >= static_cast<int>(sizeof kNames / sizeof kNames[0]))
        return "unknown";
    return kNames[level];
}
