/*
 * Files the console serves itself: its images and, for the log page's
 * "?VIEW" links, the files of the log directory.
 */
#ifndef HXM_PLATFORM_CONSOLE_SERVER_STATIC_FILES_H
#define HXM_PLATFORM_CONSOLE_SERVER_STATIC_FILES_H

#include <string>

#include "platform/console/server/reply.h"

namespace hxm_server {

// Where the files live. Fixed server paths, or the same paths under a root.
struct FileLocations {
    std::string imageDirectory;         // /opt/zentra/hxm
    std::string fallbackImageDirectory; // the images shipped with the console
    std::string logDirectory;           // /var/opt/zentra/log
};

// The locations for `root` ($ZENTRA_ROOT); empty means the fixed paths.
FileLocations LocationsForRoot(const std::string &root);

// The image `name` ("sorted.png", ..., "favicon.ico") with its type, looked
// for in the image directory first, then in the console's own. Only the
// console's known image names are served; anything else, or a name found in
// neither place, is 404.
Reply ServeImage(const FileLocations &locations, const std::string &name);

// The file at the absolute, decoded path as text/plain, streamed from disk.
// 404 unless, after resolving links and "..", it is a regular file inside
// the log directory.
Reply ServeLogFile(const FileLocations &locations, const std::string &path);

} // namespace hxm_server

#endif
