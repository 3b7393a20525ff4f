#pragma once
// Collects debug-log lines in memory and posts them in batches to "/logs": at 20 buffered lines, and every
// 60 s from a timer on the main queue. Keeps at most 200 lines; a batch that fails in transport goes back to
// the front. log() is callable from any thread and never waits for the network; sends complete on the
// transport's worker thread. The app's wiring creates and owns it and installs it as the log's sink.
#include "core/DebugLog.h"
#include "core/MainQueue.h"
#include "core/WallClock.h"
#include "http/HttpTransport.h"

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace vokari {

struct LogShipperConfig {
    std::shared_ptr<HttpTransport> transport; // none: sends fail in transport and batches stay buffered
    std::shared_ptr<MainQueue> mainQueue;     // none: no periodic timer
    std::optional<std::string> baseURL;       // none: BackendOrigin::current()
    // The identifier read at each send. Empty: the batch is dropped; nothing: not known yet, the batch stays.
    // None: never known, so nothing is sent.
    std::function<std::optional<std::string>()> deviceId;
    const WallClock* clock = nullptr; // none: the system clock
};

class LogShipper : public LogSink, public std::enable_shared_from_this<LogShipper> {
public:
    using Entry = std::map<std::string, std::string>; // "message", "level", "source", "ts"

    static constexpr std::size_t maxBuffer = 200;
    static constexpr std::size_t flushThreshold = 20;

    // Builds a shipper and, 5 s later on the main queue, starts its 60 s flush timer.
    static std::shared_ptr<LogShipper> create(LogShipperConfig config);
    ~LogShipper() override;

    void log(const std::string& message, const std::string& level, const std::string& source) override;
    void log(const std::string& message) { log(message, "info", kLogSource); }
    void flush();

    // Entries waiting to be sent, oldest first.
    std::deque<Entry> pending() const;
    // "2026-12-06T07:52:24Z"
    static std::string isoTimestamp(WallClock::TimePoint t);

private:
    explicit LogShipper(LogShipperConfig config);
    void startTimer();
    void putBack(std::deque<Entry> batch);

    LogShipperConfig config;
    std::string baseURL;
    mutable std::mutex bufferLock;
    std::deque<Entry> buffer;
    TaskHandle startHandle;
    TaskHandle flushTimer;
};

} // namespace vokari
