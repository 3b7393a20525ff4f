#pragma once
// Strict reader for the one audio format the app uploads: RIFF WAVE, PCM, 16 kHz, mono, 16-bit little endian.
// Pure function, any thread. Anything else comes back as a sentence for the client's "error" field.

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace vokari::server {

struct PcmAudio {
    std::vector<int16_t> samples;
    static constexpr int kSampleRate = 16000;
    double seconds() const { return static_cast<double>(samples.size()) / kSampleRate; }
};

struct WavError {
    std::string message;
};

std::variant<PcmAudio, WavError> readWav(std::string_view bytes);

// Encodes samples as the same format (used by tests and the benchmark).
std::string encodeWav(const std::vector<int16_t>& samples, int sampleRate = 16000, int channels = 1);

} // namespace vokari::server
