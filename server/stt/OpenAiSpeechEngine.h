#pragma once
// Transcription through any OpenAI-compatible "/audio/transcriptions" endpoint (e.g. a local Whisper server);
// the user's vocabulary goes along as the prompt. Stateless apart from its configuration; any thread.
// Owned by ServerApp.

#include "http/OpenAiClient.h"
#include "stt/SpeechEngine.h"

namespace vokari::server {

class OpenAiSpeechEngine final : public SpeechEngine {
public:
    OpenAiSpeechEngine(ApiEndpoint endpoint, std::string model)
        : endpoint_(std::move(endpoint)), model_(std::move(model)) {}

    std::string name() const override { return "openai"; }
    SttResult transcribe(const PcmAudio& audio, const std::vector<std::string>& vocabulary, SttMode mode) override;

private:
    ApiEndpoint endpoint_;
    std::string model_;
};

} // namespace vokari::server
