/*
 * Open files of one volume: fetch from the monitoring library, filter by
 * extension, copy into OpenFileInfo nodes and sort.
 *
 * Notes: a volume may hold 100,000 open files, so nodes are appended at a
 * kept tail and the sort is the plug-in's one list sort (monitor/list_sort.h),
 * fixed to one order per sort type before it runs. Equal keys always take the
 * back node first, so ties end in the reverse of the library's order.
 */
#include "monitor/open_files.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "base/bounded_copy.h"
#include "logger/log_text.h"
#include "logger/logger.h"
#include "monitor/list_sort.h"
#include "monitor/node_list.h"
#include "monitor/volumes.h"

namespace {

using hxm2afp::copy_bounded;

/* Patterns that keep every file. */
constexpr const char *kInactivePatterns[] = {"", "*", "*.", "*.*"};

bool filter_is_active(const char *filter) {
    if (filter == nullptr)
        return false;
    for (const char *pattern : kInactivePatterns) {
        if (strcmp(filter, pattern) == 0)
            return false;
    }
    return true;
}

OpenFileInfo *new_open_file(const VolFileListNode &record, const char *path,
                            hxm2afp::NodePool<OpenFileInfo> *pool) {
    OpenFileInfo *node =
        pool != nullptr ? pool->take() : static_cast<OpenFileInfo *>(malloc(sizeof(OpenFileInfo)));
    if (node == nullptr)
        return nullptr;
    node->connectionNumberCopy = record.connectionNumber;
    node->connectionNumber = record.connectionNumber;
    copy_bounded(node->userName, record.userName, HXM_OPEN_FILE_USER_KEPT);
    copy_bounded(node->filePath, path, HXM_OPEN_FILE_PATH_SIZE - 1);
    node->next = nullptr;
    return node;
}

// A row holding one library entry and its texts, cut as new_open_file
// cuts them, and the whole path when it was cut, from the arena; null
// without memory.
hxm2afp::OpenFileRow *new_open_file_row(const VolFileListNode &record, const char *path,
                                        hxm2afp::ByteArena *arena, const char *sharedUser) {
    // The user's name and its terminator, unless an earlier row's is shared.
    const size_t userBytes =
        sharedUser != nullptr ? 0 : strnlen(record.userName, HXM_OPEN_FILE_USER_KEPT) + 1;
    const size_t wholeLength = path != nullptr ? strlen(path) : 0;
    const size_t pathLength =
        wholeLength < HXM_OPEN_FILE_PATH_SIZE - 1 ? wholeLength : HXM_OPEN_FILE_PATH_SIZE - 1;
    const size_t cutAway = wholeLength > pathLength ? wholeLength + 1 : 0;
    void *bytes = arena->take(sizeof(hxm2afp::OpenFileRow) + userBytes + pathLength + 1 + cutAway);
    if (bytes == nullptr)
        return nullptr;
    auto *row = static_cast<hxm2afp::OpenFileRow *>(bytes);
    char *texts = reinterpret_cast<char *>(row + 1);
    row->next = nullptr;
    row->connectionNumber = record.connectionNumber;
    row->userName = sharedUser;
    if (sharedUser == nullptr) {
        copy_bounded(texts, record.userName, userBytes - 1);
        row->userName = texts;
    }
    char *cutPath = texts + userBytes;
    row->filePath = cutPath;
    copy_bounded(cutPath, path, pathLength);
    row->wholePath = row->filePath;
    if (cutAway != 0) {
        char *whole = cutPath + pathLength + 1;
        memcpy(whole, path, wholeLength + 1);
        row->wholePath = whole;
    }
    return row;
}

/* Copies the kept files of every record into a new list at *head, each
 * node made by make(record, path). False when a node could not be made;
 * *head then holds the nodes made so far. */
template <typename Node, typename MakeNode>
bool copy_kept_files(const VolFileListNode *record, int count, const char *filter, Node **head,
                     MakeNode make) {
    const bool active = filter_is_active(filter);
    Node **tail = head;
    for (int visited = 0; record != nullptr && visited < count; ++visited, record = record->next) {
        const int32_t names = record->fileCount;
        if (names <= 0 || record->fileNames == nullptr || record->fileNames[0] == nullptr)
            continue;
        for (int32_t index = 0; index < names && record->fileNames[index] != nullptr; ++index) {
            const char *path = record->fileNames[index];
            if (active && NameCompare(path, filter) != 0) {
                HXM_DEBUG("\n ### Skiping file:%s--%d", hxm2afp::LogText(path).c_str(), index);
                continue;
            }
            Node *node = make(*record, path);
            if (node == nullptr)
                return false;
            *tail = node;
            tail = &node->next;
        }
    }
    return true;
}

/* Fetches the files open on `volumeName` and copies the kept ones into a
 * new list at *kept (see copy_kept_files): 0, or -1 with *libraryStatus
 * saying why (*kept may then hold the nodes made before memory ran out). */
template <typename Node, typename MakeNode>
int copy_volume_files(const char *volumeName, const char *filter, Node **kept, int *libraryStatus,
                      MakeNode make) {
    VolFileListNode *records = nullptr;
    int count = 0;
    const int result = Ext_ListVolFileDetails(volumeName, &records, &count);
    *libraryStatus = result;
    if (result != 0) {
        HXM_DEBUG("Ext_ListVolFileDetails() has failed with error = %d", result);
        // A list handed out beside a failure is the library's to take back.
        if (records != nullptr)
            FreeVolFileListNodes(&records);
        return -1;
    }
    const bool copied = copy_kept_files(records, count, filter, kept, make);
    if (records != nullptr)
        FreeVolFileListNodes(&records);
    if (!copied) {
        *libraryStatus = AFPSTAT_ERR_NO_MEMORY;
        if (Logger *logger = hxm_log)
            logger->error("GetOpenFileList: out of memory copying the open files of %s",
                          hxm2afp::LogText(volumeName).c_str());
        return -1;
    }
    return 0;
}

// The keys of the three sort types, for the nodes and the rows alike; any
// other type sorts nothing.
template <typename Node>
constexpr hxm2afp::SortKey<Node> kSortKeys[] = {
    {AFP_SORT_CONNECTION_NUMBER, [](const Node *node) { return uint64_t{node->connectionNumber}; },
     nullptr},
    {AFP_SORT_USER_NAME, nullptr,
     [](const Node *node) { return static_cast<const char *>(node->userName); }},
    {AFP_SORT_FILE_PATH, nullptr,
     [](const Node *node) { return static_cast<const char *>(node->filePath); }},
};

} // namespace

