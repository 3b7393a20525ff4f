#include "http/ConnectionPool.h"

#include <algorithm>
#include <cstdio>

namespace vokari::server {

ConnectionPool::ConnectionPool(size_t minThreads, size_t maxThreads, std::chrono::milliseconds idleExit)
    : minThreads_(std::max<size_t>(1, minThreads)), maxThreads_(std::max(minThreads_, maxThreads)),
      idleExit_(idleExit) {
    std::lock_guard<std::mutex> guard(lock_);
    while (threads_.size() < minThreads_) {
        spawnLocked();
    }
}

ConnectionPool::~ConnectionPool() {
    shutdown();
}

void ConnectionPool::spawnLocked() {
    threads_.emplace_back([this] { work(); });
}

void ConnectionPool::reapLocked() {
    // A finished thread has released the lock for good before its id shows up here, so joining cannot block
    // on it.
    for (auto id : finished_) {
        auto it =
            std::find_if(threads_.begin(), threads_.end(), [id](const std::thread& t) { return t.get_id() == id; });
        if (it != threads_.end()) {
            it->join();
            threads_.erase(it);
        }
    }
    finished_.clear();
}

void ConnectionPool::enqueue(std::function<void()> task) {
    std::lock_guard<std::mutex> guard(lock_);
    reapLocked();
    tasks_.push_back(std::move(task));
    if (idle_ < tasks_.size()) {
        if (threads_.size() < maxThreads_) {
            spawnLocked();
        } else if (!warnedFull_) {
            warnedFull_ = true;
            std::fprintf(stderr,
                         "vokari-server: warning: %zu connections open, new ones wait (see --max-connections)\n",
                         maxThreads_);
        }
    }
    wake_.notify_one();
}

void ConnectionPool::work() {
    std::unique_lock<std::mutex> guard(lock_);
    for (;;) {
        ++idle_;
        bool woken = wake_.wait_for(guard, idleExit_, [this] { return !tasks_.empty() || stopping_; });
        --idle_;
        if (tasks_.empty()) {
            // Stopping, or idle for a while with more threads than the pool keeps.
            if (stopping_ || (!woken && threads_.size() - finished_.size() > minThreads_)) {
                finished_.push_back(std::this_thread::get_id());
                return;
            }
            continue;
        }
        auto task = std::move(tasks_.front());
        tasks_.pop_front();
        guard.unlock();
        task();
        guard.lock();
        if (tasks_.empty()) {
            warnedFull_ = false; // the next time the pool is full deserves a line again
        }
    }
}

size_t ConnectionPool::threadCount() {
    std::lock_guard<std::mutex> guard(lock_);
    return threads_.size() - finished_.size();
}

void ConnectionPool::shutdown() {
    std::list<std::thread> threads;
    {
        std::lock_guard<std::mutex> guard(lock_);
        stopping_ = true;
        threads.swap(threads_);
        finished_.clear();
    }
    wake_.notify_all();
    for (auto& t : threads) {
        t.join();
    }
}

} // namespace vokari::server
