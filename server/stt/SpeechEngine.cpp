#include "stt/SpeechEngine.h"

#include "stt/BufferedSpeechStream.h"

namespace vokari::server {

std::unique_ptr<SpeechStream> SpeechEngine::openStream(const std::vector<std::string>& vocabulary) {
    return std::make_unique<BufferedSpeechStream>(*this, vocabulary);
}

} // namespace vokari::server
