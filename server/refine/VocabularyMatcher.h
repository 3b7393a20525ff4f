#pragma once
// Replaces runs of recognised words that sound like a user's vocabulary term with the term as the user spelled
// it ("cooper net ease" → "Kubernetes", "github" → "GitHub"). Built per request; pure, any thread.

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
    struct Term {
        std::string spelling;
        std::string letters; // folded
        std::string key;     // phonetic
        size_t wordCount;
    };
    // Score in [0,1], 0 = perfect; > 1 when the words do not match the term.
    double score(const Term& term, const std::string& letters) const;

    std::vector<Term> terms_;
};

} // namespace vokari::server
