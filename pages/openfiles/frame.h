/*
 * The frame the open-file pages share: the response with its title, help
 * link and script, the find form, the extension filter's form, the start of
 * a file's row and the buttons that end a list. The list, find and file-details pages each write
 * their own body between these.
 */
#ifndef HXM_PAGES_OPENFILES_FRAME_H
#define HXM_PAGES_OPENFILES_FRAME_H

#include <stddef.h>

#include "core/page_writer.h"

namespace hxm2afp {

/* The command that opens the find page, as the first component after
 * "/afpofm" (or after a leading sort keyword), and the find form's fields. */
constexpr char kFindFilesCommand[] = "AFPFindFiles";
constexpr char kNameField[] = "FINDNAME";
constexpr char kUserField[] = "FINDUSER";

/* Starts a 200 response and writes the frame of the open-file pages (title
 * `title`, caption "AFP Volume List", help link /afpofm/help, the open-file
 * script). Returns 0, or 500 after the host refused the response (its 500
 * answer is sent and nothing else may be written). */
int begin_open_file_page(void *request, const char *title);

/* Writes the "Find open files" form: a part of a file name and an optional
 * user name, posted to the find page. */
void send_find_form(PageWriter &out);

/* Writes the extension filter's form row; `closing` is the fixed markup
 * that ends the row on that page. */
void send_filter_form(PageWriter &out, const char *closing);

/* Ends a list's table and writes its buttons: Refresh (the page's filter
 * form posted again) and Close Files (the list's form submitted). */
void send_close_files_buttons(PageWriter &out);

/* Starts a row of a list of open files: "<TR `stripe`>" and the tick box
 * that names `path` for closing (see send_close_name), up to its cell's end,
 * with room made at once for the whole row, whose other texts hold
 * `textBytes` bytes before escaping. */
void start_open_file_row(PageWriter &out, const char *stripe, const char *path, size_t textBytes,
                         PageWriter::Piece *escapedPath = nullptr);

} // namespace hxm2afp

#endif
