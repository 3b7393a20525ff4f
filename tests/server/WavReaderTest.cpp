// The strict WAV reader: only 16 kHz mono 16-bit PCM passes, everything else gets a sentence.
#include "audio/WavReader.h"

#include <gtest/gtest.h>

using namespace vokari;

TEST(ServerWavReader, ReadsTheAppsFormatAndSkipsUnknownChunks) {
    std::vector<int16_t> samples = {0, 1, -1, 32767, -32768, 1234};
    std::string wav = encodeWav(samples);
    auto plain = readWav(wav);
    ASSERT_TRUE(std::holds_alternative<PcmAudio>(plain));
    EXPECT_EQ(std::get<PcmAudio>(plain).samples, samples);

    // A LIST chunk of odd length (padded) between fmt and data.
    std::string withList = wav.substr(0, 36) +
                           std::string("LIST\x03\x00\x00\x00"
                                       "abc\x00",
                                       12) +
                           wav.substr(36);
    auto listed = readWav(withList);
    ASSERT_TRUE(std::holds_alternative<PcmAudio>(listed)) << std::get<WavError>(listed).message;
    EXPECT_EQ(std::get<PcmAudio>(listed).samples, samples);
}

TEST(ServerWavReader, RejectsEverythingElse) {
    std::string good = encodeWav(std::vector<int16_t>(1600, 5));
    std::string eightBit = good;
    eightBit[34] = 8;
    std::string floatFormat = good;
    floatFormat[20] = 3;
    std::string odd = good;
    odd[40] = static_cast<char>(odd[40] + 1); // data size one byte larger than present → truncated
    struct Case {
        const char* name;
        std::string bytes;
        const char* needle;
    } cases[] = {
        {"empty", "", "empty audio"},
        {"not riff", "RIFX" + good.substr(4), "not a WAV"},
        {"short", "RIFF", "not a WAV"},
        {"truncated data", good.substr(0, good.size() - 2), "truncated"},
        {"header only", good.substr(0, 36), "no data chunk"},
        {"8-bit", eightBit, "16-bit"},
        {"float", floatFormat, "PCM"},
        {"48 kHz", encodeWav({1, 2}, 48000), "16000 Hz"},
        {"stereo", encodeWav({1, 2}, 16000, 2), "mono"},
        {"declared past end", odd, "truncated"},
        {"no samples", encodeWav({}), "empty audio"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto r = readWav(c.bytes);
        ASSERT_TRUE(std::holds_alternative<WavError>(r));
        EXPECT_NE(std::get<WavError>(r).message.find(c.needle), std::string::npos) << std::get<WavError>(r).message;
    }
}
