/*
 * The thread that hashes passwords, so that no thread serving connections
 * ever waits on a hash: a connection whose login needs one is suspended,
 * its hash is queued here, and the job resumes it. Jobs of addresses and
 * accounts that logged in lately run before those of strangers.
 */
#ifndef HXM_PLATFORM_CONSOLE_SERVER_LOGIN_WORKER_H
#define HXM_PLATFORM_CONSOLE_SERVER_LOGIN_WORKER_H

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace hxm_server {

class LoginWorker {
  public:
    using Job = std::function<void()>;

    LoginWorker() = default;
    LoginWorker(const LoginWorker &) = delete;
    LoginWorker &operator=(const LoginWorker &) = delete;
    ~LoginWorker() { Stop(); }

    void Start();

    // Runs every job still queued, then ends the thread; a job submitted
    // after that runs at once on the caller's thread.
    void Stop();

    // Queues `job`, ahead of every stranger's when `first`.
    void Submit(bool first, Job job);

  private:
    void Run();

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Job> first_;
    std::deque<Job> rest_;
    bool running_ = false;
    std::thread thread_;
};

} // namespace hxm_server

#endif
