/*
 * Applying the configuration file's logging settings at load.
 */
#ifndef HXM_CORE_STARTUP_CONFIG_H
#define HXM_CORE_STARTUP_CONFIG_H

#include <time.h>

namespace hxm2afp {

/* Reads LOG_LEVEL, LOG_MAXIMUM_FILE_SIZE and LOG_TIMESTAMPS from the
 * configuration file and hands them to the logger's directive parser, with
 * the start-up lines (stamped with `loadTime`) after the level. Without a
 * configuration file that opens for update nothing is applied or written.
 * Needs the logger (hxm_log) set. */
void apply_startup_configuration(time_t loadTime);

} // namespace hxm2afp

#endif
