/*
 * The sorted connection list: copy the monitoring library's connections into
 * the plug-in's own nodes, release the library's list, sort the copy.
 *
 * Notes: the sort is the plug-in's one list sort (monitor/list_sort.h), fixed
 * to one order per sort type before it runs, so no comparison switches on
 * the type.
 */
#include "monitor/connections.h"

#include <stdlib.h>
#include <string.h>
#include <time.h>

#include <limits>

#include "base/bounded_copy.h"
#include "logger/logger.h"
#include "monitor/list_sort.h"
#include "monitor/login_times.h"
#include "monitor/node_list.h"

namespace {

using hxm2afp::copy_bounded;

// The keys of the five sort types, for the nodes and the page's rows; any
// other sorts nothing.
template <typename Node>
constexpr hxm2afp::SortKey<Node> kSortKeys[] = {
    {AFP_SORT_CONNECTION_NUMBER, [](const Node *node) { return uint64_t{node->connectionNumber}; },
     nullptr},
    {AFP_SORT_USER_NAME, nullptr,
     [](const Node *node) { return static_cast<const char *>(node->userName); }},
    {AFP_SORT_LOGIN_TIME, [](const Node *node) { return uint64_t{node->loginTime}; }, nullptr},
    {AFP_SORT_BYTES_READ_WRITTEN, [](const Node *node) { return uint64_t{node->bytesReadWritten}; },
     nullptr},
    {AFP_SORT_REQUEST_COUNT, [](const Node *node) { return uint64_t{node->requestCount}; },
     nullptr},
};

// A node (the pool's, or its own zero-filled one) holding one library
// entry, or null without memory. A pool's node is not cleared whole: at
// 650 bytes, most of them the user name's room, that wrote a page's worth of
// memory twice; every field is set instead, each text terminated.
ConnectionSortStruct *copy_entry(const ConnListNode &entry,
                                 hxm2afp::NodePool<ConnectionSortStruct> *pool,
                                 hxm2afp::LoginTimeTexts &loginTimes) {
    auto *node = pool != nullptr
                     ? pool->take()
                     : static_cast<ConnectionSortStruct *>(calloc(1, sizeof(ConnectionSortStruct)));
    if (node == nullptr)
        return nullptr;
    node->next = nullptr;
    memset(node->loggedIn, 0, sizeof node->loggedIn);
    node->connectionNumber = entry.connectionNumber;
    node->requestCount = entry.requestCount;
    // Unsigned arithmetic: a sum past 2^64 wraps as the record's type does.
    node->bytesReadWritten = static_cast<uint64_t>(entry.bytesRead) + entry.bytesWritten;
    node->loginTime = entry.loginTime;
    if (loginTimes.text(entry.loginTime, node->loginTimeText) != 0) {
        memset(node->loginTimeText, ' ', HXM_LOGIN_TIME_TEXT_SIZE - 1);
        node->loginTimeText[HXM_LOGIN_TIME_TEXT_SIZE - 1] = '\0';
        HXM_DEBUG("convertToTimeString, Error in getting Time string");
    }
    copy_bounded(node->userName, entry.userName, HXM_CONNECTION_USER_KEPT);
    copy_bounded(node->networkAddress, entry.networkAddress, AFPSTAT_ADDRESS_SIZE);
    return node;
}

// A row from `arena` holding one library entry, or null without memory.
hxm2afp::ConnectionRow *new_connection_row(const ConnListNode &entry, hxm2afp::ByteArena *arena,
                                           hxm2afp::LoginTimeTexts &loginTimes) {
    char when[HXM_LOGIN_TIME_TEXT_SIZE];
    if (loginTimes.text(entry.loginTime, when) != 0) {
        memset(when, ' ', HXM_LOGIN_TIME_TEXT_SIZE - 1);
        when[HXM_LOGIN_TIME_TEXT_SIZE - 1] = '\0';
    }
    const size_t userLength = strnlen(entry.userName, HXM_CONNECTION_USER_KEPT);
    const size_t whenLength = strlen(when);
    void *bytes = arena->take(sizeof(hxm2afp::ConnectionRow) + userLength + whenLength + 2);
    if (bytes == nullptr)
        return nullptr;
    auto *row = static_cast<hxm2afp::ConnectionRow *>(bytes);
    char *texts = reinterpret_cast<char *>(row + 1);
    row->next = nullptr;
    row->connectionNumber = entry.connectionNumber;
    row->requestCount = entry.requestCount;
    // Unsigned arithmetic: a sum past 2^64 wraps as the record's type does.
    row->bytesReadWritten = static_cast<uint64_t>(entry.bytesRead) + entry.bytesWritten;
    row->loginTime = entry.loginTime;
    copy_bounded(texts, entry.userName, userLength);
    row->userName = texts;
    copy_bounded(texts + userLength + 1, when, whenLength);
    row->loginTimeText = texts + userLength + 1;
    row->loginTimeLength = whenLength;
    return row;
}

// Fetches the library's list, copies its first `count` entries (fewer when
// it ends first) in its order through make(entry, loginTimes), releases it.
// Returns 0 with the copies at *list, or -1: no list came (*libraryStatus
// the library's status), or a copy could not be made (AFPSTAT_ERR_NO_MEMORY,
// the copies made so far at *list all the same).
template <typename Copy, typename Make>
int copy_connections(Copy **list, int *count, int *libraryStatus, Make make) {
    ConnListNode *library = nullptr;
    *count = 0;
    const int status = Ext_ListConnDetails(count, &library);
    *libraryStatus = status;
    if (status != AFPSTAT_OK)
        HXM_DEBUG("Ext_ListConnDetails() has failed with error = %d", status);
    if (library == nullptr) {
        HXM_DEBUG("GetSortedConnectionList, Connection list is Empty");
        return -1;
    }
    Copy **tail = list;
    hxm2afp::LoginTimeTexts loginTimes(*count);
    int copied = 0;
    bool complete = true;
    for (const ConnListNode *entry = library; entry != nullptr && copied < *count;
         entry = entry->next, ++copied) {
        // The library's nodes are large and each row reads two far apart
        // parts of one: fetch the next node's while this one is copied.
        if (entry->next != nullptr)
            hxm2afp::prefetch(entry->next->userName, &entry->next->connectionNumber,
                              &entry->next->next);
        Copy *copy = make(*entry, loginTimes);
        if (copy == nullptr) {
            complete = false;
            break;
        }
        *tail = copy;
        tail = &copy->next;
    }
    *count = copied;
    FreeConnListNodes(&library);
    if (!complete) {
        // A page that silently lacks connections would mislead: fail whole.
        HXM_DEBUG("GetSortedConnectionList, no memory for the connection list");
        *libraryStatus = AFPSTAT_ERR_NO_MEMORY;
        return -1;
    }
    return 0;
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
        HXM_DEBUG("strftime() has failed to format time as string and returned %d", 0);
        return -1;
    }
    return 0;
}

