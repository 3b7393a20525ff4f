#pragma once
// Calendar time for log timestamps and history times, injectable so tests can fix it.
// Any thread. SystemWallClock::instance() lives for the process; ManualWallClock belongs to a test.
#include <atomic>
#include <chrono>

namespace vokari {

class WallClock {
public:
    using TimePoint = std::chrono::system_clock::time_point;
    virtual ~WallClock() = default;
    virtual TimePoint now() const = 0;
};

class SystemWallClock : public WallClock {
public:
    TimePoint now() const override { return std::chrono::system_clock::now(); }
    static SystemWallClock& instance();
};

class ManualWallClock : public WallClock {
public:
    explicit ManualWallClock(TimePoint start = TimePoint{}) : ticks(start.time_since_epoch().count()) {}
    TimePoint now() const override { return TimePoint(TimePoint::duration(ticks.load())); }
    void set(TimePoint t) { ticks.store(t.time_since_epoch().count()); }
    void advance(std::chrono::milliseconds d) {
        ticks.fetch_add(std::chrono::duration_cast<TimePoint::duration>(d).count());
    }

private:
    std::atomic<TimePoint::rep> ticks;
};

} // namespace vokari
