#include "transport/LogShipper.h"

#include "core/JsonText.h"
#include "http/BackendOrigin.h"

#include <ctime>

namespace vokari {
namespace {

void trimToMax(std::deque<LogShipper::Entry>& buffer) {
    while (buffer.size() > LogShipper::maxBuffer) {
        buffer.pop_front();
    }
}

} // namespace

std::shared_ptr<LogShipper> LogShipper::create(LogShipperConfig config) {
    std::shared_ptr<LogShipper> shipper(new LogShipper(std::move(config)));
    shipper->startTimer();
    return shipper;
}

LogShipper::LogShipper(LogShipperConfig cfg)
    : config(std::move(cfg)),
      baseURL(config.baseURL ? BackendOrigin::normalized(*config.baseURL) : BackendOrigin::current()) {
    if (!config.transport) {
        config.transport = std::make_shared<UnavailableTransport>();
    }
    if (!config.deviceId) {
        config.deviceId = [] { return std::optional<std::string>(); };
    }
}

LogShipper::~LogShipper() {
    startHandle.cancel();
    flushTimer.cancel();
}

void LogShipper::startTimer() {
    if (!config.mainQueue) {
        return;
    }
    std::weak_ptr<LogShipper> weak = weak_from_this();
    // The queue is held weakly too: a task that owned its own queue would keep both alive forever.
    std::weak_ptr<MainQueue> weakQueue = config.mainQueue;
    startHandle = config.mainQueue->postAfter(5.0, [weak, weakQueue] {
        auto self = weak.lock();
        auto queue = weakQueue.lock();
        if (!self || !queue) {
            return;
        }
        self->flushTimer = queue->postRepeating(60.0, [weak] {
            if (auto shipper = weak.lock()) {
                shipper->flush();
            }
        });
    });
}

std::string LogShipper::isoTimestamp(WallClock::TimePoint t) {
    std::time_t secs = std::chrono::system_clock::to_time_t(std::chrono::floor<std::chrono::seconds>(t));
    std::tm utc{};
    gmtime_r(&secs, &utc);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return buf;
}

void LogShipper::log(const std::string& message, const std::string& level, const std::string& source) {
    auto now = config.clock ? config.clock->now() : std::chrono::system_clock::now();
    Entry entry{{"message", message}, {"level", level}, {"source", source}, {"ts", isoTimestamp(now)}};
    bool reached = false;
    {
        std::lock_guard lock(bufferLock);
        buffer.push_back(std::move(entry));
        trimToMax(buffer);
        reached = buffer.size() >= flushThreshold;
    }
    if (reached) {
        flush();
    }
}

void LogShipper::flush() {
    std::deque<Entry> batch;
    {
        std::lock_guard lock(bufferLock);
        if (buffer.empty()) {
            return;
        }
        batch.swap(buffer);
    }
    auto deviceId = config.deviceId();
    if (!deviceId) {
        putBack(std::move(batch));
        return;
    }
    if (deviceId->empty()) {
        return;
    }
    auto url = BackendOrigin::makeURL(baseURL, "/logs");
    if (!url) {
        return;
    }
    nlohmann::json entries = nlohmann::json::array();
    for (const auto& e : batch) {
        entries.push_back(e);
    }
    HttpRequest request;
    request.method = "POST";
    request.url = *url;
    request.headers = {{"Content-Type", "application/json"}, {"x-device-id", *deviceId}};
    request.body = JsonText::serialize({{"entries", entries}});
    request.timeoutSeconds = 10;
    std::weak_ptr<LogShipper> weak = weak_from_this();
    config.transport->send(std::move(request), [weak, batch = std::move(batch)](HttpResult result) mutable {
        if (std::holds_alternative<TransportError>(result)) {
            if (auto self = weak.lock()) {
                self->putBack(std::move(batch));
            }
        }
    });
}

void LogShipper::putBack(std::deque<Entry> batch) {
    std::lock_guard lock(bufferLock);
    batch.insert(batch.end(), std::make_move_iterator(buffer.begin()), std::make_move_iterator(buffer.end()));
    buffer.swap(batch);
    trimToMax(buffer);
}

std::deque<LogShipper::Entry> LogShipper::pending() const {
    std::lock_guard lock(bufferLock);
    return buffer;
}

} // namespace vokari
