/*
 * The allocator settings of the console (see memory_settings.h).
 *
 * Notes: with the defaults, glibc maps blocks from 128 KiB up afresh and
 * gives them back on free, and trims the heap once a little memory is free
 * at its top; a page of thousands of rows then spends a good part of its
 * time faulting in zeroed pages, on every request. Setting both thresholds
 * also stops glibc from adjusting them by itself. All threads share one
 * arena, so that the trim after a very large body reaches all free memory.
 */
#include "platform/console/memory_settings.h"

#include <malloc.h>

#include <cstddef>

namespace hxm_console {

namespace {

// The largest threshold glibc accepts (half its per-thread heap size): 32 MiB
// on 64-bit, 16 MiB on 32-bit. Blocks this large still get mappings of their
// own, which go back to the system as soon as they are freed.
constexpr std::size_t kMapThreshold = std::size_t{4} * 1024 * 1024 * sizeof(long);

// Free memory at the top of a heap up to this size stays for the next page.
constexpr std::size_t kTrimThreshold = std::size_t{8} * kMapThreshold;

} // namespace

bool KeepFreedMemory() {
    bool mapped = mallopt(M_MMAP_THRESHOLD, static_cast<int>(kMapThreshold)) == 1;
    bool trimmed = mallopt(M_TRIM_THRESHOLD, static_cast<int>(kTrimThreshold)) == 1;
    // malloc_trim shrinks only the main arena's heap; with a heap per thread
    // each request thread would keep a large page's memory for good.
    bool shared = mallopt(M_ARENA_MAX, 1) == 1;
    return mapped && trimmed && shared;
}

} // namespace hxm_console
