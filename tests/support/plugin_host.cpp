/*
 * The test host: loading the built plug-in, reading its log.
 */
#include "tests/support/plugin_host.h"

#include <strings.h>

#include <dlfcn.h>
#include <stdlib.h>

#include <cctype>
#include <sstream>
#include <stdexcept>

#include "tests/support/host_request.h"

namespace hxm_test {

LoadedPlugin::LoadedPlugin(const TempRoot &root) {
    ScopedVariable variable("ZENTRA_ROOT", root.path());
    handle_ = dlopen(PluginPath(), RTLD_NOW | RTLD_LOCAL);
    if (handle_ == nullptr)
        throw std::runtime_error(std::string("dlopen: ") + dlerror());
}

LoadedPlugin::~LoadedPlugin() {
    if (handle_ != nullptr)
        dlclose(handle_);
}

void *LoadedPlugin::Symbol(const char *name) const {
    return handle_ != nullptr ? dlsym(handle_, name) : nullptr;
}

bool LoadedPlugin::Unload() {
    if (handle_ == nullptr || dlclose(handle_) != 0)
        return false;
    handle_ = nullptr;
    void *still = dlopen(PluginPath(), RTLD_NOW | RTLD_NOLOAD);
    if (still != nullptr) {
        dlclose(still);
        return false;
    }
    return true;
}

bool IsLogLine(const std::string &line, const std::string &prefix, const std::string &text) {
    // "<prefix>YYYY-MM-DD HH:MM:SS] <text>"
    static const char kStampShape[] = "dddd-dd-dd dd:dd:dd] ";
    size_t stampLength = sizeof kStampShape - 1;
    if (line.size() < prefix.size() + stampLength || line.compare(0, prefix.size(), prefix) != 0)
        return false;
    for (size_t i = 0; i < stampLength; ++i) {
        char c = line[prefix.size() + i];
        bool ok = kStampShape[i] == 'd' ? std::isdigit(static_cast<unsigned char>(c)) != 0
                                        : c == kStampShape[i];
        if (!ok)
            return false;
    }
    return line.compare(prefix.size() + stampLength, std::string::npos, text) == 0;
}

std::vector<std::string> LogTexts(const std::vector<std::string> &lines,
                                  const std::string &prefix) {
    std::vector<std::string> texts;
    const size_t stampLength = 21;
    for (const std::string &line : lines) {
        if (line.size() >= prefix.size() + stampLength &&
            IsLogLine(line, prefix, line.substr(prefix.size() + stampLength)))
            texts.push_back(line.substr(prefix.size() + stampLength));
    }
    return texts;
}

std::vector<hxm::Registration> PluginRegistrations() {
    std::vector<hxm::Registration> ours;
    for (const hxm::Registration &entry : hxm::Registrations()) {
        if (entry.keyword == "afpcons" || entry.keyword == "afplogs" || entry.keyword == "afpofm")
            ours.push_back(entry);
    }
    return ours;
}

hxm::Response Get(const std::string &target, unsigned int accessFlags, unsigned failures) {
    return Serve(target, accessFlags, "GET", failures);
}

hxm::Response Post(const std::string &target, const std::string &body, unsigned int accessFlags,
                   unsigned failures) {
    return SendRequest("POST", target, body, "application/x-www-form-urlencoded", accessFlags,
                       failures);
}

hxm::Response Serve(const std::string &target, unsigned int accessFlags, const std::string &method,
                    unsigned failures) {
    if (method == "POST")
        return Post(target, "x=1", accessFlags, failures);
    return SendRequest(method, target, "", "", accessFlags, failures);
}

std::string HeaderValue(const hxm::Response &response, const std::string &name) {
    for (const auto &[key, value] : response.headers) {
        if (strcasecmp(key.c_str(), name.c_str()) == 0)
            return value;
    }
    return "";
}

const char *PluginPath() {
    return HXM_PLUGIN_PATH;
}

std::vector<std::string> ExportedNames() {
    std::vector<std::string> names;
    std::istringstream in(ReadFile(HXM_PLUGIN_EXPORTS));
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line[0] != '#')
            names.push_back(line);
    }
    return names;
}

} // namespace hxm_test
