/*
 * The log list and the help pages over HTTP: hxm-console runs with the
 * real plug-in under a fresh root, as an administrator's browser sees it.
 */
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>

#include <chrono>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "tests/e2e/console_test_fixture.h"
#include "tests/support/page_text.h"

namespace hxm_test {
namespace {

class PluginLogsTest : public PluginConsoleTest {};

TEST_F(PluginLogsTest, ListsBothLogsWhoseLinksShowTheirText) {
    // No configuration file: the logger runs at level 4 and lists its own log.
    WriteFile(logDirectory() + "/afpsvc.log", "afpsvcd: volume VOL1 mounted\n");
    StartConsole();
    HttpResponse page = Fetch(base(), "/afplogs");
    ASSERT_EQ(page.status, 200) << page.error;
    EXPECT_EQ(Between(page.body, "<TITLE>", "</TITLE>"), "AFP System Logs");

    static const std::regex kRow("<tr (bgcolor=#[0-9a-f]+)><td class=\"tablecol\" align=center>"
                                 "<a href=\"([^\"]+)\\?VIEW\">([^<]+)</a></td>"
                                 "<td class=\"tablecol\" align=right>([^<]+)</td></tr>");
    std::vector<std::smatch> rows;
    for (auto it = std::sregex_iterator(page.body.begin(), page.body.end(), kRow);
         it != std::sregex_iterator(); ++it)
        rows.push_back(*it);
    ASSERT_EQ(rows.size(), 2u) << page.body;
    EXPECT_EQ(rows[0][1], "bgcolor=#efeee9");
    EXPECT_EQ(rows[0][2], EncodePath(logDirectory() + "/afpsvc.log"));
    EXPECT_EQ(rows[0][3], "afpsvc.log");
    EXPECT_EQ(rows[0][4], "29");
    EXPECT_EQ(rows[1][1], "bgcolor=#ffffff");
    EXPECT_EQ(rows[1][2], EncodePath(logDirectory() + "/libhxm2afp.log"));
    EXPECT_EQ(rows[1][3], "libhxm2afp.log");

    HttpResponse serverLog = Fetch(base(), rows[0][2].str() + "?VIEW");
    EXPECT_EQ(serverLog.status, 200);
    EXPECT_EQ(serverLog.body, "afpsvcd: volume VOL1 mounted\n");
    HttpResponse pluginLog = Fetch(base(), rows[1][2].str() + "?VIEW");
    EXPECT_EQ(pluginLog.status, 200);
    EXPECT_NE(pluginLog.body.find("URL = /afplogs"), std::string::npos) << pluginLog.body;
}

// Both logs find their files again after rotation by renaming, and after
// the log folder is removed and made anew, within a second.
TEST_F(PluginLogsTest, BothLogsFollowTheirFilesWhenRemovedOrReplaced) {
    const std::string folder = logDirectory();
    WriteFile(folder + "/.keep", "");
    StartConsoleWith(HXM_PLUGIN_PATH, {"--access-log", folder + "/access.log"});
    const struct {
        const char *how;
        const char *commands;
    } changes[] = {
        {"renamed away",
         "mv F/access.log F/access.log.1 && mv F/libhxm2afp.log F/libhxm2afp.log.1"},
        {"folder made anew", "rm -rf F && mkdir F"},
    };
    for (const auto &change : changes) {
        ASSERT_EQ(Fetch(base(), "/afplogs").status, 200);
        std::string commands = std::regex_replace(change.commands, std::regex("F"), Quote(folder));
        ASSERT_EQ(system(commands.c_str()), 0) << commands;
        std::this_thread::sleep_for(std::chrono::milliseconds(1100));
        const std::string target =
            std::string("/afplogs-after-") + (change.how[0] == 'r' ? "r" : "f");
        ASSERT_EQ(Fetch(base(), target).status, 200);
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        for (const char *log : {"/access.log", "/libhxm2afp.log"})
            EXPECT_NE(ReadFile(folder + log).find(target), std::string::npos)
                << change.how << ": " << log;
    }
}

TEST_F(PluginLogsTest, AboveInfoOnlyTheServerLogIsListed) {
    WriteFile(root() + "/opt/zentra/lib/libhxm2afp.conf", "LOG_LEVEL INFO\n");
    WriteFile(logDirectory() + "/afpsvc.log", std::string(1536, 'x'));
    StartConsole();
    HttpResponse page = Fetch(base(), "/afplogs");
    ASSERT_EQ(page.status, 200) << page.error;
    EXPECT_NE(page.body.find("afpsvc.log</a></td><td class=\"tablecol\" align=right>1 KB</td>"),
              std::string::npos)
        << page.body;
    EXPECT_EQ(page.body.find("libhxm2afp.log?VIEW"), std::string::npos);
}

struct HelpCase {
    const char *target;
    const char *title;
    const char *germanTitle;
};

const HelpCase kHelpCases[] = {
    {"/afpcons/help", "AFP Connections", "AFP-Verbindungen"},
    {"/afpcons/help/_info_", "AFP Connection Information", "AFP-Verbindungsinformationen"},
    {"/afpofm/help", "AFP Open File Management", "AFP-Verwaltung geöffneter Dateien"},
    {"/afpofm/help/help", "AFP Open File Information", "AFP-Informationen zur geöffneten Datei"},
    {"/afplogs/help", "AFP System Logs", "AFP-Systemprotokolle"},
};

TEST_F(PluginLogsTest, EveryHelpUrlAnswersWithItsPage) {
    StartConsole();
    for (const HelpCase &c : kHelpCases) {
        HttpResponse page = Fetch(base(), c.target);
        EXPECT_EQ(page.status, 200) << c.target << page.error;
        EXPECT_EQ(Between(page.body, "<TITLE>", "</TITLE>"), c.title) << c.target;
        EXPECT_NE(page.body.find("</BODY></HTML>"), std::string::npos) << c.target;
    }
}

TEST_F(PluginLogsTest, WithTheGermanCatalogueTheHelpPagesAreGerman) {
    ASSERT_NO_THROW(rootDirectory().InstallGermanCatalogue());
    // glibc ignores LANGUAGE under the plain C locale.
    ScopedVariable all("LC_ALL", "C.UTF-8");
    ScopedVariable language("LANGUAGE", "de");
    StartConsole();
    for (const HelpCase &c : kHelpCases) {
        HttpResponse page = Fetch(base(), c.target);
        EXPECT_EQ(page.status, 200) << c.target << page.error;
        EXPECT_EQ(Between(page.body, "<TITLE>", "</TITLE>"), c.germanTitle) << c.target;
    }
    HttpResponse logs = Fetch(base(), "/afplogs/help");
    EXPECT_NE(logs.body.find("<dd><b>1. afpsvcd.log: </b>Diese Datei enthält die Protokolle des "
                             "AFP-Servers (afpsvcd).</dd><br>\n"),
              std::string::npos)
        << logs.body;
    // The console's frame around the list page: its help link and home link.
    HttpResponse list = Fetch(base(), "/afplogs");
    EXPECT_NE(list.body.find("\">Hilfe</a>"), std::string::npos) << list.body;
    EXPECT_NE(list.body.find("<a href=\"/\">Startseite</a>"), std::string::npos) << list.body;
}

} // namespace
} // namespace hxm_test
