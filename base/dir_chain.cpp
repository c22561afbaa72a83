/*
 * Directory chain creation, shared by the logger's make_path and the core's
 * pkg_dir_build, which are exported under both names with one behaviour.
 */
#include "base/dir_chain.h"

#include <errno.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

namespace {

constexpr unsigned int kDefaultChainMode = 0777;

// Frees the working copy, keeping errno.
int fail_with(char *copy, int error) {
    free(copy);
    errno = error;
    return -1;
}

} // namespace

namespace hxm2afp {

int make_dir_chain(const char *path, unsigned int mode) {
    if (path == nullptr) {
        errno = EINVAL;
        return -1;
    }
    char *copy = strdup(path);
    if (copy == nullptr) {
        errno = ENOMEM;
        return -1;
    }
    mode_t creationMode = mode != 0 ? mode : kDefaultChainMode;
    // A leading "/" is never a separator: the root is not created.
    char *scan = copy[0] == '/' ? copy + 1 : copy;
    for (;;) {
        char *slash = strchr(scan, '/');
        bool last = slash == nullptr || slash[1] == '\0';
        if (slash != nullptr)
            *slash = '\0';
        if (mkdir(copy, creationMode) != 0) {
            int error = errno;
            if (error != EEXIST && error != EISDIR)
                return fail_with(copy, error);
            struct stat status;
            if (stat(copy, &status) != 0)
                return fail_with(copy, errno);
            if (!S_ISDIR(status.st_mode))
                return fail_with(copy, last ? EEXIST : ENOTDIR);
        }
        if (last) {
            free(copy);
            return 0;
        }
        *slash = '/';
        scan = slash + 1;
    }
}

} // namespace hxm2afp
