// Cancelling, the generation rule, the delayed resets, and a microphone that fails to start.
#include "ControllerHarness.h"

#include <gtest/gtest.h>

namespace vokari::testing {
namespace {

TEST(DictationControllerCancel, CancelDropsTheRecordingOrTheLateAnswerAndReturnsToIdle) {
    struct Case {
        const char* name;
        void (*reach)(ControllerHarness&);
    };
    for (const Case& c : {Case{"listening", [](ControllerHarness& h) { h.toggle(); }},
                          Case{"command listening", [](ControllerHarness& h) { h.startCommand(); }},
                          Case{"processing", [](ControllerHarness& h) { h.dictate(1.0); }},
                          Case{"command processing", [](ControllerHarness& h) { h.command(1.0); }},
                          Case{"too short", [](ControllerHarness& h) { h.dictate(0.25); }}}) {
        SCOPED_TRACE(c.name);
        ControllerHarness h;
        h.cancel();
        EXPECT_EQ(h.take(), Lines{"hotkey start"}) << "nothing to cancel in idle";
        c.reach(h);
        h.record(2.0);
        h.take();
        h.cancel();
        EXPECT_EQ(h.take(), (Lines{"sound Basso", "capture stop", "ui hide", "log 🎙 Dictation cancelled"}));
        EXPECT_EQ(h.state(), VokariState::idle);
        EXPECT_FALSE(h.appState.isDictating.get());

        for (auto& done : h.fake->dictations) {
            done(refined("too late"));
        }
        for (auto& done : h.fake->commands) {
            done(CommandSuccess{{"too late", {typeText("x")}, 0, 0, 0}});
        }
        h.queue.advance(5);
        EXPECT_EQ(h.take(), Lines{});

        // A stray release sends nothing; the next recording starts empty and is an ordinary one, even when a
        // toggle press sends it.
        h.holdEnd();
        h.holdStart();
        h.fake->deliver(4800);
        h.toggle();
        EXPECT_EQ(h.take("send"), Lines{"send dictation 9644"});
    }
}

// In hold mode a stray release leaves a request pending while a newer recording starts.
TEST(DictationControllerGeneration, ANewerRequestSupersedesAnOlderAnswerInEitherOrder) {
    for (bool newerAnswersFirst : {false, true}) {
        SCOPED_TRACE(newerAnswersFirst ? "newer answers first" : "older answers first");
        ControllerHarness h;
        h.holdStart();
        h.record(1.0);
        h.holdEnd();
        h.holdEnd();
        h.holdStart();
        h.record(1.0);
        h.holdEnd();
        h.answer(refined(newerAnswersFirst ? "newer" : "older"), newerAnswersFirst ? 1 : 0);
        h.answer(refined(newerAnswersFirst ? "older" : "newer"), newerAnswersFirst ? 0 : 1);
        EXPECT_EQ(h.fake->all("paste"), Lines{"paste newer -> XTerm"});
        EXPECT_EQ(h.state(), VokariState::idle);
    }
}

// Until the newer recording is sent, the older answer still counts: it goes to its own target, but whatever its
// kind it leaves the recording and its capsule alone, and no reset ends it.
TEST(DictationControllerGeneration, AnAnswerDuringANewerRecordingLeavesThatRecordingAlone) {
    struct Case {
        ProcessResult answer;
        Lines expected;
    };
    for (const Case& c :
         {Case{refined("older"), {"log 📋 Inserting: older...", "paste older -> XTerm", "history older"}},
          Case{ProcessError{"Server error"}, {"sound Basso"}},
          Case{ProcessRateLimited{}, {"alert Daily limit reached " + kRateLimitMessage}}}) {
        SCOPED_TRACE(c.expected[0]);
        ControllerHarness h;
        h.holdStart();
        h.record(1.0);
        h.holdEnd();
        h.holdEnd();
        h.fake->frontmost = RunningApp{99, 99, "Editor", std::string("editor")};
        h.holdStart();
        h.take();
        h.answer(c.answer, 0);
        for (auto& dismiss : h.fake->alertDismissals) {
            dismiss();
        }
        h.record(3.0);
        EXPECT_EQ(h.take(), c.expected);
        EXPECT_EQ(h.state(), VokariState::listening);
        EXPECT_TRUE(h.appState.isDictating.get());
        h.holdEnd();
        EXPECT_EQ(h.take("send"), Lines{"send dictation 96044"});
    }
}

TEST(DictationControllerGeneration, APendingResetNeverEndsANewerRequest) {
    ControllerHarness h;
    h.dictate(1.0);
    h.answer(ProcessError{"Server error"}); // reset due in 2.5 s
    h.cancel();
    h.dictate(0.5);
    h.queue.advance(5.0);
    EXPECT_EQ(h.state(), VokariState::processing) << "that reset belongs to an older request";
}

TEST(DictationControllerCapture, StartFailureShowsAnErrorStateThenIdlesAfter25Seconds) {
    ControllerHarness h;
    h.take();
    h.fake->startOutcome = false;
    h.toggle();
    EXPECT_EQ(h.take(), (Lines{"capture start", "log 🎯 Target app for paste: xterm", "ui show", "ui hide",
                               "log ❌ Failed to start audio capture", "ui max 300", "sound Blow"}))
        << "no failure sound, no alert";
    EXPECT_EQ(h.state(), VokariState::error);
    EXPECT_FALSE(h.appState.isDictating.get());
    h.fake->deliver(16000); // a straggling buffer has no session to land in
    h.queue.advance(2.49);
    EXPECT_EQ(h.state(), VokariState::error);
    h.queue.advance(0.01);
    EXPECT_EQ(h.state(), VokariState::idle);

    h.fake->startOutcome = true;
    h.toggle();
    h.fake->deliver(4800);
    h.toggle();
    EXPECT_EQ(h.fake->all("send"), Lines{"send dictation 9644"});
}

TEST(DictationControllerCapture, OnlyTheFirstOutcomeOfAStartCountsAndAFailureEndsCommandMode) {
    ControllerHarness h;
    h.fake->startOutcome.reset();
    h.startCommand();
    h.queue.advance(1.0);
    h.fake->reportStart(false); // reported late, after a retry
    EXPECT_EQ(h.state(), VokariState::error);
    h.fake->reportStart(true);
    h.fake->reportStart(false);
    h.queue.runUntilIdle();
    EXPECT_EQ(h.fake->all("log ❌"), Lines{"log ❌ Failed to start audio capture"});
    EXPECT_EQ(h.fake->all("log 🎙 Dictation started"), Lines{});

    h.take();
    h.queue.advance(300); // the reset, and no time limit for a recording that never started
    EXPECT_EQ(h.take(), Lines{});
    h.fake->startOutcome = true;
    h.holdStart();
    h.record(1.0);
    h.toggle();
    EXPECT_EQ(h.fake->all("send"), Lines{"send dictation 32044"});
}

} // namespace
} // namespace vokari::testing
