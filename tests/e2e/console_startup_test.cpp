/*
 * hxm-console's command line, start-up refusals, password hashing and
 * shutdown by signal.
 */
#include <crypt.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

#include "tests/e2e/console_process.h"
#include "tests/e2e/console_test_fixture.h"

namespace hxm_test {
namespace {

struct RefusalCase {
    std::vector<std::string> arguments;
    int status;
    std::string message; // part of what stderr must say
};

TEST(ConsoleStartup, RefusesBadCommandLines) {
    TempRoot scratch;
    const std::string users = scratch.path() + "/users";
    const std::string badUsers = scratch.path() + "/bad-users";
    WriteFile(users, "admin:$6$abcdefgh$" + std::string(86, 'A') + ":0x9\n");
    WriteFile(badUsers, "# ok\n\nadmin no colons here\n");
    chmod(badUsers.c_str(), 0600);
    const std::string kCsi = "\xc2\x9b"; // U+009B, a C1 control that starts a sequence
    const RefusalCase cases[] = {
        {{"--bogus"}, 2, "unknown argument"},
        {{"--listen"}, 2, "needs a value"},
        {{"--listen", "127.0.0.1"}, 2, "--listen"},
        {{"--listen", "127.0.0.1:65536"}, 2, "port"},
        {{"--listen", "127.0.0.1:-1"}, 2, "port"},
        {{"--listen", "localhost:80"}, 2, "IPv4"},
        {{"--listen", "[::1:80"}, 2, "--listen"},
        {{"--access", "junk"}, 2, "--access"},
        {{"--access", "0x1fz"}, 2, "--access"},
        {{"--access", "-1"}, 2, "--access"},
        {{"--access", "0x100000000"}, 2, "--access"},
        {{"--threads", "0"}, 2, "--threads"},
        {{"--threads", "4x"}, 2, "--threads"},
        {{"--help=yes"}, 2, "takes no value"},
        {{"--tls-cert", users}, 2, "go together"},
        {{"--tls-key", users}, 2, "go together"},
        {{"--tls-cert", users, "--tls-key", users, "--insecure-http"}, 2, "contradict"},
        {{"--tls-cert", users, "--tls-key", users}, 1, "cannot be used together"},
        {{"--tls-cert", scratch.path() + "/absent", "--tls-key", users}, 1, "absent"},
        {{"--listen", "0.0.0.0:0"}, 2, "--users"},
        {{"--listen", "[::]:0"}, 2, "--users"},
        {{"--listen", "192.0.2.1:0"}, 2, "--users"},
        {{"--users", badUsers}, 2, "bad-users:3:"},
        {{"--users", users}, 2, "chmod 600 " + users}, // open to others
        {{"--users", scratch.path() + "/absent"}, 2, "absent"},
        {{"--root", scratch.path() + "/absent"}, 2, "not a directory"},
        {{"--plugin", scratch.path() + "/absent.so"}, 1, "cannot load plug-in"},
        {{"--plugin", users}, 1, "cannot load plug-in"},
        // A name that would drive the terminal is shown, not obeyed.
        {{"--plugin", scratch.path() + "/\x1b]0;pwned\a\xe2\x80\xae\xff.so"},
         1,
         "/\\x1B]0;pwned\\x07\\u202E\\xFF.so"},
        {{"--threads", kCsi + "31m"}, 2, "\\u009B31m"},
    };
    for (const RefusalCase &c : cases) {
        ExitResult result = RunConsole(c.arguments);
        std::string shown;
        for (const std::string &argument : c.arguments)
            shown += argument + " ";
        EXPECT_EQ(result.status, c.status) << shown << result.standardError;
        EXPECT_NE(result.standardError.find(c.message), std::string::npos)
            << shown << result.standardError;
    }
}

struct UsersFileCase {
    const char *contents;
    const char *message;
};

TEST(ConsoleStartup, NamesTheLineOfAMalformedUsersFile) {
    TempRoot scratch;
    const std::string hash = "$6$abcdefgh$" + std::string(86, 'A');
    const UsersFileCase cases[] = {
        {"justaname\n", "users:1:"},
        {"# fine\nname:hash-without-flags\n", "users:2:"},
        {"\n\nname:$6$abcdefgh$AAAA:notanumber\n", "users:3:"},
        {"name:not-a-crypt-hash:0x9\n", "users:1:"},
        {":$6$abcdefgh$AAAA:0x9\n", "users:1:"},
    };
    for (const UsersFileCase &c : cases) {
        WriteFile(scratch.path() + "/users", c.contents);
        chmod((scratch.path() + "/users").c_str(), 0600);
        ExitResult result = RunConsole({"--users", scratch.path() + "/users"});
        EXPECT_EQ(result.status, 2) << c.contents;
        EXPECT_NE(result.standardError.find(c.message), std::string::npos)
            << c.contents << " -> " << result.standardError;
    }
    std::string twice = "name:" + hash + ":1\nname:" + hash + ":2\n";
    WriteFile(scratch.path() + "/users", twice);
    ExitResult result = RunConsole({"--users", scratch.path() + "/users"});
    EXPECT_EQ(result.status, 2);
    EXPECT_NE(result.standardError.find("users:2:"), std::string::npos) << result.standardError;
}

TEST(ConsoleStartup, HelpGoesToStdout) {
    std::string output;
    ExitResult result = RunConsole({"--help"}, "", &output);
    EXPECT_EQ(result.status, 0);
    EXPECT_NE(output.find("usage: hxm-console"), std::string::npos);
}

TEST(ConsoleStartup, HashesAPasswordThatCryptAccepts) {
    std::string output;
    ExitResult result = RunConsole({"--hash-password"}, "correct horse\n", &output);
    ASSERT_EQ(result.status, 0) << result.standardError;
    ASSERT_EQ(output.compare(0, 3, "$y$"), 0) << output;
    ASSERT_EQ(output.back(), '\n');
    std::string hash = output.substr(0, output.size() - 1);
    crypt_data data{};
    EXPECT_STREQ(crypt_r("correct horse", hash.c_str(), &data), hash.c_str());
    crypt_data other{};
    EXPECT_STRNE(crypt_r("correct horsE", hash.c_str(), &other), hash.c_str());

    EXPECT_EQ(RunConsole({"--hash-password"}, "\n").status, 2);
}

// A network address gets HTTPS with a pair made once under the root, or
// plain HTTP only when asked for by name; a given pair serves HTTPS anywhere.
TEST(ConsoleStartup, ServesHttpsOnANetworkAddress) {
    TempRoot scratch;
    std::string output;
    ASSERT_EQ(RunConsole({"--hash-password"}, "pw\n", &output).status, 0);
    const std::string users = scratch.path() + "/users";
    WriteFile(users, "admin:" + output.substr(0, output.size() - 1) + ":0x9\n");
    chmod(users.c_str(), 0600);
    const std::string certificate = scratch.path() + "/etc/zentra/hxm-console-tls.crt";
    const std::string key = scratch.path() + "/etc/zentra/hxm-console-tls.key";

    ConsoleProcess plain;
    std::string error;
    ASSERT_TRUE(plain.Start(
        {"--listen", "0.0.0.0:0", "--users", users, "--root", scratch.path(), "--insecure-http"},
        &error))
        << error;
    EXPECT_EQ(plain.base().compare(0, 15, "http://0.0.0.0:"), 0) << plain.base();
    EXPECT_EQ(plain.Stop(SIGTERM).status, 0);
    EXPECT_NE(access(key.c_str(), F_OK), 0) << "plain HTTP made a key";

    std::string fingerprint;
    for (const char *made : {"made a", "using the"}) {
        ConsoleProcess secure;
        ASSERT_TRUE(secure.Start(
            {"--listen", "0.0.0.0:0", "--users", users, "--root", scratch.path()}, &error))
            << error;
        EXPECT_EQ(secure.base().compare(0, 16, "https://0.0.0.0:"), 0) << secure.base();
        HttpRequest request;
        request.trustedCertificate = certificate;
        request.user = "admin";
        request.password = "pw";
        HttpResponse response =
            Fetch("https://127.0.0.1" + secure.base().substr(secure.base().rfind(':')), request);
        EXPECT_EQ(response.status, 200) << response.error;
        EXPECT_EQ(response.Header("strict-transport-security"), "max-age=31536000");
        ExitResult result = secure.Stop(SIGTERM);
        EXPECT_EQ(result.status, 0);
        EXPECT_NE(result.standardError.find(made), std::string::npos) << result.standardError;
        size_t at = result.standardError.find("SHA-256 fingerprint: ");
        ASSERT_NE(at, std::string::npos) << result.standardError;
        std::string shown = result.standardError.substr(at + 21, 95);
        EXPECT_TRUE(fingerprint.empty() || shown == fingerprint) << "the pair was made again";
        fingerprint = shown;
    }
    struct stat status;
    ASSERT_EQ(stat(key.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0600u);
    // Clients that enforce the 825 days count the whole span.
    time_t span[2] = {0, 0};
    FILE *dates =
        popen(("openssl x509 -noout -dates -dateopt iso_8601 -in " + certificate).c_str(), "r");
    ASSERT_NE(dates, nullptr);
    char line[128];
    for (time_t &end : span) {
        struct tm when {};
        if (fgets(line, sizeof line, dates) != nullptr && strchr(line, '=') != nullptr &&
            strptime(strchr(line, '=') + 1, "%Y-%m-%d %H:%M:%SZ", &when) != nullptr)
            end = timegm(&when);
    }
    pclose(dates);
    EXPECT_GT(span[0], 0);
    EXPECT_LE(span[1] - span[0], 825L * 24 * 3600);
    EXPECT_GT(span[1] - span[0], 824L * 24 * 3600);

    ConsoleProcess given;
    ASSERT_TRUE(given.Start({"--listen", "127.0.0.1:0", "--root", scratch.path(), "--plugin",
                             ECHO_PLUGIN_PATH, "--tls-cert", certificate, "--tls-key", key},
                            &error))
        << error;
    ASSERT_EQ(given.base().compare(0, 8, "https://"), 0) << given.base();
    HttpRequest request;
    request.target = "/echo";
    request.trustedCertificate = certificate;
    HttpResponse response = Fetch(given.base(), request);
    EXPECT_EQ(response.status, 200) << response.error;
    EXPECT_EQ(response.Header("strict-transport-security"), "max-age=31536000");
    request.trustedCertificate = scratch.path() + "/users"; // no authority for it
    EXPECT_EQ(Fetch(given.base(), request).status, 0) << "an untrusted certificate was accepted";
    EXPECT_EQ(Fetch("http" + given.base().substr(5), "/echo").status, 0) << "plain HTTP answered";
    EXPECT_EQ(given.Stop(SIGTERM).status, 0);
}

TEST(ConsoleStartup, ServesOnIPv6Loopback) {
    TempRoot scratch;
    ConsoleProcess console;
    std::string error;
    if (!console.Start(
            {"--listen", "[::1]:0", "--root", scratch.path(), "--plugin", ECHO_PLUGIN_PATH},
            &error))
        GTEST_SKIP() << "no IPv6 loopback here: " << error;
    EXPECT_EQ(console.base().compare(0, 13, "http://[::1]:"), 0) << console.base();
    HttpResponse response = Fetch(console.base(), "/echo/six");
    EXPECT_EQ(response.status, 200) << response.error;
    EXPECT_EQ(console.Stop(SIGTERM).status, 0);
}

TEST(ConsoleStartup, StopsCleanlyOnEitherSignal) {
    for (int signal : {SIGTERM, SIGINT}) {
        TempRoot scratch;
        ConsoleProcess console;
        std::string error;
        ASSERT_TRUE(console.Start(
            {"--listen", "127.0.0.1:0", "--root", scratch.path(), "--plugin", ECHO_PLUGIN_PATH},
            &error))
            << error;
        ASSERT_EQ(Fetch(console.base(), "/echo").status, 200);
        ExitResult result = console.Stop(signal);
        EXPECT_EQ(result.status, 0) << strsignal(signal) << ": " << result.standardError;
    }
}

TEST(ConsoleStartup, UnloadsPluginsOnStop) {
    TempRoot scratch;
    const std::string marker = scratch.path() + "/echo-unloaded";
    ConsoleProcess console;
    std::string error;
    ASSERT_TRUE(console.Start(
        {"--root", scratch.path(), "--listen", "127.0.0.1:0", "--plugin", ECHO_PLUGIN_PATH},
        &error))
        << error;
    ASSERT_EQ(Fetch(console.base(), "/echo").status, 200);
    EXPECT_TRUE(ReadFile(marker).empty() && access(marker.c_str(), F_OK) != 0);
    EXPECT_EQ(console.Stop(SIGTERM).status, 0);
    EXPECT_EQ(access(marker.c_str(), F_OK), 0) << "the unload entry did not run";
}

// Plug-in output and the access log on a FIFO that nobody opens, or that
// is open but never read (its buffer cut to a page): start-up does not
// wait, every request is served, and SIGTERM still ends the console soon.
TEST(ConsoleStartup, NothingItWritesCanStallIt) {
    for (const char *option : {"--plugin-output", "--access-log"}) {
        for (bool heldOpen : {false, true}) {
            TempRoot scratch;
            const std::string fifo = scratch.path() + "/fifo";
            ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
            int held = heldOpen ? open(fifo.c_str(), O_RDWR | O_NONBLOCK) : -1;
            if (held >= 0)
                fcntl(held, F_SETPIPE_SZ, 4096);
            ConsoleProcess console;
            std::string error;
            ASSERT_TRUE(console.Start({"--listen", "127.0.0.1:0", "--root", scratch.path(),
                                       "--plugin", ECHO_PLUGIN_PATH, option, fifo},
                                      &error))
                << option << ": " << error;
            HttpSession session(console.base());
            for (int i = 0; i < 300; ++i)
                ASSERT_EQ(session.Get("/echo/stdout").status, 200) << option << " " << i;
            auto begin = std::chrono::steady_clock::now();
            EXPECT_EQ(console.Stop(SIGTERM).status, 0) << option;
            EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::seconds(4)) << option;
            if (held >= 0)
                close(held);
        }
    }
}

} // namespace
} // namespace hxm_test
