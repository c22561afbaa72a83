// The test plug-in, loaded as the console loads plug-ins: it registers on
// load, answers through the host calls, and deregisters on unload.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <sys/stat.h>

#include "platform/console/hxm_console.h"
#include "tests/platform/console/test_support.h"
#include "tests/support/files.h"

namespace hxm_test {
namespace {

bool EchoRegistered() {
    for (const hxm::Registration &entry : hxm::Registrations()) {
        if (entry.keyword == "echo")
            return entry.linkText == "Echo" && entry.groupTitle == "Test Tools";
    }
    return false;
}

TEST(ConsoleEchoPlugin, RegistersAnswersAndLeavesOnUnload) {
    TempRoot root("hxm-echo");
    ASSERT_EQ(setenv("ZENTRA_ROOT", root.path().c_str(), 1), 0);

    void *plugin = dlopen(ECHO_PLUGIN_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(plugin, nullptr) << dlerror();
    EXPECT_TRUE(EchoRegistered());

    hxm::Request request;
    request.method = "POST";
    request.contentType = "application/x-www-form-urlencoded";
    request.target = "/echo/a/b%20c?x=1";
    request.body = "FILTER=%2A.txt&x=1";
    request.accessFlags = 0x9;
    hxm::Response response = hxm::HandleRequest(request);
    EXPECT_EQ(response.status, 200);
    EXPECT_EQ(response.body, "method=2\npath=/echo/a/b c\nflags=0x9\ncomponents=2\n"
                             "body=FILTER=%2A.txt&x=1\n");

    EXPECT_EQ(Serve("/echo/decline").status, 404);
    hxm::Response redirect = Serve("/echo/redirect");
    EXPECT_EQ(redirect.status, 302);
    ASSERT_EQ(redirect.headers.size(), 1u);
    EXPECT_EQ(redirect.headers[0].second, "/echo");
    hxm::Response framed = Serve("/echo/frame");
    EXPECT_EQ(framed.status, 200);
    EXPECT_NE(framed.body.find("var echo = 1;"), std::string::npos);
    EXPECT_NE(framed.body.find("method=0\npath=/echo/frame\n"), std::string::npos);

    std::string marker = root.path() + "/echo-unloaded";
    EXPECT_NE(access(marker.c_str(), F_OK), 0);
    ASSERT_EQ(dlclose(plugin), 0);
    EXPECT_FALSE(EchoRegistered());
    EXPECT_EQ(Serve("/echo").status, 404);
    EXPECT_EQ(access(marker.c_str(), F_OK), 0);

    unsetenv("ZENTRA_ROOT");
}

} // namespace

} // namespace hxm_test
