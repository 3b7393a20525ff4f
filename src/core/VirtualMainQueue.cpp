#include "core/VirtualMainQueue.h"

#include <algorithm>
#include <cmath>

namespace vokari {

VirtualMainQueue::VirtualMainQueue(double start) : currentTime(toNanos(start)) {}

std::int64_t VirtualMainQueue::toNanos(double seconds) {
    return std::llround(seconds * 1e9);
}

void VirtualMainQueue::post(Task fn) {
    postAfter(0, std::move(fn));
}

TaskHandle VirtualMainQueue::postAfter(double seconds, Task fn) {
    auto flag = makeFlag();
    {
        std::lock_guard lock(mutex);
        entries.push_back({currentTime + toNanos(std::max(0.0, seconds)), nextSeq++, 0, std::move(fn), flag});
    }
    posted.notify_all();
    return TaskHandle(flag);
}

TaskHandle VirtualMainQueue::postRepeating(double interval, Task fn) {
    auto flag = makeFlag();
    {
        std::lock_guard lock(mutex);
        auto step = std::max<std::int64_t>(1, toNanos(interval));
        entries.push_back({currentTime + step, nextSeq++, step, std::move(fn), flag});
    }
    posted.notify_all();
    return TaskHandle(flag);
}

double VirtualMainQueue::now() const {
    std::lock_guard lock(mutex);
    return static_cast<double>(currentTime) / 1e9;
}

bool VirtualMainQueue::runOneDue(std::int64_t limit) {
    Entry entry;
    {
        std::lock_guard lock(mutex);
        std::erase_if(entries, [](const Entry& e) { return e.cancelled->load(); });
        auto it = std::min_element(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
            return a.due != b.due ? a.due < b.due : a.seq < b.seq;
        });
        if (it == entries.end() || it->due > limit) {
            return false;
        }
        entry = *it;
        if (it->interval > 0) {
            // Re-arm before running, so a task that cancels its own handle stops future runs.
            it->due += it->interval;
            it->seq = nextSeq++;
        } else {
            entries.erase(it);
        }
        currentTime = std::max(currentTime, entry.due);
    }
    if (!entry.cancelled->load()) {
        entry.fn();
    }
    return true;
}

void VirtualMainQueue::advance(double seconds) {
    std::int64_t target;
    {
        std::lock_guard lock(mutex);
        target = currentTime + toNanos(std::max(0.0, seconds));
    }
    while (runOneDue(target)) {
    }
    std::lock_guard lock(mutex);
    currentTime = std::max(currentTime, target);
}

void VirtualMainQueue::runUntilIdle() {
    advance(0);
}

bool VirtualMainQueue::runUntil(const std::function<bool()>& done, std::chrono::milliseconds realTimeout) {
    auto deadline = std::chrono::steady_clock::now() + realTimeout;
    while (true) {
        runUntilIdle();
        if (done()) {
            return true;
        }
        std::unique_lock lock(mutex);
        auto hasDue = [this] {
            return std::any_of(entries.begin(), entries.end(),
                               [this](const Entry& e) { return e.due <= currentTime && !e.cancelled->load(); });
        };
        if (!posted.wait_until(lock, deadline, hasDue)) {
            lock.unlock();
            runUntilIdle();
            return done();
        }
    }
}

std::size_t VirtualMainQueue::pendingCount() const {
    std::lock_guard lock(mutex);
    return static_cast<std::size_t>(
        std::count_if(entries.begin(), entries.end(), [](const Entry& e) { return !e.cancelled->load(); }));
}

} // namespace vokari
