/*
 * Path helpers: parent paths, the canonical-name check with its debug lines,
 * and directory creation.
 */
#include <errno.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "tests/support/logger_fixture.h"

namespace hxm_test {
namespace {

struct ParentCase {
    const char *path;
    const char *parent;
};

class MakeParentPath : public testing::TestWithParam<ParentCase> {};

TEST_P(MakeParentPath, CutsBeforeTheLastSlash) {
    char out[64];
    memset(out, 'z', sizeof out);
    EXPECT_EQ(Plugin().makeParentPath(GetParam().path, out), out);
    EXPECT_STREQ(out, GetParam().parent);
    char same[64];
    snprintf(same, sizeof same, "%s", GetParam().path);
    EXPECT_STREQ(Plugin().makeParentPath(same, same), GetParam().parent);
}

INSTANTIATE_TEST_SUITE_P(Paths, MakeParentPath,
                         testing::Values(ParentCase{"a/b/c", "a/b"}, ParentCase{"a/b/", "a/b"},
                                         ParentCase{"/var/log/x.log", "/var/log"},
                                         ParentCase{"/x", ""}, ParentCase{"abc", ""},
                                         ParentCase{"/", ""}, ParentCase{"", ""},
                                         ParentCase{"a//b", "a/"}));

class PathHelpers : public LoggerTest {};

TEST_F(PathHelpers, VerifyAcceptsOnlyCanonicalExistingPaths) {
    std::string file = directory_ + "/real";
    FILE *created = fopen(file.c_str(), "w");
    ASSERT_NE(created, nullptr);
    fclose(created);
    ASSERT_EQ(symlink(file.c_str(), (directory_ + "/link").c_str()), 0);

    EXPECT_EQ(api().verifyLinuxPath(file.c_str()), 0);
    EXPECT_EQ(api().verifyLinuxPath(directory_.c_str()), 0);
    EXPECT_EQ(api().verifyLinuxPath((directory_ + "/missing").c_str()), ENOENT);
    EXPECT_EQ(api().verifyLinuxPath((directory_ + "//real").c_str()), ELOOP);
    EXPECT_EQ(api().verifyLinuxPath((directory_ + "/link").c_str()), ELOOP);
    EXPECT_EQ(api().verifyLinuxPath((directory_ + "/").c_str()), ELOOP);
    EXPECT_EQ(api().verifyLinuxPath((directory_ + "/./real").c_str()), ELOOP);
    EXPECT_EQ(api().verifyLinuxPath(nullptr), EINVAL);
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    ASSERT_EQ(chdir(directory_.c_str()), 0);
    EXPECT_EQ(api().verifyLinuxPath("real"), ELOOP);
    ASSERT_EQ(chdir(cwd), 0);

    std::string d = directory_;
    EXPECT_EQ(Content(), "[D T] [VerifyLinuxPath] lnxpath=" + file + "\n" +
                             "[D T] [VerifyLinuxPath] lnxpath=" + d + "\n" +
                             "[D T] [VerifyLinuxPath] lnxpath=" + d + "/missing\n" +
                             "[D T] [VerifyLinuxPath] stat lnxpath=" + d + "/missing rc=2\n" +
                             "[D T] [VerifyLinuxPath] lnxpath=" + d + "//real\n" +
                             "[D T] [VerifyLinuxPath] strcmp lnxpath=" + d + "//real rc=40\n" +
                             "[D T] [VerifyLinuxPath] lnxpath=" + d + "/link\n" +
                             "[D T] [VerifyLinuxPath] strcmp lnxpath=" + d + "/link rc=40\n" +
                             "[D T] [VerifyLinuxPath] lnxpath=" + d + "/\n" +
                             "[D T] [VerifyLinuxPath] strcmp lnxpath=" + d + "/ rc=40\n" +
                             "[D T] [VerifyLinuxPath] lnxpath=" + d + "/./real\n" +
                             "[D T] [VerifyLinuxPath] strcmp lnxpath=" + d + "/./real rc=40\n" +
                             "[D T] [VerifyLinuxPath] lnxpath=real\n" +
                             "[D T] [VerifyLinuxPath] strcmp lnxpath=real rc=40\n");
}

TEST_F(PathHelpers, PkgDirBuildFollowsTheChainRules) {
    std::string plain = directory_ + "/plain";
    FILE *created = fopen(plain.c_str(), "w");
    ASSERT_NE(created, nullptr);
    fclose(created);
    EXPECT_EQ(api().pkgDirBuild("/", 0), 0);
    EXPECT_EQ(api().pkgDirBuild((directory_ + "/n/e/w/").c_str(), 0), 0);
    struct stat status;
    EXPECT_EQ(stat((directory_ + "/n/e/w").c_str(), &status), 0);
    EXPECT_EQ(api().pkgDirBuild((directory_ + "/n/e/w").c_str(), 0), 0);
    errno = 0;
    EXPECT_EQ(api().pkgDirBuild("", 0), -1);
    EXPECT_EQ(errno, ENOENT);
    EXPECT_EQ(api().pkgDirBuild((plain + "/x").c_str(), 0), -1);
    EXPECT_EQ(errno, ENOTDIR);
    EXPECT_EQ(api().pkgDirBuild(plain.c_str(), 0), -1);
    EXPECT_EQ(errno, EEXIST);
}

TEST_F(PathHelpers, CreateLinuxPathReturnsErrorNumbersAndLogs) {
    mode_t old = umask(0);
    std::string chain = directory_ + "/c1/c2";
    EXPECT_EQ(api().createLinuxPath(chain.c_str()), 0);
    struct stat status;
    ASSERT_EQ(stat(chain.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0744u);
    umask(old);
    std::string blocked = path_ + "/sub"; // the log file is an ordinary file
    EXPECT_EQ(api().createLinuxPath(blocked.c_str()), ENOTDIR);
    EXPECT_EQ(Content(), "[D T] [CreateLinuxPath] lnxpath=" + chain + "\n" +
                             "[D T] [CreateLinuxPath] lnxpath=" + blocked + "\n" +
                             "[D T] [CreateLinuxPath] lnxpath=" + blocked + " rc=20\n");
}

TEST_F(PathHelpers, MakeLinuxFolderMakesOneDirectory) {
    mode_t old = umask(0);
    std::string folder = directory_ + "/folder";
    EXPECT_EQ(api().makeLinuxFolder(&folder[0]), 0);
    struct stat status;
    ASSERT_EQ(stat(folder.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0744u);
    umask(old);
    errno = 0;
    EXPECT_EQ(api().makeLinuxFolder(&folder[0]), -1);
    EXPECT_EQ(errno, EEXIST);
    std::string deep = directory_ + "/no/parent";
    EXPECT_EQ(api().makeLinuxFolder(&deep[0]), -1);
    EXPECT_EQ(errno, ENOENT);
}

TEST(PathHelpersWithoutLogger, StayQuietWhileTheLoggerIsDown) {
    const PluginApi &api = Plugin();
    Logger *saved = *api.log;
    *api.log = nullptr;
    EXPECT_EQ(api.verifyLinuxPath("/no/such/path/at/all"), ENOENT);
    int flag = 0;
    EXPECT_EQ(api.postRadiobutton("a=b", "radio", &flag), 2);
    *api.log = saved;
}

} // namespace
} // namespace hxm_test
