/*
 * Cutting text into fixed page buffers at character boundaries.
 */
#include "core/page_text.h"

#include <string.h>

namespace hxm2afp {

void trim_incomplete_character(char *text) {
    size_t length = strlen(text);
    size_t continuation = 0;
    while (continuation < length &&
           (static_cast<unsigned char>(text[length - 1 - continuation]) & 0xC0) == 0x80)
        ++continuation;
    if (continuation == length)
        return; // nothing but continuation bytes: not UTF-8, leave it
    unsigned char lead = static_cast<unsigned char>(text[length - 1 - continuation]);
    size_t expected = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    if (expected > continuation + 1)
        text[length - 1 - continuation] = '\0';
}

bool copy_cut(char *out, size_t size, const char *text) {
    if (size == 0)
        return false;
    if (text == nullptr)
        text = "";
    size_t length = strlen(text);
    if (length < size) {
        memcpy(out, text, length + 1);
        return true;
    }
    memcpy(out, text, size - 1);
    out[size - 1] = '\0';
    trim_incomplete_character(out);
    return false;
}

} // namespace hxm2afp
