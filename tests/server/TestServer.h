#pragma once
// An in-process vokari-server on an ephemeral loopback port with a scripted engine and a manual clock.
// Built and torn down on the test thread; the server itself runs on its own thread until destruction.

#include "core/Clock.h"
#include "http/HttpServer.h"
#include "refine/RuleRefiner.h"
#include "storage/Database.h"
#include "stt/SpeechEngine.h"

#include <httplib.h>

#include <atomic>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace vokari::server::test {

// Answers with a fixed text, or fails the way it is told to.
class ScriptedEngine final : public SpeechEngine {
public:
    std::string name() const override { return "scripted"; }
    SttResult transcribe(const PcmAudio&, const std::vector<std::string>& vocabulary, SttMode mode) override {
        std::unique_lock<std::mutex> guard(lock);
        if (holdMs > 0) {
            // Keeps requests overlapping so concurrency is exercised.
            guard.unlock();
            std::this_thread::sleep_for(std::chrono::milliseconds(holdMs));
            guard.lock();
        }
        lastVocabulary = vocabulary;
        lastMode = mode;
        ++calls;
        if (failure) {
            return SttError{*failure, "scripted failure"};
        }
        return SttText{text};
    }

    std::mutex lock;
    std::string text = "hello world";
    std::optional<SttError::Kind> failure;
    std::vector<std::string> lastVocabulary;
    SttMode lastMode = SttMode::dictation;
    int calls = 0;
    int holdMs = 0;
};

std::filesystem::path makeTempDir(const std::string& prefix);

// Noise-free tone, enough for the WAV checks.
std::string toneWav(double seconds, int sampleRate = 16000, int channels = 1);

class TestServer {
public:
    explicit TestServer(int64_t dailyLimit = 1000, bool withEngine = true,
                        std::optional<ReleaseManifest> release = std::nullopt);
    ~TestServer();

    httplib::Client client() const;
    // Posts the multipart body byte for byte as the app lays it out.
    httplib::Result process(const std::string& device, const std::string& wav,
                            const std::optional<std::string>& vocab = std::nullopt);
    // No header when `device` is nullopt.
    httplib::Result get(const std::string& path, const std::optional<std::string>& device = std::nullopt);
    httplib::Result postJson(const std::string& path, const std::string& body,
                             const std::optional<std::string>& device = std::nullopt);

    std::filesystem::path dir;
    ManualClock clock{1'796'515'200'000}; // 2026-12-06T00:00:00Z
    ScriptedEngine engine;
    RuleRefiner refiner;
    std::unique_ptr<Database> db;
    std::unique_ptr<ServerContext> context;
    std::unique_ptr<HttpServer> http;
    int port = 0;

private:
    std::thread thread_;
};

} // namespace vokari::server::test
