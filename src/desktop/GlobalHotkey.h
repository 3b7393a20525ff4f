#pragma once
// Recognises presses of the chosen hotkey in the system-wide key stream and reports toggle, cancel, hold start
// and hold end. Main thread: events, timers and callbacks all run there. Owned by the dictation set-up through
// a shared_ptr (create()), so queued callbacks can hold it weakly.
#include "core/MainQueue.h"
#include "core/Settings.h"
#include "desktop/HotkeyMonitor.h"
#include "desktop/KeyEventSource.h"

#include <memory>

namespace vokari {

class GlobalHotkey : public HotkeyMonitor, public std::enable_shared_from_this<GlobalHotkey> {
public:
    static constexpr std::uint16_t escapeKeyCode = 53;
    static constexpr double holdThreshold = 0.15;
    static constexpr double permissionRetryInterval = 2.0;

    static std::shared_ptr<GlobalHotkey> create(MainQueue& queue, Settings settings,
                                                std::shared_ptr<KeyEventSource> source);
    ~GlobalHotkey() override;

    void start() override;
    void stop() override;
    void updateOption(HotkeyOption option) override;

    // Reads and writes "hotkeyHoldMode"; read at every event so a switch applies at the next press.
    static bool holdMode(const Settings& settings);
    static void setHoldMode(Settings& settings, bool on);

    HotkeyOption currentOption() const { return option; }
    bool isActive() const { return installed; }
    bool isWaitingForPermission() const { return retryTimer.valid(); }

    // The event handler; the installed source calls it for every key event.
    void handleEvent(const KeyEvent& event);

    double maxSoloPressDuration = 0.4;

private:
    GlobalHotkey(MainQueue& queue, Settings settings, std::shared_ptr<KeyEventSource> source);
    void queueCallback(std::function<void()> HotkeyMonitor::*callback);
    void scheduleHoldStart();
    void cancelHoldStart();
    bool handleCustomRegularKey(const KeyEvent& event, bool hold);
    void handleModifier(const KeyEvent& event, bool hold);

    MainQueue& queue;
    Settings settings;
    std::shared_ptr<KeyEventSource> source;
    bool installed = false;
    double keyDownTime = 0;
    bool usedAsModifier = false;
    bool keyIsDown = false;
    HotkeyOption option;
    TaskHandle retryTimer;
    TaskHandle holdStartWork;
};

} // namespace vokari
