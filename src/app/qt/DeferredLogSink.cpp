#include "app/qt/DeferredLogSink.h"

namespace vokari {

void DeferredLogSink::log(const std::string& message, const std::string& level, const std::string& source) {
    std::shared_ptr<LogSink> to;
    {
        std::lock_guard guard(mutex);
        if (!target) {
            if (pending.size() >= maxPending) {
                pending.pop_front();
            }
            pending.push_back({message, level, source});
            return;
        }
        to = target;
    }
    to->log(message, level, source);
}

void DeferredLogSink::attach(std::shared_ptr<LogSink> newTarget) {
    if (!newTarget) {
        return;
    }
    // Lines logged while a batch is being forwarded queue behind it and go in the next round, so order holds.
    for (;;) {
        std::deque<Line> batch;
        {
            std::lock_guard guard(mutex);
            if (pending.empty()) {
                target = std::move(newTarget);
                return;
            }
            batch.swap(pending);
        }
        for (const auto& line : batch) {
            newTarget->log(line.message, line.level, line.source);
        }
    }
}

std::size_t DeferredLogSink::pendingCount() const {
    std::lock_guard guard(mutex);
    return pending.size();
}

} // namespace vokari
