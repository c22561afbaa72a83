/*
 * GetConnInfo: the detail page's bounded copy of one connection's record.
 */
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "monitor/connection_details.h"
#include "tests/support/plugin_fixture.h"

namespace hxm_test {
namespace {

using InfoFunction = int (*)(uint32_t, UserInfo_s *, AFPConnectionDetails **);

class ConnectionDetailsTest : public ScriptedPluginTest {
  protected:
    void SetUp() override {
        ScriptedPluginTest::SetUp();
        info_ = Export<InfoFunction>("_Z11GetConnInfojP10UserInfo_sPP20AFPConnectionDetails");
        ASSERT_NE(info_, nullptr);
    }
    InfoFunction info_ = nullptr;
};

TEST_F(ConnectionDetailsTest, NullUserInformationLeavesTheRecordAlone) {
    AFPConnectionDetails *details = reinterpret_cast<AFPConnectionDetails *>(&details);
    EXPECT_EQ(info_(1, nullptr, &details), -1);
    EXPECT_EQ(details, reinterpret_cast<AFPConnectionDetails *>(&details));
}

TEST_F(ConnectionDetailsTest, CopiesBoundedTerminatedTexts) {
    UserInfo_s info;
    memset(&info, 'x', sizeof info); // every text field unterminated
    info.connectionNumber = 26;
    info.openFileCount = 3;
    info.securityEquivalenceCount = 0;
    info.loginTime = 86400;
    memcpy(info.loginStatus, "Logged-In", 10);
    info.securityEquivalences = nullptr;
    info.openFiles = nullptr;
    AFPConnectionDetails *details = nullptr;
    ASSERT_EQ(info_(99, &info, &details), 0);
    ASSERT_NE(details, nullptr);
    EXPECT_EQ(details->connectionNumber, 26u); // from the record, not the argument
    EXPECT_EQ(std::string(details->userName), std::string(256, 'x'));
    EXPECT_EQ(details->userName[512], '\0');
    EXPECT_EQ(details->userName[513], '\0');
    EXPECT_EQ(std::string(details->networkAddress), std::string(16, 'x'));
    EXPECT_STREQ(details->loginStatus, "Logged-In");
    EXPECT_EQ(std::string(details->privileges), std::string(32, 'x')); // kept whole
    EXPECT_EQ(details->openFileCount, 3);
    EXPECT_EQ(details->loginTime, 86400u);
    const time_t when = 86400;
    struct tm local;
    char expected[80];
    strftime(expected, sizeof expected, "%c", localtime_r(&when, &local));
    EXPECT_STREQ(details->loginTimeText, expected);
    free(details);
}

TEST_F(ConnectionDetailsTest, AnUnformattableLoginTimeShows80Spaces) {
    UserInfo_s info{};
    info.loginTime = UINT64_MAX;
    AFPConnectionDetails *details = nullptr;
    ASSERT_EQ(info_(0, &info, &details), 0);
    EXPECT_EQ(std::string(details->loginTimeText), std::string(80, ' '));
    free(details);
}

} // namespace

} // namespace hxm_test
