#pragma once
// Waits in real time for a value that a transport's worker thread delivers.
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>

namespace vokari::test {

template <typename T> class Await {
public:
    // Notifies under the lock: the waiter may destroy this object as soon as it sees the value.
    void set(T v) {
        std::lock_guard lock(mutex);
        value = std::move(v);
        thread = std::this_thread::get_id();
        cv.notify_all();
    }
    std::optional<T> get(std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
        std::unique_lock lock(mutex);
        cv.wait_for(lock, timeout, [this] { return value.has_value(); });
        return value;
    }
    std::thread::id deliveredOn() {
        std::lock_guard lock(mutex);
        return thread;
    }

private:
    std::mutex mutex;
    std::condition_variable cv;
    std::optional<T> value;
    std::thread::id thread;
};

} // namespace vokari::test
