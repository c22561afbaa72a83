/*
 * The connections tests' fixture: see connections_fixture.h.
 */
#include "tests/pages/connections/connections_fixture.h"

#include <sstream>

namespace hxm_test {

std::string CallsText() {
    std::ostringstream out;
    for (const scripted::Call &call : scripted::Calls())
        out << call << "\n";
    return out.str();
}

std::vector<scripted::Call> CallsOf(const std::string &function) {
    std::vector<scripted::Call> calls;
    for (const scripted::Call &call : scripted::Calls()) {
        if (call.function == function)
            calls.push_back(call);
    }
    return calls;
}

} // namespace hxm_test
