/*
 * The connection list page, byte for byte where its text is fixed: the
 * headings of each sort, tick boxes, names, counters, stripes, the "No
 * items." row and the script blocks.
 */
#include <string>
#include <vector>

#include "tests/pages/connections/connections_fixture.h"
#include "tests/support/page_text.h"

namespace hxm_test {
namespace {

const char kFormStart[] = "<FORM method=POST action=\"/afpcons/AFPCloseConnections\" "
                          "onsubmit=\"javascript:return closeConn(this)\" ><table border=0>";

std::string Heading(const char *open, const char *label, const char *keyword, const char *text,
                    const char *end, bool sorted) {
    if (sorted)
        return std::string(open) + label + "    <img border=0 alt='" + text +
               "' src='/opt/zentra/hxm/sorted.png'></TD>" + end + "\n";
    return std::string(open) + label + "    <A HREF=/afpcons/" + keyword + "><img border=0 alt='" +
           text + "' src='/opt/zentra/hxm/sortdown.png'></a></TD>" + end + "\n";
}

struct HeadingCase {
    const char *path;
    int sorted; // column index 0..4 in page order, or -1
};

class ListPageTest : public ConnectionsTest {};

TEST_F(ListPageTest, HeadingsMarkTheSortColumnAndLinkTheOthers) {
    const HeadingCase cases[] = {{"/afpcons", 0},
                                 {"/afpcons/ConnectionNumber", 0},
                                 {"/afpcons/connectionname", 1},
                                 {"/afpcons/FSACTIVITY", 2},
                                 {"/afpcons/KdpRequest", 3},
                                 {"/afpcons/LoginTime", 4}};
    for (const HeadingCase &c : cases) {
        const std::string body = PageBody(Get(c.path).body);
        const std::string expected =
            Heading("<TD>", "Connection", "ConnectionNumber",
                    c.sorted == 0 ? "Sorted By Connection Number" : "Sort By Connection Number", "",
                    c.sorted == 0) +
            Heading("<TD align=center>", "Name", "ConnectionName",
                    c.sorted == 1 ? "Sorted By Name" : "Sort By Name", "", c.sorted == 1) +
            Heading("<TD align=center>", "Reads & Writes (bytes)", "FSActivity",
                    c.sorted == 2 ? "Sorted By Reads & Writes (bytes)"
                                  : "Sort By Reads & Writes (bytes)",
                    "", c.sorted == 2) +
            Heading("<TD align=center>", "AFP Requests", "KdpRequest",
                    c.sorted == 3 ? "Sorted By Requests" : "Sort By Requests", "", c.sorted == 3) +
            Heading("<TD align=center>", "Login Time", "LoginTime",
                    c.sorted == 4 ? "Sorted By Login Time" : "Sort By Login Time", "</TR>",
                    c.sorted == 4);
        EXPECT_NE(body.find(expected), std::string::npos) << c.path << "\n" << body;
    }
    // The "Login Time" cell as the sorted column, exactly.
    EXPECT_NE(Get("/afpcons/LoginTime")
                  .body.find("<TD align=center>Login Time    <img border=0 alt='Sorted By Login "
                             "Time' src='/opt/zentra/hxm/sorted.png'></TD></TR>\n"),
              std::string::npos);
}

TEST_F(ListPageTest, RowsWithClearingPower) {
    scripted::Connection first = scripted::MakeConnection(26, "bob");
    first.bytesRead = 1234567;
    first.bytesWritten = 1000;
    first.requestCount = 4294967295u;
    scripted::StageConnections(
        {{first, scripted::MakeConnection(0, "zero"), scripted::MakeConnection(3, "carol")}});
    const std::string body = PageBody(Get("/afpcons").body);
    const std::string head =
        std::string(kFormStart) +
        "<tr class=\"tablehead\"><TD align=center colspan=6>AFP Connection List</TD></tr>"
        "<TR class=\"tablesubhead\" NOWRAP><TD align=center><input type=\"checkbox\" "
        "NAME=CLOSE_ALL title=\"Select All\" id=noid onclick='checkAndUncheckAll(this)'></TD>\n";
    EXPECT_EQ(body.compare(0, head.size(), head), 0) << body;
    // Sorted by number: 0, 3, 26; stripes light, dark, light; "*" names.
    const std::string zero = "\n<TR class=\"stripelight\"><TD align=center>&nbsp;</TD><td "
                             "class=\"tablecol\" align=center>0</td><td class=\"tablecol\" "
                             "align=left><A HREF=/afpcons/ConnectionNumber/00000000>*zero</A></td>";
    const std::string three =
        "\n<TR class=\"stripedark\"><TD align=center><input type=\"checkbox\" id=cb1 "
        "NAME=\"CONNECTIONID\" VALUE=\"<closeconn>3</closeconn>\"></TD><td class=\"tablecol\" "
        "align=center>3</td><td class=\"tablecol\" align=left><A "
        "HREF=/afpcons/ConnectionNumber/00000003>*carol</A></td>";
    const std::string bob =
        "\n<TR class=\"stripelight\"><TD align=center><input type=\"checkbox\" id=cb1 "
        "NAME=\"CONNECTIONID\" VALUE=\"<closeconn>26</closeconn>\"></TD><td class=\"tablecol\" "
        "align=center>26</td><td class=\"tablecol\" align=left><A "
        "HREF=/afpcons/ConnectionNumber/0000001A>*bob</A></td><td class=\"tablecol\" "
        "align=center>1,235,567</td><td class=\"tablecol\" align=center>4,294,967,295</td><td "
        "align=right>";
    const size_t at0 = body.find(zero), at3 = body.find(three), at26 = body.find(bob);
    ASSERT_NE(at0, std::string::npos) << body;
    ASSERT_NE(at3, std::string::npos) << body;
    ASSERT_NE(at26, std::string::npos) << body;
    EXPECT_LT(at0, at3);
    EXPECT_LT(at3, at26);
    EXPECT_EQ(CountOf(body, "</td></TR>"), 3u);
    EXPECT_EQ(CountOf(body, "No items."), 0u);
    const std::string tail =
        "</table><table><tr><td align=left><input type=\"button\" value=\"Refresh\" "
        "onClick=\"location.href='/afpcons'\"></td><td align=left><input type=\"submit\" "
        "value=\"Close Connections \"></td></tr></table></FORM></BODY></HTML>\n";
    EXPECT_EQ(body.substr(body.size() - tail.size()), tail);
}

TEST_F(ListPageTest, WithoutClearingPowerNoTickBoxes) {
    int *allowClearConn = plugin_->Function<int *>("AllowClearConn");
    ASSERT_NE(allowClearConn, nullptr);
    scripted::StageConnections({{scripted::MakeConnection(5, "eve")}});
    struct Case {
        unsigned flags;
        int allow;
        bool boxes;
    } cases[] = {{0x9, 1, true}, {0x409, 1, true}, {0x9, 0, true}, {0x409, 0, false}};
    for (const Case &c : cases) {
        *allowClearConn = c.allow;
        const std::string body = PageBody(Get("/afpcons", c.flags).body);
        EXPECT_EQ(body.find("colspan=6") != std::string::npos, c.boxes) << c.flags;
        EXPECT_EQ(body.find("colspan=5") != std::string::npos, !c.boxes) << c.flags;
        EXPECT_EQ(body.find("NAME=CLOSE_ALL") != std::string::npos, c.boxes);
        EXPECT_EQ(body.find("CONNECTIONID") != std::string::npos, c.boxes);
        if (!c.boxes) {
            EXPECT_NE(body.find("\n<TR class=\"stripelight\"><td class=\"tablecol\" "
                                "align=center>5</td>"),
                      std::string::npos)
                << body;
        }
    }
    *allowClearConn = 1;
}

TEST_F(ListPageTest, NoItemsRowOnlyWhenNoListCame) {
    const std::string noItems = "</TD></TR>\n<tr><td align=left colspan=4 "
                                "style=\"font-size:13px;color:black;\">No items.</td></tr></table>";
    struct Case {
        const char *what;
        scripted::ConnectionList list;
        bool noItemsRow;
    } cases[] = {
        // A failed list says so in its place (see the fault injection tests).
        {"no list", {{}, std::nullopt, AFPSTAT_ERR_STORE, true}, false},
        {"no list, no failure", {{}, std::nullopt, AFPSTAT_OK, true}, true},
        {"nothing connected", {{}, 0}, true},
        {"a list with count 0", {{scripted::MakeConnection(1, "a")}, 0}, false},
    };
    for (const Case &c : cases) {
        scripted::Reset();
        scripted::StageConnections(c.list);
        const std::string body = PageBody(Get("/afpcons").body);
        EXPECT_EQ(body.find(noItems) != std::string::npos, c.noItemsRow) << c.what << body;
        EXPECT_EQ(CountOf(body, "<TR class=\"stripe"), 0u) << c.what;
        EXPECT_NE(body.find("value=\"Close Connections \""), std::string::npos) << c.what;
    }
}

TEST_F(ListPageTest, ScriptBlocks) {
    const std::string page = Get("/afpcons").body;
    EXPECT_EQ(CountOf(page, "<SCRIPT type=\"text/javascript\">\n<!--\n"), 3u);
    EXPECT_EQ(CountOf(page, "//--></SCRIPT>\n"), 3u);
    const char *lines[] = {
        "function ConfirmClearConn(ClearURL, ConnNumber)\n{\n    conn = parseInt(ConnNumber);\n"
        "    var msg = 'Closes all files opened by this connection. User(s) might lose data. Do "
        "you want to continue?  '\n",
        "    var msg = 'Are you sure you want to clear ALL Not Logged In connections, doing so "
        "could cause applications errors '\n  \n",
        "}\n\n\nfunction closeThisFile(ClearURL)\n{\n    var msg = 'Closing a file will close the "
        "file for all connections. Do you want to continue? '\n  \n",
        "                     var msg = 'Closes all files opened by this connection. User(s) might "
        "lose data. Do you want to continue? '\n  \n",
        "              var msg = 'No connection selected. Please select the connection(s), then "
        "click Close Connections.'\n  \n",
        "    return false;\n}\n\n//--></SCRIPT>\n</HEAD>",
    };
    for (const char *line : lines)
        EXPECT_NE(page.find(line), std::string::npos) << line;
}

TEST_F(ListPageTest, GermanPageKeepsTranslatedScriptStringsIntact) {
    // A fresh root: the C library keeps what it found under a folder once.
    LoadPlugin(true);
    scripted::StageConnections({{scripted::MakeConnection(1, "a")}});
    const std::string page = Get("/afpcons").body;
    EXPECT_NE(page.find("    var msg = 'Keine Verbindung ausgew\xc3\xa4hlt. W\xc3\xa4hlen Sie die "
                        "Verbindung(en) aus und klicken Sie dann auf \xe2\x80\x9eVerbindungen "
                        "trennen\xe2\x80\x9c.'\n"),
              std::string::npos);
    EXPECT_NE(page.find("value=\"Verbindungen trennen \""), std::string::npos);
    EXPECT_NE(page.find("<TD>Verbindung    <img border=0 alt='Nach Verbindungsnummer sortiert'"),
              std::string::npos);
}

} // namespace

} // namespace hxm_test
