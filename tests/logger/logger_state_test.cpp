/*
 * The logger's life: initialisation, the name buffers, opening and
 * re-opening, permission bits, levels, modes, reset, syslog mode and back,
 * tear-down, the placeholder instance and the exported names.
 */
#include <dirent.h>
#include <dlfcn.h>
#include <errno.h>
#include <gtest/gtest.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>

#include <string>

#include "tests/support/files.h"
#include "tests/support/logger_fixture.h"

namespace hxm_test {
namespace {

int open_descriptors() {
    int count = 0;
    DIR *directory = opendir("/proc/self/fd");
    if (directory == nullptr)
        return -1;
    while (readdir(directory) != nullptr)
        ++count;
    closedir(directory);
    return count;
}

// Makes a chain of directories so that dir + "/" + leaf has `length` characters.
std::string path_of_length(const std::string &directory, size_t length) {
    std::string path = directory;
    while (path.size() + 1 + 100 < length) {
        path += "/" + std::string(90, 'd');
        mkdir(path.c_str(), 0755);
    }
    std::string leaf(length - path.size() - 1, 'f');
    return path + "/" + leaf;
}

TEST_F(LoggerTest, InitialisationSetsTheDocumentedState) {
    EXPECT_EQ(logger_->level, HXM_LOG_DEBUG);
    EXPECT_EQ(logger_->max_file_size, 16777216);
    EXPECT_EQ(logger_->file_size, 0);
    EXPECT_EQ(logger_->initialized, 255);
    EXPECT_EQ(logger_->mode, 0);
    EXPECT_EQ(logger_->options, 2);
    EXPECT_EQ(logger_->reset_count, 0);
    EXPECT_EQ(logger_->use_syslog, 0);
    EXPECT_EQ(logger_->stream_open, 1);
    EXPECT_NE(logger_->f_output, nullptr);
    EXPECT_STREQ(logger_->f_output_filename, path_.c_str());
    // Cut before the first dot of the whole path.
    EXPECT_EQ(std::string(logger_->logname), directory_ + "/afp");
    void *const *slots = reinterpret_cast<void *const *>(&logger_->debug);
    for (int slot = 0; slot < 23; ++slot)
        EXPECT_NE(slots[slot], nullptr) << "slot " << slot + 1;
}

TEST_F(LoggerTest, TheLogFileIsLeftWithoutPermissionBits) {
    EXPECT_EQ(PermissionBits(path_), 0u);
    // Re-opening sets them to 0 again.
    chmod(path_.c_str(), 0644);
    logger_->setMode(HXM_LOG_MODE_DEFAULT);
    EXPECT_EQ(PermissionBits(path_), 0u);
}

TEST_F(LoggerTest, SecondInitKeepsTheFirstFileAndLevel) {
    std::string other = directory_ + "/other.log";
    EXPECT_EQ(api().init(other.c_str(), HXM_LOG_NOTHING), logger_);
    EXPECT_STREQ(logger_->f_output_filename, path_.c_str());
    EXPECT_EQ(logger_->level, HXM_LOG_DEBUG);
    logger_->debug("still here");
    EXPECT_EQ(Content(), "[D T] still here\n");
    struct stat status;
    EXPECT_NE(stat(other.c_str(), &status), 0);
}

TEST_F(LoggerTest, LognameKeepsOnlyThePathBeforeItsFirstDot) {
    std::string dotted = directory_ + "/dir.d";
    ASSERT_EQ(mkdir(dotted.c_str(), 0755), 0);
    std::string path = dotted + "/file.log";
    ASSERT_EQ(logger_->openstream(path.c_str()), 0);
    EXPECT_EQ(std::string(logger_->logname), directory_ + "/dir");
    std::string plain = directory_ + "/nodots";
    ASSERT_EQ(logger_->openstream(plain.c_str()), 0);
    EXPECT_EQ(std::string(logger_->logname), plain);
}

TEST_F(LoggerTest, OpenstreamWithoutPathReopensTheRememberedFile) {
    logger_->error("one");
    ASSERT_EQ(logger_->openstream(nullptr), 0);
    logger_->error("two");
    EXPECT_EQ(Content(), "[! T] one\n[! T] two\n");
}

TEST_F(LoggerTest, OpenstreamWithoutPathOrMemoryIsRefused) {
    api().deinit();
    logger_ = api().init(nullptr, HXM_LOG_DEBUG);
    EXPECT_EQ(logger_->f_output, nullptr);
    testing::internal::CaptureStderr();
    EXPECT_EQ(logger_->openstream(nullptr), 22);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "filename == NULL\n");
}

TEST_F(LoggerTest, AFailedOpenChangesNeitherNameNorStream) {
    FILE *before = logger_->f_output;
    std::string missing = directory_ + "/no/such/dir.log";
    testing::internal::CaptureStderr();
    EXPECT_EQ(logger_->openstream(missing.c_str()), 2);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "f_open(" + missing + ") == NULL\n");
    EXPECT_STREQ(logger_->f_output_filename, path_.c_str());
    EXPECT_EQ(std::string(logger_->logname), directory_ + "/afp");
    EXPECT_EQ(logger_->f_output, before);
}

