/*
 * The log rotation control file: installs a caller-supplied control text for
 * an outside rotation tool, once, and links it into the tool's directory.
 *
 * Notes:
 * - Every path is taken under $ZENTRA_ROOT when that is set; the link then
 *   points at the control file inside the root as well.
 * - The file is created exclusively, so two callers racing never rewrite a
 *   control file the other has just written; the loser leaves it alone.
 * - A write that fails only when the file is closed (the data is flushed
 *   then) is reported, not lost silently.
 */
#include <errno.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/root_paths.h"
#include "logger/logger.h"

namespace {

constexpr mode_t kControlFileMode = 0644;
constexpr size_t kPathSize = 4096;

// Writes the content into a new control file; 0, or the errno value. An
// existing file (made meanwhile by another caller) counts as success.
int create_control_file(const char *path, const char *content) {
    FILE *file = fopen(path, "w+x");
    if (file == nullptr)
        return errno == EEXIST ? 0 : errno;
    int error = 0;
    if (fputs(content, file) == EOF)
        error = errno != 0 ? errno : EIO;
    fchmod(fileno(file), kControlFileMode);
    if (fclose(file) != 0 && error == 0)
        error = errno != 0 ? errno : EIO;
    return error;
}

} // namespace

int SetupLogRotateControlFile(const char *directory, const char *controlFile, const char *linkPath,
                              const char *content) {
    if (controlFile == nullptr || linkPath == nullptr || content == nullptr)
        return EINVAL;
    char rootedDirectory[kPathSize];
    char rootedControl[kPathSize];
    char rootedLink[kPathSize];
    if (hxm2afp::root_path(controlFile, rootedControl, sizeof rootedControl) == nullptr ||
        hxm2afp::root_path(linkPath, rootedLink, sizeof rootedLink) == nullptr)
        return ENAMETOOLONG;
    // The directory chain's result is not acted upon: the steps below report
    // what matters.
    if (directory != nullptr &&
        hxm2afp::root_path(directory, rootedDirectory, sizeof rootedDirectory) != nullptr)
        MakeLinuxPath(rootedDirectory);

    struct stat status;
    if (stat(rootedControl, &status) != 0) {
        int error = create_control_file(rootedControl, content);
        if (error != 0)
            return error;
    }
    if (lstat(rootedLink, &status) != 0 && symlink(rootedControl, rootedLink) != 0)
        return errno;
    return 0;
}
