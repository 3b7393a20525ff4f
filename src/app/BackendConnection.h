#pragma once
// The app's backend clients. The dictation client is built on a thread of its own, because settling the device
// identifier may wait on the Secret Service; it is handed over on the main queue, and requests made before that
// wait for it. Profile answers and history pages reach the app on the main queue. Main thread, except deviceId(),
// which any thread may call (the log shipper does). Owned by the app's wiring; shutdown() before the queue goes.
#include "command/CommandService.h"
#include "core/MainQueue.h"
#include "core/Settings.h"
#include "transport/RefineClient.h"

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace vokari {

class BackendConnection : public RefineService,
                          public CommandService,
                          public std::enable_shared_from_this<BackendConnection> {
public:
    using SecretStoreOpener = std::function<std::shared_ptr<SecretStore>()>;
    // config.onProfile is the connection's own: the profile is applied to `settings` on the main queue. When given,
    // openSecrets finds the secret store on the building thread (it may wait on the session bus) instead of
    // config.secrets.
    static std::shared_ptr<BackendConnection> create(std::shared_ptr<MainQueue> queue, RefineClientConfig config,
                                                     Settings settings, SecretStoreOpener openSecrets = nullptr);
    ~BackendConnection() override;

    // Starts building the client (once). Its completion arrives on the main queue.
    void start();
    // Waits for the building thread; requests still waiting are dropped. Idempotent.
    void shutdown();

    // The client once it exists (main thread); null before.
    std::shared_ptr<RefineClient> client() const;
    // The settled identifier; nothing until the client exists. Any thread.
    std::optional<std::string> deviceId() const;

    // Whether a request can leave at all: a transport and an origin that forms URLs (known before the client is).
    bool isConfigured() const override;
    void process(std::vector<std::uint8_t> audioData, std::string source, ProcessCompletion completion) override;
    // Before the client exists a recording is not streamed; it goes to process() when it ends.
    std::shared_ptr<ProcessStream> openStream(std::string source) override;
    void sendCommand(std::vector<std::uint8_t> audioData, std::string screenshotBase64, Completion completion) override;
    void syncStyle(const std::string& preset, const std::string& customPrompt);
    void syncVocab(const std::string& vocab);
    // A history page, delivered on the main queue; `failed` (also on the main queue) says why a page is empty.
    void fetchTranscripts(std::optional<std::int64_t> after, std::int64_t limit,
                          RefineClient::TranscriptsCompletion completion,
                          RefineClient::TranscriptsFailure failed = nullptr);

private:
    BackendConnection(std::shared_ptr<MainQueue> queue, RefineClientConfig config, Settings settings,
                      SecretStoreOpener openSecrets);
    // Runs fn with the client now, or once it exists.
    void withClient(std::function<void(RefineClient&)> fn);
    void adopt(std::shared_ptr<RefineClient> built);

    std::shared_ptr<MainQueue> queue;
    RefineClientConfig config;
    Settings settings;
    SecretStoreOpener openSecrets;
    bool canSend = false;
    bool started = false;
    std::thread builder;
    std::shared_ptr<RefineClient> refineClient;
    std::shared_ptr<CommandService> commandClient;
    std::vector<std::function<void(RefineClient&)>> waiting;
    mutable std::mutex idLock;
    std::optional<std::string> settledId;
};

} // namespace vokari
