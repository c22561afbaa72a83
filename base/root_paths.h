/*
 * Fixed server paths taken under $ZENTRA_ROOT.
 *
 * The root is read once, on first use (the load entry makes that first use),
 * and kept for the life of the process. With the variable unset or empty the
 * fixed paths stand as they are.
 */
#ifndef HXM_BASE_ROOT_PATHS_H
#define HXM_BASE_ROOT_PATHS_H

#include <stddef.h>

namespace hxm2afp {

/* The root without trailing slashes, "" when unset or empty, or null when
 * the variable is too long to form any path. */
const char *root();

/* Writes `fixed` under the root into `out` (`size` bytes) and returns `out`.
 * A relative `fixed` stands as given. Returns null, leaving `out` empty, when
 * `fixed` is null, the root is unusable or the result does not fit: a cut
 * path would name another file. */
const char *root_path(const char *fixed, char *out, size_t size);

} // namespace hxm2afp

#endif
