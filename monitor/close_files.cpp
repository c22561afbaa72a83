/*
 * The "<filename>" close loop over a decoded post body.
 */
#include "monitor/close_files.h"

#include <string.h>

#include "base/bounded_copy.h"
#include "logger/logger.h"
#include "monitor/action_outcome.h"
#include "monitor/actions.h"

namespace {

constexpr char kStartMarker[] = "<filename>";
constexpr char kEndMarker[] = "</filename>";
constexpr size_t kStartMarkerLength = sizeof kStartMarker - 1;
constexpr size_t kEndMarkerLength = sizeof kEndMarker - 1;
// The close-name buffer: 511 bytes of name and its NUL.
constexpr size_t kNameBufferSize = 512;

} // namespace

int closeAFPFiles(const char *fileName) {
    HXM_DEBUG("file to close %s", fileName != nullptr ? fileName : "");
    return hxm2afp::close_file(fileName);
}

int parseDataToCloseAFPFiles(const char *decoded) {
    if (decoded == nullptr || decoded[0] == '\0')
        return 0;
    const char *cursor = decoded;
    while (*cursor != '\0') {
        const char *start = strstr(cursor, kStartMarker);
        if (start == nullptr)
            break;
        start += kStartMarkerLength;
        const char *end = strstr(start, kEndMarker);
        if (end == nullptr)
            break;
        size_t nameLength = static_cast<size_t>(end - start);
        if (nameLength > kNameBufferSize - 1)
            nameLength = kNameBufferSize - 1;
        char name[kNameBufferSize];
        hxm2afp::copy_bounded(name, start, nameLength);
        HXM_DEBUG("file name is %s", name);
        const int status = closeAFPFiles(name);
        hxm2afp::note_action(hxm2afp::ActionKind::kCloseFile, 0, name, status);
        if (status != 0)
            HXM_DEBUG("Close File Operation failed for file:%s", name);
        cursor = end + kEndMarkerLength;
    }
    return 0;
}
