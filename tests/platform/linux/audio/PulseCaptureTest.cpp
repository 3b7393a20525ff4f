// Capture from a private PulseAudio server fed with synthesised speech: the real engine, monitor and converter
// under the capture logic, driven by a real-time main queue.
#include "PulseTestServer.h"
#include "app/AppState.h"
#include "app/DebugLog.h"
#include "audio/AudioCaptureManager.h"
#include "core/EventLoopMainQueue.h"
#include "core/NotificationCenter.h"
#include "platform/linux/audio/LinuxAudioPlatform.h"
#include "platform/linux/audio/PulseAudioEngine.h"
#include "platform/linux/audio/PulseDeviceMonitor.h"

#include <gtest/gtest.h>

#include <cmath>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <mutex>

using namespace vokari;
using namespace vokari::testing;
using namespace std::chrono_literals;

namespace {

class RecordingSink : public LogSink {
public:
    void log(const std::string& message, const std::string&, const std::string&) override {
        std::lock_guard lock(mutex);
        lines.push_back(message);
    }
    std::size_t count(const std::string& prefix) {
        std::lock_guard lock(mutex);
        return static_cast<std::size_t>(
            std::count_if(lines.begin(), lines.end(), [&](const std::string& l) { return l.rfind(prefix, 0) == 0; }));
    }
    std::string all() {
        std::lock_guard lock(mutex);
        std::string text;
        for (auto& l : lines) {
            text += l + "\n";
        }
        return text;
    }

private:
    std::mutex mutex;
    std::vector<std::string> lines;
};

// Seconds of a 16 kHz signal whose 20 ms windows carry speech-level energy.
double activeSeconds(const std::vector<float>& samples, std::size_t from = 0, std::size_t to = SIZE_MAX) {
    to = std::min(to, samples.size());
    int active = 0;
    for (std::size_t start = from; start + 320 <= to; start += 320) {
        double sum = 0;
        for (std::size_t i = start; i < start + 320; ++i) {
            sum += double(samples[i]) * samples[i];
        }
        if (std::sqrt(sum / 320) > 0.01) {
            ++active;
        }
    }
    return active * 0.02;
}

// Reads the 16-bit mono samples of a WAV written by flite.
std::vector<float> readWav(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<float> samples;
    for (std::size_t i = 44; i + 1 < bytes.size(); i += 2) {
        auto v = static_cast<std::int16_t>(static_cast<std::uint8_t>(bytes[i]) | (bytes[i + 1] << 8));
        samples.push_back(v / 32768.0f);
    }
    return samples;
}

class PulseCaptureTest : public ::testing::Test {
protected:
    void SetUp() override {
        debuglog::setSink(sink);
        ASSERT_TRUE(server.start()) << server.error();
        ::setenv("PULSE_SERVER", server.serverAddress().c_str(), 1);
        speech = server.directory() / "speech.wav";
        ASSERT_TRUE(server.run({"flite", "-voice", "slt", "-t",
                                "Please send the quarterly report to the whole team before Friday afternoon.", "-o",
                                speech.string()}));
        speechActive = activeSeconds(readWav(speech));
        ASSERT_GT(speechActive, 1.5);
    }
    void TearDown() override {
        if (manager) {
            manager->stopCapture();
        }
        manager.reset();
        platform = {};
        server.stop();
        debuglog::setSink(nullptr);
    }

