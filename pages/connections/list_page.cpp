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

#include "core/format.h"
#include "core/localisation.h"
#include "core/page_frame.h"
#include "core/page_globals.h"
#include "core/page_writer.h"
#include "monitor/connections.h"
#include "monitor/node_list.h"
#include "pages/common/access.h"
#include "pages/common/actions.h"
#include "pages/common/failure_lines.h"
#include "pages/connections/columns.h"

namespace {

using hxm2afp::PageWriter;

constexpr char kImageDirectory[] = "/opt/zentra/hxm/";
constexpr size_t kTitleSize = 1024;
constexpr size_t kHelpUrlSize = 64;
// A row's fixed markup, numbers and time, beside its user name and sort
// keyword.
constexpr size_t kRowMarkup = 512;

// What every row of one page shares, each piece written once and copied:
// the two stripes and the name link up to the connection's number.
struct RowParts {
    const char *stripes[2] = {pzSTRIPE_LIGHT, pzSTRIPE_DARK};
    size_t stripeLengths[2] = {strlen(pzSTRIPE_LIGHT), strlen(pzSTRIPE_DARK)};
    PageWriter link{nullptr};

    explicit RowParts(const char *sortKeyword) {
        link.literal("</td><td class=\"tablecol\" align=left><A HREF=/")
            .text(keyword_afpdcons)
            .literal("/")
            .url_component(sortKeyword)
            .literal("/");
    }
};

PageWriter &copy(PageWriter &out, const PageWriter &part) {
    return out.bytes(part.c_str(), part.length());
}

// One row: tick box (with clearing power; none for number 0), number, name
// link (with "*": the library never says a connection is logged in),
// counters, time; sized first, so it goes into the writer whole.
void send_row(PageWriter &out, const hxm2afp::ConnectionRow &node, bool dark, bool clearingPower,
              const RowParts &parts) {
    const int number = static_cast<int>(node.connectionNumber);
    out.reserve(kRowMarkup + parts.link.length() + HXM_ESCAPED_SIZE(strlen(node.userName)));
    out.literal("\n<TR ").bytes(parts.stripes[dark], parts.stripeLengths[dark]);
    if (!clearingPower)
        out.literal(">");
    else if (number != 0)
        out.literal("><TD align=center><input type=\"checkbox\" id=cb1 "
                    "NAME=\"CONNECTIONID\" VALUE=\"")
            .literal(hxm2afp::kClearStart)
            .decimal(number)
            .literal(hxm2afp::kClearEnd)
            .literal("\"></TD>");
    else
        out.literal("><TD align=center>&nbsp;</TD>");
    out.literal("<td class=\"tablecol\" align=center>").decimal(number);
    copy(out, parts.link)
        .hex8(node.connectionNumber)
        .literal(">")
        .literal("*")
        .html(node.userName)
        .literal("</A></td><td class=\"tablecol\" align=center>")
        .grouped(static_cast<int64_t>(node.bytesReadWritten))
        .literal("</td><td class=\"tablecol\" align=center>")
        // The count is unsigned: printed at 64 bits it never shows negative.
        .grouped(static_cast<int64_t>(node.requestCount))
        .literal("</td><td align=right>")
        .bytes(node.loginTimeText, node.loginTimeLength)
        .literal("</td></TR>");
}

void send_column_headings(PageWriter &out, AfpSortType sortType) {
    for (const hxm2afp::ConnectionColumn &column : hxm2afp::kConnectionColumns) {
        if (column.sort.sortType == sortType)
            out.format("<TD%s>%s    <img border=0 alt='%s' src='%ssorted.png'></TD>%s\n",
                       column.cellAttributes, lnxMSG(column.label), lnxMSG(column.sortedText),
                       kImageDirectory, column.rowEnd);
        else
            out.format("<TD%s>%s    <A HREF=/%s/%s><img border=0 alt='%s' "
                       "src='%ssortdown.png'></a></TD>%s\n",
                       column.cellAttributes, lnxMSG(column.label), keyword_afpdcons,
                       column.sort.keyword, lnxMSG(column.linkText), kImageDirectory,
                       column.rowEnd);
    }
}

// DisplayAFPConnectionList, telling in *libraryStatus why the list is
// missing or partial (AFPSTAT_OK when the library answered well).
int send_connection_list(PageWriter &out, int clearingPower, AfpSortType sortType,
                         const char *sortKeyword, int *libraryStatus) {
    out.literal("<FORM method=POST action=\"/afpcons/AFPCloseConnections\" "
                "onsubmit=\"javascript:return closeConn(this)\" ><table border=0>");
    out.format("<tr class=\"tablehead\"><TD align=center colspan=%d>%s</TD></tr>",
               clearingPower ? 6 : 5, lnxMSG("AFP Connection List"));
    out.literal("<TR class=\"tablesubhead\" NOWRAP>");
    if (clearingPower)
        out.literal("<TD align=center><input type=\"checkbox\" NAME=CLOSE_ALL "
                    "title=\"Select All\" id=noid onclick='checkAndUncheckAll(this)'></TD>\n");
    send_column_headings(out, sortType);

    hxm2afp::ConnectionRow *list = nullptr;
    hxm2afp::ByteArena rows;
    if (hxm2afp::sorted_connection_rows(sortType, &list, libraryStatus, &rows) != 0)
        return -1;
    const RowParts parts(sortKeyword);
    bool dark = false;
    for (; list != nullptr; list = list->next) {
        if (const hxm2afp::ConnectionRow *next = list->next)
            hxm2afp::prefetch(next, next->userName);
        send_row(out, *list, dark, clearingPower != 0, parts);
        dark = !dark;
    }
    return 0;
}

} // namespace

