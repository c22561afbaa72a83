/*
 * The HTTP tests' fixture and the reader of the echo plug-in's page.
 */
#include "tests/e2e/console_test_fixture.h"

#include <signal.h>

namespace hxm_test {

void ConsoleTest::StartConsole(const std::vector<std::string> &extra) {
    StartConsoleWith(ECHO_PLUGIN_PATH, extra);
}

void ConsoleTest::StartConsoleWith(const std::string &plugin,
                                   const std::vector<std::string> &extra) {
    accessLogPath_ = scratch_.path() + "/access.log";
    std::vector<std::string> arguments = {"--listen",     "127.0.0.1:0", "--root",
                                          root(),         "--plugin",    plugin,
                                          "--access-log", accessLogPath_};
    arguments.insert(arguments.end(), extra.begin(), extra.end());
    std::string error;
    ASSERT_TRUE(console_.Start(arguments, &error)) << error;
    running_ = true;
}

void ConsoleTest::StopConsole() {
    if (!running_)
        return;
    running_ = false;
    ExitResult result = console_.Stop(SIGTERM);
    EXPECT_EQ(result.status, 0) << result.standardError;
}

void ConsoleTest::TearDown() {
    StopConsole();
}

// The echo plug-in writes "method=M\npath=P\nflags=0xF\ncomponents=N\nbody=B\n",
// the body last since it may hold newlines.
bool ParseEcho(const std::string &page, Echo *echo) {
    const std::string fields[] = {"method=", "\npath=", "\nflags=", "\ncomponents=", "\nbody="};
    size_t positions[5];
    size_t from = 0;
    for (size_t i = 0; i < 5; ++i) {
        positions[i] = page.find(fields[i], from);
        if (positions[i] == std::string::npos || (i == 0 && positions[i] != 0))
            return false;
        from = positions[i] + fields[i].size();
    }
    auto field = [&](size_t i) {
        size_t begin = positions[i] + fields[i].size();
        return page.substr(begin, positions[i + 1] - begin);
    };
    if (page.empty() || page.back() != '\n')
        return false;
    echo->methodCode = std::stoi(field(0));
    echo->path = field(1);
    echo->flags = field(2);
    size_t bodyBegin = positions[4] + fields[4].size();
    echo->body = page.substr(bodyBegin, page.size() - 1 - bodyBegin);
    return true;
}

} // namespace hxm_test
