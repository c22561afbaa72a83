/*
 * The built plug-in as the logger and helper tests reach it: loaded once per
 * program under a fresh ZENTRA_ROOT by the shared loader, every
 * function looked up by its exported name. The tests never link the
 * plug-in's sources or refer to its data symbols directly (`log` would take
 * over the math function).
 */
#ifndef HXM_TESTS_SUPPORT_PLUGIN_API_H
#define HXM_TESTS_SUPPORT_PLUGIN_API_H

#include <string>
#include <vector>

#include "core/form.h"
#include "core/format.h"
#include "core/paths.h"
#include "logger/logger.h"
#include "tests/support/files.h"

namespace hxm_test {

struct PluginApi {
    // Exported data.
    Logger **log;
    const char **logfilename;
    Logger *liveInstance;
    Logger *dummyInstance;

    // Logger.
    decltype(&Logger_getInstance) getInstance;
    decltype(&Logger_init) init;
    decltype(&Logger_deinit) deinit;
    decltype(&Logger_errormessage) errormessage;
    decltype(&Logger_writeAlways) writeAlways;
    decltype(&Logger_SyslogAndFile) syslogAndFile;
    decltype(&Logger_flushstream) flushstream;
    decltype(&Logger_getStreamSize) getStreamSize;
    decltype(&TruncateFileStream) truncateFileStream;
    decltype(&OpenFileStream) openFileStream;
    decltype(&ProcessLogLevel) processLogLevel;
    decltype(&ProcessLogLevelWOLogging) processLogLevelWOLogging;
    decltype(&ConvertLogLevelToString) convertLogLevelToString;
    decltype(&SetupLogRotateControlFile) setupLogRotateControlFile;
    decltype(&path_check) pathCheck;
    decltype(&MakeLinuxPath) makeLinuxPath;
    decltype(&make_path) makePath;

    // Helpers.
    decltype(&POST_GET_STRING) postGetString;
    decltype(&POST_GET_URL) postGetUrl;
    decltype(&POST_GET_INT) postGetInt;
    decltype(&POST_CHECKBOX) postCheckbox;
    decltype(&POST_RADIOBUTTON) postRadiobutton;
    decltype(&compressURI) compressUri;
    decltype(&_strupr) strupr;
    decltype(&CreateStringWithCommas) createStringWithCommas;
    decltype(&CreateLargeNumberStringWithCommas) createLargeNumberStringWithCommas;
    decltype(&ConvertDalmoraDataAndTimeToLinux) convertDalmoraDataAndTimeToLinux;
    decltype(&DalmoraDataAndTimeToTimeBuffer) dalmoraDataAndTimeToTimeBuffer;
    decltype(&MakeParentPath) makeParentPath;
    decltype(&VerifyLinuxPath) verifyLinuxPath;
    decltype(&CreateLinuxPath) createLinuxPath;
    decltype(&pkg_dir_build) pkgDirBuild;
    decltype(&MakeLinuxFolder) makeLinuxFolder;
};

/* Loads the plug-in on first use (under a fresh ZENTRA_ROOT) and returns its
 * functions; fails the calling test when a name is missing. */
const PluginApi &Plugin();

/* The temporary ZENTRA_ROOT the plug-in was loaded under. */
const std::string &Root();

/* A fresh directory under the root for one test. */
std::string FreshDirectory(const char *name);

/* The symbols logger/exports.list names that exist in this build's ABI. */
std::vector<std::string> LoggerExportNames();

/* `text` with every "YYYY-MM-DD hh:mm:ss" time stamp replaced by "T". */
std::string WithoutStamps(const std::string &text);

} // namespace hxm_test

#endif
