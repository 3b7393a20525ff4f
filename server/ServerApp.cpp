#include "ServerApp.h"

#include "refine/RuleRefiner.h"
#include "stt/PocketSphinxEngine.h"

#include <cstdio>
#include <filesystem>

namespace vokari::server {

// Defined by the optional OpenAI-compatible engines when they are built in.
std::unique_ptr<SpeechEngine> makeOpenAiSpeechEngine(const ServerOptions& options);
std::unique_ptr<TextRefiner> makeOpenAiRefiner(const ServerOptions& options);

ServerApp::ServerApp(ServerOptions options, const Clock* clock)
    : options_(std::move(options)), clock_(clock != nullptr ? clock : &systemClock_) {}

ServerApp::~ServerApp() {
    stop();
}

std::optional<std::string> ServerApp::start() {
    std::error_code ec;
    std::filesystem::create_directories(options_.dataDir, ec);
    if (ec) {
        return "cannot create data directory " + options_.dataDir + ": " + ec.message();
    }
    auto opened = Database::open(options_.dataDir + "/vokari.db");
    if (auto* err = std::get_if<std::string>(&opened)) {
        return *err;
    }
    db_ = std::move(std::get<std::unique_ptr<Database>>(opened));

    std::optional<ReleaseManifest> release;
    if (!options_.releasesDir.empty()) {
        auto loaded = ReleaseManifest::load(options_.releasesDir);
        if (auto* err = std::get_if<std::string>(&loaded)) {
            return *err;
        }
        release = std::get<ReleaseManifest>(loaded);
    }

    refiner_ = options_.refiner == "openai" ? makeOpenAiRefiner(options_) : std::make_unique<RuleRefiner>();
    context_ =
        std::make_unique<ServerContext>(ServerContext{*db_, *clock_, nullptr, *refiner_, release, options_.dailyLimit});
    context_->streaming = options_.streaming;
    http_ = std::make_unique<HttpServer>(*context_, options_.threads);
    auto bound = http_->bind(options_.host, options_.port);
    if (auto* err = std::get_if<std::string>(&bound)) {
        return *err;
    }
    port_ = std::get<int>(bound);
    context_->publicOrigin = publicOrigin(options_, port_);

    if (options_.stt == "openai") {
        engine_ = makeOpenAiSpeechEngine(options_);
    } else {
        PocketSphinxConfig config;
        config.decoders = options_.decoders;
        if (!options_.modelDir.empty()) {
            config.modelDir = options_.modelDir;
        }
        auto created = PocketSphinxEngine::create(config);
        if (auto* err = std::get_if<std::string>(&created)) {
            // Everything but transcription still works; "/process" answers 503 until the model is fixed.
            std::fprintf(stderr, "vokari-server: warning: %s; transcription is unavailable\n", err->c_str());
        } else {
            engine_ = std::move(std::get<std::unique_ptr<PocketSphinxEngine>>(created));
        }
    }
    context_->engine = engine_.get();
    return std::nullopt;
}

bool ServerApp::run() {
    return http_ && http_->run();
}

void ServerApp::stop() {
    if (http_) {
        http_->stop();
    }
}

} // namespace vokari::server
