// Threads and lifetime: audio on its own thread, answers from network threads, and a controller that is gone.
#include "ControllerHarness.h"

#include <gtest/gtest.h>

#include <thread>

namespace vokari::testing {
namespace {

TEST(DictationControllerThreads, AudioThreadBuffersLandInTheSessionAndLevelsReachTheCapsuleOnTheMainQueue) {
    ControllerHarness h;
    h.hotkey->toggle();
    std::thread audio([&] {
        for (int i = 0; i < 10; ++i) {
            h.capture->deliver(1600, 0.5f);
        }
    });
    audio.join();
    EXPECT_TRUE(h.indicator->levels.empty()) << "levels hop to the main queue";
    h.queue.runUntilIdle();
    EXPECT_EQ(h.indicator->levels, std::vector<float>(10, 0.5f));

    h.hotkey->toggle();
    ASSERT_EQ(h.refine->requests.size(), 1u);
    EXPECT_EQ(h.refine->requests[0].audio, DictationSession::encodeWAV(std::vector<float>(16000, 0.5f)));

    // Once stopped, buffers still in flight neither grow a session nor move the level bars.
    h.capture->deliver(1600);
    h.queue.runUntilIdle();
    EXPECT_EQ(h.indicator->levels.size(), 10u);
}

TEST(DictationControllerThreads, AudioAppendsRaceSafelyWithStartAndStop) {
    ControllerHarness h;
    // Bounded on both sides: every buffer queues a level task, and the queue only drains after the join.
    std::thread audio([&] {
        for (int i = 0; i < 2000; ++i) {
            h.capture->deliver(160);
        }
    });
    for (int i = 0; i < 200; ++i) {
        h.hotkey->toggle();
        h.hotkey->cancel();
    }
    audio.join();
    h.queue.runUntilIdle();
    EXPECT_EQ(h.state(), VokariState::idle);
}

TEST(DictationControllerThreads, AnswersFromAnotherThreadAreHandledOnTheMainQueue) {
    ControllerHarness h;
    h.dictate(1.0);
    std::thread network([&] { h.refine->answerLast(refined("from the network")); });
    network.join();
    EXPECT_TRUE(h.inserter->inserts.empty());
    EXPECT_EQ(h.state(), VokariState::processing);
    h.queue.runUntilIdle();
    ASSERT_EQ(h.inserter->inserts.size(), 1u);
    EXPECT_EQ(h.state(), VokariState::idle);

    h.settings.setCommandModeEnabled(true);
    h.hotkey->toggle();
    h.queue.advance(0.1);
    h.hotkey->toggle();
    h.recordSeconds(1.0);
    h.hotkey->toggle();
    std::thread commandNetwork([&] { h.commands->answerLast(CommandError{"Network error — try again"}); });
    ASSERT_TRUE(h.queue.runUntil([&] { return h.indicator->last() == "error: Network error — try again"; }));
    commandNetwork.join();
}

TEST(DictationControllerLifetime, NothingHappensOnceTheControllerIsGone) {
    ControllerHarness h;
    h.settings.setCommandModeEnabled(true);
    h.dictate(1.0); // dictation request pending
    h.hotkey->cancel();
    h.hotkey->toggle();
    h.queue.advance(0.1);
    h.hotkey->toggle(); // command recording in progress, max-duration timer armed
    h.recordSeconds(0.5);

    std::weak_ptr<DictationController> weak = h.controller;
    h.controller.reset();
    EXPECT_TRUE(weak.expired()) << "no callback may keep the controller alive";

    std::thread network([&] { h.refine->answerLast(refined("orphan")); });
    network.join();
    h.hotkey->toggle();
    h.hotkey->cancel();
    h.hotkey->holdStart();
    h.hotkey->holdEnd();
    h.capture->deliver(1600);
    h.capture->reportStart(false);
    h.center.post(notifications::startDictation);
    h.center.post(notifications::hotkeyChanged, HotkeyOption::fn);
    auto soundsBefore = h.sounds->played.size();
    h.queue.advance(400);

    EXPECT_TRUE(h.inserter->inserts.empty());
    EXPECT_TRUE(h.commands->requests.empty());
    EXPECT_TRUE(h.hotkey->options.empty());
    EXPECT_EQ(h.sounds->played.size(), soundsBefore);
    EXPECT_TRUE(h.logs->startingWith("⏱").empty());
}

TEST(DictationControllerLifetime, AlertDismissedAfterTheControllerIsGoneDoesNothing) {
    ControllerHarness h;
    h.dictate(1.0);
    h.refine->answerLast(ProcessRateLimited{});
    h.queue.runUntilIdle();
    h.controller.reset();
    auto hidesBefore = h.indicator->count("hide");
    h.alerts->dismissLast();
    EXPECT_EQ(h.state(), VokariState::processing);
    EXPECT_EQ(h.indicator->count("hide"), hidesBefore);
}

TEST(DictationControllerLifetime, AbsentCollaboratorsAreSkipped) {
    VirtualMainQueue queue;
    AppState appState;
    MemoryDefaultsStore defaults;
    NotificationCenter center;
    auto refine = std::make_shared<FakeRefineService>(queue);
    auto controller = DictationController::create({
        .mainQueue = queue,
        .appState = appState,
        .settings = Settings(defaults),
        .notificationCenter = center,
        .refineService = refine,
        .commandService = nullptr,
        .commandRunner = nullptr,
        .screenGrabber = nullptr,
        .workspace = nullptr,
        .soundPlayer = nullptr,
        .alertPresenter = nullptr,
        .transcriptSink = nullptr,
    });
    controller->setupAudio(nullptr);
    controller->setupDictation(nullptr, nullptr, nullptr);
    Settings(defaults).setCommandModeEnabled(true);

    controller->toggleDictation();
    EXPECT_EQ(appState.state.get(), VokariState::listening);
    controller->toggleDictation(); // double tap: command mode
    queue.advance(1.0);
    controller->toggleDictation(); // no command client: treated as unconfigured
    EXPECT_EQ(appState.state.get(), VokariState::idle);

    // Without capture nothing is recorded, so a dictation is too short; without a presenter an alert counts as
    // dismissed at once.
    controller->toggleDictation();
    queue.advance(1.0);
    controller->toggleDictation();
    EXPECT_EQ(appState.state.get(), VokariState::error);
    bool dismissed = false;
    controller->showAlert("Title", "Message", [&] { dismissed = true; });
    EXPECT_TRUE(dismissed);
    controller->shutdown();
}

} // namespace
} // namespace vokari::testing
