/*
 * The shared script pieces (see script_blocks.h).
 */
#include "pages/common/script_blocks.h"

#include "core/page_writer.h"

namespace hxm2afp {

void open_script_block(PageWriter &out) {
    out.literal("<SCRIPT type=\"text/javascript\">\n<!--\n");
}

void close_script_block(PageWriter &out) {
    out.literal("//--></SCRIPT>\n");
}

void send_confirm_clear_all(PageWriter &out, const char *navigate) {
    out.literal("function ConfirmClearAll(ClearAllURL)\n{\n");
    out.format("    var msg = '%s'\n  \n",
               "Are you sure you want to clear ALL Not Logged In connections, doing so "
               "could cause applications errors ");
    out.format("    if (confirm(msg))\n        %s = ClearAllURL;\n}\n", navigate);
}

} // namespace hxm2afp
