#pragma once
// The seam between the backend client and the network: one request in, one response or transport error out.
// send() may be called from any thread and returns at once; the completion runs exactly once on a worker thread
// of the transport, never on the main thread. Implementations (net/CurlTransport) are shared by every client.
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace vokari {

// URL-error codes the user messages depend on.
namespace urlError {
inline constexpr int unknown = -1;
inline constexpr int cancelled = -999;
inline constexpr int badURL = -1000;
inline constexpr int timedOut = -1001;
inline constexpr int unsupportedURL = -1002;
inline constexpr int cannotConnectToHost = -1004;
inline constexpr int networkConnectionLost = -1005;
inline constexpr int notConnectedToInternet = -1009;
inline constexpr int secureConnectionFailed = -1200;
inline constexpr int serverCertificateHasBadDate = -1201;
inline constexpr int serverCertificateUntrusted = -1202;
inline constexpr int serverCertificateHasUnknownRoot = -1203;
inline constexpr int serverCertificateNotYetValid = -1204;
inline constexpr int clientCertificateRejected = -1205;
inline constexpr int clientCertificateRequired = -1206;
} // namespace urlError

struct HttpRequest {
    std::string method = "GET";
    std::string url;
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body; // raw bytes
    double timeoutSeconds = 60.0;
};

struct HttpResponse {
    int status = 0;
    std::string body; // raw bytes; empty when the answer had none
};

struct TransportError {
    int code = urlError::unknown;
    std::string description;
};

using HttpResult = std::variant<HttpResponse, TransportError>;
using HttpCompletion = std::function<void(HttpResult)>;

// Downloads: a GET whose answer goes to a file instead of memory (release archives), and that the caller can cancel.
// Cancels one request from any thread: the transfer stops and its completion runs once, with urlError::cancelled.
// cancel() after the completion ran does nothing. Idempotent.
class RequestCancellation {
public:
    void cancel();
    bool isCancelled() const;
    // For transports: `wake` runs once at cancel() (at once, here, when already cancelled), to stop a transfer
    // that is waiting for the network. Any thread.
    void onCancel(std::function<void()> wake);

private:
    mutable std::mutex mutex;
    bool cancelled = false;
    std::function<void()> wakeFn;
};

struct DownloadRequest {
    std::string url;
    std::string path;             // created or truncated; holds the body of any answer once the completion runs
    double timeoutSeconds = 60.0; // as HttpRequest: connect and any stretch without progress
    std::size_t maxBytes = std::size_t{1} << 30; // larger answers fail instead of filling the disk
};

class HttpTransport {
public:
    virtual ~HttpTransport() = default;
    virtual void send(HttpRequest request, HttpCompletion completion) = 0;

    // GET request.url with the answer's body written to request.path; the completion's HttpResponse carries the
    // status and an empty body. `cancellation` (may be null) aborts the transfer in flight. Completes exactly once,
    // on a worker thread. Transports that cannot write files fail at once with urlError::unsupportedURL.
    virtual void download(DownloadRequest request, std::shared_ptr<RequestCancellation> cancellation,
                          HttpCompletion completion);
};

// Fails every request with code -1, completing on the caller's thread before send() returns: what a client
// gets when it is reached before the application configured a network.
class UnavailableTransport : public HttpTransport {
public:
    void send(HttpRequest request, HttpCompletion completion) override;
};

} // namespace vokari
