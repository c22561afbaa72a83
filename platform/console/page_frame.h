/*
 * The console's own markup: the page head and frame around a plug-in page,
 * the console home and the small error pages the console answers itself.
 */
#ifndef HXM_PLATFORM_CONSOLE_PAGE_FRAME_H
#define HXM_PLATFORM_CONSOLE_PAGE_FRAME_H

#include <string>

namespace hxm_console {

// The content type of every HTML answer of the console.
extern const char kHtmlDescriptor[];

// The standard reason phrase of an HTTP status, or "Error" for one the
// console does not know.
const char *ReasonPhrase(int status);

// A complete HTML page telling the status and its reason phrase.
std::string ErrorPage(int status);

} // namespace hxm_console

#endif
