#pragma once
// Test doubles for the capture engine's platform: engines whose start, format and tap installation a test
// scripts, a device monitor with a settable default device, and a converter that decimates by the rate ratio.
// Everything runs on the test thread; the test owns the FakeAudioPlatform.
#include "audio/AudioCaptureManager.h"
#include "core/MainQueue.h"

#include <algorithm>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace vokari::testing {

class FakeAudioEngine : public AudioEngine {
public:
    FakeAudioEngine(MainQueue& queue, AudioFormat format) : queue(queue), format(format) {}

    void prepare() override { ++prepared; }
    bool hasInputUnit() const override { return hasUnit; }
    int bindInputDevice(AudioDeviceId device) override {
        boundDevice = device;
        return bindStatus;
    }
    std::optional<std::string> start() override {
        startTimes.push_back(queue.now());
        if (startError) {
            return startError;
        }
        running = true;
        return std::nullopt;
    }
    void stop() override { running = false; }
    AudioFormat inputFormat() const override { return running ? format : AudioFormat{0.0, 0}; }
    std::optional<std::string> installTap(std::uint32_t frames, TapBlock block) override {
        if (tapError) {
            return tapError;
        }
        tapFrames = frames;
        tap = std::move(block);
        return std::nullopt;
    }
    // Hands over the `pendingFrames` recorded since the last block, as the real engine does at a stop.
    void flushTap() override {
        if (tap && pendingFrames > 0) {
            deliver(std::exchange(pendingFrames, 0u));
        }
    }
    void removeTap() override { tap = nullptr; }
    Subscription observeConfigurationChanges(std::function<void()> fn) override {
        configHandler = std::move(fn);
        return Subscription([this] { configHandler = nullptr; });
    }

    // Delivers one block of `frames` frames; every channel of frame i holds `value(i)`.
    void deliver(std::uint32_t frames, float value = 0.25f) {
        std::vector<float> data(static_cast<std::size_t>(frames) * format.channelCount, value);
        if (tap) {
            tap(AudioInputBuffer{format, frames, data.data()});
        }
    }
    void fireConfigurationChange() {
        if (configHandler) {
            configHandler();
        }
    }

    MainQueue& queue;
    AudioFormat format;
    bool hasUnit = true;
    int bindStatus = 0;
    std::optional<std::string> startError;
    std::optional<std::string> tapError;
    bool running = false;
    AudioDeviceId boundDevice = 0;
    std::uint32_t tapFrames = 0;
    std::uint32_t pendingFrames = 0;
    TapBlock tap;
    std::function<void()> configHandler;
    std::vector<double> startTimes;
    int prepared = 0;
};

class FakeDeviceMonitor : public AudioDeviceMonitor {
public:
    AudioDeviceId defaultInputDevice() override { return defaultDevice; }
    std::optional<std::string> deviceName(AudioDeviceId device) override {
        auto it = names.find(device);
        return it == names.end() ? std::nullopt : std::optional(it->second);
    }
    Subscription addDefaultDeviceListener(std::function<void()> fn) override {
        listener = std::move(fn);
        return Subscription([this] { listener = nullptr; });
    }
    void changeDefault(AudioDeviceId device) {
        defaultDevice = device;
        if (listener) {
            listener();
        }
    }

    AudioDeviceId defaultDevice = 7;
    std::map<AudioDeviceId, std::string> names{{7, "Fake USB Mic"}, {9, "Headset Mic"}};
    std::function<void()> listener;
};

// Emits in.frameLength / (rate / 16 kHz) frames of the first input sample, except nothing for the first
// `primeBlocks` blocks, like a resampler filling its filter.
class FakeSampleConverter : public SampleConverter {
public:
    explicit FakeSampleConverter(int primeBlocks) : primeBlocks(primeBlocks) {}
    std::optional<std::uint32_t> convert(const AudioInputBuffer& in, float* out, std::uint32_t capacity) override {
        if (primeBlocks-- > 0) {
            return 0u;
        }
        auto frames = std::min(static_cast<std::uint32_t>(in.frameLength * 16000.0 / in.format.sampleRate), capacity);
        std::fill(out, out + frames, frames ? in.samples[0] : 0.0f);
        return frames;
    }
    int primeBlocks;
};

struct FakeAudioPlatform {
    explicit FakeAudioPlatform(MainQueue& queue) : queue(queue) {}

    AudioCaptureManager::Platform platform() {
        AudioCaptureManager::Platform p;
        p.makeEngine = [this] {
            auto engine = std::make_shared<FakeAudioEngine>(queue, nextFormat);
            if (!tapErrors.empty()) {
                engine->tapError = tapErrors.front();
                tapErrors.pop_front();
            }
            engines.push_back(engine);
            return engine;
        };
        p.deviceMonitor = monitor;
        p.makeConverter = [this](const AudioFormat& from, const AudioFormat&) -> std::unique_ptr<SampleConverter> {
            converterInputs.push_back(from);
            if (!convertersAvailable) {
                return nullptr;
            }
            return std::make_unique<FakeSampleConverter>(converterPrimeBlocks);
        };
        return p;
    }
    FakeAudioEngine& engine() { return *engines.back(); }

    MainQueue& queue;
    AudioFormat nextFormat{48000.0, 2, CommonFormat::float32, true};
    std::deque<std::optional<std::string>> tapErrors; // one per engine created, in order
    std::shared_ptr<FakeDeviceMonitor> monitor = std::make_shared<FakeDeviceMonitor>();
    std::vector<std::shared_ptr<FakeAudioEngine>> engines;
    std::vector<AudioFormat> converterInputs;
    bool convertersAvailable = true;
    int converterPrimeBlocks = 0;
};

} // namespace vokari::testing