int GetOpenFileList(const char *volumeName, OpenFileInfo **head, const char *filter) {
    int libraryStatus = AFPSTAT_OK;
    return hxm2afp::open_file_list(volumeName, head, filter, &libraryStatus);
}

int hxm2afp::open_file_list(const char *volumeName, OpenFileInfo **head, const char *filter,
                            int *libraryStatus, NodePool<OpenFileInfo> *pool) {
    OpenFileInfo *kept = nullptr;
    const int result = copy_volume_files(volumeName, filter, &kept, libraryStatus,
                                         [pool](const VolFileListNode &record, const char *path) {
                                             return new_open_file(record, path, pool);
                                         });
    if (result != 0 || head == nullptr) {
        if (pool == nullptr)
            hxm2afp::free_node_list(kept);
        return result;
    }
    *head = kept;
    return 0;
}

int hxm2afp::sorted_open_file_rows(const char *volumeName, const char *filter, AfpSortType sortType,
                                   OpenFileRow **head, int *libraryStatus, ByteArena *arena) {
    OpenFileRow *kept = nullptr;
    // A record's files share its user name: the rows after its first point
    // at the first one's copy.
    const VolFileListNode *lastRecord = nullptr;
    const char *lastUser = nullptr;
    const int result = copy_volume_files(
        volumeName, filter, &kept, libraryStatus,
        [arena, &lastRecord, &lastUser](const VolFileListNode &record, const char *path) {
            const bool same = &record == lastRecord;
            OpenFileRow *row = new_open_file_row(record, path, arena, same ? lastUser : nullptr);
            if (row != nullptr && !same) {
                lastRecord = &record;
                lastUser = row->userName;
            }
            return row;
        });
    if (result != 0)
        return result;
    if (kept != nullptr) {
        HXM_DEBUG("calling mergesort");
        sort_by_table(kSortKeys<OpenFileRow>, &kept, sortType);
    }
    *head = kept;
    return 0;
}

