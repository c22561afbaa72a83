/*
 * The console's message catalogue: its own domain, so the frame's words do
 * not depend on what any plug-in's catalogue holds.
 */
#include "platform/console/console_texts.h"

#include <libintl.h>
#include <stdlib.h>

#include <mutex>
#include <string>

namespace hxm_console {
namespace {

constexpr char kDomain[] = "hxm-console";
constexpr char kLocaleDirectory[] = "/opt/zentra/hxm/locale";

std::once_flag domainBound;

void BindDomain() {
    const char *root = getenv("ZENTRA_ROOT");
    std::string directory = root != nullptr ? root : "";
    directory.append(kLocaleDirectory);
    // Without a binding the lookups stay English; nothing else depends on it.
    if (bindtextdomain(kDomain, directory.c_str()) != nullptr)
        bind_textdomain_codeset(kDomain, "UTF-8"); // pages are sent as UTF-8
}

} // namespace

const char *ConsoleText(const char *english) {
    std::call_once(domainBound, BindDomain);
    return dgettext(kDomain, english);
}

} // namespace hxm_console
