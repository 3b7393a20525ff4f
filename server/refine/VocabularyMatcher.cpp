#include "refine/VocabularyMatcher.h"

#include "refine/Phonetic.h"

#include <algorithm>
#include <sstream>

namespace vokari::server {
namespace {

std::string trim(const std::string& s) {
    size_t b = s.find_first_not_of(" \t\r\n");
    size_t e = s.find_last_not_of(" \t\r\n");
    return b == std::string::npos ? std::string() : s.substr(b, e - b + 1);
}

} // namespace

std::vector<std::string> parseVocabulary(const std::string& text) {
    std::vector<std::string> out;
    std::string current;
    auto flush = [&] {
        std::string t = trim(current);
        if (!t.empty() && t.size() <= 100 && out.size() < 500 && std::find(out.begin(), out.end(), t) == out.end()) {
            out.push_back(t);
        }
        current.clear();
    };
    for (char c : text) {
        if (c == ',' || c == '\n' || c == ';') {
            flush();
        } else {
            current.push_back(c);
        }
    }
    flush();
    return out;
}

VocabularyMatcher::VocabularyMatcher(std::vector<std::string> terms) {
    for (auto& t : terms) {
        std::string letters = foldLetters(t);
        if (letters.size() < 2) {
            continue;
        }
        std::istringstream in(t);
        size_t count = 0;
        for (std::string w; in >> w;) {
            ++count;
        }
        terms_.push_back(Term{t, letters, phoneticKey(letters), std::max<size_t>(1, count)});
    }
}

double VocabularyMatcher::score(const Term& term, const std::string& letters) const {
    if (letters == term.letters) {
        return 0.0;
    }
    // Short words are too easy to confuse: only exact spelling matches.
    if (term.letters.size() < 4 || letters.size() < 3) {
        return 2.0;
    }
    double spelling = normalizedDistance(letters, term.letters);
    double sound = normalizedDistance(phoneticKey(letters), term.key);
    if (sound == 0.0 && spelling <= 0.5) {
        return 0.1 + spelling / 10;
    }
    if (sound <= 0.25 && spelling <= 0.35) {
        return 0.3 + spelling / 10;
    }
    return 2.0;
}

std::vector<std::string> VocabularyMatcher::apply(const std::vector<std::string>& words) const {
    if (terms_.empty()) {
        return words;
    }
    std::vector<std::string> out;
    for (size_t i = 0; i < words.size();) {
        double best = 1.0;
        size_t bestLen = 0;
        const Term* bestTerm = nullptr;
        for (const auto& term : terms_) {
            // A term may be heard as one word more or fewer than it has.
            size_t maxLen = std::min(words.size() - i, term.wordCount + 2);
            std::string joined;
            for (size_t n = 1; n <= maxLen; ++n) {
                joined += foldLetters(words[i + n - 1]);
                double s = score(term, joined);
                // Prefer the better score; on a tie the longer run so no fragment is left behind.
                if (s < best || (s == best && bestTerm == &term && n > bestLen)) {
                    best = s;
                    bestLen = n;
                    bestTerm = &term;
                }
            }
        }
        if (bestTerm != nullptr) {
            out.push_back(bestTerm->spelling);
            i += bestLen;
        } else {
            out.push_back(words[i]);
            ++i;
        }
    }
    return out;
}

} // namespace vokari::server
