#pragma once
// Test double of the main view's transcript history: records each pushed entry with its time.
#include "app/DesktopServices.h"
#include "core/MainQueue.h"

#include <vector>

namespace vokari::fakes {

class FakeTranscriptSink : public TranscriptSink {
public:
    struct Entry {
        double at;
        std::string text;
    };

    explicit FakeTranscriptSink(const MainQueue& clock) : clock(clock) {}
    std::vector<Entry> entries;

    void pushTranscript(const std::string& text) override { entries.push_back({clock.now(), text}); }

private:
    const MainQueue& clock;
};

} // namespace vokari::fakes
