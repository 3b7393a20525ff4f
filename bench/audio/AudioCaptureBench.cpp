// Cost of the capture path for 48 kHz stereo input: the manager's tap with the libsoxr converter in process
// (CPU per block, hence per second of audio, and the time from a complete block to onAudioBuffer), and a run
// against a private PulseAudio server measuring the whole process's CPU while it captures in real time.
#include "TestPulseServer.h"
#include "audio/AudioCaptureManager.h"
#include "core/DebugLog.h"
#include "core/EventLoopMainQueue.h"
#include "core/VirtualMainQueue.h"
#include "platform/linux/audio/LinuxAudioPlatform.h"
#include "platform/linux/audio/SoxrSampleConverter.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <random>

using namespace vokari;

namespace {

// Hands the manager's tap to the benchmark instead of a sound server.
class BenchEngine : public AudioEngine {
public:
    explicit BenchEngine(AudioFormat format) : format(format) {}
    bool hasInputUnit() const override { return true; }
    int bindInputDevice(AudioDeviceId) override { return 0; }
    std::optional<std::string> start() override { return std::nullopt; }
    void stop() override {}
    AudioFormat inputFormat() const override { return format; }
    std::optional<std::string> installTap(std::uint32_t frames, TapBlock block) override {
        tapFrames = frames;
        tap = std::move(block);
        return std::nullopt;
    }
    void removeTap() override { tap = nullptr; }
    Subscription observeConfigurationChanges(std::function<void()>) override { return {}; }

