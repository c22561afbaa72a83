/*
 * The fixture family of the plug-in tests. PluginTest loads the built plug-in
 * under a private root for each test (requests go through the in-process
 * host: Get, Post and Serve in plugin_host.h); a test may register a keyword
 * of its own whose service method calls the plug-in's exports.
 * SuitePluginTest loads it once for a whole suite instead.
 * ScriptedPluginTest adds the scriptable monitoring library, reset before and
 * checked after every test (nothing handed out is left unfreed, nothing was
 * misused).
 */
#ifndef HXM_TESTS_SUPPORT_PLUGIN_FIXTURE_H
#define HXM_TESTS_SUPPORT_PLUGIN_FIXTURE_H

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include <zentra/hxm_host.h>

#include "tests/support/plugin_host.h"
#include "tests/support/scripted_afpstat.h"

namespace hxm_test {

class PluginTest : public ::testing::Test {
  protected:
    void SetUp() override { LoadPlugin(); }
    void TearDown() override { UnloadPlugin(); }

    /* A fresh root with its log folder (and the German catalogue and a
     * configuration file when asked), the plug-in loaded under it; a plug-in
     * already loaded is unloaded first. */
    void LoadPlugin(bool withGermanCatalogue = false, const std::string &config = "");
    /* Removes the test keyword, unloads the plug-in and removes the root. */
    void UnloadPlugin();

    /* The plug-in's export `name`, failing the test when it is missing. */
    template <typename T> T Export(const char *name) {
        T function = plugin_->Function<T>(name);
        EXPECT_NE(function, nullptr) << name;
        return function;
    }

    /* Registers `keyword` (link text `linkText`, group "Tests") served by
     * `method` until the plug-in is unloaded. */
    void RegisterTestKeyword(const std::string &linkText, const std::string &keyword,
                             HxmServiceMethod method);

    std::unique_ptr<TempRoot> root_;
    std::unique_ptr<LoadedPlugin> plugin_;

  private:
    std::string testLinkText_;
    std::string testKeyword_;
    HxmServiceMethod testMethod_ = nullptr;
};

/* One load of the plug-in, under one root with its log folder, for a whole
 * suite; Base is testing::Test or a TestWithParam. */
template <typename Base = ::testing::Test> class SuitePluginTest : public Base {
  protected:
    static void SetUpTestSuite() {
        root_ = new TempRoot;
        root_->MakeLogDirectory();
        plugin_ = new LoadedPlugin(*root_);
    }
    static void TearDownTestSuite() {
        delete plugin_;
        delete root_;
        plugin_ = nullptr;
        root_ = nullptr;
    }

    static inline TempRoot *root_ = nullptr;
    static inline LoadedPlugin *plugin_ = nullptr;
};

class ScriptedPluginTest : public PluginTest {
  protected:
    void SetUp() override;
    void TearDown() override;
};

} // namespace hxm_test

#endif
