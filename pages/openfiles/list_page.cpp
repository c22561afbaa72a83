/*
 * The volume selection page and the open-file list page of "/afpofm".
 *
 * Every text from the monitoring library or the request is escaped for where
 * it lands: HTML for page text and attribute values, one encoded path
 * component for URLs. A check box value is HTML-escaped, so the browser
 * posts it as written and the close action gets the path back unchanged
 * (a path holding a marker text of its own travels encoded: close_name).
 */
#include "pages/openfiles/list_page.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include <zentra/hxm_host.h>

#include "core/escape.h"
#include "core/localisation.h"
#include "core/page_frame.h"
#include "core/page_globals.h"
#include "core/text_appender.h"
#include "logger/log_text.h"
#include "logger/logger.h"
#include "monitor/node_list.h"
#include "monitor/open_files.h"
#include "monitor/volumes.h"
#include "pages/common/actions.h"
#include "pages/common/failure_lines.h"
#include "pages/openfiles/columns.h"
#include "pages/openfiles/find_page.h"
#include "pages/openfiles/script.h"

using hxm2afp::EscapedText;

namespace {

constexpr size_t kFrameTitleSize = 1024;
constexpr size_t kHelpUrlSize = 64;
constexpr const char *kSorted = "sorted.png";
constexpr const char *kUnsorted = "sortdown.png";
constexpr size_t kFailureTextSize = 1024;

const char *title_text() {
    return lnxMSG("AFP Open File Management");
}

/* The library's volume name as a terminated text (the field may be full). */
void volume_name(const VolsDetailsNode &node, char (&out)[AFPSTAT_VOLUME_NAME_SIZE + 1]) {
    const size_t length = strnlen(node.volumeName, AFPSTAT_VOLUME_NAME_SIZE);
    memcpy(out, node.volumeName, length);
    out[length] = '\0';
}

// A row of the longest path (511 bytes) twice and the longest user name
// kept (256 bytes), every byte escaped; a longer one (a path that travels
// encoded, say) goes out as one formatted write.
constexpr size_t kRowSize = 8192;

void send_row_formatted(void *request, const OpenFileInfo &file, const char *stripe,
                        const hxm2afp::CloseName &closeName) {
    char path[HXM_ESCAPED_SIZE(HXM_OPEN_FILE_PATH_SIZE)];
    char user[HXM_ESCAPED_SIZE(HXM_OPEN_FILE_USER_SIZE)];
    const char *escapedPath = hxm2afp::escape_html(file.filePath, path, sizeof path);
    const char *escapedUser = hxm2afp::escape_html(file.userName, user, sizeof user);
    const EscapedText closeText(hxm2afp::escape_html, closeName.text.c_str());
    HttpSendDataSprintf(
        request,
        "<TR %s><TD align=center><input type=\"checkbox\" NAME=\"FILENAME\" "
        "VALUE=\"%s%s%s\" id=cb1></TD><td class=\"tablecol\" "
        "align=center>%d</td><td class=\"tablecol\" align=center><a "
        "href=\"/%s/ConnectionNumber/%08X\" onclick=\"return connectionFormSubmit(this);\" "
        ">%s</a></td><td class=\"tablecol\" align=left>%s</td></TR>",
        stripe, closeName.start, closeText.c_str(), closeName.end,
        static_cast<int>(file.connectionNumber), keyword_afpdcons, file.connectionNumber,
        escapedUser, escapedPath);
}

// One row: tick box naming the file for closing, connection number, the
// connection's link (its user's name), path; assembled here and written at
// once.
void send_row(void *request, const OpenFileInfo &file, const char *stripe) {
    const hxm2afp::CloseName closeName = hxm2afp::close_name(file.filePath);
    char buffer[kRowSize];
    hxm2afp::TextAppender row(buffer);
    row.literal("<TR ")
        .text(stripe)
        .literal("><TD align=center><input type=\"checkbox\" NAME=\"FILENAME\" VALUE=\"")
        .text(closeName.start)
        .escaped(hxm2afp::escape_html, closeName.text.c_str())
        .text(closeName.end)
        .literal("\" id=cb1></TD><td class=\"tablecol\" align=center>")
        .decimal(static_cast<int>(file.connectionNumber))
        .literal("</td><td class=\"tablecol\" align=center><a href=\"/")
        .text(keyword_afpdcons)
        .literal("/ConnectionNumber/")
        .hex8(file.connectionNumber)
        .literal("\" onclick=\"return connectionFormSubmit(this);\" >")
        .escaped(hxm2afp::escape_html, file.userName)
        .literal("</a></td><td class=\"tablecol\" align=left>")
        .escaped(hxm2afp::escape_html, file.filePath)
        .literal("</td></TR>");
    if (row.overflowed())
        send_row_formatted(request, file, stripe, closeName);
    else
        HttpSendDataSprintf(request, "%s", row.c_str());
}

void write_open_file_rows(void *request, OpenFileInfo *list) {
    bool light = true;
    for (; list != nullptr; list = list->next) {
        if (const OpenFileInfo *next = list->next)
            hxm2afp::prefetch(next, next->filePath, next->filePath + 64, &next->next);
        send_row(request, *list, light ? pzSTRIPE_LIGHT : pzSTRIPE_DARK);
        light = !light;
    }
}

} // namespace

