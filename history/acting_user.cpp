/*
 * Who asks for an action (see acting_user.h).
 */
#include "history/acting_user.h"

#include <dlfcn.h>
#include <pwd.h>
#include <unistd.h>

#include <atomic>

namespace hxm2afp::history {
namespace {

using HostUserCall = int (*)(void *request, char *name, unsigned long *length);

std::atomic<HostUserCall> host_user_call{nullptr};

// The thread's acting user while a RequestActor holds one (constant-
// initialised: the plug-in holds no global that needs a constructor).
thread_local const char *thread_actor = nullptr;

} // namespace

void find_host_user_call() {
    // The host's own symbols are global to every object it loads.
    host_user_call.store(
        reinterpret_cast<HostUserCall>(dlsym(RTLD_DEFAULT, "HttpReturnRequestUser")));
}

RequestActor::~RequestActor() {
    if (taken_ && thread_actor == name_)
        thread_actor = nullptr;
}

void RequestActor::take(void *request) {
    const HostUserCall call = host_user_call.load();
    unsigned long length = sizeof name_;
    if (call == nullptr || call(request, name_, &length) != 0)
        name_[0] = '\0';
    taken_ = true;
    thread_actor = name_;
}

const char *request_actor() {
    return thread_actor != nullptr ? thread_actor : "";
}

std::string unix_user() {
    const uid_t uid = getuid();
    struct passwd entry;
    struct passwd *found = nullptr;
    char buffer[4096];
    if (getpwuid_r(uid, &entry, buffer, sizeof buffer, &found) == 0 && found != nullptr)
        return found->pw_name;
    return std::to_string(uid);
}

} // namespace hxm2afp::history
