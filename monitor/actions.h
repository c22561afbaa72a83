/*
 * The monitoring library's actions: clearing a connection and closing
 * files. Pages ask for them only through these calls.
 */
#ifndef HXM_MONITOR_ACTIONS_H
#define HXM_MONITOR_ACTIONS_H

#include <stdint.h>

namespace hxm2afp {

/* Clears the connection; the library's status (0 when cleared). */
int clear_connection(uint32_t connectionNumber);

/* Closes every file the connection holds; the library's status. */
int close_connection_files(uint32_t connectionNumber);

/* Closes the file with this full path for every connection holding it;
 * the library's status (0 when closed). */
int close_file(const char *path);

} // namespace hxm2afp

#endif
