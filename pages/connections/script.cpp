/*
 * AddJavaScriptConnectionCode: the three script blocks of the connection
 * pages, holding their confirmation dialogs.
 *
 * Notes: every message is a catalogue text placed inside a quoted script
 * string, so it is escaped for a script string; a translation holding a
 * quote or "</script>" can then neither end the string nor the block.
 */

#include <zentra/hxm_host.h>

#include "pages/connections/list_page.h"

#include "core/escape.h"
#include "core/localisation.h"

namespace {

using hxm2afp::EscapedText;

void open_block(void *request) {
    HttpSendDataSprintf(request, "%s", "<SCRIPT type=\"text/javascript\">\n");
    HttpSendDataSprintf(request, "%s", "<!--\n");
}

void close_block(void *request) {
    HttpSendDataSprintf(request, "%s", "//-->");
    HttpSendDataSprintf(request, "%s", "</SCRIPT>\n");
}

// Navigates to ClearURL once the user confirms.
void send_confirm_and_go(void *request, const char *name, const char *message) {
    HttpSendDataSprintf(request, "function %s(ClearURL, ConnNumber)\n{\n", name);
    HttpSendDataSprintf(request, "%s", "    conn = parseInt(ConnNumber);\n");
    HttpSendDataSprintf(request, "    var msg = '%s'\n", message);
    HttpSendDataSprintf(request, "%s",
                        "    if (confirm(msg))\n        location.href = ClearURL;\n}\n");
}

} // namespace

void AddJavaScriptConnectionCode(void *request) {
    const EscapedText closesAll(
        hxm2afp::escape_script_string,
        lnxMSG("Closes all files opened by this connection. User(s) might lose data. Do you want "
               "to continue?  "));
    open_block(request);
    send_confirm_and_go(request, "ConfirmClearConn", closesAll.c_str());
    send_confirm_and_go(request, "ConfirmClearFilesForConnection", closesAll.c_str());
    HttpSendDataSprintf(request, "%s", "function ConfirmClearFilesForConnectionInOFM()\n{\n");
    HttpSendDataSprintf(request, "    var msg = '%s'\n", closesAll.c_str());
    HttpSendDataSprintf(request, "%s",
                        "    if (confirm(msg))\n"
                        "        document.getElementById(\"closeAllFilesForm\").submit();\n"
                        "    return false;\n}\n");
    close_block(request);

    open_block(request);
    HttpSendDataSprintf(request, "%s", "function ConfirmClearAll(ClearAllURL)\n{\n");
    HttpSendDataSprintf(request, "    var msg = '%s'\n  \n",
                        "Are you sure you want to clear ALL Not Logged In connections, doing so "
                        "could cause applications errors ");
    HttpSendDataSprintf(request, "%s",
                        "    if (confirm(msg))\n        location.href = ClearAllURL;\n}\n");
    HttpSendDataSprintf(request, "%s", "\n\n");

    const EscapedText closingFile(
        hxm2afp::escape_script_string,
        lnxMSG(
            "Closing a file will close the file for all connections. Do you want to continue? "));
    HttpSendDataSprintf(request, "%s", "function closeThisFile(ClearURL)\n{\n");
    HttpSendDataSprintf(request, "    var msg = '%s'\n  \n", closingFile.c_str());
    HttpSendDataSprintf(request, "%s", "    return confirm(msg);\n}\n");
    HttpSendDataSprintf(request, "%s", "\n");

    const EscapedText closesAllOnce(
        hxm2afp::escape_script_string,
        lnxMSG("Closes all files opened by this connection. User(s) might lose data. Do you want "
               "to continue? "));
    const EscapedText noneSelected(
        hxm2afp::escape_script_string,
        lnxMSG("No connection selected. Please select the connection(s), then click Close "
               "Connections."));
    HttpSendDataSprintf(request, "%s",
                        "function closeConn(cb)\n{\n"
                        "    var boxes = document.getElementsByName('CONNECTIONID');\n"
                        "    for (var i = 0; i < boxes.length; i++) {\n"
                        "        if (boxes[i].checked) {\n");
    HttpSendDataSprintf(request, "                     var msg = '%s'\n  \n",
                        closesAllOnce.c_str());
    HttpSendDataSprintf(request, "%s",
                        "            return confirm(msg);\n"
                        "        }\n"
                        "    }\n");
    HttpSendDataSprintf(request, "              var msg = '%s'\n  \n", noneSelected.c_str());
    HttpSendDataSprintf(request, "%s", "    alert(msg);\n    return false;\n}\n");
    HttpSendDataSprintf(request, "%s", "\n");

    HttpSendDataSprintf(request, "%s",
                        "function checkAndUncheckAll(cb)\n{\n"
                        "    var boxes = document.getElementsByName('CONNECTIONID');\n"
                        "    for (var i = 0; i < boxes.length; i++) {\n"
                        "        if (boxes[i].id != 'noid')\n"
                        "            boxes[i].checked = cb.checked;\n"
                        "    }\n}\n");
    HttpSendDataSprintf(request, "%s", "\n");
    close_block(request);

    open_block(request);
    HttpSendDataSprintf(request, "%s", "function ConfirmClearMarked(ClearAllURL)\n{\n");
    HttpSendDataSprintf(request, "    var msg = '%s'\n  \n",
                        "Are you sure you want to clear ALL marked connections? Doing so could "
                        "cause applications errors.");
    HttpSendDataSprintf(request, "%s", "    return confirm(msg);\n}\n");
    HttpSendDataSprintf(request, "%s",
                        "function filterFormSubmit()\n{\n"
                        "    document.getElementById(\"filterForm\").submit();\n"
                        "    return false;\n}\n");
    HttpSendDataSprintf(request, "%s", "\n");
    close_block(request);
}
