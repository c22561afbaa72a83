/*
 * The connections the console holds, watched so that slow clients cannot
 * keep them: a request head must arrive whole within a bounded time, a body
 * and a response must move at a minimum rate, however the client trickles
 * or reads, and no one address or network may hold more than its share of
 * the connections. A body's time is earned by the bytes that arrive, never
 * by the length its head declares.
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
        unsigned perAddress = 16;
        unsigned perNetwork = 64; // per IPv4 /24 or IPv6 /64; loopback counts by address
        std::chrono::seconds headTime{10};
        unsigned bytesPerSecond = 16 * 1024; // the slowest a body or response may move
        std::set<std::string> trusted;       // numeric addresses without these limits
    };

    explicit ConnectionWatch(Limits limits) : limits_(std::move(limits)) {}
    ConnectionWatch(const ConnectionWatch &) = delete;
    ConnectionWatch &operator=(const ConnectionWatch &) = delete;
    ~ConnectionWatch() { Stop(); }

    void Start();
    void Stop();

    // Whether a new connection from `address` may be accepted: neither it
    // nor its network holds its share of the connections yet.
    bool Admit(const std::string &address) const;

    // A connection opened on socket `fd`: its first head is due in time.
    void Opened(const void *connection, int fd, const std::string &address);

    // Its head arrived whole. A body, when one follows, has the head time to
    // begin, and then as long again plus a second per `bytesPerSecond` that
    // has arrived (see BodyArrived): a body slower than that on average is
    // cut. Without a body the request is being served: no deadline.
    void HeadArrived(const void *connection, bool bodyFollows);

    // `bytes` more of its body arrived.
    void BodyArrived(const void *connection, unsigned long long bytes);

    // A response of `bytes` was queued: it must be read at the minimum rate.
    void ResponseQueued(const void *connection, unsigned long long bytes);

    // The request line of its next request arrived.
    void RequestStarted(const void *connection);

    // Its request is done: the next head (or nothing) is due in time.
    void RequestDone(const void *connection);

    // Why the watch cut the connection ("head-too-slow", "body-too-slow",
    // "response-too-slow"), once: empty when it did not or when already
    // taken. A kept-alive connection that served a request and then sat
    // idle is closed without a reason: that is routine, not a fault.
    std::string TakeCutReason(const void *connection);

    // Forgets a closed connection. When the watch had cut it and nobody took
    // the reason yet, returns true with *address and *reason set.
    bool Closed(const void *connection, std::string *address, std::string *reason);

    bool IsTrusted(const std::string &address) const { return limits_.trusted.count(address) != 0; }

  private:
    enum class Phase { kHead, kBody, kServing, kResponse };
    struct Entry {
        int fd = -1;
        std::string address;
        std::string network;
        Phase phase = Phase::kHead;
        Clock::time_point deadline;  // zero: none
        Clock::time_point bodyStart; // when its head arrived
        unsigned long long bodyBytes = 0;
        const char *cut = nullptr; // why the watch cut it, until taken
        bool served = false;       // a request of it completed
        bool requestStarted = false;
    };
    std::string NetworkKey(const std::string &address) const;
    Clock::time_point TransferDeadline(unsigned long long bytes) const;
    void SetDeadline(const void *connection, Phase phase, Clock::time_point deadline);
    void Watch();

    Limits limits_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false;
    std::map<const void *, Entry> connections_;
    std::map<std::string, unsigned> perAddress_;
    std::map<std::string, unsigned> perNetwork_;
    std::thread watcher_;
};

} // namespace hxm_server

#endif
