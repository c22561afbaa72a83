/*
 * The placeholder logger, `_dummy_logger_instance`: all state zero, no name
 * buffers, and slots that do nothing. openstream, setMode and status answer
 * -1, getStreamSize 0. The plug-in never points `log` at it; other modules
 * may use it as a logger that swallows everything.
 */
#include "logger/logger.h"

namespace {

void ignore_format(const char *, ...) {}
void ignore_tagged(const char *, const char *, ...) {}
void ignore_int(int) {}
void ignore() {}
void ignore_text(const char *, int) {}
void ignore_bytes(const unsigned char *, int) {}
int refuse_path(const char *) {
    return -1;
}
int refuse_mode(int) {
    return -1;
}
int refuse() {
    return -1;
}
int flush_nothing() {
    return 0;
}
int64_t no_size() {
    return 0;
}

} // namespace

// Positional: the record's field order is its binary layout.
Logger _dummy_logger_instance = {
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    nullptr,
    ignore_format, // debug
    ignore_tagged, // debugTagged
    ignore_format, // info
    ignore_tagged, // infoTagged
    ignore_format, // warning
    ignore_tagged, // warningTagged
    ignore_format, // error
    ignore_tagged, // errorTagged
    ignore_int,    // setLevel
    ignore,        // levelUp
    ignore,        // levelDown
    refuse_path,   // openstream
    ignore,        // closestream
    flush_nothing, // flushstream
    no_size,       // getStreamSize
    ignore,        // deinit
    ignore_format, // dump
    ignore_text,   // ldump
    ignore_bytes,  // bdump
    ignore_format, // writeAlways
    ignore_format, // SyslogAndFile
    refuse_mode,   // setMode
    refuse,        // status
    nullptr,       // f_output_filename
    nullptr,       // logname
};
