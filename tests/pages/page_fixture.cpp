/*
 * The areas' page test fixture: see page_fixture.h.
 */
#include "tests/pages/page_fixture.h"

namespace page_test {

void PluginPageTest::SetUp() {
    scripted::Reset();
    root_ = std::make_unique<core_test::TempRoot>();
    root_->MakeLogDirectory();
    plugin_ = std::make_unique<core_test::LoadedPlugin>(*root_);
    ASSERT_TRUE(plugin_->loaded());
}

void PluginPageTest::TearDown() {
    EXPECT_EQ(scripted::LiveCount(), 0u) << ::testing::PrintToString(scripted::LiveHandouts());
    EXPECT_TRUE(scripted::Errors().empty()) << ::testing::PrintToString(scripted::Errors());
    plugin_.reset();
    root_.reset();
    scripted::Reset();
}

hxm::Response PluginPageTest::Get(const std::string &target, unsigned int flags,
                                  unsigned failures) {
    hxm::Request request;
    request.target = target;
    request.accessFlags = flags;
    request.failures = failures;
    return hxm::HandleRequest(request);
}

hxm::Response PluginPageTest::Post(const std::string &target, const std::string &body,
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

} // namespace page_test
