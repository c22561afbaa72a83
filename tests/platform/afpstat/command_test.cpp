/*
 * The afpstat command: usage errors, store errors, what each command
 * writes, JSON output, the demo's determinism and the simulator.
 */
#include "tests/platform/afpstat/test_support.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <map>
#include <set>
#include <spawn.h>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <tuple>

extern char **environ;

namespace hxm_test {

using nlohmann::json;

namespace {

class CommandTest : public StoreTest {
  protected:
    /* Runs the command and expects success; returns its output. */
    std::string run_ok(const std::vector<std::string> &args) {
        CommandResult result = run_afpstat(args);
        EXPECT_EQ(result.exitCode, 0) << result.err;
        return result.out;
    }
    json list_json() { return json::parse(run_ok({"list", "--json"})); }
};

struct UsageCase {
    const char *name;
    std::vector<std::string> args;
};

void PrintTo(const UsageCase &test, std::ostream *out) {
    *out << test.name;
}

class UsageTest : public CommandTest, public ::testing::WithParamInterface<UsageCase> {};

TEST_P(UsageTest, ExitsTwoWithUsage) {
    run_ok({"init"});
    CommandResult result = run_afpstat(GetParam().args);
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_NE(result.err.find("usage: afpstat"), std::string::npos) << result.err;
    EXPECT_EQ(result.out, "");
}

INSTANTIATE_TEST_SUITE_P(
    BadArguments, UsageTest,
    ::testing::Values(
        UsageCase{"NoCommand", {}}, UsageCase{"UnknownCommand", {"frobnicate"}},
        UsageCase{"UnknownGlobalOption", {"--verbose", "list"}},
        UsageCase{"DbWithoutFile", {"--db"}}, UsageCase{"InitWithArgument", {"init", "x"}},
        UsageCase{"ConnectMissingAddress", {"connect", "anna"}},
        UsageCase{"ConnectAddressTooLong", {"connect", "anna", "10.100.100.100:548"}},
        UsageCase{"ConnectUserTooLong", {"connect", std::string(514, 'u'), "10.0.0.1"}},
        UsageCase{"ConnectStatusTooLong",
                  {"connect", "anna", "10.0.0.1", "--status", std::string(33, 's')}},
        UsageCase{"ConnectNumberNotANumber", {"connect", "anna", "10.0.0.1", "--number", "x1"}},
        UsageCase{"ConnectNumberTooLarge",
                  {"connect", "anna", "10.0.0.1", "--number", "4294967296"}},
        UsageCase{"ConnectNegativeRequests", {"connect", "anna", "10.0.0.1", "--requests", "-1"}},
        UsageCase{"ConnectOptionWithoutValue", {"connect", "anna", "10.0.0.1", "--equiv"}},
        UsageCase{"ConnectUnknownOption", {"connect", "anna", "10.0.0.1", "--colour", "red"}},
        UsageCase{"OpenMissingPath", {"open", "1", "VOL1"}},
        UsageCase{"OpenConnectionNotANumber", {"open", "one", "VOL1", "/VOL1/a"}},
        UsageCase{"OpenEmptyPath", {"open", "1", "VOL1", ""}},
        UsageCase{"VolumeTwoNames", {"volume", "A", "B"}},
        UsageCase{"VolumeNameTooLong", {"volume", std::string(320, 'V')}},
        UsageCase{"ListUnknownOption", {"list", "--xml"}},
        UsageCase{"ListJsonWithValue", {"list", "--json=yes"}},
        UsageCase{"DemoFilesWithoutConnections", {"demo", "--connections", "0"}},
        UsageCase{"DemoBadSeed", {"demo", "--seed", "abc"}},
        UsageCase{"SimulateBadSeconds", {"simulate", "--seconds", "soon"}}),
    [](const ::testing::TestParamInfo<UsageCase> &info) { return info.param.name; });

struct RefusalCase {
    const char *name;
    std::vector<std::string> args;
    const char *message;
};

void PrintTo(const RefusalCase &test, std::ostream *out) {
    *out << test.name;
}

class RefusalTest : public CommandTest, public ::testing::WithParamInterface<RefusalCase> {};

/* Store state the command cannot act on: exit 1, a message, nothing written. */
TEST_P(RefusalTest, ExitsOneAndChangesNothing) {
    run_ok({"init"});
    run_ok({"volume", "VOL1"});
    run_ok({"connect", "anna", "10.0.0.1", "--number", "5"});
    json before = list_json();
    CommandResult result = run_afpstat(GetParam().args);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.err.find(GetParam().message), std::string::npos) << result.err;
    EXPECT_EQ(list_json(), before);
}

INSTANTIATE_TEST_SUITE_P(
    StoreState, RefusalTest,
    ::testing::Values(
        RefusalCase{"NumberInUse", {"connect", "bob", "10.0.0.2", "--number", "5"}, "in use"},
        RefusalCase{"UnknownConnection", {"open", "6", "VOL1", "/VOL1/a"}, "no connection 6"},
        RefusalCase{"UnknownVolume", {"open", "5", "VOL2", "/VOL2/a"}, "no volume VOL2"}),
    [](const ::testing::TestParamInfo<RefusalCase> &info) { return info.param.name; });

TEST_F(CommandTest, MissingStoreIsAStoreErrorForEveryCommandButInitAndDemo) {
    for (std::vector<std::string> args : {std::vector<std::string>{"list"},
                                          {"volume", "VOL1"},
                                          {"connect", "a", "10.0.0.1"},
                                          {"open", "1", "VOL1", "/VOL1/a"},
                                          {"simulate", "--seconds", "1"}}) {
        CommandResult result = run_afpstat(args);
        EXPECT_EQ(result.exitCode, 1) << args[0];
        EXPECT_NE(result.err.find("afpstat init"), std::string::npos) << result.err;
    }
    std::ifstream store(store_path());
    EXPECT_FALSE(store.good()) << "a command made the store";
}

TEST_F(CommandTest, GarbageStoreIsAStoreError) {
    std::ofstream(store_path()) << std::string(4096, 'G');
    CommandResult list = run_afpstat({"list"});
    EXPECT_EQ(list.exitCode, 1);
    CommandResult init = run_afpstat({"init"});
    EXPECT_EQ(init.exitCode, 1);
}

TEST_F(CommandTest, DbOptionOverridesTheEnvironment) {
    std::string other = folder() + "/sub/dir/other.db";
    EXPECT_EQ(run_ok({"--db", other, "init"}), other + "\n");
    run_ok({"--db=" + other, "volume", "ONLY-THERE"});
    EXPECT_EQ(json::parse(run_ok({"--db", other, "list", "--json"}))["volumes"],
              json::array({"ONLY-THERE"}));
    std::ifstream store(store_path());
    EXPECT_FALSE(store.good());
}

TEST_F(CommandTest, WritesWhatListShowsAndTheLibraryReads) {
    run_ok({"init"});
    run_ok({"init"}); // idempotent
    run_ok({"volume", "VOL1"});
    run_ok({"volume", "VOL1"});
    EXPECT_EQ(
        run_ok({"connect", "anna.keller", "192.168.100.200", "--login-time", "1700000000",
                "--requests", "12", "--read", "18446744073709551615", "--written=7", "--status",
                "Expired", "--privileges", "Supervisor", "--equiv", "Staff", "--equiv", "Sales"}),
        "1\n");
    EXPECT_EQ(run_ok({"connect", "bob", "10.0.0.2", "--number", "40"}), "40\n");
    EXPECT_EQ(run_ok({"connect", "carla", "10.0.0.3"}), "41\n");
    run_ok({"open", "40", "VOL1", "/VOL1/Projects/2026/report.doc"});
    run_ok({"open", "1", "VOL1", "/VOL1/b c.txt"});

    json listed = list_json();
    ASSERT_EQ(listed["connections"].size(), 3u);
    const json &anna = listed["connections"][0];
    EXPECT_EQ(anna["number"], 1);
    EXPECT_EQ(anna["user"], "anna.keller");
    EXPECT_EQ(anna["address"], "192.168.100.200");
    EXPECT_EQ(anna["login_time"], 1700000000);
    EXPECT_EQ(anna["requests"], 12);
    EXPECT_EQ(anna["bytes_read"].get<uint64_t>(), 18446744073709551615ULL);
    EXPECT_EQ(anna["bytes_written"], 7);
    EXPECT_EQ(anna["login_status"], "Expired");
    EXPECT_EQ(anna["privileges"], "Supervisor");
    EXPECT_EQ(anna["security_equivalences"], json::array({"Staff", "Sales"}));
    EXPECT_EQ(anna["open_files"], json::parse(R"([{"volume":"VOL1","path":"/VOL1/b c.txt"}])"));
    EXPECT_EQ(listed["connections"][1]["open_files"][0]["path"], "/VOL1/Projects/2026/report.doc");
    EXPECT_EQ(listed["volumes"], json::array({"VOL1"}));

    ConnList list;
    ASSERT_EQ(Ext_ListConnDetails(&list.count, &list.head), AFPSTAT_OK);
    EXPECT_EQ(by_value(list.head->bytesRead), 18446744073709551615ULL);
    EXPECT_EQ(std::string(list.head->networkAddress, 15), "192.168.100.200");

    std::string table = run_ok({"list"});
    EXPECT_NE(table.find("anna.keller"), std::string::npos);
    EXPECT_NE(table.find("/VOL1/Projects/2026/report.doc"), std::string::npos);
    EXPECT_NE(table.find("Staff, Sales"), std::string::npos);
}

TEST_F(CommandTest, JsonStaysValidForNamesThatAreNotUtf8) {
    run_ok({"init"});
    run_ok({"connect", "bad\xff\xfe name \"quoted\"", "10.0.0.1"});
    json listed = list_json();
    EXPECT_EQ(listed["connections"][0]["user"].get<std::string>().find("bad"), 0u);
}

constexpr const char *kNow = "1790000000";

TEST_F(CommandTest, DemoIsDeterministicForASeed) {
    std::string first = folder() + "/first.db";
    std::string second = folder() + "/second.db";
    std::string third = folder() + "/third.db";
    run_ok({"--db", first, "demo", "--seed", "7", "--now", kNow});
    run_ok({"--db", second, "demo", "--seed", "7", "--now", kNow});
    run_ok({"--db", third, "demo", "--seed", "8", "--now", kNow});
    std::string first_json = run_ok({"--db", first, "list", "--json"});
    EXPECT_EQ(first_json, run_ok({"--db", second, "list", "--json"}));
    EXPECT_NE(first_json, run_ok({"--db", third, "list", "--json"}));
}

TEST_F(CommandTest, DemoReplacesThePopulationWithAPlausibleOne) {
    run_ok({"init"});
    run_ok({"volume", "OLD"});
    run_ok({"connect", "old.user", "10.9.9.9", "--number", "100000"});
    run_ok({"demo", "--connections", "30", "--files", "400", "--volumes", "10", "--seed", "3",
            "--now", kNow});
    json listed = list_json();
    ASSERT_EQ(listed["connections"].size(), 30u);
    ASSERT_EQ(listed["volumes"].size(), 10u);
    std::set<std::string> volumes(listed["volumes"].begin(), listed["volumes"].end());
    EXPECT_EQ(volumes.count("OLD"), 0u);

    size_t files = 0;
    size_t without_equivalences = 0;
    std::set<std::string> extensions;
    for (const json &connection : listed["connections"]) {
        std::string user = connection["user"];
        EXPECT_NE(user, "old.user");
        EXPECT_NE(user.find('.'), std::string::npos) << user;
        in_addr address;
        EXPECT_EQ(inet_pton(AF_INET, connection["address"].get<std::string>().c_str(), &address), 1)
            << connection["address"];
        uint64_t login = connection["login_time"];
        EXPECT_LE(login, 1790000000u);
        EXPECT_GT(login, 1790000000u - 3 * 86400u);
        EXPECT_TRUE(connection["login_status"] == "Logged-In" ||
                    connection["login_status"] == "Expired");
        EXPECT_TRUE(connection["privileges"] == "Supervisor" ||
                    connection["privileges"] == "Non-Supervisor");
        without_equivalences += connection["security_equivalences"].empty() ? 1 : 0;
        for (const json &file : connection["open_files"]) {
            std::string volume = file["volume"];
            std::string path = file["path"];
            EXPECT_EQ(path.rfind("/" + volume + "/", 0), 0u) << path;
            EXPECT_EQ(volumes.count(volume), 1u);
            extensions.insert(path.substr(path.rfind('.') + 1));
            ++files;
        }
    }
    EXPECT_EQ(files, 400u);
    EXPECT_GT(extensions.size(), 5u);
    EXPECT_GT(without_equivalences, 0u);
    EXPECT_LT(without_equivalences, 30u);
}

TEST_F(CommandTest, DemoWithAHundredThousandFilesIsOneQuickWrite) {
    auto start = std::chrono::steady_clock::now();
    run_ok({"demo", "--connections", "500", "--files", "100000", "--seed", "1"});
    auto elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    printf("[ demo    ] 100000 open files written in %.2f s\n", elapsed);
    VolumeList volumes;
    ASSERT_EQ(Ext_ListVolumeDetails(&volumes.count, &volumes.head), AFPSTAT_OK);
    int64_t files = 0;
    for (VolsDetailsNode *volume = volumes.head; volume != nullptr; volume = volume->next) {
        VolFileList list;
        ASSERT_EQ(Ext_ListVolFileDetails(volume->volumeName, &list.head, &list.count), AFPSTAT_OK);
        for (VolFileListNode *node = list.head; node != nullptr; node = node->next) {
            files += node->fileCount;
        }
    }
    EXPECT_EQ(files, 100000);
}

std::vector<std::string> log_lines(const std::string &path) {
    std::ifstream stream(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(stream, line);) {
        lines.push_back(line);
    }
    return lines;
}

TEST_F(CommandTest, SimulatorChangesTheStoreAndWritesTheServiceLog) {
    unsetenv("AFPSTAT_DB");
    setenv("ZENTRA_ROOT", folder().c_str(), 1);
    run_ok({"demo", "--connections", "5", "--files", "20", "--seed", "2"});
    json before = list_json();
    run_ok({"simulate", "--seconds", "2", "--seed", "5"});
    std::vector<std::string> lines = log_lines(folder() + "/var/opt/zentra/log/afpsvc.log");
    ASSERT_GE(lines.size(), 4u); // start, events, stop
    for (const std::string &line : lines) {
        // "YYYY-MM-DD HH:MM:SS afpsvcd[pid]: LEVEL: text"
        EXPECT_EQ(line.size() > 20 && line[4] == '-' && line[10] == ' ' && line[13] == ':', true)
            << line;
        EXPECT_NE(line.find(" afpsvcd["), std::string::npos) << line;
    }
    EXPECT_NE(lines.back().find("stopped"), std::string::npos);
    EXPECT_NE(list_json(), before);
}

/* The files a list holds, as (connection, volume, path). */
std::multiset<std::tuple<uint32_t, std::string, std::string>> open_files_of(const json &list) {
    std::multiset<std::tuple<uint32_t, std::string, std::string>> files;
    for (const json &connection : list["connections"]) {
        for (const json &file : connection["open_files"]) {
            files.emplace(connection["number"].get<uint32_t>(), file["volume"], file["path"]);
        }
    }
    return files;
}

TEST_F(CommandTest, SimulatorKeepsTheOfficeForAnHour) {
    unsetenv("AFPSTAT_DB");
    setenv("ZENTRA_ROOT", folder().c_str(), 1);
    run_ok({"demo", "--connections", "40", "--files", "400", "--volumes", "4", "--seed", "1"});
    const auto before = open_files_of(list_json());
    std::istringstream report(run_ok(
        {"simulate", "--seconds", "3600", "--speed", "1000000", "--report", "10", "--seed", "3"}));
    // The band the README states: a fifth either way of the population.
    unsigned long long second = 0, connections = 0, files = 0;
    int lines = 0;
    std::string line;
    while (std::getline(report, line)) {
        ASSERT_EQ(
            sscanf(line.c_str(), "%llu connections=%llu files=%llu", &second, &connections, &files),
            3)
            << line;
        EXPECT_TRUE(connections >= 32 && connections <= 48) << line;
        EXPECT_TRUE(files >= 320 && files <= 480) << line;
        ++lines;
    }
    EXPECT_EQ(second, 3600u);
    EXPECT_GE(lines, 360);
    // A few files stay open all hour, and a few are held by two people.
    const auto after = open_files_of(list_json());
    size_t kept = 0;
    std::map<std::pair<std::string, std::string>, int> holders;
    for (const auto &[number, volume, path] : after) {
        kept += before.count({number, volume, path}) != 0 ? 1 : 0;
        ++holders[{volume, path}];
    }
    EXPECT_GT(kept, 0u);
    EXPECT_LT(kept, 40u);
    EXPECT_TRUE(std::any_of(holders.begin(), holders.end(),
                            [](const auto &entry) { return entry.second > 1; }));
}

TEST_F(CommandTest, SimulatorStopsCleanlyOnSigterm) {
    setenv("ZENTRA_ROOT", folder().c_str(), 1);
    run_ok({"init"});
    std::string command = afpstat_command();
    std::vector<char *> argv{command.data(), const_cast<char *>("simulate"), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t child = 0;
    ASSERT_EQ(posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    ASSERT_EQ(kill(child, SIGTERM), 0);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    std::vector<std::string> lines = log_lines(folder() + "/var/opt/zentra/log/afpsvc.log");
    ASSERT_FALSE(lines.empty());
    EXPECT_NE(lines.back().find("stopped"), std::string::npos) << lines.back();
    EXPECT_EQ(run_afpstat({"list", "--json"}).exitCode, 0);
}

} // namespace

} // namespace hxm_test
