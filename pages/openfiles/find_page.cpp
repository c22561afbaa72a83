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

#include <string>

#include <zentra/hxm_host.h>

#include "core/error_page.h"
#include "core/escape.h"
#include "core/localisation.h"
#include "core/page_frame.h"
#include "core/page_globals.h"
#include "core/post_body.h"
#include "core/text_appender.h"
#include "logger/log_text.h"
#include "logger/logger.h"
#include "monitor/find_files.h"
#include "monitor/name_match.h"
#include "monitor/node_list.h"
#include "pages/common/actions.h"
#include "pages/common/failure_lines.h"
#include "pages/openfiles/list_page.h"

namespace hxm2afp {
namespace {

constexpr char kCloseFilesCommand[] = "AFPCloseFiles";
constexpr char kNameField[] = "FINDNAME";
constexpr char kUserField[] = "FINDUSER";
constexpr char kFileField[] = "FILENAME";
// The longest raw field read: a criterion of the most bytes, every one encoded.
constexpr int kLongestRawField = 3 * kFindTextBytes;
constexpr size_t kSentenceSize = 1024;
constexpr size_t kRowSize = 8192;
// A row's fixed markup and numbers, beside its escaped texts.
constexpr size_t kRowMarkup = 1024;

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
    out[0] = '\0';
    if (body == nullptr)
        return true;
    char raw[kLongestRawField + 1];
    int length = kLongestRawField;
    if (HttpFindNameAndValue(body, field, raw, &length) != 0)
        return length <= kLongestRawField; // absent, or refused as too long
    char decoded[kLongestRawField + 1];
    const int decodedLength = HttpUnConvertName(raw, decoded, length);
    if (decodedLength < 0 || static_cast<size_t>(decodedLength) > kFindTextBytes ||
        count_characters(decoded) > kFindTextLongest)
        return false;
    memcpy(out, decoded, static_cast<size_t>(decodedLength) + 1);
    return true;
}

/* Closes the files the body's FILENAME fields name, each field decoded on
 * its own. */
void close_ticked_files(const char *body, ActionOutcome *outcome) {
    const size_t nameLength = strlen(kFileField);
    for (const char *field = body; field != nullptr && *field != '\0';) {
        const size_t fieldLength = strcspn(field, "&");
        if (fieldLength > nameLength && strncmp(field, kFileField, nameLength) == 0 &&
            field[nameLength] == '=') {
            char *decoded = nullptr;
            decodePostDataString(field + nameLength + 1, fieldLength - nameLength - 1, &decoded);
            close_named_files(decoded, outcome);
            free(decoded);
        }
        field += fieldLength;
        if (*field == '&')
            ++field;
    }
}

void send_hidden_criteria(void *request, const char *name, const char *user) {
    const EscapedText htmlName(escape_html, name);
    const EscapedText htmlUser(escape_html, user);
    HttpSendDataSprintf(request,
                        "<input name=\"%s\" type=hidden value=\"%s\"/><input name=\"%s\" "
                        "type=hidden value=\"%s\"/>",
                        kNameField, htmlName.c_str(), kUserField, htmlUser.c_str());
}

/* The criteria form: its id is the one the area's script posts for Refresh
 * and for a heading's sort link. */
void send_criteria_form(void *request, const FindAsk &ask) {
    const EscapedText htmlName(escape_html, ask.name);
    const EscapedText htmlUser(escape_html, ask.user);
    HttpSendDataSprintf(request,
                        "<FORM method=\"post\" action=\"/%s/%s/%s\" id=\"filterForm\"><table><tr>"
                        "<td><label>%s : </label></td><td><input name=\"%s\" id=\"findName\" "
                        "type=\"text\" maxlength=\"255\" title=\"%s\" placeholder=\"%s\" "
                        "value=\"%s\" style=\"width: 147px; \" /></td>",
                        keyword_afpofm, kFindFilesCommand, ask.sort->keyword, lnxMSG("File name"),
                        kNameField, lnxMSG("Part of a file name, * and ? as wildcards"),
                        lnxMSG("eg: budget"), htmlName.c_str());
    HttpSendDataSprintf(request,
                        "<td><label>%s : </label></td><td><input name=\"%s\" id=\"findUser\" "
                        "type=\"text\" maxlength=\"255\" title=\"%s\" value=\"%s\" "
                        "style=\"width: 147px; \" /> <input type='submit' value=\"%s\" /></td>"
                        "</tr></table></FORM>\n",
                        lnxMSG("User"), kUserField, lnxMSG("Part of a user name (optional)"),
                        htmlUser.c_str(), lnxMSG("Find"));
}

void send_heading_row(void *request, const FindAsk &ask) {
    std::string row = "<TR class=tablesubhead NOWRAP><TD align=center><input type=\"checkbox\" "
                      "NAME=K_1_ id=noid onclick='checkAndUncheckAll(this)'></TD>";
    for (const FindColumn &column : kFindColumns) {
        row.append("<TD align=center>").append(lnxMSG(column.label)).append(" <A HREF=/");
        row.append(keyword_afpofm).append("/").append(kFindFilesCommand).append("/");
        row.append(column.keyword).append(" onclick=\"return sortedFilterFormSubmit(this);\">");
        row.append("<img id=").append(column.imageId).append(" border=0 alt='");
        row.append(lnxMSG(column.linkText)).append("' src='/opt/zentra/hxm/");
        row.append(&column == ask.sort ? "sorted.png" : "sortdown.png").append("' ></a></TD>");
    }
    row.append("</TR>");
    HttpSendDataSprintf(request, "%s", row.c_str());
}

// One row: tick box naming the file for closing, volume, connection number,
// the connection's link (its user's name), path.
void send_row(void *request, const FoundFile &file, const char *stripe) {
    const CloseName closeName = close_name(file.filePath);
    const size_t needed = HXM_ESCAPED_SIZE(closeName.text.size()) +
                          HXM_ESCAPED_SIZE(strlen(file.filePath)) +
                          HXM_ESCAPED_SIZE(strlen(file.userName)) +
                          HXM_ESCAPED_SIZE(strlen(file.volumeName)) + kRowMarkup;
    char stack[kRowSize];
    char *buffer = needed <= sizeof stack ? stack : static_cast<char *>(malloc(needed));
    if (buffer == nullptr)
        return;
    TextAppender row(buffer, buffer == stack ? sizeof stack : needed);
    row.literal("<TR ")
        .text(stripe)
        .literal("><TD align=center><input type=\"checkbox\" NAME=\"FILENAME\" VALUE=\"")
        .text(closeName.start)
        .escaped(escape_html, closeName.text.c_str())
        .text(closeName.end)
        .literal("\" id=cb1></TD><td class=\"tablecol\" align=left>")
        .escaped(escape_html, file.volumeName)
        .literal("</td><td class=\"tablecol\" align=center>")
        .decimal(static_cast<int>(file.connectionNumber))
        .literal("</td><td class=\"tablecol\" align=center><a href=\"/")
        .text(keyword_afpdcons)
        .literal("/ConnectionNumber/")
        .hex8(file.connectionNumber)
        .literal("\">")
        .escaped(escape_html, file.userName)
        .literal("</a></td><td class=\"tablecol\" align=left>")
        .escaped(escape_html, file.filePath)
        .literal("</td></TR>");
    HttpSendDataSprintf(request, "%s", row.c_str());
    if (buffer != stack)
        free(buffer);
}

void send_rows(void *request, const FoundFile *file) {
    bool light = true;
    for (; file != nullptr; file = file->next) {
        if (const FoundFile *next = file->next)
            prefetch(next, next->filePath, next->userName);
        send_row(request, *file, light ? pzSTRIPE_LIGHT : pzSTRIPE_DARK);
        light = !light;
    }
}

void send_table(void *request, const FindAsk &ask) {
    FoundFiles found;
    FindQuery query;
    query.name = ask.name;
    query.user = ask.user;
    const int status = find_open_files(query, &found);
    sort_found_files(&found, ask.sort->column);
    HXM_DEBUG("find name [%s] user [%s]: %d files, status %d", LogText(ask.name).c_str(),
              LogText(ask.user).c_str(), static_cast<int>(found.count), status);

    char sentence[kSentenceSize];
    snprintf(sentence, sizeof sentence, lnxMSG("Open files found: %lu on %lu volumes"),
             static_cast<unsigned long>(found.count), static_cast<unsigned long>(found.volumes));
    HttpSendDataSprintf(request, "<DIV CLASS=NORMAL id=\"findSummary\">%s</DIV>\n", sentence);
    HttpSendDataSprintf(request,
                        "<FORM METHOD=POST action=\"/%s/%s/%s/%s\" onsubmit=\"javascript:return "
                        "closeFiles(this)\" >",
                        keyword_afpofm, kFindFilesCommand, ask.sort->keyword, kCloseFilesCommand);
    send_hidden_criteria(request, ask.name, ask.user);
    HttpSendDataSprintf(request,
                        "<table border=0 style=\"width: 850px;\" ><tr class=tablehead><TD "
                        "align=center colspan=5>%s</TD></tr>",
                        lnxMSG("Open Files on Every Volume"));
    send_heading_row(request, ask);
    send_rows(request, found.head);
    if (status != AFPSTAT_OK)
        HttpSendDataSprintf(request,
                            "<tr><td align=left colspan=5 id=\"listFailure\" "
                            "style=\"font-size:13px;color:#b00000;\">%s</td></tr>",
                            list_failure_text(status, sentence, sizeof sentence));
    else if (found.head == nullptr)
        HttpSendDataSprintf(request,
                            "<tr><td align=left colspan=5 "
                            "style=\"font-size:13px;color:black;\">%s</td></tr>",
                            lnxMSG("No items."));
    send_close_files_buttons(request);
    HttpSendDataSprintf(request, "</FORM>");
}

int send_find_page(void *request, const FindAsk &ask, const ActionOutcome *outcome) {
    const int started = begin_open_file_page(request, lnxMSG("Find Open Files"));
    if (started != 0)
        return started;
    send_action_outcome(request, outcome);
    send_criteria_form(request, ask);
    if (ask.tooLong) {
        char sentence[kSentenceSize];
        snprintf(sentence, sizeof sentence,
                 lnxMSG("Nothing was searched: a file name or user name may hold at most %d "
                        "characters."),
                 static_cast<int>(kFindTextLongest));
        HttpSendDataSprintf(request,
                            "<DIV CLASS=NORMAL id=\"findFailure\" "
                            "style=\"color:#b00000;font-weight:bold;\">%s</DIV>\n",
                            sentence);
    } else {
        send_table(request, ask);
    }
    HttpSendDataSprintf(request, "</BODY></HTML>\n");
    return end_page(request);
}

} // namespace

