#pragma once
// One line per finished request on stderr: time, method, path, status, duration, device.
// Called from HTTP worker threads; a mutex keeps lines whole. Process-wide, stateless apart from the lock.

#include <cstdint>
#include <string>

namespace vokari::server {

struct AccessRecord {
    int64_t epochMs = 0;
    std::string remote;
    std::string method;
    std::string path;
    int status = 0;
    double durationMs = 0;
    size_t requestBytes = 0;
    std::string deviceId;
};

std::string formatAccessLine(const AccessRecord& r);
void writeAccessLine(const AccessRecord& r);

} // namespace vokari::server
