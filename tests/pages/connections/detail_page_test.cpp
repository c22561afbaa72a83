/*
 * The connection detail page, byte for byte where its text is fixed: the
 * back and action links in each case, the rows, the open-file forms, and the
 * error answers.
 */
#include <string>

#include "tests/pages/connections/connections_fixture.h"
#include "tests/support/page_text.h"

namespace hxm_test {
namespace {

// DisplaySpecifiedConnection called directly from a service method of the
// test's own, with the arguments the dispatcher never passes.
using DisplayFunction = int (*)(void *, int, int, int, const char *, const char *, const char *,
                                const char *, const char *);
DisplayFunction g_display = nullptr;
int g_authorised = 1;
int g_allowZero = 1;
const char *g_component = "";

int DisplayTestMethod(void *request, unsigned int, unsigned int, unsigned int) {
    return g_display(request, 1, g_authorised, g_allowZero, g_component, "ConnectionNumber", "", "",
                     "");
}

class DetailPageTest : public ConnectionsTest {
  protected:
    void SetUp() override {
        ConnectionsTest::SetUp();
        allowClearConn_ = plugin_->Function<int *>("AllowClearConn");
        ASSERT_NE(allowClearConn_, nullptr);
    }
    void TearDown() override {
        *allowClearConn_ = 1;
        ConnectionsTest::TearDown();
    }

    static scripted::UserDetails Details() {
        scripted::UserDetails details;
        details.userName = "bob";
        details.loginStatus = "Logged-In";
        details.privileges = "Supervisor";
        details.networkAddress = "192.168.1.20";
        return details;
    }

