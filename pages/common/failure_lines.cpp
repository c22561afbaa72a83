/*
 * The failure lines of the pages (see failure_lines.h).
 *
 * Notes: file paths come from the request and are escaped as page text;
 * only the first few refused items are named, so a refused close of a
 * whole volume still makes one line.
 */
#include "pages/common/failure_lines.h"

#include <stdio.h>

#include <string>

#include "core/escape.h"
#include <zentra/hxm_host.h>
#include "core/localisation.h"
#include "monitor/action_outcome.h"

namespace hxm2afp {
namespace {

constexpr size_t kSentenceSize = 1024;

// "status N: words", translated.
std::string status_text(int status) {
    char text[kSentenceSize];
    snprintf(text, sizeof text, lnxMSG("status %d: %s"), status, lnxMSG(status_words(status)));
    return text;
}

// One refused item: what it named, then why.
std::string item_text(const ActionItem &item) {
    char text[kSentenceSize];
    const char *named = text;
    switch (item.kind) {
    case ActionKind::kClearConnection:
        snprintf(text, sizeof text, "%u", static_cast<unsigned>(item.connectionNumber));
        break;
    case ActionKind::kCloseConnectionFiles:
        snprintf(text, sizeof text, lnxMSG("all files of connection %u"),
                 static_cast<unsigned>(item.connectionNumber));
        break;
    case ActionKind::kCloseFile:
        // The escaper hands back the path itself when nothing needs escaping.
        named = escape_html(item.path, text, sizeof text);
        break;
    }
    return std::string(named) + " (" + status_text(item.status) + ")";
}

} // namespace

const char *list_failure_text(int status, char *out, size_t size) {
    snprintf(out, size, lnxMSG("The AFP monitoring service could not be read (%s)."),
             status_text(status).c_str());
    return out;
}

void send_list_failure_row(void *request, int status) {
    char text[kSentenceSize];
    HttpSendDataSprintf(request,
                        "<tr><td align=left colspan=4 id=\"listFailure\" "
                        "style=\"font-size:13px;color:#b00000;\">%s</td></tr>",
                        list_failure_text(status, text, sizeof text));
}

void send_action_outcome(void *request) {
    const ActionOutcome *outcome = collected_outcome();
    if (outcome == nullptr || outcome->failed == 0)
        return;
    const ActionItem &first = outcome->failedItems[0];
    std::string line = first.kind == ActionKind::kClearConnection
                           ? lnxMSG("Connections not cleared:")
                           : lnxMSG("Files not closed:");
    const int kept =
        outcome->failed < ActionOutcome::kKept ? outcome->failed : ActionOutcome::kKept;
    for (int i = 0; i < kept; ++i)
        line += (i == 0 ? " " : ", ") + item_text(outcome->failedItems[i]);
    if (outcome->failed > kept) {
        char more[kSentenceSize];
        snprintf(more, sizeof more, lnxMSG("and %d more"), outcome->failed - kept);
        line += std::string(" ") + more;
    }
    HttpSendDataSprintf(request,
                        "<DIV CLASS=NORMAL id=\"actionOutcome\" "
                        "style=\"color:#b00000;font-weight:bold;\">%s</DIV>\n",
                        line.c_str());
}

} // namespace hxm2afp
