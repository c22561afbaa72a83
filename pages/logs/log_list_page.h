/*
 * The log list page: the AFP server's log and the plug-in's own log, with
 * their sizes and "?VIEW" links the console serves.
 */
#ifndef HXM_PAGES_LOGS_LOG_LIST_PAGE_H
#define HXM_PAGES_LOGS_LOG_LIST_PAGE_H

#include "base/export.h"

/* Writes the page: "afpsvc.log" always, "libhxm2afp.log" while the logger's
 * level is above 3, each only when it is a non-empty file in the canonical
 * log directory. Returns 200, or 500 when the host refused the success
 * response (its 500 answer is sent). */
HXM_EXPORT int generate_main_showlogs_page(void *request);

/* Writes the table row of `directory`/`name` with row attribute `attribute`
 * and returns the attribute of the next row: lpzlight after lpzdark (by
 * pointer), else lpzdark. Writes nothing and returns `attribute` when the
 * directory is missing or not canonical (a link is refused), the path does
 * not fit, or the file is missing, empty or not a regular file. */
HXM_EXPORT const char *BuildLogFileTableEntry(void *request, const char *attribute,
                                              const char *name, const char *directory);

#endif
