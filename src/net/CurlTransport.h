#pragma once
// HttpTransport on libcurl: one worker thread drives a curl multi handle sharing one connection cache; TLS is
// verified against the system CA store. A request's time-out bounds the connect and any stretch without progress,
// not the whole transfer. Completions run on the worker, never on the caller's thread (also while shutting down).
// Owned by the application (shared_ptr) and handed to every client; destruction fails what is in flight (-999).
#include "http/HttpTransport.h"

#include <chrono>
#include <cstddef>
#include <memory>

namespace vokari {

class CurlTransport : public HttpTransport {
public:
    struct Options {
        std::size_t maxResponseBytes = 64 * 1024 * 1024; // larger answers fail instead of exhausting memory
        // Tests only, > 0: also caps each whole transfer at this many seconds, to reach time-outs quickly.
        double timeoutCapSeconds = 0;
    };
    CurlTransport();
    explicit CurlTransport(Options options);
    ~CurlTransport() override;
    CurlTransport(const CurlTransport&) = delete;
    CurlTransport& operator=(const CurlTransport&) = delete;

    void send(HttpRequest request, HttpCompletion completion) override;
    // The body goes to the file as it arrives; a cancel wakes the worker and aborts the transfer at once.
    void download(DownloadRequest request, std::shared_ptr<RequestCancellation> cancellation,
                  HttpCompletion completion) override;
    // Cancels what is in flight (each completion runs, with "cancelled", on the worker) and waits for the worker
    // to end. Idempotent; the destructor calls it. Not from a completion.
    void shutdown();

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
