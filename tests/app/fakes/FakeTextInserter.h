#pragma once
// Test double of the text inserter: records every insert with its time and target. Owned by the test.
#include "core/MainQueue.h"
#include "desktop/TextInsertion.h"

#include <vector>

namespace vokari::fakes {

class FakeTextInserter : public TextInsertion {
public:
    struct Insert {
        double at;
        std::string text;
        std::optional<RunningApp> target;
    };

    explicit FakeTextInserter(const MainQueue& clock) : clock(clock) {}
    std::vector<Insert> inserts;

    void insert(std::string text, std::optional<RunningApp> targetApp) override {
        inserts.push_back({clock.now(), std::move(text), std::move(targetApp)});
    }

private:
    const MainQueue& clock;
};

} // namespace vokari::fakes
