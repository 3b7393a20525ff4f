#include "app/DictationController.h"

#include "core/DebugLog.h"
#include "core/NumberText.h"

#include <any>
#include <charconv>
#include <cmath>
#include <string_view>
#include <utility>

namespace vokari {
namespace {

// Intervals are compared in whole microseconds: a clock far from its epoch cannot hold 0.4 s exactly, and a
// press exactly at the threshold must not count as a double tap.
bool isShorterThan(double interval, double threshold) {
    return std::llround(interval * 1e6) < std::llround(threshold * 1e6);
}

} // namespace

DictationController::DictationController(Dependencies deps)
    : mainQueue(deps.mainQueue), appState(deps.appState), settings(deps.settings),
      notificationCenter(deps.notificationCenter), refineService(std::move(deps.refineService)),
      commandService(std::move(deps.commandService)), commandRunner(std::move(deps.commandRunner)),
      screenGrabber(std::move(deps.screenGrabber)), workspace(std::move(deps.workspace)),
      soundPlayer(std::move(deps.soundPlayer)), alertPresenter(std::move(deps.alertPresenter)),
      transcriptSink(std::move(deps.transcriptSink)), recordingKeeper(std::move(deps.recordingKeeper)) {}

std::shared_ptr<DictationController> DictationController::create(Dependencies deps) {
    std::shared_ptr<DictationController> controller(new DictationController(std::move(deps)));
    controller->observeMenuNotifications();
    return controller;
}

DictationController::~DictationController() {
    // The audio thread may still deliver buffers; they must not land in a recording nobody will send.
    setCurrentSession(nullptr);
    cancelMaxDurationTimer();
}

// The status menu's entries act as the hotkey would: "Start Recording" as a toggle press in idle,
// "Stop Recording" as a toggle press while listening (stop and send).
void DictationController::observeMenuNotifications() {
    std::weak_ptr<DictationController> weak = weak_from_this();
    startDictationObserver = notificationCenter.addObserver(
        notifications::startDictation,
        [weak](const std::any&) {
            auto self = weak.lock();
            if (!self || self->appState.state.get() != VokariState::idle) {
                return;
            }
            self->isCommandMode = false;
            self->startDictation();
            self->playSound("Blow");
        },
        &mainQueue);
    cancelDictationObserver = notificationCenter.addObserver(
        notifications::cancelDictation,
        [weak](const std::any&) {
            auto self = weak.lock();
            if (!self || self->appState.state.get() != VokariState::listening) {
                return;
            }
            self->playSound("Glass");
            self->stopFromToggle();
        },
        &mainQueue);
}

void DictationController::setupAudio(std::shared_ptr<AudioCapture> capture) {
    audioCapture = std::move(capture);
    if (!audioCapture) {
        return;
    }
    std::weak_ptr<DictationController> weak = weak_from_this();
    // Runs on the audio thread: it touches only the session slot and the queue, never the controller, so the
    // controller is never kept alive (or destroyed) there.
    audioCapture->onAudioBuffer = [weak, slot = currentSession, queue = &mainQueue,
                                   pcm = std::string()](const AudioBuffer16k& buffer) mutable {
        {
            // Both appends under the slot's lock: once the main thread took the recording, no buffer reaches
            // the stream that the WAV lacks, or the other way round. Each append only copies.
            std::lock_guard lock(slot->mutex);
            if (slot->session) {
                slot->session->appendSamples(buffer.samples);
            }
            if (slot->stream) {
                pcm.clear();
                DictationSession::appendPCM(pcm, buffer.samples);
                slot->stream->appendAudio(pcm);
            }
        }
        if (weak.expired()) {
            return;
        }
        float level = buffer.rmsLevel();
        queue->post([weak, level] {
            auto self = weak.lock();
            if (!self || !self->appState.isDictating.get()) {
                return;
            }
            self->appState.inputLevel = level;
            if (self->dictationIndicator) {
                self->dictationIndicator->pushLevel(level);
            }
        });
    };
    audioCapture->onCaptureLost = [weak] {
        if (auto self = weak.lock()) {
            self->handleCaptureLost();
        }
    };
}

void DictationController::setupDictation(std::shared_ptr<TextInsertion> inserter, std::shared_ptr<Indicator> indicator,
                                         std::shared_ptr<HotkeyMonitor> hotkey) {
    textInserter = std::move(inserter);
    dictationIndicator = std::move(indicator);
    std::weak_ptr<DictationController> weak = weak_from_this();
    if (hotkey) {
        hotkey->onToggle = [weak] {
            if (auto self = weak.lock()) {
                self->toggleDictation();
            }
        };
        hotkey->onCancel = [weak] {
            if (auto self = weak.lock()) {
                self->cancelDictation();
            }
        };
        hotkey->onHoldStart = [weak] {
            if (auto self = weak.lock()) {
                self->startDictation(); // the sound follows, whatever the outcome: capture comes first
                self->playSound("Blow");
            }
        };
        hotkey->onHoldPending = [weak] {
            if (auto self = weak.lock()) {
                self->beginHoldCapture();
            }
        };
        hotkey->onHoldAbandoned = [weak] {
            if (auto self = weak.lock()) {
                self->abandonHoldCapture();
            }
        };
        hotkey->onHoldEnd = [weak] {
            if (auto self = weak.lock()) {
                self->playSound("Glass");
                self->stopDictation();
            }
        };
        hotkey->start();
    }
    globalHotkey = std::move(hotkey);
    hotkeyChangedObserver = notificationCenter.observe<HotkeyOption>(
        notifications::hotkeyChanged,
        [weak](const HotkeyOption* option) {
            auto self = weak.lock();
            if (self && option && self->globalHotkey) {
                self->globalHotkey->updateOption(*option);
            }
        },
        &mainQueue);
}

void DictationController::toggleDictation() {
    double now = mainQueue.now();
    double interval = now - lastToggleTime;
    lastToggleTime = now;

    switch (appState.state.get()) {
    case VokariState::listening:
        if (settings.commandModeEnabled() && !isCommandMode && isShorterThan(interval, doubleTapThreshold)) {
            isCommandMode = true;
            abandonStream(); // commands go to /command
            playSound("Submarine");
            debugLog("⚡️ Command mode activated (double-tap while recording)");
            return;
        }
        playSound("Glass");
        stopFromToggle();
        return;
    case VokariState::idle:
        isCommandMode = false;
        startDictation();
        playSound("Blow"); // after the capture start: the first words are spoken while it plays
        return;
    case VokariState::processing:
    case VokariState::error:
        return;
    }
}

void DictationController::startDictation() {
    if (appState.state.get() != VokariState::idle) {
        return;
    }
    // An ordinary dictation streams while it records, when the backend takes streams; the stream is there before
    // capture starts, so that it gets the first buffer.
    auto stream = backendConfigured() ? refineService->openStream("dictation") : nullptr;
    std::weak_ptr<DictationController> weak = weak_from_this();
    std::optional<bool> outcomeDuringStart;
    if (std::exchange(holdCapturePending, false)) {
        // Capture has been running since the key went down: its session is this recording.
        attachStream(std::move(stream));
        outcomeDuringStart = std::exchange(holdCaptureOutcome, std::nullopt);
    } else if (audioCapture) {
        // Capture is asked for first, before anything else the press sets off: the user starts speaking at once,
        // and whatever the sound server is not yet recording is lost. The session is there for its first buffer.
        setCurrentSession(std::make_shared<DictationSession>(), std::move(stream));
        auto during = std::make_shared<std::optional<bool>>();
        auto startReturned = std::make_shared<bool>(false);
        audioCapture->onCaptureStarted = [weak, during, startReturned](bool ok) {
            if (!*startReturned) {
                *during = ok; // handled once the recording is set up below
                return;
            }
            if (auto self = weak.lock()) {
                self->handleCaptureStarted(ok);
            }
        };
        audioCapture->startCapture();
        *startReturned = true;
        outcomeDuringStart = *during;
    } else {
        setCurrentSession(std::make_shared<DictationSession>(), std::move(stream));
    }

    dictationTargetApp = workspace ? workspace->frontmostApplication() : std::nullopt;
    std::string targetName =
        dictationTargetApp && dictationTargetApp->localizedName ? *dictationTargetApp->localizedName : "none";
    debugLog("🎯 Target app for paste: " + targetName);

    appState.isDictating = true;
    showIndicator();
    appState.state = VokariState::listening;
    if (outcomeDuringStart) {
        handleCaptureStarted(*outcomeDuringStart);
    }

    cancelMaxDurationTimer();
    maxDurationTimer = mainQueue.postAfter(maxDictationSeconds, [weak] {
        if (auto self = weak.lock()) {
            self->handleMaxDuration();
        }
    });
    if (dictationIndicator) {
        dictationIndicator->setMaxDuration(maxDictationSeconds);
    }
}

void DictationController::beginHoldCapture() {
    // A hold is recognised only after the key has been down a while, but its words begin when the key goes down:
    // capture starts now, so that first syllable is recorded too.
    if (holdCapturePending || !audioCapture || appState.state.get() != VokariState::idle) {
        return;
    }
    holdCapturePending = true;
    holdCaptureOutcome.reset();
    setCurrentSession(std::make_shared<DictationSession>());
    audioCapture->onCaptureStarted = [weak = weak_from_this()](bool ok) {
        auto self = weak.lock();
        if (!self) {
            return;
        }
        if (self->holdCapturePending) {
            self->holdCaptureOutcome = ok; // acted on if the press becomes a hold
            self->retireCaptureStartedHandler();
            return;
        }
        self->handleCaptureStarted(ok);
    };
    audioCapture->startCapture();
}

void DictationController::abandonHoldCapture() {
    if (!std::exchange(holdCapturePending, false)) {
        return;
    }
    holdCaptureOutcome.reset();
    if (audioCapture) {
        audioCapture->onCaptureStarted = nullptr;
        audioCapture->stopCapture();
    }
    setCurrentSession(nullptr);
}

void DictationController::retireCaptureStartedHandler() {
    if (audioCapture) {
        auto retired = std::exchange(audioCapture->onCaptureStarted, nullptr);
        mainQueue.post([retired = std::move(retired)] {});
    }
}

void DictationController::handleCaptureStarted(bool ok) {
    // Only the first outcome of a start counts.
    retireCaptureStartedHandler();
    if (ok) {
        debugLog("🎙 Dictation started");
        return;
    }
    appState.isDictating = false;
    isCommandMode = false;
    hideIndicator();
    setCurrentSession(nullptr);
    appState.state = VokariState::error;
    debugLog("❌ Failed to start audio capture");
    // Without this the state would stay `error` and the next toggle press would do nothing.
    scheduleDelayedReset(errorResetDelay, dictationGeneration, false);
}

void DictationController::handleCaptureLost() {
    if (appState.state.get() != VokariState::listening) {
        return;
    }
    debugLog("❌ Audio capture lost — ending the recording");
    playSound("Basso");
    auto session = sessionInProgress();
    if (session && session->durationSeconds() >= minRecordingSeconds) {
        // What was heard before the loss still becomes text; the capsule says what happened meanwhile.
        stopFromToggle();
        showError(kCaptureLostSending);
        return;
    }
    endRecording();
    isCommandMode = false;
    showError(kCaptureLost);
    appState.state = VokariState::error;
    scheduleDelayedReset(errorResetDelay, dictationGeneration, false);
}

void DictationController::handleMaxDuration() {
    if (appState.state.get() != VokariState::listening) {
        return;
    }
    debugLog("⏱ Max duration (" + std::to_string(static_cast<long long>(maxDictationSeconds)) +
             "s) reached — auto-stopping");
    playSound("Glass");
    stopFromToggle();
}

void DictationController::stopFromToggle() {
    if (isCommandMode) {
        stopCommandRecording();
    } else {
        stopDictation();
    }
}

std::shared_ptr<DictationSession> DictationController::sessionInProgress() const {
    std::lock_guard lock(currentSession->mutex);
    return currentSession->session;
}

void DictationController::setCurrentSession(std::shared_ptr<DictationSession> session,
                                            std::shared_ptr<ProcessStream> stream) {
    std::shared_ptr<ProcessStream> left;
    {
        std::lock_guard lock(currentSession->mutex);
        currentSession->session = std::move(session);
        left = std::exchange(currentSession->stream, std::move(stream));
    }
    if (left) {
        left->abort();
    }
}

void DictationController::attachStream(std::shared_ptr<ProcessStream> stream) {
    if (!stream) {
        return;
    }
    std::lock_guard lock(currentSession->mutex);
    // What was recorded before the stream existed goes first, under the lock the audio thread appends under.
    if (currentSession->session) {
        stream->appendAudio(currentSession->session->pcmData());
    }
    currentSession->stream = std::move(stream);
}

void DictationController::abandonStream() {
    std::shared_ptr<ProcessStream> left;
    {
        std::lock_guard lock(currentSession->mutex);
        left = std::exchange(currentSession->stream, nullptr);
    }
    if (left) {
        left->abort();
    }
}

bool DictationController::backendConfigured() const {
    return refineService && refineService->isConfigured();
}

void DictationController::cancelMaxDurationTimer() {
    if (maxDurationTimer) {
        maxDurationTimer->cancel();
        maxDurationTimer.reset();
    }
}

std::shared_ptr<DictationSession> DictationController::endRecording(std::shared_ptr<ProcessStream>* keepStream) {
    cancelMaxDurationTimer();
    auto session = sessionInProgress();
    if (audioCapture) {
        audioCapture->stopCapture();
    }
    appState.isDictating = false;
    if (keepStream) {
        std::lock_guard lock(currentSession->mutex);
        *keepStream = std::exchange(currentSession->stream, nullptr);
    }
    setCurrentSession(nullptr);
    return session;
}

void DictationController::stopDictation() {
    std::shared_ptr<ProcessStream> stream;
    auto session = endRecording(&stream);

    if (!session) {
        if (stream) {
            stream->abort();
        }
        appState.state = VokariState::idle;
        hideIndicator();
        return;
    }
    double duration = session->durationSeconds();
    if (duration < minRecordingSeconds) {
        if (stream) {
            stream->abort(); // the backend keeps nothing of it
        }
        rejectRecording("Too short");
        return;
    }
    if (!backendConfigured()) {
        // Nothing can be sent, but the words are not lost: the recording fails as a request would and is kept.
        std::uint64_t generation = ++dictationGeneration;
        sentDictations[generation] = {session, {}};
        appState.state = VokariState::error;
        handleProcessResult(generation, dictationTargetApp, ProcessError{kNoBackend});
        return;
    }
    appState.state = VokariState::processing;
    showProcessing();
    auto wav = session->getWAVData();
    std::uint64_t generation = ++dictationGeneration;
    sentDictations[generation] = {session, {}};
    debugLog("🎙 Sending " + std::to_string(wav.size()) + " bytes (" + fixedDecimal(duration, 1) +
             "s) to backend...");

    // The answer is pasted where this recording began, even if a newer recording has picked another target.
    std::weak_ptr<DictationController> weak = weak_from_this();
    auto handler = [weak, generation, target = dictationTargetApp, queue = &mainQueue](ProcessResult result) {
        queue->post([weak, generation, target, result = std::move(result)] {
            if (auto self = weak.lock()) {
                self->handleProcessResult(generation, target, result);
            }
        });
    };
    // A streamed recording is answered by its stream, which falls back to one ordinary request with this WAV.
    answeringStream = stream;
    if (stream) {
        stream->finish(std::move(wav), std::move(handler));
    } else {
        refineService->process(std::move(wav), "dictation", std::move(handler));
    }
}

void DictationController::rejectRecording(const std::string& message) {
    playSound("Basso");
    showError(message);
    appState.state = VokariState::error;
    scheduleDelayedReset(errorResetDelay, dictationGeneration, false);
}

void DictationController::stopCommandRecording() {
    auto session = endRecording();
    isCommandMode = false;

    if (!session || !commandService) {
        appState.state = VokariState::idle;
        hideIndicator();
        return;
    }
    if (session->durationSeconds() < minRecordingSeconds) {
        rejectRecording("Too short");
        return;
    }
    if (!backendConfigured()) {
        rejectRecording(kNoBackend);
        return;
    }
    auto screenshot = screenGrabber ? screenGrabber->captureScreenBase64() : std::nullopt;
    auto wav = session->getWAVData();
    appState.state = VokariState::processing;
    showProcessing();
    std::uint64_t generation = ++dictationGeneration;
    debugLog("⚡️ Command: sending " + std::to_string(wav.size()) + " bytes + screenshot to /command...");

    if (screenshot) {
        std::weak_ptr<DictationController> weak = weak_from_this();
        commandService->sendCommand(std::move(wav), std::move(*screenshot),
                                    [weak, generation, queue = &mainQueue](CommandResult result) {
                                        queue->post([weak, generation, result = std::move(result)] {
                                            if (auto self = weak.lock()) {
                                                self->handleCommandResult(generation, result);
                                            }
                                        });
                                    });
        return;
    }
    debugLog("⚠️ Command mode: screenshot failed, falling back to dictation");
    showError("Screenshot failed");
    scheduleDelayedReset(dismissResetDelay, generation, true);
}

void DictationController::cancelDictation() {
    VokariState state = appState.state.get();
    if (state == VokariState::idle) {
        return;
    }
    if (state == VokariState::processing) {
        sentDictations.erase(dictationGeneration); // cancelled: nothing of it is kept
        ++dictationGeneration;                     // the pending answer will be dropped
        if (answeringStream) {
            answeringStream->abort(); // and a stream still waiting for it sends nothing more
        }
    }
    answeringStream.reset();
    isCommandMode = false;
    cancelMaxDurationTimer();
    playSound("Basso");
    if (audioCapture) {
        audioCapture->stopCapture();
    }
    appState.isDictating = false;
    hideIndicator();
    setCurrentSession(nullptr);
    appState.state = VokariState::idle;
    debugLog("🎙 Dictation cancelled");
}

void DictationController::shutdown() {
    keepUnanswered();
    if (globalHotkey) {
        globalHotkey->stop();
    }
    cancelMaxDurationTimer();
    if (audioCapture) {
        audioCapture->stopCapture();
    }
}

void DictationController::playSound(const std::string& name) {
    if (soundPlayer && settings.soundFeedback()) {
        soundPlayer->play(name);
    }
}

void DictationController::showAlert(const std::string& title, const std::string& message,
                                    std::function<void()> onDismiss) {
    if (alertPresenter) {
        alertPresenter->showAlert(title, message, std::move(onDismiss));
    } else if (onDismiss) {
        onDismiss(); // nobody to ask: count it as dismissed, so the flow does not hang
    }
}

void DictationController::showIndicator() {
    appState.errorMessage = std::nullopt;
    if (dictationIndicator) {
        dictationIndicator->showIndicator();
    }
}

void DictationController::hideIndicator() {
    appState.errorMessage = std::nullopt;
    appState.inputLevel = 0.0f;
    if (dictationIndicator) {
        dictationIndicator->hideIndicator();
    }
}

void DictationController::showProcessing() {
    appState.inputLevel = 0.0f;
    if (dictationIndicator) {
        dictationIndicator->showProcessing();
    }
}

void DictationController::showError(const std::string& message) {
    appState.errorMessage = message;
    appState.inputLevel = 0.0f;
    if (dictationIndicator) {
        dictationIndicator->showError(message);
    }
}

void DictationController::pushTranscript(const std::string& text) {
    if (!transcriptSink) {
        return;
    }
    if (TranscriptSink* sink = transcriptSink()) {
        sink->pushTranscript(text);
    }
}

} // namespace vokari
