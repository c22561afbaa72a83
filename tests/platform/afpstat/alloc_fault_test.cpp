/*
 * Allocation failures inside the library's calls. The library's code is
 * linked into this test with malloc, calloc and realloc wrapped; each call
 * is run failing its first, second, ... allocation until it succeeds, and
 * every failing run must answer AFPSTAT_ERR_NO_MEMORY with nothing handed
 * out (LeakSanitizer checks that nothing leaked either). Only the memory of
 * a list for later calls may fail without failing the call, which then
 * hands out the whole list.
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

/* One call: runs it and says how many items it handed out; `whole` is how
 * many the store holds. */
struct FaultCase {
    const char *name;
    std::function<int(int *handed_out)> call;
    int whole;
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
            // Long enough names for more than one growth step of the
            // buffer a file list is gathered in.
            for (int file = 0; file < 20; ++file) {
                store.open_file(number, "VOL1",
                                "/VOL1/" + std::to_string(number) + "/" + std::string(40, 'f') +
                                    std::to_string(file));
            }
        }
        transaction.commit();
    }
};

TEST_P(AllocationFaultTest, EveryFailedAllocationIsACleanNoMemory) {
    // The second pass finds a list in the memory the first one left.
    for (int pass = 0; pass < 2; ++pass) {
        bool succeeded = false;
        for (long failing = 0; failing < 5000 && !succeeded; ++failing) {
            int handed_out = -1;
            g_allocations_left.store(failing);
            int status = GetParam().call(&handed_out);
            g_allocations_left.store(-1);
            if (status == AFPSTAT_OK) {
                EXPECT_EQ(handed_out, GetParam().whole)
                    << "pass " << pass << ", allocation " << failing;
                succeeded = true;
            } else {
                EXPECT_EQ(status, AFPSTAT_ERR_NO_MEMORY)
                    << "pass " << pass << ", allocation " << failing;
                EXPECT_EQ(handed_out, 0) << "pass " << pass << ", allocation " << failing;
            }
        }
        EXPECT_TRUE(succeeded) << "pass " << pass;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Calls, AllocationFaultTest,
    ::testing::Values(
        FaultCase{"ListConnDetails",
                  [](int *handed_out) {
                      ConnList list;
                      int status = Ext_ListConnDetails(&list.count, &list.head);
                      *handed_out = list.head != nullptr ? list.count : list.count != 0 ? -1 : 0;
                      return status;
                  },
                  12},
        FaultCase{"GetUserDetails",
                  [](int *handed_out) {
                      UserDetails details;
                      int status = Ext_GetUserDetails(5, &details.info);
                      *handed_out = details.info != nullptr ? 1 : 0;
                      return status;
                  },
                  1},
        FaultCase{"ListVolumeDetails",
                  [](int *handed_out) {
                      VolumeList list;
                      int status = Ext_ListVolumeDetails(&list.count, &list.head);
                      *handed_out = list.head != nullptr ? list.count : list.count != 0 ? -1 : 0;
                      return status;
                  },
                  2},
        FaultCase{"ListVolFileDetails",
                  [](int *handed_out) {
                      VolFileList list;
                      int status = Ext_ListVolFileDetails("VOL1", &list.head, &list.count);
                      *handed_out = list.head != nullptr ? list.count : list.count != 0 ? -1 : 0;
                      return status;
                  },
                  12}),
    [](const ::testing::TestParamInfo<FaultCase> &info) { return info.param.name; });

} // namespace

} // namespace hxm_test
