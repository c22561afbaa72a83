/*
 * The open-file list's column table and heading cells (see columns.h).
 */
#include "pages/openfiles/columns.h"

#include "core/localisation.h"

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

void append_open_file_heading(std::string *row, const OpenFileColumn &column, const char *label,
                              const std::string &href, const char *image, const char *imageEnd) {
    row->append("<TD align=center>").append(label).append(column.labelGap);
    row->append("<A HREF=").append(href).append("><img id=").append(column.imageId);
    row->append(" border=0 alt='").append(lnxMSG(column.linkText)).append("'");
    row->append(column.altGap).append("src='/opt/zentra/hxm/").append(image).append("'");
    row->append(imageEnd).append("></a></TD>");
}

std::string unsorted_heading_row(const char *imageEnd) {
    std::string row = "<TR class=tablesubhead NOWRAP><TD align=center><input type=\"checkbox\" "
                      "NAME=K_1_ id=noid onchange='checkAndUncheckAll(this)'></TD>";
    for (const OpenFileColumn &column : kOpenFileColumns)
        append_open_file_heading(&row, column, lnxMSG(column.label), column.unsortedHref,
                                 "sortdown.png", imageEnd != nullptr ? imageEnd : column.imageEnd);
    return row.append("</TR>");
}

} // namespace hxm2afp
