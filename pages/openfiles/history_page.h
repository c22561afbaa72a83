/*
 * The history of open files: the page of "/afpofm/AFPFindHistory", which
 * asks the recorder's store who had matching files open at a past time (or
 * within a span), and the timelines of one file, user or connection it and
 * the other pages link to.
 */
#ifndef HXM_PAGES_OPENFILES_HISTORY_PAGE_H
#define HXM_PAGES_OPENFILES_HISTORY_PAGE_H

#include "pages/common/request.h"

namespace hxm2afp {

/* The command, as the first component after "/afpofm". */
constexpr char kFindHistoryCommand[] = "AFPFindHistory";

/* The command row of kFindHistoryCommand. After it the path may name a sort
 * keyword of the history table, then one timeline: "Connection/N",
 * "User/NAME" or "File/VOLUME/PATH". The posted FINDNAME, FINDUSER,
 * HISTFROM and HISTUNTIL fields say what to find (times as
 * "YYYY-MM-DD HH:MM[:SS]", local time; an empty until asks for the moment
 * of from). Returns the status of the page sent: the history page, or the
 * error page for a path it cannot read. */
int answer_find_history(void *request, const Request &front);

} // namespace hxm2afp

#endif
