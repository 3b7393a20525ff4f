#pragma once
// A speech engine for the server fuzz targets: no decoding, a fixed text, and a record of what the last stream
// was fed (sample count and a checksum), so a target can compare it with the audio it sent.
#include "stt/SpeechEngine.h"
#include "stt/SpeechStream.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace vokari::server::fuzz {

// Order-sensitive, so a dropped, repeated or swapped byte shows.
inline std::uint64_t sampleChecksum(std::uint64_t sum, std::int16_t sample) {
    return (sum ^ static_cast<std::uint16_t>(sample)) * 1099511628211ull;
}

class FakeSpeechEngine : public SpeechEngine {
public:
    static constexpr const char* kText = "please send the report by friday";
    static constexpr std::uint64_t kChecksumStart = 1469598103934665603ull;

    struct Fed {
        std::size_t samples = 0;
        std::uint64_t checksum = kChecksumStart;
        bool finished = false;
    };

    std::string name() const override { return "fake"; }
    SttResult transcribe(const PcmAudio&, const std::vector<std::string>&, SttMode) override { return SttText{kText}; }
    std::unique_ptr<SpeechStream> openStream(const std::vector<std::string>&) override {
        last = Fed{};
        ++opened;
        return std::make_unique<Stream>(last);
    }

    // What the stream opened last was fed; reset by each openStream.
    Fed last;
    int opened = 0;

private:
    class Stream : public SpeechStream {
    public:
        explicit Stream(Fed& fed) : fed_(fed) {}
        void feed(const std::int16_t* samples, std::size_t count) override {
            for (std::size_t i = 0; i < count; ++i) {
                fed_.checksum = sampleChecksum(fed_.checksum, samples[i]);
            }
            fed_.samples += count;
        }
        SttResult finish() override {
            fed_.finished = true;
            return SttText{kText};
        }
        std::size_t samplesFed() const override { return fed_.samples; }

    private:
        Fed& fed_;
    };
};

} // namespace vokari::server::fuzz
