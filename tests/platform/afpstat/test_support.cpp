/*
 * Temporary stores and running the afpstat command for the tests.
 */
#include "tests/platform/afpstat/test_support.h"

#include <sqlite3.h>

#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace hxm_test {
void StoreTest::SetUp() {
    folder_ = std::make_unique<TempRoot>("afpstat-test");
    store_path_ = folder_->path() + "/afpstat.db";
    setenv("AFPSTAT_DB", store_path_.c_str(), 1);
    unsetenv("ZENTRA_ROOT");
}

void StoreTest::TearDown() {
    unsetenv("AFPSTAT_DB");
    folder_.reset();
}

void StoreTest::exec_sql(const std::string &sql) const {
    sqlite3 *db = nullptr;
    ASSERT_EQ(sqlite3_open_v2(store_path_.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
    char *error = nullptr;
    int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error);
    std::string message = error != nullptr ? error : "";
    sqlite3_free(error);
    sqlite3_close(db);
    ASSERT_EQ(rc, SQLITE_OK) << message << " in " << sql;
}

std::vector<std::string> texts_of(char **items, int count) {
    std::vector<std::string> texts;
    for (int i = 0; i < count; ++i) {
        texts.emplace_back(items[i]);
    }
    return texts;
}

const char *afpstat_command() {
    return AFPSTAT_COMMAND;
}

CommandResult run_afpstat(const std::vector<std::string> &args,
                          const std::vector<std::string> &extra_environment) {
    CommandResult result;
    char out_name[] = "/tmp/afpstat-out-XXXXXX";
    char err_name[] = "/tmp/afpstat-err-XXXXXX";
    int out_fd = mkstemp(out_name);
    int err_fd = mkstemp(err_name);
    if (out_fd < 0 || err_fd < 0) {
        ADD_FAILURE() << "mkstemp: " << strerror(errno);
        return result;
    }
    std::vector<std::string> arg_texts{afpstat_command()};
    arg_texts.insert(arg_texts.end(), args.begin(), args.end());
    std::vector<char *> argv;
    for (std::string &text : arg_texts) {
        argv.push_back(text.data());
    }
    argv.push_back(nullptr);
    std::vector<std::string> environment_texts;
    for (char **entry = environ; *entry != nullptr; ++entry) {
        environment_texts.emplace_back(*entry);
    }
    environment_texts.insert(environment_texts.end(), extra_environment.begin(),
                             extra_environment.end());
    std::vector<char *> envp;
    for (std::string &text : environment_texts) {
        envp.push_back(text.data());
    }
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out_fd, STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, err_fd, STDERR_FILENO);
    pid_t child = 0;
    int spawned = posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(out_fd);
    close(err_fd);
    if (spawned == 0) {
        int status = 0;
        if (waitpid(child, &status, 0) == child && WIFEXITED(status)) {
            result.exitCode = WEXITSTATUS(status);
        }
    } else {
        ADD_FAILURE() << "posix_spawn " << argv[0] << ": " << strerror(spawned);
    }
    result.out = ReadFile(out_name);
    result.err = ReadFile(err_name);
    unlink(out_name);
    unlink(err_name);
    return result;
}

afpstat::ConnectionRecord numbered_connection(uint32_t number) {
    afpstat::ConnectionRecord record;
    record.number = number;
    record.user = "user-" + std::to_string(number);
    record.address =
        "10.0." + std::to_string(number / 256 % 256) + "." + std::to_string(number % 256);
    record.loginTime = 1700000000ULL + number;
    record.requests = number * 3;
    record.bytesRead = (uint64_t(number) << 32) + 1;
    record.bytesWritten = uint64_t(number) * 1000;
    record.loginStatus = number % 2 == 0 ? "Logged-In" : "Expired";
    record.privileges = number % 3 == 0 ? "Supervisor" : "Non-Supervisor";
    return record;
}

std::string field_text(const char *field, size_t size) {
    return std::string(field, strnlen(field, size));
}

} // namespace hxm_test
