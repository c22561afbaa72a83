/*
 * The columns of the connection list, in page order: each one's sort
 * keyword drives both the path reader and the heading's sort link
 * (columns.cpp holds the table).
 */
#ifndef HXM_PAGES_CONNECTIONS_COLUMNS_H
#define HXM_PAGES_CONNECTIONS_COLUMNS_H

#include <stddef.h>

#include "pages/common/component_path.h"

namespace hxm2afp {

struct ConnectionColumn {
    SortKeyword sort;       // the path keyword and the sort it asks for
    const char *label;      // the heading, translated when written
    const char *linkText;   // image text of a sort link
    const char *sortedText; // image text of the current sort column
    const char *cellAttributes;
    const char *rowEnd;
};

constexpr size_t kConnectionColumnCount = 5;
extern const ConnectionColumn kConnectionColumns[kConnectionColumnCount];

} // namespace hxm2afp

#endif
