#pragma once
// The HTTP server's task queue: cpp-httplib hands it one task per accepted connection, and that task keeps
// its thread for the connection's whole life (keep-alive waits and slow uploads included). A fixed pool of a
// few threads is therefore held by a few idle or trickling clients, and every other request, /health
// included, waits behind them. This pool gives each connection a thread of its own: `minThreads` are kept,
// more are started on demand up to `maxThreads` and end after a while without work. Only past `maxThreads`
// open connections do new ones wait, in arrival order. The CPU-heavy work is bounded elsewhere (the decoder
// pool), so threads here mostly wait on sockets.
// enqueue() is called on the accept thread, shutdown() once by the server when it stops; it waits for the
// connections in progress to finish.

#include <httplib.h>

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <list>
#include <mutex>
#include <thread>
#include <vector>

namespace vokari::server {

class ConnectionPool final : public httplib::TaskQueue {
public:
    ConnectionPool(size_t minThreads, size_t maxThreads, std::chrono::milliseconds idleExit = std::chrono::seconds(30));
    ~ConnectionPool() override;

    void enqueue(std::function<void()> task) override;
    void shutdown() override;

    // Threads alive now (for tests).
    size_t threadCount();

private:
    void work();
    void spawnLocked();
    void reapLocked();

    const size_t minThreads_;
    const size_t maxThreads_;
    const std::chrono::milliseconds idleExit_;
    std::mutex lock_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> tasks_;
    std::list<std::thread> threads_;
    std::vector<std::thread::id> finished_; // threads that left work() and wait to be joined
    size_t idle_ = 0;
    bool stopping_ = false;
    bool warnedFull_ = false;
};

} // namespace vokari::server
