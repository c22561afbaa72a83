/*
 * The monitoring library's three actions: clearing a connection, closing
 * all files of one, closing one file by its path. Everything that acts on
 * the AFP service goes through these calls; each answers with a status
 * that tells exactly what came of it.
 */
#ifndef HXM_MONITOR_ACTIONS_H
#define HXM_MONITOR_ACTIONS_H

#include <stdint.h>

namespace hxm2afp {

/* Outcomes the plug-in tells apart itself, beside the library's AFPSTAT_
 * statuses (which are never negative). */
enum : int {
    kActionNoOpenFiles = -1, // close-all: the connection is there but holds no file
    kActionPathTooLong = -2  // close by name: the name was cut to what a listed
                             // record holds, so it names no open file itself
};

/* Clears the connection; the library's status (AFPSTAT_OK when cleared). */
int clear_connection(uint32_t connectionNumber);

/* Closes every file the connection holds: AFPSTAT_OK, kActionNoOpenFiles
 * when it is there and holds none, else the library's status. */
int close_connection_files(uint32_t connectionNumber);

/* Closes the file with this full path for every connection holding it:
 * AFPSTAT_OK, else the library's status; kActionPathTooLong instead of
 * AFPSTAT_ERR_NOT_FOUND when `path` has the length of a cut record path
 * and an open file's longer path begins with it. */
int close_file(const char *path);

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
