/*
 * AddJavaScriptConnectionCode: the three script blocks of the connection
 * pages, holding their confirmation dialogs.
 *
 * Notes: every message is a catalogue text placed inside a quoted script
 * string, so it is escaped for a script string; a translation holding a
 * quote or "</script>" can then neither end the string nor the block.
 */

#include "pages/connections/list_page.h"

#include "core/localisation.h"
#include "core/page_writer.h"
#include "pages/common/script_blocks.h"

namespace {

using hxm2afp::PageWriter;

constexpr char kClosesAll[] = HXM_TRANSLATABLE(
    "Closes all files opened by this connection. User(s) might lose data. Do you want "
    "to continue?  ");

// "<indent>var msg = '<message>'<end>", the message translated and escaped
// for the script string.
void send_message(PageWriter &out, const char *indent, const char *message, const char *end) {
    out.text(indent).literal("var msg = '").script_string(lnxMSG(message)).literal("'").text(end);
}

// Navigates to ClearURL once the user confirms.
void send_confirm_and_go(PageWriter &out, const char *name) {
    out.format("function %s(ClearURL, ConnNumber)\n{\n", name);
    out.literal("    conn = parseInt(ConnNumber);\n");
    send_message(out, "    ", kClosesAll, "\n");
    out.literal("    if (confirm(msg))\n        location.href = ClearURL;\n}\n");
}

} // namespace

void AddJavaScriptConnectionCode(void *request) {
    PageWriter out(request);
    hxm2afp::open_script_block(out);
    send_confirm_and_go(out, "ConfirmClearConn");
    send_confirm_and_go(out, "ConfirmClearFilesForConnection");
    out.literal("function ConfirmClearFilesForConnectionInOFM()\n{\n");
    send_message(out, "    ", kClosesAll, "\n");
    out.literal("    if (confirm(msg))\n"
                "        document.getElementById(\"closeAllFilesForm\").submit();\n"
                "    return false;\n}\n");
    hxm2afp::close_script_block(out);

    hxm2afp::open_script_block(out);
    hxm2afp::send_confirm_clear_all(out, "location.href");
    out.literal("\n\n");

    out.literal("function closeThisFile(ClearURL)\n{\n");
    send_message(
        out, "    ",
        HXM_TRANSLATABLE(
            "Closing a file will close the file for all connections. Do you want to continue? "),
        "\n  \n");
    out.literal("    return confirm(msg);\n}\n");
    out.literal("\n");

    out.literal("function closeConn(cb)\n{\n"
                "    var boxes = document.getElementsByName('CONNECTIONID');\n"
                "    for (var i = 0; i < boxes.length; i++) {\n"
                "        if (boxes[i].checked) {\n");
    send_message(out, "                     ",
                 HXM_TRANSLATABLE("Closes all files opened by this connection. User(s) might lose "
                                  "data. Do you want to continue? "),
                 "\n  \n");
    out.literal("            return confirm(msg);\n"
                "        }\n"
                "    }\n");
    send_message(out, "              ",
                 HXM_TRANSLATABLE("No connection selected. Please select the connection(s), then "
                                  "click Close Connections."),
                 "\n  \n");
    out.literal("    alert(msg);\n    return false;\n}\n");
    out.literal("\n");

    out.literal("function checkAndUncheckAll(cb)\n{\n"
                "    var boxes = document.getElementsByName('CONNECTIONID');\n"
                "    for (var i = 0; i < boxes.length; i++) {\n"
                "        if (boxes[i].id != 'noid')\n"
                "            boxes[i].checked = cb.checked;\n"
                "    }\n}\n");
    out.literal("\n");
    hxm2afp::close_script_block(out);

    hxm2afp::open_script_block(out);
    out.literal("function ConfirmClearMarked(ClearAllURL)\n{\n");
    out.format("    var msg = '%s'\n  \n",
               "Are you sure you want to clear ALL marked connections? Doing so could "
               "cause applications errors.");
    out.literal("    return confirm(msg);\n}\n");
    out.literal("function filterFormSubmit()\n{\n"
                "    document.getElementById(\"filterForm\").submit();\n"
                "    return false;\n}\n");
    out.literal("\n");
    hxm2afp::close_script_block(out);
}
