/*
 * libFuzzer harness for the directive parser and the form readers. The code
 * under test comes from a fuzz-only shared object that clang builds from the
 * logger's and the form readers' sources (see CMakeLists.txt).
 *
 * Input: the first byte picks the target; the rest is the directive, or a
 * field name, a line end, then the post body.
 */
#include <stdarg.h>
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>

#include "core/form.h"
#include "logger/logger.h"

namespace hxm_test {

// Syslog goes nowhere: the directives can switch the logger to it.
extern "C" {
void openlog(const char *, int, int) {}
void closelog(void) {}
void vsyslog(int, const char *, va_list) {}
void syslog(int, const char *, ...) {}
void __vsyslog_chk(int, int, const char *, va_list) {}
void __syslog_chk(int, int, const char *, ...) {}
}

namespace {

void read_fields(const std::string &input, int selector) {
    size_t line_end = input.find('\n');
    std::string name = input.substr(0, line_end);
    std::string body = line_end == std::string::npos ? "" : input.substr(line_end + 1);
    static char out[4096 + 1];
    int value = 0;
    POST_GET_STRING(body.c_str(), name.c_str(), out, (selector * 97) % 5000 - 100);
    POST_GET_URL(body.c_str(), name.c_str(), out);
    POST_GET_INT(body.c_str(), name.c_str(), &value, 5);
    POST_CHECKBOX(body.c_str(), name.c_str(), "on", &value, 0);
    POST_RADIOBUTTON(body.c_str(), name.c_str(), &value);
    std::string copy = body;
    compressURI(&copy[0], copy.c_str());
    _strupr(&copy[0]);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    char path[] = "/tmp/hxm-directive-fuzz-XXXXXX";
    int descriptor = mkstemp(path);
    if (descriptor < 0)
        abort();
    close(descriptor);
    static std::string log_path = path;
    atexit([] { unlink(log_path.c_str()); });
    Logger_init(path, HXM_LOG_EVERYTHING);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size == 0)
        return 0;
    std::string input(reinterpret_cast<const char *>(data) + 1, size - 1);
    switch (data[0] % 3) {
    case 0:
        ProcessLogLevel(input.c_str());
        break;
    case 1:
        ProcessLogLevelWOLogging(input.c_str());
        break;
    default:
        read_fields(input, data[0]);
        break;
    }
    Logger *logger = Logger_getInstance();
    if (logger->use_syslog)
        ProcessLogLevelWOLogging("DEFAULT");
    ProcessLogLevelWOLogging("RESET"); // keep the file small
    return 0;
}

} // namespace hxm_test
