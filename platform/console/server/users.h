/*
 * The users file: who may use the console and with which access flag word.
 * Passwords are kept only as crypt(3) hashes.
 */
#ifndef HXM_PLATFORM_CONSOLE_SERVER_USERS_H
#define HXM_PLATFORM_CONSOLE_SERVER_USERS_H

#include <string>
#include <unordered_map>

namespace hxm_server {

class UserTable {
  public:
    // Reads lines "name:crypt-hash:flags" (flags in hex or decimal; blank
    // lines and lines starting with '#' are skipped). Every hash is tried
    // once, so a hash crypt(3) cannot use is caught here rather than at the
    // first login. A file without users is read as such: nobody may log in.
    // False, with *error naming the file and line, on a malformed line, a
    // repeated name, an unreadable file, or a file that group or others may
    // read or write (it holds password hashes, which can be guessed at
    // offline, and whoever may write it may make themselves a user).
    bool Load(const std::string &path, std::string *error);

    // True when name and password match a user; *flags is then that user's
    // flag word. Takes the same work whether the name is unknown or the
    // password wrong, and compares in constant time. Thread-safe.
    bool Authenticate(const std::string &name, const char *password, unsigned int *flags) const;

    bool empty() const { return users_.empty(); }

    // Whether `name` is a user of the file.
    bool Has(const std::string &name) const { return users_.count(name) != 0; }

  private:
    struct User {
        std::string hash;
        unsigned int flags = 0;
    };
    std::unordered_map<std::string, User> users_;
    std::string decoyHash_; // hashed against when the name is unknown
};

// Makes a new yescrypt hash of `password` with a fresh random salt. False,
// with *error set, when the system cannot make one.
bool HashPassword(const std::string &password, std::string *hash, std::string *error);

} // namespace hxm_server

#endif
