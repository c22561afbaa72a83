/*
 * The open-file area tests' fixture, the areas' shared page fixture (see
 * tests/pages/page_fixture.h) under its own name, and readers of the pages
 * and of the monitoring calls the plug-in made.
 */
#ifndef HXM_TESTS_OPENFILES_FIXTURE_H
#define HXM_TESTS_OPENFILES_FIXTURE_H

#include <string>
#include <vector>

#include "tests/pages/page_fixture.h"
#include "tests/support/scripted_afpstat.h"

namespace openfiles_test {

/* The shared page fixture under the name the open-file tests know. */
class OpenFilesPageTest : public page_test::PluginPageTest {};

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
