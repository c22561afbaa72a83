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
// made. After a very large body the server hands memory back itself
// (ReturnFreedMemory). False when the allocator refused a setting; the
// process then simply runs with the allocator's defaults for it.
bool KeepFreedMemory();

// Gives the memory freed so far back to the system: the free blocks of every
// heap, and the free top of the calling thread's own heap, which malloc_trim
// leaves alone. Called on the thread that served a very large page.
void ReturnFreedMemory();

} // namespace hxm_console

#endif
