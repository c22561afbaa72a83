/*
 * The one loader of the plug-in for tests: under a private ZENTRA_ROOT, loading and
 * unloading the built libhxm2afp.so as the console does (dlopen runs its
 * load entry, dlclose its unload entry), and typed lookups of its exports.
 * Tests never compile the plug-in's sources; they reach it only here.
 */
#ifndef HXM_TESTS_SUPPORT_PLUGIN_HOST_H
#define HXM_TESTS_SUPPORT_PLUGIN_HOST_H

#include <string>
#include <vector>

#include "platform/console/hxm_console.h"
#include "tests/support/files.h"

namespace hxm_test {

/* The built plug-in, loaded under `root` (ZENTRA_ROOT set for the load,
 * restored afterwards). Unloads on destruction unless already unloaded. */
class LoadedPlugin {
  public:
    explicit LoadedPlugin(const TempRoot &root);
    ~LoadedPlugin();
    LoadedPlugin(const LoadedPlugin &) = delete;
    LoadedPlugin &operator=(const LoadedPlugin &) = delete;

    bool loaded() const { return handle_ != nullptr; }
    void *handle() const { return handle_; }
    /* The address of an exported name, or null. */
    void *Symbol(const char *name) const;
    template <typename T> T Function(const char *name) const {
        return reinterpret_cast<T>(Symbol(name));
    }
    /* dlclose; true when the object is really gone from the process. */
    bool Unload();

  private:
    void *handle_ = nullptr;
};

/* Whether a log line carries `prefix` ("[i ", "[L ", ...), a "%F %T" stamp and then `text`. */
bool IsLogLine(const std::string &line, const std::string &prefix, const std::string &text);
/* Lines of `lines` for which IsLogLine holds with `prefix`, stamps removed. */
std::vector<std::string> LogTexts(const std::vector<std::string> &lines, const std::string &prefix);

/* Registrations of the keywords afpcons, afplogs and afpofm, in order. */
std::vector<hxm::Registration> PluginRegistrations();

/* One request through the in-process host: GET without a body, POST with
 * this form body. */
hxm::Response Get(const std::string &target, unsigned int accessFlags = 0x9,
                  unsigned failures = hxm::kFailNone);
hxm::Response Post(const std::string &target, const std::string &body,
                   unsigned int accessFlags = 0x9, unsigned failures = hxm::kFailNone);
/* `method` (a POST with the form body "x=1") through the host. */
hxm::Response Serve(const std::string &target, unsigned int accessFlags = 0x9,
                    const std::string &method = "GET", unsigned failures = hxm::kFailNone);

/* The value of the response's header `name` ("" when it has none). */
std::string HeaderValue(const hxm::Response &response, const std::string &name);

/* Path of the built plug-in and the list of every name it exports. */
const char *PluginPath();
std::vector<std::string> ExportedNames();

} // namespace hxm_test

#endif
