/*
 * The log table: which files get a row, their stripes and size texts, the
 * links, and convert_blocks_to_string itself.
 */
#define _FILE_OFFSET_BITS 64

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <fcntl.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <regex>
#include <string>

#include "tests/support/plugin_fixture.h"

namespace hxm_test {
namespace {

constexpr char kDark[] = "bgcolor=#efeee9";
constexpr char kLight[] = "bgcolor=#ffffff";
constexpr char kTableStart[] = "<p><dl><dd><table border=0>\n";
constexpr char kTableHead[] =
    "<p><dl><dd><table border=0>\n"
    "<tr class=\"tablehead\"><td colspan=2 align=center>Logs</td></tr>\n"
    "<tr class=\"tablesubhead\"><th align=center>Name</th><th align=center>Size</th></tr>\n";
constexpr char kTableEnd[] = "</table></dd></dl></p>\n<p><dl><dd><table border=0>\n"
                             "</BODY></HTML>";

/* Makes `path` a file of `size` bytes (sparse beyond what is written). */
void MakeFileOfSize(const std::string &path, uint64_t size) {
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0) << path;
    ASSERT_EQ(ftruncate(fd, static_cast<off_t>(size)), 0) << path;
    close(fd);
}

std::string Row(const char *attribute, const std::string &directory, const std::string &name,
                const std::string &size) {
    return std::string("<tr ") + attribute + "><td class=\"tablecol\" align=center><a href=\"" +
           directory + "/" + name + "?VIEW\">" + name +
           "</a></td><td class=\"tablecol\" align=right>" + size + "</td></tr>\n";
}

/* The root is made first, the plug-in loaded once the test has put its logs
 * there. */
class LogTable : public PluginTest {
  protected:
    void SetUp() override {
        root_ = std::make_unique<TempRoot>();
        root_->MakeLogDirectory();
        directory_ = root_->path() + "/var/opt/zentra/log";
    }

    /* Loads the plug-in at `level` (no configuration file: the default 4). */
    void Load(const char *level = nullptr) {
        if (level != nullptr)
            root_->WriteConfig(std::string("LOG_LEVEL ") + level + "\n");
        plugin_ = std::make_unique<LoadedPlugin>(*root_);
        ASSERT_TRUE(plugin_->loaded());
    }

    /* The table part of the list page, from its start to the end. */
    std::string Table() {
        hxm::Response response = Serve("/afplogs");
        EXPECT_EQ(response.methodResult, 200);
        size_t start = response.body.find(kTableStart);
        return start == std::string::npos ? "<missing>" : response.body.substr(start);
    }

    /* The table with the size of the plug-in's own log (which grows as it
     * logs this very request) replaced by "SIZE" when it is a size text. */
    std::string TableWithPluginLogSizeHidden() {
        static const std::regex kPluginSize("(libhxm2afp\\.log</a></td><td class=\"tablecol\" "
                                            "align=right>)([1-9][0-9]*|[1-9][0-9]* KB)(</td>)");
        return std::regex_replace(Table(), kPluginSize, "$1SIZE$3");
    }

