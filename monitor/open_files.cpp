/*
 * Open files of one volume: fetch from the monitoring library, filter by
 * extension, copy into OpenFileInfo nodes and sort.
 *
 * Notes: a volume may hold 100,000 open files, so nodes are appended at a
 * kept tail and the merge is a loop (a recursive merge would go one stack
 * frame deep per node). The merge sort itself recurses only log2(n) deep.
 * Equal keys always take the back node first, so ties end in the reverse of
 * the library's order.
 */
#include "monitor/open_files.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "logger/logger.h"

namespace {

/* Patterns that keep every file. */
constexpr const char *kInactivePatterns[] = {"", "*", "*.", "*.*"};

bool FilterIsActive(const char *filter) {
    if (filter == nullptr)
        return false;
    for (const char *pattern : kInactivePatterns) {
        if (strcmp(filter, pattern) == 0)
            return false;
    }
    return true;
}

/* Copies at most `limit` bytes of `text` (itself at most `available` bytes
 * long, terminated or not) into `out` and terminates it. */
void CopyBounded(char *out, const char *text, size_t available, size_t limit) {
    size_t length = strnlen(text, available);
    if (length > limit)
        length = limit;
    memcpy(out, text, length);
    out[length] = '\0';
}

OpenFileInfo *NewOpenFile(const VolFileListNode &record, const char *path) {
    OpenFileInfo *node = static_cast<OpenFileInfo *>(malloc(sizeof(OpenFileInfo)));
    if (node == nullptr)
        return nullptr;
    node->connectionNumberCopy = record.connectionNumber;
    node->connectionNumber = record.connectionNumber;
    CopyBounded(node->userName, record.userName, sizeof record.userName, HXM_OPEN_FILE_USER_KEPT);
    CopyBounded(node->filePath, path, HXM_OPEN_FILE_PATH_SIZE, HXM_OPEN_FILE_PATH_SIZE - 1);
    node->next = nullptr;
    return node;
}

void FreeOpenFiles(OpenFileInfo *head) {
    while (head != nullptr) {
        OpenFileInfo *next = head->next;
        free(head);
        head = next;
    }
}

/* Copies the kept files of every record into a new list at *head. False when
 * a node could not be allocated (the nodes made so far are freed). */
bool CopyKeptFiles(const VolFileListNode *record, int count, const char *filter,
                   OpenFileInfo **head) {
    const bool active = FilterIsActive(filter);
    OpenFileInfo *first = nullptr;
    OpenFileInfo **tail = &first;
    for (int visited = 0; record != nullptr && visited < count; ++visited, record = record->next) {
        const int32_t names = record->fileCount;
        if (names <= 0 || record->fileNames == nullptr || record->fileNames[0] == nullptr)
            continue;
        for (int32_t index = 0; index < names && record->fileNames[index] != nullptr; ++index) {
            const char *path = record->fileNames[index];
            if (active && NameCompare(path, filter) != 0) {
                if (hxm_log)
                    hxm_log->debug("\n ### Skiping file:%s--%d", path, index);
                continue;
            }
            OpenFileInfo *node = NewOpenFile(*record, path);
            if (node == nullptr) {
                FreeOpenFiles(first);
                return false;
            }
            *tail = node;
            tail = &node->next;
        }
    }
    *head = first;
    return true;
}

/* Whether the front node goes before the back node. */
bool FrontGoesFirst(const OpenFileInfo *front, const OpenFileInfo *back, AfpSortType sortType) {
    switch (sortType) {
    case AFP_SORT_CONNECTION_NUMBER:
        return front->connectionNumber < back->connectionNumber;
    case AFP_SORT_USER_NAME:
        return strcmp(front->userName, back->userName) < 0;
    case AFP_SORT_FILE_PATH: {
        const int less = strcmp(front->filePath, back->filePath) < 0 ? 1 : 0;
        if (hxm_log)
            hxm_log->debug("les = %d , left = %s\n , right = %s\n", less, front->filePath,
                           back->filePath);
        return less != 0;
    }
    default:
        return false;
    }
}

} // namespace

int GetOpenFileList(const char *volumeName, OpenFileInfo **head, const char *filter) {
    VolFileListNode *records = nullptr;
    int count = 0;
    const int result = Ext_ListVolFileDetails(volumeName, &records, &count);
    if (result != 0) {
        if (hxm_log)
            hxm_log->debug("Ext_ListVolFileDetails() has failed with error = %d", result);
        // A list handed out beside a failure is the library's to take back.
        if (records != nullptr)
            FreeVolFileListNodes(&records);
        return -1;
    }
    OpenFileInfo *kept = nullptr;
    const bool copied = CopyKeptFiles(records, count, filter, &kept);
    if (records != nullptr)
        FreeVolFileListNodes(&records);
    if (!copied) {
        if (hxm_log)
            hxm_log->error("GetOpenFileList: out of memory copying the open files of %s",
                           volumeName != nullptr ? volumeName : "");
        return -1;
    }
    if (head != nullptr)
        *head = kept;
    else
        FreeOpenFiles(kept);
    return 0;
}

int NameCompare(const char *fileName, const char *filter) {
    if (fileName == nullptr)
        fileName = "";
    if (filter == nullptr)
        filter = "";
    if (hxm_log)
        hxm_log->debug("\n ###Start retVal at NameCompare is %d for fileName:%s -- filter:%s", -1,
                       fileName, filter);
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
    if (list == nullptr || list->next == nullptr) {
        *front = list;
        *back = nullptr;
        return;
    }
    OpenFileInfo *slow = list;
    OpenFileInfo *fast = list->next;
    while (fast != nullptr) {
        fast = fast->next;
        if (fast != nullptr) {
            slow = slow->next;
            fast = fast->next;
        }
    }
    *front = list;
    *back = slow->next;
    slow->next = nullptr;
}

OpenFileInfo *mergeFile(OpenFileInfo *front, OpenFileInfo *back, AfpSortType sortType) {
    OpenFileInfo *head = nullptr;
    OpenFileInfo **tail = &head;
    while (front != nullptr && back != nullptr) {
        if (FrontGoesFirst(front, back, sortType)) {
            *tail = front;
            front = front->next;
        } else {
            *tail = back;
            back = back->next;
        }
        tail = &(*tail)->next;
    }
    *tail = front != nullptr ? front : back;
    return head;
}

void mergesortFile(OpenFileInfo **head, AfpSortType sortType) {
    if (head == nullptr || *head == nullptr || (*head)->next == nullptr)
        return;
    OpenFileInfo *front = nullptr;
    OpenFileInfo *back = nullptr;
    split_the_File_list(*head, &front, &back);
    mergesortFile(&front, sortType);
    mergesortFile(&back, sortType);
    *head = mergeFile(front, back, sortType);
}

OpenFileInfo *SortOpenFilesTable(OpenFileInfo **head, AfpSortType sortType) {
    if (head == nullptr)
        return nullptr;
    if (hxm_log)
        hxm_log->debug("calling mergesort");
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
