#include "audio/AudioCaptureManager.h"

#include "FakeAudioPlatform.h"
#include "RecordingSink.h"
#include "core/DebugLog.h"
#include "core/SerialWorker.h"
#include "core/VirtualMainQueue.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <condition_variable>
#include <mutex>

using namespace vokari;
using namespace vokari::testing;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

class AudioCaptureManagerTest : public ::testing::Test {
protected:
    void SetUp() override { debuglog::setSink(sink); }
    void TearDown() override {
        manager.reset();
        debuglog::setSink(nullptr);
    }

    void create() {
        manager = AudioCaptureManager::create(queue, fake.platform(), micName, center);
        manager->onCaptureStarted = [this](bool ok) { outcomes.push_back(ok); };
        manager->onAudioBuffer = [this](const AudioBuffer16k& b) { buffers.push_back(b); };
    }
    std::vector<std::string> logs() {
        auto lines = sink->messages();
        sink->clear();
        return lines;
    }
    double sinceStart() const { return queue.now() - t0; }

    VirtualMainQueue queue;
    const double t0 = queue.now();
    FakeAudioPlatform fake{queue};
    AudioCaptureManager::MicName micName;
    NotificationCenter center;
    std::shared_ptr<test::RecordingSink> sink = std::make_shared<test::RecordingSink>();
    std::shared_ptr<AudioCaptureManager> manager;
    std::vector<bool> outcomes;
    std::vector<AudioBuffer16k> buffers;
};

TEST_F(AudioCaptureManagerTest, ConstructionPublishesTheMicrophoneName) {
    std::vector<std::optional<std::string>> seen; // the name is stored before the notification goes out
    auto observer =
        center.addObserver(notifications::micNameChanged, [&](const std::any&) { seen.push_back(micName()); });
    create();
    EXPECT_THAT(seen, ElementsAre("Fake USB Mic"));
    EXPECT_THAT(logs(), ElementsAre("🎤 Microphone: Fake USB Mic"));

    fake.monitor->names.clear();
    manager->detectMicrophone();
    EXPECT_THAT(seen, ElementsAre("Fake USB Mic", "Unknown"));
}

TEST_F(AudioCaptureManagerTest, TheEngineGetsReadyAtCreationWithoutRecordingAndServesTheFirstStart) {
    create();
    ASSERT_EQ(fake.engines.size(), 1u);
    EXPECT_EQ(fake.engine().prepared, 1);
    EXPECT_FALSE(fake.engine().running) << "ready is not recording";
    EXPECT_TRUE(fake.engine().startTimes.empty());
    EXPECT_TRUE(manager->startCapture());
    EXPECT_EQ(fake.engines.size(), 1u) << "the first start uses the engine made ready";
    EXPECT_EQ(fake.engine().startTimes.size(), 1u);
    EXPECT_THAT(sink->messages(),
                ::testing::Not(::testing::Contains("♻️ Replacing old engine with fresh instance")));
}

