/*
 * The connection list page: every current AFP connection in one table,
 * sortable by five columns, with tick boxes to clear connections.
 */
#ifndef HXM_PAGES_CONNECTIONS_LIST_PAGE_H
#define HXM_PAGES_CONNECTIONS_LIST_PAGE_H

#include <zentra/afpstat.h>

#include "base/export.h"

/* Writes the whole page sorted by `sortType`, its links carrying
 * `sortKeyword`. Tick boxes show when `privilegeWord` is 1 and access bit
 * 0x400 is clear, or AllowClearConn is 1. With `showList` 0 only the frame is
 * written. Returns 200, or 500 when the response could not be started (the
 * host's 500 answer is sent). */
HXM_EXPORT int generate_main_connections_page(void *request, int privilegeWord, int showList,
                                              unsigned int accessFlags, AfpSortType sortType,
                                              const char *sortKeyword);

namespace hxm2afp {
struct ActionReport;

/* generate_main_connections_page, with the outcome line of the action the
 * request ran (none when `outcome` is null). */
int send_connections_page(void *request, int privilegeWord, int showList, unsigned int accessFlags,
                          AfpSortType sortType, const char *sortKeyword,
                          const ActionReport *outcome);

} // namespace hxm2afp

/* Writes the list's form, title, headings and one row per connection,
 * freeing each node after its row. Returns 0 when a list was written (an
 * empty one too), -1 when none could be fetched (after the headings). */
HXM_EXPORT int DisplayAFPConnectionList(void *request, int clearingPower, AfpSortType sortType,
                                        const char *sortKeyword);

/* Writes the five heading cells, the current sort column's with the
 * "sorted" image, the others as sort links; the last cell ends the row. */
HXM_EXPORT void SendColumnHeadings(void *request, AfpSortType sortType);

/* The script writer of both connection pages: their confirmation dialogs. */
HXM_EXPORT void AddJavaScriptConnectionCode(void *request);

#endif
