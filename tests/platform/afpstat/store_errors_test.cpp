/*
 * Where the library finds its store, and what it answers when the store is
 * missing or is not one of ours: AFPSTAT_ERR_STORE with null lists, and no
 * store made on the way.
 */
#include "platform/afpstat/store_path.h"
#include "tests/platform/afpstat/test_support.h"

#include <climits>
#include <fstream>
#include <sys/stat.h>

namespace hxm_test {
namespace {

struct PathCase {
    const char *name;
    const char *afpstatDb; /* null: unset */
    const char *zentraRoot;
    const char *expected;
};

void PrintTo(const PathCase &test, std::ostream *out) {
    *out << test.name;
}

class StorePathTest : public ::testing::TestWithParam<PathCase> {
  protected:
    void TearDown() override {
        unsetenv("AFPSTAT_DB");
        unsetenv("ZENTRA_ROOT");
    }
};

void set_or_unset(const char *name, const char *value) {
    if (value != nullptr) {
        setenv(name, value, 1);
    } else {
        unsetenv(name);
    }
}

TEST_P(StorePathTest, FollowsTheEnvironment) {
    set_or_unset("AFPSTAT_DB", GetParam().afpstatDb);
    set_or_unset("ZENTRA_ROOT", GetParam().zentraRoot);
    char path[PATH_MAX];
    ASSERT_EQ(afpstat::resolve_store_path(path, sizeof path), 0);
    EXPECT_STREQ(path, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Environment, StorePathTest,
    ::testing::Values(
        PathCase{"Default", nullptr, nullptr, "/var/opt/zentra/afpstat/afpstat.db"},
        PathCase{"EmptyValuesCountAsUnset", "", "", "/var/opt/zentra/afpstat/afpstat.db"},
        PathCase{"UnderRoot", nullptr, "/srv/z", "/srv/z/var/opt/zentra/afpstat/afpstat.db"},
        PathCase{"EmptyDbUnderRoot", "", "/srv/z", "/srv/z/var/opt/zentra/afpstat/afpstat.db"},
        PathCase{"ExplicitWins", "/tmp/x.db", "/srv/z", "/tmp/x.db"}),
    [](const ::testing::TestParamInfo<PathCase> &info) { return info.param.name; });

TEST(StorePathBoundsTest, APathThatDoesNotFitIsRefused) {
    setenv("AFPSTAT_DB", std::string(100, 'd').c_str(), 1);
    char path[100];
    EXPECT_EQ(afpstat::resolve_store_path(path, sizeof path), -1);
    EXPECT_STREQ(path, "");
    unsetenv("AFPSTAT_DB");
}

class StoreErrorsTest : public StoreTest {
  protected:
    /* Every call must fail with AFPSTAT_ERR_STORE and hand out nothing. */
    void expect_every_call_fails() {
        ConnList connections;
        connections.count = 7;
        EXPECT_EQ(Ext_ListConnDetails(&connections.count, &connections.head), AFPSTAT_ERR_STORE);
        EXPECT_EQ(connections.head, nullptr);
        EXPECT_EQ(connections.count, 0);

        UserDetails details;
        EXPECT_EQ(Ext_GetUserDetails(1, &details.info), AFPSTAT_ERR_STORE);
        EXPECT_EQ(details.info, nullptr);

        VolumeList volumes;
        volumes.count = 7;
        EXPECT_EQ(Ext_ListVolumeDetails(&volumes.count, &volumes.head), AFPSTAT_ERR_STORE);
        EXPECT_EQ(volumes.head, nullptr);
        EXPECT_EQ(volumes.count, 0);

        VolFileList files;
        files.count = 7;
        EXPECT_EQ(Ext_ListVolFileDetails("VOL1", &files.head, &files.count), AFPSTAT_ERR_STORE);
        EXPECT_EQ(files.head, nullptr);
        EXPECT_EQ(files.count, 0);

        EXPECT_EQ(Ext_CloseFileByFileName("/VOL1/a"), AFPSTAT_ERR_STORE);
        EXPECT_EQ(Ext_CloseFileByID(1), AFPSTAT_ERR_STORE);
        EXPECT_EQ(Ext_ClearOneConnection(1), AFPSTAT_ERR_STORE);
    }

    void write_store_file(const std::string &bytes) {
        std::ofstream stream(store_path(), std::ios::binary);
        stream << bytes;
    }
};

TEST_F(StoreErrorsTest, MissingStoreIsAnErrorAndIsNotCreated) {
    expect_every_call_fails();
    struct stat status;
    EXPECT_NE(stat(store_path().c_str(), &status), 0) << "the library made a store";
}

TEST_F(StoreErrorsTest, MissingFolderIsAnError) {
    setenv("AFPSTAT_DB", (folder() + "/no/such/folder/afpstat.db").c_str(), 1);
    expect_every_call_fails();
}

TEST_F(StoreErrorsTest, GarbageFileIsAnError) {
    std::string garbage;
    for (int i = 0; i < 8192; ++i) {
        garbage.push_back(static_cast<char>((i * 7919 + 13) & 0xff));
    }
    write_store_file(garbage);
    expect_every_call_fails();
}

TEST_F(StoreErrorsTest, EmptyFileIsAnErrorAndStaysEmpty) {
    write_store_file("");
    expect_every_call_fails();
    struct stat status;
    ASSERT_EQ(stat(store_path().c_str(), &status), 0);
    EXPECT_EQ(status.st_size, 0);
}

TEST_F(StoreErrorsTest, ForeignDatabaseIsAnError) {
    write_store_file("");
    exec_sql("CREATE TABLE connections (number INTEGER PRIMARY KEY);");
    expect_every_call_fails();
}

TEST_F(StoreErrorsTest, StoreOfAnotherSchemaVersionIsAnError) {
    create_store();
    exec_sql("PRAGMA user_version = 99;");
    expect_every_call_fails();
}

TEST_F(StoreErrorsTest, DamagedStoreIsAnErrorNotACrash) {
    {
        afpstat::Store store = create_store();
        for (uint32_t number = 1; number <= 200; ++number) {
            afpstat::ConnectionRecord record = numbered_connection(number);
            record.user.assign(400, 'u');
            store.add_connection(record);
        }
        // Fold the log into the main file so the damage below reaches the data.
        ASSERT_EQ(sqlite3_exec(store.handle(), "PRAGMA wal_checkpoint(TRUNCATE)", nullptr, nullptr,
                               nullptr),
                  SQLITE_OK);
    }
    // Overwrite the second half, where the connections' leaf pages lie; the
    // header, the schema and the table's root page stay intact.
    struct stat file;
    ASSERT_EQ(stat(store_path().c_str(), &file), 0);
    ASSERT_GT(file.st_size, 16 * 4096);
    std::fstream stream(store_path(), std::ios::in | std::ios::out | std::ios::binary);
    stream.seekp(file.st_size / 2);
    stream << std::string(static_cast<size_t>(file.st_size / 2), '\xA5');
    stream.close();

    ConnList list;
    int status = Ext_ListConnDetails(&list.count, &list.head);
    EXPECT_EQ(status, AFPSTAT_ERR_STORE);
    EXPECT_EQ(list.head, nullptr);
    EXPECT_EQ(list.count, 0);
}

TEST_F(StoreErrorsTest, StoreUnderZentraRootIsFound) {
    unsetenv("AFPSTAT_DB");
    setenv("ZENTRA_ROOT", folder().c_str(), 1);
    CommandResult init = run_afpstat({"init"});
    ASSERT_EQ(init.exitCode, 0) << init.err;
    EXPECT_EQ(init.out, folder() + "/var/opt/zentra/afpstat/afpstat.db\n");
    ASSERT_EQ(run_afpstat({"volume", "VOL1"}).exitCode, 0);
    VolumeList volumes;
    ASSERT_EQ(Ext_ListVolumeDetails(&volumes.count, &volumes.head), AFPSTAT_OK);
    ASSERT_EQ(volumes.count, 1);
    EXPECT_STREQ(volumes.head->volumeName, "VOL1");
}

} // namespace

} // namespace hxm_test
