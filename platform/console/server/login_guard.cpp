/*
 * The login guard, on nettle's HMAC-SHA256 and constant-time comparison.
 *
 * Notes: the remembered hash is keyed with a random key made at start-up
 * and kept only in memory, so neither a memory dump nor a table of common
 * passwords turns it back into a password. The users file is looked at
 * (stat) at most once a second; when it has changed it is read again and
 * everything remembered is forgotten; a file that cannot be read (gone,
 * malformed, open to others) then lets nobody in, and says so.
 *
 * Each table of failures holds at most kTracked keys and forgets the
 * least recently touched first. A throttled attempt is not counted: the
 * waits grow with what was actually tried.
 */
#include "platform/console/server/login_guard.h"

#include <nettle/hmac.h>
#include <nettle/memops.h>
#include <string.h>
#include <sys/random.h>
#include <sys/stat.h>

#include <algorithm>
#include <stdexcept>

#include "platform/console/server/address_prefix.h"
#include "platform/console/server/output_channel.h"

namespace hxm_server {
namespace {

constexpr std::chrono::minutes kRememberFor{5};
constexpr std::chrono::seconds kFileCheckInterval{1};
// Failures allowed from one address, and at one account, before each try
// must wait; the wait then doubles with each failure up to kLongestWait.
constexpr unsigned kFreeAddressFailures = 10;
constexpr unsigned kFreeAccountFailures = 20;
constexpr std::chrono::seconds kLongestWait{300};
constexpr std::chrono::minutes kForgetFailuresAfter{15};
// An address an account logged in from lately is spared that account's wait.
constexpr std::chrono::hours kKnownFor{24 * 7};
constexpr size_t kTracked = 10000;

std::chrono::seconds WaitAfter(unsigned failures, unsigned free) {
    if (failures < free)
        return std::chrono::seconds(0);
    unsigned shift = failures - free;
    if (shift >= 16)
        return kLongestWait;
    return std::min(std::chrono::seconds(1u << shift), kLongestWait);
}

// How long the counted failures still hold back a try at `now`.
RecentCounts::Clock::duration Left(const RecentCounts::Count *failed, unsigned free,
                                   RecentCounts::Clock::time_point now) {
    if (failed == nullptr)
        return RecentCounts::Clock::duration::zero();
    auto allowed = failed->last + WaitAfter(failed->count, free);
    return allowed > now ? allowed - now : RecentCounts::Clock::duration::zero();
}

} // namespace

const RecentCounts::Count *RecentCounts::Find(const std::string &key) const {
    auto found = entries_.find(key);
    return found == entries_.end() ? nullptr : &found->second.count;
}

void RecentCounts::Add(const std::string &key, Clock::time_point now, Clock::duration forgetAfter) {
    auto found = entries_.find(key);
    if (found == entries_.end()) {
        if (entries_.size() >= capacity_ && !order_.empty()) {
            entries_.erase(order_.front());
            order_.pop_front();
        }
        order_.push_back(key);
        found = entries_.emplace(key, Entry{Count(), std::prev(order_.end())}).first;
    } else {
        order_.splice(order_.end(), order_, found->second.place);
    }
    Count &count = found->second.count;
    if (now - count.last > forgetAfter)
        count.count = 0;
    ++count.count;
    count.last = now;
}

void RecentCounts::Subtract(const std::string &key, unsigned n) {
    auto found = entries_.find(key);
    if (found == entries_.end())
        return;
    if (found->second.count.count > n) {
        found->second.count.count -= n;
        return;
    }
    order_.erase(found->second.place);
    entries_.erase(found);
}

bool LoginGuard::FileStamp::operator==(const FileStamp &other) const {
    return device == other.device && inode == other.inode && size == other.size &&
           mode == other.mode && modified == other.modified;
}

LoginGuard::FileStamp LoginGuard::Stamp(const std::string &path) {
    FileStamp stamp;
    struct stat status;
    if (stat(path.c_str(), &status) == 0) {
        stamp.device = status.st_dev;
        stamp.inode = status.st_ino;
        stamp.size = status.st_size;
        stamp.mode = status.st_mode;
        stamp.modified =
            static_cast<long long>(status.st_mtim.tv_sec) * 1000000000LL + status.st_mtim.tv_nsec;
    }
    return stamp;
}

LoginGuard::LoginGuard(std::string path, UserTable users)
    : path_(std::move(path)), users_(std::make_shared<const UserTable>(std::move(users))),
      stamp_(Stamp(path_)), checkedFile_(Clock::now()), addressFailures_(kTracked),
      accountFailures_(kTracked), pairFailures_(kTracked), knownPairs_(kTracked) {
    if (getrandom(key_, sizeof key_, 0) != static_cast<ssize_t>(sizeof key_))
        throw std::runtime_error("cannot make a random key for remembered logins");
}

void LoginGuard::Mac(const std::string &name, const std::string &password,
                     unsigned char *mac) const {
    hmac_sha256_ctx context;
    hmac_sha256_set_key(&context, sizeof key_, key_);
    hmac_sha256_update(&context, name.size(), reinterpret_cast<const uint8_t *>(name.data()));
    const uint8_t separator = 0;
    hmac_sha256_update(&context, 1, &separator);
    hmac_sha256_update(&context, password.size(),
                       reinterpret_cast<const uint8_t *>(password.data()));
    hmac_sha256_digest(&context, SHA256_DIGEST_SIZE, mac);
}

// Under mutex_.
void LoginGuard::ReloadIfChanged() {
    Clock::time_point now = Clock::now();
    if (now - checkedFile_ < kFileCheckInterval)
        return;
    checkedFile_ = now;
    FileStamp stamp = Stamp(path_);
    if (stamp == stamp_)
        return;
    stamp_ = stamp;
    remembered_.clear();
    UserTable users;
    std::string error;
    if (!users.Load(path_, &error)) {
        Notice("nobody can log in until the users file is fixed: " + error);
        users = UserTable();
    } else if (users.empty()) {
        Notice("the users file " + path_ + " names no user: nobody can log in");
    }
    users_ = std::make_shared<const UserTable>(std::move(users));
}

bool LoginGuard::HasUsers() {
    std::lock_guard<std::mutex> lock(mutex_);
    ReloadIfChanged();
    return !users_->empty();
}

// Under mutex_.
LoginGuard::Clock::duration LoginGuard::WaitLeft(const std::string &from, const std::string &pair,
                                                 const std::string &name,
                                                 Clock::time_point now) const {
    Clock::duration wait = Left(addressFailures_.Find(from), kFreeAddressFailures, now);
    const RecentCounts::Count *known = knownPairs_.Find(pair);
    if (known == nullptr || now - known->last > kKnownFor)
        wait = std::max(wait, Left(accountFailures_.Find(name), kFreeAccountFailures, now));
    return wait;
}

// Under mutex_.
void LoginGuard::Succeeded(const std::string &from, const std::string &pair,
                           const std::string &name, Clock::time_point now) {
    const RecentCounts::Count *mine = pairFailures_.Find(pair);
    unsigned failed = mine != nullptr ? mine->count : 0;
    addressFailures_.Subtract(from, failed);
    accountFailures_.Subtract(name, failed);
    pairFailures_.Subtract(pair, failed);
    knownPairs_.Add(pair, now, kKnownFor);
}

LoginGuard::Verdict LoginGuard::Check(const std::string &address, const std::string &name,
                                      const std::string &password, unsigned int *flags,
                                      unsigned *retrySeconds) {
    const std::string from = NetworkOf(address, 32, 64);
    const std::string pair = from + '\n' + name;
    std::shared_ptr<const UserTable> users;
    unsigned char mac[SHA256_DIGEST_SIZE];
    Mac(name, password, mac);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ReloadIfChanged();
        Clock::time_point now = Clock::now();
        Clock::duration wait = WaitLeft(from, pair, name, now);
        if (wait > Clock::duration::zero()) {
            *retrySeconds = static_cast<unsigned>(
                                std::chrono::duration_cast<std::chrono::seconds>(wait).count()) +
                            1;
            return Verdict::kThrottled;
        }
        auto known = remembered_.find(name);
        if (known != remembered_.end() && known->second.until > now &&
            memeql_sec(known->second.mac, mac, sizeof mac)) {
            Succeeded(from, pair, name, now);
            *flags = known->second.flags;
            return Verdict::kAdmitted;
        }
        users = users_;
    }
    // The hash runs outside the lock: it is the slow part.
    unsigned int found = 0;
    bool ok = users->Authenticate(name, password.c_str(), &found);
    std::lock_guard<std::mutex> lock(mutex_);
    Clock::time_point now = Clock::now();
    if (!ok) {
        addressFailures_.Add(from, now, kForgetFailuresAfter);
        accountFailures_.Add(name, now, kForgetFailuresAfter);
        pairFailures_.Add(pair, now, kForgetFailuresAfter);
        return Verdict::kRefused;
    }
    Succeeded(from, pair, name, now);
    if (users == users_) {
        Remembered &entry = remembered_[name];
        memcpy(entry.mac, mac, sizeof mac);
        entry.flags = found;
        entry.until = now + kRememberFor;
    }
    *flags = found;
    return Verdict::kAdmitted;
}

} // namespace hxm_server
