/*
 * The login guard over a real users file: what guessing may cost and what
 * it cannot push out, and a users file followed by its bytes.
 */
#include "platform/console/server/login_guard.h"

#include <crypt.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <thread>

#include "tests/support/files.h"

namespace hxm_test {
namespace {

using hxm_server::HashBudget;
using hxm_server::LoginGuard;
using Verdict = LoginGuard::Verdict;

// A cheap crypt(3) hash (MD5-crypt), so thousands of guesses stay quick.
std::string CheapHash(const std::string &password) {
    crypt_data data{};
    const char *hash = crypt_r(password.c_str(), "$1$saltsalt$", &data);
    return hash != nullptr ? hash : "";
}

class LoginGuardTest : public ::testing::Test {
  protected:
    std::unique_ptr<LoginGuard> Guard(const std::string &users, HashBudget budget = HashBudget()) {
        WriteFile(path_, users);
        chmod(path_.c_str(), 0600);
        hxm_server::UserTable table;
        std::string error;
        EXPECT_TRUE(table.Load(path_, &error)) << error;
        return std::unique_ptr<LoginGuard>(new LoginGuard(path_, std::move(table), budget));
    }

    static Verdict Try(LoginGuard &guard, const std::string &address, const std::string &name,
                       const std::string &password) {
        unsigned flags = 0;
        unsigned retry = 0;
        return guard.Check(address, name, password, &flags, &retry);
    }

    TempRoot root_;
    std::string path_ = root_.path() + "/users";
};

// The /24 of an IPv4 address is its own key: fresh addresses by counting.
std::string Fresh(unsigned n) {
    return "10." + std::to_string(n >> 16 & 0xff) + "." + std::to_string(n >> 8 & 0xff) + "." +
           std::to_string(n & 0xff);
}

TEST_F(LoginGuardTest, AFloodOfMadeUpNamesCannotFlushARealAccountsFailures) {
    HashBudget unlimited{1e9, 1e9, 1e9, 1e9};
    auto guard = Guard("admin:" + CheapHash("right") + ":0xf\n", unlimited);
    for (unsigned i = 0; i < 20; ++i)
        ASSERT_EQ(Try(*guard, Fresh(i), "admin", "guess"), Verdict::kRefused) << i;
    ASSERT_EQ(Try(*guard, Fresh(100), "admin", "guess"), Verdict::kThrottled);
    for (unsigned i = 0; i < 10050; ++i)
        ASSERT_EQ(Try(*guard, Fresh(1000 + i), "made-up-" + std::to_string(i), "x"),
                  Verdict::kRefused);
    // Its count survived: the one try its one-second wait allows by now
    // (refused), and the next must wait again.
    Try(*guard, Fresh(20000), "admin", "guess");
    EXPECT_EQ(Try(*guard, Fresh(20001), "admin", "guess"), Verdict::kThrottled);
}

TEST_F(LoginGuardTest, GuessingSpendsABoundedHashBudgetAndKnownOnesComeFirst) {
    HashBudget tight{0.001, 4, 0.001, 3};
    auto guard =
        Guard("alice:" + CheapHash("right") + ":0xf\nbob:" + CheapHash("bobs") + ":9\n", tight);
    ASSERT_EQ(Try(*guard, "192.0.2.1", "alice", "right"), Verdict::kAdmitted); // stranger: 1
    const struct {
        const char *address;
        const char *name;
        const char *password;
        Verdict verdict;
    } steps[] = {
        {"198.51.100.1", "nobody", "x", Verdict::kRefused}, // stranger hashes 2 to 4
        {"198.51.100.1", "nobody", "x", Verdict::kRefused},
        {"198.51.100.1", "nobody", "x", Verdict::kRefused},
        {"198.51.100.1", "nobody", "x", Verdict::kRefused}, // past its allowance: no hash

        {"203.0.113.1", "bob", "guess", Verdict::kBusy},      // the strangers' budget is spent
        {"192.0.2.1", "bob", "bobs", Verdict::kAdmitted},     // alice's address is known
        {"203.0.113.1", "alice", "guess", Verdict::kRefused}, // so is her account
        {"192.0.2.1", "alice", "right", Verdict::kAdmitted},  // remembered: no hash at all
    };
    for (const auto &step : steps)
        EXPECT_EQ(Try(*guard, step.address, step.name, step.password), step.verdict)
            << step.address << " " << step.name;
}

TEST_F(LoginGuardTest, NoticesAUsersFileEditedInPlaceWithItsTimePutBack) {
    auto guard = Guard("alice:" + CheapHash("first") + ":0xf\n");
    ASSERT_EQ(Try(*guard, "192.0.2.1", "alice", "first"), Verdict::kAdmitted);
    struct stat before;
    ASSERT_EQ(stat(path_.c_str(), &before), 0);
    std::string edited = "alice:" + CheapHash("other") + ":0xf\n";
    ASSERT_EQ(edited.size(), static_cast<size_t>(before.st_size));
    WriteFile(path_, edited);
    const timespec times[2] = {before.st_atim, before.st_mtim};
    ASSERT_EQ(utimensat(AT_FDCWD, path_.c_str(), times, 0), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(1100));
    EXPECT_EQ(Try(*guard, "192.0.2.1", "alice", "first"), Verdict::kRefused);
    EXPECT_EQ(Try(*guard, "192.0.2.1", "alice", "other"), Verdict::kAdmitted);
}

} // namespace
} // namespace hxm_test
