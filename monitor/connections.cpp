/*
 * The sorted connection list: copy the monitoring library's connections into
 * the plug-in's own nodes, release the library's list, sort the copy.
 *
 * Notes: the sort is a bottom-up merge over runs kept in a fixed array of
 * bins (run i holds 2^i nodes), so it needs no recursion and no allocation.
 * Each merge puts the earlier run first and, on equal keys, takes the later
 * run's node, so equal keys end in the reverse of the library's order, as a
 * top-down merge with the same rule gives.
 */
#include "monitor/connections.h"

#include <stdlib.h>
#include <string.h>
#include <time.h>

#include <limits>

#include "logger/logger.h"

namespace {

// 2^64 nodes would be needed to fill more bins than this.
constexpr int kBinCount = 64;

// Whether `front` goes before `back`: strictly smaller keys only.
bool goes_first(const ConnectionSortStruct *front, const ConnectionSortStruct *back,
                AfpSortType sortType) {
    switch (sortType) {
    case AFP_SORT_CONNECTION_NUMBER:
        return front->connectionNumber < back->connectionNumber;
    case AFP_SORT_USER_NAME:
        return strcmp(front->userName, back->userName) < 0;
    case AFP_SORT_LOGIN_TIME:
        return front->loginTime < back->loginTime;
    case AFP_SORT_BYTES_READ_WRITTEN:
        return front->bytesReadWritten < back->bytesReadWritten;
    case AFP_SORT_REQUEST_COUNT:
        return front->requestCount < back->requestCount;
    default:
        return false;
    }
}

// Copies at most `kept` bytes of a field that may lack its terminator; the
// destination (kept + 1 bytes or more, zero-filled) stays terminated.
void copy_bounded(char *destination, const char *source, size_t kept) {
    memcpy(destination, source, strnlen(source, kept));
}

void debug(const char *text) {
    if (Logger *logger = hxm_log)
        logger->debug("%s", text);
}

// A zero-filled node holding one library entry, or null without memory.
ConnectionSortStruct *copy_entry(const ConnListNode &entry) {
    auto *node = static_cast<ConnectionSortStruct *>(calloc(1, sizeof(ConnectionSortStruct)));
    if (node == nullptr)
        return nullptr;
    node->connectionNumber = entry.connectionNumber;
    node->requestCount = entry.requestCount;
    // Unsigned arithmetic: a sum past 2^64 wraps as the record's type does.
    node->bytesReadWritten = static_cast<uint64_t>(entry.bytesRead) + entry.bytesWritten;
    node->loginTime = entry.loginTime;
    const unsigned long long loginTime = entry.loginTime;
    if (convertToTimeString(&loginTime, node->loginTimeText) != 0) {
        memset(node->loginTimeText, ' ', HXM_LOGIN_TIME_TEXT_SIZE - 1);
        debug("convertToTimeString, Error in getting Time string");
    }
    copy_bounded(node->userName, entry.userName, HXM_CONNECTION_USER_KEPT);
    copy_bounded(node->networkAddress, entry.networkAddress, AFPSTAT_ADDRESS_SIZE);
    return node;
}

void free_nodes(ConnectionSortStruct *list) {
    while (list != nullptr) {
        ConnectionSortStruct *next = list->next;
        free(list);
        list = next;
    }
}

} // namespace

int convertToTimeString(const unsigned long long *seconds, char *out) {
    if (seconds == nullptr || out == nullptr)
        return -1;
    out[0] = '\0';
    if (*seconds > static_cast<unsigned long long>(std::numeric_limits<time_t>::max()))
        return -1;
    const time_t when = static_cast<time_t>(*seconds);
    struct tm local;
    if (localtime_r(&when, &local) == nullptr)
        return -1;
    const size_t written = strftime(out, HXM_TIME_STRING_SIZE, "%c", &local);
    if (written == 0) {
        out[0] = '\0';
        if (Logger *logger = hxm_log)
            logger->debug("strftime() has failed to format time as string and returned %d", 0);
        return -1;
    }
    return 0;
}

void split_the_list(ConnectionSortStruct *list, ConnectionSortStruct **front,
                    ConnectionSortStruct **back) {
    if (front == nullptr || back == nullptr)
        return;
    if (list == nullptr || list->next == nullptr) {
        *front = list;
        *back = nullptr;
        return;
    }
    ConnectionSortStruct *slow = list;
    ConnectionSortStruct *fast = list->next;
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

ConnectionSortStruct *merge(ConnectionSortStruct *front, ConnectionSortStruct *back,
                            AfpSortType sortType) {
    ConnectionSortStruct *head = nullptr;
    ConnectionSortStruct **tail = &head;
    while (front != nullptr && back != nullptr) {
        ConnectionSortStruct **chosen = goes_first(front, back, sortType) ? &front : &back;
        *tail = *chosen;
        tail = &(*chosen)->next;
        *chosen = (*chosen)->next;
    }
    *tail = front != nullptr ? front : back;
    return head;
}

void mergesort(ConnectionSortStruct **head, AfpSortType sortType) {
    if (head == nullptr || *head == nullptr || (*head)->next == nullptr)
        return;
    // bins[i] is null or a sorted run of 2^i nodes that came before every
    // node still to be placed; a higher bin holds earlier nodes.
    ConnectionSortStruct *bins[kBinCount] = {};
    int used = 0;
    ConnectionSortStruct *rest = *head;
    while (rest != nullptr) {
        ConnectionSortStruct *run = rest;
        rest = rest->next;
        run->next = nullptr;
        int bin = 0;
        for (; bin < used && bins[bin] != nullptr; ++bin) {
            run = merge(bins[bin], run, sortType);
            bins[bin] = nullptr;
        }
        if (bin == kBinCount)
            --bin; // unreachable: 2^64 nodes
        bins[bin] = run;
        if (bin == used)
            ++used;
    }
    ConnectionSortStruct *sorted = nullptr;
    for (int bin = 0; bin < used; ++bin) {
        if (bins[bin] != nullptr)
            sorted = merge(bins[bin], sorted, sortType);
    }
    *head = sorted;
}

int GetSortedConnectionList(ConnectionSortStruct **head, AfpSortType sortType) {
    debug("Enter GetSortedConnectionList");
    int count = 0;
    ConnListNode *library = nullptr;
    const int status = Ext_ListConnDetails(&count, &library);
    if (status != AFPSTAT_OK) {
        if (Logger *logger = hxm_log)
            logger->debug("Ext_ListConnDetails() has failed with error = %d", status);
    }
    if (library == nullptr) {
        debug("GetSortedConnectionList, Connection list is Empty");
        return -1;
    }
    ConnectionSortStruct *list = nullptr;
    ConnectionSortStruct **tail = &list;
    int copied = 0;
    bool complete = true;
    for (const ConnListNode *entry = library; entry != nullptr && copied < count;
         entry = entry->next, ++copied) {
        ConnectionSortStruct *node = copy_entry(*entry);
        if (node == nullptr) {
            complete = false;
            break;
        }
        *tail = node;
        tail = &node->next;
    }
    FreeConnListNodes(&library);
    if (!complete || head == nullptr) {
        // A page that silently lacks connections would mislead: fail whole.
        debug("GetSortedConnectionList, no memory for the connection list");
        free_nodes(list);
        return -1;
    }
    mergesort(&list, sortType);
    *head = list;
    return 0;
}
