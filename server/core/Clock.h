#pragma once
// Wall-clock source for everything dated (daily limits, created_at), injectable so tests can cross midnight.
// now() may be called from any worker thread; implementations are thread-safe.
// Owned by whoever builds the server (ServerApp or a test) and outlives it.

#include <atomic>
#include <chrono>
#include <cstdint>

namespace vokari::server {

class Clock {
public:
    virtual ~Clock() = default;
    // Milliseconds since the Unix epoch, UTC.
    virtual int64_t nowMs() const = 0;
};

class SystemClock final : public Clock {
public:
    int64_t nowMs() const override {
        using namespace std::chrono;
        return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
    }
};

// A clock that only moves when told to.
class ManualClock final : public Clock {
public:
    explicit ManualClock(int64_t startMs) : ms_(startMs) {}
    int64_t nowMs() const override { return ms_.load(); }
    void set(int64_t ms) { ms_.store(ms); }
    void advance(int64_t ms) { ms_.fetch_add(ms); }

private:
    std::atomic<int64_t> ms_;
};

} // namespace vokari::server
