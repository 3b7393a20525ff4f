#include "transport/RefineClient.h"

#include "core/DebugLog.h"
#include "core/FileSecretStore.h"
#include "core/JsonText.h"
#include "core/Utf8Prefix.h"
#include "core/Uuid.h"
#include "http/BackendOrigin.h"
#include "http/MultipartBody.h"
#include "transport/DictationStream.h"
#include "transport/VocabularyFile.h"

#include <atomic>
#include <cstdio>
#include <mutex>
#include <sys/utsname.h>
#include <unistd.h>

namespace vokari {
namespace {

constexpr const char* kSomethingWrong = "Something went wrong — try again";
constexpr const char* kServerError = "Server error — try again";
constexpr const char* kUnavailable = "Server temporarily unavailable";

std::string hostDeviceName() {
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) == 0 && name[0] != '\0') {
        return name;
    }
    return "unknown";
}

// "6.1.0-13-amd64" -> "6.1.0"; missing parts are written as 0.
std::string kernelVersion() {
    utsname u{};
    int parts[3] = {0, 0, 0};
    if (::uname(&u) == 0) {
        std::sscanf(u.release, "%d.%d.%d", &parts[0], &parts[1], &parts[2]);
    }
    return std::to_string(parts[0]) + "." + std::to_string(parts[1]) + "." + std::to_string(parts[2]);
}

const TransportError* errorOf(const HttpResult& r) {
    return std::get_if<TransportError>(&r);
}

} // namespace

std::shared_ptr<RefineClient> RefineClient::create(RefineClientConfig config) {
    std::shared_ptr<RefineClient> client(new RefineClient(std::move(config)));
    client->registerDevice();
    client->fetchProfile();
    return client;
}

RefineClient::RefineClient(RefineClientConfig config)
    : http(config.transport ? config.transport : std::make_shared<UnavailableTransport>()),
      onProfile(std::move(config.onProfile)),
      base(config.baseURL ? BackendOrigin::normalized(*config.baseURL) : BackendOrigin::current()),
      vocabPath(config.vocabPath.empty() ? VocabularyFile::defaultPath() : config.vocabPath),
      deviceName(config.deviceName ? *config.deviceName : hostDeviceName()),
      osVersion(config.osVersion ? *config.osVersion : kernelVersion()) {
    auto secrets = config.secrets ? config.secrets : std::make_shared<FileSecretStore>();
    // Without the user's settings there is no legacy identifier to migrate.
    MemoryDefaultsStore noLegacySettings;
    deviceId = DeviceIdentity::settle(*secrets, config.defaults ? *config.defaults : noLegacySettings);
    canSend = !std::dynamic_pointer_cast<UnavailableTransport>(http) && BackendOrigin::makeURL(base, "/process");
}

std::string RefineClient::userFriendlyError(const std::optional<TransportError>& error) {
    if (!error) {
        return kSomethingWrong;
    }
    int code = error->code;
    if (code == urlError::notConnectedToInternet) {
        return "No internet connection";
    }
    if (code <= urlError::secureConnectionFailed && code >= urlError::clientCertificateRequired) {
        return "Connection failed — check your network";
    }
    if (code == urlError::timedOut) {
        return "Request timed out — try again";
    }
    if (code == urlError::networkConnectionLost) {
        return "Connection lost — try again";
    }
    return kSomethingWrong;
}

std::string RefineClient::userFriendlyServerError(const std::optional<std::string>& serverText, int status) {
    switch (status) {
    case 200:
        return kSomethingWrong; // an answer that could not be read
    case 400:
        if (!serverText) {
            return kServerError;
        }
        return serverText->find("missing audio") != std::string::npos ? "No audio captured" : *serverText;
    case 500:
        return serverText == "processing failed" ? "Processing failed — try again" : kServerError;
    case 503:
        return kUnavailable;
    default:
        return kServerError;
    }
}

HttpRequest RefineClient::jsonRequest(const std::string& url, const nlohmann::json& body) const {
    HttpRequest request;
    request.method = "POST";
    request.url = url;
    request.headers = {{"Content-Type", "application/json"}, {"x-device-id", deviceId}};
    request.body = JsonText::serialize(body);
    request.timeoutSeconds = 60;
    return request;
}

