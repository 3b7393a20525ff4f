#include "http/HttpTransport.h"

namespace vokari {

void UnavailableTransport::send(HttpRequest, HttpCompletion completion) {
    completion(TransportError{urlError::unknown, "No network transport is configured"});
}

void HttpTransport::download(DownloadRequest, std::shared_ptr<RequestCancellation>, HttpCompletion completion) {
    completion(TransportError{urlError::unsupportedURL, "This transport cannot download to a file"});
}

void RequestCancellation::cancel() {
    std::function<void()> wake;
    {
        std::lock_guard lock(mutex);
        if (cancelled) {
            return;
        }
        cancelled = true;
        wake = std::move(wakeFn);
    }
    if (wake) {
        wake();
    }
}

bool RequestCancellation::isCancelled() const {
    std::lock_guard lock(mutex);
    return cancelled;
}

void RequestCancellation::onCancel(std::function<void()> wake) {
    {
        std::lock_guard lock(mutex);
        if (!cancelled) {
            wakeFn = std::move(wake);
            return;
        }
    }
    if (wake) {
        wake();
    }
}

} // namespace vokari