void SendColumnHeadings(void *request, AfpSortType sortType) {
    PageWriter out(request);
    send_column_headings(out, sortType);
}

int DisplayAFPConnectionList(void *request, int clearingPower, AfpSortType sortType,
                             const char *sortKeyword) {
    PageWriter out(request);
    int libraryStatus = AFPSTAT_OK;
    return send_connection_list(out, clearingPower, sortType, sortKeyword, &libraryStatus);
}

int generate_main_connections_page(void *request, int privilegeWord, int showList,
                                   unsigned int accessFlags, AfpSortType sortType,
                                   const char *sortKeyword) {
    return hxm2afp::send_connections_page(request, privilegeWord, showList, accessFlags, sortType,
                                          sortKeyword, nullptr);
}

int hxm2afp::send_connections_page(void *request, int privilegeWord, int showList,
                                   unsigned int accessFlags, AfpSortType sortType,
                                   const char *sortKeyword, const ActionReport *outcome) {
    char title[kTitleSize];
    snprintf(title, sizeof title, "%s", lnxMSG("AFP Connections"));
    char helpUrl[kHelpUrlSize];
    snprintf(helpUrl, sizeof helpUrl, "/%s/%s", keyword_afpdcons, keyword_help);
    if (const int refused = hxm2afp::begin_page(
            request, {title, lnxMSG("Connection List"), helpUrl, AddJavaScriptConnectionCode}))
        return refused;
    PageWriter out(request);
    hxm2afp::send_action_outcome(out, outcome);

    const bool clearingPower =
        (privilegeWord == 1 && (accessFlags & hxm2afp::kAccessNoClearingBit) == 0) ||
        AllowClearConn == 1;
    if (showList == 0) {
        out.literal("</table></FORM></BODY></HTML>\n");
        return hxm2afp::end_page(out);
    }
    int libraryStatus = AFPSTAT_OK;
    const int listed =
        send_connection_list(out, clearingPower ? 1 : 0, sortType,
                             sortKeyword != nullptr ? sortKeyword : "", &libraryStatus);
    if (libraryStatus != AFPSTAT_OK || listed != 0)
        hxm2afp::send_list_status_row(out, libraryStatus, 4);
    out.literal("</table>");
    out.format("<table><tr><td align=left><input type=\"button\" value=\"%s\" "
               "onClick=\"location.href='/afpcons'\"></td><td align=left><input "
               "type=\"submit\" value=\"%s \"></td></tr></table>",
               lnxMSG("Refresh"), lnxMSG("Close Connections"));
    out.literal("</FORM></BODY></HTML>\n");
    return hxm2afp::end_page(out);
}
