#include "core/EventLoopMainQueue.h"

#include <algorithm>

namespace vokari {

EventLoopMainQueue::EventLoopMainQueue() : epoch(std::chrono::steady_clock::now()) {}

double EventLoopMainQueue::now() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - epoch).count();
}

TaskHandle EventLoopMainQueue::add(double delay, double interval, Task fn) {
    auto flag = makeFlag();
    {
        std::lock_guard lock(mutex);
        entries.push_back({now() + std::max(0.0, delay), nextSeq++, interval, std::move(fn), flag});
    }
    changed.notify_all();
    return TaskHandle(flag);
}

void EventLoopMainQueue::post(Task fn) {
    add(0, 0, std::move(fn));
}

TaskHandle EventLoopMainQueue::postAfter(double seconds, Task fn) {
    return add(seconds, 0, std::move(fn));
}

TaskHandle EventLoopMainQueue::postRepeating(double interval, Task fn) {
    // A non-positive interval would spin; treat it as "as often as the loop turns" with a 1 ms floor.
    return add(interval, std::max(interval, 0.001), std::move(fn));
}

void EventLoopMainQueue::stop() {
    {
        std::lock_guard lock(mutex);
        stopped = true;
    }
    changed.notify_all();
}

bool EventLoopMainQueue::runOne(std::chrono::steady_clock::time_point deadline) {
    Entry entry;
    {
        std::unique_lock lock(mutex);
        while (true) {
            std::erase_if(entries, [](const Entry& e) { return e.cancelled->load(); });
            if (stopped) {
                return false;
            }
            auto it = std::min_element(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
                return a.due != b.due ? a.due < b.due : a.seq < b.seq;
            });
            auto wakeAt = deadline;
            if (it != entries.end()) {
                if (it->due <= now()) {
                    entry = *it;
                    if (it->interval > 0) {
                        it->due = std::max(it->due + it->interval, now());
                        it->seq = nextSeq++;
                    } else {
                        entries.erase(it);
                    }
                    break;
                }
                auto due = epoch + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                       std::chrono::duration<double>(it->due));
                wakeAt = std::min(wakeAt, due);
            }
            if (std::chrono::steady_clock::now() >= deadline) {
                return false;
            }
            changed.wait_until(lock, wakeAt);
            if (wakeAt == deadline && std::chrono::steady_clock::now() >= deadline) {
                return false;
            }
        }
    }
    if (!entry.cancelled->load()) {
        entry.fn();
    }
    return true;
}

void EventLoopMainQueue::run() {
    {
        std::lock_guard lock(mutex);
        stopped = false;
    }
    while (runOne(std::chrono::steady_clock::now() + std::chrono::hours(24 * 365 * 50))) {
    }
}

bool EventLoopMainQueue::runUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (!runOne(deadline)) {
            // A wake-up without a due task (a post racing the deadline) still gets one last look.
            return done();
        }
    }
    return true;
}

} // namespace vokari
