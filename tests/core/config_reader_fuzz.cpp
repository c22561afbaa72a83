/*
 * libFuzzer target for the configuration reader. The input is one
 * configuration file; its first two bytes pick the buffer size and the key.
 * The value buffer is allocated at exactly the size given, so a write past
 * it is caught by AddressSanitizer; the results are checked against the
 * reader's contract.
 */
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "core/config_reader.h"
#include "tests/support/fuzz_harness.h"

namespace hxm_test {
namespace {

char scratch_path[] = "/tmp/hxm2afp-config-fuzz-XXXXXX";

void RemoveScratch() {
    unlink(scratch_path);
}

/* The one file every input is written to; removed when the fuzzer exits. */
const char *ScratchPath() {
    static bool made = [] {
        int descriptor = mkstemp(scratch_path);
        if (descriptor < 0)
            abort();
        close(descriptor);
        atexit(RemoveScratch);
        return true;
    }();
    (void)made;
    return scratch_path;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 2)
        return 0;
    const int bufferSize = data[0];
    const char *const kKeys[] = {"LOG_LEVEL", "K", "#", ";x", ""};
    const char *key = kKeys[data[1] % (sizeof kKeys / sizeof kKeys[0])];
    const char *defaultValue = (data[1] & 0x80) != 0 ? "WARNING" : nullptr;

    FILE *file = fopen(ScratchPath(), "wb");
    if (file == nullptr)
        return 0;
    fwrite(data + 2, 1, size - 2, file);
    fclose(file);

    char *value = static_cast<char *>(malloc(bufferSize > 0 ? bufferSize : 1));
    memset(value, 'U', bufferSize > 0 ? bufferSize : 1);
    int sizeInOut = bufferSize;
    int result = ReadConfigFileValue(ScratchPath(), key, value, &sizeInOut, defaultValue);
    switch (result) {
    case 0: {
        size_t length = strnlen(value, bufferSize);
        Check(bufferSize > 0 && length < static_cast<size_t>(bufferSize));
        Check(sizeInOut == bufferSize);
        Check(length <= 511);
        for (size_t i = 0; i < length; ++i)
            Check(value[i] != ' ' && value[i] != '\t' && value[i] != '\n');
        break;
    }
    case 90:
        Check(sizeInOut > bufferSize);
        Check(value[0] == 'U');
        break;
    case 61:
        Check(defaultValue == nullptr && sizeInOut == bufferSize);
        break;
    default:
        Check(false);
    }
    free(value);

    int present = -1;
    Check(ConfigFileExists(ScratchPath(), &present) == 0 && present == 1);
    return 0;
}

} // namespace hxm_test
