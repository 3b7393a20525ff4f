#pragma once
// Converts captured input blocks to 16 kHz mono float for one capture: created once per start for the input
// format of that start, then called for every block on the audio thread. Owned by the capture's tap.
#include "audio/AudioFormat.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

namespace vokari {

class SampleConverter {
public:
    virtual ~SampleConverter() = default;
    // Converts one block, writing at most outCapacity output frames to `out`. Returns the number written (which
    // may be 0 while the converter fills its filter), or nothing on a conversion error. Must not allocate.
    virtual std::optional<std::uint32_t> convert(const AudioInputBuffer& in, float* out, std::uint32_t outCapacity) = 0;
};

// Makes a converter from one format to another, or nothing when that conversion is not possible.
using SampleConverterFactory =
    std::function<std::unique_ptr<SampleConverter>(const AudioFormat& from, const AudioFormat& to)>;

} // namespace vokari
