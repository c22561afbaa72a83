/*
 * DisplaySpecifiedConnection and its section writers.
 *
 * Notes:
 * - Every text from the monitoring library (user, address, security
 *   equivalences, file paths, the login state words) and every text carried
 *   from the open-file pages (volume, sort, filter) is escaped for where it
 *   lands: HTML text and attribute values, or a URL path component. A path
 *   holding quotes or markup is still posted back byte for byte through its
 *   form's hidden field, so it can be closed.
 * - The connection component must be 1 to 8 hexadecimal digits; anything
 *   else is a bad request rather than the number of its leading digits.
 */
#include "pages/connections/detail_page.h"

#include <ctype.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <zentra/hxm_host.h>

#include "core/localisation.h"
#include "core/page_frame.h"
#include "core/page_globals.h"
#include "core/page_writer.h"
#include "history/store.h"
#include "logger/logger.h"
#include "pages/common/actions.h"
#include "pages/common/failure_lines.h"
#include "pages/connections/list_page.h"

namespace {

using hxm2afp::PageWriter;

constexpr char kImageDirectory[] = "/opt/zentra/hxm/";
constexpr size_t kPageTextSize = 512;
constexpr int kLongestComponent = 8;

// Catalogue texts the library's state words are looked up as.
[[maybe_unused]] constexpr const char *kStateWords[] = {
    HXM_TRANSLATABLE("Logged-In"), HXM_TRANSLATABLE("Expired"), HXM_TRANSLATABLE("Supervisor"),
    HXM_TRANSLATABLE("Non-Supervisor")};

const char *next_stripe(int *rowCounter) {
    int row = 0;
    if (rowCounter != nullptr)
        row = (*rowCounter)++;
    return row % 2 == 0 ? pzSTRIPE_LIGHT : pzSTRIPE_DARK;
}

bool is_empty(const char *text) {
    return text == nullptr || text[0] == '\0';
}

// The translation of a state word the library reports. An empty word stays
// empty: the catalogue's entry for "" is its header, not a translation.
const char *state_word(const char *word) {
    return is_empty(word) ? "" : lnxMSG(word);
}

// The connection number a length-prefixed component spells, or false when
// it is empty, longer than 8 characters or not all hexadecimal digits.
bool read_component(const char *component, uint32_t *number) {
    if (component == nullptr)
        return false;
    const int length = static_cast<unsigned char>(component[0]);
    if (length < 1 || length > kLongestComponent)
        return false;
    char digits[kLongestComponent + 1];
    for (int i = 0; i < length; ++i) {
        if (!isxdigit(static_cast<unsigned char>(component[1 + i])))
            return false;
        digits[i] = component[1 + i];
    }
    digits[length] = '\0';
    *number = static_cast<uint32_t>(strtoul(digits, nullptr, 16));
    return true;
}

int send_error_package(void *request, int code) {
    char text[kPageTextSize];
    const int length = snprintf(text, sizeof text,
                                "<HTML><BODY><H1>Http Error Code %d</H1></BODY></HTML>\n", code);
    HttpSendErrorPackageResponse(request, code, text, length);
    return code;
}

// The 500 answer when the library gave no details: it says whether the
// connection has gone (it may have ended since the page linking here was
// drawn) or the service could not be read, and links back to the list.
int send_missing_connection(void *request, uint32_t number, int status, const char *sortKeyword,
                            const char *volume, const char *sortType) {
    char sentence[kPageTextSize];
    if (status == AFPSTAT_ERR_NOT_FOUND)
        snprintf(sentence, sizeof sentence, lnxMSG("Connection %d no longer exists."),
                 static_cast<int>(number));
    else
        hxm2afp::list_failure_text(status, sentence, sizeof sentence);
    PageWriter text(nullptr);
    text.format("<HTML><BODY><H1>Http Error Code %d</H1><P id=\"missingConnection\">"
                "%s</P><A HREF=\"",
                500, sentence);
    const char *backText = nullptr;
    if (!is_empty(volume)) {
        text.literal("/").text(keyword_afpofm).text(is_empty(sortType) ? "" : "/");
        text.url_component(sortType).literal("/").url_component(volume);
        backText = lnxMSG("Back to Open File Management");
    } else {
        text.literal("/").text(keyword_afpdcons).text(is_empty(sortKeyword) ? "" : "/");
        text.url_component(sortKeyword);
        backText = lnxMSG("Back to Connections");
    }
    text.format("\">[%s]</A></BODY></HTML>\n", backText);
    HttpSendErrorPackageResponse(request, 500, text.c_str(), static_cast<int>(text.length()));
    return 500;
}

// "[Back to ...]": to the open-file page the request came from, or the list.
void send_back_link(PageWriter &out, const char *sortKeyword, const char *volume,
                    const char *sortType, const char *filter) {
    if (!is_empty(volume)) {
        out.format("<FORM method=\"post\" action=\"/%s/", keyword_afpofm)
            .url_component(sortType)
            .literal("/")
            .url_component(volume)
            .literal("\" id=\"filterForm\">");
        out.format("<input name=\"%s\" id=\"filter\" type=\"hidden\" value=\"", "FILTER")
            .html(filter)
            .literal("\" /></form>\n");
        out.format("<A HREF=\"#\" onClick = \"return filterFormSubmit();\">[%s]</A><BR>",
                   lnxMSG("Back to Open File Management"));
        return;
    }
    out.format("<BR><BR><A HREF=/%s/", keyword_afpdcons)
        .url_component(sortKeyword)
        .format(">[%s]</A><BR>", lnxMSG("Back to Connections"));
}

// The hidden fields that carry the open-file page's volume and sort, each
// closed by `fieldEnd`.
void send_hidden_volume_and_sort(PageWriter &out, const char *volume, const char *sortType,
                                 const char *fieldEnd) {
    out.literal("<INPUT TYPE=\"hidden\" NAME=\"volume\" VALUE=\"").html(volume).text(fieldEnd);
    out.literal("<INPUT TYPE=\"hidden\" NAME=\"sorttype\" VALUE=\"").html(sortType).text(fieldEnd);
}

// "Clear Connection" with clearing power, else "Close All Files".
void send_action_link(PageWriter &out, bool clearingPower, uint32_t number, const char *volume,
                      const char *sortType, const char *filter) {
    const int decimal = static_cast<int>(number);
    if (clearingPower) {
        out.format("<A HREF=\"javascript:ConfirmClearConn('/%s/AFPCloseConnections/"
                   "%s%d%s', '%d')\">%s</A><BR>",
                   keyword_afpdcons, hxm2afp::kClearStart, decimal, hxm2afp::kClearEnd, decimal,
                   lnxMSG("Clear Connection"));
        return;
    }
    if (!is_empty(volume)) {
        out.format("<FORM method=\"post\" action=\"/%s/%s/%08x/%s%d%s\" "
                   "id=\"closeAllFilesForm\">",
                   keyword_afpdcons, "AFPCloseFiles", number, hxm2afp::kCloseAllStart, decimal,
                   hxm2afp::kCloseAllEnd);
        send_hidden_volume_and_sort(out, volume, sortType, "\" >");
        out.format("<input name=\"%s\" type=\"hidden\" value=\"", "FILTER")
            .html(filter)
            .literal("\" /></form>\n");
        out.format("<A HREF=\"#\" onClick = \" return ConfirmClearFilesForConnectionInOFM();\">"
                   "%s</A>",
                   lnxMSG("Close All Files"));
        return;
    }
    out.format("<A HREF=\"javascript:ConfirmClearFilesForConnection('/%s/%s/%08x/"
               "%s%d%s', '%d')\">%s</A>",
               keyword_afpdcons, "AFPCloseFiles", number, hxm2afp::kCloseAllStart, decimal,
               hxm2afp::kCloseAllEnd, decimal, lnxMSG("Close All Files"));
}

// Releases what the page obtained, on every way out.
struct PageRecords {
    UserInfo_s *info = nullptr;
    AFPConnectionDetails *details = nullptr;
    ~PageRecords() {
        hxm2afp::free_user_details(&info);
        free(details);
    }
};

// "<tr STRIPE><td align=right>LABEL</td><td>TEXT</td></tr>", the text
// escaped; `cell` is the value cell's tag ("td" or "TD").
void send_text_row(PageWriter &out, int *rowCounter, const char *label, const char *cell,
                   const char *text) {
    out.format("<tr %s><td align=right>%s</td><%s>", next_stripe(rowCounter), label, cell)
        .html(text)
        .literal("</td></tr>");
}

void send_login_status(PageWriter &out, int *rowCounter, const AFPConnectionDetails *details) {
    if (details != nullptr)
        send_text_row(out, rowCounter, lnxMSG("Login Status"), "td",
                      state_word(details->loginStatus));
}

void send_connection_privileges(PageWriter &out, int *rowCounter,
                                const AFPConnectionDetails *details) {
    if (details == nullptr)
        return;
    out.format("<tr %s><td align=right>%s</td><td>%s</td></tr>", next_stripe(rowCounter),
               lnxMSG("Login time"), details->loginTimeText);
    send_text_row(out, rowCounter, lnxMSG("Privileges"), "td", state_word(details->privileges));
}

void send_net_address(PageWriter &out, int *rowCounter, const AFPConnectionDetails *details) {
    if (details != nullptr)
        send_text_row(out, rowCounter, lnxMSG("Network Address"), "TD", details->networkAddress);
}

void send_security_equivalences(PageWriter &out, int *rowCounter, const UserInfo_s *info) {
    const int count = info != nullptr ? info->securityEquivalenceCount : 0;
    char **names = info != nullptr ? info->securityEquivalences : nullptr;
    if (names == nullptr || count <= 0) {
        // An empty list reads as none: the label row still shows.
        HXM_DEBUG("%s", "sevDNs pointer is null");
        out.format("\n<tr %s><td align=right>%s</TD><td></td></TR>", next_stripe(rowCounter),
                   lnxMSG("Security Equivalence List"));
        return;
    }
    HXM_DEBUG("Security equivalence count: %d\n", count);
    for (int i = 0; i < count; ++i)
        out.format("\n<tr %s><td align=right>%s</td><TD>", next_stripe(rowCounter),
                   i == 0 ? lnxMSG("Security Equivalence List") : "")
            .html(names[i])
            .literal("</td></TR>");
}

// One open file's "Close File" form; the first shares the label's row.
void send_open_file_form(PageWriter &out, int *rowCounter, const char *path, bool first,
                         uint32_t connectionNumber, const char *volume, const char *sortType,
                         const char *filter) {
    out.format("<FORM METHOD=POST ACTION=\"/%s/%s/%08x\" onsubmit=\"javascript:return "
               "closeThisFile();\" name=\"filenames\" >",
               keyword_afpdcons, "AFPCloseFiles", connectionNumber);
    out.literal("<INPUT TYPE=\"hidden\" NAME=\"FILENAME\" VALUE=\"");
    hxm2afp::send_close_name(out, path);
    if (first)
        out.literal("\" ><td>");
    else
        out.format("\" ><tr %s><td ></td><td>", next_stripe(rowCounter));
    out.html(path);
    if (!is_empty(volume)) {
        send_hidden_volume_and_sort(out, volume, sortType, "\" >");
        out.format("<input name=\"%s\" type=\"hidden\" value=\"", "FILTER")
            .html(filter)
            .literal("\" >");
    }
    out.format("</td><td><input type=\"submit\" value=\"%s\"></td></tr></form>\n",
               lnxMSG("Close File"));
}

void send_open_files(PageWriter &out, int *rowCounter, const UserInfo_s *info,
                     uint32_t connectionNumber, const char *volume, const char *sortType,
                     const char *filter) {
    if (info == nullptr) {
        HXM_DEBUG("%s", "DisplayOpenFiles.. userinfo is null");
        return;
    }
    const int count = info->openFiles != nullptr ? info->openFileCount : 0;
    int named = 0;
    for (int i = 0; i < count; ++i)
        named += info->openFiles[i] != nullptr ? 1 : 0;
    if (named == 0) {
        out.format("<tr %s><td align=right>%s<td align=left></td></tr>", next_stripe(rowCounter),
                   lnxMSG("Open Files"));
        return;
    }
    out.format("<tr %s><td align=right>%s</td>", next_stripe(rowCounter), lnxMSG("Open Files"));
    bool first = true;
    for (int i = 0; i < count; ++i) {
        if (info->openFiles[i] == nullptr)
            continue;
        send_open_file_form(out, rowCounter, info->openFiles[i], first, connectionNumber, volume,
                            sortType, filter);
        first = false;
    }
}

} // namespace

