#pragma once
// Date helpers for the wire and the database: ISO 8601 UTC with milliseconds, and the UTC day key.
// Pure functions, callable from any thread.

#include <cstdint>
#include <optional>
#include <string>

namespace vokari::server {

// "2026-12-06T07:50:03.042Z"
std::string isoUtcMs(int64_t epochMs);
// "2026-12-06", the day a daily limit counts in.
std::string utcDay(int64_t epochMs);
// Parses "YYYY-MM-DDTHH:MM:SS[.fff]Z"; nullopt when it is anything else.
std::optional<int64_t> parseIsoUtc(const std::string& text);

} // namespace vokari::server
