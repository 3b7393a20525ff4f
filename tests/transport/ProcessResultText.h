#pragma once
// What the HTTP client tests share: a result as one comparable string, and a client that has finished its
// registration and profile fetch before the test sends anything.
#include "net/CurlTransport.h"
#include "transport/RefineClient.h"

#include <chrono>
#include <memory>
#include <string>
#include <variant>

namespace vokari::test {

// "success(raw, refined)", "error(message)" or "rateLimited".
inline std::string describe(const ProcessResult& r) {
    if (auto* s = std::get_if<ProcessSuccess>(&r)) {
        return "success(" + s->raw.value_or("-") + ", " + s->refined.value_or("-") + ")";
    }
    auto* e = std::get_if<ProcessError>(&r);
    return e ? "error(" + e->message + ")" : "rateLimited";
}

inline std::shared_ptr<RefineClient> connectedClient(const std::shared_ptr<CurlTransport>& transport,
                                                     RefineClientConfig config) {
    config.transport = transport;
    auto client = RefineClient::create(config);
    transport->waitIdle(std::chrono::seconds(10)); // registration and profile fetch
    return client;
}

} // namespace vokari::test
