/*
 * HTTP Basic authentication with a users file: every route needs valid
 * credentials, and each user's own flag word reaches the plug-in.
 */
#include <crypt.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

#include "tests/e2e/console_test_fixture.h"

namespace hxm_test {
namespace {

// A crypt(3) hash of `password` by the method of `prefix` ("$y$", "$6$").
std::string MakeHash(const char *prefix, const std::string &password) {
    char setting[CRYPT_GENSALT_OUTPUT_SIZE];
    if (crypt_gensalt_rn(prefix, 0, nullptr, 0, setting, sizeof setting) == nullptr)
        return std::string();
    crypt_data data{};
    const char *hash = crypt_r(password.c_str(), setting, &data);
    return hash != nullptr && hash[0] != '*' ? hash : std::string();
}

class AuthTest : public ConsoleTest {
  protected:
    void SetUp() override {
        std::string yescrypt = MakeHash("$y$", "alice's secret");
        std::string sha512 = MakeHash("$6$", "bob:colon pass");
        ASSERT_FALSE(yescrypt.empty());
        ASSERT_FALSE(sha512.empty());
        usersFile_ = root() + "/users";
        WriteFile(usersFile_, "# console users\n"
                              "\n"
                              "alice:" +
                                  yescrypt +
                                  ":0x1f\n"
                                  "  bob:" +
                                  sha512 + ":9  \n");
        chmod(usersFile_.c_str(), 0600);
        // A budget the throttle tests cannot spend: they test the counts.
        StartConsole({"--users", usersFile_, "--login-hashes", "10000"});
    }

    HttpResponse As(const std::string &user, const std::string &password,
                    const std::string &target = "/echo/page", const std::string &from = "") {
        HttpRequest request;
        request.target = target;
        request.user = user;
        request.password = password;
        request.from = from;
        return Fetch(base(), request);
    }

