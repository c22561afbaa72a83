/*
 * Fault injection: each host call and each monitoring library call made to
 * fail in turn. Every request must still end with a clean page or error
 * answer, and every list or record the library handed out must be freed.
 */
#include <functional>
#include <string>
#include <vector>

#include "tests/pages/connections/connections_fixture.h"
#include "tests/support/files.h"
#include "tests/support/page_text.h"

namespace hxm_test {
namespace {

struct FaultRequest {
    const char *what;
    std::string method;
    std::string target;
    std::string body;
};

std::vector<FaultRequest> Requests() {
    return {
        {"list", "GET", "/afpcons", ""},
        {"sorted list", "GET", "/afpcons/ConnectionName", ""},
        {"detail", "GET", "/afpcons/0000001A", ""},
        {"help", "GET", "/afpcons/help", ""},
        {"clear boxes", "POST", "/afpcons/AFPCloseConnections",
         "CONNECTIONID=%3Ccloseconn%3E26%3C%2Fcloseconn%3E&CONNECTIONID=%3Ccloseconn%3E3%3C%"
         "2Fcloseconn%3E"},
        {"clear marker", "GET",
         PathEncode("/afpcons/AFPCloseConnections/<closeconn>26</closeconn>"), ""},
        {"close names", "POST", "/afpcons/AFPCloseFiles/0000001a",
         "FILENAME=%3Cfilename%3E%2Fv%2Fa%3C%2Ffilename%3E&volume=V&sorttype=UserName&FILTER="},
        {"close all", "GET",
         PathEncode("/afpcons/AFPCloseFiles/0000001a/<closeallfiles>26</closeallfiles>"), ""},
    };
}

class FaultInjectionTest : public ConnectionsTest {
  protected:
    void Stage() {
        scripted::Connection a;
        a.connectionNumber = 26;
        a.userName = "bob";
        scripted::Connection b;
        b.connectionNumber = 3;
        b.userName = "carol";
        scripted::StageConnections({{a, b}});
        scripted::UserDetails details;
        details.userName = "bob";
        details.securityEquivalences = scripted::Names{std::string("admins")};
        details.openFiles = scripted::Names{std::string("/v/a"), std::string("/v/b")};
        scripted::StageUserDetails(26, details);
    }

    hxm::Response Run(const FaultRequest &r, unsigned failures) {
        return r.method == "POST" ? Post(r.target, r.body, 0x9, failures)
                                  : Get(r.target, 0x9, failures);
    }

