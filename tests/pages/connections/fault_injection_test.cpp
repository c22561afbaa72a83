/*
 * Fault injection: each host call and each monitoring library call made to
 * fail in turn. Every request must still end with a clean page or error
 * answer, and every list or record the library handed out must be freed.
 */
#include <string>
#include <vector>

#include "tests/pages/connections/connections_fixture.h"
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

    // A clean answer: a known status with a whole page or error body.
    static void ExpectClean(const hxm::Response &response, const std::string &what) {
        EXPECT_TRUE(response.status == 200 || response.status == 400 || response.status == 401 ||
                    response.status == 500)
            << what << " status " << response.status;
        if (response.status == 200 && response.methodResult != 500) {
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

} // namespace

} // namespace hxm_test
