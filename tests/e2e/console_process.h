/*
 * Runs the built hxm-console as a child process for the HTTP tests: a
 * temporary root to run it under, start-up until its "listening on" line,
 * and a stop by signal that reports how it exited.
 */
#ifndef HXM_TESTS_E2E_CONSOLE_PROCESS_H
#define HXM_TESTS_E2E_CONSOLE_PROCESS_H

#include <sys/types.h>

#include <string>
#include <vector>

#include "tests/support/files.h"

namespace hxm_test {

// How a child ended: its exit status, or -1 when a signal killed it or it
// did not end in time.
struct ExitResult {
    int status = -1;
    std::string standardError;
};

class ConsoleProcess {
  public:
    ConsoleProcess() = default;
    ConsoleProcess(const ConsoleProcess &) = delete;
    ConsoleProcess &operator=(const ConsoleProcess &) = delete;
    ~ConsoleProcess(); // kills a server still running

    // Starts hxm-console with `arguments` and waits (up to 20 s) for its
    // "listening on http://HOST:PORT/" line. False, with the reason and the
    // server's stderr in *error, when it exits or says nothing first.
    bool Start(const std::vector<std::string> &arguments, std::string *error);

    // "http://HOST:PORT" of the running server, without the final slash.
    const std::string &base() const { return base_; }

    // Sends `signal` and waits (up to 20 s) for the exit.
    ExitResult Stop(int signal);

  private:
    pid_t pid_ = -1;
    std::string base_;
    std::string stderrPath_;
    TempRoot scratch_;
};

// Runs hxm-console with `arguments` and `input` on stdin to its exit
// (up to 20 s); stdout goes to *output when given.
ExitResult RunConsole(const std::vector<std::string> &arguments, const std::string &input = "",
                      std::string *output = nullptr);

} // namespace hxm_test

#endif
