#pragma once
// Small desktop services the dictation controller calls: sounds, modal alerts and the transcript history.
// All on the main thread. Implemented by the platform/UI layers; tests use recording fakes.
#include <functional>
#include <string>

namespace vokari {

// Plays a short named sound ("Blow", "Glass", "Submarine", "Basso") without waiting for it; unknown names are
// ignored.
class SoundPlayer {
public:
    virtual ~SoundPlayer() = default;
    virtual void play(const std::string& name) = 0;
};

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
