/*
 * The service method for "/afpcons..." requests and its path, clear and
 * close steps.
 */
#ifndef HXM_PAGES_CONNECTIONS_DISPATCH_H
#define HXM_PAGES_CONNECTIONS_DISPATCH_H

#include <zentra/afpstat.h>

#include "base/export.h"

/* Checks the caller's access flags, reads the path and any form post, clears
 * connections or closes files as asked, and writes the list page, a
 * connection's page, a help page or the error page. Returns the status of
 * that page (0 after a complete connection page). Matches HxmServiceMethod. */
extern "C" int afpconsMethod(void *request, unsigned int hostWord1, unsigned int hostWord2,
                             unsigned int accessFlags);

/* Size of the sort keyword text, terminator included. */
enum { HXM_SORT_KEYWORD_SIZE = 17 };

/* Reads the request path: the optional sort keyword (setting *sortType and
 * its canonical spelling in sortKeyword, HXM_SORT_KEYWORD_SIZE bytes) and the
 * components after it (*count of them, the first at *position: a length byte
 * and its characters). *pathCopy receives a heap copy of the path after
 * "/afpcons" with its slashes (null when there is none); the caller frees
 * it. Returns 0 to go on, 400 for a path that cannot be read, or the status
 * of the help page it wrote. */
HXM_EXPORT int GetComponentCountAndSortType(void *request, int *count, AfpSortType *sortType,
                                            char *sortKeyword, char **position, char **pathCopy);

/* Clears every connection whose number stands between "<closeconn>" and
 * "</closeconn>" as a page writes it ("%d": negative past 2^31), in text
 * order; other marked texts are logged as not understood. A null text
 * clears nothing. Returns 0. */
HXM_EXPORT int AFPCloseSelectedConnections(const char *text);

/* Closes all files of the connection whose number stands between
 * "<closeallfiles>" and "</closeallfiles>" as a page writes it; without
 * both markers or a readable number nothing is closed (and it is logged).
 * Returns 0. */
HXM_EXPORT int closeAFPFilesForThisConnection(const char *text);

#endif
