/*
 * Loading and unloading the plug-in in a test host: registration, the
 * refused registration, the once-only load entry, unload, the ZENTRA_ROOT
 * paths, and each service method's access check.
 */
#include <dirent.h>
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include <zentra/hxm_host.h>

#include "logger/logger.h"
#include "tests/support/concurrent.h"
#include "tests/support/plugin_fixture.h"

namespace hxm_test {
namespace {

/* How many of the process's descriptors are open on `path`. */
int OpenDescriptors(const std::string &path) {
    int count = 0;
    DIR *directory = opendir("/proc/self/fd");
    if (directory == nullptr)
        return -1;
    while (struct dirent *entry = readdir(directory)) {
        std::string link = std::string("/proc/self/fd/") + entry->d_name;
        char target[PATH_MAX];
        ssize_t length = readlink(link.c_str(), target, sizeof target - 1);
        if (length > 0 && std::string(target, length) == path)
            ++count;
    }
    closedir(directory);
    return count;
}

Logger *LivePointer(const LoadedPlugin &plugin) {
    return *static_cast<Logger **>(plugin.Symbol("log"));
}

Logger *LiveInstance(const LoadedPlugin &plugin) {
    return static_cast<Logger *>(plugin.Symbol("_my_local_instance"));
}

int CountLines(const std::vector<std::string> &texts, const std::string &text) {
    int count = 0;
    for (const std::string &line : texts)
        count += line == text;
    return count;
}

int IgnoreRequest(void *, unsigned int, unsigned int, unsigned int) {
    return 0;
}

TEST(PluginLoad, RegistersThreeKeywordsInOrderUnderTheGroup) {
    TempRoot root;
    root.MakeLogDirectory();
    LoadedPlugin plugin(root);

    std::vector<hxm::Registration> registrations = PluginRegistrations();
    ASSERT_EQ(registrations.size(), 3u);
    const struct {
        const char *keyword;
        const char *linkText;
    } kExpected[] = {{"afpcons", "Manage Connections"},
                     {"afplogs", "View Logs"},
                     {"afpofm", "Manage Open Files"}};
    for (size_t i = 0; i < registrations.size(); ++i) {
        SCOPED_TRACE(kExpected[i].keyword);
        EXPECT_EQ(registrations[i].keyword, kExpected[i].keyword);
        EXPECT_EQ(registrations[i].linkText, kExpected[i].linkText);
        EXPECT_EQ(registrations[i].groupTitle, "Manage AFP Services");
        EXPECT_EQ(registrations[i].flags, 0x4000du);
        EXPECT_NE(registrations[i].method, nullptr);
    }
    EXPECT_NE(registrations[0].method, registrations[1].method);
    EXPECT_NE(registrations[1].method, registrations[2].method);
}

TEST(PluginLoad, LongTranslatedGroupTitleIsCutAtACharacterBoundary) {
    // The translation is 68 bytes; the 63rd and 64th hold one two-byte letter.
    TempRoot root;
    root.MakeLogDirectory();
    root.InstallGermanCatalogue(HXM_LONG_TITLE_CATALOGUE);
    LoadedPlugin plugin(root);

    std::vector<hxm::Registration> registrations = PluginRegistrations();
    ASSERT_EQ(registrations.size(), 3u);
    EXPECT_EQ(registrations[0].groupTitle, std::string(61, 'A') + "-");
}

TEST(PluginLoad, WithoutConfigurationLogsAtDebugWithoutStartUpLines) {
    TempRoot root;
    root.MakeLogDirectory();
    LoadedPlugin plugin(root);

    Logger *logger = LivePointer(plugin);
    ASSERT_NE(logger, nullptr);
    EXPECT_EQ(logger, LiveInstance(plugin));
    EXPECT_EQ(logger->level, 4);

    struct stat status;
    ASSERT_EQ(stat(root.LogFile().c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0u) << "the log file keeps permission bits 0";
    std::vector<std::string> lines = root.LogLines();
    EXPECT_EQ(LogTexts(lines, "[i ").size(), 0u);
    EXPECT_EQ(LogTexts(lines, "[L ").size(), 0u);
    std::vector<std::string> errors = LogTexts(lines, "[! ");
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0], "Going to initialize afp plugin");
    // The first lookup binds the catalogue under the root.
    EXPECT_EQ(CountLines(LogTexts(lines, "[D "),
                         "setup localization filename=libhxm2afp path=" + root.LocaleDirectory()),
              1);
}

TEST(PluginLoad, SecondLoadEntryRegistersOnce) {
    TempRoot root;
    root.MakeLogDirectory();
    LoadedPlugin plugin(root);
    auto loadEntry = plugin.Function<void (*)()>("_init");
    ASSERT_NE(loadEntry, nullptr);

    loadEntry();

    EXPECT_EQ(PluginRegistrations().size(), 3u);
    EXPECT_EQ(LivePointer(plugin), LiveInstance(plugin));
    std::vector<std::string> errors = LogTexts(root.LogLines(), "[! ");
    EXPECT_EQ(CountLines(errors, "Going to initialize afp plugin"), 1);
}

TEST(PluginLoad, RefusedRegistrationLeavesNothingRegisteredAndClosesTheLog) {
    TempRoot root;
    root.MakeLogDirectory();
    HxmServiceGroup group = {0, 0, "Someone Else"};
    int outCode = 0;
    ASSERT_NE(RegisterServiceMethodEx("Other Logs", "afplogs", 7, &group, 0, 0, IgnoreRequest, 0,
                                      &outCode),
              0);

    {
        LoadedPlugin plugin(root);
        std::vector<hxm::Registration> left = PluginRegistrations();
        ASSERT_EQ(left.size(), 1u);
        EXPECT_EQ(left[0].linkText, "Other Logs") << "only the host's own registration stays";
        EXPECT_EQ(LivePointer(plugin), nullptr);
        EXPECT_EQ(LiveInstance(plugin)->stream_open, 0);
        EXPECT_EQ(OpenDescriptors(root.LogFile()), 0);

        std::vector<std::string> errors = LogTexts(root.LogLines(), "[! ");
        const std::vector<std::string> kExpected = {
            "Going to initialize afp plugin",
            "RegisterServiceMethodEx(Connections) failed rc=" +
                std::to_string(HXM_REGISTER_DUPLICATE),
            "Failed to initalize afp plugin"};
        EXPECT_EQ(errors, kExpected);
        EXPECT_TRUE(plugin.Unload());
    }
    EXPECT_NE(DeRegisterServiceMethod("Other Logs", "afplogs", 7, IgnoreRequest, 0, &outCode), 0);
}

TEST(PluginUnload, DeregistersEveryKeywordAndClosesTheLog) {
    TempRoot root;
    root.MakeLogDirectory();
    LoadedPlugin plugin(root);
    ASSERT_EQ(OpenDescriptors(root.LogFile()), 1);

    ASSERT_TRUE(plugin.Unload());

    EXPECT_TRUE(PluginRegistrations().empty());
    EXPECT_EQ(OpenDescriptors(root.LogFile()), 0);
    EXPECT_EQ(Serve("/afpcons").status, 404);
}

TEST(PluginUnload, UnloadEntryClearsTheLoggerPointerAndRunsOnce) {
    TempRoot root;
    root.MakeLogDirectory();
    LoadedPlugin plugin(root);
    auto unloadEntry = plugin.Function<void (*)()>("_fini");
    ASSERT_NE(unloadEntry, nullptr);

    unloadEntry();
    EXPECT_EQ(LivePointer(plugin), nullptr);
    EXPECT_EQ(LiveInstance(plugin)->stream_open, 0);
    EXPECT_TRUE(PluginRegistrations().empty());
    unloadEntry(); // unloaded already: nothing to do, nothing to break
    EXPECT_TRUE(plugin.Unload());
}

TEST(PluginPaths, RootWithTrailingSlashNamesTheSameFiles) {
    TempRoot root;
    root.MakeLogDirectory();
    root.WriteConfig("LOG_LEVEL ERROR\n");
    std::string slashed = root.path() + "//";
    ASSERT_EQ(setenv("ZENTRA_ROOT", slashed.c_str(), 1), 0);
    void *handle = dlopen(PluginPath(), RTLD_NOW | RTLD_LOCAL);
    unsetenv("ZENTRA_ROOT");
    ASSERT_NE(handle, nullptr) << dlerror();

    Logger *logger = static_cast<Logger *>(dlsym(handle, "_my_local_instance"));
    EXPECT_EQ(logger->level, 1) << "the configuration under the root was read";
    EXPECT_STREQ(logger->f_output_filename, root.LogFile().c_str());
    dlclose(handle);
}

TEST(PluginPaths, RootTooLongForThePathsIsRefusedNotCut) {
    // A cut root would name some other folder; the plug-in then uses no file.
    TempRoot root;
    std::string tooLong = root.path() + "/" + std::string(4090, 'r');
    ASSERT_EQ(setenv("ZENTRA_ROOT", tooLong.c_str(), 1), 0);
    void *handle = dlopen(PluginPath(), RTLD_NOW | RTLD_LOCAL);
    unsetenv("ZENTRA_ROOT");
    ASSERT_NE(handle, nullptr) << dlerror();

    Logger *logger = static_cast<Logger *>(dlsym(handle, "_my_local_instance"));
    EXPECT_EQ(logger->f_output, nullptr);
    EXPECT_EQ(logger->level, 4) << "no configuration file was read";
    EXPECT_EQ(PluginRegistrations().size(), 3u) << "the pages still work";
    dlclose(handle);
}

TEST(PluginRequests, ConcurrentRequestsEachGetTheirWholePage) {
    // Request threads share the catalogue lookup and the log; under
    // ThreadSanitizer this also shows they do so without a data race.
    TempRoot root;
    root.MakeLogDirectory();
    LoadedPlugin plugin(root);
    const hxm::Response denied = Serve("/afpofm", 0x8);
    const hxm::Response refused = Serve("/afpcons", 0x9);
    ASSERT_NE(denied.body, refused.body);

    const std::vector<int> mismatches = MismatchesPerThread(8, 40, [&](int t, int i) {
        bool deny = (t + i) % 2 == 0;
        hxm::Response response = deny ? Serve("/afpofm", 0x8) : Serve("/afpcons", 0x9);
        return response.body != (deny ? denied.body : refused.body);
    });
    for (size_t t = 0; t < mismatches.size(); ++t)
        EXPECT_EQ(mismatches[t], 0) << "thread " << t;
}

/* One request to a keyword with an access flag word, and what must come back. */
struct AccessCase {
    const char *target;
    unsigned int flags;
    int status;          // HTTP status the host sends
    int methodResult;    // what the service method returned
    const char *message; // the error page's message, or null when declined
};

void PrintTo(const AccessCase &c, std::ostream *out) {
    *out << c.target << " with flags 0x" << std::hex << c.flags;
}

// One load serves every case.
class ServiceAccess : public SuitePluginTest<testing::TestWithParam<AccessCase>> {};

TEST_P(ServiceAccess, ChecksTheFlagsThenAnswersWithTheErrorPage) {
    const AccessCase &c = GetParam();
    for (const char *method : {"GET", "POST"}) {
        SCOPED_TRACE(method);
        hxm::Response response = Serve(c.target, c.flags, method);
        EXPECT_EQ(response.status, c.status);
        EXPECT_EQ(response.methodResult, c.methodResult);
        if (c.message != nullptr) {
            std::string expected = std::string("&nbsp;<b>Error :</b>  ") + c.message + "</td>";
            EXPECT_NE(response.body.find(expected), std::string::npos) << response.body;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Keywords, ServiceAccess,
    testing::Values(
        // Connections: one of 0x10000003 and 0x8.
        // (two components that are no command: a bad request)
        AccessCase{"/afpcons/a/b", 0x9, 200, 200, "Bad Http request"},
        AccessCase{"/afpcons/LoginTime/a/b", 0xA, 200, 200, "Bad Http request"},
        AccessCase{"/afpcons/a/b", 0x10000008, 200, 200, "Bad Http request"},
        AccessCase{"/afpcons", 0x8, 200, 200, "Unauthorized access denied"},
        AccessCase{"/afpcons", 0x4000000C, 200, 200, "Unauthorized access denied"},
        AccessCase{"/afpcons", 0x3, 200, 200, "Unauthorized access denied"},
        // Open files: one of 0x1, 0x2, 0x10000000 and 0x8.
        // (a help topic that does not exist: a bad request)
        AccessCase{"/afpofm/help/other", 0xA, 200, 200, "Bad Http request"},
        AccessCase{"/afpofm/help/other", 0x10000008, 200, 200, "Bad Http request"},
        AccessCase{"/afpofm", 0xC, 200, 200, "Unauthorized access denied"},
        AccessCase{"/afpofm", 0x1, 200, 200, "Unauthorized access denied"},
        // Logs: hidden from 0x80000000 and 0x40000000; both 0x1 and 0x8.
        AccessCase{"/afplogs/other", 0x9, 200, 200, "Bad Http request"},
        AccessCase{"/afplogs/helpme", 0xFFFF, 200, 200, "Bad Http request"},
        AccessCase{"/afplogs", 0xA, 200, 200, "Unauthorized access denied"},
        AccessCase{"/afplogs", 0x1, 200, 200, "Unauthorized access denied"},
        AccessCase{"/afplogs", 0x40000009, 404, 0, nullptr},
        AccessCase{"/afplogs", 0x80000009, 404, 0, nullptr}));

} // namespace

} // namespace hxm_test
