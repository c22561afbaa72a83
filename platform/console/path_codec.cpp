/*
 * Request paths: percent-decoding of the request target's path, and the
 * in-place rewrite into length-prefixed components that plug-ins walk.
 * A component length has to fit the one byte that replaces its slash, which
 * is why decoding refuses components longer than 255 bytes up front.
 */
#include <cstring>
#include <string>

#include "platform/console/hex_digit.h"
#include "platform/console/hxm_console.h"

namespace {

constexpr std::size_t kMaxComponentLength = 255;

} // namespace

namespace hxm {

bool DecodePath(const std::string &encoded, std::string *decoded) {
    if (decoded == nullptr)
        return false;
    std::string out;
    out.reserve(encoded.size());
    std::size_t componentLength = 0;
    for (std::size_t i = 0; i < encoded.size(); ++i) {
        char c = encoded[i];
        if (c == '%') {
            int high = i + 2 < encoded.size() ? hxm_console::HexValue(encoded[i + 1]) : -1;
            int low = high >= 0 ? hxm_console::HexValue(encoded[i + 2]) : -1;
            if (low < 0)
                return false;
            c = static_cast<char>(high * 16 + low);
            i += 2;
        }
        if (c == '\0')
            return false;
        if (c == '/') {
            componentLength = 0;
        } else if (++componentLength > kMaxComponentLength) {
            return false;
        }
        out.push_back(c);
    }
    *decoded = std::move(out);
    return true;
}

} // namespace hxm

// Rewrites in place; see hxm_host.h. A path with a component longer than 255
// bytes cannot be expressed in length bytes: it is left untouched and -1 is
// returned, so a caller never walks a misleading length.
extern "C" int ConvertToComponentPath(char *path) {
    if (path == nullptr)
        return 0;
    std::size_t length = std::strlen(path);
    std::size_t run = 0;
    for (std::size_t i = 0; i < length; ++i) {
        if (path[i] == '/')
            run = 0;
        else if (++run > kMaxComponentLength)
            return -1;
    }
    // Walk backwards so each slash learns the length of the run after it.
    int slashes = 0;
    run = 0;
    for (std::size_t i = length; i-- > 0;) {
        if (path[i] != '/') {
            ++run;
            continue;
        }
        path[i] = static_cast<char>(static_cast<unsigned char>(run));
        run = 0;
        ++slashes;
    }
    return slashes;
}
