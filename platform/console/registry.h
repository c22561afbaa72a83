/*
 * The console's table of service methods, shared by the C registration calls,
 * the request router and the pages that list the registered groups. Requests
 * read it concurrently; plug-ins change it when they load and unload.
 */
#ifndef HXM_PLATFORM_CONSOLE_REGISTRY_H
#define HXM_PLATFORM_CONSOLE_REGISTRY_H

#include <string>
#include <vector>

#include "platform/console/hxm_console.h"

namespace hxm_console {

// The service method whose keyword the decoded path names: the path is "/"
// and the keyword, then its end or any other character. The longest such
// keyword wins. Null when none matches.
HxmServiceMethod FindServiceMethod(const std::string &decodedPath);

// One group of the navigation: its title and its registrations in order.
struct NavigationGroup {
    std::string title;
    std::vector<hxm::Registration> links;
};

// The registrations grouped by title, groups in order of first appearance.
std::vector<NavigationGroup> NavigationGroups();

} // namespace hxm_console

#endif
