/*
 * The load entry's start-up configuration: the three logging keys of the
 * configuration file, turned into logger directives.
 *
 * Notes: a value is used only when the reader delivered it (result 0). A
 * value too long for its 64-byte read, or a file that vanished between the
 * checks, so sets no directive; for LOG_LEVEL the level then becomes warning.
 */
#include "core/startup_config.h"

#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>

#include "core/config_reader.h"
#include "core/server_paths.h"
#include "logger/logger.h"

namespace hxm2afp {

namespace {

/* Room each key's value is read into, terminator included. */
constexpr int kValueReadSize = 64;
/* File sizes up to this stay with the logger's own limit. */
constexpr long kSmallestFileLimit = 4096;

/* Reads `key` into value (cleared first); true when a value was delivered. */
bool read_key(const char *key, const char *defaultValue, char *value, size_t valueSize) {
    memset(value, 0, valueSize);
    int size = kValueReadSize;
    return ReadConfigFileValue(config_file_path(), key, value, &size, defaultValue) ==
               HXM_CONFIG_OK &&
           value[0] != '\0';
}

} // namespace

void apply_startup_configuration(time_t loadTime) {
    int present = 0;
    if (hxm_log == nullptr || ConfigFileExists(config_file_path(), &present) != HXM_CONFIG_OK)
        return;

    char value[128];
    if (read_key("LOG_LEVEL", "WARNING", value, sizeof value))
        ProcessLogLevel(value);
    else
        hxm_log->setLevel(HXM_LOG_WARNING);

    struct tm local;
    char stamp[64];
    if (localtime_r(&loadTime, &local) == nullptr || asctime_r(&local, stamp) == nullptr)
        snprintf(stamp, sizeof stamp, "(unknown time)\n");
    hxm_log->info("... libhxm2afp plugin started %s", stamp);
    hxm_log->info("... log level = %d", hxm_log->level);

    if (read_key("LOG_MAXIMUM_FILE_SIZE", "4194304", value, sizeof value)) {
        long limit = strtol(value, nullptr, 10);
        if (limit >= kSmallestFileLimit) {
            // The logger keeps the limit in an int: larger sizes mean "as large as it holds".
            snprintf(value, sizeof value, "LIMIT=%d",
                     limit > INT_MAX ? INT_MAX : static_cast<int>(limit));
            ProcessLogLevel(value);
        }
    }

    if (read_key("LOG_TIMESTAMPS", "YES", value, sizeof value)) {
        if (strcasecmp(value, "NO") == 0)
            ProcessLogLevel("TIMESTAMP=NO");
        else if (strcasecmp(value, "YES") == 0)
            ProcessLogLevel("TIMESTAMP=YES");
    }
}

} // namespace hxm2afp
