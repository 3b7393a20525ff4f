#include "http/OpenAiClient.h"

#include <regex>

namespace vokari::server {
namespace {

httplib::Client makeClient(const ApiEndpoint& e) {
    httplib::Client c(e.origin);
    c.set_connection_timeout(std::chrono::seconds(5));
    c.set_read_timeout(std::chrono::seconds(e.timeoutSeconds));
    c.set_write_timeout(std::chrono::seconds(e.timeoutSeconds));
    if (!e.apiKey.empty()) {
        c.set_bearer_token_auth(e.apiKey);
    }
    return c;
}

ApiResult toResult(const httplib::Result& r) {
    if (!r) {
        return ApiFailure{true, "no answer: " + httplib::to_string(r.error())};
    }
    if (r->status != 200) {
        return ApiFailure{r->status >= 500, "status " + std::to_string(r->status) + ": " + r->body.substr(0, 200)};
    }
    return r->body;
}

} // namespace

std::optional<ApiEndpoint> parseApiEndpoint(const std::string& url) {
    static const std::regex shape(R"(^(https?://[^/\s]+)(/[^\s]*)?$)");
    std::smatch m;
    if (!std::regex_match(url, m, shape)) {
        return std::nullopt;
    }
    ApiEndpoint e;
    e.origin = m[1];
    e.basePath = m[2].matched ? m[2].str() : "/v1";
    while (!e.basePath.empty() && e.basePath.back() == '/') {
        e.basePath.pop_back();
    }
    return e;
}

ApiResult postJson(const ApiEndpoint& endpoint, const std::string& path, const std::string& json) {
    auto c = makeClient(endpoint);
    return toResult(c.Post(endpoint.basePath + path, json, "application/json"));
}

ApiResult postMultipart(const ApiEndpoint& endpoint, const std::string& path,
                        const httplib::MultipartFormDataItems& items) {
    auto c = makeClient(endpoint);
    return toResult(c.Post(endpoint.basePath + path, items));
}

} // namespace vokari::server
