#pragma once
// Small desktop services the dictation controller calls: modal alerts and the transcript history.
// All on the main thread. Implemented by the platform/UI layers; tests use recording fakes.
#include "desktop/SoundPlayer.h"

#include <functional>
#include <string>

namespace vokari {

// Shows an informational alert with a single "OK" button; onDismiss runs on the main thread once the user has
// dismissed it.
class AlertPresenter {
public:
    virtual ~AlertPresenter() = default;
    virtual void showAlert(const std::string& title, const std::string& message, std::function<void()> onDismiss) = 0;
};

// The main view's transcript history.
class TranscriptSink {
public:
    virtual ~TranscriptSink() = default;
    virtual void pushTranscript(const std::string& text) = 0;
};

} // namespace vokari
