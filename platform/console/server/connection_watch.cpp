/*
 * The connection watcher: a table of open connections and their deadlines,
 * and a thread that ends overdue ones.
 *
 * Notes: the daemon's own timeout counts only silence, so a byte every few
 * seconds would keep a slot forever. An overdue connection is shut down
 * (not closed): the daemon then reads end-of-file and closes it itself. The
 * daemon reports a connection closed before it closes the socket, and the
 * report takes the same lock as the shutdown, so the descriptor shut down is
 * always still that connection's.
 */
#include "platform/console/server/connection_watch.h"

#include <sys/socket.h>

namespace hxm_server {
namespace {

constexpr std::chrono::milliseconds kWatchInterval{200};

} // namespace

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
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = perAddress_.find(address);
    return found == perAddress_.end() || found->second < limits_.perAddress;
}

void ConnectionWatch::Opened(const void *connection, int fd, const std::string &address) {
    std::lock_guard<std::mutex> lock(mutex_);
    Entry &entry = connections_[connection];
    entry.fd = fd;
    entry.address = address;
    entry.deadline = Clock::now() + limits_.headTime;
    ++perAddress_[address];
}

void ConnectionWatch::Closed(const void *connection) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = connections_.find(connection);
    if (found == connections_.end())
        return;
    auto count = perAddress_.find(found->second.address);
    if (count != perAddress_.end() && --count->second == 0)
        perAddress_.erase(count);
    connections_.erase(found);
}

void ConnectionWatch::SetDeadline(const void *connection, Clock::time_point deadline) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = connections_.find(connection);
    if (found != connections_.end())
        found->second.deadline = deadline;
}

void ConnectionWatch::HeadArrived(const void *connection, unsigned long long bodyBytes) {
    if (bodyBytes == 0) {
        SetDeadline(connection, Clock::time_point());
        return;
    }
    auto seconds = std::chrono::seconds(bodyBytes / limits_.bodyBytesPerSecond);
    SetDeadline(connection, Clock::now() + limits_.headTime + seconds);
}

void ConnectionWatch::RequestDone(const void *connection) {
    SetDeadline(connection, Clock::now() + limits_.headTime);
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
            }
        }
    }
}

} // namespace hxm_server
