/*
 * The open-file tests' fixture: see openfiles_fixture.h.
 */
#include "tests/pages/openfiles/openfiles_fixture.h"

namespace hxm_test {

std::string ListBody(const std::string &body) {
    const std::string start = "<table><tr><td><form><DIV CLASS=NORMAL>";
    const size_t at = body.find(start);
    return at == std::string::npos ? std::string() : body.substr(at);
}

std::vector<std::string> ClosedFiles() {
    std::vector<std::string> paths;
    for (const scripted::Call &call : scripted::Calls()) {
        if (call.function == "Ext_CloseFileByFileName")
            paths.push_back(call.text);
    }
    return paths;
}

std::vector<std::string> CallNames() {
    std::vector<std::string> names;
    for (const scripted::Call &call : scripted::Calls())
        names.push_back(call.function);
    return names;
}

} // namespace hxm_test
