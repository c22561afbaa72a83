/*
 * The monitoring library's three actions: clearing a connection, closing
 * all files of one, closing one file by its path. Everything that acts on
 * the AFP service goes through these calls; each answers with a status
 * that tells exactly what came of it.
 */
#ifndef HXM_MONITOR_ACTIONS_H
#define HXM_MONITOR_ACTIONS_H

#include <stdint.h>

#include <string>
#include <unordered_map>

namespace hxm2afp {

/* Outcomes the plug-in tells apart itself, beside the library's AFPSTAT_
 * statuses (which are never negative). */
enum : int {
    kActionNoOpenFiles = -1, // close-all: the connection is there but holds no file
    kActionPathTooLong = -2  // close by name: the name has the length of a cut
                             // record path and an open file's longer path
                             // begins with it, so it may not name a file itself
};

/* Clears the connection; the library's status (AFPSTAT_OK when cleared). */
int clear_connection(uint32_t connectionNumber);

/* Closes every file the connection holds: AFPSTAT_OK, kActionNoOpenFiles
 * when it is there and holds none, else the library's status. */
int close_connection_files(uint32_t connectionNumber);

/* Closes the file with this full path for every connection holding it:
 * AFPSTAT_OK, else the library's status. Unless the caller knows `path` is
 * whole (`whole`), a path of the length of a cut record path that an open
 * file's longer path begins with is refused with kActionPathTooLong before
 * anything is closed: it may be a cut copy of that longer path, and closing
 * by it would close another file. */
int close_file(const char *path, bool whole = false);

/* The actions of one request. A request may name one thing twice (a file
 * held by two connections is listed once per holder, and both rows may be
 * ticked): each connection is cleared, each connection's files closed and
 * each path closed once, and a repeat gives back the first outcome with
 * *repeated set, so it is reported once. A path closed by an earlier name
 * was closed for every holder, so a repeat stands as closed. */
class ActionRound {
  public:
    int clear(uint32_t connectionNumber, bool *repeated);
    int close_files_of(uint32_t connectionNumber, bool *repeated);
    int close(const char *path, bool whole, bool *repeated);

  private:
    std::unordered_map<uint32_t, int> cleared_;
    std::unordered_map<uint32_t, int> emptied_;
    std::unordered_map<std::string, int> closed_;
};

/* An action's status in words, untranslated (a catalogue text: look it up
 * with lnxMSG). */
const char *action_words(int status);

/* Whether the status is the plug-in's own (no library status number to
 * show with its words). */
inline bool is_own_outcome(int status) {
    return status < 0;
}

} // namespace hxm2afp

#endif
