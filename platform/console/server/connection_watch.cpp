/*
 * The connection watcher: a table of open connections and their deadlines,
 * and a thread that ends overdue ones.
 *
 * Notes: the daemon's own timeout counts only silence, so a byte every few
 * seconds, sent or read, would keep a slot forever. An overdue connection is shut down
 * (not closed): the daemon then reads end-of-file and closes it itself. The
 * daemon reports a connection closed before it closes the socket, and the
 * report takes the same lock as the shutdown, so the descriptor shut down is
 * always still that connection's.
 */
#include "platform/console/server/connection_watch.h"

#include <sys/socket.h>

#include "platform/console/server/address_prefix.h"

namespace hxm_server {
namespace {

constexpr std::chrono::milliseconds kWatchInterval{200};
// Longer than any transfer at the minimum rate that the console allows; a
// length beyond it (a client may claim any) gets this and no more, so the
// deadline never overflows the clock.
constexpr unsigned long long kLongestTransferSeconds = 24ULL * 3600;

// By phase, in the order of ConnectionWatch::Phase; a request being served
// has no deadline.
constexpr const char *kCutReasons[] = {"head-too-slow", "body-too-slow", "-", "response-too-slow"};

void Release(std::map<std::string, unsigned> *counts, const std::string &key) {
    auto count = counts->find(key);
    if (count != counts->end() && --count->second == 0)
        counts->erase(count);
}

unsigned CountOf(const std::map<std::string, unsigned> &counts, const std::string &key) {
    auto found = counts.find(key);
    return found == counts.end() ? 0 : found->second;
}

} // namespace

// Loopback addresses are all this host: whoever uses them could take any of
// them, so grouping them would shut out the local administrator and stop
// no one.
std::string ConnectionWatch::NetworkKey(const std::string &address) const {
    return IsLoopbackAddress(address) ? address : NetworkOf(address, 24, 64);
}

ConnectionWatch::Clock::time_point
ConnectionWatch::TransferDeadline(unsigned long long bytes) const {
    unsigned long long seconds = bytes / limits_.bytesPerSecond;
    if (seconds > kLongestTransferSeconds)
        seconds = kLongestTransferSeconds;
    return Clock::now() + limits_.headTime + std::chrono::seconds(seconds);
}

void ConnectionWatch::Start() {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = false;
    watcher_ = std::thread(&ConnectionWatch::Watch, this);
}

void ConnectionWatch::Stop() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (watcher_.joinable())
        watcher_.join();
}

bool ConnectionWatch::Admit(const std::string &address) const {
    if (IsTrusted(address))
        return true;
    std::string network = NetworkKey(address);
    std::lock_guard<std::mutex> lock(mutex_);
    return CountOf(perAddress_, address) < limits_.perAddress &&
           CountOf(perNetwork_, network) < limits_.perNetwork;
}

void ConnectionWatch::Opened(const void *connection, int fd, const std::string &address) {
    std::string network = NetworkKey(address);
    std::lock_guard<std::mutex> lock(mutex_);
    Entry &entry = connections_[connection];
    entry.fd = fd;
    entry.address = address;
    entry.network = network;
    entry.deadline = Clock::now() + limits_.headTime;
    ++perAddress_[address];
    ++perNetwork_[network];
}

bool ConnectionWatch::Closed(const void *connection, std::string *address, std::string *reason) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = connections_.find(connection);
    if (found == connections_.end())
        return false;
    Entry &entry = found->second;
    bool untold = entry.cut != nullptr;
    if (untold) {
        *address = entry.address;
        *reason = entry.cut;
    }
    Release(&perAddress_, entry.address);
    Release(&perNetwork_, entry.network);
    connections_.erase(found);
    return untold;
}

std::string ConnectionWatch::TakeCutReason(const void *connection) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = connections_.find(connection);
    if (found == connections_.end() || found->second.cut == nullptr)
        return std::string();
    std::string reason = found->second.cut;
    found->second.cut = nullptr;
    return reason;
}

void ConnectionWatch::SetDeadline(const void *connection, Phase phase, Clock::time_point deadline) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = connections_.find(connection);
    if (found != connections_.end()) {
        found->second.phase = phase;
        found->second.deadline = deadline;
    }
}

void ConnectionWatch::HeadArrived(const void *connection, bool bodyFollows) {
    if (!bodyFollows) {
        SetDeadline(connection, Phase::kServing, Clock::time_point());
        return;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = connections_.find(connection);
    if (found == connections_.end())
        return;
    Entry &entry = found->second;
    entry.phase = Phase::kBody;
    entry.bodyStart = Clock::now();
    entry.bodyBytes = 0;
    entry.deadline = entry.bodyStart + limits_.headTime;
}

void ConnectionWatch::BodyArrived(const void *connection, unsigned long long bytes) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = connections_.find(connection);
    if (found == connections_.end() || found->second.phase != Phase::kBody)
        return;
    Entry &entry = found->second;
    entry.bodyBytes += bytes;
    // Milliseconds, so that every byte counts; bounded like any transfer.
    unsigned long long earned = entry.bodyBytes * 1000 / limits_.bytesPerSecond;
    if (earned > kLongestTransferSeconds * 1000)
        earned = kLongestTransferSeconds * 1000;
    entry.deadline = entry.bodyStart + limits_.headTime + std::chrono::milliseconds(earned);
}

void ConnectionWatch::ResponseQueued(const void *connection, unsigned long long bytes) {
    SetDeadline(connection, Phase::kResponse, TransferDeadline(bytes));
}

void ConnectionWatch::RequestStarted(const void *connection) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = connections_.find(connection);
    if (found != connections_.end())
        found->second.requestStarted = true;
}

void ConnectionWatch::RequestDone(const void *connection) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = connections_.find(connection);
    if (found == connections_.end())
        return;
    Entry &entry = found->second;
    entry.phase = Phase::kHead;
    entry.deadline = Clock::now() + limits_.headTime;
    entry.served = true;
    entry.requestStarted = false;
}

void ConnectionWatch::Watch() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!stopping_) {
        wake_.wait_for(lock, kWatchInterval);
        Clock::time_point now = Clock::now();
        for (auto &connection : connections_) {
            Entry &entry = connection.second;
            if (entry.deadline != Clock::time_point() && entry.deadline < now) {
                shutdown(entry.fd, SHUT_RDWR);
                entry.deadline = Clock::time_point();
                bool idle = entry.phase == Phase::kHead && entry.served && !entry.requestStarted;
                if (!idle)
                    entry.cut = kCutReasons[static_cast<int>(entry.phase)];
            }
        }
    }
}

} // namespace hxm_server
