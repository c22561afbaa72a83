/*
 * The live logger: its record, initialisation, the log stream and the mode
 * switch (file, syslog, reset).
 *
 * Notes:
 * - Every global here is constant-initialised: the load entry runs before
 *   any C++ dynamic initialiser.
 * - Only the load and unload entries (and configuration through them) open,
 *   close or switch the logger; request threads only write. The words that
 *   writers read (level, use_syslog, f_output) are stored atomically so those
 *   reads never race.
 * - A path that does not fit f_output_filename (270 characters) is refused:
 *   remembering a cut name would re-open another file later. logname, only
 *   the syslog identity, is cut to 254 characters.
 * - Opening a file while one is open closes the old stream once the new one
 *   is in place, so switching to default mode never leaks a stream.
 */
#include <errno.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <syslog.h>
#include <unistd.h>

#include "logger/logger.h"
#include "logger/logger_internal.h"

Logger *hxm_log = nullptr;
// The exported name of hxm_log; see logger.h.
extern "C" HXM_EXPORT Logger *hxm_exported_log __asm__("log") __attribute__((alias("hxm_log")));
const char *logfilename = "/var/opt/zentra/log/libhxm2afp.log";
Logger _my_local_instance = {};

namespace {

constexpr int kInitialisedMark = 255;
constexpr int kInitialMaxFileSize = 16777216;
constexpr int kInitialOptions = 2;

// syslog keeps the identity pointer, so the text lives in static storage.
char g_syslog_identity[HXM_OUTPUT_FILENAME_SIZE];

Logger &live() {
    return _my_local_instance;
}

void report(const char *format, ...) HXM_LOGGER_PRINTF(1, 2);
void report(const char *format, ...) {
    va_list arguments;
    va_start(arguments, format);
    vfprintf(stderr, format, arguments);
    va_end(arguments);
    fflush(stderr);
}

void set_stream(FILE *stream) {
    __atomic_store_n(&live().f_output, stream, __ATOMIC_RELEASE);
}

int low_position(FILE *stream) {
    return static_cast<int>(static_cast<uint32_t>(ftello64(stream)));
}

// Takes the newly opened stream in place of any open one: permission bits 0,
// position as file_size. `caller` names the function in the chmod message.
void adopt_stream(FILE *stream, const char *path, const char *caller) {
    if (fchmod(fileno(stream), 0) != 0) {
        int error = errno;
        report("%s: chmod failed for %s.Error Code: %d(%s)\n", caller, path, error,
               strerror(error));
    }
    Logger &logger = live();
    FILE *old = logger.stream_open ? logger.f_output : nullptr;
    set_stream(stream);
    logger.stream_open = 1;
    logger.file_size = low_position(stream);
    if (old != nullptr && old != stream)
        fclose(old);
}

// logname is the path up to its first "." (anywhere), cut to fit.
void remember_logname(const char *path) {
    Logger &logger = live();
    if (logger.logname == nullptr)
        return;
    size_t length = strcspn(path, ".");
    if (length > HXM_LOGNAME_SIZE - 1)
        length = HXM_LOGNAME_SIZE - 1;
    memcpy(logger.logname, path, length);
    logger.logname[length] = '\0';
}

// Re-opens the remembered file; silent when that fails.
void reopen_stream() {
    Logger &logger = live();
    if (logger.f_output_filename == nullptr || logger.f_output_filename[0] == '\0')
        return;
    FILE *stream = OpenFileStream(logger.f_output_filename, logger.max_file_size);
    if (stream == nullptr)
        return;
    adopt_stream(stream, logger.f_output_filename, "Logger_reopenstream");
}

void fill_slots(Logger &logger) {
    logger.debug = Logger_debug;
    logger.debugTagged = Logger_debugTagged;
    logger.info = Logger_info;
    logger.infoTagged = Logger_infoTagged;
    logger.warning = Logger_warning;
    logger.warningTagged = Logger_warningTagged;
    logger.error = Logger_error;
    logger.errorTagged = Logger_errorTagged;
    logger.setLevel = Logger_setLevel;
    logger.levelUp = Logger_levelUp;
    logger.levelDown = Logger_levelDown;
    logger.openstream = Logger_openstream;
    logger.closestream = Logger_closestream;
    logger.flushstream = Logger_flushstream;
    logger.getStreamSize = Logger_getStreamSize;
    logger.deinit = Logger_deinit;
    logger.dump = Logger_dump;
    logger.ldump = Logger_ldump;
    logger.bdump = Logger_bdump;
    logger.writeAlways = Logger_writeAlwaysSlot;
    logger.SyslogAndFile = Logger_SyslogAndFileSlot;
    logger.setMode = Logger_setMode;
    logger.status = Logger_status;
}

} // namespace

Logger *Logger_getInstance() {
    return &_my_local_instance;
}

Logger *Logger_init(const char *filename, int level) {
    Logger &logger = live();
    if (logger.initialized != 0)
        return &logger;
    logger = Logger{};
    logger.initialized = kInitialisedMark;
    logger.options = kInitialOptions;
    __atomic_store_n(&logger.level, level, __ATOMIC_RELAXED);
    fill_slots(logger);

    logger.logname = static_cast<char *>(calloc(HXM_LOGNAME_SIZE, 1));
    logger.max_file_size = kInitialMaxFileSize;
    logger.file_size = 0;
    if (logger.logname == nullptr)
        report("logname == NULL");

    logger.f_output_filename = static_cast<char *>(calloc(HXM_OUTPUT_FILENAME_SIZE, 1));
    if (logger.f_output_filename == nullptr) {
        report("f_output_filename == NULL");
        return &logger;
    }
    if (filename != nullptr)
        Logger_openstream(filename);
    return &logger;
}

