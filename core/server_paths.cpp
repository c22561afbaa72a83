/*
 * The plug-in's server paths, resolved once at load into plain arrays (no
 * constructor may run before the load entry, see lifecycle.cpp).
 */
#include "core/server_paths.h"

#include <stdio.h>

#include "base/root_paths.h"

namespace hxm2afp {

namespace {

char g_config_file[kServerPathSize];
char g_log_file[kServerPathSize];
char g_locale_directory[kServerPathSize];
char g_log_directory[kServerPathSize];

} // namespace

bool load_server_paths(const char *logFile) {
    bool fits = root_path(kFixedConfigFile, g_config_file, kServerPathSize) != nullptr &&
                root_path(logFile, g_log_file, kServerPathSize) != nullptr &&
                root_path(kFixedLocaleDirectory, g_locale_directory, kServerPathSize) != nullptr &&
                root_path(kFixedLogDirectory, g_log_directory, kServerPathSize) != nullptr;
    if (!fits) {
        g_config_file[0] = g_log_file[0] = g_locale_directory[0] = g_log_directory[0] = '\0';
        fprintf(stderr, "libhxm2afp: ZENTRA_ROOT leaves no room for the plug-in's paths; using no "
                        "configuration, log or message files\n");
        fflush(stderr);
    }
    return fits;
}

const char *config_file_path() {
    return g_config_file;
}
const char *log_file_path() {
    return g_log_file;
}
const char *locale_directory() {
    return g_locale_directory;
}
const char *log_directory() {
    return g_log_directory;
}

} // namespace hxm2afp
