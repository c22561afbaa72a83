/*
 * The connections pages over HTTP: hxm-console with the real plug-in and
 * the SQLite monitoring library under a fresh root, the store filled and
 * read back with the afpstat command. Clearing and closing change the store.
 */
#include <gtest/gtest.h>
#include <signal.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <string>
#include <vector>

#include "tests/e2e/afpstat_console_fixture.h"
#include "tests/e2e/console_process.h"
#include "tests/support/page_text.h"

namespace hxm_test {
namespace {

class PluginConnectionsTest : public AfpstatConsoleTest {
  protected:
    void SetUp() override {
        Afpstat({"init"});
        Afpstat({"volume", "VOL1"});
    }
};

TEST_F(PluginConnectionsTest, ClearingTwoTickedConnectionsChangesTheStore) {
    Afpstat({"connect", "bob", "10.0.0.2", "--number", "7"});
    Afpstat({"connect", "carol", "10.0.0.3", "--number", "12"});
    Afpstat({"connect", "dave", "10.0.0.4", "--number", "20"});
    StartConsole();
    const HttpResponse list = Fetch(base(), "/afpcons");
    ASSERT_EQ(list.status, 200);
    EXPECT_EQ(CountOf(list.body, "NAME=\"CONNECTIONID\""), 3u);
    const HttpResponse after = Post("/afpcons/AFPCloseConnections",
                                    "CONNECTIONID=" + FormEncode("<closeconn>7</closeconn>") +
                                        "&CONNECTIONID=" + FormEncode("<closeconn>20</closeconn>"));
    // A redirect to the list, whose first showing says what was done; the
    // page itself is the body, as a client that does not follow reads it.
    EXPECT_EQ(after.status, 303);
    EXPECT_EQ(CountOf(after.body, "NAME=\"CONNECTIONID\""), 1u);
    const std::string location = after.Header("location");
    EXPECT_EQ(location.rfind("/afpcons/ConnectionNumber/AFPOutcome/", 0), 0u) << location;
    const std::string done = "id=\"actionDone\" style=\"font-weight:bold;\">Cleared: 2 connections";
    for (size_t showing : {1u, 0u}) { // shown once; a reload lists and clears nothing
        const HttpResponse shown = Fetch(base(), location);
        EXPECT_EQ(shown.status, 200);
        EXPECT_EQ(CountOf(shown.body, done), showing);
        EXPECT_EQ(CountOf(shown.body, "NAME=\"CONNECTIONID\""), 1u);
    }
    const std::string store = Afpstat({"list", "--json"});
    EXPECT_EQ(store.find("\"bob\""), std::string::npos);
    EXPECT_EQ(store.find("\"dave\""), std::string::npos);
    EXPECT_NE(store.find("\"carol\""), std::string::npos);
}

TEST_F(PluginConnectionsTest, HostileNamesShowAsTextAndTheirFilesClose) {
    const std::string user = "<img src=x onerror=alert(1)>";
    const std::string path = "/VOL1/a \"b\" & <c> 100%.doc";
    Afpstat({"connect", user, "10.0.0.9", "--number", "26", "--equiv", "<b>admins</b>"});
    Afpstat({"open", "26", "VOL1", path});
    Afpstat({"open", "26", "VOL1", "/VOL1/other.txt"});
    StartConsole();
    const HttpResponse list = Fetch(base(), "/afpcons");
    EXPECT_EQ(list.body.find(user), std::string::npos);
    EXPECT_NE(list.body.find("*&lt;img src=x onerror=alert(1)&gt;</A>"), std::string::npos);

    const HttpResponse detail = Fetch(base(), "/afpcons/ConnectionNumber/0000001A");
    EXPECT_EQ(detail.status, 200);
    EXPECT_EQ(detail.body.find("<b>admins"), std::string::npos);
    EXPECT_NE(detail.body.find("VALUE=\"<filename>/VOL1/a &#34;b&#34; &amp; &lt;c&gt; "
                               "100%.doc</filename>\""),
              std::string::npos)
        << detail.body;
    // What a browser posts for that form.
    const HttpResponse closed = Post("/afpcons/AFPCloseFiles/0000001a",
                                     "FILENAME=" + FormEncode("<filename>" + path + "</filename>"));
    EXPECT_EQ(closed.status, 303);
    const std::string store = Afpstat({"list", "--json"});
    EXPECT_EQ(store.find("100%.doc"), std::string::npos) << store;
    EXPECT_NE(store.find("/VOL1/other.txt"), std::string::npos);

    // Close all files of the connection: it stays, its files go.
    const HttpResponse all = Fetch(base(), "/afpcons/AFPCloseFiles/0000001a/" +
                                               EncodePath("<closeallfiles>26</closeallfiles>"));
    EXPECT_EQ(all.status, 303);
    const std::string emptied = Afpstat({"list", "--json"});
    EXPECT_EQ(emptied.find("/VOL1/other.txt"), std::string::npos);
    EXPECT_NE(emptied.find("\"number\": 26"), std::string::npos);
}

// The two roles of a users file, each acting through the values its own
// pages carry: an operator (0x40f) is offered no tick box and is refused
// clearing, but closes files from both areas; an administrator (0xf) clears,
// connection numbers past six digits and past 2^31 included.
TEST_F(PluginConnectionsTest, AnOperatorClosesFilesAndOnlyAnAdministratorClears) {
    Afpstat({"connect", "bob", "10.0.0.2", "--number", "7"});
    for (const char *file : {"/VOL1/a.doc", "/VOL1/b.doc", "/VOL1/c.doc", "/VOL1/d.doc"})
        Afpstat({"open", "7", "VOL1", file});
    Afpstat({"connect", "carol", "10.0.0.3", "--number", "1234567"});
    Afpstat({"connect", "dave", "10.0.0.4", "--number", "3000000000"});
    std::string hash;
    ASSERT_EQ(RunConsole({"--hash-password"}, "pw\n", &hash).status, 0);
    hash.pop_back();
    const std::string users = root() + "/users";
    WriteFile(users, "admin:" + hash + ":0xf\noperator:" + hash + ":0x40f\n");
    chmod(users.c_str(), 0600);
    WriteFile(logDirectory() + "/.keep", "");
    StartConsoleWith(HXM_PLUGIN_PATH, {"--users", users});
    auto send = [&](const char *user, const std::string &method, const std::string &target,
                    const std::string &body = "", long status = 200) {
        HttpRequest request;
        request.method = method;
        request.target = target;
        request.body = body;
        request.user = user;
        request.password = "pw";
        HttpResponse response = Fetch(base(), request);
        EXPECT_EQ(response.status, status) << method << " " << target;
        EXPECT_EQ(response.body.find("actionOutcome"), std::string::npos) << target;
        return response;
    };
    auto store_holds = [&](const std::string &text) {
        return Afpstat({"list", "--json"}).find(text) != std::string::npos;
    };

    EXPECT_EQ(CountOf(send("operator", "GET", "/afpcons").body, "NAME=\"CONNECTIONID\""), 0u);
    const HttpResponse refused = send("operator", "POST", "/afpcons/AFPCloseConnections",
                                      "CONNECTIONID=" + FormEncode("<closeconn>7</closeconn>"));
    EXPECT_NE(refused.body.find("Unauthorized access denied"), std::string::npos);
    EXPECT_TRUE(store_holds("\"bob\""));

    // One file from the detail page's own form.
    const HttpResponse detail = send("operator", "GET", "/afpcons/00000007");
    const std::vector<std::string> names = HiddenValues(detail.body, "FILENAME");
    ASSERT_EQ(names.size(), 4u);
    send("operator", "POST", "/afpcons/AFPCloseFiles/00000007",
         "FILENAME=" + FormEncode(HtmlDecode(names[0])), 303);
    EXPECT_FALSE(store_holds("/VOL1/a.doc"));
    // A ticked file of the open-file page.
    const HttpResponse files = send("operator", "GET", "/afpofm/VOL1");
    const std::vector<std::string> boxes = FileBoxValues(files.body);
    ASSERT_EQ(boxes.size(), 3u);
    send("operator", "POST", "/afpofm/AFPCloseFiles/VOL1", "FILENAME=" + FormEncode(boxes[0]), 303);
    EXPECT_EQ(Afpstat({"list", "--json"}).find(boxes[0].substr(10, 11)), std::string::npos);
    // The rest through the detail page's "Close All Files" link.
    const std::string all = Between(send("operator", "GET", "/afpcons/00000007").body,
                                    "ConfirmClearFilesForConnection('", "'");
    send("operator", "GET", EncodePath(all), "", 303);
    EXPECT_FALSE(store_holds(".doc"));
    EXPECT_TRUE(store_holds("\"bob\""));

    // The administrator clears through the values the tick boxes carry.
    std::string ticked;
    for (const std::string &value :
         HiddenValues(send("admin", "GET", "/afpcons").body, "CONNECTIONID")) {
        if (value.find("<closeconn>7<") == std::string::npos)
            ticked += "&CONNECTIONID=" + FormEncode(HtmlDecode(value));
    }
    EXPECT_NE(ticked.find("-1294967296"), std::string::npos) << ticked;
    send("admin", "POST", "/afpcons/AFPCloseConnections", ticked.substr(1), 303);
    EXPECT_FALSE(store_holds("\"carol\""));
    EXPECT_FALSE(store_holds("\"dave\""));
    EXPECT_TRUE(store_holds("\"bob\""));
}

TEST_F(PluginConnectionsTest, TenThousandConnectionsOnePage) {
    Afpstat({"demo", "--connections", "10000", "--files", "0", "--seed", "3"});
    StartConsole();
    const HttpResponse list = Fetch(base(), "/afpcons/ConnectionName");
    ASSERT_EQ(list.status, 200);
    EXPECT_EQ(CountOf(list.body, "<A HREF=/afpcons/ConnectionName/"), 10000u);
    EXPECT_NE(list.body.find("</FORM></BODY></HTML>\n"), std::string::npos);
}

} // namespace
} // namespace hxm_test
