#pragma once
// Test double of the recording capsule: records each call as a short event ("show", "hide", "processing",
// "error: <message>", "maxDuration: <s>") with its time; levels are kept apart. Owned by the test.
#include "app/Indicator.h"
#include "core/MainQueue.h"

#include <algorithm>
#include <string>
#include <vector>

namespace vokari::fakes {

class FakeIndicator : public Indicator {
public:
    struct Event {
        double at;
        std::string what;
    };

    explicit FakeIndicator(const MainQueue& clock) : clock(clock) {}
    std::vector<Event> events;
    std::vector<float> levels;

    void showIndicator() override { record("show"); }
    void hideIndicator() override { record("hide"); }
    void showProcessing() override { record("processing"); }
    void showError(const std::string& message) override { record("error: " + message); }
    void pushLevel(float level) override { levels.push_back(level); }
    void setMaxDuration(double seconds) override { record("maxDuration: " + std::to_string(int(seconds))); }

    std::string last() const { return events.empty() ? std::string() : events.back().what; }
    long count(const std::string& what) const {
        return std::count_if(events.begin(), events.end(), [&](const Event& e) { return e.what == what; });
    }

private:
    void record(std::string what) { events.push_back({clock.now(), std::move(what)}); }
    const MainQueue& clock;
};

} // namespace vokari::fakes