TEST_F(AudioCaptureManagerTest, StereoAt48kConvertsInTenthOfASecondBlocksAndLogsTheFirstBufferOnce) {
    create();
    logs();
    EXPECT_TRUE(manager->startCapture());
    EXPECT_THAT(outcomes, ElementsAre(true));
    EXPECT_THAT(logs(), ElementsAre("🎤 Bound audio unit to device 7", "🎤 Microphone: Fake USB Mic",
                                    "🎤 Actual input format: 48000.0Hz 2ch",
                                    "🟢 Audio capture started — 48000.0Hz → 16kHz"));
    ASSERT_EQ(fake.engines.size(), 1u);
    EXPECT_EQ(fake.engine().boundDevice, 7u);
    EXPECT_EQ(fake.engine().tapFrames, 4800u);
    ASSERT_EQ(fake.converterInputs.size(), 1u);

    queue.advance(0.125);
    fake.engine().deliver(4800, 0.5f);
    fake.engine().deliver(4800, 0.5f);
    ASSERT_EQ(buffers.size(), 2u);
    EXPECT_EQ(buffers[0].samples.size(), 1600u);
    EXPECT_EQ(buffers[0].sampleRate, 16000.0);
    EXPECT_FLOAT_EQ(buffers[0].rmsLevel(), 0.5f);
    queue.runUntilIdle(); // the first-buffer line is written from the main queue
    EXPECT_THAT(logs(), ElementsAre("🎙 First buffer after 125ms"));

    // Starting again while capturing only repeats the outcome.
    EXPECT_TRUE(manager->startCapture());
    EXPECT_THAT(outcomes, ElementsAre(true, true));
    EXPECT_THAT(logs(), IsEmpty());
    EXPECT_EQ(fake.engine().startTimes.size(), 1u);

    queue.advance(2.5);
    EXPECT_THAT(logs(), ElementsAre("✅ Audio health check passed — buffers flowing"));
    // What was recorded after the last full block reaches the owner before the stop returns.
    fake.engine().pendingFrames = 1200;
    manager->stopCapture();
    ASSERT_EQ(buffers.size(), 3u);
    EXPECT_EQ(buffers[2].samples.size(), 400u);
    EXPECT_THAT(logs(), ElementsAre("⏹ Audio capture stopped — 3 buffers"));
    EXPECT_FALSE(fake.engine().running);
    EXPECT_FALSE(fake.engine().tap);

    // The next start reuses the engine and logs its own first buffer again.
    EXPECT_TRUE(manager->startCapture());
    EXPECT_EQ(fake.engines.size(), 1u);
    fake.engine().deliver(4800);
    queue.runUntilIdle();
    auto lines = logs();
    EXPECT_EQ(lines.back(), "🎙 First buffer after 0ms");
}

TEST_F(AudioCaptureManagerTest, PassthroughOnlyForSixteenKilohertzMonoFloat) {
    fake.nextFormat = {16000.0, 1, CommonFormat::float32, false};
    create();
    logs();
    EXPECT_TRUE(manager->startCapture());
    auto lines = logs();
    EXPECT_EQ(lines[3], "🎤 Native 16kHz mono — passthrough mode");
    EXPECT_EQ(lines[4], "🟢 Audio capture started — 16000.0Hz → 16kHz (passthrough)");
    EXPECT_TRUE(fake.converterInputs.empty());
    EXPECT_EQ(fake.engine().tapFrames, 1600u);
    fake.engine().deliver(1600, 0.125f);
    fake.engine().deliver(0); // an empty block is dropped
    ASSERT_EQ(buffers.size(), 1u);
    EXPECT_EQ(buffers[0].samples, std::vector<float>(1600, 0.125f));
    manager->stopCapture();

    // The same rate and channel count in 16-bit integers needs the converter.
    fake.nextFormat = {16000.0, 1, CommonFormat::int16, false};
    fake.monitor->changeDefault(9);
    logs();
    EXPECT_TRUE(manager->startCapture());
    EXPECT_EQ(fake.converterInputs.size(), 1u);
    EXPECT_EQ(logs().back(), "🟢 Audio capture started — 16000.0Hz → 16kHz");
    manager->stopCapture();

    // 44.1 kHz: 4410-frame taps; a conversion that yields nothing yet is still delivered, empty.
    fake.nextFormat = {44100.0, 1, CommonFormat::float32, false};
    fake.converterPrimeBlocks = 1;
    fake.monitor->changeDefault(7);
    logs();
    buffers.clear();
    EXPECT_TRUE(manager->startCapture());
    EXPECT_EQ(fake.engine().tapFrames, 4410u);
    EXPECT_THAT(logs(), ::testing::Contains("🎤 Actual input format: 44100.0Hz 1ch"));
    fake.engine().deliver(4410);
    fake.engine().deliver(4410);
    ASSERT_EQ(buffers.size(), 2u);
    EXPECT_TRUE(buffers[0].samples.empty());
    EXPECT_EQ(buffers[1].samples.size(), 1600u);
}

