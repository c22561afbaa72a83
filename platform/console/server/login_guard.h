/*
 * Logins over the users file made cheap for those who know their password
 * and dear for those who guess: a verified name and password is remembered
 * for a few minutes (as a keyed hash, never the password), and an address
 * that keeps failing must wait longer and longer before it may try again.
 */
#ifndef HXM_PLATFORM_CONSOLE_SERVER_LOGIN_GUARD_H
#define HXM_PLATFORM_CONSOLE_SERVER_LOGIN_GUARD_H

#include <sys/types.h>

#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

#include "platform/console/server/users.h"

namespace hxm_server {

class LoginGuard {
  public:
    using Clock = std::chrono::steady_clock;

    enum class Verdict { kAdmitted, kRefused, kThrottled };

    // Guards the users file at `path`, whose contents `users` already holds.
    LoginGuard(std::string path, UserTable users);
    LoginGuard(const LoginGuard &) = delete;
    LoginGuard &operator=(const LoginGuard &) = delete;

    // Checks a login from `address`. kThrottled (nothing hashed) while the
    // address must wait; *retrySeconds then says how long. Thread-safe.
    Verdict Check(const std::string &address, const std::string &name, const std::string &password,
                  unsigned int *flags, unsigned *retrySeconds);

  private:
    struct Remembered {
        unsigned char mac[32];
        unsigned int flags = 0;
        Clock::time_point until;
    };
    struct Failures {
        unsigned count = 0;
        Clock::time_point last;
    };
    struct FileStamp {
        dev_t device = 0;
        ino_t inode = 0;
        off_t size = 0;
        long long modified = 0; // nanoseconds
        bool operator==(const FileStamp &other) const;
    };
    static FileStamp Stamp(const std::string &path);
    void ReloadIfChanged();
    void Mac(const std::string &name, const std::string &password, unsigned char *mac) const;

    std::string path_;
    unsigned char key_[32];
    std::mutex mutex_;
    std::shared_ptr<const UserTable> users_;
    FileStamp stamp_;
    Clock::time_point checkedFile_;
    std::unordered_map<std::string, Remembered> remembered_; // by user name
    std::unordered_map<std::string, Failures> failures_;     // by address
};

} // namespace hxm_server

#endif
