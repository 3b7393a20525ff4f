#pragma once
// A main queue on virtual time for tests: tasks are ordered by due time, then by posting order, and run only
// when the test advances time (`advance`, `runUntilIdle`). post() is safe from any thread, so completions from
// real worker threads can be awaited with `runUntil` (which waits in real time for posted tasks).
// Owned by the test.
#include "core/MainQueue.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

namespace vokari {

class VirtualMainQueue : public MainQueue {
public:
    // Virtual clocks start far from zero, like an absolute-time clock, so "time since 0" is never small.
    explicit VirtualMainQueue(double start = 1'000'000.0);

    void post(Task fn) override;
    TaskHandle postAfter(double seconds, Task fn) override;
    TaskHandle postRepeating(double interval, Task fn) override;
    double now() const override;

    // Moves time forward by `seconds`, running every task that falls due on the way, each at its due time.
    void advance(double seconds);
    // Runs the tasks due now (including ones they post for now) without moving time.
    void runUntilIdle();
    // Runs due tasks, waiting in real time for tasks posted by other threads, until `done` holds or
    // `realTimeout` passes. Virtual time does not move. Returns whether `done` held.
    bool runUntil(const std::function<bool()>& done, std::chrono::milliseconds realTimeout = std::chrono::seconds(10));
    // Number of tasks not yet run and not cancelled.
    std::size_t pendingCount() const;

private:
    // Time is kept in whole nanoseconds so that repeated advances never drift (0.1 + 0.3 lands exactly on 0.4).
    struct Entry {
        std::int64_t due;
        std::uint64_t seq;
        std::int64_t interval; // > 0 for repeating tasks
        Task fn;
        std::shared_ptr<std::atomic<bool>> cancelled;
    };
    bool runOneDue(std::int64_t limit);
    static std::int64_t toNanos(double seconds);

    mutable std::mutex mutex;
    std::condition_variable posted;
    std::vector<Entry> entries;
    std::uint64_t nextSeq = 0;
    std::int64_t currentTime;
};

} // namespace vokari
