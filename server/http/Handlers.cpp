#include "http/Handlers.h"

#include "core/TimeFormat.h"
#include "http/HttpUtil.h"

#include <algorithm>
#include <charconv>
#include <fstream>
#include <memory>

namespace vokari::server {
namespace {

const char* const kPresets[] = {"professional", "casual", "minimal", "custom"};

// A strict decimal integer, nothing else ("10", not "10x", " 10" or "1e1").
std::optional<int64_t> strictInt(const std::string& s) {
    int64_t v = 0;
    auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (s.empty() || ec != std::errc() || p != s.data() + s.size()) {
        return std::nullopt;
    }
    return v;
}

} // namespace

void handleRegister(ServerContext& ctx, const httplib::Request& req, httplib::Response& res) {
    auto body = requireJsonObject(req, res);
    if (!body) {
        return;
    }
    std::string id = stringField(*body, "device_id");
    if (id.empty() || id.size() > 128) {
        sendError(res, 400, "\"device_id\" must be a non-empty string of at most 128 characters");
        return;
    }
    std::string name = stringField(*body, "device_name").substr(0, 256);
    std::string os = stringField(*body, "os_version").substr(0, 64);
    if (!ctx.db.registerDevice(id, name, os, ctx.clock.nowMs())) {
        sendError(res, 500, "storage failed");
        return;
    }
    sendJson(res, 200, {{"ok", true}});
}

void handleGetProfile(ServerContext& ctx, const httplib::Request& req, httplib::Response& res) {
    auto device = requireDevice(req, res);
    if (!device) {
        return;
    }
    auto p = ctx.db.profile(*device);
    if (!p) {
        sendError(res, 500, "storage failed");
        return;
    }
    sendJson(res, 200, {{"style_preset", p->stylePreset}, {"custom_prompt", p->customPrompt}, {"vocab", p->vocab}});
}

void handlePostProfile(ServerContext& ctx, const httplib::Request& req, httplib::Response& res) {
    auto device = requireDevice(req, res);
    if (!device) {
        return;
    }
    auto body = requireJsonObject(req, res);
    if (!body) {
        return;
    }
    auto it = body->find("vocab");
    if (it == body->end() || !it->is_string()) {
        sendError(res, 400, "\"vocab\" must be a string");
        return;
    }
    std::string vocab = it->get<std::string>();
    if (vocab.size() > 64 * 1024) {
        sendError(res, 400, "\"vocab\" is longer than 65536 bytes");
        return;
    }
    if (!ctx.db.setVocab(*device, vocab, ctx.clock.nowMs())) {
        sendError(res, 500, "storage failed");
        return;
    }
    sendJson(res, 200, {{"ok", true}});
}

void handleStyle(ServerContext& ctx, const httplib::Request& req, httplib::Response& res) {
    auto device = requireDevice(req, res);
    if (!device) {
        return;
    }
    auto body = requireJsonObject(req, res);
    if (!body) {
        return;
    }
    std::string preset = stringField(*body, "style_preset");
    if (std::find(std::begin(kPresets), std::end(kPresets), preset) == std::end(kPresets)) {
        sendError(res, 400, "\"style_preset\" must be one of professional, casual, minimal, custom");
        return;
    }
    std::optional<std::string> prompt;
    if (auto it = body->find("custom_prompt"); it != body->end()) {
        if (!it->is_string() || it->get<std::string>().size() > 16 * 1024) {
            sendError(res, 400, "\"custom_prompt\" must be a string of at most 16384 bytes");
            return;
        }
        prompt = it->get<std::string>();
    }
    if (!ctx.db.setStyle(*device, preset, prompt, ctx.clock.nowMs())) {
        sendError(res, 500, "storage failed");
        return;
    }
    sendJson(res, 200, {{"ok", true}});
}

void handleTranscripts(ServerContext& ctx, const httplib::Request& req, httplib::Response& res) {
    auto device = requireDevice(req, res);
    if (!device) {
        return;
    }
    auto limit = req.has_param("limit") ? strictInt(req.get_param_value("limit")) : std::nullopt;
    if (!limit || *limit < 1 || *limit > 100) {
        sendError(res, 400, "\"limit\" must be an integer from 1 to 100");
        return;
    }
    std::optional<int64_t> after;
    if (req.has_param("after")) {
        after = strictInt(req.get_param_value("after"));
        if (!after || *after < 1) {
            sendError(res, 400, "\"after\" must be a positive integer transcript id");
            return;
        }
    }
    auto page = ctx.db.transcripts(*device, static_cast<int>(*limit), after);
    if (!page) {
        sendError(res, 500, "storage failed");
        return;
    }
    nlohmann::json list = nlohmann::json::array();
    for (const auto& t : page->rows) {
        list.push_back({{"id", t.id}, {"raw", t.raw}, {"refined", t.refined}, {"created_at", isoUtcMs(t.createdAtMs)}});
    }
    sendJson(res, 200, {{"transcripts", list}, {"has_more", page->hasMore}});
}

void handleLogs(ServerContext& ctx, const httplib::Request& req, httplib::Response& res) {
    auto device = requireDevice(req, res);
    if (!device) {
        return;
    }
    auto body = requireJsonObject(req, res);
    if (!body) {
        return;
    }
    auto it = body->find("entries");
    if (it == body->end() || !it->is_array()) {
        sendError(res, 400, "\"entries\" must be a list");
        return;
    }
    if (it->size() > ctx.maxLogEntriesPerRequest) {
        sendError(res, 400, "too many entries (at most " + std::to_string(ctx.maxLogEntriesPerRequest) + ")");
        return;
    }
    std::vector<LogEntry> entries;
    for (const auto& e : *it) {
        if (!e.is_object()) {
            continue; // the rest of the batch is still worth keeping
        }
        entries.push_back(LogEntry{stringField(e, "message").substr(0, 8192), stringField(e, "level").substr(0, 32),
                                   stringField(e, "source").substr(0, 64), stringField(e, "ts").substr(0, 64)});
    }
    if (!ctx.db.appendLogs(*device, entries, ctx.clock.nowMs(), ctx.maxLogsPerDevice)) {
        sendError(res, 500, "storage failed");
        return;
    }
    sendJson(res, 200, {{"ok", true}, {"stored", entries.size()}});
}

void handleUpdateCheck(ServerContext& ctx, const httplib::Request& req, httplib::Response& res) {
    if (!req.has_param("v") || req.get_param_value("v").empty()) {
        sendError(res, 400, "missing version parameter \"v\"");
        return;
    }
    std::string current = req.get_param_value("v");
    if (!ctx.release) {
        sendJson(res, 200, {{"update_available", false}, {"latest", current}, {"download_url", ""}});
        return;
    }
    // The configured origin, never the request's Host header: a client must not choose where others download.
    std::string url = ctx.publicOrigin + "/downloads/" + ctx.release->file;
    sendJson(res, 200,
             {{"update_available", compareVersions(ctx.release->version, current) > 0},
              {"latest", ctx.release->version},
              {"download_url", url},
              {"sha256", ctx.release->sha256}});
}

void handleDownload(ServerContext& ctx, const httplib::Request& req, httplib::Response& res) {
    std::string name = req.matches.size() > 1 ? req.matches[1].str() : "";
    // Only the released file is served: nothing else in the directory, and no path tricks.
    if (!ctx.release || name != ctx.release->file) {
        sendError(res, 404, "not found");
        return;
    }
    auto file = std::make_shared<std::ifstream>(ctx.release->path, std::ios::binary);
    if (!*file) {
        sendError(res, 500, "release file unreadable");
        return;
    }
    file->seekg(0, std::ios::end);
    auto size = static_cast<size_t>(file->tellg());
    file->seekg(0);
    res.set_header("Content-Disposition", "attachment; filename=\"" + name + "\"");
    res.set_content_provider(size, "application/octet-stream",
                             [file](size_t offset, size_t length, httplib::DataSink& sink) {
                                 std::vector<char> buf(std::min<size_t>(length, 1 << 16));
                                 file->seekg(static_cast<std::streamoff>(offset));
                                 file->read(buf.data(), static_cast<std::streamsize>(buf.size()));
                                 auto got = file->gcount();
                                 if (got <= 0) {
                                     return false;
                                 }
                                 return sink.write(buf.data(), static_cast<size_t>(got));
                             });
}

} // namespace vokari::server