TEST_F(AudioCaptureManagerTest, StartFailuresReportFalseWithoutRetryingAndBindingProblemsOnlyWarn) {
    create();
    manager->startCapture(); // makes the engine
    manager->stopCapture();
    logs();
    outcomes.clear();

    fake.engine().startError = "Connection refused";
    EXPECT_FALSE(manager->startCapture());
    EXPECT_EQ(logs().back(), "❌ Audio engine failed: Connection refused");
    EXPECT_THAT(outcomes, ElementsAre(false));
    EXPECT_EQ(queue.pendingCount(), 0u);

    fake.engine().startError.reset();
    fake.engine().format = {0.0, 2};
    EXPECT_FALSE(manager->startCapture());
    auto lines = logs();
    EXPECT_EQ(lines[lines.size() - 2], "🎤 Actual input format: 0.0Hz 2ch");
    EXPECT_EQ(lines.back(), "❌ Invalid format after engine start");
    EXPECT_FALSE(fake.engine().running);

    fake.engine().format = {48000.0, 2};
    fake.convertersAvailable = false;
    EXPECT_FALSE(manager->startCapture());
    EXPECT_EQ(logs().back(), "❌ Failed to create audio converter");
    EXPECT_FALSE(fake.engine().running);
    EXPECT_THAT(outcomes, ElementsAre(false, false, false));
    EXPECT_EQ(queue.pendingCount(), 0u);

    // Device binding problems are only warnings.
    fake.convertersAvailable = true;
    fake.engine().bindStatus = -10851;
    EXPECT_TRUE(manager->startCapture());
    EXPECT_EQ(logs().front(), "⚠️ setInputDevice: AudioUnitSetProperty failed (-10851)");
    manager->stopCapture();
    logs();
    fake.engine().hasUnit = false;
    EXPECT_TRUE(manager->startCapture());
    EXPECT_EQ(logs().front(), "⚠️ setInputDevice: no audio unit on input node");
}

TEST_F(AudioCaptureManagerTest, NoBuffersFollowsTheWholeBackOffScheduleThenGivesUp) {
    create();
    EXPECT_TRUE(manager->startCapture());
    logs();
    const double backOff[] = {0.5, 0.75, 1.125, 1.6875, 2.53125, 3.796875, 4.0, 4.0};
    const char* backOffText[] = {"0.5", "0.8", "1.1", "1.7", "2.5", "3.8", "4.0", "4.0"};
    const char* waitText[] = {"2.5", "4.0", "5.5", "7.0", "8.5", "10.0", "11.5", "13.0", "14.5"};
    double expectedStart = 0.0;
    for (int n = 1; n <= 8; ++n) {
        const double wait = 2.5 + 1.5 * (n - 1);
        queue.advance(wait - 0.001);
        EXPECT_THAT(logs(), IsEmpty()) << "health check " << n << " came early";
        queue.advance(0.001);
        EXPECT_THAT(logs(),
                    ElementsAre("⚠️ No audio buffers after " + std::string(waitText[n - 1]) +
                                    "s — device may not be ready, restarting (attempt " + std::to_string(n) + "/8)",
                                "🔄 Restart #" + std::to_string(n) + " — retrying in " + backOffText[n - 1] + "s"));
        EXPECT_FALSE(fake.engine().running);
        expectedStart += wait + backOff[n - 1];
        queue.advance(backOff[n - 1]);
        ASSERT_EQ(fake.engine().startTimes.size(), static_cast<std::size_t>(n + 1));
        EXPECT_DOUBLE_EQ(fake.engine().startTimes.back() - t0, expectedStart) << "restart " << n;
        logs();
    }
    EXPECT_THAT(outcomes, ::testing::Each(true));
    queue.advance(14.5);
    EXPECT_THAT(logs(), ElementsAre("⚠️ No audio buffers after 14.5s — device may not be ready, restarting "
                                    "(attempt 9/8)",
                                    "❌ Max total restarts reached (8) — stopping"));
    EXPECT_EQ(outcomes.back(), false);
    EXPECT_EQ(fake.engines.size(), 1u); // restarts keep the engine
    EXPECT_EQ(queue.pendingCount(), 0u);
}

