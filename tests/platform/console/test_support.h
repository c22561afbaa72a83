/*
 * Shared pieces of the console host tests: a registration that removes
 * itself, a service method whose behaviour each test supplies, and a short
 * way to run one request in-process.
 */
#ifndef HXM_TESTS_PLATFORM_CONSOLE_TEST_SUPPORT_H
#define HXM_TESTS_PLATFORM_CONSOLE_TEST_SUPPORT_H

#include <cstring>
#include <functional>
#include <string>

#include <zentra/hxm_host.h>

#include "platform/console/hxm_console.h"
#include "tests/support/host_request.h"

namespace hxm_test {

// Registers `method` under `keyword` for the object's lifetime.
class ScopedRegistration {
  public:
    ScopedRegistration(const char *keyword, HxmServiceMethod method,
                       const char *linkText = "Test Link", const char *groupTitle = "Test Group")
        : keyword_(keyword), method_(method) {
        HxmServiceGroup group{};
        std::strncpy(group.title, groupTitle, sizeof group.title - 1);
        registered_ = RegisterServiceMethodEx(linkText, keyword, static_cast<int>(keyword_.size()),
                                              &group, 0x4000d, 0, method, 0, &code_) != 0;
    }
    ~ScopedRegistration() {
        if (registered_) {
            int code = 0;
            DeRegisterServiceMethod(nullptr, keyword_.c_str(), static_cast<int>(keyword_.size()),
                                    method_, 0, &code);
        }
    }
    ScopedRegistration(const ScopedRegistration &) = delete;
    ScopedRegistration &operator=(const ScopedRegistration &) = delete;

    bool registered() const { return registered_; }
    int code() const { return code_; }

  private:
    std::string keyword_;
    HxmServiceMethod method_;
    bool registered_ = false;
    int code_ = -1;
};

// What ProbeMethod does for the current test: gets the request handle and
// the access flags, returns the method's result.
inline std::function<int(void *, unsigned int)> &Probe() {
    static std::function<int(void *, unsigned int)> probe;
    return probe;
}

inline int ProbeMethod(void *request, unsigned int, unsigned int, unsigned int accessFlags) {
    return Probe()(request, accessFlags);
}

// Registers ProbeMethod under "probe" with `body` as its behaviour. A second
// ScopedProbe made while one lives only replaces the behaviour.
class ScopedProbe {
  public:
    explicit ScopedProbe(std::function<int(void *, unsigned int)> body)
        : registration_("probe", ProbeMethod) {
        Probe() = std::move(body);
    }
    ~ScopedProbe() { Probe() = nullptr; }
    bool registered() const { return registration_.registered(); }

  private:
    ScopedRegistration registration_;
};

inline hxm::Response Serve(const std::string &target, const std::string &method = "GET",
                           const std::string &body = "", const std::string &contentType = "",
                           unsigned failures = hxm::kFailNone) {
    return SendRequest(method, target, body, contentType, 0x9, failures);
}

// A 200 HTML answer whose body is `text`; returns 200.
inline int AnswerText(void *request, const char *text) {
    if (HttpSendSuccessfulResponse(request, HttpReturnString(5)) != 0)
        return 500;
    HttpSendDataSprintf(request, "%s", text);
    HttpEndDataResponse(request);
    return 200;
}

} // namespace hxm_test

#endif
