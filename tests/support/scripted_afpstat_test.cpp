/*
 * Self-test of the scriptable monitoring library: what a test stages is what
 * the C calls hand out, byte for byte, and the bookkeeping (call record,
 * injected failures, live handouts, misuse) tells the truth.
 */
#include "tests/support/scripted_afpstat.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace hxm_test {

// The records are packed: a check binds a field's value (unary +), never a
// reference to a possibly unaligned field.
namespace {

class ScriptedAfpstat : public ::testing::Test {
  protected:
    void SetUp() override { scripted::Reset(); }
    void TearDown() override { scripted::Reset(); }
};

std::string Field(const char *field, std::size_t size) {
    return std::string(field, size);
}

std::vector<uint32_t> Numbers(const ConnListNode *node) {
    std::vector<uint32_t> numbers;
    for (; node != nullptr; node = node->next)
        numbers.push_back(+node->connectionNumber);
    return numbers;
}

TEST_F(ScriptedAfpstat, AnswersEmptyWithNothingStaged) {
    int count = -1;
    ConnListNode *connections = reinterpret_cast<ConnListNode *>(&count);
    EXPECT_EQ(AFPSTAT_OK, Ext_ListConnDetails(&count, &connections));
    EXPECT_EQ(0, count);
    EXPECT_EQ(nullptr, connections);

    VolsDetailsNode *volumes = nullptr;
    EXPECT_EQ(AFPSTAT_OK, Ext_ListVolumeDetails(&count, &volumes));
    EXPECT_EQ(nullptr, volumes);

    VolFileListNode *files = nullptr;
    EXPECT_EQ(AFPSTAT_OK, Ext_ListVolFileDetails("VOL1", &files, &count));
    EXPECT_EQ(nullptr, files);

    UserInfo_s *info = reinterpret_cast<UserInfo_s *>(&count);
    EXPECT_EQ(AFPSTAT_ERR_NOT_FOUND, Ext_GetUserDetails(7, &info));
    EXPECT_EQ(nullptr, info);

    EXPECT_EQ(AFPSTAT_OK, Ext_ClearOneConnection(7));
    EXPECT_EQ(0u, scripted::LiveCount());
}

TEST_F(ScriptedAfpstat, ConnectionFieldsArriveByteForByte) {
    scripted::Connection connection;
    connection.userName = std::string(513, 'u');
    connection.connectionNumber = 26;
    connection.requestCount = 5;
    connection.bytesRead = 1ull << 40;
    connection.bytesWritten = 3;
    connection.loginTime = 1700000000;
    connection.networkAddress = "192.168.100.200:"; // 16 bytes, no room for a NUL
    scripted::StageConnections({{connection}});

    int count = 0;
    ConnListNode *head = nullptr;
    ASSERT_EQ(AFPSTAT_OK, Ext_ListConnDetails(&count, &head));
    ASSERT_NE(nullptr, head);
    EXPECT_EQ(1, count);
    EXPECT_EQ(connection.userName + '\0', Field(head->userName, 514));
    EXPECT_EQ(26u, +head->connectionNumber);
    EXPECT_EQ(5u, +head->requestCount);
    EXPECT_EQ(1ull << 40, +head->bytesRead);
    EXPECT_EQ(3u, +head->bytesWritten);
    EXPECT_EQ(1700000000u, +head->loginTime);
    EXPECT_EQ(connection.networkAddress, Field(head->networkAddress, 16));
    EXPECT_EQ(nullptr, head->next);
    EXPECT_EQ(AFPSTAT_OK, FreeConnListNodes(&head));
    EXPECT_EQ(nullptr, head);
}

TEST_F(ScriptedAfpstat, ListCountStatusAndNullListAreIndependent) {
    struct Case {
        std::optional<int> count;
        int status;
        bool nullList;
        int wantCount;
        std::vector<uint32_t> wantNumbers;
    };
    const Case cases[] = {
        {std::nullopt, AFPSTAT_OK, false, 2, {1, 2}},
        {5, AFPSTAT_OK, false, 5, {1, 2}},                   // count larger than the list
        {1, AFPSTAT_OK, false, 1, {1, 2}},                   // count smaller than the list
        {0, AFPSTAT_OK, false, 0, {1, 2}},                   // count 0 with a list
        {std::nullopt, AFPSTAT_ERR_STORE, false, 2, {1, 2}}, // failure with a list
        {std::nullopt, AFPSTAT_ERR_STORE, true, 0, {}},      // failure, no list
        {std::nullopt, AFPSTAT_OK, true, 0, {}},             // success, no list
        {3, AFPSTAT_OK, true, 3, {}},                        // a count promising a null list
    };
    for (const Case &c : cases) {
        scripted::Reset();
        scripted::Connection first, second;
        first.connectionNumber = 1;
        second.connectionNumber = 2;
        scripted::StageConnections({{first, second}, c.count, c.status, c.nullList});
        int count = -1;
        ConnListNode *head = nullptr;
        EXPECT_EQ(c.status, Ext_ListConnDetails(&count, &head));
        EXPECT_EQ(c.wantCount, count);
        EXPECT_EQ(c.wantNumbers, Numbers(head));
        EXPECT_EQ(c.nullList ? 0u : 1u, scripted::LiveCount());
        EXPECT_EQ(AFPSTAT_OK, FreeConnListNodes(&head));
        EXPECT_EQ(0u, scripted::LiveCount());
    }
}

TEST_F(ScriptedAfpstat, UserDetailsArraysNeverShorterThanTheirCount) {
    scripted::UserDetails details;
    details.userName = "alice";
    details.loginStatus = std::string(32, 'L'); // fills the field, unterminated
    details.privileges = "Supervisor";
    details.networkAddress = "10.0.0.1";
    details.openFiles = scripted::Names{"/v/a", std::nullopt, "/v/c"};
    details.openFileCount = 5; // two more than given: padded with nulls
    scripted::StageUserDetails(26, details);

    UserInfo_s *info = nullptr;
    ASSERT_EQ(AFPSTAT_OK, Ext_GetUserDetails(26, &info));
    ASSERT_NE(nullptr, info);
    EXPECT_STREQ("alice", info->userName);
    EXPECT_EQ(26u, +info->connectionNumber); // defaults to the staged number
    EXPECT_EQ(details.loginStatus, Field(info->loginStatus, 32));
    EXPECT_STREQ("Supervisor", info->privileges);
    EXPECT_EQ(nullptr, info->securityEquivalences);
    EXPECT_EQ(0, +info->securityEquivalenceCount);
    ASSERT_EQ(5, +info->openFileCount);
    EXPECT_STREQ("/v/a", info->openFiles[0]);
    EXPECT_EQ(nullptr, info->openFiles[1]);
    EXPECT_STREQ("/v/c", info->openFiles[2]);
    for (int i = 3; i <= 5; ++i) // the padding and the final null are readable
        EXPECT_EQ(nullptr, info->openFiles[i]);
    EXPECT_EQ(AFPSTAT_OK, FreeUserDetailsNode(&info));

    // A null security equivalence array may come with any count; a null
    // open-file array may not promise files.
    details.securityEquivalenceCount = 3;
    details.connectionNumber = 99;
    details.openFiles.reset();
    details.openFileCount.reset();
    details.status = AFPSTAT_ERR_STORE;
    scripted::StageUserDetails(27, details);
    ASSERT_EQ(AFPSTAT_ERR_STORE, Ext_GetUserDetails(27, &info));
    ASSERT_NE(nullptr, info);
    EXPECT_EQ(99u, +info->connectionNumber);
    EXPECT_EQ(3, +info->securityEquivalenceCount);
    EXPECT_EQ(nullptr, info->securityEquivalences);
    EXPECT_EQ(nullptr, info->openFiles);
    EXPECT_EQ(AFPSTAT_OK, FreeUserDetailsNode(&info));

    details.openFileCount = 1;
    EXPECT_THROW(scripted::StageUserDetails(28, details), std::invalid_argument);

    scripted::UserDetails missing;
    missing.status = AFPSTAT_ERR_NOT_FOUND;
    missing.nullRecord = true;
    scripted::StageUserDetails(29, missing);
    EXPECT_EQ(AFPSTAT_ERR_NOT_FOUND, Ext_GetUserDetails(29, &info));
    EXPECT_EQ(nullptr, info);
}

TEST_F(ScriptedAfpstat, OpenFilesPerVolumeWithFreeFileCounts) {
    scripted::OpenFileRecord first;
    first.userName = std::string(600, 'n'); // cut to the 512-byte field
    first.connectionNumber = 10;
    first.fileNames = {"/v/a.doc", std::nullopt, "/v/b.doc"};
    scripted::OpenFileRecord second;
    second.connectionNumber = 9;
    second.fileNames = {"/v/c"};
    second.fileCount = 0;
    scripted::StageOpenFiles("VOL1", {{first, second}, 3});

    int count = 0;
    VolFileListNode *head = nullptr;
    ASSERT_EQ(AFPSTAT_OK, Ext_ListVolFileDetails("VOL1", &head, &count));
    EXPECT_EQ(3, count);
    ASSERT_NE(nullptr, head);
    EXPECT_EQ(3, +head->fileCount);
    EXPECT_EQ(std::string(512, 'n'), Field(head->userName, 512));
    EXPECT_STREQ("/v/a.doc", head->fileNames[0]);
    EXPECT_EQ(nullptr, head->fileNames[1]);
    EXPECT_STREQ("/v/b.doc", head->fileNames[2]);
    EXPECT_EQ(nullptr, head->fileNames[3]);
    ASSERT_NE(nullptr, head->next);
    EXPECT_EQ(0, +head->next->fileCount);
    EXPECT_STREQ("/v/c", head->next->fileNames[0]);
    EXPECT_EQ(nullptr, head->next->next);
    EXPECT_EQ(AFPSTAT_OK, FreeVolFileListNodes(&head));

    // Another volume still answers an empty list.
    EXPECT_EQ(AFPSTAT_OK, Ext_ListVolFileDetails("VOL2", &head, &count));
    EXPECT_EQ(0, count);
    EXPECT_EQ(nullptr, head);
}

TEST_F(ScriptedAfpstat, FailsExactlyTheNamedCall) {
    scripted::StageVolumes({{"SYS", "VOL1"}});
    scripted::FailCall(2, AFPSTAT_ERR_STORE);
    scripted::FailCall(4, AFPSTAT_ERR_NO_MEMORY);

    int count = 0;
    VolsDetailsNode *head = nullptr;
    ASSERT_EQ(AFPSTAT_OK, Ext_ListVolumeDetails(&count, &head));
    EXPECT_STREQ("SYS", head->volumeName);
    EXPECT_STREQ("VOL1", head->next->volumeName);
    EXPECT_EQ(AFPSTAT_OK, FreeVolsDetailsNode(&head));

    EXPECT_EQ(AFPSTAT_ERR_STORE, Ext_ListVolumeDetails(&count, &head));
    EXPECT_EQ(nullptr, head);
    EXPECT_EQ(0, count);
    EXPECT_EQ(AFPSTAT_OK, Ext_ClearOneConnection(3)); // call 3
    EXPECT_EQ(AFPSTAT_ERR_NO_MEMORY, Ext_CloseFileByID(3));
    EXPECT_EQ(AFPSTAT_OK, Ext_ListVolumeDetails(&count, &head));
    EXPECT_EQ(2, count);
    EXPECT_EQ(AFPSTAT_OK, FreeVolsDetailsNode(&head));
    EXPECT_EQ(0u, scripted::LiveCount());
}

TEST_F(ScriptedAfpstat, RecordsCallsAndAnswersStagedActionStatuses) {
    scripted::SetClearOneConnectionStatus(12, AFPSTAT_ERR_NOT_FOUND);
    scripted::SetCloseFileByFileNameStatus(AFPSTAT_ERR_STORE);
    scripted::SetCloseFileByFileNameStatus("/v/a", AFPSTAT_OK);

    EXPECT_EQ(AFPSTAT_OK, Ext_ClearOneConnection(7));
    EXPECT_EQ(AFPSTAT_ERR_NOT_FOUND, Ext_ClearOneConnection(12));
    EXPECT_EQ(AFPSTAT_OK, Ext_CloseFileByFileName("/v/a"));
    EXPECT_EQ(AFPSTAT_ERR_STORE, Ext_CloseFileByFileName("/v/b"));
    EXPECT_EQ(AFPSTAT_ERR_ARGUMENT, Ext_CloseFileByFileName(nullptr));

    const std::vector<scripted::Call> want = {
        {"Ext_ClearOneConnection", "", 7},        {"Ext_ClearOneConnection", "", 12},
        {"Ext_CloseFileByFileName", "/v/a"},      {"Ext_CloseFileByFileName", "/v/b"},
        {"Ext_CloseFileByFileName", "", 0, true},
    };
    EXPECT_EQ(want, scripted::Calls());
    EXPECT_EQ(1u, scripted::Errors().size());
}

TEST_F(ScriptedAfpstat, TracksHandoutsAndCatchesBadFrees) {
    scripted::Connection connection;
    scripted::StageConnections({{connection, connection}});
    scripted::StageVolumes({{"SYS"}});
    int count = 0;
    ConnListNode *connections = nullptr;
    VolsDetailsNode *volumes = nullptr;
    ASSERT_EQ(AFPSTAT_OK, Ext_ListConnDetails(&count, &connections));
    ASSERT_EQ(AFPSTAT_OK, Ext_ListVolumeDetails(&count, &volumes));
    EXPECT_EQ(2u, scripted::LiveCount());

    // The wrong free function, and a node that is not a head, free nothing.
    VolsDetailsNode *misread = reinterpret_cast<VolsDetailsNode *>(connections);
    EXPECT_EQ(AFPSTAT_ERR_ARGUMENT, FreeVolsDetailsNode(&misread));
    ConnListNode *second = connections->next;
    EXPECT_EQ(AFPSTAT_ERR_ARGUMENT, FreeConnListNodes(&second));
    EXPECT_EQ(2u, scripted::LiveCount());

    ConnListNode *copy = connections;
    EXPECT_EQ(AFPSTAT_OK, FreeConnListNodes(&connections));
    EXPECT_EQ(nullptr, connections);
    EXPECT_EQ(AFPSTAT_OK, FreeConnListNodes(&connections));    // null head: nothing to do
    EXPECT_EQ(AFPSTAT_ERR_ARGUMENT, FreeConnListNodes(&copy)); // freed twice
    EXPECT_EQ(std::vector<std::string>{"Ext_ListVolumeDetails (call 2)"}, scripted::LiveHandouts());
    EXPECT_EQ(3u, scripted::Errors().size());
    EXPECT_NE(std::string::npos, scripted::Errors().back().find("already freed"));

    // Reset releases what a faulty caller leaked.
    scripted::Reset();
    EXPECT_EQ(0u, scripted::LiveCount());
    EXPECT_TRUE(scripted::Errors().empty());
}

TEST_F(ScriptedAfpstat, ServesManyThreadsAtOnce) {
    scripted::Connection connection;
    scripted::StageConnections({{connection, connection, connection}});
    constexpr int threads = 4, rounds = 100;
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([] {
            for (int i = 0; i < rounds; ++i) {
                int count = 0;
                ConnListNode *head = nullptr;
                if (Ext_ListConnDetails(&count, &head) == AFPSTAT_OK && count == 3)
                    FreeConnListNodes(&head);
                (void)scripted::LiveCount();
            }
        });
    }
    for (std::thread &worker : workers)
        worker.join();
    EXPECT_EQ(static_cast<std::size_t>(threads * rounds), scripted::Calls().size());
    EXPECT_EQ(0u, scripted::LiveCount());
    EXPECT_TRUE(scripted::Errors().empty());
}

} // namespace

} // namespace hxm_test