    void createManager() {
        platform = platform_linux::makeLinuxAudioPlatform(queue);
        manager = AudioCaptureManager::create(queue, platform, appState, center);
        manager->onAudioBuffer = [this](const AudioBuffer16k& buffer) {
            std::lock_guard lock(captureMutex);
            EXPECT_EQ(buffer.sampleRate, 16000.0);
            captured.insert(captured.end(), buffer.samples.begin(), buffer.samples.end());
            ++bufferCount;
        };
    }
    std::size_t capturedSize() {
        std::lock_guard lock(captureMutex);
        return captured.size();
    }
    std::vector<float> capturedCopy() {
        std::lock_guard lock(captureMutex);
        return captured;
    }
    // Plays the speech into a sink and keeps the main queue running until it has been heard.
    void play(const std::string& sink) {
        pid_t pid = server.spawn({"paplay", "-d", sink, speech.string()});
        ASSERT_GT(pid, 0);
        bool done = runUntil([pid] { return PulseTestServer::hasExited(pid); }, 20s);
        if (!done) {
            PulseTestServer::terminate(pid);
        }
        ASSERT_TRUE(done) << "paplay did not finish";
        pump(400ms); // the last block and the server's latency
    }
    // The queue re-checks its condition only when it wakes; a ticker wakes it for conditions outside it.
    bool runUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
        auto ticker = queue.postRepeating(0.02, [] {});
        bool result = queue.runUntil(done, timeout);
        ticker.cancel();
        return result;
    }
    void pump(std::chrono::milliseconds duration) {
        queue.runUntil([] { return false; }, duration);
    }
    bool waitForLog(const std::string& prefix, std::size_t count, std::chrono::milliseconds timeout = 20s) {
        return runUntil([&] { return sink->count(prefix) >= count; }, timeout);
    }

    PulseTestServer server;
    std::filesystem::path speech;
    double speechActive = 0;
    EventLoopMainQueue queue;
    AppState appState;
    NotificationCenter center;
    std::shared_ptr<RecordingSink> sink = std::make_shared<RecordingSink>();
    AudioCaptureManager::Platform platform;
    std::shared_ptr<AudioCaptureManager> manager;
    std::mutex captureMutex;
    std::vector<float> captured;
    int bufferCount = 0;
};

TEST_F(PulseCaptureTest, CapturesSpeechFromTheDefaultSourceAt16kMono) {
    createManager();
    EXPECT_EQ(appState.currentMicName(), "Virtual Microphone");
    ASSERT_TRUE(manager->startCapture());
    EXPECT_EQ(sink->count("🎤 Actual input format: 48000.0Hz 2ch"), 1u) << sink->all();
    EXPECT_EQ(sink->count("🟢 Audio capture started — 48000.0Hz → 16kHz"), 1u);
    ASSERT_TRUE(waitForLog("🎙 First buffer after ", 1, 5s)) << sink->all();

    const auto started = std::chrono::steady_clock::now();
    const std::size_t before = capturedSize();
    play("micsink");
    pump(2s); // past the health check
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    manager->stopCapture();

    auto samples = capturedCopy();
    const double heard = activeSeconds(samples, before);
    EXPECT_NEAR(heard, speechActive, 0.25 * speechActive) << "speech heard " << heard << " s of " << speechActive;
    // Blocks keep coming at the real-time rate: what arrived since playback started covers the time that passed.
    // A sanity check, not a timing figure: a loaded 2-core machine can lag the wall clock by a good part of a second.
    EXPECT_NEAR((samples.size() - before) / 16000.0, elapsed, 1.0);
    EXPECT_EQ(sink->count("✅ Audio health check passed — buffers flowing"), 1u) << sink->all();
    EXPECT_EQ(sink->count("⏹ Audio capture stopped — " + std::to_string(bufferCount) + " buffers"), 1u)
        << sink->all();
}

TEST_F(PulseCaptureTest, FollowsADefaultSourceSwitchMidRecording) {
    createManager();
    ASSERT_TRUE(manager->startCapture());
    ASSERT_TRUE(waitForLog("🎙 First buffer after ", 1, 5s)) << sink->all();
    play("micsink");
    const double firstPart = activeSeconds(capturedCopy());
    EXPECT_NEAR(firstPart, speechActive, 0.25 * speechActive);

    ASSERT_TRUE(server.run({"pactl", "set-default-source", "vmic2"}));
    ASSERT_TRUE(waitForLog("🟢 Audio capture started — 44100.0Hz → 16kHz", 1)) << sink->all();
    EXPECT_EQ(sink->count("🔄 System default input device changed"), 1u);
    EXPECT_EQ(sink->count("♻️ Replacing old engine with fresh instance"), 1u);
    EXPECT_EQ(appState.currentMicName(), "Second Microphone");
    ASSERT_TRUE(waitForLog("🎙 First buffer after ", 2, 5s)) << sink->all();

    // The old microphone is no longer recorded; the new one is.
    std::size_t mark = capturedSize();
    play("micsink");
    EXPECT_LT(activeSeconds(capturedCopy(), mark), 0.2);
    mark = capturedSize();
    play("micsink2");
    const double secondPart = activeSeconds(capturedCopy(), mark);
    EXPECT_NEAR(secondPart, speechActive, 0.25 * speechActive) << sink->all();
}

