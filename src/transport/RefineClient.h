#pragma once
// The application's client for the backend service: device identity, registration, profile merge, dictation
// processing, style and vocabulary pushes, history pages. Immutable after construction, so any thread may use
// it; completions run on the transport's worker thread. shared() is the process-wide instance, built on first
// use from what configure() was given at start-up; tests build their own with create().
#include "core/DefaultsStore.h"
#include "transport/DeviceIdentity.h"
#include "transport/HttpTransport.h"
#include "transport/RefineService.h"
#include "transport/SecretStore.h"
#include "transport/Transcript.h"

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vokari {

struct RefineClientConfig {
    std::shared_ptr<HttpTransport> transport; // none: every request fails (no network configured)
    std::shared_ptr<SecretStore> secrets;     // none: FileSecretStore at its default path
    DefaultsStore* defaults = nullptr;        // none: DefaultsStore::standard(); must outlive the client
    std::optional<std::string> baseURL;       // none: BackendOrigin::current()
    std::filesystem::path vocabPath;          // empty: VocabularyFile::defaultPath()
    std::optional<std::string> deviceName;    // none: the host name, "unknown" when there is none
    std::optional<std::string> osVersion;     // none: the running kernel's major.minor.patch
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

    // Start-up wiring for shared(); returns false (and changes nothing) once the shared client exists.
    static bool configure(RefineClientConfig config);
    static std::shared_ptr<RefineClient> shared();
    // The shared client's identifier for the log shipper; nothing until the shared client exists (and while its
    // own start-up lines are logged), so logging never builds it before configure() or re-enters its construction.
    static std::optional<std::string> shippingDeviceId();
    // Settles the identifier, then starts registration and the profile fetch without waiting for them.
    static std::shared_ptr<RefineClient> create(RefineClientConfig config);

    const std::string& baseURL() const { return base; }
    const std::string& currentDeviceId() const { return deviceId; }
    bool isConfigured() const override { return true; }
    const std::shared_ptr<HttpTransport>& transport() const { return http; }

    static std::string userFriendlyError(const std::optional<TransportError>& error);
    static std::string userFriendlyServerError(const std::string& serverText, int status);

    void process(std::vector<std::uint8_t> audioData, std::string source, ProcessCompletion completion) override;
    void process(std::vector<std::uint8_t> audioData, ProcessCompletion completion) {
        process(std::move(audioData), "dictation", std::move(completion));
    }
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
    void mergeProfile(const nlohmann::json& profile);
    HttpRequest jsonRequest(const std::string& url, const nlohmann::json& body) const;

    std::shared_ptr<HttpTransport> http;
    DefaultsStore& defaults;
    std::string base;
    std::filesystem::path vocabPath;
    std::string deviceName;
    std::string osVersion;
    std::string deviceId;
};

} // namespace vokari
