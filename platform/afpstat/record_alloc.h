/*
 * Building the library's records: bounded copies into fixed fields, heap
 * copies of texts and growable arrays of them.
 *
 * Records are plain calloc'd blocks and texts plain malloc'd strings, so the
 * free functions release them with free() and a failed allocation can be
 * undone by the caller without exceptions.
 */
#ifndef AFPSTAT_RECORD_ALLOC_H
#define AFPSTAT_RECORD_ALLOC_H

#include <stddef.h>
#include <stdint.h>

namespace afpstat {

/* Copies at most size - 1 bytes of text (up to its NUL) into field and
 * terminates it. A null text gives an empty field. */
void copy_terminated(char *field, size_t size, const unsigned char *text);

/* Copies at most size bytes of text (up to its NUL) into field and pads the
 * rest with NULs: a text of exactly size bytes is not terminated. */
void copy_padded(char *field, size_t size, const unsigned char *text);

/* A malloc'd, terminated copy of text (up to its NUL; null gives ""), or
 * null when memory runs out. */
char *copy_heap_text(const unsigned char *text);

/* An array of malloc'd strings that grows by doubling. */
struct TextArray {
    char **items = nullptr;
    int32_t count = 0;
    size_t capacity = 0;

    /* Appends a heap copy of text; false (nothing changed) when memory runs
     * out or the count would overflow. */
    bool append_copy(const unsigned char *text);
    /* Hands the array over (null when empty; its capacity may exceed the
     * count) and leaves this one empty. */
    char **release();
    /* Frees every string and the array. */
    void clear();
};

/* Frees count strings of items and items itself; null-safe. */
void free_text_array(char **items, int32_t count);

} // namespace afpstat

#endif
