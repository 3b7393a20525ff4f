#pragma once
// The samples of one recording (16 kHz mono float) and their WAV encoding. appendSamples runs on the audio
// thread while the main thread reads the length or encodes; one lock owned by the session serialises them.
// Owned by the dictation controller through a shared_ptr for the length of one recording.
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <span>
#include <string>
#include <vector>

namespace vokari {

class DictationSession {
public:
    DictationSession();

    const std::string& id() const { return sessionId; }
    void appendSamples(std::span<const float> samples);
    std::size_t sampleCount() const;
    double durationSeconds() const;
    // A complete WAV file (16 kHz mono 16-bit PCM) of the samples stored at the moment of the call.
    std::vector<std::uint8_t> getWAVData() const;

    // The samples stored so far, as a stream of the recording carries them.
    std::string pcmData() const;

    static std::vector<std::uint8_t> encodeWAV(std::span<const float> samples);
    // The same samples as the WAV's data chunk holds them (16-bit little-endian), appended to `out`: what a
    // stream of the recording carries.
    static void appendPCM(std::string& out, std::span<const float> samples);

private:
    std::string sessionId;
    mutable std::mutex lock;
    std::vector<float> samples;
};

} // namespace vokari
