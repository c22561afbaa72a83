/*
 * Logins over the users file made cheap for those who know their password
 * and dear for those who guess: a verified name and password is remembered
 * for a few minutes (as a keyed hash, never the password), and an address,
 * or an account, that keeps failing must wait longer and longer before it
 * may try again. Password hashes are the console's dearest work, so
 * guessing may spend only a few of them a second, whatever the number of
 * addresses it comes from, and those who logged in lately come first.
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

// Password hashes a second, and at most in one burst, for logins that
// are not remembered: strangers share one budget; known ones (from an
// address or at an account that logged in during the last week) have
// their own, so a flood of strangers never holds up the owner. Their
// guesses are still throttled.
struct HashBudget {
    double strangersPerSecond = 2;
    double strangersBurst = 16;
    double knownPerSecond = 32;
    double knownBurst = 64;
};

class LoginGuard {
  public:
    using Clock = std::chrono::steady_clock;

    enum class Verdict { kAdmitted, kRefused, kThrottled, kBusy, kHashNeeded };

    // What Finish() needs of a login that Begin() left to a hash.
    struct PendingLogin {
        std::string from;
        std::string pair;
        std::string name;
        unsigned char mac[32];
        std::shared_ptr<const UserTable> users;
        bool known = false; // from an address or at an account known lately
    };

    // Guards the users file at `path`, whose contents `users` already holds.
    LoginGuard(std::string path, UserTable users, HashBudget budget = HashBudget());
    LoginGuard(const LoginGuard &) = delete;
    LoginGuard &operator=(const LoginGuard &) = delete;

    // Checks a login from `address`. The throttle comes before anything is
    // compared: kThrottled, with nothing hashed and nothing remembered
    // consulted, while the address (an IPv6 address's /64) or the account
    // must wait; *retrySeconds then says how long. An account's wait spares
    // the addresses it logged in from lately, so its owner still gets in
    // while others guess at it. A success clears only that account's
    // failures from that address. A login not remembered needs a hash from
    // its budget: kBusy (retry in a second, nothing counted) when it is
    // spent. A name that is no user is refused without a hash once its
    // address has failed kHashedUnknownNames times; before that it costs a
    // hash like a wrong password, so a mistyped name does not show. The
    // failures of real accounts are kept apart from those of other names,
    // which cannot push them out. Thread-safe.
    Verdict Check(const std::string &address, const std::string &name, const std::string &password,
                  unsigned int *flags, unsigned *retrySeconds);

    // Check() in two steps, so that the hash can run away from the thread
    // that serves connections: Begin() never hashes and answers all but
    // kHashNeeded, when *pending holds what Finish() needs; Finish() hashes
    // and answers kAdmitted or kRefused. Thread-safe.
    Verdict Begin(const std::string &address, const std::string &name, const std::string &password,
                  unsigned int *flags, unsigned *retrySeconds, PendingLogin *pending);
    Verdict Finish(const PendingLogin &pending, const std::string &password, unsigned int *flags);

    // Whether the users file names anyone (read again first if it changed).
    bool HasUsers();

  private:
    struct Remembered {
        unsigned char mac[32];
        unsigned int flags = 0;
        Clock::time_point until;
    };
    // The users file as last read: its permissions and a digest of its
    // bytes, so an edit that keeps the size and puts the time back shows.
    struct FileStamp {
        bool readable = false;
        mode_t mode = 0;
        unsigned char digest[32] = {};
        bool operator==(const FileStamp &other) const;
    };
    // A bucket that refills at `perSecond`, holding at most `burst`.
    struct Bucket {
        double perSecond = 0;
        double burst = 0;
        double tokens = 0;
        Clock::time_point filled;
        bool Take(Clock::time_point now);
    };
    static FileStamp Stamp(const std::string &path);
    void ReloadIfChanged();
    void CountFailure(const std::string &from, const std::string &pair, const std::string &name,
                      bool isUser, Clock::time_point now);
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
    RecentCounts accountFailures_;   // by user of the file, never pushed out
    RecentCounts otherNameFailures_; // names that are no user
    RecentCounts pairFailures_;      // by address and name
    RecentCounts knownPairs_;        // successes, by address and name
    RecentCounts knownAddresses_;    // successes, by address
    RecentCounts knownAccounts_;     // successes, by user name
    Bucket strangerHashes_;
    Bucket knownHashes_;
};

} // namespace hxm_server

#endif
