/*
 * generate_error_page: one table row with the critical-status icon and a
 * message, then an OK button back to the console.
 *
 * Notes: the title and the message live in 2052-byte buffers; a longer text
 * (a long share name, a long translation) is cut at a character boundary,
 * never overflowed. Texts the caller hands in (volume and share names, paths)
 * are escaped as page text, so a name holding markup reads as text; ordinary
 * names come out byte for byte.
 */
#include "core/error_page.h"

#include <stdarg.h>
#include <stdio.h>

#include "core/host/hxm_host.h"
#include "core/localisation.h"
#include "core/page_frame.h"
#include "core/page_globals.h"
#include "core/page_text.h"

namespace {

using hxm2afp::CopyCut;

/* Title and message buffer size, terminator included. */
constexpr size_t kPageTextSize = 2052;

/* Reads the next text argument; null reads as empty. */
const char *NextText(va_list *arguments) {
    const char *text = va_arg(*arguments, const char *);
    return text != nullptr ? text : "";
}

/* Formats into the message buffer, cutting at a character boundary. */
void FormatMessage(char *message, const char *format, ...) __attribute__((format(printf, 2, 3)));
void FormatMessage(char *message, const char *format, ...) {
    va_list arguments;
    va_start(arguments, format);
    int written = vsnprintf(message, kPageTextSize, format, arguments);
    va_end(arguments);
    if (written < 0)
        message[0] = '\0';
    else if (static_cast<size_t>(written) >= kPageTextSize)
        hxm2afp::TrimIncompleteCharacter(message);
}

/* Fills title and message for `type`, reading its further arguments. */
void DescribeError(unsigned int type, va_list *arguments, char *title, char *message) {
    CopyCut(title, kPageTextSize, lnxMSG("HTTP Failure"));
    switch (type) {
    case 0:
        CopyCut(message, kPageTextSize, estr_page_access_denied);
        break;
    case 1:
        CopyCut(message, kPageTextSize, estr_page_bad_method);
        break;
    case 2:
        CopyCut(message, kPageTextSize, estr_page_missing_http_data);
        break;
    case 4:
        CopyCut(message, kPageTextSize, estr_out_of_resources);
        break;
    case 5: {
        CopyCut(title, kPageTextSize, "Missing information");
        const char *volume = NextText(arguments);
        FormatMessage(message, "%s %s", volume, "is not mounted or does not exist");
        break;
    }
    case 6:
        CopyCut(title, kPageTextSize, "Wizard Failure");
        CopyCut(message, kPageTextSize, "Share name is missing");
        break;
    case 7:
        CopyCut(title, kPageTextSize, lnxMSG("Wizard Failure"));
        CopyCut(message, kPageTextSize, "Share path is missing or does not exist");
        break;
    case 8:
        CopyCut(title, kPageTextSize, lnxMSG("Wizard Failure"));
        CopyCut(message, kPageTextSize, "Share name already exists");
        break;
    case 9: {
        CopyCut(title, kPageTextSize, "Create share (volume) failed");
        int code = va_arg(*arguments, int);
        const char *share = NextText(arguments);
        const char *location = NextText(arguments);
        FormatMessage(message,
                      "The error code %d was returned when trying to create \"%s\" at "
                      "location \"%s\"",
                      code, share, location);
        break;
    }
    case 10:
    case 22: {
        CopyCut(title, kPageTextSize,
                type == 10 ? "Remove share (volume) failed"
                           : "Remove share (volume) cannot remove XSV backed volumes");
        int code = va_arg(*arguments, int);
        const char *share = NextText(arguments);
        FormatMessage(message, "The error code %d was returned when trying to remove \"%s\"", code,
                      share);
        break;
    }
    case 28:
        CopyCut(message, kPageTextSize, estr_modify_server_parameter_failed);
        break;
    case 31:
        CopyCut(message, kPageTextSize, "Shadow volume already exists");
        break;
    case 32:
        CopyCut(message, kPageTextSize, "Unable to create shadow volume");
        break;
    case 34: {
        CopyCut(title, kPageTextSize, "Missing information");
        const char *name = NextText(arguments);
        const char *path = NextText(arguments);
        FormatMessage(message, "%s %s \"%s\"", name, "Path does not exist", path);
        break;
    }
    case 37:
        CopyCut(message, kPageTextSize,
                "Shadow volume path is invalid or is contained within volume mount path");
        break;
    case 38:
        CopyCut(message, kPageTextSize, "Volume path is invalid or could not be created");
        break;
    default:
        CopyCut(message, kPageTextSize, estr_bad_http_request);
        break;
    }
}

} // namespace

int generate_error_page(void *request, int type, ...) {
    if (!hxm2afp::open_page_response(request)) {
        HttpSendErrorResponse(request, 500);
        return 500;
    }

    char title[kPageTextSize];
    char message[kPageTextSize];
    va_list arguments;
    va_start(arguments, type);
    // Negative types fall to the default like any other unknown value.
    DescribeError(static_cast<unsigned int>(type), &arguments, title, message);
    va_end(arguments);

    hxm2afp::send_page_frame(request, {title});
    HttpSendDataSprintf(request, "<table width=100%% border=0 cellspacing=0 cellpadding=0>\n");
    HttpSendDataSprintf(request, "<tr bgcolor=#efeee9><td>\n");
    HttpSendDataSprintf(request,
                        "<IMG src=\"%.511s/GRPstatus_critical.png\" align=absMiddle border=0>",
                        icon_folder);

    char escaped[hxm2afp::HtmlEscapedSize(kPageTextSize - 1)];
    hxm2afp::HtmlEscapeText(escaped, sizeof escaped, message);
    HttpSendDataSprintf(request, "&nbsp;<b>%s :</b>  %s</td></tr></table>\n", lnxMSG("Error"),
                        escaped);

    HttpSendDataSprintf(request, "<p><form method=POST action=\"/\">\n");
    HttpSendDataSprintf(request, "<br>&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;<input type=\"submit\" "
                                 "NAME=\"button\" value=\"OK\">\n");
    HttpSendDataSprintf(request, "</form></p>\n");
    HttpSendDataSprintf(request, "</BODY></HTML>");
    HttpEndDataResponse(request);
    return 200;
}
