/*
 * The connections the console holds, watched so that slow clients cannot
 * keep them: a request head must arrive whole within a bounded time (a
 * body at a minimum rate), however the client trickles it, and no one
 * address may hold more than its share of the connections.
 */
#ifndef HXM_PLATFORM_CONSOLE_SERVER_CONNECTION_WATCH_H
#define HXM_PLATFORM_CONSOLE_SERVER_CONNECTION_WATCH_H

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>

namespace hxm_server {

class ConnectionWatch {
  public:
    using Clock = std::chrono::steady_clock;

    struct Limits {
        unsigned perAddress = 32;
        std::chrono::seconds headTime{10};
        unsigned bodyBytesPerSecond = 16 * 1024;
        std::set<std::string> trusted; // numeric addresses without a per-address limit
    };

    explicit ConnectionWatch(Limits limits) : limits_(std::move(limits)) {}
    ConnectionWatch(const ConnectionWatch &) = delete;
    ConnectionWatch &operator=(const ConnectionWatch &) = delete;
    ~ConnectionWatch() { Stop(); }

    void Start();
    void Stop();

    // Whether a new connection from `address` may be accepted.
    bool Admit(const std::string &address) const;

    // A connection opened on socket `fd`: its first head is due in time.
    void Opened(const void *connection, int fd, const std::string &address);
    void Closed(const void *connection);

    // Its head arrived whole; a body of `bodyBytes` (the most allowed, when
    // the length is not given up front) then gets time at the minimum rate.
    void HeadArrived(const void *connection, unsigned long long bodyBytes);

    // Its request is done: the next head (or nothing) is due in time.
    void RequestDone(const void *connection);

    bool IsTrusted(const std::string &address) const { return limits_.trusted.count(address) != 0; }

  private:
    struct Entry {
        int fd = -1;
        std::string address;
        Clock::time_point deadline; // zero: none
    };
    void SetDeadline(const void *connection, Clock::time_point deadline);
    void Watch();

    Limits limits_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false;
    std::map<const void *, Entry> connections_;
    std::map<std::string, unsigned> perAddress_;
    std::thread watcher_;
};

} // namespace hxm_server

#endif
