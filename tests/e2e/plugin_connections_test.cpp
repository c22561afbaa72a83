/*
 * The connections pages over HTTP: hxm-console with the real plug-in and
 * the SQLite monitoring library under a fresh root, the store filled and
 * read back with the afpstat command. Clearing and closing change the store.
 */
#include <gtest/gtest.h>
#include <signal.h>
#include <stdio.h>
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
    EXPECT_EQ(after.status, 200);
    EXPECT_EQ(CountOf(after.body, "NAME=\"CONNECTIONID\""), 1u);
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
    EXPECT_EQ(closed.status, 200);
    const std::string store = Afpstat({"list", "--json"});
    EXPECT_EQ(store.find("100%.doc"), std::string::npos) << store;
    EXPECT_NE(store.find("/VOL1/other.txt"), std::string::npos);

    // Close all files of the connection: it stays, its files go.
    const HttpResponse all = Fetch(base(), "/afpcons/AFPCloseFiles/0000001a/" +
                                               EncodePath("<closeallfiles>26</closeallfiles>"));
    EXPECT_EQ(all.status, 200);
    const std::string emptied = Afpstat({"list", "--json"});
    EXPECT_EQ(emptied.find("/VOL1/other.txt"), std::string::npos);
    EXPECT_NE(emptied.find("\"number\": 26"), std::string::npos);
}

// A viewer from the users file (0x400 withholds the clearing power) is
// offered nothing to tick and is refused every action URL; the store keeps
// everything. The administrator's same request clears.
TEST_F(PluginConnectionsTest, AViewerFromTheUsersFileCannotClearOrClose) {
    Afpstat({"connect", "bob", "10.0.0.2", "--number", "7"});
    Afpstat({"open", "7", "VOL1", "/VOL1/a.doc"});
    std::string hash;
    ASSERT_EQ(RunConsole({"--hash-password"}, "pw\n", &hash).status, 0);
    hash.pop_back();
    const std::string users = root() + "/users";
    WriteFile(users, "admin:" + hash + ":0xf\nwatcher:" + hash + ":0x40f\n");
    WriteFile(logDirectory() + "/.keep", "");
    StartConsoleWith(HXM_PLUGIN_PATH, {"--users", users});
    auto send = [&](const char *user, const std::string &method, const std::string &target,
                    const std::string &body) {
        HttpRequest request;
        request.method = method;
        request.target = target;
        request.body = body;
        request.user = user;
        request.password = "pw";
        return Fetch(base(), request);
    };

    const HttpResponse list = send("watcher", "GET", "/afpcons", "");
    ASSERT_EQ(list.status, 200);
    EXPECT_NE(list.body.find("bob"), std::string::npos);
    EXPECT_EQ(CountOf(list.body, "NAME=\"CONNECTIONID\""), 0u);
    struct Action {
        const char *method;
        std::string target;
        std::string body;
    };
    const Action actions[] = {
        {"GET", "/afpcons/AFPCloseConnections/" + EncodePath("<closeconn>7</closeconn>"), ""},
        {"POST", "/afpcons/AFPCloseConnections",
         "CONNECTIONID=" + FormEncode("<closeconn>7</closeconn>")},
        {"POST", "/afpcons/AFPCloseFiles/00000007",
         "FILENAME=" + FormEncode("<filename>/VOL1/a.doc</filename>")},
        {"GET", "/afpcons/AFPCloseFiles/00000007/" + EncodePath("<closeallfiles>7</closeallfiles>"),
         ""},
        {"POST", "/afpofm/AFPCloseFiles/VOL1",
         "FILENAME=" + FormEncode("<filename>/VOL1/a.doc</filename>")},
    };
    for (const Action &action : actions) {
        const HttpResponse refused = send("watcher", action.method, action.target, action.body);
        EXPECT_NE(refused.body.find("Unauthorized access denied"), std::string::npos)
            << action.method << " " << action.target << ": " << refused.status;
    }
    const std::string store = Afpstat({"list", "--json"});
    EXPECT_NE(store.find("\"bob\""), std::string::npos);
    EXPECT_NE(store.find("/VOL1/a.doc"), std::string::npos);

    const HttpResponse cleared =
        send("admin", actions[0].method, actions[0].target, actions[0].body);
    EXPECT_EQ(cleared.status, 200);
    EXPECT_EQ(Afpstat({"list", "--json"}).find("\"bob\""), std::string::npos);
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
