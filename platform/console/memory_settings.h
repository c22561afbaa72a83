/*
 * The console's allocator settings: a process that serves one page after
 * another keeps the memory a page freed for the next page, instead of
 * returning it to the system and faulting it in again on every request.
 */
#ifndef HXM_PLATFORM_CONSOLE_MEMORY_SETTINGS_H
#define HXM_PLATFORM_CONSOLE_MEMORY_SETTINGS_H

namespace hxm_console {

// Sets the allocator so that blocks of an ordinary page (its records, its
// body) come from the heap rather than from fresh mappings, and freed heap
// memory stays in the process. Call once at start, before any thread is
// made. After a very large body the server still hands memory back itself
// (malloc_trim). False when the allocator refused a setting; the process then
// simply runs with the allocator's defaults for it.
bool KeepFreedMemory();

} // namespace hxm_console

#endif
