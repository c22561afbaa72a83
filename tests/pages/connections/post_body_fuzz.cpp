/*
 * libFuzzer target for decodePostDataString and parseDataToCloseAFPFiles.
 * The input is a post body handed over in a heap block of exactly its size
 * (no terminator), so a read past the given length is caught by
 * AddressSanitizer. Checked: a buffer always comes back, the decoded text is
 * never longer than the input, and every file the close loop asks the
 * monitoring library to close stands whole between the markers in the
 * decoded text (or an encoded name does); the loop asks nothing else but
 * the listings that tell a cut record path.
 */
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "core/post_body.h"
#include "pages/common/actions.h"
#include "tests/support/fuzz_harness.h"
#include "tests/support/scripted_afpstat.h"

namespace hxm_test {

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    char *block = static_cast<char *>(malloc(size == 0 ? 1 : size));
    Check(block != nullptr);
    memcpy(block, data, size);
    char *decoded = nullptr;
    Check(decodePostDataString(block, size, &decoded) == 0);
    Check(decoded != nullptr);
    const size_t length = strlen(decoded);
    Check(length <= size);

    scripted::Reset();
    Check(parseDataToCloseAFPFiles(decoded) == 0);
    const std::string text(decoded, length);
    for (const scripted::Call &call : scripted::Calls()) {
        if (call.function != "Ext_CloseFileByFileName") {
            Check(call.function == "Ext_ListVolumeDetails");
            continue;
        }
        Check(text.find("<filename>" + call.text + "</filename>") != std::string::npos ||
              text.find("<encodedfilename>") != std::string::npos);
    }
    // The raw body through the close loop too (terminated copy).
    std::string raw(reinterpret_cast<const char *>(data), size);
    scripted::Reset();
    Check(parseDataToCloseAFPFiles(raw.c_str()) == 0);
    free(decoded);
    free(block);
    return 0;
}

} // namespace hxm_test
