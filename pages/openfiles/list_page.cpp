/*
 * The volume selection page and the open-file list page of "/afpofm".
 *
 * Every text from the monitoring library or the request is escaped for where
 * it lands: HTML for page text and attribute values, one encoded path
 * component for URLs. A check box value is HTML-escaped, so the browser
 * posts it as written and the close action gets the path back unchanged
 * (a path holding a marker text of its own travels encoded: send_close_name).
 */
#include "pages/openfiles/list_page.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <zentra/hxm_host.h>

#include "core/localisation.h"
#include "core/page_frame.h"
#include "core/page_globals.h"
#include "core/page_writer.h"
#include "logger/log_text.h"
#include "logger/logger.h"
#include "monitor/node_list.h"
#include "monitor/open_files.h"
#include "monitor/volumes.h"
#include "pages/common/actions.h"
#include "pages/common/failure_lines.h"
#include "pages/openfiles/columns.h"
#include "pages/openfiles/frame.h"
#include "pages/openfiles/script.h"

using hxm2afp::PageWriter;

namespace {

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

// One row: tick box naming the file for closing by its whole path (the shown
// one may be cut, and a cut path may be another open file's), connection number, the
// connection's link (its user's name), path; sized first, so it goes into
// the writer whole.
void send_row(PageWriter &out, const hxm2afp::OpenFileRow &file, const char *stripe) {
    PageWriter::Piece escapedPath;
    hxm2afp::start_open_file_row(out, stripe, file.wholePath,
                                 strlen(file.userName) + strlen(file.filePath), &escapedPath);
    out.literal("<td class=\"tablecol\" align=center>")
        .decimal(static_cast<int>(file.connectionNumber))
        .literal("</td><td class=\"tablecol\" align=center><a href=\"/")
        .text(keyword_afpdcons)
        .literal("/ConnectionNumber/")
        .hex8(file.connectionNumber)
        .literal("\" onclick=\"return connectionFormSubmit(this);\" >")
        .html(file.userName)
        .literal("</a></td><td class=\"tablecol\" align=left>");
    // A path shown whole is the one the tick box named: its text is copied.
    if (file.filePath != file.wholePath || !out.repeat(escapedPath))
        out.html(file.filePath);
    out.literal("</td></TR>");
}

void write_open_file_rows(PageWriter &out, const hxm2afp::OpenFileRow *list) {
    bool light = true;
    for (; list != nullptr; list = list->next) {
        if (const hxm2afp::OpenFileRow *next = list->next)
            hxm2afp::prefetch(next, next->filePath);
        send_row(out, *list, light ? pzSTRIPE_LIGHT : pzSTRIPE_DARK);
        light = !light;
    }
}

void send_sort_headings(PageWriter &out, AfpSortType sortType, const char *volume) {
    if (sortType < AFP_SORT_CONNECTION_NUMBER || sortType > AFP_SORT_FILE_PATH)
        return;
    for (const hxm2afp::OpenFileColumn &column : hxm2afp::kOpenFileColumns) {
        PageWriter href(nullptr);
        href.literal("/afpofm/").text(column.sort.keyword).literal("/").url_component(volume);
        href.literal(" onclick=\"return sortedFilterFormSubmit(this);\"");
        hxm2afp::send_open_file_heading(out, column, lnxMSG(column.label), href.c_str(),
                                        column.sort.sortType == sortType ? kSorted : kUnsorted,
                                        column.imageEnd);
    }
    out.literal("</TR>");
}

int fill_volumes(PageWriter &out, const char *selectedVolume) {
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
    out.literal("<table><tr><td>");
    out.format("<form><DIV CLASS=NORMAL><label>%s : </label></td><td><select "
               "id=\"volumes\" style=\"width: 147px; \" "
               "onchange=\"volumeChanged(document.getElementById('volumes'));\"><option>%"
               "s</option>",
               lnxMSG("AFP Volume"), lnxMSG("Select a volume"));
    char name[AFPSTAT_VOLUME_NAME_SIZE + 1];
    int visited = 0;
    for (const VolsDetailsNode *node = volumes; node != nullptr && visited < count;
         node = node->next, ++visited) {
        volume_name(*node, name);
        const bool selected = selectedVolume != nullptr && strcmp(selectedVolume, name) == 0;
        out.literal("<option ").text(selected ? "selected " : "").literal("value=\"").html(name);
        out.text(selected ? "\" >" : "\">").html(name).literal("</option>");
    }
    out.literal("</select></div></form></tr></td>\n");
    if (result != 0) {
        char text[kFailureTextSize];
        out.format("<tr><td colspan=2 id=\"listFailure\" "
                   "style=\"font-size:13px;color:#b00000;\">%s</td></tr>\n",
                   hxm2afp::list_failure_text(result, text, sizeof text));
    }
    hxm2afp::free_volumes(&volumes);
    return result;
}

// The hidden form the rows' connection links post, and the filter form.
void send_list_forms(PageWriter &out, const char *volume, AfpSortType sortType,
                     const char *filter) {
    out.literal("<tr><td>");
    out.literal("<FORM method=\"post\" action=\"\" id=\"connectionForm\">");
    out.format("<input name=\"%s\" id=\"filter\" type=hidden value=\"", "FILTER")
        .html(filter)
        .literal("\"/>");
    out.literal("<input name=\"volume\" id=\"volume\" type=hidden value=\"")
        .html(volume)
        .literal("\"/>");
    out.format("<input name=\"sorttype\" id=\"sorttype\" type=hidden value=\"%s\"/>",
               getSortTypeString(sortType));
    out.literal("</form>");

    out.format("<FORM method=\"post\" action=\"/%s/", keyword_afpofm)
        .url_component(volume)
        .literal("\" id=\"filterForm\">");
    out.format("<label>%s : </label></td><td><input name=\"%s\" id=\"filter\" "
               "type=\"text\" title=\"%s\" placeholder=\"%s\" value=\"",
               lnxMSG("Filter"), "FILTER", lnxMSG("eg: *.doc"), lnxMSG("eg: *.doc"))
        .html(filter)
        .format("\" style=\"width: 147px; \" /> <input type='submit' value=\"%s\" /> "
                "</form></td></tr></table>\n",
                lnxMSG("Apply"));
}

int send_open_files_in_volume(PageWriter &out, const char *volume, AfpSortType sortType,
                              const char *filter) {
    if (volume == nullptr)
        volume = "";
    if (filter == nullptr)
        filter = "";
    send_list_forms(out, volume, sortType, filter);
    out.literal("<FORM METHOD=POST action=\"/afpofm/AFPCloseFiles/")
        .url_component(volume)
        .literal("\" onsubmit=\"javascript:return closeFiles(this)\" ><table border=0 "
                 "style=\"width: 850px;\" >");
    out.format("<tr class=tablehead><TD align=center colspan=4>%s</TD></tr>",
               lnxMSG("List of Open Files"));

    hxm2afp::OpenFileRow *list = nullptr;
    hxm2afp::ByteArena rows;
    int libraryStatus = AFPSTAT_OK;
    const int result =
        hxm2afp::sorted_open_file_rows(volume, filter, sortType, &list, &libraryStatus, &rows);
    const bool listed = result == 0 && list != nullptr;
    out.literal("<TR class=tablesubhead NOWRAP><TD align=center><input "
                "type=\"checkbox\" NAME=K_1_ id=noid");
    out.text(listed ? " onclick='checkAndUncheckAll(this)'></TD>" : "></TD>");
    if (listed) {
        send_sort_headings(out, sortType, volume);
        write_open_file_rows(out, list);
    } else {
        send_sort_headings(out, sortType, volume);
        // An unknown volume is an empty one, as it always read.
        hxm2afp::send_list_status_row(
            out, libraryStatus == AFPSTAT_ERR_NOT_FOUND ? AFPSTAT_OK : libraryStatus, 4);
    }

    hxm2afp::send_close_files_buttons(out);
    out.literal("</FORM></BODY></HTML>\n");
    return result;
}

} // namespace