void split_the_list(ConnectionSortStruct *list, ConnectionSortStruct **front,
                    ConnectionSortStruct **back) {
    hxm2afp::split_list(list, front, back);
}

ConnectionSortStruct *merge(ConnectionSortStruct *front, ConnectionSortStruct *back,
                            AfpSortType sortType) {
    return hxm2afp::with_sort_order(kSortKeys<ConnectionSortStruct>, sortType,
                                    [front, back](auto goes_first) {
                                        return hxm2afp::merge_sorted_lists(front, back, goes_first);
                                    });
}

void mergesort(ConnectionSortStruct **head, AfpSortType sortType) {
    hxm2afp::sort_by_table(kSortKeys<ConnectionSortStruct>, head, sortType);
}

int GetSortedConnectionList(ConnectionSortStruct **head, AfpSortType sortType) {
    int libraryStatus = AFPSTAT_OK;
    return hxm2afp::sorted_connection_list(head, sortType, &libraryStatus);
}

int hxm2afp::sorted_connection_list(ConnectionSortStruct **head, AfpSortType sortType,
                                    int *libraryStatus, NodePool<ConnectionSortStruct> *pool) {
    HXM_DEBUG("Enter GetSortedConnectionList");
    ConnectionSortStruct *list = nullptr;
    int count = 0;
    const int copied =
        copy_connections(&list, &count, libraryStatus,
                         [pool](const ConnListNode &entry, LoginTimeTexts &loginTimes) {
                             return copy_entry(entry, pool, loginTimes);
                         });
    if (copied != 0 || head == nullptr) {
        if (pool == nullptr)
            hxm2afp::free_node_list(list);
        return -1;
    }
    mergesort(&list, sortType);
    *head = list;
    return 0;
}

int hxm2afp::sorted_connection_rows(AfpSortType sortType, ConnectionRow **head, int *libraryStatus,
                                    ByteArena *arena) {
    ConnectionRow *list = nullptr;
    int count = 0;
    if (copy_connections(&list, &count, libraryStatus,
                         [arena](const ConnListNode &entry, LoginTimeTexts &loginTimes) {
                             return new_connection_row(entry, arena, loginTimes);
                         }) != 0)
        return -1;
    if (list != nullptr)
        sort_by_table(kSortKeys<ConnectionRow>, &list, sortType);
    *head = list;
    return 0;
}

int hxm2afp::for_each_connection(void *context, ConnectionVisitor visit) {
    int count = 0;
    ConnListNode *library = nullptr;
    const int status = Ext_ListConnDetails(&count, &library);
    if (status != AFPSTAT_OK)
        HXM_DEBUG("Ext_ListConnDetails() has failed with error = %d", status);
    const ConnListNode *entry = library;
    for (int visited = 0; entry != nullptr && visited < count && visit(context, *entry); ++visited)
        entry = entry->next;
    FreeConnListNodes(&library);
    return status;
}
