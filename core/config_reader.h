/*
 * The plug-in's configuration file: one "KEY VALUE" pair per line.
 */
#ifndef HXM_CORE_CONFIG_READER_H
#define HXM_CORE_CONFIG_READER_H

#include "base/export.h"

/* Result codes (errno values, as the callers compare them). */
enum {
    HXM_CONFIG_OK = 0,
    HXM_CONFIG_CANNOT_OPEN = 2, /* ENOENT: the file cannot be opened */
    HXM_CONFIG_READ_ERROR = 5,  /* EIO: reading the file failed part-way */
    HXM_CONFIG_BAD_ARGUMENT = 22,
    HXM_CONFIG_NOT_FOUND = 61, /* ENODATA: no such key and no default */
    HXM_CONFIG_TOO_LONG = 90   /* EMSGSIZE: *size now holds the size needed */
};

/* Sets *present to 0, then tests that `path` opens for reading and updating
 * (it exists and the process may write it). Returns 0 with *present set to 1,
 * or 2 with *present left 0. `present` may be null. */
HXM_EXPORT int ConfigFileExists(const char *path, int *present);

/* Looks up `key` in the file `path`. A line is read in pieces of at most 511
 * characters; of each piece the first two words are key and value (anything
 * after them is ignored, pieces with fewer words are skipped), keys starting
 * with "#" or ";" are comments, keys compare with case, and the first match
 * wins. The file is opened with "a+", so a missing file is created empty.
 *
 * On a match, or with no match and `defaultValue` given, the text is copied
 * with its terminator into `value` when it is shorter than *size: result 0.
 * A text of *size characters or more is refused, never cut: result 90 with
 * *size set to its length + 1 and `value` unchanged. No match and no
 * default: 61. A null path, key, value or size: 22. The file cannot be
 * opened: 2. Reading fails part-way: 5. */
HXM_EXPORT int ReadConfigFileValue(const char *path, const char *key, char *value, int *size,
                                   const char *defaultValue);

#endif
