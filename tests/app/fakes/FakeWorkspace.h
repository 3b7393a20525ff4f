#pragma once
// Test double of the desktop's running applications: `frontmost` is what the desktop reports; activations are
// recorded. Owned by the test.
#include "desktop/Workspace.h"

#include <algorithm>
#include <vector>

namespace vokari::fakes {

class FakeWorkspace : public Workspace {
public:
    std::optional<RunningApp> frontmost;
    std::vector<RunningApp> terminated;
    std::vector<RunningApp> activated;

    std::optional<RunningApp> frontmostApplication() override { return frontmost; }
    bool isTerminated(const RunningApp& app) override {
        return std::find(terminated.begin(), terminated.end(), app) != terminated.end();
    }
    void activate(const RunningApp& app) override { activated.push_back(app); }
};

} // namespace vokari::fakes
