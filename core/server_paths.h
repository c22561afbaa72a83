/*
 * The plug-in's own files on the server (configuration file, log file,
 * catalogue and log folders), taken under $ZENTRA_ROOT. Resolved once by
 * the load entry; constant afterwards, so request threads read them freely.
 */
#ifndef HXM_CORE_SERVER_PATHS_H
#define HXM_CORE_SERVER_PATHS_H

#include <stddef.h>

namespace hxm2afp {

/* The server's fixed locations, as they stand without ZENTRA_ROOT. */
inline constexpr char kFixedConfigFile[] = "/opt/zentra/lib/libhxm2afp.conf";
inline constexpr char kFixedLocaleDirectory[] = "/opt/zentra/afpsvcd/locale";
inline constexpr char kFixedLogDirectory[] = "/var/opt/zentra/log";

/* Room for one resolved path, terminator included. */
inline constexpr size_t kServerPathSize = 4096;

/* Resolves the four paths under the root (base/root_paths.h); `logFile` is
 * the log file's fixed path (the exported `logfilename`). When any of them
 * does not fit, the root is refused: all four stay empty, so the plug-in uses
 * no file at all rather than the server's real files or a cut path, and a
 * line on standard error says so. Returns false when refused. */
bool load_server_paths(const char *logFile);

/* The resolved paths; empty before load_server_paths or after a refusal. */
const char *config_file_path();
const char *log_file_path();
const char *locale_directory();
const char *log_directory();

} // namespace hxm2afp

#endif
