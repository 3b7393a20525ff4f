// The strict WAV reader: only 16 kHz mono 16-bit PCM passes, everything else gets a sentence. The common
// rejections (truncated, wrong rate, stereo, empty, garbage) are also checked over HTTP in ContractTest.
#include "audio/WavReader.h"

#include <gtest/gtest.h>

using namespace vokari::server;

TEST(ServerWavReader, ReadsTheAppsFormatSkipsUnknownChunksAndRejectsTheRest) {
    const std::vector<int16_t> samples = {0, 1, -1, 32767, -32768, 1234};
    const std::string wav = encodeWav(samples);
    // A LIST chunk of odd length (padded) between fmt and data.
    const std::string listed = wav.substr(0, 36) +
                               std::string("LIST\x03\x00\x00\x00"
                                           "abc\x00",
                                           12) +
                               wav.substr(36);
    for (const auto& bytes : {wav, listed}) {
        auto r = readWav(bytes);
        ASSERT_TRUE(std::holds_alternative<PcmAudio>(r)) << std::get<WavError>(r).message;
        EXPECT_EQ(std::get<PcmAudio>(r).samples, samples);
    }

    std::string eightBit = wav, floatFormat = wav, pastEnd = wav;
    eightBit[34] = 8;
    floatFormat[20] = 3;
    pastEnd[40] = static_cast<char>(pastEnd[40] + 1); // data size one byte larger than present
    const std::pair<std::string, const char*> bad[] = {
        {"RIFX" + wav.substr(4), "not a WAV"},
        {"RIFF", "not a WAV"},
        {wav.substr(0, 36), "no data chunk"},
        {eightBit, "16-bit"},
        {floatFormat, "PCM"},
        {pastEnd, "truncated"},
        {encodeWav({1, 2}, 48000), "16000 Hz"},
    };
    for (const auto& [bytes, needle] : bad) {
        SCOPED_TRACE(needle);
        auto r = readWav(bytes);
        ASSERT_TRUE(std::holds_alternative<WavError>(r));
        EXPECT_NE(std::get<WavError>(r).message.find(needle), std::string::npos) << std::get<WavError>(r).message;
    }
}
