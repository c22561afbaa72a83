/*
 * The plug-ins hxm-console hosts: loaded at start (their load entry
 * registers their services), unloaded at shutdown (their unload entry
 * removes them), last loaded first unloaded.
 */
#ifndef HXM_PLATFORM_CONSOLE_SERVER_PLUGINS_H
#define HXM_PLATFORM_CONSOLE_SERVER_PLUGINS_H

#include <string>
#include <vector>

namespace hxm_server {

class PluginSet {
  public:
    PluginSet() = default;
    PluginSet(const PluginSet &) = delete;
    PluginSet &operator=(const PluginSet &) = delete;
    ~PluginSet() { UnloadAll(); }

    // Loads the shared object at `path` (a bare name is taken in the current
    // directory), running its load entry. With `withholdClearing` (a users
    // file is in use), the plug-in's exported AllowClearConn is set to 0, so
    // a user whose flag word withholds clearing power cannot clear: the
    // plug-in's own default grants it to everyone. False, with *error
    // holding the loader's reason, when it cannot be loaded.
    bool Load(const std::string &path, bool withholdClearing, std::string *error);

    // Unloads every plug-in in the reverse order of loading, running each
    // one's unload entry. No request may be running.
    void UnloadAll();

  private:
    std::vector<void *> handles_;
};

} // namespace hxm_server

#endif
