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

#include <string>

#include <zentra/hxm_host.h>

#include "core/escape.h"
#include "core/localisation.h"
#include "core/page_frame.h"
#include "core/page_globals.h"
#include "logger/logger.h"
#include "pages/common/actions.h"
#include "pages/common/failure_lines.h"
#include "pages/connections/list_page.h"

namespace {

using hxm2afp::escape_html;
using hxm2afp::escape_url_component;
using hxm2afp::EscapedText;

constexpr char kImageDirectory[] = "/opt/zentra/hxm/";
constexpr size_t kPageTextSize = 512;
constexpr int kLongestComponent = 8;
// The missing-connection answer: a sentence, a back link holding an encoded
// volume of up to 63 bytes, the frame of the error answer.
constexpr size_t kMissingPageSize = 2048;

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
    std::string back;
    const char *backText = nullptr;
    if (!is_empty(volume)) {
        const EscapedText sortPath(escape_url_component, sortType);
        const EscapedText volumePath(escape_url_component, volume);
        back = std::string("/") + keyword_afpofm + (is_empty(sortType) ? "" : "/") +
               sortPath.c_str() + "/" + volumePath.c_str();
        backText = lnxMSG("Back to Open File Management");
    } else {
        const EscapedText sortPath(escape_url_component, sortKeyword);
        back = std::string("/") + keyword_afpdcons + (is_empty(sortKeyword) ? "" : "/") +
               sortPath.c_str();
        backText = lnxMSG("Back to Connections");
    }
    char text[kMissingPageSize];
    const int length =
        snprintf(text, sizeof text,
                 "<HTML><BODY><H1>Http Error Code %d</H1><P id=\"missingConnection\">"
                 "%s</P><A HREF=\"%s\">[%s]</A></BODY></HTML>\n",
                 500, sentence, back.c_str(), backText);
    HttpSendErrorPackageResponse(
        request, 500, text,
        length < static_cast<int>(sizeof text) ? length : static_cast<int>(sizeof text) - 1);
    return 500;
}

// "[Back to ...]": to the open-file page the request came from, or the list.
void send_back_link(void *request, const char *sortKeyword, const char *volume,
                    const char *sortType, const char *filter) {
    if (!is_empty(volume)) {
        const EscapedText sortPath(escape_url_component, sortType);
        const EscapedText volumePath(escape_url_component, volume);
        const EscapedText filterValue(escape_html, filter);
        HttpSendDataSprintf(request,
                            "<FORM method=\"post\" action=\"/%s/%s/%s\" id=\"filterForm\">",
                            keyword_afpofm, sortPath.c_str(), volumePath.c_str());
        HttpSendDataSprintf(
            request, "<input name=\"%s\" id=\"filter\" type=\"hidden\" value=\"%s\" /></form>\n",
            "FILTER", filterValue.c_str());
        HttpSendDataSprintf(request,
                            "<A HREF=\"#\" onClick = \"return filterFormSubmit();\">[%s]</A><BR>",
                            lnxMSG("Back to Open File Management"));
        return;
    }
    const EscapedText sortPath(escape_url_component, sortKeyword);
    HttpSendDataSprintf(request, "<BR><BR><A HREF=/%s/%s>[%s]</A><BR>", keyword_afpdcons,
                        sortPath.c_str(), lnxMSG("Back to Connections"));
}

