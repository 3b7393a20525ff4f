#include "http/HttpTransport.h"

namespace vokari {

void UnavailableTransport::send(HttpRequest, HttpCompletion completion) {
    completion(TransportError{urlError::unknown, "No network transport is configured"});
}

} // namespace vokari
