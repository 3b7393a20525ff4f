#pragma once
// The capture engine on a PulseAudio (or PipeWire-pulse) server: one record stream on the bound or default
// source at the source's own rate and channel count in float32, read in 100 ms fragments and handed to the tap
// in blocks of the tap's size. What the stream records before the tap is installed waits for it. Control calls on
// the main thread; the tap and change notifications run on the libpulse loop thread (the tap once on the installing
// thread, for what waited, under the loop lock). Owned (shared) by the AudioCaptureManager.
#include "audio/AudioEngine.h"
#include "platform/linux/audio/PulseConnection.h"

#include <memory>
#include <vector>

namespace vokari::platform_linux {

class PulseAudioEngine : public AudioEngine, public std::enable_shared_from_this<PulseAudioEngine> {
public:
    PulseAudioEngine();
    ~PulseAudioEngine() override;

    // Connects the context (no stream): the first start then only opens the record stream.
    void prepare() override;
    bool hasInputUnit() const override { return true; }
    int bindInputDevice(AudioDeviceId device) override;
    std::optional<std::string> start() override;
    void stop() override;
    AudioFormat inputFormat() const override;
    std::optional<std::string> installTap(std::uint32_t frames, TapBlock block) override;
    void flushTap() override;
    void removeTap() override;
    Subscription observeConfigurationChanges(std::function<void()> fn) override;

    // The name of the source the stream records from (empty when stopped). For diagnostics and tests.
    std::string sourceName() const;

private:
    struct SourceDetails {
        bool found = false;
        std::uint32_t index = PA_INVALID_INDEX;
        std::string name;
        pa_sample_spec sampleFormat{};
        pa_channel_map map{};
    };

    std::optional<SourceDetails> lookUpSource(); // lock held
    void stopLocked();
    void notifyConfigurationChange(); // loop thread, lock held
    void readAvailable();             // lock held (loop thread, or a tap being installed or flushed)

    static void streamStateCallback(pa_stream* stream, void* userdata);
    static void streamReadCallback(pa_stream* stream, size_t bytes, void* userdata);
    static void streamChangedCallback(pa_stream* stream, void* userdata);
    static void subscriptionCallback(pa_context* context, pa_subscription_event_type_t type, std::uint32_t index,
                                     void* userdata);

    PulseConnection connection;
    AudioDeviceId boundSource = PA_INVALID_INDEX;
    std::uint64_t subscribedGeneration = 0;

    // Guarded by the loop lock.
    pa_stream* stream = nullptr;
    bool stopping = false;
    AudioFormat format{0.0, 0};
    std::string currentSource;
    std::uint32_t sourceIndex = PA_INVALID_INDEX;
    TapBlock tap;
    std::vector<float> tapBlock; // sized once per installed tap: the audio thread never allocates
    std::uint32_t tapFrames = 0;
    std::uint32_t tapFilled = 0;
    std::function<void()> configHandler;
    std::uint64_t configHandlerId = 0;
};

} // namespace vokari::platform_linux
