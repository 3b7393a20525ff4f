#pragma once
// One block of captured audio converted to 16 kHz mono float, with its level. A value: built on the audio
// thread, copied freely, never changed after construction.
#include <chrono>
#include <vector>

namespace vokari {

struct AudioBuffer16k {
    std::vector<float> samples;
    double sampleRate = 16000.0;
    std::chrono::system_clock::time_point timestamp;

    // Root mean square of the samples, summed in float in sample order; 0 for an empty block.
    float rmsLevel() const;
};

} // namespace vokari
