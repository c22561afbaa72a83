/*
 * The plug-in tests' fixtures: see plugin_fixture.h.
 */
#include "tests/support/plugin_fixture.h"

namespace hxm_test {

void PluginTest::LoadPlugin(bool withGermanCatalogue, const std::string &config) {
    plugin_.reset();
    root_ = std::make_unique<TempRoot>();
    root_->MakeLogDirectory();
    if (withGermanCatalogue)
        root_->InstallGermanCatalogue();
    if (!config.empty())
        root_->WriteConfig(config);
    plugin_ = std::make_unique<LoadedPlugin>(*root_);
    ASSERT_TRUE(plugin_->loaded());
}

void PluginTest::UnloadPlugin() {
    if (testMethod_ != nullptr) {
        int outCode = 0;
        DeRegisterServiceMethod(testLinkText_.c_str(), testKeyword_.c_str(),
                                static_cast<int>(testKeyword_.size()), testMethod_, 0, &outCode);
        testMethod_ = nullptr;
    }
    plugin_.reset();
    root_.reset();
}

void PluginTest::RegisterTestKeyword(const std::string &linkText, const std::string &keyword,
                                     HxmServiceMethod method) {
    HxmServiceGroup group = {0, 0, "Tests"};
    int outCode = 0;
    ASSERT_NE(RegisterServiceMethodEx(linkText.c_str(), keyword.c_str(),
                                      static_cast<int>(keyword.size()), &group, 0, 0, method, 0,
                                      &outCode),
              0);
    testLinkText_ = linkText;
    testKeyword_ = keyword;
    testMethod_ = method;
}

void ScriptedPluginTest::SetUp() {
    scripted::Reset();
    PluginTest::SetUp();
}

void ScriptedPluginTest::TearDown() {
    EXPECT_EQ(scripted::LiveCount(), 0u) << ::testing::PrintToString(scripted::LiveHandouts());
    EXPECT_TRUE(scripted::Errors().empty()) << ::testing::PrintToString(scripted::Errors());
    PluginTest::TearDown();
    scripted::Reset();
}

} // namespace hxm_test