    std::string directory_;
};

TEST_F(LogTable, SizesAreBytesBelowOneKilobyteThenTruncatedUnits) {
    const struct {
        uint64_t bytes;
        const char *text; // null: no row
    } kCases[] = {
        {0, nullptr},
        {1, "1"},
        {1000, "1000"},
        {1023, "1023"},
        {1024, "1 KB"},
        {1536, "1 KB"},
        {1048575, "1023 KB"},
        {1048576, "1 MB"},
        {1572864, "1.50 MB"},
        {1049000, "1 MB"}, // the hundredths truncate to 0
        {1073741823, "1023.99 MB"},
        {1073741824, "1 GB"},
        {4294967295ull, "3.99 GB"},
        {4294967296ull, "4 GB"},       // does not fit 32 bits: not a wrapped 0
        {5368709120ull, "5 GB"},       // 5 GiB
        {5905580032ull, "5.50 GB"},    // 5.5 GiB
        {1099511627776ull, "1 TB"},    // 1 TiB
        {1649267441664ull, "1.50 TB"}, // 1.5 TiB
    };
    Load("INFO"); // only the server's log is listed
    for (const auto &c : kCases) {
        SCOPED_TRACE(std::to_string(c.bytes));
        MakeFileOfSize(directory_ + "/afpsvc.log", c.bytes);
        std::string expected = kTableHead;
        if (c.text != nullptr)
            expected += Row(kDark, directory_, "afpsvc.log", c.text);
        EXPECT_EQ(Table(), expected + kTableEnd);
    }
}

TEST_F(LogTable, PluginLogIsListedFromDebugOnAndStripesChangeOnlyAfterARow) {
    const struct {
        const char *level; // null: no configuration file
        bool serverLog;
        bool pluginRow;
        const char *pluginStripe;
    } kCases[] = {
        {nullptr, true, true, kLight}, // default level 4
        {nullptr, false, true, kDark},   {"DEBUG", true, true, kLight},
        {"DUMP", false, true, kDark},    {"EVERYTHING", true, true, kLight},
        {"INFO", true, false, nullptr},  {"INFO", false, false, nullptr},
        {"ERROR", true, false, nullptr},
    };
    for (const auto &c : kCases) {
        SCOPED_TRACE(std::string(c.level != nullptr ? c.level : "default") +
                     (c.serverLog ? " with" : " without") + " the server's log");
        SetUp();
        if (c.serverLog)
            MakeFileOfSize(directory_ + "/afpsvc.log", 1000);
        Load(c.level);
        std::string expected = kTableHead;
        if (c.serverLog)
            expected += Row(kDark, directory_, "afpsvc.log", "1000");
        if (c.pluginRow)
            expected += Row(c.pluginStripe, directory_, "libhxm2afp.log", "SIZE");
        EXPECT_EQ(TableWithPluginLogSizeHidden(), expected + kTableEnd);
        plugin_.reset();
    }
}

TEST_F(LogTable, MissingDirectoryOrFilesLeaveOnlyTheHeader) {
    Load("DEBUG");
    std::filesystem::remove_all(directory_);
    EXPECT_EQ(Table(), std::string(kTableHead) + kTableEnd);
}

TEST_F(LogTable, ADirectoryReachedThroughALinkIsRefused) {
    std::string real = root_->path() + "/elsewhere";
    MakeDirectories(real);
    MakeFileOfSize(real + "/afpsvc.log", 1000);
    ASSERT_EQ(rmdir(directory_.c_str()), 0);
    ASSERT_EQ(symlink(real.c_str(), directory_.c_str()), 0);
    Load("DEBUG");
    EXPECT_EQ(Table(), std::string(kTableHead) + kTableEnd);
}

TEST_F(LogTable, OnlyRegularFilesGetARow) {
    // A directory has a size of its own, but no log text to view.
    MakeDirectories(directory_ + "/afpsvc.log");
    Load("INFO");
    EXPECT_EQ(Table(), std::string(kTableHead) + kTableEnd);
}

TEST(LogTableRoot, LinksArePercentEncodedAndNamesStayText) {
    // A root whose path holds characters that mean something in a URL or
    // in HTML: the link must still lead to the file, the page stay intact.
    TempRoot base;
    std::string root = base.path() + "/a b&c\"<%>";
    std::string directory = root + "/var/opt/zentra/log";
    MakeDirectories(directory);
    MakeFileOfSize(directory + "/afpsvc.log", 2048);
    hxm::Response response;
    {
        // LoadedPlugin takes a TempRoot; a root inside one is set by hand.
        const char *old = getenv("ZENTRA_ROOT");
        std::string saved = old != nullptr ? old : "";
        setenv("ZENTRA_ROOT", root.c_str(), 1);
        void *handle = dlopen(PluginPath(), RTLD_NOW | RTLD_LOCAL);
        if (old != nullptr)
            setenv("ZENTRA_ROOT", saved.c_str(), 1);
        else
            unsetenv("ZENTRA_ROOT");
        ASSERT_NE(handle, nullptr) << dlerror();
        response = Serve("/afplogs");
        dlclose(handle);
    }
    std::string encoded = base.path() + "/a%20b%26c%22%3C%25%3E/var/opt/zentra/log/afpsvc.log";
    EXPECT_NE(response.body.find("<a href=\"" + encoded + "?VIEW\">afpsvc.log</a>"),
              std::string::npos)
        << response.body;
    EXPECT_NE(response.body.find(">2 KB</td></tr>\n"), std::string::npos);
}

using ConvertFunction = int (*)(uint32_t, uint32_t, char *);

TEST_F(LogTable, ConvertBlocksToStringFormatsTheProduct) {
    Load();
    auto convert = plugin_->Function<ConvertFunction>("convert_blocks_to_string");
    ASSERT_NE(convert, nullptr);
    const struct {
        uint32_t count;
        uint32_t blockSize;
        const char *text;
    } kCases[] = {
        {0, 1024, "0 KB"},
        {1, 1023, "0 KB"},
        {1, 1024, "1 KB"},
        {2048, 1024, "2 MB"},
        {1, 1048575, "1023 KB"},
        {3, 524288, "1.50 MB"},
        {1, 1049000, "1 MB"},
        {1024, 1048576, "1 GB"},
        {1, 0xFFFFFFFFu, "3.99 GB"},
        {5, 1073741824, "5 GB"},
        {1024, 1073741824, "1 TB"},
        {1536, 1073741824, "1.50 TB"},
        // Terabytes take their hundredths from the whole GiB count: 1034 GiB
        // and a part show as 1 TB, not 1.01 TB.
        {1035, 1073741823, "1 TB"},
        {0xFFFFFFFFu, 0xFFFFFFFFu, "16777215.99 TB"},
    };
    for (const auto &c : kCases) {
        SCOPED_TRACE(std::to_string(c.count) + " x " + std::to_string(c.blockSize));
        char text[1024];
        memset(text, 'Z', sizeof text);
        int written = convert(c.count, c.blockSize, text);
        EXPECT_STREQ(text, c.text);
        EXPECT_EQ(written, static_cast<int>(strlen(c.text)));
    }
}

} // namespace

} // namespace hxm_test
