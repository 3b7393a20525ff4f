// Stopping an ordinary dictation: the length check, the request, the 300 s limit, and each kind of answer.
#include "ControllerHarness.h"

#include <gtest/gtest.h>

namespace vokari::testing {
namespace {

TEST(DictationControllerStop, UnderThreeTenthsOfASecondIsRejectedForTwoAndAHalfSecondsExactlyThatIsSent) {
    ControllerHarness h;
    h.toggle();
    h.fake->deliver(4799);
    h.take();
    h.toggle();
    EXPECT_EQ(h.take(), (Lines{"sound Glass", "capture stop", "sound Basso", "ui error: Too short"}));
    EXPECT_EQ(h.state(), VokariState::error);
    EXPECT_FALSE(h.appState.isDictating.get());
    h.toggle(); // ignored while the error shows
    h.queue.advance(2.49);
    EXPECT_EQ(h.state(), VokariState::error);
    h.queue.advance(0.01);
    EXPECT_EQ(h.state(), VokariState::idle);
    EXPECT_EQ(h.take(), Lines{}) << "no sound, and the capsule hides itself after its error";

    // Samples the capture hands over while it stops belong to the recording.
    h.toggle();
    h.fake->deliver(4700);
    h.fake->samplesAtStop = 100;
    h.take();
    h.toggle();
    EXPECT_EQ(h.take(), (Lines{"sound Glass", "capture stop", "ui processing",
                               "log 🎙 Sending 9644 bytes (0.3s) to backend...", "send dictation 9644"}));
    EXPECT_EQ(h.state(), VokariState::processing);
}

TEST(DictationControllerStop, ARecordingStopsByItselfAfter300SecondsFromItsOwnStart) {
    ControllerHarness h;
    h.dictate(1.0);
    h.answer(refined("done"));
    h.queue.advance(100);
    h.toggle();
    h.queue.advance(250); // past the first recording's limit
    h.cancel();
    h.queue.advance(400);
    EXPECT_EQ(h.fake->all("log ⏱"), Lines{});

    h.toggle();
    h.fake->deliver(300 * 16000);
    h.queue.advance(299.999);
    EXPECT_EQ(h.state(), VokariState::listening);
    h.take();
    h.queue.advance(0.001);
    EXPECT_EQ(h.take(), (Lines{"log ⏱ Max duration (300s) reached — auto-stopping", "sound Glass", "capture stop",
                               "ui processing", "log 🎙 Sending 9600044 bytes (300.0s) to backend...",
                               "send dictation 9600044"}));
}

TEST(DictationControllerAnswer, SuccessPastesTheRefinedElseTheRawTextIntoTheTargetAndGoesIdle) {
    // 70 characters, several of them two or three bytes long: the excerpt is 60 characters, not bytes.
    const std::string text = "Grüße aus Köln — " + std::string(53, 'x');
    struct Case {
        ProcessSuccess answer;
        bool mainViewOpen;
        Lines expected;
    };
    for (const Case& c : {
             Case{{"raw words", text},
                  true,
                  {"log 📋 Inserting: Grüße aus Köln — " + std::string(43, 'x') + "...", "paste " + text + " -> XTerm",
                   "history " + text, "ui hide"}},
             Case{{"just raw", std::nullopt},
                  true,
                  {"log 📋 Inserting: just raw...", "paste just raw -> XTerm", "history just raw", "ui hide"}},
             Case{{std::nullopt, "no window"},
                  false,
                  {"log 📋 Inserting: no window...", "paste no window -> XTerm", "ui hide"}},
             Case{{std::nullopt, std::nullopt}, true, {"ui hide"}},
             Case{{"ignored raw", ""}, true, {"ui hide"}},
         }) {
        SCOPED_TRACE(c.expected[0]);
        ControllerHarness h;
        h.mainViewOpen = c.mainViewOpen;
        h.dictate(1.0);
        h.take();
        h.answer(c.answer);
        EXPECT_EQ(h.take(), c.expected);
        EXPECT_EQ(h.state(), VokariState::idle);
    }
}

TEST(DictationControllerAnswer, RateLimitAlertWaitsForTheUserThenIdlesUnlessANewerRequestCame) {
    ControllerHarness h;
    h.dictate(1.0);
    h.take();
    h.answer(ProcessRateLimited{});
    EXPECT_EQ(h.take(), Lines{"alert Daily limit reached " + kRateLimitMessage}) << "no sound, nothing pasted";
    h.queue.advance(60);
    EXPECT_EQ(h.state(), VokariState::processing);
    h.fake->alertDismissals.back()();
    EXPECT_EQ(h.take(), Lines{"ui hide"});
    EXPECT_EQ(h.state(), VokariState::idle);

    // Dismissed after a cancel, it leaves the newer request alone.
    h.dictate(1.0);
    h.answer(ProcessRateLimited{});
    h.cancel();
    h.dictate(1.0);
    h.take();
    h.fake->alertDismissals.back()();
    EXPECT_EQ(h.take(), Lines{});
    EXPECT_EQ(h.state(), VokariState::processing);
}

TEST(DictationControllerAnswer, AnErrorPlaysBassoShowsTheMessageAndResetsAfter25SecondsWithoutRetry) {
    for (bool command : {false, true}) {
        SCOPED_TRACE(command ? "command" : "dictation");
        ControllerHarness h;
        if (command) {
            h.command(1.0);
            h.take();
            h.answerCommand(CommandError{"Request timed out — try again"});
        } else {
            h.dictate(1.0);
            h.take();
            h.answer(ProcessError{"Request timed out — try again"});
        }
        EXPECT_EQ(h.take(), (Lines{"sound Basso", "ui error: Request timed out — try again"}));
        h.queue.advance(2.49);
        EXPECT_EQ(h.state(), VokariState::processing);
        h.queue.advance(0.01);
        EXPECT_EQ(h.state(), VokariState::idle);
        EXPECT_EQ(h.take(), Lines{});
    }
}

TEST(DictationControllerStop, WithNoUsableBackendNothingIsSentButTheUserIsToldAndTheDictationKept) {
    ControllerHarness h;
    h.fake->configured = false;
    h.dictate(1.0);
    EXPECT_EQ(h.take(), (Lines{"sound Glass", "capture stop", "sound Basso", "ui error: No backend configured"}));
    EXPECT_EQ(h.state(), VokariState::error);
    ASSERT_EQ(h.keeper->kept.size(), 1u);
    EXPECT_EQ(h.keeper->kept[0].second, "No backend configured");
    h.queue.advance(2.5);
    EXPECT_EQ(h.state(), VokariState::idle);

    // A command is told too, but never kept.
    h.command(1.0);
    EXPECT_EQ(h.take("ui error"), Lines{"ui error: No backend configured"});
    EXPECT_EQ(h.fake->all("send"), Lines{}) << "nothing was ever sent";
    EXPECT_EQ(h.keeper->kept.size(), 1u);
}

} // namespace
} // namespace vokari::testing

