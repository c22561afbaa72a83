/*
 * The uniform error page every area answers with when it cannot serve a
 * request.
 */
#ifndef HXM_CORE_ERROR_PAGE_H
#define HXM_CORE_ERROR_PAGE_H

#include "base/export.h"

/* Error types the plug-in's own pages raise. */
enum {
    HXM_ERROR_ACCESS_DENIED = 0,
    HXM_ERROR_BAD_METHOD = 1,
    HXM_ERROR_MISSING_DATA = 2,
    HXM_ERROR_BAD_REQUEST = 3,
    HXM_ERROR_OUT_OF_RESOURCES = 4
};

/* Writes the console page with the critical-status icon, the word "Error",
 * the message of `type` and an OK button. Further arguments by type: 5 a
 * volume name; 9 an int error code, a share name and a location; 10 and 22
 * an int error code and a share name; 34 a name and a path; none for the
 * others. Null texts read as empty. The message, with its arguments, is cut
 * to 2051 bytes (at a character boundary) and HTML-escaped as page text.
 * Returns 200 when the page was written, 500 when the host refused the
 * success response (the host's 500 answer is sent instead). */
extern "C" HXM_EXPORT int generate_error_page(void *request, int type, ...);

#endif
