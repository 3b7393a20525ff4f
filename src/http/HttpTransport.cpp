#include "http/HttpTransport.h"

#include "http/UploadStream.h"

namespace vokari {

void HttpTransport::sendStreaming(HttpRequest, std::shared_ptr<UploadStream> upload, HttpCompletion completion) {
    if (upload) {
        upload->close();
    }
    completion(TransportError{urlError::unknown, "This transport cannot stream a request body"});
}

void UnavailableTransport::send(HttpRequest, HttpCompletion completion) {
    completion(TransportError{urlError::unknown, "No network transport is configured"});
}

} // namespace vokari
