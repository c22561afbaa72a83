/*
 * The help pages of the three areas: the page writer and the wrappers the
 * area dispatchers call once a path's first component is the help token.
 */
#ifndef HXM_PAGES_HELP_HELP_H
#define HXM_PAGES_HELP_HELP_H

#include "base/export.h"

/* Help page numbers generate_afp_help_page knows. */
enum {
    HXM_HELP_CONNECTIONS = 18,
    HXM_HELP_CONNECTION_INFORMATION = 19,
    HXM_HELP_LOGS = 36,
    HXM_HELP_OPEN_FILES = 41,
    HXM_HELP_OPEN_FILE_INFORMATION = 42
};

/* Writes help page `pageNumber` under the already translated `title` (cut
 * to 2051 bytes at a character boundary; null reads as empty). A number
 * without a page gets the "not available" heading alone. Returns 200, or 500
 * when the host refused the success response (its 500 answer is sent). */
extern "C" HXM_EXPORT int generate_afp_help_page(void *request, int pageNumber, const char *title);

/* The wrappers. `count` is the number of path components after the help
 * token, `component` the first of them (not NUL-terminated, `length` bytes;
 * not read when `count` is 0). Each returns the status of the page it sent:
 * the help page, or the error page "Bad Http request" for a component it
 * does not know.
 *
 * Connections: no component -> list help; a leading part of "_info_" (any
 * case) -> connection information help. */
HXM_EXPORT int generate_connections_help(void *request, int count, char *component, int length);
/* Open files: no component -> list help; a leading part of "help" (any
 * case) -> open file information help. */
HXM_EXPORT int generate_afp_ofm_help(void *request, int count, char *component, int length);
/* Logs: the log help, whatever follows the help token. */
HXM_EXPORT int generate_showlogs_help(void *request, int count, char *component, int length);

#endif
