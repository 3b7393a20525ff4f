#pragma once
// Spelled-out numbers as a person would write them: "twenty five" → "25", "two thousand and five" → "2005".
// Only compounds are converted (at least two number words, value 21 or more): single words such as
// "ten minutes" or "one of them" read better spelled out, and "one two three" (no valid compound) is left
// alone. Pure functions, any thread.

#include <optional>
#include <string>
#include <vector>

namespace vokari::server {

struct NumberMatch {
    size_t length = 0; // words consumed
    long long value = 0;
};

// The longest well-formed spoken number starting at words[from] (words are lower-case), if it is a compound.
std::optional<NumberMatch> matchSpokenNumber(const std::vector<std::string>& words, size_t from);

} // namespace vokari::server
