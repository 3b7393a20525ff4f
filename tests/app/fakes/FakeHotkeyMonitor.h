#pragma once
// Test double of the global hotkey: the test fires the four callbacks; start/stop/updateOption are recorded.
// Owned by the test.
#include "desktop/HotkeyMonitor.h"

#include <vector>

namespace vokari::fakes {

class FakeHotkeyMonitor : public HotkeyMonitor {
public:
    int startCount = 0;
    int stopCount = 0;
    std::vector<HotkeyOption> options;

    void start() override { ++startCount; }
    void stop() override { ++stopCount; }
    void updateOption(HotkeyOption option) override { options.push_back(option); }

    void toggle() { fire(onToggle); }
    void cancel() { fire(onCancel); }
    void holdStart() { fire(onHoldStart); }
    void holdEnd() { fire(onHoldEnd); }

private:
    static void fire(const std::function<void()>& fn) {
        if (fn) {
            fn();
        }
    }
};

} // namespace vokari::fakes
