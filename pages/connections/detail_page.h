/*
 * The connection detail page: one connection's user, login state and time,
 * privileges, network address, security equivalences and open files, with a
 * way back and an action link (clear the connection or close its files).
 */
#ifndef HXM_PAGES_CONNECTIONS_DETAIL_PAGE_H
#define HXM_PAGES_CONNECTIONS_DETAIL_PAGE_H

#include <stdint.h>

#include <zentra/afpstat.h>

#include "base/export.h"
#include "monitor/connection_details.h"

/* Writes the page of the connection `component` names: a length byte, then
 * 1 to 8 hexadecimal digits. `volume`, `sortType` and `filter` are the open-file
 * page's state when the request came from there (empty otherwise); the back
 * link and the close forms carry them. Returns 0 after a complete page, or
 * the status of the answer sent instead: 401 (not authorised, connection 0
 * without `allowZero`, no details record), 400 (a bad component) or 500 (no
 * details from the library, or the response could not be started). */
HXM_EXPORT int DisplaySpecifiedConnection(void *request, int clearingPower, int authorised,
                                          int allowZero, const char *component,
                                          const char *sortKeyword, const char *volume,
                                          const char *sortType, const char *filter);

namespace hxm2afp {
struct ActionReport;

/* DisplaySpecifiedConnection, with the outcome line of the action the
 * request ran (none when `outcome` is null). */
int send_connection_page(void *request, int clearingPower, int authorised, int allowZero,
                         const char *component, const char *sortKeyword, const char *volume,
                         const char *sortType, const char *filter, const ActionReport *outcome);

} // namespace hxm2afp

/* Section writers: each row takes the stripe *rowCounter selects (light when
 * even) and counts itself. */
HXM_EXPORT void DisplayLoginStatus(void *request, int *rowCounter,
                                   const AFPConnectionDetails *details);
HXM_EXPORT void DisplayConnectionPrivileges(void *request, int *rowCounter,
                                            const AFPConnectionDetails *details);
HXM_EXPORT void DisplayNetAddress(void *request, int *rowCounter,
                                  const AFPConnectionDetails *details);
HXM_EXPORT void DisplaySecEquiList(void *request, int *rowCounter, const UserInfo_s *info);
/* One "Close File" form per open file; the forms carry `volume`, `sortType`
 * and `filter` when `volume` is not empty. */
HXM_EXPORT void DisplayOpenFiles(void *request, int *rowCounter, int allowZero,
                                 const UserInfo_s *info, uint32_t connectionNumber,
                                 const char *volume, const char *sortType, const char *filter);

/* A message box row posting to /afpcons/SendTo/<number> (no page uses it). */
HXM_EXPORT void DisplaySendMessageBox(void *request, int *rowCounter, const char *text,
                                      uint32_t connectionNumber,
                                      const AFPConnectionDetails *details);

/* Sends a 302 answer with `header` as its header text; returns 302. */
HXM_EXPORT int SendRedirect(void *request, const char *header);

#endif
