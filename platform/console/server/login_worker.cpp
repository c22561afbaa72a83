/*
 * The login worker: two queues and one thread. One thread bounds the
 * cores that guessing can take as well as the budget does.
 */
#include "platform/console/server/login_worker.h"

namespace hxm_server {

void LoginWorker::Start() {
    std::lock_guard<std::mutex> lock(mutex_);
    running_ = true;
    thread_ = std::thread(&LoginWorker::Run, this);
}

void LoginWorker::Stop() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        running_ = false;
    }
    wake_.notify_all();
    if (thread_.joinable())
        thread_.join();
}

void LoginWorker::Submit(bool first, Job job) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (running_) {
            (first ? first_ : rest_).push_back(std::move(job));
            wake_.notify_one();
            return;
        }
    }
    job();
}

void LoginWorker::Run() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return !running_ || !first_.empty() || !rest_.empty(); });
        if (first_.empty() && rest_.empty())
            return; // stopping, and nothing left
        std::deque<Job> &from = first_.empty() ? rest_ : first_;
        Job job = std::move(from.front());
        from.pop_front();
        lock.unlock();
        job();
        lock.lock();
    }
}

} // namespace hxm_server
