/*
 * The current AFP connections as the connection list page shows them: the
 * monitoring library's list copied into the plug-in's own
 * ConnectionSortStruct nodes (byte counters summed, login time formatted)
 * and sorted by one of five columns.
 */
#ifndef HXM_MONITOR_CONNECTIONS_H
#define HXM_MONITOR_CONNECTIONS_H

#include <stdint.h>

#include <zentra/afpstat.h>

#include "base/export.h"
#include "monitor/node_list.h"

/* Field sizes, terminator included. */
enum {
    HXM_LOGIN_TIME_TEXT_SIZE = 81,
    HXM_LOGGED_IN_SIZE = 4,
    HXM_NETWORK_ADDRESS_SIZE = 17,
    HXM_CONNECTION_USER_SIZE = 514
};
/* Longest user name copied from the library (the field holds more). */
enum { HXM_CONNECTION_USER_KEPT = 256 };
/* Room convertToTimeString may use, terminator included. */
enum { HXM_TIME_STRING_SIZE = 80 };

/* One connection of the sorted list; the caller of GetSortedConnectionList
 * frees every node with free(). */
struct ConnectionSortStruct {
    ConnectionSortStruct *next;
    uint32_t connectionNumber;
    uint32_t requestCount;
    uint64_t bytesReadWritten;                     /* bytes read plus bytes written */
    char loginTimeText[HXM_LOGIN_TIME_TEXT_SIZE];  /* "%c" text, or 80 spaces */
    char loggedIn[HXM_LOGGED_IN_SIZE];             /* never filled: the library has no such state */
    char networkAddress[HXM_NETWORK_ADDRESS_SIZE]; /* at most 16 characters, terminated */
    char userName[HXM_CONNECTION_USER_SIZE];       /* at most 256 characters, terminated */
    uint64_t loginTime;                            /* seconds since 1970 */
};

/* Fetches every connection, copies the first `count` the library reports
 * (stopping at the end of its list) and sorts the copy by `sortType`: 1
 * connection number, 2 user name (byte order), 3 login time, 4 bytes read
 * and written, 5 request count, ascending, equal keys in the reverse of the
 * library's order; any other type reverses the library's order. A library
 * error that still comes with a list uses the list. Returns 0 with *head set
 * (null for an empty list), or -1 with *head untouched when no list came or
 * a node could not be allocated. The library's list is always released. */
HXM_EXPORT int GetSortedConnectionList(ConnectionSortStruct **head, AfpSortType sortType);

namespace hxm2afp {

/* GetSortedConnectionList, also telling in *libraryStatus why a list is
 * missing or partial: the library's status, AFPSTAT_ERR_NO_MEMORY when the
 * copy could not be made, AFPSTAT_OK for a healthy answer (a missing list
 * with AFPSTAT_OK is an empty one). */
/* GetSortedConnectionList, also telling in *libraryStatus why no list came;
 * with a pool the nodes are the pool's (freed with it, never one by one). */
int sorted_connection_list(ConnectionSortStruct **head, AfpSortType sortType, int *libraryStatus,
                           NodePool<ConnectionSortStruct> *pool = nullptr);

/* One connection as the list page shows it: the counters and texts a
 * ConnectionSortStruct keeps, cut alike, its texts in the caller's arena. */
struct ConnectionRow {
    ConnectionRow *next;
    uint32_t connectionNumber;
    uint32_t requestCount;
    uint64_t bytesReadWritten; /* bytes read plus bytes written */
    uint64_t loginTime;        /* seconds since 1970 */
    const char *userName;
    const char *loginTimeText; /* "%c" text, or 80 spaces */
    size_t loginTimeLength;
};

/* sorted_connection_list for a page: the same connections in the same
 * order, as rows from `arena` at *head (null for none). Returns and sets *libraryStatus as
 * sorted_connection_list does. A row costs its texts' length, not a 650-byte node: a page of
 * 100,000 connections holds a few megabytes rather than sixty. */
int sorted_connection_rows(AfpSortType sortType, ConnectionRow **head, int *libraryStatus,
                           ByteArena *arena);

/* Called once per connection with the library's own record, whole (valid
 * for the call only). Returns whether to go on. */
using ConnectionVisitor = bool (*)(void *context, const ConnListNode &record);

/* Visits the first `count` connections the library reports, in its order,
 * until the visitor says stop, then releases the library's list. Returns
 * the library's status; a failure that still came with a list has that
 * list visited. For callers that need what the page's nodes cut: the
 * whole user name, the two byte counters apart. */
int for_each_connection(void *context, ConnectionVisitor visit);

} // namespace hxm2afp

/* Writes the local time of *seconds in the locale's "%c" form into `out`
 * (at least 80 bytes; at most 79 characters and the terminator). Returns 0,
 * or -1 when the time cannot be converted or formatted. */
HXM_EXPORT int convertToTimeString(const unsigned long long *seconds, char *out);

/* Sorts *head in place as GetSortedConnectionList describes. Iterative and
 * allocation-free: O(n log n) comparisons, no recursion. */
HXM_EXPORT void mergesort(ConnectionSortStruct **head, AfpSortType sortType);

/* Cuts `list` into its first ceil(n/2) nodes (*front) and the rest (*back). */
HXM_EXPORT void split_the_list(ConnectionSortStruct *list, ConnectionSortStruct **front,
                               ConnectionSortStruct **back);

/* Merges two sorted lists and returns the result. A front node goes first
 * only when its key is strictly smaller than the back node's (never for a
 * sort type outside 1 to 5), so equal keys take the back node first.
 * Iterative. */
HXM_EXPORT ConnectionSortStruct *merge(ConnectionSortStruct *front, ConnectionSortStruct *back,
                                       AfpSortType sortType);

#endif