void DisplayLoginStatus(void *request, int *rowCounter, const AFPConnectionDetails *details) {
    PageWriter out(request);
    send_login_status(out, rowCounter, details);
}

void DisplayConnectionPrivileges(void *request, int *rowCounter,
                                 const AFPConnectionDetails *details) {
    PageWriter out(request);
    send_connection_privileges(out, rowCounter, details);
}

void DisplayNetAddress(void *request, int *rowCounter, const AFPConnectionDetails *details) {
    PageWriter out(request);
    send_net_address(out, rowCounter, details);
}

void DisplaySecEquiList(void *request, int *rowCounter, const UserInfo_s *info) {
    PageWriter out(request);
    send_security_equivalences(out, rowCounter, info);
}

void DisplayOpenFiles(void *request, int *rowCounter, int, const UserInfo_s *info,
                      uint32_t connectionNumber, const char *volume, const char *sortType,
                      const char *filter) {
    PageWriter out(request);
    send_open_files(out, rowCounter, info, connectionNumber, volume, sortType, filter);
}

void DisplaySendMessageBox(void *request, int *rowCounter, const char *, uint32_t connectionNumber,
                           const AFPConnectionDetails *) {
    PageWriter out(request);
    out.format("\n<tr %s><td valign=TOP align=right>%s<td><table boder=0><FORM METHOD=POST "
               "ACTION=/%s/SendTo/%08X>",
               next_stripe(rowCounter), "Send Message", "afpcons", connectionNumber);
    out.format("<TEXTAREA NAME=MSG ROWS=2 COLS=40 WRAP></TEXTAREA><br><center><INPUT "
               "TYPE=submit VALUE=%s><INPUT TYPE=reset VALUE=%s></center></FORM></table>\n",
               "Send", "Reset");
}

