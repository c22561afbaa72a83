/*
 * The open-file list: fetching and filtering the monitoring library's
 * per-connection lists, matching against the extension pattern, and the
 * sorts, reached through the built plug-in's exports.
 */
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "monitor/open_files.h"
#include "tests/support/plugin_fixture.h"
#include "tests/support/sort_texts.h"

namespace hxm_test {
namespace {

using GetOpenFileListFn = int (*)(const char *, OpenFileInfo **, const char *);
using NameCompareFn = int (*)(const char *, const char *);
using SortTableFn = OpenFileInfo *(*)(OpenFileInfo **, AfpSortType);
using SortListFn = OpenFileInfo *(*)(OpenFileInfo *, AfpSortType);
using SplitFn = void (*)(OpenFileInfo *, OpenFileInfo **, OpenFileInfo **);
using MergeFn = OpenFileInfo *(*)(OpenFileInfo *, OpenFileInfo *, AfpSortType);

/* What a test reads back of one node. */
struct Row {
    uint32_t connection;
    std::string user;
    std::string path;
    bool operator==(const Row &other) const {
        return connection == other.connection && user == other.user && path == other.path;
    }
};

void PrintTo(const Row &row, std::ostream *out) {
    *out << "{" << row.connection << ", " << row.user << ", " << row.path << "}";
}

std::vector<Row> Rows(const OpenFileInfo *head) {
    std::vector<Row> rows;
    for (; head != nullptr; head = head->next)
        rows.push_back({+head->connectionNumber, head->userName, head->filePath});
    return rows;
}

std::vector<std::string> Paths(const OpenFileInfo *head) {
    std::vector<std::string> paths;
    for (; head != nullptr; head = head->next)
        paths.push_back(head->filePath);
    return paths;
}

void FreeList(OpenFileInfo *head) {
    while (head != nullptr) {
        OpenFileInfo *next = head->next;
        free(head);
        head = next;
    }
}

/* A node made by the test, for the sort functions (freed with free()). */
OpenFileInfo *Node(uint32_t connection, const std::string &user, const std::string &path) {
    auto *node = static_cast<OpenFileInfo *>(calloc(1, sizeof(OpenFileInfo)));
    node->connectionNumberCopy = connection;
    node->connectionNumber = connection;
    snprintf(node->userName, sizeof node->userName, "%s", user.c_str());
    snprintf(node->filePath, sizeof node->filePath, "%s", path.c_str());
    return node;
}

OpenFileInfo *MakeList(const std::vector<Row> &rows) {
    OpenFileInfo *head = nullptr;
    OpenFileInfo **tail = &head;
    for (const Row &row : rows) {
        *tail = Node(row.connection, row.user, row.path);
        tail = &(*tail)->next;
    }
    return head;
}

/* The order the sorts promise: ascending by key, equal keys in the reverse
 * of their order in the input. */
std::vector<Row> Expected(std::vector<Row> rows, AfpSortType sortType) {
    std::reverse(rows.begin(), rows.end());
    std::stable_sort(rows.begin(), rows.end(), [sortType](const Row &a, const Row &b) {
        switch (sortType) {
        case 1:
            return a.connection < b.connection;
        case 2:
            return strcmp(a.user.c_str(), b.user.c_str()) < 0;
        case 3:
            return strcmp(a.path.c_str(), b.path.c_str()) < 0;
        default:
            return false;
        }
    });
    return rows;
}

class OpenFilesTest : public ScriptedPluginTest {
  protected:
    void SetUp() override {
        ScriptedPluginTest::SetUp();
        get_ = Export<GetOpenFileListFn>("_Z15GetOpenFileListPKcPP12OpenFileInfoS0_");
        compare_ = Export<NameCompareFn>("_Z11NameComparePKcS0_");
        sortTable_ = Export<SortTableFn>("_Z18SortOpenFilesTablePP12OpenFileInfoi");
        sortList_ = Export<SortListFn>("_Z16SortOpenFileListP12OpenFileInfoi");
        split_ = Export<SplitFn>("_Z19split_the_File_listP12OpenFileInfoPS0_S1_");
        merge_ = Export<MergeFn>("_Z9mergeFileP12OpenFileInfoS0_i");
    }

    /* The paths kept from one record of `paths` under `filter`. */
    std::vector<std::string> Kept(const std::vector<std::string> &paths, const char *filter) {
        scripted::Names names(paths.begin(), paths.end());
        scripted::StageOpenFiles("VOL1", {{{"alice", 7, names}}});
        OpenFileInfo *head = nullptr;
        EXPECT_EQ(get_("VOL1", &head, filter), 0);
        std::vector<std::string> kept = Paths(head);
        FreeList(head);
        return kept;
    }

