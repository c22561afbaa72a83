/*
 * Logins over the users file made cheap for those who know their password
 * and dear for those who guess: a verified name and password is remembered
 * for a few minutes (as a keyed hash, never the password), and an address,
 * or an account, that keeps failing must wait longer and longer before it
 * may try again.
 */
#ifndef HXM_PLATFORM_CONSOLE_SERVER_LOGIN_GUARD_H
#define HXM_PLATFORM_CONSOLE_SERVER_LOGIN_GUARD_H

#include <sys/types.h>

#include <chrono>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

#include "platform/console/server/users.h"

namespace hxm_server {

// Failure counts by key that forget their least recently touched key when
// full, so a flood of new keys pushes out old ones instead of going
// uncounted.
class RecentCounts {
  public:
    using Clock = std::chrono::steady_clock;
    struct Count {
        unsigned count = 0;
        Clock::time_point last;
    };

    explicit RecentCounts(size_t capacity) : capacity_(capacity) {}

    // The key's count, or null.
    const Count *Find(const std::string &key) const;
    // One more at `now`; a count quiet for `forgetAfter` starts afresh.
    void Add(const std::string &key, Clock::time_point now, Clock::duration forgetAfter);
    // Takes `n` off (the key goes at 0).
    void Subtract(const std::string &key, unsigned n);

  private:
    using Order = std::list<std::string>;
    struct Entry {
        Count count;
        Order::iterator place;
    };
    size_t capacity_;
    std::unordered_map<std::string, Entry> entries_;
    Order order_; // least recently touched first
};

class LoginGuard {
  public:
    using Clock = std::chrono::steady_clock;

    enum class Verdict { kAdmitted, kRefused, kThrottled, kBusy };

    // Guards the users file at `path`, whose contents `users` already holds.
    LoginGuard(std::string path, UserTable users);
    LoginGuard(const LoginGuard &) = delete;
    LoginGuard &operator=(const LoginGuard &) = delete;

    // Checks a login from `address`. The throttle comes before anything is
    // compared: kThrottled, with nothing hashed and nothing remembered
    // consulted, while the address (an IPv6 address's /64) or the account
    // must wait; *retrySeconds then says how long. An account's wait spares
    // the addresses it logged in from lately, so its owner still gets in
    // while others guess at it. A success clears only that account's
    // failures from that address. Thread-safe.
    Verdict Check(const std::string &address, const std::string &name, const std::string &password,
                  unsigned int *flags, unsigned *retrySeconds);

    // Whether the users file names anyone (read again first if it changed).
    bool HasUsers();

  private:
    struct Remembered {
        unsigned char mac[32];
        unsigned int flags = 0;
        Clock::time_point until;
    };
    struct FileStamp {
        dev_t device = 0;
        ino_t inode = 0;
        off_t size = 0;
        mode_t mode = 0;
        long long modified = 0; // nanoseconds
        bool operator==(const FileStamp &other) const;
    };
    static FileStamp Stamp(const std::string &path);
    void ReloadIfChanged();
    void Succeeded(const std::string &from, const std::string &pair, const std::string &name,
                   Clock::time_point now);
    Clock::duration WaitLeft(const std::string &from, const std::string &pair,
                             const std::string &name, Clock::time_point now) const;
    void Mac(const std::string &name, const std::string &password, unsigned char *mac) const;

    std::string path_;
    unsigned char key_[32];
    std::mutex mutex_;
    std::shared_ptr<const UserTable> users_;
    FileStamp stamp_;
    Clock::time_point checkedFile_;
    std::unordered_map<std::string, Remembered> remembered_; // by user name
    RecentCounts addressFailures_;                           // by address or /64
    RecentCounts accountFailures_;                           // by user name, known or not
    RecentCounts pairFailures_;                              // by address and name
    RecentCounts knownPairs_;                                // successes, by address and name
};

} // namespace hxm_server

#endif