int SendRedirect(void *request, const char *header) {
    const char *text = header != nullptr ? header : "";
    int result = HttpOpenResponseHeaderTag(request, 302);
    if (result == 0)
        result = HttpAddResponseHeaderTags(request, text, static_cast<int>(strlen(text)));
    if (result == 0)
        result = HttpSendResponseHeader(request);
    if (result == 0)
        result = HttpEndDataResponse(request);
    if (result == 0)
        printf("Redirecting page\n");
    else
        printf("error %d sending redirect\n", result);
    return 302;
}

int DisplaySpecifiedConnection(void *request, int clearingPower, int authorised, int allowZero,
                               const char *component, const char *sortKeyword, const char *volume,
                               const char *sortType, const char *filter) {
    return hxm2afp::send_connection_page(request, clearingPower, authorised, allowZero, component,
                                         sortKeyword, volume, sortType, filter, nullptr);
}

int hxm2afp::send_connection_page(void *request, int clearingPower, int authorised, int allowZero,
                                  const char *component, const char *sortKeyword,
                                  const char *volume, const char *sortType, const char *filter,
                                  const ActionReport *outcome) {
    if (authorised == 0) {
        HttpSendErrorResponse(request, 401);
        return 401;
    }
    uint32_t number = 0;
    if (!read_component(component, &number))
        return send_error_package(request, 400);
    if (number == 0 && allowZero == 0)
        return send_error_package(request, 401);

    PageRecords records;
    const int status = hxm2afp::get_user_details(number, &records.info);
    if (records.info == nullptr) {
        HXM_DEBUG("DisplaySpecifiedConnection, Error getting User Details - status = %d", status);
        return send_missing_connection(request, number, status, sortKeyword, volume, sortType);
    }
    if (GetConnInfo(number, records.info, &records.details) != 0)
        return send_error_package(request, 401);
    if (!hxm2afp::open_page_response(request))
        return send_error_package(request, 500);

    char title[kPageTextSize];
    snprintf(title, sizeof title, "%s", lnxMSG("AFP Connection Information"));
    char helpUrl[kPageTextSize];
    snprintf(helpUrl, sizeof helpUrl, "/%s/%s/%s", keyword_afpdcons, keyword_help, keyword_info);
    hxm2afp::send_page_frame(
        request, {title, lnxMSG("Connection Help"), helpUrl, AddJavaScriptConnectionCode});

    PageWriter out(request);
    const AFPConnectionDetails &details = *records.details;
    out.format("<IMG SRC=%snetwork.png BORDER=0 ALT=\"%s\">&nbsp;&nbsp;<B><font size=+1>",
               kImageDirectory, lnxMSG("AFP Connection Information"))
        .html(details.userName)
        .literal("</font></B>");
    send_back_link(out, sortKeyword, volume, sortType, filter);
    send_action_link(out, clearingPower != 0, number, volume, sortType, filter);
    // Only with a store to ask: without one the page is as it always was.
    if (hxm2afp::history::store_present())
        out.format("<A HREF=\"/%s/AFPFindHistory/Connection/%d\" id=\"historyLink\">[%s]</A><BR>",
                   keyword_afpofm, static_cast<int>(number), lnxMSG("History of this connection"));

    hxm2afp::send_action_outcome(out, outcome);
    out.literal("<br><table border=0 cellpadding=2>\n");
    out.format("<TR class=\"tablehead\"><TD colspan=2 align=center>%s</TD></TR>",
               lnxMSG("Connection Information"));
    int rowCounter = 0;
    out.format("<tr %s><td align=right>%s</td><td>%d</td></tr>", next_stripe(&rowCounter),
               lnxMSG("Connection"), static_cast<int>(number));
    send_login_status(out, &rowCounter, &details);
    send_connection_privileges(out, &rowCounter, &details);
    send_net_address(out, &rowCounter, &details);
    send_security_equivalences(out, &rowCounter, records.info);
    send_open_files(out, &rowCounter, records.info, number, volume, sortType, filter);
    out.literal("</TABLE></BODY></HTML>");
    hxm2afp::end_page(out);
    return 0;
}
