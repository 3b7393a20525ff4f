#pragma once
// A dictation sent to the backend while it is recorded. The recording's audio is appended as it is captured;
// when the recording ends, finish() hands over the whole WAV as well, so that a stream that was refused or broke
// still ends in exactly one ordinary processing request. Owned by whoever opened it (shared_ptr).
#include "transport/ProcessResult.h"

#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

namespace vokari {

class ProcessStream {
public:
    using ProcessCompletion = std::function<void(ProcessResult)>;
    virtual ~ProcessStream() = default;
    // 16 kHz mono little-endian signed 16-bit samples, in recording order. Any thread (the audio thread): it
    // only buffers and wakes the transport. Dropped once the stream has ended.
    virtual void appendAudio(std::string_view pcm) = 0;
    // The recording ended and `wav` is all of it. The completion (any thread, exactly once) gets the stream's
    // answer, or, when the stream could not be opened, was refused, broke or timed out, the answer of one
    // ordinary request with `wav`. Once per stream; not after abort().
    virtual void finish(std::vector<std::uint8_t> wav, ProcessCompletion completion) = 0;
    // Gives the recording up (cancelled, too short, turned into a command): the connection closes before the
    // body ends, so the backend keeps nothing; no completion runs, nothing else is sent. Idempotent.
    virtual void abort() = 0;
};

} // namespace vokari
