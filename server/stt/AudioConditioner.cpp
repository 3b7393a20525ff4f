#include "stt/AudioConditioner.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace vokari::server {
namespace {

constexpr size_t kFrame = 160;            // 10 ms at 16 kHz
constexpr size_t kKeepSilence = 16000 / 4; // 250 ms of silence kept on each side for the silence model
constexpr double kSpeechAboveFloorDb = 15.0;
constexpr double kTargetSpeechRms = 3000.0; // about -20 dBFS for the loud part of the speech
constexpr double kMaxGain = 16.0;
constexpr double kPeakLimit = 30000.0;

double rmsDb(const int16_t* s, size_t n, double dc) {
    double sum = 0;
    for (size_t i = 0; i < n; ++i) {
        double v = double(s[i]) - dc;
        sum += v * v;
    }
    return 10.0 * std::log10(sum / double(std::max<size_t>(1, n)) + 1.0);
}

} // namespace

ConditioningResult conditionForDecoding(const PcmAudio& input) {
    ConditioningResult out;
    const auto& s = input.samples;
    size_t frames = s.size() / kFrame;
    if (frames < 10) {
        out.audio = input;
        return out;
    }
    double dc = std::accumulate(s.begin(), s.end(), 0.0) / double(s.size());
    std::vector<double> energy(frames);
    for (size_t f = 0; f < frames; ++f) {
        energy[f] = rmsDb(s.data() + f * kFrame, kFrame, dc);
    }
    std::vector<double> sorted = energy;
    std::sort(sorted.begin(), sorted.end());
    double floorDb = sorted[frames / 10];
    double loudDb = sorted[frames * 95 / 100];
    double threshold = std::max(floorDb + kSpeechAboveFloorDb, loudDb - 45.0);

    // Speech starts and ends where a short run of frames stays above the threshold, so a click is not speech.
    auto voiced = [&](size_t f) {
        size_t run = 0;
        for (size_t k = f; k < std::min(frames, f + 3); ++k) {
            run += energy[k] > threshold ? 1 : 0;
        }
        return run >= 2;
    };
    size_t first = 0;
    while (first < frames && !voiced(first)) {
        ++first;
    }
    size_t last = frames;
    while (last > first && !voiced(last - 1)) {
        --last;
    }
    size_t begin = 0, end = s.size();
    if (first < last && loudDb - floorDb > kSpeechAboveFloorDb) {
        begin = first * kFrame > kKeepSilence ? first * kFrame - kKeepSilence : 0;
        end = std::min(s.size(), last * kFrame + kKeepSilence);
    }

    // Level: the loud frames of the speech to a common RMS, never clipping.
    double loudRms = std::pow(10.0, loudDb / 20.0);
    double gain = std::clamp(kTargetSpeechRms / std::max(1.0, loudRms), 1.0 / kMaxGain, kMaxGain);
    double peak = 1.0;
    for (size_t i = begin; i < end; ++i) {
        peak = std::max(peak, std::abs(double(s[i]) - dc));
    }
    gain = std::min(gain, kPeakLimit / peak);

    out.gain = gain;
    out.trimmedHead = begin;
    out.trimmedTail = s.size() - end;
    out.audio.samples.reserve(end - begin);
    for (size_t i = begin; i < end; ++i) {
        double v = std::round((double(s[i]) - dc) * gain);
        out.audio.samples.push_back(static_cast<int16_t>(std::clamp(v, -32768.0, 32767.0)));
    }
    return out;
}

} // namespace vokari::server
