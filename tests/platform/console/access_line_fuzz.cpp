/*
 * libFuzzer target for the access log's line writer. The input gives every
 * request-supplied field of a record (address, user, method, target, note)
 * and its status and size. Whatever they hold, the line is one line of
 * printable ASCII ending in its only newline, bounded in length, with the
 * target the only quoted text; the quoted target reads back as the first
 * bytes of the one received, followed by how many more there were.
 */
#include <fuzzer/FuzzedDataProvider.h>
#include <stddef.h>
#include <stdint.h>

#include <string>

#include "platform/console/server/access_log.h"
#include "tests/support/fuzz_harness.h"

namespace hxm_test {
namespace {

// The request text kept per field, as the log promises ("a few hundred").
constexpr size_t kKeptBytes = 512;
// Each kept byte is at most "\xHH"; a cut field adds "...(+N bytes)".
constexpr size_t kMaxFieldText = 4 * kKeptBytes + 32;

int HexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// Reads back an escaped field; false when an escape is malformed.
bool Unescape(const std::string &text, std::string *out) {
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            out->push_back(text[i]);
            continue;
        }
        if (i + 3 >= text.size() || text[i + 1] != 'x')
            return false;
        int high = HexValue(text[i + 2]);
        int low = HexValue(text[i + 3]);
        if (high < 0 || low < 0)
            return false;
        out->push_back(static_cast<char>(high * 16 + low));
        i += 3;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    FuzzedDataProvider input(data, size);
    hxm_server::AccessRecord record;
    record.status = input.ConsumeIntegralInRange<int>(0, 999);
    record.bytes = input.ConsumeIntegral<uint64_t>();
    record.remoteAddress = input.ConsumeRandomLengthString(2048);
    record.user = input.ConsumeRandomLengthString(2048);
    record.method = input.ConsumeRandomLengthString(2048);
    record.note = input.ConsumeRandomLengthString(2048);
    record.target = input.ConsumeRemainingBytesAsString();

    const std::string time = "2026-01-01T00:00:00+0000";
    std::string line = hxm_server::FormatAccessLine(record, time);

    Check(line.compare(0, time.size(), time) == 0);
    Check(!line.empty() && line.back() == '\n');
    size_t quotes = 0;
    for (size_t i = 0; i + 1 < line.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(line[i]);
        Check(c >= 0x20 && c < 0x7f);
        if (c == '"')
            ++quotes;
    }
    Check(quotes == 2);
    Check(line.size() <= time.size() + 5 * (kMaxFieldText + 1) + 40);

    size_t open = line.find('"');
    size_t close = line.find('"', open + 1);
    std::string quoted = line.substr(open + 1, close - open - 1);
    std::string kept = record.target;
    if (record.target.size() > kKeptBytes) {
        std::string suffix =
            "...(+" + std::to_string(record.target.size() - kKeptBytes) + " bytes)";
        Check(quoted.size() >= suffix.size() &&
              quoted.compare(quoted.size() - suffix.size(), suffix.size(), suffix) == 0);
        quoted.resize(quoted.size() - suffix.size());
        kept.resize(kKeptBytes);
    }
    std::string target;
    Check(Unescape(quoted, &target));
    Check(target == kept);
    return 0;
}

} // namespace hxm_test
