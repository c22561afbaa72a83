/*
 * The connections tests' fixture, the areas' shared page fixture (see
 * tests/support/plugin_fixture.h) under its own name, and readers of the
 * monitoring calls the plug-in made.
 */
#ifndef HXM_TESTS_PAGES_CONNECTIONS_CONNECTIONS_FIXTURE_H
#define HXM_TESTS_PAGES_CONNECTIONS_CONNECTIONS_FIXTURE_H

#include <string>
#include <vector>

#include "tests/support/page_text.h"
#include "tests/support/plugin_fixture.h"
#include "tests/support/scripted_afpstat.h"

namespace hxm_test {

/* The shared page fixture under the name the connections tests know. */
class ConnectionsTest : public ScriptedPluginTest {};

/* Text of the Ext_ calls recorded since Reset, one "Function(text, number)"
 * per call, for comparing orders. */
std::string CallsText();
/* Only the calls of `function`. */
std::vector<scripted::Call> CallsOf(const std::string &function);

} // namespace hxm_test

#endif
