#pragma once
// Assembles the server from its options: data directory, database, engine, refiner, release manifest, HTTP.
// Lives on the main thread for the whole process; run() blocks until stop() (called from the signal thread).

#include "command/ActionPlanner.h"
#include "core/Clock.h"
#include "core/ServerOptions.h"
#include "http/HttpServer.h"
#include "refine/TextRefiner.h"
#include "storage/Database.h"
#include "stt/SpeechEngine.h"

#include <memory>
#include <optional>
#include <string>

namespace vokari::server {

class ServerApp {
public:
    explicit ServerApp(ServerOptions options, const Clock* clock = nullptr);
    ~ServerApp();

    // Binds the port first (so a taken port fails fast), then opens storage and loads the engine.
    // Returns an error text on failure.
    std::optional<std::string> start();
    int port() const { return port_; }
    // Blocks serving requests until stop().
    bool run();
    void stop();

private:
    ServerOptions options_;
    SystemClock systemClock_;
    const Clock* clock_;
    std::unique_ptr<Database> db_;
    std::unique_ptr<SpeechEngine> engine_;
    std::unique_ptr<TextRefiner> refiner_;
    std::unique_ptr<ActionPlanner> planner_; // null: the rule planner
    std::unique_ptr<ServerContext> context_;
    std::unique_ptr<HttpServer> http_;
    int port_ = 0;
};

} // namespace vokari::server