void RefineClient::registerDevice() {
    auto url = BackendOrigin::makeURL(base, "/register");
    if (!url) {
        return;
    }
    HttpRequest request =
        jsonRequest(*url, {{"device_id", deviceId}, {"device_name", deviceName}, {"os_version", osVersion}});
    request.headers = {{"Content-Type", "application/json"}}; // registration carries no x-device-id
    std::string shortId = utf8Prefix(deviceId, 8);
    http->send(std::move(request), [shortId](HttpResult result) {
        if (auto* error = errorOf(result)) {
            debugLog("⚠️ Device registration failed: " + error->description);
        } else {
            debugLog("✅ Device registered: " + shortId + "...");
        }
    });
}

void RefineClient::fetchProfile() {
    auto url = BackendOrigin::makeURL(base, "/profile");
    if (!url) {
        return;
    }
    HttpRequest request;
    request.url = *url;
    request.headers = {{"x-device-id", deviceId}};
    std::weak_ptr<RefineClient> weak = weak_from_this();
    http->send(std::move(request), [weak](HttpResult result) {
        auto self = weak.lock();
        auto* response = std::get_if<HttpResponse>(&result);
        if (!self || !response) {
            return;
        }
        auto profile = JsonText::parseObject(response->body);
        if (profile && self->onProfile) {
            self->onProfile(*profile);
        }
    });
}

std::optional<std::string> RefineClient::loadVocab() const {
    return VocabularyFile::load(vocabPath);
}

void RefineClient::saveVocabLocally(const std::string& vocab) const {
    VocabularyFile::save(vocabPath, vocab);
}

void RefineClient::process(std::vector<std::uint8_t> audioData, std::string source, ProcessCompletion completion) {
    auto url = BackendOrigin::makeURL(base, "/process");
    if (!url) {
        completion(ProcessError{kSomethingWrong});
        return;
    }
    MultipartBody body(makeUuidString());
    auto vocab = loadVocab(); // read afresh for every request
    body.reserve(audioData.size() + source.size() + (vocab ? vocab->size() : 0));
    body.addFile("audio", "recording.wav", "audio/wav",
                 std::string_view(reinterpret_cast<const char*>(audioData.data()), audioData.size()));
    std::vector<std::uint8_t>().swap(audioData); // the body holds the only copy from here on
    if (vocab && !vocab->empty()) {
        body.addField("vocab", *vocab);
    }
    body.addField("source", source);
    HttpRequest request;
    request.method = "POST";
    request.url = *url;
    request.headers = {{"Content-Type", body.contentType()}, {"x-device-id", deviceId}};
    request.body = body.finish();
    request.timeoutSeconds = 120;
    http->send(std::move(request),
               [completion = std::move(completion)](HttpResult result) { completion(processResultFor(result)); });
}

std::shared_ptr<ProcessStream> RefineClient::openStream(std::string source) {
    auto url = BackendOrigin::makeURL(base, "/process/stream");
    if (!canSend || !url || streamRefused.load()) {
        return nullptr;
    }
    // The same fields as the multipart request, as strings on one line; the vocabulary is read afresh.
    nlohmann::json fields = nlohmann::json::object();
    if (auto vocab = loadVocab(); vocab && !vocab->empty()) {
        fields["vocab"] = *vocab;
    }
    fields["source"] = source;
    HttpRequest request;
    request.method = "POST";
    request.url = *url;
    request.headers = {{"Content-Type", "application/x-vokari-pcm-stream"}, {"x-device-id", deviceId}};
    request.timeoutSeconds = 120;
    std::weak_ptr<RefineClient> weak = weak_from_this();
    auto fallback = [weak, source](std::vector<std::uint8_t> wav, ProcessCompletion completion) {
        if (auto self = weak.lock()) {
            self->process(std::move(wav), source, std::move(completion));
        } else {
            completion(ProcessError{kSomethingWrong});
        }
    };
    auto refused = [weak] {
        if (auto self = weak.lock()) {
            self->streamRefused = true;
        }
    };
    debugLog("🎙 Streaming the recording to " + *url);
    return DictationStream::open(*http, std::move(request), JsonText::serialize(fields) + "\n", std::move(fallback),
                                 std::move(refused));
}

