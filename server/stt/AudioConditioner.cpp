#include "stt/AudioConditioner.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace vokari::server {
namespace {

constexpr size_t kFrame = kConditioningFrame;
constexpr size_t kKeepSilence = kConditioningKeepSilence;
constexpr double kSpeechAboveFloorDb = 15.0;
constexpr double kPeakLimit = 30000.0;
constexpr double kTelephoneTopBandDb = -65.0; // 6-8 kHz this far below the whole: band-limited audio
constexpr double kMirrorGain = 0.3;

double rmsDb(const int16_t* s, size_t n, double dc) {
    double sum = 0;
    for (size_t i = 0; i < n; ++i) {
        double v = double(s[i]) - dc;
        sum += v * v;
    }
    return 10.0 * std::log10(sum / double(std::max<size_t>(1, n)) + 1.0);
}

// Power at 5-7.5 kHz against 0.5-3 kHz, in dB, from Hann-windowed Goertzel filters on every fourth
// 32 ms block (sharp enough that strong low-frequency speech does not leak into the top band).
double topBandDb(const std::vector<int16_t>& s, double dc) {
    constexpr size_t kBlock = 512;
    constexpr double kPi = 3.14159265358979323846;
    static const double kLow[] = {500, 1000, 1500, 2000, 2500, 3000};
    static const double kHigh[] = {5000, 5500, 6000, 6500, 7000, 7500};
    std::vector<double> window(kBlock);
    for (size_t i = 0; i < kBlock; ++i) {
        window[i] = 0.5 - 0.5 * std::cos(2 * kPi * double(i) / double(kBlock - 1));
    }
    auto power = [&](const int16_t* x, double hz) {
        double c = 2 * std::cos(2 * kPi * hz / 16000.0), s1 = 0, s2 = 0;
        for (size_t i = 0; i < kBlock; ++i) {
            double v = (double(x[i]) - dc) * window[i] + c * s1 - s2;
            s2 = s1;
            s1 = v;
        }
        return s1 * s1 + s2 * s2 - c * s1 * s2;
    };
    double low = 0, high = 0;
    for (size_t b = 0; b + kBlock <= s.size(); b += 4 * kBlock) {
        for (double hz : kLow) {
            low += power(s.data() + b, hz);
        }
        for (double hz : kHigh) {
            high += power(s.data() + b, hz);
        }
    }
    return 10.0 * std::log10((high + 1e-3) / (low + 1e-3));
}

} // namespace

ConditioningPlan planConditioning(const std::vector<int16_t>& s) {
    ConditioningPlan plan;
    size_t frames = s.size() / kFrame;
    plan.end = s.size();
    if (frames < 10) {
        return plan;
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
    plan.dc = dc;
    plan.thresholdDb = threshold;
    plan.speech = first < last && loudDb - floorDb > kSpeechAboveFloorDb;
    if (plan.speech) {
        plan.firstVoiced = first;
        plan.begin = first * kFrame > kKeepSilence ? first * kFrame - kKeepSilence : 0;
        plan.end = std::min(s.size(), last * kFrame + kKeepSilence);
    }

    // Telephone audio (8 kHz, upsampled) has nothing above 4 kHz, where the acoustic model expects the
    // hiss of fricatives. A quiet mirror image of 0-4 kHz in 4-8 kHz (every other sample's sign flipped)
    // gives those filters something speech-like instead of near-silence.
    plan.telephoneBand = topBandDb(s, dc) < kTelephoneTopBandDb;
    double mirror = plan.telephoneBand ? kMirrorGain : 0.0;

    double peak = 1.0;
    for (size_t i = plan.begin; i < plan.end; ++i) {
        peak = std::max(peak, std::abs(double(s[i]) - dc));
    }
    // The level is left as recorded (normalising it measured no better, and worse on short commands);
    // only the mirrored band is kept from clipping.
    plan.gain = mirror > 0 ? std::min(1.0, kPeakLimit / (peak * (1.0 + mirror))) : 1.0;
    return plan;
}

double frameEnergyDb(const int16_t* s, size_t n, double dc) {
    return rmsDb(s, n, dc);
}

void applyConditioning(const ConditioningPlan& plan, const int16_t* s, size_t n, size_t first,
                       std::vector<int16_t>& out) {
    double mirror = plan.telephoneBand ? kMirrorGain : 0.0;
    out.reserve(out.size() + n);
    for (size_t k = 0; k < n; ++k) {
        size_t i = first + k;
        double x = double(s[k]) - plan.dc;
        double v = std::round(x * plan.gain * (1.0 + (i % 2 == 0 ? mirror : -mirror)));
        out.push_back(static_cast<int16_t>(std::clamp(v, -32768.0, 32767.0)));
    }
}

ConditioningResult conditionForDecoding(const PcmAudio& input) {
    ConditioningResult out;
    if (input.samples.size() / kFrame < 10) {
        out.audio = input;
        return out;
    }
    ConditioningPlan plan = planConditioning(input.samples);
    out.gain = plan.gain;
    out.telephoneBand = plan.telephoneBand;
    out.trimmedHead = plan.begin;
    out.trimmedTail = input.samples.size() - plan.end;
    applyConditioning(plan, input.samples.data() + plan.begin, plan.end - plan.begin, plan.begin, out.audio.samples);
    return out;
}

} // namespace vokari::server
