/*
 * Path helpers: a path's parent, the canonical-name check the log page uses
 * before listing a directory, and directory (chain) creation. Failures are
 * traced at debug level, each line naming its function in brackets.
 */
#include "core/paths.h"

#include <errno.h>
#include <limits.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

#include "base/dir_chain.h"
#include "logger/logger.h"

namespace {

constexpr unsigned int kLinuxPathMode = 0744;
constexpr int kNotCanonical = ELOOP;

} // namespace

char *MakeParentPath(const char *path, char *out) {
    if (out == nullptr)
        return nullptr;
    if (path == nullptr) {
        out[0] = '\0';
        return out;
    }
    size_t cut = strlen(path);
    if (cut > 0)
        --cut;
    while (cut > 0 && path[cut] != '/')
        --cut;
    // `out` may be `path` itself.
    memmove(out, path, cut);
    out[cut] = '\0';
    return out;
}

int VerifyLinuxPath(const char *path) {
    if (path == nullptr)
        return EINVAL;
    HXM_DEBUG("[%s] lnxpath=%s", "VerifyLinuxPath", path);
    struct stat status;
    if (stat(path, &status) != 0) {
        int error = errno;
        HXM_DEBUG("[%s] stat lnxpath=%s rc=%d", "VerifyLinuxPath", path, error);
        return error;
    }
    char resolved[PATH_MAX];
    if (realpath(path, resolved) == nullptr) {
        int error = errno;
        HXM_DEBUG("[%s] realpath lnxpath=%s rc=%d", "VerifyLinuxPath", path, error);
        return error;
    }
    if (strcmp(path, resolved) != 0) {
        HXM_DEBUG("[%s] strcmp lnxpath=%s rc=%d", "VerifyLinuxPath", path, kNotCanonical);
        return kNotCanonical;
    }
    return 0;
}

int pkg_dir_build(const char *path, unsigned int mode) {
    return hxm2afp::make_dir_chain(path, mode);
}

int CreateLinuxPath(const char *path) {
    HXM_DEBUG("[%s] lnxpath=%s", "CreateLinuxPath", path != nullptr ? path : "");
    if (pkg_dir_build(path, kLinuxPathMode) != -1)
        return 0;
    int error = errno;
    HXM_DEBUG("[%s] lnxpath=%s rc=%d", "CreateLinuxPath", path != nullptr ? path : "", error);
    return error;
}

int MakeLinuxFolder(char *path) {
    if (path == nullptr) {
        errno = EINVAL;
        return -1;
    }
    return mkdir(path, kLinuxPathMode);
}
