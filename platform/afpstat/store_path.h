/*
 * Where the monitoring store lives.
 *
 * $AFPSTAT_DB when set and non-empty; else the store under $ZENTRA_ROOT when
 * that is set and non-empty; else the server's fixed location. The
 * environment is read on every call so that a process (or a test) may point
 * the library at another store between calls.
 */
#ifndef HXM_PLATFORM_AFPSTAT_STORE_PATH_H
#define HXM_PLATFORM_AFPSTAT_STORE_PATH_H

#include <stddef.h>

namespace afpstat {

/* The store's path under the server root (or under $ZENTRA_ROOT). */
inline constexpr const char kStoreRelativePath[] = "/var/opt/zentra/afpstat/afpstat.db";
/* The AFP service's own log under the server root (or under $ZENTRA_ROOT). */
inline constexpr const char kServiceLogRelativePath[] = "/var/opt/zentra/log/afpsvc.log";

/* Writes the path of `relative` under $ZENTRA_ROOT (or under / when it is
 * unset or empty) into out. Returns 0, or -1 when it does not fit in size
 * bytes (out is then empty). */
int rooted_path(const char *relative, char *out, size_t size);

/* Writes the store's path into out as described above. Returns 0, or -1
 * when the path does not fit in size bytes (out is then empty). */
int resolve_store_path(char *out, size_t size);

/* Creates the folders that lead to the file at path (mkdir -p of its
 * folder, mode 0755). Returns 0, or an errno value. */
int make_parent_directories(const char *path);

} // namespace afpstat

#endif
