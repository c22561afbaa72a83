/*
 * Finding open files across volumes: every file some connection holds open,
 * on every volume (or one), kept when its name and its user match what was
 * asked, and sorted by volume, connection, user or path. The open-file
 * area's find page and the hxm2afp command both list files through it.
 */
#ifndef HXM_MONITOR_FIND_FILES_H
#define HXM_MONITOR_FIND_FILES_H

#include <stddef.h>
#include <stdint.h>

#include "monitor/node_list.h"

namespace hxm2afp {

/* Longest part of a name or user asked for, in characters (as
 * count_characters counts them), and the most bytes that many take. */
constexpr size_t kFindTextLongest = 255;
constexpr size_t kFindTextBytes = 4 * kFindTextLongest;

class NamePattern;

/* Whether the file at `path` matches a name part as the find asks it: the
 * name after the path's last "/" holds `part`, or the whole path does when
 * `part` holds a "/" itself. */
bool name_holds_part(const char *path, const NamePattern &part);

/* What to find; a null or empty member asks for anything. Name and user are
 * parts as NamePattern reads them (monitor/name_match.h). */
struct FindQuery {
    const char *name = nullptr;   // part of the file's name; with a "/", of its full path
    const char *user = nullptr;   // part of the user's name
    const char *volume = nullptr; // the one volume to look on (its whole name)
};

/* One file found: the texts are the result's own, whole, terminated. */
struct FoundFile {
    FoundFile *next;
    const char *volumeName;
    const char *userName;
    const char *filePath;
    uint32_t connectionNumber;
};

/* The columns a result sorts by. */
enum class FoundColumn { kVolume, kConnection, kUser, kPath };

/* The files found, owning their nodes and texts (released with it). */
class FoundFiles {
  public:
    FoundFiles() = default;
    FoundFiles(const FoundFiles &) = delete;
    FoundFiles &operator=(const FoundFiles &) = delete;
    ~FoundFiles();

    FoundFile *head = nullptr; // in the walk's order until sorted
    size_t count = 0;
    size_t volumes = 0; // volumes with at least one file found

    /* Appends a file (before any sort); false without memory (nothing
     * appended). */
    bool add(const char *volumeName, const char *userName, const char *filePath,
             uint32_t connectionNumber);

  private:
    struct TextBlock;
    const char *keep(const char *text, size_t length);

    NodePool<FoundFile> nodes_;
    FoundFile **tail_ = &head;
    FoundFile *last_ = nullptr;
    TextBlock *blocks_ = nullptr;
    const char *lastVolume_ = nullptr;
};

/* Walks the open files of every volume (the query's one volume when it names
 * one) and adds those that match to *found, volume by volume in the
 * library's order. Returns AFPSTAT_OK; AFPSTAT_ERR_NOT_FOUND when the query
 * names a volume the library does not list; AFPSTAT_ERR_NO_MEMORY when a
 * file could not be kept; else the library's status of the list that failed
 * (the files found before it stay in *found). */
int find_open_files(const FindQuery &query, FoundFiles *found);

/* Sorts the result ascending by `column`: numbers by value, texts byte by
 * byte (strcmp order); equal keys keep the walk's order. */
void sort_found_files(FoundFiles *found, FoundColumn column);

} // namespace hxm2afp

#endif
