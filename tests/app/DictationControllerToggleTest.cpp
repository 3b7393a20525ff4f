// Toggle presses, the double tap, starting a recording, the hotkey and menu wiring, and the sound switch.
#include "ControllerHarness.h"

#include <gtest/gtest.h>

namespace vokari::testing {
namespace {

using Sounds = std::vector<std::string>;

TEST(DictationControllerStart, FirstPressStartsRecordingForTheFrontmostApp) {
    ControllerHarness h;
    h.hotkey->toggle();

    EXPECT_EQ(h.sounds->names(), Sounds{"Blow"});
    EXPECT_EQ(h.state(), VokariState::listening);
    EXPECT_TRUE(h.appState.isDictating.get());
    ASSERT_EQ(h.capture->starts.size(), 1u);
    ASSERT_EQ(h.indicator->events.size(), 2u);
    EXPECT_EQ(h.indicator->events[0].what, "show");
    EXPECT_EQ(h.indicator->events[1].what, "maxDuration: 300");
    EXPECT_EQ(h.logs->messages(),
              (std::vector<std::string>{"🎯 Target app for paste: xterm", "🎙 Dictation started"}));

    // The paste target is the application that was frontmost when recording began.
    h.workspace->frontmost = RunningApp{7, 7, "Other", std::string("other")};
    h.recordSeconds(1.0);
    h.queue.advance(1.0);
    h.hotkey->toggle();
    h.refine->answerLast(refined("hello"));
    h.queue.runUntilIdle();
    ASSERT_EQ(h.inserter->inserts.size(), 1u);
    EXPECT_EQ(h.inserter->inserts[0].target->localizedName, "xterm");
}

TEST(DictationControllerStart, TargetNameIsNoneWithoutFrontmostAppOrName) {
    ControllerHarness h;
    h.workspace->frontmost.reset();
    h.hotkey->toggle();
    h.hotkey->cancel();
    h.workspace->frontmost = RunningApp{1, 2, "Nameless", std::nullopt};
    h.hotkey->toggle();

    EXPECT_EQ(h.logs->startingWith("🎯"),
              (std::vector<std::string>{"🎯 Target app for paste: none", "🎯 Target app for paste: none"}));
}

TEST(DictationControllerToggle, DoubleTapWithin04SecondsTurnsTheRecordingIntoACommand) {
    ControllerHarness h;
    h.settings.setCommandModeEnabled(true);
    h.hotkey->toggle();
    h.recordSeconds(0.35);
    h.queue.advance(0.35);
    h.hotkey->toggle();

    EXPECT_EQ(h.sounds->names(), (Sounds{"Blow", "Submarine"}));
    EXPECT_EQ(h.state(), VokariState::listening);
    EXPECT_TRUE(h.capture->stops.empty()) << "the recording goes on";
    EXPECT_TRUE(h.logs->contains("⚡️ Command mode activated (double-tap while recording)"));

    // A third press, however soon, stops the command recording and sends it with the screenshot.
    h.recordSeconds(0.5);
    h.queue.advance(0.1);
    h.hotkey->toggle();
    EXPECT_EQ(h.sounds->names(), (Sounds{"Blow", "Submarine", "Glass"}));
    ASSERT_EQ(h.commands->requests.size(), 1u);
    EXPECT_TRUE(h.refine->requests.empty());
    EXPECT_EQ(h.commands->requests[0].audio, DictationSession::encodeWAV(std::vector<float>(13600, 0.25f)));
    EXPECT_EQ(h.state(), VokariState::processing);
}

TEST(DictationControllerToggle, SecondPressStopsWhenNotADoubleTap) {
    struct Case {
        const char* name;
        bool commandMode;
        double startAt; // the clock's doubles round 0.4 s differently at different times
        double gap;
    };
    for (const Case& c : {Case{"command mode off, 0.35 s", false, 0.0, 0.35}, Case{"exactly 0.4 s", true, 0.0, 0.4},
                          Case{"exactly 0.4 s, later", true, 0.3, 0.4}, Case{"0.5 s", true, 0.0, 0.5}}) {
        SCOPED_TRACE(c.name);
        ControllerHarness h;
        h.settings.setCommandModeEnabled(c.commandMode);
        h.queue.advance(c.startAt);
        h.hotkey->toggle();
        h.recordSeconds(c.gap);
        h.queue.advance(c.gap);
        h.hotkey->toggle();

        EXPECT_EQ(h.sounds->names(), (Sounds{"Blow", "Glass"}));
        EXPECT_EQ(h.refine->requests.size(), 1u);
        EXPECT_TRUE(h.commands->requests.empty());
        EXPECT_EQ(h.state(), VokariState::processing);
        EXPECT_TRUE(h.logs->startingWith("⚡️").empty());
    }
}

TEST(DictationControllerToggle, PressesWhileProcessingOrShowingAnErrorChangeNothing) {
    ControllerHarness h;
    h.dictate(1.0);
    ASSERT_EQ(h.state(), VokariState::processing);
    h.queue.advance(0.1);
    h.hotkey->toggle();
    EXPECT_EQ(h.state(), VokariState::processing);
    EXPECT_EQ(h.sounds->names(), (Sounds{"Blow", "Glass"}));
    EXPECT_EQ(h.capture->starts.size(), 1u);

    h.hotkey->cancel();
    h.dictate(0.1); // too short: error
    ASSERT_EQ(h.state(), VokariState::error);
    auto soundsBefore = h.sounds->names().size();
    h.queue.advance(1.0);
    h.hotkey->toggle();
    EXPECT_EQ(h.state(), VokariState::error);
    EXPECT_EQ(h.sounds->names().size(), soundsBefore);
}

TEST(DictationControllerHold, HoldStartAndEndPlayTheirSoundsEvenWhenNothingHappens) {
    ControllerHarness h;
    h.hotkey->holdStart();
    EXPECT_EQ(h.state(), VokariState::listening);
    h.recordSeconds(0.5);
    h.queue.advance(0.5);
    h.hotkey->holdEnd();
    EXPECT_EQ(h.refine->requests.size(), 1u);
    EXPECT_EQ(h.state(), VokariState::processing);

    // While processing a hold start is refused but still plays its sound.
    h.hotkey->holdStart();
    EXPECT_EQ(h.state(), VokariState::processing);
    EXPECT_EQ(h.capture->starts.size(), 1u);
    EXPECT_EQ(h.sounds->names(), (Sounds{"Blow", "Glass", "Blow"}));
}

TEST(DictationControllerMenu, StartAndStopEntriesActAsToggleInIdleAndListening) {
    ControllerHarness h;
    h.center.post(notifications::cancelDictation); // idle: nothing to stop
    h.center.post(notifications::startDictation);
    EXPECT_EQ(h.state(), VokariState::idle) << "delivered on the main queue";
    h.queue.runUntilIdle();
    EXPECT_EQ(h.state(), VokariState::listening);
    EXPECT_EQ(h.sounds->names(), Sounds{"Blow"});

    h.center.post(notifications::startDictation); // already listening: ignored
    h.queue.runUntilIdle();
    EXPECT_EQ(h.capture->starts.size(), 1u);

    h.recordSeconds(1.0);
    h.center.post(notifications::cancelDictation);
    h.queue.runUntilIdle();
    EXPECT_EQ(h.sounds->names(), (Sounds{"Blow", "Glass"}));
    EXPECT_EQ(h.refine->requests.size(), 1u) << "\"Stop Recording\" sends the recording";
    EXPECT_EQ(h.state(), VokariState::processing);

    h.center.post(notifications::startDictation); // processing: ignored
    h.queue.runUntilIdle();
    EXPECT_EQ(h.state(), VokariState::processing);
}

TEST(DictationControllerMenu, StopEntryInCommandModeSendsTheCommand) {
    ControllerHarness h;
    h.settings.setCommandModeEnabled(true);
    h.hotkey->toggle();
    h.queue.advance(0.2);
    h.hotkey->toggle();
    h.recordSeconds(1.0);
    h.center.post(notifications::cancelDictation);
    h.queue.runUntilIdle();
    EXPECT_EQ(h.commands->requests.size(), 1u);
}

TEST(DictationControllerWiring, HotkeyIsStartedAndFollowsHotkeyChangedOnlyForHotkeyOptions) {
    ControllerHarness h;
    EXPECT_EQ(h.hotkey->startCount, 1);

    h.center.post(notifications::hotkeyChanged, HotkeyOption::fn);
    EXPECT_TRUE(h.hotkey->options.empty()) << "delivered on the main queue";
    h.queue.runUntilIdle();
    EXPECT_EQ(h.hotkey->options, std::vector<HotkeyOption>{HotkeyOption::fn});

    h.center.post(notifications::hotkeyChanged, std::string("leftCmd"));
    h.center.post(notifications::hotkeyChanged, 3);
    h.center.post(notifications::hotkeyChanged);
    h.queue.runUntilIdle();
    EXPECT_EQ(h.hotkey->options.size(), 1u);
}

TEST(DictationControllerWiring, ShutdownStopsHotkeyTimerAndCapture) {
    ControllerHarness h;
    h.hotkey->toggle();
    h.controller->shutdown();
    EXPECT_EQ(h.hotkey->stopCount, 1);
    EXPECT_EQ(h.capture->stops.size(), 1u);
    h.queue.advance(301);
    EXPECT_TRUE(h.logs->startingWith("⏱").empty()) << "the max-duration timer is gone";
}

TEST(DictationControllerSounds, SoundFeedbackOffSilencesEverythingElseUnchanged) {
    ControllerHarness h;
    h.settings.setSoundFeedback(false);
    h.settings.setCommandModeEnabled(true);
    h.hotkey->toggle(); // Blow
    h.queue.advance(0.2);
    h.hotkey->toggle(); // Submarine
    h.queue.advance(1.0);
    h.hotkey->toggle(); // Glass, too short: Basso
    EXPECT_EQ(h.state(), VokariState::error);
    h.hotkey->cancel();    // Basso
    h.hotkey->holdStart(); // Blow
    h.recordSeconds(0.5);
    h.hotkey->holdEnd();                                // Glass, sent
    h.refine->answerLast(ProcessError{"Server error"}); // Basso
    h.queue.runUntilIdle();

    EXPECT_TRUE(h.sounds->played.empty());
    EXPECT_EQ(h.indicator->count("error: Too short"), 1);
    EXPECT_EQ(h.indicator->last(), "error: Server error");

    // A stored true plays again; the fixture's absent key already did (see the other tests).
    h.settings.setSoundFeedback(true);
    h.controller->playSound("Glass");
    EXPECT_EQ(h.sounds->names(), Sounds{"Glass"});
}

} // namespace
} // namespace vokari::testing
