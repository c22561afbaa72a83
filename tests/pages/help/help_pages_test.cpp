/*
 * The help pages and the wrappers that choose them, driven through the
 * host: a test keyword's service method hands each request to the plug-in's
 * exported functions, and each page is compared byte for byte with the head
 * the host writes for its title followed by the page's fixed body.
 */
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include <zentra/hxm_host.h>

#include "tests/support/page_text.h"
#include "tests/support/plugin_fixture.h"

namespace hxm_test {
namespace {

using HelpPageFunction = int (*)(void *, int, const char *);
using HelpWrapper = int (*)(void *, int, char *, int);

/* What the test keyword does with the next request. */
enum class Action { kHelpPage, kWrapper, kHeadOnly };
Action next_action = Action::kHelpPage;
HelpPageFunction help_page = nullptr;
HelpWrapper wrapper = nullptr;
int page_number = 0;
std::string title;
bool pass_null_title = false;
int component_count = 0;
bool pass_component = false;
std::string component;
char byte_after = '\0'; // what follows the component in the path
int component_length = 0;

int HelpTestMethod(void *request, unsigned int, unsigned int, unsigned int) {
    switch (next_action) {
    case Action::kHelpPage:
        return help_page(request, page_number, pass_null_title ? nullptr : title.c_str());
    case Action::kWrapper: {
        // As in the host's component path: the text, then the next length
        // byte or the path's terminator, and nothing after (ASan reports a
        // read past it).
        std::unique_ptr<char[]> text(new char[component.size() + 1]);
        component.copy(text.get(), component.size());
        text[component.size()] = byte_after;
        return wrapper(request, component_count, pass_component ? text.get() : nullptr,
                       component_length);
    }
    case Action::kHeadOnly:
        // The host's own head for `title`, as every help page starts.
        if (HttpSendSuccessfulResponse(request, HttpReturnString(5)) != 0)
            return 500;
        BuildAndSendHeader(request, title.c_str(), title.c_str(), 0, 0, 0, nullptr, nullptr,
                           nullptr);
        HttpEndDataResponse(request);
        return 200;
    }
    return 0;
}

struct HelpPageBody {
    int number;
    const char *body;
};

/* The five pages' bodies, between the head and "</BODY></HTML>". */
const HelpPageBody kBodies[] = {
    {18,
     "<p>The AFP Connections page displays the following information about each current "
     "connection:</p>"
     "<dd><b>Connection: </b>Shows the connection number for each connection.</dd><br> \n"
     "<dd><b>Name: </b>Shows the name of the user and links to specific information about that "
     "user connection such as the connection number, login status, login time, privileges, network "
     "address, files in use, and security equivalence.</dd><br>\n"
     "<dd><b>Reads & Writes: </b>Shows the number of reads and writes (in bytes) made by each "
     "connection.</dd><br>\n"
     "<dd><b>AFP Requests: </b>Shows the number of AFP requests made by each connection.</dd><br>\n"
     "<dd><b>Login Time: </b>Shows the login day, date, and time for the connection.</dd>\n"
     "<p>Click <i>Refresh </i>to view the latest statistics of the connections. </p>\n"
     "<h4>Close connections</h4>\n"
     "<p>Select the connection(s) you want to close, then click <i>Close Connections.</i></p>\n"
     "<dd>Note: When you close a connection, the open files associated with the connection are "
     "closed, and the application(s) that opened the file(s) should automatically close and delete "
     "the temporary files, if any.</dd>\n"
     "<h4>View connection information</h4>\n"
     "<dd>Click the name of the user to view detailed information for a specific "
     "connection.</dd>\n"},
    {19,
     "<p>Use this page to view details of a specific AFP connection. The details include:</p>\n"
     "<dd><b>Connection: </b>Shows the connections ID.</dd><br>\n"
     "<dd><b>Login Status: </b>Shows connection states, such as Logged-In and Expired.</dd><br>\n"
     "<dd><b>Login Time </b>Shows the login day, date, and time for the connection.</dd><br>\n"
     "<dd><b>Privileges: </b>Shows whether the connection has privileges, such as Supervisor or "
     "Non-Supervisor.</dd><br>\n"
     "<dd><b>Network Address: </b>Shows the IP address where the connection originates</dd><br>\n"
     "<dd><b>Security Equivalence: </b>Shows Security Equivalence Vector of the "
     "connection.</dd><br>\n"
     "<dd><b>Open Files: </b>Shows the files open for the connection.</dd>\n"
     "<p>1. Click  <i>Back to Connections </i>to go to AFP Connections page.</p>\n"
     "<dd>(or)</dd>\n"
     "<p>Click  <i>Back to Open File Management </i>to go to AFP Open File Management page.</p>\n"
     "<p>2. Click  <i>Clear Connection </i>to close the connection.</p>\n"
     "<dd>When you clear a connection, the open files associated with the connection are closed, "
     "and the application(s) that opened the file(s) should automatically close and delete the "
     "temporary files, if any.</dd>\n"
     "<p>3. Click  <i>Close All Files </i>to close all files opened by the current connection. "
     "Closing files does not close the connection; rather, the connection remains open.</p>\n"
     "<p>4. Click  <i>Close File </i>to close a specific file. The file is closed for all "
     "connections that have opened the file.</p>\n"},
    {36,
     "<p>Use this page to view messages logged by the AFP server and AFP HXM Plug-in.</p>\n"
     "<dd><b>1. afpsvcd.log: </b>This file is associated with AFP server (afpsvcd) logs.</dd><br>\n"
     "<dd><b>2. libhxm2afp.log: </b>This log file is associated with AFP HXM Plug-in logs.</dd>\n"},
    {41, "<p>Use this page to view open file information for the selected volume. You can also "
         "filter files by the extension.</p>"
         "<dd><b>AFP Volume: </b>Lists the mounted AFP volumes. To view all open files on a "
         "specific volume, select the volume from the AFP Volume drop-down list box.</dd><br> \n"
         "<dd><b>Filter: </b>Text box to specify your filter criteria. To filter for a specific "
         "file type on the selected volume, type the extension of the file, for example, *.doc, "
         "then click Apply or press the ENTER key on your keyboard.</dd><br>\n"
         "<dd>All open files that match the filter criteria is displayed and the Filter field is "
         "cleared automatically.</dd><br>\n"
         "<dd>You can only filter by file extension and the format must be *.file_extension. You "
         "cannot use regular expressions to filter files.</dd><br>\n"
         "<dd><b>Connection: </b>Shows the connection numbers.</dd><br>\n"
         "<dd><b>User name: </b>Shows the name of the logged in users.</dd><br>\n"
         "<dd><b>File Path: </b>Shows the path of open files.</dd>\n"
         "<p>Click <i>Refresh </i>to view the latest list of open files for the selected volume "
         "and the filter criteria set. </p>\n"
         "<h4>Close Files</h4>"
         "<p>Select the files you want to close, then click <i>Close Files.</i></p>\n"
         "<dd>Note: The files are closed on the server and will not be available for any file "
         "operations for all users who have opened the file. User(s) might lose unsaved data when "
         "a file is closed.</dd>\n"
         "<h4>View connection information</h4>"
         "<p>Click the name of the user to view detailed information for a specific connection. "
         "</p>\n"
         "<h4>Find open files</h4>\n"
         "<p>Type a part of a file name, and optionally a part of a user name, then click Find: "
         "the open files of every volume whose names hold it are listed in one table, with their "
         "volume, connection, user and path. Case does not matter; * stands for any text and ? for "
         "any one character. A part that holds a / is matched against the whole path. With both "
         "boxes empty every open file is listed.</p>\n"
         "<dd>Sort the table by any column, or select files and click Close Files to close them as "
         "on the list of one volume.</dd>\n"
         "<h4>Who had files open at a time</h4>\n"
         "<p>Where the history recorder runs, the find page links to its history. Type a part of a "
         "file name or of a user name and a time (YYYY-MM-DD HH:MM:SS, local time), or a first and "
         "a last time, then click Find: every file that was open then is listed with its volume, "
         "connection, user, path, since when it was open, when it was closed and by whom, and, "
         "while still open, for how long its connection has been idle. With no time the whole "
         "history is asked.</p>\n"
         "<dd>Click a connection, user or path to see its timeline. The detail page of a "
         "connection links to the timeline of that connection.</dd>\n"},
    {42, "<h3>Open File Information</h3>\n"
         "<p>Shows information about and lets you perform specific tasks on a file.</p>\n"
         "<p>File Information:</p>\n"
         "<p>Shows the file owner, creation date and time, effective rights, Inherited Rights "
         "Filter, and logical file size information. Clicking the Inherited Rights Filter link "
         "opens a page that lets you change the inherited rights for the file.</p>\n"
         "<p>Trustee Information:</p>\n"
         "<p>Shows any trustees that have been assigned specifically to the file and lets you "
         "assign new trustees.</p>\n"
         "<p>Global Lock Information:</p>\n"
         "<p>Shows the current lock state for the file.</p>\n"
         "<p>File Lock Information by Connection:</p>\n"
         "<p>Shows which connections have the file open and what mode they are using.</p>\n"
         "<p>Record Lock Information</p>\n"
         "<p>Shows any record locks that are currently in use on the file as well as who owns the "
         "lock and what part of the file is locked.</p>\n"
         "<p>Close button:</p>\n"
         "<p>Closed the file.</p>\n"},
};

const char *BodyOf(int number) {
    for (const HelpPageBody &page : kBodies)
        if (page.number == number)
            return page.body;
    return nullptr;
}

constexpr char kNotAvailable[] =
    "<h3>AFP Open File Manager Help information is not available.</h3>\n";
constexpr char kBadRequest[] = "&nbsp;<b>Error :</b>  Bad Http request</td>";

class HelpPages : public PluginTest {
  protected:
    void SetUp() override { Load(false); }
    void TearDown() override { Unload(); }

