/*
 * The sortable columns of the open-file list, in page order: each one's
 * sort keyword drives the path reader, getSortTypeString and the heading's
 * sort link (columns.cpp holds the table).
 */
#ifndef HXM_PAGES_OPENFILES_COLUMNS_H
#define HXM_PAGES_OPENFILES_COLUMNS_H

#include <stddef.h>

#include <string>

#include "pages/common/component_path.h"

namespace hxm2afp {

struct OpenFileColumn {
    SortKeyword sort;     // the path keyword and the sort it asks for
    const char *label;    // the heading, translated when written
    const char *linkText; // image text of the sort link, translated when written
    const char *imageId;  // the sort image's id, which the page's script uses
    // The heading's spacing: after the label, after the image text, before
    // the image's ">".
    const char *labelGap;
    const char *altGap;
    const char *imageEnd;
    const char *unsortedHref; // the link on a page that has no volume yet
};

constexpr size_t kOpenFileColumnCount = 3;
extern const OpenFileColumn kOpenFileColumns[kOpenFileColumnCount];

/* The column of a sort type: the connection number's for any type outside
 * 1 to 3. */
const OpenFileColumn &open_file_column(AfpSortType sortType);

/* Appends one heading cell to `row`: `label` as given (translated or not),
 * a link to `href` (the whole attribute text), the image file `image` under
 * the column's translated image text, `imageEnd` before the image's ">". */
void append_open_file_heading(std::string *row, const OpenFileColumn &column, const char *label,
                              const std::string &href, const char *image, const char *imageEnd);

/* The heading row of a page that lists no files yet: the check-all box,
 * then every column, its label translated, linking to its unsortedHref;
 * `imageEnd` stands for every column's own when not null. */
std::string unsorted_heading_row(const char *imageEnd);

} // namespace hxm2afp

#endif
