/*
 * The monitoring library's actions, called for the pages.
 */
#include "monitor/actions.h"

#include <zentra/afpstat.h>

namespace hxm2afp {

int clear_connection(uint32_t connectionNumber) {
    return Ext_ClearOneConnection(connectionNumber);
}

int close_connection_files(uint32_t connectionNumber) {
    return Ext_CloseFileByID(connectionNumber);
}

int close_file(const char *path) {
    return Ext_CloseFileByFileName(path);
}

} // namespace hxm2afp
