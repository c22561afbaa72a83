/*
 * The monitoring layer tests' fixture: the built plug-in loaded under a
 * private root, the scriptable library reset before each test, and every
 * list it handed out freed by the end of it.
 */
#ifndef HXM_TESTS_MONITOR_FIXTURE_H
#define HXM_TESTS_MONITOR_FIXTURE_H

#include <gtest/gtest.h>

#include <memory>

#include "tests/core/plugin_host.h"
#include "tests/support/scripted_afpstat.h"

namespace monitor_test {

class MonitorTest : public ::testing::Test {
  protected:
    void SetUp() override {
        scripted::Reset();
        root_ = std::make_unique<core_test::TempRoot>();
        root_->MakeLogDirectory();
        plugin_ = std::make_unique<core_test::LoadedPlugin>(*root_);
        ASSERT_TRUE(plugin_->loaded());
    }
    void TearDown() override {
        EXPECT_EQ(scripted::LiveCount(), 0u) << ::testing::PrintToString(scripted::LiveHandouts());
        EXPECT_TRUE(scripted::Errors().empty()) << ::testing::PrintToString(scripted::Errors());
        plugin_.reset();
        root_.reset();
    }
    template <typename T> T Export(const char *name) {
        T function = plugin_->Function<T>(name);
        EXPECT_NE(function, nullptr) << name;
        return function;
    }

    std::unique_ptr<core_test::TempRoot> root_;
    std::unique_ptr<core_test::LoadedPlugin> plugin_;
};

} // namespace monitor_test

#endif