TEST_F(AudioCaptureManagerTest, PassedHealthCheckResetsTheBackOff) {
    create();
    manager->startCapture();
    queue.advance(2.5); // stall → restart #1
    queue.advance(0.5);
    fake.engine().deliver(4800);
    queue.advance(4.0); // health check after one restart waits 4.0 s
    auto lines = logs();
    EXPECT_EQ(lines.back(), "✅ Audio health check passed — buffers flowing");
    fake.engine().fireConfigurationChange();
    queue.runUntilIdle();
    EXPECT_THAT(logs(),
                ElementsAre("⚠️ Audio config changed — restarting capture", "🔄 Restart #1 — retrying in 0.5s"));
    queue.advance(0.5);
    EXPECT_TRUE(fake.engine().running);
}

TEST_F(AudioCaptureManagerTest, ConfigurationChangesInsideTheStartUpWindowAreIgnored) {
    create();
    manager->startCapture();
    logs();
    queue.advance(1.0);
    fake.engine().fireConfigurationChange();
    queue.runUntilIdle();
    EXPECT_THAT(logs(), ElementsAre("⚠️ Audio config changed — ignoring (startup, 1000ms)"));
    EXPECT_TRUE(fake.engine().running);

    queue.advance(0.5); // exactly 1.5 s after the engine started
    fake.engine().fireConfigurationChange();
    queue.runUntilIdle();
    EXPECT_THAT(logs(),
                ElementsAre("⚠️ Audio config changed — restarting capture", "🔄 Restart #1 — retrying in 0.5s"));
    EXPECT_FALSE(fake.engine().running);

    // Eight restarts in a row by configuration changes, then one more change is only logged.
    for (int n = 2; n <= 8; ++n) {
        queue.advance(std::min(0.5 * std::pow(1.5, n - 2), 4.0));
        ASSERT_TRUE(fake.engine().running);
        queue.advance(1.5);
        fake.engine().fireConfigurationChange();
        queue.runUntilIdle();
    }
    queue.advance(4.0);
    ASSERT_TRUE(fake.engine().running);
    logs();
    queue.advance(1.5);
    fake.engine().fireConfigurationChange();
    queue.runUntilIdle();
    EXPECT_THAT(logs(), ElementsAre("❌ Max total restarts reached (8) — giving up"));
    EXPECT_TRUE(fake.engine().running);
    EXPECT_THAT(outcomes, ::testing::Each(true));

    // A change queued before stop is dropped with the observer.
    fake.engine().fireConfigurationChange();
    manager->stopCapture();
    manager->startCapture();
    logs();
    queue.runUntilIdle();
    EXPECT_THAT(logs(), IsEmpty());
}

TEST_F(AudioCaptureManagerTest, DefaultDeviceChangeWhileIdleAndWhileCapturing) {
    create();
    manager->startCapture();
    manager->stopCapture();
    logs();

    fake.monitor->changeDefault(9);
    EXPECT_THAT(logs(), ElementsAre("🔄 System default input device changed", "🎤 Microphone: Headset Mic"));
    EXPECT_EQ(micName(), "Headset Mic");
    EXPECT_EQ(queue.pendingCount(), 0u);
    EXPECT_EQ(fake.engines.size(), 1u);
    manager->startCapture();
    EXPECT_EQ(logs().front(), "♻️ Replacing old engine with fresh instance");
    ASSERT_EQ(fake.engines.size(), 2u);
    EXPECT_FALSE(fake.engines[0]->running);
    EXPECT_EQ(fake.engine().boundDevice, 9u);

    // While capturing, with an earlier restart on the count: restart #1 after 0.5 s on a new engine.
    queue.advance(2.5);
    queue.advance(0.5);
    logs();
    fake.monitor->changeDefault(7);
    EXPECT_THAT(logs(), ElementsAre("🔄 System default input device changed", "🎤 Microphone: Fake USB Mic",
                                    "🔄 Restarting capture for new default device", "🔄 Restart #1 — retrying in 0.5s"));
    queue.advance(0.5);
    ASSERT_EQ(fake.engines.size(), 3u);
    EXPECT_TRUE(fake.engine().running);
    EXPECT_EQ(fake.engine().boundDevice, 7u);
    EXPECT_EQ(logs().front(), "♻️ Replacing old engine with fresh instance");
}

