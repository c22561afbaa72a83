/*
 * generate_main_connections_page and its table: fetch the sorted list (its
 * nodes from one pool, freed together), write one row per connection.
 *
 * Notes: user names come from the monitoring library and are escaped as
 * page text; the sort keyword is encoded as a URL path component (the
 * dispatcher only hands on canonical keywords, which come out unchanged).
 */
#include "pages/connections/list_page.h"

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <zentra/hxm_host.h>

#include "core/escape.h"
#include "core/format.h"
#include "core/localisation.h"
#include "core/page_frame.h"
#include "core/page_globals.h"
#include "core/text_appender.h"
#include "monitor/connections.h"
#include "monitor/node_list.h"
#include "pages/common/access.h"
#include "pages/common/actions.h"
#include "pages/common/failure_lines.h"
#include "pages/connections/columns.h"

namespace {

using hxm2afp::EscapedText;

constexpr char kImageDirectory[] = "/opt/zentra/hxm/";
constexpr size_t kTitleSize = 1024;
constexpr size_t kHelpUrlSize = 64;
// A printed 64-bit number with its commas fits many times over.
constexpr size_t kNumberTextSize = 512;

// A row of the longest user name kept (256 bytes, each escaped) with every
// other cell at its widest; a longer row (a long sort keyword, say) goes out
// in parts.
constexpr size_t kRowSize = 4096;

// The row's opening: tick box with clearing power (no box for number 0).
void send_row_start(void *request, const ConnectionSortStruct &node, const char *stripe,
                    bool clearingPower) {
    if (!clearingPower)
        HttpSendDataSprintf(request, "\n<TR %s>", stripe);
    else if (node.connectionNumber != 0)
        HttpSendDataSprintf(request,
                            "\n<TR %s><TD align=center><input type=\"checkbox\" id=cb1 "
                            "NAME=\"CONNECTIONID\" VALUE=\"%s%d%s\"></TD>",
                            stripe, hxm2afp::kClearStart, static_cast<int>(node.connectionNumber),
                            hxm2afp::kClearEnd);
    else
        HttpSendDataSprintf(request, "\n<TR %s><TD align=center>&nbsp;</TD>", stripe);
}

// The row in two writes, for a row too long for one buffer.
void send_row_in_parts(void *request, const ConnectionSortStruct &node, const char *stripe,
                       bool clearingPower, const char *sortKeyword) {
    send_row_start(request, node, stripe, clearingPower);
    const EscapedText name(hxm2afp::escape_html, node.userName);
    char bytes[kNumberTextSize];
    CreateLargeNumberStringWithCommas(static_cast<int64_t>(node.bytesReadWritten), bytes, "%Ld");
    // The count is unsigned: printed at 64 bits it never shows negative.
    char requests[kNumberTextSize];
    CreateLargeNumberStringWithCommas(static_cast<int64_t>(node.requestCount), requests, "%Ld");
    HttpSendDataSprintf(request,
                        "<td class=\"tablecol\" align=center>%d</td><td class=\"tablecol\" "
                        "align=left><A HREF=/%s/%s/%08X>%s%s</A></td>"
                        "<td class=\"tablecol\" align=center>%s</td>"
                        "<td class=\"tablecol\" align=center>%s</td>"
                        "<td align=right>%s</td></TR>",
                        static_cast<int>(node.connectionNumber), keyword_afpdcons, sortKeyword,
                        node.connectionNumber, strcmp(node.loggedIn, "yes") == 0 ? "" : "*",
                        name.c_str(), bytes, requests, node.loginTimeText);
}

// One row: tick box (with clearing power), number, name link (with "*"
// unless logged in), counters, time; assembled here and written at once.
void send_row(void *request, const ConnectionSortStruct &node, const char *stripe,
              bool clearingPower, const char *sortKeyword) {
    char buffer[kRowSize];
    hxm2afp::TextAppender row(buffer);
    const int number = static_cast<int>(node.connectionNumber);
    row.literal("\n<TR ").text(stripe);
    if (!clearingPower)
        row.literal(">");
    else if (number != 0)
        row.literal("><TD align=center><input type=\"checkbox\" id=cb1 "
                    "NAME=\"CONNECTIONID\" VALUE=\"")
            .literal(hxm2afp::kClearStart)
            .decimal(number)
            .literal(hxm2afp::kClearEnd)
            .literal("\"></TD>");
    else
        row.literal("><TD align=center>&nbsp;</TD>");
    row.literal("<td class=\"tablecol\" align=center>")
        .decimal(number)
        .literal("</td><td class=\"tablecol\" align=left><A HREF=/")
        .text(keyword_afpdcons)
        .literal("/")
        .text(sortKeyword)
        .literal("/")
        .hex8(node.connectionNumber)
        .literal(">")
        .text(strcmp(node.loggedIn, "yes") == 0 ? "" : "*")
        .escaped(hxm2afp::escape_html, node.userName)
        .literal("</A></td><td class=\"tablecol\" align=center>")
        .grouped(static_cast<int64_t>(node.bytesReadWritten))
        .literal("</td><td class=\"tablecol\" align=center>")
        // The count is unsigned: printed at 64 bits it never shows negative.
        .grouped(static_cast<int64_t>(node.requestCount))
        .literal("</td><td align=right>")
        .text(node.loginTimeText)
        .literal("</td></TR>");
    if (row.overflowed())
        send_row_in_parts(request, node, stripe, clearingPower, sortKeyword);
    else
        HttpSendDataSprintf(request, "%s", row.c_str());
}

} // namespace

