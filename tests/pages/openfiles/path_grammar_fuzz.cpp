/*
 * libFuzzer target for the open-file path grammar with post bodies: each
 * input is one request to the open-file service method through the
 * in-process host, with a small staged monitoring library. The first byte
 * picks the method and the access flags, the bytes up to the first NUL
 * follow "/afpofm" as the request target, the rest is the form body.
 * Checked: the answer has a status the service can give, every list the
 * library handed out was freed with no misuse, and every close call names a
 * path that the body carried between the markers.
 */
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include <zentra/hxm_host.h>

#include "pages/openfiles/dispatch.h"
#include "platform/console/hxm_console.h"
#include "tests/support/fuzz_harness.h"
#include "tests/support/scripted_afpstat.h"

namespace hxm_test {
namespace {

void Stage() {
    scripted::Reset();
    scripted::StageVolumes({{"VOL1", "UserNames", "<v>&\"'"}});
    scripted::StageOpenFiles("VOL1", {{{"bob", 26, {"/v/a.doc", "/v/b.txt", std::nullopt}},
                                       {"<i>x</i>", 7, {"/v/\"q\" & <t>.doc", "/v/end."}}}});
    scripted::StageOpenFiles("<v>&\"'", {{{"carol", 3, {"/x"}}}, 5});
}

bool Registered() {
    static bool registered = RegisterFuzzKeyword("Open files", "afpofm", 6, afpofmMethod);
    return registered;
}

const char *const kMethods[] = {"GET", "POST", "PUT", "HEAD"};
const unsigned int kFlags[] = {0x9, 0x8, 0x40B, 0x10000008};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    Check(Registered());
    if (size == 0)
        return 0;
    const uint8_t selector = data[0];
    const char *rest = reinterpret_cast<const char *>(data + 1);
    const size_t restSize = size - 1;
    const void *nul = memchr(rest, '\0', restSize);
    const size_t pathSize = nul != nullptr ? static_cast<const char *>(nul) - rest : restSize;

    Stage();
    hxm::Request request;
    request.method = kMethods[selector % 4];
    request.accessFlags = kFlags[(selector >> 2) % 4];
    request.failures = (selector & 0x80) != 0 ? hxm::kFailPostDataBuffer : hxm::kFailNone;
    request.target = "/afpofm" + std::string(rest, pathSize);
    if (request.method == "POST") {
        request.contentType = "application/x-www-form-urlencoded";
        if (nul != nullptr)
            request.body.assign(rest + pathSize + 1, restSize - pathSize - 1);
    }
    const hxm::Response response = hxm::HandleRequest(request);
    Check(response.status == 200 || response.status == 303 || response.status == 400 ||
          response.status == 404 || response.status == 500);
    Check(scripted::LiveCount() == 0);
    Check(scripted::Errors().empty());
    for (const scripted::Call &call : scripted::Calls()) {
        if (call.function == "Ext_CloseFileByFileName")
            Check(call.text.size() <= 511);
    }
    return 0;
}

} // namespace hxm_test