void send_find_form(void *request) {
    HttpSendDataSprintf(request,
                        "<FORM method=\"post\" action=\"/%s/%s\" id=\"findForm\"><DIV "
                        "CLASS=NORMAL><label>%s : </label><input name=\"%s\" type=\"text\" "
                        "maxlength=\"255\" title=\"%s\" placeholder=\"%s\" style=\"width: 147px; "
                        "\" /> <input name=\"%s\" type=\"text\" maxlength=\"255\" title=\"%s\" "
                        "placeholder=\"%s\" style=\"width: 147px; \" /> <input type='submit' "
                        "value=\"%s\" /></DIV></FORM>\n",
                        keyword_afpofm, kFindFilesCommand, lnxMSG("Find open files"), kNameField,
                        lnxMSG("Part of a file name, * and ? as wildcards"), lnxMSG("eg: budget"),
                        kUserField, lnxMSG("Part of a user name (optional)"), lnxMSG("User"),
                        lnxMSG("Find"));
}

int answer_find_files(void *request, const Request &front, Component command, int count) {
    FindAsk ask;
    const int pathError = read_find_path(front, command, count, &ask);
    if (pathError != 0)
        return generate_error_page(request, pathError);
    if (ask.sort == nullptr)
        ask.sort = &kFindColumns[0];
    ask.tooLong = !read_criterion(front.body, kNameField, ask.name) ||
                  !read_criterion(front.body, kUserField, ask.user);
    ActionOutcome outcome;
    if (ask.close && front.method == HXM_METHOD_FORM_POST) {
        close_ticked_files(front.body, &outcome);
        log_action_outcome(outcome);
    }
    return send_find_page(request, ask, &outcome);
}

} // namespace hxm2afp