namespace hxm2afp {

int begin_open_file_page(void *request, const char *title) {
    char heading[kFrameTitleSize];
    snprintf(heading, sizeof heading, "%s", title);
    char helpUrl[kHelpUrlSize];
    snprintf(helpUrl, sizeof helpUrl, "/%s/%s", keyword_afpofm, keyword_help);
    return begin_page(request, {heading, lnxMSG("AFP Volume List"), helpUrl, AddJavaScriptOFMCode});
}

void send_filter_form(void *request, const char *closing) {
    HttpSendDataSprintf(request, "<FORM method=\"post\" action=\"/%s\" id=\"filterForm\">",
                        keyword_afpofm);
    HttpSendDataSprintf(request,
                        "<label>%s : </label></td><td><input name=\"%s\" id=\"filter\" "
                        "type=\"text\" title=\"%s\" placeholder=\"%s\" style=\"width: 147px; \" "
                        "/> <input type='submit' value=\"%s\" /> </form>%s",
                        lnxMSG("Filter"), "FILTER", lnxMSG("eg: *.doc"), lnxMSG("eg: *.doc"),
                        lnxMSG("Apply"), closing);
}

} // namespace hxm2afp

const char *getSortTypeString(AfpSortType sortType) {
    return hxm2afp::open_file_column(sortType).sort.keyword;
}

void setSortImage(void *request, AfpSortType sortType, const char *volume) {
    if (sortType < AFP_SORT_CONNECTION_NUMBER || sortType > AFP_SORT_FILE_PATH)
        return;
    const EscapedText component(hxm2afp::escape_url_component, volume);
    std::string row;
    for (const hxm2afp::OpenFileColumn &column : hxm2afp::kOpenFileColumns) {
        const std::string href = std::string("/afpofm/") + column.sort.keyword + "/" +
                                 component.c_str() +
                                 " onclick=\"return sortedFilterFormSubmit(this);\"";
        append_open_file_heading(&row, column, lnxMSG(column.label), href,
                                 column.sort.sortType == sortType ? kSorted : kUnsorted,
                                 column.imageEnd);
    }
    row.append("</TR>");
    HttpSendDataSprintf(request, "%s", row.c_str());
}

