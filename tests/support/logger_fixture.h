/*
 * A fresh live logger for each logger test: the plug-in's logger is taken
 * down and initialised again on a new file in a directory of its own.
 */
#ifndef HXM_TESTS_SUPPORT_LOGGER_FIXTURE_H
#define HXM_TESTS_SUPPORT_LOGGER_FIXTURE_H

#include <gtest/gtest.h>

#include <string>

#include "tests/support/plugin_api.h"
#include "tests/support/syslog_capture.h"

namespace hxm_test {

class LoggerTest : public testing::Test {
  protected:
    void SetUp() override {
        api_ = &Plugin();
        directory_ = FreshDirectory("logger");
        path_ = directory_ + "/afp.test.log";
        api_->deinit();
        logger_ = api_->init(path_.c_str(), HXM_LOG_DEBUG);
        ASSERT_EQ(logger_, api_->getInstance());
        TakeSyslogEvents();
    }

    void TearDown() override {
        if (logger_->use_syslog)
            logger_->setMode(HXM_LOG_MODE_DEFAULT);
        api_->deinit();
        TakeSyslogEvents();
    }

    /* The log file's content with time stamps replaced by "T". */
    std::string Content() const { return WithoutStamps(ReadFile(path_)); }

    const PluginApi &api() const { return *api_; }

    const PluginApi *api_ = nullptr;
    Logger *logger_ = nullptr;
    std::string directory_;
    std::string path_;
};

} // namespace hxm_test

#endif