TEST_F(LoggerTest, PathsLongerThanTheNameBufferAreRefused) {
    std::string longest = path_of_length(directory_, 270);
    ASSERT_EQ(longest.size(), 270u);
    ASSERT_EQ(logger_->openstream(longest.c_str()), 0);
    EXPECT_EQ(std::string(logger_->f_output_filename), longest);
    // logname holds at most 254 characters.
    EXPECT_EQ(std::string(logger_->logname), longest.substr(0, 254));

    std::string too_long = path_of_length(directory_, 271);
    testing::internal::CaptureStderr();
    EXPECT_EQ(logger_->openstream(too_long.c_str()), ENAMETOOLONG);
    EXPECT_NE(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(std::string(logger_->f_output_filename), longest);
    struct stat status;
    EXPECT_NE(stat(too_long.c_str(), &status), 0);
}

TEST_F(LoggerTest, ReopeningClosesTheOldStream) {
    int before = open_descriptors();
    for (int i = 0; i < 20; ++i) {
        ASSERT_EQ(logger_->openstream(nullptr), 0);
        ASSERT_EQ(logger_->setMode(HXM_LOG_MODE_DEFAULT), 0);
    }
    EXPECT_EQ(open_descriptors(), before);
    logger_->error("once");
    EXPECT_EQ(Content(), "[! T] once\n");
}

struct LevelStep {
    int from;
    int afterUp;
    int afterDown;
};

class LevelSteps : public LoggerTest, public testing::WithParamInterface<LevelStep> {};

TEST_P(LevelSteps, StayWithinNothingAndEverything) {
    logger_->setLevel(GetParam().from);
    logger_->levelUp();
    EXPECT_EQ(logger_->level, GetParam().afterUp);
    logger_->setLevel(GetParam().from);
    logger_->levelDown();
    EXPECT_EQ(logger_->level, GetParam().afterDown);
}

INSTANTIATE_TEST_SUITE_P(Levels, LevelSteps,
                         testing::Values(LevelStep{0, 1, 0}, LevelStep{1, 2, 0}, LevelStep{5, 6, 4},
                                         LevelStep{6, 6, 5}, LevelStep{9, 9, 8},
                                         LevelStep{-2, -1, -2}));

TEST_F(LoggerTest, LevelNamesFollowTheStoredLevel) {
    const struct {
        int level;
        const char *name;
    } cases[] = {{-1, "unknown"}, {0, "NOTHING"}, {1, "ERROR"},     {2, "WARN"},
                 {3, "INFO"},     {4, "DEBUG"},   {5, "DUMP"},      {6, "EVERYTHING"},
                 {7, "unknown"},  {9, "unknown"}, {1000, "unknown"}};
    for (const auto &c : cases) {
        logger_->setLevel(c.level);
        EXPECT_STREQ(api().convertLogLevelToString(), c.name) << c.level;
    }
}

TEST_F(LoggerTest, ModesThatChangeNothingLeaveTheRecordAsItIs) {
    for (int code : {1, 2, 6, 7}) {
        Logger before = *logger_;
        EXPECT_EQ(logger_->setMode(code), 0);
        EXPECT_EQ(memcmp(&before, logger_, sizeof before), 0) << "mode " << code;
    }
}

TEST_F(LoggerTest, ModesFourAndFiveClearAndSetTheOptionBit) {
    EXPECT_EQ(logger_->setMode(HXM_LOG_MODE_SET_OPTION), 0);
    EXPECT_EQ(logger_->options, 3);
    EXPECT_EQ(logger_->setMode(HXM_LOG_MODE_CLEAR_OPTION), 0);
    EXPECT_EQ(logger_->options, 2);
    EXPECT_EQ(logger_->mode, 0);
}

TEST_F(LoggerTest, DefaultModeCodesAreRecorded) {
    for (int code : {0, 9, 42, -1}) {
        EXPECT_EQ(logger_->setMode(code), 0);
        EXPECT_EQ(logger_->mode, code);
        EXPECT_EQ(logger_->stream_open, 1);
    }
}

TEST_F(LoggerTest, ResetTruncatesTheFile) {
    logger_->error("old line");
    logger_->error("another");
    EXPECT_EQ(logger_->setMode(HXM_LOG_MODE_RESET), 0);
    EXPECT_EQ(ReadFile(path_), "");
    EXPECT_EQ(logger_->file_size, 0);
    EXPECT_EQ(logger_->reset_count, 1);
    logger_->error("new line");
    EXPECT_EQ(Content(), "[! T] new line\n");
    logger_->setMode(HXM_LOG_MODE_RESET);
    EXPECT_EQ(logger_->reset_count, 2);
}

TEST_F(LoggerTest, ResetWithoutAStreamDoesNothing) {
    logger_->closestream();
    logger_->setMode(HXM_LOG_MODE_RESET);
    EXPECT_EQ(logger_->reset_count, 0);
}

TEST_F(LoggerTest, SyslogModeAndBack) {
    logger_->error("in the file");
    ASSERT_EQ(logger_->setMode(HXM_LOG_MODE_SYSLOG), 0);
    EXPECT_EQ(logger_->use_syslog, 1);
    EXPECT_EQ(logger_->mode, 3);
    EXPECT_EQ(logger_->stream_open, 0);
    EXPECT_EQ(logger_->f_output, nullptr);

    logger_->setLevel(HXM_LOG_DUMP);
    const unsigned char bytes[] = {1, 2};
    logger_->debug("debug %d", 1);
    logger_->infoTagged("tag", "tagged %s", "info");
    logger_->dump("dump %s", "text");
    logger_->ldump("unterminatedXYZ", 12);
    logger_->bdump(bytes, 2); // hex dumps never go to syslog
    logger_->writeAlways("always");
    api().errormessage("as it stands %s");
    logger_->SyslogAndFile("info %d", 6);
    logger_->setLevel(HXM_LOG_NOTHING);
    logger_->error("below the level");
    logger_->setMode(HXM_LOG_MODE_RESET); // nothing in syslog mode
    EXPECT_EQ(logger_->reset_count, 0);

    auto events = TakeSyslogEvents();
    ASSERT_EQ(events.size(), 8u);
    EXPECT_EQ(events[0].kind, SyslogEvent::Open);
    EXPECT_EQ(events[0].text, "[" + directory_ + "/afp]");
    EXPECT_EQ(events[0].option, 1);   // LOG_PID
    EXPECT_EQ(events[0].facility, 8); // LOG_USER
    const struct {
        int priority;
        const char *text;
    } messages[] = {{7, "debug 1"}, {7, "tagged info"},     {7, "dump text"},   {7, "unterminated"},
                    {7, "always"},  {7, "as it stands %s"}, {6, "[Info]info 6"}};
    for (size_t i = 0; i < 7; ++i) {
        EXPECT_EQ(events[i + 1].kind, SyslogEvent::Message);
        EXPECT_EQ(events[i + 1].priority, messages[i].priority) << i;
        EXPECT_EQ(events[i + 1].text, messages[i].text) << i;
    }

    ASSERT_EQ(logger_->setMode(HXM_LOG_MODE_DEFAULT), 0);
    events = TakeSyslogEvents();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].kind, SyslogEvent::Close);
    EXPECT_EQ(logger_->use_syslog, 0);
    EXPECT_EQ(logger_->stream_open, 1);
    logger_->setLevel(HXM_LOG_ERROR);
    logger_->error("back in the file");
    EXPECT_EQ(Content(), "[! T] in the file\n[! T] back in the file\n");
    EXPECT_EQ(PermissionBits(path_), 0u);
}

