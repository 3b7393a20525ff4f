#pragma once
// Everything a request handler needs, borrowed from ServerApp (or a test) for the server's lifetime.
// Handlers run on HTTP worker threads; every member here is thread-safe or read-only.

#include "core/Clock.h"
#include "refine/TextRefiner.h"
#include "storage/Database.h"
#include "stt/SpeechEngine.h"
#include "update/ReleaseManifest.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace vokari::server {

struct ServerContext {
    Database& db;
    const Clock& clock;
    SpeechEngine* engine = nullptr; // null: no engine could be loaded, transcription answers 503
    TextRefiner& refiner;
    std::optional<ReleaseManifest> release;
    int64_t dailyLimit = 1000; // 0 = none
    int64_t maxLogsPerDevice = 2000;
    size_t maxLogEntriesPerRequest = 1000;
    std::string publicOrigin = "http://127.0.0.1:8790"; // download links start with it (see --public-url)
    bool streaming = true;            // false (--no-stream): /process/stream answers 404 like an unknown path
    int streamIdleTimeoutMs = 10'000; // a request body that stalls this long is dropped (see HttpServer)
    int maxOpenStreams = 0;           // set by HttpServer: streams hold a worker thread each; 0 = no limit
    std::shared_ptr<std::atomic<int>> openStreams = std::make_shared<std::atomic<int>>(0);
};

} // namespace vokari::server
