#pragma once
// Replaces runs of recognised words that sound like a user's vocabulary term with the term as the user spelled
// it ("cooper net ease" → "Kubernetes", "github" → "GitHub"). Built per request; pure, any thread.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vokari::server {

// Splits the app's vocabulary string ("a, b, c" or one per line) into trimmed terms; at most 500.
std::vector<std::string> parseVocabulary(const std::string& text);

class VocabularyMatcher {
public:
    explicit VocabularyMatcher(std::vector<std::string> terms);

    // `words` are plain tokens without punctuation; returns the rewritten token list.
    std::vector<std::string> apply(const std::vector<std::string>& words) const;

private:
    // How often each folded character occurs: a lower bound on the edit distance that costs 37 steps.
    using Counts = std::array<std::uint32_t, 37>;
    struct Term {
        std::string spelling;
        std::string letters; // folded
        std::string key;     // phonetic
        size_t wordCount;
        Counts counts;
    };
    // The next few recognised words run together, as compared with a term.
    struct Run {
        std::string letters;
        Counts counts{};
        std::optional<std::string> key; // phonetic, made when first needed
    };
    // Score in [0,1], 0 = perfect; > 1 when the words do not match the term.
    static double score(const Term& term, Run& run);

    std::vector<Term> terms_;
    size_t maxWordCount_ = 0;
    size_t maxLetters_ = 0;
};

} // namespace vokari::server
