/*
 * The open-file pages' script. The first three functions serve the
 * connection pages' links; the rest drive the open-file forms: select-all,
 * the close confirmation, the filter and sort posts and the volume choice.
 *
 * Messages sit in single-quoted script strings; a translated message is
 * escaped for a script string, so no translation can end the string or the
 * script element.
 */
#include "pages/openfiles/script.h"

#include <zentra/hxm_host.h>

#include "core/escape.h"
#include "core/localisation.h"

namespace {

constexpr const char *kOpen = "<SCRIPT type=\"text/javascript\">\n";
constexpr const char *kHide = "<!--\n";
constexpr const char *kUnhide = "//-->";
constexpr const char *kClose = "</SCRIPT>\n";

/* Room for an escaped translation of a message. */
constexpr size_t kMessageSize = HXM_ESCAPED_SIZE(512);

void open_block(void *request) {
    HttpSendDataSprintf(request, "%s", kOpen);
    HttpSendDataSprintf(request, "%s", kHide);
}

void close_block(void *request) {
    HttpSendDataSprintf(request, "%s", kUnhide);
    HttpSendDataSprintf(request, "%s", kClose);
}

void write_connection_scripts(void *request) {
    open_block(request);
    HttpSendDataSprintf(request, "function ConfirmClearConn(ClearURL, ConnNumber)\n{\n");
    HttpSendDataSprintf(request, "    var msg = '%s'\n",
                        "Are you sure you want to clear connection  ");
    HttpSendDataSprintf(request, "    if (confirm(msg + parseInt(ConnNumber)))\n"
                                 "        location = ClearURL;\n");
    HttpSendDataSprintf(request, "}\n");
    close_block(request);

    open_block(request);
    HttpSendDataSprintf(request, "function ConfirmClearAll(ClearAllURL)\n{\n");
    HttpSendDataSprintf(request, "    var msg = '%s'\n  \n",
                        "Are you sure you want to clear ALL Not Logged In connections, doing so "
                        "could cause applications errors ");
    HttpSendDataSprintf(request, "    if (confirm(msg))\n        location = ClearAllURL;\n");
    HttpSendDataSprintf(request, "}\n");
    close_block(request);
}

void write_open_file_scripts(void *request) {
    char confirmText[kMessageSize];
    char alertText[kMessageSize];
    const char *confirmMessage = hxm2afp::escape_script_string(
        lnxMSG("Closing a file will close the file for all connections. Do you want to "
               "continue? "),
        confirmText, sizeof confirmText);
    const char *alertMessage = hxm2afp::escape_script_string(
        lnxMSG("No file selected. Please select the file(s), then click Close Files."), alertText,
        sizeof alertText);

    open_block(request);
    HttpSendDataSprintf(request, "function ConfirmClearMarked(ClearAllURL)\n{\n");
    HttpSendDataSprintf(request, "    var msg = '%s'\n  \n",
                        "Are you sure you want to clear ALL marked connections? Doing so could "
                        "cause applications errors.");
    HttpSendDataSprintf(request, "    return confirm(msg) ? true : false;\n");
    HttpSendDataSprintf(request, "}\n\n");

    HttpSendDataSprintf(request, "function checkAndUncheckAll(cb)\n{\n");
    HttpSendDataSprintf(request, "      var checkboxes;\n");
    HttpSendDataSprintf(request, "      checkboxes = document.getElementsByName('FILENAME');\n");
    HttpSendDataSprintf(request, "      var count = checkboxes.length;\n");
    HttpSendDataSprintf(request,
                        "      for(var i=0; i<count; i++) { if (checkboxes[i].id != 'noid') \n");
    HttpSendDataSprintf(request, "            checkboxes[i].checked = cb.checked; }\n");
    HttpSendDataSprintf(request, "}\n\n");

    HttpSendDataSprintf(request, "function closeFiles(cb)\n{\n");
    HttpSendDataSprintf(request, "      var checkboxes;\n");
    HttpSendDataSprintf(request, "      checkboxes = document.getElementsByName('FILENAME');\n");
    HttpSendDataSprintf(request, "      var count = checkboxes.length;\n");
    HttpSendDataSprintf(request, "      var ticked = false;\n");
    HttpSendDataSprintf(request,
                        "      for(var i=0; i<count; i++) { if (checkboxes[i].checked) ticked = "
                        "true; }\n");
    HttpSendDataSprintf(request, "      if (ticked) {\n");
    HttpSendDataSprintf(request, "                     var msg = '%s'\n  \n", confirmMessage);
    HttpSendDataSprintf(request, "                     return confirm(msg);\n");
    HttpSendDataSprintf(request, "      }\n");
    HttpSendDataSprintf(request, "      var msg = '%s'\n  \n", alertMessage);
    HttpSendDataSprintf(request, "      alert(msg);\n      return false;\n");
    HttpSendDataSprintf(request, "}\n\n");

    HttpSendDataSprintf(request, "function filterFormSubmit()\n{\n");
    HttpSendDataSprintf(request, "document.getElementById(\"filterForm\").submit();\n");
    HttpSendDataSprintf(request, "}\n\n");

    HttpSendDataSprintf(request, "function connectionFormSubmit(url)\n{\n");
    HttpSendDataSprintf(request, "var form = document.getElementById(\"connectionForm\");\n");
    HttpSendDataSprintf(request, "form.action=url.href;\n");
    HttpSendDataSprintf(request, "form.submit();\nreturn false;\n");
    HttpSendDataSprintf(request, "}\n\n");

    HttpSendDataSprintf(request, "function sortedFilterFormSubmit(url)\n{\n");
    HttpSendDataSprintf(request, "var form = document.getElementById(\"filterForm\");\n");
    HttpSendDataSprintf(request, "form.action=url.href;\n");
    HttpSendDataSprintf(request, "form.submit();\nreturn false;\n");
    HttpSendDataSprintf(request, "}\n\n");

    // The volume name goes into the path as one encoded component, so a name
    // holding "%", "?" or "#" opens that volume and no other page.
    HttpSendDataSprintf(request, "function volumeChanged(selobj)\n{\n");
    HttpSendDataSprintf(request, "var volname=selobj.options[selobj.selectedIndex].text;\n");
    HttpSendDataSprintf(request, "   location='/afpofm/'+encodeURIComponent(volname);\n"
                                 "return true;\n");
    HttpSendDataSprintf(request, "}\n\n");
    close_block(request);
}

} // namespace

void AddJavaScriptOFMCode(void *request) {
    write_connection_scripts(request);
    write_open_file_scripts(request);
}
