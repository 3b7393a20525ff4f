// The server reading request targets and their query strings: the history page ("limit", "after"), the update
// check ("v") and download names. Input: the request target of a GET.
#include "FuzzSupport.h"
#include "ServerHarness.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static vokari::server::fuzz::ServerHarness server;
    std::string request = "GET ";
    request += vokari::fuzz::bytesOf(data, size);
    request += " HTTP/1.1\r\nHost: fuzz\r\nx-device-id: fuzz-device\r\n\r\n";
    server.handle(request);
    return 0;
}
