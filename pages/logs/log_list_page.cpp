/*
 * generate_main_showlogs_page and its table rows.
 *
 * Notes: the files live in the log directory under ZENTRA_ROOT, so each link
 * is that absolute path followed by "?VIEW". The names are fixed but the
 * root is not: the link is percent-encoded as a URL path and the name
 * HTML-escaped, which leaves ordinary paths byte for byte as they are. Sizes
 * come from a 64-bit stat, so a file of 4 GiB or more shows its true size,
 * also in the 32-bit build.
 */
#define _FILE_OFFSET_BITS 64

#include "pages/logs/log_list_page.h"

#include <stdio.h>
#include <string.h>
#include <sys/stat.h>

#include "core/localisation.h"
#include "core/page_frame.h"
#include "core/page_globals.h"
#include "core/page_text.h"
#include "core/page_writer.h"
#include "core/paths.h"
#include "core/server_paths.h"
#include "logger/logger.h"
#include "pages/logs/size_text.h"

namespace {

/* Buffer sizes, terminator included. */
constexpr size_t kTitleSize = 512;
constexpr size_t kFullPathSize = 4096;
constexpr size_t kRowSizeTextSize = 1024;

/* The plug-in's own log is listed from this logger level on. */
constexpr int kPluginLogLevel = HXM_LOG_DEBUG;

constexpr char kServerLogName[] = "afpsvc.log";
constexpr char kPluginLogName[] = "libhxm2afp.log";

/* Writes the size text of a file of `bytes` bytes (at least 1) into out. */
void write_size_text(long long bytes, char *out, size_t size) {
    if (bytes < 1024) {
        snprintf(out, size, "%lld", bytes);
        return;
    }
    char text[kSizeTextSize];
    hxm2afp::format_byte_size(static_cast<uint64_t>(bytes), text);
    snprintf(out, size, "%s", text);
}

const char *send_log_row(hxm2afp::PageWriter &out, const char *attribute, const char *name,
                         const char *directory) {
    if (name == nullptr || directory == nullptr || VerifyLinuxPath(directory) != 0)
        return attribute;

    char fullPath[kFullPathSize];
    int length = snprintf(fullPath, sizeof fullPath, "%s/%s", directory, name);
    if (length < 0 || static_cast<size_t>(length) >= sizeof fullPath)
        return attribute; // never look at a cut path

    struct stat status;
    // A directory or device of that name has a size but no log to view.
    if (stat(fullPath, &status) != 0 || !S_ISREG(status.st_mode) || status.st_size <= 0)
        return attribute;

    char sizeText[kRowSizeTextSize];
    write_size_text(static_cast<long long>(status.st_size), sizeText, sizeof sizeText);
    out.format("<tr %s><td class=\"tablecol\" align=center><a href=\"",
               attribute != nullptr ? attribute : "")
        .url_path(fullPath)
        .literal("?VIEW\">")
        .html(name)
        .format("</a></td><td class=\"tablecol\" align=right>%s</td></tr>\n", sizeText);
    return attribute == lpzdark ? lpzlight : lpzdark;
}

} // namespace

const char *BuildLogFileTableEntry(void *request, const char *attribute, const char *name,
                                   const char *directory) {
    hxm2afp::PageWriter out(request);
    return send_log_row(out, attribute, name, directory);
}

int generate_main_showlogs_page(void *request) {
    char title[kTitleSize];
    hxm2afp::copy_cut(title, sizeof title, lnxMSG("AFP System Logs"));
    char helpUrl[kTitleSize];
    snprintf(helpUrl, sizeof helpUrl, "/%s/%s", keyword_afpdlogs, keyword_help);
    hxm2afp::PageFrame frame{title};
    frame.helpUrl = helpUrl;
    if (const int refused = hxm2afp::begin_page(request, frame))
        return refused;

    hxm2afp::PageWriter out(request);
    out.literal("<p><dl><dd><table border=0>\n");
    out.format("<tr class=\"tablehead\"><td colspan=2 align=center>%s</td></tr>\n", lnxMSG("Logs"));
    out.format("<tr class=\"tablesubhead\"><th align=center>%s</th><th align=center>%s</th></tr>\n",
               lnxMSG("Name"), lnxMSG("Size"));

    const char *directory = hxm2afp::log_directory();
    const char *attribute = send_log_row(out, lpzdark, kServerLogName, directory);
    if (hxm_log != nullptr && hxm_log->level >= kPluginLogLevel)
        send_log_row(out, attribute, kPluginLogName, directory);

    out.literal("</table></dd></dl></p>\n");
    out.literal("<p><dl><dd><table border=0>\n");
    out.literal("</BODY></HTML>");
    return hxm2afp::end_page(out);
}
