/*
 * The logger's writers: level lines, tagged lines, the three dump blocks and
 * the unconditional writers, to the log file or to syslog.
 *
 * Each line or block is written under the stream's lock and flushed before
 * the lock is released, so lines from request threads never interleave and
 * the file is current after every call. A null format or text writes nothing.
 *
 * Notes: the log file is looked at once a second; when it was removed or
 * replaced (rotated by renaming, the log folder made anew) it is opened
 * again and the new descriptor takes the old one's number under the
 * stream's lock, so the stream that request threads hold stays the same.
 * A line that cannot be written whole (a full disk) is cut back out of the
 * file, and the first such failure of an outage is said on standard error.
 */
#include <errno.h>
#include <fcntl.h>
#include <stdio_ext.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <syslog.h>
#include <time.h>
#include <unistd.h>

#include "logger/logger.h"
#include "logger/logger_internal.h"

namespace {

// The letter in each message level's prefix "[<letter> <time>] "; index 0 is
// never written.
constexpr char kPrefixLetters[] = {' ', '!', 'W', 'i', 'D', '*', '-'};
constexpr int kAlwaysIndex = 6;
constexpr int kDumpIndex = 5;
constexpr int kStampSize = 128;
constexpr int kSyslogAndFileSize = 2048;

void format_stamp(char (&stamp)[kStampSize]) {
    time_t now = time(nullptr);
    struct tm local;
    if (localtime_r(&now, &local) == nullptr || strftime(stamp, sizeof stamp, "%F %T", &local) == 0)
        stamp[0] = '\0';
}

// The second the log file was last looked at, and whether a failure of the
// current outage was said (both touched by any request thread).
time_t g_file_checked = 0;
int g_failure_said = 0;

void say_once(const char *what, int error) {
    if (__atomic_exchange_n(&g_failure_said, 1, __ATOMIC_RELAXED) == 0) {
        const char *path = _my_local_instance.f_output_filename;
        fprintf(stderr, "libhxm2afp: %s the log file %s: %s\n", what, path != nullptr ? path : "",
                strerror(error));
    }
}

// Under the stream's lock: opens the log file again when its name no
// longer leads to the open file, at most once a second.
void follow_replaced_file(FILE *stream) {
    time_t now = time(nullptr);
    time_t checked = __atomic_load_n(&g_file_checked, __ATOMIC_RELAXED);
    if (now == checked || !__atomic_compare_exchange_n(&g_file_checked, &checked, now, false,
                                                       __ATOMIC_RELAXED, __ATOMIC_RELAXED))
        return;
    const char *path = _my_local_instance.f_output_filename;
    struct stat named;
    struct stat open_file;
    if (path == nullptr || path[0] == '\0' ||
        (stat(path, &named) == 0 && fstat(fileno(stream), &open_file) == 0 &&
         named.st_dev == open_file.st_dev && named.st_ino == open_file.st_ino))
        return;
    int fresh = open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0);
    if (fresh < 0) {
        say_once("cannot open again", errno);
        return;
    }
    if (fchmod(fresh, 0) != 0 || fflush(stream) != 0) {
        // The new file keeps the bits it was made with (none), and a line
        // still buffered is lost with the old one.
    }
    dup2(fresh, fileno(stream));
    close(fresh);
}

// Holds the stream's lock for one line or block and flushes it at the end.
class LineLock {
  public:
    explicit LineLock(FILE *stream) : stream_(stream) {
        flockfile(stream_);
        follow_replaced_file(stream_);
        start_ = lseek(fileno(stream_), 0, SEEK_END);
    }
    ~LineLock() {
        if (fflush(stream_) == 0 && !ferror(stream_)) {
            __atomic_store_n(&g_failure_said, 0, __ATOMIC_RELAXED);
        } else {
            int error = errno;
            __fpurge(stream_);
            clearerr(stream_);
            // Only ever shorter: rotation may have emptied the file meanwhile.
            struct stat status;
            if (start_ >= 0 && fstat(fileno(stream_), &status) == 0 && status.st_size > start_ &&
                ftruncate(fileno(stream_), start_) != 0) {
                // The cut line stays; the message below says lines are lost.
            }
            say_once("cannot write to", error);
        }
        funlockfile(stream_);
    }
    LineLock(const LineLock &) = delete;
    LineLock &operator=(const LineLock &) = delete;

  private:
    FILE *stream_;
    off_t start_;
};

void write_prefix(FILE *stream, int index) {
    char stamp[kStampSize];
    format_stamp(stamp);
    fprintf(stream, "[%c %s] ", kPrefixLetters[index], stamp);
}

// One line with the prefix of message level `index` and, in the file, the
// tag when there is one; whatever the logger's level.
void write_line(int index, const char *tag, const char *format, va_list arguments)
    HXM_LOGGER_PRINTF(3, 0);
void write_line(int index, const char *tag, const char *format, va_list arguments) {
    if (format == nullptr)
        return;
    if (hxm2afp::logger_uses_syslog()) {
        vsyslog(LOG_DEBUG, format, arguments);
        return;
    }
    FILE *stream = hxm2afp::logger_stream();
    if (stream == nullptr)
        return;
    LineLock lock(stream);
    write_prefix(stream, index);
    if (tag != nullptr)
        fprintf(stream, "%s: ", tag);
    vfprintf(stream, format, arguments);
    fputc('\n', stream);
}

