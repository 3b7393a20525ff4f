#pragma once
// Cutting UTF-8 text for log excerpts without splitting a character. Pure; any thread.
#include <cstddef>
#include <string>
#include <string_view>

namespace vokari {

// The first `count` characters (code points) of UTF-8 text; malformed bytes count as one character each.
std::string utf8Prefix(std::string_view text, std::size_t count);

} // namespace vokari