TEST_F(LoggerTest, DeinitReleasesTheNamesAndAllowsAFreshStart) {
    logger_->setLevel(HXM_LOG_INFO);
    logger_->setMode(HXM_LOG_MODE_SET_OPTION);
    api().deinit();
    EXPECT_EQ(logger_->initialized, 0);
    EXPECT_EQ(logger_->f_output, nullptr);
    EXPECT_EQ(logger_->f_output_filename, nullptr);
    EXPECT_EQ(logger_->logname, nullptr);
    EXPECT_EQ(logger_->stream_open, 0);
    EXPECT_EQ(logger_->use_syslog, 0);
    EXPECT_EQ(logger_->level, HXM_LOG_INFO);
    EXPECT_EQ(logger_->options, 3);
    // Writers on a logger without names or stream do nothing.
    logger_->error("dropped");
    api().errormessage("dropped");
    EXPECT_EQ(logger_->openstream(path_.c_str()), 12);

    std::string fresh = directory_ + "/fresh.log";
    EXPECT_EQ(api().init(fresh.c_str(), HXM_LOG_ERROR), logger_);
    EXPECT_EQ(logger_->options, 2);
    logger_->error("fresh");
    EXPECT_EQ(WithoutStamps(ReadFile(fresh)), "[! T] fresh\n");
    EXPECT_EQ(Content(), "");
}

