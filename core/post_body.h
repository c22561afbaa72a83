/*
 * Decoding form-encoded post bodies. Shared by the connections and open-file
 * dispatchers.
 */
#ifndef HXM_CORE_POST_BODY_H
#define HXM_CORE_POST_BODY_H

#include "base/export.h"

/* Stores in *decoded a new heap buffer of length + 1 bytes holding the
 * decoded text ("+" -> space, "%XY" -> the byte XY reads as hexadecimal);
 * the caller frees it. Decoding stops at the text's NUL or after `length`
 * bytes, whichever comes first, so the buffer always holds the result. A "%"
 * with fewer than two characters after it is copied as it stands. A null
 * text decodes as empty. When the buffer cannot be allocated *decoded is set
 * to null (callers treat that as an empty body). Always returns 0. */
HXM_EXPORT int decodePostDataString(const char *encoded, unsigned long length, char **decoded);

#endif