int FillVolumes(void *request, const char *selectedVolume) {
    int count = 0;
    VolsDetailsNode *volumes = nullptr;
    const int result = hxm2afp::list_volumes(&count, &volumes);
    if (result != 0) {
        count = 0;
        if (Logger *logger = hxm_log)
            logger->error("Unable to get list of Volumes because Ext_ListVolumeDetails failed "
                          "with Error : %d\n",
                          result);
    }
    HttpSendDataSprintf(request, "<table><tr><td>");
    HttpSendDataSprintf(request,
                        "<form><DIV CLASS=NORMAL><label>%s : </label></td><td><select "
                        "id=\"volumes\" style=\"width: 147px; \" "
                        "onchange=\"volumeChanged(document.getElementById('volumes'));\"><option>%"
                        "s</option>",
                        lnxMSG("AFP Volume"), lnxMSG("Select a volume"));
    char name[AFPSTAT_VOLUME_NAME_SIZE + 1];
    char escaped[HXM_ESCAPED_SIZE(AFPSTAT_VOLUME_NAME_SIZE)];
    int visited = 0;
    for (const VolsDetailsNode *node = volumes; node != nullptr && visited < count;
         node = node->next, ++visited) {
        volume_name(*node, name);
        const char *text = hxm2afp::escape_html(name, escaped, sizeof escaped);
        if (selectedVolume != nullptr && strcmp(selectedVolume, name) == 0)
            HttpSendDataSprintf(request, "<option selected value=\"%s\" >%s</option>", text, text);
        else
            HttpSendDataSprintf(request, "<option value=\"%s\">%s</option>", text, text);
    }
    HttpSendDataSprintf(request, "</select></div></form></tr></td>\n");
    if (result != 0) {
        char text[kFailureTextSize];
        HttpSendDataSprintf(request,
                            "<tr><td colspan=2 id=\"listFailure\" "
                            "style=\"font-size:13px;color:#b00000;\">%s</td></tr>\n",
                            hxm2afp::list_failure_text(result, text, sizeof text));
    }
    hxm2afp::free_volumes(&volumes);
    return result;
}

int GetOpenFilesInVolume(void *request, const char *volume, AfpSortType sortType,
                         const char *filter) {
    if (volume == nullptr)
        volume = "";
    if (filter == nullptr)
        filter = "";
    const EscapedText htmlVolume(hxm2afp::escape_html, volume);
    const EscapedText urlVolume(hxm2afp::escape_url_component, volume);
    const EscapedText htmlFilter(hxm2afp::escape_html, filter);

    HttpSendDataSprintf(request, "<tr><td>");
    HttpSendDataSprintf(request, "<FORM method=\"post\" action=\"\" id=\"connectionForm\">");
    HttpSendDataSprintf(request, "<input name=\"%s\" id=\"filter\" type=hidden value=\"%s\"/>",
                        "FILTER", htmlFilter.c_str());
    HttpSendDataSprintf(request, "<input name=\"volume\" id=\"volume\" type=hidden value=\"%s\"/>",
                        htmlVolume.c_str());
    HttpSendDataSprintf(request,
                        "<input name=\"sorttype\" id=\"sorttype\" type=hidden value=\"%s\"/>",
                        getSortTypeString(sortType));
    HttpSendDataSprintf(request, "</form>");

    HttpSendDataSprintf(request, "<FORM method=\"post\" action=\"/%s/%s\" id=\"filterForm\">",
                        keyword_afpofm, urlVolume.c_str());
    HttpSendDataSprintf(request,
                        "<label>%s : </label></td><td><input name=\"%s\" id=\"filter\" "
                        "type=\"text\" title=\"%s\" placeholder=\"%s\" value=\"%s\" style=\"width: "
                        "147px; \" /> <input type='submit' value=\"%s\" /> "
                        "</form></td></tr></table>\n",
                        lnxMSG("Filter"), "FILTER", lnxMSG("eg: *.doc"), lnxMSG("eg: *.doc"),
                        htmlFilter.c_str(), lnxMSG("Apply"));

    HttpSendDataSprintf(request,
                        "<FORM METHOD=POST action=\"/afpofm/AFPCloseFiles/%s\" "
                        "onsubmit=\"javascript:return closeFiles(this)\" ><table border=0 "
                        "style=\"width: 850px;\" >",
                        urlVolume.c_str());
    HttpSendDataSprintf(request, "<tr class=tablehead><TD align=center colspan=4>%s</TD></tr>",
                        lnxMSG("List of Open Files"));

    OpenFileInfo *list = nullptr;
    hxm2afp::NodePool<OpenFileInfo> nodes;
    int libraryStatus = AFPSTAT_OK;
    const int result = hxm2afp::open_file_list(volume, &list, filter, &libraryStatus, &nodes);
    if (result == 0 && list != nullptr) {
        if (SortOpenFilesTable(&list, sortType) == nullptr)
            HXM_DEBUG("Error: SortOpenFilesTable failed");
        HttpSendDataSprintf(request, "<TR class=tablesubhead NOWRAP><TD align=center><input "
                                     "type=\"checkbox\" NAME=K_1_ id=noid "
                                     "onclick='checkAndUncheckAll(this)'></TD>");
        setSortImage(request, sortType, volume);
        write_open_file_rows(request, list);
    } else {
        HttpSendDataSprintf(request, "<TR class=tablesubhead NOWRAP><TD align=center><input "
                                     "type=\"checkbox\" NAME=K_1_ id=noid></TD>");
        setSortImage(request, sortType, volume);
        // An unknown volume is an empty one, as it always read.
        if (libraryStatus != AFPSTAT_OK && libraryStatus != AFPSTAT_ERR_NOT_FOUND)
            hxm2afp::send_list_failure_row(request, libraryStatus);
        else
            HttpSendDataSprintf(request,
                                "<tr><td align=left colspan=4 "
                                "style=\"font-size:13px;color:black;\">%s</td></tr>",
                                lnxMSG("No items."));
    }

    hxm2afp::send_close_files_buttons(request);
    HttpSendDataSprintf(request, "</FORM></BODY></HTML>\n");
    return result;
}

