#pragma once
// Small helpers shared by the request handlers: JSON answers, error bodies and the device header.
// Pure functions over one request/response pair; any worker thread.

#include <httplib.h>
#include <nlohmann/json.hpp>

#include <cctype>
#include <optional>
#include <string>

namespace vokari::server {

inline void sendJson(httplib::Response& res, int status, const nlohmann::json& body) {
    res.status = status;
    // Replace invalid UTF-8 rather than throw: transcripts and logs come from outside.
    res.set_content(body.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace), "application/json");
}

inline void sendError(httplib::Response& res, int status, const std::string& message) {
    sendJson(res, status, nlohmann::json{{"error", message}});
}

// The "x-device-id" header when present and sane (1–128 printable characters).
inline std::optional<std::string> deviceIdOf(const httplib::Request& req) {
    if (!req.has_header("x-device-id")) {
        return std::nullopt;
    }
    std::string id = req.get_header_value("x-device-id");
    if (id.empty() || id.size() > 128) {
        return std::nullopt;
    }
    for (unsigned char c : id) {
        if (c < 0x21 || c > 0x7e) {
            return std::nullopt;
        }
    }
    return id;
}

// Answers 400 and returns nullopt when the header is missing.
inline std::optional<std::string> requireDevice(const httplib::Request& req, httplib::Response& res) {
    auto id = deviceIdOf(req);
    if (!id) {
        sendError(res, 400, "missing or invalid x-device-id header");
    }
    return id;
}

// Parses a JSON object body; answers 400 and returns nullopt otherwise.
inline std::optional<nlohmann::json> requireJsonObject(const httplib::Request& req, httplib::Response& res) {
    auto j = nlohmann::json::parse(req.body, nullptr, false);
    if (j.is_discarded() || !j.is_object()) {
        sendError(res, 400, "request body must be a JSON object");
        return std::nullopt;
    }
    return j;
}

// Bytes of a body read through a content reader (which leaves Request::body empty), for the access log.
// A request is read and handled on one worker thread.
inline size_t& streamedRequestBytes() {
    thread_local size_t bytes = 0;
    return bytes;
}

inline std::string stringField(const nlohmann::json& j, const char* key) {
    auto it = j.find(key);
    return it != j.end() && it->is_string() ? it->get<std::string>() : std::string();
}

} // namespace vokari::server
