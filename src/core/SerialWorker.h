#pragma once
// Runs tasks one after another on a thread of its own, so blocking work (a sound server's answers, a keyring's)
// stays off the main thread while keeping its order. post() from any thread; the destructor runs what is
// already queued, then joins, so tasks must never hold their worker's owner. Owned by whoever needs the work done.
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace vokari {

class SerialWorker {
public:
    SerialWorker();
    ~SerialWorker();
    SerialWorker(const SerialWorker&) = delete;
    SerialWorker& operator=(const SerialWorker&) = delete;

    void post(std::function<void()> task);

private:
    void run();

    std::mutex mutex;
    std::condition_variable wake;
    std::deque<std::function<void()>> tasks;
    bool stopping = false;
    std::thread thread;
};

} // namespace vokari
