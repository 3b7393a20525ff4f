#include "DesktopFakes.h"

#include "core/DefaultsStore.h"
#include "core/VirtualMainQueue.h"
#include "desktop/GlobalHotkey.h"
#include "desktop/VirtualKeys.h"

#include <gtest/gtest.h>

namespace vokari {
namespace {

using testing::FakeKeySource;
using testing::LogCapture;
constexpr auto down = KeyEventType::keyDown;
constexpr auto up = KeyEventType::keyUp;
constexpr auto flags = KeyEventType::flagsChanged;

struct HotkeyHarness {
    VirtualMainQueue queue{0.0}; // from zero, so that 0.15 s after the start is exactly the hold threshold
    MemoryDefaultsStore store;
    Settings settings{store};
    std::shared_ptr<FakeKeySource> source = std::make_shared<FakeKeySource>();
    std::shared_ptr<LogCapture> log = std::make_shared<LogCapture>();
    std::shared_ptr<GlobalHotkey> hotkey;
    std::vector<std::string> events;

    explicit HotkeyHarness(bool start = true) {
        debuglog::setSink(log);
        hotkey = GlobalHotkey::create(queue, settings, source);
        hotkey->onToggle = [this] { events.push_back("toggle@" + stamp()); };
        hotkey->onCancel = [this] { events.push_back("cancel@" + stamp()); };
        hotkey->onHoldStart = [this] { events.push_back("holdStart@" + stamp()); };
        hotkey->onHoldEnd = [this] { events.push_back("holdEnd@" + stamp()); };
        if (start) {
            hotkey->start();
        }
    }
    ~HotkeyHarness() { debuglog::setSink(nullptr); }
    std::string stamp() {
        char buf[32];
        std::snprintf(buf, sizeof buf, "%.2f", queue.now());
        return buf;
    }
    // Presses a modifier, holds it `seconds`, releases it; `between` runs while it is held.
    void tapModifier(std::uint16_t code, std::uint64_t mask, double seconds, std::function<void()> between = {}) {
        source->send(flags, code, mask);
        if (between) {
            between();
        }
        queue.advance(seconds);
        source->send(flags, code, 0);
        queue.runUntilIdle();
    }
};

TEST(GlobalHotkey, ToggleIsAQuickSoloTapOfTheModifier) {
    HotkeyHarness h;
    EXPECT_TRUE(h.log->messages().back() == "⌨️ Global hotkey active (Right Super)");

    // The callback runs as its own main-queue task, after the handler has returned.
    h.source->send(flags, virtualKey::rightCommand, eventFlag::command);
    h.queue.advance(0.2);
    h.source->send(flags, virtualKey::rightCommand, 0);
    EXPECT_TRUE(h.events.empty());
    h.queue.runUntilIdle();
    EXPECT_EQ(h.events, std::vector<std::string>{"toggle@0.20"});

    h.events.clear();
    h.tapModifier(virtualKey::rightCommand, eventFlag::command, 0.5); // held too long
    h.tapModifier(virtualKey::rightCommand, eventFlag::command, 0.1,
                  [&] { h.source->send(down, 8, eventFlag::command); }); // Command-C
    // The other Command key and other modifiers are not the hotkey.
    h.tapModifier(virtualKey::leftCommand, eventFlag::command, 0.1);
    h.tapModifier(virtualKey::rightOption, eventFlag::option, 0.1);
    EXPECT_TRUE(h.events.empty());

    // Two solo taps 0.3 s apart are two toggles (the controller makes the second a double tap).
    h.tapModifier(virtualKey::rightCommand, eventFlag::command, 0.1);
    h.queue.advance(0.2);
    h.tapModifier(virtualKey::rightCommand, eventFlag::command, 0.1);
    EXPECT_EQ(h.events.size(), 2u);

    // A modifier combination that starts before the hotkey does not make the hotkey "used".
    h.events.clear();
    h.source->send(down, 8, 0);
    h.tapModifier(virtualKey::rightCommand, eventFlag::command, 0.1);
    EXPECT_EQ(h.events.size(), 1u);
}

TEST(GlobalHotkey, HoldModeReportsStartAfterThresholdAndEndAtRelease) {
    HotkeyHarness h;
    GlobalHotkey::setHoldMode(h.settings, true);
    // A release at exactly the threshold, handled before the hold timer, is still a short press: nothing at all.
    h.queue.postAfter(0.15, [&] { h.source->send(flags, virtualKey::rightCommand, 0); });
    h.source->send(flags, virtualKey::rightCommand, eventFlag::command);
    h.queue.advance(1.0);
    EXPECT_TRUE(h.events.empty());

    h.source->send(flags, virtualKey::rightCommand, eventFlag::command);
    h.queue.advance(0.149);
    EXPECT_TRUE(h.events.empty());
    h.queue.advance(0.001);
    EXPECT_EQ(h.events, std::vector<std::string>{"holdStart@1.15"});
    h.queue.advance(0.85);
    h.source->send(flags, virtualKey::rightCommand, 0);
    h.queue.runUntilIdle();
    EXPECT_EQ(h.events, (std::vector<std::string>{"holdStart@1.15", "holdEnd@2.00"}));

    // The mode is read at every press: back in toggle mode the same tap toggles.
    h.events.clear();
    GlobalHotkey::setHoldMode(h.settings, false);
    h.tapModifier(virtualKey::rightCommand, eventFlag::command, 0.1);
    EXPECT_EQ(h.events.size(), 1u);
    EXPECT_EQ(h.events[0].rfind("toggle@", 0), 0u);
}

// Hold mode announces every press at once (capture can start with the first word) and takes it back when the key
// comes up before it became a hold; toggle mode announces nothing.
TEST(GlobalHotkey, HoldModeAnnouncesAPressAtOnceAndAbandonsAShortOne) {
    HotkeyHarness h;
    h.hotkey->onHoldPending = [&] { h.events.push_back("pending@" + h.stamp()); };
    h.hotkey->onHoldAbandoned = [&] { h.events.push_back("abandoned@" + h.stamp()); };
    GlobalHotkey::setHoldMode(h.settings, true);
    h.tapModifier(virtualKey::rightCommand, eventFlag::command, 0.1);
    h.queue.advance(0.9);
    h.tapModifier(virtualKey::rightCommand, eventFlag::command, 0.5);
    EXPECT_EQ(h.events, (std::vector<std::string>{"pending@0.00", "abandoned@0.10", "pending@1.00", "holdStart@1.15",
                                                  "holdEnd@1.50"}));

    h.events.clear();
    hotkeyOption::saveCustomKey(virtualKey::f5, 0, "F5", h.settings);
    h.hotkey->updateOption(HotkeyOption::custom);
    h.source->send(down, virtualKey::f5);
    h.queue.advance(0.05);
    h.source->send(up, virtualKey::f5);
    h.queue.runUntilIdle();
    EXPECT_EQ(h.events, (std::vector<std::string>{"pending@1.50", "abandoned@1.55"}));

    h.events.clear();
    GlobalHotkey::setHoldMode(h.settings, false);
    h.source->send(down, virtualKey::f5);
    h.queue.advance(0.05);
    h.source->send(up, virtualKey::f5);
    h.queue.runUntilIdle();
    EXPECT_EQ(h.events, std::vector<std::string>{"toggle@1.60"});
}

TEST(GlobalHotkey, CustomRegularKeyTogglesOnEveryReleaseAndIgnoresRepeats) {
    HotkeyHarness h;
    hotkeyOption::saveCustomKey(virtualKey::f5, 0, "F5", h.settings);
    h.hotkey->updateOption(HotkeyOption::custom);
    EXPECT_EQ(h.log->messages().back(), "⌨️ Hotkey changed to F5");

    h.source->send(down, virtualKey::f5);
    for (int i = 0; i < 20; ++i) { // auto-repeat while held 2 s
        h.queue.advance(0.1);
        h.source->send(down, virtualKey::f5);
    }
    h.source->send(up, virtualKey::f5);
    h.queue.runUntilIdle();
    EXPECT_EQ(h.events, std::vector<std::string>{"toggle@2.00"});

    // A duplicate release (X11 raw events repeat them) is not a second press.
    h.source->send(up, virtualKey::f5);
    h.source->send(down, virtualKey::f5);
    h.source->send(up, virtualKey::f5);
    h.queue.runUntilIdle();
    EXPECT_EQ(h.events.size(), 2u);

    // Hold mode with a custom key: start after 0.15 s, end at release; a short press says nothing.
    h.events.clear();
    GlobalHotkey::setHoldMode(h.settings, true);
    h.source->send(down, virtualKey::f5);
    h.queue.advance(0.5);
    h.source->send(up, virtualKey::f5);
    h.source->send(down, virtualKey::f5);
    h.queue.advance(0.05);
    h.source->send(up, virtualKey::f5);
    h.queue.advance(1.0);
    EXPECT_EQ(h.events, (std::vector<std::string>{"holdStart@2.15", "holdEnd@2.50"}));
}

TEST(GlobalHotkey, CustomModifierKeyUsesTheStoredFlagsAndRegularKeysMarkItUsed) {
    HotkeyHarness h;
    hotkeyOption::saveCustomKey(virtualKey::rightShift, eventFlag::shift, "Right Shift", h.settings);
    hotkeyOption::save(HotkeyOption::custom, h.settings);
    auto h2 = GlobalHotkey::create(h.queue, h.settings, h.source); // reads the stored option at construction
    std::vector<std::string> seen;
    h2->onToggle = [&] { seen.push_back("toggle"); };
    h.hotkey->stop();
    h2->start();
    EXPECT_EQ(h.log->messages().back(), "⌨️ Global hotkey active (Right Shift)");

    h.tapModifier(virtualKey::rightShift, eventFlag::shift, 0.2);
    h.tapModifier(virtualKey::rightShift, eventFlag::shift, 0.2, [&] { h.source->send(down, 0, eventFlag::shift); });
    EXPECT_EQ(seen, std::vector<std::string>{"toggle"});
}

TEST(GlobalHotkey, EscapeCancelsWhateverTheHotkeyIs) {
    HotkeyHarness h;
    h.source->send(down, virtualKey::escape);
    h.source->send(up, virtualKey::escape);
    h.queue.runUntilIdle();
    EXPECT_EQ(h.events, std::vector<std::string>{"cancel@0.00"});

    // Even a custom key that is Escape itself only cancels: the cancel rule comes first.
    h.events.clear();
    hotkeyOption::saveCustomKey(virtualKey::escape, 0, "Esc", h.settings);
    h.hotkey->updateOption(HotkeyOption::custom);
    h.source->send(down, virtualKey::escape);
    h.source->send(up, virtualKey::escape);
    h.queue.runUntilIdle();
    EXPECT_EQ(h.events, std::vector<std::string>{"cancel@0.00"});
}

TEST(GlobalHotkey, SwitchingTheOptionWhileHeldDropsThatKeysRelease) {
    HotkeyHarness h;
    h.source->send(flags, virtualKey::rightCommand, eventFlag::command);
    h.hotkey->updateOption(HotkeyOption::leftOption);
    EXPECT_EQ(h.log->messages().back(), "⌨️ Hotkey changed to Left Alt");
    EXPECT_EQ(h.settings.hotkeyOption(), "leftOption");
    h.queue.advance(0.1);
    h.source->send(flags, virtualKey::rightCommand, 0);
    h.queue.runUntilIdle();
    EXPECT_TRUE(h.events.empty());
    EXPECT_EQ(h.hotkey->currentOption(), HotkeyOption::leftOption);
}

TEST(GlobalHotkey, WithoutPermissionPollsEveryTwoSecondsUntilGranted) {
    HotkeyHarness h(false);
    h.source->trusted = false;
    h.hotkey->start();
    EXPECT_EQ(h.log->messages().back(), "⌨️ Accessibility not granted — requesting...");
    EXPECT_EQ(h.source->trustRequests, 1);
    h.queue.advance(5.9);
    EXPECT_FALSE(h.hotkey->isActive());
    EXPECT_TRUE(h.hotkey->isWaitingForPermission());

    h.source->trusted = true;
    h.queue.advance(0.09);
    EXPECT_FALSE(h.hotkey->isActive()); // only the next tick (at 6 s) looks again
    h.queue.advance(0.01);
    EXPECT_TRUE(h.hotkey->isActive());
    EXPECT_FALSE(h.hotkey->isWaitingForPermission());
    EXPECT_EQ(h.log->messages().back(), "⌨️ Global hotkey active (Right Super)");
    EXPECT_EQ(h.source->trustRequests, 1);
    EXPECT_EQ(h.queue.pendingCount(), 0u);
    h.tapModifier(virtualKey::rightCommand, eventFlag::command, 0.1);
    EXPECT_EQ(h.events.size(), 1u);

    // Stopping while polling ends the polling; a failed install is logged once and not retried.
    HotkeyHarness failing(false);
    failing.source->trusted = false;
    failing.hotkey->start();
    failing.hotkey->stop();
    EXPECT_EQ(failing.queue.pendingCount(), 0u);
    failing.source->trusted = true;
    failing.source->installable = false;
    failing.hotkey->start();
    EXPECT_EQ(failing.log->messages().back(), "⌨️ Failed to create CGEventTap — check Accessibility permissions");
    EXPECT_EQ(failing.queue.pendingCount(), 0u);
}

TEST(GlobalHotkey, QueuedCallbacksAreDroppedOnceTheHotkeyIsGone) {
    HotkeyHarness h;
    GlobalHotkey::setHoldMode(h.settings, true);
    int calls = 0;
    h.hotkey->onHoldStart = [&] { ++calls; };
    h.hotkey->onCancel = [&] { ++calls; };
    h.source->send(flags, virtualKey::rightCommand, eventFlag::command);
    h.source->send(down, virtualKey::escape);
    h.hotkey.reset();
    h.source->send(down, virtualKey::escape); // the source dropped its handler with the hotkey
    h.queue.advance(1.0);
    EXPECT_EQ(calls, 0);
}

} // namespace
} // namespace vokari
