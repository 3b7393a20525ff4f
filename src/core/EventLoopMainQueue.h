#pragma once
// A real-time main queue without a toolkit: posted, delayed and repeating tasks run one at a time on the
// thread that calls run() or runUntil(), in due-time then posting order. For command-line tools.
// post()/postAfter()/postRepeating()/stop() are callable from any thread. Owned by the tool's main().
#include "core/MainQueue.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <vector>

namespace vokari {

class EventLoopMainQueue : public MainQueue {
public:
    EventLoopMainQueue();

    void post(Task fn) override;
    TaskHandle postAfter(double seconds, Task fn) override;
    TaskHandle postRepeating(double interval, Task fn) override;
    double now() const override;

    // Runs tasks until stop() is called.
    void run();
    // Runs tasks until `done` holds (checked after every task and on every wake-up) or `timeout` passes.
    // Returns whether `done` held.
    bool runUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);
    void stop();

private:
    struct Entry {
        double due;
        std::uint64_t seq;
        double interval;
        Task fn;
        std::shared_ptr<std::atomic<bool>> cancelled;
    };
    TaskHandle add(double delay, double interval, Task fn);
    // Waits until a task is due (or `deadline`, or stop) and runs it. False when nothing ran.
    bool runOne(std::chrono::steady_clock::time_point deadline);

    std::chrono::steady_clock::time_point epoch;
    mutable std::mutex mutex;
    std::condition_variable changed;
    std::vector<Entry> entries;
    std::uint64_t nextSeq = 0;
    bool stopped = false;
};

} // namespace vokari
