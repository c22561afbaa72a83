/*
 * The fixtures of the HTTP tests: a console with the echo plug-in, or with
 * the built plug-in, under a fresh root, stopped by SIGTERM at the end of
 * each test, which must then exit 0.
 */
#ifndef HXM_TESTS_E2E_CONSOLE_TEST_FIXTURE_H
#define HXM_TESTS_E2E_CONSOLE_TEST_FIXTURE_H

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/e2e/console_process.h"
#include "tests/e2e/http_client.h"

namespace hxm_test {

class ConsoleTest : public ::testing::Test {
  protected:
    // Starts the console: --root, --plugin echo, --access-log, then `extra`.
    void StartConsole(const std::vector<std::string> &extra = {});

    // The same with `plugin` in place of the echo plug-in.
    void StartConsoleWith(const std::string &plugin, const std::vector<std::string> &extra = {});

    // Stops the console with SIGTERM and expects exit status 0.
    void StopConsole();

    void TearDown() override;

    const std::string &base() const { return console_.base(); }
    const std::string &root() const { return root_.path(); }
    const TempRoot &rootDirectory() const { return root_; }
    std::string logDirectory() const { return root() + "/var/opt/zentra/log"; }
    const std::string &accessLogPath() const { return accessLogPath_; }

  private:
    TempRoot root_;
    TempRoot scratch_;
    std::string accessLogPath_;
    ConsoleProcess console_;
    bool running_ = false;
};

// The console with the built plug-in (the test program's HXM_PLUGIN_PATH;
// defined in plugin_console_fixture.cpp, for those programs only).
class PluginConsoleTest : public ConsoleTest {
  protected:
    // Makes the root's log folder, then starts the console with the plug-in.
    void StartConsole();

    // POSTs `body` to `target`.
    HttpResponse Post(const std::string &target, const std::string &body);
};

// `text` quoted for sh: single quotes, each ' written as '\''.
std::string Quote(const std::string &text);

// What the echo plug-in reports for a request, read back from its page.
struct Echo {
    int methodCode = -1;
    std::string path;
    std::string flags; // "0x..." as printed
    std::string body;
};
bool ParseEcho(const std::string &page, Echo *echo);

} // namespace hxm_test

#endif
