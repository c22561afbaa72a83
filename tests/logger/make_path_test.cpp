/*
 * Directory chains (make_path, MakeLinuxPath), the path comparison and the
 * rotation control file, all under the tests' ZENTRA_ROOT.
 */
#include <errno.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "tests/support/plugin_api.h"

namespace hxm_test {
namespace {

bool is_directory(const std::string &path) {
    struct stat status;
    return stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

void make_file(const std::string &path) {
    FILE *file = fopen(path.c_str(), "w");
    ASSERT_NE(file, nullptr) << path;
    fclose(file);
}

class UmaskGuard {
  public:
    explicit UmaskGuard(mode_t mask) : old_(umask(mask)) {}
    ~UmaskGuard() { umask(old_); }

  private:
    mode_t old_;
};

struct ChainCase {
    const char *name;
    const char *relative; // under a fresh directory; "<file>" is an ordinary file there
    int result;
    int error; // errno when the result is -1
};

class MakePath : public testing::TestWithParam<ChainCase> {};

TEST_P(MakePath, BuildsTheChainOrSaysWhyNot) {
    std::string base = FreshDirectory("chain");
    make_file(base + "/file");
    ASSERT_EQ(mkdir((base + "/exists").c_str(), 0755), 0);
    ASSERT_EQ(mkdir((base + "/exists/too").c_str(), 0755), 0);
    std::string path = base + "/" + GetParam().relative;
    errno = 0;
    EXPECT_EQ(Plugin().makePath(path.c_str(), 0755), GetParam().result);
    if (GetParam().result == -1)
        EXPECT_EQ(errno, GetParam().error);
    else
        EXPECT_TRUE(is_directory(path));
}

INSTANTIATE_TEST_SUITE_P(Chains, MakePath,
                         testing::Values(ChainCase{"Existing", "exists/too", 0, 0},
                                         ChainCase{"New", "a/b/c", 0, 0},
                                         ChainCase{"TrailingSlash", "x/y/", 0, 0},
                                         ChainCase{"DoubledSlash", "p//q", 0, 0},
                                         ChainCase{"FileInTheMiddle", "file/below", -1, ENOTDIR},
                                         ChainCase{"FileLast", "file", -1, EEXIST},
                                         ChainCase{"FileLastWithSlash", "file/", -1, EEXIST},
                                         ChainCase{"UnderExisting", "exists/new", 0, 0}),
                         [](const testing::TestParamInfo<ChainCase> &info) {
                             return std::string(info.param.name);
                         });

TEST(MakePathEdges, RootAndEmptyPath) {
    const PluginApi &api = Plugin();
    EXPECT_EQ(api.makePath("/", 0), 0);
    errno = 0;
    EXPECT_EQ(api.makePath("", 0), -1);
    EXPECT_EQ(errno, ENOENT);
    errno = 0;
    EXPECT_EQ(api.makePath(nullptr, 0), -1);
    EXPECT_EQ(errno, EINVAL);
}

TEST(MakePathEdges, ModeZeroMeans0777UnderTheUmask) {
    UmaskGuard mask(022);
    std::string base = FreshDirectory("modes");
    ASSERT_EQ(Plugin().makePath((base + "/open/deeper").c_str(), 0), 0);
    EXPECT_EQ(PermissionBits(base + "/open"), 0755u);
    EXPECT_EQ(PermissionBits(base + "/open/deeper"), 0755u);
    ASSERT_EQ(Plugin().makePath((base + "/private").c_str(), 0700), 0);
    EXPECT_EQ(PermissionBits(base + "/private"), 0700u);
}

TEST(MakeLinuxPath, CreatesEveryLevelWith0744) {
    UmaskGuard mask(0);
    std::string base = FreshDirectory("linux");
    EXPECT_EQ(Plugin().makeLinuxPath((base + "/one/two/three").c_str()), 0);
    for (const char *level : {"/one", "/one/two", "/one/two/three"})
        EXPECT_EQ(PermissionBits(base + level), 0744u) << level;
}

TEST(MakeLinuxPath, ReturnsTheErrorNumber) {
    std::string base = FreshDirectory("linuxerror");
    make_file(base + "/plain");
    EXPECT_EQ(Plugin().makeLinuxPath((base + "/plain/sub").c_str()), ENOTDIR);
    EXPECT_EQ(Plugin().makeLinuxPath((base + "/plain").c_str()), EEXIST);
}

struct PathPair {
    const char *a;
    const char *b;
    int result;
};

class PathCheck : public testing::TestWithParam<PathPair> {};

TEST_P(PathCheck, MatchesEqualPathsAndSeparatorBoundaries) {
    EXPECT_EQ(Plugin().pathCheck(GetParam().a, GetParam().b), GetParam().result);
}

INSTANTIATE_TEST_SUITE_P(Pairs, PathCheck,
                         testing::Values(PathPair{"/a/b", "/a", 1}, PathPair{"/a", "/a/b", 1},
                                         PathPair{"/a/b", "/a/b", 1}, PathPair{"", "/x", 1},
                                         PathPair{"/x", "", 1}, PathPair{"", "", 1},
                                         PathPair{"/ab", "/a", 0}, PathPair{"/a", "/ab", 0},
                                         PathPair{"/A", "/a", 0}, PathPair{"a", "b", 0},
                                         PathPair{"", "x", 0}, PathPair{nullptr, "/a", 0}));

class RotateControl : public testing::Test {
  protected:
    // Fixed server paths as a caller passes them; they land under the root.
    std::string fixed(const char *relative) const { return "/" + name_ + "/" + relative; }
    std::string rooted(const char *relative) const { return Root() + fixed(relative); }

    void SetUp() override {
        static int counter = 0;
        Plugin();
        name_ = "rotate-" + std::to_string(++counter);
    }

    std::string name_;
};

TEST_F(RotateControl, InstallsTheFileOnceAndLinksIt) {
    UmaskGuard mask(022);
    const PluginApi &api = Plugin();
    std::string directory = fixed("etc/rotate.d");
    std::string control = fixed("etc/rotate.d/afp");
    std::string link = fixed("link-afp");
    EXPECT_EQ(api.setupLogRotateControlFile(directory.c_str(), control.c_str(), link.c_str(),
                                            "first content\n"),
              0);
    EXPECT_EQ(ReadFile(rooted("etc/rotate.d/afp")), "first content\n");
    EXPECT_EQ(PermissionBits(rooted("etc/rotate.d/afp")), 0644u);
    EXPECT_EQ(PermissionBits(rooted("etc")), 0744u);
    char target[4096] = {};
    ASSERT_GT(readlink(rooted("link-afp").c_str(), target, sizeof target - 1), 0);
    EXPECT_EQ(std::string(target), rooted("etc/rotate.d/afp"));

    EXPECT_EQ(api.setupLogRotateControlFile(directory.c_str(), control.c_str(), link.c_str(),
                                            "second content\n"),
              0);
    EXPECT_EQ(ReadFile(rooted("link-afp")), "first content\n");
}

TEST_F(RotateControl, LeavesAnythingAtTheLinkPathAlone) {
    const PluginApi &api = Plugin();
    ASSERT_EQ(api.makePath(rooted("").c_str(), 0), 0);
    ASSERT_EQ(symlink("/nowhere/at/all", rooted("dangling").c_str()), 0);
    EXPECT_EQ(api.setupLogRotateControlFile(fixed("d").c_str(), fixed("d/control").c_str(),
                                            fixed("dangling").c_str(), "x"),
              0);
    char target[4096] = {};
    ASSERT_GT(readlink(rooted("dangling").c_str(), target, sizeof target - 1), 0);
    EXPECT_STREQ(target, "/nowhere/at/all");
}

TEST_F(RotateControl, ReportsTheFailingStep) {
    const PluginApi &api = Plugin();
    ASSERT_EQ(api.makePath(rooted("").c_str(), 0), 0);
    make_file(rooted("blocker"));
    // The control file's directory is an ordinary file.
    EXPECT_EQ(api.setupLogRotateControlFile(fixed("blocker").c_str(),
                                            fixed("blocker/control").c_str(), fixed("link").c_str(),
                                            "x"),
              ENOTDIR);
    // The link's directory does not exist.
    EXPECT_EQ(api.setupLogRotateControlFile(fixed("d").c_str(), fixed("d/control").c_str(),
                                            fixed("missing/link").c_str(), "x"),
              ENOENT);
    EXPECT_EQ(ReadFile(rooted("d/control")), "x");
    EXPECT_EQ(api.setupLogRotateControlFile(nullptr, nullptr, fixed("l").c_str(), "x"), EINVAL);
}

TEST_F(RotateControl, RefusesPathsThatDoNotFitUnderTheRoot) {
    std::string huge = "/" + std::string(5000, 'h');
    EXPECT_EQ(Plugin().setupLogRotateControlFile(fixed("d").c_str(), huge.c_str(),
                                                 fixed("l").c_str(), "x"),
              ENAMETOOLONG);
}

} // namespace
} // namespace hxm_test
