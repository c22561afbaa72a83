// The console frame around plug-in pages, the console home, and the host's
// fixed texts.
#include <gtest/gtest.h>

#include <string>

#include <zentra/hxm_host.h>

#include "platform/console/hxm_console.h"
#include "tests/platform/console/test_support.h"

namespace hxm_test {
namespace {

int scriptCalls = 0;

void WriteScript(void *request) {
    ++scriptCalls;
    HttpSendDataSprintf(request, "<script>var x = 1;</script>\n");
}

struct FrameArguments {
    const char *title = "Title";
    const char *heading = "Heading";
    unsigned int options = 0;
    HxmScriptWriter writer = nullptr;
    const char *caption = nullptr;
    const char *helpUrl = nullptr;
};

// The body of a page made of the frame and "<p>page</p></BODY></HTML>".
std::string Frame(const FrameArguments &arguments, int *result = nullptr) {
    int frameResult = -1;
    ScopedProbe probe([&](void *request, unsigned int) {
        HttpSendSuccessfulResponse(request, HttpReturnString(5));
        frameResult =
            BuildAndSendHeader(request, arguments.title, arguments.heading, 0, 0, arguments.options,
                               arguments.writer, arguments.caption, arguments.helpUrl);
        HttpSendDataSprintf(request, "<p>page</p></BODY></HTML>");
        HttpEndDataResponse(request);
        return 200;
    });
    std::string body = Serve("/probe").body;
    if (result != nullptr)
        *result = frameResult;
    return body;
}

bool Contains(const std::string &text, const std::string &part) {
    return text.find(part) != std::string::npos;
}

TEST(ConsoleFrame, WritesHeadStyleBannerAndLeavesBodyOpen) {
    FrameArguments arguments;
    arguments.caption = "Connection Help";
    arguments.helpUrl = "/afpcons/help/_info_";
    int result = -1;
    std::string page = Frame(arguments, &result);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(page.rfind("<HTML><HEAD><TITLE>Title</TITLE>", 0), 0u);
    for (const char *style :
         {".tablehead", ".tablesubhead", ".tablecol", ".stripelight", ".stripedark"})
        EXPECT_TRUE(Contains(page, style)) << style;
    EXPECT_TRUE(Contains(page, "Heading"));
    EXPECT_TRUE(Contains(page, "href=\"/afpcons/help/_info_\">Connection Help</a>"));
    // BODY is opened once and only the page closes it.
    std::size_t bodyOpen = page.find("<BODY>");
    ASSERT_NE(bodyOpen, std::string::npos);
    EXPECT_EQ(page.find("</BODY>"), page.find("<p>page</p>") + 11);
    EXPECT_LT(page.find("</HEAD>"), bodyOpen);
    // Every element the frame opens it also closes.
    std::string frame = page.substr(bodyOpen + 6, page.find("<p>page</p>") - bodyOpen - 6);
    for (const char *tag : {"div", "span", "a"}) {
        std::string open = std::string("<") + tag + (std::string(tag) == "a" ? " " : "");
        std::size_t opened = 0, closed = 0;
        for (std::size_t at = frame.find(open); at != std::string::npos;
             at = frame.find(open, at + 1))
            ++opened;
        for (std::size_t at = frame.find(std::string("</") + tag + ">"); at != std::string::npos;
             at = frame.find(std::string("</") + tag + ">", at + 1))
            ++closed;
        EXPECT_EQ(opened, closed) << tag;
    }
}

TEST(ConsoleFrame, CallsTheScriptWriterInsideTheHeadOnlyWithOptionFour) {
    struct Case {
        unsigned int options;
        HxmScriptWriter writer;
        int calls;
    };
    const Case cases[] = {{4, WriteScript, 1},
                          {0, WriteScript, 0},
                          {5, WriteScript, 0},
                          {1, WriteScript, 0},
                          {4, nullptr, 0}};
    for (const Case &c : cases) {
        scriptCalls = 0;
        FrameArguments arguments;
        arguments.options = c.options;
        arguments.writer = c.writer;
        std::string page = Frame(arguments);
        EXPECT_EQ(scriptCalls, c.calls) << c.options;
        if (c.calls == 1) {
            std::size_t script = page.find("<script>var x = 1;</script>");
            ASSERT_NE(script, std::string::npos);
            EXPECT_LT(page.find("<HEAD>"), script);
            EXPECT_LT(script, page.find("</HEAD>"));
        } else {
            EXPECT_FALSE(Contains(page, "<script>"));
        }
    }
}

TEST(ConsoleFrame, EscapesHostileTexts) {
    FrameArguments arguments;
    arguments.title = "</TITLE><script>alert(1)</script>";
    arguments.heading = "<b>\"Heading\" & 'more'</b>";
    arguments.caption = "<i>caption</i>";
    arguments.helpUrl = "/help\" onclick=\"evil()";
    std::string page = Frame(arguments);
    EXPECT_FALSE(Contains(page, "<script>"));
    EXPECT_TRUE(Contains(page, "&lt;/TITLE&gt;&lt;script&gt;alert(1)&lt;/script&gt;"));
    EXPECT_TRUE(Contains(page, "&lt;b&gt;&quot;Heading&quot; &amp; &#39;more&#39;&lt;/b&gt;"));
    EXPECT_TRUE(Contains(page, "&lt;i&gt;caption&lt;/i&gt;"));
    EXPECT_TRUE(Contains(page, "href=\"/help&quot; onclick=&quot;evil()\""));
    EXPECT_FALSE(Contains(page, "<i>"));
}

TEST(ConsoleFrame, CaptionWithoutHelpAndNullTexts) {
    FrameArguments arguments;
    arguments.title = nullptr;
    arguments.heading = nullptr;
    arguments.caption = "Only a caption";
    int result = -1;
    std::string page = Frame(arguments, &result);
    EXPECT_EQ(result, 0);
    EXPECT_TRUE(Contains(page, "<TITLE></TITLE>"));
    EXPECT_TRUE(Contains(page, "Only a caption"));
    EXPECT_FALSE(Contains(page, "class=\"hxm-help\""));
}

int Unused(void *, unsigned int, unsigned int, unsigned int) {
    return 0;
}

TEST(ConsoleFrame, NavigationListsGroupsAndLinksEscaped) {
    ScopedRegistration one("navone", Unused, "First <Link>", "Group & Co");
    ScopedRegistration two("navtwo", Unused, "Second", "Group & Co");
    ScopedRegistration three("navthree", Unused, "Third", "<Other>");
    std::string page = Frame(FrameArguments());
    std::size_t group = page.find("Group &amp; Co");
    ASSERT_NE(group, std::string::npos);
    EXPECT_EQ(page.find("Group &amp; Co", group + 1), std::string::npos); // listed once
    std::size_t first = page.find("<a href=\"/navone\">First &lt;Link&gt;</a>");
    std::size_t second = page.find("<a href=\"/navtwo\">Second</a>");
    std::size_t other = page.find("&lt;Other&gt;");
    std::size_t third = page.find("<a href=\"/navthree\">Third</a>");
    EXPECT_LT(group, first);
    EXPECT_LT(first, second);
    EXPECT_LT(second, other);
    EXPECT_LT(other, third);
    EXPECT_NE(third, std::string::npos);
}

TEST(ConsoleFrame, RefusedBeforeTheResponseStarts) {
    int result = -1;
    ScopedProbe probe([&result](void *request, unsigned int) {
        result = BuildAndSendHeader(request, "t", "h", 0, 0, 0, nullptr, nullptr, nullptr);
        return 0;
    });
    Serve("/probe");
    EXPECT_NE(result, 0);
}

TEST(ConsoleHome, ListsEachGroupWithItsLinksEscaped) {
    ScopedRegistration one("homeone", Unused, "Manage <Connections>", "Manage AFP \"Services\"");
    ScopedRegistration two("hometwo", Unused, "View Logs", "Manage AFP \"Services\"");
    std::string home = hxm::RenderHome();
    EXPECT_EQ(home.rfind("<HTML>", 0), 0u);
    EXPECT_TRUE(Contains(home, "</BODY></HTML>"));
    std::size_t group = home.find("Manage AFP &quot;Services&quot;");
    std::size_t first = home.find("<a href=\"/homeone\">Manage &lt;Connections&gt;</a>");
    std::size_t second = home.find("<a href=\"/hometwo\">View Logs</a>");
    ASSERT_NE(second, std::string::npos);
    EXPECT_LT(group, first);
    EXPECT_LT(first, second);
}

TEST(ConsoleHostTexts, DescriptorsAndStripes) {
    EXPECT_STREQ(HttpReturnString(5), "text/html; charset=utf-8");
    for (int index : {-1, 0, 1, 4, 6, 1000, -2147483647 - 1})
        EXPECT_NE(HttpReturnString(index), nullptr) << index;
    EXPECT_STREQ(HttpReturnString(99), "");
    EXPECT_STREQ(pzSTRIPE_LIGHT, "class=\"stripelight\"");
    EXPECT_STREQ(pzSTRIPE_DARK, "class=\"stripedark\"");
}

} // namespace

} // namespace hxm_test
