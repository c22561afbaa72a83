/*
 * What the libFuzzer harnesses share (header only: clang builds each harness
 * on its own, outside the test libraries).
 */
#ifndef HXM_TESTS_SUPPORT_FUZZ_HARNESS_H
#define HXM_TESTS_SUPPORT_FUZZ_HARNESS_H

#include <stdlib.h>

#include <zentra/hxm_host.h>

namespace hxm_test {

/* A failed property ends the run as a crash, so the fuzzer keeps the input. */
inline void Check(bool condition) {
    if (!condition)
        abort();
}

/* Registers `keyword` for `method` in the group "Fuzz"; whether that worked. */
inline bool RegisterFuzzKeyword(const char *linkText, const char *keyword, int keywordLength,
                                HxmServiceMethod method) {
    HxmServiceGroup group = {0, 0, "Fuzz"};
    int outCode = 0;
    return RegisterServiceMethodEx(linkText, keyword, keywordLength, &group, 0, 0, method, 0,
                                   &outCode) != 0;
}

} // namespace hxm_test

#endif
