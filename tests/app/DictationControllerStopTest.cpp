// Stopping an ordinary dictation: the length check, the request, the 300 s limit, and each kind of answer.
#include "ControllerHarness.h"

#include <gtest/gtest.h>

namespace vokari::testing {
namespace {

using Sounds = std::vector<std::string>;

TEST(DictationControllerStop, RecordingsUnder03SecondsAreRejectedAndResetAfter25Seconds) {
    ControllerHarness h;
    h.hotkey->toggle();
    h.recordSamples(4799); // 0.2999375 s
    h.hotkey->toggle();

    EXPECT_EQ(h.sounds->names(), (Sounds{"Blow", "Glass", "Basso"}));
    EXPECT_TRUE(h.refine->requests.empty());
    EXPECT_EQ(h.indicator->last(), "error: Too short");
    EXPECT_EQ(h.state(), VokariState::error);
    EXPECT_FALSE(h.appState.isDictating.get());
    EXPECT_EQ(h.capture->stops.size(), 1u);

    h.queue.advance(2.49);
    EXPECT_EQ(h.state(), VokariState::error);
    h.queue.advance(0.01);
    EXPECT_EQ(h.state(), VokariState::idle);
    EXPECT_EQ(h.indicator->count("hide"), 0) << "the capsule hides itself after its error";
}

TEST(DictationControllerStop, ExactlyThreeTenthsOfASecondIsSent) {
    ControllerHarness h;
    h.hotkey->toggle();
    h.recordSamples(4800);
    h.hotkey->toggle();

    ASSERT_EQ(h.refine->requests.size(), 1u);
    EXPECT_EQ(h.refine->requests[0].source, "dictation");
    EXPECT_EQ(h.refine->requests[0].audio, DictationSession::encodeWAV(std::vector<float>(4800, 0.25f)));
    EXPECT_TRUE(h.logs->contains("🎙 Sending 9644 bytes (0.3s) to backend..."));
    EXPECT_EQ(h.state(), VokariState::processing);
    EXPECT_EQ(h.indicator->last(), "processing");
    EXPECT_EQ(h.sounds->names(), (Sounds{"Blow", "Glass"}));
}

TEST(DictationControllerStop, CancelDuringTooShortErrorReturnsToIdleAtOnce) {
    ControllerHarness h;
    h.dictate(0.25);
    ASSERT_EQ(h.state(), VokariState::error);
    h.hotkey->cancel();
    EXPECT_EQ(h.state(), VokariState::idle);
    EXPECT_EQ(h.sounds->names().back(), "Basso");
}

TEST(DictationControllerStop, StopsByItselfAfter300Seconds) {
    ControllerHarness h;
    h.hotkey->toggle();
    h.recordSamples(300 * kSamplesPerSecond);
    h.queue.advance(299.999);
    EXPECT_EQ(h.state(), VokariState::listening);
    h.queue.advance(0.001);

    EXPECT_TRUE(h.logs->contains("⏱ Max duration (300s) reached — auto-stopping"));
    EXPECT_EQ(h.sounds->names(), (Sounds{"Blow", "Glass"}));
    ASSERT_EQ(h.refine->requests.size(), 1u);
    EXPECT_EQ(h.refine->requests[0].audio.size(), 9'600'044u);
    EXPECT_TRUE(h.logs->contains("🎙 Sending 9600044 bytes (300.0s) to backend..."));
}

TEST(DictationControllerStop, MaxDurationTimerEndsWithTheRecording) {
    ControllerHarness h;
    h.dictate(1.0);
    h.refine->answerLast(refined("done"));
    h.queue.advance(100);
    h.hotkey->toggle(); // a new recording re-arms the limit from its own start
    h.queue.advance(250);
    h.hotkey->cancel();
    h.queue.advance(400);
    EXPECT_TRUE(h.logs->startingWith("⏱").empty());
    EXPECT_EQ(h.state(), VokariState::idle);
}

TEST(DictationControllerAnswer, SuccessPastesIntoTargetAddsHistoryAndGoesIdle) {
    ControllerHarness h;
    h.dictate(1.0);
    // 70 characters, several of them two or three bytes long: the excerpt is 60 characters, not bytes.
    std::string text = "Grüße aus Köln — " + std::string(53, 'x');
    h.refine->answerLast(ProcessSuccess{std::string("raw words"), text});
    EXPECT_TRUE(h.inserter->inserts.empty()) << "answers are handled on the main queue";
    h.queue.runUntilIdle();

    ASSERT_EQ(h.inserter->inserts.size(), 1u);
    EXPECT_EQ(h.inserter->inserts[0].text, text);
    EXPECT_EQ(h.inserter->inserts[0].target, h.workspace->frontmost);
    ASSERT_EQ(h.history.entries.size(), 1u);
    EXPECT_EQ(h.history.entries[0].text, text);
    EXPECT_TRUE(h.logs->contains("📋 Inserting: Grüße aus Köln — " + std::string(43, 'x') + "..."));
    EXPECT_EQ(h.state(), VokariState::idle);
    EXPECT_EQ(h.indicator->last(), "hide");
    EXPECT_EQ(h.sounds->names(), (Sounds{"Blow", "Glass"}));
}

TEST(DictationControllerAnswer, RawTextIsUsedWhenRefinedIsAbsentAndEmptyTextPastesNothing) {
    {
        ControllerHarness h;
        h.dictate(1.0);
        h.refine->answerLast(ProcessSuccess{std::string("just raw"), std::nullopt});
        h.queue.runUntilIdle();
        ASSERT_EQ(h.inserter->inserts.size(), 1u);
        EXPECT_EQ(h.inserter->inserts[0].text, "just raw");
        EXPECT_TRUE(h.logs->contains("📋 Inserting: just raw..."));
    }
    for (auto empty : {ProcessSuccess{std::nullopt, std::nullopt}, ProcessSuccess{std::string(""), std::string("")},
                       ProcessSuccess{std::string("ignored raw"), std::string("")}}) {
        ControllerHarness h;
        h.dictate(1.0);
        h.refine->answerLast(empty);
        h.queue.runUntilIdle();
        EXPECT_TRUE(h.inserter->inserts.empty());
        EXPECT_TRUE(h.history.entries.empty());
        EXPECT_TRUE(h.logs->startingWith("📋").empty());
        EXPECT_EQ(h.state(), VokariState::idle);
        EXPECT_EQ(h.indicator->last(), "hide");
    }
}

TEST(DictationControllerAnswer, MissingMainViewOrInserterIsSkipped) {
    ControllerHarness h;
    h.mainViewOpen = false;
    h.dictate(1.0);
    h.refine->answerLast(refined("still pasted"));
    h.queue.runUntilIdle();
    EXPECT_EQ(h.inserter->inserts.size(), 1u);
    EXPECT_TRUE(h.history.entries.empty());
    EXPECT_EQ(h.state(), VokariState::idle);
}

TEST(DictationControllerAnswer, RateLimitShowsTheAlertThenIdlesAfterDismissal) {
    ControllerHarness h;
    h.dictate(1.0);
    h.refine->answerLast(ProcessRateLimited{});
    h.queue.runUntilIdle();

    ASSERT_EQ(h.alerts->alerts.size(), 1u);
    EXPECT_EQ(h.alerts->alerts[0].title, "Daily limit reached");
    EXPECT_EQ(h.alerts->alerts[0].message,
              "You've used all your transcriptions for today. The limit resets at midnight UTC.");
    EXPECT_EQ(h.state(), VokariState::processing);
    h.queue.advance(60);
    EXPECT_EQ(h.state(), VokariState::processing) << "the alert waits for the user";

    h.alerts->dismissLast();
    EXPECT_EQ(h.state(), VokariState::idle);
    EXPECT_EQ(h.indicator->last(), "hide");
    EXPECT_TRUE(h.inserter->inserts.empty());
    EXPECT_EQ(h.sounds->names(), (Sounds{"Blow", "Glass"})) << "no sound for the daily limit";
}

TEST(DictationControllerAnswer, CancelWhileTheRateLimitAlertIsOpenIsNotUndoneByItsDismissal) {
    ControllerHarness h;
    h.dictate(1.0);
    h.refine->answerLast(ProcessRateLimited{});
    h.queue.runUntilIdle();
    h.hotkey->cancel();
    h.hotkey->toggle(); // a new recording while the alert is still open
    auto hidesBefore = h.indicator->count("hide");
    h.alerts->dismissLast();
    EXPECT_EQ(h.state(), VokariState::listening);
    EXPECT_EQ(h.indicator->count("hide"), hidesBefore);
}

TEST(DictationControllerAnswer, ErrorShowsTheMessageAndResetsAfter25Seconds) {
    ControllerHarness h;
    h.dictate(1.0);
    h.refine->answerLast(ProcessError{"Request timed out — try again"});
    h.queue.runUntilIdle();

    EXPECT_EQ(h.sounds->names(), (Sounds{"Blow", "Glass", "Basso"}));
    EXPECT_EQ(h.indicator->last(), "error: Request timed out — try again");
    EXPECT_TRUE(h.inserter->inserts.empty());
    h.queue.advance(2.49);
    EXPECT_EQ(h.state(), VokariState::processing);
    h.queue.advance(0.01);
    EXPECT_EQ(h.state(), VokariState::idle);
    EXPECT_EQ(h.refine->requests.size(), 1u) << "never retried";
}

TEST(DictationControllerStop, HoldEndWithNothingRecordingGoesIdleAndThePendingAnswerIsStillPasted) {
    ControllerHarness h;
    h.dictate(1.0);
    h.hotkey->holdEnd();
    EXPECT_EQ(h.sounds->names(), (Sounds{"Blow", "Glass", "Glass"}));
    EXPECT_EQ(h.state(), VokariState::idle);
    EXPECT_EQ(h.indicator->last(), "hide");
    EXPECT_EQ(h.refine->requests.size(), 1u);

    h.refine->answerLast(refined("late but wanted"));
    h.queue.runUntilIdle();
    ASSERT_EQ(h.inserter->inserts.size(), 1u);
    EXPECT_EQ(h.inserter->inserts[0].text, "late but wanted");
}

TEST(DictationControllerStop, NothingIsSentWhenTheBackendIsNotConfigured) {
    ControllerHarness h;
    h.refine->configured = false;
    h.dictate(1.0);
    EXPECT_TRUE(h.refine->requests.empty());
    EXPECT_EQ(h.state(), VokariState::idle);
    EXPECT_EQ(h.indicator->last(), "hide");
}

} // namespace
} // namespace vokari::testing