void hxm2afp::send_close_files_buttons(void *request) {
    HttpSendDataSprintf(request, "</table>");
    HttpSendDataSprintf(request,
                        "<table><tr><td align=left><input type=\"button\" value=\"%s\" "
                        "onclick=\"filterFormSubmit()\"></td><td align=left><input "
                        "type=\"submit\" value=\"%s \"></td></tr></table>",
                        lnxMSG("Refresh"), lnxMSG("Close Files"));
}

int generate_main_ofm_page(void *request) {
    const int started = hxm2afp::begin_open_file_page(request, title_text());
    if (started != 0)
        return started;
    hxm2afp::send_find_form(request);
    FillVolumes(request, nullptr);
    HttpSendDataSprintf(request, "<tr><td>");
    hxm2afp::send_filter_form(request, "<td></tr>\n");
    HttpSendDataSprintf(request, "<FORM><table border=0 style=\"width: 850px;\" >");
    HttpSendDataSprintf(request, "<tr class=tablehead><TD align=center colspan=4>%s</TD></tr>",
                        lnxMSG("List of Open Files"));
    HttpSendDataSprintf(request, "%s", hxm2afp::unsorted_heading_row(nullptr).c_str());
    HttpSendDataSprintf(request, "</table></FORM>");
    HttpSendDataSprintf(request, "</BODY></HTML>\n");
    return hxm2afp::end_page(request);
}

int generate_main_ofm_page(void *request, const char *volume, AfpSortType sortType,
                           const char *filter) {
    return hxm2afp::send_open_files_page(request, volume, sortType, filter, nullptr);
}

int hxm2afp::send_open_files_page(void *request, const char *volume, AfpSortType sortType,
                                  const char *filter, const ActionOutcome *outcome) {
    if (volume == nullptr)
        volume = "";
    if (filter == nullptr)
        filter = "";
    HXM_DEBUG("volume name: %s", hxm2afp::LogText(volume).c_str());
    if (filter[0] != '\0')
        HXM_DEBUG("filter string: %s", hxm2afp::LogText(filter).c_str());
    const int started = hxm2afp::begin_open_file_page(request, title_text());
    if (started != 0)
        return started;
    hxm2afp::send_action_outcome(request, outcome);
    hxm2afp::send_find_form(request);
    if (FillVolumes(request, volume) == 0)
        GetOpenFilesInVolume(request, volume, sortType, filter);
    else
        HttpSendDataSprintf(request, "</table></BODY></HTML>\n");
    return hxm2afp::end_page(request);
}
