// Capture from a private PulseAudio server fed with synthesised speech: the real engine, monitor and converter
// under the capture logic, driven by a real-time main queue.
#include "RecordingSink.h"
#include "TestPulseServer.h"
#include "audio/AudioCaptureManager.h"
#include "core/EventLoopMainQueue.h"
#include "core/NotificationCenter.h"
#include "platform/linux/audio/LinuxAudioPlatform.h"
#include "platform/linux/audio/PulseAudioEngine.h"
#include "platform/linux/audio/PulseDeviceMonitor.h"

#include <gtest/gtest.h>

#include <cmath>
#include <csignal>
#include <fstream>
#include <mutex>
#include <thread>
#include <unistd.h>

using namespace vokari;
using namespace vokari::testing;
using namespace std::chrono_literals;

namespace {

// Seconds of a mono signal (16 kHz unless told) whose 20 ms windows carry speech-level energy.
double activeSeconds(const std::vector<float>& samples, std::size_t from = 0, double rate = 16000.0) {
    const auto window = static_cast<std::size_t>(rate * 0.02);
    int active = 0;
    for (std::size_t start = from; start + window <= samples.size(); start += window) {
        double sum = 0;
        for (std::size_t i = start; i < start + window; ++i) {
            sum += double(samples[i]) * samples[i];
        }
        active += std::sqrt(sum / double(window)) > 0.01;
    }
    return active * 0.02;
}

// The record streams this process holds on the sound server (what a desktop's "microphone in use" shows).
int ownRecordStreams() {
    auto listing = runCommand({"pactl", "list", "source-outputs"});
    EXPECT_TRUE(listing.has_value());
    const std::string mine = "application.process.id = \"" + std::to_string(::getpid()) + "\"";
    int count = 0;
    for (auto at = listing->find(mine); at != std::string::npos; at = listing->find(mine, at + 1)) {
        ++count;
    }
    return count;
}

// Two virtual microphones: "vmic" hears what is played to "micsink" (48 kHz stereo, the default source), "vmic2"
// hears "micsink2" (44.1 kHz mono).
const char* const kModules = "load-module module-null-sink sink_name=spk\n"
                             "load-module module-null-sink sink_name=micsink rate=48000 channels=2\n"
                             "load-module module-remap-source source_name=vmic master=micsink.monitor "
                             "source_properties=\"device.description='Virtual Microphone'\"\n"
                             "load-module module-null-sink sink_name=micsink2 rate=44100 channels=1\n"
                             "load-module module-remap-source source_name=vmic2 master=micsink2.monitor "
                             "source_properties=\"device.description='Second Microphone'\"\n"
                             "set-default-sink spk\nset-default-source vmic\n";

class PulseCaptureTest : public ::testing::Test {
protected:
    void SetUp() override {
        debuglog::setSink(sink);
        ASSERT_EQ(server.start(), "");
        speech = server.directory() / "speech.wav";
        ASSERT_TRUE(runCommand({"flite", "-voice", "slt", "-t",
                                "Please send the quarterly report to the whole team before Friday afternoon.", "-o",
                                speech.string()}));
        std::ifstream in(speech, std::ios::binary);
        std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::vector<float> samples; // flite writes 16-bit mono after a 44-byte header
        for (std::size_t i = 44; i + 1 < bytes.size(); i += 2) {
            samples.push_back(std::int16_t(std::uint8_t(bytes[i]) | (bytes[i + 1] << 8)) / 32768.0f);
        }
        speechActive = activeSeconds(samples);
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
        manager = AudioCaptureManager::create(queue, platform, micName, center);
        manager->onAudioBuffer = [this](const AudioBuffer16k& buffer) {
            std::lock_guard lock(captureMutex);
            EXPECT_EQ(buffer.sampleRate, 16000.0);
            captured.insert(captured.end(), buffer.samples.begin(), buffer.samples.end());
        };
    }
    std::vector<float> capturedCopy() {
        std::lock_guard lock(captureMutex);
        return captured;
    }
    std::size_t count(const std::string& prefix) {
        auto lines = sink->messages();
        return std::count_if(lines.begin(), lines.end(), [&](auto& l) { return l.starts_with(prefix); });
    }
    std::string logText() {
        std::string text;
        for (auto& l : sink->messages()) {
            text += l + "\n";
        }
        return text;
    }
    // Plays the speech into a sink and keeps the main queue running until it has been heard; returns the seconds
    // of speech captured meanwhile.
    double play(const std::string& sink) {
        const std::size_t mark = capturedCopy().size();
        ChildProcess player;
        EXPECT_TRUE(player.start({"paplay", "-d", sink, speech.string()}));
        EXPECT_TRUE(runUntil([&] { return !player.running(); }, 20s)) << "paplay did not finish";
        pump(400ms); // the last block and the server's latency
        return activeSeconds(capturedCopy(), mark);
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
    bool waitForLog(const std::string& prefix, std::size_t n, std::chrono::milliseconds timeout = 20s) {
        return runUntil([&] { return count(prefix) >= n; }, timeout);
    }

    TestPulseServer server{kModules, "vmic2", {"micsink.monitor", "micsink2.monitor"}};
    std::filesystem::path speech;
    double speechActive = 0;
    EventLoopMainQueue queue;
    AudioCaptureManager::MicName micName;
    NotificationCenter center;
    std::shared_ptr<test::RecordingSink> sink = std::make_shared<test::RecordingSink>();
    AudioCaptureManager::Platform platform;
    std::shared_ptr<AudioCaptureManager> manager;
    std::mutex captureMutex;
    std::vector<float> captured;
};

TEST_F(PulseCaptureTest, CapturesSpeechAt16kMonoAndFollowsADefaultSourceSwitchMidRecording) {
    createManager();
    // The sound server is asked off the main thread; its answers arrive through the queue.
    ASSERT_TRUE(queue.runUntil([&] { return micName().has_value(); }, 5s));
    EXPECT_EQ(micName(), "Virtual Microphone");
    ASSERT_TRUE(manager->startCapture());
    ASSERT_TRUE(waitForLog("🟢 Audio capture started — 48000.0Hz → 16kHz", 1, 5s)) << logText();
    EXPECT_EQ(count("🎤 Actual input format: 48000.0Hz 2ch"), 1u) << logText();
    ASSERT_TRUE(waitForLog("🎙 First buffer after ", 1, 5s)) << logText();

    const auto started = std::chrono::steady_clock::now();
    const std::size_t before = capturedCopy().size();
    EXPECT_NEAR(play("micsink"), speechActive, 0.25 * speechActive);
    pump(2s); // past the health check
    // Blocks keep coming at the real-time rate: what arrived since playback started covers the time that passed.
    // A sanity check, not a timing figure: a loaded 2-core machine can lag the wall clock by a good part of a second.
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    EXPECT_NEAR((capturedCopy().size() - before) / 16000.0, elapsed, 1.0);
    EXPECT_EQ(count("✅ Audio health check passed — buffers flowing"), 1u) << logText();

    ASSERT_TRUE(runCommand({"pactl", "set-default-source", "vmic2"}));
    ASSERT_TRUE(waitForLog("🟢 Audio capture started — 44100.0Hz → 16kHz", 1)) << logText();
    EXPECT_EQ(count("🔄 System default input device changed"), 1u);
    EXPECT_EQ(count("♻️ Replacing old engine with fresh instance"), 1u);
    EXPECT_EQ(micName(), "Second Microphone");
    ASSERT_TRUE(waitForLog("🎙 First buffer after ", 2, 5s)) << logText();
    // The old microphone is no longer recorded; the new one is.
    EXPECT_LT(play("micsink"), 0.2);
    EXPECT_NEAR(play("micsink2"), speechActive, 0.25 * speechActive) << logText();
    manager->stopCapture();
    EXPECT_EQ(count("⏹ Audio capture stopped — "), 1u) << logText(); // the unit tests check its count
}

TEST_F(PulseCaptureTest, SurvivesASoundServerRestart) {
    createManager();
    ASSERT_TRUE(manager->startCapture());
    ASSERT_TRUE(waitForLog("🎙 First buffer after ", 1, 5s)) << logText();
    pump(1600ms); // out of the start-up window, in which configuration changes are ignored

    // Down long enough for the first restart to find no server (a start error with the server's message): the
    // back-off goes on until it is back.
    server.stop();
    pump(1200ms);
    EXPECT_GE(count("❌ Audio engine failed: Connection refused"), 1u) << logText();
    ASSERT_EQ(server.start(), "");
    ASSERT_TRUE(waitForLog("🟢 Audio capture started", 2)) << logText();
    EXPECT_EQ(count("⚠️ Audio config changed — restarting capture"), 1u) << logText();
    EXPECT_GE(count("🔄 Restart #2 — retrying in 0.8s"), 1u) << logText();
    ASSERT_TRUE(waitForLog("🎙 First buffer after ", 2, 5s)) << logText();
    EXPECT_NEAR(play("micsink"), speechActive, 0.25 * speechActive) << logText();
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

TEST_F(PulseCaptureTest, AudioRecordedBeforeTheTapIsInstalledAndAfterItsLastBlockReachesIt) {
    // The engine starts recording before the capture logic has its converter and tap ready; a slow step in
    // between (a loaded machine) must delay the first words, not lose them. At a stop, what the tap's last block
    // holds so far is handed over too: here the block is longer than the speech, so only that hand-over brings it.
    auto engine = std::make_shared<platform_linux::PulseAudioEngine>();
    ASSERT_EQ(engine->start(), std::nullopt);
    ChildProcess player;
    ASSERT_TRUE(player.start({"paplay", "-d", "micsink", speech.string()}));
    ASSERT_TRUE(waitUntil([&] { return !player.running(); }, 20s));
    std::this_thread::sleep_for(400ms); // the server's latency: the speech is in the stream's buffer by now

    std::mutex mutex;
    std::vector<float> mono; // 48 kHz, both channels averaged
    ASSERT_EQ(engine->installTap(48000 * 30,
                                 [&](const AudioInputBuffer& block) {
                                     std::lock_guard lock(mutex);
                                     for (std::uint32_t i = 0; i < block.frameLength; ++i) {
                                         mono.push_back(0.5f * (block.samples[2 * i] + block.samples[2 * i + 1]));
                                     }
                                 }),
              std::nullopt);
    {
        std::lock_guard lock(mutex);
        EXPECT_TRUE(mono.empty());
    }
    engine->flushTap();
    engine->removeTap();
    engine->stop();
    std::lock_guard lock(mutex);
    EXPECT_NEAR(activeSeconds(mono, 0, 48000.0), speechActive, 0.25 * speechActive);
}

TEST_F(PulseCaptureTest, NoRecordStreamWhileIdleAndNoneLeftAfterADictation) {
    createManager();
    ASSERT_TRUE(queue.runUntil([&] { return micName().has_value(); }, 5s));
    EXPECT_EQ(ownRecordStreams(), 0) << "idle after launch";
    for (int dictation = 1; dictation <= 2; ++dictation) {
        const std::size_t mark = capturedCopy().size();
        ASSERT_TRUE(manager->startCapture());
        ASSERT_TRUE(waitForLog("🟢 Audio capture started", dictation, 5s)) << logText();
        EXPECT_EQ(ownRecordStreams(), 1) << "recording";
        // Speech that begins the moment capture reports started is kept from its start.
        EXPECT_NEAR(play("micsink"), speechActive, 0.25 * speechActive) << logText();
        EXPECT_GT(capturedCopy().size(), mark);
        manager->stopCapture();
        pump(200ms);
        EXPECT_EQ(ownRecordStreams(), 0) << "idle after dictation " << dictation;
    }
}

} // namespace
