/*
 * The configuration reader, ConfigFileExists and ReadConfigFileValue, called
 * in the loaded plug-in: result codes, sizes, comments, first match, and the
 * 511-character pieces lines are read in.
 */
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <string>

#include "tests/support/plugin_fixture.h"

namespace hxm_test {
namespace {

using ExistsFunction = int (*)(const char *, int *);
using ReadFunction = int (*)(const char *, const char *, char *, int *, const char *);

class ConfigReader : public SuitePluginTest<> {
  protected:
    static void SetUpTestSuite() {
        SuitePluginTest::SetUpTestSuite();
        exists_ = plugin_->Function<ExistsFunction>("_Z16ConfigFileExistsPKcPi");
        read_ = plugin_->Function<ReadFunction>("_Z19ReadConfigFileValuePKcS0_PcPiS0_");
    }
    void SetUp() override {
        ASSERT_NE(exists_, nullptr);
        ASSERT_NE(read_, nullptr);
    }

    std::string File(const std::string &name) const { return root_->path() + "/" + name; }

    static inline ExistsFunction exists_ = nullptr;
    static inline ReadFunction read_ = nullptr;
};

struct ReadCase {
    const char *name;
    std::string content;
    const char *key;
    int size;
    const char *defaultValue;
    int result;
    std::string value; // what the buffer holds afterwards ("untouched" when unchanged)
    int sizeAfter;
};

const std::string kUntouched = "untouched";

const ReadCase kReadCases[] = {
    {"tab between key and value", "LOG_LEVEL\tDEBUG\n", "LOG_LEVEL", 64, "WARNING", 0, "DEBUG", 64},
    {"equals sign joins one word", "LOG_LEVEL=DEBUG\n", "LOG_LEVEL", 64, "WARNING", 0, "WARNING",
     64},
    {"no match, no default", "LOG_LEVEL=DEBUG\n", "LOG_LEVEL", 64, nullptr, 61, kUntouched, 64},
    {"hash comment without blank", "#LOG_LEVEL DEBUG\n", "LOG_LEVEL", 64, "W", 0, "W", 64},
    {"semicolon comment", ";LOG_LEVEL DEBUG\n", "LOG_LEVEL", 64, "W", 0, "W", 64},
    {"comment key is the hash", "# LOG_LEVEL DEBUG\n", "#", 64, "W", 0, "W", 64},
    {"keys compare with case", "log_level DEBUG\n", "LOG_LEVEL", 64, "W", 0, "W", 64},
    {"first match wins", "LOG_LEVEL INFO\nLOG_LEVEL DEBUG\n", "LOG_LEVEL", 64, "W", 0, "INFO", 64},
    {"one word is no pair", "LOG_LEVEL\nLOG_LEVEL ERROR\n", "LOG_LEVEL", 64, "W", 0, "ERROR", 64},
    {"blanks around and words after", "   LOG_LEVEL   ERROR  and more\n", "LOG_LEVEL", 64, "W", 0,
     "ERROR", 64},
    {"carriage return is white space", "LOG_LEVEL DEBUG\r\n", "LOG_LEVEL", 64, "W", 0, "DEBUG", 64},
    {"last line without newline", "A 1\nLOG_LEVEL DEBUG", "LOG_LEVEL", 64, "W", 0, "DEBUG", 64},
    {"empty file gives the default", "", "LOG_LEVEL", 64, "WARNING", 0, "WARNING", 64},
    {"63 characters fit 64", "K " + std::string(63, 'v') + "\n", "K", 64, nullptr, 0,
     std::string(63, 'v'), 64},
    {"64 characters need 65", "K " + std::string(64, 'v') + "\n", "K", 64, nullptr, 90, kUntouched,
     65},
    {"an overlong default is refused, not copied", "", "K", 4, "WARNING", 90, kUntouched, 8},
    {"a zero size takes nothing", "K v\n", "K", 0, nullptr, 90, kUntouched, 2},
    // Lines are read in pieces of 511 characters, each a line of its own.
    {"second piece is a line", std::string(511, 'p') + "LOG_LEVEL DEBUG\n", "LOG_LEVEL", 64, "W", 0,
     "DEBUG", 64},
    {"piece ends in a blank", std::string(510, 'p') + " LOG_LEVEL DEBUG\n", "LOG_LEVEL", 64, "W", 0,
     "DEBUG", 64},
    {"value cut by the piece", "K " + std::string(600, 'v') + "\n", "K", 1024, nullptr, 0,
     std::string(509, 'v'), 1024},
    {"rest of a long line is read as a line", std::string(511, 'p') + "K tail\n", "K", 64, nullptr,
     0, "tail", 64},
};

TEST_F(ConfigReader, ReadsValuesAsTheFileSyntaxSays) {
    int index = 0;
    for (const ReadCase &c : kReadCases) {
        SCOPED_TRACE(c.name);
        std::string path = File("read-" + std::to_string(index++) + ".conf");
        WriteFile(path, c.content);
        char value[2048];
        std::snprintf(value, sizeof value, "%s", kUntouched.c_str());
        int size = c.size;
        EXPECT_EQ(read_(path.c_str(), c.key, value, &size, c.defaultValue), c.result);
        EXPECT_EQ(std::string(value), c.value);
        EXPECT_EQ(size, c.sizeAfter);
    }
}

TEST_F(ConfigReader, RefusesMissingArgumentsWith22) {
    std::string path = File("arguments.conf");
    WriteFile(path, "K v\n");
    char value[64] = "untouched";
    int size = sizeof value;
    EXPECT_EQ(read_(path.c_str(), nullptr, value, &size, "d"), 22);
    EXPECT_EQ(read_(nullptr, "K", value, &size, "d"), 22);
    EXPECT_EQ(read_(path.c_str(), "K", nullptr, &size, "d"), 22);
    EXPECT_EQ(read_(path.c_str(), "K", value, nullptr, "d"), 22);
    EXPECT_STREQ(value, "untouched");
    EXPECT_EQ(size, 64);
}

TEST_F(ConfigReader, UnopenableFileGives2AndAMissingOneIsCreated) {
    char value[64] = "untouched";
    int size = sizeof value;
    std::string inMissingFolder = File("no/such/folder/x.conf");
    EXPECT_EQ(read_(inMissingFolder.c_str(), "K", value, &size, "d"), 2);
    EXPECT_STREQ(value, "untouched");

    // Opened for appending and reading, a missing file comes into being empty.
    std::string missing = File("created.conf");
    EXPECT_EQ(read_(missing.c_str(), "K", value, &size, "default"), 0);
    EXPECT_STREQ(value, "default");
    struct stat status;
    ASSERT_EQ(stat(missing.c_str(), &status), 0);
    EXPECT_EQ(status.st_size, 0);
}

TEST_F(ConfigReader, ConfigFileExistsNeedsAFileOpenForUpdate) {
    std::string present = File("present.conf");
    WriteFile(present, "K v\n");
    int flag = 7;
    EXPECT_EQ(exists_(present.c_str(), &flag), 0);
    EXPECT_EQ(flag, 1);

    flag = 7;
    EXPECT_EQ(exists_(File("absent.conf").c_str(), &flag), 2);
    EXPECT_EQ(flag, 0);
    EXPECT_NE(access(File("absent.conf").c_str(), F_OK), 0) << "testing creates nothing";

    flag = 7;
    EXPECT_EQ(exists_(root_->path().c_str(), &flag), 2) << "a folder is no file";
    EXPECT_EQ(flag, 0);
    EXPECT_EQ(exists_(present.c_str(), nullptr), 0);
    EXPECT_EQ(exists_(nullptr, &flag), 2);

    if (geteuid() != 0) { // the superuser opens read-only files for update too
        std::string readOnly = File("read-only.conf");
        WriteFile(readOnly, "K v\n");
        ASSERT_EQ(chmod(readOnly.c_str(), 0444), 0);
        flag = 7;
        EXPECT_EQ(exists_(readOnly.c_str(), &flag), 2);
        EXPECT_EQ(flag, 0);
    }
}

} // namespace

} // namespace hxm_test
