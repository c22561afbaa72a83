// The response body: printf-style appends, geometric growth to many
// megabytes, the cap with its sticky error.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>

#include <zentra/hxm_host.h>

#include "platform/console/hxm_console.h"
#include "tests/platform/console/test_support.h"

namespace hxm_test {
namespace {

hxm::Response RunWithLimit(std::size_t limit) {
    hxm::Request request;
    request.target = "/probe";
    request.bodyLimit = limit;
    return hxm::HandleRequest(request);
}

TEST(ConsoleBody, FormatsLikePrintfIncludingGnuLongDouble) {
    ScopedProbe probe([](void *request, unsigned int) {
        HttpSendSuccessfulResponse(request, HttpReturnString(5));
        HttpSendDataSprintf(request, "<table width=100%% border=0>");
        HttpSendDataSprintf(request, "[%d|%5s|%-3s|%08X|%u]", -42, "ab", "c", 26u, 7u);
        HttpSendDataSprintf(request, "[%Ld]", static_cast<long long>(-1234567890123LL));
        HttpSendDataSprintf(request, "[%.2f]", 2.5);
        HttpEndDataResponse(request);
        return 200;
    });
    EXPECT_EQ(Serve("/probe").body,
              "<table width=100% border=0>[-42|   ab|c  |0000001A|7][-1234567890123][2.50]");
}

TEST(ConsoleBody, GrowsPastFiftyMegabytesWithoutLosingAByte) {
    constexpr int kRows = 500 * 1000;
    ScopedProbe probe([](void *request, unsigned int) {
        HttpSendSuccessfulResponse(request, HttpReturnString(5));
        for (int row = 0; row < kRows; ++row) {
            if (HttpSendDataSprintf(
                    request, "<tr class=\"r\"><td>%08d</td><td>%s</td><td>%s</td></tr>\n", row,
                    "/Volumes/VOL1/some/long/path/name.txt", "a user name of some length") != 0)
                return 500;
        }
        HttpEndDataResponse(request);
        return 200;
    });
    hxm::Response response = Serve("/probe");
    ASSERT_EQ(response.status, 200);
    EXPECT_GT(response.body.size(), 50u * 1024 * 1024);
    // Every row present, in order, at the offset its fixed width predicts.
    char expected[128];
    int rowLength = std::snprintf(
        expected, sizeof expected, "<tr class=\"r\"><td>%08d</td><td>%s</td><td>%s</td></tr>\n", 0,
        "/Volumes/VOL1/some/long/path/name.txt", "a user name of some length");
    ASSERT_EQ(response.body.size(), static_cast<std::size_t>(rowLength) * kRows);
    for (int row : {0, 1, 4095, 65536, 333333, kRows - 1}) {
        std::snprintf(expected, sizeof expected, "<td>%08d</td>", row);
        EXPECT_EQ(response.body.compare(static_cast<std::size_t>(row) * rowLength + 14,
                                        std::string(expected).size(), expected),
                  0)
            << row;
    }
}

TEST(ConsoleBody, SingleWriteLargerThanTheSpareRoomIsWhole) {
    const std::string big(3 * 1024 * 1024 + 17, 'q');
    ScopedProbe probe([&big](void *request, unsigned int) {
        HttpSendSuccessfulResponse(request, HttpReturnString(5));
        HttpSendDataSprintf(request, "<%s>", big.c_str());
        HttpSendDataSprintf(request, "%s", "end");
        HttpEndDataResponse(request);
        return 200;
    });
    EXPECT_EQ(Serve("/probe").body, "<" + big + ">end");
}

TEST(ConsoleBody, WritePastTheCapFailsForGoodAndTheAnswerBecomes500) {
    std::string results;
    ScopedProbe probe([&results](void *request, unsigned int) {
        HttpSendSuccessfulResponse(request, HttpReturnString(5));
        results += std::to_string(HttpSendDataSprintf(request, "%s", std::string(90, 'a').c_str()));
        results += std::to_string(HttpSendDataSprintf(request, "%s", "0123456789"));
        results += std::to_string(HttpSendDataSprintf(request, "%s", "0123456789"));
        results += std::to_string(HttpSendDataSprintf(request, "x")); // sticky
        return 200;
    });
    hxm::Response response = RunWithLimit(100);
    EXPECT_EQ(results, "0011");
    EXPECT_EQ(response.status, 500);
    EXPECT_EQ(response.methodResult, 200);
    EXPECT_EQ(response.body.find("aaaa"), std::string::npos);
}

TEST(ConsoleBody, BodyExactlyAtTheCapIsAccepted) {
    ScopedProbe probe([](void *request, unsigned int) {
        HttpSendSuccessfulResponse(request, HttpReturnString(5));
        if (HttpSendDataSprintf(request, "%s", std::string(100, 'b').c_str()) != 0)
            return 500;
        HttpEndDataResponse(request);
        return 200;
    });
    hxm::Response response = RunWithLimit(100);
    EXPECT_EQ(response.status, 200);
    EXPECT_EQ(response.body, std::string(100, 'b'));
}

TEST(ConsoleBody, FrameItselfCountsAgainstTheCap) {
    ScopedProbe probe([](void *request, unsigned int) {
        HttpSendSuccessfulResponse(request, HttpReturnString(5));
        int result = BuildAndSendHeader(request, "t", "h", 0, 0, 0, nullptr, nullptr, nullptr);
        HttpEndDataResponse(request);
        return result == 0 ? 200 : 500;
    });
    hxm::Response response = RunWithLimit(64);
    EXPECT_EQ(response.status, 500);
    EXPECT_EQ(response.methodResult, 500);
}

// The body is handed on rather than copied: an answer must still hold only
// its own bytes, after a longer page and when an error replaces a partial one.
TEST(ConsoleBody, AnswerHoldsOnlyItsOwnBytes) {
    const std::string earlier(4096, 'e'); // longer than every answer below
    const auto answerError = [](void *request) {
        return HttpSendErrorResponse(request, 503) == 0 ? 503 : 500;
    };
    std::function<int(void *)> answer = answerError;
    ScopedProbe probe([&answer](void *request, unsigned int) { return answer(request); });
    const hxm::Response errorPage = Serve("/probe");
    ASSERT_EQ(errorPage.status, 503);
    ASSERT_LT(errorPage.body.size(), earlier.size());

    struct Case {
        const char *name;
        std::function<int(void *)> answer;
        int status;
        std::string body;
    };
    const Case cases[] = {
        {"shorter page after a longer one",
         [](void *request) { return AnswerText(request, "short"); }, 200, "short"},
        {"error after part of a page",
         [&](void *request) {
             HttpSendSuccessfulResponse(request, HttpReturnString(5));
             HttpSendDataSprintf(request, "%s", earlier.c_str());
             return answerError(request);
         },
         503, errorPage.body},
    };
    for (const Case &c : cases) {
        answer = [&earlier](void *request) { return AnswerText(request, earlier.c_str()); };
        ASSERT_EQ(Serve("/probe").body, earlier) << c.name;
        answer = c.answer;
        const hxm::Response response = Serve("/probe");
        EXPECT_EQ(response.status, c.status) << c.name;
        EXPECT_EQ(response.body, c.body) << c.name;
    }
}

} // namespace

} // namespace hxm_test
