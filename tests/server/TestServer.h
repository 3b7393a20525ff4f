#pragma once
// An in-process vokari-server on an ephemeral loopback port with a scripted engine and a manual clock.
// Built and torn down on the test thread; the server itself runs on its own thread until destruction.

#include "core/Clock.h"
#include "http/HttpServer.h"
#include "refine/RuleRefiner.h"
#include "storage/Database.h"
#include "stt/BufferedSpeechStream.h"
#include "stt/SpeechEngine.h"

#include <httplib.h>

#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace vokari::server::test {

// Answers with a fixed text, or fails the way it is told to.
class ScriptedEngine final : public SpeechEngine {
public:
    std::string name() const override { return "scripted"; }
    SttResult transcribe(const PcmAudio& audio, const std::vector<std::string>& vocabulary, SttMode mode) override {
        std::unique_lock<std::mutex> guard(lock);
        if (holdMs > 0) {
            // Keeps requests overlapping so concurrency is exercised.
            guard.unlock();
            std::this_thread::sleep_for(std::chrono::milliseconds(holdMs));
            guard.lock();
        }
        lastVocabulary = vocabulary;
        lastMode = mode;
        lastSamples = audio.samples;
        ++calls;
        if (failure) {
            return SttError{*failure, "scripted failure"};
        }
        return SttText{text};
    }

    // Streams are the default buffering ones, counted so tests see when the server lets one go.
    std::unique_ptr<SpeechStream> openStream(const std::vector<std::string>& vocabulary) override {
        struct Counted final : SpeechStream {
            Counted(ScriptedEngine& e, const std::vector<std::string>& v) : engine(e), inner(e, v) {
                ++e.openStreams;
                ++e.streamsOpened;
            }
            ~Counted() override { --engine.openStreams; }
            void feed(const int16_t* s, size_t n) override { inner.feed(s, n); }
            SttResult finish() override { return inner.finish(); }
            size_t samplesFed() const override { return inner.samplesFed(); }
            ScriptedEngine& engine;
            BufferedSpeechStream inner;
        };
        return std::make_unique<Counted>(*this, vocabulary);
    }

    std::mutex lock;
    std::atomic<int> openStreams{0};   // streams alive now
    std::atomic<int> streamsOpened{0}; // ever
    std::vector<int16_t> lastSamples;
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
    // `configure` adjusts the context before the HTTP server is built on it.
    explicit TestServer(int64_t dailyLimit = 1000, bool withEngine = true,
                        std::optional<ReleaseManifest> release = std::nullopt,
                        const std::function<void(ServerContext&)>& configure = {});
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
