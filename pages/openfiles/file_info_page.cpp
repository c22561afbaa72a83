/*
 * The file-details page (the frame of the volume selection page with an
 * empty table) and the sample file information page.
 */
#include "pages/openfiles/file_info_page.h"

#include <stdio.h>

#include "core/localisation.h"
#include "core/page_frame.h"
#include "core/page_globals.h"
#include "core/page_writer.h"
#include "pages/openfiles/columns.h"
#include "pages/openfiles/frame.h"
#include "pages/openfiles/list_page.h"

namespace {

constexpr size_t kTitleSize = 1024;

/* The sample page's rows: caption, value, row attribute. */
struct SampleRow {
    const char *caption;
    const char *value;
    const char *attribute;
};

constexpr SampleRow kSampleRows[] = {
    {"Owner", "admin.services.zentra", "bgcolor=#ffffff"},
    {"Last modified date and time", "Wed Oct 10 16:03:54 2012", "bgcolor=#efeee9"},
    {"Effective rights", "SRWCEMFA", "bgcolor=#efeee9"},
    {"Inherited rights filter", "SRWCEMFA", "bgcolor=#ffffff"},
    {"Disk space in use", "9,337 Bytes", "bgcolor=#efeee9"},
};

} // namespace

int FillAFPFileDetails(const char *) {
    return 0;
}

int displayAFPFileDetails(void *request, const char *fileName) {
    const int started = hxm2afp::begin_open_file_page(request, lnxMSG("AFP Open File Management"));
    if (started != 0)
        return started;
    FillAFPFileDetails(fileName);
    FillVolumes(request, nullptr);
    hxm2afp::PageWriter out(request);
    out.literal("<tr><td>");
    hxm2afp::send_filter_form(out, "</td></tr></table>\n");
    out.literal("<FORM><table border=0 style=\"width: 850px;\" >");
    // German pages get these in German too; English bytes stay as they were.
    out.format("<tr class=tablehead><TD align=center colspan=4>%s</TD></tr>",
               lnxMSG("List of Open Files"));
    hxm2afp::send_unsorted_heading_row(out, " ");
    out.format("<tr><td align=left><input onclick=\"closeFiles(this)\" "
               "name=\"closeallcheckfiles\" type='button' "
               "value=\"%s\"></td></tr></table></FORM>",
               lnxMSG("Close"));
    out.literal("</BODY></HTML>\n");
    return hxm2afp::end_page(out);
}

int generate_fileinfo_page(void *request, int, int, unsigned long) {
    char title[kTitleSize];
    snprintf(title, sizeof title, "%s", lnxMSG("File Information"));
    const int started = hxm2afp::begin_open_file_page(request, title);
    if (started != 0)
        return started;
    hxm2afp::PageWriter out(request);
    out.literal("<DIV CLASS=NORMAL><TABLE BORDER=0 CELLPADDING=2 "
                "bgcolor=#ffffff><tr><td><P><A HREF=/afpofm>[Back to open file "
                "management]</A><BR><BR><DL><DT><B>File information</B>\n");
    out.literal("<DD><TABLE border=0 cellpadding=3>");
    const size_t rows = sizeof kSampleRows / sizeof kSampleRows[0];
    for (size_t index = 0; index < rows; ++index) {
        const SampleRow &row = kSampleRows[index];
        out.format("<TR %s><TH ALIGN=LEFT>%s</TH><TD>%s</TD></TR>%s", row.attribute, row.caption,
                   row.value, index + 1 == rows ? "\t</TABLE>" : "");
    }
    out.literal("<DT><FORM METHOD=\"POST\" ACTION=\"/kdpdfunction/DELETEFILE_CONFIRM\">");
    out.literal("<INPUT TYPE=\"submit\" VALUE=\"Close File\"></FORM></DT>");
    out.literal("</table></dl></BODY></HTML>\n");
    return hxm2afp::end_page(out);
}
