#pragma once
// SHA-256 of a file through OpenSSL's digest interface, read in blocks so a large archive never sits in memory.
// Blocks while it reads: call it off the main thread. Any thread.
#include <optional>
#include <string>

namespace vokari::Sha256 {

// The digest as 64 lower-case hexadecimal digits; nothing when the file cannot be read (`error` says why).
std::optional<std::string> ofFile(const std::string& path, std::string* error = nullptr);

} // namespace vokari::Sha256