// A level line (tag null) or tagged line of message level `index`, written
// only when the logger's level reaches it.
void write_level_line(int index, const char *tag, const char *format, va_list arguments)
    HXM_LOGGER_PRINTF(3, 0);
void write_level_line(int index, const char *tag, const char *format, va_list arguments) {
    if (hxm2afp::logger_level() >= index)
        write_line(index, tag, format, arguments);
}

bool dumps_enabled() {
    return hxm2afp::logger_level() > HXM_LOG_DEBUG;
}

} // namespace

#define HXM_LEVEL_WRITER(name, index)                                                              \
    void name(const char *format, ...) {                                                           \
        va_list arguments;                                                                         \
        va_start(arguments, format);                                                               \
        write_level_line(index, nullptr, format, arguments);                                       \
        va_end(arguments);                                                                         \
    }                                                                                              \
    void name##Tagged(const char *tag, const char *format, ...) {                                  \
        va_list arguments;                                                                         \
        va_start(arguments, format);                                                               \
        write_level_line(index, tag != nullptr ? tag : "", format, arguments);                     \
        va_end(arguments);                                                                         \
    }

HXM_LEVEL_WRITER(Logger_debug, HXM_LOG_DEBUG)
HXM_LEVEL_WRITER(Logger_info, HXM_LOG_INFO)
HXM_LEVEL_WRITER(Logger_warning, HXM_LOG_WARNING)
HXM_LEVEL_WRITER(Logger_error, HXM_LOG_ERROR)

#undef HXM_LEVEL_WRITER

namespace {

// Writes one dump into the log file under the stream's lock, after the dump
// level's prefix; nothing while no file is open.
template <typename Body> void write_dump(Body body) {
    FILE *stream = hxm2afp::logger_stream();
    if (stream == nullptr)
        return;
    LineLock lock(stream);
    write_prefix(stream, kDumpIndex);
    body(stream);
}

} // namespace

void Logger_dump(const char *format, ...) {
    if (!dumps_enabled() || format == nullptr)
        return;
    va_list arguments;
    va_start(arguments, format);
    if (hxm2afp::logger_uses_syslog()) {
        vsyslog(LOG_DEBUG, format, arguments);
    } else {
        write_dump([&](FILE *stream) {
            fputs("<dump>\n", stream);
            vfprintf(stream, format, arguments);
            fputs("\n</dump>\n", stream);
        });
    }
    va_end(arguments);
}

void Logger_ldump(const char *text, int length) {
    // A negative length would size the syslog copy below zero.
    if (!dumps_enabled() || text == nullptr || length < 0)
        return;
    if (hxm2afp::logger_uses_syslog()) {
        char *copy = static_cast<char *>(malloc(static_cast<size_t>(length) + 1));
        if (copy == nullptr)
            return;
        memcpy(copy, text, static_cast<size_t>(length));
        copy[length] = '\0';
        syslog(LOG_DEBUG, "%s", copy);
        free(copy);
        return;
    }
    write_dump([&](FILE *stream) {
        fprintf(stream, "<ldump len=\"%d\">\n", length);
        fwrite(text, 1, static_cast<size_t>(length), stream);
        fputs("\n</ldump>\n", stream);
    });
}

void Logger_bdump(const unsigned char *bytes, int length) {
    if (!dumps_enabled() || bytes == nullptr || length == 0 || hxm2afp::logger_uses_syslog())
        return;
    write_dump([&](FILE *stream) {
        fprintf(stream, "\n<bdump len=\"%d\">\n", length);
        fprintf(stream, "[%08d]  ", 0);
        for (int k = 0; k < length; ++k) {
            fprintf(stream, "%02x ", bytes[k]);
            if (k % 16 == 15)
                fprintf(stream, "\n[%08d]  ", k + 1);
        }
        fputs("\n</bdump>\n", stream);
    });
}

void Logger_writeAlways(const char *format, va_list arguments) {
    write_line(kAlwaysIndex, nullptr, format, arguments);
}

void Logger_SyslogAndFile(const char *format, va_list arguments) {
    if (format == nullptr)
        return;
    // Longer text is cut to 2047 characters.
    char text[kSyslogAndFileSize] = {};
    vsnprintf(text, sizeof text, format, arguments);
    syslog(LOG_INFO, "[Info]%s", text);
    FILE *stream = hxm2afp::logger_stream();
    if (stream == nullptr)
        return;
    LineLock lock(stream);
    write_prefix(stream, kAlwaysIndex);
    fputs(text, stream);
    fputc('\n', stream);
}

void Logger_writeAlwaysSlot(const char *format, ...) {
    va_list arguments;
    va_start(arguments, format);
    Logger_writeAlways(format, arguments);
    va_end(arguments);
}

void Logger_SyslogAndFileSlot(const char *format, ...) {
    va_list arguments;
    va_start(arguments, format);
    Logger_SyslogAndFile(format, arguments);
    va_end(arguments);
}

void Logger_errormessage(const char *message) {
    if (message == nullptr)
        return;
    if (hxm2afp::logger_uses_syslog()) {
        syslog(LOG_DEBUG, "%s", message);
        return;
    }
    FILE *stream = hxm2afp::logger_stream();
    if (stream == nullptr)
        return;
    char stamp[kStampSize];
    format_stamp(stamp);
    LineLock lock(stream);
    fprintf(stream, "[L %s] %s\n", stamp, message);
}
