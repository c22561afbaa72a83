/*
 * Listing while other threads clear connections and close files: every
 * list is one snapshot, so no listed record is torn and no action is seen
 * half done.
 */
#include "tests/platform/afpstat/test_support.h"

#include <atomic>
#include <chrono>
#include <thread>

namespace hxm_test {

using afpstat::ConnectionRecord;

namespace {

constexpr uint32_t kConnections = 60;
constexpr int kReaders = 3;
const char kShared[] = "/VOL1/shared.doc";

std::string own_file(uint32_t number, int index) {
    return "/VOL1/u" + std::to_string(number) + "/f" + std::to_string(index) + ".doc";
}

/* Files of a connection in the order opened, with or without the shared one. */
std::vector<std::string> files_of(uint32_t number, bool with_shared) {
    std::vector<std::string> files{own_file(number, 0), own_file(number, 1)};
    if (with_shared) {
        files.emplace_back(kShared);
    }
    files.push_back(own_file(number, 2));
    return files;
}

class ConcurrencyTest : public StoreTest {
  protected:
    void SetUp() override {
        StoreTest::SetUp();
        afpstat::Store store = create_store();
        afpstat::Transaction transaction(store);
        store.add_volume("VOL1");
        for (uint32_t number = 1; number <= kConnections; ++number) {
            ConnectionRecord record = numbered_connection(number);
            record.equivalences = {"eq-" + std::to_string(number) + "-a",
                                   "eq-" + std::to_string(number) + "-b"};
            store.add_connection(record);
            for (const std::string &path : files_of(number, true)) {
                store.open_file(number, "VOL1", path);
            }
        }
        transaction.commit();
    }
};

void check_connection_list() {
    ConnList list;
    ASSERT_EQ(Ext_ListConnDetails(&list.count, &list.head), AFPSTAT_OK);
    int seen = 0;
    int64_t previous = -1;
    for (ConnListNode *node = list.head; node != nullptr; node = node->next, ++seen) {
        ConnectionRecord expected = numbered_connection(node->connectionNumber);
        ASSERT_GT(int64_t(node->connectionNumber), previous);
        previous = node->connectionNumber;
        EXPECT_EQ(std::string(node->userName), expected.user);
        EXPECT_EQ(field_text(node->networkAddress, sizeof node->networkAddress), expected.address);
        EXPECT_EQ(by_value(node->requestCount), expected.requests);
        EXPECT_EQ(by_value(node->bytesRead), expected.bytesRead);
        EXPECT_EQ(by_value(node->bytesWritten), expected.bytesWritten);
        EXPECT_EQ(by_value(node->loginTime), expected.loginTime);
    }
    EXPECT_EQ(seen, list.count);
}

void check_volume_files() {
    VolFileList list;
    ASSERT_EQ(Ext_ListVolFileDetails("VOL1", &list.head, &list.count), AFPSTAT_OK);
    int seen = 0;
    int with_shared = 0;
    for (VolFileListNode *node = list.head; node != nullptr; node = node->next, ++seen) {
        EXPECT_EQ(std::string(node->userName), "user-" + std::to_string(node->connectionNumber));
        std::vector<std::string> files = texts_of(node->fileNames, node->fileCount);
        bool has_shared = files.size() == 4;
        with_shared += has_shared ? 1 : 0;
        EXPECT_EQ(files, files_of(node->connectionNumber, has_shared));
    }
    EXPECT_EQ(seen, list.count);
    // The shared file closes everywhere in one step: all nodes or none.
    EXPECT_TRUE(with_shared == 0 || with_shared == seen) << with_shared << " of " << seen;
}

void check_user(uint32_t number) {
    UserDetails details;
    int status = Ext_GetUserDetails(number, &details.info);
    if (status == AFPSTAT_ERR_NOT_FOUND) {
        EXPECT_EQ(details.info, nullptr);
        return;
    }
    ASSERT_EQ(status, AFPSTAT_OK);
    const UserInfo_s &info = *details.info;
    EXPECT_EQ(std::string(info.userName), "user-" + std::to_string(number));
    EXPECT_EQ(texts_of(info.securityEquivalences, info.securityEquivalenceCount),
              (std::vector<std::string>{"eq-" + std::to_string(number) + "-a",
                                        "eq-" + std::to_string(number) + "-b"}));
    std::vector<std::string> files = texts_of(info.openFiles, info.openFileCount);
    if (!files.empty()) {
        EXPECT_EQ(files, files_of(number, files.size() == 4));
    }
}

TEST_F(ConcurrencyTest, ListsStayConsistentWhileWritersAct) {
    std::atomic<bool> writing{true};
    std::atomic<int> lists{0};
    std::vector<std::thread> readers;
    for (int reader = 0; reader < kReaders; ++reader) {
        readers.emplace_back([&, reader] {
            uint32_t number = 1 + reader;
            do {
                check_connection_list();
                check_volume_files();
                check_user(number);
                number = number % kConnections + 1;
                lists.fetch_add(1);
            } while (writing.load());
        });
    }
    // Two writers on disjoint connections, so they also contend with each other.
    auto writer = [](uint32_t first) {
        for (uint32_t number = first; number <= kConnections; number += 2) {
            if (number == 31) {
                EXPECT_EQ(Ext_CloseFileByFileName(kShared), AFPSTAT_OK);
            }
            if (number % 3 == 0) {
                EXPECT_EQ(Ext_ClearOneConnection(number), AFPSTAT_OK) << number;
            } else if (number % 3 == 1) {
                EXPECT_EQ(Ext_CloseFileByID(number), AFPSTAT_OK) << number;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    };
    std::thread odd(writer, 1);
    std::thread even(writer, 2);
    odd.join();
    even.join();
    writing.store(false);
    for (std::thread &reader : readers) {
        reader.join();
    }
    EXPECT_GE(lists.load(), kReaders);

    // The end state: a third cleared, a third without files, a third untouched
    // but for the shared file.
    ConnList connections;
    ASSERT_EQ(Ext_ListConnDetails(&connections.count, &connections.head), AFPSTAT_OK);
    EXPECT_EQ(connections.count, int(kConnections - kConnections / 3));
    VolFileList files;
    ASSERT_EQ(Ext_ListVolFileDetails("VOL1", &files.head, &files.count), AFPSTAT_OK);
    EXPECT_EQ(files.count, int(kConnections / 3));
    for (VolFileListNode *node = files.head; node != nullptr; node = node->next) {
        EXPECT_EQ(node->connectionNumber % 3, 2u);
        EXPECT_EQ(texts_of(node->fileNames, node->fileCount),
                  files_of(node->connectionNumber, false));
    }
}

/* A connection that is cleared and made again and again: its details are
 * read whole (all equivalences and files) or not at all, never in between. */
TEST_F(ConcurrencyTest, DetailsOfAConnectionThatComesAndGoesAreWholeOrAbsent) {
    constexpr uint32_t kNumber = 1000;
    std::atomic<bool> writing{true};
    std::atomic<int> whole{0};
    std::atomic<int> absent{0};
    std::vector<std::thread> readers;
    for (int reader = 0; reader < 2; ++reader) {
        readers.emplace_back([&] {
            do {
                UserDetails details;
                int status = Ext_GetUserDetails(kNumber, &details.info);
                if (status == AFPSTAT_ERR_NOT_FOUND) {
                    absent.fetch_add(1);
                    continue;
                }
                ASSERT_EQ(status, AFPSTAT_OK);
                EXPECT_EQ(by_value(details.info->securityEquivalenceCount), 2);
                EXPECT_EQ(by_value(details.info->openFileCount), 4);
                whole.fetch_add(1);
            } while (writing.load());
        });
    }
    afpstat::Store store = afpstat::Store::open(store_path());
    for (int round = 0; round < 300; ++round) {
        afpstat::Transaction transaction(store);
        ConnectionRecord record = numbered_connection(kNumber);
        record.equivalences = {"Staff", "Sales"};
        store.add_connection(record);
        for (const std::string &path : files_of(kNumber, true)) {
            store.open_file(kNumber, "VOL1", path);
        }
        transaction.commit();
        EXPECT_EQ(Ext_ClearOneConnection(kNumber), AFPSTAT_OK);
    }
    writing.store(false);
    for (std::thread &reader : readers) {
        reader.join();
    }
    printf("[ details ] %d whole, %d absent\n", whole.load(), absent.load());
}

} // namespace

} // namespace hxm_test
