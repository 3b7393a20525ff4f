#pragma once
// The application's client for the backend service: device identity, registration, profile merge, dictation
// processing, style and vocabulary pushes, history pages. Immutable after construction, so any thread may use
// it; completions run on the transport's worker thread. The app's wiring creates it (off the main thread: settling
// the identifier may wait on the Secret Service) and owns it.
#include "core/DefaultsStore.h"
#include "core/SecretStore.h"
#include "http/HttpTransport.h"
#include "transport/DeviceIdentity.h"
#include "transport/RefineService.h"
#include "transport/Transcript.h"

#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vokari {

struct RefineClientConfig {
    std::shared_ptr<HttpTransport> transport; // none: every request fails (no network configured)
    std::shared_ptr<SecretStore> secrets;     // none: FileSecretStore at its default path
    DefaultsStore* defaults = nullptr;        // the user's settings, for the legacy identifier; must outlive the client
    std::optional<std::string> baseURL;       // none: BackendOrigin::current()
    std::filesystem::path vocabPath;          // empty: VocabularyFile::defaultPath()
    std::optional<std::string> deviceName;    // none: the host name, "unknown" when there is none
    std::optional<std::string> osVersion;     // none: the running kernel's major.minor.patch
    // The fetched profile, on the transport's worker thread; applying it to the settings is the app's job.
    std::function<void(const nlohmann::json& profile)> onProfile;
};

class RefineClient : public RefineService, public std::enable_shared_from_this<RefineClient> {
public:
    using TranscriptsCompletion = std::function<void(std::vector<Transcript>, bool hasMore)>;
    // Told, just before the completion gets its empty page, that the page is empty because the request failed
    // (a message ready for the user), so a caller can tell "no history" from "backend down".
    using TranscriptsFailure = std::function<void(const std::string& message)>;
    // Told, after the log line, whether a push failed in transport (the answer itself is not examined).
    using SyncCompletion = std::function<void(std::optional<TransportError>)>;

    static constexpr const char* keychainService = DeviceIdentity::keychainService;
    static constexpr const char* keychainAccount = DeviceIdentity::keychainAccount;

    // Settles the identifier, then starts registration and the profile fetch without waiting for them.
    static std::shared_ptr<RefineClient> create(RefineClientConfig config);

    const std::string& baseURL() const { return base; }
    const std::string& currentDeviceId() const { return deviceId; }
    // True only when a request can really leave: a transport exists and the origin forms URLs.
    bool isConfigured() const override { return canSend; }
    const std::shared_ptr<HttpTransport>& transport() const { return http; }

    static std::string userFriendlyError(const std::optional<TransportError>& error);
    // The one mapping from an answer's status (and its "error" text, when it has one) to what the user reads.
    static std::string userFriendlyServerError(const std::optional<std::string>& serverText, int status);

    void process(std::vector<std::uint8_t> audioData, std::string source, ProcessCompletion completion) override;
    void process(std::vector<std::uint8_t> audioData, ProcessCompletion completion) {
        process(std::move(audioData), "dictation", std::move(completion));
    }
    // Streams to "/process/stream" until this backend refused a stream (404/405/501); after that, nothing, so
    // the recording goes to "/process".
    std::shared_ptr<ProcessStream> openStream(std::string source) override;
    bool streamsRefused() const { return streamRefused.load(); }
    void syncStyle(const std::string& preset, const std::string& customPrompt, SyncCompletion done = nullptr);
    void syncVocab(const std::string& vocab, SyncCompletion done = nullptr);
    void fetchTranscripts(std::optional<std::int64_t> after, std::int64_t limit, TranscriptsCompletion completion,
                          TranscriptsFailure failed = nullptr);

    // The local vocabulary file's "vocab" string, read afresh; and its atomic rewrite.
    std::optional<std::string> loadVocab() const;
    void saveVocabLocally(const std::string& vocab) const;

    // How an answer to "/process" becomes a result (logs as it goes). Exposed for the command-line tool's tests.
    static ProcessResult processResultFor(const HttpResult& answer);

private:
    explicit RefineClient(RefineClientConfig config);
    void registerDevice();
    void fetchProfile();
    void push(const char* path, nlohmann::json body, std::string failureLine, std::string successLine,
              SyncCompletion done);
    HttpRequest jsonRequest(const std::string& url, const nlohmann::json& body) const;

    std::shared_ptr<HttpTransport> http;
    std::function<void(const nlohmann::json&)> onProfile;
    std::string base;
    std::filesystem::path vocabPath;
    std::string deviceName;
    std::string osVersion;
    std::string deviceId;
    bool canSend = false;
    // The one thing that changes after construction: set once this origin refused a stream, for the client's life.
    std::atomic<bool> streamRefused{false};
};

} // namespace vokari
