/*
 * afpLogsMethod through the host: which paths, flags, methods and host
 * failures lead to the log list, the log help or the error page, and what
 * reaches the plug-in's log.
 */
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "tests/support/concurrent.h"
#include "tests/support/plugin_fixture.h"

namespace hxm_test {
namespace {

enum class Page { kList, kHelp, kBadRequest, kAccessDenied, kMissingData, kDeclined };

const char *PageName(Page page) {
    switch (page) {
    case Page::kList:
        return "list";
    case Page::kHelp:
        return "help";
    case Page::kBadRequest:
        return "Bad Http request";
    case Page::kAccessDenied:
        return "Unauthorized access denied";
    case Page::kMissingData:
        return "Http request missing data";
    case Page::kDeclined:
        return "declined";
    }
    return "?";
}

/* What the response shows, told apart by each page's own fixed text. */
Page Classify(const hxm::Response &response) {
    if (response.methodResult == 0 && response.status == 404)
        return Page::kDeclined;
    const std::string &body = response.body;
    auto has = [&body](const char *text) { return body.find(text) != std::string::npos; };
    int kinds = 0;
    Page page = Page::kDeclined;
    if (has("<tr class=\"tablesubhead\"><th align=center>Name</th><th "
            "align=center>Size</th></tr>\n"))
        page = Page::kList, ++kinds;
    if (has("<p>Use this page to view messages logged by the AFP server and AFP HXM "
            "Plug-in.</p>\n"))
        page = Page::kHelp, ++kinds;
    for (Page error : {Page::kBadRequest, Page::kAccessDenied, Page::kMissingData}) {
        if (has((std::string("<b>Error :</b>  ") + PageName(error) + "</td>").c_str()))
            page = error, ++kinds;
    }
    return kinds == 1 ? page : Page::kDeclined;
}

class LogsDispatch : public PluginTest {};

struct PathCase {
    const char *target;
    Page page;
};

const PathCase kPathCases[] = {
    {"/afplogs", Page::kList},
    {"/afplogsX", Page::kList},
    {"/afplogs.html", Page::kList},
    {"/afplogs?x=1", Page::kList},
    {"/afplogs/", Page::kHelp}, // an empty component is a leading part of "help"
    {"/afplogs/help", Page::kHelp},
    {"/afplogs/HE", Page::kHelp},
    {"/afplogs/h", Page::kHelp},
    {"/afplogs/Help/", Page::kHelp},
    {"/afplogs/help/anything", Page::kHelp},
    {"/afplogs/help/_info_/more/and%20more", Page::kHelp},
    {"/afplogs//other", Page::kHelp},
    {"/afplogs/helpme", Page::kBadRequest},
    {"/afplogs/other", Page::kBadRequest},
    {"/afplogs/hx", Page::kBadRequest},
    {"/afplogs/afpsvc.log", Page::kBadRequest},
};

TEST_F(LogsDispatch, PathsChooseTheListTheHelpOrTheErrorPage) {
    for (const PathCase &c : kPathCases) {
        for (const char *method : {"GET", "POST", "HEAD"}) {
            SCOPED_TRACE(std::string(method) + " " + c.target);
            hxm::Response response = Serve(c.target, 0x9, method);
            EXPECT_EQ(response.status, 200);
            EXPECT_EQ(response.methodResult, 200);
            if (std::string(method) != "HEAD") {
                EXPECT_STREQ(PageName(Classify(response)), PageName(c.page)) << response.body;
            }
        }
    }
}

struct FlagCase {
    unsigned int flags;
    Page page;
};

const FlagCase kFlagCases[] = {
    {0x9, Page::kList},
    {0x3FFFFFFF, Page::kList},
    {0x10000009, Page::kList},
    // Hidden from these callers: nothing is sent, whatever else they hold.
    {0x80000009, Page::kDeclined},
    {0x40000009, Page::kDeclined},
    {0xC0000009, Page::kDeclined},
    {0x80000000, Page::kDeclined},
    {0xFFFFFFFF, Page::kDeclined},
    // Both 0x1 and 0x8 are needed.
    {0x8, Page::kAccessDenied},
    {0x1, Page::kAccessDenied},
    {0x0, Page::kAccessDenied},
    {0x3FFFFFF7, Page::kAccessDenied},
    {0x3FFFFFFE, Page::kAccessDenied},
};

TEST_F(LogsDispatch, FlagsDeclineDenyOrPass) {
    for (const FlagCase &c : kFlagCases) {
        for (const char *target : {"/afplogs", "/afplogs/help", "/afplogs/other"}) {
            SCOPED_TRACE(std::string(target) + " flags " + std::to_string(c.flags));
            hxm::Response response = Serve(target, c.flags);
            Page expected = c.page;
            if (expected == Page::kList && target != std::string("/afplogs"))
                expected = target == std::string("/afplogs/help") ? Page::kHelp : Page::kBadRequest;
            EXPECT_STREQ(PageName(Classify(response)), PageName(expected));
            if (expected == Page::kDeclined) {
                EXPECT_EQ(response.methodResult, 0);
                EXPECT_EQ(response.status, 404);
            } else {
                EXPECT_EQ(response.methodResult, 200);
            }
        }
    }
}

struct MethodCase {
    const char *method;
    const char *contentType;
    Page page;
};

TEST_F(LogsDispatch, OnlyReadsAndFormPostsAreServed) {
    const MethodCase kCases[] = {
        {"GET", "", Page::kList},
        {"POST", "application/x-www-form-urlencoded", Page::kList},
        {"PUT", "application/x-www-form-urlencoded", Page::kBadRequest},
        {"DELETE", "", Page::kBadRequest},
        {"POST", "text/plain", Page::kBadRequest},
    };
    for (const MethodCase &c : kCases) {
        SCOPED_TRACE(std::string(c.method) + " " + c.contentType);
        hxm::Request request;
        request.method = c.method;
        request.target = "/afplogs/help";
        request.contentType = c.contentType;
        request.body = "a=1";
        hxm::Response response = hxm::HandleRequest(request);
        Page expected = c.page == Page::kList ? Page::kHelp : c.page;
        EXPECT_STREQ(PageName(Classify(response)), PageName(expected)) << response.body;
        EXPECT_EQ(response.methodResult, 200);
    }
}

struct FailureCase {
    unsigned failures;
    const char *method;
    const char *target;
    int status;
    Page page;
};

TEST_F(LogsDispatch, HostFailuresEndInTheirErrorPages) {
    const FailureCase kCases[] = {
        {hxm::kFailRequestMethod, "GET", "/afplogs", 200, Page::kMissingData},
        {hxm::kFailRequestMethod, "POST", "/afplogs/help", 200, Page::kMissingData},
        {hxm::kFailPathBuffers, "GET", "/afplogs", 200, Page::kBadRequest},
        {hxm::kFailPathBuffers, "GET", "/afplogs/help", 200, Page::kBadRequest},
        // Without its body a post still gets its page.
        {hxm::kFailPostDataBuffer, "POST", "/afplogs", 200, Page::kList},
        {hxm::kFailPostDataBuffer, "POST", "/afplogs/help", 200, Page::kHelp},
        // A refused response: the host's 500 answer and nothing of the page.
        {hxm::kFailSuccessfulResponse, "GET", "/afplogs", 500, Page::kDeclined},
        {hxm::kFailSuccessfulResponse, "GET", "/afplogs/help", 500, Page::kDeclined},
        {hxm::kFailSuccessfulResponse, "GET", "/afplogs/other", 500, Page::kDeclined},
    };
    for (const FailureCase &c : kCases) {
        SCOPED_TRACE(std::string(c.method) + " " + c.target + " failures " +
                     std::to_string(c.failures));
        hxm::Response response = Serve(c.target, 0x9, c.method, c.failures);
        EXPECT_EQ(response.status, c.status);
        EXPECT_EQ(response.methodResult, c.status);
        if (c.status == 500)
            EXPECT_EQ(response.body.find("hxm-heading"), std::string::npos) << response.body;
        else
            EXPECT_STREQ(PageName(Classify(response)), PageName(c.page)) << response.body;
    }
}

TEST_F(LogsDispatch, LogsTheUrlAndDumpsAPostedBodyAsTextAboveDebug) {
    const std::string body = "name=%s%n%s&other=%25x";
    for (const char *level : {"DEBUG", "DUMP"}) {
        SCOPED_TRACE(level);
        LoadPlugin(false, std::string("LOG_LEVEL ") + level + "\n");
        hxm::Request request;
        request.method = "POST";
        request.target = "/afplogs/help/x";
        request.contentType = "application/x-www-form-urlencoded";
        request.body = body;
        EXPECT_EQ(hxm::HandleRequest(request).methodResult, 200);
        ASSERT_TRUE(plugin_->Unload());
        std::string log = ReadFile(root_->LogFile());
        EXPECT_NE(log.find("URL = /afplogs/help/x\n"), std::string::npos) << log;
        bool dumped = log.find("<dump>\n" + body + "\n</dump>\n") != std::string::npos;
        EXPECT_EQ(dumped, std::string(level) == "DUMP") << log;
    }
}

TEST_F(LogsDispatch, ConcurrentRequestsGetTheSamePages) {
    // At INFO the plug-in's own log (which grows with every request) is not
    // listed, so every list page is the same.
    LoadPlugin(false, "LOG_LEVEL INFO\n");
    WriteFile(root_->path() + "/var/opt/zentra/log/afpsvc.log", "server\n");
    const std::vector<std::string> targets = {"/afplogs", "/afplogs/help", "/afplogs/other"};
    std::vector<std::string> expected;
    for (const std::string &target : targets)
        expected.push_back(Serve(target).body);

    for (int count : MismatchesPerThread(4, 25, [&](int t, int i) {
             size_t which = static_cast<size_t>(t + i) % targets.size();
             return Serve(targets[which]).body != expected[which];
         }))
        EXPECT_EQ(count, 0);
}

} // namespace

} // namespace hxm_test
