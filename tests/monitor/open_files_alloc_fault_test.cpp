/*
 * Allocation failure in the open-file list and the sample volume list: the
 * program replaces malloc and calloc (the plug-in's calls bind to them), and
 * makes allocation N fail for every N until a call runs through. Each run
 * must end with the right result or a clean error: no crash, nothing the
 * monitoring library handed out left unfreed. Built without sanitizers
 * only, whose allocators cannot be replaced.
 */
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "monitor/open_files.h"
#include "monitor/volumes.h"
#include "tests/support/plugin_fixture.h"

namespace hxm_test {

extern "C" void *__libc_malloc(size_t size);
extern "C" void *__libc_calloc(size_t count, size_t size);

namespace {

/* Allocations left before one fails; negative: none fails. Tests run on one
 * thread. */
long gAllocationsBeforeFailure = -1;

bool FailNow() {
    if (gAllocationsBeforeFailure < 0)
        return false;
    return gAllocationsBeforeFailure-- == 0;
}

} // namespace

extern "C" void *malloc(size_t size) {
    return FailNow() ? nullptr : __libc_malloc(size);
}

extern "C" void *calloc(size_t count, size_t size) {
    return FailNow() ? nullptr : __libc_calloc(count, size);
}

namespace {

using GetOpenFileListFn = int (*)(const char *, OpenFileInfo **, const char *);
using GetVolumeListFn = int (*)(AFPVolumeList **);
using GetVolumeNodeFn = AFPVolumeNode *(*)(const char *, const char *);
using SortFn = void (*)(OpenFileInfo **, AfpSortType);

class OpenFilesAllocationFaultTest : public ScriptedPluginTest {};

TEST_F(OpenFilesAllocationFaultTest, OpenFileListIsWholeOrACleanFailure) {
    auto get = Export<GetOpenFileListFn>("_Z15GetOpenFileListPKcPP12OpenFileInfoS0_");
    bool completed = false;
    for (long failing = 0; failing < 200 && !completed; ++failing) {
        scripted::Reset();
        scripted::StageOpenFiles("VOL1", {{{"a", 1, {"/1.doc", "/2.txt"}}, {"b", 2, {"/3.doc"}}}});
        OpenFileInfo sentinel{};
        OpenFileInfo *head = &sentinel;
        gAllocationsBeforeFailure = failing;
        const int result = get("VOL1", &head, "*.doc");
        gAllocationsBeforeFailure = -1;
        EXPECT_EQ(scripted::LiveCount(), 0u) << "failing allocation " << failing;
        if (result == 0) {
            std::vector<std::string> paths;
            for (OpenFileInfo *node = head; node != nullptr;) {
                paths.emplace_back(node->filePath);
                OpenFileInfo *next = node->next;
                free(node);
                node = next;
            }
            EXPECT_EQ(paths, (std::vector<std::string>{"/1.doc", "/3.doc"}));
            completed = true;
        } else {
            EXPECT_EQ(result, -1);
            EXPECT_EQ(head, &sentinel) << "failing allocation " << failing;
        }
    }
    EXPECT_TRUE(completed);
}

// The sort reads its keys into an array (texts from the end of the prefix
// they all share); without memory for it (or for the stable sort's buffer)
// it must still give the same order as the list merge.
TEST_F(OpenFilesAllocationFaultTest, SortWithoutMemoryGivesTheSameOrder) {
    auto sort = Export<SortFn>("_Z13mergesortFilePP12OpenFileInfoi");
    const struct {
        uint32_t number;
        const char *user;
        const char *path;
    } rows[] = {
        {3, "carol", "/volume/projects/2024/b/x"}, {1, "alice", "/volume/projects/2024/a/y"},
        {3, "bob", "/volume/projects/2024/a/y"},   {2, "alice", "/volume/projects/2024"},
        {1, "bob", "/volume/projects/2024/a/yy"},  {2, "carol", "/volume/projects/2024/a"}};
    constexpr size_t kRows = sizeof rows / sizeof rows[0];
    for (AfpSortType type : {AFP_SORT_CONNECTION_NUMBER, AFP_SORT_USER_NAME, AFP_SORT_FILE_PATH}) {
        std::vector<std::vector<int>> orders;
        for (long failing : {-1L, 0L, 1L}) {
            OpenFileInfo nodes[kRows] = {};
            for (size_t i = 0; i < kRows; ++i) {
                nodes[i].connectionNumber = rows[i].number;
                snprintf(nodes[i].userName, sizeof nodes[i].userName, "%s", rows[i].user);
                snprintf(nodes[i].filePath, sizeof nodes[i].filePath, "%s", rows[i].path);
                nodes[i].next = i + 1 < kRows ? &nodes[i + 1] : nullptr;
            }
            OpenFileInfo *head = &nodes[0];
            gAllocationsBeforeFailure = failing;
            sort(&head, type);
            gAllocationsBeforeFailure = -1;
            std::vector<int> order;
            for (const OpenFileInfo *node = head; node != nullptr; node = node->next)
                order.push_back(static_cast<int>(node - nodes));
            orders.push_back(order);
        }
        EXPECT_EQ(orders[0].size(), kRows) << "type " << type;
        EXPECT_EQ(orders[1], orders[0]) << "type " << type << ", no memory for the keys";
        EXPECT_EQ(orders[2], orders[0]) << "type " << type << ", no memory for the buffer";
    }
}

TEST_F(OpenFilesAllocationFaultTest, SampleVolumeListReturnsWhatWasBuilt) {
    auto get = Export<GetVolumeListFn>("_Z13GetVolumeListPP13AFPVolumeList");
    auto node = Export<GetVolumeNodeFn>("_Z13getVolumeNodePKcS0_");
    for (long failing = 0; failing <= 4; ++failing) {
        AFPVolumeList *list = reinterpret_cast<AFPVolumeList *>(0x1);
        gAllocationsBeforeFailure = failing;
        const int result = get(&list);
        gAllocationsBeforeFailure = -1;
        // Allocation 0 is the list, 1 to 3 the nodes.
        EXPECT_EQ(result, failing <= 3 ? ENOMEM : 0) << failing;
        if (failing == 0) {
            EXPECT_EQ(list, nullptr);
            continue;
        }
        ASSERT_NE(list, nullptr);
        int linked = 0;
        for (AFPVolumeNode *volume = list->first; volume != nullptr;) {
            AFPVolumeNode *next = volume->next;
            free(volume);
            volume = next;
            ++linked;
        }
        EXPECT_EQ(linked, failing <= 3 ? failing - 1 : 3) << failing;
        free(list);
    }
    gAllocationsBeforeFailure = 0;
    AFPVolumeNode *none = node("SYS", "SYS Volume");
    gAllocationsBeforeFailure = -1;
    EXPECT_EQ(none, nullptr);
}

} // namespace

} // namespace hxm_test
