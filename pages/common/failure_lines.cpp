/*
 * The failure lines of the pages (see failure_lines.h).
 */
#include "pages/common/failure_lines.h"

#include <stdio.h>

#include <zentra/afpstat.h>

#include "core/localisation.h"
#include "core/page_writer.h"
#include "monitor/actions.h"

namespace hxm2afp {
namespace {

constexpr size_t kSentenceSize = 1024;

} // namespace

const char *status_text(int status, char *out, size_t size) {
    if (is_own_outcome(status))
        snprintf(out, size, "%s", lnxMSG(action_words(status)));
    else
        snprintf(out, size, lnxMSG("status %d: %s"), status, lnxMSG(action_words(status)));
    return out;
}

const char *list_failure_text(int status, char *out, size_t size) {
    char reason[kSentenceSize];
    snprintf(out, size, lnxMSG("The AFP monitoring service could not be read (%s)."),
             status_text(status, reason, sizeof reason));
    return out;
}

void send_list_status_row(PageWriter &out, int status, int columns) {
    if (status == AFPSTAT_OK) {
        out.format(
            "<tr><td align=left colspan=%d style=\"font-size:13px;color:black;\">%s</td></tr>",
            columns, lnxMSG("No items."));
        return;
    }
    char text[kSentenceSize];
    out.format("<tr><td align=left colspan=%d id=\"listFailure\" "
               "style=\"font-size:13px;color:#b00000;\">%s</td></tr>",
               columns, list_failure_text(status, text, sizeof text));
}

} // namespace hxm2afp