ProcessResult RefineClient::processResultFor(const HttpResult& answer) {
    if (auto* error = errorOf(answer)) {
        debugLog("⚠️ Process failed: " + error->description);
        return ProcessError{userFriendlyError(*error)};
    }
    const auto& response = std::get<HttpResponse>(answer);
    if (response.status == 429) {
        debugLog("⚠️ Daily limit reached");
        return ProcessRateLimited{};
    }
    if (response.status != 200) {
        std::string status = std::to_string(response.status);
        auto object = JsonText::parseObject(response.body);
        if (auto text = object ? JsonText::string(*object, "error") : std::nullopt) {
            debugLog("⚠️ Server error " + status + ": " + *text);
            return ProcessError{userFriendlyServerError(text, response.status)};
        }
        debugLog("⚠️ Server error " + status);
        return ProcessError{userFriendlyServerError(std::nullopt, response.status)};
    }
    auto object = JsonText::parseObject(response.body);
    if (!object) {
        return ProcessError{kSomethingWrong};
    }
    ProcessSuccess success{JsonText::string(*object, "raw"), JsonText::string(*object, "refined")};
    auto totalMs = JsonText::integer(*object, "total_ms").value_or(0);
    debugLog("✨ Processed in " + std::to_string(totalMs) +
             "ms: " + (success.refined ? utf8Prefix(*success.refined, 60) : std::string("nil")));
    return success;
}

void RefineClient::syncStyle(const std::string& preset, const std::string& customPrompt, SyncCompletion done) {
    nlohmann::json body = {{"style_preset", preset}};
    if (preset == "custom") {
        body["custom_prompt"] = customPrompt;
    }
    push("/style", std::move(body), "Style sync failed: ", "☁️ Style synced: " + preset, std::move(done));
}

void RefineClient::syncVocab(const std::string& vocab, SyncCompletion done) {
    push("/profile", {{"vocab", vocab}}, "Vocab sync failed: ", "☁️ Vocab synced to server", std::move(done));
}

void RefineClient::push(const char* path, nlohmann::json body, std::string failureLine, std::string successLine,
                        SyncCompletion done) {
    auto url = BackendOrigin::makeURL(base, path);
    if (!url) {
        if (done) {
            done(TransportError{urlError::badURL, "No URL can be formed from the backend origin"});
        }
        return;
    }
    http->send(jsonRequest(*url, body), [failureLine = std::move(failureLine), successLine = std::move(successLine),
                                         done = std::move(done)](HttpResult result) {
        auto* error = errorOf(result);
        debugLog(error ? "⚠️ " + failureLine + error->description : successLine);
        if (done) {
            done(error ? std::optional<TransportError>(*error) : std::nullopt);
        }
    });
}

void RefineClient::fetchTranscripts(std::optional<std::int64_t> after, std::int64_t limit,
                                    TranscriptsCompletion completion, TranscriptsFailure failed) {
    std::string path = "/transcripts?limit=" + std::to_string(limit);
    if (after) {
        path += "&after=" + std::to_string(*after);
    }
    auto url = BackendOrigin::makeURL(base, path);
    if (!url) {
        if (failed) {
            failed(kSomethingWrong);
        }
        completion({}, false);
        return;
    }
    HttpRequest request;
    request.url = *url;
    request.headers = {{"x-device-id", deviceId}};
    http->send(std::move(request), [completion = std::move(completion), failed = std::move(failed)](HttpResult result) {
        auto* response = std::get_if<HttpResponse>(&result);
        auto object = response ? JsonText::parseObject(response->body) : std::nullopt;
        auto fail = [&] {
            if (failed) {
                auto* error = errorOf(result);
                failed(error ? userFriendlyError(*error) : userFriendlyServerError(std::nullopt, response->status));
            }
            completion({}, false);
        };
        if (!object || !object->contains("transcripts") || !(*object)["transcripts"].is_array()) {
            fail();
            return;
        }
        const auto& list = (*object)["transcripts"];
        // "a list of JSON objects": a list holding anything else is no usable answer.
        for (const auto& element : list) {
            if (!element.is_object()) {
                fail();
                return;
            }
        }
        std::vector<Transcript> transcripts;
        for (const auto& element : list) {
            auto id = JsonText::integer(element, "id");
            auto raw = JsonText::string(element, "raw");
            auto refined = JsonText::string(element, "refined");
            auto createdAt = JsonText::string(element, "created_at");
            if (id && raw && refined && createdAt) {
                transcripts.push_back({*id, *raw, *refined, *createdAt});
            }
        }
        auto hasMore = object->find("has_more");
        completion(std::move(transcripts), hasMore != object->end() && hasMore->is_boolean() && hasMore->get<bool>());
    });
}

} // namespace vokari
