#pragma once
// The one interface every transcription engine offers to the HTTP handlers.
// transcribe() is called concurrently from HTTP worker threads; engines must be thread-safe.
// Owned by ServerApp; handlers borrow it for the server's lifetime.

#include "audio/WavReader.h"

#include <memory>
#include <string>
#include <variant>
#include <vector>

namespace vokari::server {

class SpeechStream;

enum class SttMode { dictation, command };

struct SttText {
    std::string text;
};

struct SttError {
    enum class Kind { unavailable, failed } kind = Kind::failed;
    std::string detail; // for the server log only; clients see a fixed message
};

using SttResult = std::variant<SttText, SttError>;

class SpeechEngine {
public:
    virtual ~SpeechEngine() = default;
    virtual std::string name() const = 0;
    // `vocabulary` holds the user's terms as they wrote them.
    virtual SttResult transcribe(const PcmAudio& audio, const std::vector<std::string>& vocabulary, SttMode mode) = 0;
    // A dictation decoded as it arrives. The default keeps the audio and calls transcribe() at the end.
    virtual std::unique_ptr<SpeechStream> openStream(const std::vector<std::string>& vocabulary);
};

} // namespace vokari::server
