/*
 * The detail page's record of one connection (GetConnInfo) and the library's
 * details it is built from.
 */
#include "monitor/connection_details.h"

#include <stdlib.h>
#include <string.h>

#include "base/bounded_copy.h"
#include "logger/logger.h"

using hxm2afp::copy_bounded;

namespace hxm2afp {

int get_user_details(uint32_t connectionNumber, UserInfo_s **info) {
    return Ext_GetUserDetails(connectionNumber, info);
}

void free_user_details(UserInfo_s **info) {
    if (info != nullptr && *info != nullptr)
        FreeUserDetailsNode(info);
}

} // namespace hxm2afp

int GetConnInfo(uint32_t, UserInfo_s *info, AFPConnectionDetails **details) {
    HXM_DEBUG("Enter GetCoonInfo");
    if (info == nullptr) {
        HXM_DEBUG("GetCoonInfo, UserInfo is NULL");
        return -1;
    }
    if (details == nullptr)
        return -1;
    auto *record = static_cast<AFPConnectionDetails *>(calloc(1, sizeof(AFPConnectionDetails)));
    if (record == nullptr) {
        HXM_DEBUG("GetCoonInfo, no memory for the connection details");
        return -1;
    }
    record->connectionNumber = info->connectionNumber;
    copy_bounded(record->userName, info->userName, HXM_CONNECTION_USER_KEPT);
    record->loginTime = info->loginTime;
    copy_bounded(record->networkAddress, info->networkAddress, AFPSTAT_ADDRESS_SIZE);
    copy_bounded(record->loginStatus, info->loginStatus, AFPSTAT_STATUS_TEXT_SIZE);
    copy_bounded(record->privileges, info->privileges, AFPSTAT_STATUS_TEXT_SIZE);
    record->openFileCount = info->openFileCount;
    const unsigned long long loginTime = info->loginTime;
    if (convertToTimeString(&loginTime, record->loginTimeText) != 0) {
        memset(record->loginTimeText, ' ', HXM_LOGIN_TIME_TEXT_SIZE - 1);
        HXM_DEBUG("convertToTimeString, Error in getting Time string");
    }
    *details = record;
    return 0;
}
