/*
 * The open-file pages byte for byte where their text is fixed: the volume
 * selection page, the list page in each sort, stripes, the selected option,
 * the empty table, the volume failure, the file-details page and the sample
 * file information page.
 */
#include <gtest/gtest.h>

#include <string>

#include <zentra/hxm_host.h>

#include "tests/pages/openfiles/openfiles_fixture.h"

namespace hxm_test {
namespace {

const std::string kSelectorStart =
    "<table><tr><td><form><DIV CLASS=NORMAL><label>AFP Volume : </label></td><td><select "
    "id=\"volumes\" style=\"width: 147px; \" "
    "onchange=\"volumeChanged(document.getElementById('volumes'));\"><option>Select a "
    "volume</option>";
const std::string kSelectorEnd = "</select></div></form></tr></td>\n";

const std::string kEmptyTable =
    "<FORM><table border=0 style=\"width: 850px;\" ><tr class=tablehead><TD align=center "
    "colspan=4>List of Open Files</TD></tr>";

/* The heading row of the volume selection page: links without volume or sort. */
const std::string kPlainHeading =
    "<TR class=tablesubhead NOWRAP><TD align=center><input type=\"checkbox\" NAME=K_1_ id=noid "
    "onchange='checkAndUncheckAll(this)'></TD><TD align=center>Connection<A HREF=/afpofm><img "
    "id=connNum border=0 alt='Sort By Connection' src='/opt/zentra/hxm/sortdown.png'></a></TD><TD "
    "align=center>Username <A HREF=/afpofm><img id=usrName border=0 alt='Sort By Username'   "
    "src='/opt/zentra/hxm/sortdown.png' ></a></TD><TD align=center>File Path <A "
    "HREF=/afpofm/><img id=fileName border=0 alt='Sort By File Path' "
    "src='/opt/zentra/hxm/sortdown.png' ></a></TD></TR>";

std::string Options(const std::string &selected) {
    std::string out;
    for (const char *volume : {"VOL1", "vol1", "Data"}) {
        if (selected == volume)
            out +=
                std::string("<option selected value=\"") + volume + "\" >" + volume + "</option>";
        else
            out += std::string("<option value=\"") + volume + "\">" + volume + "</option>";
    }
    return out;
}

/* The three sortable heading cells of a list page, `sorted` marking one. */
std::string SortCells(int sorted, const std::string &volume) {
    auto image = [sorted](int column) { return column == sorted ? "sorted.png" : "sortdown.png"; };
    return "<TD align=center>Connection<A HREF=/afpofm/ConnectionNumber/" + volume +
           " onclick=\"return sortedFilterFormSubmit(this);\"><img id=connNum border=0 alt='Sort "
           "By Connection' src='/opt/zentra/hxm/" +
           image(1) + "'></a></TD><TD align=center>Username <A HREF=/afpofm/UserName/" + volume +
           " onclick=\"return sortedFilterFormSubmit(this);\"><img id=usrName border=0 alt='Sort "
           "By Username'   src='/opt/zentra/hxm/" +
           image(2) + "' ></a></TD><TD align=center>File Path <A HREF=/afpofm/FileName/" + volume +
           " onclick=\"return sortedFilterFormSubmit(this);\"><img id=fileName border=0 "
           "alt='Sort By File Path' src='/opt/zentra/hxm/" +
           image(3) + "' ></a></TD></TR>";
}

/* Everything of a list page below the selector up to the table's rows. */
std::string ListTop(const std::string &volume, const std::string &sortSpelling,
                    const std::string &filter) {
    return "<tr><td><FORM method=\"post\" action=\"\" id=\"connectionForm\"><input "
           "name=\"FILTER\" id=\"filter\" type=hidden value=\"" +
           filter + "\"/><input name=\"volume\" id=\"volume\" type=hidden value=\"" + volume +
           "\"/><input name=\"sorttype\" id=\"sorttype\" type=hidden value=\"" + sortSpelling +
           "\"/></form><FORM method=\"post\" action=\"/afpofm/" + volume +
           "\" id=\"filterForm\"><label>Filter : </label></td><td><input name=\"FILTER\" "
           "id=\"filter\" type=\"text\" title=\"eg: *.doc\" placeholder=\"eg: *.doc\" value=\"" +
           filter +
           "\" style=\"width: 147px; \" /> <input type='submit' value=\"Apply\" /> "
           "</form></td></tr></table>\n<FORM METHOD=POST action=\"/afpofm/AFPCloseFiles/" +
           volume +
           "\" onsubmit=\"javascript:return closeFiles(this)\" ><table border=0 style=\"width: "
           "850px;\" ><tr class=tablehead><TD align=center colspan=4>List of Open Files</TD></tr>";
}

const std::string kListEnd =
    "</table><table><tr><td align=left><input type=\"button\" value=\"Refresh\" "
    "onclick=\"filterFormSubmit()\"></td><td align=left><input type=\"submit\" value=\"Close "
    "Files \"></td></tr></table></FORM></BODY></HTML>\n";

std::string Row(bool light, const std::string &path, unsigned connection, const char *hex,
                const std::string &user) {
    return std::string("<TR ") + (light ? pzSTRIPE_LIGHT : pzSTRIPE_DARK) +
           "><TD align=center><input type=\"checkbox\" NAME=\"FILENAME\" "
           "VALUE=\"<filename>" +
           path + "</filename>\" id=cb1></TD><td class=\"tablecol\" align=center>" +
           std::to_string(connection) +
           "</td><td class=\"tablecol\" align=center><a href=\"/afpcons/ConnectionNumber/" + hex +
           "\" onclick=\"return connectionFormSubmit(this);\" >" + user +
           "</a></td><td class=\"tablecol\" align=left>" + path + "</td></TR>";
}

class OpenFilesPagesTest : public OpenFilesPageTest {
  protected:
    void SetUp() override {
        OpenFilesPageTest::SetUp();
        scripted::StageVolumes({{"VOL1", "vol1", "Data"}});
        scripted::StageOpenFiles("VOL1", {{{"bob", 26, {"/d/b.doc", "/d/a.txt"}},
                                           {"Alice", 3, {"/d/c.doc", "/a/b.doc"}}}});
    }
};

TEST_F(OpenFilesPagesTest, VolumeSelectionPage) {
    const hxm::Response response = Get("/afpofm");
    EXPECT_EQ(response.status, 200);
    EXPECT_EQ(response.methodResult, 200);
    EXPECT_EQ(
        ListBody(response.body),
        kSelectorStart + Options("") + kSelectorEnd +
            "<tr><td><FORM method=\"post\" action=\"/afpofm\" id=\"filterForm\"><label>Filter "
            ": </label></td><td><input name=\"FILTER\" id=\"filter\" type=\"text\" title=\"eg: "
            "*.doc\" placeholder=\"eg: *.doc\" style=\"width: 147px; \" /> <input "
            "type='submit' value=\"Apply\" /> </form><td></tr>\n" +
            kEmptyTable + kPlainHeading + "</table></FORM></BODY></HTML>\n");
    // The frame: the page's title and the help link of the area.
    EXPECT_NE(response.body.find("AFP Open File Management"), std::string::npos);
    EXPECT_NE(response.body.find("/afpofm/help"), std::string::npos);
    EXPECT_NE(response.body.find("function volumeChanged(selobj)"), std::string::npos);
}

TEST_F(OpenFilesPagesTest, ListPageInEachSort) {
    const std::string rowsBy[] = {
        // By connection: 3 before 26, each connection's files reversed.
        Row(true, "/a/b.doc", 3, "00000003", "Alice") +
            Row(false, "/d/c.doc", 3, "00000003", "Alice") +
            Row(true, "/d/a.txt", 26, "0000001A", "bob") +
            Row(false, "/d/b.doc", 26, "0000001A", "bob"),
        // By user: "Alice" before "bob".
        Row(true, "/a/b.doc", 3, "00000003", "Alice") +
            Row(false, "/d/c.doc", 3, "00000003", "Alice") +
            Row(true, "/d/a.txt", 26, "0000001A", "bob") +
            Row(false, "/d/b.doc", 26, "0000001A", "bob"),
        // By path.
        Row(true, "/a/b.doc", 3, "00000003", "Alice") +
            Row(false, "/d/a.txt", 26, "0000001A", "bob") +
            Row(true, "/d/b.doc", 26, "0000001A", "bob") +
            Row(false, "/d/c.doc", 3, "00000003", "Alice"),
    };
    const char *spellings[] = {"ConnectionNumber", "UserName", "FileName"};
    for (int sort = 1; sort <= 3; ++sort) {
        const hxm::Response response = Get(std::string("/afpofm/") + spellings[sort - 1] + "/VOL1");
        EXPECT_EQ(response.status, 200);
        const std::string expected =
            kSelectorStart + Options("VOL1") + kSelectorEnd +
            ListTop("VOL1", spellings[sort - 1], "") +
            "<TR class=tablesubhead NOWRAP><TD align=center><input type=\"checkbox\" NAME=K_1_ "
            "id=noid onclick='checkAndUncheckAll(this)'></TD>" +
            SortCells(sort, "VOL1") + rowsBy[sort - 1] + kListEnd;
        EXPECT_EQ(ListBody(response.body), expected) << spellings[sort - 1];
    }
    // Without a sort keyword the list is by connection number.
    EXPECT_EQ(ListBody(Get("/afpofm/VOL1").body),
              ListBody(Get("/afpofm/ConnectionNumber/VOL1").body));
}

TEST_F(OpenFilesPagesTest, SelectedOptionNeedsTheExactCase) {
    const std::string body = ListBody(Get("/afpofm/vol1").body);
    EXPECT_EQ(body.substr(0, kSelectorStart.size() + Options("vol1").size()),
              kSelectorStart + Options("vol1"));
    EXPECT_EQ(body.find("<option selected value=\"VOL1\""), std::string::npos);
}

TEST_F(OpenFilesPagesTest, EmptyListShowsNoItems) {
    // A volume the library does not list, with no open files.
    const hxm::Response response = Get("/afpofm/FileName/Elsewhere");
    EXPECT_EQ(ListBody(response.body),
              kSelectorStart + Options("") + kSelectorEnd + ListTop("Elsewhere", "FileName", "") +
                  "<TR class=tablesubhead NOWRAP><TD align=center><input type=\"checkbox\" "
                  "NAME=K_1_ id=noid></TD>" +
                  SortCells(3, "Elsewhere") +
                  "<tr><td align=left colspan=4 style=\"font-size:13px;color:black;\">No "
                  "items.</td></tr>" +
                  kListEnd);
}

TEST_F(OpenFilesPagesTest, FilterKeepsMatchingRowsAndFillsTheBoxes) {
    const std::string body = ListBody(Post("/afpofm/UserName/VOL1", "FILTER=*.doc").body);
    EXPECT_EQ(body, kSelectorStart + Options("VOL1") + kSelectorEnd +
                        ListTop("VOL1", "UserName", "*.doc") +
                        "<TR class=tablesubhead NOWRAP><TD align=center><input type=\"checkbox\" "
                        "NAME=K_1_ id=noid onclick='checkAndUncheckAll(this)'></TD>" +
                        SortCells(2, "VOL1") + Row(true, "/a/b.doc", 3, "00000003", "Alice") +
                        Row(false, "/d/c.doc", 3, "00000003", "Alice") +
                        Row(true, "/d/b.doc", 26, "0000001A", "bob") + kListEnd);
}

TEST_F(OpenFilesPagesTest, VolumeFailureEndsThePageAfterTheSelector) {
    scripted::VolumeList failing{{"VOL1"}};
    failing.status = AFPSTAT_ERR_STORE;
    scripted::StageVolumes(failing);
    const hxm::Response list = Get("/afpofm/VOL1");
    EXPECT_EQ(list.status, 200);
    const std::string failure =
        "<tr><td colspan=2 id=\"listFailure\" style=\"font-size:13px;color:#b00000;\">The AFP "
        "monitoring service could not be read (status 1: the monitoring store is missing, "
        "unreadable or busy).</td></tr>\n";
    EXPECT_EQ(ListBody(list.body),
              kSelectorStart + kSelectorEnd + failure + "</table></BODY></HTML>\n");
    // The volume selection page goes on after an empty selector.
    const std::string selection = ListBody(Get("/afpofm").body);
    const std::string start = kSelectorStart + kSelectorEnd + failure;
    EXPECT_EQ(selection.substr(0, start.size()), start);
    EXPECT_NE(selection.find("</BODY></HTML>\n"), std::string::npos);
}

TEST_F(OpenFilesPagesTest, VolumeCountLimitsTheSelector) {
    auto startsWith = [](const std::string &text, const std::string &start) {
        return text.compare(0, start.size(), start) == 0;
    };
    scripted::VolumeList shorter{{"A", "B"}};
    shorter.count = 1;
    scripted::StageVolumes(shorter);
    EXPECT_TRUE(
        startsWith(ListBody(Get("/afpofm/A").body),
                   kSelectorStart + "<option selected value=\"A\" >A</option>" + kSelectorEnd));
    scripted::VolumeList longer{{"A", "B"}};
    longer.count = 3;
    scripted::StageVolumes(longer);
    EXPECT_TRUE(startsWith(ListBody(Get("/afpofm").body),
                           kSelectorStart +
                               "<option value=\"A\">A</option><option value=\"B\">B</option>" +
                               kSelectorEnd));
}

TEST_F(OpenFilesPagesTest, FileDetailsPage) {
    const std::string expected =
        kSelectorStart + Options("") + kSelectorEnd +
        "<tr><td><FORM method=\"post\" action=\"/afpofm\" id=\"filterForm\"><label>Filter : "
        "</label></td><td><input name=\"FILTER\" id=\"filter\" type=\"text\" title=\"eg: *.doc\" "
        "placeholder=\"eg: *.doc\" style=\"width: 147px; \" /> <input type='submit' "
        "value=\"Apply\" /> </form></td></tr></table>\n" +
        kEmptyTable +
        "<TR class=tablesubhead NOWRAP><TD align=center><input type=\"checkbox\" NAME=K_1_ id=noid "
        "onchange='checkAndUncheckAll(this)'></TD><TD align=center>Connection<A "
        "HREF=/afpofm><img id=connNum border=0 alt='Sort By Connection' "
        "src='/opt/zentra/hxm/sortdown.png' ></a></TD><TD align=center>Username <A "
        "HREF=/afpofm><img id=usrName border=0 alt='Sort By Username'   "
        "src='/opt/zentra/hxm/sortdown.png' ></a></TD><TD align=center>File Path <A "
        "HREF=/afpofm/><img id=fileName border=0 alt='Sort By File Path' "
        "src='/opt/zentra/hxm/sortdown.png' ></a></TD></TR><tr><td align=left><input "
        "onclick=\"closeFiles(this)\" name=\"closeallcheckfiles\" type='button' "
        "value=\"Close\"></td></tr></table></FORM></BODY></HTML>\n";
    const hxm::Response withFile = Get("/afpofm/AFPBrowseFile/VOL1/dir/a.txt");
    EXPECT_EQ(withFile.status, 200);
    EXPECT_EQ(ListBody(withFile.body), expected);
    EXPECT_EQ(ListBody(Get("/afpofm/AFPBrowseFile/VOL1").body), expected);
    // No open-file list is asked for.
    for (const std::string &name : CallNames())
        EXPECT_NE(name, "Ext_ListVolFileDetails");
}

/* A service method that writes the sample page, registered for one test. */
using SamplePage = int (*)(void *, int, int, unsigned long);
SamplePage gSamplePage = nullptr;
int ServeSample(void *request, unsigned int, unsigned int, unsigned int) {
    return gSamplePage(request, 1, 2, 3);
}

TEST_F(OpenFilesPagesTest, SampleFileInformationPage) {
    gSamplePage = Export<SamplePage>("_Z22generate_fileinfo_pagePviim");
    HxmServiceGroup group{0, 0, "Tests"};
    int code = 0;
    ASSERT_NE(
        RegisterServiceMethodEx("Sample", "ofmsample", 9, &group, 0, 0, ServeSample, 0, &code), 0);
    const hxm::Response response = Get("/ofmsample");
    int removed = 0;
    DeRegisterServiceMethod("Sample", "ofmsample", 9, ServeSample, 0, &removed);
    EXPECT_EQ(response.status, 200);
    const std::string start = "<DIV CLASS=NORMAL><TABLE BORDER=0";
    const size_t at = response.body.find(start);
    ASSERT_NE(at, std::string::npos);
    EXPECT_EQ(response.body.substr(at),
              "<DIV CLASS=NORMAL><TABLE BORDER=0 CELLPADDING=2 bgcolor=#ffffff><tr><td><P><A "
              "HREF=/afpofm>[Back to open file management]</A><BR><BR><DL><DT><B>File "
              "information</B>\n<DD><TABLE border=0 cellpadding=3><TR bgcolor=#ffffff><TH "
              "ALIGN=LEFT>Owner</TH><TD>admin.services.zentra</TD></TR><TR bgcolor=#efeee9><TH "
              "ALIGN=LEFT>Last modified date and time</TH><TD>Wed Oct 10 16:03:54 "
              "2012</TD></TR><TR bgcolor=#efeee9><TH ALIGN=LEFT>Effective "
              "rights</TH><TD>SRWCEMFA</TD></TR><TR bgcolor=#ffffff><TH ALIGN=LEFT>Inherited "
              "rights filter</TH><TD>SRWCEMFA</TD></TR><TR bgcolor=#efeee9><TH ALIGN=LEFT>Disk "
              "space in use</TH><TD>9,337 Bytes</TD></TR>\t</TABLE><DT><FORM METHOD=\"POST\" "
              "ACTION=\"/kdpdfunction/DELETEFILE_CONFIRM\"><INPUT TYPE=\"submit\" VALUE=\"Close "
              "File\"></FORM></DT></table></dl></BODY></HTML>\n");
    EXPECT_NE(response.body.find("File Information"), std::string::npos);
}

TEST_F(OpenFilesPagesTest, ScriptWritesItsFixedLinesAndEscapedMessages) {
    const std::string body = Get("/afpofm").body;
    for (const char *line :
         {"<SCRIPT type=\"text/javascript\">\n<!--\n",
          "    var msg = 'Are you sure you want to clear connection  '\n",
          "      checkboxes = document.getElementsByName('FILENAME');\n",
          "      for(var i=0; i<count; i++) { if (checkboxes[i].id != 'noid') \n",
          "document.getElementById(\"filterForm\").submit();\n",
          "var form = document.getElementById(\"connectionForm\");\n",
          "var form = document.getElementById(\"filterForm\");\n", "form.action=url.href;\n",
          "var volname=selobj.options[selobj.selectedIndex].text;\n",
          "                     var msg = 'Closing a file will close the file for all connections. "
          "Do you want to continue? '\n  \n",
          "      var msg = 'No file selected. Please select the file(s), then click Close "
          "Files.'\n  \n",
          "}\n\n//-->"}) {
        EXPECT_NE(body.find(line), std::string::npos) << line;
    }
    // Three blocks, each closed.
    size_t blocks = 0;
    for (size_t at = body.find("//--></SCRIPT>\n"); at != std::string::npos;
         at = body.find("//--></SCRIPT>\n", at + 1))
        ++blocks;
    EXPECT_EQ(blocks, 3u);
}

TEST_F(OpenFilesPagesTest, ExportedHelpersOfTheListPage) {
    auto spelling = Export<const char *(*)(AfpSortType)>("_Z17getSortTypeStringi");
    EXPECT_STREQ(spelling(1), "ConnectionNumber");
    EXPECT_STREQ(spelling(2), "UserName");
    EXPECT_STREQ(spelling(3), "FileName");
    EXPECT_STREQ(spelling(0), "ConnectionNumber");
    EXPECT_STREQ(spelling(4), "ConnectionNumber");
    EXPECT_STREQ(spelling(-1), "ConnectionNumber");
    auto details = Export<int (*)(const char *)>("_Z18FillAFPFileDetailsPKc");
    EXPECT_EQ(details("/x"), 0);
    EXPECT_EQ(details(nullptr), 0);
}

TEST_F(OpenFilesPagesTest, FourRowsAlternateStripesStartingLight) {
    scripted::StageOpenFiles("VOL1", {{{"u", 1, {"/1", "/2", "/3", "/4"}}}});
    const std::string body = Get("/afpofm/FileName/VOL1").body;
    std::vector<std::string> stripes;
    for (size_t at = body.find("<TR class=\"stripe"); at != std::string::npos;
         at = body.find("<TR class=\"stripe", at + 1))
        stripes.push_back(body.substr(at + 4, body.find('>', at) - at - 4));
    EXPECT_EQ(stripes, (std::vector<std::string>{pzSTRIPE_LIGHT, pzSTRIPE_DARK, pzSTRIPE_LIGHT,
                                                 pzSTRIPE_DARK}));
}

} // namespace
} // namespace hxm_test
