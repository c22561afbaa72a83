/*
 * A thread keeps its connection to the store between calls; its next call
 * must still see what happened to the store meanwhile: a row another
 * connection added or its own write removed, the store made again,
 * overwritten or of another schema version, or another store named by the
 * environment.
 */
#include "platform/afpstat/store_path.h"
#include "tests/platform/afpstat/test_support.h"

#include <sqlite3.h>

#include <cstdio>
#include <fcntl.h>
#include <initializer_list>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace hxm_test {

using afpstat::Store;

namespace {

/* Where a case works: the test's folder and the store AFPSTAT_DB names. */
struct Paths {
    std::string folder;
    std::string store;
};

struct ChangeCase {
    const char *name;
    /* Done to the store after a first listing on this thread. */
    void (*change)(const Paths &paths);
    int status;                          /* of the next listing */
    std::vector<uint32_t> listed;        /* the connections it lists */
    void (*restore)(const Paths &paths); /* null: nothing to put back */
    std::vector<uint32_t> restored;      /* listed after the restore */
};

void PrintTo(const ChangeCase &test, std::ostream *out) {
    *out << test.name;
}

void fill(const std::string &path, std::initializer_list<uint32_t> numbers) {
    Store store = Store::create(path);
    for (uint32_t number : numbers) {
        store.add_connection(numbered_connection(number));
    }
}

/* Runs sql on a connection of its own, whatever the schema version. */
void run_sql(const std::string &path, const char *sql) {
    sqlite3 *db = nullptr;
    ASSERT_EQ(sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
    int rc = sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
    std::string message = sqlite3_errmsg(db);
    sqlite3_close(db);
    ASSERT_EQ(rc, SQLITE_OK) << message << " in " << sql;
}

/* Writes bytes over the file at path, in place, and dates it a second after
 * its last change, so that the change shows however coarse the file
 * system's clock. */
void overwrite_later(const std::string &path, const std::string &bytes) {
    struct stat before;
    ASSERT_EQ(stat(path.c_str(), &before), 0);
    WriteFile(path, bytes);
    timespec times[2] = {before.st_atim, before.st_mtim};
    times[1].tv_sec += 1;
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

std::string saved_copy(const Paths &paths) {
    return paths.folder + "/saved.db";
}

/* Lists the connections' numbers into *numbers; returns the call's status. */
int list_numbers(std::vector<uint32_t> *numbers) {
    ConnList list;
    int status = Ext_ListConnDetails(&list.count, &list.head);
    numbers->clear();
    for (ConnListNode *node = list.head; node != nullptr; node = node->next) {
        numbers->push_back(by_value(node->connectionNumber));
    }
    EXPECT_EQ(static_cast<int>(numbers->size()), list.count);
    return status;
}

class StoreChangesTest : public StoreTest, public ::testing::WithParamInterface<ChangeCase> {
  protected:
    void TearDown() override {
        unsetenv("ZENTRA_ROOT");
        StoreTest::TearDown();
    }
};

TEST_P(StoreChangesTest, NextCallOnTheThreadSeesTheStoreAsItIsNow) {
    const ChangeCase &test = GetParam();
    Paths paths{folder(), store_path()};
    fill(paths.store, {1});
    std::vector<uint32_t> numbers;
    ASSERT_EQ(list_numbers(&numbers), AFPSTAT_OK);
    ASSERT_EQ(numbers, std::vector<uint32_t>{1});

    test.change(paths);
    EXPECT_EQ(list_numbers(&numbers), test.status);
    EXPECT_EQ(numbers, test.listed);

    if (test.restore != nullptr) {
        test.restore(paths);
        EXPECT_EQ(list_numbers(&numbers), AFPSTAT_OK);
        EXPECT_EQ(numbers, test.restored);
    }
}

/* The paths a volume lists, connection by connection. */
std::vector<std::string> list_paths(const char *volume) {
    VolFileList list;
    EXPECT_EQ(Ext_ListVolFileDetails(volume, &list.head, &list.count), AFPSTAT_OK);
    std::vector<std::string> paths;
    for (VolFileListNode *node = list.head; node != nullptr; node = node->next) {
        for (int32_t i = 0; i < node->fileCount; ++i) {
            paths.emplace_back(node->fileNames[i]);
        }
    }
    return paths;
}

// The open files of a volume are kept between calls as well.
TEST_F(StoreChangesTest, FileListSeesOtherConnectionsAndItsOwnWrites) {
    {
        Store store = Store::create(store_path());
        store.add_volume("VOL1");
        store.add_connection(numbered_connection(1));
        store.open_file(1, "VOL1", "/VOL1/a");
    }
    EXPECT_EQ(list_paths("VOL1"), std::vector<std::string>{"/VOL1/a"});
    EXPECT_EQ(list_paths("VOL1"), std::vector<std::string>{"/VOL1/a"});
    Store::open(store_path()).open_file(1, "VOL1", "/VOL1/b");
    EXPECT_EQ(list_paths("VOL1"), (std::vector<std::string>{"/VOL1/a", "/VOL1/b"}));
    EXPECT_EQ(Ext_CloseFileByFileName("/VOL1/a"), AFPSTAT_OK);
    EXPECT_EQ(list_paths("VOL1"), std::vector<std::string>{"/VOL1/b"});
}

INSTANTIATE_TEST_SUITE_P(
    Changes, StoreChangesTest,
    ::testing::Values(
        ChangeCase{"RowAddedByAnotherConnection",
                   [](const Paths &paths) {
                       Store::open(paths.store).add_connection(numbered_connection(2));
                   },
                   AFPSTAT_OK,
                   {1, 2},
                   nullptr,
                   {}},
        // The thread's own commit leaves the connection's data version as it was.
        ChangeCase{"ConnectionClearedByThisThread",
                   [](const Paths &) { EXPECT_EQ(Ext_ClearOneConnection(1), AFPSTAT_OK); },
                   AFPSTAT_OK,
                   {},
                   nullptr,
                   {}},
        ChangeCase{"StoreDeletedAndMadeAgain",
                   [](const Paths &paths) {
                       for (const char *suffix : {"", "-wal", "-shm"}) {
                           std::remove((paths.store + suffix).c_str());
                       }
                       fill(paths.store, {7, 8});
                   },
                   AFPSTAT_OK,
                   {7, 8},
                   nullptr,
                   {}},
        // In place and at the same size: nothing SQLite keeps tells it apart.
        ChangeCase{
            "StoreOverwrittenWithGarbage",
            [](const Paths &paths) {
                std::string saved = ReadFile(paths.store);
                WriteFile(saved_copy(paths), saved);
                overwrite_later(paths.store, std::string(saved.size(), '\xA5'));
            },
            AFPSTAT_ERR_STORE,
            {},
            [](const Paths &paths) { overwrite_later(paths.store, ReadFile(saved_copy(paths))); },
            {1}},
        ChangeCase{"SchemaVersionChangedByAnotherConnection",
                   [](const Paths &paths) { run_sql(paths.store, "PRAGMA user_version = 99"); },
                   AFPSTAT_ERR_STORE,
                   {},
                   [](const Paths &paths) { run_sql(paths.store, "PRAGMA user_version = 1"); },
                   {1}},
        ChangeCase{"ZentraRootNamesAnotherStore",
                   [](const Paths &paths) {
                       std::string root = paths.folder + "/root";
                       fill(root + afpstat::kStoreRelativePath, {3});
                       unsetenv("AFPSTAT_DB");
                       setenv("ZENTRA_ROOT", root.c_str(), 1);
                   },
                   AFPSTAT_OK,
                   {3},
                   nullptr,
                   {}}),
    [](const ::testing::TestParamInfo<ChangeCase> &info) { return info.param.name; });

} // namespace

} // namespace hxm_test
