/*
 * The fixture shared by the open-file area's tests: a private root, the
 * built plug-in loaded from it, and the scriptable monitoring library reset
 * before and checked after every test (nothing handed out is left unfreed,
 * nothing was misused).
 */
#ifndef HXM_TESTS_OPENFILES_FIXTURE_H
#define HXM_TESTS_OPENFILES_FIXTURE_H

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "tests/core/plugin_host.h"
#include "tests/support/scripted_afpstat.h"

namespace openfiles_test {

class OpenFilesPageTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

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

/* The body after the page head: from the volume selector on. */
std::string PageBody(const std::string &body);

/* The paths of every Ext_CloseFileByFileName call, in order. */
std::vector<std::string> ClosedFiles();

/* The names of every Ext_ call, in order. */
std::vector<std::string> CallNames();

/* Form encoding as a browser does it for application/x-www-form-urlencoded. */
std::string FormEncode(const std::string &text);

/* Undoes the five HTML entities the pages write. */
std::string HtmlDecode(const std::string &text);

/* The values of every check box named FILENAME, as the browser reads them. */
std::vector<std::string> FileBoxValues(const std::string &body);

} // namespace openfiles_test

#endif
