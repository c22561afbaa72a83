/*
 * What closing files reports: a file held by two connections, ticked on
 * both rows, closes once and is reported closed; what was done is said
 * beside what failed; a FILENAME value that names no file is named; a
 * ticked row names its file whole.
 */
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/pages/openfiles/openfiles_fixture.h"

namespace hxm_test {
namespace {

const std::string kShared = "/VOL1/shared.doc";

std::string Box(const std::string &path) {
    return "FILENAME=" + FormEncode("<filename>" + path + "</filename>");
}

/* The text of the element with this id ("" when the page has none). */
std::string Line(const std::string &body, const std::string &id) {
    const size_t start = body.find("id=\"" + id + "\"");
    if (start == std::string::npos)
        return "";
    const size_t open = body.find('>', start) + 1;
    return body.substr(open, body.find("</DIV>", open) - open);
}

TEST_F(OpenFilesPageTest, EachFileClosesOnceAndWhatWasDoneIsSaid) {
    struct Case {
        const char *what;
        const char *target;
        std::string body;
        std::vector<std::string> closed;
        const char *done;
        const char *failed;
    };
    const Case cases[] = {
        {"both rows of a shared file",
         "/afpofm/AFPCloseFiles/VOL1",
         "K_1_=on&" + Box(kShared) + "&" + Box(kShared) + "&" + Box("/VOL1/own.txt"),
         {kShared, "/VOL1/own.txt"},
         "Closed: 2 files",
         ""},
        {"both rows on the find page",
         "/afpofm/AFPFindFiles/VolumeName/AFPCloseFiles",
         "FINDNAME=doc&FINDUSER=&" + Box(kShared) + "&" + Box(kShared),
         {kShared},
         "Closed: 1 file",
         ""},
        {"values that name no file",
         "/afpofm/AFPCloseFiles/VOL1",
         "FILENAME=" + FormEncode("/VOL1/own.txt") +
             "&FILENAME=" + FormEncode("<filename>/VOL1/own.txt") + "&" + Box(kShared),
         {kShared},
         "Closed: 1 file",
         "Files not closed: not understood: /VOL1/own.txt, not understood: "
         "&lt;filename&gt;/VOL1/own.txt"},
    };
    for (const Case &c : cases) {
        scripted::Reset();
        scripted::StageVolumes({{"VOL1"}});
        scripted::StageOpenFiles(
            "VOL1", {{{"anna", 5, {kShared, "/VOL1/own.txt"}}, {"ben", 6, {kShared}}}});
        const hxm::Response page = Post(c.target, c.body);
        EXPECT_EQ(ClosedFiles(), c.closed) << c.what;
        EXPECT_EQ(Line(page.body, "actionDone"), c.done) << c.what;
        EXPECT_EQ(Line(page.body, "actionOutcome"), c.failed) << c.what;
    }
    EXPECT_NE(
        ReadFile(root_->LogFile()).find("failed 2: close file not understood: \"/VOL1/own.txt\""),
        std::string::npos)
        << ReadFile(root_->LogFile());
}

TEST_F(OpenFilesPageTest, ATickedRowClosesItsOwnFileWhateverItsLength) {
    // The list cuts the longer path to 511 bytes: the other file's whole path.
    const std::string cut = "/VOL1/" + std::string(505, 'p');
    const std::string longer = cut + "/and/more.doc";
    const auto stage = [&] {
        scripted::Reset();
        scripted::StageVolumes({{"VOL1"}});
        scripted::StageOpenFiles("VOL1", {{{"anna", 5, {longer, cut}}}});
    };
    stage();
    const std::vector<std::string> boxes = FileBoxValues(Get("/afpofm/FileName/VOL1").body);
    ASSERT_EQ(boxes.size(), 2u);
    const std::string expected[] = {cut, longer}; // the rows in path order
    for (size_t row = 0; row < 2; ++row) {
        stage();
        Post("/afpofm/AFPCloseFiles/VOL1", "FILENAME=" + FormEncode(boxes[row]));
        EXPECT_EQ(ClosedFiles(), std::vector<std::string>{expected[row]}) << boxes[row];
    }
}

} // namespace
} // namespace hxm_test
