#pragma once
// What the dictation controller needs of the global hotkey. GlobalHotkey implements it.
// Main thread; the four callbacks are always invoked on the main thread.
#include "desktop/HotkeyOption.h"

#include <functional>

namespace vokari {

class HotkeyMonitor {
public:
    virtual ~HotkeyMonitor() = default;
    std::function<void()> onToggle;
    std::function<void()> onCancel;
    std::function<void()> onHoldStart;
    std::function<void()> onHoldEnd;
    virtual void start() = 0;
    virtual void stop() = 0;
    virtual void updateOption(HotkeyOption option) = 0;
};

} // namespace vokari
