/*
 * What every open-file page shares: the response start and console frame,
 * and escaped copies of untrusted texts of any length.
 */
#ifndef HXM2AFP_OPENFILES_PAGE_FRAME_H
#define HXM2AFP_OPENFILES_PAGE_FRAME_H

#include <stddef.h>

namespace hxm2afp {

/* Starts a 200 response and writes the console frame (title `title`, caption
 * "AFP Volume List", help link /afpofm/help, the open-file script). Returns
 * 0, or 500 after the host refused the response (its 500 answer is sent and
 * nothing else may be written). */
int BeginOpenFilePage(void *request, const char *title);

/* Ends the body and returns 200. */
int EndOpenFilePage(void *request);

/* An escaped copy of a text, on the heap when escaping changes it. */
class EscapedText {
  public:
    using Escaper = const char *(*)(const char *text, char *out, size_t size);
    EscapedText(Escaper escape, const char *text);
    ~EscapedText();
    EscapedText(const EscapedText &) = delete;
    EscapedText &operator=(const EscapedText &) = delete;

    /* The text to print; "" when memory ran out. */
    const char *get() const { return text_; }

  private:
    char *buffer_ = nullptr;
    const char *text_ = "";
};

} // namespace hxm2afp

#endif
