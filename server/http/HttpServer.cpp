#include "http/HttpServer.h"

#include "core/AccessLog.h"
#include "http/ConnectionPool.h"
#include "http/Handlers.h"
#include "http/HttpUtil.h"
#include "http/Routes.h"

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

HttpServer::HttpServer(ServerContext& context, int threads, int maxConnections)
    : context_(context), server_(std::make_unique<httplib::Server>()) {
    const size_t workers = static_cast<size_t>(std::max(1, threads));
    const size_t connections = static_cast<size_t>(std::max(threads, maxConnections));
    // Not the library's fixed pool: there, a handful of idle keep-alive or trickling connections hold every
    // worker and even /health waits (see ConnectionPool).
    server_->new_task_queue = [workers, connections] { return new ConnectionPool(workers, connections); };
    server_->set_payload_max_length(kMaxBodyBytes);
    // Also the time-out of a stalled /process/stream: the library cannot time one route apart.
    const int readTimeoutMs = std::min(30'000, std::max(1, context.streamIdleTimeoutMs));
    server_->set_read_timeout(readTimeoutMs / 1000, (readTimeoutMs % 1000) * 1000);
    server_->set_write_timeout(std::chrono::seconds(30));
    server_->set_keep_alive_timeout(5);
    // The library's default also sets SO_REUSEPORT, which would let a second server share a taken port.
    server_->set_socket_options([this](int sock) {
        listenSocket_ = sock;
        int yes = 1;
        setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    });
    // Each stream holds a connection's thread while the user speaks; one is always left for everything else.
    context_.maxOpenStreams = std::max(1, static_cast<int>(connections) - 1);
    installHandlers();
}

HttpServer::~HttpServer() {
    stop();
}

// The handlers are stored inside server_, which this object owns, so they cannot outlive it or the context.
void HttpServer::installHandlers() {
    auto& s = *server_;
    vokari::server::installRoutes(s, context_);

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
    int bound = port == 0 ? server_->bind_to_any_port(host) : server_->bind_to_port(host, port) ? port : -1;
    if (bound > 0) {
        // The library listens with a backlog of 5, so a burst of new connections on a busy machine overflows
        // it and each extra client waits a second for its SYN to be resent. Listening again only raises it.
        if (listenSocket_ >= 0) {
            ::listen(listenSocket_, SOMAXCONN);
        }
        return bound;
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