    std::string usersFile_;
};

TEST_F(AuthTest, RefusesMissingCredentialsOnEveryRoute) {
    for (const char *target : {"/", "/echo/page", "/opt/zentra/hxm/sorted.png", "/nothing",
                               "/var/opt/zentra/log/afpsvc.log?VIEW"}) {
        HttpResponse response = Fetch(base(), target);
        EXPECT_EQ(response.status, 401) << target;
        EXPECT_EQ(response.Header("www-authenticate"), "Basic realm=\"hxm-console\"") << target;
    }
}

struct CredentialCase {
    const char *user;
    const char *password;
    long status;
    const char *flags; // echoed flag word when admitted
};

TEST_F(AuthTest, AdmitsOnlyRightCredentialsWithThatUsersFlags) {
    const CredentialCase cases[] = {
        {"alice", "alice's secret", 200, "0x1f"},  {"bob", "bob:colon pass", 200, "0x9"},
        {"alice", "wrong", 401, nullptr},          {"alice", "", 401, nullptr},
        {"alice", "alice's secre", 401, nullptr},  {"bob", "alice's secret", 401, nullptr},
        {"carol", "alice's secret", 401, nullptr}, {"Alice", "alice's secret", 401, nullptr},
    };
    for (const CredentialCase &c : cases) {
        HttpResponse response = As(c.user, c.password);
        EXPECT_EQ(response.status, c.status) << c.user << " / " << c.password;
        Echo echo;
        if (c.flags == nullptr) {
            EXPECT_FALSE(ParseEcho(response.body, &echo)) << "the plug-in ran for " << c.user;
            continue;
        }
        ASSERT_TRUE(ParseEcho(response.body, &echo)) << response.body;
        EXPECT_EQ(echo.flags, c.flags) << c.user;
    }
}

TEST_F(AuthTest, WithholdsClearingPowerFromFlagWordsThatSayViewer) {
    // The plug-in's own default would let every user clear; the users file
    // gives the withholding bit its meaning.
    HttpResponse response = As("alice", "alice's secret", "/echo/allowclear");
    EXPECT_EQ(response.body, "allowclear=0\n");
}

TEST_F(AuthTest, ReadsTheSchemeInAnyCaseAndRefusesCredentialsWithANul) {
    const struct {
        const char *authorization;
        long status;
    } cases[] = {
        {"Basic YWxpY2U6YWxpY2UncyBzZWNyZXQ=", 200},
        {"basic YWxpY2U6YWxpY2UncyBzZWNyZXQ=", 200},
        {"BASIC   YWxpY2U6YWxpY2UncyBzZWNyZXQ=", 200},
        // "alice:alice's secret" then a NUL and junk; a NUL inside the name.
        {"Basic YWxpY2U6YWxpY2UncyBzZWNyZXQAanVuaw==", 401},
        {"Basic YWxpY2UAOmFsaWNlJ3Mgc2VjcmV0", 401},
        {"Basic YWxpY2U6YWxpY2UncyBzZWNyZXQ", 401}, // unpadded: malformed
        {"Basic !!!!", 401},
        {"Bearer YWxpY2U6YWxpY2UncyBzZWNyZXQ=", 401},
        {"BasicYWxpY2U6YWxpY2UncyBzZWNyZXQ=", 401},
    };
    for (const auto &c : cases) {
        HttpRequest request;
        request.target = "/echo/page";
        request.headers = {std::string("Authorization: ") + c.authorization};
        EXPECT_EQ(Fetch(base(), request).status, c.status) << c.authorization;
    }
}

TEST_F(AuthTest, MakesAnAddressThatKeepsFailingWaitAndLogsEachFailure) {
    for (int i = 0; i < 10; ++i) {
        HttpRequest request;
        request.target = "/echo/page";
        request.headers = {"Authorization: Basic ZXYKaWw6Z3Vlc3M="}; // "ev\nil:guess"
        ASSERT_EQ(Fetch(base(), request).status, 401) << i;
    }
    // Even the right password waits now, and costs no hash.
    HttpResponse waiting = As("alice", "alice's secret");
    EXPECT_EQ(waiting.status, 429);
    EXPECT_FALSE(waiting.Header("retry-after").empty());
    Echo echo;
    EXPECT_FALSE(ParseEcho(waiting.body, &echo));
    StopConsole();
    std::string log = ReadFile(accessLogPath());
    EXPECT_NE(log.find("127.0.0.1 - GET \"/echo/page\" 401 "), std::string::npos) << log;
    EXPECT_NE(log.find(" login-failed user ev\\x0ail\n"), std::string::npos) << log;
    EXPECT_NE(log.find(" 429 "), std::string::npos) << log;
}

// Each step: `guesses` wrong passwords for `user` from `from`, then one try
// with the right password of `tryAs`, which must get `status`.
struct ThrottleStep {
    const char *from;
    const char *user;
    int guesses;
    const char *tryAs;
    long status;
};

TEST_F(AuthTest, ThrottlesPerAddressAndAccountBeforeComparingAnything) {
    const ThrottleStep steps[] = {
        {"127.0.0.1", "alice", 0, "alice", 200},  // her own address; her login remembered
        {"127.0.0.2", "alice", 10, "alice", 429}, // remembered or not, nothing compared
        {"127.0.0.3", "bob", 9, "alice", 200},    // her success there keeps bob's failures:
        {"127.0.0.3", "bob", 1, "bob", 429},      // ten of his, the address waits
        {"127.0.0.4", "carol", 9, "carol", 401},  // no carol: her "right" one fails too
        {"127.0.0.5", "carol", 9, "carol", 401},  // twenty at one account...
        {"127.0.0.6", "carol", 0, "carol", 429},  // ...which then waits, from anywhere new
        {"127.0.0.6", "alice", 0, "alice", 200},  // while others get in from there
        {"127.0.0.7", "alice", 9, "bob", 200},    // her nineteenth failure...
        {"127.0.0.8", "alice", 1, "alice", 429},  // ...and twentieth: her account waits...
        {"127.0.0.1", "alice", 0, "alice", 200},  // ...but not from where she logged in
    };
    for (const ThrottleStep &step : steps) {
        for (int i = 0; i < step.guesses; ++i)
            ASSERT_EQ(As(step.user, "guess", "/echo/page", step.from).status, 401)
                << step.from << " guess " << i;
        bool isBob = std::string(step.tryAs) == "bob";
        EXPECT_EQ(
            As(step.tryAs, isBob ? "bob:colon pass" : "alice's secret", "/echo/page", step.from)
                .status,
            step.status)
            << step.from << " " << step.tryAs;
    }
}

TEST_F(AuthTest, ForgetsRememberedLoginsWhenTheUsersFileChanges) {
    ASSERT_EQ(As("alice", "alice's secret").status, 200);
    ASSERT_EQ(As("alice", "alice's secret").status, 200); // remembered
    std::string users = ReadFile(usersFile_);
    WriteFile(usersFile_, users.substr(users.find("  bob:")));
    std::this_thread::sleep_for(std::chrono::milliseconds(1100));
    EXPECT_EQ(As("alice", "alice's secret").status, 401);
    EXPECT_EQ(As("bob", "bob:colon pass").status, 200);
}

TEST_F(AuthTest, RefusesAPostBeforeReadingItsBody) {
    HttpRequest request;
    request.method = "POST";
    request.target = "/echo/form";
    request.body = std::string(size_t{64} * 1024, 'x');
    HttpResponse response = Fetch(base(), request);
    EXPECT_EQ(response.status, 401);
    Echo echo;
    EXPECT_FALSE(ParseEcho(response.body, &echo));
    // With a login (hashed away from the connection's thread) it arrives whole.
    request.user = "alice";
    request.password = "alice's secret";
    response = Fetch(base(), request);
    EXPECT_EQ(response.status, 200);
    EXPECT_TRUE(ParseEcho(response.body, &echo) && echo.body == request.body);
    // Whatever length it declares: the answer comes at once, and the
    // connection ends without waiting for a byte of the body.
    auto begin = std::chrono::steady_clock::now();
    std::string answer;
    EXPECT_EQ(SendRaw(base(),
                      "POST /echo/form HTTP/1.1\r\nHost: localhost\r\n"
                      "Content-Length: 16777216\r\n\r\nx",
                      &answer)
                  .substr(9, 3),
              "401")
        << answer;
    EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::seconds(2));
}

TEST_F(AuthTest, LogsTheUserOfEachRequest) {
    ASSERT_EQ(As("alice", "alice's secret", "/echo/audited").status, 200);
    ASSERT_EQ(As("alice", "wrong", "/echo/refused").status, 401);
    StopConsole();
    std::string log = ReadFile(accessLogPath());
    EXPECT_NE(log.find(" alice GET \"/echo/audited\" 200 "), std::string::npos) << log;
    EXPECT_NE(log.find(" - GET \"/echo/refused\" 401 "), std::string::npos) << log;
}

using UsersFileTest = ConsoleTest;

// The users file as the package makes it (no user), then changed while the
// console runs: each change counts within a second, and a file that names
// nobody or cannot be used lets nobody in.
TEST_F(UsersFileTest, FollowsTheUsersFileAndLetsNobodyInWithoutOne) {
    const std::string users = root() + "/users";
    const std::string line = "alice:" + MakeHash("$y$", "pw") + ":0xf\n";
    WriteFile(users, "# no user yet\n");
    chmod(users.c_str(), 0600);
    StartConsole({"--users", users});
    const struct {
        void (*change)(const std::string &users, const std::string &line);
        long status;
        bool saysHowToAdd;
    } steps[] = {
        {[](const std::string &, const std::string &) {}, 401, true},
        {[](const std::string &f, const std::string &l) { WriteFile(f, ReadFile(f) + l); }, 200,
         false},
        {[](const std::string &f, const std::string &) { chmod(f.c_str(), 0644); }, 401, true},
        {[](const std::string &f, const std::string &) { chmod(f.c_str(), 0600); }, 200, false},
        {[](const std::string &f, const std::string &) { unlink(f.c_str()); }, 401, true},
    };
    for (const auto &step : steps) {
        step.change(users, line);
        std::this_thread::sleep_for(std::chrono::milliseconds(1100));
        HttpRequest request;
        request.user = "alice";
        request.password = "pw";
        HttpResponse response = Fetch(base(), request);
        EXPECT_EQ(response.status, step.status) << &step - steps;
        EXPECT_EQ(response.body.find("--hash-password") != std::string::npos, step.saysHowToAdd)
            << response.body;
    }
}

} // namespace
} // namespace hxm_test
