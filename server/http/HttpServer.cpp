#include "http/HttpServer.h"

#include "core/AccessLog.h"
#include "http/Handlers.h"
#include "http/HttpUtil.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <sys/socket.h>

namespace vokari::server {
namespace {

// A request is read, handled and answered on one worker thread, so the start time can live here.
thread_local std::chrono::steady_clock::time_point requestStart{};

const char* reasonFor(int status) {
    switch (status) {
    case 400:
        return "bad request";
    case 404:
        return "not found";
    case 405:
        return "method not allowed";
    case 413:
        return "request body too large (at most 25 MB)";
    case 414:
        return "request URI too long";
    case 415:
        return "unsupported media type";
    case 416:
        return "range not satisfiable";
    case 429:
        return "daily limit reached";
    case 503:
        return "service unavailable";
    default:
        return status >= 500 ? "internal error" : "request failed";
    }
}

} // namespace

HttpServer::HttpServer(ServerContext& context, int threads)
    : context_(context), server_(std::make_unique<httplib::Server>()) {
    const size_t workers = static_cast<size_t>(std::max(1, threads));
    server_->new_task_queue = [workers] { return new httplib::ThreadPool(workers); };
    server_->set_payload_max_length(kMaxBodyBytes);
    // Also the time-out of a stalled /process/stream: the library cannot time one route apart.
    const int readTimeoutMs = std::min(30'000, std::max(1, context.streamIdleTimeoutMs));
    server_->set_read_timeout(readTimeoutMs / 1000, (readTimeoutMs % 1000) * 1000);
    server_->set_write_timeout(std::chrono::seconds(30));
    server_->set_keep_alive_timeout(5);
    // The library's default also sets SO_REUSEPORT, which would let a second server share a taken port.
    server_->set_socket_options([](int sock) {
        int yes = 1;
        setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    });
    // Each stream holds a worker thread while the user speaks; one is always left for everything else.
    context_.maxOpenStreams = std::max(1, threads - 1);
    installRoutes();
}

HttpServer::~HttpServer() {
    stop();
}

// The handlers are stored inside server_, which this object owns, so they cannot outlive it or the context.
void HttpServer::installRoutes() {
    auto& s = *server_;
    ServerContext& ctx = context_;
    auto route = [&ctx](void (*handler)(ServerContext&, const httplib::Request&, httplib::Response&)) {
        return [&ctx, handler](const httplib::Request& req, httplib::Response& res) { handler(ctx, req, res); };
    };
    s.Post("/register", route(handleRegister));
    s.Post("/process", route(handleProcess));
    s.Post("/command", route(handleCommand));
    if (ctx.streaming) {
        s.Post("/process/stream",
               [&ctx](const httplib::Request& req, httplib::Response& res, const httplib::ContentReader& reader) {
                   handleProcessStream(ctx, req, res, reader);
               });
    }
    s.Get("/profile", route(handleGetProfile));
    s.Post("/profile", route(handlePostProfile));
    s.Post("/style", route(handleStyle));
    s.Get("/transcripts", route(handleTranscripts));
    s.Post("/logs", route(handleLogs));
    s.Get("/update/check", route(handleUpdateCheck));
    s.Get(R"(/downloads/([^/]+))", route(handleDownload));
    s.Get("/health", [](const httplib::Request&, httplib::Response& res) { sendJson(res, 200, {{"ok", true}}); });

    s.set_pre_routing_handler([](const httplib::Request&, httplib::Response&) {
        requestStart = std::chrono::steady_clock::now();
        return httplib::Server::HandlerResponse::Unhandled;
    });
    // Whatever failed without a body of its own (unknown path, oversized body, malformed request) still gets
    // a JSON "error" the app can read.
    s.set_error_handler([](const httplib::Request&, httplib::Response& res) {
        if (res.body.empty()) {
            sendError(res, res.status, reasonFor(res.status));
        }
    });
    s.set_exception_handler([](const httplib::Request&, httplib::Response& res, std::exception_ptr) {
        sendError(res, 500, "internal error");
    });
    s.set_logger([this](const httplib::Request& req, const httplib::Response& res) {
        AccessRecord r;
        r.epochMs = context_.clock.nowMs();
        r.remote = req.remote_addr;
        r.method = req.method;
        r.path = req.path;
        r.status = res.status;
        if (requestStart != std::chrono::steady_clock::time_point{}) {
            r.durationMs =
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - requestStart).count();
        }
        requestStart = {};
        r.requestBytes = req.has_header("Content-Length")
                             ? std::strtoull(req.get_header_value("Content-Length").c_str(), nullptr, 10)
                             : std::max(req.body.size(), streamedRequestBytes());
        streamedRequestBytes() = 0;
        r.deviceId = req.get_header_value("x-device-id");
        if (!quietAccessLog) {
            writeAccessLine(r);
        }
    });
}

std::variant<int, std::string> HttpServer::bind(const std::string& host, int port) {
    errno = 0;
    if (port == 0) {
        int bound = server_->bind_to_any_port(host);
        if (bound > 0) {
            return bound;
        }
    } else if (server_->bind_to_port(host, port)) {
        return port;
    }
    std::string why = errno == EADDRINUSE ? "address already in use"
                      : errno != 0        ? std::strerror(errno)
                                          : "address not available";
    return "cannot listen on " + host + ":" + std::to_string(port) + ": " + why;
}

bool HttpServer::run() {
    return server_->listen_after_bind();
}

void HttpServer::stop() {
    if (server_) {
        server_->stop();
    }
}

} // namespace vokari::server
