#pragma once
// An HttpTransport for unit tests: records each request and keeps its completion until the test answers it
// (on the test's own thread, standing in for the transport's worker). Thread-safe.
#include "http/HttpTransport.h"

#include <mutex>
#include <vector>

namespace vokari::test {

class FakeTransport : public HttpTransport {
public:
    struct Pending {
        HttpRequest request;
        HttpCompletion completion;
    };
    void send(HttpRequest request, HttpCompletion completion) override {
        std::lock_guard lock(mutex);
        sent.push_back({request, completion});
        unanswered.push_back({std::move(request), std::move(completion)});
    }
    std::vector<HttpRequest> requests() const {
        std::lock_guard lock(mutex);
        std::vector<HttpRequest> out;
        for (const auto& p : sent) {
            out.push_back(p.request);
        }
        return out;
    }
    std::size_t waiting() const {
        std::lock_guard lock(mutex);
        return unanswered.size();
    }
    // Answers the oldest unanswered request.
    void complete(HttpResult result) {
        Pending p;
        {
            std::lock_guard lock(mutex);
            p = std::move(unanswered.front());
            unanswered.erase(unanswered.begin());
        }
        p.completion(std::move(result));
    }
    void completeAll(const HttpResult& result) {
        while (waiting() > 0) {
            complete(result);
        }
    }

private:
    mutable std::mutex mutex;
    std::vector<Pending> sent;
    std::vector<Pending> unanswered;
};

} // namespace vokari::test
