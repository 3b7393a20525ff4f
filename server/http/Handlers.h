#pragma once
// Request handlers, one per endpoint. Each answers exactly what the app reads; every error is JSON {"error"}.
// Called on HTTP worker threads with the shared, thread-safe ServerContext.

#include "http/ServerContext.h"

#include <httplib.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace vokari::server {

void handleRegister(ServerContext& ctx, const httplib::Request& req, httplib::Response& res);
void handleGetProfile(ServerContext& ctx, const httplib::Request& req, httplib::Response& res);
void handlePostProfile(ServerContext& ctx, const httplib::Request& req, httplib::Response& res);
void handleStyle(ServerContext& ctx, const httplib::Request& req, httplib::Response& res);
void handleTranscripts(ServerContext& ctx, const httplib::Request& req, httplib::Response& res);
void handleLogs(ServerContext& ctx, const httplib::Request& req, httplib::Response& res);
void handleUpdateCheck(ServerContext& ctx, const httplib::Request& req, httplib::Response& res);
void handleDownload(ServerContext& ctx, const httplib::Request& req, httplib::Response& res);
void handleProcess(ServerContext& ctx, const httplib::Request& req, httplib::Response& res);
void handleCommand(ServerContext& ctx, const httplib::Request& req, httplib::Response& res);
void handleProcessStream(ServerContext& ctx, const httplib::Request& req, httplib::Response& res,
                         const httplib::ContentReader& reader);

// Shared by /process and /process/stream, so both answer alike.
// Dictations the device has had today (0 without a limit); nullopt when storage fails.
std::optional<int64_t> usedToday(ServerContext& ctx, const std::string& device);
void answerEngineFailure(ServerContext& ctx, const SttError& err, httplib::Response& res);
// Refines, stores (re-checking the limit atomically) and answers 200 {"raw","refined","total_ms"}.
void answerDictation(ServerContext& ctx, const std::string& device, const std::string& raw,
                     const std::vector<std::string>& vocabulary, const Profile& profile, const std::string& source,
                     double engineMs, std::chrono::steady_clock::time_point start, httplib::Response& res);

} // namespace vokari::server