namespace vokari::testing {
namespace {

TEST(DictationControllerStop, LostCaptureTellsTheUserAtOnceAndKeepsWhatWasHeard) {
    // Enough audio before the loss: it is sent as the stop would send it, and the capsule says what happened.
    ControllerHarness h;
    h.toggle();
    h.record(1.0);
    h.take();
    h.fake->onCaptureLost();
    EXPECT_EQ(h.take(), (Lines{"log ❌ Audio capture lost — ending the recording", "sound Basso", "capture stop",
                               "ui processing", "log 🎙 Sending 32044 bytes (1.0s) to backend...",
                               "send dictation 32044", "ui error: Microphone lost — sending what was heard"}));
    EXPECT_EQ(h.state(), VokariState::processing);
    EXPECT_EQ(h.appState.errorMessage.get(), "Microphone lost — sending what was heard");
    h.answer(refined("kept words"));
    EXPECT_EQ(h.take("paste"), Lines{"paste kept words -> XTerm"});

    // Too little audio: an error, then the usual reset; a loss reported when nothing records changes nothing.
    h.toggle();
    h.record(0.1);
    h.take();
    h.fake->onCaptureLost();
    EXPECT_EQ(h.take(), (Lines{"log ❌ Audio capture lost — ending the recording", "sound Basso", "capture stop",
                               "ui error: Microphone lost — try again"}));
    EXPECT_EQ(h.state(), VokariState::error);
    h.queue.advance(2.5);
    EXPECT_EQ(h.state(), VokariState::idle);
    h.fake->onCaptureLost();
    EXPECT_EQ(h.take(), Lines{});
}

} // namespace
} // namespace vokari::testing
