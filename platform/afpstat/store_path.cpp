/*
 * Resolving the store's and the service log's paths from the environment.
 */
#include "platform/afpstat/store_path.h"

#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

namespace afpstat {

namespace {

/* getenv, treating an empty value as unset. */
const char *nonempty_env(const char *name) {
    const char *value = getenv(name);
    return value != nullptr && value[0] != '\0' ? value : nullptr;
}

int bounded_format(char *out, size_t size, const char *prefix, const char *rest) {
    if (size == 0) {
        return -1;
    }
    int written = snprintf(out, size, "%s%s", prefix, rest);
    if (written < 0 || static_cast<size_t>(written) >= size) {
        out[0] = '\0';
        return -1;
    }
    return 0;
}

} // namespace

int make_parent_directories(const char *path) {
    char folder[4096];
    if (snprintf(folder, sizeof folder, "%s", path) >= static_cast<int>(sizeof folder)) {
        return ENAMETOOLONG;
    }
    char *last_slash = strrchr(folder, '/');
    if (last_slash == nullptr || last_slash == folder) {
        return 0;
    }
    *last_slash = '\0';
    for (char *cursor = folder + 1;; ++cursor) {
        bool at_end = *cursor == '\0';
        if (*cursor == '/' || at_end) {
            char saved = *cursor;
            *cursor = '\0';
            if (mkdir(folder, 0755) != 0 && errno != EEXIST) {
                return errno;
            }
            *cursor = saved;
        }
        if (at_end) {
            break;
        }
    }
    return 0;
}

int rooted_path(const char *relative, char *out, size_t size) {
    const char *root = nonempty_env("ZENTRA_ROOT");
    return bounded_format(out, size, root != nullptr ? root : "", relative);
}

int resolve_store_path(char *out, size_t size) {
    const char *explicit_path = nonempty_env("AFPSTAT_DB");
    if (explicit_path != nullptr) {
        return bounded_format(out, size, "", explicit_path);
    }
    return rooted_path(kStoreRelativePath, out, size);
}

} // namespace afpstat
