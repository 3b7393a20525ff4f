#include "desktop/GlobalHotkey.h"

#include "core/DebugLog.h"

namespace vokari {

std::shared_ptr<GlobalHotkey> GlobalHotkey::create(MainQueue& queue, Settings settings,
                                                   std::shared_ptr<KeyEventSource> source) {
    return std::shared_ptr<GlobalHotkey>(new GlobalHotkey(queue, settings, std::move(source)));
}

GlobalHotkey::GlobalHotkey(MainQueue& queue, Settings settings, std::shared_ptr<KeyEventSource> source)
    : queue(queue), settings(settings), source(std::move(source)), option(hotkeyOption::stored(settings)) {}

GlobalHotkey::~GlobalHotkey() {
    retryTimer.cancel();
    holdStartWork.cancel();
    if (installed && source) {
        source->remove();
    }
}

bool GlobalHotkey::holdMode(const Settings& settings) {
    return settings.hotkeyHoldMode();
}

void GlobalHotkey::setHoldMode(Settings& settings, bool on) {
    settings.setHotkeyHoldMode(on);
}

void GlobalHotkey::start() {
    if (installed || !source) {
        return;
    }
    // A second start() while polling must not leave two timers running.
    retryTimer.cancel();
    retryTimer = {};
    if (source->isTrusted()) {
        std::weak_ptr<GlobalHotkey> weak = weak_from_this();
        bool ok = source->install([weak](const KeyEvent& event) {
            if (auto self = weak.lock()) {
                self->handleEvent(event);
            }
        });
        if (ok) {
            installed = true;
            debugLog("⌨️ Global hotkey active (" + displayName(option, settings) + ")");
        } else {
            debugLog("⌨️ Failed to create CGEventTap — check Accessibility permissions");
        }
        return;
    }
    debugLog("⌨️ Accessibility not granted — requesting...");
    source->requestTrust();
    std::weak_ptr<GlobalHotkey> weak = weak_from_this();
    retryTimer = queue.postRepeating(permissionRetryInterval, [weak] {
        auto self = weak.lock();
        if (!self || !self->source->isTrusted()) {
            return;
        }
        self->retryTimer.cancel();
        self->retryTimer = {};
        self->start();
    });
}

void GlobalHotkey::stop() {
    retryTimer.cancel();
    retryTimer = {};
    if (installed && source) {
        source->remove();
    }
    installed = false;
    // Without the stream the pending hold start and the held key would never see their release.
    cancelHoldStart();
    keyIsDown = false;
}

void GlobalHotkey::updateOption(HotkeyOption newOption) {
    option = newOption;
    hotkeyOption::save(option, settings);
    debugLog("⌨️ Hotkey changed to " + displayName(option, settings));
}

void GlobalHotkey::queueCallback(std::function<void()> HotkeyMonitor::*callback) {
    std::weak_ptr<GlobalHotkey> weak = weak_from_this();
    queue.post([weak, callback] {
        auto self = weak.lock();
        if (self && (self.get()->*callback)) {
            (self.get()->*callback)();
        }
    });
}

void GlobalHotkey::scheduleHoldStart() {
    cancelHoldStart();
    std::weak_ptr<GlobalHotkey> weak = weak_from_this();
    holdStartWork = queue.postAfter(holdThreshold, [weak] {
        if (auto self = weak.lock()) {
            self->holdStartWork = {};
            self->queueCallback(&HotkeyMonitor::onHoldStart);
        }
    });
}

void GlobalHotkey::cancelHoldStart() {
    holdStartWork.cancel();
    holdStartWork = {};
}

void GlobalHotkey::handleEvent(const KeyEvent& event) {
    if (event.type == KeyEventType::keyDown && event.keyCode == escapeKeyCode) {
        queueCallback(&HotkeyMonitor::onCancel);
        return;
    }
    const bool hold = holdMode(settings);
    if (option == HotkeyOption::custom && keyCode(option, settings) != 0 && handleCustomRegularKey(event, hold)) {
        return;
    }
    if (event.type == KeyEventType::keyDown) {
        if (keyIsDown) {
            usedAsModifier = true;
        }
        return;
    }
    if (event.type == KeyEventType::flagsChanged && event.keyCode == keyCode(option, settings)) {
        handleModifier(event, hold);
    }
}

bool GlobalHotkey::handleCustomRegularKey(const KeyEvent& event, bool hold) {
    const std::uint16_t code = keyCode(option, settings);
    if (event.type == KeyEventType::keyDown && event.keyCode == code && !keyIsDown) {
        keyIsDown = true;
        keyDownTime = queue.now();
        if (hold) {
            queueCallback(&HotkeyMonitor::onHoldPending);
            scheduleHoldStart();
        }
        return true;
    }
    if (event.type == KeyEventType::keyUp && event.keyCode == code && keyIsDown) {
        keyIsDown = false;
        if (!hold) {
            queueCallback(&HotkeyMonitor::onToggle);
        } else if (queue.now() - keyDownTime > holdThreshold) {
            queueCallback(&HotkeyMonitor::onHoldEnd);
        } else {
            cancelHoldStart();
            queueCallback(&HotkeyMonitor::onHoldAbandoned);
        }
        return true;
    }
    return false;
}

void GlobalHotkey::handleModifier(const KeyEvent& event, bool hold) {
    const bool pressed = (event.flags & flagMask(option, settings)) != 0;
    if (pressed && !keyIsDown) {
        keyIsDown = true;
        usedAsModifier = false;
        keyDownTime = queue.now();
        if (hold) {
            queueCallback(&HotkeyMonitor::onHoldPending);
            scheduleHoldStart();
        }
    } else if (!pressed && keyIsDown) {
        keyIsDown = false;
        const double held = queue.now() - keyDownTime;
        if (hold) {
            if (held > holdThreshold) {
                queueCallback(&HotkeyMonitor::onHoldEnd);
            } else {
                cancelHoldStart();
                queueCallback(&HotkeyMonitor::onHoldAbandoned);
            }
        } else if (!usedAsModifier && held < maxSoloPressDuration) {
            queueCallback(&HotkeyMonitor::onToggle);
        }
    }
}

} // namespace vokari
