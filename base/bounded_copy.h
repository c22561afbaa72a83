/*
 * The plug-in's one bounded text copy, for fixed buffers filled from texts
 * that may lack their terminator (the monitoring library's fixed fields) or
 * run longer than the buffer keeps.
 */
#ifndef HXM_BASE_BOUNDED_COPY_H
#define HXM_BASE_BOUNDED_COPY_H

#include <stddef.h>
#include <string.h>

namespace hxm2afp {

/* Copies the text of `source` up to its NUL but at most `limit` bytes into
 * `destination` (at least limit + 1 bytes) and terminates it; a null source
 * copies as empty. Never reads past `limit` bytes of the source. Returns the
 * length copied. */
inline size_t copy_bounded(char *destination, const char *source, size_t limit) {
    const size_t length = source != nullptr ? strnlen(source, limit) : 0;
    // memmove, not memcpy: GCC expands a memcpy whose length it can bound
    // into `rep movsq`, which takes tens of cycles to start for a short
    // text; the C library's own copy is several times faster for the names
    // and times a list page copies by the thousand.
    if (length > 0)
        memmove(destination, source, length);
    destination[length] = '\0';
    return length;
}

} // namespace hxm2afp

#endif
