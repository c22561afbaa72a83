/*
 * Closing the files a decoded post body names, for the connections and
 * open-file dispatchers.
 */
#ifndef HXM_MONITOR_CLOSE_FILES_H
#define HXM_MONITOR_CLOSE_FILES_H

#include "base/export.h"

/* Closes, in order, every file whose path a decoded body carries between
 * "<filename>" and "</filename>" (each path cut to 511 bytes). Failures are
 * logged and skipped. A null or empty body closes nothing. Always returns 0. */
HXM_EXPORT int parseDataToCloseAFPFiles(const char *decoded);

/* Closes the file with this full path for every connection holding it;
 * returns the monitoring library's status (0 when closed). */
HXM_EXPORT int closeAFPFiles(const char *fileName);

#endif
