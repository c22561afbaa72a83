/*
 * Temporary roots, whole-file reads and writes, scoped variables: see files.h.
 */
#include "tests/support/files.h"

#include <errno.h>
#include <ftw.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <fstream>
#include <sstream>
#include <stdexcept>

namespace hxm_test {
namespace {

int RemoveEntry(const char *path, const struct stat *, int, struct FTW *) {
    return remove(path);
}

} // namespace

mode_t PermissionBits(const std::string &path) {
    struct stat status;
    if (lstat(path.c_str(), &status) != 0)
        return static_cast<mode_t>(-1);
    return status.st_mode & 07777;
}

void MakeDirectories(const std::string &path) {
    for (size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        std::string prefix = path.substr(0, slash);
        if (mkdir(prefix.c_str(), 0755) != 0 && errno != EEXIST)
            throw std::runtime_error("mkdir " + prefix);
        if (slash == std::string::npos)
            break;
    }
}

void WriteFile(const std::string &path, const std::string &content) {
    MakeDirectories(path.substr(0, path.rfind('/')));
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
    if (!out)
        throw std::runtime_error("write " + path);
}

std::string ReadFile(const std::string &path) {
    // The plug-in leaves its log with permission bits 0: lend the owner read
    // access while reading, then put the bits back.
    struct stat status;
    bool lent = stat(path.c_str(), &status) == 0 && (status.st_mode & S_IRUSR) == 0 &&
                chmod(path.c_str(), S_IRUSR) == 0;
    std::ifstream in(path, std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    if (lent)
        chmod(path.c_str(), status.st_mode & 07777);
    return content.str();
}

ScopedVariable::ScopedVariable(const std::string &name, const std::string &value) : name_(name) {
    const char *old = getenv(name.c_str());
    had_ = old != nullptr;
    if (had_)
        old_ = old;
    setenv(name.c_str(), value.c_str(), 1);
}

ScopedVariable::~ScopedVariable() {
    if (had_)
        setenv(name_.c_str(), old_.c_str(), 1);
    else
        unsetenv(name_.c_str());
}

TempRoot::TempRoot(const std::string &prefix) {
    const char *tmp = getenv("TMPDIR");
    std::string pattern =
        std::string(tmp != nullptr && tmp[0] != '\0' ? tmp : "/tmp") + "/" + prefix + "-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (mkdtemp(buffer.data()) == nullptr)
        throw std::runtime_error("mkdtemp");
    path_ = buffer.data();
}

TempRoot::~TempRoot() {
    nftw(path_.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS);
}

void TempRoot::MakeLogDirectory() const {
    MakeDirectories(LogDirectory());
}

void TempRoot::WriteConfig(const std::string &content) const {
    WriteFile(ConfigFile(), content);
}

void TempRoot::InstallGermanCatalogue(const std::string &file) const {
    std::string catalogue =
        ReadFile(file.empty() ? HXM_LOCALE_BUILD_DIR "/de/LC_MESSAGES/libhxm2afp.mo" : file);
    if (catalogue.empty())
        throw std::runtime_error("the German catalogue is not built");
    WriteFile(LocaleDirectory() + "/de/LC_MESSAGES/libhxm2afp.mo", catalogue);
    WriteFile(path_ + "/opt/zentra/hxm/locale/de/LC_MESSAGES/hxm-console.mo",
              ReadFile(HXM_CONSOLE_LOCALE_BUILD_DIR "/de/LC_MESSAGES/hxm-console.mo"));
}

std::vector<std::string> TempRoot::LogLines() const {
    std::vector<std::string> lines;
    std::istringstream in(ReadFile(LogFile()));
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

} // namespace hxm_test
