/*
 * The open files of one volume, as the open-file list page shows them: the
 * monitoring library's per-connection lists copied into the plug-in's own
 * OpenFileInfo nodes, filtered by an extension pattern and sorted by
 * connection number, user name or file path.
 */
#ifndef HXM_MONITOR_OPEN_FILES_H
#define HXM_MONITOR_OPEN_FILES_H

#include <stdint.h>

#include <zentra/afpstat.h>

#include "base/export.h"
#include "monitor/node_list.h"

/* Field sizes, terminator included. */
enum { HXM_OPEN_FILE_USER_SIZE = 512, HXM_OPEN_FILE_PATH_SIZE = 512 };
/* Longest user name copied from the library (the field holds more). */
enum { HXM_OPEN_FILE_USER_KEPT = 256 };

/* One file that one connection holds open. The connection number is stored
 * twice; sorting and display use the second copy. */
struct OpenFileInfo {
    uint32_t connectionNumberCopy;
    uint32_t connectionNumber;
    char userName[HXM_OPEN_FILE_USER_SIZE]; /* at most 256 characters, terminated */
    char filePath[HXM_OPEN_FILE_PATH_SIZE]; /* at most 511 characters, terminated */
    OpenFileInfo *next;
};

/* Fetches the files open on `volumeName`, keeps those matching `filter`
 * (inactive when null, empty, "*", "*." or "*.*"; see NameCompare) and stores
 * a new list in the library's order in *head (null when nothing is kept); the
 * caller frees every node with free(). Returns 0, or -1 when the library
 * call fails or a node cannot be allocated, leaving *head as it was. The
 * library's list is always released. */
HXM_EXPORT int GetOpenFileList(const char *volumeName, OpenFileInfo **head, const char *filter);

namespace hxm2afp {

/* GetOpenFileList, also telling in *libraryStatus why no list came: the
 * library's status, AFPSTAT_ERR_NO_MEMORY when the copy could not be made,
 * AFPSTAT_OK otherwise. With a pool the nodes are the pool's (freed with it,
 * never one by one). */
int open_file_list(const char *volumeName, OpenFileInfo **head, const char *filter,
                   int *libraryStatus, NodePool<OpenFileInfo> *pool = nullptr);

/* One kept open file as the list page shows it: its connection and the
 * texts an OpenFileInfo keeps, cut alike, in the caller's arena, and the
 * whole path from the library's record (filePath itself when it was not
 * cut): a cut path may be another open file's, so only the whole one names
 * the file to close. */
struct OpenFileRow {
    OpenFileRow *next;
    uint32_t connectionNumber;
    const char *userName;
    const char *filePath;
    const char *wholePath;
};

/* open_file_list and SortOpenFilesTable in one, for a page: the kept files
 * of `volumeName` as rows from `arena`, in the order SortOpenFilesTable
 * gives `sortType`, at *head (null when nothing is kept). Returns 0 or -1
 * and sets *libraryStatus as open_file_list does. A row costs the length of
 * its texts, not a whole OpenFileInfo: a page of 100,000 files holds a few
 * megabytes rather than a hundred. */
int sorted_open_file_rows(const char *volumeName, const char *filter, AfpSortType sortType,
                          OpenFileRow **head, int *libraryStatus, ByteArena *arena);

/* Called once per open file: the volume, the library's record of the
 * connection holding it and its full path (all the library's, valid for
 * the call only). Returns whether to go on. */
using OpenFileVisitor = bool (*)(void *context, const char *volumeName,
                                 const VolFileListNode &record, const char *path);

/* Visits every file open on every volume (or on `onlyVolume` alone when it
 * is given), volume by volume in the library's order, until the visitor says
 * stop. Returns AFPSTAT_OK when every list was read, else the first failed
 * call's status (the volumes read before it were visited; those after it are
 * not); AFPSTAT_ERR_NOT_FOUND when `onlyVolume` is not among the volumes. */
int for_each_open_file(void *context, OpenFileVisitor visit, const char *onlyVolume = nullptr);

} // namespace hxm2afp

/* 0 when `fileName` matches the pattern: the text after the last "." of the
 * path (the whole path without one) equals the pattern from its third
 * character on, byte for byte. Writes its verdict line to standard output. */
HXM_EXPORT int NameCompare(const char *fileName, const char *filter);

/* Sorts *head in place by `sortType` (1 connection number, 2 user name,
 * 3 file path; equal keys end in the reverse of their list order), stores
 * and returns the new head (null for an empty list). */
HXM_EXPORT OpenFileInfo *SortOpenFilesTable(OpenFileInfo **head, AfpSortType sortType);

/* The merge sort behind SortOpenFilesTable: *head becomes the sorted list.
 * Iterative and allocation-free: O(n log n) comparisons, no recursion. */
HXM_EXPORT void mergesortFile(OpenFileInfo **head, AfpSortType sortType);

/* Cuts `list` into its first ceil(n/2) nodes (*front) and the rest (*back). */
HXM_EXPORT void split_the_File_list(OpenFileInfo *list, OpenFileInfo **front, OpenFileInfo **back);

/* Merges two sorted lists; a front node goes first only when its key is
 * strictly smaller (never for a sort type outside 1 to 3). Iterative. */
HXM_EXPORT OpenFileInfo *mergeFile(OpenFileInfo *front, OpenFileInfo *back, AfpSortType sortType);

/* Sorts by connection number whatever `sortType` says; each node goes before
 * the first node already placed whose number is equal or greater. Returns the
 * new head. */
HXM_EXPORT OpenFileInfo *SortOpenFileList(OpenFileInfo *head, AfpSortType sortType);

#endif
