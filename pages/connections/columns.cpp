/*
 * The connection list's column table (see columns.h).
 */
#include "pages/connections/columns.h"

#include "core/localisation.h"

namespace hxm2afp {

constexpr ConnectionColumn kConnectionColumns[kConnectionColumnCount] = {
    {{"ConnectionNumber", AFP_SORT_CONNECTION_NUMBER},
     HXM_TRANSLATABLE("Connection"),
     HXM_TRANSLATABLE("Sort By Connection Number"),
     HXM_TRANSLATABLE("Sorted By Connection Number"),
     "",
     ""},
    {{"ConnectionName", AFP_SORT_USER_NAME},
     HXM_TRANSLATABLE("Name"),
     HXM_TRANSLATABLE("Sort By Name"),
     HXM_TRANSLATABLE("Sorted By Name"),
     " align=center",
     ""},
    {{"FSActivity", AFP_SORT_BYTES_READ_WRITTEN},
     HXM_TRANSLATABLE("Reads & Writes (bytes)"),
     HXM_TRANSLATABLE("Sort By Reads & Writes (bytes)"),
     HXM_TRANSLATABLE("Sorted By Reads & Writes (bytes)"),
     " align=center",
     ""},
    {{"KdpRequest", AFP_SORT_REQUEST_COUNT},
     HXM_TRANSLATABLE("AFP Requests"),
     HXM_TRANSLATABLE("Sort By Requests"),
     HXM_TRANSLATABLE("Sorted By Requests"),
     " align=center",
     ""},
    {{"LoginTime", AFP_SORT_LOGIN_TIME},
     HXM_TRANSLATABLE("Login Time"),
     HXM_TRANSLATABLE("Sort By Login Time"),
     HXM_TRANSLATABLE("Sorted By Login Time"),
     " align=center",
     "</TR>"},
};

} // namespace hxm2afp
