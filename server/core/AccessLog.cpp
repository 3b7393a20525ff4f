#include "core/AccessLog.h"

#include "core/TimeFormat.h"

#include <cstdio>
#include <mutex>

namespace vokari::server {

std::string formatAccessLine(const AccessRecord& r) {
    char dur[32];
    std::snprintf(dur, sizeof dur, "%.1fms", r.durationMs);
    std::string device = r.deviceId.empty() ? "-" : r.deviceId.substr(0, 8);
    return isoUtcMs(r.epochMs) + " " + (r.remote.empty() ? "-" : r.remote) + " " + r.method + " " + r.path + " " +
           std::to_string(r.status) + " " + dur + " " + std::to_string(r.requestBytes) + "B device=" + device;
}

void writeAccessLine(const AccessRecord& r) {
    static std::mutex lock;
    std::string line = formatAccessLine(r) + "\n";
    std::lock_guard<std::mutex> guard(lock);
    std::fputs(line.c_str(), stderr);
    std::fflush(stderr);
}

} // namespace vokari::server
