/*
 * The find form and the find page of the open-file area (see find_page.h).
 *
 * Paths, after "/afpofm" (SORT a sort keyword of the open-file lists):
 *   [/SORT]/AFPFindFiles[/FINDSORT][/AFPCloseFiles]
 * FINDSORT is VolumeName, ConnectionNumber, UserName or FileName, in any
 * case; a leading SORT stands for it when it is missing. The page's forms
 * name it, so a heading link, Refresh and Close Files keep the order.
 *
 * Notes:
 * - The criteria travel as form fields read one by one (FINDNAME,
 *   FINDUSER), and files to close only as FILENAME fields: a criterion that
 *   holds a file-name marker closes nothing.
 * - Every text of the monitoring library or the request is escaped for
 *   where it lands; each row is sized first and written once.
 */
#include "pages/openfiles/find_page.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>

#include <zentra/hxm_host.h>

#include "core/error_page.h"
#include "core/form.h"
#include "core/localisation.h"
#include "core/page_frame.h"
#include "core/page_globals.h"
#include "core/page_writer.h"
#include "history/store.h"
#include "logger/log_text.h"
#include "logger/logger.h"
#include "monitor/find_files.h"
#include "monitor/name_match.h"
#include "monitor/node_list.h"
#include "pages/common/actions.h"
#include "pages/common/failure_lines.h"
#include "pages/openfiles/frame.h"
#include "pages/openfiles/history_page.h"

