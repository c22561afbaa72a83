/*
 * libFuzzer target for the console's route choice. The input's first byte
 * picks the method, the rest is the request target as sent, a leading '~'
 * standing for the log directory's path (which the fuzzer cannot guess). The log
 * directory holds a file and a link to a file beside it; the image folders
 * are empty. Whatever the target, the answer is a valid status, a 405 says
 * what is allowed, and a file is only ever served from inside the log
 * directory.
 */
#include <limits.h>
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "platform/console/server/routes.h"
#include "tests/support/fuzz_harness.h"

namespace hxm_test {
namespace {

char root_path[] = "/tmp/hxm-console-route-fuzz-XXXXXX";

void RemoveRoot() {
    std::string root = root_path;
    unlink((root + "/log/a.log").c_str());
    unlink((root + "/log/outside.log").c_str());
    unlink((root + "/secret").c_str());
    rmdir((root + "/log").c_str());
    rmdir((root + "/images").c_str());
    rmdir(root.c_str());
}

void WriteFile(const std::string &path) {
    FILE *file = fopen(path.c_str(), "w");
    Check(file != nullptr);
    fputs("text\n", file);
    fclose(file);
}

const hxm_server::FileLocations &Locations() {
    static hxm_server::FileLocations locations = [] {
        Check(mkdtemp(root_path) != nullptr);
        atexit(RemoveRoot);
        std::string root = root_path;
        Check(mkdir((root + "/log").c_str(), 0700) == 0);
        Check(mkdir((root + "/images").c_str(), 0700) == 0);
        WriteFile(root + "/log/a.log");
        WriteFile(root + "/secret");
        Check(symlink((root + "/secret").c_str(), (root + "/log/outside.log").c_str()) == 0);
        hxm_server::FileLocations made;
        made.imageDirectory = root + "/images";
        made.fallbackImageDirectory = root + "/images";
        made.logDirectory = root + "/log";
        return made;
    }();
    return locations;
}

bool HasHeader(const hxm_server::Reply &reply, const char *name) {
    for (const auto &header : reply.headers) {
        if (header.first == name)
            return true;
    }
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static const char *const kMethods[] = {"GET", "HEAD", "POST", "PUT", "DELETE", "get", ""};
    const hxm_server::FileLocations &locations = Locations();
    hxm_server::RouteRequest request;
    request.method = kMethods[size > 0 ? data[0] % 7 : 0];
    if (size > 0)
        request.target.assign(reinterpret_cast<const char *>(data) + 1, size - 1);
    if (!request.target.empty() && request.target[0] == '~')
        request.target.replace(0, 1, locations.logDirectory);
    request.accessFlags = 0x9;

    hxm_server::Reply reply = hxm_server::Route(std::move(request), locations);
    Check(reply.status >= 100 && reply.status <= 599);
    if (reply.status == 405)
        Check(HasHeader(reply, "Allow"));
    if (reply.HasFile()) {
        int fd = reply.ReleaseFile();
        char link[64];
        char served[PATH_MAX];
        snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
        ssize_t length = readlink(link, served, sizeof served - 1);
        close(fd);
        Check(length > 0);
        served[length] = '\0';
        std::string inside = locations.logDirectory + "/";
        Check(std::string(served).compare(0, inside.size(), inside) == 0);
    }
    return 0;
}

} // namespace hxm_test
