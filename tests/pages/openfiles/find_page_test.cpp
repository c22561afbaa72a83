/*
 * The find page: what a name and a user find across volumes and in which
 * order, hostile values escaped on the way out and intact on the way back,
 * closing exactly the ticked files, and the page's own failures.
 */
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/pages/openfiles/openfiles_fixture.h"

namespace hxm_test {
namespace {

const std::string kHostilePath = "/VOL2/a\"<x>&budget.doc";
const std::string kHostileUser = "<b>eve</b>";

class FindPageTest : public OpenFilesPageTest {
  protected:
    void Stage() {
        scripted::StageVolumes({{"VOL1", "<VOL2>", "VOL3"}});
        scripted::StageOpenFiles(
            "VOL1", {{{"Alice", 5, {"/VOL1/Finance/Budget 2024.xlsx", "/VOL1/notes.txt"}}}});
        scripted::StageOpenFiles("<VOL2>",
                                 {{{"bob", 9, {"/VOL2/budget.xlsx", "/VOL2/budget/old.doc"}},
                                   {kHostileUser, 3, {kHostilePath}}}});
    }
};

/* The paths between the tick boxes' markers, in page order. */
std::vector<std::string> Paths(const std::string &body) {
    std::vector<std::string> paths;
    for (const std::string &value : FileBoxValues(body))
        paths.push_back(value.substr(10, value.size() - 21));
    return paths;
}

TEST_F(FindPageTest, FindsByPartsOfNameAndUserInTheAskedOrder) {
    struct Case {
        const char *target;
        std::string body;
        std::vector<std::string> paths;
    };
    const Case cases[] = {
        // By volume name by default ("<" sorts before "V"); a name is matched
        // against the last component.
        {"/afpofm/AFPFindFiles",
         "FINDNAME=budget",
         {"/VOL2/budget.xlsx", kHostilePath, "/VOL1/Finance/Budget 2024.xlsx"}},
        {"/afpofm/AFPFindFiles/FileName",
         "FINDNAME=" + FormEncode("BUD*.xlsx"),
         {"/VOL1/Finance/Budget 2024.xlsx", "/VOL2/budget.xlsx"}},
        {"/afpofm/AFPFindFiles", "FINDNAME=" + FormEncode("budget/"), {"/VOL2/budget/old.doc"}},
        {"/afpofm/AFPFindFiles", "FINDNAME=%3Fotes", {"/VOL1/notes.txt"}},
        {"/afpofm/AFPFindFiles/UserName", "FINDNAME=budget&FINDUSER=O", {"/VOL2/budget.xlsx"}},
        {"/afpofm/AFPFindFiles", "FINDUSER=EVE", {kHostilePath}},
        {"/afpofm/AFPFindFiles", "FINDNAME=nothing", {}},
        // Everything, by connection: equal numbers keep the walk's order; a
        // leading sort keyword of the lists works too.
        {"/afpofm/connectionnumber/AFPFindFiles",
         "",
         {kHostilePath, "/VOL1/Finance/Budget 2024.xlsx", "/VOL1/notes.txt", "/VOL2/budget.xlsx",
          "/VOL2/budget/old.doc"}},
    };
    for (const Case &c : cases) {
        scripted::Reset();
        Stage();
        const hxm::Response page = Post(c.target, c.body);
        ASSERT_EQ(page.status, 200) << c.target << " " << c.body;
        EXPECT_EQ(Paths(page.body), c.paths) << c.target << " " << c.body;
    }
}

TEST_F(FindPageTest, HostileValuesAreEscapedAndOnlyTickedFilesClose) {
    Stage();
    const std::string hostileName = "\"><script>x</script>";
    const hxm::Response page =
        Post("/afpofm/AFPFindFiles", "FINDNAME=&FINDUSER=" + FormEncode(kHostileUser));
    ASSERT_EQ(page.status, 200);
    for (const std::string &raw : {kHostilePath, kHostileUser, std::string("<VOL2>")})
        EXPECT_EQ(page.body.find(raw), std::string::npos) << raw;
    EXPECT_NE(page.body.find("&lt;b&gt;eve&lt;/b&gt;</a>"), std::string::npos);
    EXPECT_NE(page.body.find(">&lt;VOL2&gt;</td>"), std::string::npos);
    const hxm::Response echo = Post("/afpofm/AFPFindFiles", "FINDNAME=" + FormEncode(hostileName));
    EXPECT_EQ(echo.body.find(hostileName), std::string::npos);

    // Tick the one box; a criterion holding a marker closes nothing itself.
    scripted::Reset();
    Stage();
    const std::string close = "/afpofm/AFPFindFiles/VolumeName/AFPCloseFiles";
    ASSERT_NE(page.body.find("action=\"" + close + "\""), std::string::npos);
    const hxm::Response closed = Post(
        close, "FINDNAME=" + FormEncode("<filename>/VOL1/notes.txt</filename>") +
                   "&FINDUSER=eve&K_1_=on&FILENAME=" + FormEncode(FileBoxValues(page.body)[0]));
    ASSERT_EQ(closed.status, 303);
    EXPECT_EQ(ClosedFiles(), std::vector<std::string>{kHostilePath});
    EXPECT_EQ(scripted::LiveCount(), 0u);
}

// A browser posts a form's values back as UTF-8: a name that is not must
// travel in bytes the browser keeps, or nothing could close it.
TEST_F(FindPageTest, ANameThatIsNotUtf8TravelsEncodedAndCloses) {
    const std::string latin1 = "/VOL1/caf\xE9.doc";
    scripted::StageVolumes({{"VOL1"}});
    scripted::StageOpenFiles("VOL1", {{{"anna", 5, {latin1}}}});
    const hxm::Response page = Post("/afpofm/AFPFindFiles", "FINDNAME=caf");
    ASSERT_EQ(FileBoxValues(page.body).size(), 1u);
    const std::string value = FileBoxValues(page.body)[0];
    for (char byte : value)
        EXPECT_LT(static_cast<unsigned char>(byte), 0x80) << value;
    scripted::Reset();
    scripted::StageVolumes({{"VOL1"}});
    scripted::StageOpenFiles("VOL1", {{{"anna", 5, {latin1}}}});
    Post("/afpofm/AFPFindFiles/VolumeName/AFPCloseFiles",
         "FINDNAME=caf&K_1_=on&FILENAME=" + FormEncode(value));
    EXPECT_EQ(ClosedFiles(), std::vector<std::string>{latin1});
}

TEST_F(FindPageTest, RefusesWhatItCannotRead) {
    struct Case {
        const char *target;
        std::string body;
        const char *shown;
        bool searched;
    };
    const Case cases[] = {
        {"/afpofm/AFPFindFiles", "FINDNAME=" + std::string(256, 'a'), "id=\"findFailure\"", false},
        {"/afpofm/AFPFindFiles", "FINDUSER=" + std::string(800, 'a'), "id=\"findFailure\"", false},
        {"/afpofm/AFPFindFiles", "FINDNAME=" + std::string(255, 'a'), "No items.", true},
        {"/afpofm/AFPFindFiles/Bogus", "", "Bad Http request", false},
        {"/afpofm/AFPFindFiles/AFPCloseFiles/FileName", "", "Bad Http request", false},
    };
    for (const Case &c : cases) {
        scripted::Reset();
        Stage();
        const hxm::Response page = Post(c.target, c.body);
        EXPECT_EQ(page.status, 200) << c.target;
        EXPECT_NE(page.body.find(c.shown), std::string::npos) << c.target << " " << c.body.size();
        EXPECT_EQ(!scripted::Calls().empty(), c.searched) << c.target << " " << c.body.size();
    }
}

} // namespace
} // namespace hxm_test
