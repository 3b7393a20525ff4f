#pragma once
// The Home tab's dictation history: entries oldest first, capped at 100, of which the newest 30 are shown.
// Backend pages are merged by time with what was dictated locally. Qt-free rules; main thread.
#include "transport/Transcript.h"

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace vokari {

class TranscriptHistory {
public:
    using Clock = std::chrono::system_clock;
    struct Entry {
        std::string text;
        Clock::time_point timestamp;
    };
    // Reads a backend "createdAt"; nothing when it cannot be parsed.
    using DateParser = std::function<std::optional<Clock::time_point>(const std::string&)>;

    static constexpr std::size_t maxEntries = 100;
    static constexpr std::size_t visibleLimit = 30;

    // Appends a local dictation, dropping the oldest entries beyond the cap.
    void add(std::string text, Clock::time_point now);
    // Merges a backend page: refined text, else raw; entries with neither are skipped; an unreadable date is
    // `now`. Then everything is sorted by time (stable) and the newest 100 kept. False when nothing was added.
    bool merge(const std::vector<Transcript>& page, const DateParser& parseDate, Clock::time_point now);

    const std::vector<Entry>& entries() const { return history; }
    bool empty() const { return history.empty(); }
    // The newest `visibleLimit` entries, oldest of them first.
    std::vector<Entry> visible() const;
    std::size_t olderCount() const;
    // "N older transcript(s)"; empty when every entry is visible.
    std::string olderLabel() const;

private:
    void trim();
    std::vector<Entry> history;
};

} // namespace vokari
