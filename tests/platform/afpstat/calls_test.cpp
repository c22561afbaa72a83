/*
 * Every call of the monitoring library against a filled store: values,
 * order, bounded fields, statuses and the free functions.
 */
#include "tests/platform/afpstat/test_support.h"

#include <cstring>

namespace hxm_test {

using afpstat::ConnectionRecord;
using afpstat::Store;
using afpstat::Transaction;

namespace {

class CallsTest : public StoreTest {};

TEST_F(CallsTest, ListsConnectionsInNumberOrderWithEveryField) {
    Store store = create_store();
    for (uint32_t number : {30u, 5u, 4294967295u, 12u, 0u}) {
        store.add_connection(numbered_connection(number));
    }

    ConnList list;
    ASSERT_EQ(Ext_ListConnDetails(&list.count, &list.head), AFPSTAT_OK);
    std::vector<uint32_t> order;
    for (ConnListNode *node = list.head; node != nullptr; node = node->next) {
        ConnectionRecord expected = numbered_connection(node->connectionNumber);
        SCOPED_TRACE(expected.user);
        EXPECT_STREQ(node->userName, expected.user.c_str());
        EXPECT_EQ(by_value(node->requestCount), expected.requests);
        EXPECT_EQ(by_value(node->bytesRead), expected.bytesRead);
        EXPECT_EQ(by_value(node->bytesWritten), expected.bytesWritten);
        EXPECT_EQ(by_value(node->loginTime), expected.loginTime);
        EXPECT_EQ(field_text(node->networkAddress, sizeof node->networkAddress), expected.address);
        order.push_back(by_value(node->connectionNumber));
    }
    EXPECT_EQ(list.count, 5);
    EXPECT_EQ(order, (std::vector<uint32_t>{0, 5, 12, 30, 4294967295u}));
}

TEST_F(CallsTest, EmptyStoreGivesEmptyLists) {
    create_store();
    ConnList connections;
    connections.count = -1;
    EXPECT_EQ(Ext_ListConnDetails(&connections.count, &connections.head), AFPSTAT_OK);
    EXPECT_EQ(connections.count, 0);
    EXPECT_EQ(connections.head, nullptr);
    VolumeList volumes;
    volumes.count = -1;
    EXPECT_EQ(Ext_ListVolumeDetails(&volumes.count, &volumes.head), AFPSTAT_OK);
    EXPECT_EQ(volumes.count, 0);
    EXPECT_EQ(volumes.head, nullptr);
}

/* Text fields keep what fits: names up to their field less the
 * terminator, addresses and statuses up to the full field, unterminated. */
struct FieldCase {
    size_t userLength;
    size_t addressLength;
    size_t statusLength;
};

void PrintTo(const FieldCase &test, std::ostream *out) {
    *out << test.userLength << "/" << test.addressLength << "/" << test.statusLength;
}

class FieldBoundsTest : public StoreTest, public ::testing::WithParamInterface<FieldCase> {};

TEST_P(FieldBoundsTest, FixedFieldsHoldBoundedCopies) {
    const FieldCase &bounds = GetParam();
    ConnectionRecord record = numbered_connection(7);
    record.user.assign(bounds.userLength, 'u');
    record.user[0] = 'A'; // so a shifted copy would show
    record.address.assign(bounds.addressLength, '9');
    record.loginStatus.assign(bounds.statusLength, 's');
    record.privileges.assign(bounds.statusLength, 'p');
    Store store = create_store();
    store.add_connection(record);
    store.add_volume("VOL1");
    store.open_file(7, "VOL1", "/VOL1/a.txt");

    ConnList list;
    ASSERT_EQ(Ext_ListConnDetails(&list.count, &list.head), AFPSTAT_OK);
    ASSERT_NE(list.head, nullptr);
    // ConnListNode holds 513 characters and a NUL.
    EXPECT_EQ(std::string(list.head->userName), record.user);
    EXPECT_EQ(std::string(list.head->networkAddress, AFPSTAT_ADDRESS_SIZE),
              record.address + std::string(AFPSTAT_ADDRESS_SIZE - record.address.size(), '\0'));

    UserDetails details;
    ASSERT_EQ(Ext_GetUserDetails(7, &details.info), AFPSTAT_OK);
    // UserInfo_s holds 511 characters and a NUL.
    EXPECT_EQ(std::string(details.info->userName), record.user.substr(0, 511));
    EXPECT_EQ(std::string(details.info->networkAddress, AFPSTAT_ADDRESS_SIZE),
              record.address + std::string(AFPSTAT_ADDRESS_SIZE - record.address.size(), '\0'));
    EXPECT_EQ(std::string(details.info->loginStatus, AFPSTAT_STATUS_TEXT_SIZE),
              record.loginStatus +
                  std::string(AFPSTAT_STATUS_TEXT_SIZE - record.loginStatus.size(), '\0'));
    EXPECT_EQ(field_text(details.info->privileges, AFPSTAT_STATUS_TEXT_SIZE), record.privileges);

    VolFileList files;
    ASSERT_EQ(Ext_ListVolFileDetails("VOL1", &files.head, &files.count), AFPSTAT_OK);
    ASSERT_NE(files.head, nullptr);
    EXPECT_EQ(std::string(files.head->userName), record.user.substr(0, 511));
}

INSTANTIATE_TEST_SUITE_P(Lengths, FieldBoundsTest,
                         ::testing::Values(FieldCase{1, 1, 1}, FieldCase{511, 15, 31},
                                           FieldCase{512, 16, 32}, FieldCase{513, 16, 32}));

TEST_F(CallsTest, OverlongTextsInTheStoreAreCutNotOverrun) {
    // Texts written by another writer than ours may exceed the fields.
    create_store();
    exec_sql("INSERT INTO connections (number, user, address, login_status, privileges)"
             " VALUES (1, printf('%.*c', 700, 'x'), '123456789012345678901234',"
             " printf('%.*c', 40, 's'), printf('%.*c', 40, 'p'));"
             "INSERT INTO volumes (name) VALUES (printf('%.*c', 400, 'V'));");
    ConnList list;
    ASSERT_EQ(Ext_ListConnDetails(&list.count, &list.head), AFPSTAT_OK);
    EXPECT_EQ(std::string(list.head->userName), std::string(513, 'x'));
    EXPECT_EQ(std::string(list.head->networkAddress, 16), "1234567890123456");
    UserDetails details;
    ASSERT_EQ(Ext_GetUserDetails(1, &details.info), AFPSTAT_OK);
    EXPECT_EQ(std::string(details.info->userName), std::string(511, 'x'));
    EXPECT_EQ(std::string(details.info->loginStatus, 32), std::string(32, 's'));
    VolumeList volumes;
    ASSERT_EQ(Ext_ListVolumeDetails(&volumes.count, &volumes.head), AFPSTAT_OK);
    EXPECT_EQ(std::string(volumes.head->volumeName), std::string(319, 'V'));
}

TEST_F(CallsTest, UserDetailsCarryEquivalencesAndFilesInOrder) {
    Store store = create_store();
    ConnectionRecord record = numbered_connection(42);
    record.equivalences = {"Staff", "Admins", "Everyone"};
    store.add_connection(record);
    store.add_connection(numbered_connection(43));
    store.add_volume("VOL1");
    store.add_volume("DATA");
    store.open_file(42, "VOL1", "/VOL1/z.doc");
    store.open_file(43, "VOL1", "/VOL1/other.doc");
    store.open_file(42, "DATA", "/DATA/a.xls");
    store.open_file(42, "VOL1", "/VOL1/b.pdf");

    UserDetails details;
    ASSERT_EQ(Ext_GetUserDetails(42, &details.info), AFPSTAT_OK);
    const UserInfo_s &info = *details.info;
    EXPECT_STREQ(info.userName, "user-42");
    EXPECT_EQ(by_value(info.connectionNumber), 42u);
    EXPECT_EQ(by_value(info.loginTime), record.loginTime);
    EXPECT_EQ(field_text(info.networkAddress, sizeof info.networkAddress), record.address);
    EXPECT_EQ(field_text(info.loginStatus, sizeof info.loginStatus), "Logged-In");
    EXPECT_EQ(field_text(info.privileges, sizeof info.privileges), "Supervisor");
    ASSERT_EQ(by_value(info.securityEquivalenceCount), 3);
    EXPECT_EQ(texts_of(info.securityEquivalences, 3),
              (std::vector<std::string>{"Staff", "Admins", "Everyone"}));
    ASSERT_EQ(by_value(info.openFileCount), 3);
    EXPECT_EQ(texts_of(info.openFiles, 3),
              (std::vector<std::string>{"/VOL1/z.doc", "/DATA/a.xls", "/VOL1/b.pdf"}));
}

TEST_F(CallsTest, UserDetailsWithoutEquivalencesOrFilesHaveNullArrays) {
    Store store = create_store();
    store.add_connection(numbered_connection(3));
    UserDetails details;
    ASSERT_EQ(Ext_GetUserDetails(3, &details.info), AFPSTAT_OK);
    EXPECT_EQ(by_value(details.info->securityEquivalenceCount), 0);
    EXPECT_EQ(by_value(details.info->securityEquivalences), nullptr);
    EXPECT_EQ(by_value(details.info->openFileCount), 0);
    EXPECT_EQ(by_value(details.info->openFiles), nullptr);
}

TEST_F(CallsTest, UnknownConnectionIsNotFound) {
    Store store = create_store();
    store.add_connection(numbered_connection(3));
    UserDetails details;
    details.info = reinterpret_cast<UserInfo_s *>(&details); // must be overwritten
    EXPECT_EQ(Ext_GetUserDetails(4, &details.info), AFPSTAT_ERR_NOT_FOUND);
    EXPECT_EQ(details.info, nullptr);
}

TEST_F(CallsTest, VolumesComeInByteOrder) {
    Store store = create_store();
    for (const char *name : {"VOL1", "data", "SYS", "ARCHIVE", "VOL10", "Vol2"}) {
        store.add_volume(name);
    }
    EXPECT_FALSE(store.add_volume("SYS"));
    VolumeList list;
    ASSERT_EQ(Ext_ListVolumeDetails(&list.count, &list.head), AFPSTAT_OK);
    std::vector<std::string> names;
    for (VolsDetailsNode *node = list.head; node != nullptr; node = node->next) {
        names.emplace_back(node->volumeName);
    }
    EXPECT_EQ(list.count, 6);
    EXPECT_EQ(names, (std::vector<std::string>{"ARCHIVE", "SYS", "VOL1", "VOL10", "Vol2", "data"}));
}

TEST_F(CallsTest, VolumeFilesComeOneNodePerConnectionInOrderOpened) {
    Store store = create_store();
    for (uint32_t number : {9u, 10u, 2u, 5u}) {
        store.add_connection(numbered_connection(number));
    }
    store.add_volume("VOL1");
    store.add_volume("DATA");
    store.add_volume("EMPTY");
    store.open_file(10, "VOL1", "/VOL1/x/z.doc");
    store.open_file(9, "VOL1", "/VOL1/b.doc");
    store.open_file(10, "VOL1", "/VOL1/a.doc");
    store.open_file(5, "DATA", "/DATA/only-here.txt"); // another volume
    store.open_file(9, "VOL1", "/VOL1/a.doc");
    store.open_file(2, "VOL1", "/VOL1/c.doc");

    VolFileList list;
    ASSERT_EQ(Ext_ListVolFileDetails("VOL1", &list.head, &list.count), AFPSTAT_OK);
    std::vector<std::pair<uint32_t, std::vector<std::string>>> nodes;
    for (VolFileListNode *node = list.head; node != nullptr; node = node->next) {
        EXPECT_EQ(std::string(node->userName), "user-" + std::to_string(node->connectionNumber));
        nodes.emplace_back(by_value(node->connectionNumber),
                           texts_of(node->fileNames, node->fileCount));
    }
    EXPECT_EQ(list.count, 3);
    using Node = std::pair<uint32_t, std::vector<std::string>>;
    EXPECT_EQ(nodes, (std::vector<Node>{{2, {"/VOL1/c.doc"}},
                                        {9, {"/VOL1/b.doc", "/VOL1/a.doc"}},
                                        {10, {"/VOL1/x/z.doc", "/VOL1/a.doc"}}}));

    VolFileList empty;
    empty.count = -1;
    EXPECT_EQ(Ext_ListVolFileDetails("EMPTY", &empty.head, &empty.count), AFPSTAT_OK);
    EXPECT_EQ(empty.count, 0);
    EXPECT_EQ(empty.head, nullptr);

    VolFileList unknown;
    EXPECT_EQ(Ext_ListVolFileDetails("vol1", &unknown.head, &unknown.count), AFPSTAT_ERR_NOT_FOUND);
    EXPECT_EQ(unknown.count, 0);
    EXPECT_EQ(unknown.head, nullptr);
}

/* The store after an action: connections with their open paths and
 * equivalence counts. */
struct Snapshot {
    std::vector<uint32_t> connections;
    std::vector<std::string> files; /* "number:path" in listing order */
    int equivalences = 0;
};

Snapshot snapshot(Store &store) {
    Snapshot result;
    afpstat::Population population = store.read_population();
    for (const ConnectionRecord &record : population.connections) {
        result.connections.push_back(*record.number);
        result.equivalences += static_cast<int>(record.equivalences.size());
    }
    for (const afpstat::OpenFileRecord &file : population.openFiles) {
        result.files.push_back(std::to_string(file.connection) + ":" + file.path);
    }
    return result;
}

struct ActionCase {
    const char *name;
    int (*action)();
    int status;
    std::vector<uint32_t> connections;
    std::vector<std::string> files;
    int equivalences;
};

void PrintTo(const ActionCase &test, std::ostream *out) {
    *out << test.name;
}

class ActionTest : public StoreTest, public ::testing::WithParamInterface<ActionCase> {};

/* Connections 1 (two files, one shared, two equivalences), 2 (the shared
 * file on another volume) and 3 (no files). */
TEST_P(ActionTest, ActsInOneStepAndReportsWhatItFound) {
    const ActionCase &test = GetParam();
    Store store = create_store();
    ConnectionRecord first = numbered_connection(1);
    first.equivalences = {"Staff", "Sales"};
    store.add_connection(first);
    store.add_connection(numbered_connection(2));
    store.add_connection(numbered_connection(3));
    store.add_volume("VOL1");
    store.add_volume("DATA");
    store.open_file(1, "VOL1", "/shared.doc");
    store.open_file(1, "VOL1", "/VOL1/mine.txt");
    store.open_file(2, "DATA", "/shared.doc");

    EXPECT_EQ(test.action(), test.status);
    Snapshot after = snapshot(store);
    EXPECT_EQ(after.connections, test.connections);
    EXPECT_EQ(after.files, test.files);
    EXPECT_EQ(after.equivalences, test.equivalences);
}

const std::vector<std::string> kAllFiles{"1:/shared.doc", "1:/VOL1/mine.txt", "2:/shared.doc"};

INSTANTIATE_TEST_SUITE_P(
    Actions, ActionTest,
    ::testing::Values(ActionCase{"ClearConnection",
                                 [] { return Ext_ClearOneConnection(1); },
                                 AFPSTAT_OK,
                                 {2, 3},
                                 {"2:/shared.doc"},
                                 0},
                      ActionCase{"ClearConnectionWithoutFiles",
                                 [] { return Ext_ClearOneConnection(3); },
                                 AFPSTAT_OK,
                                 {1, 2},
                                 kAllFiles,
                                 2},
                      ActionCase{"ClearUnknownConnection",
                                 [] { return Ext_ClearOneConnection(4); },
                                 AFPSTAT_ERR_NOT_FOUND,
                                 {1, 2, 3},
                                 kAllFiles,
                                 2},
                      ActionCase{"CloseSharedPathEverywhere",
                                 [] { return Ext_CloseFileByFileName("/shared.doc"); },
                                 AFPSTAT_OK,
                                 {1, 2, 3},
                                 {"1:/VOL1/mine.txt"},
                                 2},
                      ActionCase{"CloseUnknownPath",
                                 [] { return Ext_CloseFileByFileName("/VOL1/MINE.TXT"); },
                                 AFPSTAT_ERR_NOT_FOUND,
                                 {1, 2, 3},
                                 kAllFiles,
                                 2},
                      ActionCase{"CloseFilesOfConnection",
                                 [] { return Ext_CloseFileByID(1); },
                                 AFPSTAT_OK,
                                 {1, 2, 3},
                                 {"2:/shared.doc"},
                                 2},
                      ActionCase{"CloseFilesOfConnectionWithoutFiles",
                                 [] { return Ext_CloseFileByID(3); },
                                 AFPSTAT_ERR_NOT_FOUND,
                                 {1, 2, 3},
                                 kAllFiles,
                                 2},
                      ActionCase{"CloseFilesOfUnknownConnection",
                                 [] { return Ext_CloseFileByID(9); },
                                 AFPSTAT_ERR_NOT_FOUND,
                                 {1, 2, 3},
                                 kAllFiles,
                                 2},
                      ActionCase{"CloseNullPath",
                                 [] { return Ext_CloseFileByFileName(nullptr); },
                                 AFPSTAT_ERR_ARGUMENT,
                                 {1, 2, 3},
                                 kAllFiles,
                                 2}),
    [](const ::testing::TestParamInfo<ActionCase> &info) { return info.param.name; });

struct NullArgumentCase {
    const char *name;
    int (*call)();
};

void PrintTo(const NullArgumentCase &test, std::ostream *out) {
    *out << test.name;
}

class NullArgumentTest : public StoreTest,
                         public ::testing::WithParamInterface<NullArgumentCase> {};

TEST_P(NullArgumentTest, IsAnArgumentError) {
    Store store = create_store();
    store.add_connection(numbered_connection(1));
    store.add_volume("VOL1");
    store.open_file(1, "VOL1", "/VOL1/a");
    EXPECT_EQ(GetParam().call(), AFPSTAT_ERR_ARGUMENT);
}

INSTANTIATE_TEST_SUITE_P(
    Calls, NullArgumentTest,
    ::testing::Values(
        NullArgumentCase{"ListConnNullCount",
                         [] {
                             ConnListNode *head = nullptr;
                             int status = Ext_ListConnDetails(nullptr, &head);
                             return head == nullptr ? status : -1;
                         }},
        NullArgumentCase{"ListConnNullHead",
                         [] {
                             int count = 5;
                             int status = Ext_ListConnDetails(&count, nullptr);
                             return count == 0 ? status : -1;
                         }},
        NullArgumentCase{"UserDetailsNullOut", [] { return Ext_GetUserDetails(1, nullptr); }},
        NullArgumentCase{"ListVolumesNullCount",
                         [] {
                             VolsDetailsNode *head = nullptr;
                             return Ext_ListVolumeDetails(nullptr, &head);
                         }},
        NullArgumentCase{"ListVolumesNullHead",
                         [] {
                             int count = 0;
                             return Ext_ListVolumeDetails(&count, nullptr);
                         }},
        NullArgumentCase{"VolFilesNullVolume",
                         [] {
                             VolFileListNode *head = nullptr;
                             int count = 0;
                             return Ext_ListVolFileDetails(nullptr, &head, &count);
                         }},
        NullArgumentCase{"VolFilesNullHead",
                         [] {
                             int count = 0;
                             return Ext_ListVolFileDetails("VOL1", nullptr, &count);
                         }},
        NullArgumentCase{"VolFilesNullCount",
                         [] {
                             VolFileListNode *head = nullptr;
                             return Ext_ListVolFileDetails("VOL1", &head, nullptr);
                         }},
        NullArgumentCase{"FreeConnNull", [] { return FreeConnListNodes(nullptr); }},
        NullArgumentCase{"FreeUserNull", [] { return FreeUserDetailsNode(nullptr); }},
        NullArgumentCase{"FreeVolumesNull", [] { return FreeVolsDetailsNode(nullptr); }},
        NullArgumentCase{"FreeVolFilesNull", [] { return FreeVolFileListNodes(nullptr); }}),
    [](const ::testing::TestParamInfo<NullArgumentCase> &info) { return info.param.name; });

TEST_F(CallsTest, FreeFunctionsClearTheHeadAndAcceptAnEmptyOne) {
    Store store = create_store();
    ConnectionRecord record = numbered_connection(1);
    record.equivalences = {"Staff"};
    store.add_connection(record);
    store.add_volume("VOL1");
    store.open_file(1, "VOL1", "/VOL1/a");

    ConnListNode *connections = nullptr;
    int count = 0;
    ASSERT_EQ(Ext_ListConnDetails(&count, &connections), AFPSTAT_OK);
    EXPECT_EQ(FreeConnListNodes(&connections), AFPSTAT_OK);
    EXPECT_EQ(connections, nullptr);
    EXPECT_EQ(FreeConnListNodes(&connections), AFPSTAT_OK);

    UserInfo_s *info = nullptr;
    ASSERT_EQ(Ext_GetUserDetails(1, &info), AFPSTAT_OK);
    EXPECT_EQ(FreeUserDetailsNode(&info), AFPSTAT_OK);
    EXPECT_EQ(info, nullptr);
    EXPECT_EQ(FreeUserDetailsNode(&info), AFPSTAT_OK);

    VolsDetailsNode *volumes = nullptr;
    ASSERT_EQ(Ext_ListVolumeDetails(&count, &volumes), AFPSTAT_OK);
    EXPECT_EQ(FreeVolsDetailsNode(&volumes), AFPSTAT_OK);
    EXPECT_EQ(volumes, nullptr);
    EXPECT_EQ(FreeVolsDetailsNode(&volumes), AFPSTAT_OK);

    VolFileListNode *files = nullptr;
    ASSERT_EQ(Ext_ListVolFileDetails("VOL1", &files, &count), AFPSTAT_OK);
    EXPECT_EQ(FreeVolFileListNodes(&files), AFPSTAT_OK);
    EXPECT_EQ(files, nullptr);
    EXPECT_EQ(FreeVolFileListNodes(&files), AFPSTAT_OK);
}

TEST_F(CallsTest, WriteHelpersRefuseWhatTheStoreCannotHoldWhole) {
    Store store = create_store();
    ConnectionRecord user_too_long = numbered_connection(1);
    user_too_long.user.assign(514, 'u');
    ConnectionRecord address_too_long = numbered_connection(1);
    address_too_long.address.assign(17, '1');
    ConnectionRecord status_too_long = numbered_connection(1);
    status_too_long.loginStatus.assign(33, 's');
    EXPECT_THROW(store.add_connection(user_too_long), afpstat::InvalidValue);
    EXPECT_THROW(store.add_connection(address_too_long), afpstat::InvalidValue);
    EXPECT_THROW(store.add_connection(status_too_long), afpstat::InvalidValue);
    EXPECT_THROW(store.add_volume(std::string(320, 'V')), afpstat::InvalidValue);
    store.add_connection(numbered_connection(1));
    EXPECT_THROW(store.add_connection(numbered_connection(1)), afpstat::StoreError);
    EXPECT_THROW(store.open_file(1, "NOPE", "/NOPE/a"), afpstat::StoreError);
    store.add_volume("VOL1");
    EXPECT_THROW(store.open_file(2, "VOL1", "/VOL1/a"), afpstat::StoreError);
    EXPECT_EQ(snapshot(store).connections, (std::vector<uint32_t>{1}));
}

TEST_F(CallsTest, NextFreeNumberFollowsTheHighestThenFillsGaps) {
    Store store = create_store();
    ConnectionRecord unnumbered = numbered_connection(0);
    unnumbered.number.reset();
    EXPECT_EQ(store.add_connection(unnumbered), 1u);
    store.add_connection(numbered_connection(10));
    EXPECT_EQ(store.add_connection(unnumbered), 11u);
    store.add_connection(numbered_connection(4294967295u));
    EXPECT_EQ(store.add_connection(unnumbered), 2u);
}

TEST_F(CallsTest, AFailedTransactionLeavesNothingBehind) {
    Store store = create_store();
    store.add_volume("VOL1");
    try {
        Transaction transaction(store);
        store.add_connection(numbered_connection(1));
        store.open_file(1, "VOL1", "/VOL1/a");
        store.open_file(1, "MISSING", "/MISSING/b");
        transaction.commit();
        FAIL() << "an unknown volume was accepted";
    } catch (const afpstat::StoreError &) {
    }
    Snapshot after = snapshot(store);
    EXPECT_TRUE(after.connections.empty());
    EXPECT_TRUE(after.files.empty());
}

} // namespace

} // namespace hxm_test
