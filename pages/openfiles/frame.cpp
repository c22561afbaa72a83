/*
 * The open-file pages' frame (see frame.h).
 */
#include "pages/openfiles/frame.h"

#include <stdio.h>
#include <string.h>

#include "core/localisation.h"
#include "core/page_frame.h"
#include "core/page_globals.h"
#include "core/page_writer.h"
#include "pages/common/actions.h"
#include "pages/openfiles/script.h"

namespace hxm2afp {
namespace {

constexpr size_t kFrameTitleSize = 1024;
constexpr size_t kHelpUrlSize = 64;
// A row's fixed markup and numbers, beside its escaped texts.
constexpr size_t kRowMarkup = 512;

} // namespace

int begin_open_file_page(void *request, const char *title) {
    char heading[kFrameTitleSize];
    snprintf(heading, sizeof heading, "%s", title);
    char helpUrl[kHelpUrlSize];
    snprintf(helpUrl, sizeof helpUrl, "/%s/%s", keyword_afpofm, keyword_help);
    return begin_page(request, {heading, lnxMSG("AFP Volume List"), helpUrl, AddJavaScriptOFMCode});
}

void send_find_form(PageWriter &out) {
    out.format("<FORM method=\"post\" action=\"/%s/%s\" id=\"findForm\"><DIV "
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

void send_filter_form(PageWriter &out, const char *closing) {
    out.format("<FORM method=\"post\" action=\"/%s\" id=\"filterForm\">", keyword_afpofm);
    out.format("<label>%s : </label></td><td><input name=\"%s\" id=\"filter\" "
               "type=\"text\" title=\"%s\" placeholder=\"%s\" style=\"width: 147px; \" "
               "/> <input type='submit' value=\"%s\" /> </form>%s",
               lnxMSG("Filter"), "FILTER", lnxMSG("eg: *.doc"), lnxMSG("eg: *.doc"),
               lnxMSG("Apply"), closing);
}

void send_close_files_buttons(PageWriter &out) {
    out.literal("</table>");
    out.format("<table><tr><td align=left><input type=\"button\" value=\"%s\" "
               "onclick=\"filterFormSubmit()\"></td><td align=left><input "
               "type=\"submit\" value=\"%s \"></td></tr></table>",
               lnxMSG("Refresh"), lnxMSG("Close Files"));
}

void start_open_file_row(PageWriter &out, const char *stripe, const char *path, size_t textBytes,
                         PageWriter::Piece *escapedPath) {
    out.reserve(kRowMarkup + HXM_ESCAPED_SIZE(strlen(path) + textBytes));
    out.literal("<TR ").text(stripe).literal(
        "><TD align=center><input type=\"checkbox\" NAME=\"FILENAME\" VALUE=\"");
    send_close_name(out, path, escapedPath);
    out.literal("\" id=cb1></TD>");
}

} // namespace hxm2afp
