/*
 * The two pages of "/afpofm": the volume selection page and the open-file
 * list of one volume, with the pieces the file-details page shares.
 */
#ifndef HXM_PAGES_OPENFILES_LIST_PAGE_H
#define HXM_PAGES_OPENFILES_LIST_PAGE_H

#include <zentra/afpstat.h>

#include "base/export.h"

/* The volume selection page: selector, an empty filter box and an empty
 * table. Returns 200, or 500 when the host refused the response. */
HXM_EXPORT int generate_main_ofm_page(void *request);

/* The open files of `volume`, filtered by `filter` (may be empty) and sorted
 * by `sortType` (1 connection number, 2 user name, 3 file path). Returns 200,
 * or 500 when the host refused the response. When the volume list cannot be
 * fetched the page ends after the selector. */
HXM_EXPORT int generate_main_ofm_page(void *request, const char *volume, AfpSortType sortType,
                                      const char *filter);

/* Writes the volume selector, marking `selectedVolume` (exact match; null
 * for none). Returns 0, or the library's status when the volumes could not
 * be fetched (the selector then offers none). */
HXM_EXPORT int FillVolumes(void *request, const char *selectedVolume);

/* Writes the list page below the selector: hidden form, filter form, the
 * table of open files with its close form and buttons, the page end.
 * Returns what GetOpenFileList returned (0 or -1). */
HXM_EXPORT int GetOpenFilesInVolume(void *request, const char *volume, AfpSortType sortType,
                                    const char *filter);

/* Writes the three sortable heading cells for `volume`, the one of
 * `sortType` marked as sorted; nothing for a type outside 1 to 3. */
HXM_EXPORT void setSortImage(void *request, AfpSortType sortType, const char *volume);

/* "UserName" for 2, "FileName" for 3, "ConnectionNumber" for anything else. */
HXM_EXPORT const char *getSortTypeString(AfpSortType sortType);

namespace hxm2afp {
struct ActionReport;

/* The open-file list page, with the outcome line of the action the request
 * ran (none when `outcome` is null). */
int send_open_files_page(void *request, const char *volume, AfpSortType sortType,
                         const char *filter, const ActionReport *outcome);

} // namespace hxm2afp

#endif
