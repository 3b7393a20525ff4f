// Toggle and hold presses, the double tap, the menu and hotkey wiring, and the sound switch.
#include "ControllerHarness.h"

#include <gtest/gtest.h>

namespace vokari::testing {
namespace {

TEST(DictationControllerStart, FirstPressStartsRecordingForTheAppFrontmostThen) {
    ControllerHarness h;
    EXPECT_EQ(h.take(), Lines{"hotkey start"});
    h.toggle();
    EXPECT_EQ(h.take(), (Lines{"capture start", "log 🎯 Target app for paste: xterm", "ui show",
                               "log 🎙 Dictation started", "ui max 300", "sound Blow"}));
    EXPECT_EQ(h.state(), VokariState::listening);
    EXPECT_TRUE(h.appState.isDictating.get());

    h.fake->frontmost = RunningApp{7, 7, "Other", std::string("other")};
    h.record(1.0);
    h.toggle();
    h.answer(refined("hello"));
    EXPECT_EQ(h.fake->all("paste"), Lines{"paste hello -> XTerm"});

    // Without a frontmost app, or with a nameless one, the log names none.
    h.fake->frontmost.reset();
    h.toggle();
    h.cancel();
    h.fake->frontmost = RunningApp{1, 2, "Nameless", std::nullopt};
    h.toggle();
    EXPECT_EQ(h.fake->all("log 🎯"), (Lines{"log 🎯 Target app for paste: xterm", "log 🎯 Target app for paste: none",
                                           "log 🎯 Target app for paste: none"}));
}

// Two presses, then a third 0.1 s later: a double tap turns the recording into a command that the third press
// sends; otherwise the second press sends a dictation and the third, while processing, changes nothing.
TEST(DictationControllerToggle, OnlyASecondPressUnder04SecondsInCommandModeIsADoubleTap) {
    struct Case {
        const char* name;
        bool commandMode;
        double startAt; // the clock's doubles round 0.4 s differently at different times
        double gap;
        std::string sent;
    };
    for (const Case& c : {Case{"0.35 s", true, 0, 0.35, "send command 14444 + iVBORw0KGgo="},
                          Case{"command mode off", false, 0, 0.35, "send dictation 11244"},
                          Case{"exactly 0.4 s", true, 0, 0.4, "send dictation 12844"},
                          Case{"exactly 0.4 s, later", true, 0.3, 0.4, "send dictation 12844"},
                          Case{"0.5 s", true, 0, 0.5, "send dictation 16044"}}) {
        SCOPED_TRACE(c.name);
        ControllerHarness h(c.commandMode);
        h.queue.advance(c.startAt);
        h.toggle();
        h.record(c.gap);
        h.toggle();
        h.record(0.1);
        h.toggle();
        bool doubleTap = c.sent.starts_with("send command");
        EXPECT_EQ(h.fake->all("send"), Lines{c.sent});
        EXPECT_EQ(h.fake->all("sound"), (doubleTap ? Lines{"sound Blow", "sound Submarine", "sound Glass"}
                                                   : Lines{"sound Blow", "sound Glass"}));
        EXPECT_EQ(h.fake->all("log ⚡️ Command mode activated (double-tap while recording)").size(),
                  doubleTap ? 1u : 0u);
        EXPECT_EQ(h.state(), VokariState::processing);
    }
}

// Every way of starting asks for capture before the sound, the target look-up and the capsule; an outcome that
// arrives later (the sound server answers off the main thread) is acted on when it comes.
TEST(DictationControllerStart, CaptureIsAskedForBeforeAnythingElseThePressSetsOff) {
    ControllerHarness h;
    h.fake->startOutcome.reset();
    const auto startOf = [&](const std::function<void()>& press) {
        h.take();
        press();
        h.queue.runUntilIdle();
        auto lines = h.take();
        EXPECT_EQ(h.state(), VokariState::listening);
        h.cancel();
        return lines;
    };
    const Lines pending{"capture start", "log 🎯 Target app for paste: xterm", "ui show", "ui max 300", "sound Blow"};
    EXPECT_EQ(startOf([&] { h.toggle(); }), pending);
    EXPECT_EQ(startOf([&] { h.holdStart(); }), pending);
    EXPECT_EQ(startOf([&] { h.center.post(notifications::startDictation); }), pending);

    h.toggle();
    h.fake->deliver(1600); // buffers that come before the outcome are part of the recording
    h.fake->reportStart(true);
    EXPECT_EQ(h.fake->all("log 🎙 Dictation started"), Lines{"log 🎙 Dictation started"});
    h.record(0.4);
    h.toggle();
    EXPECT_EQ(h.fake->all("send"), Lines{"send dictation 16044"});
}

TEST(DictationControllerHold, HoldPressesPlayTheirSoundsEvenWhenRefusedAndAStrayReleaseKeepsTheAnswer) {
    ControllerHarness h;
    h.holdStart();
    h.record(0.5);
    h.holdEnd();
    h.holdStart(); // processing: refused
    EXPECT_EQ(h.fake->all("sound"), (Lines{"sound Blow", "sound Glass", "sound Blow"}));
    EXPECT_EQ(h.state(), VokariState::processing);

    h.take();
    h.holdEnd(); // nothing recording: back to idle, the request stays pending
    EXPECT_EQ(h.take(), (Lines{"sound Glass", "capture stop", "ui hide"}));
    EXPECT_EQ(h.state(), VokariState::idle);
    h.answer(refined("late but wanted"));
    EXPECT_EQ(h.fake->all("paste"), Lines{"paste late but wanted -> XTerm"});
}

// In hold mode capture starts when the key goes down: what is said before the hold is recognised belongs to the
// recording; a press released sooner drops its capture and changes nothing else.
TEST(DictationControllerHold, CaptureRunsFromTheKeyGoingDownAndAShortPressDropsIt) {
    ControllerHarness h;
    h.take();
    h.fake->onHoldPending();
    EXPECT_EQ(h.take(), Lines{"capture start"});
    EXPECT_EQ(h.state(), VokariState::idle);
    h.record(0.15); // heard before the hold is recognised
    h.holdStart();
    EXPECT_EQ(h.take(), (Lines{"log 🎯 Target app for paste: xterm", "ui show", "log 🎙 Dictation started",
                               "ui max 300", "sound Blow"}))
        << "the running capture is the recording's: no second start";
    h.record(0.2);
    h.holdEnd();
    EXPECT_EQ(h.fake->all("send"), Lines{"send dictation 11244"}) << "0.35 s: both parts";
    h.answer(refined("first"));

    h.take();
    h.fake->onHoldPending();
    h.record(0.1);
    h.fake->onHoldAbandoned();
    EXPECT_EQ(h.take(), (Lines{"capture start", "capture stop"})) << "no sound, no capsule";
    EXPECT_EQ(h.state(), VokariState::idle);
    h.fake->onHoldAbandoned(); // a stray one changes nothing
    EXPECT_TRUE(h.take().empty());

    // The next hold records afresh, and a start outcome that comes after the hold is recognised still counts.
    h.fake->startOutcome.reset();
    h.fake->onHoldPending();
    h.holdStart();
    h.fake->reportStart(false);
    EXPECT_EQ(h.state(), VokariState::error);
    h.cancel();
    h.fake->startOutcome = true;
    h.fake->onHoldPending();
    h.holdStart();
    h.record(0.4);
    h.holdEnd();
    EXPECT_EQ(h.fake->all("send").back(), "send dictation 12844") << "nothing of the dropped press";

    h.take();
    h.fake->onHoldPending(); // while processing: no capture
    EXPECT_TRUE(h.fake->take("capture").empty());
}

// A streamed hold: the stream opens when the hold is recognised, and starts with what was heard before it.
TEST(DictationControllerHold, AStreamedHoldCarriesWhatWasHeardBeforeTheHoldWasRecognised) {
    ControllerHarness h;
    h.fake->streams = true;
    h.fake->onHoldPending();
    h.record(0.15);
    h.holdStart();
    EXPECT_EQ(h.fake->take("stream open"), Lines{"stream open dictation"});
    h.record(0.2);
    h.holdEnd();
    EXPECT_EQ(h.fake->all("stream finish"), Lines{"stream finish 11200 of 11244"});
}

TEST(DictationControllerMenu, StartAndStopEntriesActAsAToggleInIdleAndListening) {
    ControllerHarness h;
    h.center.post(notifications::cancelDictation); // idle: nothing to stop
    h.center.post(notifications::startDictation);
    EXPECT_EQ(h.state(), VokariState::idle) << "delivered on the main queue";
    h.queue.runUntilIdle();
    EXPECT_EQ(h.state(), VokariState::listening);
    h.center.post(notifications::startDictation); // already listening: ignored
    h.record(1.0);
    h.center.post(notifications::cancelDictation); // "Stop Recording" sends
    h.queue.runUntilIdle();
    h.center.post(notifications::startDictation); // processing: ignored
    h.queue.runUntilIdle();
    EXPECT_EQ(h.fake->all("sound"), (Lines{"sound Blow", "sound Glass"}));
    EXPECT_EQ(h.fake->all("send"), Lines{"send dictation 32044"});
    EXPECT_EQ(h.state(), VokariState::processing);

    ControllerHarness c;
    c.startCommand();
    c.record(1.0);
    c.center.post(notifications::cancelDictation);
    c.queue.runUntilIdle();
    EXPECT_EQ(c.fake->all("send"), Lines{"send command 32044 + iVBORw0KGgo="});
}

TEST(DictationControllerWiring, HotkeyFollowsOnlyHotkeyOptionsAndShutdownStopsHotkeyTimerAndCapture) {
    ControllerHarness h;
    h.take();
    h.center.post(notifications::hotkeyChanged, HotkeyOption::fn);
    EXPECT_EQ(h.take(), Lines{}) << "delivered on the main queue";
    h.queue.runUntilIdle();
    h.center.post(notifications::hotkeyChanged, std::string("leftCmd"));
    h.center.post(notifications::hotkeyChanged, 3);
    h.center.post(notifications::hotkeyChanged);
    h.queue.runUntilIdle();
    EXPECT_EQ(h.take(), Lines{"hotkey option " + std::to_string(int(HotkeyOption::fn))});

    h.toggle();
    h.take();
    h.controller->shutdown();
    h.queue.advance(301);
    EXPECT_EQ(h.take(), (Lines{"hotkey stop", "capture stop"})) << "the max-duration timer is gone";
}

TEST(DictationControllerSounds, SoundFeedbackOffSilencesEverythingElseUnchanged) {
    ControllerHarness h;
    h.settings.setSoundFeedback(false);
    h.dictate(0.1);
    EXPECT_EQ(h.take(), (Lines{"capture stop", "ui error: Too short"}));
    h.settings.setSoundFeedback(true); // a stored true plays, as the absent key does in every other test
    h.controller->playSound("Glass");
    EXPECT_EQ(h.fake->all("sound"), Lines{"sound Glass"});
}

} // namespace
} // namespace vokari::testing
