#pragma once
// The description of a stream of audio samples (rate, channels, sample type) and one block of captured input as
// an engine hands it to its tap. Plain values, shared by the capture logic and the platform engines.
// Any thread; owned by whoever holds them.
#include <cstdint>

namespace vokari {

// Sample types an engine can report for its input. The numbering follows the platform convention in which
// 32-bit float is common format 1.
enum class CommonFormat : std::uint32_t { other = 0, float32 = 1, float64 = 2, int16 = 3, int32 = 4 };

struct AudioFormat {
    double sampleRate = 0.0;
    std::uint32_t channelCount = 0;
    CommonFormat commonFormat = CommonFormat::float32;
    bool interleaved = true;
};

// One tapped block. `samples` holds frameLength × format.channelCount interleaved float samples, or is null
// when the engine has no float data for the block. Valid only during the tap call.
struct AudioInputBuffer {
    AudioFormat format;
    std::uint32_t frameLength = 0;
    const float* samples = nullptr;
};

} // namespace vokari
