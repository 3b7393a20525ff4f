#pragma once
// Standard Base64 (RFC 4648, with padding) of raw bytes. Pure function; any thread.
#include <string>
#include <string_view>

namespace vokari {

std::string base64Encode(std::string_view bytes);

} // namespace vokari
