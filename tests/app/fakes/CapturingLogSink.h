#pragma once
// A log sink that keeps every message with its level, for asserting on exact log lines. Any thread.
// Install with debuglog::setSink and reset it (setSink(nullptr)) when the test ends.
#include "app/DebugLog.h"

#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

namespace vokari::fakes {

class CapturingLogSink : public LogSink {
public:
    struct Line {
        std::string message;
        std::string level;
    };

    void log(const std::string& message, const std::string& level, const std::string&) override {
        std::lock_guard lock(mutex);
        entries.push_back({message, level});
    }

    std::vector<std::string> messages() const {
        std::lock_guard lock(mutex);
        std::vector<std::string> out;
        for (const auto& e : entries) {
            out.push_back(e.message);
        }
        return out;
    }
    bool contains(const std::string& message) const {
        auto all = messages();
        return std::find(all.begin(), all.end(), message) != all.end();
    }
    // Messages that begin with `prefix`, in order.
    std::vector<std::string> startingWith(const std::string& prefix) const {
        std::vector<std::string> out;
        for (auto& m : messages()) {
            if (m.rfind(prefix, 0) == 0) {
                out.push_back(m);
            }
        }
        return out;
    }
    void clear() {
        std::lock_guard lock(mutex);
        entries.clear();
    }

private:
    mutable std::mutex mutex;
    std::vector<Line> entries;
};

} // namespace vokari::fakes
