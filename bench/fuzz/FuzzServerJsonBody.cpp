// The server reading JSON request bodies: registration, profile, style and shipped logs. Input: the first byte
// picks the endpoint, the rest is the body.
#include "FuzzSupport.h"
#include "ServerHarness.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static vokari::server::fuzz::ServerHarness server;
    static constexpr const char* paths[] = {"/register", "/profile", "/style", "/logs"};
    if (size == 0) {
        return 0;
    }
    auto body = vokari::fuzz::bytesOf(data + 1, size - 1);
    std::string request = std::string("POST ") + paths[data[0] % 4] + " HTTP/1.1\r\nHost: fuzz\r\n";
    // A handful of devices, so profiles and logs accumulate and are read back, as on a real server.
    request += "x-device-id: fuzz-device-" + std::to_string(data[0] >> 6) + "\r\n";
    request += "Content-Type: application/json\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n";
    request += body;
    server.handle(request);
    return 0;
}
