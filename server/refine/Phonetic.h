#pragma once
// String similarity used to match recognised words against vocabulary terms: a rough English sound key and
// edit distances. Pure functions, any thread.

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

namespace vokari::server {

// Sound key: consonant skeleton after common spelling folds ("ph"→f, "ck"→k, soft c→s, ...), vowels dropped
// except a leading one, doubled sounds collapsed. "Kubernetes" and "cooper netties" share most of theirs.
std::string phoneticKey(std::string_view word);

// Levenshtein distance between two sequences (characters of a string, words of a sentence, ...).
template <class Seq> size_t editDistance(const Seq& a, const Seq& b) {
    std::vector<size_t> prev(b.size() + 1), cur(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j) {
        prev[j] = j;
    }
    for (size_t i = 1; i <= a.size(); ++i) {
        cur[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            cur[j] = std::min({prev[j] + 1, cur[j - 1] + 1, prev[j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1)});
        }
        std::swap(prev, cur);
    }
    return prev[b.size()];
}

// 0 = identical, 1 = nothing in common; distance divided by the longer length.
double normalizedDistance(std::string_view a, std::string_view b);

// Lower-cased letters and digits only.
std::string foldLetters(std::string_view text);

} // namespace vokari::server
