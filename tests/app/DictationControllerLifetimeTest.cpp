// Threads and lifetime: audio on its own thread, answers from network threads, and a controller that is gone.
#include "ControllerHarness.h"

#include <gtest/gtest.h>

#include <thread>

namespace vokari::testing {
namespace {

TEST(DictationControllerThreads, AudioThreadBuffersLandInTheSessionAndLevelsReachTheCapsuleOnTheMainQueue) {
    ControllerHarness h;
    h.toggle();
    std::thread audio([&] {
        for (int i = 0; i < 10; ++i) {
            h.fake->deliver(1600, 0.5f);
        }
    });
    audio.join();
    EXPECT_TRUE(h.fake->levels.empty()) << "levels hop to the main queue";
    h.queue.runUntilIdle();
    EXPECT_EQ(h.fake->levels, std::vector<float>(10, 0.5f));
    h.toggle();
    EXPECT_EQ(h.fake->all("send"), Lines{"send dictation 32044"});

    // Once stopped, buffers still in flight neither grow a session nor move the level bars.
    h.fake->deliver(1600);
    h.queue.runUntilIdle();
    EXPECT_EQ(h.fake->levels.size(), 10u);
}

TEST(DictationControllerThreads, AudioAppendsRaceSafelyWithStartAndStop) {
    ControllerHarness h;
    // Bounded on both sides: every buffer queues a level task, and the queue only drains after the join.
    std::thread audio([&] {
        for (int i = 0; i < 2000; ++i) {
            h.fake->deliver(160);
        }
    });
    for (int i = 0; i < 200; ++i) {
        h.toggle();
        h.cancel();
    }
    audio.join();
    h.queue.runUntilIdle();
    EXPECT_EQ(h.state(), VokariState::idle);
}

TEST(DictationControllerThreads, AnswersFromAnotherThreadAreHandledOnTheMainQueue) {
    ControllerHarness h;
    h.dictate(1.0);
    std::thread network([&] { h.fake->dictations.back()(refined("from the network")); });
    network.join();
    EXPECT_EQ(h.state(), VokariState::processing);
    h.queue.runUntilIdle();
    EXPECT_EQ(h.fake->all("paste"), Lines{"paste from the network -> XTerm"});
    EXPECT_EQ(h.state(), VokariState::idle);

    h.command(1.0);
    std::thread commandNetwork([&] { h.fake->commands.back()(CommandError{"Network error — try again"}); });
    EXPECT_TRUE(
        h.queue.runUntil([&] { return h.fake->all("ui error") == Lines{"ui error: Network error — try again"}; }));
    commandNetwork.join();
}

TEST(DictationControllerLifetime, NothingHappensOnceTheControllerIsGone) {
    ControllerHarness h;
    h.dictate(1.0);
    h.answer(ProcessRateLimited{}); // the alert stays open
    h.cancel();
    h.holdStart();
    h.record(1.0);
    h.holdEnd();
    h.holdEnd();      // the newest request is still pending
    h.startCommand(); // a command recording in progress, its time limit armed
    h.record(0.5);

    std::weak_ptr<DictationController> weak = h.controller;
    h.controller.reset();
    EXPECT_TRUE(weak.expired()) << "no callback may keep the controller alive";
    h.take();

    std::thread network([&] { h.fake->dictations.back()(refined("orphan")); });
    network.join();
    h.fake->alertDismissals.back()();
    h.toggle();
    h.cancel();
    h.holdStart();
    h.holdEnd();
    h.fake->deliver(1600);
    h.fake->reportStart(false);
    h.center.post(notifications::startDictation);
    h.center.post(notifications::hotkeyChanged, HotkeyOption::fn);
    h.queue.advance(400);
    EXPECT_EQ(h.take(), Lines{});
    EXPECT_EQ(h.state(), VokariState::listening);
}

TEST(DictationControllerLifetime, AbsentCollaboratorsAreSkipped) {
    VirtualMainQueue queue;
    AppState appState;
    MemoryDefaultsStore defaults;
    Settings(defaults).setCommandModeEnabled(true);
    NotificationCenter center;
    auto controller = DictationController::create({queue, appState, Settings(defaults), center,
                                                   std::make_shared<fakes::FakeDesktop>(), nullptr, nullptr, nullptr,
                                                   nullptr, nullptr, nullptr, nullptr});
    controller->setupAudio(nullptr);
    controller->setupDictation(nullptr, nullptr, nullptr);
    controller->toggleDictation();
    controller->toggleDictation(); // double tap: command mode
    queue.advance(1.0);
    controller->toggleDictation(); // no command client: treated as an unconfigured backend
    EXPECT_EQ(appState.state.get(), VokariState::idle);
    controller->toggleDictation();
    queue.advance(1.0);
    controller->toggleDictation(); // no capture, nothing recorded: too short
    EXPECT_EQ(appState.state.get(), VokariState::error);
    bool dismissed = false;
    controller->showAlert("Title", "Message", [&] { dismissed = true; });
    EXPECT_TRUE(dismissed) << "without a presenter an alert counts as dismissed at once";
    controller->shutdown();
}

} // namespace
} // namespace vokari::testing
