/*
 * GetConnInfo: the detail page's record of one connection.
 */
#include "monitor/connection_details.h"

#include <stdlib.h>
#include <string.h>

#include "logger/logger.h"

namespace {

// Copies at most `kept` bytes of a field that may lack its terminator into a
// zero-filled destination of more than `kept` bytes.
void copy_bounded(char *destination, const char *source, size_t kept) {
    memcpy(destination, source, strnlen(source, kept));
}

void debug(const char *text) {
    if (Logger *logger = hxm_log)
        logger->debug("%s", text);
}

} // namespace

int GetConnInfo(uint32_t, UserInfo_s *info, AFPConnectionDetails **details) {
    debug("Enter GetCoonInfo");
    if (info == nullptr) {
        debug("GetCoonInfo, UserInfo is NULL");
        return -1;
    }
    if (details == nullptr)
        return -1;
    auto *record = static_cast<AFPConnectionDetails *>(calloc(1, sizeof(AFPConnectionDetails)));
    if (record == nullptr) {
        debug("GetCoonInfo, no memory for the connection details");
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
        debug("convertToTimeString, Error in getting Time string");
    }
    *details = record;
    return 0;
}
