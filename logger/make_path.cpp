/*
 * Directory chains and path comparison: make_path, MakeLinuxPath and
 * path_check.
 */
#include <errno.h>

#include "base/dir_chain.h"
#include "logger/logger.h"

namespace {

constexpr unsigned int kLinuxPathMode = 0744;

} // namespace

int make_path(const char *path, unsigned int mode) {
    return hxm2afp::make_dir_chain(path, mode);
}

int MakeLinuxPath(const char *path) {
    return make_path(path, kLinuxPathMode) == -1 ? errno : 0;
}

int path_check(const char *a, const char *b) {
    if (a == nullptr || b == nullptr)
        return 0;
    for (;; ++a, ++b) {
        if (*a == '\0' && *b == '\0')
            return 1;
        if (*a == '\0')
            return *b == '/';
        if (*b == '\0')
            return *a == '/';
        if (*a != *b)
            return 0;
    }
}
