// The server's WAV reader. Whatever it accepts must survive a round trip through the encoder unchanged.
#include "FuzzSupport.h"
#include "audio/WavReader.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace vokari::server;
    auto read = readWav(vokari::fuzz::bytesOf(data, size));
    if (auto* audio = std::get_if<PcmAudio>(&read)) {
        auto again = readWav(encodeWav(audio->samples));
        auto* copy = std::get_if<PcmAudio>(&again);
        if (!copy || copy->samples != audio->samples) {
            std::abort();
        }
    }
    return 0;
}
