/*
 * Failure injection: each host call the area makes, and each monitoring
 * library call a request makes, fails in turn. Every request must still get
 * a whole answer, and every list the library handed out must be freed.
 */
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "tests/pages/openfiles/openfiles_fixture.h"
#include "tests/support/files.h"

namespace hxm_test {
namespace {

class OpenFilesFaultsTest : public OpenFilesPageTest {
  protected:
    void Stage() {
        scripted::StageVolumes({{"VOL1", "VOL2"}});
        scripted::StageOpenFiles("VOL1", {{{"u", 1, {"/a.doc", "/b"}}, {"w", 2, {"/c"}}}});
    }
};

struct Request {
    const char *method;
    const char *target;
    const char *body;
};

const Request kRequests[] = {
    {"GET", "/afpofm", ""},
    {"GET", "/afpofm/UserName/VOL1", ""},
    {"POST", "/afpofm/VOL1", "FILTER=*.doc"},
    {"GET", "/afpofm/help", ""},
    {"GET", "/afpofm/AFPBrowseFile/VOL1/a", ""},
    {"POST", "/afpofm/AFPCloseFiles/VOL1",
     "FILENAME=%3Cfilename%3E%2Fa.doc%3C%2Ffilename%3E&FILENAME=%3Cfilename%3E%2Fc%3C%2Ffilename%"
     "3E"},
    {"POST", "/afpofm/AFPFindFiles", "FINDNAME=a&FINDUSER=u"},
};

hxm::Response Send(const Request &r, unsigned failures) {
    hxm::Request request;
    request.method = r.method;
    request.target = r.target;
    request.failures = failures;
    request.accessFlags = 0x9;
    if (request.method == "POST") {
        request.contentType = "application/x-www-form-urlencoded";
        request.body = r.body;
    }
    return hxm::HandleRequest(request);
}

bool IsHelp(const std::string &target) {
    return target == "/afpofm/help";
}

// A page after closing files is a redirect to itself, its text the body.
int PageStatus(const Request &r) {
    return strstr(r.target, "AFPCloseFiles") != nullptr ? 303 : 200;
}

TEST_F(OpenFilesFaultsTest, EachHostCallFailing) {
    for (const Request &r : kRequests) {
        for (unsigned failure : {hxm::kFailRequestMethod, hxm::kFailPathBuffers,
                                 hxm::kFailPostDataBuffer, hxm::kFailSuccessfulResponse}) {
            scripted::Reset();
            Stage();
            const hxm::Response response = Send(r, failure);
            const std::string what =
                std::string(r.method) + " " + r.target + " failing " + std::to_string(failure);
            EXPECT_EQ(scripted::LiveCount(), 0u) << what;
            switch (failure) {
            case hxm::kFailSuccessfulResponse:
                // A redirect opens its own status line: that call is not needed.
                EXPECT_EQ(response.status, PageStatus(r) == 303 ? 303 : 500) << what;
                EXPECT_EQ(response.methodResult, PageStatus(r) == 303 ? 200 : 500) << what;
                EXPECT_TRUE(ClosedFiles().size() == 0 || std::string(r.method) == "POST") << what;
                break;
            case hxm::kFailPathBuffers:
                EXPECT_EQ(response.status, 200) << what;
                EXPECT_NE(response.body.find("Bad Http request"), std::string::npos) << what;
                EXPECT_TRUE(scripted::Calls().empty()) << what;
                break;
            case hxm::kFailRequestMethod:
                EXPECT_EQ(response.status, 200) << what;
                if (IsHelp(r.target)) {
                    EXPECT_EQ(response.body.find("Http request missing data"), std::string::npos);
                } else {
                    EXPECT_NE(response.body.find("Http request missing data"), std::string::npos)
                        << what;
                }
                EXPECT_TRUE(ClosedFiles().empty()) << what;
                break;
            case hxm::kFailPostDataBuffer:
                // The body is taken as empty: no filter, nothing closed.
                EXPECT_EQ(response.status, PageStatus(r)) << what;
                EXPECT_TRUE(ClosedFiles().empty()) << what;
                if (std::string(r.target) == "/afpofm/VOL1") {
                    EXPECT_EQ(FileBoxValues(response.body).size(), 3u) << what;
                }
                break;
            }
        }
    }
}

TEST_F(OpenFilesFaultsTest, EachLibraryCallFailing) {
    for (const Request &r : kRequests) {
        scripted::Reset();
        Stage();
        const hxm::Response normal = Send(r, hxm::kFailNone);
        ASSERT_EQ(normal.status, PageStatus(r));
        const size_t calls = scripted::Calls().size();
        for (unsigned failing = 1; failing <= calls; ++failing) {
            scripted::Reset();
            Stage();
            scripted::FailCall(failing, AFPSTAT_ERR_STORE);
            const hxm::Response response = Send(r, hxm::kFailNone);
            const std::string what =
                std::string(r.target) + " failing call " + std::to_string(failing);
            EXPECT_EQ(response.status, PageStatus(r)) << what;
            EXPECT_EQ(scripted::LiveCount(), 0u) << what;
            // A failed volume list ends the list page before its files are asked for.
            ASSERT_LE(scripted::Calls().size(), calls) << what;
            ASSERT_GE(scripted::Calls().size(), failing) << what;
            const std::string failed = scripted::Calls()[failing - 1].function;
            if (failed == "Ext_ListVolumeDetails") {
                // The list page ends after an empty selector and says why.
                EXPECT_EQ(response.body.find("<option value="), std::string::npos) << what;
                EXPECT_NE(response.body.find("could not be read (status 1: "), std::string::npos)
                    << what;
                EXPECT_EQ(response.body.substr(response.body.size() - 15), "</BODY></HTML>\n")
                    << what;
                if (std::string(r.target).find("VOL1") != std::string::npos &&
                    std::string(r.target).find("Browse") == std::string::npos) {
                    EXPECT_EQ(response.body.find("List of Open Files"), std::string::npos) << what;
                }
            } else if (failed == "Ext_ListVolFileDetails") {
                EXPECT_NE(response.body.find("could not be read (status 1: "), std::string::npos)
                    << what;
                EXPECT_EQ(response.body.find("No items."), std::string::npos) << what;
            } else if (failed == "Ext_CloseFileByFileName") {
                // The other file is still closed; the list follows.
                EXPECT_EQ(ClosedFiles().size(), 2u) << what;
                EXPECT_NE(response.body.find("id=\"connectionForm\""), std::string::npos) << what;
            }
        }
    }
}

// `body` without its first `text`; "" (and a failure) when it has none.
std::string Without(const std::string &body, const std::string &text) {
    const size_t at = body.find(text);
    EXPECT_NE(at, std::string::npos) << text << "\n" << body;
    return at == std::string::npos ? "" : body.substr(0, at) + body.substr(at + text.size());
}

// A failed list or refused close adds its one line (or puts it in place of
// "No items."); the rest of the page is what the same request shows when
// everything works.
TEST_F(OpenFilesFaultsTest, AFailureAddsOneLineAndNothingElse) {
    const std::string unreadable =
        "The AFP monitoring service could not be read (status 1: the monitoring store is "
        "missing, unreadable or busy).";
    const std::string noItems =
        "<tr><td align=left colspan=4 style=\"font-size:13px;color:black;\">No items.</td></tr>";
    struct Case {
        const char *what;
        Request request;
        std::function<void()> working, failure;
        std::string replaced; // in the working page; "" when the line is only added
        std::string added;
    } cases[] = {
        {"volumes unreadable",
         {"GET", "/afpofm", ""},
         [] { scripted::StageVolumes({}); },
         [] {
             scripted::StageVolumes({{}, std::nullopt, AFPSTAT_ERR_STORE, true});
         },
         "",
         "<tr><td colspan=2 id=\"listFailure\" style=\"font-size:13px;color:#b00000;\">" +
             unreadable + "</td></tr>\n"},
        {"files: error status",
         {"GET", "/afpofm/UserName/VOL2", ""},
         [] {},
         [] {
             scripted::StageOpenFiles("VOL2", {{}, std::nullopt, AFPSTAT_ERR_NO_MEMORY, true});
         },
         noItems,
         "<tr><td align=left colspan=4 id=\"listFailure\" "
         "style=\"font-size:13px;color:#b00000;\">The AFP monitoring service could not be read "
         "(status 3: out of memory).</td></tr>"},
        {"close refused", kRequests[5], [] {},
         [] { scripted::SetCloseFileByFileNameStatus("/a.doc", AFPSTAT_ERR_NOT_FOUND); },
         "<DIV CLASS=NORMAL id=\"actionDone\" style=\"font-weight:bold;\">Closed: 2 files</DIV>\n",
         "<DIV CLASS=NORMAL id=\"actionDone\" style=\"font-weight:bold;\">Closed: 1 file</DIV>\n"
         "<DIV CLASS=NORMAL id=\"actionOutcome\" style=\"color:#b00000;font-weight:bold;\">Files "
         "not closed: /a.doc (status 2: no longer there)</DIV>\n"},
    };
    for (const Case &c : cases) {
        scripted::Reset();
        Stage();
        c.working();
        const hxm::Response working = Send(c.request, hxm::kFailNone);
        scripted::Reset();
        Stage();
        c.failure();
        const hxm::Response failed = Send(c.request, hxm::kFailNone);
        EXPECT_EQ(failed.status, working.status) << c.what;
        const std::string rest = Without(failed.body, c.added);
        EXPECT_EQ(rest, c.replaced.empty() ? working.body : Without(working.body, c.replaced))
            << c.what;
    }
    // The refused close is logged with what was asked and what failed.
    EXPECT_NE(ReadFile(root_->LogFile())
                  .find("action outcome: asked 2: close file \"/a.doc\", close file \"/c\"; "
                        "failed 1: close file \"/a.doc\" (status 2: no longer there)"),
              std::string::npos)
        << ReadFile(root_->LogFile());
}

} // namespace
} // namespace hxm_test
