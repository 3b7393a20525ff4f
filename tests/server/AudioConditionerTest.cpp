// Audio conditioning ahead of the decoder: trimming keeps all of the speech, and only band-limited
// (telephone) audio gets the mirrored top band, without clipping.
#include "stt/AudioConditioner.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <random>

using namespace vokari::server;

namespace {

// `lead` s of faint white noise, `tone` s of the given sine mix at `amplitude`, `tail` s of noise.
PcmAudio clip(double lead, double tone, double tail, std::vector<double> hz, double amplitude, double noiseRms = 20) {
    std::mt19937 rng(7);
    std::normal_distribution<double> noise(0.0, noiseRms);
    PcmAudio a;
    size_t n = static_cast<size_t>((lead + tone + tail) * 16000);
    for (size_t i = 0; i < n; ++i) {
        double t = double(i) / 16000.0, v = noise(rng);
        if (t >= lead && t < lead + tone) {
            for (double f : hz) {
                v += amplitude / double(hz.size()) * std::sin(2 * 3.14159265358979 * f * t);
            }
        }
        a.samples.push_back(static_cast<int16_t>(std::clamp(v, -32768.0, 32767.0)));
    }
    return a;
}

int peak(const PcmAudio& a) {
    int p = 0;
    for (int16_t s : a.samples) {
        p = std::max(p, std::abs(int(s)));
    }
    return p;
}

} // namespace

TEST(ServerAudioConditioner, TrimsSilenceKeepsSpeechAndFillsOnlyTelephoneAudiosTopBand) {
    // Two seconds of silence either side of one second of wideband "speech": trimmed to it plus 0.25 s margins.
    auto wide = conditionForDecoding(clip(2.0, 1.0, 2.0, {300, 1200, 6000}, 3000));
    EXPECT_NEAR(wide.audio.seconds(), 1.5, 0.05);
    EXPECT_NEAR(double(wide.trimmedHead) / 16000, 1.75, 0.05);
    EXPECT_FALSE(wide.telephoneBand);

    // The level stays as recorded.
    EXPECT_EQ(conditionForDecoding(clip(0.5, 1.0, 0.5, {300, 1200, 6000}, 600)).gain, 1.0);
    EXPECT_EQ(conditionForDecoding(clip(0.5, 1.0, 0.5, {300, 1200, 6000}, 32000)).gain, 1.0);

    // Nothing above 4 kHz (not even white noise): telephone audio; the mirrored band stays below full scale.
    auto phone = conditionForDecoding(clip(0.5, 1.0, 0.5, {300, 1200, 3000}, 30000, 0));
    EXPECT_TRUE(phone.telephoneBand);
    EXPECT_LT(phone.gain, 1.0);
    EXPECT_LT(peak(phone.audio), 32767);

    // Only noise (nothing to trim to) and clips too short to measure pass through at full length, and noise
    // is not amplified into something the decoder might take for words.
    auto noise = conditionForDecoding(clip(1.0, 0.0, 0.0, {}, 0));
    EXPECT_EQ(noise.audio.samples.size(), 16000u);
    EXPECT_EQ(noise.gain, 1.0);
    EXPECT_EQ(conditionForDecoding(clip(0.01, 0.0, 0.0, {}, 0)).audio.samples.size(), 160u);
}
