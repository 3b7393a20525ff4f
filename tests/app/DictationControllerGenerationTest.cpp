// The generation rule, cancelling, the delayed resets, and a microphone that fails to start.
#include "ControllerHarness.h"

#include <gtest/gtest.h>

namespace vokari::testing {
namespace {

using Sounds = std::vector<std::string>;

TEST(DictationControllerCancel, CancelWhileProcessingDropsTheLateAnswer) {
    ControllerHarness h;
    h.dictate(1.0);
    h.hotkey->cancel();

    EXPECT_EQ(h.sounds->names(), (Sounds{"Blow", "Glass", "Basso"}));
    EXPECT_EQ(h.state(), VokariState::idle);
    EXPECT_EQ(h.indicator->last(), "hide");
    EXPECT_TRUE(h.logs->contains("🎙 Dictation cancelled"));

    h.refine->answerLast(refined("too late"));
    h.queue.advance(5);
    EXPECT_TRUE(h.inserter->inserts.empty());
    EXPECT_TRUE(h.history.entries.empty());
    EXPECT_EQ(h.state(), VokariState::idle);
}

TEST(DictationControllerCancel, CancelWhileListeningDiscardsTheAudioAndIdleIgnoresIt) {
    ControllerHarness h;
    h.hotkey->cancel();
    EXPECT_TRUE(h.sounds->played.empty()) << "nothing to cancel in idle";
    EXPECT_TRUE(h.logs->startingWith("🎙 Dictation cancelled").empty());

    h.hotkey->toggle();
    h.recordSeconds(2.0);
    h.hotkey->cancel();
    EXPECT_EQ(h.state(), VokariState::idle);
    EXPECT_FALSE(h.appState.isDictating.get());
    EXPECT_EQ(h.capture->stops.size(), 1u);
    EXPECT_TRUE(h.refine->requests.empty());

    // The discarded session is really gone: the next recording starts empty.
    h.hotkey->toggle();
    h.recordSamples(4800);
    h.hotkey->toggle();
    ASSERT_EQ(h.refine->requests.size(), 1u);
    EXPECT_EQ(h.refine->requests[0].audio.size(), 44u + 2 * 4800);
}

TEST(DictationControllerGeneration, ANewerRecordingSupersedesAnOlderAnswerInEitherOrder) {
    for (bool newerAnswersFirst : {false, true}) {
        SCOPED_TRACE(newerAnswersFirst ? "newer answers first" : "older answers first");
        ControllerHarness h;
        h.dictate(1.0);
        h.hotkey->cancel();
        h.dictate(1.0);
        ASSERT_EQ(h.refine->requests.size(), 2u);
        if (newerAnswersFirst) {
            h.refine->answer(1, refined("newer"));
            h.refine->answer(0, refined("older"));
        } else {
            h.refine->answer(0, refined("older"));
            h.refine->answer(1, refined("newer"));
        }
        h.queue.runUntilIdle();
        ASSERT_EQ(h.inserter->inserts.size(), 1u);
        EXPECT_EQ(h.inserter->inserts[0].text, "newer");
        EXPECT_EQ(h.state(), VokariState::idle);
    }
}

TEST(DictationControllerGeneration, HoldModeNewerSendDropsTheOlderAnswer) {
    ControllerHarness h;
    h.hotkey->holdStart();
    h.recordSeconds(1.0);
    h.hotkey->holdEnd();
    h.hotkey->holdEnd(); // a stray release: idle, request still pending
    h.hotkey->holdStart();
    h.recordSeconds(1.0);
    h.hotkey->holdEnd();
    ASSERT_EQ(h.refine->requests.size(), 2u);
    h.refine->answer(0, refined("older"));
    h.refine->answer(1, refined("newer"));
    h.queue.runUntilIdle();
    ASSERT_EQ(h.inserter->inserts.size(), 1u);
    EXPECT_EQ(h.inserter->inserts[0].text, "newer");
}

TEST(DictationControllerGeneration, APendingResetNeverClobbersANewerRequest) {
    ControllerHarness h;
    h.dictate(1.0);
    h.refine->answerLast(ProcessError{"Server error"});
    h.queue.runUntilIdle(); // reset due in 2.5 s
    h.queue.advance(1.0);
    h.hotkey->cancel();
    h.dictate(0.5);
    ASSERT_EQ(h.state(), VokariState::processing);
    h.queue.advance(5.0);
    EXPECT_EQ(h.state(), VokariState::processing) << "the old reset belongs to an older generation";
}

TEST(DictationControllerGeneration, AResetNeverEndsARecordingInProgress) {
    ControllerHarness h;
    h.dictate(0.1); // too short: reset due in 2.5 s with an unchanged generation
    h.hotkey->cancel();
    h.hotkey->toggle();
    h.queue.advance(3.0);
    EXPECT_EQ(h.state(), VokariState::listening);
}

// An answer that arrives while a newer recording is running (possible in hold mode after a stray release) is
// still delivered to its own target, but leaves the running recording and its capsule alone.
TEST(DictationControllerGeneration, AnAnswerDuringANewerRecordingKeepsThatRecordingGoing) {
    ControllerHarness h;
    auto firstTarget = h.workspace->frontmost;
    h.hotkey->holdStart();
    h.recordSeconds(1.0);
    h.hotkey->holdEnd();
    h.hotkey->holdEnd();
    h.workspace->frontmost = RunningApp{99, 99, "Editor", std::string("editor")};
    h.hotkey->holdStart();
    auto eventsBefore = h.indicator->events.size();

    h.refine->answer(0, refined("first"));
    h.queue.runUntilIdle();
    ASSERT_EQ(h.inserter->inserts.size(), 1u);
    EXPECT_EQ(h.inserter->inserts[0].target, firstTarget);
    EXPECT_EQ(h.state(), VokariState::listening);
    EXPECT_TRUE(h.appState.isDictating.get());
    EXPECT_EQ(h.indicator->events.size(), eventsBefore);

    h.recordSeconds(1.0);
    h.hotkey->holdEnd();
    EXPECT_EQ(h.refine->requests.size(), 2u);
    EXPECT_EQ(h.refine->requests[1].audio.size(), 44u + 2 * 16000);
}

TEST(DictationControllerCapture, StartFailureShowsErrorThenIdlesAfter25Seconds) {
    ControllerHarness h;
    h.capture->startOutcome = false;
    h.hotkey->toggle();

    EXPECT_EQ(h.state(), VokariState::error);
    EXPECT_FALSE(h.appState.isDictating.get());
    EXPECT_EQ(h.indicator->count("hide"), 1);
    EXPECT_TRUE(h.logs->contains("❌ Failed to start audio capture"));
    EXPECT_FALSE(h.logs->contains("🎙 Dictation started"));
    EXPECT_EQ(h.sounds->names(), Sounds{"Blow"}) << "no failure sound";
    EXPECT_TRUE(h.alerts->alerts.empty());

    h.recordSeconds(1.0); // a straggling buffer has no session to land in
    h.queue.advance(2.49);
    EXPECT_EQ(h.state(), VokariState::error);
    h.queue.advance(0.01);
    EXPECT_EQ(h.state(), VokariState::idle);

    h.capture->startOutcome = true;
    h.hotkey->toggle();
    EXPECT_EQ(h.state(), VokariState::listening);
    h.recordSamples(4800);
    h.hotkey->toggle();
    ASSERT_EQ(h.refine->requests.size(), 1u);
    EXPECT_EQ(h.refine->requests[0].audio.size(), 44u + 2 * 4800);
}

TEST(DictationControllerCapture, OnlyTheFirstOutcomeOfAStartCounts) {
    ControllerHarness h;
    h.capture->startOutcome.reset();
    h.settings.setCommandModeEnabled(true);
    h.hotkey->toggle();
    h.queue.advance(0.1);
    h.hotkey->toggle(); // command mode
    EXPECT_TRUE(h.logs->startingWith("🎙 Dictation started").empty());

    h.queue.advance(1.0);
    h.capture->reportStart(false); // outcome of a retry, reported later
    EXPECT_EQ(h.state(), VokariState::error);
    h.capture->reportStart(true);
    h.capture->reportStart(false);
    h.queue.runUntilIdle();
    EXPECT_FALSE(h.logs->contains("🎙 Dictation started"));
    EXPECT_EQ(h.logs->startingWith("❌").size(), 1u);

    // Command mode was cleared: the next recording is an ordinary one.
    h.queue.advance(2.5);
    h.capture->startOutcome = true;
    h.dictate(1.0);
    EXPECT_EQ(h.refine->requests.size(), 1u);
    EXPECT_TRUE(h.commands->requests.empty());
}

TEST(DictationControllerCapture, StopDuringMicrophoneErrorGoesIdle) {
    ControllerHarness h;
    h.capture->startOutcome = false;
    h.hotkey->holdStart();
    ASSERT_EQ(h.state(), VokariState::error);
    h.hotkey->holdEnd();
    EXPECT_EQ(h.state(), VokariState::idle);
    EXPECT_TRUE(h.refine->requests.empty());
}

} // namespace
} // namespace vokari::testing