    AudioFormat format;
    std::uint32_t tapFrames = 0;
    TapBlock tap;
};

class BenchMonitor : public AudioDeviceMonitor {
public:
    AudioDeviceId defaultInputDevice() override { return 1; }
    std::optional<std::string> deviceName(AudioDeviceId) override { return "Bench Mic"; }
    Subscription addDefaultDeviceListener(std::function<void()>) override { return {}; }
};

double cpuSeconds(clockid_t clock) {
    timespec ts{};
    clock_gettime(clock, &ts);
    return ts.tv_sec + ts.tv_nsec / 1e9;
}

void quietLogs() {
    static bool done = [] {
        auto dir = std::filesystem::temp_directory_path() / "vokari-audio-bench";
        std::filesystem::create_directories(dir);
        debuglog::setPaths(dir / "vokari.log", dir / "vk-debug.log");
        debuglog::setConsole(nullptr);
        return true;
    }();
    (void)done;
}

// What the converter holds back: soxr emits its output aligned with the input but in its own chunks, so its
// delay shows as the output still owed after whole blocks have gone in. The worst case over five seconds.
double resamplerHoldBackMs(const AudioFormat& format) {
    auto converter = platform_linux::SoxrSampleConverter::create(format, AudioFormat{16000.0, 1});
    if (!converter) {
        return -1;
    }
    const auto frames = static_cast<std::uint32_t>(format.sampleRate * 0.1);
    std::vector<float> in(static_cast<std::size_t>(frames) * format.channelCount, 0.1f);
    std::vector<float> out(frames);
    double owed = 0;
    double worst = 0;
    for (int block = 0; block < 50; ++block) {
        owed +=
            1600.0 - converter->convert(AudioInputBuffer{format, frames, in.data()}, out.data(), frames).value_or(0);
        worst = std::max(worst, owed);
    }
    return 1000.0 * worst / 16000.0;
}

void runInProcess(benchmark::State& state, AudioFormat format) {
    quietLogs();
    VirtualMainQueue queue;
    auto engine = std::make_shared<BenchEngine>(format);
    AudioCaptureManager::Platform platform;
    platform.makeEngine = [engine] { return engine; };
    platform.deviceMonitor = std::make_shared<BenchMonitor>();
    platform.makeConverter = [](const AudioFormat& from, const AudioFormat& to) -> std::unique_ptr<SampleConverter> {
        return platform_linux::SoxrSampleConverter::create(from, to);
    };
    AudioCaptureManager::MicName micName;
    NotificationCenter center;
    auto manager = AudioCaptureManager::create(queue, platform, micName, center);
    std::size_t delivered = 0;
    std::chrono::steady_clock::time_point deliveredAt;
    manager->onAudioBuffer = [&](const AudioBuffer16k& buffer) {
        deliveredAt = std::chrono::steady_clock::now();
        delivered += buffer.samples.size();
        benchmark::DoNotOptimize(buffer.rmsLevel());
    };
    if (!manager->startCapture()) {
        state.SkipWithError("capture did not start");
        return;
    }
    // Speech-like input: a few harmonics and noise, different per channel.
    const std::uint32_t frames = engine->tapFrames;
    std::vector<float> block(static_cast<std::size_t>(frames) * format.channelCount);
    std::mt19937 rng(42);
    std::normal_distribution<float> noise(0.0f, 0.02f);
    for (std::uint32_t i = 0; i < frames; ++i) {
        const double t = i / format.sampleRate;
        for (std::uint32_t c = 0; c < format.channelCount; ++c) {
            block[i * format.channelCount + c] = static_cast<float>(
                0.3 * std::sin(2 * M_PI * 220 * t) + 0.1 * std::sin(2 * M_PI * 1230 * t + c) + noise(rng));
        }
    }
    const AudioInputBuffer input{format, frames, block.data()};
    double latencyTotal = 0;
    const double cpuStart = cpuSeconds(CLOCK_THREAD_CPUTIME_ID);
    for (auto _ : state) {
        const auto blockComplete = std::chrono::steady_clock::now();
        engine->tap(input);
        latencyTotal += std::chrono::duration<double>(deliveredAt - blockComplete).count();
    }
    const double cpu = cpuSeconds(CLOCK_THREAD_CPUTIME_ID) - cpuStart;
    const double audioSeconds = state.iterations() * (frames / format.sampleRate);
    state.counters["cpu_pct_of_core"] = 100.0 * cpu / audioSeconds;
    state.counters["block_to_callback_us"] = 1e6 * latencyTotal / static_cast<double>(state.iterations());
    state.counters["out_samples_per_block"] = static_cast<double>(delivered) / static_cast<double>(state.iterations());
    if (format.sampleRate != 16000.0 || format.channelCount != 1) {
        state.counters["resampler_holdback_max_ms"] = resamplerHoldBackMs(format);
    }
    manager->stopCapture();
}

void BM_CapturePath_48kStereo(benchmark::State& state) {
    runInProcess(state, AudioFormat{48000.0, 2, CommonFormat::float32, true});
}
BENCHMARK(BM_CapturePath_48kStereo);

void BM_CapturePath_44k1Mono(benchmark::State& state) {
    runInProcess(state, AudioFormat{44100.0, 1, CommonFormat::float32, true});
}
BENCHMARK(BM_CapturePath_44k1Mono);

void BM_CapturePath_16kMonoPassthrough(benchmark::State& state) {
    runInProcess(state, AudioFormat{16000.0, 1, CommonFormat::float32, true});
}
BENCHMARK(BM_CapturePath_16kMonoPassthrough);

// Ten seconds of real-time capture from a 48 kHz stereo virtual microphone: CPU of the whole process (libpulse
// threads included), and how far each block's arrival lags the ideal 100 ms grid set by the first block.
void BM_RealServerCapture_48kStereo(benchmark::State& state) {
    quietLogs();
    vokari::testing::TestPulseServer server{"load-module module-null-sink sink_name=spk\n"
                                            "load-module module-null-sink sink_name=micsink rate=48000 channels=2\n"
                                            "load-module module-remap-source source_name=vmic master=micsink.monitor\n"
                                            "set-default-sink spk\nset-default-source vmic\n",
                                            "vmic",
                                            {"micsink.monitor"}};
    if (auto error = server.start(); !error.empty()) {
        state.SkipWithError(("no PulseAudio: " + error).c_str());
        return;
    }
    for (auto _ : state) {
        EventLoopMainQueue queue;
        AudioCaptureManager::MicName micName;
        NotificationCenter center;
        auto manager =
            AudioCaptureManager::create(queue, platform_linux::makeLinuxAudioPlatform(queue), micName, center);
        std::vector<double> arrivals;
        arrivals.reserve(200);
        std::mutex mutex;
        manager->onAudioBuffer = [&](const AudioBuffer16k&) {
            std::lock_guard lock(mutex);
            arrivals.push_back(
                std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count());
        };
        manager->startCapture();
        queue.runUntil([] { return false; }, std::chrono::milliseconds(500)); // settle
        const double cpuStart = cpuSeconds(CLOCK_PROCESS_CPUTIME_ID);
        const auto wallStart = std::chrono::steady_clock::now();
        queue.runUntil([] { return false; }, std::chrono::seconds(10));
        const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
        const double cpu = cpuSeconds(CLOCK_PROCESS_CPUTIME_ID) - cpuStart;
        manager->stopCapture();
        state.SetIterationTime(wall);
        std::lock_guard lock(mutex);
        double worstLag = 0;
        for (std::size_t i = 0; i < arrivals.size(); ++i) {
            worstLag = std::max(worstLag, arrivals[i] - (arrivals[0] + 0.1 * static_cast<double>(i)));
        }
        state.counters["process_cpu_pct_of_core"] = 100.0 * cpu / wall;
        state.counters["blocks"] = static_cast<double>(arrivals.size());
        state.counters["worst_arrival_lag_ms"] = 1000.0 * worstLag;
    }
    server.stop();
}
BENCHMARK(BM_RealServerCapture_48kStereo)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

} // namespace

BENCHMARK_MAIN();
