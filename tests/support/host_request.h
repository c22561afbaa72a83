/*
 * One request through the in-process host, as every test that skips HTTP
 * sends it.
 */
#ifndef HXM_TESTS_SUPPORT_HOST_REQUEST_H
#define HXM_TESTS_SUPPORT_HOST_REQUEST_H

#include <string>

#include "platform/console/hxm_console.h"

namespace hxm_test {

inline hxm::Response SendRequest(const std::string &method, const std::string &target,
                                 const std::string &body = "", const std::string &contentType = "",
                                 unsigned int accessFlags = 0x9,
                                 unsigned failures = hxm::kFailNone) {
    hxm::Request request;
    request.method = method;
    request.target = target;
    request.body = body;
    request.contentType = contentType;
    request.accessFlags = accessFlags;
    request.failures = failures;
    return hxm::HandleRequest(request);
}

} // namespace hxm_test

#endif
