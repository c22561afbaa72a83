/*
 * The console's routes over HTTP: home, images, the plug-in fallback, and
 * what reaches the plug-in (path, method code, flag word, form body).
 */
#include <gtest/gtest.h>

#include <string>

#include "tests/e2e/console_test_fixture.h"

namespace hxm_test {
namespace {

using RoutesTest = ConsoleTest;

TEST_F(RoutesTest, HomePageListsTheEchoPluginsLink) {
    StartConsole();
    HttpResponse home = Fetch(base(), "/");
    ASSERT_EQ(home.status, 200) << home.error;
    EXPECT_EQ(home.Header("content-type").compare(0, 9, "text/html"), 0);
    EXPECT_NE(home.body.find("href=\"/echo\""), std::string::npos) << home.body;
}

struct StatusCase {
    const char *method;
    std::string target;
    long status;
};

TEST_F(RoutesTest, AnswersEachRouteWithItsStatus) {
    StartConsole();
    const StatusCase cases[] = {
        {"GET", "/", 200},
        {"HEAD", "/", 200},
        {"POST", "/", 200}, // the error page's OK button posts here
        {"PUT", "/", 405},
        {"GET", "/echo", 200},
        {"GET", "/echo/some/page?sort=1", 200},
        {"GET", "/no-such-keyword", 404},
        {"GET", "/ec", 404},
        {"GET", "/echo/decline", 404},
        {"GET", "/echo/a%00b", 400},
        {"GET", "/echo/%zz", 400},
        {"GET", "/echo/" + std::string(255, 'a'), 200},
        {"GET", "/echo/" + std::string(256, 'a'), 400},
        {"GET", "/echo/" + std::string(256, 'a') + "/x", 400},
        {"GET", "/opt/zentra/hxm/sorted.png", 200},
        {"GET", "/opt/zentra/hxm/unknown.png", 404},
        {"GET", "/opt/zentra/hxm/../hxm/sorted.png", 404},
        {"GET", "/opt/zentra/hxm/%2e%2e%2fhxm%2fsorted.png", 404},
        {"GET", "/opt/zentra/hxm/sorted.png%00", 400},
        {"DELETE", "/opt/zentra/hxm/sorted.png", 405},
    };
    for (const StatusCase &c : cases) {
        HttpRequest request;
        request.method = c.method;
        request.target = c.target;
        HttpResponse response = Fetch(base(), request);
        EXPECT_EQ(response.status, c.status)
            << c.method << " " << c.target << " " << response.error;
        // No answer may be framed by another page.
        EXPECT_EQ(response.Header("x-frame-options"), "DENY") << c.target;
    }
}

TEST_F(RoutesTest, MethodNotAllowedNamesTheAllowedMethods) {
    StartConsole();
    HttpRequest request;
    request.method = "DELETE";
    request.target = "/opt/zentra/hxm/network.png";
    HttpResponse response = Fetch(base(), request);
    EXPECT_EQ(response.status, 405);
    EXPECT_EQ(response.Header("allow"), "GET, HEAD");
}

TEST_F(RoutesTest, GivesThePluginTheDecodedPathAndTheFlagWord) {
    StartConsole({"--access", "0x1f"});
    HttpResponse response = Fetch(base(), "/echo/a%20b/%C3%A9?query=1");
    ASSERT_EQ(response.status, 200) << response.error;
    Echo echo;
    ASSERT_TRUE(ParseEcho(response.body, &echo)) << response.body;
    EXPECT_EQ(echo.methodCode, 0);
    EXPECT_EQ(echo.path, "/echo/a b/\xC3\xA9");
    EXPECT_EQ(echo.flags, "0x1f");
}

TEST_F(RoutesTest, PassesThePluginsStatusTypeAndHeaders) {
    StartConsole();
    HttpResponse plain = Fetch(base(), "/echo/x");
    EXPECT_EQ(plain.status, 200);
    EXPECT_EQ(plain.Header("content-type"), "text/plain; charset=utf-8");
    HttpResponse framed = Fetch(base(), "/echo/frame");
    EXPECT_EQ(framed.status, 200);
    EXPECT_EQ(framed.Header("content-type").compare(0, 9, "text/html"), 0);
    HttpResponse redirect = Fetch(base(), "/echo/redirect");
    EXPECT_EQ(redirect.status, 302);
    EXPECT_EQ(redirect.Header("location"), "/echo");
}

TEST_F(RoutesTest, DefaultFlagWordIsNine) {
    StartConsole();
    Echo echo;
    ASSERT_TRUE(ParseEcho(Fetch(base(), "/echo").body, &echo));
    EXPECT_EQ(echo.flags, "0x9");
}

TEST_F(RoutesTest, LeavesThePluginsClearingPowerAsItIsWithoutAUsersFile) {
    StartConsole();
    EXPECT_EQ(Fetch(base(), "/echo/allowclear").body, "allowclear=1\n");
}

TEST_F(RoutesTest, RefusesRequestsAnotherSiteStartedBeforeThePlugin) {
    StartConsole();
    const std::string own = base();
    const std::string port = own.substr(own.rfind(':'));
    const struct {
        const char *method;
        std::vector<std::string> headers;
        long status;
    } cases[] = {
        {"GET", {}, 200},
        {"GET", {"Sec-Fetch-Site: none"}, 200},
        {"GET", {"Sec-Fetch-Site: same-origin"}, 200},
        {"GET", {"Sec-Fetch-Site: cross-site"}, 403},
        {"GET", {"Sec-Fetch-Site: same-site"}, 403}, // another port is another origin
        {"GET", {"Origin: http://elsewhere.example"}, 403},
        {"GET", {"Referer: http://elsewhere.example/"}, 403}, // an old browser following a link
        {"GET", {"Referer: " + own + "/echo"}, 200},
        // Without a users file only loopback names are answered: a name
        // made to resolve to 127.0.0.1 (DNS rebinding) gets nothing.
        {"GET", {"Host: rebound.example" + port, "Origin: http://rebound.example" + port}, 421},
        {"GET", {"Host: 127.0.0.1.nip.io" + port}, 421},
        {"GET", {"Host: localhost" + port, "Origin: http://localhost" + port}, 200},
        {"GET", {"Host: [::1]" + port}, 200},
        {"POST", {}, 200},
        {"POST", {"Origin: " + own}, 200},
        {"POST", {"Sec-Fetch-Site: same-origin", "Origin: " + own}, 200},
        {"POST", {"Referer: " + own + "/echo/list?x=1"}, 200},
        {"POST", {"Origin: http://elsewhere.example"}, 403},
        {"POST", {"Origin: null"}, 403},
        {"POST", {"Origin: https://" + own.substr(7)}, 403},
        {"POST", {"Referer: http://127.0.0.1:1/echo"}, 403},
        {"POST", {"Origin: " + own, "Referer: http://elsewhere.example/"}, 200},
        {"POST", {"Sec-Fetch-Site: cross-site", "Origin: " + own}, 403},
    };
    for (const auto &c : cases) {
        HttpRequest request;
        request.method = c.method;
        request.target = "/echo/clear";
        request.body = c.method == std::string("POST") ? "a=1" : "";
        request.headers = c.headers;
        HttpResponse response = Fetch(base(), request);
        std::string shown = c.method + std::string(" ") + (c.headers.empty() ? "" : c.headers[0]);
        EXPECT_EQ(response.status, c.status) << shown;
        Echo echo;
        EXPECT_EQ(ParseEcho(response.body, &echo), c.status == 200) << shown;
        if (c.status == 403) {
            EXPECT_NE(response.body.find("<a href=\"/\">"), std::string::npos) << shown;
        }
    }
    StopConsole();
    std::string log = ReadFile(accessLogPath());
    EXPECT_NE(log.find("\"/echo/clear\" 403 "), std::string::npos) << log;
    EXPECT_NE(log.find(" cross-site origin http://elsewhere.example"), std::string::npos) << log;
}

TEST_F(RoutesTest, SendsWhatPlugInsPrintWhereItIsTold) {
    std::string output = logDirectory() + "/plugins.out";
    WriteFile(output, "");
    StartConsole({"--plugin-output", output});
    ASSERT_EQ(Fetch(base(), "/echo/stdout").status, 200);
    StopConsole();
    EXPECT_EQ(ReadFile(output), "echo on stdout\n");
}

TEST_F(RoutesTest, GivesThePluginAFormPostAndItsBody) {
    StartConsole();
    HttpRequest request;
    request.method = "POST";
    request.target = "/echo/form";
    request.body = "CONNECTIONID=12&FILTER=a%2Bb+c";
    HttpResponse response = Fetch(base(), request);
    ASSERT_EQ(response.status, 200) << response.error;
    Echo echo;
    ASSERT_TRUE(ParseEcho(response.body, &echo)) << response.body;
    EXPECT_EQ(echo.methodCode, 2);
    EXPECT_EQ(echo.body, request.body);
}

TEST_F(RoutesTest, ServesEveryImageAsPng) {
    StartConsole();
    const std::string signature = "\x89PNG\r\n\x1a\n";
    for (const char *name :
         {"sorted.png", "sortdown.png", "network.png", "GRPstatus_critical.png"}) {
        HttpResponse image = Fetch(base(), std::string("/opt/zentra/hxm/") + name);
        ASSERT_EQ(image.status, 200) << name;
        EXPECT_EQ(image.Header("content-type"), "image/png") << name;
        ASSERT_GT(image.body.size(), 24u) << name;
        EXPECT_EQ(image.body.compare(0, signature.size(), signature), 0) << name;
        EXPECT_EQ(image.body.compare(12, 4, "IHDR"), 0) << name;
    }
}

TEST_F(RoutesTest, ServesItsIconWhereBrowsersAskForIt) {
    StartConsole();
    HttpResponse icon = Fetch(base(), "/favicon.ico");
    ASSERT_EQ(icon.status, 200);
    EXPECT_EQ(icon.Header("content-type"), "image/vnd.microsoft.icon");
    EXPECT_EQ(icon.body.compare(0, 4, std::string("\0\0\1\0", 4)), 0);
}

TEST_F(RoutesTest, PrefersTheRootsImageFolder) {
    WriteFile(root() + "/opt/zentra/hxm/network.png", "\x89PNG\r\n\x1a\nlocal copy");
    StartConsole();
    HttpResponse image = Fetch(base(), "/opt/zentra/hxm/network.png");
    ASSERT_EQ(image.status, 200);
    EXPECT_EQ(image.body, "\x89PNG\r\n\x1a\nlocal copy");
    // The others still come from the console's own folder.
    EXPECT_EQ(Fetch(base(), "/opt/zentra/hxm/sorted.png").status, 200);
}

TEST_F(RoutesTest, HeadAnswersLikeGetWithoutABody) {
    StartConsole();
    for (const char *target : {"/", "/echo/x", "/opt/zentra/hxm/sorted.png"}) {
        HttpResponse get = Fetch(base(), target);
        HttpRequest head;
        head.method = "HEAD";
        head.target = target;
        HttpResponse answer = Fetch(base(), head);
        EXPECT_EQ(answer.status, get.status) << target;
        EXPECT_EQ(answer.body, "") << target;
        EXPECT_EQ(answer.Header("content-length"), std::to_string(get.body.size())) << target;
    }
}

} // namespace
} // namespace hxm_test
