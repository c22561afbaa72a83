/*
 * For the fuzz-only build of the open-file code: no logger is loaded, so the
 * code's logger pointer stays null and every trace is skipped.
 */
#include "logger/logger.h"

Logger *hxm_log = nullptr;
