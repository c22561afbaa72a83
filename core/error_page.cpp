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

#include <zentra/hxm_host.h>

#include "core/localisation.h"
#include "core/page_frame.h"
#include "core/page_globals.h"
#include "core/page_text.h"
#include "core/page_writer.h"

namespace {

using hxm2afp::copy_cut;

/* Title and message buffer size, terminator included. */
constexpr size_t kPageTextSize = 2052;

/* Reads the next text argument; null reads as empty. */
const char *next_text(va_list *arguments) {
    const char *text = va_arg(*arguments, const char *);
    return text != nullptr ? text : "";
}

/* Formats into the message buffer, cutting at a character boundary. */
void format_message(char *message, const char *format, ...) __attribute__((format(printf, 2, 3)));
void format_message(char *message, const char *format, ...) {
    va_list arguments;
    va_start(arguments, format);
    int written = vsnprintf(message, kPageTextSize, format, arguments);
    va_end(arguments);
    if (written < 0)
        message[0] = '\0';
    else if (static_cast<size_t>(written) >= kPageTextSize)
        hxm2afp::trim_incomplete_character(message);
}

/* What an error type's further arguments are. */
enum class Arguments { kNone, kVolume, kCodeShare, kCodeShareLocation, kNamePath };

struct ErrorType {
    unsigned int type;
    const char *title;           // null: the translated "HTTP Failure"
    bool translated;             // whether the title goes through the catalogue
    const char *const *exported; // an exported message text, read when the page is written
    const char *message;         // the fixed message, or its format when there are arguments
    Arguments arguments;
};

constexpr char kWizardFailure[] = HXM_TRANSLATABLE("Wizard Failure");

constexpr ErrorType kErrorTypes[] = {
    {0, nullptr, false, &estr_page_access_denied, nullptr, Arguments::kNone},
    {1, nullptr, false, &estr_page_bad_method, nullptr, Arguments::kNone},
    {2, nullptr, false, &estr_page_missing_http_data, nullptr, Arguments::kNone},
    {4, nullptr, false, &estr_out_of_resources, nullptr, Arguments::kNone},
    {5, "Missing information", false, nullptr, "%s is not mounted or does not exist",
     Arguments::kVolume},
    {6, "Wizard Failure", false, nullptr, "Share name is missing", Arguments::kNone},
    {7, kWizardFailure, true, nullptr, "Share path is missing or does not exist", Arguments::kNone},
    {8, kWizardFailure, true, nullptr, "Share name already exists", Arguments::kNone},
    {9, "Create share (volume) failed", false, nullptr,
     "The error code %d was returned when trying to create \"%s\" at location \"%s\"",
     Arguments::kCodeShareLocation},
    {10, "Remove share (volume) failed", false, nullptr,
     "The error code %d was returned when trying to remove \"%s\"", Arguments::kCodeShare},
    {22, "Remove share (volume) cannot remove XSV backed volumes", false, nullptr,
     "The error code %d was returned when trying to remove \"%s\"", Arguments::kCodeShare},
    {28, nullptr, false, &estr_modify_server_parameter_failed, nullptr, Arguments::kNone},
    {31, nullptr, false, nullptr, "Shadow volume already exists", Arguments::kNone},
    {32, nullptr, false, nullptr, "Unable to create shadow volume", Arguments::kNone},
    {34, "Missing information", false, nullptr, "%s Path does not exist \"%s\"",
     Arguments::kNamePath},
    {37, nullptr, false, nullptr,
     "Shadow volume path is invalid or is contained within volume mount path", Arguments::kNone},
    {38, nullptr, false, nullptr, "Volume path is invalid or could not be created",
     Arguments::kNone},
};

/* Every other type, including the plug-in's own "Bad Http request". */
constexpr ErrorType kUnknownError = {3,       nullptr,         false, &estr_bad_http_request,
                                     nullptr, Arguments::kNone};

const ErrorType &find_error_type(unsigned int type) {
    for (const ErrorType &entry : kErrorTypes) {
        if (entry.type == type)
            return entry;
    }
    return kUnknownError;
}

/* Fills title and message for `type`, reading its further arguments. */
void describe_error(unsigned int type, va_list *arguments, char *title, char *message) {
    const ErrorType &entry = find_error_type(type);
    const char *heading = entry.title == nullptr ? lnxMSG("HTTP Failure")
                          : entry.translated     ? lnxMSG(entry.title)
                                                 : entry.title;
    copy_cut(title, kPageTextSize, heading);
    if (entry.exported != nullptr) {
        copy_cut(message, kPageTextSize, *entry.exported);
        return;
    }
    // The formats come from the table above, never from a caller.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    switch (entry.arguments) {
    case Arguments::kNone:
        copy_cut(message, kPageTextSize, entry.message);
        break;
    case Arguments::kVolume: {
        const char *volume = next_text(arguments);
        format_message(message, entry.message, volume);
        break;
    }
    case Arguments::kCodeShare: {
        const int code = va_arg(*arguments, int);
        const char *share = next_text(arguments);
        format_message(message, entry.message, code, share);
        break;
    }
    case Arguments::kCodeShareLocation: {
        const int code = va_arg(*arguments, int);
        const char *share = next_text(arguments);
        const char *location = next_text(arguments);
        format_message(message, entry.message, code, share, location);
        break;
    }
    case Arguments::kNamePath: {
        const char *name = next_text(arguments);
        const char *path = next_text(arguments);
        format_message(message, entry.message, name, path);
        break;
    }
    }
#pragma GCC diagnostic pop
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
    describe_error(static_cast<unsigned int>(type), &arguments, title, message);
    va_end(arguments);

    hxm2afp::send_page_frame(request, {title});
    hxm2afp::PageWriter out(request);
    out.literal("<table width=100% border=0 cellspacing=0 cellpadding=0>\n");
    out.literal("<tr bgcolor=#efeee9><td>\n");
    out.format("<IMG src=\"%.511s/GRPstatus_critical.png\" align=absMiddle border=0>", icon_folder);

    out.format("&nbsp;<b>%s :</b>  ", lnxMSG("Error"))
        .escaped(hxm2afp::EscapeContext::kHtmlText, message)
        .literal("</td></tr></table>\n");

    out.literal("<p><form method=POST action=\"/\">\n");
    out.literal("<br>&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;<input type=\"submit\" "
                "NAME=\"button\" value=\"OK\">\n");
    out.literal("</form></p>\n");
    out.literal("</BODY></HTML>");
    return hxm2afp::end_page(out);
}