    // A clean answer: a known status (303: the page after an action) with a
    // whole page or error body.
    static void ExpectClean(const hxm::Response &response, const std::string &what) {
        EXPECT_TRUE(response.status == 200 || response.status == 303 || response.status == 400 ||
                    response.status == 401 || response.status == 500)
            << what << " status " << response.status;
        if ((response.status == 200 || response.status == 303) && response.methodResult != 500) {
            EXPECT_NE(response.body.find("</HTML>"), std::string::npos)
                << what << "\n"
                << response.body.substr(0, 2000);
        }
        EXPECT_EQ(scripted::LiveCount(), 0u)
            << what << ::testing::PrintToString(scripted::LiveHandouts());
    }
};

TEST_F(FaultInjectionTest, EachHostCallFails) {
    const unsigned failures[] = {hxm::kFailRequestMethod, hxm::kFailPathBuffers,
                                 hxm::kFailPostDataBuffer, hxm::kFailSuccessfulResponse};
    for (const FaultRequest &r : Requests()) {
        for (unsigned failure : failures) {
            scripted::Reset();
            Stage();
            const hxm::Response response = Run(r, failure);
            ExpectClean(response, std::string(r.what) + " failure " + std::to_string(failure));
            if (failure == hxm::kFailPathBuffers) { // 400, shown as "Bad Http request"
                EXPECT_NE(response.body.find("Bad Http request"), std::string::npos) << r.what;
            }
            if (failure == hxm::kFailRequestMethod && std::string(r.what) != "help") {
                EXPECT_NE(response.body.find("Http request missing data"), std::string::npos)
                    << r.what;
            }
        }
    }
}

TEST_F(FaultInjectionTest, EachLibraryCallFails) {
    for (const FaultRequest &r : Requests()) {
        // How many library calls the request makes when nothing fails.
        scripted::Reset();
        Stage();
        Run(r, hxm::kFailNone);
        const size_t calls = scripted::Calls().size();
        for (unsigned n = 1; n <= calls; ++n) {
            for (int status : {AFPSTAT_ERR_STORE, AFPSTAT_ERR_NO_MEMORY}) {
                scripted::Reset();
                Stage();
                scripted::FailCall(n, status);
                const hxm::Response response = Run(r, hxm::kFailNone);
                ExpectClean(response, std::string(r.what) + " call " + std::to_string(n));
                EXPECT_TRUE(scripted::Errors().empty()) << r.what;
            }
        }
    }
}

TEST_F(FaultInjectionTest, ALibraryThatFailsButStillAnswersIsUsed) {
    scripted::UserDetails details;
    details.userName = "bob";
    details.status = AFPSTAT_ERR_STORE;
    scripted::StageUserDetails(26, details);
    const hxm::Response response = Get("/afpcons/0000001A");
    EXPECT_EQ(response.methodResult, 0);
    EXPECT_NE(response.body.find("<font size=+1>bob</font>"), std::string::npos);
}

// `body` without its first `text`; "" (and a failure) when it has none.
std::string Without(const std::string &body, const std::string &text) {
    const size_t at = body.find(text);
    EXPECT_NE(at, std::string::npos) << text << "\n" << body;
    return at == std::string::npos ? "" : body.substr(0, at) + body.substr(at + text.size());
}

// A failed list or a refused action adds its one line (or puts it in place
// of "No items."); the rest of the page is what the same request shows when
// everything works.
TEST_F(FaultInjectionTest, AFailureAddsOneLineAndNothingElse) {
    const std::string outcome =
        "<DIV CLASS=NORMAL id=\"actionOutcome\" style=\"color:#b00000;font-weight:bold;\">";
    const std::string done = "<DIV CLASS=NORMAL id=\"actionDone\" style=\"font-weight:bold;\">";
    struct Case {
        const char *what;
        FaultRequest request;
        std::function<void()> working, failure;
        std::string replaced; // in the working page; "" when the line is only added
        std::string added;
    } cases[] = {
        {"list unreadable", Requests()[0], [] { scripted::StageConnections({}); },
         [] {
             scripted::StageConnections({{}, std::nullopt, AFPSTAT_ERR_STORE, true});
         },
         "<tr><td align=left colspan=4 style=\"font-size:13px;color:black;\">No items.</td></tr>",
         "<tr><td align=left colspan=4 id=\"listFailure\" "
         "style=\"font-size:13px;color:#b00000;\">The AFP monitoring service could not be read "
         "(status 1: the monitoring store is missing, unreadable or busy).</td></tr>"},
        {"clear refused", Requests()[4], [] {},
         [] { scripted::SetClearOneConnectionStatus(26, AFPSTAT_ERR_NOT_FOUND); },
         done + "Cleared: 2 connections</DIV>\n",
         done + "Cleared: connection 3</DIV>\n" + outcome +
             "Connections not cleared: 26 (status 2: no longer there)</DIV>\n"},
        {"close all refused", Requests()[7], [] {},
         [] { scripted::SetCloseFileByIDStatus(AFPSTAT_ERR_STORE); },
         done + "Closed all files of connection 26</DIV>\n",
         outcome + "Files not closed: all files of connection 26 (status 1: the monitoring "
                   "store is missing, unreadable or busy)</DIV>\n"},
        {"close refused", Requests()[6], [] {},
         [] { scripted::SetCloseFileByFileNameStatus(AFPSTAT_ERR_ARGUMENT); },
         done + "Closed: 1 file</DIV>\n",
         outcome + "Files not closed: /v/a (status 4: a malformed request)</DIV>\n"},
    };
    for (const Case &c : cases) {
        scripted::Reset();
        Stage();
        c.working();
        const hxm::Response working = Run(c.request, hxm::kFailNone);
        scripted::Reset();
        Stage();
        c.failure();
        const hxm::Response failed = Run(c.request, hxm::kFailNone);
        EXPECT_EQ(failed.status, working.status) << c.what;
        const std::string rest = Without(failed.body, c.added);
        EXPECT_EQ(rest, c.replaced.empty() ? working.body : Without(working.body, c.replaced))
            << c.what;
    }
    EXPECT_NE(ReadFile(root_->LogFile())
                  .find("action outcome: asked 2: clear connection 26, clear connection 3; "
                        "failed 1: clear connection 26 (status 2: no longer there)"),
              std::string::npos)
        << ReadFile(root_->LogFile());
}

// A connection without details answers 500 with a page that says why and
// links back to the list it came from.
TEST_F(FaultInjectionTest, AMissingConnectionSaysWhyAndLinksBack) {
    struct Case {
        const char *what;
        std::function<void()> stage;
        std::string sentence;
    } cases[] = {
        {"gone", [] {}, "Connection 27 no longer exists."},
        {"unreadable",
         [] {
             scripted::UserDetails details;
             details.status = AFPSTAT_ERR_STORE;
             details.nullRecord = true;
             scripted::StageUserDetails(27, details);
         },
         "The AFP monitoring service could not be read (status 1: the monitoring store is "
         "missing, unreadable or busy)."},
    };
    for (const Case &c : cases) {
        scripted::Reset();
        c.stage();
        const hxm::Response response = Get("/afpcons/ConnectionName/0000001B");
        EXPECT_EQ(response.status, 500) << c.what;
        EXPECT_EQ(response.body, "<HTML><BODY><H1>Http Error Code 500</H1><P "
                                 "id=\"missingConnection\">" +
                                     c.sentence +
                                     "</P><A HREF=\"/afpcons/ConnectionName\">[Back to "
                                     "Connections]</A></BODY></HTML>\n")
            << c.what;
    }
}

} // namespace

} // namespace hxm_test
