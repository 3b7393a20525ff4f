#pragma once
// Test double of the backend's command request: keeps every request with its completion. Owned by the test.
#include "command/CommandService.h"
#include "core/MainQueue.h"

#include <vector>

namespace vokari::fakes {

class FakeCommandService : public CommandService {
public:
    struct Request {
        double at;
        std::vector<std::uint8_t> audio;
        std::string screenshot;
        Completion completion;
    };

    explicit FakeCommandService(const MainQueue& clock) : clock(clock) {}
    std::vector<Request> requests;

    void sendCommand(std::vector<std::uint8_t> audioData, std::string screenshotBase64,
                     Completion completion) override {
        requests.push_back({clock.now(), std::move(audioData), std::move(screenshotBase64), std::move(completion)});
    }

    void answerLast(CommandResult result) { requests.back().completion(std::move(result)); }

private:
    const MainQueue& clock;
};

} // namespace vokari::fakes
