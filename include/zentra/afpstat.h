/*
 * The AFP monitoring library's calls and records: the contract between the
 * library and its callers (the plug-in, the command line, the stand-in).
 *
 * The library answers questions about the AFP service: who is connected,
 * which volumes exist, which files are open. Records are packed with a fixed
 * field order; on the 32-bit server pointers are 4 bytes and the offsets are
 * the ones checked below. Every list or record a call returns belongs to the
 * library and is released only through its free function, which takes the
 * address of the head pointer the call handed out and sets it to null. A
 * list's nodes, and the arrays and texts they point to, are released
 * together through that head: no part of a list is freed on its own, and
 * no other node is passed as a head.
 *
 * Every call returns AFPSTAT_OK (0) on success and a non-zero status otherwise.
 */
#ifndef ZENTRA_AFPSTAT_H
#define ZENTRA_AFPSTAT_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Statuses. */
enum {
    AFPSTAT_OK = 0,
    AFPSTAT_ERR_STORE = 1,     /* the store is missing, unreadable or corrupt */
    AFPSTAT_ERR_NOT_FOUND = 2, /* nothing to act on: no such connection, volume or file */
    AFPSTAT_ERR_NO_MEMORY = 3,
    AFPSTAT_ERR_ARGUMENT = 4 /* a null or malformed argument */
};

/* The order a page asks for. Connections use 1 to 5, open files 1 to 3. */
typedef int32_t AfpSortType;
enum {
    AFP_SORT_CONNECTION_NUMBER = 1,
    AFP_SORT_USER_NAME = 2,
    AFP_SORT_LOGIN_TIME = 3, /* connections */
    AFP_SORT_FILE_PATH = 3,  /* open files */
    AFP_SORT_BYTES_READ_WRITTEN = 4,
    AFP_SORT_REQUEST_COUNT = 5
};

#define AFPSTAT_USER_NAME_SIZE 512
#define AFPSTAT_CONN_USER_NAME_SIZE 514
#define AFPSTAT_ADDRESS_SIZE 16
#define AFPSTAT_STATUS_TEXT_SIZE 32
#define AFPSTAT_VOLUME_NAME_SIZE 320

#pragma pack(push, 1)

/* One current connection. */
typedef struct ConnListNode {
    char userName[AFPSTAT_CONN_USER_NAME_SIZE]; /* NUL-terminated */
    uint32_t connectionNumber;
    uint32_t requestCount;
    uint64_t bytesRead;
    uint64_t bytesWritten;
    uint64_t loginTime;                        /* seconds since 1970 */
    char networkAddress[AFPSTAT_ADDRESS_SIZE]; /* not terminated when 16 long */
    struct ConnListNode *next;
} ConnListNode;

/* The details of one connection. */
typedef struct UserInfo_s {
    char userName[AFPSTAT_USER_NAME_SIZE];
    uint32_t connectionNumber;
    int32_t openFileCount;
    int32_t securityEquivalenceCount;
    uint64_t loginTime;
    char networkAddress[AFPSTAT_ADDRESS_SIZE];
    char loginStatus[AFPSTAT_STATUS_TEXT_SIZE]; /* "Logged-In", "Expired", ... */
    char privileges[AFPSTAT_STATUS_TEXT_SIZE];  /* "Supervisor", "Non-Supervisor", ... */
    char **securityEquivalences;                /* securityEquivalenceCount names, may be null */
    char **openFiles;                           /* openFileCount full paths */
} UserInfo_s;

/* One volume. */
typedef struct VolsDetailsNode {
    char volumeName[AFPSTAT_VOLUME_NAME_SIZE]; /* NUL-terminated */
    struct VolsDetailsNode *next;
} VolsDetailsNode;

/* The files one connection holds open on one volume. */
typedef struct VolFileListNode {
    int32_t fileCount;
    char userName[AFPSTAT_USER_NAME_SIZE];
    uint32_t connectionNumber;
    char **fileNames; /* fileCount full paths */
    struct VolFileListNode *next;
} VolFileListNode;

#pragma pack(pop)

#if defined(__cplusplus) && defined(__i386__)
static_assert(offsetof(ConnListNode, connectionNumber) == 514, "ConnListNode layout");
static_assert(offsetof(ConnListNode, requestCount) == 518, "ConnListNode layout");
static_assert(offsetof(ConnListNode, bytesRead) == 522, "ConnListNode layout");
static_assert(offsetof(ConnListNode, bytesWritten) == 530, "ConnListNode layout");
static_assert(offsetof(ConnListNode, loginTime) == 538, "ConnListNode layout");
static_assert(offsetof(ConnListNode, networkAddress) == 546, "ConnListNode layout");
static_assert(offsetof(ConnListNode, next) == 562, "ConnListNode layout");
static_assert(offsetof(UserInfo_s, connectionNumber) == 512, "UserInfo_s layout");
static_assert(offsetof(UserInfo_s, openFileCount) == 516, "UserInfo_s layout");
static_assert(offsetof(UserInfo_s, securityEquivalenceCount) == 520, "UserInfo_s layout");
static_assert(offsetof(UserInfo_s, loginTime) == 524, "UserInfo_s layout");
static_assert(offsetof(UserInfo_s, networkAddress) == 532, "UserInfo_s layout");
static_assert(offsetof(UserInfo_s, loginStatus) == 548, "UserInfo_s layout");
static_assert(offsetof(UserInfo_s, privileges) == 580, "UserInfo_s layout");
static_assert(offsetof(UserInfo_s, securityEquivalences) == 612, "UserInfo_s layout");
static_assert(offsetof(UserInfo_s, openFiles) == 616, "UserInfo_s layout");
static_assert(offsetof(VolsDetailsNode, next) == 320, "VolsDetailsNode layout");
static_assert(offsetof(VolFileListNode, userName) == 4, "VolFileListNode layout");
static_assert(offsetof(VolFileListNode, connectionNumber) == 516, "VolFileListNode layout");
static_assert(offsetof(VolFileListNode, fileNames) == 520, "VolFileListNode layout");
static_assert(offsetof(VolFileListNode, next) == 524, "VolFileListNode layout");
#endif

/* Every current connection. Sets *count and *head; on failure *head may
 * still hold a partial list, which the caller frees. */
int Ext_ListConnDetails(int *count, ConnListNode **head);
int FreeConnListNodes(ConnListNode **head);

/* The details of one connection; *info is null on failure. */
int Ext_GetUserDetails(uint32_t connectionNumber, UserInfo_s **info);
int FreeUserDetailsNode(UserInfo_s **info);

/* Every volume, in name order. */
int Ext_ListVolumeDetails(int *count, VolsDetailsNode **head);
int FreeVolsDetailsNode(VolsDetailsNode **head);

/* One node per connection with files open on the volume; *count nodes. */
int Ext_ListVolFileDetails(const char *volumeName, VolFileListNode **head, int *count);
int FreeVolFileListNodes(VolFileListNode **head);

/* Closes the file with this full path for every connection that holds it. */
int Ext_CloseFileByFileName(const char *path);
/* Closes every file of the connection; the connection stays. */
int Ext_CloseFileByID(uint32_t connectionNumber);
/* Ends the connection and closes its files. */
int Ext_ClearOneConnection(uint32_t connectionNumber);

#ifdef __cplusplus
}
#endif

#endif
