/*
 * What every open-file page shares: the response start and console frame.
 */
#ifndef HXM2AFP_OPENFILES_PAGE_FRAME_H
#define HXM2AFP_OPENFILES_PAGE_FRAME_H

#include <stddef.h>

namespace hxm2afp {

/* Starts a 200 response and writes the console frame (title `title`, caption
 * "AFP Volume List", help link /afpofm/help, the open-file script). Returns
 * 0, or 500 after the host refused the response (its 500 answer is sent and
 * nothing else may be written). */
int BeginOpenFilePage(void *request, const char *title);

/* Ends the body and returns 200. */
int EndOpenFilePage(void *request);

} // namespace hxm2afp

#endif
