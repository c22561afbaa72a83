/*
 * The lines a page adds when the monitoring library failed: a list that
 * could not be read, an action it refused. A page where nothing failed
 * carries none of them.
 */
#ifndef HXM_PAGES_COMMON_FAILURE_LINES_H
#define HXM_PAGES_COMMON_FAILURE_LINES_H

#include <stddef.h>

namespace hxm2afp {

/* The translated "could not be read" sentence with the library's status
 * (number and words) in `out` (`size` bytes); returns `out`. */
const char *list_failure_text(int status, char *out, size_t size);

/* The table row that stands in place of "No items." when the list could
 * not be read. */
void send_list_failure_row(void *request, int status);

/* One line naming what the current request's action could not clear or
 * close and why; nothing when nothing was refused or no action ran. */
void send_action_outcome(void *request);

} // namespace hxm2afp

#endif
