/*
 * The console's own short status pages.
 */
#include "platform/console/server/reply.h"

#include <microhttpd.h>

namespace hxm_server {

Reply StatusReply(int status) {
    const char *phrase = MHD_get_reason_phrase_for(static_cast<unsigned>(status));
    std::string text = std::to_string(status) + " " + (phrase[0] != '\0' ? phrase : "Error");
    return Reply(status, "text/html; charset=utf-8",
                 "<html><head><title>" + text + "</title></head><body><h1>" + text +
                     "</h1></body></html>\n");
}

} // namespace hxm_server
