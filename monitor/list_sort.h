/*
 * The plug-in's one list sort, for any node linked through `next`: a
 * bottom-up merge with no allocation and no recursion, so a worker thread
 * sorts 100,000 nodes in a fixed, small stack; and the same order by keys
 * read once into an array, which the pages use.
 *
 * Notes: runs are kept in a fixed array of bins (bin i holds a sorted run of
 * 2^i nodes), so 64 bins would take 2^64 nodes to overflow. Every merge puts
 * the earlier run first and takes the later run's node on equal keys, so
 * equal keys end in the reverse of their list order, the order a top-down
 * merge with the same rule gives. The keyed sort gets that order from a
 * stable sort of the nodes taken in reverse.
 */
#ifndef HXM_MONITOR_LIST_SORT_H
#define HXM_MONITOR_LIST_SORT_H

#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include <algorithm>
#include <memory>
#include <new>
#include <type_traits>

#include <zentra/afpstat.h>

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

/* Whether key `a` goes before key `b`: numbers by value, texts as strcmp
 * orders them. */
inline bool key_less(uint64_t a, uint64_t b) {
    return a < b;
}
inline bool key_less(const char *a, const char *b) {
    return strcmp(a, b) < 0;
}

/* A text's place in a keyed sort: its first sixteen bytes as two big-endian
 * numbers (zeros after the end), the text compared only when those agree,
 * which orders the texts as strcmp does. */
struct TextKey {
    uint64_t high;
    uint64_t low;
    const char *text;

    bool operator<(const TextKey &other) const {
        if (high != other.high)
            return high < other.high;
        if (low != other.low)
            return low < other.low;
        return strcmp(text, other.text) < 0;
    }
};

inline TextKey text_key(const char *text) {
    uint64_t part[2] = {0, 0};
    size_t length = 0;
    for (; length < 16 && text[length] != '\0'; ++length)
        part[length / 8] |= uint64_t{static_cast<unsigned char>(text[length])}
                            << (8 * (7 - length % 8));
    return TextKey{part[0], part[1], text};
}

/* Sorts the list starting at `head` by key_of(node), a number (uint64_t) or a
 * terminated text (const char *), and returns its new head, in exactly the
 * order sort_list gives with goes_first(front, back) = key_less(key_of(front),
 * key_of(back)). The keys are read once into an array and sorted there:
 * nodes of several hundred bytes, each touched for its key and its link at
 * every merge, are what a list sort of many nodes spends its time on. Texts
 * are keyed from the end of the prefix they all share (paths of one volume
 * mostly start alike), so most comparisons never reach the nodes. Without
 * memory for the array it falls back to sort_list. */
template <typename Node, typename KeyOf> Node *sort_list_by_key(Node *head, KeyOf key_of) {
    using Key = decltype(key_of(head));
    constexpr bool kText = std::is_same<Key, const char *>::value;
    struct Entry {
        typename std::conditional<kText, TextKey, Key>::type key;
        Node *node;
    };
    if (head == nullptr || head->next == nullptr)
        return head;
    size_t count = 0;
    size_t shared = 0; // bytes every text starts with
    const char *first = nullptr;
    if constexpr (kText) {
        first = key_of(head);
        shared = strlen(first);
    }
    for (const Node *node = head; node != nullptr; node = node->next) {
        ++count;
        if constexpr (kText) {
            const char *text = key_of(node);
            size_t same = 0;
            while (same < shared && text[same] == first[same])
                ++same;
            shared = same;
        }
    }
    std::unique_ptr<Entry[]> entries(new (std::nothrow) Entry[count]);
    if (!entries)
        return sort_list(head, [key_of](const Node *front, const Node *back) {
            return key_less(key_of(front), key_of(back));
        });
    // Reversed in, stable out: equal keys leave in the reverse of list order.
    size_t at = count;
    for (Node *node = head; node != nullptr; node = node->next) {
        if constexpr (kText)
            entries[--at] = Entry{text_key(key_of(node) + shared), node};
        else
            entries[--at] = Entry{key_of(node), node};
    }
    std::stable_sort(entries.get(), entries.get() + count,
                     [](const Entry &front, const Entry &back) { return front.key < back.key; });
    for (size_t i = 0; i + 1 < count; ++i)
        entries[i].node->next = entries[i + 1].node;
    entries[count - 1].node->next = nullptr;
    return entries[0].node;
}

/* One row of a record type's sort-key table: a sort type and the key a node
 * has for it, a number or a text (the other is null). */
template <typename Node> struct SortKey {
    AfpSortType sortType;
    uint64_t (*number)(const Node *);
    const char *(*text)(const Node *);
};

/* Calls use(key_of) with the key `table` gives `sortType`; for a type the
 * table lacks every node has the same key. */
template <typename Node, size_t kRows, typename Use>
auto with_sort_key(const SortKey<Node> (&table)[kRows], AfpSortType sortType, Use use) {
    for (const SortKey<Node> &row : table) {
        if (row.sortType != sortType)
            continue;
        if (row.text != nullptr)
            return use(row.text);
        return use(row.number);
    }
    return use(+[](const Node *) { return uint64_t{0}; });
}

/* Calls use(goes_first) with the order `table` gives `sortType`: whether a
 * front node goes before a back node, strictly smaller keys only. */
template <typename Node, size_t kRows, typename Use>
auto with_sort_order(const SortKey<Node> (&table)[kRows], AfpSortType sortType, Use use) {
    return with_sort_key(table, sortType, [&use](auto key_of) {
        return use([key_of](const Node *front, const Node *back) {
            return key_less(key_of(front), key_of(back));
        });
    });
}

/* Sorts the list at *head by the key `table` gives `sortType`. */
template <typename Node, size_t kRows>
void sort_by_table(const SortKey<Node> (&table)[kRows], Node **head, AfpSortType sortType) {
    if (head == nullptr)
        return;
    Node *list = *head;
    *head = with_sort_key(table, sortType,
                          [list](auto key_of) { return sort_list_by_key(list, key_of); });
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
