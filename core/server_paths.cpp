/*
 * The plug-in's server paths, resolved once at load into plain arrays (no
 * constructor may run before the load entry, see lifecycle.cpp).
 */
#include "core/server_paths.h"

#include <stdio.h>

#include "base/root_paths.h"

namespace hxm2afp {

namespace {

char config_file[kServerPathSize];
char log_file[kServerPathSize];
char locale_directory[kServerPathSize];
char log_directory[kServerPathSize];

} // namespace

bool load_server_paths(const char *logFile) {
    bool fits =
        hxm2afp::root_path(kFixedConfigFile, config_file, kServerPathSize) != nullptr &&
        hxm2afp::root_path(logFile, log_file, kServerPathSize) != nullptr &&
        hxm2afp::root_path(kFixedLocaleDirectory, locale_directory, kServerPathSize) != nullptr &&
        hxm2afp::root_path(kFixedLogDirectory, log_directory, kServerPathSize) != nullptr;
    if (!fits) {
        config_file[0] = log_file[0] = locale_directory[0] = log_directory[0] = '\0';
        fprintf(stderr, "libhxm2afp: ZENTRA_ROOT leaves no room for the plug-in's paths; using no "
                        "configuration, log or message files\n");
        fflush(stderr);
    }
    return fits;
}

const char *config_file_path() {
    return config_file;
}
const char *log_file_path() {
    return log_file;
}
const char *LocaleDirectory() {
    return locale_directory;
}
const char *LogDirectory() {
    return log_directory;
}

} // namespace hxm2afp
