#pragma once
// What the dictation controller needs of the microphone engine. AudioCaptureManager implements it.
// startCapture/stopCapture on the main thread; onAudioBuffer is called on the audio thread, onCaptureStarted and
// onCaptureLost on the main thread.
#include "audio/AudioBuffer16k.h"

#include <functional>

namespace vokari {

class AudioCapture {
public:
    virtual ~AudioCapture() = default;
    std::function<void(const AudioBuffer16k&)> onAudioBuffer;
    // The outcome of a start, possibly later than startCapture's return.
    std::function<void(bool)> onCaptureStarted;
    // Capture that had started has ended for good (every restart failed); the recording gets no more audio.
    std::function<void()> onCaptureLost;
    virtual bool startCapture() = 0;
    virtual void stopCapture() = 0;
};

} // namespace vokari
