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

#include "core/localisation.h"
#include "core/page_writer.h"
#include "pages/common/script_blocks.h"

namespace {

using hxm2afp::close_script_block;
using hxm2afp::open_script_block;

void write_connection_scripts(hxm2afp::PageWriter &out) {
    open_script_block(out);
    out.literal("function ConfirmClearConn(ClearURL, ConnNumber)\n{\n");
    out.format("    var msg = '%s'\n", "Are you sure you want to clear connection  ");
    out.literal("    if (confirm(msg + parseInt(ConnNumber)))\n"
                "        location = ClearURL;\n");
    out.literal("}\n");
    close_script_block(out);

    open_script_block(out);
    hxm2afp::send_confirm_clear_all(out, "location");
    close_script_block(out);
}

void write_open_file_scripts(hxm2afp::PageWriter &out) {
    open_script_block(out);
    out.literal("function ConfirmClearMarked(ClearAllURL)\n{\n");
    out.format("    var msg = '%s'\n  \n",
               "Are you sure you want to clear ALL marked connections? Doing so could "
               "cause applications errors.");
    out.literal("    return confirm(msg) ? true : false;\n");
    out.literal("}\n\n");

    out.literal("function checkAndUncheckAll(cb)\n{\n");
    out.literal("      var checkboxes;\n");
    out.literal("      checkboxes = document.getElementsByName('FILENAME');\n");
    out.literal("      var count = checkboxes.length;\n");
    out.literal("      for(var i=0; i<count; i++) { if (checkboxes[i].id != 'noid') \n");
    out.literal("            checkboxes[i].checked = cb.checked; }\n");
    out.literal("}\n\n");

    out.literal("function closeFiles(cb)\n{\n");
    out.literal("      var checkboxes;\n");
    out.literal("      checkboxes = document.getElementsByName('FILENAME');\n");
    out.literal("      var count = checkboxes.length;\n");
    out.literal("      var ticked = false;\n");
    out.literal("      for(var i=0; i<count; i++) { if (checkboxes[i].checked) ticked = "
                "true; }\n");
    out.literal("      if (ticked) {\n");
    out.literal("                     var msg = '")
        .script_string(lnxMSG("Closing a file will close the file for all connections. Do you "
                              "want to continue? "))
        .literal("'\n  \n");
    out.literal("                     return confirm(msg);\n");
    out.literal("      }\n");
    out.literal("      var msg = '")
        .script_string(
            lnxMSG("No file selected. Please select the file(s), then click Close Files."))
        .literal("'\n  \n");
    out.literal("      alert(msg);\n      return false;\n");
    out.literal("}\n\n");

    out.literal("function filterFormSubmit()\n{\n");
    out.literal("document.getElementById(\"filterForm\").submit();\n");
    out.literal("}\n\n");

    out.literal("function connectionFormSubmit(url)\n{\n");
    out.literal("var form = document.getElementById(\"connectionForm\");\n");
    out.literal("form.action=url.href;\n");
    out.literal("form.submit();\nreturn false;\n");
    out.literal("}\n\n");

    out.literal("function sortedFilterFormSubmit(url)\n{\n");
    out.literal("var form = document.getElementById(\"filterForm\");\n");
    out.literal("form.action=url.href;\n");
    out.literal("form.submit();\nreturn false;\n");
    out.literal("}\n\n");

    // The volume name goes into the path as one encoded component, so a name
    // holding "%", "?" or "#" opens that volume and no other page.
    out.literal("function volumeChanged(selobj)\n{\n");
    out.literal("var volname=selobj.options[selobj.selectedIndex].text;\n");
    out.literal("   location='/afpofm/'+encodeURIComponent(volname);\n"
                "return true;\n");
    out.literal("}\n\n");
    close_script_block(out);
}

} // namespace

void AddJavaScriptOFMCode(void *request) {
    hxm2afp::PageWriter out(request);
    write_connection_scripts(out);
    write_open_file_scripts(out);
}
