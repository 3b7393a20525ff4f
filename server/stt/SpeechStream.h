#pragma once
// One dictation decoded while it is being recorded: audio arrives block by block, finish() gives the text.
// Used by one HTTP worker thread from open to finish; destroying it without finish() drops the recording
// (the client went away) and frees whatever decoder it held.

#include "stt/SpeechEngine.h"

#include <cstddef>
#include <cstdint>

namespace vokari::server {

class SpeechStream {
public:
    virtual ~SpeechStream() = default;
    // `samples` are 16 kHz mono; blocks may have any length.
    virtual void feed(const int16_t* samples, size_t count) = 0;
    // The recording ended: the text of all fed audio, as transcribe() would give for the whole of it.
    virtual SttResult finish() = 0;
    virtual size_t samplesFed() const = 0;
};

} // namespace vokari::server
