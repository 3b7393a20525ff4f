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

// What conditioning does to a recording, decided from its statistics. A stream decides it from its first
// second and applies it to the rest as it arrives.
struct ConditioningPlan {
    double dc = 0;
    double thresholdDb = 0;     // a frame this loud (frameEnergyDb) counts as speech
    bool speech = false;        // a voiced run was found
    size_t firstVoiced = 0;     // first voiced frame (10 ms) when `speech`
    size_t begin = 0, end = 0;  // kept samples
    bool telephoneBand = false; // nothing above 4 kHz: a mirrored image of the band is added
    double gain = 1.0;
};

constexpr size_t kConditioningFrame = 160;        // 10 ms at 16 kHz
constexpr size_t kConditioningKeepSilence = 4000; // 250 ms of silence kept on each side of speech

ConditioningPlan planConditioning(const std::vector<int16_t>& samples);
// Energy of one frame in dB, after removing `dc`.
double frameEnergyDb(const int16_t* s, size_t n, double dc);
// Appends samples [first, first + n) of the recording, conditioned by `plan`, to `out`. `first` is the
// index of `s[0]` in the whole recording (the mirrored band alternates sign by sample position).
void applyConditioning(const ConditioningPlan& plan, const int16_t* s, size_t n, size_t first,
                       std::vector<int16_t>& out);

} // namespace vokari::server
