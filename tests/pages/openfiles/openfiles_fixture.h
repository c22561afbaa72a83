/*
 * The open-file area tests' fixture, the areas' shared page fixture (see
 * tests/support/plugin_fixture.h) under its own name, and readers of the pages
 * and of the monitoring calls the plug-in made.
 */
#ifndef HXM_TESTS_PAGES_OPENFILES_OPENFILES_FIXTURE_H
#define HXM_TESTS_PAGES_OPENFILES_OPENFILES_FIXTURE_H

#include <string>
#include <vector>

#include "tests/support/page_text.h"
#include "tests/support/plugin_fixture.h"
#include "tests/support/scripted_afpstat.h"

namespace hxm_test {

/* The shared page fixture under the name the open-file tests know. */
class OpenFilesPageTest : public ScriptedPluginTest {};

/* The body after the page head: from the volume selector on ("" when the
 * page has none). */
std::string ListBody(const std::string &body);

/* The paths of every Ext_CloseFileByFileName call, in order. */
std::vector<std::string> ClosedFiles();

/* The names of every Ext_ call, in order. */
std::vector<std::string> CallNames();

} // namespace hxm_test

#endif
