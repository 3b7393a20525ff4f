#pragma once
// Request handlers, one per endpoint. Each answers exactly what the app reads; every error is JSON {"error"}.
// Called on HTTP worker threads with the shared, thread-safe ServerContext.

#include "http/ServerContext.h"

#include <httplib.h>

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

} // namespace vokari::server
