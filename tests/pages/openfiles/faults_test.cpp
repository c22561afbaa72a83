/*
 * Failure injection: each host call the area makes, and each monitoring
 * library call a request makes, fails in turn. Every request must still get
 * a whole answer, and every list the library handed out must be freed.
 */
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/pages/openfiles/openfiles_fixture.h"

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
                EXPECT_EQ(response.status, 500) << what;
                EXPECT_EQ(response.methodResult, 500) << what;
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
                EXPECT_EQ(response.status, 200) << what;
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
        ASSERT_EQ(normal.status, 200);
        const size_t calls = scripted::Calls().size();
        for (unsigned failing = 1; failing <= calls; ++failing) {
            scripted::Reset();
            Stage();
            scripted::FailCall(failing, AFPSTAT_ERR_STORE);
            const hxm::Response response = Send(r, hxm::kFailNone);
            const std::string what =
                std::string(r.target) + " failing call " + std::to_string(failing);
            EXPECT_EQ(response.status, 200) << what;
            EXPECT_EQ(scripted::LiveCount(), 0u) << what;
            // A failed volume list ends the list page before its files are asked for.
            ASSERT_LE(scripted::Calls().size(), calls) << what;
            ASSERT_GE(scripted::Calls().size(), failing) << what;
            const std::string failed = scripted::Calls()[failing - 1].function;
            if (failed == "Ext_ListVolumeDetails") {
                // The list page ends after an empty selector.
                EXPECT_EQ(response.body.find("<option value="), std::string::npos) << what;
                if (std::string(r.target).find("VOL1") != std::string::npos &&
                    std::string(r.target).find("Browse") == std::string::npos) {
                    EXPECT_EQ(response.body.find("List of Open Files"), std::string::npos) << what;
                }
            } else if (failed == "Ext_ListVolFileDetails") {
                EXPECT_NE(response.body.find("No items."), std::string::npos) << what;
            } else if (failed == "Ext_CloseFileByFileName") {
                // The other file is still closed; the list follows.
                EXPECT_EQ(ClosedFiles().size(), 2u) << what;
                EXPECT_NE(response.body.find("id=\"connectionForm\""), std::string::npos) << what;
            }
        }
    }
}

} // namespace
} // namespace hxm_test
