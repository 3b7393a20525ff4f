// The server reading a dictation or command upload: multipart/form-data with the audio, vocabulary and source
// parts. Input: the boundary on the first line, the body after it; an odd first byte sends it to "/command".
#include "FuzzSupport.h"
#include "ServerHarness.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static vokari::server::fuzz::ServerHarness server;
    auto input = vokari::fuzz::bytesOf(data, size);
    auto newline = input.find('\n');
    if (input.empty() || newline == std::string_view::npos) {
        return 0;
    }
    const char* path = (input[0] & 1) ? "/command" : "/process";
    auto boundary = input.substr(1, newline - 1);
    auto body = input.substr(newline + 1);
    std::string request = std::string("POST ") + path + " HTTP/1.1\r\nHost: fuzz\r\nx-device-id: fuzz-device\r\n";
    request += "Content-Type: multipart/form-data; boundary=";
    request += boundary;
    request += "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n";
    request += body;
    server.handle(request);
    return 0;
}
