#pragma once
// The main queue: tasks posted from any thread run one at a time on the main thread, optionally after a delay.
// The queue's clock (`now`) is the one time source for every timer, so timers and time never disagree.
// Production: the Qt event loop (app layer). Tests: VirtualMainQueue. Owned by the application; shared by reference.
#include <atomic>
#include <functional>
#include <memory>

namespace vokari {

using Task = std::function<void()>;

// Handle of a delayed or repeating task. Copies refer to the same task; cancel() is idempotent and callable
// from any thread. A default-constructed handle refers to nothing.
class TaskHandle {
public:
    TaskHandle() = default;
    explicit TaskHandle(std::shared_ptr<std::atomic<bool>> cancelledFlag) : flag(std::move(cancelledFlag)) {}

    void cancel() const {
        if (flag) {
            flag->store(true);
        }
    }
    bool isCancelled() const { return !flag || flag->load(); }
    bool valid() const { return static_cast<bool>(flag); }

private:
    std::shared_ptr<std::atomic<bool>> flag;
};

class MainQueue {
public:
    virtual ~MainQueue() = default;

    // Runs fn on the main thread as soon as possible, after tasks posted before it. Any thread.
    virtual void post(Task fn) = 0;
    // Runs fn once on the main thread after `seconds` (0 or less: as soon as possible). Any thread.
    virtual TaskHandle postAfter(double seconds, Task fn) = 0;
    // Runs fn every `interval` seconds until the handle is cancelled. Any thread.
    virtual TaskHandle postRepeating(double interval, Task fn) = 0;
    // Seconds on the queue's monotonic clock. Any thread.
    virtual double now() const = 0;

protected:
    static std::shared_ptr<std::atomic<bool>> makeFlag() { return std::make_shared<std::atomic<bool>>(false); }
};

} // namespace vokari
