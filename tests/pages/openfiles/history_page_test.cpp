/*
 * The history page over a store the recorder itself wrote from staged
 * lists: who held a file at a past moment, the timelines' links, hostile
 * names escaped, and the failure row without a store.
 */
#include <gtest/gtest.h>
#include <time.h>

#include <memory>
#include <string>
#include <vector>

#include "history/recorder.h"
#include "history/settings.h"
#include "history/store.h"
#include "tests/pages/openfiles/openfiles_fixture.h"

namespace hxm_test {
namespace {

constexpr int64_t kStart = 1700000000;
const std::string kHostileUser = "<b>eve</b>";

std::string LocalTime(int64_t seconds) {
    const time_t value = static_cast<time_t>(seconds);
    struct tm parts;
    char text[32];
    localtime_r(&value, &parts);
    strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &parts);
    return text;
}

class HistoryPageTest : public OpenFilesPageTest {
  protected:
    /* Three cycles: Alice (5) holds budget until kStart + 100, when bob (9)
     * and eve (3) come; kStart + 200 sees them still. */
    void Record() {
        namespace history = hxm2afp::history;
        std::string error;
        // The plug-in's root, not the process's: ZENTRA_ROOT is set only
        // while it loads.
        auto store = history::Store::open(root_->path() + history::kFixedStoreFile,
                                          history::Store::Access::kWrite, &error);
        ASSERT_NE(store, nullptr) << error;
        history::Recorder recorder(store.get(), history::Settings(), "");
        ASSERT_TRUE(recorder.load(&error)) << error;
        scripted::StageVolumes({{"VOL1"}});
        scripted::StageConnections({{scripted::MakeConnection(5, "Alice")}});
        scripted::StageOpenFiles("VOL1", {{{"Alice", 5, {"/VOL1/budget.xlsx"}}}});
        ASSERT_TRUE(recorder.cycle(kStart).stored);
        scripted::StageConnections(
            {{scripted::MakeConnection(9, "bob"), scripted::MakeConnection(3, kHostileUser)}});
        scripted::StageOpenFiles("VOL1", {{{"bob", 9, {"/VOL1/budget.xlsx"}},
                                           {kHostileUser, 3, {"/VOL1/a\"<x>&budget.doc"}}}});
        ASSERT_TRUE(recorder.cycle(kStart + 100).stored);
        ASSERT_TRUE(recorder.cycle(kStart + 200).stored);
    }
};

TEST_F(HistoryPageTest, AsksTheStoreAndSaysWhenItCannot) {
    struct Case {
        bool recorded;
        const char *target;
        std::string body;
        std::vector<std::string> present, absent;
    };
    const std::string at50 = "FINDNAME=budget&HISTFROM=" + FormEncode(LocalTime(kStart + 50));
    const Case cases[] = {
        {false, "/afpofm/AFPFindHistory", at50, {"id=\"listFailure\""}, {"Connection/5\""}},
        // At kStart + 50 only Alice held it; at kStart + 150 bob and eve.
        {true,
         "/afpofm/AFPFindHistory",
         at50,
         {"Connection/5\""},
         {"Connection/9\"", "listFailure"}},
        {true,
         "/afpofm/AFPFindHistory/UserName",
         "FINDNAME=budget&HISTFROM=" + FormEncode(LocalTime(kStart + 150)),
         {"Connection/9\"", "&lt;b&gt;eve&lt;/b&gt;", "a&#34;&lt;x&gt;&amp;budget.doc",
          "User/%3Cb%3Eeve%3C%2Fb%3E\""},
         {"Connection/5\"", "<b>eve</b>", "<x>"}},
        // Timelines: a connection's files and logins, a file's holders.
        {true,
         "/afpofm/AFPFindHistory/Connection/9",
         "",
         {"Connection/9\"", ">Login<"},
         {"Connection/3\""}},
        {true,
         "/afpofm/AFPFindHistory/File/VOL1/VOL1/budget.xlsx",
         "",
         {"Connection/5\"", "Connection/9\""},
         {"Connection/3\""}},
        {true, "/afpofm/AFPFindHistory", "HISTFROM=yesterday", {"id=\"findFailure\""}, {}},
    };
    bool recorded = false;
    for (const Case &c : cases) {
        if (c.recorded && !recorded) {
            Record();
            recorded = true;
        }
        const hxm::Response page = Post(c.target, c.body);
        ASSERT_EQ(page.status, 200) << c.target << " " << c.body;
        for (const std::string &text : c.present)
            EXPECT_NE(page.body.find(text), std::string::npos) << c.body << " lacks " << text;
        for (const std::string &text : c.absent)
            EXPECT_EQ(page.body.find(text), std::string::npos) << c.body << " holds " << text;
    }
}

} // namespace
} // namespace hxm_test