    GetOpenFileListFn get_ = nullptr;
    NameCompareFn compare_ = nullptr;
    SortTableFn sortTable_ = nullptr;
    SortListFn sortList_ = nullptr;
    SplitFn split_ = nullptr;
    MergeFn merge_ = nullptr;
};

TEST_F(OpenFilesTest, InactivePatternsKeepEveryFileWithoutMatching) {
    const std::vector<std::string> paths = {"/v/a.doc", "/v/b", "/v/c.DOC", "/v/d."};
    for (const char *pattern : {"", "*", "*.", "*.*"}) {
        testing::internal::CaptureStdout();
        EXPECT_EQ(Kept(paths, pattern), paths) << pattern;
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "") << pattern;
    }
    EXPECT_EQ(Kept(paths, nullptr), paths);
}

TEST_F(OpenFilesTest, ActivePatternsKeepOnlyMatchingExtensions) {
    struct Case {
        const char *pattern;
        std::vector<std::string> paths;
        std::vector<std::string> kept;
    };
    const Case cases[] = {
        {"*.doc",
         {"/v/a.doc", "/v/a.DOC", "/v/a.docx", "/v/doc", "/v/b.old/doc", "/v/x.doc"},
         {"/v/a.doc", "/v/x.doc"}},
        {"xxdoc", {"/v/a.doc", "/v/a.txt"}, {"/v/a.doc"}},
        {"ab", {"/v/end.", "/v/a.b", "/v/plain", "/v/dir./x."}, {"/v/end.", "/v/dir./x."}},
        {"*.tar.gz", {"/v/a.tar.gz", "/v/b.gz", "/v/c.tar"}, {}},
        {"*.gz", {"/v/a.tar.gz", "/v/b.gz"}, {"/v/a.tar.gz", "/v/b.gz"}},
        {"**", {"/v/a.b", "/v/c."}, {"/v/c."}},
    };
    for (const Case &c : cases) {
        testing::internal::CaptureStdout();
        EXPECT_EQ(Kept(c.paths, c.pattern), c.kept) << c.pattern;
        testing::internal::GetCapturedStdout();
    }
}

TEST_F(OpenFilesTest, NameCompareReportsItsVerdictOnStandardOutput) {
    struct Case {
        const char *path;
        const char *pattern;
        bool matches;
        const char *extension;
    };
    const Case cases[] = {
        {"/v/a.doc", "*.doc", true, "doc"},
        {"/v/a.DOC", "*.doc", false, "DOC"},
        {"/v/a.docx", "*.doc", false, "docx"},
        {"/v/doc", "*.doc", false, "/v/doc"},
        {"/v/b.old/doc", "*.doc", false, "old/doc"},
        {"/v/end.", "ab", true, ""},
        {"/v/end.", "a", true, ""},
        {"/v/a.doc", "", false, "doc"},
    };
    for (const Case &c : cases) {
        testing::internal::CaptureStdout();
        const int result = compare_(c.path, c.pattern);
        const std::string out = testing::internal::GetCapturedStdout();
        EXPECT_EQ(result == 0, c.matches) << c.path << " " << c.pattern;
        const std::string expected = "\n ###End retVal at NameCompare is " +
                                     std::to_string(result) + " for fileName:" + c.extension +
                                     " -- filter:" + c.pattern;
        EXPECT_EQ(out, expected);
    }
    testing::internal::CaptureStdout();
    EXPECT_NE(compare_(nullptr, "*.doc"), 0);
    EXPECT_EQ(compare_("/v/x.", nullptr), 0);
    testing::internal::GetCapturedStdout();
}

TEST_F(OpenFilesTest, CopiesRecordsInLibraryOrderAndCutsLongTexts) {
    const std::string longUser(300, 'u');
    const std::string longPath = "/" + std::string(599, 'p');
    scripted::StageOpenFiles("VOL1",
                             {{{"bob", 3, {"/a", "/b"}}, {longUser, 0xFFFFFFF0u, {longPath}}}});
    OpenFileInfo *head = nullptr;
    ASSERT_EQ(get_("VOL1", &head, ""), 0);
    const std::vector<Row> expected = {
        {3, "bob", "/a"},
        {3, "bob", "/b"},
        {0xFFFFFFF0u, longUser.substr(0, 256), longPath.substr(0, 511)}};
    EXPECT_EQ(Rows(head), expected);
    for (const OpenFileInfo *node = head; node != nullptr; node = node->next)
        EXPECT_EQ(+node->connectionNumberCopy, +node->connectionNumber);
    FreeList(head);
    ASSERT_EQ(scripted::Calls().size(), 1u);
    EXPECT_EQ(scripted::Calls()[0].function, "Ext_ListVolFileDetails");
    EXPECT_EQ(scripted::Calls()[0].text, "VOL1");
}

TEST_F(OpenFilesTest, WalksNoFurtherThanTheCountOrTheListAndStopsAtNullNames) {
    struct Case {
        scripted::OpenFileList list;
        std::vector<std::string> kept;
    };
    const Case cases[] = {
        // The count promises three records, the list links two.
        {{{{"a", 1, {"/1"}}, {"b", 2, {"/2"}}}, 3}, {"/1", "/2"}},
        // The count says one record, the list links two.
        {{{{"a", 1, {"/1"}}, {"b", 2, {"/2"}}}, 1}, {"/1"}},
        // A record without names, one whose first name is null, one whose
        // count is negative, one cut by a null name, one promising more.
        {{{{"a", 1, {}},
           {"b", 2, {std::nullopt, "/b"}},
           {"c", 3, {"/c"}, -1},
           {"d", 4, {"/d1", std::nullopt, "/d3"}},
           {"e", 5, {"/e1"}, 4}}},
         {"/d1", "/e1"}},
        // The count is zero or negative: nothing read.
        {{{{"a", 1, {"/1"}}}, 0}, {}},
        {{{{"a", 1, {"/1"}}}, -2}, {}},
    };
    for (const Case &c : cases) {
        scripted::StageOpenFiles("VOL1", c.list);
        OpenFileInfo *head = reinterpret_cast<OpenFileInfo *>(0x1);
        ASSERT_EQ(get_("VOL1", &head, ""), 0);
        EXPECT_EQ(Paths(head), c.kept);
        FreeList(head);
    }
}

TEST_F(OpenFilesTest, LibraryFailureLeavesTheCallersPointerAndFreesAnyList) {
    scripted::OpenFileList failing{{{"a", 1, {"/1"}}}};
    failing.status = AFPSTAT_ERR_STORE;
    scripted::StageOpenFiles("VOL1", failing);
    OpenFileInfo *head = nullptr;
    EXPECT_EQ(get_("VOL1", &head, "*.doc"), -1);
    EXPECT_EQ(head, nullptr);

    scripted::Reset();
    scripted::FailCall(1, AFPSTAT_ERR_STORE);
    OpenFileInfo sentinel{};
    OpenFileInfo *kept = &sentinel;
    EXPECT_EQ(get_("VOL1", &kept, ""), -1);
    EXPECT_EQ(kept, &sentinel);
}

TEST_F(OpenFilesTest, SortsByEachKeyWithTiesInReverseOrder) {
    const std::vector<Row> rows = {
        {10, "alice", "/v/b"}, {10, "alice", "/v/a"}, {9, "Bob", "/v/c"},
        {9, "Bob", "/v/B"},    {11, "bob", "/v/a"},   {0xFFFFFFFFu, "Bob", "/v/\xc3\xa9"},
        {1, "", "/v/A"},
    };
    for (AfpSortType sortType : {1, 2, 3, 0, 4, -1}) {
        OpenFileInfo *head = MakeList(rows);
        OpenFileInfo *sorted = sortTable_(&head, sortType);
        EXPECT_EQ(sorted, head);
        EXPECT_EQ(Rows(head), Expected(rows, sortType)) << "sort type " << sortType;
        FreeList(head);
    }
    // Two connections, 10 and 9, two files each, by number: 9 first, each
    // connection's files in the reverse of the library's order.
    OpenFileInfo *head =
        MakeList({{10, "x", "/1"}, {10, "x", "/2"}, {9, "y", "/3"}, {9, "y", "/4"}});
    sortTable_(&head, 1);
    EXPECT_EQ(Paths(head), (std::vector<std::string>{"/4", "/3", "/2", "/1"}));
    FreeList(head);
}

// The keyed user and path sorts against a plain stable merge, over texts
// that share a long prefix, agree past their first sixteen bytes, hold high
// bytes and repeat; and lists some of whose texts are shorter than that.
TEST_F(OpenFilesTest, KeyedSortsKeepTheMergeOrderOnHardTexts) {
    for (const bool shortOnes : {false, true}) {
        const size_t count = shortOnes ? 20000 : 100000;
        const std::vector<std::string> users = SortHardTexts(count, shortOnes, 5);
        const std::vector<std::string> paths = SortHardTexts(count, shortOnes, 6);
        scripted::OpenFileList list;
        std::vector<Row> rows;
        for (size_t i = 0; i < count; ++i) {
            const uint32_t number = static_cast<uint32_t>(i);
            list.records.push_back({users[i], number, {paths[i]}});
            rows.push_back({number, users[i], paths[i]});
        }
        scripted::StageOpenFiles("HARD", list);
        for (AfpSortType sortType : {2, 3}) {
            OpenFileInfo *head = nullptr;
            ASSERT_EQ(get_("HARD", &head, ""), 0);
            sortTable_(&head, sortType);
            EXPECT_TRUE(Rows(head) == Expected(rows, sortType))
                << "sort type " << sortType << ", short texts " << shortOnes;
            FreeList(head);
        }
    }
}

TEST_F(OpenFilesTest, SortingAnEmptyListGivesNull) {
    OpenFileInfo *head = nullptr;
    EXPECT_EQ(sortTable_(&head, 1), nullptr);
    EXPECT_EQ(sortList_(nullptr, 2), nullptr);
}

TEST_F(OpenFilesTest, SplitGivesTheFrontTheLargerHalf) {
    for (int n = 0; n <= 9; ++n) {
        std::vector<Row> rows;
        for (int i = 0; i < n; ++i)
            rows.push_back({static_cast<uint32_t>(i), "u", "/" + std::to_string(i)});
        OpenFileInfo *front = nullptr;
        OpenFileInfo *back = reinterpret_cast<OpenFileInfo *>(0x1);
        split_(MakeList(rows), &front, &back);
        const std::vector<Row> frontRows = Rows(front), backRows = Rows(back);
        EXPECT_EQ(frontRows.size(), static_cast<size_t>((n + 1) / 2)) << n;
        EXPECT_EQ(backRows.size(), static_cast<size_t>(n / 2)) << n;
        std::vector<Row> joined = frontRows;
        joined.insert(joined.end(), backRows.begin(), backRows.end());
        EXPECT_EQ(joined, rows);
        FreeList(front);
        FreeList(back);
    }
}

TEST_F(OpenFilesTest, MergeTakesTheBackNodeFirstOnEqualKeys) {
    OpenFileInfo *front = MakeList({{1, "a", "/front1"}, {2, "a", "/front2"}});
    OpenFileInfo *back = MakeList({{1, "a", "/back1"}, {3, "a", "/back3"}});
    OpenFileInfo *merged = merge_(front, back, 1);
    EXPECT_EQ(Paths(merged), (std::vector<std::string>{"/back1", "/front1", "/front2", "/back3"}));
    FreeList(merged);
    EXPECT_EQ(merge_(nullptr, nullptr, 1), nullptr);
    OpenFileInfo *only = MakeList({{1, "a", "/x"}});
    EXPECT_EQ(merge_(only, nullptr, 2), only);
    EXPECT_EQ(merge_(nullptr, only, 2), only);
    FreeList(only);
}

TEST_F(OpenFilesTest, SortOpenFileListOrdersByNumberWhateverTheType) {
    const std::vector<Row> rows = {{5, "e", "/1"}, {3, "c", "/2"}, {5, "a", "/3"},
                                   {1, "z", "/4"}, {3, "b", "/5"}, {0, "y", "/6"}};
    // The insertion rule: each node before the first placed node whose number
    // is equal or greater.
    std::vector<Row> inserted;
    for (const Row &row : rows) {
        auto at = std::find_if(inserted.begin(), inserted.end(), [&row](const Row &placed) {
            return placed.connection >= row.connection;
        });
        inserted.insert(at, row);
    }
    for (AfpSortType sortType : {1, 2, 3, 0, 42, -7}) {
        OpenFileInfo *head = sortList_(MakeList(rows), sortType);
        EXPECT_EQ(Rows(head), inserted) << "sort type " << sortType;
        FreeList(head);
    }
}

TEST_F(OpenFilesTest, HundredThousandFilesFetchSortAndFreeAtScale) {
    constexpr int kConnections = 1000;
    constexpr int kFilesEach = 100;
    scripted::OpenFileList list;
    std::vector<Row> rows;
    for (int c = 0; c < kConnections; ++c) {
        scripted::OpenFileRecord record;
        record.connectionNumber = static_cast<uint32_t>((c * 7919) % 613);
        record.userName = "user" + std::to_string(c % 97);
        for (int f = 0; f < kFilesEach; ++f) {
            const std::string path = "/vol/d" + std::to_string((f * 31 + c) % 50) + "/f" +
                                     std::to_string(c) + (f % 2 ? ".doc" : ".txt");
            record.fileNames.push_back(path);
            rows.push_back({record.connectionNumber, record.userName, path});
        }
        list.records.push_back(record);
    }
    scripted::StageOpenFiles("BIG", list);
    for (AfpSortType sortType : {1, 2, 3}) {
        OpenFileInfo *head = nullptr;
        ASSERT_EQ(get_("BIG", &head, ""), 0);
        sortTable_(&head, sortType);
        EXPECT_TRUE(Rows(head) == Expected(rows, sortType)) << "sort type " << sortType;
        FreeList(head);
    }
}

} // namespace

} // namespace hxm_test
