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

/* Nodes handed out from a few large blocks and released together
 * when the pool goes. A page's list of many nodes then costs a handful of
 * allocations, and no free per node in the list's sorted (scattered) order. */
template <typename Node> class NodePool {
  public:
    NodePool() = default;
    NodePool(const NodePool &) = delete;
    NodePool &operator=(const NodePool &) = delete;
    ~NodePool() {
        while (blocks_ != nullptr) {
            Block *next = blocks_->next;
            free(blocks_);
            blocks_ = next;
        }
    }

    /* A node whose bytes are not set, or null without memory. */
    Node *take() {
        if (blocks_ == nullptr || used_ == kBlockNodes) {
            Block *block = static_cast<Block *>(malloc(sizeof(Block)));
            if (block == nullptr)
                return nullptr;
            block->next = blocks_;
            blocks_ = block;
            used_ = 0;
        }
        return &blocks_->nodes[used_++];
    }

  private:
    // Blocks stay under the allocator's default threshold for mapping
    // memory of its own, so they come from (and return to) the heap.
    static constexpr size_t kBlockBytes = size_t{120} * 1024;
    static constexpr size_t kBlockNodes = kBlockBytes / sizeof(Node) > 0
                                              ? kBlockBytes / sizeof(Node)
                                              : 1;
    struct Block {
        Block *next;
        Node nodes[kBlockNodes];
    };
    Block *blocks_ = nullptr;
    size_t used_ = 0;
};

} // namespace hxm2afp

#endif
