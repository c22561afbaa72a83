/*
 * Fixed server paths under $ZENTRA_ROOT: the variable is read once, on first
 * use, and kept. A root too long to form any path refuses every path rather
 * than falling back to the real server paths.
 */
#include "base/root_paths.h"

#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

constexpr size_t kRootSize = 4096;

pthread_once_t g_root_once = PTHREAD_ONCE_INIT;
char g_root[kRootSize];
bool g_root_unusable;

void read_root() {
    const char *root = getenv("ZENTRA_ROOT");
    if (root == nullptr)
        return;
    size_t length = strlen(root);
    while (length > 0 && root[length - 1] == '/')
        --length;
    if (length >= sizeof g_root) {
        g_root_unusable = true;
        return;
    }
    memcpy(g_root, root, length);
    g_root[length] = '\0';
}

} // namespace

namespace hxm2afp {

const char *root() {
    pthread_once(&g_root_once, read_root);
    return g_root_unusable ? nullptr : g_root;
}

const char *root_path(const char *fixed, char *out, size_t size) {
    if (out == nullptr || size == 0)
        return nullptr;
    out[0] = '\0';
    const char *prefix = root();
    if (fixed == nullptr || prefix == nullptr)
        return nullptr;
    // Only absolute paths move under the root; a relative one stands as given.
    if (fixed[0] != '/')
        prefix = "";
    int written = snprintf(out, size, "%s%s", prefix, fixed);
    if (written < 0 || static_cast<size_t>(written) >= size) {
        out[0] = '\0';
        return nullptr;
    }
    return out;
}

} // namespace hxm2afp
