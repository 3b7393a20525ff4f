#pragma once
// The stream of an engine that cannot decode incrementally: keeps the audio and transcribes it whole at the
// end. Same threading as SpeechStream; borrows the engine, which outlives every request.

#include "stt/SpeechStream.h"

#include <string>
#include <vector>

namespace vokari::server {

class BufferedSpeechStream final : public SpeechStream {
public:
    BufferedSpeechStream(SpeechEngine& engine, std::vector<std::string> vocabulary)
        : engine_(engine), vocabulary_(std::move(vocabulary)) {}

    void feed(const int16_t* samples, size_t count) override {
        audio_.samples.insert(audio_.samples.end(), samples, samples + count);
    }
    SttResult finish() override { return engine_.transcribe(audio_, vocabulary_, SttMode::dictation); }
    size_t samplesFed() const override { return audio_.samples.size(); }

private:
    SpeechEngine& engine_;
    std::vector<std::string> vocabulary_;
    PcmAudio audio_;
};

} // namespace vokari::server
