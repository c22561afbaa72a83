/*
 * The sortable columns of the open-file list, in page order: each one's
 * sort keyword drives the path reader, getSortTypeString and the heading's
 * sort link (columns.cpp holds the table).
 */
#ifndef HXM_PAGES_OPENFILES_COLUMNS_H
#define HXM_PAGES_OPENFILES_COLUMNS_H

#include <stddef.h>

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

class PageWriter;

/* Writes one heading cell: `label` as given (translated or not), a link to
 * `href` (the whole attribute text, already escaped), the image file
 * `image` under the column's translated image text, `imageEnd` before the
 * image's ">". */
void send_open_file_heading(PageWriter &out, const OpenFileColumn &column, const char *label,
                            const char *href, const char *image, const char *imageEnd);

/* Writes the heading row of a page that lists no files yet: the check-all
 * box, then every column, its label translated, linking to its
 * unsortedHref; `imageEnd` stands for every column's own when not null. */
void send_unsorted_heading_row(PageWriter &out, const char *imageEnd);

} // namespace hxm2afp

#endif
