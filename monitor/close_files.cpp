/*
 * The "<filename>" close loop over a decoded post body, and how a page
 * names a file for it.
 */
#include "monitor/close_files.h"

#include <string.h>

#include "base/bounded_copy.h"
#include "logger/log_text.h"
#include "logger/logger.h"
#include "monitor/action_outcome.h"
#include "monitor/actions.h"

namespace {

constexpr char kStartMarker[] = "<filename>";
constexpr char kEndMarker[] = "</filename>";
// Neither contains the plain markers, and an encoded name holds no "<".
constexpr char kEncodedStartMarker[] = "<encodedfilename>";
constexpr char kEncodedEndMarker[] = "</encodedfilename>";
// The close-name buffer: 511 bytes of name and its NUL.
constexpr size_t kNameBufferSize = 512;

int hex_value(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// Decodes text[0..length) ("%XY" for any byte but NUL) into name, cut to
// kNameBufferSize - 1 bytes: whether it decoded.
bool decode_name(const char *text, size_t length, char (&name)[kNameBufferSize]) {
    size_t written = 0;
    for (size_t i = 0; i < length; ++i) {
        char c = text[i];
        if (c == '%') {
            const int high = i + 2 < length ? hex_value(text[i + 1]) : -1;
            const int low = high >= 0 ? hex_value(text[i + 2]) : -1;
            if (low < 0 || (high == 0 && low == 0))
                return false;
            c = static_cast<char>(high * 16 + low);
            i += 2;
        }
        if (written < kNameBufferSize - 1)
            name[written++] = c;
    }
    name[written] = '\0';
    return true;
}

} // namespace

namespace hxm2afp {

CloseName close_name(const char *path) {
    if (path == nullptr)
        path = "";
    // Both markers start with "<", which most paths never hold: one quick
    // scan settles them before any search for the markers themselves.
    if (strchr(path, '<') == nullptr ||
        (strstr(path, kStartMarker) == nullptr && strstr(path, kEndMarker) == nullptr))
        return {kStartMarker, path, kEndMarker};
    static const char kHex[] = "0123456789ABCDEF";
    std::string text;
    for (const char *at = path; *at != '\0'; ++at) {
        const unsigned char c = static_cast<unsigned char>(*at);
        if (c == '%' || c == '<' || c == '>') {
            text += '%';
            text += kHex[c >> 4];
            text += kHex[c & 15];
        } else {
            text += static_cast<char>(c);
        }
    }
    return {kEncodedStartMarker, text, kEncodedEndMarker};
}

} // namespace hxm2afp

int closeAFPFiles(const char *fileName) {
    HXM_DEBUG("file to close %s", hxm2afp::LogText(fileName).c_str());
    return hxm2afp::close_file(fileName);
}

int parseDataToCloseAFPFiles(const char *decoded) {
    if (decoded == nullptr || decoded[0] == '\0')
        return 0;
    const char *cursor = decoded;
    while (*cursor != '\0') {
        // Whichever kind of name stands first; each ends at its own marker.
        const char *plain = strstr(cursor, kStartMarker);
        const char *encoded = strstr(cursor, kEncodedStartMarker);
        const bool isEncoded = encoded != nullptr && (plain == nullptr || encoded < plain);
        const char *start = isEncoded ? encoded + strlen(kEncodedStartMarker)
                                      : (plain != nullptr ? plain + strlen(kStartMarker) : nullptr);
        if (start == nullptr)
            break;
        const char *endMarker = isEncoded ? kEncodedEndMarker : kEndMarker;
        const char *end = strstr(start, endMarker);
        if (end == nullptr)
            break;
        cursor = end + strlen(endMarker);
        const size_t length = static_cast<size_t>(end - start);
        char name[kNameBufferSize];
        if (!isEncoded) {
            hxm2afp::copy_bounded(name, start,
                                  length < kNameBufferSize ? length : kNameBufferSize - 1);
        } else if (!decode_name(start, length, name)) {
            HXM_DEBUG("%s", "an encoded file name that does not decode: nothing closed");
            continue;
        }
        HXM_DEBUG("file name is %s", hxm2afp::LogText(name).c_str());
        const int status = closeAFPFiles(name);
        hxm2afp::note_action(hxm2afp::ActionKind::kCloseFile, 0, name, status);
        if (status != 0)
            HXM_DEBUG("Close File Operation failed for file:%s", hxm2afp::LogText(name).c_str());
    }
    return 0;
}
