#pragma once
// A LogSink for tests that keeps every message debugLog hands on, so tests can assert exact log lines.
#include "core/DebugLog.h"

#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

namespace vokari::test {

class RecordingSink : public LogSink {
public:
    void log(const std::string& message, const std::string&, const std::string&) override {
        std::lock_guard lock(mutex);
        lines.push_back(message);
    }
    std::vector<std::string> messages() const {
        std::lock_guard lock(mutex);
        return lines;
    }
    bool contains(const std::string& line) const {
        std::lock_guard lock(mutex);
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }
    bool anyStartsWith(const std::string& prefix) const {
        std::lock_guard lock(mutex);
        return std::any_of(lines.begin(), lines.end(), [&](const std::string& l) { return l.starts_with(prefix); });
    }
    void clear() {
        std::lock_guard lock(mutex);
        lines.clear();
    }

private:
    mutable std::mutex mutex;
    std::vector<std::string> lines;
};

} // namespace vokari::test
