/*
 * generate_afp_help_page: the five fixed help pages of the connection, open
 * file and log areas.
 *
 * Each page is a table of lines; a line names one of the fixed body formats
 * and the catalogue keys that fill it. The keys are reproduced exactly,
 * trailing blanks included, since a changed key loses its translation. Each
 * format is written out in one place as a literal, so the compiler checks
 * its arguments and no text ever becomes a format.
 */
#include "pages/help/help.h"

#include <stddef.h>

#include "core/localisation.h"
#include "core/page_frame.h"
#include "core/page_text.h"
#include "core/page_writer.h"

namespace {

/* The body formats a help line can use. */
enum class Format { P, Pn, DTs, DT, DTe, CLK, SEL, H4n, H4, DD, DDb, H3, ServerLog, PluginLog };

/* Each format's markup, in the order above, its texts taken in order. */
constexpr const char *kLineMarkup[] = {
    "<p>%s</p>",
    "<p>%s</p>\n",
    "<dd><b>%s</b>%s</dd><br> \n",
    "<dd><b>%s</b>%s</dd><br>\n",
    "<dd><b>%s</b>%s</dd>\n",
    "<p>%s<i>%s</i>%s</p>\n",
    "<p>%s<i>%s</i></p>\n",
    "<h4>%s</h4>\n",
    "<h4>%s</h4>",
    "<dd>%s</dd>\n",
    "<dd>%s</dd><br>\n",
    "<h3>%s</h3>\n",
    "<dd><b>%s afpsvcd.log: </b>%s</dd><br>\n",
    "<dd><b>%s libhxm2afp.log: </b>%s</dd>\n",
};
static_assert(sizeof kLineMarkup / sizeof kLineMarkup[0] ==
                  static_cast<size_t>(Format::PluginLog) + 1,
              "one markup per format");

/* One body line: its format and the catalogue keys of its arguments. */
struct HelpLine {
    Format format;
    const char *text[3];
};

struct HelpPage {
    int number;
    const HelpLine *lines;
    size_t count;
};

constexpr HelpLine kConnectionsHelp[] = {
    {Format::P,
     {HXM_TRANSLATABLE(
         "The AFP Connections page displays the following information about each current "
         "connection:")}},
    {Format::DTs,
     {HXM_TRANSLATABLE("Connection: "),
      HXM_TRANSLATABLE("Shows the connection number for each connection.")}},
    {Format::DT,
     {HXM_TRANSLATABLE("Name: "),
      HXM_TRANSLATABLE(
          "Shows the name of the user and links to specific information about that user "
          "connection such as the connection number, login status, login time, privileges, "
          "network address, files in use, and security equivalence.")}},
    {Format::DT,
     {HXM_TRANSLATABLE("Reads & Writes: "),
      HXM_TRANSLATABLE(
          "Shows the number of reads and writes (in bytes) made by each connection.")}},
    {Format::DT,
     {HXM_TRANSLATABLE("AFP Requests: "),
      HXM_TRANSLATABLE("Shows the number of AFP requests made by each connection.")}},
    {Format::DTe,
     {HXM_TRANSLATABLE("Login Time: "),
      HXM_TRANSLATABLE("Shows the login day, date, and time for the connection.")}},
    {Format::CLK,
     {HXM_TRANSLATABLE("Click "), HXM_TRANSLATABLE("Refresh "),
      HXM_TRANSLATABLE("to view the latest statistics of the connections. ")}},
    {Format::H4n, {HXM_TRANSLATABLE("Close connections")}},
    {Format::SEL,
     {HXM_TRANSLATABLE("Select the connection(s) you want to close, then click "),
      HXM_TRANSLATABLE("Close Connections.")}},
    {Format::DD,
     {HXM_TRANSLATABLE(
         "Note: When you close a connection, the open files associated with the connection "
         "are closed, and the application(s) that opened the file(s) should automatically "
         "close and delete the temporary files, if any.")}},
    {Format::H4n, {HXM_TRANSLATABLE("View connection information")}},
    {Format::DD,
     {HXM_TRANSLATABLE("Click the name of the user to view detailed information for a specific "
                       "connection.")}},
};

constexpr HelpLine kConnectionInformationHelp[] = {
    {Format::Pn,
     {HXM_TRANSLATABLE(
         "Use this page to view details of a specific AFP connection. The details include:")}},
    {Format::DT, {HXM_TRANSLATABLE("Connection: "), HXM_TRANSLATABLE("Shows the connections ID.")}},
    {Format::DT,
     {HXM_TRANSLATABLE("Login Status: "),
      HXM_TRANSLATABLE("Shows connection states, such as Logged-In and Expired.")}},
    {Format::DT,
     {HXM_TRANSLATABLE("Login Time "),
      HXM_TRANSLATABLE("Shows the login day, date, and time for the connection.")}},
    {Format::DT,
     {HXM_TRANSLATABLE("Privileges: "),
      HXM_TRANSLATABLE("Shows whether the connection has privileges, such as Supervisor or "
                       "Non-Supervisor.")}},
    {Format::DT,
     {HXM_TRANSLATABLE("Network Address: "),
      HXM_TRANSLATABLE("Shows the IP address where the connection originates")}},
    {Format::DT,
     {HXM_TRANSLATABLE("Security Equivalence: "),
      HXM_TRANSLATABLE("Shows Security Equivalence Vector of the connection.")}},
    {Format::DTe,
     {HXM_TRANSLATABLE("Open Files: "),
      HXM_TRANSLATABLE("Shows the files open for the connection.")}},
    {Format::CLK,
     {HXM_TRANSLATABLE("1. Click  "), HXM_TRANSLATABLE("Back to Connections "),
      HXM_TRANSLATABLE("to go to AFP Connections page.")}},
    {Format::DD, {HXM_TRANSLATABLE("(or)")}},
    {Format::CLK,
     {HXM_TRANSLATABLE("Click  "), HXM_TRANSLATABLE("Back to Open File Management "),
      HXM_TRANSLATABLE("to go to AFP Open File Management page.")}},
    {Format::CLK,
     {HXM_TRANSLATABLE("2. Click  "), HXM_TRANSLATABLE("Clear Connection "),
      HXM_TRANSLATABLE("to close the connection.")}},
    {Format::DD,
     {HXM_TRANSLATABLE(
         "When you clear a connection, the open files associated with the connection are "
         "closed, and the application(s) that opened the file(s) should automatically close "
         "and delete the temporary files, if any.")}},
    {Format::CLK,
     {HXM_TRANSLATABLE("3. Click  "), HXM_TRANSLATABLE("Close All Files "),
      HXM_TRANSLATABLE(
          "to close all files opened by the current connection. Closing files does not close "
          "the connection; rather, the connection remains open.")}},
    {Format::CLK,
     {HXM_TRANSLATABLE("4. Click  "), HXM_TRANSLATABLE("Close File "),
      HXM_TRANSLATABLE(
          "to close a specific file. The file is closed for all connections that have opened "
          "the file.")}},
};

constexpr HelpLine kLogsHelp[] = {
    {Format::Pn,
     {HXM_TRANSLATABLE(
         "Use this page to view messages logged by the AFP server and AFP HXM Plug-in.")}},
    {Format::ServerLog,
     {HXM_TRANSLATABLE("1."),
      HXM_TRANSLATABLE("This file is associated with AFP server (afpsvcd) logs.")}},
    {Format::PluginLog,
     {HXM_TRANSLATABLE("2."),
      HXM_TRANSLATABLE("This log file is associated with AFP HXM Plug-in logs.")}},
};

constexpr HelpLine kOpenFilesHelp[] = {
    {Format::P,
     {HXM_TRANSLATABLE(
         "Use this page to view open file information for the selected volume. You can also "
         "filter files by the extension.")}},
    {Format::DTs,
     {HXM_TRANSLATABLE("AFP Volume: "),
      HXM_TRANSLATABLE(
          "Lists the mounted AFP volumes. To view all open files on a specific volume, select "
          "the volume from the AFP Volume drop-down list box.")}},
    {Format::DT,
     {HXM_TRANSLATABLE("Filter: "),
      HXM_TRANSLATABLE(
          "Text box to specify your filter criteria. To filter for a specific file type on the "
          "selected volume, type the extension of the file, for example, *.doc, then click "
          "Apply or press the ENTER key on your keyboard.")}},
    {Format::DDb,
     {HXM_TRANSLATABLE(
         "All open files that match the filter criteria is displayed and the Filter field is "
         "cleared automatically.")}},
    {Format::DDb,
     {HXM_TRANSLATABLE(
         "You can only filter by file extension and the format must be *.file_extension. You "
         "cannot use regular expressions to filter files.")}},
    {Format::DT,
     {HXM_TRANSLATABLE("Connection: "), HXM_TRANSLATABLE("Shows the connection numbers.")}},
    {Format::DT,
     {HXM_TRANSLATABLE("User name: "), HXM_TRANSLATABLE("Shows the name of the logged in users.")}},
    {Format::DTe,
     {HXM_TRANSLATABLE("File Path: "), HXM_TRANSLATABLE("Shows the path of open files.")}},
    {Format::CLK,
     {HXM_TRANSLATABLE("Click "), HXM_TRANSLATABLE("Refresh "),
      HXM_TRANSLATABLE(
          "to view the latest list of open files for the selected volume and the filter "
          "criteria set. ")}},
    {Format::H4, {HXM_TRANSLATABLE("Close Files")}},
    {Format::SEL,
     {HXM_TRANSLATABLE("Select the files you want to close, then click "),
      HXM_TRANSLATABLE("Close Files.")}},
    {Format::DD,
     {HXM_TRANSLATABLE(
         "Note: The files are closed on the server and will not be available for any file "
         "operations for all users who have opened the file. User(s) might lose unsaved data "
         "when a file is closed.")}},
    {Format::H4, {HXM_TRANSLATABLE("View connection information")}},
    // One trailing blank: not the same key as the connections help's line.
    {Format::Pn,
     {HXM_TRANSLATABLE("Click the name of the user to view detailed information for a specific "
                       "connection. ")}},
    {Format::H4n, {HXM_TRANSLATABLE("Find open files")}},
    {Format::Pn,
     {HXM_TRANSLATABLE(
         "Type a part of a file name, and optionally a part of a user name, then click Find: "
         "the open files of every volume whose names hold it are listed in one table, with "
         "their volume, connection, user and path. Case does not matter; * stands for any "
         "text and ? for any one character. A part that holds a / is matched against the "
         "whole path. With both boxes empty every open file is listed.")}},
    {Format::DD,
     {HXM_TRANSLATABLE("Sort the table by any column, or select files and click Close Files "
                       "to close them as on the list of one volume.")}},
    {Format::H4n, {HXM_TRANSLATABLE("Who had files open at a time")}},
    {Format::Pn,
     {HXM_TRANSLATABLE(
         "Where the history recorder runs, the find page links to its history. Type a part of "
         "a file name or of a user name and a time (YYYY-MM-DD HH:MM:SS, local time), or a "
         "first and a last time, then click Find: every file that was open then is listed with "
         "its volume, connection, user, path, since when it was open, when it was closed and "
         "by whom, and, while still open, for how long its connection has been idle. With no "
         "time the whole history is asked.")}},
    {Format::DD,
     {HXM_TRANSLATABLE("Click a connection, user or path to see its timeline. The detail page of a "
                       "connection links to the timeline of that connection.")}},
};

constexpr HelpLine kOpenFileInformationHelp[] = {
    {Format::H3, {HXM_TRANSLATABLE("Open File Information")}},
    {Format::Pn,
     {HXM_TRANSLATABLE("Shows information about and lets you perform specific tasks on a file.")}},
    {Format::Pn, {HXM_TRANSLATABLE("File Information:")}},
    {Format::Pn,
     {HXM_TRANSLATABLE(
         "Shows the file owner, creation date and time, effective rights, Inherited Rights "
         "Filter, and logical file size information. Clicking the Inherited Rights Filter link "
         "opens a page that lets you change the inherited rights for the file.")}},
    {Format::Pn, {HXM_TRANSLATABLE("Trustee Information:")}},
    {Format::Pn,
     {HXM_TRANSLATABLE(
         "Shows any trustees that have been assigned specifically to the file and lets you "
         "assign new trustees.")}},
    {Format::Pn, {HXM_TRANSLATABLE("Global Lock Information:")}},
    {Format::Pn, {HXM_TRANSLATABLE("Shows the current lock state for the file.")}},
    {Format::Pn, {HXM_TRANSLATABLE("File Lock Information by Connection:")}},
    {Format::Pn,
     {HXM_TRANSLATABLE(
         "Shows which connections have the file open and what mode they are using.")}},
    {Format::Pn, {HXM_TRANSLATABLE("Record Lock Information")}},
    {Format::Pn,
     {HXM_TRANSLATABLE(
         "Shows any record locks that are currently in use on the file as well as who owns the "
         "lock and what part of the file is locked.")}},
    {Format::Pn, {HXM_TRANSLATABLE("Close button:")}},
    {Format::Pn, {HXM_TRANSLATABLE("Closed the file.")}},
};

template <size_t N> constexpr HelpPage Page(int number, const HelpLine (&lines)[N]) {
    return HelpPage{number, lines, N};
}

constexpr HelpPage kHelpPages[] = {
    Page(HXM_HELP_CONNECTIONS, kConnectionsHelp),
    Page(HXM_HELP_CONNECTION_INFORMATION, kConnectionInformationHelp),
    Page(HXM_HELP_LOGS, kLogsHelp),
    Page(HXM_HELP_OPEN_FILES, kOpenFilesHelp),
    Page(HXM_HELP_OPEN_FILE_INFORMATION, kOpenFileInformationHelp),
};

/* Title buffer size, terminator included. */
constexpr size_t kTitleSize = 2052;

/* The page of `number`, or null. */
const HelpPage *find_page(int number) {
    for (const HelpPage &page : kHelpPages)
        if (page.number == number)
            return &page;
    return nullptr;
}

/* Sends one line with its texts looked up in the catalogue; a format
 * takes only the texts it names. */
void send_line(hxm2afp::PageWriter &out, const HelpLine &line) {
    const char *a = lnxMSG(line.text[0]);
    const char *b = line.text[1] != nullptr ? lnxMSG(line.text[1]) : "";
    const char *c = line.text[2] != nullptr ? lnxMSG(line.text[2]) : "";
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    out.format(kLineMarkup[static_cast<size_t>(line.format)], a, b, c);
#pragma GCC diagnostic pop
}

} // namespace

int generate_afp_help_page(void *request, int pageNumber, const char *title) {
    char heading[kTitleSize];
    hxm2afp::copy_cut(heading, sizeof heading, title);
    if (const int refused = hxm2afp::begin_page(request, {heading}))
        return refused;

    hxm2afp::PageWriter out(request);
    if (const HelpPage *page = find_page(pageNumber)) {
        for (size_t i = 0; i < page->count; ++i)
            send_line(out, page->lines[i]);
    } else {
        out.format("<h3>%s</h3>\n",
                   lnxMSG("AFP Open File Manager Help information is not available."));
    }
    out.literal("</BODY></HTML>");
    return hxm2afp::end_page(out);
}
