// One request through the console: routing, what a service method can read
// through the host calls, the failure switches, and how its answer becomes
// the response.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include <zentra/hxm_host.h>

#include "platform/console/hxm_console.h"
#include "tests/platform/console/test_support.h"

namespace hxm_test {
namespace {

int calls = 0;

int CountingMethod(void *request, unsigned int, unsigned int, unsigned int) {
    ++calls;
    return AnswerText(request, "short");
}

int LongerMethod(void *request, unsigned int, unsigned int, unsigned int) {
    return AnswerText(request, "longer");
}

TEST(ConsoleRouting, MatchesTheLongestKeywordThatPrefixesThePath) {
    ScopedRegistration shortKey("rt", CountingMethod);
    ScopedRegistration longKey("rtlong", LongerMethod);
    ASSERT_TRUE(shortKey.registered() && longKey.registered());
    struct Case {
        const char *target;
        int status;
        const char *body;
    };
    const Case cases[] = {
        {"/rt", 200, "short"},     {"/rt/a/b", 200, "short"},    {"/rtx", 200, "short"},
        {"/rt?x=1", 200, "short"}, {"/rtlong", 200, "longer"},   {"/rtlong/x", 200, "longer"},
        {"/rtlon", 200, "short"},  {"/%72t", 200, "short"},      {"/RT", 404, nullptr},
        {"/", 404, nullptr},       {"/unknownkw", 404, nullptr}, {"rt", 400, nullptr},
        {"?/rt", 400, nullptr},
    };
    for (const Case &c : cases) {
        hxm::Response response = Serve(c.target);
        EXPECT_EQ(response.status, c.status) << c.target;
        if (c.body != nullptr) {
            EXPECT_EQ(response.body, c.body) << c.target;
        } else {
            EXPECT_NE(response.body.find(std::to_string(c.status)), std::string::npos) << c.target;
        }
    }
}

TEST(ConsoleRouting, BadPathIsAnswered400BeforeAnyPlugInRuns) {
    ScopedRegistration registration("rt", CountingMethod);
    calls = 0;
    for (const std::string &target :
         {std::string("/rt/%zz"), std::string("/rt/%00"), std::string("/rt/%4"),
          "/rt/" + std::string(256, 'x'), "/rt/%" + std::string(1, '\0')}) {
        hxm::Response response = Serve(target);
        EXPECT_EQ(response.status, 400) << target;
        EXPECT_EQ(response.contentType, "text/html; charset=utf-8");
        EXPECT_EQ(response.methodResult, 0);
    }
    EXPECT_EQ(calls, 0);
    EXPECT_EQ(Serve("/rt/" + std::string(255, 'x')).status, 200);
    EXPECT_EQ(calls, 1);
}

TEST(ConsoleRouting, DecliningMethodGets404AndWhatItWroteIsNotSent) {
    ScopedProbe probe([](void *, unsigned int) { return 0; });
    ASSERT_TRUE(probe.registered());
    hxm::Response response = Serve("/probe");
    EXPECT_EQ(response.status, 404);
    EXPECT_EQ(response.methodResult, 0);

    ScopedProbe halfway([](void *request, unsigned int) {
        HttpOpenResponseHeaderTag(request, 302);
        return 0;
    });
    EXPECT_EQ(Serve("/probe").status, 404);
}

TEST(ConsoleRouting, PageWrittenInFullIsKeptWhateverTheMethodReturns) {
    // Some pages report a complete page with 0; the page must still reach
    // the browser.
    ScopedProbe probe([](void *request, unsigned int) {
        AnswerText(request, "complete");
        return 0;
    });
    hxm::Response response = Serve("/probe");
    EXPECT_EQ(response.status, 200);
    EXPECT_EQ(response.body, "complete");
    EXPECT_EQ(response.methodResult, 0);
}

TEST(ConsoleRouting, MethodClaimingAnAnswerItNeverGaveGets500) {
    ScopedProbe probe([](void *, unsigned int) { return 200; });
    hxm::Response response = Serve("/probe");
    EXPECT_EQ(response.status, 500);
    EXPECT_EQ(response.methodResult, 200);
    EXPECT_NE(response.body.find("500"), std::string::npos);

    ScopedProbe unfinished([](void *request, unsigned int) {
        HttpOpenResponseHeaderTag(request, 302);
        HttpAddResponseHeaderTags(request, "Location: /x", 12);
        return 302;
    });
    EXPECT_EQ(Serve("/probe").status, 500);
}

TEST(ConsoleRouting, ExceptionOutOfAMethodGets500) {
    ScopedProbe probe([](void *, unsigned int) -> int { throw std::runtime_error("plug-in"); });
    EXPECT_EQ(Serve("/probe").status, 500);
}

struct MethodCase {
    const char *method;
    const char *contentType;
    int code;
};

TEST(ConsoleRequestCalls, MethodCodeFollowsMethodAndContentType) {
    const MethodCase cases[] = {
        {"GET", "", HXM_METHOD_GET},
        {"HEAD", "", HXM_METHOD_OTHER},
        {"POST", "application/x-www-form-urlencoded", HXM_METHOD_FORM_POST},
        {"POST", "application/x-www-form-urlencoded; charset=UTF-8", HXM_METHOD_FORM_POST},
        {"POST", " Application/X-WWW-Form-Urlencoded ;charset=utf-8", HXM_METHOD_FORM_POST},
        {"POST", "multipart/form-data; boundary=x", HXM_METHOD_OTHER_POST},
        {"POST", "application/x-www-form-urlencodedx", HXM_METHOD_OTHER_POST},
        {"POST", "", HXM_METHOD_OTHER_POST},
        {"PUT", "application/x-www-form-urlencoded", HXM_METHOD_OTHER},
        {"DELETE", "", HXM_METHOD_OTHER},
        {"get", "", HXM_METHOD_OTHER},
    };
    int seen = -1;
    ScopedProbe probe([&seen](void *request, unsigned int) {
        if (HttpReturnRequestMethod(request, &seen) != 1)
            return 0;
        return AnswerText(request, "");
    });
    for (const MethodCase &c : cases) {
        seen = -1;
        EXPECT_EQ(Serve("/probe", c.method, "a=1", c.contentType).status, 200) << c.method;
        EXPECT_EQ(seen, c.code) << c.method << " " << c.contentType;
    }
}

TEST(ConsoleRequestCalls, PathIsDecodedWritableAndWithoutQuery) {
    std::string seen;
    unsigned int flagsSeen = 0;
    ScopedProbe probe([&](void *request, unsigned int flags) {
        char *path = nullptr;
        if (HttpReturnPathBuffers(request, nullptr, &path, nullptr) != 0)
            return 0;
        seen = path;
        flagsSeen = flags;
        path[0] = 'X'; // writable; the next call gives the same buffer
        char *again = nullptr;
        HttpReturnPathBuffers(request, nullptr, &again, nullptr);
        seen += again == path ? "|same" : "|other";
        return AnswerText(request, "");
    });
    hxm::Request request;
    request.target = "/probe/a%20b/%3Cx%3E+y?q=%41&z";
    request.accessFlags = 0x10000009;
    EXPECT_EQ(hxm::HandleRequest(request).status, 200);
    EXPECT_EQ(seen, "/probe/a b/<x>+y|same");
    EXPECT_EQ(flagsSeen, 0x10000009u);
}

TEST(ConsoleRequestCalls, PostBufferHasTheBodyAndRoomForATerminator) {
    std::string seen;
    int result = -1;
    unsigned long seenLength = 99;
    ScopedProbe probe([&](void *request, unsigned int) {
        char *buffer = nullptr;
        unsigned long length = 99;
        result = HttpReturnPostDataBuffer(request, &buffer, &length);
        seenLength = length;
        if (result == 0) {
            buffer[length] = '\0';
            seen.assign(buffer, length);
        }
        return AnswerText(request, "");
    });
    const char *form = "application/x-www-form-urlencoded";
    Serve("/probe", "POST", "CONNECTIONID=%3Ccloseconn%3E7", form);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(seen, "CONNECTIONID=%3Ccloseconn%3E7");

    seen = "unset";
    Serve("/probe", "POST", "", form);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(seenLength, 0u);
    EXPECT_EQ(seen, "");

    Serve("/probe", "POST", std::string("a\0b", 3), "text/plain");
    EXPECT_EQ(result, 0);
    EXPECT_EQ(seen, std::string("a\0b", 3));

    for (const char *method : {"GET", "HEAD", "PUT"}) {
        result = 0;
        Serve("/probe", method, "ignored", form);
        EXPECT_NE(result, 0) << method;
    }
}

TEST(ConsoleRequestCalls, NullHandleAndNullOutPointersFail) {
    int code = 0;
    char *buffer = nullptr;
    unsigned long length = 0;
    EXPECT_EQ(HttpReturnRequestMethod(nullptr, &code), 0);
    EXPECT_NE(HttpReturnPostDataBuffer(nullptr, &buffer, &length), 0);
    EXPECT_NE(HttpReturnPathBuffers(nullptr, nullptr, &buffer, nullptr), 0);
    EXPECT_NE(HttpSendSuccessfulResponse(nullptr, HttpReturnString(5)), 0);
    EXPECT_NE(HttpSendErrorResponse(nullptr, 500), 0);
    EXPECT_NE(HttpSendErrorPackageResponse(nullptr, 500, "x", 1), 0);
    EXPECT_NE(BuildAndSendHeader(nullptr, "t", "h", 0, 0, 0, nullptr, nullptr, nullptr), 0);
    EXPECT_NE(HttpSendDataSprintf(nullptr, "%d", 1), 0);
    EXPECT_NE(HttpEndDataResponse(nullptr), 0);
    EXPECT_NE(HttpOpenResponseHeaderTag(nullptr, 302), 0);
    EXPECT_NE(HttpAddResponseHeaderTags(nullptr, "A: b", 4), 0);
    EXPECT_NE(HttpSendResponseHeader(nullptr), 0);

    std::string results;
    ScopedProbe probe([&](void *request, unsigned int) {
        results += std::to_string(HttpReturnRequestMethod(request, nullptr));
        results += std::to_string(HttpReturnPathBuffers(request, nullptr, nullptr, nullptr));
        results += std::to_string(HttpReturnPostDataBuffer(request, nullptr, &length));
        results += std::to_string(HttpReturnPostDataBuffer(request, &buffer, nullptr));
        results += std::to_string(HttpSendSuccessfulResponse(request, nullptr));
        results += std::to_string(HttpSendSuccessfulResponse(request, "text/html\r\nX: y"));
        return 0;
    });
    Serve("/probe", "POST", "a=1", "application/x-www-form-urlencoded");
    EXPECT_EQ(results, "011111");
}

TEST(ConsoleFailureSwitches, EachSwitchFailsItsCallOnly) {
    struct Seen {
        int method = -1, path = -1, post = -1, success = -1;
    } seen;
    ScopedProbe probe([&seen](void *request, unsigned int) {
        int code = 0;
        char *buffer = nullptr;
        unsigned long length = 0;
        seen.method = HttpReturnRequestMethod(request, &code);
        seen.path = HttpReturnPathBuffers(request, nullptr, &buffer, nullptr);
        seen.post = HttpReturnPostDataBuffer(request, &buffer, &length);
        seen.success = HttpSendSuccessfulResponse(request, HttpReturnString(5));
        if (seen.success != 0) {
            HttpSendErrorResponse(request, 500);
            return 500;
        }
        HttpEndDataResponse(request);
        return 200;
    });
    struct Case {
        unsigned failures;
        int method, path, post, success, status;
    };
    const Case cases[] = {
        {hxm::kFailNone, 1, 0, 0, 0, 200},
        {hxm::kFailRequestMethod, 0, 0, 0, 0, 200},
        {hxm::kFailPathBuffers, 1, 1, 0, 0, 200},
        {hxm::kFailPostDataBuffer, 1, 0, 1, 0, 200},
        {hxm::kFailSuccessfulResponse, 1, 0, 0, 1, 500},
        {hxm::kFailRequestMethod | hxm::kFailSuccessfulResponse, 0, 0, 0, 1, 500},
    };
    for (const Case &c : cases) {
        seen = Seen();
        hxm::Response response =
            Serve("/probe", "POST", "a=1", "application/x-www-form-urlencoded", c.failures);
        EXPECT_EQ(seen.method, c.method) << c.failures;
        EXPECT_EQ(seen.path != 0, c.path != 0) << c.failures;
        EXPECT_EQ(seen.post != 0, c.post != 0) << c.failures;
        EXPECT_EQ(seen.success != 0, c.success != 0) << c.failures;
        EXPECT_EQ(response.status, c.status) << c.failures;
    }
}

TEST(ConsoleResponses, ErrorResponsesCarryTheirStatusAndBody) {
    ScopedProbe console([](void *request, unsigned int) {
        return HttpSendErrorResponse(request, 401) == 0 ? 401 : 0;
    });
    hxm::Response response = Serve("/probe");
    EXPECT_EQ(response.status, 401);
    EXPECT_EQ(response.contentType, "text/html; charset=utf-8");
    EXPECT_NE(response.body.find("401 Unauthorized"), std::string::npos);

    const char text[] = "<HTML><BODY><H1>Http Error Code 400</H1></BODY></HTML>\n";
    ScopedProbe package([&text](void *request, unsigned int) {
        return HttpSendErrorPackageResponse(request, 400, text, sizeof text - 1) == 0 ? 400 : 0;
    });
    response = Serve("/probe");
    EXPECT_EQ(response.status, 400);
    EXPECT_EQ(response.body, text);
}

TEST(ConsoleResponses, ErrorResponseReplacesAPageNotYetComplete) {
    ScopedProbe probe([](void *request, unsigned int) {
        HttpSendSuccessfulResponse(request, HttpReturnString(5));
        HttpSendDataSprintf(request, "half a page");
        HttpSendErrorResponse(request, 500);
        // The error answer is complete: no more body, no second answer.
        EXPECT_NE(HttpSendDataSprintf(request, "more"), 0);
        EXPECT_NE(HttpSendErrorResponse(request, 503), 0);
        return 500;
    });
    hxm::Response response = Serve("/probe");
    EXPECT_EQ(response.status, 500);
    EXPECT_EQ(response.body.find("half a page"), std::string::npos);
}

TEST(ConsoleResponses, RefusesCallsOutOfOrderAndBadStatuses) {
    std::string results;
    ScopedProbe probe([&results](void *request, unsigned int) {
        results += std::to_string(HttpSendDataSprintf(request, "early"));
        results += std::to_string(HttpEndDataResponse(request));
        results += std::to_string(HttpSendResponseHeader(request));
        results += std::to_string(HttpAddResponseHeaderTags(request, "A: b", 4));
        results += std::to_string(HttpSendErrorResponse(request, 200));
        results += std::to_string(HttpSendErrorResponse(request, 600));
        results += std::to_string(HttpSendErrorPackageResponse(request, 500, nullptr, 3));
        results += std::to_string(HttpSendErrorPackageResponse(request, 500, "x", -1));
        results += std::to_string(HttpOpenResponseHeaderTag(request, 99));
        results += "|";
        results += std::to_string(HttpSendSuccessfulResponse(request, HttpReturnString(5)));
        results += std::to_string(HttpSendSuccessfulResponse(request, HttpReturnString(5)));
        results += std::to_string(HttpOpenResponseHeaderTag(request, 302));
        results += std::to_string(HttpEndDataResponse(request));
        results += std::to_string(HttpEndDataResponse(request));
        results += std::to_string(HttpSendDataSprintf(request, "late"));
        return 200;
    });
    hxm::Response response = Serve("/probe");
    EXPECT_EQ(results, "111111111|011011");
    EXPECT_EQ(response.status, 200);
    EXPECT_EQ(response.body, "");
}

TEST(ConsoleResponses, RedirectCarriesItsHeaderLines) {
    ScopedProbe probe([](void *request, unsigned int) {
        const char lines[] = "Location: /afpcons/LoginTime\r\nCache-Control:  no-store \r\n";
        if (HttpOpenResponseHeaderTag(request, 302) != 0 ||
            HttpAddResponseHeaderTags(request, lines, sizeof lines - 1) != 0 ||
            HttpAddResponseHeaderTags(request, "X-Extra:one", 11) != 0 ||
            HttpSendResponseHeader(request) != 0 || HttpEndDataResponse(request) != 0)
            return 500;
        return 302;
    });
    hxm::Response response = Serve("/probe");
    EXPECT_EQ(response.status, 302);
    using Header = std::pair<std::string, std::string>;
    std::vector<Header> expected = {
        {"Location", "/afpcons/LoginTime"}, {"Cache-Control", "no-store"}, {"X-Extra", "one"}};
    EXPECT_EQ(response.headers, expected);
    EXPECT_EQ(response.body, "");
}

TEST(ConsoleResponses, RefusesMalformedOrInjectedHeaderLines) {
    const std::string refused[] = {
        "Location",                          // no colon
        ": value",                           // no name
        "Bad Name: x",                       // blank in the name
        "Location: /a\r\nSet-Cookie: s=1\n", // bare LF
        "Location: /a\rX: y",                // bare CR
        "Location: /a\nX: y",                // bare LF inside
        "Location: /a\r\n\r\n<html>",        // a blank line would end the header block
        "\r\n",                              // blank line only
        std::string("Location: /a\0b", 14),  // NUL in the value
        "X: a\x01z",                         // control character
        "Content-Length: 5",                 // framing belongs to the server
        "transfer-encoding: chunked",
        "Connection: close",
        "Location: /a\r", // CR without LF at the end
    };
    for (const std::string &text : refused) {
        int result = -1;
        ScopedProbe probe([&](void *request, unsigned int) {
            HttpOpenResponseHeaderTag(request, 302);
            HttpAddResponseHeaderTags(request, "Location: /ok", 13);
            result = HttpAddResponseHeaderTags(request, text.data(), static_cast<int>(text.size()));
            HttpSendResponseHeader(request);
            return 302;
        });
        hxm::Response response = Serve("/probe");
        EXPECT_NE(result, 0) << text;
        // Nothing of a refused call is kept.
        ASSERT_EQ(response.headers.size(), 1u) << text;
        EXPECT_EQ(response.headers[0].second, "/ok") << text;
    }
}

TEST(ConsoleResponses, LengthBoundsTheHeaderText) {
    ScopedProbe probe([](void *request, unsigned int) {
        HttpOpenResponseHeaderTag(request, 302);
        // Only "Location: /a" is read: what follows is outside the length.
        HttpAddResponseHeaderTags(request, "Location: /a\r\nEvil: yes", 12);
        HttpAddResponseHeaderTags(request, "Content-Type: text/plain", 24);
        HttpSendResponseHeader(request);
        return 302;
    });
    hxm::Response response = Serve("/probe");
    ASSERT_EQ(response.headers.size(), 1u);
    EXPECT_EQ(response.headers[0], std::make_pair(std::string("Location"), std::string("/a")));
    EXPECT_EQ(response.contentType, "text/plain");
}

} // namespace

} // namespace hxm_test
