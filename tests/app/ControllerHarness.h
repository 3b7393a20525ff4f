#pragma once
// A dictation controller wired to one recording fake (every collaborator and the log sink) on a virtual-time
// queue. One per test, on the test's thread; the controller is created last and destroyed first.
#include "app/AppState.h"
#include "app/DictationController.h"
#include "core/DefaultsStore.h"
#include "core/NotificationCenter.h"
#include "core/Settings.h"
#include "core/VirtualMainQueue.h"
#include "fakes/FakeDesktop.h"

#include <cmath>
#include <memory>

namespace vokari::testing {

using Lines = std::vector<std::string>;
inline const std::string kRateLimitMessage =
    "You've used all your transcriptions for today. The limit resets at midnight UTC.";

// Keeps what the controller hands over, apart from the journal, so the answers' journals stay as they are.
struct FakeKeeper : RecordingKeeper {
    std::vector<std::pair<double, std::string>> kept; // duration, error
    std::vector<std::string> discarded;
    std::vector<std::pair<std::string, AudioLoaded>> loads;
    void keep(std::shared_ptr<DictationSession> session, std::string error) override {
        kept.emplace_back(session->durationSeconds(), std::move(error));
    }
    void loadAudio(const std::string& id, AudioLoaded done) override { loads.emplace_back(id, std::move(done)); }
    void discard(const std::string& id) override { discarded.push_back(id); }
};

struct ControllerHarness {
    VirtualMainQueue queue;
    AppState appState;
    MemoryDefaultsStore defaults;
    Settings settings{defaults};
    NotificationCenter center;
    std::shared_ptr<fakes::FakeDesktop> fake = std::make_shared<fakes::FakeDesktop>();
    std::shared_ptr<FakeKeeper> keeper = std::make_shared<FakeKeeper>();
    bool mainViewOpen = true;
    std::shared_ptr<DictationController> controller;

    explicit ControllerHarness(bool commandMode = false) {
        settings.setCommandModeEnabled(commandMode);
        debuglog::setSink(fake);
        auto sink = [this]() -> TranscriptSink* { return mainViewOpen ? fake.get() : nullptr; };
        controller = DictationController::create(
            {queue, appState, settings, center, fake, fake, fake, fake, fake, fake, fake, sink, keeper});
        controller->setupAudio(fake);
        controller->setupDictation(fake, fake, fake);
    }
    ~ControllerHarness() {
        controller.reset();
        debuglog::setSink(nullptr);
    }
    ControllerHarness(const ControllerHarness&) = delete;
    ControllerHarness& operator=(const ControllerHarness&) = delete;

    VokariState state() const { return appState.state.get(); }
    Lines take(const std::string& prefix = "") { return fake->take(prefix); }
    void toggle() { fake->onToggle(); }
    void cancel() { fake->onCancel(); }
    void holdStart() { fake->onHoldStart(); }
    void holdEnd() { fake->onHoldEnd(); }

    // `seconds` of audio (16 kHz), and the time they take.
    void record(double seconds) {
        fake->deliver(static_cast<std::size_t>(std::llround(seconds * 16000)));
        queue.advance(seconds);
    }
    // A toggle press, `seconds` of audio, and the press that sends it; the journal then holds only that press.
    void dictate(double seconds) {
        toggle();
        record(seconds);
        take();
        toggle();
    }
    // A recording turned into a command by a second press 0.1 s after the first.
    void startCommand() {
        settings.setCommandModeEnabled(true);
        toggle();
        queue.advance(0.1);
        toggle();
    }
    // The same as dictate(), as a command.
    void command(double seconds) {
        startCommand();
        record(seconds);
        take();
        toggle();
    }
    // Answers request `index` (the newest by default) and lets the main queue handle it.
    void answer(ProcessResult result, int index = -1) {
        fake->dictations.at(index < 0 ? fake->dictations.size() - 1 : index)(std::move(result));
        queue.runUntilIdle();
    }
    void answerCommand(CommandResult result) {
        fake->commands.back()(std::move(result));
        queue.runUntilIdle();
    }
};

inline ProcessResult refined(std::string text) {
    return ProcessSuccess{std::nullopt, std::move(text)};
}
inline CommandAction typeText(std::string text) {
    CommandAction action;
    action.type = ActionType::type_text;
    action.text = std::move(text);
    return action;
}

} // namespace vokari::testing
