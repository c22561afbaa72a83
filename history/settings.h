/*
 * The history's settings, read from the plug-in's settings file like its
 * logging keys: one "KEY VALUE" line each, no "=", the first line wins.
 *
 *   HISTORY_INTERVAL        seconds between two recorder cycles (10)
 *   HISTORY_RETENTION_DAYS  days of history kept (30)
 *   HISTORY_MAXIMUM_SIZE    bytes the store may use, with K, M or G (1G)
 *   HISTORY_JOURNAL_FILES   YES: each open and close also goes to the
 *                           systemd journal; NO (the default): actions only
 */
#ifndef HXM_HISTORY_SETTINGS_H
#define HXM_HISTORY_SETTINGS_H

#include <stdint.h>

#include <string>

namespace hxm2afp::history {

struct Settings {
    int64_t intervalSeconds = 10;
    int64_t retentionDays = 30;
    int64_t maximumBytes = int64_t{1} << 30;
    bool journalFiles = false;
};

/* Reads the settings from the file at `path`; a missing key keeps its
 * default, and so does every key when the file cannot be read. Returns
 * false, with *error naming the key and the value, for a value out of its
 * range or not of its form (nothing is half applied). */
bool read_settings(const char *path, Settings *settings, std::string *error);

} // namespace hxm2afp::history

#endif
