#pragma once
// Prepares a whole recording for the decoder: removes DC offset, trims long leading and trailing silence
// (which would otherwise weigh on the utterance's cepstral mean) and fills the empty top band of
// telephone audio.
// Pure function, any thread.

#include "audio/WavReader.h"

namespace vokari::server {

struct ConditioningResult {
    PcmAudio audio;
    double gain = 1.0;          // below 1 only to keep the mirrored band of telephone audio from clipping
    size_t trimmedHead = 0;     // samples removed at the start
    size_t trimmedTail = 0;     // samples removed at the end
    bool telephoneBand = false; // nothing above 4 kHz: a mirrored image of the band was added
};

ConditioningResult conditionForDecoding(const PcmAudio& input);

} // namespace vokari::server