TEST_F(AudioCaptureManagerTest, StopWhileARestartIsPendingCancelsIt) {
    create();
    manager->startCapture();
    queue.advance(2.5);
    logs();
    manager->stopCapture();
    EXPECT_THAT(logs(), IsEmpty()); // capture was not running
    queue.advance(30);
    EXPECT_EQ(fake.engine().startTimes.size(), 1u);
    EXPECT_EQ(queue.pendingCount(), 0u);
}

TEST_F(AudioCaptureManagerTest, TapFailuresRetryOnFreshEnginesThenGiveUp) {
    fake.tapErrors = {"NSInvalidArgumentException: bad format", "", "NSGenericException: (no reason)"};
    create();
    logs();
    EXPECT_FALSE(manager->startCapture());
    EXPECT_THAT(outcomes, IsEmpty());
    auto lines = logs();
    EXPECT_THAT(std::vector(lines.end() - 2, lines.end()),
                ElementsAre("❌ installTap threw NSException: NSInvalidArgumentException: bad format",
                            "🔄 Will retry with fresh engine (failure 1/3)"));
    EXPECT_FALSE(fake.engine().running);

    queue.advance(0.499);
    EXPECT_EQ(fake.engines.size(), 1u);
    queue.advance(0.001);
    ASSERT_EQ(fake.engines.size(), 2u);
    lines = logs();
    EXPECT_EQ(lines.front(), "♻️ Replacing old engine with fresh instance");
    EXPECT_THAT(std::vector(lines.end() - 2, lines.end()),
                ElementsAre("❌ installTap threw NSException: unknown", "🔄 Will retry with fresh engine (failure 2/3)"));

    queue.advance(0.999);
    EXPECT_EQ(fake.engines.size(), 2u);
    queue.advance(0.001);
    ASSERT_EQ(fake.engines.size(), 3u);
    lines = logs();
    EXPECT_THAT(std::vector(lines.end() - 2, lines.end()),
                ElementsAre("❌ installTap threw NSException: NSGenericException: (no reason)",
                            "❌ installTap failed 3 times — giving up"));
    EXPECT_THAT(outcomes, ElementsAre(false));
    EXPECT_EQ(queue.pendingCount(), 0u);

    // The counter was reset: two failures then a success, and the next failure counts from one again.
    fake.engine().tapError.reset();
    fake.tapErrors = {"first"};
    manager->startCapture(); // the third engine, now with a working tap
    EXPECT_EQ(outcomes.back(), true);
    manager->stopCapture();
    fake.monitor->changeDefault(9); // forces a fresh engine, which takes "first"
    logs();
    manager->startCapture();
    EXPECT_EQ(logs().back(), "🔄 Will retry with fresh engine (failure 1/3)");
}

TEST_F(AudioCaptureManagerTest, RefusedStartDuringARestartKeepsBackingOff) {
    create();
    manager->startCapture();
    queue.advance(2.5); // stall → restart #1 in 0.5 s
    fake.engine().startError = "Connection refused";
    logs();
    queue.advance(0.5);
    EXPECT_THAT(logs(), ElementsAre("🎤 Bound audio unit to device 7", "🎤 Microphone: Fake USB Mic",
                                    "❌ Audio engine failed: Connection refused", "🔄 Restart #2 — retrying in 0.8s"));
    EXPECT_THAT(outcomes, ElementsAre(true));
    fake.engine().startError.reset();
    queue.advance(0.75);
    EXPECT_TRUE(fake.engine().running);
    EXPECT_THAT(outcomes, ElementsAre(true, true));

    // Refusals use up the same budget as other restarts.
    fake.engine().startError = "Connection refused";
    queue.advance(5.5); // health check after two restarts → restart #3
    queue.advance(60);
    EXPECT_EQ(logs().back(), "❌ Max total restarts reached (8) — stopping");
    EXPECT_THAT(outcomes, ElementsAre(true, true, false));
    EXPECT_EQ(queue.pendingCount(), 0u);
}