    void Load(bool withCatalogue) {
        LoadPlugin(withCatalogue);
        help_page = plugin_->Function<HelpPageFunction>("generate_afp_help_page");
        ASSERT_NE(help_page, nullptr);
        RegisterTestKeyword("Help test", "helptest", HelpTestMethod);
    }

    void Unload() {
        UnloadPlugin();
        help_page = nullptr;
        wrapper = nullptr;
    }

    HelpWrapper Wrapper(const char *mangledName) {
        return plugin_->Function<HelpWrapper>(mangledName);
    }

    hxm::Response ShowPage(int number, const std::string &pageTitle,
                           unsigned failures = hxm::kFailNone) {
        next_action = Action::kHelpPage;
        page_number = number;
        title = pageTitle;
        return Get("/helptest", 0x9, failures);
    }

    hxm::Response CallWrapper(HelpWrapper function, int count, const char *text, int length,
                              char after = '\0') {
        next_action = Action::kWrapper;
        wrapper = function;
        component_count = count;
        pass_component = text != nullptr;
        component = text != nullptr ? text : "";
        component_length = length;
        byte_after = after;
        return Serve("/helptest");
    }

    /* The whole page the host and a help page of that title and body give. */
    std::string ExpectedPage(const std::string &pageTitle, const std::string &body) {
        next_action = Action::kHeadOnly;
        title = pageTitle;
        return Serve("/helptest").body + body + "</BODY></HTML>";
    }
};

TEST_F(HelpPages, EveryPageIsItsFixedBodyUnderTheGivenTitle) {
    for (const HelpPageBody &page : kBodies) {
        SCOPED_TRACE("page " + std::to_string(page.number));
        hxm::Response response = ShowPage(page.number, "Title of the page");
        EXPECT_EQ(response.status, 200);
        EXPECT_EQ(response.methodResult, 200);
        EXPECT_EQ(response.body, ExpectedPage("Title of the page", page.body));
    }
}

TEST_F(HelpPages, AnyOtherNumberShowsOnlyTheNotAvailableHeading) {
    for (int number : {0, 1, 17, 20, 35, 37, 40, 43, -1, -18, 1 << 30}) {
        SCOPED_TRACE("page " + std::to_string(number));
        hxm::Response response = ShowPage(number, "Caller's title");
        EXPECT_EQ(response.methodResult, 200);
        EXPECT_EQ(response.body, ExpectedPage("Caller's title", kNotAvailable));
    }
}

TEST_F(HelpPages, RefusedSuccessResponseAnswers500AndSendsNothingElse) {
    for (int number : {18, 36, 7}) {
        hxm::Response response = ShowPage(number, "Title", hxm::kFailSuccessfulResponse);
        EXPECT_EQ(response.status, 500);
        EXPECT_EQ(response.methodResult, 500);
        EXPECT_EQ(response.body.find("hxm-heading"), std::string::npos) << response.body;
        EXPECT_EQ(response.body.find("<p>"), std::string::npos) << response.body;
        EXPECT_EQ(response.body.find("<h3>"), std::string::npos) << response.body;
    }
}

TEST_F(HelpPages, OverlongTitlesAreCutAtACharacterBoundary) {
    std::string accents;
    for (int i = 0; i < 1500; ++i)
        accents += "\xc3\xa9";
    const struct {
        std::string title;
        size_t keptLength;
    } kCases[] = {{std::string(3000, 'x'), 2051}, {accents, 2050}, {std::string(2051, 'y'), 2051}};
    for (const auto &c : kCases) {
        hxm::Response response = ShowPage(36, c.title);
        EXPECT_EQ(response.body, ExpectedPage(c.title.substr(0, c.keptLength), BodyOf(36)));
    }
}

TEST_F(HelpPages, NullTitleReadsAsEmpty) {
    pass_null_title = true;
    hxm::Response response = ShowPage(41, "ignored");
    pass_null_title = false;
    EXPECT_EQ(response.body, ExpectedPage("", BodyOf(41)));
}

/* One wrapper call: the component after the help token and the page it
 * gives (0: the error page "Bad Http request"). */
struct WrapperCase {
    const char *wrapper;
    int count;
    const char *component; // null: no pointer at all
    int length;
    char after; // the byte after the text: 0 at the path's end, else a length
    int page;
    const char *title;
};

constexpr char kConnections[] = "_Z25generate_connections_helpPviPci";
constexpr char kOpenFiles[] = "_Z21generate_afp_ofm_helpPviPci";
constexpr char kLogs[] = "_Z22generate_showlogs_helpPviPci";

const WrapperCase kWrapperCases[] = {
    // Connections: nothing, or an empty component, is the list help.
    {kConnections, 0, nullptr, 0, '\0', 18, "AFP Connections"},
    {kConnections, 0, "_info_", 6, '\0', 18, "AFP Connections"}, // a count of 0 wins
    {kConnections, 1, "", 0, '\0', 18, "AFP Connections"},
    // An empty component before another is a leading part of any keyword.
    {kConnections, 2, "", 0, '\1', 19, "AFP Connection Information"},
    // A leading part of "_info_", in any case, is the information help.
    {kConnections, 1, "_info_", 6, '\0', 19, "AFP Connection Information"},
    {kConnections, 1, "_INFO_", 6, '\0', 19, "AFP Connection Information"},
    {kConnections, 1, "_in", 3, '\0', 19, "AFP Connection Information"},
    {kConnections, 2, "_inXYZ", 3, '\3', 19, "AFP Connection Information"}, // only `length` counts
    {kConnections, 1, "_info_x", 7, '\0', 0, nullptr},
    {kConnections, 1, "help", 4, '\0', 0, nullptr},
    {kConnections, 1, "x", 1, '\0', 0, nullptr},
    // Open files: a leading part of "help" is the file information help.
    {kOpenFiles, 0, nullptr, 0, '\0', 41, "AFP Open File Management"},
    {kOpenFiles, 1, "", 0, '\0', 41, "AFP Open File Management"},
    {kOpenFiles, 2, "", 0, '\1', 42, "AFP Open File Information"},
    {kOpenFiles, 1, "HELP", 4, '\0', 42, "AFP Open File Information"},
    {kOpenFiles, 1, "he", 2, '\0', 42, "AFP Open File Information"},
    {kOpenFiles, 1, "helpme", 6, '\0', 0, nullptr},
    {kOpenFiles, 1, "other", 5, '\0', 0, nullptr},
    {kOpenFiles, 1, "_info_", 6, '\0', 0, nullptr},
    // Logs: the log help whatever follows.
    {kLogs, 0, nullptr, 0, '\0', 36, "AFP System Logs"},
    {kLogs, 1, "anything", 8, '\0', 36, "AFP System Logs"},
    {kLogs, 3, "x", 1, '\0', 36, "AFP System Logs"},
    {kLogs, 1, "", 0, '\0', 36, "AFP System Logs"},
};

TEST_F(HelpPages, EachWrapperChoosesItsPageByTheComponent) {
    for (const WrapperCase &c : kWrapperCases) {
        SCOPED_TRACE(std::string(c.wrapper) + " " + std::to_string(c.count) + " '" +
                     (c.component != nullptr ? c.component : "(null)") + "'");
        HelpWrapper function = Wrapper(c.wrapper);
        ASSERT_NE(function, nullptr);
        hxm::Response response = CallWrapper(function, c.count, c.component, c.length, c.after);
        EXPECT_EQ(response.status, 200);
        EXPECT_EQ(response.methodResult, 200);
        if (c.page == 0) {
            EXPECT_NE(response.body.find(kBadRequest), std::string::npos) << response.body;
            EXPECT_EQ(response.body.find("<dd>"), std::string::npos);
        } else {
            EXPECT_EQ(response.body, ExpectedPage(c.title, BodyOf(c.page)));
        }
    }
}

TEST_F(HelpPages, WrappersPassOnTheRefusedSuccessResponse) {
    for (const char *name : {kConnections, kOpenFiles, kLogs}) {
        next_action = Action::kWrapper;
        wrapper = Wrapper(name);
        component_count = 0;
        pass_component = false;
        hxm::Response response = Get("/helptest", 0x9, hxm::kFailSuccessfulResponse);
        EXPECT_EQ(response.status, 500) << name;
        EXPECT_EQ(response.methodResult, 500) << name;
    }
}

class TranslatedHelpPages : public HelpPages {
  protected:
    void SetUp() override { Load(true); }
};

TEST_F(TranslatedHelpPages, TitlesAndTextsComeFromTheCatalogue) {
    const struct {
        const char *wrapper;
        int count;
        const char *component;
        int length;
        const char *title;
        const char *englishLine; // must be gone
        const char *germanLine;
    } kCases[] = {
        {kConnections, 0, nullptr, 0, "AFP-Verbindungen",
         "<dd><b>Connection: </b>Shows the connection number for each connection.</dd><br> \n",
         "<dd><b>Verbindung: </b>Zeigt die Nummer jeder Verbindung.</dd><br> \n"},
        {kConnections, 1, "_info_", 6, "AFP-Verbindungsinformationen", "<dd>(or)</dd>\n",
         "<dd>(oder)</dd>\n"},
        {kOpenFiles, 0, nullptr, 0, "AFP-Verwaltung geöffneter Dateien", "<h4>Close Files</h4>",
         "<h4>Dateien schließen</h4>"},
        {kOpenFiles, 1, "help", 4, "AFP-Informationen zur geöffneten Datei",
         "<p>Closed the file.</p>\n", "<p>Schließt die Datei.</p>\n"},
        {kLogs, 0, nullptr, 0, "AFP-Systemprotokolle",
         "<dd><b>2. libhxm2afp.log: </b>This log file is associated with AFP HXM Plug-in "
         "logs.</dd>\n",
         "<dd><b>2. libhxm2afp.log: </b>Diese Protokolldatei enthält die Protokolle des "
         "AFP-HXM-Plug-ins.</dd>\n"},
    };
    for (const auto &c : kCases) {
        SCOPED_TRACE(c.title);
        hxm::Response response = CallWrapper(Wrapper(c.wrapper), c.count, c.component, c.length);
        EXPECT_EQ(Between(response.body, "<TITLE>", "</TITLE>"), c.title);
        EXPECT_EQ(response.body.find(c.englishLine), std::string::npos);
        EXPECT_NE(response.body.find(c.germanLine), std::string::npos) << response.body;
    }
}

TEST_F(TranslatedHelpPages, NotAvailableHeadingIsTranslated) {
    hxm::Response response = ShowPage(5, "Titel");
    EXPECT_NE(response.body.find("<h3>Für die AFP-Verwaltung geöffneter Dateien ist keine Hilfe "
                                 "verfügbar.</h3>\n</BODY></HTML>"),
              std::string::npos)
        << response.body;
}

} // namespace

} // namespace hxm_test