void Logger_deinit() {
    Logger &logger = live();
    Logger_flushstream();
    Logger_closestream();
    set_stream(nullptr);
    free(logger.f_output_filename);
    logger.f_output_filename = nullptr;
    __atomic_store_n(&logger.use_syslog, 0, __ATOMIC_RELAXED);
    logger.stream_open = 0;
    free(logger.logname);
    logger.logname = nullptr;
    logger.initialized = 0;
}

int Logger_openstream(const char *path) {
    Logger &logger = live();
    if (logger.f_output_filename == nullptr) {
        report("*f_output_filename == NULL\n");
        return ENOMEM;
    }
    // Copied first: the path may be the remembered name itself.
    char name[HXM_OUTPUT_FILENAME_SIZE];
    if (path == nullptr) {
        if (logger.f_output_filename[0] == '\0') {
            report("filename == NULL\n");
            return EINVAL;
        }
        path = logger.f_output_filename;
    }
    if (strlen(path) >= sizeof name) {
        report("Logger_openstream: path too long (at most %d characters): %s\n",
               HXM_OUTPUT_FILENAME_SIZE - 1, path);
        return ENAMETOOLONG;
    }
    snprintf(name, sizeof name, "%s", path);

    FILE *stream = OpenFileStream(name, logger.max_file_size);
    if (stream == nullptr) {
        report("f_open(%s) == NULL\n", name);
        return ENOENT;
    }
    adopt_stream(stream, name, "Logger_openstream");
    snprintf(logger.f_output_filename, HXM_OUTPUT_FILENAME_SIZE, "%s", name);
    remember_logname(name);
    return 0;
}

void Logger_closestream() {
    Logger &logger = live();
    if (!logger.stream_open)
        return;
    FILE *stream = logger.f_output;
    set_stream(nullptr);
    logger.stream_open = 0;
    if (stream != nullptr) {
        fflush(stream);
        fclose(stream);
    }
}

int Logger_flushstream() {
    FILE *stream = hxm2afp::logger_stream();
    return stream != nullptr ? fflush(stream) : 0;
}

int64_t Logger_getStreamSize() {
    FILE *stream = hxm2afp::logger_stream();
    return stream != nullptr ? static_cast<int64_t>(ftello64(stream)) : 0;
}

int TruncateFileStream(FILE *stream) {
    if (stream == nullptr)
        return EINVAL;
    int descriptor = fileno(stream);
    if (descriptor < 0)
        return errno;
    if (ftruncate(descriptor, 0) != 0)
        return errno;
    return 0;
}

FILE *OpenFileStream(char *path, long long /*size*/) {
    if (path == nullptr) {
        errno = EINVAL;
        return nullptr;
    }
    // Large-file open, so a 32-bit build keeps logging past 2 GiB.
    return fopen64(path, "a+");
}

void Logger_setLevel(int level) {
    __atomic_store_n(&live().level, level, __ATOMIC_RELAXED);
}

void Logger_levelUp() {
    int level = hxm2afp::logger_level();
    if (level <= HXM_LOG_DUMP)
        Logger_setLevel(level + 1);
}

void Logger_levelDown() {
    int level = hxm2afp::logger_level();
    if (level > HXM_LOG_NOTHING)
        Logger_setLevel(level - 1);
}

int Logger_status() {
    return 0;
}

int Logger_setMode(int code) {
    Logger &logger = live();
    switch (code) {
    case HXM_LOG_MODE_BACKUP:
    case HXM_LOG_MODE_TRUNCATE:
    case 6:
    case 7:
        break;
    case HXM_LOG_MODE_SYSLOG:
        if (logger.stream_open)
            Logger_closestream();
        snprintf(g_syslog_identity, sizeof g_syslog_identity, "[%s]",
                 logger.logname != nullptr ? logger.logname : "");
        openlog(g_syslog_identity, LOG_PID, LOG_USER);
        __atomic_store_n(&logger.use_syslog, 1, __ATOMIC_RELAXED);
        logger.mode = HXM_LOG_MODE_SYSLOG;
        break;
    case HXM_LOG_MODE_CLEAR_OPTION:
        logger.options &= ~1;
        break;
    case HXM_LOG_MODE_SET_OPTION:
        logger.options |= 1;
        break;
    case HXM_LOG_MODE_RESET:
        if (!hxm2afp::logger_uses_syslog() && logger.f_output != nullptr) {
            TruncateFileStream(logger.f_output);
            logger.file_size = 0;
            logger.reset_count += 1;
        }
        break;
    default: // 0, every code above 8 and every negative code
        logger.mode = code;
        if (hxm2afp::logger_uses_syslog()) {
            closelog();
            __atomic_store_n(&logger.use_syslog, 0, __ATOMIC_RELAXED);
        }
        reopen_stream();
        break;
    }
    return 0;
}
