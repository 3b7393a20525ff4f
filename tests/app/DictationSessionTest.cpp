#include "app/DictationSession.h"
#include "audio/AudioBuffer16k.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <limits>
#include <thread>

using namespace vokari;

namespace {
std::uint32_t le32(const std::vector<std::uint8_t>& b, std::size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<std::uint32_t>(b[at + 3]) << 24);
}
} // namespace

TEST(DictationSession, EmptySessionIsAComplete44ByteHeader) {
    DictationSession session;
    auto wav = session.getWAVData();
    const std::vector<std::uint8_t> expected = {
        'R', 'I', 'F',  'F',  36, 0, 0, 0,    'W', 'A', 'V', 'E', 'f', 'm', 't', ' ', 16,  0,   0, 0, 1, 0,
        1,   0,   0x80, 0x3E, 0,  0, 0, 0x7D, 0,   0,   2,   0,   16,  0,   'd', 'a', 't', 'a', 0, 0, 0, 0};
    EXPECT_EQ(wav, expected);
    EXPECT_EQ(session.durationSeconds(), 0.0);
    EXPECT_EQ(session.id().size(), 36u);
    EXPECT_NE(session.id(), DictationSession().id());
}

TEST(DictationSession, SamplesAreClampedScaledAndTruncatedTowardZero) {
    DictationSession session;
    const float nan = std::numeric_limits<float>::quiet_NaN();
    std::vector<float> in = {0.5f, -0.5f, 1.0f, -1.0f, 2.0f, nan, -3.0f, 0.99999f, -0.00001f};
    session.appendSamples(in);
    auto wav = session.getWAVData();
    ASSERT_EQ(wav.size(), 44u + 2 * in.size());
    EXPECT_EQ(le32(wav, 4), 36u + 2 * in.size());
    EXPECT_EQ(le32(wav, 40), 2 * in.size());
    const std::vector<std::uint8_t> data(wav.begin() + 44, wav.end());
    const std::vector<std::uint8_t> expected = {0xFF, 0x3F, 0x01, 0xC0, 0xFF, 0x7F, 0x01, 0x80, 0xFF,
                                                0x7F, 0x00, 0x00, 0x01, 0x80, 0xFE, 0x7F, 0x00, 0x00};
    EXPECT_EQ(data, expected);
}

TEST(DictationSession, DurationFollowsSampleCountAtSixteenKilohertz) {
    DictationSession session;
    session.appendSamples(std::vector<float>(16000, 0.1f));
    EXPECT_EQ(session.durationSeconds(), 1.0);
    auto wav = session.getWAVData();
    EXPECT_EQ(wav.size(), 32044u);
    EXPECT_EQ(le32(wav, 4), 32036u);

    DictationSession shortOne;
    shortOne.appendSamples(std::vector<float>(4799, 0.0f));
    EXPECT_EQ(shortOne.durationSeconds(), 0.2999375);
    shortOne.appendSamples(std::vector<float>(1, 0.0f));
    EXPECT_EQ(shortOne.durationSeconds(), 0.3);
}

TEST(DictationSession, AppendingWhileEncodingNeverYieldsInconsistentSizes) {
    DictationSession session;
    std::atomic<bool> done{false};
    std::thread audio([&] {
        std::vector<float> block(1600, 0.25f);
        for (int i = 0; i < 400; ++i) {
            session.appendSamples(block);
        }
        done = true;
    });
    int checked = 0;
    while (!done || checked == 0) {
        auto wav = session.getWAVData();
        ASSERT_EQ(le32(wav, 4), wav.size() - 8);
        ASSERT_EQ(le32(wav, 40), wav.size() - 44);
        ASSERT_EQ((wav.size() - 44) % 3200, 0u) << "a block was split";
        ++checked;
    }
    audio.join();
    EXPECT_EQ(session.sampleCount(), 640000u);
}

TEST(AudioBuffer16k, RmsLevel) {
    EXPECT_EQ(AudioBuffer16k{}.rmsLevel(), 0.0f);
    AudioBuffer16k b{{0.5f, -0.5f, 0.5f, -0.5f}, 16000.0, {}};
    EXPECT_FLOAT_EQ(b.rmsLevel(), 0.5f);
}
