/*
 * The plug-in's one list sort, for any node linked through `next`: a
 * bottom-up merge with no allocation and no recursion, so a worker thread
 * sorts 100,000 nodes in a fixed, small stack.
 *
 * Notes: runs are kept in a fixed array of bins (bin i holds a sorted run of
 * 2^i nodes), so 64 bins would take 2^64 nodes to overflow. Every merge puts
 * the earlier run first and takes the later run's node on equal keys, so
 * equal keys end in the reverse of their list order, the order a top-down
 * merge with the same rule gives.
 */
#ifndef HXM_MONITOR_LIST_SORT_H
#define HXM_MONITOR_LIST_SORT_H

namespace hxm2afp {

/* Merges two sorted lists and returns the result. A front node goes first
 * only when goes_first(front, back) holds, so equal keys take the back node
 * first. */
template <typename Node, typename GoesFirst>
Node *merge_sorted_lists(Node *front, Node *back, GoesFirst goes_first) {
    Node *head = nullptr;
    Node **tail = &head;
    while (front != nullptr && back != nullptr) {
        Node **chosen = goes_first(front, back) ? &front : &back;
        *tail = *chosen;
        tail = &(*chosen)->next;
        *chosen = (*chosen)->next;
    }
    *tail = front != nullptr ? front : back;
    return head;
}

/* Sorts the list starting at `head` and returns its new head: ascending
 * under goes_first, equal keys in the reverse of their list order (so an
 * order that never puts one node first reverses the list). */
template <typename Node, typename GoesFirst> Node *sort_list(Node *head, GoesFirst goes_first) {
    constexpr int kBinCount = 64;
    if (head == nullptr || head->next == nullptr)
        return head;
    // bins[i] is null or a sorted run of 2^i nodes that came before every
    // node still to be placed; a higher bin holds earlier nodes.
    Node *bins[kBinCount] = {};
    int used = 0;
    Node *rest = head;
    while (rest != nullptr) {
        Node *run = rest;
        rest = rest->next;
        run->next = nullptr;
        int bin = 0;
        for (; bin < used && bins[bin] != nullptr; ++bin) {
            run = merge_sorted_lists(bins[bin], run, goes_first);
            bins[bin] = nullptr;
        }
        if (bin == kBinCount)
            --bin; // unreachable: 2^64 nodes
        bins[bin] = run;
        if (bin == used)
            ++used;
    }
    Node *sorted = nullptr;
    for (int bin = 0; bin < used; ++bin) {
        if (bins[bin] != nullptr)
            sorted = merge_sorted_lists(bins[bin], sorted, goes_first);
    }
    return sorted;
}

/* Cuts `list` into its first ceil(n/2) nodes (*front) and the rest (*back);
 * does nothing when either out pointer is null. */
template <typename Node> void split_list(Node *list, Node **front, Node **back) {
    if (front == nullptr || back == nullptr)
        return;
    if (list == nullptr || list->next == nullptr) {
        *front = list;
        *back = nullptr;
        return;
    }
    Node *slow = list;
    Node *fast = list->next;
    while (fast != nullptr) {
        fast = fast->next;
        if (fast != nullptr) {
            fast = fast->next;
            slow = slow->next;
        }
    }
    *front = list;
    *back = slow->next;
    slow->next = nullptr;
}

} // namespace hxm2afp

#endif