    int *allowClearConn_ = nullptr;
};

const char kHeading[] = "<IMG SRC=/opt/zentra/hxm/network.png BORDER=0 ALT=\"AFP Connection "
                        "Information\">&nbsp;&nbsp;<B><font size=+1>bob</font></B>";

TEST_F(DetailPageTest, BackAndActionLinksInEachCase) {
    scripted::StageUserDetails(26, Details());
    *allowClearConn_ = 0;
    const std::string fromOfm = "volume=VOL1&sorttype=UserName&FILTER=*.doc";
    struct Case {
        const char *what;
        std::string target;
        std::string body; // posted when not empty
        unsigned flags;
        std::string expected;
    } cases[] = {
        {"list, clearing power", "/afpcons/LoginTime/0000001A", "", 0x9,
         std::string(kHeading) +
             "<BR><BR><A HREF=/afpcons/LoginTime>[Back to Connections]</A><BR><A "
             "HREF=\"javascript:ConfirmClearConn('/afpcons/AFPCloseConnections/<closeconn>26</"
             "closeconn>', '26')\">Clear Connection</A><BR><br><table border=0 cellpadding=2>\n"},
        {"list, no clearing power", "/afpcons/1a", "", 0x409,
         std::string(kHeading) +
             "<BR><BR><A HREF=/afpcons/ConnectionNumber>[Back to Connections]</A><BR><A "
             "HREF=\"javascript:ConfirmClearFilesForConnection('/afpcons/AFPCloseFiles/0000001a/"
             "<closeallfiles>26</closeallfiles>', '26')\">Close All Files</A><br><table border=0 "
             "cellpadding=2>\n"},
        {"open files, no clearing power", "/afpcons/ConnectionNumber/0000001A", fromOfm, 0x409,
         std::string(kHeading) +
             "<FORM method=\"post\" action=\"/afpofm/UserName/VOL1\" id=\"filterForm\"><input "
             "name=\"FILTER\" id=\"filter\" type=\"hidden\" value=\"*.doc\" /></form>\n<A "
             "HREF=\"#\" onClick = \"return filterFormSubmit();\">[Back to Open File "
             "Management]</A><BR><FORM method=\"post\" "
             "action=\"/afpcons/AFPCloseFiles/0000001a/<closeallfiles>26</closeallfiles>\" "
             "id=\"closeAllFilesForm\"><INPUT TYPE=\"hidden\" NAME=\"volume\" VALUE=\"VOL1\" "
             "><INPUT TYPE=\"hidden\" NAME=\"sorttype\" VALUE=\"UserName\" ><input "
             "name=\"FILTER\" type=\"hidden\" value=\"*.doc\" /></form>\n<A HREF=\"#\" onClick = "
             "\" return ConfirmClearFilesForConnectionInOFM();\">Close All Files</A><br><table "
             "border=0 cellpadding=2>\n"},
    };
    for (const Case &c : cases) {
        const hxm::Response response =
            c.body.empty() ? Get(c.target, c.flags) : Post(c.target, c.body, c.flags);
        EXPECT_EQ(response.status, 200) << c.what;
        EXPECT_EQ(response.methodResult, 0) << c.what; // 0 after a complete page
        EXPECT_EQ(PageBody(response.body).substr(0, c.expected.size()), c.expected) << c.what;
    }
}

TEST_F(DetailPageTest, Rows) {
    scripted::UserDetails details = Details();
    details.loginTime = 0;
    details.securityEquivalences =
        scripted::Names{std::string("admins"), std::string("staff"), std::string("ops")};
    scripted::StageUserDetails(7, details);
    const std::string body = PageBody(Get("/afpcons/00000007").body);
    const std::string rows =
        "<TR class=\"tablehead\"><TD colspan=2 align=center>Connection Information</TD></TR>"
        "<tr class=\"stripelight\"><td align=right>Connection</td><td>7</td></tr>"
        "<tr class=\"stripedark\"><td align=right>Login Status</td><td>Logged-In</td></tr>"
        "<tr class=\"stripelight\"><td align=right>Login time</td><td>";
    EXPECT_NE(body.find(rows), std::string::npos) << body;
    const std::string after =
        "</td></tr><tr class=\"stripedark\"><td align=right>Privileges</td><td>Supervisor</td></tr>"
        "<tr class=\"stripelight\"><td align=right>Network Address</td><TD>192.168.1.20</td></tr>"
        "\n<tr class=\"stripedark\"><td align=right>Security Equivalence "
        "List</td><TD>admins</td></TR>"
        "\n<tr class=\"stripelight\"><td align=right></td><TD>staff</td></TR>"
        "\n<tr class=\"stripedark\"><td align=right></td><TD>ops</td></TR>"
        "<tr class=\"stripelight\"><td align=right>Open Files<td align=left></td></tr>"
        "</TABLE></BODY></HTML>";
    EXPECT_NE(body.find(after), std::string::npos) << body;
    EXPECT_EQ(body.substr(body.size() - 22), "</TABLE></BODY></HTML>");
}

TEST_F(DetailPageTest, NoSecurityEquivalencesShowsTheLabelRow) {
    for (bool emptyArray : {false, true}) {
        scripted::Reset();
        scripted::UserDetails details = Details();
        if (emptyArray)
            details.securityEquivalences = scripted::Names{};
        scripted::StageUserDetails(7, details);
        const std::string body = PageBody(Get("/afpcons/7").body);
        EXPECT_NE(body.find("\n<tr class=\"stripedark\"><td align=right>Security Equivalence "
                            "List</TD><td></td></TR>"),
                  std::string::npos)
            << body;
    }
}

TEST_F(DetailPageTest, OpenFileFormsWithAndWithoutTheOpenFilePagesState) {
    scripted::UserDetails details = Details();
    details.openFiles = scripted::Names{std::string("/vol/a.doc"), std::string("/vol/b.txt")};
    scripted::StageUserDetails(26, details);
    const std::string form = "<FORM METHOD=POST ACTION=\"/afpcons/AFPCloseFiles/0000001a\" "
                             "onsubmit=\"javascript:return closeThisFile();\" name=\"filenames\" >";
    const std::string fromList = PageBody(Get("/afpcons/1A").body);
    const std::string expected =
        "<tr class=\"stripelight\"><td align=right>Open Files</td>" + form +
        "<INPUT TYPE=\"hidden\" NAME=\"FILENAME\" VALUE=\"<filename>/vol/a.doc</filename>\" "
        "><td>/vol/a.doc</td><td><input type=\"submit\" value=\"Close File\"></td></tr></form>\n" +
        form +
        "<INPUT TYPE=\"hidden\" NAME=\"FILENAME\" VALUE=\"<filename>/vol/b.txt</filename>\" ><tr "
        "class=\"stripedark\"><td ></td><td>/vol/b.txt</td><td><input type=\"submit\" "
        "value=\"Close File\"></td></tr></form>\n</TABLE>";
    EXPECT_NE(fromList.find(expected), std::string::npos) << fromList;

    const std::string fromOfm = PageBody(
        Post("/afpcons/ConnectionNumber/0000001A", "volume=V&sorttype=FileName&FILTER=*.txt").body);
    const std::string state = "<INPUT TYPE=\"hidden\" NAME=\"volume\" VALUE=\"V\" ><INPUT "
                              "TYPE=\"hidden\" NAME=\"sorttype\" VALUE=\"FileName\" ><input "
                              "name=\"FILTER\" type=\"hidden\" value=\"*.txt\" ></td>";
    EXPECT_EQ(CountOf(fromOfm, state), 2u) << fromOfm;
    EXPECT_EQ(CountOf(fromOfm, "value=\"Close File\""), 2u);
}

TEST_F(DetailPageTest, ErrorAnswersAndTheirBodies) {
    scripted::StageUserDetails(26, Details());
    struct Case {
        const char *target;
        int status;
        bool asksLibrary;
    } cases[] = {
        {"/afpcons/000000001", 400, false}, // nine characters
        {"/afpcons/1g", 400, false},
        {"/afpcons/helpme", 400, false},
        {"/afpcons/AFPCloseFiles", 400, false}, // an empty connection component
    };
    for (const Case &c : cases) {
        scripted::Reset();
        scripted::StageUserDetails(26, Details());
        const hxm::Response response = Get(c.target);
        EXPECT_EQ(response.status, c.status) << c.target;
        EXPECT_EQ(response.methodResult, c.status) << c.target;
        EXPECT_EQ(response.body, "<HTML><BODY><H1>Http Error Code " + std::to_string(c.status) +
                                     "</H1></BODY></HTML>\n")
            << c.target;
        EXPECT_EQ(CallsOf("Ext_GetUserDetails").empty(), !c.asksLibrary) << c.target;
    }
}

TEST_F(DetailPageTest, ConnectionZeroIsLookedUp) {
    scripted::UserDetails details = Details();
    scripted::StageUserDetails(0, details);
    const hxm::Response response = Get("/afpcons/00000000");
    EXPECT_EQ(response.methodResult, 0);
    EXPECT_NE(response.body.find("<td align=right>Connection</td><td>0</td>"), std::string::npos);
}

TEST_F(DetailPageTest, AnswersTheDispatcherNeverAsksFor) {
    g_display = Export<DisplayFunction>("_Z26DisplaySpecifiedConnectionPviiiPKcS1_S1_S1_S1_");
    ASSERT_NE(g_display, nullptr);
    HxmServiceGroup group = {0, 0, "Tests"};
    int outCode = 0;
    ASSERT_NE(RegisterServiceMethodEx("Display test", "dsctest", 7, &group, 0, 0, DisplayTestMethod,
                                      0, &outCode),
              0);
    scripted::StageUserDetails(0, Details());
    static const char zero[] = "\x08"
                               "00000000";
    struct Case {
        int authorised, allowZero;
        int status;
        const char *body; // null: the host's own answer
    } cases[] = {
        {0, 1, 401, nullptr},
        {1, 0, 401, "<HTML><BODY><H1>Http Error Code 401</H1></BODY></HTML>\n"},
        {1, 1, 200, nullptr},
    };
    for (const Case &c : cases) {
        g_authorised = c.authorised;
        g_allowZero = c.allowZero;
        g_component = zero;
        const hxm::Response response = Get("/dsctest");
        EXPECT_EQ(response.status, c.status) << c.authorised << c.allowZero;
        if (c.body != nullptr) {
            EXPECT_EQ(response.body, c.body);
        }
        if (c.status == 401) {
            EXPECT_EQ(response.methodResult, 401);
        }
    }
    DeRegisterServiceMethod("Display test", "dsctest", 7, DisplayTestMethod, 0, &outCode);
    // Only the last case asked the library.
    EXPECT_EQ(CallsOf("Ext_GetUserDetails").size(), 1u);
}

TEST_F(DetailPageTest, GermanStateWordsAndEmptyOnes) {
    // A fresh root: the C library keeps what it found under a folder once.
    LoadPlugin(true);
    scripted::UserDetails details = Details();
    scripted::StageUserDetails(26, details);
    details.loginStatus = "";
    details.privileges = "";
    scripted::StageUserDetails(27, details);
    const std::string translated = PageBody(Get("/afpcons/1A").body);
    EXPECT_NE(translated.find("<td align=right>Anmeldestatus</td><td>Angemeldet</td></tr>"),
              std::string::npos)
        << translated;
    EXPECT_NE(translated.find("<td align=right>Berechtigungen</td><td>Supervisor</td></tr>"),
              std::string::npos);
    const std::string empty = PageBody(Get("/afpcons/1B").body);
    EXPECT_NE(empty.find("<td align=right>Anmeldestatus</td><td></td></tr>"), std::string::npos)
        << empty;
    EXPECT_NE(empty.find("<td align=right>Berechtigungen</td><td></td></tr>"), std::string::npos);
}

} // namespace

} // namespace hxm_test
