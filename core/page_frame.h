#include <zentra/hxm_host.h>
/*
 * The start and end every page shares: a 200 HTML response, then the console
 * frame above the page's own body.
 */
#ifndef HXM_CORE_PAGE_FRAME_H
#define HXM_CORE_PAGE_FRAME_H

namespace hxm2afp {

/* The host text index of the HTML response descriptor. */
constexpr int kHtmlDescriptorIndex = 5;

/* What the console frame shows above a page. */
struct PageFrame {
    const char *title;                // the window title and the heading
    const char *caption = nullptr;    // the banner caption, or none
    const char *helpUrl = nullptr;    // the help link, or none
    HxmScriptWriter script = nullptr; // the page's script block, or none
};

/* Starts a 200 HTML response (a 303 for a page that answers an action:
 * core/redirect.h): true when the host took it. On false nothing was sent
 * and the caller answers the failure its own way. */
bool open_page_response(void *request);

/* Writes the console frame: head, banner and navigation. */
void send_page_frame(void *request, const PageFrame &frame);

/* Starts a 200 HTML response and writes the frame: 0, or 500 after the host
 * refused the response (its 500 answer is sent and nothing else may be
 * written). */
int begin_page(void *request, const PageFrame &frame);

/* Ends the body; returns 200. */
int end_page(void *request);

class PageWriter;

/* Ends the body once `out` has sent what it holds: 200, or 500 when part of
 * the page was lost (memory, or the host refused a piece): the host's 500
 * answer then replaces the page, which must not pass as whole. */
int end_page(PageWriter &out);

} // namespace hxm2afp

#endif