// "Clear Connection" with clearing power, else "Close All Files".
void send_action_link(void *request, bool clearingPower, uint32_t number, const char *volume,
                      const char *sortType, const char *filter) {
    const int decimal = static_cast<int>(number);
    if (clearingPower) {
        HttpSendDataSprintf(request,
                            "<A HREF=\"javascript:ConfirmClearConn('/%s/AFPCloseConnections/"
                            "%s%d%s', '%d')\">%s</A><BR>",
                            keyword_afpdcons, hxm2afp::kClearStart, decimal, hxm2afp::kClearEnd,
                            decimal, lnxMSG("Clear Connection"));
        return;
    }
    if (!is_empty(volume)) {
        const EscapedText volumeValue(escape_html, volume);
        const EscapedText sortValue(escape_html, sortType);
        const EscapedText filterValue(escape_html, filter);
        HttpSendDataSprintf(request,
                            "<FORM method=\"post\" action=\"/%s/%s/%08x/%s%d%s\" "
                            "id=\"closeAllFilesForm\">",
                            keyword_afpdcons, "AFPCloseFiles", number, hxm2afp::kCloseAllStart,
                            decimal, hxm2afp::kCloseAllEnd);
        HttpSendDataSprintf(request, "<INPUT TYPE=\"hidden\" NAME=\"volume\" VALUE=\"%s\" >",
                            volumeValue.c_str());
        HttpSendDataSprintf(request, "<INPUT TYPE=\"hidden\" NAME=\"sorttype\" VALUE=\"%s\" >",
                            sortValue.c_str());
        HttpSendDataSprintf(request, "<input name=\"%s\" type=\"hidden\" value=\"%s\" /></form>\n",
                            "FILTER", filterValue.c_str());
        HttpSendDataSprintf(
            request,
            "<A HREF=\"#\" onClick = \" return ConfirmClearFilesForConnectionInOFM();\">"
            "%s</A>",
            lnxMSG("Close All Files"));
        return;
    }
    HttpSendDataSprintf(request,
                        "<A HREF=\"javascript:ConfirmClearFilesForConnection('/%s/%s/%08x/"
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

} // namespace

void DisplayLoginStatus(void *request, int *rowCounter, const AFPConnectionDetails *details) {
    if (details == nullptr)
        return;
    HttpSendDataSprintf(request, "<tr %s><td align=right>%s</td>", next_stripe(rowCounter),
                        lnxMSG("Login Status"));
    const EscapedText state(escape_html, state_word(details->loginStatus));
    HttpSendDataSprintf(request, "<td>%s</td></tr>", state.c_str());
}

void DisplayConnectionPrivileges(void *request, int *rowCounter,
                                 const AFPConnectionDetails *details) {
    if (details == nullptr)
        return;
    HttpSendDataSprintf(request, "<tr %s><td align=right>%s</td><td>%s</td></tr>",
                        next_stripe(rowCounter), lnxMSG("Login time"), details->loginTimeText);
    HttpSendDataSprintf(request, "<tr %s><td align=right>%s</td>", next_stripe(rowCounter),
                        lnxMSG("Privileges"));
    const EscapedText privileges(escape_html, state_word(details->privileges));
    HttpSendDataSprintf(request, "<td>%s</td></tr>", privileges.c_str());
}

void DisplayNetAddress(void *request, int *rowCounter, const AFPConnectionDetails *details) {
    if (details == nullptr)
        return;
    const EscapedText address(escape_html, details->networkAddress);
    HttpSendDataSprintf(request, "<tr %s><td align=right>%s</td><TD>%s</td></tr>",
                        next_stripe(rowCounter), lnxMSG("Network Address"), address.c_str());
}

void DisplaySecEquiList(void *request, int *rowCounter, const UserInfo_s *info) {
    const int count = info != nullptr ? info->securityEquivalenceCount : 0;
    char **names = info != nullptr ? info->securityEquivalences : nullptr;
    if (names == nullptr || count <= 0) {
        // An empty list reads as none: the label row still shows.
        HXM_DEBUG("%s", "sevDNs pointer is null");
        HttpSendDataSprintf(request, "\n<tr %s><td align=right>%s</TD><td></td></TR>",
                            next_stripe(rowCounter), lnxMSG("Security Equivalence List"));
        return;
    }
    HXM_DEBUG("Security equivalence count: %d\n", count);
    for (int i = 0; i < count; ++i) {
        const EscapedText name(escape_html, names[i]);
        HttpSendDataSprintf(request, "\n<tr %s><td align=right>%s</td><TD>%s</td></TR>",
                            next_stripe(rowCounter),
                            i == 0 ? lnxMSG("Security Equivalence List") : "", name.c_str());
    }
}

void DisplayOpenFiles(void *request, int *rowCounter, int, const UserInfo_s *info,
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
        HttpSendDataSprintf(request, "<tr %s><td align=right>%s<td align=left></td></tr>",
                            next_stripe(rowCounter), lnxMSG("Open Files"));
        return;
    }
    HttpSendDataSprintf(request, "<tr %s><td align=right>%s</td>", next_stripe(rowCounter),
                        lnxMSG("Open Files"));
    const bool fromOpenFiles = !is_empty(volume);
    const EscapedText volumeValue(escape_html, volume);
    const EscapedText sortValue(escape_html, sortType);
    const EscapedText filterValue(escape_html, filter);
    bool first = true;
    for (int i = 0; i < count; ++i) {
        if (info->openFiles[i] == nullptr)
            continue;
        const EscapedText path(escape_html, info->openFiles[i]);
        const hxm2afp::CloseName closeName = hxm2afp::close_name(info->openFiles[i]);
        const EscapedText closeText(escape_html, closeName.text.c_str());
        HttpSendDataSprintf(request,
                            "<FORM METHOD=POST ACTION=\"/%s/%s/%08x\" onsubmit=\"javascript:return "
                            "closeThisFile();\" name=\"filenames\" >",
                            keyword_afpdcons, "AFPCloseFiles", connectionNumber);
        if (first)
            HttpSendDataSprintf(request,
                                "<INPUT TYPE=\"hidden\" NAME=\"FILENAME\" "
                                "VALUE=\"%s%s%s\" ><td>%s",
                                closeName.start, closeText.c_str(), closeName.end, path.c_str());
        else
            HttpSendDataSprintf(request,
                                "<INPUT TYPE=\"hidden\" NAME=\"FILENAME\" "
                                "VALUE=\"%s%s%s\" ><tr %s><td ></td><td>%s",
                                closeName.start, closeText.c_str(), closeName.end,
                                next_stripe(rowCounter), path.c_str());
        first = false;
        if (fromOpenFiles) {
            HttpSendDataSprintf(request, "<INPUT TYPE=\"hidden\" NAME=\"volume\" VALUE=\"%s\" >",
                                volumeValue.c_str());
            HttpSendDataSprintf(request, "<INPUT TYPE=\"hidden\" NAME=\"sorttype\" VALUE=\"%s\" >",
                                sortValue.c_str());
            HttpSendDataSprintf(request, "<input name=\"%s\" type=\"hidden\" value=\"%s\" >",
                                "FILTER", filterValue.c_str());
        }
        HttpSendDataSprintf(request,
                            "</td><td><input type=\"submit\" value=\"%s\"></td></tr></form>\n",
                            lnxMSG("Close File"));
    }
}

