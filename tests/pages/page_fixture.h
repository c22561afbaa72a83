/*
 * The fixture shared by the areas' page tests: a private root, the built
 * plug-in loaded from it, and the scriptable monitoring library reset before
 * and checked after every test (nothing handed out is left unfreed, nothing
 * was misused). Requests go through the in-process host.
 */
#ifndef HXM_TESTS_PAGES_PAGE_FIXTURE_H
#define HXM_TESTS_PAGES_PAGE_FIXTURE_H

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "tests/core/plugin_host.h"
#include "tests/support/scripted_afpstat.h"

namespace page_test {

class PluginPageTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    /* The plug-in's export `name`, failing the test when it is missing. */
    template <typename T> T Export(const char *name) {
        T function = plugin_->Function<T>(name);
        EXPECT_NE(function, nullptr) << name;
        return function;
    }

    /* One request through the host: GET without a body, POST with this
     * form body. */
    hxm::Response Get(const std::string &target, unsigned int flags = 0x9,
                      unsigned failures = hxm::kFailNone);
    hxm::Response Post(const std::string &target, const std::string &body, unsigned int flags = 0x9,
                       unsigned failures = hxm::kFailNone);

    std::unique_ptr<core_test::TempRoot> root_;
    std::unique_ptr<core_test::LoadedPlugin> plugin_;
};

} // namespace page_test

#endif
