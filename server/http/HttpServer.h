#pragma once
// The HTTP front: routes, the 25 MB body limit, JSON error bodies, one access-log line per request, and a
// worker pool. run() blocks the calling thread; stop() may be called from any thread and lets requests in
// flight finish. Owned by ServerApp (or a test), which keeps the ServerContext alive longer.

#include "http/ServerContext.h"

#include <httplib.h>

#include <memory>
#include <string>
#include <variant>

namespace vokari::server {

class HttpServer {
public:
    static constexpr size_t kMaxBodyBytes = 25 * 1024 * 1024;

    // `threads` connection threads are kept; up to `maxConnections` connections are served at once, each on
    // a thread of its own (see ConnectionPool).
    HttpServer(ServerContext& context, int threads, int maxConnections = 512);
    ~HttpServer();

    // Binds the listening socket; the bound port (useful with port 0) or an error text.
    std::variant<int, std::string> bind(const std::string& host, int port);
    // Serves until stop(); false when the server could not run.
    bool run();
    void stop();

    // Tests set this to keep their output readable; the executable always logs.
    bool quietAccessLog = false;

private:
    // The routes (see Routes.h), plus the error bodies and the access log around them.
    void installHandlers();

    ServerContext& context_;
    std::unique_ptr<httplib::Server> server_;
    int listenSocket_ = -1;
};

} // namespace vokari::server
