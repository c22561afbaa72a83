/*
 * libFuzzer target for the connections path grammar: each input is one
 * request to the connections service method through the in-process host,
 * with a small staged monitoring library. The first byte picks the method,
 * the bytes up to the first NUL follow "/afpcons" as the request target, the
 * rest is the form body. Checked: the answer has a status the service can
 * give, and every list and record the library handed out was freed, with no
 * misuse of its free functions.
 */
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include <zentra/hxm_host.h>

#include "pages/connections/dispatch.h"
#include "platform/console/hxm_console.h"
#include "tests/support/fuzz_harness.h"
#include "tests/support/scripted_afpstat.h"

namespace hxm_test {
namespace {

void Stage() {
    scripted::Reset();
    scripted::Connection a;
    a.connectionNumber = 26;
    a.userName = "bob";
    scripted::Connection b;
    b.connectionNumber = 7;
    b.userName = "<i>x</i>";
    scripted::StageConnections({{a, b}});
    scripted::UserDetails details;
    details.userName = "bob";
    details.securityEquivalences = scripted::Names{std::string("admins"), std::nullopt};
    details.openFiles = scripted::Names{std::string("/v/a"), std::string("/v/\"b\"")};
    scripted::StageUserDetails(26, details);
    scripted::StageUserDetails(7, scripted::UserDetails{});
}

bool Registered() {
    static bool registered = RegisterFuzzKeyword("Connections", "afpcons", 7, afpconsMethod);
    return registered;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    Check(Registered());
    if (size == 0)
        return 0;
    static const char *const kMethods[] = {"GET", "POST", "POST", "PUT"};
    hxm::Request request;
    request.method = kMethods[data[0] % 4];
    const char *start = reinterpret_cast<const char *>(data + 1);
    const size_t rest = size - 1;
    const char *end = static_cast<const char *>(memchr(start, '\0', rest));
    const size_t targetLength = end != nullptr ? static_cast<size_t>(end - start) : rest;
    request.target = "/afpcons" + std::string(start, targetLength);
    if (request.method == "POST") {
        request.contentType = (data[0] & 4) ? "text/plain" : "application/x-www-form-urlencoded";
        if (end != nullptr)
            request.body.assign(end + 1, rest - targetLength - 1);
    }
    request.accessFlags = (data[0] & 8) ? 0x409 : 0x9;
    Stage();
    const hxm::Response response = hxm::HandleRequest(request);
    Check(response.status == 200 || response.status == 303 || response.status == 400 ||
          response.status == 401 || response.status == 404 || response.status == 500);
    Check(scripted::LiveCount() == 0);
    Check(scripted::Errors().empty());
    return 0;
}

} // namespace hxm_test
