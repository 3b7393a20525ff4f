#pragma once
// The one multipart/form-data layout of the processing and command uploads: parts joined by CR LF and the
// bare boundary, no line break after a part's bytes, a closing delimiter line. A value built on the caller's
// thread; the boundary is a fresh UUID string unless a test passes its own.
#include <string>
#include <string_view>

namespace vokari {

class MultipartBody {
public:
    explicit MultipartBody(std::string boundary);

    const std::string& boundary() const { return boundaryText; }
    // "multipart/form-data; boundary=" + boundary
    std::string contentType() const;
    void addFile(std::string_view name, std::string_view filename, std::string_view mediaType, std::string_view bytes);
    void addField(std::string_view name, std::string_view value);
    // The body with its closing delimiter; the builder is left empty.
    std::string finish();
    // Room for `bytes` more payload bytes, so large recordings are copied once.
    void reserve(std::size_t bytes) { body.reserve(body.size() + bytes + 512); }

private:
    void openPart();

    std::string boundaryText;
    std::string body;
    bool first = true;
};

} // namespace vokari
