#include "app/BackendConnection.h"

#include "app/ProfileMerge.h"
#include "command/CommandClient.h"
#include "core/DebugLog.h"
#include "http/BackendOrigin.h"
#include "transport/VocabularyFile.h"

namespace vokari {

std::shared_ptr<BackendConnection> BackendConnection::create(std::shared_ptr<MainQueue> queue,
                                                             RefineClientConfig config, Settings settings,
                                                             SecretStoreOpener openSecrets) {
    return std::shared_ptr<BackendConnection>(
        new BackendConnection(std::move(queue), std::move(config), settings, std::move(openSecrets)));
}

BackendConnection::BackendConnection(std::shared_ptr<MainQueue> q, RefineClientConfig cfg, Settings s,
                                     SecretStoreOpener opener)
    : queue(std::move(q)), config(std::move(cfg)), settings(s), openSecrets(std::move(opener)) {
    const std::string base = config.baseURL ? BackendOrigin::normalized(*config.baseURL) : BackendOrigin::current();
    canSend = config.transport && !std::dynamic_pointer_cast<UnavailableTransport>(config.transport) &&
              BackendOrigin::makeURL(base, "/process");
    if (config.transport && !canSend) {
        // Said once at start: otherwise the first sign of a mistyped origin is a dictation that is not sent.
        debugLog("⚠️ The backend origin \"" + base +
                 "\" is not an http:// or https:// address — nothing can be sent (see VOKARI_BACKEND_URL)");
    }
    if (config.vocabPath.empty()) {
        config.vocabPath = VocabularyFile::defaultPath();
    }
}

BackendConnection::~BackendConnection() {
    shutdown();
}

void BackendConnection::start() {
    if (started) {
        return;
    }
    started = true;
    RefineClientConfig cfg = config;
    std::weak_ptr<BackendConnection> weak = weak_from_this();
    cfg.onProfile = [queue = queue, weak](const nlohmann::json& profile) {
        queue->post([weak, profile] {
            if (auto self = weak.lock()) {
                applyProfile(profile, self->settings, self->config.vocabPath);
            }
        });
    };
    builder = std::thread([cfg = std::move(cfg), opener = openSecrets, queue = queue, weak]() mutable {
        if (opener) {
            cfg.secrets = opener();
        }
        auto built = RefineClient::create(std::move(cfg));
        queue->post([weak, built = std::move(built)]() mutable {
            if (auto self = weak.lock()) {
                self->adopt(std::move(built));
            }
        });
    });
}

void BackendConnection::shutdown() {
    if (builder.joinable()) {
        builder.join();
    }
    waiting.clear();
}

void BackendConnection::adopt(std::shared_ptr<RefineClient> built) {
    refineClient = std::move(built);
    commandClient = std::make_shared<CommandClient>(refineClient->transport(), refineClient->baseURL(),
                                                    refineClient->currentDeviceId());
    {
        std::lock_guard lock(idLock);
        settledId = refineClient->currentDeviceId();
    }
    auto ready = std::exchange(waiting, {});
    for (auto& fn : ready) {
        fn(*refineClient);
    }
}

std::shared_ptr<RefineClient> BackendConnection::client() const {
    return refineClient;
}

std::optional<std::string> BackendConnection::deviceId() const {
    std::lock_guard lock(idLock);
    return settledId;
}

bool BackendConnection::isConfigured() const {
    return refineClient ? refineClient->isConfigured() : canSend;
}

void BackendConnection::withClient(std::function<void(RefineClient&)> fn) {
    if (refineClient) {
        fn(*refineClient);
    } else {
        waiting.push_back(std::move(fn));
    }
}

void BackendConnection::process(std::vector<std::uint8_t> audioData, std::string source, ProcessCompletion completion) {
    withClient([audio = std::move(audioData), source = std::move(source),
                completion = std::move(completion)](RefineClient& client) mutable {
        client.process(std::move(audio), std::move(source), std::move(completion));
    });
}

std::shared_ptr<ProcessStream> BackendConnection::openStream(std::string source) {
    return refineClient ? refineClient->openStream(std::move(source)) : nullptr;
}

void BackendConnection::sendCommand(std::vector<std::uint8_t> audioData, std::string screenshotBase64,
                                    Completion completion) {
    std::weak_ptr<BackendConnection> weak = weak_from_this();
    withClient([weak, audio = std::move(audioData), shot = std::move(screenshotBase64),
                completion = std::move(completion)](RefineClient&) mutable {
        if (auto self = weak.lock()) {
            self->commandClient->sendCommand(std::move(audio), std::move(shot), std::move(completion));
        }
    });
}

void BackendConnection::syncStyle(const std::string& preset, const std::string& customPrompt) {
    withClient([preset, customPrompt](RefineClient& client) { client.syncStyle(preset, customPrompt); });
}

void BackendConnection::syncVocab(const std::string& vocab) {
    withClient([vocab](RefineClient& client) { client.syncVocab(vocab); });
}

void BackendConnection::fetchTranscripts(std::optional<std::int64_t> after, std::int64_t limit,
                                         RefineClient::TranscriptsCompletion completion,
                                         RefineClient::TranscriptsFailure failed) {
    auto q = queue;
    withClient([q, after, limit, completion = std::move(completion),
                failed = std::move(failed)](RefineClient& client) mutable {
        RefineClient::TranscriptsFailure onFailure;
        if (failed) {
            onFailure = [q, failed](const std::string& message) { q->post([failed, message] { failed(message); }); };
        }
        client.fetchTranscripts(
            after, limit,
            [q, completion = std::move(completion)](std::vector<Transcript> page, bool hasMore) {
                q->post(
                    [completion, page = std::move(page), hasMore]() mutable { completion(std::move(page), hasMore); });
            },
            std::move(onFailure));
    });
}

} // namespace vokari
