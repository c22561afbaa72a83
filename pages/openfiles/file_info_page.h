/*
 * The pages about one open file: the file-details page and the exported
 * sample file information page.
 */
#ifndef HXM_PAGES_OPENFILES_FILE_INFO_PAGE_H
#define HXM_PAGES_OPENFILES_FILE_INFO_PAGE_H

#include "base/export.h"

/* The file-details page for `fileName` (the path after the volume, may be
 * empty): the volume selector, a filter box and an empty table with a
 * Close button. Returns 200, or 500 when the host refused the response. */
HXM_EXPORT int displayAFPFileDetails(void *request, const char *fileName);

/* The per-file details step; it has nothing to gather and returns 0. */
HXM_EXPORT int FillAFPFileDetails(const char *fileName);

/* A file information page with fixed sample values and a close form. The
 * last three arguments are not used. Returns 200, or 500 as above. */
HXM_EXPORT int generate_fileinfo_page(void *request, int unused1, int unused2,
                                      unsigned long unused3);

#endif
