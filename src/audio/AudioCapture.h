#pragma once
// What the dictation controller needs of the microphone engine. AudioCaptureManager implements it.
// startCapture/stopCapture on the main thread; onAudioBuffer is called on the audio thread, onCaptureStarted on
// the main thread.
#include "audio/AudioBuffer16k.h"

#include <functional>

namespace vokari {

class AudioCapture {
public:
    virtual ~AudioCapture() = default;
    std::function<void(const AudioBuffer16k&)> onAudioBuffer;
    std::function<void(bool)> onCaptureStarted;
    virtual bool startCapture() = 0;
    virtual void stopCapture() = 0;
};

} // namespace vokari
