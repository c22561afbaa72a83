// Many requests at once against one registered method, while other keywords
// come and go: every answer must be the one its own request asked for.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include <zentra/hxm_host.h>

#include "platform/console/hxm_console.h"
#include "tests/platform/console/test_support.h"

namespace hxm_test {
namespace {

// Echoes the path and the post body back through the host calls.
int EchoingMethod(void *request, unsigned int, unsigned int, unsigned int flags) {
    char *path = nullptr;
    char *post = nullptr;
    unsigned long length = 0;
    if (HttpReturnPathBuffers(request, nullptr, &path, nullptr) != 0 ||
        HttpReturnPostDataBuffer(request, &post, &length) != 0 ||
        HttpSendSuccessfulResponse(request, HttpReturnString(5)) != 0)
        return 500;
    post[length] = '\0';
    BuildAndSendHeader(request, "t", "h", 0, 0, 0, nullptr, nullptr, nullptr);
    for (int i = 0; i < 50; ++i)
        HttpSendDataSprintf(request, "[%s|%s|%x]", path, post, flags);
    HttpEndDataResponse(request);
    return 200;
}

int Other(void *, unsigned int, unsigned int, unsigned int) {
    return 0;
}

TEST(ConsoleConcurrency, ParallelRequestsGetTheirOwnAnswers) {
    ScopedRegistration registration("conc", EchoingMethod);
    ASSERT_TRUE(registration.registered());
    constexpr int kThreads = 8;
    constexpr int kRequests = 200;
    std::atomic<int> wrong{0};
    std::atomic<bool> stop{false};

    // Registrations change while requests read the registry.
    std::thread churn([&stop] {
        HxmServiceGroup group{};
        int code = 0;
        while (!stop.load()) {
            RegisterServiceMethodEx("Churn", "concchurn", 9, &group, 0, 0, Other, 0, &code);
            DeRegisterServiceMethod("Churn", "concchurn", 9, Other, 0, &code);
        }
    });
    std::vector<std::thread> workers;
    for (int t = 0; t < kThreads; ++t) {
        workers.emplace_back([t, &wrong] {
            for (int i = 0; i < kRequests; ++i) {
                hxm::Request request;
                request.method = "POST";
                request.contentType = "application/x-www-form-urlencoded";
                request.target = "/conc/" + std::to_string(t) + "/" + std::to_string(i);
                request.body = "n=" + std::to_string(t * kRequests + i);
                request.accessFlags = static_cast<unsigned>(t);
                hxm::Response response = hxm::HandleRequest(request);
                std::string expected = "[/conc/" + std::to_string(t) + "/" + std::to_string(i) +
                                       "|" + request.body + "|" + std::to_string(t) + "]";
                std::size_t first = response.body.find(expected);
                if (response.status != 200 || first == std::string::npos ||
                    response.body.size() - first != 50 * expected.size())
                    ++wrong;
                hxm::RenderHome();
                hxm::Registrations();
            }
        });
    }
    for (std::thread &worker : workers)
        worker.join();
    stop = true;
    churn.join();
    EXPECT_EQ(wrong.load(), 0);
}

} // namespace

} // namespace hxm_test
