// Kept recordings: a failed ordinary dictation is handed to the keeper, and a kept one can be sent again.
#include "app/DictationController.h"

#include "core/DebugLog.h"

#include <utility>
#include <variant>

namespace vokari {
namespace {

const char* const kDailyLimitReached = "Daily limit reached";
const char* const kQuitBeforeAnswer = "Vokari quit before the answer came";

} // namespace

void DictationController::settleSentDictation(std::uint64_t generation, const ProcessResult& result) {
    auto it = sentDictations.find(generation);
    if (it == sentDictations.end()) {
        return; // a command, or a request the user cancelled
    }
    SentDictation sent = std::move(it->second);
    sentDictations.erase(it);
    if (!recordingKeeper) {
        return;
    }
    if (std::holds_alternative<ProcessSuccess>(result)) {
        // A superseded answer is dropped unpasted, so its recording stays kept.
        if (!sent.keptId.empty() && generation == dictationGeneration) {
            recordingKeeper->discard(sent.keptId);
        }
        return;
    }
    if (!sent.keptId.empty()) {
        debugLog("⚠️ Retry of unsent recording " + sent.keptId + " failed — it stays kept");
        return;
    }
    const auto* failure = std::get_if<ProcessError>(&result);
    recordingKeeper->keep(std::move(sent.session), failure ? failure->message : kDailyLimitReached);
}

void DictationController::keepUnanswered() {
    auto pending = std::exchange(sentDictations, {});
    for (auto& [generation, sent] : pending) {
        if (recordingKeeper && sent.session) {
            recordingKeeper->keep(std::move(sent.session), kQuitBeforeAnswer);
        }
    }
}

void DictationController::keepRecordingInProgress(const std::string& reason) {
    auto session = sessionInProgress();
    if (recordingKeeper && session && appState.state.get() == VokariState::listening &&
        session->durationSeconds() >= minRecordingSeconds) {
        recordingKeeper->keep(std::move(session), reason);
    }
}

void DictationController::retryRecording(const std::string& keptId) {
    if (!recordingKeeper) {
        return;
    }
    if (appState.state.get() != VokariState::idle) {
        debugLog("⚠️ Retry of unsent recording " + keptId + " skipped: a dictation is under way");
        return;
    }
    if (!backendConfigured()) {
        // A press that did nothing visible would look like a broken button.
        debugLog("⚠️ Retry of unsent recording " + keptId + " skipped: no backend is configured");
        showIndicator();
        rejectRecording(kNoBackend);
        return;
    }
    std::weak_ptr<DictationController> weak = weak_from_this();
    recordingKeeper->loadAudio(keptId, [weak, keptId](std::optional<std::vector<std::uint8_t>> wav) {
        auto self = weak.lock();
        if (!self) {
            return;
        }
        if (!wav) {
            self->playSound("Basso"); // the keeper has logged why
            return;
        }
        self->sendKeptRecording(keptId, std::move(*wav));
    });
}

// The text goes where the user is now, not where the recording began.
void DictationController::sendKeptRecording(const std::string& keptId, std::vector<std::uint8_t> wav) {
    if (appState.state.get() != VokariState::idle) {
        debugLog("⚠️ Retry of unsent recording " + keptId + " skipped: a dictation is under way");
        return;
    }
    std::optional<RunningApp> target = workspace ? workspace->frontmostApplication() : std::nullopt;
    debugLog("🎯 Target app for paste: " + (target && target->localizedName ? *target->localizedName : "none"));
    appState.state = VokariState::processing;
    showIndicator();
    showProcessing();
    std::uint64_t generation = ++dictationGeneration;
    sentDictations[generation] = {nullptr, keptId};
    debugLog("🔁 Retrying unsent recording " + keptId + ": sending " + std::to_string(wav.size()) +
             " bytes to backend...");
    std::weak_ptr<DictationController> weak = weak_from_this();
    refineService->process(std::move(wav), "dictation",
                           [weak, generation, target, queue = &mainQueue](ProcessResult result) {
                               queue->post([weak, generation, target, result = std::move(result)] {
                                   if (auto self = weak.lock()) {
                                       self->handleProcessResult(generation, target, result);
                                   }
                               });
                           });
}

} // namespace vokari
