/*
 * The console with the built plug-in and the SQLite monitoring store, filled
 * and read back with the afpstat command (header only: the programs that
 * include it know the command's path as HXM_AFPSTAT_PATH).
 */
#ifndef HXM_TESTS_E2E_AFPSTAT_CONSOLE_FIXTURE_H
#define HXM_TESTS_E2E_AFPSTAT_CONSOLE_FIXTURE_H

#include <gtest/gtest.h>
#include <stdio.h>

#include <string>
#include <vector>

#include "tests/e2e/console_test_fixture.h"

namespace hxm_test {

class AfpstatConsoleTest : public PluginConsoleTest {
  protected:
    std::string Database() const { return root() + "/var/opt/zentra/afpstat/afpstat.db"; }

    /* Runs the afpstat command with `arguments` on the test's store, which
     * must succeed; its standard output. */
    std::string Afpstat(const std::vector<std::string> &arguments) {
        std::string command =
            "ZENTRA_ROOT=" + Quote(root()) + " " + HXM_AFPSTAT_PATH + " --db " + Quote(Database());
        for (const std::string &argument : arguments)
            command += " " + Quote(argument);
        FILE *pipe = popen(command.c_str(), "r");
        EXPECT_NE(pipe, nullptr) << command;
        std::string output;
        char chunk[4096];
        for (size_t n; pipe != nullptr && (n = fread(chunk, 1, sizeof chunk, pipe)) > 0;)
            output.append(chunk, n);
        EXPECT_EQ(pipe != nullptr ? pclose(pipe) : -1, 0) << command;
        return output;
    }
};

} // namespace hxm_test

#endif
