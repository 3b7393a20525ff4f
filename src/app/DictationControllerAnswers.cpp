// How the controller handles answers from the backend, and the delayed steps that follow them.
#include "app/DictationController.h"
#include "core/Utf8Prefix.h"

#include "core/DebugLog.h"

#include <string_view>
#include <utility>
#include <variant>

namespace vokari {
namespace {

const char* const kRateLimitTitle = "Daily limit reached";
const char* const kRateLimitMessage =
    "You've used all your transcriptions for today. The limit resets at midnight UTC.";

} // namespace

void DictationController::handleProcessResult(std::uint64_t generation, const std::optional<RunningApp>& target,
                                              const ProcessResult& result) {
    settleSentDictation(generation, result);
    if (generation != dictationGeneration) {
        return;
    }
    if (const auto* success = std::get_if<ProcessSuccess>(&result)) {
        std::string text = success->refined ? *success->refined : success->raw.value_or("");
        if (!text.empty()) {
            debugLog("📋 Inserting: " + utf8Prefix(text, logExcerptLength) + "...");
            if (textInserter) {
                textInserter->insert(text, target);
            }
            pushTranscript(text);
        }
        if (!newerRecordingInProgress()) {
            appState.state = VokariState::idle;
            hideIndicator();
        }
    } else if (std::holds_alternative<ProcessRateLimited>(result)) {
        std::weak_ptr<DictationController> weak = weak_from_this();
        showAlert(kRateLimitTitle, kRateLimitMessage, [weak, generation] {
            // The alert does not hold the queue up: a cancel or a newer recording may have come meanwhile.
            auto self = weak.lock();
            if (self && self->dictationGeneration == generation && !self->newerRecordingInProgress()) {
                self->appState.state = VokariState::idle;
                self->hideIndicator();
            }
        });
    } else if (const auto* failure = std::get_if<ProcessError>(&result)) {
        playSound("Basso");
        if (!newerRecordingInProgress()) {
            showError(failure->message);
        }
        scheduleDelayedReset(errorResetDelay, generation, false);
    }
}

void DictationController::handleCommandResult(std::uint64_t generation, const CommandResult& result) {
    if (generation != dictationGeneration) {
        return;
    }
    if (const auto* failure = std::get_if<CommandError>(&result)) {
        playSound("Basso");
        if (!newerRecordingInProgress()) {
            showError(failure->message);
        }
        scheduleDelayedReset(errorResetDelay, generation, false);
        return;
    }
    const CommandResponse& response = std::get<CommandSuccess>(result).response;
    if (response.actions.empty()) {
        debugLog("⚡️ No actions returned for: " + response.transcript);
        if (!newerRecordingInProgress()) {
            showError("No actions found");
        }
        scheduleDelayedReset(dismissResetDelay, generation, true);
        return;
    }
    debugLog("⚡️ Executing " + std::to_string(response.actions.size()) +
             " actions for: " + utf8Prefix(response.transcript, logExcerptLength));
    pushTranscript("⚡️ " + response.transcript);
    if (!newerRecordingInProgress()) {
        hideIndicator();
        appState.state = VokariState::idle;
    }
    executeActionsLater(response.actions);
}

// Once scheduled the plan runs, whatever happens to the generation meanwhile.
void DictationController::executeActionsLater(std::vector<CommandAction> actions) {
    std::weak_ptr<DictationController> weak = weak_from_this();
    mainQueue.postAfter(actionStartDelay, [weak, actions = std::move(actions)] {
        auto self = weak.lock();
        if (!self || !self->commandRunner) {
            return;
        }
        self->commandRunner->execute(actions, [](bool allSucceeded) {
            debugLog(std::string("⚡️ Command execution ") + (allSucceeded ? "completed" : "had failures"));
        });
    });
}

// A pending reset never clobbers a newer request (generation) nor a recording in progress (listening).
void DictationController::scheduleDelayedReset(double delay, std::uint64_t generation, bool hideAfterwards) {
    std::weak_ptr<DictationController> weak = weak_from_this();
    mainQueue.postAfter(delay, [weak, generation, hideAfterwards] {
        auto self = weak.lock();
        if (!self || self->dictationGeneration != generation || self->newerRecordingInProgress()) {
            return;
        }
        self->appState.state = VokariState::idle;
        if (hideAfterwards) {
            self->hideIndicator();
        }
    });
}

bool DictationController::newerRecordingInProgress() const {
    return appState.state.get() == VokariState::listening;
}

} // namespace vokari
