/*
 * The connections path grammar and actions: help tokens, sort keywords in
 * any case, connection components, the clear and close commands with posted
 * boxes and with marker pairs, request methods; the scriptable library
 * records which clear and close calls were made, in order.
 */
#include <string>
#include <vector>

#include "tests/pages/connections/connections_fixture.h"
#include "tests/support/concurrent.h"
#include "tests/support/page_text.h"

namespace hxm_test {
namespace {

enum class Page { List, Detail, Help, HelpInfo, Error, BadRequest400, Denied };

struct DispatchCase {
    const char *what;
    std::string method; // GET, POST (form), PUT, POST-JSON
    std::string target; // before encoding
    std::string body;
    Page page;
    std::vector<std::string> actions;   // "clear N", "closeid N", "close PATH"
    const char *sortedLabel = nullptr;  // list page: the column marked sorted
    std::vector<std::string> outcome{}; // each stands in the page's outcome line
};

// Paths of 511 bytes, as a listed record holds them: one cut from a longer
// open file's path, one of a file that has gone.
const std::string kCutPath = "/v/" + std::string(508, 'p');
const std::string kGonePath = "/g/" + std::string(508, 'g');

std::vector<std::string> Actions() {
    std::vector<std::string> actions;
    for (const scripted::Call &call : scripted::Calls()) {
        if (call.function == "Ext_ClearOneConnection")
            actions.push_back("clear " + std::to_string(call.number));
        else if (call.function == "Ext_CloseFileByID")
            actions.push_back("closeid " + std::to_string(call.number));
        else if (call.function == "Ext_CloseFileByFileName")
            actions.push_back("close " + call.text);
    }
    return actions;
}

Page Kind(const hxm::Response &response) {
    const std::string &body = response.body;
    if (body.rfind("<HTML><BODY><H1>Http Error Code 400", 0) == 0)
        return Page::BadRequest400;
    if (body.find("Unauthorized access denied") != std::string::npos)
        return Page::Denied;
    if (body.find("GRPstatus_critical.png") != std::string::npos)
        return Page::Error;
    if (body.find("Use this page to view details of a specific AFP connection") !=
        std::string::npos)
        return Page::HelpInfo;
    if (body.find("The AFP Connections page displays") != std::string::npos)
        return Page::Help;
    if (body.find("<font size=+1>") != std::string::npos)
        return Page::Detail;
    if (body.find("action=\"/afpcons/AFPCloseConnections\"") != std::string::npos)
        return Page::List;
    return Page::Error;
}

class DispatchTest : public ConnectionsTest {
  protected:
    hxm::Response Run(const DispatchCase &c) {
        hxm::Request request;
        request.target = PathEncode(c.target);
        request.body = c.body;
        if (c.method == "POST") {
            request.method = "POST";
            request.contentType = "application/x-www-form-urlencoded";
        } else if (c.method == "POST-JSON") {
            request.method = "POST";
            request.contentType = "application/json";
        } else {
            request.method = c.method;
        }
        return hxm::HandleRequest(request);
    }
};

const char kTwoBoxes[] = "CLOSE_ALL=on&CONNECTIONID=%3Ccloseconn%3E7%3C%2Fcloseconn%3E&"
                         "CONNECTIONID=%3Ccloseconn%3E12%3C%2Fcloseconn%3E";

TEST_F(DispatchTest, PathGrammarAndActions) {
    const DispatchCase cases[] = {
        {"plain", "GET", "/afpcons", "", Page::List, {}, "Connection    <img"},
        {"trailing slash is an empty help component", "GET", "/afpcons/", "", Page::Help, {}},
        {"help", "GET", "/afpcons/help", "", Page::Help, {}},
        {"h", "GET", "/afpcons/h", "", Page::Help, {}},
        {"HELP", "GET", "/afpcons/HELP", "", Page::Help, {}},
        {"help info", "GET", "/afpcons/help/_info_", "", Page::HelpInfo, {}},
        {"help other", "GET", "/afpcons/help/other", "", Page::Error, {}},
        {"helpme is a component", "GET", "/afpcons/helpme", "", Page::BadRequest400, {}},
        {"help before the method", "PUT", "/afpcons/help", "", Page::Help, {}},
        {"sort lower case", "GET", "/afpcons/connectionname", "", Page::List, {}, "Name    <img"},
        {"sort upper case",
         "GET",
         "/afpcons/KDPREQUEST",
         "",
         Page::List,
         {},
         "AFP Requests    <img"},
        {"sort with a longer component",
         "GET",
         "/afpcons/LoginTimes",
         "",
         Page::List,
         {},
         "Login Time    <img"},
        {"a short component is no keyword", "GET", "/afpcons/Login", "", Page::BadRequest400, {}},
        {"detail", "GET", "/afpcons/LoginTime/0000001A", "", Page::Detail, {}},
        {"two components that are no command", "GET", "/afpcons/0000001A/x", "", Page::Error, {}},
        {"unknown method", "PUT", "/afpcons", "", Page::Error, {}},
        {"other post", "POST-JSON", "/afpcons", "{}", Page::Error, {}},
        {"posted boxes",
         "POST",
         "/afpcons/AFPCloseConnections",
         kTwoBoxes,
         Page::List,
         {"clear 7", "clear 12"}},
        {"posted boxes in any case",
         "POST",
         "/afpcons/afpcloseconnections",
         kTwoBoxes,
         Page::List,
         {"clear 7", "clear 12"}},
        {"posted boxes after a sort keyword",
         "POST",
         "/afpcons/LoginTime/AFPCloseConnections",
         kTwoBoxes,
         Page::List,
         {"clear 7", "clear 12"},
         "Login Time    <img"},
        {"no digit carries over",
         "POST",
         "/afpcons/AFPCloseConnections",
         "CONNECTIONID=%3Ccloseconn%3E123456%3C%2Fcloseconn%3E&CONNECTIONID=%3Ccloseconn%3E7%3C%"
         "2Fcloseconn%3E",
         Page::List,
         {"clear 123456", "clear 7"}},
        {"numbers as the boxes write them: seven digits, negative past 2^31",
         "POST",
         "/afpcons/AFPCloseConnections",
         "CONNECTIONID=%3Ccloseconn%3E1234567%3C%2Fcloseconn%3E&CONNECTIONID=%3Ccloseconn%3E-"
         "1294967296%3C%2Fcloseconn%3E&CONNECTIONID=%3Ccloseconn%3E8%3C%2Fcloseconn%3E",
         Page::List,
         {"clear 1234567", "clear 3000000000", "clear 8"}},
        {"what is no number is named, not dropped",
         "POST",
         "/afpcons/AFPCloseConnections",
         "CONNECTIONID=%3Ccloseconn%3E12a%3C%2Fcloseconn%3E&CONNECTIONID=%3Ccloseconn%3E%3C%"
         "2Fcloseconn%3E&CONNECTIONID=%3Ccloseconn%3E4294967296%3C%2Fcloseconn%3E&CONNECTIONID="
         "%3Ccloseconn%3E-2147483649%3C%2Fcloseconn%3E",
         Page::List,
         {},
         nullptr,
         {"Connections not cleared: not understood: 12a, not understood: , not understood: "
          "4294967296, not understood: -2147483649"}},
        {"marker pair in the path",
         "GET",
         "/afpcons/AFPCloseConnections/<closeconn>26</closeconn>",
         "",
         Page::List,
         {"clear 26"}},
        {"path markers win over the body",
         "POST",
         "/afpcons/AFPCloseConnections/<closeconn>26</closeconn>",
         kTwoBoxes,
         Page::List,
         {"clear 26"}},
        {"no body and no markers", "GET", "/afpcons/AFPCloseConnections", "", Page::List, {}},
        {"posted file names",
         "POST",
         "/afpcons/AFPCloseFiles/0000001a",
         "FILENAME=%3Cfilename%3E%2Fv%2Fa%3C%2Ffilename%3E&FILENAME=%3Cfilename%3E%2Fv%2Fb+c%3C%"
         "2Ffilename%3E",
         Page::Detail,
         {"close /v/a", "close /v/b c"}},
        {"close all files",
         "GET",
         "/afpcons/AFPCloseFiles/0000001a/<closeallfiles>26</closeallfiles>",
         "",
         Page::Detail,
         {"closeid 26"}},
        {"close all files from the open-file pages",
         "POST",
         "/afpcons/AFPCloseFiles/0000001a/<closeallfiles>26</closeallfiles>",
         "volume=VOL1&sorttype=UserName&FILTER=",
         Page::Detail,
         {"closeid 26"}},
        {"only the start marker closes nothing",
         "GET",
         "/afpcons/AFPCloseFiles/0000001a/<closeallfiles>26",
         "",
         Page::Detail,
         {},
         nullptr,
         {"Files not closed: not understood: 26"}},
        {"a connection with no open files is no gone one",
         "GET",
         "/afpcons/AFPCloseFiles/0000001a/<closeallfiles>28</closeallfiles>",
         "",
         Page::Detail,
         {"closeid 28"},
         nullptr,
         {"Files not closed: all files of connection 28 (no open files)"}},
        {"close all files of a gone connection",
         "GET",
         "/afpcons/AFPCloseFiles/0000001a/<closeallfiles>29</closeallfiles>",
         "",
         Page::Detail,
         {"closeid 29"},
         nullptr,
         {"Files not closed: all files of connection 29 (status 2: no longer there)"}},
        {"a cut path closes nothing, not even the file it names; a gone one is no longer there",
         "POST",
         "/afpcons/AFPCloseFiles/0000001a",
         "FILENAME=%3Cfilename%3E" + kCutPath + "%3C%2Ffilename%3E&FILENAME=%3Cfilename%3E" +
             kGonePath + "%3C%2Ffilename%3E",
         Page::Detail,
         {"close " + kGonePath},
         nullptr,
         {kCutPath + " (path too long to close by name), " + kGonePath +
          " (status 2: no longer there)"}},
        {"only the end marker closes nothing",
         "GET",
         "/afpcons/AFPCloseFiles/0000001a/26</closeallfiles>",
         "",
         Page::Detail,
         {}},
        {"close all files of a connection past 2^31",
         "GET",
         "/afpcons/AFPCloseFiles/0000001a/<closeallfiles>-1294967296</closeallfiles>",
         "",
         Page::Detail,
         {"closeid 3000000000"}},
        {"no connection component",
         "POST",
         "/afpcons/AFPCloseFiles",
         "FILENAME=%3Cfilename%3E%2Fv%2Fa%3C%2Ffilename%3E",
         Page::BadRequest400,
         {"close /v/a"}},
    };
    scripted::UserDetails details;
    details.userName = "bob";
    scripted::OpenFileList longer;
    longer.records.push_back({"bob", 26, {kCutPath + "/and/more", kCutPath}});
    for (const DispatchCase &c : cases) {
        scripted::Reset();
        scripted::StageUserDetails(26, details);
        // 28 holds no file; 29 and the other 511-byte path are gone.
        scripted::StageUserDetails(28, details);
        for (uint32_t number : {28u, 29u})
            scripted::SetCloseFileByIDStatus(number, AFPSTAT_ERR_NOT_FOUND);
        scripted::SetCloseFileByFileNameStatus(kGonePath, AFPSTAT_ERR_NOT_FOUND);
        scripted::StageVolumes({{"VOL"}});
        scripted::StageOpenFiles("VOL", longer);
        const hxm::Response response = Run(c);
        EXPECT_EQ(static_cast<int>(Kind(response)), static_cast<int>(c.page))
            << c.what << "\n"
            << response.body.substr(0, 3000);
        EXPECT_EQ(Actions(), c.actions) << c.what;
        const std::string line = Between(response.body, "id=\"actionOutcome\"", "</DIV>");
        for (const std::string &piece : c.outcome)
            EXPECT_NE(line.find(piece), std::string::npos) << c.what << "\n" << line;
        if (c.sortedLabel != nullptr) {
            EXPECT_NE(response.body.find(std::string(c.sortedLabel) + " border=0 alt='Sorted"),
                      std::string::npos)
                << c.what;
        }
        EXPECT_EQ(scripted::LiveCount(), 0u) << c.what;
    }
}

TEST_F(DispatchTest, AccessFlags) {
    struct Case {
        unsigned flags;
        bool allowed;
    } cases[] = {{0x9, true},  {0xA, true},  {0x10000008, true}, {0x8, false},
                 {0x3, false}, {0x1, false}, {0x4000000C, false}};
    for (const Case &c : cases) {
        // Even a close request is refused before anything is done.
        const hxm::Response response =
            Get(PathEncode("/afpcons/AFPCloseConnections/<closeconn>3</closeconn>"), c.flags);
        EXPECT_EQ(response.body.find("Unauthorized access denied") == std::string::npos, c.allowed)
            << std::hex << c.flags;
        EXPECT_EQ(Actions().empty(), !c.allowed);
        scripted::Reset();
    }
}

TEST_F(DispatchTest, OpenFilePageStateReachesTheDetailPage) {
    scripted::UserDetails details;
    details.userName = "bob";
    scripted::StageUserDetails(26, details);
    // Values holding "&" and "=" arrive whole.
    const hxm::Response response =
        Post("/afpcons/ConnectionNumber/0000001A",
             "volume=A%26B%3DC&sorttype=FileName&FILTER=*.d%2Boc&other=1");
    EXPECT_NE(response.body.find("action=\"/afpofm/FileName/A%26B%3DC\" id=\"filterForm\""),
              std::string::npos)
        << response.body;
    EXPECT_NE(response.body.find("type=\"hidden\" value=\"*.d+oc\" />"), std::string::npos);
}

TEST_F(DispatchTest, AValueTooLongForItsFieldIsLeftOut) {
    scripted::UserDetails details;
    details.userName = "bob";
    scripted::StageUserDetails(26, details);
    const std::string longVolume(64, 'v');
    const hxm::Response response =
        Post("/afpcons/0000001A", "volume=" + longVolume + "&sorttype=FileName");
    EXPECT_EQ(response.body.find(longVolume), std::string::npos);
    EXPECT_NE(response.body.find("[Back to Connections]"), std::string::npos);
    const std::string fits(63, 'v');
    const hxm::Response kept = Post("/afpcons/0000001A", "volume=" + fits + "&sorttype=FileName");
    EXPECT_NE(kept.body.find("/afpofm/FileName/" + fits), std::string::npos);
}

TEST_F(DispatchTest, ConcurrentRequestsEachGetTheirWholePage) {
    // Request threads share only constant data and the libraries; under
    // ThreadSanitizer this also shows they do so without a data race.
    scripted::Connection a;
    a.connectionNumber = 26;
    a.userName = "bob";
    scripted::StageConnections({{a}});
    scripted::UserDetails details;
    details.userName = "bob";
    details.openFiles = scripted::Names{std::string("/v/a")};
    scripted::StageUserDetails(26, details);
    const std::string targets[] = {
        "/afpcons/ConnectionName", "/afpcons/0000001A",
        PathEncode("/afpcons/AFPCloseFiles/0000001a/<closeallfiles>26</closeallfiles>")};
    std::vector<std::string> expected;
    for (const std::string &target : targets)
        expected.push_back(Get(target).body);
    for (int count : MismatchesPerThread(4, 30, [&](int t, int i) {
             const size_t which = static_cast<size_t>(t + i) % 3;
             return Get(targets[which]).body != expected[which];
         }))
        EXPECT_EQ(count, 0);
}

} // namespace

} // namespace hxm_test
