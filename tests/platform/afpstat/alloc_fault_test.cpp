/*
 * Allocation failures inside the library's calls. The library's code is
 * linked into this test with malloc, calloc and realloc wrapped; each call
 * is run failing its first, second, ... allocation until it succeeds, and
 * every failing run must answer AFPSTAT_ERR_NO_MEMORY with nothing handed
 * out (LeakSanitizer checks that nothing leaked either).
 */
#include "tests/platform/afpstat/test_support.h"

#include <atomic>
#include <cstdlib>
#include <functional>

namespace hxm_test {
namespace {

/* Allocations left before the next one fails; negative: never fail. */
std::atomic<long> g_allocations_left{-1};

bool allocation_fails() {
    long left = g_allocations_left.load();
    if (left < 0) {
        return false;
    }
    g_allocations_left.store(left - 1);
    return left == 0;
}

} // namespace

extern "C" {
void *__real_malloc(size_t size);
void *__real_calloc(size_t count, size_t size);
void *__real_realloc(void *block, size_t size);

void *__wrap_malloc(size_t size) {
    return allocation_fails() ? nullptr : __real_malloc(size);
}
void *__wrap_calloc(size_t count, size_t size) {
    return allocation_fails() ? nullptr : __real_calloc(count, size);
}
void *__wrap_realloc(void *block, size_t size) {
    return allocation_fails() ? nullptr : __real_realloc(block, size);
}
}

namespace {

/* One call: runs it and says whether what it handed out is empty. */
struct FaultCase {
    const char *name;
    std::function<int(bool *handed_out_nothing)> call;
};

void PrintTo(const FaultCase &test, std::ostream *out) {
    *out << test.name;
}

class AllocationFaultTest : public StoreTest, public ::testing::WithParamInterface<FaultCase> {
  protected:
    void SetUp() override {
        StoreTest::SetUp();
        afpstat::Store store = create_store();
        afpstat::Transaction transaction(store);
        store.add_volume("VOL1");
        store.add_volume("VOL2");
        for (uint32_t number = 1; number <= 12; ++number) {
            afpstat::ConnectionRecord record = numbered_connection(number);
            record.equivalences = {"Staff", "Sales", "Everyone"};
            store.add_connection(record);
            // More than one growth step of the file arrays.
            for (int file = 0; file < 20; ++file) {
                store.open_file(number, "VOL1",
                                "/VOL1/" + std::to_string(number) + "/" + std::to_string(file));
            }
        }
        transaction.commit();
    }
};

TEST_P(AllocationFaultTest, EveryFailedAllocationIsACleanNoMemory) {
    bool succeeded = false;
    for (long failing = 0; failing < 5000 && !succeeded; ++failing) {
        bool nothing = false;
        g_allocations_left.store(failing);
        int status = GetParam().call(&nothing);
        bool exhausted = g_allocations_left.load() >= 0;
        g_allocations_left.store(-1);
        if (status == AFPSTAT_OK) {
            // It only succeeds once no allocation was made to fail.
            EXPECT_TRUE(exhausted) << "succeeded although allocation " << failing << " failed";
            succeeded = true;
        } else {
            EXPECT_EQ(status, AFPSTAT_ERR_NO_MEMORY) << "allocation " << failing;
            EXPECT_TRUE(nothing) << "allocation " << failing;
        }
    }
    EXPECT_TRUE(succeeded);
}

INSTANTIATE_TEST_SUITE_P(
    Calls, AllocationFaultTest,
    ::testing::Values(FaultCase{"ListConnDetails",
                                [](bool *nothing) {
                                    ConnList list;
                                    int status = Ext_ListConnDetails(&list.count, &list.head);
                                    *nothing = list.head == nullptr && list.count == 0;
                                    return status;
                                }},
                      FaultCase{"GetUserDetails",
                                [](bool *nothing) {
                                    UserDetails details;
                                    int status = Ext_GetUserDetails(5, &details.info);
                                    *nothing = details.info == nullptr;
                                    return status;
                                }},
                      FaultCase{"ListVolumeDetails",
                                [](bool *nothing) {
                                    VolumeList list;
                                    int status = Ext_ListVolumeDetails(&list.count, &list.head);
                                    *nothing = list.head == nullptr && list.count == 0;
                                    return status;
                                }},
                      FaultCase{"ListVolFileDetails",
                                [](bool *nothing) {
                                    VolFileList list;
                                    int status =
                                        Ext_ListVolFileDetails("VOL1", &list.head, &list.count);
                                    *nothing = list.head == nullptr && list.count == 0;
                                    return status;
                                }}),
    [](const ::testing::TestParamInfo<FaultCase> &info) { return info.param.name; });

} // namespace

} // namespace hxm_test
