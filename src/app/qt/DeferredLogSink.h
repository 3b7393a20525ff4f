#pragma once
// Holds the debug-log lines logged before the log shipper can exist (the first lines come before the event loop
// that the shipper's timer needs), then hands them in order, and every later line, to the shipper.
// Any thread. Installed with debuglog::setSink by the process entry, which attaches the shipper at launch.
#include "core/DebugLog.h"

#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <string>

namespace vokari {

class DeferredLogSink : public LogSink {
public:
    // Lines beyond this many are dropped, oldest first, while nothing is attached (the shipper keeps 200 too).
    static constexpr std::size_t maxPending = 200;

    void log(const std::string& message, const std::string& level, const std::string& source) override;
    // Forwards the held lines, then every new one. The target is called outside the lock, so it may log itself.
    void attach(std::shared_ptr<LogSink> target);
    std::size_t pendingCount() const;

private:
    struct Line {
        std::string message, level, source;
    };
    mutable std::mutex mutex;
    std::deque<Line> pending;
    std::shared_ptr<LogSink> target;
};

} // namespace vokari