TEST_F(PulseCaptureTest, SurvivesASoundServerRestart) {
    createManager();
    ASSERT_TRUE(manager->startCapture());
    ASSERT_TRUE(waitForLog("🎙 First buffer after ", 1, 5s)) << sink->all();
    pump(1600ms); // out of the start-up window, in which configuration changes are ignored

    // Down long enough for the first restart to find no server: the back-off goes on until it is back.
    server.stop();
    pump(1200ms);
    EXPECT_GE(sink->count("❌ Audio engine failed: Connection refused"), 1u) << sink->all();
    ASSERT_TRUE(server.start()) << server.error();
    ASSERT_TRUE(waitForLog("🟢 Audio capture started", 2)) << sink->all();
    EXPECT_EQ(sink->count("⚠️ Audio config changed — restarting capture"), 1u) << sink->all();
    EXPECT_GE(sink->count("🔄 Restart #2 — retrying in 0.8s"), 1u) << sink->all();
    ASSERT_TRUE(waitForLog("🎙 First buffer after ", 2, 5s)) << sink->all();

    const std::size_t mark = capturedSize();
    play("micsink");
    const double heard = activeSeconds(capturedCopy(), mark);
    EXPECT_NEAR(heard, speechActive, 0.25 * speechActive) << sink->all();
}

TEST_F(PulseCaptureTest, AHungServerCostsOneTimeOutNotOnePerLookUp) {
    auto monitor = platform_linux::PulseDeviceMonitor::create(queue);
    auto engine = std::make_shared<platform_linux::PulseAudioEngine>();
    const auto device = monitor->defaultInputDevice();
    ASSERT_NE(device, PA_INVALID_INDEX);
    // The server stops answering but keeps its socket: every request just waits.
    const pid_t daemon = server.daemonPid();
    ASSERT_EQ(::kill(daemon, SIGSTOP), 0);
    struct Resume {
        pid_t pid;
        ~Resume() { ::kill(pid, SIGCONT); }
    } resume{daemon};

    // What a hotkey press asks on the main thread: the default device, its name, then the engine start.
    const auto before = platform_linux::PulseConnection::timedOutWaits();
    EXPECT_EQ(monitor->defaultInputDevice(), PA_INVALID_INDEX);
    EXPECT_FALSE(monitor->deviceName(device));
    EXPECT_EQ(engine->bindInputDevice(device), 0);
    EXPECT_EQ(engine->start(), std::optional<std::string>("Timeout"));
    EXPECT_EQ(platform_linux::PulseConnection::timedOutWaits() - before, 1u) << "later look-ups were skipped";

    // Back to normal once the server answers again and the hold-off has passed.
    ::kill(daemon, SIGCONT);
    EXPECT_TRUE(runUntil([&] { return !engine->start().has_value(); }, 15s));
    EXPECT_EQ(monitor->deviceName(device), std::optional<std::string>("Virtual Microphone"));
}

TEST_F(PulseCaptureTest, RefusedConnectionIsAnEngineStartErrorWithTheServersMessage) {
    server.stop();
    auto engine = std::make_shared<platform_linux::PulseAudioEngine>();
    auto error = engine->start();
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(*error, "Connection refused");

    createManager();
    EXPECT_EQ(appState.currentMicName(), "Unknown");
    std::vector<bool> outcomes;
    manager->onCaptureStarted = [&](bool ok) { outcomes.push_back(ok); };
    EXPECT_FALSE(manager->startCapture());
    EXPECT_EQ(sink->count("❌ Audio engine failed: Connection refused"), 1u) << sink->all();
    EXPECT_EQ(outcomes, std::vector<bool>{false});
}

} // namespace
