#include "ui/TranscriptHistory.h"

#include <algorithm>

namespace vokari {

void TranscriptHistory::add(std::string text, Clock::time_point now) {
    history.push_back({std::move(text), now});
    trim();
}

bool TranscriptHistory::merge(const std::vector<Transcript>& page, const DateParser& parseDate, Clock::time_point now) {
    bool added = false;
    for (const Transcript& item : page) {
        const std::string& text = item.refined.empty() ? item.raw : item.refined;
        if (text.empty()) {
            continue;
        }
        std::optional<Clock::time_point> when = parseDate ? parseDate(item.createdAt) : std::nullopt;
        history.push_back({text, when.value_or(now)});
        added = true;
    }
    if (!added) {
        return false;
    }
    std::stable_sort(history.begin(), history.end(),
                     [](const Entry& a, const Entry& b) { return a.timestamp < b.timestamp; });
    trim();
    return true;
}

std::vector<TranscriptHistory::Entry> TranscriptHistory::visible() const {
    const std::size_t count = std::min(history.size(), visibleLimit);
    return {history.end() - static_cast<std::ptrdiff_t>(count), history.end()};
}

std::size_t TranscriptHistory::olderCount() const {
    return history.size() > visibleLimit ? history.size() - visibleLimit : 0;
}

std::string TranscriptHistory::olderLabel() const {
    const std::size_t older = olderCount();
    if (older == 0) {
        return {};
    }
    return std::to_string(older) + " older transcript" + (older == 1 ? "" : "s");
}

void TranscriptHistory::trim() {
    if (history.size() > maxEntries) {
        history.erase(history.begin(), history.end() - static_cast<std::ptrdiff_t>(maxEntries));
    }
}

} // namespace vokari
