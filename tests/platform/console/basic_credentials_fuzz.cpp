/*
 * libFuzzer target for the console's Basic credential parsing. The input is
 * read twice: as an Authorization value as it stands, and as the decoded
 * "user:password" text, base64-encoded under a scheme spelled in the case
 * the first byte picks. The first must never admit a name or password with
 * a NUL or a name with a ':'; the second must give back exactly the text
 * that was encoded, split at its first ':', unless it holds a NUL or no ':'.
 */
#include <stddef.h>
#include <stdint.h>

#include <string>

#include "platform/console/server/request_checks.h"
#include "tests/support/fuzz_harness.h"

namespace hxm_test {
namespace {

std::string Base64(const std::string &text) {
    static const char kAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    size_t i = 0;
    for (; i + 3 <= text.size(); i += 3) {
        uint32_t n = static_cast<uint8_t>(text[i]) << 16 | static_cast<uint8_t>(text[i + 1]) << 8 |
                     static_cast<uint8_t>(text[i + 2]);
        for (int shift = 18; shift >= 0; shift -= 6)
            out.push_back(kAlphabet[(n >> shift) & 63]);
    }
    size_t rest = text.size() - i;
    if (rest > 0) {
        uint32_t n = static_cast<uint8_t>(text[i]) << 16;
        if (rest == 2)
            n |= static_cast<uint8_t>(text[i + 1]) << 8;
        out.push_back(kAlphabet[(n >> 18) & 63]);
        out.push_back(kAlphabet[(n >> 12) & 63]);
        out.push_back(rest == 2 ? kAlphabet[(n >> 6) & 63] : '=');
        out.push_back('=');
    }
    return out;
}

void CheckAdmitted(const std::string &user, const std::string &password) {
    Check(user.find('\0') == std::string::npos);
    Check(password.find('\0') == std::string::npos);
    Check(user.find(':') == std::string::npos);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::string input(reinterpret_cast<const char *>(data), size);

    std::string user, password;
    if (hxm_server::ParseBasicCredentials(input, &user, &password))
        CheckAdmitted(user, password);

    static const char *const kSchemes[] = {"Basic ", "basic ", "BASIC ", "bAsIc\t", "Basic  "};
    const char *scheme = kSchemes[size > 0 ? data[0] % 5 : 0];
    std::string credentials = size > 0 ? input.substr(1) : input;
    user = "unset";
    password = "unset";
    bool parsed = hxm_server::ParseBasicCredentials(scheme + Base64(credentials), &user, &password);
    size_t colon = credentials.find(':');
    bool valid = colon != std::string::npos && credentials.find('\0') == std::string::npos;
    Check(parsed == valid);
    if (parsed) {
        Check(user == credentials.substr(0, colon));
        Check(password == credentials.substr(colon + 1));
    } else {
        Check(user == "unset" && password == "unset");
    }
    return 0;
}

} // namespace hxm_test
