/*
 * The users file and password checks, on libcrypt's thread-safe calls.
 *
 * Notes: a failed login costs one hash whether the name exists or not (an
 * unknown name is hashed against the first user's hash), so the time taken
 * does not tell an attacker which names are valid.
 */
#include "platform/console/server/users.h"

#include <crypt.h>
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

#include <climits>
#include <fstream>
#include <memory>

namespace hxm_server {
namespace {

// crypt_r's result for `password` under `setting`, or empty when libcrypt
// refuses the setting. crypt_data is large (tens of KiB), so it lives on the
// heap rather than on a worker thread's stack.
std::string CryptOnce(const char *password, const std::string &setting) {
    auto data = std::make_unique<crypt_data>();
    memset(data.get(), 0, sizeof *data);
    const char *hashed = crypt_r(password, setting.c_str(), data.get());
    if (hashed == nullptr || hashed[0] == '*')
        return std::string();
    return hashed;
}

// Equal contents, in time that depends only on the lengths.
bool ConstantTimeEqual(const std::string &a, const std::string &b) {
    size_t longest = a.size() > b.size() ? a.size() : b.size();
    unsigned char difference = a.size() == b.size() ? 0 : 1;
    for (size_t i = 0; i < longest; ++i) {
        unsigned char x = i < a.size() ? static_cast<unsigned char>(a[i]) : 0;
        unsigned char y = i < b.size() ? static_cast<unsigned char>(b[i]) : 0;
        difference |= static_cast<unsigned char>(x ^ y);
    }
    return difference == 0;
}

std::string Trim(const std::string &text) {
    size_t begin = text.find_first_not_of(" \t\r");
    if (begin == std::string::npos)
        return std::string();
    size_t end = text.find_last_not_of(" \t\r");
    return text.substr(begin, end - begin + 1);
}

bool ParseFlags(const std::string &text, unsigned int *flags) {
    if (text.empty() || !(text[0] >= '0' && text[0] <= '9'))
        return false;
    errno = 0;
    char *end = nullptr;
    unsigned long value = strtoul(text.c_str(), &end, 0);
    if (errno != 0 || *end != '\0' || value > UINT_MAX)
        return false;
    *flags = static_cast<unsigned int>(value);
    return true;
}

} // namespace

bool UserTable::Load(const std::string &path, std::string *error) {
    std::ifstream in(path);
    struct stat status;
    if (!in || stat(path.c_str(), &status) != 0) {
        *error = "cannot read users file " + path + ": " + strerror(errno);
        return false;
    }
    if ((status.st_mode & 077) != 0) {
        char mode[8];
        snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(status.st_mode & 07777));
        *error = "users file " + path + " is open to group or others (mode " + mode +
                 "); it holds password hashes: chmod 600 " + path;
        return false;
    }
    std::unordered_map<std::string, User> users;
    std::string decoy;
    std::string line;
    unsigned lineNumber = 0;
    while (std::getline(in, line)) {
        ++lineNumber;
        std::string where = path + ":" + std::to_string(lineNumber) + ": ";
        std::string content = Trim(line);
        if (content.empty() || content[0] == '#')
            continue;
        size_t first = content.find(':');
        size_t last = content.rfind(':');
        if (first == std::string::npos || first == last) {
            *error = where + "expected name:crypt-hash:flags";
            return false;
        }
        std::string name = content.substr(0, first);
        User user;
        user.hash = content.substr(first + 1, last - first - 1);
        std::string flagText = Trim(content.substr(last + 1));
        if (name.empty() || name.find_first_of(" \t") != std::string::npos) {
            *error = where + "the user name is empty or contains blanks";
            return false;
        }
        if (!ParseFlags(flagText, &user.flags)) {
            *error = where;
            error->append("\"").append(flagText).append(
                "\" is not a 32-bit flag word (hex or decimal)");
            return false;
        }
        // A complete hash rehashes to a text of its own length; a truncated
        // one, or text that libcrypt reads as a bare salt, never matches.
        if (user.hash.empty() || CryptOnce("", user.hash).size() != user.hash.size()) {
            *error = where + "the password hash is not one crypt(3) can check";
            return false;
        }
        if (users.count(name) != 0) {
            *error = where;
            error->append("user \"").append(name).append("\" appears twice");
            return false;
        }
        if (decoy.empty())
            decoy = user.hash;
        users.emplace(name, std::move(user));
    }
    if (in.bad()) {
        *error = "cannot read users file " + path;
        return false;
    }
    users_ = std::move(users);
    decoyHash_ = std::move(decoy);
    return true;
}

bool UserTable::Authenticate(const std::string &name, const char *password,
                             unsigned int *flags) const {
    auto found = users_.find(name);
    bool known = found != users_.end();
    const std::string &expected = known ? found->second.hash : decoyHash_;
    std::string computed = CryptOnce(password, expected);
    bool match = !computed.empty() && ConstantTimeEqual(computed, expected);
    if (!known || !match)
        return false;
    *flags = found->second.flags;
    return true;
}

bool HashPassword(const std::string &password, std::string *hash, std::string *error) {
    char setting[CRYPT_GENSALT_OUTPUT_SIZE];
    // A null random source asks libcrypt for the system's own; count 0 is
    // the method's default cost.
    if (crypt_gensalt_rn("$y$", 0, nullptr, 0, setting, sizeof setting) == nullptr) {
        *error = std::string("cannot make a salt: ") + strerror(errno);
        return false;
    }
    std::string hashed = CryptOnce(password.c_str(), setting);
    if (hashed.empty()) {
        *error = std::string("cannot hash the password: ") + strerror(errno);
        return false;
    }
    *hash = std::move(hashed);
    return true;
}

} // namespace hxm_server
