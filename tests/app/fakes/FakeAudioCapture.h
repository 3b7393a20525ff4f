#pragma once
// Test double of the microphone engine: records start/stop times and lets the test report start outcomes and
// deliver buffers (from any thread). Owned by the test.
#include "audio/AudioCapture.h"
#include "core/MainQueue.h"

#include <cstddef>
#include <optional>
#include <vector>

namespace vokari::fakes {

class FakeAudioCapture : public AudioCapture {
public:
    explicit FakeAudioCapture(const MainQueue& clock) : clock(clock) {}

    // Reported through onCaptureStarted from inside startCapture; nullopt leaves it to reportStart().
    std::optional<bool> startOutcome = true;
    std::vector<double> starts;
    std::vector<double> stops;

    bool startCapture() override {
        starts.push_back(clock.now());
        if (startOutcome && onCaptureStarted) {
            onCaptureStarted(*startOutcome);
        }
        return startOutcome.value_or(false);
    }
    void stopCapture() override { stops.push_back(clock.now()); }

    void reportStart(bool ok) {
        if (onCaptureStarted) {
            onCaptureStarted(ok);
        }
    }
    // One buffer of `count` samples, all equal to `value` (so its level is |value|).
    void deliver(std::size_t count, float value = 0.25f) {
        AudioBuffer16k buffer;
        buffer.samples.assign(count, value);
        if (onAudioBuffer) {
            onAudioBuffer(buffer);
        }
    }

private:
    const MainQueue& clock;
};

} // namespace vokari::fakes
