#pragma once
// HttpTransport on libcurl: one worker thread drives a curl multi handle, so every request shares one
// connection cache (keep-alive, TLS sessions, DNS). TLS is verified against the system CA store; each request
// has its own time-out. Completions run on the worker thread. Owned by the application (shared_ptr) and handed
// to every client; destroying it fails the requests still running with code -999.
#include "transport/HttpTransport.h"

#include <chrono>
#include <cstddef>
#include <memory>

namespace vokari {

class CurlTransport : public HttpTransport {
public:
    struct Options {
        std::size_t maxResponseBytes = 64 * 1024 * 1024; // larger answers fail instead of exhausting memory
        double timeoutCapSeconds = 0; // > 0: no request waits longer (tests use it to reach time-outs quickly)
    };
    CurlTransport();
    explicit CurlTransport(Options options);
    ~CurlTransport() override;
    CurlTransport(const CurlTransport&) = delete;
    CurlTransport& operator=(const CurlTransport&) = delete;

    void send(HttpRequest request, HttpCompletion completion) override;

    // Requests sent whose completion has not yet returned.
    std::size_t inFlight() const;
    // Waits until no request is in flight; false when `timeout` passed first. Not from a completion.
    bool waitIdle(std::chrono::milliseconds timeout) const;
    // New connections opened so far (a reused connection adds nothing).
    std::size_t connectionsOpened() const;

    // The URL-error code and description for a libcurl result.
    static TransportError errorFor(int curlCode, const char* detail);

    struct Impl;

private:
    std::shared_ptr<Impl> impl;
};

} // namespace vokari
