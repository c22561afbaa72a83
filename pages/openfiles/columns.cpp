/*
 * The open-file list's column table and heading cells (see columns.h).
 */
#include "pages/openfiles/columns.h"

#include "core/localisation.h"
#include "core/page_writer.h"

namespace hxm2afp {

constexpr OpenFileColumn kOpenFileColumns[kOpenFileColumnCount] = {
    {{"ConnectionNumber", AFP_SORT_CONNECTION_NUMBER},
     HXM_TRANSLATABLE("Connection"),
     HXM_TRANSLATABLE("Sort By Connection"),
     "connNum",
     "",
     " ",
     "",
     "/afpofm"},
    {{"UserName", AFP_SORT_USER_NAME},
     HXM_TRANSLATABLE("Username"),
     HXM_TRANSLATABLE("Sort By Username"),
     "usrName",
     " ",
     "   ",
     " ",
     "/afpofm"},
    {{"FileName", AFP_SORT_FILE_PATH},
     HXM_TRANSLATABLE("File Path"),
     HXM_TRANSLATABLE("Sort By File Path"),
     "fileName",
     " ",
     " ",
     " ",
     "/afpofm/"},
};

const OpenFileColumn &open_file_column(AfpSortType sortType) {
    for (const OpenFileColumn &column : kOpenFileColumns) {
        if (column.sort.sortType == sortType)
            return column;
    }
    return kOpenFileColumns[0];
}

void send_open_file_heading(PageWriter &out, const OpenFileColumn &column, const char *label,
                            const char *href, const char *image, const char *imageEnd) {
    out.literal("<TD align=center>").text(label).text(column.labelGap);
    out.literal("<A HREF=").text(href).literal("><img id=").text(column.imageId);
    out.literal(" border=0 alt='").text(lnxMSG(column.linkText)).literal("'");
    out.text(column.altGap).literal("src='/opt/zentra/hxm/").text(image).literal("'");
    out.text(imageEnd).literal("></a></TD>");
}

void send_unsorted_heading_row(PageWriter &out, const char *imageEnd) {
    out.literal("<TR class=tablesubhead NOWRAP><TD align=center><input type=\"checkbox\" "
                "NAME=K_1_ id=noid onchange='checkAndUncheckAll(this)'></TD>");
    for (const OpenFileColumn &column : kOpenFileColumns)
        send_open_file_heading(out, column, lnxMSG(column.label), column.unsortedHref,
                               "sortdown.png", imageEnd != nullptr ? imageEnd : column.imageEnd);
    out.literal("</TR>");
}

} // namespace hxm2afp
