/*
 * Every action a page takes leaves one line in the history's action spool,
 * naming the console user the host authenticated (through the host's
 * HttpReturnRequestUser), what was asked and what came of it; a page with
 * nothing understood to act on leaves none.
 */
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/console/hxm_console.h"
#include "tests/support/plugin_fixture.h"
#include "tests/support/scripted_afpstat.h"

namespace hxm_test {
namespace {

class ActionNoteTest : public ScriptedPluginTest {
  protected:
    // A server keeps a spool only where the recorder made the history's folder.
    void SetUp() override {
        ScriptedPluginTest::SetUp();
        std::filesystem::create_directories(root_->path() + "/var/opt/zentra/history");
    }
    std::vector<std::string> SpoolLines() const {
        std::ifstream spool(root_->path() + "/var/opt/zentra/history/actions.spool");
        std::vector<std::string> lines;
        for (std::string line; std::getline(spool, line);)
            lines.push_back(line.substr(line.find('\t') + 1)); // without the time
        return lines;
    }
};

TEST_F(ActionNoteTest, EachActionNamesTheConsoleUserAndItsOutcome) {
    scripted::SetCloseFileByFileNameStatus("/v/gone.doc", AFPSTAT_ERR_NOT_FOUND);
    struct Case {
        const char *user; // "" as without a users file
        const char *target;
        const char *body;
        std::vector<std::string> expected;
    } const cases[] = {
        {"operator",
         "/afpofm/AFPCloseFiles/VOL1",
         "FILENAME=%3Cfilename%3E%2Fv%2Fa%09b.doc%3C%2Ffilename%3E",
         {"console\toperator\tclose\t-1\t0\tdone\t/v/a\\tb.doc"}},
        {"admin",
         "/afpcons/AFPCloseConnections/<closeconn>26</closeconn>",
         "",
         {"console\tadmin\tclear\t26\t0\tdone\t"}},
        {"",
         "/afpcons/AFPCloseFiles/0000001A/<closeallfiles>7</closeallfiles>",
         "",
         {"console\t\tclose-all\t7\t0\tdone\t"}},
        {"anna",
         "/afpofm/AFPCloseFiles/VOL1",
         "FILENAME=%3Cfilename%3E%2Fv%2Fgone.doc%3C%2Ffilename%3E",
         {"console\tanna\tclose\t-1\t2\tno longer there\t/v/gone.doc"}},
        {"anna", "/afpcons/AFPCloseConnections/<closeconn>x1</closeconn>", "", {}},
    };
    for (const Case &item : cases) {
        SCOPED_TRACE(item.target);
        std::remove((root_->path() + "/var/opt/zentra/history/actions.spool").c_str());
        hxm::Request request;
        request.target = item.target;
        request.method = item.body[0] != '\0' ? "POST" : "GET";
        request.contentType = "application/x-www-form-urlencoded";
        request.body = item.body;
        request.accessFlags = 0xf;
        request.user = item.user;
        hxm::HandleRequest(request);
        EXPECT_EQ(SpoolLines(), item.expected);
    }
}

} // namespace
} // namespace hxm_test
