/*
 * The "PATH?VIEW" log viewer: files of the log directory only, whatever
 * links and dot segments the path holds.
 */
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "tests/e2e/console_test_fixture.h"

namespace hxm_test {
namespace {

class LogViewTest : public ConsoleTest {
  protected:
    void SetUp() override {
        WriteFile(logDirectory() + "/afpsvc.log", "line one\nline <two> & \"three\"\n");
        WriteFile(root() + "/secret.txt", "not for viewing\n");
        WriteFile(logDirectory() + "-other/afpsvc.log", "not for viewing\n");
        mkdir((logDirectory() + "/archive").c_str(), 0755);
        WriteFile(logDirectory() + "/archive/old.log", "archived\n");
        ASSERT_EQ(
            symlink((root() + "/secret.txt").c_str(), (logDirectory() + "/escape.log").c_str()), 0);
        ASSERT_EQ(symlink("afpsvc.log", (logDirectory() + "/current.log").c_str()), 0);
        ASSERT_EQ(mkfifo((logDirectory() + "/fifo.log").c_str(), 0644), 0);
        StartConsole();
    }

    HttpResponse View(const std::string &path) { return Fetch(base(), EncodePath(path) + "?VIEW"); }
};

TEST_F(LogViewTest, ServesALogFileAsPlainText) {
    HttpResponse response = View(logDirectory() + "/afpsvc.log");
    ASSERT_EQ(response.status, 200) << response.error;
    EXPECT_EQ(response.Header("content-type"), "text/plain");
    EXPECT_EQ(response.Header("x-content-type-options"), "nosniff");
    EXPECT_EQ(response.body, "line one\nline <two> & \"three\"\n");
}

TEST_F(LogViewTest, ServesFilesInsideThroughLinksAndSubfolders) {
    EXPECT_EQ(View(logDirectory() + "/current.log").body, "line one\nline <two> & \"three\"\n");
    EXPECT_EQ(View(logDirectory() + "/archive/old.log").body, "archived\n");
    EXPECT_EQ(View(logDirectory() + "/archive/../afpsvc.log").status, 200);
    EXPECT_EQ(View(logDirectory() + "//afpsvc.log").status, 200);
}

TEST_F(LogViewTest, ServesANameThatNeedsEncoding) {
    WriteFile(logDirectory() + "/with space & %.log", "odd name\n");
    EXPECT_EQ(View(logDirectory() + "/with space & %.log").body, "odd name\n");
}

TEST_F(LogViewTest, RefusesEverythingOutsideTheLogDirectory) {
    const std::string refused[] = {
        logDirectory() + "/../../../../secret.txt", // dot segments leading out
        logDirectory() + "/escape.log",             // a link pointing out
        root() + "/secret.txt",                     // plainly outside
        "/etc/passwd",
        logDirectory(), // the directory itself
        logDirectory() + "/",
        logDirectory() + "/archive", // a directory inside
        logDirectory() + "/missing.log",
        logDirectory() + "/fifo.log",         // not a regular file; must not block either
        logDirectory() + "-other/afpsvc.log", // a sibling sharing the prefix
    };
    for (const std::string &path : refused) {
        HttpResponse response = View(path);
        EXPECT_EQ(response.status, 404) << path;
        EXPECT_EQ(response.body.find("not for viewing"), std::string::npos) << path;
    }
}

TEST_F(LogViewTest, RefusesAPathWithANul) {
    HttpResponse response = Fetch(base(), EncodePath(logDirectory()) + "/afpsvc.log%00.txt?VIEW");
    EXPECT_EQ(response.status, 400);
}

TEST_F(LogViewTest, StreamsALargeFileWhole) {
    std::string large;
    for (int i = 0; large.size() < size_t{3} * 1024 * 1024; ++i)
        large += "log line number " + std::to_string(i) + "\n";
    WriteFile(logDirectory() + "/large.log", large);
    HttpResponse response = View(logDirectory() + "/large.log");
    ASSERT_EQ(response.status, 200) << response.error;
    EXPECT_EQ(response.body.size(), large.size());
    EXPECT_TRUE(response.body == large);
}

// The log area's own rule, whatever the path: its decline bits get nothing
// (404), a word without both 0x1 and 0x8 is refused.
TEST_F(LogViewTest, ServesOnlyFlagWordsTheLogAreaAnswers) {
    const struct {
        const char *flags;
        long status;
    } cases[] = {
        {"0x0", 403}, {"0x8", 403}, {"0x1f", 200}, {"0x40000009", 404}, {"0x80000009", 404}};
    for (const auto &c : cases) {
        StopConsole();
        StartConsole({"--access", c.flags});
        EXPECT_EQ(View(logDirectory() + "/afpsvc.log").status, c.status) << c.flags;
    }
}

TEST_F(LogViewTest, OnlyReadsFiles) {
    HttpRequest request;
    request.method = "POST";
    request.target = EncodePath(logDirectory() + "/afpsvc.log") + "?VIEW";
    request.body = "x=1";
    EXPECT_EQ(Fetch(base(), request).status, 405);
}

} // namespace
} // namespace hxm_test
