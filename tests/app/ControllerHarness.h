#pragma once
// A dictation controller wired to recording fakes on a virtual-time queue, with log lines captured.
// One per test; the controller is created last and destroyed first.
#include "app/AppState.h"
#include "app/DebugLog.h"
#include "app/DictationController.h"
#include "app/Settings.h"
#include "core/DefaultsStore.h"
#include "core/NotificationCenter.h"
#include "core/VirtualMainQueue.h"
#include "fakes/CapturingLogSink.h"
#include "fakes/FakeAlertPresenter.h"
#include "fakes/FakeAudioCapture.h"
#include "fakes/FakeCommandRunner.h"
#include "fakes/FakeCommandService.h"
#include "fakes/FakeHotkeyMonitor.h"
#include "fakes/FakeIndicator.h"
#include "fakes/FakeRefineService.h"
#include "fakes/FakeScreenGrabber.h"
#include "fakes/FakeSoundPlayer.h"
#include "fakes/FakeTextInserter.h"
#include "fakes/FakeTranscriptSink.h"
#include "fakes/FakeWorkspace.h"

#include <cmath>
#include <memory>

namespace vokari::testing {

using namespace vokari::fakes;

inline constexpr std::size_t kSamplesPerSecond = 16000;

struct ControllerHarness {
    VirtualMainQueue queue;
    AppState appState;
    MemoryDefaultsStore defaults;
    Settings settings{defaults};
    NotificationCenter center;

    std::shared_ptr<FakeAudioCapture> capture = std::make_shared<FakeAudioCapture>(queue);
    std::shared_ptr<FakeHotkeyMonitor> hotkey = std::make_shared<FakeHotkeyMonitor>();
    std::shared_ptr<FakeTextInserter> inserter = std::make_shared<FakeTextInserter>(queue);
    std::shared_ptr<FakeIndicator> indicator = std::make_shared<FakeIndicator>(queue);
    std::shared_ptr<FakeRefineService> refine = std::make_shared<FakeRefineService>(queue);
    std::shared_ptr<FakeCommandService> commands = std::make_shared<FakeCommandService>(queue);
    std::shared_ptr<FakeCommandRunner> runner = std::make_shared<FakeCommandRunner>(queue);
    std::shared_ptr<FakeScreenGrabber> screen = std::make_shared<FakeScreenGrabber>();
    std::shared_ptr<FakeWorkspace> workspace = std::make_shared<FakeWorkspace>();
    std::shared_ptr<FakeSoundPlayer> sounds = std::make_shared<FakeSoundPlayer>(queue);
    std::shared_ptr<FakeAlertPresenter> alerts = std::make_shared<FakeAlertPresenter>(queue);
    FakeTranscriptSink history{queue};
    bool mainViewOpen = true;
    std::shared_ptr<CapturingLogSink> logs = std::make_shared<CapturingLogSink>();

    std::shared_ptr<DictationController> controller;

    ControllerHarness() {
        debuglog::setSink(logs);
        workspace->frontmost = RunningApp{0x2a00007, 4242, "XTerm", std::string("xterm")};
        controller = DictationController::create({
            .mainQueue = queue,
            .appState = appState,
            .settings = settings,
            .notificationCenter = center,
            .refineService = refine,
            .commandService = commands,
            .commandRunner = runner,
            .screenGrabber = screen,
            .workspace = workspace,
            .soundPlayer = sounds,
            .alertPresenter = alerts,
            .transcriptSink = [this]() -> TranscriptSink* { return mainViewOpen ? &history : nullptr; },
        });
        controller->setupAudio(capture);
        controller->setupDictation(inserter, indicator, hotkey);
    }
    ~ControllerHarness() {
        controller.reset();
        debuglog::setSink(nullptr);
    }
    ControllerHarness(const ControllerHarness&) = delete;
    ControllerHarness& operator=(const ControllerHarness&) = delete;

    VokariState state() const { return appState.state.get(); }

    // Audio as the capture thread would deliver it, here on the test's thread.
    void recordSamples(std::size_t count) { capture->deliver(count); }
    void recordSeconds(double seconds) {
        recordSamples(static_cast<std::size_t>(std::llround(seconds * kSamplesPerSecond)));
    }

    // A toggle press that starts a recording, `seconds` of audio, and the toggle press that sends it.
    void dictate(double seconds) {
        hotkey->toggle();
        recordSeconds(seconds);
        queue.advance(seconds);
        hotkey->toggle();
    }
};

inline ProcessResult refined(std::string text) {
    return ProcessSuccess{std::nullopt, std::move(text)};
}

} // namespace vokari::testing
