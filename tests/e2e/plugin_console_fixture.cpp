/*
 * The HTTP tests' fixture for the built plug-in (see console_test_fixture.h),
 * compiled into the programs that know the plug-in's path.
 */
#include "tests/e2e/console_test_fixture.h"

namespace hxm_test {

void PluginConsoleTest::StartConsole() {
    WriteFile(logDirectory() + "/.keep", "");
    StartConsoleWith(HXM_PLUGIN_PATH);
}

HttpResponse PluginConsoleTest::Post(const std::string &target, const std::string &body) {
    HttpRequest request;
    request.method = "POST";
    request.target = target;
    request.body = body;
    return Fetch(base(), request);
}

std::string Quote(const std::string &text) {
    std::string out = "'";
    for (char c : text) {
        if (c == '\'')
            out += "'\\''";
        else
            out += c;
    }
    return out + "'";
}

} // namespace hxm_test