TEST_F(LoggerTest, TruncateFileStreamReportsStreamsWithoutAFile) {
    EXPECT_EQ(api().truncateFileStream(nullptr), EINVAL);
    char buffer[16];
    FILE *memory = fmemopen(buffer, sizeof buffer, "w");
    ASSERT_NE(memory, nullptr);
    EXPECT_EQ(api().truncateFileStream(memory), EBADF);
    fclose(memory);
}

TEST_F(LoggerTest, OpenFileStreamAppendsAndReads) {
    std::string path = directory_ + "/plain.txt";
    FILE *first = api().openFileStream(&path[0], 0);
    ASSERT_NE(first, nullptr);
    fputs("abc", first);
    fclose(first);
    FILE *second = api().openFileStream(&path[0], 1);
    ASSERT_NE(second, nullptr);
    fputs("def", second);
    fflush(second);
    rewind(second);
    char text[8] = {};
    EXPECT_EQ(fread(text, 1, 7, second), 6u);
    EXPECT_STREQ(text, "abcdef");
    fclose(second);
    EXPECT_EQ(api().openFileStream(nullptr, 0), nullptr);
}

TEST(DummyLogger, SwallowsEverything) {
    Logger *dummy = Plugin().dummyInstance;
    EXPECT_EQ(dummy->level, 0);
    EXPECT_EQ(dummy->initialized, 0);
    EXPECT_EQ(dummy->f_output, nullptr);
    EXPECT_EQ(dummy->f_output_filename, nullptr);
    EXPECT_EQ(dummy->logname, nullptr);
    EXPECT_EQ(dummy->openstream("/tmp/x"), -1);
    EXPECT_EQ(dummy->setMode(3), -1);
    EXPECT_EQ(dummy->status(), -1);
    EXPECT_EQ(dummy->getStreamSize(), 0);
    const unsigned char byte = 1;
    dummy->debug("%d", 1);
    dummy->errorTagged("t", "x");
    dummy->setLevel(6);
    dummy->levelUp();
    dummy->bdump(&byte, 1);
    dummy->ldump("x", 1);
    dummy->closestream();
    dummy->deinit();
    EXPECT_EQ(dummy->level, 0);
}

TEST(LoggerExports, EveryListedNameIsExported) {
    Plugin();
    void *handle = dlopen(HXM_PLUGIN_PATH, RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(handle, nullptr);
    auto names = LoggerExportNames();
    EXPECT_EQ(names.size(), 21u);
    for (const std::string &name : names)
        EXPECT_NE(dlsym(handle, name.c_str()), nullptr) << name;
    dlclose(handle);
}

TEST(LoggerExports, DataHoldTheirFixedValues) {
    const PluginApi &api = Plugin();
    EXPECT_STREQ(*api.logfilename, "/var/opt/zentra/log/libhxm2afp.log");
    EXPECT_EQ(api.getInstance(), api.liveInstance);
    // The load entry created the logger and stored it in `log`.
    EXPECT_EQ(*api.log, api.liveInstance);
}

} // namespace
} // namespace hxm_test
