/*
 * Bounded copies and heap text arrays for the library's records.
 */
#include "platform/afpstat/record_alloc.h"

#include <stdint.h>
#include <stdlib.h>
#include <string.h>

namespace afpstat {

namespace {

const char *as_chars(const unsigned char *text) {
    return text != nullptr ? reinterpret_cast<const char *>(text) : "";
}

} // namespace

void copy_terminated(char *field, size_t size, const unsigned char *text) {
    if (size == 0) {
        return;
    }
    size_t length = strnlen(as_chars(text), size - 1);
    memcpy(field, as_chars(text), length);
    memset(field + length, 0, size - length);
}

void copy_padded(char *field, size_t size, const unsigned char *text) {
    size_t length = strnlen(as_chars(text), size);
    memcpy(field, as_chars(text), length);
    memset(field + length, 0, size - length);
}

char *copy_heap_text(const unsigned char *text) {
    size_t length = strlen(as_chars(text));
    auto *copy = static_cast<char *>(malloc(length + 1));
    if (copy != nullptr) {
        memcpy(copy, as_chars(text), length + 1);
    }
    return copy;
}

bool grow_block(void **block, size_t *capacity, size_t needed) {
    if (needed <= *capacity) {
        return true;
    }
    size_t grown = *capacity < 4096 ? 4096 : *capacity;
    while (grown < needed) {
        grown = grown <= SIZE_MAX / 2 ? grown * 2 : needed;
    }
    void *larger = realloc(*block, grown);
    if (larger == nullptr) {
        return false;
    }
    *block = larger;
    *capacity = grown;
    return true;
}

bool TextArray::append_copy(const unsigned char *text) {
    if (count == INT32_MAX) {
        return false;
    }
    if (static_cast<size_t>(count) == capacity) {
        size_t grown = capacity == 0 ? 8 : capacity * 2;
        auto *larger = static_cast<char **>(realloc(items, grown * sizeof *items));
        if (larger == nullptr) {
            return false;
        }
        items = larger;
        capacity = grown;
    }
    char *copy = copy_heap_text(text);
    if (copy == nullptr) {
        return false;
    }
    items[count++] = copy;
    return true;
}

char **TextArray::release() {
    // Not trimmed: a failed trim would be a failure that is not one.
    char **result = count > 0 ? items : nullptr;
    if (count == 0) {
        free(items);
    }
    items = nullptr;
    count = 0;
    capacity = 0;
    return result;
}

void TextArray::clear() {
    free_text_array(items, count);
    items = nullptr;
    count = 0;
    capacity = 0;
}

void free_text_array(char **items, int32_t count) {
    if (items == nullptr) {
        return;
    }
    for (int32_t i = 0; i < count; ++i) {
        free(items[i]);
    }
    free(items);
}

} // namespace afpstat
