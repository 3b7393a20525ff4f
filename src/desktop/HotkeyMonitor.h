#pragma once
// What the dictation controller needs of the global hotkey. GlobalHotkey implements it.
// Main thread; the callbacks are always invoked on the main thread.
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
    // Hold mode: the key went down and a hold may follow (onHoldStart once it has been held long enough), or it
    // came up before it became one.
    std::function<void()> onHoldPending;
    std::function<void()> onHoldAbandoned;
    virtual void start() = 0;
    virtual void stop() = 0;
    virtual void updateOption(HotkeyOption option) = 0;
};

} // namespace vokari
