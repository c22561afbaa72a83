/*
 * libFuzzer target for the checks on a request head. The input is a head
 * as lines: the first is the version, each further "name:value" a header.
 * Whatever it holds, the framing verdict is 400, 411, 501 or none, a head
 * let through has at most one plain length and no coding, and any length
 * it gives can meet the connection watcher's clock.
 */
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>

#include <string>

#include "platform/console/server/connection_watch.h"
#include "platform/console/server/request_checks.h"
#include "tests/support/fuzz_harness.h"

namespace hxm_test {

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::string input(reinterpret_cast<const char *>(data), size);
    std::string version = input.substr(0, input.find('\n'));
    hxm_server::HeaderList headers;
    for (size_t at = input.find('\n'); at != std::string::npos;) {
        size_t end = input.find('\n', at + 1);
        std::string line = input.substr(at + 1, end == std::string::npos ? end : end - at - 1);
        size_t colon = line.find(':');
        if (colon != std::string::npos)
            headers.emplace_back(line.substr(0, colon), line.substr(colon + 1));
        at = end;
    }
    hxm_server::HeadFault fault = hxm_server::FramingFault(version, headers);
    Check(fault.status == 0 || fault.status == 400 || fault.status == 411 || fault.status == 501);
    const std::string *length = hxm_server::FindHeader(headers, "Content-Length");
    const std::string *coding = hxm_server::FindHeader(headers, "Transfer-Encoding");
    if (fault.status == 0) {
        Check(coding == nullptr);
        Check(version != "HTTP/1.1" || hxm_server::FindHeader(headers, "Host") != nullptr);
    }
    const std::string *host = hxm_server::FindHeader(headers, "Host");
    hxm_server::NamesLoopback(host != nullptr ? *host : version);
    hxm_server::CrossSiteReason(headers, "http", host != nullptr ? *host : "");

    static hxm_server::ConnectionWatch watch{hxm_server::ConnectionWatch::Limits()};
    unsigned long long bytes = length != nullptr ? strtoull(length->c_str(), nullptr, 10) : size;
    watch.Opened(data, 0, version);
    watch.HeadArrived(data, bytes != 0);
    watch.BodyArrived(data, bytes);
    watch.ResponseQueued(data, ~bytes);
    std::string address;
    std::string reason;
    watch.Closed(data, &address, &reason);
    return 0;
}

} // namespace hxm_test
