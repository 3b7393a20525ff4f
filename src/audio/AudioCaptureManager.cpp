#include "audio/AudioCaptureManager.h"

#include "core/DebugLog.h"
#include "core/NumberText.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <utility>

namespace vokari {

struct AudioCaptureManager::TapContext {
    std::weak_ptr<AudioCaptureManager> owner; // only ever tested with expired(): never locked on the audio thread
    MainQueue* queue = nullptr;
    std::function<void(const AudioBuffer16k&)> onAudioBuffer;
    std::unique_ptr<SampleConverter> converter; // the converter box: empty in passthrough mode
    AudioFormat targetFormat;
    double captureStartTime = 0.0;
    std::atomic<bool> firstBufferReceived{false};
    std::atomic<std::int64_t> bufferCount{0};
};

namespace {

AudioFormat makeTargetFormat() {
    return AudioFormat{16000.0, 1, CommonFormat::float32, false};
}

} // namespace

AudioCaptureManager::AudioCaptureManager(MainQueue& queue, Platform platform, MicName& micName,
                                         NotificationCenter& center)
    : queue(queue), platform(std::move(platform)), micName(micName), center(center) {}

std::shared_ptr<AudioCaptureManager> AudioCaptureManager::create(MainQueue& queue, Platform platform, MicName& micName,
                                                                 NotificationCenter& center) {
    std::shared_ptr<AudioCaptureManager> manager(new AudioCaptureManager(queue, std::move(platform), micName, center));
    manager->detectMicrophone();
    manager->installDefaultDeviceListener();
    manager->prepareEngine();
    return manager;
}

void AudioCaptureManager::prepareEngine() {
    offMain([engine = getOrCreateEngine()] { engine->prepare(); });
}

AudioCaptureManager::~AudioCaptureManager() {
    removeDefaultDeviceListener();
    configObserver.reset();
}

void AudioCaptureManager::reportCaptureStarted(bool ok) {
    // Copied first: the receiver may clear the callback from inside the call.
    if (auto callback = onCaptureStarted) {
        callback(ok);
    }
}

bool AudioCaptureManager::firstBufferReceived() const {
    return tapContext && tapContext->firstBufferReceived.load();
}

void AudioCaptureManager::offMain(std::function<void()> work) {
    if (platform.runBlocking) {
        platform.runBlocking(std::move(work));
    } else {
        work();
    }
}

bool AudioCaptureManager::startCapture() {
    if (isCapturing) {
        reportCaptureStarted(true);
        return true;
    }
    if (startInFlight) {
        return true; // its outcome is on its way
    }
    auto engine = getOrCreateEngine();
    auto context = std::make_shared<TapContext>();
    context->owner = weak_from_this();
    context->queue = &queue;
    context->targetFormat = makeTargetFormat(); // a plain value here; it cannot fail to be made
    context->onAudioBuffer = onAudioBuffer;
    engineStartTime = queue.now();
    const std::uint64_t generation = ++startGeneration;
    const bool fromPendingTask = startingFromPendingTask;
    startInFlight = true;

    // Everything that waits on the sound server runs away from the main thread (when the platform offers a
    // worker); the outcome comes back through the main queue.
    std::weak_ptr<AudioCaptureManager> weak = weak_from_this();
    auto monitor = platform.deviceMonitor;
    auto makeConverter = platform.makeConverter;
    if (!platform.runBlocking) {
        auto outcome = runStartSequence(*engine, *monitor, makeConverter, context);
        return finishStart(generation, fromPendingTask, std::move(outcome));
    }
    platform.runBlocking([weak, engine, monitor, makeConverter, context, generation, fromPendingTask, q = &queue] {
        auto outcome = runStartSequence(*engine, *monitor, makeConverter, context);
        if (weak.expired()) {
            // Nobody is left to stop what was started.
            engine->removeTap();
            engine->stop();
            return;
        }
        q->post([weak, generation, fromPendingTask, outcome = std::move(outcome)]() mutable {
            if (auto self = weak.lock()) {
                self->finishStart(generation, fromPendingTask, std::move(outcome));
            }
        });
    });
    return true;
}

AudioCaptureManager::StartOutcome AudioCaptureManager::runStartSequence(AudioEngine& engine,
                                                                        AudioDeviceMonitor& monitor,
                                                                        const SampleConverterFactory& makeConverter,
                                                                        const std::shared_ptr<TapContext>& context) {
    StartOutcome outcome;
    outcome.context = context;
    setInputDevice(monitor.defaultInputDevice(), engine);
    outcome.micName = readMicrophoneName(monitor);

    if (auto error = engine.start()) {
        debugLog("❌ Audio engine failed: " + *error);
        outcome.step = StartStep::engineFailed;
        return outcome;
    }
    const AudioFormat inputFormat = engine.inputFormat();
    debugLog("🎤 Actual input format: " + shortestDecimal(inputFormat.sampleRate) + "Hz " +
             std::to_string(inputFormat.channelCount) + "ch");
    if (!(inputFormat.sampleRate > 0) || inputFormat.channelCount == 0) {
        debugLog("❌ Invalid format after engine start");
        engine.stop();
        outcome.step = StartStep::unusable;
        return outcome;
    }
    outcome.inputFormat = inputFormat;
    outcome.passthrough = inputFormat.sampleRate == 16000.0 && inputFormat.channelCount == 1 &&
                          inputFormat.commonFormat == CommonFormat::float32;
    if (outcome.passthrough) {
        debugLog("🎤 Native 16kHz mono — passthrough mode");
    } else {
        context->converter = makeConverter ? makeConverter(inputFormat, context->targetFormat) : nullptr;
        if (!context->converter) {
            debugLog("❌ Failed to create audio converter");
            engine.stop();
            outcome.step = StartStep::unusable;
            return outcome;
        }
    }

    context->captureStartTime = context->queue->now();
    const auto tapFrames = static_cast<std::uint32_t>(inputFormat.sampleRate * 0.1);
    engine.removeTap();
    if (auto tapError = engine.installTap(
            tapFrames, [context](const AudioInputBuffer& buffer) { handleTapBuffer(*context, buffer); })) {
        outcome.step = StartStep::tapFailed;
        outcome.tapError = *tapError;
        return outcome;
    }
    outcome.step = StartStep::started;
    return outcome;
}

bool AudioCaptureManager::finishStart(std::uint64_t generation, bool fromPendingTask, StartOutcome outcome) {
    startInFlight = false;
    auto engine = audioEngine;
    if (generation != startGeneration || !engine) {
        // Stopped while the start was under way: undo it quietly.
        if (engine && outcome.step == StartStep::started) {
            offMain([engine] {
                engine->removeTap();
                engine->stop();
            });
        }
        return false;
    }
    publishMicrophoneName(outcome.micName);
    switch (outcome.step) {
    case StartStep::engineFailed:
        return failStart(fromPendingTask);
    case StartStep::unusable:
        reportCaptureStarted(false);
        return false;
    case StartStep::tapFailed:
        handleTapInstallationFailure(outcome.tapError);
        return false;
    case StartStep::started:
        break;
    }
    tapContext = outcome.context;
    engineCreationFailures = 0;
    configObserver.reset();
    registerConfigObserver(*engine);
    isCapturing = true;
    pendingRestart = TaskHandle(); // not cancelled: it is the task running now, if any
    debugLog("🟢 Audio capture started — " + shortestDecimal(outcome.inputFormat.sampleRate) + "Hz → 16kHz" +
             (outcome.passthrough ? " (passthrough)" : ""));
    reportCaptureStarted(true);
    armHealthCheck();
    return true;
}

bool AudioCaptureManager::failStart(bool fromPendingTask) {
    // A start made by a scheduled restart is part of a recording in progress whose owner no longer listens for
    // outcomes; one refused start (a sound server restarting, a device re-enumerating) must not end it while the
    // restart budget lasts. A start asked for by the owner fails at once.
    if (fromPendingTask) {
        scheduleRestart();
        return false;
    }
    reportCaptureStarted(false);
    return false;
}

void AudioCaptureManager::handleTapInstallationFailure(const std::string& failureText) {
    debugLog("❌ installTap threw NSException: " + (failureText.empty() ? std::string("unknown") : failureText));
    offMain([engine = audioEngine] { engine->stop(); });
    engineCreationFailures += 1;
    if (engineCreationFailures < maxEngineCreationFailures) {
        debugLog("🔄 Will retry with fresh engine (failure " + std::to_string(engineCreationFailures) + "/" +
                 std::to_string(maxEngineCreationFailures) + ")");
        needsFreshEngine = true;
        pendingRestart = queue.postAfter(engineCreationFailures * 0.5, [weak = weak_from_this()] {
            if (auto self = weak.lock()) {
                self->runPendingStart();
            }
        });
        return;
    }
    debugLog("❌ installTap failed " + std::to_string(maxEngineCreationFailures) + " times — giving up");
    engineCreationFailures = 0;
    reportGiveUp();
}

void AudioCaptureManager::registerConfigObserver(AudioEngine& engine) {
    // Changes already queued when the observer goes are dropped with it.
    auto alive = std::make_shared<std::atomic<bool>>(true);
    MainQueue* mainQueue = &queue;
    auto subscription =
        std::make_shared<Subscription>(engine.observeConfigurationChanges([mainQueue, alive, weak = weak_from_this()] {
            mainQueue->post([alive, weak] {
                if (!alive->load()) {
                    return;
                }
                if (auto self = weak.lock()) {
                    self->handleConfigurationChange();
                }
            });
        }));
    configObserver = Subscription([alive, subscription] {
        alive->store(false);
        subscription->reset();
    });
}

void AudioCaptureManager::handleTapBuffer(TapContext& context, const AudioInputBuffer& buffer) {
    if (context.owner.expired()) {
        return;
    }
    if (!context.firstBufferReceived.exchange(true)) {
        auto ms = static_cast<long long>((context.queue->now() - context.captureStartTime) * 1000.0);
        // Logged from the main queue: the audio thread does no file I/O.
        context.queue->post([owner = context.owner, ms] {
            if (!owner.expired()) {
                debugLog("🎙 First buffer after " + std::to_string(ms) + "ms");
            }
        });
    }
    context.bufferCount.fetch_add(1, std::memory_order_relaxed);
    if (!context.converter) {
        processBufferPassthrough(context, buffer);
    } else {
        processBuffer(context, buffer);
    }
}

void AudioCaptureManager::processBuffer(TapContext& context, const AudioInputBuffer& buffer) {
    if (!(buffer.format.sampleRate > 0)) {
        return;
    }
    const auto expected = static_cast<std::uint32_t>(buffer.frameLength * (16000.0 / buffer.format.sampleRate));
    // The block's own storage is the one allocation per buffer; 100 frames of headroom as the converter may
    // release a little more than the nominal ratio.
    std::vector<float> samples(static_cast<std::size_t>(expected) + 100);
    auto produced = context.converter->convert(buffer, samples.data(), static_cast<std::uint32_t>(samples.size()));
    if (!produced) {
        return;
    }
    samples.resize(std::min<std::size_t>(*produced, samples.size()));
    deliver(context, std::move(samples));
}

void AudioCaptureManager::processBufferPassthrough(TapContext& context, const AudioInputBuffer& buffer) {
    if (!buffer.samples || buffer.frameLength == 0) {
        return;
    }
    const std::uint32_t stride = std::max<std::uint32_t>(1, buffer.format.channelCount);
    std::vector<float> samples(buffer.frameLength);
    for (std::uint32_t i = 0; i < buffer.frameLength; ++i) {
        samples[i] = buffer.samples[static_cast<std::size_t>(i) * stride];
    }
    deliver(context, std::move(samples));
}

void AudioCaptureManager::deliver(TapContext& context, std::vector<float> samples) {
    if (context.onAudioBuffer) {
        context.onAudioBuffer(AudioBuffer16k{std::move(samples), 16000.0, std::chrono::system_clock::now()});
    }
}

void AudioCaptureManager::armHealthCheck() {
    const double delay = 2.5 + 1.5 * totalRestartCount;
    bufferHealthCheck.cancel();
    bufferHealthCheck = queue.postAfter(delay, [weak = weak_from_this(), delay] {
        if (auto self = weak.lock()) {
            self->runHealthCheck(delay);
        }
    });
}

void AudioCaptureManager::runHealthCheck(double delay) {
    if (!isCapturing) {
        return;
    }
    if (!firstBufferReceived()) {
        debugLog("⚠️ No audio buffers after " + fixedDecimal(delay, 1) +
                 "s — device may not be ready, restarting (attempt " + std::to_string(totalRestartCount + 1) + "/" +
                 std::to_string(maxTotalRestarts) + ")");
        restartCapture();
        return;
    }
    totalRestartCount = 0;
    debugLog("✅ Audio health check passed — buffers flowing");
}

void AudioCaptureManager::handleConfigurationChange() {
    const double elapsed = queue.now() - engineStartTime;
    if (elapsed < 1.5) {
        debugLog("⚠️ Audio config changed — ignoring (startup, " +
                 std::to_string(static_cast<long long>(elapsed * 1000.0)) + "ms)");
        return;
    }
    if (!isCapturing) {
        return;
    }
    if (totalRestartCount < maxTotalRestarts) {
        debugLog("⚠️ Audio config changed — restarting capture");
        restartCapture();
    } else {
        debugLog("❌ Max total restarts reached (" + std::to_string(maxTotalRestarts) + ") — giving up");
    }
}

void AudioCaptureManager::restartCapture() {
    if (!audioEngine || !isCapturing) {
        return;
    }
    bufferHealthCheck.cancel();
    bufferHealthCheck = TaskHandle();
    configObserver.reset();
    offMain([engine = audioEngine] {
        engine->removeTap();
        engine->stop();
    });
    isCapturing = false;
    scheduleRestart();
}

void AudioCaptureManager::scheduleRestart() {
    const int n = ++totalRestartCount;
    if (n > maxTotalRestarts) {
        debugLog("❌ Max total restarts reached (" + std::to_string(maxTotalRestarts) + ") — stopping");
        reportGiveUp();
        return;
    }
    const double delay = std::min(0.5 * std::pow(1.5, n - 1), 4.0);
    debugLog("🔄 Restart #" + std::to_string(n) + " — retrying in " + fixedDecimal(delay, 1) + "s");
    pendingRestart = queue.postAfter(delay, [weak = weak_from_this()] {
        if (auto self = weak.lock()) {
            self->runPendingStart();
        }
    });
}

void AudioCaptureManager::runPendingStart() {
    startingFromPendingTask = true;
    (void)startCapture();
    startingFromPendingTask = false;
}

void AudioCaptureManager::stopCapture() {
    ++startGeneration; // a start still under way is undone when its outcome arrives
    startInFlight = false;
    pendingRestart.cancel();
    pendingRestart = TaskHandle();
    bufferHealthCheck.cancel();
    bufferHealthCheck = TaskHandle();
    totalRestartCount = 0;
    configObserver.reset();
    if (isCapturing && audioEngine) {
        // The partly filled last block holds what was said just before the stop: it goes to the recording now,
        // before the owner takes it. Brief: the engine's lock is held only while the audio thread copies a block.
        audioEngine->flushTap();
        offMain([engine = audioEngine] {
            engine->removeTap();
            engine->stop();
        });
        isCapturing = false;
        const auto count = tapContext ? tapContext->bufferCount.load() : 0;
        debugLog("⏹ Audio capture stopped — " + std::to_string(count) + " buffers");
    }
}

std::shared_ptr<AudioEngine> AudioCaptureManager::getOrCreateEngine() {
    if (audioEngine && !needsFreshEngine) {
        return audioEngine;
    }
    if (audioEngine) {
        offMain([engine = audioEngine] {
            engine->removeTap();
            engine->stop();
        });
        debugLog("♻️ Replacing old engine with fresh instance");
    }
    audioEngine = platform.makeEngine();
    needsFreshEngine = false;
    return audioEngine;
}

bool AudioCaptureManager::setInputDevice(AudioDeviceId device, AudioEngine& engine) { // any thread
    if (!engine.hasInputUnit()) {
        debugLog("⚠️ setInputDevice: no audio unit on input node");
        return false;
    }
    const int status = engine.bindInputDevice(device);
    if (status == 0) {
        debugLog("🎤 Bound audio unit to device " + std::to_string(device));
        return true;
    }
    debugLog("⚠️ setInputDevice: AudioUnitSetProperty failed (" + std::to_string(status) + ")");
    return false;
}

std::string AudioCaptureManager::readMicrophoneName(AudioDeviceMonitor& monitor) {
    const std::string name = monitor.deviceName(monitor.defaultInputDevice()).value_or("Unknown");
    debugLog("🎤 Microphone: " + name);
    return name;
}

void AudioCaptureManager::publishMicrophoneName(const std::string& name) {
    micName = name;
    center.post(micNameChangedNotification);
}

void AudioCaptureManager::detectMicrophone() {
    std::weak_ptr<AudioCaptureManager> weak = weak_from_this();
    if (!platform.runBlocking) {
        publishMicrophoneName(readMicrophoneName(*platform.deviceMonitor));
        return;
    }
    platform.runBlocking([weak, monitor = platform.deviceMonitor, q = &queue] {
        auto name = readMicrophoneName(*monitor);
        q->post([weak, name] {
            if (auto self = weak.lock()) {
                self->publishMicrophoneName(name);
            }
        });
    });
}

void AudioCaptureManager::reportGiveUp() {
    // The owner listens for the outcome of its start until the first one arrives; after that, a loss is news of
    // its own, or the recording would go on silently with no audio.
    if (onCaptureStarted) {
        reportCaptureStarted(false);
    } else if (auto lost = onCaptureLost) {
        lost();
    }
}

void AudioCaptureManager::handleDefaultDeviceChanged() {
    debugLog("🔄 System default input device changed");
    needsFreshEngine = true;
    detectMicrophone();
    if (isCapturing) {
        totalRestartCount = 0;
        debugLog("🔄 Restarting capture for new default device");
        restartCapture();
    }
}

void AudioCaptureManager::installDefaultDeviceListener() {
    defaultDeviceListener = platform.deviceMonitor->addDefaultDeviceListener([weak = weak_from_this()] {
        if (auto self = weak.lock()) {
            self->handleDefaultDeviceChanged();
        }
    });
}

void AudioCaptureManager::removeDefaultDeviceListener() {
    defaultDeviceListener.reset();
}

} // namespace vokari
