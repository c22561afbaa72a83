/*
 * The connections tests' fixture: see connections_fixture.h.
 */
#include "tests/pages/connections/connections_fixture.h"

#include <sstream>

namespace connections_test {

void PluginTest::SetUp() {
    scripted::Reset();
    root_ = std::make_unique<core_test::TempRoot>();
    root_->MakeLogDirectory();
    plugin_ = std::make_unique<core_test::LoadedPlugin>(*root_);
    ASSERT_TRUE(plugin_->loaded());
}

void PluginTest::TearDown() {
    EXPECT_EQ(scripted::LiveCount(), 0u) << ::testing::PrintToString(scripted::LiveHandouts());
    EXPECT_TRUE(scripted::Errors().empty()) << ::testing::PrintToString(scripted::Errors());
    plugin_.reset();
    root_.reset();
    scripted::Reset();
}

hxm::Response PluginTest::Get(const std::string &target, unsigned int flags, unsigned failures) {
    hxm::Request request;
    request.target = target;
    request.accessFlags = flags;
    request.failures = failures;
    return hxm::HandleRequest(request);
}

hxm::Response PluginTest::Post(const std::string &target, const std::string &body,
                               unsigned int flags, unsigned failures) {
    hxm::Request request;
    request.method = "POST";
    request.contentType = "application/x-www-form-urlencoded";
    request.body = body;
    request.target = target;
    request.accessFlags = flags;
    request.failures = failures;
    return hxm::HandleRequest(request);
}

std::string CallsText() {
    std::ostringstream out;
    for (const scripted::Call &call : scripted::Calls())
        out << call << "\n";
    return out.str();
}

std::vector<scripted::Call> CallsOf(const std::string &function) {
    std::vector<scripted::Call> calls;
    for (const scripted::Call &call : scripted::Calls()) {
        if (call.function == function)
            calls.push_back(call);
    }
    return calls;
}

} // namespace connections_test
