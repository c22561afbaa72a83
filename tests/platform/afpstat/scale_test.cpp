/*
 * Server scale: 100,000 open files on one volume are listed whole and in
 * order; the time taken is printed, not asserted.
 */
#include "tests/platform/afpstat/test_support.h"

#include <chrono>
#include <cstdio>

namespace hxm_test {
namespace {

class ScaleTest : public StoreTest {};

TEST_F(ScaleTest, ListsAHundredThousandOpenFiles) {
    constexpr uint32_t kConnections = 1000;
    constexpr uint32_t kFiles = 100000;
    {
        afpstat::Store store = create_store();
        afpstat::Transaction transaction(store);
        store.add_volume("VOL1");
        store.add_volume("DATA");
        for (uint32_t number = 1; number <= kConnections; ++number) {
            store.add_connection(numbered_connection(number));
        }
        // Interleaved across connections, so grouping relies on the query's order.
        for (uint32_t file = 0; file < kFiles; ++file) {
            uint32_t owner = 1 + (file * 7919u) % kConnections;
            store.open_file(owner, "VOL1", "/VOL1/d/" + std::to_string(file) + ".doc");
        }
        store.open_file(1, "DATA", "/DATA/elsewhere.txt");
        transaction.commit();
    }

    auto start = std::chrono::steady_clock::now();
    VolFileList list;
    ASSERT_EQ(Ext_ListVolFileDetails("VOL1", &list.head, &list.count), AFPSTAT_OK);
    auto elapsed =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start);
    printf("[ listed  ] %u open files of %d connections in %.1f ms\n", kFiles, list.count,
           elapsed.count());

    EXPECT_EQ(list.count, int(kConnections));
    uint64_t files = 0;
    uint32_t previous = 0;
    for (VolFileListNode *node = list.head; node != nullptr; node = node->next) {
        ASSERT_GT(by_value(node->connectionNumber), previous);
        previous = node->connectionNumber;
        // Files of a connection come in the order opened: ascending file index.
        long last_index = -1;
        for (int i = 0; i < node->fileCount; ++i) {
            long index = strtol(node->fileNames[i] + strlen("/VOL1/d/"), nullptr, 10);
            ASSERT_GT(index, last_index);
            ASSERT_EQ(1 + (uint32_t(index) * 7919u) % kConnections,
                      by_value(node->connectionNumber));
            last_index = index;
        }
        files += static_cast<uint64_t>(node->fileCount);
    }
    EXPECT_EQ(files, kFiles);

    start = std::chrono::steady_clock::now();
    EXPECT_EQ(FreeVolFileListNodes(&list.head), AFPSTAT_OK);
    elapsed = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start);
    printf("[ freed   ] in %.1f ms\n", elapsed.count());
}

} // namespace

} // namespace hxm_test
