/*
 * Releasing the plug-in's own lists: malloc'd nodes linked through `next`.
 */
#ifndef HXM_MONITOR_NODE_LIST_H
#define HXM_MONITOR_NODE_LIST_H

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

} // namespace hxm2afp

#endif
