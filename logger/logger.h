/*
 * The plug-in's process-wide logger.
 *
 * One Logger record lives in the plug-in (`_my_local_instance`); callers reach
 * it through the exported pointer `log` and call its operation slots, e.g.
 * `hxm_log->debug("URL = %s", path)`. The record's layout is part of the
 * binary interface: state words, the open stream, 23 operation slots, then
 * the two name buffers, in exactly this order.
 *
 * The data symbol is named `log`, like the C math function. Inside the
 * plug-in it is `hxm_log`, a hidden name that the exported `log` aliases:
 * the plug-in's own reads and writes are bound to its own variable, never to
 * whatever `log` comes first in the process (the math library's function
 * would), and a file can include this header and <cmath> alike. Programs
 * outside the plug-in cannot name `hxm_log`; they look `log` up with dlsym
 * (referring to it directly would make a copy relocation that defines `log`
 * in the program and takes over the math function for every library).
 */
#ifndef HXM_LOGGER_LOGGER_H
#define HXM_LOGGER_LOGGER_H

#include <stdarg.h>
#include <stdint.h>
#include <stdio.h>

#include "base/export.h"

#define HXM_LOGGER_PRINTF(fmt, args) __attribute__((format(printf, fmt, args)))

/* Sizes of the heap name buffers, terminator included. */
enum { HXM_LOGNAME_SIZE = 255, HXM_OUTPUT_FILENAME_SIZE = 271 };

/* Message levels; a line of level i is written while `level` >= i. */
enum {
    HXM_LOG_NOTHING = 0,
    HXM_LOG_ERROR = 1,
    HXM_LOG_WARNING = 2,
    HXM_LOG_INFO = 3,
    HXM_LOG_DEBUG = 4,
    HXM_LOG_DUMP = 5,
    HXM_LOG_EVERYTHING = 6
};

/* Mode codes of setMode. */
enum {
    HXM_LOG_MODE_DEFAULT = 0,
    HXM_LOG_MODE_BACKUP = 1,
    HXM_LOG_MODE_TRUNCATE = 2,
    HXM_LOG_MODE_SYSLOG = 3,
    HXM_LOG_MODE_CLEAR_OPTION = 4,
    HXM_LOG_MODE_SET_OPTION = 5,
    HXM_LOG_MODE_RESET = 8
};

struct Logger {
    int level;         /* current level (HXM_LOG_*) */
    int max_file_size; /* stored size limit, not enforced */
    int file_size;     /* low 32 bits of the position right after opening */
    int initialized;   /* 255 while initialised, else 0 */
    int mode;          /* last mode code setMode recorded */
    int options;       /* bit word, 2 after init */
    int reset_count;   /* resets that truncated the file */
    int use_syslog;    /* non-zero while output goes to syslog */
    int stream_open;   /* non-zero while the logger owns f_output */
    FILE *f_output;    /* the open log file, or null */

    void (*debug)(const char *format, ...) HXM_LOGGER_PRINTF(1, 2);
    void (*debugTagged)(const char *tag, const char *format, ...) HXM_LOGGER_PRINTF(2, 3);
    void (*info)(const char *format, ...) HXM_LOGGER_PRINTF(1, 2);
    void (*infoTagged)(const char *tag, const char *format, ...) HXM_LOGGER_PRINTF(2, 3);
    void (*warning)(const char *format, ...) HXM_LOGGER_PRINTF(1, 2);
    void (*warningTagged)(const char *tag, const char *format, ...) HXM_LOGGER_PRINTF(2, 3);
    void (*error)(const char *format, ...) HXM_LOGGER_PRINTF(1, 2);
    void (*errorTagged)(const char *tag, const char *format, ...) HXM_LOGGER_PRINTF(2, 3);
    void (*setLevel)(int level);
    void (*levelUp)(void);
    void (*levelDown)(void);
    int (*openstream)(const char *path);
    void (*closestream)(void);
    int (*flushstream)(void);
    int64_t (*getStreamSize)(void);
    void (*deinit)(void);
    void (*dump)(const char *format, ...) HXM_LOGGER_PRINTF(1, 2);
    void (*ldump)(const char *text, int length);
    void (*bdump)(const unsigned char *bytes, int length);
    void (*writeAlways)(const char *format, ...) HXM_LOGGER_PRINTF(1, 2);
    void (*SyslogAndFile)(const char *format, ...) HXM_LOGGER_PRINTF(1, 2);
    int (*setMode)(int code);
    int (*status)(void);

