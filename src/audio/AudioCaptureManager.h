#pragma once
// Records the default microphone as 16 kHz mono float blocks (onAudioBuffer) and keeps it recording: health
// check, restarts with back-off, tap retries on fresh engines, configuration and default-device changes.
// Control logic on the main thread, the tap on the engine's audio thread. Owned by the application delegate
// through the shared_ptr from create(); timers and observers hold it weakly.
#include "app/AppState.h"
#include "audio/AudioCapture.h"
#include "audio/AudioDeviceMonitor.h"
#include "audio/AudioEngine.h"
#include "audio/SampleConverter.h"
#include "core/MainQueue.h"
#include "core/NotificationCenter.h"
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
    };

    static constexpr int maxEngineCreationFailures = 3;
    static constexpr int maxTotalRestarts = 8;
    static constexpr const char* micNameChangedNotification = notifications::micNameChanged;

    // Publishes the current microphone's name and starts listening for default-device changes.
    static std::shared_ptr<AudioCaptureManager>
    create(MainQueue& queue, Platform platform, AppState& appState = AppState::shared(),
           NotificationCenter& center = NotificationCenter::defaultCenter());
    ~AudioCaptureManager() override;
    AudioCaptureManager(const AudioCaptureManager&) = delete;
    AudioCaptureManager& operator=(const AudioCaptureManager&) = delete;

    // onAudioBuffer is read when capture starts: set it before startCapture.
    bool startCapture() override;
    void stopCapture() override;
    void detectMicrophone();

private:
    // Everything the tap block touches. It lives as long as the tap that holds it, so the audio thread never
    // needs the manager itself (and never ends up destroying it).
    struct TapContext;

    AudioCaptureManager(MainQueue& queue, Platform platform, AppState& appState, NotificationCenter& center);

    std::shared_ptr<AudioEngine> getOrCreateEngine();
    bool setInputDevice(AudioDeviceId device, AudioEngine& engine);
    AudioDeviceId getDefaultInputDeviceID();
    std::optional<std::string> getDeviceName(AudioDeviceId device);
    void handleTapInstallationFailure(const std::string& exceptionText);
    void registerConfigObserver(AudioEngine& engine);
    void armHealthCheck();
    void runHealthCheck(double delay);
    void handleConfigurationChange();
    void restartCapture();
    void scheduleRestart();
    void runPendingStart();
    bool failStart();
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
    AppState& appState;
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
    Subscription defaultDeviceListener;
};

} // namespace vokari