int hxm2afp::for_each_open_file(void *context, OpenFileVisitor visit, const char *onlyVolume) {
    int count = 0;
    VolsDetailsNode *volumes = nullptr;
    int status = list_volumes(&count, &volumes);
    bool going = status == AFPSTAT_OK;
    bool named = onlyVolume == nullptr;
    for (const VolsDetailsNode *volume = volumes; going && volume != nullptr && count-- > 0;
         volume = volume->next) {
        char name[AFPSTAT_VOLUME_NAME_SIZE + 1];
        copy_bounded(name, volume->volumeName, AFPSTAT_VOLUME_NAME_SIZE);
        if (onlyVolume != nullptr && strcmp(name, onlyVolume) != 0)
            continue;
        named = true;
        VolFileListNode *records = nullptr;
        int recordCount = 0;
        status = Ext_ListVolFileDetails(name, &records, &recordCount);
        going = status == AFPSTAT_OK;
        for (const VolFileListNode *record = records;
             going && record != nullptr && recordCount-- > 0; record = record->next) {
            for (int i = 0; going && record->fileNames != nullptr && i < record->fileCount; ++i) {
                if (record->fileNames[i] != nullptr)
                    going = visit(context, name, *record, record->fileNames[i]);
            }
        }
        if (records != nullptr)
            FreeVolFileListNodes(&records);
    }
    free_volumes(&volumes);
    return status == AFPSTAT_OK && !named ? AFPSTAT_ERR_NOT_FOUND : status;
}

int NameCompare(const char *fileName, const char *filter) {
    if (fileName == nullptr)
        fileName = "";
    if (filter == nullptr)
        filter = "";
    HXM_DEBUG("\n ###Start retVal at NameCompare is %d for fileName:%s -- filter:%s", -1,
              hxm2afp::LogText(fileName).c_str(), hxm2afp::LogText(filter).c_str());
    const char *dot = strrchr(fileName, '.');
    const char *extension = dot != nullptr ? dot + 1 : fileName;
    // The first two characters ("*.") are never examined.
    const char *wanted = strlen(filter) > 2 ? filter + 2 : "";
    const int result = strcmp(extension, wanted);
    printf("\n ###End retVal at NameCompare is %d for fileName:%s -- filter:%s", result, extension,
           filter);
    return result;
}

void split_the_File_list(OpenFileInfo *list, OpenFileInfo **front, OpenFileInfo **back) {
    hxm2afp::split_list(list, front, back);
}

OpenFileInfo *mergeFile(OpenFileInfo *front, OpenFileInfo *back, AfpSortType sortType) {
    return hxm2afp::with_sort_order(kSortKeys<OpenFileInfo>, sortType,
                                    [front, back](auto goes_first) {
                                        return hxm2afp::merge_sorted_lists(front, back, goes_first);
                                    });
}

void mergesortFile(OpenFileInfo **head, AfpSortType sortType) {
    hxm2afp::sort_by_table(kSortKeys<OpenFileInfo>, head, sortType);
}

OpenFileInfo *SortOpenFilesTable(OpenFileInfo **head, AfpSortType sortType) {
    if (head == nullptr)
        return nullptr;
    HXM_DEBUG("calling mergesort");
    mergesortFile(head, sortType);
    return *head;
}

OpenFileInfo *SortOpenFileList(OpenFileInfo *head, AfpSortType) {
    // Placing each node before the first placed one whose number is equal or
    // greater orders by number with ties reversed: exactly what the merge sort
    // by connection number gives, in O(n log n) instead of O(n^2).
    mergesortFile(&head, AFP_SORT_CONNECTION_NUMBER);
    return head;
}
