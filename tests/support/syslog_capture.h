/*
 * Syslog as the logger tests see it: this test program defines openlog,
 * syslog, vsyslog and closelog itself and exports them, so the plug-in's
 * calls land here instead of the machine's syslog.
 */
#ifndef HXM_TESTS_SUPPORT_SYSLOG_CAPTURE_H
#define HXM_TESTS_SUPPORT_SYSLOG_CAPTURE_H

#include <string>
#include <vector>

namespace hxm_test {

struct SyslogEvent {
    enum Kind { Open, Message, Close } kind;
    int priority;     // Message: the priority given
    std::string text; // Message: the formatted text; Open: the identity
    int option;       // Open
    int facility;     // Open
};

/* Everything captured since the last call, oldest first; clears the record. */
std::vector<SyslogEvent> TakeSyslogEvents();

} // namespace hxm_test

#endif
