/*
 * Finding open files across every volume: the small find form the open-file
 * pages carry, and the page of "/afpofm/AFPFindFiles" that answers it (one
 * table over every volume, sortable, with tick boxes to close files).
 */
#ifndef HXM_PAGES_OPENFILES_FIND_PAGE_H
#define HXM_PAGES_OPENFILES_FIND_PAGE_H

#include "pages/common/request.h"

namespace hxm2afp {

class PageWriter;

/* The command that opens the find page, as the first component after
 * "/afpofm" (or after a leading sort keyword). */
constexpr char kFindFilesCommand[] = "AFPFindFiles";

/* Writes the "Find open files" form: a part of a file name and an optional
 * user name, posted to the find page. */
void send_find_form(PageWriter &out);

/* Answers a request whose first component left (`command`, one of `count`)
 * is kFindFilesCommand. After it the path may name a sort keyword of the
 * find table, then "AFPCloseFiles" (a post: close the ticked files first).
 * The posted FINDNAME and FINDUSER fields say what to find (nothing: every
 * open file). Returns the status of the page sent: the find page, or the
 * error page for a path it cannot read. */
int answer_find_files(void *request, const Request &front, Component command, int count);

} // namespace hxm2afp

#endif