const char *getSortTypeString(AfpSortType sortType) {
    return hxm2afp::open_file_column(sortType).sort.keyword;
}

void setSortImage(void *request, AfpSortType sortType, const char *volume) {
    PageWriter out(request);
    send_sort_headings(out, sortType, volume);
}

int FillVolumes(void *request, const char *selectedVolume) {
    PageWriter out(request);
    return fill_volumes(out, selectedVolume);
}

int GetOpenFilesInVolume(void *request, const char *volume, AfpSortType sortType,
                         const char *filter) {
    PageWriter out(request);
    return send_open_files_in_volume(out, volume, sortType, filter);
}

int generate_main_ofm_page(void *request) {
    const int started = hxm2afp::begin_open_file_page(request, title_text());
    if (started != 0)
        return started;
    PageWriter out(request);
    hxm2afp::send_find_form(out);
    fill_volumes(out, nullptr);
    out.literal("<tr><td>");
    hxm2afp::send_filter_form(out, "<td></tr>\n");
    out.literal("<FORM><table border=0 style=\"width: 850px;\" >");
    out.format("<tr class=tablehead><TD align=center colspan=4>%s</TD></tr>",
               lnxMSG("List of Open Files"));
    hxm2afp::send_unsorted_heading_row(out, nullptr);
    out.literal("</table></FORM>");
    out.literal("</BODY></HTML>\n");
    return hxm2afp::end_page(out);
}

int generate_main_ofm_page(void *request, const char *volume, AfpSortType sortType,
                           const char *filter) {
    return hxm2afp::send_open_files_page(request, volume, sortType, filter, nullptr);
}

int hxm2afp::send_open_files_page(void *request, const char *volume, AfpSortType sortType,
                                  const char *filter, const ActionReport *outcome) {
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
    PageWriter out(request);
    hxm2afp::send_action_outcome(out, outcome);
    hxm2afp::send_find_form(out);
    if (fill_volumes(out, volume) == 0)
        send_open_files_in_volume(out, volume, sortType, filter);
    else
        out.literal("</table></BODY></HTML>\n");
    return hxm2afp::end_page(out);
}
