/*
 * Building the library's records: bounded copies into fixed fields, heap
 * copies of texts, growable arrays of them and lists built in one block.
 *
 * Records are plain malloc'd blocks and texts plain malloc'd strings, so the
 * free functions release them with free() and a failed allocation can be
 * undone by the caller without exceptions.
 */
#ifndef HXM_PLATFORM_AFPSTAT_RECORD_ALLOC_H
#define HXM_PLATFORM_AFPSTAT_RECORD_ALLOC_H

#include <limits.h>
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

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

/* Grows *block, holding *capacity bytes, to at least `needed` bytes by
 * doubling; false (nothing changed) when memory runs out. */
bool grow_block(void **block, size_t *capacity, size_t needed);

/* Node records built in order in one growing block, handed out as one
 * list linked through next: a list costs one allocation to build and one
 * free() to release, however long. Frees what it holds unless released. */
template <typename Node> struct NodeBlock {
    Node *nodes = nullptr;
    int count = 0;
    size_t capacity = 0; /* bytes */

    NodeBlock() = default;
    NodeBlock(const NodeBlock &) = delete;
    NodeBlock &operator=(const NodeBlock &) = delete;
    ~NodeBlock() { free(nodes); }

    /* Room for exactly `total` nodes in all (a known count: a list copied
     * whole); false (nothing changed) when memory runs out or total exceeds
     * INT_MAX. */
    bool reserve(size_t total) {
        if (total > INT_MAX || total > SIZE_MAX / sizeof(Node)) {
            return false;
        }
        if (total * sizeof(Node) <= capacity) {
            return true;
        }
        auto *block = static_cast<Node *>(realloc(nodes, total * sizeof(Node)));
        if (block == nullptr) {
            return false;
        }
        nodes = block;
        capacity = total * sizeof(Node);
        return true;
    }

    /* A new zero-filled node at the end, the block growing by doubling;
     * null (nothing changed) when memory runs out or count is already
     * INT_MAX. Earlier nodes may move. */
    Node *append() {
        if (count == INT_MAX || static_cast<size_t>(count) + 1 > SIZE_MAX / sizeof(Node)) {
            return nullptr;
        }
        void *block = nodes;
        if (!grow_block(&block, &capacity, (static_cast<size_t>(count) + 1) * sizeof(Node))) {
            return nullptr;
        }
        nodes = static_cast<Node *>(block);
        Node *node = &nodes[count++];
        memset(static_cast<void *>(node), 0, sizeof(Node));
        return node;
    }

    /* Links the nodes in order through next and hands over the first, the
     * start of the block (null when empty); leaves this one empty. */
    Node *release() {
        for (int i = 0; i < count; ++i) {
            nodes[i].next = i + 1 < count ? &nodes[i + 1] : nullptr;
        }
        Node *first = count > 0 ? nodes : nullptr;
        if (first == nullptr) {
            free(nodes);
        }
        nodes = nullptr;
        count = 0;
        capacity = 0;
        return first;
    }
};

} // namespace afpstat

#endif