void DisplaySendMessageBox(void *request, int *rowCounter, const char *, uint32_t connectionNumber,
                           const AFPConnectionDetails *) {
    HttpSendDataSprintf(
        request,
        "\n<tr %s><td valign=TOP align=right>%s<td><table boder=0><FORM METHOD=POST "
        "ACTION=/%s/SendTo/%08X>",
        next_stripe(rowCounter), "Send Message", "afpcons", connectionNumber);
    HttpSendDataSprintf(
        request,
        "<TEXTAREA NAME=MSG ROWS=2 COLS=40 WRAP></TEXTAREA><br><center><INPUT "
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
                                  const ActionOutcome *outcome) {
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

    const AFPConnectionDetails &details = *records.details;
    const EscapedText user(escape_html, details.userName);
    HttpSendDataSprintf(request,
                        "<IMG SRC=%snetwork.png BORDER=0 ALT=\"%s\">&nbsp;&nbsp;<B><font "
                        "size=+1>%s</font></B>",
                        kImageDirectory, lnxMSG("AFP Connection Information"), user.c_str());
    send_back_link(request, sortKeyword, volume, sortType, filter);
    send_action_link(request, clearingPower != 0, number, volume, sortType, filter);

    hxm2afp::send_action_outcome(request, outcome);
    HttpSendDataSprintf(request, "%s", "<br><table border=0 cellpadding=2>\n");
    HttpSendDataSprintf(request, "<TR class=\"tablehead\"><TD colspan=2 align=center>%s</TD></TR>",
                        lnxMSG("Connection Information"));
    int rowCounter = 0;
    HttpSendDataSprintf(request, "<tr %s><td align=right>%s</td><td>%d</td></tr>",
                        next_stripe(&rowCounter), lnxMSG("Connection"), static_cast<int>(number));
    DisplayLoginStatus(request, &rowCounter, &details);
    DisplayConnectionPrivileges(request, &rowCounter, &details);
    DisplayNetAddress(request, &rowCounter, &details);
    DisplaySecEquiList(request, &rowCounter, records.info);
    DisplayOpenFiles(request, &rowCounter, allowZero, records.info, number, volume, sortType,
                     filter);
    HttpSendDataSprintf(request, "%s", "</TABLE></BODY></HTML>");
    HttpEndDataResponse(request);
    return 0;
}
