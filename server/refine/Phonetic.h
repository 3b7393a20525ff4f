#pragma once
// String similarity used to match recognised words against vocabulary terms: a rough English sound key and
// edit distances. Pure functions, any thread.

#include <string>
#include <string_view>

namespace vokari {

// Sound key: consonant skeleton after common spelling folds ("ph"→f, "ck"→k, soft c→s, ...), vowels dropped
// except a leading one, doubled sounds collapsed. "Kubernetes" and "cooper netties" share most of theirs.
std::string phoneticKey(std::string_view word);

size_t editDistance(std::string_view a, std::string_view b);

// 0 = identical, 1 = nothing in common; distance divided by the longer length.
double normalizedDistance(std::string_view a, std::string_view b);

// Lower-cased letters and digits only.
std::string foldLetters(std::string_view text);

} // namespace vokari
