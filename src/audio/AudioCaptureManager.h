#pragma once
// Records the default microphone as 16 kHz mono float blocks (onAudioBuffer) and keeps it recording: health
// check, restarts with back-off, tap retries on fresh engines, configuration and default-device changes.
// Control logic on the main thread, the tap on the engine's audio thread. Owned by the application delegate
// through the shared_ptr from create(); timers and observers hold it weakly.
#include "audio/AudioCapture.h"
#include "audio/AudioDeviceMonitor.h"
#include "audio/AudioEngine.h"
#include "audio/SampleConverter.h"
#include "core/MainQueue.h"
#include "core/NotificationCenter.h"
#include "core/Observable.h"
#include "core/Subscription.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vokari {

class AudioCaptureManager : public AudioCapture, public std::enable_shared_from_this<AudioCaptureManager> {
public:
    // What the manager needs of the platform.
    struct Platform {
        std::function<std::shared_ptr<AudioEngine>()> makeEngine; // never returns null
        std::shared_ptr<AudioDeviceMonitor> deviceMonitor;
        SampleConverterFactory makeConverter;
        // Runs work that may wait on the sound server away from the main thread, in order (a serial worker).
        // None: inline, as the tests' fakes answer at once.
        std::function<void(std::function<void()>)> runBlocking;
    };

    static constexpr int maxEngineCreationFailures = 3;
    static constexpr int maxTotalRestarts = 8;
    static constexpr const char* micNameChangedNotification = notifications::micNameChanged;

    using MicName = Observable<std::optional<std::string>>;

    // Publishes the current microphone's name into micName (and posts the notification) and starts listening for
    // default-device changes. The queue, micName and the centre must outlive the manager.
    static std::shared_ptr<AudioCaptureManager> create(MainQueue& queue, Platform platform, MicName& micName,
                                                       NotificationCenter& center);
    ~AudioCaptureManager() override;
    AudioCaptureManager(const AudioCaptureManager&) = delete;
    AudioCaptureManager& operator=(const AudioCaptureManager&) = delete;

    // onAudioBuffer is read when capture starts: set it before startCapture. With a worker the outcome arrives later
    // through onCaptureStarted and this returns true; inline it returns the outcome.
    bool startCapture() override;
    void stopCapture() override;
    void detectMicrophone();

private:
    // Everything the tap block touches. It lives as long as the tap that holds it, so the audio thread never
    // needs the manager itself (and never ends up destroying it).
    struct TapContext;

    enum class StartStep { engineFailed, unusable, tapFailed, started };
    struct StartOutcome {
        StartStep step = StartStep::unusable;
        std::string micName;
        AudioFormat inputFormat;
        bool passthrough = false;
        std::string tapError;
        std::shared_ptr<TapContext> context;
    };

    AudioCaptureManager(MainQueue& queue, Platform platform, MicName& micName, NotificationCenter& center);

    void offMain(std::function<void()> work);
    // Makes the engine and lets it get ready off the main thread, so the first press does not wait for that.
    void prepareEngine();
    // The blocking part of a start (device binding, engine start, converter, tap); any thread, touches no member.
    static StartOutcome runStartSequence(AudioEngine& engine, AudioDeviceMonitor& monitor,
                                         const SampleConverterFactory& makeConverter,
                                         const std::shared_ptr<TapContext>& context);
    bool finishStart(std::uint64_t generation, bool fromPendingTask, StartOutcome outcome);
    std::shared_ptr<AudioEngine> getOrCreateEngine();
    static bool setInputDevice(AudioDeviceId device, AudioEngine& engine);
    static std::string readMicrophoneName(AudioDeviceMonitor& monitor);
    void publishMicrophoneName(const std::string& name);
    void reportGiveUp();
    void handleTapInstallationFailure(const std::string& failureText);
    void registerConfigObserver(AudioEngine& engine);
    void armHealthCheck();
    void runHealthCheck(double delay);
    void handleConfigurationChange();
    void restartCapture();
    void scheduleRestart();
    void runPendingStart();
    bool failStart(bool fromPendingTask);
    void handleDefaultDeviceChanged();
    void installDefaultDeviceListener();
    void removeDefaultDeviceListener();
    void reportCaptureStarted(bool ok);
    bool firstBufferReceived() const;

    static void handleTapBuffer(TapContext& context, const AudioInputBuffer& buffer);
    static void processBuffer(TapContext& context, const AudioInputBuffer& buffer);
    static void processBufferPassthrough(TapContext& context, const AudioInputBuffer& buffer);
    static void deliver(TapContext& context, std::vector<float> samples);

    MainQueue& queue;
    Platform platform;
    MicName& micName;
    NotificationCenter& center;

    std::shared_ptr<AudioEngine> audioEngine;
    bool isCapturing = false;
    std::shared_ptr<TapContext> tapContext; // holds bufferCount, captureStartTime and firstBufferReceived
    Subscription configObserver;
    TaskHandle pendingRestart;
    double engineStartTime = 0.0;
    TaskHandle bufferHealthCheck;
    int engineCreationFailures = 0;
    int totalRestartCount = 0;
    bool needsFreshEngine = false;
    bool startingFromPendingTask = false;
    bool startInFlight = false;
    std::uint64_t startGeneration = 0;
    Subscription defaultDeviceListener;
};

} // namespace vokari
