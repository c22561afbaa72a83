/*
 * Files and environment for tests: a private directory tree (a ZENTRA_ROOT or
 * scratch space) removed with everything in it, whole-file reads and writes,
 * and an environment variable set for a scope.
 */
#ifndef HXM_TESTS_SUPPORT_FILES_H
#define HXM_TESTS_SUPPORT_FILES_H

#include <sys/types.h>

#include <string>
#include <vector>

namespace hxm_test {

/* A fresh directory under $TMPDIR (or /tmp) named `prefix`-XXXXXX, used as
 * ZENTRA_ROOT or scratch space; removed with everything in it. */
class TempRoot {
  public:
    explicit TempRoot(const std::string &prefix = "hxm2afp-test");
    ~TempRoot();
    TempRoot(const TempRoot &) = delete;
    TempRoot &operator=(const TempRoot &) = delete;

    const std::string &path() const { return path_; }
    std::string ConfigFile() const { return path_ + "/opt/zentra/lib/libhxm2afp.conf"; }
    std::string LogDirectory() const { return path_ + "/var/opt/zentra/log"; }
    std::string LogFile() const { return LogDirectory() + "/libhxm2afp.log"; }
    std::string LocaleDirectory() const { return path_ + "/opt/zentra/afpsvcd/locale"; }

    /* Creates the log folder, so the logger can open its file. */
    void MakeLogDirectory() const;
    /* Writes the configuration file (creating its folder). */
    void WriteConfig(const std::string &content) const;
    /* Puts the built German catalogue (or another .mo file as the German one)
     * where the plug-in looks for it, and the console's where it looks. */
    void InstallGermanCatalogue(const std::string &catalogue = "") const;
    /* The log file's lines (readable even with permission bits 0). */
    std::vector<std::string> LogLines() const;

  private:
    std::string path_;
};

/* Sets an environment variable for the object's lifetime; restores (or
 * removes) it afterwards. */
class ScopedVariable {
  public:
    ScopedVariable(const std::string &name, const std::string &value);
    ~ScopedVariable();
    ScopedVariable(const ScopedVariable &) = delete;
    ScopedVariable &operator=(const ScopedVariable &) = delete;

  private:
    std::string name_;
    bool had_ = false;
    std::string old_;
};

/* The permission bits of `path` itself (a link is not followed), or
 * (mode_t)-1 when it does not exist. */
mode_t PermissionBits(const std::string &path);
/* Creates every missing folder of `path`. */
void MakeDirectories(const std::string &path);
/* Writes `content` to `path`, creating its parent folders. */
void WriteFile(const std::string &path, const std::string &content);
/* The whole content of a file ("" when it cannot be read), even one the
 * plug-in left with permission bits 0. */
std::string ReadFile(const std::string &path);

} // namespace hxm_test

#endif
