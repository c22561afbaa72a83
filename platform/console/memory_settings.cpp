/*
 * The allocator settings of the console (see memory_settings.h).
 *
 * Notes: with the defaults, glibc maps blocks from 128 KiB up afresh and
 * gives them back on free, and trims the heap once a little memory is free
 * at its top; a page of thousands of rows then spends a good part of its
 * time faulting in zeroed pages, on every request. Setting both thresholds
 * also stops glibc from adjusting them by itself. Each request thread keeps
 * its own heap: with one heap for all, the threads wait on its lock and
 * serve far fewer requests per second.
 */
#include "platform/console/memory_settings.h"

#include <malloc.h>

#include <cstddef>
#include <cstdlib>

namespace hxm_console {

namespace {

// The largest threshold glibc accepts (half its per-thread heap size): 32 MiB
// on 64-bit, 16 MiB on 32-bit. Blocks this large still get mappings of their
// own, which go back to the system as soon as they are freed.
constexpr std::size_t kMapThreshold = std::size_t{4} * 1024 * 1024 * sizeof(long);

// Free memory at the top of a heap up to this size stays for the next page;
// a page of ten thousand rows needs some twenty megabytes. What a larger page
// leaves is handed back by ReturnFreedMemory.
constexpr std::size_t kTrimThreshold = std::size_t{32} * 1024 * 1024;

// A block this large, freed, makes glibc consider trimming the top of the
// heap it came from.
constexpr std::size_t kTrimProbeBytes = std::size_t{256} * 1024;

} // namespace

bool KeepFreedMemory() {
    bool mapped = mallopt(M_MMAP_THRESHOLD, static_cast<int>(kMapThreshold)) == 1;
    bool trimmed = mallopt(M_TRIM_THRESHOLD, static_cast<int>(kTrimThreshold)) == 1;
    return mapped && trimmed;
}

void ReturnFreedMemory() {
    // malloc_trim returns the free blocks of every heap but the free top of
    // the main heap only; a request thread's heap keeps its top while it is
    // under the trim threshold. Freeing a large block with the threshold
    // lowered makes glibc shrink this thread's heap at its top. The
    // threshold is global: other threads freeing meanwhile may trim too.
    mallopt(M_TRIM_THRESHOLD, 0);
    void *volatile probe = std::malloc(kTrimProbeBytes); // volatile: kept as written
    std::free(probe);
    mallopt(M_TRIM_THRESHOLD, static_cast<int>(kTrimThreshold));
    malloc_trim(0);
}

} // namespace hxm_console
