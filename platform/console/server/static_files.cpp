/*
 * The console's own files: images by a fixed list of names, log files by
 * path, confined to the log directory after every link is resolved.
 */
#include "platform/console/server/static_files.h"

#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <memory>

namespace hxm_server {
namespace {

struct Image {
    const char *name;
    const char *contentType;
};

constexpr Image kImages[] = {
    {"sorted.png", "image/png"},
    {"sortdown.png", "image/png"},
    {"network.png", "image/png"},
    {"GRPstatus_critical.png", "image/png"},
    {"favicon.ico", "image/vnd.microsoft.icon"},
};

// Opens `path` read-only as a regular file. -1 for anything else: a FIFO
// must not block a worker (hence O_NONBLOCK), a directory or device has no
// business being served.
int OpenRegularFile(const std::string &path, int extraFlags, uint64_t *size) {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | extraFlags);
    if (fd < 0)
        return -1;
    struct stat status;
    if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        close(fd);
        return -1;
    }
    *size = static_cast<uint64_t>(status.st_size);
    return fd;
}

// realpath(3) as a string; empty when the path does not resolve.
std::string Resolve(const std::string &path) {
    std::unique_ptr<char, decltype(&free)> resolved(realpath(path.c_str(), nullptr), &free);
    return resolved ? std::string(resolved.get()) : std::string();
}

} // namespace

FileLocations LocationsForRoot(const std::string &root) {
    FileLocations locations;
    locations.imageDirectory = root + "/opt/zentra/hxm";
    locations.logDirectory = root + "/var/opt/zentra/log";
#ifdef HXM_CONSOLE_IMAGES_DIR
    locations.fallbackImageDirectory = HXM_CONSOLE_IMAGES_DIR;
#endif
    return locations;
}

Reply ServeImage(const FileLocations &locations, const std::string &name) {
    const Image *known = nullptr;
    for (const Image &candidate : kImages) {
        if (name == candidate.name)
            known = &candidate;
    }
    if (known == nullptr)
        return StatusReply(404);
    for (const std::string *directory :
         {&locations.imageDirectory, &locations.fallbackImageDirectory}) {
        if (directory->empty())
            continue;
        uint64_t size = 0;
        int fd = OpenRegularFile(*directory + "/" + name, 0, &size);
        if (fd < 0)
            continue;
        Reply reply(200, known->contentType, std::string());
        reply.headers.emplace_back("Cache-Control", "max-age=3600");
        reply.SetFile(fd, size);
        return reply;
    }
    return StatusReply(404);
}

Reply ServeLogFile(const FileLocations &locations, const std::string &path) {
    if (path.empty() || path[0] != '/')
        return StatusReply(404);
    std::string directory = Resolve(locations.logDirectory);
    std::string file = Resolve(path);
    if (directory.empty() || file.empty() || file.size() <= directory.size() + 1 ||
        file.compare(0, directory.size(), directory) != 0 || file[directory.size()] != '/')
        return StatusReply(404);
    // O_NOFOLLOW: the resolved name has no links left, so a link here means
    // the file was swapped since it was resolved.
    uint64_t size = 0;
    int fd = OpenRegularFile(file, O_NOFOLLOW, &size);
    if (fd < 0)
        return StatusReply(404);
    Reply reply(200, "text/plain", std::string());
    // Log lines carry names users chose; a browser must not sniff them as HTML.
    reply.headers.emplace_back("X-Content-Type-Options", "nosniff");
    reply.headers.emplace_back("Cache-Control", "no-cache");
    reply.SetFile(fd, size);
    return reply;
}

} // namespace hxm_server
