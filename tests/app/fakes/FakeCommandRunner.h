#pragma once
// Test double of the command executor: records each plan with its time; the test completes it. Owned by the test.
#include "command/CommandRunner.h"
#include "core/MainQueue.h"

namespace vokari::fakes {

class FakeCommandRunner : public CommandRunner {
public:
    struct Execution {
        double at;
        std::vector<CommandAction> actions;
        std::function<void(bool)> completion;
    };

    explicit FakeCommandRunner(const MainQueue& clock) : clock(clock) {}
    std::vector<Execution> executions;

    void execute(std::vector<CommandAction> actions, std::function<void(bool)> completion) override {
        executions.push_back({clock.now(), std::move(actions), std::move(completion)});
    }

private:
    const MainQueue& clock;
};

} // namespace vokari::fakes