namespace hxm2afp {
namespace {

constexpr char kCloseFilesCommand[] = "AFPCloseFiles";

/* The find page's columns, in page order: the path keyword, the order it
 * asks for, the heading and its sort link's image text and id. */
struct FindColumn {
    const char *keyword;
    FoundColumn column;
    const char *label;
    const char *linkText;
    const char *imageId;
};

constexpr FindColumn kFindColumns[] = {
    {"VolumeName", FoundColumn::kVolume, HXM_TRANSLATABLE("Volume"),
     HXM_TRANSLATABLE("Sort By Volume"), "volName"},
    {"ConnectionNumber", FoundColumn::kConnection, HXM_TRANSLATABLE("Connection"),
     HXM_TRANSLATABLE("Sort By Connection"), "connNum"},
    {"UserName", FoundColumn::kUser, HXM_TRANSLATABLE("Username"),
     HXM_TRANSLATABLE("Sort By Username"), "usrName"},
    {"FileName", FoundColumn::kPath, HXM_TRANSLATABLE("File Path"),
     HXM_TRANSLATABLE("Sort By File Path"), "fileName"},
};

const FindColumn *find_column(const char *keyword, size_t length) {
    for (const FindColumn &column : kFindColumns) {
        if (strlen(column.keyword) == length && strncasecmp(column.keyword, keyword, length) == 0)
            return &column;
    }
    return nullptr;
}

/* What the request asks the find page for. */
struct FindAsk {
    const FindColumn *sort = &kFindColumns[0];
    bool close = false;
    char name[kFindTextBytes + 1] = {};
    char user[kFindTextBytes + 1] = {};
    bool tooLong = false;
};

/* Reads the path after the command: 0, or the error page code. */
int read_find_path(const Request &front, Component command, int count, FindAsk *ask) {
    if (front.path.sort != nullptr)
        ask->sort = find_column(front.path.sort->keyword, strlen(front.path.sort->keyword));
    Component at = command;
    bool sorted = false;
    for (int left = count - 1; left > 0; --left) {
        at = at.next();
        const FindColumn *column = find_column(at.text(), at.length());
        if (column != nullptr && !sorted && !ask->close) {
            ask->sort = column;
            sorted = true;
        } else if (at.equals(kCloseFilesCommand) && !ask->close) {
            ask->close = true;
        } else {
            return HXM_ERROR_BAD_REQUEST;
        }
    }
    return 0;
}

/* Reads one criterion of the raw body into `out` (kFindTextBytes + 1
 * bytes): false when it holds more than kFindTextLongest characters (out is
 * then empty). */
bool read_criterion(const char *body, const char *field, char *out) {
    if (read_form_field(body, field, out, kFindTextBytes + 1) == FormField::kTooLong)
        return false;
    if (count_characters(out) <= kFindTextLongest)
        return true;
    out[0] = '\0';
    return false;
}

void send_hidden_criteria(PageWriter &out, const char *name, const char *user) {
    out.format("<input name=\"%s\" type=hidden value=\"", kNameField).html(name);
    out.format("\"/><input name=\"%s\" type=hidden value=\"", kUserField).html(user);
    out.literal("\"/>");
}

/* The criteria form: its id is the one the area's script posts for Refresh
 * and for a heading's sort link. */
void send_criteria_form(PageWriter &out, const FindAsk &ask) {
    out.format("<FORM method=\"post\" action=\"/%s/%s/%s\" id=\"filterForm\"><table><tr>"
               "<td><label>%s : </label></td><td><input name=\"%s\" id=\"findName\" "
               "type=\"text\" maxlength=\"255\" title=\"%s\" placeholder=\"%s\" value=\"",
               keyword_afpofm, kFindFilesCommand, ask.sort->keyword, lnxMSG("File name"),
               kNameField, lnxMSG("Part of a file name, * and ? as wildcards"),
               lnxMSG("eg: budget"))
        .html(ask.name)
        .literal("\" style=\"width: 147px; \" /></td>");
    out.format("<td><label>%s : </label></td><td><input name=\"%s\" id=\"findUser\" "
               "type=\"text\" maxlength=\"255\" title=\"%s\" value=\"",
               lnxMSG("User"), kUserField, lnxMSG("Part of a user name (optional)"))
        .html(ask.user)
        .format("\" style=\"width: 147px; \" /> <input type='submit' value=\"%s\" /></td>"
                "</tr></table></FORM>\n",
                lnxMSG("Find"));
}

void send_heading_row(PageWriter &out, const FindAsk &ask) {
    out.literal("<TR class=tablesubhead NOWRAP><TD align=center><input type=\"checkbox\" "
                "NAME=K_1_ id=noid onclick='checkAndUncheckAll(this)'></TD>");
    for (const FindColumn &column : kFindColumns) {
        out.literal("<TD align=center>").text(lnxMSG(column.label)).literal(" <A HREF=/");
        out.text(keyword_afpofm).literal("/").text(kFindFilesCommand).literal("/");
        out.text(column.keyword).literal(" onclick=\"return sortedFilterFormSubmit(this);\">");
        out.literal("<img id=").text(column.imageId).literal(" border=0 alt='");
        out.text(lnxMSG(column.linkText)).literal("' src='/opt/zentra/hxm/");
        out.text(&column == ask.sort ? "sorted.png" : "sortdown.png").literal("' ></a></TD>");
    }
    out.literal("</TR>");
}

// One row: tick box naming the file for closing, volume, connection number,
// the connection's link (its user's name), path; sized first, so it goes
// into the writer whole.
void send_row(PageWriter &out, const FoundFile &file, const char *stripe) {
    start_open_file_row(out, stripe, file.filePath,
                        strlen(file.filePath) + strlen(file.userName) + strlen(file.volumeName));
    out.literal("<td class=\"tablecol\" align=left>")
        .html(file.volumeName)
        .literal("</td><td class=\"tablecol\" align=center>")
        .decimal(static_cast<int>(file.connectionNumber))
        .literal("</td><td class=\"tablecol\" align=center><a href=\"/")
        .text(keyword_afpdcons)
        .literal("/ConnectionNumber/")
        .hex8(file.connectionNumber)
        .literal("\">")
        .html(file.userName)
        .literal("</a></td><td class=\"tablecol\" align=left>")
        .html(file.filePath)
        .literal("</td></TR>");
}

void send_rows(PageWriter &out, const FoundFile *file) {
    bool light = true;
    for (; file != nullptr; file = file->next) {
        if (const FoundFile *next = file->next)
            prefetch(next, next->filePath, next->userName);
        send_row(out, *file, light ? pzSTRIPE_LIGHT : pzSTRIPE_DARK);
        light = !light;
    }
}

void send_table(PageWriter &out, const FindAsk &ask) {
    FoundFiles found;
    FindQuery query;
    query.name = ask.name;
    query.user = ask.user;
    const int status = find_open_files(query, &found);
    sort_found_files(&found, ask.sort->column);
    HXM_DEBUG("find name [%s] user [%s]: %d files, status %d", LogText(ask.name).c_str(),
              LogText(ask.user).c_str(), static_cast<int>(found.count), status);

    out.literal("<DIV CLASS=NORMAL id=\"findSummary\">")
        .format(lnxMSG("Open files found: %lu on %lu volumes"),
                static_cast<unsigned long>(found.count), static_cast<unsigned long>(found.volumes))
        .literal("</DIV>\n");
    out.format("<FORM METHOD=POST action=\"/%s/%s/%s/%s\" onsubmit=\"javascript:return "
               "closeFiles(this)\" >",
               keyword_afpofm, kFindFilesCommand, ask.sort->keyword, kCloseFilesCommand);
    send_hidden_criteria(out, ask.name, ask.user);
    out.format("<table border=0 style=\"width: 850px;\" ><tr class=tablehead><TD "
               "align=center colspan=5>%s</TD></tr>",
               lnxMSG("Open Files on Every Volume"));
    send_heading_row(out, ask);
    send_rows(out, found.head);
    if (status != AFPSTAT_OK || found.head == nullptr)
        send_list_status_row(out, status, 5);
    send_close_files_buttons(out);
    out.literal("</FORM>");
    // Only with a store to ask: without one the page is as it always was.
    if (history::store_present())
        out.literal("<DIV CLASS=NORMAL id=\"historyLink\"><a href=\"/")
            .text(keyword_afpofm)
            .literal("/")
            .text(kFindHistoryCommand)
            .literal("\">")
            .text(lnxMSG("Who had files open at a time"))
            .literal("</a></DIV>\n");
}

int send_find_page(void *request, const FindAsk &ask, const ActionReport *outcome) {
    const int started = begin_open_file_page(request, lnxMSG("Find Open Files"));
    if (started != 0)
        return started;
    PageWriter out(request);
    send_action_outcome(out, outcome);
    send_criteria_form(out, ask);
    if (ask.tooLong)
        out.literal("<DIV CLASS=NORMAL id=\"findFailure\" "
                    "style=\"color:#b00000;font-weight:bold;\">")
            .format(lnxMSG("Nothing was searched: a file name or user name may hold at most %d "
                           "characters."),
                    static_cast<int>(kFindTextLongest))
            .literal("</DIV>\n");
    else
        send_table(out, ask);
    out.literal("</BODY></HTML>\n");
    return end_page(out);
}

} // namespace

int answer_find_files(void *request, const Request &front) {
    FindAsk ask;
    const int pathError = read_find_path(front, front.path.first, front.path.count, &ask);
    if (pathError != 0)
        return generate_error_page(request, pathError);
    if (ask.sort == nullptr)
        ask.sort = &kFindColumns[0];
    ask.tooLong = !read_criterion(front.body, kNameField, ask.name) ||
                  !read_criterion(front.body, kUserField, ask.user);
    if (!ask.close || front.method != HXM_METHOD_FORM_POST)
        return send_find_page(request, ask, carried_outcome(front));
    ActionOutcome outcome;
    close_ticked_files(front.body, &outcome);
    log_action_outcome(outcome);
    // A reload finds again with the same criteria and closes nothing.
    const ActionAnswer answer(request, outcome,
                              std::string("/") + keyword_afpofm + "/" + kFindFilesCommand + "/" +
                                  ask.sort->keyword,
                              front.body);
    return send_find_page(request, ask, &outcome);
}

} // namespace hxm2afp
