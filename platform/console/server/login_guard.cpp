/*
 * The login guard, on nettle's HMAC-SHA256 and constant-time comparison.
 *
 * Notes: the remembered hash is keyed with a random key made at start-up
 * and kept only in memory, so neither a memory dump nor a table of common
 * passwords turns it back into a password. The users file is looked at
 * (stat) at most once a second; when it has changed it is read again and
 * everything remembered is forgotten.
 */
#include "platform/console/server/login_guard.h"

#include <nettle/hmac.h>
#include <nettle/memops.h>
#include <stdio.h>
#include <string.h>
#include <sys/random.h>
#include <sys/stat.h>

#include <stdexcept>

namespace hxm_server {
namespace {

constexpr std::chrono::minutes kRememberFor{5};
constexpr std::chrono::seconds kFileCheckInterval{1};
// Failures allowed from one address before it must wait between tries;
// the wait then doubles with each failure up to kLongestWait.
constexpr unsigned kFreeFailures = 10;
constexpr std::chrono::seconds kLongestWait{300};
constexpr std::chrono::minutes kForgetFailuresAfter{15};
constexpr size_t kMaxAddressesTracked = 10000;

std::chrono::seconds WaitAfter(unsigned failures) {
    if (failures < kFreeFailures)
        return std::chrono::seconds(0);
    unsigned shift = failures - kFreeFailures;
    if (shift >= 16)
        return kLongestWait;
    std::chrono::seconds wait(1u << shift);
    return wait < kLongestWait ? wait : kLongestWait;
}

} // namespace

bool LoginGuard::FileStamp::operator==(const FileStamp &other) const {
    return device == other.device && inode == other.inode && size == other.size &&
           modified == other.modified;
}

LoginGuard::FileStamp LoginGuard::Stamp(const std::string &path) {
    FileStamp stamp;
    struct stat status;
    if (stat(path.c_str(), &status) == 0) {
        stamp.device = status.st_dev;
        stamp.inode = status.st_ino;
        stamp.size = status.st_size;
        stamp.modified =
            static_cast<long long>(status.st_mtim.tv_sec) * 1000000000LL + status.st_mtim.tv_nsec;
    }
    return stamp;
}

LoginGuard::LoginGuard(std::string path, UserTable users)
    : path_(std::move(path)), users_(std::make_shared<const UserTable>(std::move(users))),
      stamp_(Stamp(path_)), checkedFile_(Clock::now()) {
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
        fprintf(stderr, "hxm-console: keeping the users read before: %s\n", error.c_str());
        return;
    }
    users_ = std::make_shared<const UserTable>(std::move(users));
}

LoginGuard::Verdict LoginGuard::Check(const std::string &address, const std::string &name,
                                      const std::string &password, unsigned int *flags,
                                      unsigned *retrySeconds) {
    unsigned char mac[SHA256_DIGEST_SIZE];
    Mac(name, password, mac);
    std::shared_ptr<const UserTable> users;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ReloadIfChanged();
        Clock::time_point now = Clock::now();
        auto known = remembered_.find(name);
        if (known != remembered_.end() && known->second.until > now &&
            memeql_sec(known->second.mac, mac, sizeof mac)) {
            *flags = known->second.flags;
            return Verdict::kAdmitted;
        }
        auto failed = failures_.find(address);
        if (failed != failures_.end()) {
            Clock::time_point allowed = failed->second.last + WaitAfter(failed->second.count);
            if (allowed > now) {
                auto wait = std::chrono::duration_cast<std::chrono::seconds>(allowed - now);
                *retrySeconds = static_cast<unsigned>(wait.count()) + 1;
                return Verdict::kThrottled;
            }
        }
        users = users_;
    }
    // The hash runs outside the lock: it is the slow part.
    unsigned int found = 0;
    bool ok = users->Authenticate(name, password.c_str(), &found);
    std::lock_guard<std::mutex> lock(mutex_);
    Clock::time_point now = Clock::now();
    if (ok) {
        failures_.erase(address);
        if (users == users_) {
            Remembered &entry = remembered_[name];
            memcpy(entry.mac, mac, sizeof mac);
            entry.flags = found;
            entry.until = now + kRememberFor;
        }
        *flags = found;
        return Verdict::kAdmitted;
    }
    if (failures_.size() >= kMaxAddressesTracked) {
        for (auto it = failures_.begin(); it != failures_.end();) {
            it = now - it->second.last > kForgetFailuresAfter ? failures_.erase(it) : ++it;
        }
    }
    if (failures_.size() < kMaxAddressesTracked || failures_.count(address) != 0) {
        Failures &entry = failures_[address];
        if (now - entry.last > kForgetFailuresAfter)
            entry.count = 0;
        ++entry.count;
        entry.last = now;
    }
    return Verdict::kRefused;
}

} // namespace hxm_server