TEST_F(AudioCaptureManagerTest, NothingRunsOnceTheManagerIsGone) {
    create();
    manager->startCapture();
    auto engine = fake.engines.back();
    manager.reset();
    engine->deliver(4800);
    queue.advance(30);
    EXPECT_TRUE(buffers.empty());
    EXPECT_EQ(engine->startTimes.size(), 1u);
    EXPECT_FALSE(fake.monitor->listener); // the default-device listener went with it
}

} // namespace

namespace {

TEST_F(AudioCaptureManagerTest, CaptureLostAfterTheStartWasReportedReachesTheOwnerAsALoss) {
    // The owner takes only the first outcome of its start (as the controller does); losing capture later must
    // still reach it, or the recording would go on with no audio.
    create();
    int lost = 0;
    manager->onCaptureStarted = [this](bool ok) {
        outcomes.push_back(ok);
        manager->onCaptureStarted = nullptr;
    };
    manager->onCaptureLost = [&lost] { ++lost; };
    manager->startCapture();
    queue.advance(200); // no buffer ever arrives: every restart fails its health check
    EXPECT_THAT(outcomes, ElementsAre(true));
    EXPECT_EQ(lost, 1);
}

// An engine whose start waits until the test lets it go, as a hung sound server would.
class SlowEngine : public FakeAudioEngine {
public:
    using FakeAudioEngine::FakeAudioEngine;
    std::optional<std::string> start() override {
        std::unique_lock lock(mutex);
        entered = true;
        changed.notify_all();
        changed.wait(lock, [this] { return released; });
        running = true;
        return std::nullopt;
    }
    void waitUntilEntered() {
        std::unique_lock lock(mutex);
        changed.wait(lock, [this] { return entered; });
    }
    void release() {
        std::lock_guard lock(mutex);
        released = true;
        changed.notify_all();
    }

private:
    std::mutex mutex;
    std::condition_variable changed;
    bool entered = false;
    bool released = false;
};

TEST_F(AudioCaptureManagerTest, AStartWaitingOnTheSoundServerNeverHoldsTheMainThread) {
    auto worker = std::make_shared<SerialWorker>();
    auto platform = fake.platform();
    std::shared_ptr<SlowEngine> engine;
    platform.makeEngine = [&] { return engine = std::make_shared<SlowEngine>(queue, fake.nextFormat); };
    platform.runBlocking = [worker](std::function<void()> work) { worker->post(std::move(work)); };
    manager = AudioCaptureManager::create(queue, platform, micName, center);
    manager->onCaptureStarted = [this](bool ok) { outcomes.push_back(ok); };
    ASSERT_TRUE(queue.runUntil([&] { return micName().has_value(); }, std::chrono::seconds(10)));

    EXPECT_TRUE(manager->startCapture()); // returns while the engine is still inside start()
    engine->waitUntilEntered();
    EXPECT_THAT(outcomes, IsEmpty());
    EXPECT_TRUE(manager->startCapture()) << "a second request while one is under way waits for the same outcome";
    engine->release();
    ASSERT_TRUE(queue.runUntil([&] { return !outcomes.empty(); }, std::chrono::seconds(10)));
    EXPECT_THAT(outcomes, ElementsAre(true));

    // Stopped while a start is under way: the late outcome is dropped and the engine stopped again.
    manager->stopCapture();
    outcomes.clear();
    manager->startCapture();
    manager->stopCapture();
    bool drained = false; // the start's outcome was posted before this marker
    worker->post([&] { queue.post([&] { drained = true; }); });
    ASSERT_TRUE(queue.runUntil([&] { return drained; }));
    manager.reset();
    platform = {};
    worker.reset(); // the undo queued by the late outcome has run once the worker is joined
    EXPECT_THAT(outcomes, IsEmpty());
    EXPECT_FALSE(engine->running);
}

} // namespace