    char *f_output_filename; /* HXM_OUTPUT_FILENAME_SIZE bytes: last file opened */
    char *logname;           /* HXM_LOGNAME_SIZE bytes: that path before its first "." */
};

/* The logger pointer, exported as `log`: null until the load entry stores the
 * result of Logger_init, and again after unload. */
extern "C" __attribute__((visibility("hidden"))) Logger *hxm_log;

/* Writes one debug line while the logger is set up (a no-op before load and
 * after unload); the arguments are checked as printf's. */
#define HXM_DEBUG(...)                                                                             \
    do {                                                                                           \
        if (Logger *hxm_logger_ = hxm_log)                                                         \
            hxm_logger_->debug(__VA_ARGS__);                                                       \
    } while (0)

/* The other exported data. `logfilename` points to the fixed log file path
 * (the load entry takes it under ZENTRA_ROOT itself). */
extern HXM_EXPORT const char *logfilename;
extern HXM_EXPORT Logger _my_local_instance;
extern HXM_EXPORT Logger _dummy_logger_instance;

/* Returns the live logger, &_my_local_instance. */
HXM_EXPORT Logger *Logger_getInstance();

/* Initialises the live logger at `level` and opens `filename` (when not
 * null). A second call while initialised changes nothing and returns the
 * same instance. Never fails: without a file the logger simply drops lines. */
HXM_EXPORT Logger *Logger_init(const char *filename, int level);

/* Flushes and closes the stream, frees the name buffers; a later
 * Logger_init starts afresh. */
HXM_EXPORT void Logger_deinit();

/* Writes "[L <time>] <message>" whatever the level (or sends the message to
 * syslog in syslog mode). The directive parsers report through it. */
HXM_EXPORT void Logger_errormessage(const char *message);

/* The list-taking writers behind the writeAlways and SyslogAndFile slots. */
HXM_EXPORT void Logger_writeAlways(const char *format, va_list arguments) HXM_LOGGER_PRINTF(1, 0);
HXM_EXPORT void Logger_SyslogAndFile(const char *format, va_list arguments) HXM_LOGGER_PRINTF(1, 0);

/* Flush result, or 0 without a stream. */
HXM_EXPORT int Logger_flushstream();

/* Current position of the stream (the file's size, as it is appended to),
 * or 0 without a stream. */
HXM_EXPORT int64_t Logger_getStreamSize();

/* Cuts the stream's file to length 0: 0, or the errno value. */
HXM_EXPORT int TruncateFileStream(FILE *stream);

/* Opens `path` for reading and appending, creating it; `size` is unused.
 * Returns the stream or null (errno set). */
HXM_EXPORT FILE *OpenFileStream(char *path, long long size);

/* Directives (see logger/directives.cpp). ProcessLogLevel applies one and
 * reports it through Logger_errormessage; the WOLogging form reports nothing.
 * Both return 0 (recognised), 1 (empty) or 22 (unknown). */
HXM_EXPORT int ProcessLogLevel(const char *directive);
HXM_EXPORT int ProcessLogLevelWOLogging(const char *directive);

/* Name of the live logger's level ("NOTHING" ... "EVERYTHING", "unknown"). */
HXM_EXPORT const char *ConvertLogLevelToString();

/* Rotation control file and directory chains (see logger/rotate_control.cpp
 * and logger/make_path.cpp). */
extern "C" HXM_EXPORT int SetupLogRotateControlFile(const char *directory, const char *controlFile,
                                                    const char *linkPath, const char *content);
extern "C" HXM_EXPORT int path_check(const char *a, const char *b);
HXM_EXPORT int MakeLinuxPath(const char *path);
HXM_EXPORT int make_path(const char *path, unsigned int mode);

#endif
