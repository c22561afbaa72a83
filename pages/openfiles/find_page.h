/*
 * Finding open files across every volume: the page of "/afpofm/AFPFindFiles"
 * (one table over every volume, sortable, with tick boxes to close files)
 * that answers the find form of the area's frame (frame.h).
 */
#ifndef HXM_PAGES_OPENFILES_FIND_PAGE_H
#define HXM_PAGES_OPENFILES_FIND_PAGE_H

#include "pages/common/request.h"

namespace hxm2afp {

/* The command row of kFindFilesCommand: answers a request whose first
 * component left is that command. After it the path may name a sort keyword of the
 * find table, then "AFPCloseFiles" (a post: close the ticked files first).
 * The posted FINDNAME and FINDUSER fields say what to find (nothing: every
 * open file). Returns the status of the page sent: the find page, or the
 * error page for a path it cannot read. */
int answer_find_files(void *request, const Request &front);

} // namespace hxm2afp

#endif
