// Command recordings: screenshot, request, and the answers that carry a plan or none.
#include "ControllerHarness.h"

#include <gtest/gtest.h>

namespace vokari::testing {
namespace {

const std::string kSent = "log ⚡️ Command: sending 32044 bytes + screenshot to /command...";

TEST(DictationControllerCommand, GoesOutWithTheScreenshotAlsoWhenTheTimeLimitStopsIt) {
    ControllerHarness h;
    h.startCommand();
    h.fake->deliver(16000);
    h.take();
    h.queue.advance(299.9);
    EXPECT_EQ(h.take(), (Lines{"log ⏱ Max duration (300s) reached — auto-stopping", "sound Glass", "capture stop",
                               "screenshot", "ui processing", kSent, "send command 32044 + iVBORw0KGgo="}));
    EXPECT_EQ(h.state(), VokariState::processing);
    EXPECT_FALSE(h.appState.isDictating.get());
}

TEST(DictationControllerCommand, TooShortIsRejectedBeforeTheScreenshot) {
    ControllerHarness h;
    h.command(0.2);
    EXPECT_EQ(h.take(), (Lines{"sound Glass", "capture stop", "sound Basso", "ui error: Too short"}));
    EXPECT_EQ(h.state(), VokariState::error);
}

// Both show their reason without a sound, run and send nothing, and go idle with the capsule hidden 2.0 s later.
TEST(DictationControllerCommand, ScreenshotFailureOrAnEmptyPlanIdlesAfterTwoSeconds) {
    for (bool screenshotFails : {true, false}) {
        SCOPED_TRACE(screenshotFails ? "screenshot failure" : "empty plan");
        ControllerHarness h;
        if (screenshotFails) {
            h.fake->screenshot.reset();
            h.command(1.0);
            EXPECT_EQ(h.take(), (Lines{"sound Glass", "capture stop", "screenshot", "ui processing", kSent,
                                       "log ⚠️ Command mode: screenshot failed, falling back to dictation",
                                       "ui error: Screenshot failed"}));
        } else {
            h.command(1.0);
            h.take();
            h.answerCommand(CommandSuccess{{"open the pod bay doors", {}, 0, 0, 0}});
            EXPECT_EQ(h.take(), (Lines{"log ⚡️ No actions returned for: open the pod bay doors",
                                       "ui error: No actions found"}));
        }
        h.queue.advance(1.99);
        EXPECT_EQ(h.state(), VokariState::processing);
        h.queue.advance(0.01);
        EXPECT_EQ(h.state(), VokariState::idle);
        EXPECT_EQ(h.take(), Lines{"ui hide"});
        EXPECT_EQ(h.fake->all("send dictation"), Lines{});
    }
}

TEST(DictationControllerCommand, ThePlanRunsTwoTenthsOfASecondAfterTheAnswerEvenIfANewerRequestCameMeanwhile) {
    ControllerHarness h;
    h.command(1.0);
    h.take();
    std::string transcript = "type hello in the terminal and then press return twice, slowly please";
    std::vector<CommandAction> actions{typeText("hello"), typeText("world")};
    h.answerCommand(CommandSuccess{{transcript, actions, 1, 2, 3}});
    EXPECT_EQ(h.take(), (Lines{"log ⚡️ Executing 2 actions for: " + transcript.substr(0, 60),
                               "history ⚡️ " + transcript, "ui hide"}))
        << "commands paste nothing";
    EXPECT_EQ(h.state(), VokariState::idle);

    h.toggle(); // a newer dictation, sent before the plan starts
    h.fake->deliver(4800);
    h.holdEnd();
    h.queue.advance(0.19);
    EXPECT_EQ(h.fake->all("run"), Lines{});
    h.queue.advance(0.01);
    ASSERT_EQ(h.fake->all("run"), Lines{"run 2 actions"});
    EXPECT_EQ(h.fake->plans[0].first, actions);
    h.fake->plans[0].second(true);
    h.fake->plans[0].second(false);
    EXPECT_EQ(h.fake->all("log ⚡️ Command execution"),
              (Lines{"log ⚡️ Command execution completed", "log ⚡️ Command execution had failures"}));
}

} // namespace
} // namespace vokari::testing
