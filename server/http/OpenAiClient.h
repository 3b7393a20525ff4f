#pragma once
// Minimal client for OpenAI-compatible HTTP APIs (a local Whisper server, a local or hosted chat model):
// splits the configured base URL, adds the bearer key, and reports failures as values.
// One instance per call; used on HTTP worker threads.

#include <httplib.h>

#include <optional>
#include <string>
#include <variant>

namespace vokari::server {

struct ApiEndpoint {
    std::string origin;   // "http://127.0.0.1:9000"
    std::string basePath; // "/v1" (no trailing slash)
    std::string apiKey;   // empty: no Authorization header
    int timeoutSeconds = 60;
};

// "http://host:port[/prefix]" → origin and path prefix ("/v1" when none is given); nullopt when malformed.
std::optional<ApiEndpoint> parseApiEndpoint(const std::string& url);

struct ApiFailure {
    bool unreachable = false; // no answer at all (connection refused, time-out)
    std::string detail;
};

using ApiResult = std::variant<std::string, ApiFailure>; // body of a 200 answer, or the failure

ApiResult postJson(const ApiEndpoint& endpoint, const std::string& path, const std::string& json);
ApiResult postMultipart(const ApiEndpoint& endpoint, const std::string& path,
                        const httplib::MultipartFormDataItems& items);

} // namespace vokari::server
