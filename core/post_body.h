/*
 * Decoding form-encoded post bodies and closing the files a decoded body
 * names. Shared by the connections and open-file dispatchers.
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

/* Closes, in order, every file whose path a decoded body carries between
 * "<filename>" and "</filename>" (each path cut to 511 bytes). Failures are
 * logged and skipped. A null or empty body closes nothing. Always returns 0. */
HXM_EXPORT int parseDataToCloseAFPFiles(const char *decoded);

/* Closes the file with this full path for every connection holding it;
 * returns the monitoring library's status (0 when closed). */
HXM_EXPORT int closeAFPFiles(const char *fileName);

#endif
