/*
 * The open-file pages over HTTP: hxm-console runs with the real plug-in and
 * the real SQLite monitoring library under a fresh root, the store filled
 * with the afpstat command. Lists, filters and closes files as a browser's
 * forms post them, and reads the store back.
 */
#include <gtest/gtest.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "tests/e2e/afpstat_console_fixture.h"
#include "tests/support/page_text.h"

namespace hxm_test {
namespace {

class OpenFilesHttpTest : public AfpstatConsoleTest {};

TEST_F(OpenFilesHttpTest, ListsFiltersAndClosesFilesInTheStore) {
    Afpstat({"init"});
    Afpstat({"volume", "VOL1"});
    Afpstat({"volume", "VOL2"});
    Afpstat({"connect", "bob", "10.0.0.2", "--number", "7"});
    Afpstat({"connect", "carol", "10.0.0.3", "--number", "12"});
    const std::string odd = "/VOL1/c \"q\" & <x> 50% +1.doc";
    Afpstat({"open", "7", "VOL1", "/VOL1/a.doc"});
    Afpstat({"open", "7", "VOL1", "/VOL1/b.txt"});
    Afpstat({"open", "12", "VOL1", odd});
    Afpstat({"open", "12", "VOL2", "/VOL2/d.doc"});
    StartConsole();

    HttpResponse selection = Fetch(base(), "/afpofm");
    ASSERT_EQ(selection.status, 200) << selection.error;
    EXPECT_NE(selection.body.find("<option value=\"VOL1\">VOL1</option><option "
                                  "value=\"VOL2\">VOL2</option>"),
              std::string::npos);

    HttpResponse list = Fetch(base(), "/afpofm/FileName/VOL1");
    ASSERT_EQ(list.status, 200);
    EXPECT_EQ(FileBoxValues(list.body),
              (std::vector<std::string>{"<filename>/VOL1/a.doc</filename>",
                                        "<filename>/VOL1/b.txt</filename>",
                                        "<filename>" + odd + "</filename>"}));
    EXPECT_NE(list.body.find("<a href=\"/afpcons/ConnectionNumber/0000000C\""), std::string::npos);

    HttpResponse filtered = Post("/afpofm/FileName/VOL1", "FILTER=" + FormEncode("*.doc"));
    ASSERT_EQ(filtered.status, 200);
    EXPECT_EQ(FileBoxValues(filtered.body).size(), 2u);

    // Tick the odd file and b.txt and press Close Files.
    const std::string body = "FILENAME=" + FormEncode("<filename>" + odd + "</filename>") +
                             "&FILENAME=" + FormEncode("<filename>/VOL1/b.txt</filename>");
    // A browser is sent on with a 303; a client that does not follow gets the page.
    HttpResponse closed = Post("/afpofm/AFPCloseFiles/VOL1", body);
    ASSERT_EQ(closed.status, 303);
    EXPECT_EQ(FileBoxValues(closed.body),
              std::vector<std::string>{"<filename>/VOL1/a.doc</filename>"});
    const std::string store = Afpstat({"list", "--json"});
    EXPECT_EQ(store.find("b.txt"), std::string::npos) << store;
    EXPECT_EQ(store.find("50%"), std::string::npos) << store;
    EXPECT_NE(store.find("/VOL1/a.doc"), std::string::npos) << store;
    EXPECT_NE(store.find("/VOL2/d.doc"), std::string::npos) << store;
}

TEST_F(OpenFilesHttpTest, HelpAndFileDetailsPages) {
    Afpstat({"init"});
    Afpstat({"volume", "VOL1"});
    StartConsole();
    HttpResponse help = Fetch(base(), "/afpofm/help");
    EXPECT_EQ(help.status, 200);
    EXPECT_NE(help.body.find("AFP Open File Management"), std::string::npos);
    HttpResponse details = Fetch(base(), "/afpofm/AFPBrowseFile/VOL1/dir/a.txt");
    EXPECT_EQ(details.status, 200);
    EXPECT_NE(details.body.find("name=\"closeallcheckfiles\""), std::string::npos);
    HttpResponse bad = Post("/afpofm/VOL1/extra", "x=1");
    EXPECT_EQ(bad.status, 200);
    EXPECT_NE(bad.body.find("Bad Http request"), std::string::npos);
}

} // namespace
} // namespace hxm_test
