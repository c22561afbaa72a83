/*
 * The shared request front of the page areas: what a request brings (its
 * path, method, raw and decoded body, access flags) in one record, read
 * through the host the same way for every area.
 */
#ifndef HXM_PAGES_COMMON_REQUEST_H
#define HXM_PAGES_COMMON_REQUEST_H

#include "pages/common/component_path.h"

namespace hxm2afp {

/* What a request brings; the holder frees what it owns. */
struct Request {
    ComponentPath path;
    int method = -1;
    char *body = nullptr;         // the raw post body, terminated; null without one
    unsigned long bodyLength = 0; // 0 without a body
    HeapText decoded;             // the decoded body; null without one or without memory
    unsigned int accessFlags = 0;
    bool clearingPower = false;
};

/* Reads the request method: 0 when it is GET or a form post, else the
 * error page code that answers it (missing data when the host cannot say,
 * bad request for another method). */
int read_method(void *request, Request *record);

/* For a form post, reads the host's post buffer, terminates it at its
 * length and, when `decode` is set, decodes it. Without a readable buffer
 * the body stays null and nothing is decoded. */
void read_body(void *request, Request *record, bool decode);

} // namespace hxm2afp

#endif
