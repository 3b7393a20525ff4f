#pragma once
// Converts interleaved float input of any rate and channel count to 16 kHz mono with libsoxr, mixing the
// channels down first. Created once per capture start on the main thread, then used on the audio thread only.
// Owned by the capture's tap.
#include "audio/SampleConverter.h"

#include <soxr.h>

#include <memory>
#include <vector>

namespace vokari::platform_linux {

class SoxrSampleConverter : public SampleConverter {
public:
    // Nothing when the formats cannot be converted (no rate, no channels, output not mono float).
    static std::unique_ptr<SoxrSampleConverter> create(const AudioFormat& from, const AudioFormat& to);
    ~SoxrSampleConverter() override;
    SoxrSampleConverter(const SoxrSampleConverter&) = delete;
    SoxrSampleConverter& operator=(const SoxrSampleConverter&) = delete;

    std::optional<std::uint32_t> convert(const AudioInputBuffer& in, float* out, std::uint32_t outCapacity) override;
    // The resampler's own delay, in output samples.
    double delaySamples() const;

private:
    SoxrSampleConverter(soxr_t soxr, AudioFormat from);

    soxr_t soxr;
    AudioFormat from;
    std::vector<float> mono; // mix-down scratch, sized up front
};

} // namespace vokari::platform_linux
