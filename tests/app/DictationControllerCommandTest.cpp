// Command recordings: screenshot, request, and the three kinds of answer.
#include "ControllerHarness.h"

#include <gtest/gtest.h>

namespace vokari::testing {
namespace {

using Sounds = std::vector<std::string>;

// Starts a recording, double-taps into command mode, records `seconds` and stops it with a third press.
void commandRecording(ControllerHarness& h, double seconds) {
    h.settings.setCommandModeEnabled(true);
    h.hotkey->toggle();
    h.queue.advance(0.1);
    h.hotkey->toggle();
    h.recordSeconds(seconds);
    h.queue.advance(seconds);
    h.hotkey->toggle();
}

CommandAction typeText(std::string text) {
    CommandAction action;
    action.type = ActionType::type_text;
    action.text = std::move(text);
    return action;
}

TEST(DictationControllerCommand, SendsAudioAndScreenshot) {
    ControllerHarness h;
    commandRecording(h, 1.0);

    ASSERT_EQ(h.commands->requests.size(), 1u);
    EXPECT_EQ(h.commands->requests[0].screenshot, *h.screen->screenshot);
    EXPECT_EQ(h.commands->requests[0].audio.size(), 32'044u);
    EXPECT_TRUE(h.logs->contains("⚡️ Command: sending 32044 bytes + screenshot to /command..."));
    EXPECT_EQ(h.state(), VokariState::processing);
    EXPECT_EQ(h.indicator->last(), "processing");
    EXPECT_FALSE(h.appState.isDictating.get());
}

TEST(DictationControllerCommand, ScreenshotFailureDropsTheRecordingAndIdlesAfter2Seconds) {
    ControllerHarness h;
    h.screen->screenshot.reset();
    commandRecording(h, 1.0);

    EXPECT_TRUE(h.commands->requests.empty());
    EXPECT_TRUE(h.refine->requests.empty());
    auto logs = h.logs->startingWith("⚡️ Command");
    EXPECT_EQ(logs.back(), "⚡️ Command: sending 32044 bytes + screenshot to /command...");
    EXPECT_TRUE(h.logs->contains("⚠️ Command mode: screenshot failed, falling back to dictation"));
    EXPECT_EQ(h.indicator->last(), "error: Screenshot failed");
    EXPECT_EQ(h.sounds->names(), (Sounds{"Blow", "Submarine", "Glass"}));

    h.queue.advance(1.99);
    EXPECT_EQ(h.state(), VokariState::processing);
    h.queue.advance(0.01);
    EXPECT_EQ(h.state(), VokariState::idle);
    EXPECT_EQ(h.indicator->last(), "hide");
}

TEST(DictationControllerCommand, EmptyActionListShowsNoActionsFoundThenIdles) {
    ControllerHarness h;
    commandRecording(h, 1.0);
    h.commands->answerLast(CommandSuccess{CommandResponse{"open the pod bay doors", {}, 0, 0, 0}});
    h.queue.runUntilIdle();

    EXPECT_TRUE(h.logs->contains("⚡️ No actions returned for: open the pod bay doors"));
    EXPECT_EQ(h.indicator->last(), "error: No actions found");
    EXPECT_EQ(h.sounds->names(), (Sounds{"Blow", "Submarine", "Glass"})) << "no sound";
    EXPECT_TRUE(h.history.entries.empty());
    h.queue.advance(1.99);
    EXPECT_EQ(h.state(), VokariState::processing);
    h.queue.advance(0.01);
    EXPECT_EQ(h.state(), VokariState::idle);
    EXPECT_EQ(h.indicator->last(), "hide");
    EXPECT_TRUE(h.runner->executions.empty());
}

TEST(DictationControllerCommand, ActionsRunTwoTenthsOfASecondAfterTheAnswer) {
    ControllerHarness h;
    commandRecording(h, 1.0);
    std::string transcript = "type hello in the terminal and then press return twice, slowly please";
    std::vector<CommandAction> actions{typeText("hello"), typeText("world")};
    h.commands->answerLast(CommandSuccess{CommandResponse{transcript, actions, 1, 2, 3}});
    h.queue.runUntilIdle();
    double answeredAt = h.queue.now();

    EXPECT_TRUE(h.logs->contains("⚡️ Executing 2 actions for: " + transcript.substr(0, 60)));
    ASSERT_EQ(h.history.entries.size(), 1u);
    EXPECT_EQ(h.history.entries[0].text, "⚡️ " + transcript);
    EXPECT_EQ(h.state(), VokariState::idle);
    EXPECT_EQ(h.indicator->last(), "hide");
    EXPECT_TRUE(h.inserter->inserts.empty()) << "commands paste nothing";

    h.queue.advance(0.19);
    EXPECT_TRUE(h.runner->executions.empty());
    h.queue.advance(0.01);
    ASSERT_EQ(h.runner->executions.size(), 1u);
    EXPECT_DOUBLE_EQ(h.runner->executions[0].at, answeredAt + 0.2);
    EXPECT_EQ(h.runner->executions[0].actions, actions);

    h.runner->executions[0].completion(true);
    h.runner->executions[0].completion(false);
    EXPECT_EQ(
        h.logs->startingWith("⚡️ Command execution "),
        (std::vector<std::string>{"⚡️ Command execution completed", "⚡️ Command execution had failures"}));
}

TEST(DictationControllerCommand, ScheduledActionsRunEvenAfterANewerRequest) {
    ControllerHarness h;
    commandRecording(h, 1.0);
    h.commands->answerLast(CommandSuccess{CommandResponse{"go", {typeText("x")}, 0, 0, 0}});
    h.queue.runUntilIdle();
    h.hotkey->toggle(); // a newer recording, sent before the plan starts
    h.recordSamples(4800);
    h.hotkey->holdEnd();
    ASSERT_EQ(h.refine->requests.size(), 1u);
    h.queue.advance(0.2);
    EXPECT_EQ(h.runner->executions.size(), 1u);
}

TEST(DictationControllerCommand, ErrorPlaysBassoShowsTheMessageAndResets) {
    ControllerHarness h;
    commandRecording(h, 1.0);
    h.commands->answerLast(CommandError{"Command failed — try again"});
    h.queue.runUntilIdle();

    EXPECT_EQ(h.sounds->names(), (Sounds{"Blow", "Submarine", "Glass", "Basso"}));
    EXPECT_EQ(h.indicator->last(), "error: Command failed — try again");
    h.queue.advance(2.49);
    EXPECT_EQ(h.state(), VokariState::processing);
    h.queue.advance(0.01);
    EXPECT_EQ(h.state(), VokariState::idle);
}

TEST(DictationControllerCommand, TooShortCommandIsRejectedLikeADictation) {
    ControllerHarness h;
    commandRecording(h, 0.2);
    EXPECT_TRUE(h.commands->requests.empty());
    EXPECT_EQ(h.screen->captureCount, 0);
    EXPECT_EQ(h.sounds->names().back(), "Basso");
    EXPECT_EQ(h.indicator->last(), "error: Too short");
    EXPECT_EQ(h.state(), VokariState::error);
}

TEST(DictationControllerCommand, MaxDurationStopsACommandRecordingAsACommand) {
    ControllerHarness h;
    h.settings.setCommandModeEnabled(true);
    h.hotkey->toggle();
    h.queue.advance(0.1);
    h.hotkey->toggle();
    h.recordSeconds(10);
    h.queue.advance(300);
    EXPECT_EQ(h.commands->requests.size(), 1u);
    EXPECT_TRUE(h.refine->requests.empty());
}

TEST(DictationControllerCommand, CancelledCommandDropsItsAnswer) {
    ControllerHarness h;
    commandRecording(h, 1.0);
    h.hotkey->cancel();
    h.commands->answerLast(CommandSuccess{CommandResponse{"go", {typeText("x")}, 0, 0, 0}});
    h.queue.advance(1.0);
    EXPECT_TRUE(h.runner->executions.empty());
    EXPECT_TRUE(h.history.entries.empty());
}

} // namespace
} // namespace vokari::testing
