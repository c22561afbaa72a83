/*
 * The request front of the connections and open-file areas: a caller
 * without the clearing power is refused every clearing of connections
 * before anything is done, while closing files runs for every caller the
 * area lets in; and no request path or body can break or flood a line of
 * the plug-in's log.
 */
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/page_text.h"
#include "tests/support/plugin_fixture.h"
#include "tests/support/scripted_afpstat.h"

namespace hxm_test {
namespace {

class RequestFrontTest : public ScriptedPluginTest {};

bool IsDenied(const hxm::Response &response) {
    return response.body.find("Unauthorized access denied") != std::string::npos;
}

TEST_F(RequestFrontTest, ClearingNeedsTheClearingPowerClosingDoesNot) {
    int *allowClearConn = plugin_->Function<int *>("AllowClearConn");
    ASSERT_NE(allowClearConn, nullptr);
    scripted::UserDetails details;
    details.userName = "bob";
    details.openFiles = scripted::Names{std::string("/v/a.doc")};
    const char kBox[] = "CONNECTIONID=%3Ccloseconn%3E26%3C%2Fcloseconn%3E";
    const char kFile[] = "FILENAME=%3Cfilename%3E%2Fv%2Fa.doc%3C%2Ffilename%3E";
    struct Case {
        const char *target; // before encoding
        const char *body;   // empty: a GET
        bool clears;        // clears connections, rather than closing files
    } const cases[] = {
        {"/afpcons/AFPCloseConnections/<closeconn>26</closeconn>", "", true},
        {"/afpcons/AFPCloseConnections", kBox, true},
        {"/afpcons/ConnectionName/AFPCloseConnections", kBox, true},
        {"/afpcons/AFPCloseFiles/0000001A/<closeallfiles>26</closeallfiles>", "", false},
        {"/afpcons/AFPCloseFiles/0000001A/<closeallfiles>26</closeallfiles>", "volume=V", false},
        {"/afpcons/AFPCloseFiles/0000001A", kFile, false},
        {"/afpcons/afpclosefiles/0000001A", kFile, false},
        {"/afpofm/AFPCloseFiles/VOL1", kFile, false},
        {"/afpofm/FileName/AFPCloseFiles/VOL1", kFile, false},
    };
    // An operator: bit 0x400 set while the console gives it its meaning.
    constexpr unsigned kOperator = 0x40f;
    for (const Case &c : cases) {
        for (const bool withoutPower : {true, false}) {
            scripted::Reset();
            scripted::StageUserDetails(26, details);
            *allowClearConn = withoutPower ? 0 : 1;
            const std::string target = PathEncode(c.target);
            const hxm::Response response =
                c.body[0] == '\0' ? Get(target, kOperator) : Post(target, c.body, kOperator);
            *allowClearConn = 1;
            std::vector<std::string> actions;
            for (const scripted::Call &call : scripted::Calls()) {
                if (call.function == "Ext_ClearOneConnection" ||
                    call.function == "Ext_CloseFileByID" ||
                    call.function == "Ext_CloseFileByFileName")
                    actions.push_back(call.function);
            }
            const bool denied = withoutPower && c.clears;
            EXPECT_EQ(IsDenied(response), denied) << c.target << " without power " << withoutPower;
            EXPECT_EQ(actions.empty(), denied) << c.target << " without power " << withoutPower;
            if (denied) {
                EXPECT_TRUE(scripted::Calls().empty()) << c.target;
            }
        }
    }
    // Pages that act on nothing stay open to an operator.
    *allowClearConn = 0;
    scripted::Reset();
    scripted::StageUserDetails(26, details);
    const bool listDenied = IsDenied(Get("/afpcons", kOperator));
    const bool detailDenied = IsDenied(Get("/afpcons/0000001A", kOperator));
    const bool filesDenied = IsDenied(Post("/afpofm/VOL1", "FILTER=*.doc", kOperator));
    const bool helpDenied = IsDenied(Get("/afpofm/help", kOperator));
    *allowClearConn = 1;
    EXPECT_FALSE(listDenied);
    EXPECT_FALSE(detailDenied);
    EXPECT_FALSE(filesDenied);
    EXPECT_FALSE(helpDenied);
}

class RequestLogTest : public ScriptedPluginTest {
  protected:
    void SetUp() override {
        ScriptedPluginTest::SetUp();
        LoadPlugin(false, "LOG_LEVEL DUMP\n");
    }
};

TEST_F(RequestLogTest, RequestTextCannotBreakOrFloodALogLine) {
    // Every byte a line could be forged or garbled with, in paths and bodies.
    const std::string forged = "\n[! 1999-01-01 00:00:00] FORGED\r\x1b[2J\x7f\t\x01";
    const std::string big(1 << 20, 'B');
    struct Case {
        const char *method;
        std::string target; // before encoding
        std::string body;
    };
    const std::vector<Case> cases = {
        {"GET", "/afpcons/" + forged, ""},
        {"GET", "/afpcons/UserName/" + forged + "/x", ""},
        {"GET", "/afpcons/AFPCloseConnections/<closeconn>" + forged + "</closeconn>", ""},
        {"POST", "/afpcons/AFPCloseConnections", "CONNECTIONID=" + FormEncode(forged)},
        {"POST", "/afpcons/AFPCloseFiles/0000001A/" + forged,
         "FILENAME=" + FormEncode("<filename>" + forged + "</filename>")},
        {"POST", "/afpcons/0000001A",
         "volume=" + FormEncode(forged) + "&FILTER=" + FormEncode(forged) +
             "&sorttype=" + FormEncode(forged)},
        {"GET", "/afpofm/" + forged, ""},
        {"GET", "/afpofm/AFPBrowseFile/VOL1/" + forged, ""},
        {"POST", "/afpofm/VOL1", "FILTER=" + FormEncode(forged)},
        {"POST", "/afpofm/AFPCloseFiles/VOL1",
         "FILENAME=" + FormEncode("<filename>" + forged + "</filename>")},
        {"POST", "/afpofm/VOL1", "FILTER=" + big},
        {"POST", "/afpofm/AFPCloseFiles/VOL1", forged + big},
        {"POST", "/afpcons/AFPCloseConnections", forged + big},
        {"GET", "/afplogs/" + forged, ""},
        {"POST", "/afplogs", forged + big},
    };
    for (const Case &c : cases) {
        scripted::Reset();
        scripted::StageOpenFiles(forged, {{{"u" + forged, 26, {"/v/" + forged + ".doc"}}}});
        const std::string target = PathEncode(c.target);
        if (std::string(c.method) == "GET")
            Get(target);
        else
            Post(target, c.body);
    }
    const std::string log = ReadFile(root_->LogFile());
    ASSERT_NE(log.find("post count = "), std::string::npos) << "the requests were not logged";
    // The fixed texts write line breaks of their own; request text none.
    std::string::size_type at = 0;
    for (const unsigned char c : log) {
        EXPECT_TRUE((c >= 0x20 && c != 0x7f) || c == '\n')
            << "control byte " << static_cast<int>(c) << " at " << at;
        ++at;
    }
    for (const std::string &line : root_->LogLines()) {
        EXPECT_NE(line.rfind("[! 1999", 0), 0u) << line;
    }
    EXPECT_NE(log.find("\\n[! 1999-01-01 00:00:00] FORGED\\r\\x1b[2J\\x7f\\t\\x01"),
              std::string::npos);
    // Three 1 MiB bodies, each shown by at most a few hundred bytes per line.
    EXPECT_LT(log.size(), 256u * 1024u);
    EXPECT_NE(log.find("...(" + std::to_string(big.size() + forged.size() - 256) + " more bytes)"),
              std::string::npos);
}

} // namespace
} // namespace hxm_test