void SendColumnHeadings(void *request, AfpSortType sortType) {
    for (const hxm2afp::ConnectionColumn &column : hxm2afp::kConnectionColumns) {
        if (column.sort.sortType == sortType)
            HttpSendDataSprintf(request,
                                "<TD%s>%s    <img border=0 alt='%s' src='%ssorted.png'></TD>%s\n",
                                column.cellAttributes, lnxMSG(column.label),
                                lnxMSG(column.sortedText), kImageDirectory, column.rowEnd);
        else
            HttpSendDataSprintf(request,
                                "<TD%s>%s    <A HREF=/%s/%s><img border=0 alt='%s' "
                                "src='%ssortdown.png'></a></TD>%s\n",
                                column.cellAttributes, lnxMSG(column.label), keyword_afpdcons,
                                column.sort.keyword, lnxMSG(column.linkText), kImageDirectory,
                                column.rowEnd);
    }
}

namespace {

// DisplayAFPConnectionList, telling in *libraryStatus why the list is
// missing or partial (AFPSTAT_OK when the library answered well).
int send_connection_list(void *request, int clearingPower, AfpSortType sortType,
                         const char *sortKeyword, int *libraryStatus) {
    HttpSendDataSprintf(request, "%s",
                        "<FORM method=POST action=\"/afpcons/AFPCloseConnections\" "
                        "onsubmit=\"javascript:return closeConn(this)\" ><table border=0>");
    if (clearingPower) {
        HttpSendDataSprintf(request,
                            "<tr class=\"tablehead\"><TD align=center colspan=6>%s</TD></tr>",
                            lnxMSG("AFP Connection List"));
        HttpSendDataSprintf(request, "%s", "<TR class=\"tablesubhead\" NOWRAP>");
        HttpSendDataSprintf(
            request, "%s",
            "<TD align=center><input type=\"checkbox\" NAME=CLOSE_ALL "
            "title=\"Select All\" id=noid onclick='checkAndUncheckAll(this)'></TD>\n");
    } else {
        HttpSendDataSprintf(request,
                            "<tr class=\"tablehead\"><TD align=center colspan=5>%s</TD></tr>",
                            lnxMSG("AFP Connection List"));
        HttpSendDataSprintf(request, "%s", "<TR class=\"tablesubhead\" NOWRAP>");
    }
    SendColumnHeadings(request, sortType);

    ConnectionSortStruct *list = nullptr;
    hxm2afp::NodePool<ConnectionSortStruct> nodes;
    if (hxm2afp::sorted_connection_list(&list, sortType, libraryStatus, &nodes) != 0)
        return -1;
    const EscapedText keyword(hxm2afp::escape_url_component, sortKeyword);
    bool light = true;
    for (; list != nullptr; list = list->next) {
        if (const ConnectionSortStruct *next = list->next)
            hxm2afp::prefetch(next, next->loginTimeText + 64, next->userName);
        send_row(request, *list, light ? pzSTRIPE_LIGHT : pzSTRIPE_DARK, clearingPower != 0,
                 keyword.c_str());
        light = !light;
    }
    return 0;
}

} // namespace

int DisplayAFPConnectionList(void *request, int clearingPower, AfpSortType sortType,
                             const char *sortKeyword) {
    int libraryStatus = AFPSTAT_OK;
    return send_connection_list(request, clearingPower, sortType, sortKeyword, &libraryStatus);
}

int generate_main_connections_page(void *request, int privilegeWord, int showList,
                                   unsigned int accessFlags, AfpSortType sortType,
                                   const char *sortKeyword) {
    return hxm2afp::send_connections_page(request, privilegeWord, showList, accessFlags, sortType,
                                          sortKeyword, nullptr);
}

int hxm2afp::send_connections_page(void *request, int privilegeWord, int showList,
                                   unsigned int accessFlags, AfpSortType sortType,
                                   const char *sortKeyword, const ActionOutcome *outcome) {
    char title[kTitleSize];
    snprintf(title, sizeof title, "%s", lnxMSG("AFP Connections"));
    char helpUrl[kHelpUrlSize];
    snprintf(helpUrl, sizeof helpUrl, "/%s/%s", keyword_afpdcons, keyword_help);
    if (const int refused = hxm2afp::begin_page(
            request, {title, lnxMSG("Connection List"), helpUrl, AddJavaScriptConnectionCode}))
        return refused;
    hxm2afp::send_action_outcome(request, outcome);

    const bool clearingPower =
        (privilegeWord == 1 && (accessFlags & hxm2afp::kAccessNoClearingBit) == 0) ||
        AllowClearConn == 1;
    if (showList == 0) {
        HttpSendDataSprintf(request, "%s", "</table></FORM></BODY></HTML>\n");
    } else {
        int libraryStatus = AFPSTAT_OK;
        const int listed =
            send_connection_list(request, clearingPower ? 1 : 0, sortType,
                                 sortKeyword != nullptr ? sortKeyword : "", &libraryStatus);
        if (libraryStatus != AFPSTAT_OK)
            hxm2afp::send_list_failure_row(request, libraryStatus);
        else if (listed != 0)
            HttpSendDataSprintf(request,
                                "<tr><td align=left colspan=4 "
                                "style=\"font-size:13px;color:black;\">%s</td></tr>",
                                lnxMSG("No items."));
        HttpSendDataSprintf(request, "%s", "</table>");
        HttpSendDataSprintf(request,
                            "<table><tr><td align=left><input type=\"button\" value=\"%s\" "
                            "onClick=\"location.href='/afpcons'\"></td><td align=left><input "
                            "type=\"submit\" value=\"%s \"></td></tr></table>",
                            lnxMSG("Refresh"), lnxMSG("Close Connections"));
        HttpSendDataSprintf(request, "%s", "</FORM></BODY></HTML>\n");
    }
    return hxm2afp::end_page(request);
}
