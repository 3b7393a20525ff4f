#include "http/MultipartBody.h"

namespace vokari {

MultipartBody::MultipartBody(std::string boundary) : boundaryText(std::move(boundary)) {}

std::string MultipartBody::contentType() const {
    return "multipart/form-data; boundary=" + boundaryText;
}

void MultipartBody::openPart() {
    body.append(first ? "--" : "\r\n--");
    body.append(boundaryText);
    first = false;
}

void MultipartBody::addFile(std::string_view name, std::string_view filename, std::string_view mediaType,
                            std::string_view bytes) {
    openPart();
    body.append("\r\nContent-Disposition: form-data; name=\"").append(name);
    body.append("\"; filename=\"").append(filename).append("\"\r\n");
    body.append("Content-Type: ").append(mediaType).append("\r\n\r\n");
    body.append(bytes);
}

void MultipartBody::addField(std::string_view name, std::string_view value) {
    openPart();
    body.append("\r\nContent-Disposition: form-data; name=\"").append(name).append("\"\r\n\r\n");
    body.append(value);
}

std::string MultipartBody::finish() {
    body.append("\r\n--").append(boundaryText).append("--\r\n");
    first = true;
    std::string out = std::move(body);
    body.clear();
    return out;
}

} // namespace vokari
