/*
 * Child-process handling for the HTTP tests, on posix_spawn so that a
 * multi-threaded test binary never runs code between fork and exec.
 */
#include "tests/e2e/console_process.h"

#include <errno.h>
#include <fcntl.h>
#include <ftw.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

extern char **environ;

namespace hxm_test {
namespace {

constexpr int kTimeoutMilliseconds = 20000;

std::vector<char *> ArgumentVector(const std::string &program,
                                   const std::vector<std::string> &arguments) {
    std::vector<char *> argv;
    argv.push_back(const_cast<char *>(program.c_str()));
    for (const std::string &argument : arguments)
        argv.push_back(const_cast<char *>(argument.c_str()));
    argv.push_back(nullptr);
    return argv;
}

// Waits for the child to end, killing it after the time-out.
int WaitForExit(pid_t pid) {
    auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(kTimeoutMilliseconds);
    for (;;) {
        int status = 0;
        pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid)
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        if (done < 0 && errno != EINTR)
            return -1;
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

// Spawns hxm-console with stdin, stdout and stderr taken from the given
// descriptors (-1: /dev/null for stdin).
pid_t Spawn(const std::vector<std::string> &arguments, int in, int out, int err) {
    const std::string program = HXM_CONSOLE_PATH;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (in >= 0)
        posix_spawn_file_actions_adddup2(&actions, in, STDIN_FILENO);
    else
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out, STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, err, STDERR_FILENO);
    std::vector<char *> argv = ArgumentVector(program, arguments);
    pid_t pid = -1;
    int failed = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return failed == 0 ? pid : -1;
}

} // namespace

ConsoleProcess::~ConsoleProcess() {
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
}

bool ConsoleProcess::Start(const std::vector<std::string> &arguments, std::string *error) {
    stderrPath_ = scratch_.path() + "/stderr";
    int err = open(stderrPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    int pipeEnds[2];
    if (err < 0 || pipe2(pipeEnds, O_CLOEXEC) != 0) {
        *error = "cannot set up the child's output";
        return false;
    }
    pid_ = Spawn(arguments, -1, pipeEnds[1], err);
    close(pipeEnds[1]);
    close(err);
    if (pid_ < 0) {
        close(pipeEnds[0]);
        *error = "cannot start " HXM_CONSOLE_PATH;
        return false;
    }
    std::string line;
    auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(kTimeoutMilliseconds);
    while (line.find('\n') == std::string::npos && std::chrono::steady_clock::now() < deadline) {
        pollfd ready{pipeEnds[0], POLLIN, 0};
        if (poll(&ready, 1, 100) <= 0)
            continue;
        char chunk[256];
        ssize_t got = read(pipeEnds[0], chunk, sizeof chunk);
        if (got <= 0)
            break; // the server exited
        line.append(chunk, static_cast<size_t>(got));
    }
    close(pipeEnds[0]);
    const std::string prefix = "listening on ";
    size_t newline = line.find('\n');
    if (line.compare(0, prefix.size(), prefix) != 0 || newline == std::string::npos) {
        ExitResult result = Stop(SIGKILL);
        *error = "no \"listening on\" line; got \"" + line + "\"; stderr: " + result.standardError;
        return false;
    }
    base_ = line.substr(prefix.size(), newline - prefix.size());
    if (!base_.empty() && base_.back() == '/')
        base_.pop_back();
    return true;
}

ExitResult ConsoleProcess::Stop(int signal) {
    ExitResult result;
    if (pid_ > 0) {
        kill(pid_, signal);
        result.status = WaitForExit(pid_);
        pid_ = -1;
    }
    result.standardError = ReadFile(stderrPath_);
    return result;
}

ExitResult RunConsole(const std::vector<std::string> &arguments, const std::string &input,
                      std::string *output) {
    TempRoot scratch;
    WriteFile(scratch.path() + "/stdin", input);
    int in = open((scratch.path() + "/stdin").c_str(), O_RDONLY | O_CLOEXEC);
    int out = open((scratch.path() + "/stdout").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    int err = open((scratch.path() + "/stderr").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    ExitResult result;
    pid_t pid = (in >= 0 && out >= 0 && err >= 0) ? Spawn(arguments, in, out, err) : -1;
    close(in);
    close(out);
    close(err);
    if (pid > 0)
        result.status = WaitForExit(pid);
    result.standardError = ReadFile(scratch.path() + "/stderr");
    if (output != nullptr)
        *output = ReadFile(scratch.path() + "/stdout");
    return result;
}

} // namespace hxm_test
