/*
 * The lines a page adds when the monitoring library could not be read. A
 * page where nothing failed carries none of them (an action's outcome line
 * is pages/common/actions.h's).
 */
#ifndef HXM_PAGES_COMMON_FAILURE_LINES_H
#define HXM_PAGES_COMMON_FAILURE_LINES_H

#include <stddef.h>

namespace hxm2afp {

/* A monitoring status in words for a page, translated, in `out` (`size`
 * bytes): "status N: words" for the library's, the words alone for the
 * plug-in's own outcomes; returns `out`. */
const char *status_text(int status, char *out, size_t size);

/* The translated "could not be read" sentence with the library's status
 * (number and words) in `out` (`size` bytes); returns `out`. */
const char *list_failure_text(int status, char *out, size_t size);

class PageWriter;

/* The table row, `columns` columns wide, that stands for a list without
 * rows: the "could not be read" sentence (id listFailure) when `status` is
 * not AFPSTAT_OK, else "No items.". */
void send_list_status_row(PageWriter &out, int status, int columns);

} // namespace hxm2afp

#endif
