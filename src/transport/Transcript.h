#pragma once
// One entry of the transcript history as the service returns it. A plain value.
#include <cstdint>
#include <string>

namespace vokari {

struct Transcript {
    std::int64_t id = 0;
    std::string raw;
    std::string refined;
    std::string createdAt; // exactly as the service sent it
    bool operator==(const Transcript&) const = default;
};

} // namespace vokari
