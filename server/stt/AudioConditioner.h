#pragma once
// Prepares a whole recording for the decoder: removes DC offset, trims long leading and trailing silence
// (which would otherwise weigh on the utterance's cepstral mean) and brings speech to a common level.
// Pure function, any thread.

#include "audio/WavReader.h"

namespace vokari::server {

struct ConditioningResult {
    PcmAudio audio;
    double gain = 1.0;          // applied to the samples
    size_t trimmedHead = 0;     // samples removed at the start
    size_t trimmedTail = 0;     // samples removed at the end
    bool telephoneBand = false; // nothing above 4 kHz: a mirrored image of the band was added
};

ConditioningResult conditionForDecoding(const PcmAudio& input);

} // namespace vokari::server
