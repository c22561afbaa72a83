/*
 * Closing the files a decoded post body names, for the connections and
 * open-file dispatchers.
 */
#ifndef HXM_MONITOR_CLOSE_FILES_H
#define HXM_MONITOR_CLOSE_FILES_H

#include <string>

#include "base/export.h"

/* Closes, in order, every file whose path a decoded body carries between
 * "<filename>" and "</filename>", or, percent-encoded, between
 * "<encodedfilename>" and "</encodedfilename>" (each path cut to 511 bytes;
 * an encoded path that does not decode closes nothing). Failures are logged
 * and skipped. A null or empty body closes nothing. Always returns 0. */
HXM_EXPORT int parseDataToCloseAFPFiles(const char *decoded);

/* Closes the file with this full path for every connection holding it;
 * returns the monitoring library's status (0 when closed). */
HXM_EXPORT int closeAFPFiles(const char *fileName);

namespace hxm2afp {

/* How a page names one file for the close loop: the text between the
 * markers, and the markers. A path that holds a marker text of its own is
 * written percent-encoded between the encoded markers, so its own marker
 * texts can never end it or start another; every other path is written as
 * it is, between "<filename>" and "</filename>". The page escapes the text
 * for where it lands; the markers need no escaping. */
struct CloseName {
    const char *start;
    std::string text;
    const char *end;
};
CloseName close_name(const char *path);

} // namespace hxm2afp

#endif
