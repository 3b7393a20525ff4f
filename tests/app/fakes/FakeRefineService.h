#pragma once
// Test double of the backend's processing request: keeps every request with its completion so the test
// answers it later, from any thread. Owned by the test.
#include "core/MainQueue.h"
#include "transport/RefineService.h"

#include <vector>

namespace vokari::fakes {

class FakeRefineService : public RefineService {
public:
    struct Request {
        double at;
        std::vector<std::uint8_t> audio;
        std::string source;
        ProcessCompletion completion;
    };

    explicit FakeRefineService(const MainQueue& clock) : clock(clock) {}
    bool configured = true;
    std::vector<Request> requests;

    bool isConfigured() const override { return configured; }
    void process(std::vector<std::uint8_t> audioData, std::string source, ProcessCompletion completion) override {
        requests.push_back({clock.now(), std::move(audioData), std::move(source), std::move(completion)});
    }

    void answer(std::size_t index, ProcessResult result) { requests.at(index).completion(std::move(result)); }
    void answerLast(ProcessResult result) { requests.back().completion(std::move(result)); }

private:
    const MainQueue& clock;
};

} // namespace vokari::fakes
