/*
 * The plug-in's own lists: malloc'd nodes linked through `next`, released one
 * by one, or nodes of a pool released all at once.
 */
#ifndef HXM_MONITOR_NODE_LIST_H
#define HXM_MONITOR_NODE_LIST_H

#include <stddef.h>
#include <stdlib.h>

namespace hxm2afp {

/* Frees every node of the list starting at `head` (null: nothing). */
template <typename Node> void free_node_list(Node *head) {
    while (head != nullptr) {
        Node *next = head->next;
        free(head);
        head = next;
    }
}

/* Asks the processor to start loading the given bytes. Sorted, a long list
 * visits its nodes in no order the processor can guess; asking for the next
 * node's fields while a row is written hides most of the wait for memory. */
template <typename... Bytes> void prefetch(const Bytes *...bytes) {
    (__builtin_prefetch(bytes), ...);
}

/* Bytes handed out from a few large blocks and released together when the
 * arena goes: records of different sizes (a node and its texts) for a
 * page's list, at the cost of a handful of allocations. */
class ByteArena {
  public:
    ByteArena() = default;
    ByteArena(const ByteArena &) = delete;
    ByteArena &operator=(const ByteArena &) = delete;
    ~ByteArena() {
        while (blocks_ != nullptr) {
            Block *next = blocks_->next;
            free(blocks_);
            blocks_ = next;
        }
    }

    /* `bytes` bytes aligned for any record, or null without memory. */
    void *take(size_t bytes) {
        if (bytes > kBlockBytes)
            return nullptr; // no record of a list comes near a block
        bytes = (bytes + kAlign - 1) & ~(kAlign - 1);
        if (bytes > left_) {
            Block *block = static_cast<Block *>(malloc(sizeof(Block) + kBlockBytes));
            if (block == nullptr)
                return nullptr;
            block->next = blocks_;
            blocks_ = block;
            at_ = reinterpret_cast<char *>(block + 1);
            left_ = kBlockBytes;
        }
        void *taken = at_;
        at_ += bytes;
        left_ -= bytes;
        return taken;
    }

  private:
    static constexpr size_t kAlign = alignof(max_align_t);
    // Blocks stay under the allocator's default threshold for mapping
    // memory of their own, so they come from (and return to) the heap.
    static constexpr size_t kBlockBytes = size_t{120} * 1024;
    struct alignas(max_align_t) Block {
        Block *next;
    };
    Block *blocks_ = nullptr;
    char *at_ = nullptr;
    size_t left_ = 0;
};

/* Nodes handed out from the blocks of an arena and released together
 * when the pool goes. A page's list of many nodes then costs a handful of
 * allocations, and no free per node in the list's sorted (scattered) order. */
template <typename Node> class NodePool {
  public:
    /* A node whose bytes are not set, or null without memory. */
    Node *take() { return static_cast<Node *>(arena_.take(sizeof(Node))); }

  private:
    ByteArena arena_;
};

} // namespace hxm2afp

#endif
