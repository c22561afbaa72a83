/*
 * The history's settings (see settings.h), through the plug-in's own
 * configuration reader, one table row per key.
 */
#include "history/settings.h"

#include <errno.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>

#include "core/config_reader.h"

namespace hxm2afp::history {
namespace {

enum class Kind { kCount, kSize, kYesNo };

struct Key {
    const char *name;
    Kind kind;
    int64_t Settings::*number; // null for the one yes/no key
    int64_t least;
    int64_t most;
    const char *form; // for the error line
};

constexpr Key kKeys[] = {
    {"HISTORY_INTERVAL", Kind::kCount, &Settings::intervalSeconds, 1, 3600,
     "a number of seconds from 1 to 3600"},
    {"HISTORY_RETENTION_DAYS", Kind::kCount, &Settings::retentionDays, 1, 3650,
     "a number of days from 1 to 3650"},
    {"HISTORY_MAXIMUM_SIZE", Kind::kSize, &Settings::maximumBytes, int64_t{1} << 20,
     int64_t{1} << 40, "a size from 1M to 1024G (bytes, or with K, M or G)"},
    {"HISTORY_JOURNAL_FILES", Kind::kYesNo, nullptr, 0, 0, "YES or NO"},
};

struct Suffix {
    char letter;
    int shift;
};
constexpr Suffix kSuffixes[] = {{'K', 10}, {'M', 20}, {'G', 30}};

// The number `text` spells (a size may end in K, M or G), or -1.
int64_t read_number(const char *text, bool size) {
    char *end = nullptr;
    if (text[0] < '0' || text[0] > '9')
        return -1;
    errno = 0;
    const long long value = strtoll(text, &end, 10);
    if (errno != 0 || value > (int64_t{1} << 40))
        return -1;
    if (*end == '\0')
        return value;
    for (const Suffix &suffix : kSuffixes) {
        if (size && (*end == suffix.letter || *end == suffix.letter + 32) && end[1] == '\0')
            return value << suffix.shift;
    }
    return -1;
}

} // namespace

bool read_settings(const char *path, Settings *settings, std::string *error) {
    Settings read = *settings;
    int present = 0;
    // The reader creates a missing file; only an existing one is read.
    if (path == nullptr || path[0] == '\0' || ConfigFileExists(path, &present) != 0) {
        *settings = read;
        return true;
    }
    for (const Key &key : kKeys) {
        char value[64] = "";
        int size = sizeof value;
        const int result = ReadConfigFileValue(path, key.name, value, &size, nullptr);
        if (result == HXM_CONFIG_NOT_FOUND)
            continue;
        bool fits = result == HXM_CONFIG_OK;
        if (fits && key.kind == Kind::kYesNo) {
            fits = strcasecmp(value, "YES") == 0 || strcasecmp(value, "NO") == 0;
            read.journalFiles = strcasecmp(value, "YES") == 0;
        } else if (fits) {
            const int64_t number = read_number(value, key.kind == Kind::kSize);
            fits = number >= key.least && number <= key.most;
            if (fits)
                read.*(key.number) = number;
        }
        if (!fits) {
            *error =
                std::string(key.name) + " in " + path + ": \"" + value + "\" is not " + key.form;
            return false;
        }
    }
    *settings = read;
    return true;
}

} // namespace hxm2afp::history
