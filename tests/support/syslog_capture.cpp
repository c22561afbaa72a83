/*
 * The syslog stand-in of the logger tests; see syslog_capture.h. The names
 * are exported from the test program through its dynamic list.
 */
#include "tests/support/syslog_capture.h"

#include <stdarg.h>
#include <stdio.h>

#include <mutex>

namespace hxm_test {
namespace {

std::mutex g_mutex;
std::vector<SyslogEvent> g_events;

void record(SyslogEvent event) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_events.push_back(std::move(event));
}

void record_message(int priority, const char *format, va_list arguments) {
    va_list copy;
    va_copy(copy, arguments);
    int length = vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::string text(length > 0 ? static_cast<size_t>(length) : 0, '\0');
    if (length > 0)
        vsnprintf(&text[0], text.size() + 1, format, arguments);
    record({SyslogEvent::Message, priority, text, 0, 0});
}

} // namespace

std::vector<SyslogEvent> TakeSyslogEvents() {
    std::lock_guard<std::mutex> lock(g_mutex);
    std::vector<SyslogEvent> events;
    events.swap(g_events);
    return events;
}

extern "C" {

void openlog(const char *ident, int option, int facility) {
    record({SyslogEvent::Open, 0, ident != nullptr ? ident : "", option, facility});
}

void closelog(void) {
    record({SyslogEvent::Close, 0, "", 0, 0});
}

void vsyslog(int priority, const char *format, va_list arguments) {
    record_message(priority, format, arguments);
}

void syslog(int priority, const char *format, ...) {
    va_list arguments;
    va_start(arguments, format);
    record_message(priority, format, arguments);
    va_end(arguments);
}

// The fortified forms, for builds with _FORTIFY_SOURCE.
void __vsyslog_chk(int priority, int, const char *format, va_list arguments) {
    record_message(priority, format, arguments);
}

void __syslog_chk(int priority, int, const char *format, ...) {
    va_list arguments;
    va_start(arguments, format);
    record_message(priority, format, arguments);
    va_end(arguments);
}
}

} // namespace hxm_test
