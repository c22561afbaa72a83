/*
 * One connection's details as the detail page prints them: bounded,
 * terminated copies of the monitoring library's UserInfo_s texts with the
 * login time already formatted.
 */
#ifndef HXM_MONITOR_CONNECTION_DETAILS_H
#define HXM_MONITOR_CONNECTION_DETAILS_H

#include <stdint.h>

#include <zentra/afpstat.h>

#include "base/export.h"
#include "monitor/connections.h"

enum { HXM_STATUS_TEXT_SIZE = 33 };

/* The plug-in's record of one connection; free it with free(). */
struct AFPConnectionDetails {
    uint32_t connectionNumber;
    char userName[HXM_CONNECTION_USER_SIZE];      /* at most 256 characters, terminated */
    char loginTimeText[HXM_LOGIN_TIME_TEXT_SIZE]; /* "%c" text, or 80 spaces */
    uint64_t loginTime;                           /* seconds since 1970 */
    char networkAddress[HXM_NETWORK_ADDRESS_SIZE];
    char loginStatus[HXM_STATUS_TEXT_SIZE]; /* "Logged-In", "Expired", ... */
    char privileges[HXM_STATUS_TEXT_SIZE];  /* "Supervisor", "Non-Supervisor", ... */
    int32_t openFileCount;
};

/* Builds a new zero-filled record from `info` (the number argument is not
 * used: the record takes the number `info` carries) and stores it in
 * *details. Returns 0, or -1 with *details untouched when `info` is null or
 * the record cannot be allocated. */
HXM_EXPORT int GetConnInfo(uint32_t connectionNumber, UserInfo_s *info,
                           AFPConnectionDetails **details);

namespace hxm2afp {

/* The monitoring library's details of one connection, stored in *info (null
 * on failure); returns the library's status. Release with free_user_details. */
int get_user_details(uint32_t connectionNumber, UserInfo_s **info);

/* Releases what get_user_details stored and sets *info to null; a null
 * record is left alone. */
void free_user_details(UserInfo_s **info);

} // namespace hxm2afp

#endif
