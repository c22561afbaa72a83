/*
 * The server under load and at its limits: body size, many clients at
 * once on kept-alive connections, and the access log's line per request.
 */
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/e2e/console_test_fixture.h"

namespace hxm_test {
namespace {

constexpr size_t kBodyLimit = 1024 * 1024;

using LimitsTest = ConsoleTest;

// Sends `request` as raw bytes to the server at "http://127.0.0.1:PORT" and
// returns the status line of the answer.
std::string SendRaw(const std::string &base, const std::string &request) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(std::stoi(base.substr(base.rfind(':') + 1))));
    inet_pton(AF_INET, "127.0.0.1", &address.sin_addr);
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    std::string answer;
    if (fd >= 0 && connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0 &&
        send(fd, request.data(), request.size(), MSG_NOSIGNAL) ==
            static_cast<ssize_t>(request.size())) {
        char buffer[4096];
        ssize_t got;
        while ((got = recv(fd, buffer, sizeof buffer, 0)) > 0)
            answer.append(buffer, static_cast<size_t>(got));
    }
    if (fd >= 0)
        close(fd);
    return answer.substr(0, answer.find("\r\n"));
}

struct BodyCase {
    size_t size;
    bool chunked;
    long status;
};

TEST_F(LimitsTest, RefusesBodiesAboveOneMebibyteBeforeThePlugin) {
    StartConsole();
    const BodyCase cases[] = {
        {kBodyLimit, false, 200},    {kBodyLimit + 1, false, 413}, {kBodyLimit, true, 200},
        {kBodyLimit + 1, true, 413}, {4 * kBodyLimit, true, 413},
    };
    for (const BodyCase &c : cases) {
        HttpRequest request;
        request.method = "POST";
        request.target = "/echo/upload";
        request.body = std::string(c.size, 'a');
        request.chunked = c.chunked;
        HttpResponse response = Fetch(base(), request);
        EXPECT_EQ(response.status, c.status) << c.size << (c.chunked ? " chunked" : "");
        Echo echo;
        bool reached = ParseEcho(response.body, &echo);
        EXPECT_EQ(reached, c.status == 200) << c.size;
        if (reached) {
            EXPECT_EQ(echo.body.size(), c.size);
        }
    }
}

TEST_F(LimitsTest, ServesConcurrentClientsOnKeptAliveConnections) {
    constexpr int kClients = 8;
    constexpr int kRequestsEach = 50;
    StartConsole({"--access", "0x1f"});
    std::atomic<int> answered{0};
    std::atomic<int> connections{0};
    std::atomic<int> wrongEchoes{0};
    std::vector<std::thread> clients;
    for (int client = 0; client < kClients; ++client) {
        clients.emplace_back([&, client] {
            HttpSession session(base());
            for (int i = 0; i < kRequestsEach; ++i) {
                std::string path = "/echo/c" + std::to_string(client) + "/r" + std::to_string(i);
                HttpResponse response = session.Get(path);
                Echo echo;
                if (response.status == 200)
                    ++answered;
                if (!ParseEcho(response.body, &echo) || echo.path != path || echo.flags != "0x1f")
                    ++wrongEchoes;
                connections += static_cast<int>(response.newConnections);
            }
        });
    }
    for (std::thread &client : clients)
        client.join();
    EXPECT_EQ(answered.load(), kClients * kRequestsEach);
    EXPECT_EQ(wrongEchoes.load(), 0);
    // One connection per client: every later request reused it.
    EXPECT_EQ(connections.load(), kClients);
}

TEST_F(LimitsTest, WritesOneAccessLogLinePerRequest) {
    StartConsole();
    const std::vector<std::pair<std::string, long>> requests = {
        {"/", 200},
        {"/echo/logged", 200},
        {"/echo/decline", 404},
        {"/echo/a%00b", 400},
        {"/opt/zentra/hxm/sorted.png", 200},
    };
    for (const auto &request : requests)
        ASSERT_EQ(Fetch(base(), request.first).status, request.second) << request.first;
    HttpRequest post;
    post.method = "POST";
    post.target = "/echo/posted";
    post.body = "a=1";
    ASSERT_EQ(Fetch(base(), post).status, 200);
    StopConsole(); // every request has completed and been logged

    std::istringstream log(ReadFile(accessLogPath()));
    std::vector<std::string> lines;
    for (std::string line; std::getline(log, line);)
        lines.push_back(line);
    ASSERT_EQ(lines.size(), requests.size() + 1);
    // Lines are written when each response completes, on whichever pool
    // thread served it, so their order need not be the order of the requests.
    const std::regex shape(R"re(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d[+-]\d{4} )re"
                           R"re(127\.0\.0\.1 - (GET|POST) "([^"]*)" (\d{3}) (\d+))re");
    std::multiset<std::string> logged;
    for (const std::string &line : lines) {
        std::smatch fields;
        ASSERT_TRUE(std::regex_match(line, fields, shape)) << line;
        logged.insert(fields[1].str() + " " + fields[2].str() + " " + fields[3].str());
    }
    std::multiset<std::string> expected;
    for (const auto &request : requests)
        expected.insert("GET " + request.first + " " + std::to_string(request.second));
    expected.insert("POST /echo/posted 200");
    EXPECT_EQ(logged, expected);
}

TEST_F(LimitsTest, AccessLogEscapesWhatCouldForgeALine) {
    StartConsole();
    ASSERT_EQ(SendRaw(base(), "GET /echo/x\x1b[31m\"y\\z\x7f HTTP/1.1\r\nHost: h\r\n"
                              "Connection: close\r\n\r\n"),
              "HTTP/1.1 200 OK");
    StopConsole();
    std::string log = ReadFile(accessLogPath());
    EXPECT_NE(log.find(" GET \"/echo/x\\x1b[31m\\x22y\\x5cz\\x7f\" 200 "), std::string::npos)
        << log;
    EXPECT_EQ(log.find('\x1b'), std::string::npos);
}

} // namespace
} // namespace hxm_test
