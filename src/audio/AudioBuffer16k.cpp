#include "audio/AudioBuffer16k.h"

#include <cmath>

namespace vokari {

float AudioBuffer16k::rmsLevel() const {
    if (samples.empty()) {
        return 0.0f;
    }
    float sum = 0.0f;
    for (float s : samples) {
        sum += s * s;
    }
    return std::sqrt(sum / static_cast<float>(samples.size()));
}

} // namespace vokari
