/*
 * Path helpers for the server's file system: parent directory, canonical
 * name check and directory (chain) creation.
 */
#ifndef HXM_CORE_PATHS_H
#define HXM_CORE_PATHS_H

#include "base/export.h"

extern "C" {

/* Writes the part of `path` before its last "/" into `out` (strlen(path) + 1
 * bytes) and returns `out`. */
HXM_EXPORT char *MakeParentPath(const char *path, char *out);

/* 0 when `path` exists and is its own canonical absolute name; else the
 * errno value of stat or realpath, or 40 (ELOOP) when the names differ. */
HXM_EXPORT int VerifyLinuxPath(const char *path);

/* pkg_dir_build(path, 0744) with debug lines: 0, or the errno value. */
HXM_EXPORT int CreateLinuxPath(const char *path);
}

/* Creates every missing directory along `path` with `mode` (0 means 0777):
 * 0, or -1 with errno set. */
HXM_EXPORT int pkg_dir_build(const char *path, unsigned int mode);

/* mkdir(path, 0744): 0, or -1 with errno set. */
HXM_EXPORT int MakeLinuxFolder(char *path);

#endif
