/*
 * The login guard, on nettle's HMAC-SHA256 and constant-time comparison.
 *
 * Notes: the remembered hash is keyed with a random key made at start-up
 * and kept only in memory, so neither a memory dump nor a table of common
 * passwords turns it back into a password. The users file is read and
 * digested at most once a second; when its bytes or permissions have
 * changed it is loaded again and everything remembered is forgotten; a
 * file that cannot be read (gone, malformed, open to others) then lets
 * nobody in, and says so.
 *
 * Each table of failures by address or by other names holds at most
 * kTracked keys and forgets the least recently touched first; the users'
 * own table is as large as the users file. A throttled or busy attempt is
 * not counted: the waits grow with what was actually tried.
 */
#include "platform/console/server/login_guard.h"

#include <fcntl.h>
#include <nettle/hmac.h>
#include <nettle/memops.h>
#include <nettle/sha2.h>
#include <string.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
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
// Failures at names that are no user an address may have hashed, so that a
// mistyped name looks like a wrong password; later ones cost nothing.
constexpr unsigned kHashedUnknownNames = 3;

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
    return readable == other.readable && mode == other.mode &&
           memcmp(digest, other.digest, sizeof digest) == 0;
}

LoginGuard::FileStamp LoginGuard::Stamp(const std::string &path) {
    FileStamp stamp;
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat status;
    if (fd < 0 || fstat(fd, &status) != 0) {
        if (fd >= 0)
            close(fd);
        return stamp;
    }
    stamp.mode = status.st_mode;
    sha256_ctx context;
    sha256_init(&context);
    uint8_t block[4096];
    ssize_t got;
    while ((got = read(fd, block, sizeof block)) > 0 || (got < 0 && errno == EINTR)) {
        if (got > 0)
            sha256_update(&context, static_cast<size_t>(got), block);
    }
    close(fd);
    stamp.readable = got == 0;
    sha256_digest(&context, sizeof stamp.digest, stamp.digest);
    return stamp;
}

bool LoginGuard::Bucket::Take(Clock::time_point now) {
    double seconds = std::chrono::duration<double>(now - filled).count();
    tokens = std::min(burst, tokens + seconds * perSecond);
    filled = now;
    if (tokens < 1)
        return false;
    tokens -= 1;
    return true;
}

LoginGuard::LoginGuard(std::string path, UserTable users, HashBudget budget)
    : path_(std::move(path)), users_(std::make_shared<const UserTable>(std::move(users))),
      stamp_(Stamp(path_)), checkedFile_(Clock::now()), addressFailures_(kTracked),
      accountFailures_(SIZE_MAX), otherNameFailures_(kTracked), pairFailures_(kTracked),
      knownPairs_(kTracked), knownAddresses_(kTracked), knownAccounts_(kTracked) {
    if (getrandom(key_, sizeof key_, 0) != static_cast<ssize_t>(sizeof key_))
        throw std::runtime_error("cannot make a random key for remembered logins");
    strangerHashes_.perSecond = budget.strangersPerSecond;
    strangerHashes_.burst = strangerHashes_.tokens = budget.strangersBurst;
    knownHashes_.perSecond = budget.knownPerSecond;
    knownHashes_.burst = knownHashes_.tokens = budget.knownBurst;
    strangerHashes_.filled = knownHashes_.filled = Clock::now();
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
    if (known == nullptr || now - known->last > kKnownFor) {
        const RecentCounts &byName = users_->Has(name) ? accountFailures_ : otherNameFailures_;
        wait = std::max(wait, Left(byName.Find(name), kFreeAccountFailures, now));
    }
    return wait;
}

// Under mutex_.
void LoginGuard::CountFailure(const std::string &from, const std::string &pair,
                              const std::string &name, bool isUser, Clock::time_point now) {
    addressFailures_.Add(from, now, kForgetFailuresAfter);
    (isUser ? accountFailures_ : otherNameFailures_).Add(name, now, kForgetFailuresAfter);
    pairFailures_.Add(pair, now, kForgetFailuresAfter);
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
    knownAddresses_.Add(from, now, kKnownFor);
    knownAccounts_.Add(name, now, kKnownFor);
}

// Under mutex_. Whether `key` succeeded within kKnownFor of `now`.
static bool KnownLately(const RecentCounts &successes, const std::string &key,
                        RecentCounts::Clock::time_point now) {
    const RecentCounts::Count *known = successes.Find(key);
    return known != nullptr && now - known->last <= kKnownFor;
}

LoginGuard::Verdict LoginGuard::Check(const std::string &address, const std::string &name,
                                      const std::string &password, unsigned int *flags,
                                      unsigned *retrySeconds) {
    PendingLogin pending;
    Verdict verdict = Begin(address, name, password, flags, retrySeconds, &pending);
    return verdict == Verdict::kHashNeeded ? Finish(pending, password, flags) : verdict;
}

LoginGuard::Verdict LoginGuard::Begin(const std::string &address, const std::string &name,
                                      const std::string &password, unsigned int *flags,
                                      unsigned *retrySeconds, PendingLogin *pending) {
    const std::string from = NetworkOf(address, 32, 64);
    const std::string pair = from + '\n' + name;
    unsigned char mac[SHA256_DIGEST_SIZE];
    Mac(name, password, mac);
    std::lock_guard<std::mutex> lock(mutex_);
    ReloadIfChanged();
    Clock::time_point now = Clock::now();
    Clock::duration wait = WaitLeft(from, pair, name, now);
    if (wait > Clock::duration::zero()) {
        *retrySeconds =
            static_cast<unsigned>(std::chrono::duration_cast<std::chrono::seconds>(wait).count()) +
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
    const bool isUser = users_->Has(name);
    if (!isUser) {
        const RecentCounts::Count *failed = addressFailures_.Find(from);
        if (failed != nullptr && failed->count >= kHashedUnknownNames) {
            CountFailure(from, pair, name, false, now);
            return Verdict::kRefused;
        }
    }
    bool knownLately = KnownLately(knownAddresses_, from, now) ||
                       (isUser && KnownLately(knownAccounts_, name, now));
    if (!(knownLately ? knownHashes_ : strangerHashes_).Take(now)) {
        *retrySeconds = 1;
        return Verdict::kBusy;
    }
    pending->from = from;
    pending->pair = pair;
    pending->name = name;
    memcpy(pending->mac, mac, sizeof mac);
    pending->users = users_;
    pending->known = knownLately;
    return Verdict::kHashNeeded;
}

LoginGuard::Verdict LoginGuard::Finish(const PendingLogin &pending, const std::string &password,
                                       unsigned int *flags) {
    unsigned int found = 0;
    bool ok = pending.users->Authenticate(pending.name, password.c_str(), &found);
    std::lock_guard<std::mutex> lock(mutex_);
    Clock::time_point now = Clock::now();
    if (!ok) {
        CountFailure(pending.from, pending.pair, pending.name, pending.users->Has(pending.name),
                     now);
        return Verdict::kRefused;
    }
    Succeeded(pending.from, pending.pair, pending.name, now);
    // A file read again meanwhile may have changed this user: nothing of
    // the older one is remembered.
    if (pending.users == users_) {
        Remembered &entry = remembered_[pending.name];
        memcpy(entry.mac, pending.mac, sizeof entry.mac);
        entry.flags = found;
        entry.until = now + kRememberFor;
    }
    *flags = found;
    return Verdict::kAdmitted;
}

} // namespace hxm_server
