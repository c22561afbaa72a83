/*
 * The logger's functions that stay inside the plug-in: the slot functions
 * that Logger_init installs, and the two that the directive parsers call
 * directly. Hidden: only logger.h names the exported interface.
 */
#ifndef HXM_LOGGER_LOGGER_INTERNAL_H
#define HXM_LOGGER_LOGGER_INTERNAL_H

#include <stdint.h>

#include "logger/logger.h"

// Slots 1 to 8: level lines, plain and tagged.
void Logger_debug(const char *format, ...) HXM_LOGGER_PRINTF(1, 2);
void Logger_debugTagged(const char *tag, const char *format, ...) HXM_LOGGER_PRINTF(2, 3);
void Logger_info(const char *format, ...) HXM_LOGGER_PRINTF(1, 2);
void Logger_infoTagged(const char *tag, const char *format, ...) HXM_LOGGER_PRINTF(2, 3);
void Logger_warning(const char *format, ...) HXM_LOGGER_PRINTF(1, 2);
void Logger_warningTagged(const char *tag, const char *format, ...) HXM_LOGGER_PRINTF(2, 3);
void Logger_error(const char *format, ...) HXM_LOGGER_PRINTF(1, 2);
void Logger_errorTagged(const char *tag, const char *format, ...) HXM_LOGGER_PRINTF(2, 3);

// Slots 9 to 16 and 22, 23: level, stream and mode control.
void Logger_setLevel(int level);
void Logger_levelUp();
void Logger_levelDown();
int Logger_openstream(const char *path);
void Logger_closestream();
int Logger_setMode(int code);
int Logger_status();

// Slots 17 to 21: blocks and the unconditional writers.
void Logger_dump(const char *format, ...) HXM_LOGGER_PRINTF(1, 2);
void Logger_ldump(const char *text, int length);
void Logger_bdump(const unsigned char *bytes, int length);
void Logger_writeAlwaysSlot(const char *format, ...) HXM_LOGGER_PRINTF(1, 2);
void Logger_SyslogAndFileSlot(const char *format, ...) HXM_LOGGER_PRINTF(1, 2);

/* Relaxed reads of the words that request threads read while only the load
 * and unload entries write them. */
namespace hxm2afp {

inline int logger_level() {
    return __atomic_load_n(&_my_local_instance.level, __ATOMIC_RELAXED);
}
inline int logger_uses_syslog() {
    return __atomic_load_n(&_my_local_instance.use_syslog, __ATOMIC_RELAXED);
}
inline FILE *logger_stream() {
    return __atomic_load_n(&_my_local_instance.f_output, __ATOMIC_ACQUIRE);
}

} // namespace hxm2afp

#endif
