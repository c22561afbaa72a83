/*
 * Plug-in loading with the dynamic loader.
 */
#include "platform/console/server/plugins.h"

#include <dlfcn.h>

namespace hxm_server {

bool PluginSet::Load(const std::string &path, bool withholdClearing, std::string *error) {
    // RTLD_NOW: a plug-in missing a host call fails here, not mid-request.
    // RTLD_LOCAL: plug-ins do not see each other's symbols.
    // A bare name is a file here, not a library for the loader to search for.
    std::string file = path.find('/') == std::string::npos ? "./" + path : path;
    void *handle = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char *reason = dlerror();
        *error = reason != nullptr ? reason : "cannot load " + path;
        return false;
    }
    handles_.push_back(handle);
    if (withholdClearing) {
        // Requests only start once every plug-in is loaded, so no thread
        // reads the word while it changes.
        if (auto *allowClear = static_cast<int *>(dlsym(handle, "AllowClearConn")))
            *allowClear = 0;
    }
    return true;
}

void PluginSet::UnloadAll() {
    while (!handles_.empty()) {
        dlclose(handles_.back());
        handles_.pop_back();
    }
}

} // namespace hxm_server
