#include "stt/OpenAiSpeechEngine.h"

#include <nlohmann/json.hpp>

namespace vokari::server {

SttResult OpenAiSpeechEngine::transcribe(const PcmAudio& audio, const std::vector<std::string>& vocabulary,
                                         SttMode mode) {
    std::string prompt;
    for (const auto& term : vocabulary) {
        prompt += prompt.empty() ? term : ", " + term;
    }
    if (mode == SttMode::command) {
        // Nudges the model toward the command words the planner understands.
        prompt = "Open, go to, type, press, click, wait, and then. " + prompt;
    }
    httplib::MultipartFormDataItems items = {{"file", encodeWav(audio.samples), "audio.wav", "audio/wav"},
                                             {"model", model_, "", ""},
                                             {"response_format", "json", "", ""}};
    if (!prompt.empty()) {
        items.push_back({"prompt", prompt, "", ""});
    }
    auto result = postMultipart(endpoint_, "/audio/transcriptions", items);
    if (auto* failure = std::get_if<ApiFailure>(&result)) {
        return SttError{failure->unreachable ? SttError::Kind::unavailable : SttError::Kind::failed,
                        "openai transcription: " + failure->detail};
    }
    auto j = nlohmann::json::parse(std::get<std::string>(result), nullptr, false);
    if (!j.is_object() || !j.contains("text") || !j["text"].is_string()) {
        return SttError{SttError::Kind::failed, "openai transcription: answer has no \"text\""};
    }
    return SttText{j["text"].get<std::string>()};
}

} // namespace vokari::server
