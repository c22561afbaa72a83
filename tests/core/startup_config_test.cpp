/*
 * The start-up configuration at load: for each configuration file, the
 * directives that reach the logger (as its own report lines in the log), the
 * level and size limit that result, and the start-up lines.
 *
 * The time-stamp directive is accepted without any effect or report, so its
 * cases show only that nothing else changes.
 */
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "logger/logger.h"
#include "tests/support/plugin_host.h"

namespace hxm_test {
namespace {

constexpr int kInitialLimit = 16777216;

std::string LevelReport(const char *name) {
    return std::string("ProcessLogLevel changed to \"") + name + "\"";
}

std::string LimitReport(int limit) {
    return "ProcessLogLevel set file size = " + std::to_string(limit);
}

struct StartupCase {
    const char *name;
    std::optional<std::string> config; // no file when empty
    std::vector<std::string> reports;  // the logger's report lines, in order
    int level;
    int maxFileSize;
};

const StartupCase kStartupCases[] = {
    {"no configuration file", std::nullopt, {}, 4, kInitialLimit},
    {"empty file: the defaults", "", {LevelReport("warning"), LimitReport(4194304)}, 2, 4194304},
    {"debug", "LOG_LEVEL DEBUG\n", {LevelReport("debug"), LimitReport(4194304)}, 4, 4194304},
    {"a directive's prefix as level",
     "LOG_LEVEL e\nLOG_LEVEL DEBUG\n",
     {LevelReport("error"), LimitReport(4194304)},
     1,
     4194304},
    {"4095 leaves the limit",
     "LOG_LEVEL INFO\nLOG_MAXIMUM_FILE_SIZE 4095\n",
     {LevelReport("info")},
     3,
     kInitialLimit},
    {"4096 sets the limit",
     "LOG_MAXIMUM_FILE_SIZE 4096\n",
     {LevelReport("warning"), LimitReport(4096)},
     2,
     4096},
    {"a size beyond an int is the largest int",
     "LOG_MAXIMUM_FILE_SIZE 99999999999\n",
     {LevelReport("warning"), LimitReport(2147483647)},
     2,
     2147483647},
    {"a size that is no number",
     "LOG_MAXIMUM_FILE_SIZE big\n",
     {LevelReport("warning")},
     2,
     kInitialLimit},
    {"stamps no",
     "LOG_TIMESTAMPS nO\n",
     {LevelReport("warning"), LimitReport(4194304)},
     2,
     4194304},
    {"stamps yes",
     "LOG_TIMESTAMPS yEs\n",
     {LevelReport("warning"), LimitReport(4194304)},
     2,
     4194304},
    {"stamps neither",
     "LOG_TIMESTAMPS maybe\n",
     {LevelReport("warning"), LimitReport(4194304)},
     2,
     4194304},
    {"an unknown 63-character level changes nothing",
     "LOG_LEVEL " + std::string(63, 'x') + "\n",
     {LimitReport(4194304)},
     4,
     4194304},
    {"a 64-character level sets warning",
     "LOG_LEVEL " + std::string(64, 'e') + "\n",
     {LimitReport(4194304)},
     2,
     4194304},
    {"values too long for their read pass nothing",
     "LOG_LEVEL error\nLOG_MAXIMUM_FILE_SIZE " + std::string(70, '9') + "\nLOG_TIMESTAMPS " +
         std::string(64, 'n') + "\n",
     {LevelReport("error")},
     1,
     kInitialLimit},
    {"keys with another case are other keys",
     "log_level debug\nLOG_LEVEL=debug\n",
     {LevelReport("warning"), LimitReport(4194304)},
     2,
     4194304},
};

void PrintTo(const StartupCase &c, std::ostream *out) {
    *out << c.name;
}

class StartupConfiguration : public testing::TestWithParam<StartupCase> {};

TEST_P(StartupConfiguration, PassesTheSettingsToTheLogger) {
    const StartupCase &c = GetParam();
    SCOPED_TRACE(c.name);
    TempRoot root;
    root.MakeLogDirectory();
    if (c.config)
        root.WriteConfig(*c.config);

    LoadedPlugin plugin(root);

    auto *logger = static_cast<Logger *>(plugin.Symbol("_my_local_instance"));
    ASSERT_NE(logger, nullptr);
    EXPECT_EQ(logger->level, c.level);
    EXPECT_EQ(logger->max_file_size, c.maxFileSize);
    std::vector<std::string> lines = root.LogLines();
    EXPECT_EQ(LogTexts(lines, "[L "), c.reports);
    std::vector<std::string> info = LogTexts(lines, "[i ");
    if (!c.config || c.level < 3) {
        EXPECT_TRUE(info.empty());
    } else {
        ASSERT_EQ(info.size(), 2u);
        EXPECT_EQ(info[0].rfind("... libhxm2afp plugin started ", 0), 0u) << info[0];
        EXPECT_EQ(info[1], "... log level = " + std::to_string(c.level));
    }
}

INSTANTIATE_TEST_SUITE_P(Files, StartupConfiguration, testing::ValuesIn(kStartupCases),
                         [](const testing::TestParamInfo<StartupCase> &info) {
                             return "case" + std::to_string(info.index);
                         });

TEST(StartupLines, FollowTheLevelAndPrecedeTheLimit) {
    TempRoot root;
    root.MakeLogDirectory();
    root.WriteConfig("# the plug-in's log\nLOG_LEVEL debug\nLOG_MAXIMUM_FILE_SIZE 8192\n"
                     "LOG_TIMESTAMPS no\n");
    LoadedPlugin plugin(root);

    // Whole lines as written, time stamps aside.
    std::vector<std::string> shapes;
    for (const std::string &line : root.LogLines()) {
        std::string prefix = line.substr(0, 3);
        std::vector<std::string> text = LogTexts({line}, prefix);
        shapes.push_back(line.empty() ? "" : prefix + (text.empty() ? "?" : text[0]));
    }
    ASSERT_GE(shapes.size(), 6u);
    EXPECT_EQ(shapes[0], "[L " + LevelReport("debug"));
    EXPECT_EQ(shapes[1].rfind("[i ... libhxm2afp plugin started ", 0), 0u) << shapes[1];
    // The start time ends in asctime's own newline: an empty line follows.
    EXPECT_EQ(shapes[2], "");
    EXPECT_EQ(shapes[3], "[i ... log level = 4");
    EXPECT_EQ(shapes[4], "[L " + LimitReport(8192));
    EXPECT_EQ(shapes[5], "[! Going to initialize afp plugin");
}

} // namespace

} // namespace hxm_test
