#include "platform/linux/audio/SoxrSampleConverter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

using namespace vokari;
using vokari::platform_linux::SoxrSampleConverter;

namespace {

const AudioFormat kTarget{16000.0, 1, CommonFormat::float32, false};

// Interleaved 48 kHz stereo block with a sine of `hz` on the given channels.
std::vector<float> stereoSine(std::size_t frames, std::size_t offset, double hz, float left, float right) {
    std::vector<float> data(frames * 2);
    for (std::size_t i = 0; i < frames; ++i) {
        const auto v = static_cast<float>(std::sin(2 * M_PI * hz * double(offset + i) / 48000.0));
        data[2 * i] = left * v;
        data[2 * i + 1] = right * v;
    }
    return data;
}

struct Result {
    std::vector<float> samples;
    double rms() const {
        double sum = 0;
        for (float s : samples) {
            sum += double(s) * s;
        }
        return samples.empty() ? 0 : std::sqrt(sum / double(samples.size()));
    }
    double frequency() const {
        int crossings = 0;
        for (std::size_t i = 1; i < samples.size(); ++i) {
            crossings += (samples[i - 1] < 0) != (samples[i] < 0);
        }
        return crossings / 2.0 / (double(samples.size()) / 16000.0);
    }
};

// Ten 100 ms blocks; the first is left out of the result while the filter fills.
Result convertTenBlocks(SoxrSampleConverter& converter, float left, float right) {
    Result result;
    std::vector<float> out(1700);
    for (int block = 0; block < 10; ++block) {
        auto in = stereoSine(4800, block * 4800u, 440.0, left, right);
        auto produced = converter.convert(AudioInputBuffer{{48000.0, 2}, 4800, in.data()}, out.data(), 1700);
        EXPECT_TRUE(produced.has_value());
        if (block > 0) {
            result.samples.insert(result.samples.end(), out.begin(), out.begin() + produced.value_or(0));
        }
    }
    return result;
}

TEST(SoxrSampleConverter, ResamplesStereoTo16kMonoKeepingPitchAndMixingChannels) {
    auto converter = SoxrSampleConverter::create({48000.0, 2}, kTarget);
    ASSERT_TRUE(converter);
    auto both = convertTenBlocks(*converter, 0.5f, 0.5f);
    // A third of the input, give or take what the resampler holds back between calls.
    EXPECT_NEAR(double(both.samples.size()), 9 * 1600.0, 320.0);
    EXPECT_NEAR(both.rms(), 0.5 / std::sqrt(2.0), 0.01);
    EXPECT_NEAR(both.frequency(), 440.0, 2.0);

    // A voice on the second channel only is kept (at half level), not lost as it would be with channel 0 alone.
    auto rightOnly = SoxrSampleConverter::create({48000.0, 2}, kTarget);
    auto right = convertTenBlocks(*rightOnly, 0.0f, 0.5f);
    EXPECT_NEAR(right.rms(), 0.25 / std::sqrt(2.0), 0.01);
}

TEST(SoxrSampleConverter, LargeBlocksAreConvertedWholeAndBadInputIsAnError) {
    auto converter = SoxrSampleConverter::create({48000.0, 2}, kTarget);
    ASSERT_TRUE(converter);
    // One second at once is more than the mix-down scratch holds; it goes through in pieces.
    std::vector<float> out(16100);
    std::size_t total = 0;
    for (int i = 0; i < 3; ++i) {
        auto in = stereoSine(48000, i * 48000u, 300.0, 0.3f, 0.3f);
        total += converter->convert(AudioInputBuffer{{48000.0, 2}, 48000, in.data()}, out.data(), 16100).value_or(0);
    }
    EXPECT_NEAR(double(total), 48000.0, 320.0); // three seconds, less what the resampler holds back

    std::vector<float> mono(480, 0.1f);
    EXPECT_FALSE(converter->convert(AudioInputBuffer{{48000.0, 1}, 480, mono.data()}, out.data(), 160));
    EXPECT_FALSE(converter->convert(AudioInputBuffer{{48000.0, 2}, 240, nullptr}, out.data(), 160));

    EXPECT_FALSE(SoxrSampleConverter::create({0.0, 2}, kTarget));
    EXPECT_FALSE(SoxrSampleConverter::create({48000.0, 0}, kTarget));
    EXPECT_FALSE(SoxrSampleConverter::create({48000.0, 2, CommonFormat::int16}, kTarget));
    EXPECT_FALSE(SoxrSampleConverter::create({48000.0, 2}, {16000.0, 2}));
}

} // namespace
